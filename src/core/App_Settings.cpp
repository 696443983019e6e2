#include "core/App_Settings.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "core/AtomicFile.h"
#include "core/LogUnit.h"

namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// Decimal integer with optional sign and surrounding blanks.
std::optional<int64_t> TextToInt64(std::string_view text) {
  text = TrimBlanks(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty() || text.front() == '+') return std::nullopt;
  int64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

char OtherSeparator(char sep) { return sep == ',' ? '.' : ','; }

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

bool IsControlCharacter(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u < 0x20 || u == 0x7F;
}

// Control characters other than tab and line ends never occur in a text the store wrote.
bool HoldsBinaryData(std::string_view text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return IsControlCharacter(c) && c != '\t' && c != '\r' && c != '\n'; });
}

}  // namespace

TFormatSettings LocaleFormatSettings() {
  const QLocale locale = QLocale::system();
  const QString dec = locale.decimalPoint();
  TFormatSettings fs;
  fs.DecimalSeparator = (dec == QStringLiteral(",")) ? ',' : '.';
  const QString group = locale.groupSeparator();
  const bool groupUsable = group.size() == 1 && group[0].unicode() < 0x80 &&
                           group[0].toLatin1() != fs.DecimalSeparator;
  fs.ThousandSeparator = groupUsable ? group[0].toLatin1() : OtherSeparator(fs.DecimalSeparator);
  return fs;
}

std::string NormaliseDecimalSeparator(std::string text, char decimalSeparator) {
  char foreign = 0;
  if (const auto dot = text.find('.'); dot != std::string::npos && dot > 0)
    foreign = '.';
  else if (const auto comma = text.find(','); comma != std::string::npos && comma > 0)
    foreign = ',';
  if (foreign == 0 || foreign == decimalSeparator) return text;
  for (auto pos = text.find(foreign); pos != std::string::npos && pos > 0; pos = text.find(foreign))
    text[pos] = decimalSeparator;
  return text;
}

std::optional<double> TextToFloat(std::string_view text, const TFormatSettings& fs) {
  std::string s(TrimBlanks(text));
  if (!s.empty() && s.front() == '+') s.erase(0, 1);
  if (s.empty() || s.front() == '+' || s.find(OtherSeparator(fs.DecimalSeparator)) != std::string::npos)
    return std::nullopt;
  for (char& c : s)
    if (c == fs.DecimalSeparator) c = '.';
  double value = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return value;
}

std::string FloatToText(double value, const TFormatSettings& fs) {
  if (std::isnan(value)) return {};
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  // Plain notation for the magnitudes people type, exponent form outside them.
  const double magnitude = std::fabs(value);
  const bool plain = magnitude == 0 || (magnitude >= 1e-5 && magnitude < 1e15);
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                    plain ? std::chars_format::fixed : std::chars_format::scientific);
  std::string text(buffer, result.ptr);
  for (char& c : text)
    if (c == '.') c = fs.DecimalSeparator;
  return text;
}

TAppSettings::TAppSettings() : FFormatSettings(LocaleFormatSettings()) {}

TAppSettings::~TAppSettings() = default;

TAppSettings::TLine TAppSettings::MakeLine(std::string text) {
  const size_t eq = text.find('=');
  return TLine{std::move(text), eq};
}

std::string_view TAppSettings::NameOf(const TLine& line) const {
  if (line.NameLength == std::string::npos) return {};
  return std::string_view(line.Text).substr(0, line.NameLength);
}

size_t TAppSettings::TNameHash::operator()(std::string_view name) const {
  size_t hash = 14695981039346656037ull;  // FNV-1a over the lower-case name
  for (char c : name) hash = (hash ^ static_cast<unsigned char>(LowerAscii(c))) * 1099511628211ull;
  return hash;
}

bool TAppSettings::TNameEqual::operator()(std::string_view a, std::string_view b) const {
  return SameNameIgnoringCase(a, b);
}

ptrdiff_t TAppSettings::IndexOfName(std::string_view Name) const {
  const auto it = FIndex.find(Name);
  return it == FIndex.end() ? -1 : ptrdiff_t(it->second);
}

void TAppSettings::AppendLine(std::string text) {
  FLines.push_back(MakeLine(std::move(text)));
  const TLine& line = FLines.back();
  // The first occurrence of a name counts: a later duplicate does not take its place.
  if (line.NameLength != std::string::npos) FIndex.try_emplace(std::string(NameOf(line)), FLines.size() - 1);
}

void TAppSettings::RebuildIndex() {
  FIndex.clear();
  FIndex.reserve(FLines.size());
  for (size_t i = 0; i < FLines.size(); ++i)
    if (FLines[i].NameLength != std::string::npos) FIndex.try_emplace(std::string(NameOf(FLines[i])), i);
}

std::optional<std::string> TAppSettings::TryGetValue(const std::string& Name) const {
  std::lock_guard lock(FLock);
  const ptrdiff_t i = IndexOfName(Name);
  if (i < 0) return std::nullopt;
  return FLines[i].Text.substr(FLines[i].NameLength + 1);
}

std::optional<std::string> TAppSettings::ValueOrAppend(const std::string& Name, const std::string& defaultText) {
  std::lock_guard lock(FLock);
  if (auto value = TryGetValue(Name)) return value;
  AppendLine(Name + "=" + defaultText);
  return std::nullopt;
}

void TAppSettings::LoadFromFile(const std::string& FileName) {
  std::lock_guard lock(FLock);
  FFilename = FileName;
  QFile file(QString::fromStdString(FileName));
  if (QFileInfo(file).isDir()) throw ESettingsFileError("The settings file " + FileName + " is unreadable: it is a folder");
  if (!file.exists() && !file.open(QIODevice::WriteOnly))
    throw ESettingsFileError("Settings file " + FileName + " not created: " + file.errorString().toStdString());
  file.close();
  if (!file.open(QIODevice::ReadOnly))
    throw ESettingsFileError("Settings file " + FileName + " not read: " + file.errorString().toStdString());
  const QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError)
    throw ESettingsFileError("Settings file " + FileName + " not read: " + file.errorString().toStdString());
  const std::string_view content(bytes.constData(), size_t(bytes.size()));
  // Read as text, random bytes would pass for a file without the keys asked for.
  if (HoldsBinaryData(DecodeText(content).Text))
    throw ESettingsFileError("The settings file " + FileName + " is unreadable: it holds binary data");
  LoadFromBytes(content);
}

void TAppSettings::LoadFromBytes(std::string_view bytes) {
  TDecodedText decoded = DecodeText(bytes);
  std::vector<TLine> lines;
  const std::string& text = decoded.Text;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(MakeLine(std::move(line)));
    start = end + 1;
  }
  std::lock_guard lock(FLock);
  FLines = std::move(lines);
  RebuildIndex();
  FEncoding = decoded.Encoding;
  FValuesLoaded = !FLines.empty();
}

std::string TAppSettings::ToBytes() const {
  std::lock_guard lock(FLock);
  std::string text;
  for (const TLine& line : FLines) {
    text += line.Text;
    text += "\r\n";
  }
  return EncodeText(text, FEncoding);
}

void TAppSettings::SaveSettings() {
  std::string fileName, bytes;
  {
    std::lock_guard lock(FLock);
    SetValue("INI_Version", FVersionFormat);
    fileName = FFilename;
    bytes = ToBytes();
  }
  if (fileName.empty()) return;
  // Settings files hold mail passwords (enciphered with a key every copy of the program knows).
  if (const std::string error = WriteFileAtomically(fileName, bytes, TFileAccess::kOwnerOnly); !error.empty())
    throw ESettingsFileError("Settings file " + fileName + " not saved: " + error);
}

void TAppSettings::SaveSettings(const std::string& FileName) {
  {
    std::lock_guard lock(FLock);
    FFilename = FileName;
  }
  SaveSettings();
}

void TAppSettings::Clear() {
  std::lock_guard lock(FLock);
  FLines.clear();
  FIndex.clear();
}

bool TAppSettings::GetValue(const std::string& Name, bool Default) {
  const auto value = ValueOrAppend(Name, Default ? "True" : "False");
  return value ? *value == "True" : Default;
}

int32_t TAppSettings::GetValue(const std::string& Name, int32_t Default) {
  const auto value = ValueOrAppend(Name, std::to_string(Default));
  if (!value) return Default;
  const auto number = TextToInt64(*value);
  if (!number || *number < std::numeric_limits<int32_t>::min() || *number > std::numeric_limits<int32_t>::max())
    throw EConvertError(Quoted(*value) + " is not a valid integer value for the key " + Name);
  return int32_t(*number);
}

uint32_t TAppSettings::GetUValue(const std::string& Name, uint32_t Default) {
  const auto value = ValueOrAppend(Name, std::to_string(Default));
  if (!value) return Default;
  const auto number = TextToInt64(*value);
  // -1 is how several keys store "none"; anything else out of range would wrap into a wrong value.
  if (number && *number == -1) return 0xFFFFFFFFu;
  if (number && *number >= 0 && *number <= int64_t(0xFFFFFFFFu)) return uint32_t(*number);
  LogError(FLogId, "TAppSettings.GetUValue " + Name + "=" + Quoted(*value) +
                       " is not an unsigned 32-bit value, default " + std::to_string(Default) + " used");
  return Default;
}

char TAppSettings::GetValue(const std::string& Name, char Default) {
  const auto value = ValueOrAppend(Name, std::string(1, Default));
  return (value && !value->empty()) ? value->front() : Default;
}

std::string TAppSettings::GetValue(const std::string& Name, const std::string& Default) {
  return ValueOrAppend(Name, Default).value_or(Default);
}

double TAppSettings::GetValue(const std::string& Name, double Default) {
  std::lock_guard lock(FLock);
  const auto value = ValueOrAppend(Name, FloatToText(Default, FFormatSettings));
  if (!value) return Default;
  if (value->empty()) return std::numeric_limits<double>::quiet_NaN();
  const auto number = TextToFloat(NormaliseDecimalSeparator(*value, FFormatSettings.DecimalSeparator), FFormatSettings);
  if (!number) throw EConvertError(Quoted(*value) + " is not a valid floating point value for the key " + Name);
  return *number;
}

void TAppSettings::SetValue(const std::string& Name, const std::string& Wert) {
  // A line break in a value would split it into a line of its own on the next load, and other
  // control characters would make the file read as binary data.
  std::string value = Wert;
  for (char& c : value)
    if (c != '\t' && IsControlCharacter(c)) c = ' ';
  std::lock_guard lock(FLock);
  const ptrdiff_t i = IndexOfName(Name);
  if (i < 0) {
    if (!value.empty()) AppendLine(Name + "=" + value);
    return;
  }
  if (std::string_view(FLines[i].Text).substr(FLines[i].NameLength + 1) == value) return;
  if (!value.empty()) {
    FLines[i] = MakeLine(Name + "=" + value);
    return;
  }
  // Removing only the first line would bring a stale duplicate of the name back to life.
  for (ptrdiff_t j = ptrdiff_t(FLines.size()) - 1; j >= i; --j)
    if (FLines[j].NameLength == Name.size() && SameNameIgnoringCase(NameOf(FLines[j]), Name))
      FLines.erase(FLines.begin() + j);
  RebuildIndex();
}

void TAppSettings::SetValue(const std::string& Name, bool Wert) { SetValue(Name, std::string(Wert ? "True" : "False")); }

void TAppSettings::SetValue(const std::string& Name, int32_t Wert) { SetValue(Name, std::to_string(Wert)); }

void TAppSettings::SetValue(const std::string& Name, char Wert) { SetValue(Name, std::string(1, Wert)); }

void TAppSettings::SetValue(const std::string& Name, double Wert) {
  std::lock_guard lock(FLock);
  SetValue(Name, FloatToText(Wert, FFormatSettings));
}

void TAppSettings::SetUValue(const std::string& Name, uint32_t Wert) { SetValue(Name, std::to_string(Wert)); }

void TAppSettings::RemoveKeys(const std::string& Prefix) {
  std::lock_guard lock(FLock);
  const size_t removed = std::erase_if(FLines, [&](const TLine& line) {
    return line.NameLength != std::string::npos && NameOf(line).starts_with(Prefix);
  });
  if (removed > 0) RebuildIndex();
}

bool TAppSettings::TestKeys(const std::string& Prefix) const {
  std::lock_guard lock(FLock);
  for (const TLine& line : FLines)
    if (line.NameLength != std::string::npos && NameOf(line).starts_with(Prefix)) return true;
  return false;
}

int32_t TAppSettings::VersionFormat() {
  std::lock_guard lock(FLock);
  const int32_t stored = GetValue("INI_Version", int32_t(0));
  // Raising only: a component that already wrote newer keys must not have its version taken back.
  FVersionFormat = std::max(FVersionFormat, stored);
  return stored;
}

void TAppSettings::SetVersionFormat(int32_t Value) {
  std::lock_guard lock(FLock);
  FVersionFormat = std::max(FVersionFormat, Value);
}

std::string TAppSettings::Filename() const {
  std::lock_guard lock(FLock);
  return FFilename;
}

bool TAppSettings::ValuesLoaded() const {
  std::lock_guard lock(FLock);
  return FValuesLoaded;
}

TFormatSettings TAppSettings::FormatSettings() const {
  std::lock_guard lock(FLock);
  return FFormatSettings;
}

void TAppSettings::SetFormatSettings(const TFormatSettings& Value) {
  std::lock_guard lock(FLock);
  FFormatSettings = Value;
}

TTextEncoding TAppSettings::Encoding() const {
  std::lock_guard lock(FLock);
  return FEncoding;
}

std::vector<std::string> TAppSettings::Lines() const {
  std::lock_guard lock(FLock);
  std::vector<std::string> lines;
  lines.reserve(FLines.size());
  for (const TLine& line : FLines) lines.push_back(line.Text);
  return lines;
}

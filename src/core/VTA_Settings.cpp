#include "core/VTA_Settings.h"

#include <charconv>
#include <cmath>

#include "core/LogUnit.h"

namespace {

// The built-in default mail account. Its keys are rewritten at every start. These are neutral
// placeholders (reserved ".invalid" domain): the real account is configured by the user.
const char* const kDefaultMailHost = "mail.example.invalid";
const char* const kDefaultMailUser = "vta";
const char* const kDefaultMailSender = "vta@example.invalid";
const char* const kDefaultMailPassword = "000000000000000000";  // enciphered form: 18 hex digits

const char* const kDefaultMailPrefix = "eMail_Default_";
const char* const kConfigMailPrefix = "eMail_Config_";

constexpr int kNomFreqPerKey = 4;

bool IsDecSep(char c) { return c == '.' || c == ','; }

TFormatSettings FormatWithDecSep(char decSep) { return {decSep, decSep == ',' ? '.' : ','}; }

std::string NomFreqKey(int firstChannel) {
  return "NomFreq" + std::to_string(firstChannel) + "_" + std::to_string(firstChannel + kNomFreqPerKey - 1);
}

// Fixed-point text right-aligned in `width` characters, like "%22.11f" but independent of the C locale.
std::string FormatFixed(double value, int width, int decimals, const TFormatSettings& fs) {
  char buffer[400];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  std::string text(buffer, result.ptr);
  for (char& c : text)
    if (c == '.') c = fs.DecimalSeparator;
  if (int(text.size()) < width) text.insert(0, size_t(width - int(text.size())), ' ');
  return text;
}

// One stored nominal frequency; anything that does not read as a finite number is 0.
double NomFreqPiece(const std::string& piece, const TFormatSettings& fs) {
  const auto value = TextToFloat(NormaliseDecimalSeparator(piece, fs.DecimalSeparator), fs);
  return (value && std::isfinite(*value)) ? *value : 0.0;
}

}  // namespace

TVTASettings::TVTASettings(const std::string& iniFileName, const TAppPaths& paths, bool expertMode)
    : FExePath(paths.ConfigDir()),
      FExpertMode(expertMode),
      FDefaultDebugRoot(paths.DefaultDebugRoot()),
      FDefaultLogRoot(paths.DefaultLogRoot()),
      FDefaultLogin(kDefaultMailUser, true, kDefaultMailSender, kDefaultMailPassword, kDefaultMailHost) {
  LoadFromFile(iniFileName);
  if (VersionFormat() == 0) SetVersionFormat(kCurrentVersionFormat);

  const char localeSep = FormatSettings().DecimalSeparator;
  const char winSep = GetValue("DecSepWin", localeSep);
  FFormatSettingsWin = FormatWithDecSep(IsDecSep(winSep) ? winSep : localeSep);
  const char logSep = GetValue("DecSepLog", localeSep);
  SetFormatSettings(FormatWithDecSep(IsDecSep(logSep) ? logSep : localeSep));

  try {
    FTempUnit = GetValue("TempUnit", int32_t(0));
  } catch (const EConvertError& e) {
    LogError(LogId(), std::string("TVTASettings.Create ") + e.what());
  }

  FMailIsDefault = GetValue("eMail_isDefault", true);
  SetValue(std::string(kDefaultMailPrefix) + "Host", kDefaultMailHost);
  SetValue(std::string(kDefaultMailPrefix) + "Auth", true);
  SetValue(std::string(kDefaultMailPrefix) + "User", kDefaultMailUser);
  SetValue(std::string(kDefaultMailPrefix) + "Pass", kDefaultMailPassword);
  GetValue(std::string(kDefaultMailPrefix) + "Sender", kDefaultMailSender);
  FDefaultLogin = TEMailServerLogin(*this, kDefaultMailPrefix, kDefaultMailSender);

  FGlobalNomFrequ = GetValue("GlobalNomFrequ", false);
  ReadNomFrequs();

  const std::string options = GetValue("TestOptions", "00000000");
  for (size_t bit = 0; bit < 8 && bit < options.size(); ++bit)
    if (options[bit] == '1') FTestOptions |= uint8_t(1u << bit);
}

TFormatSettings TVTASettings::FormatSettingsWin() const {
  const auto lock = Lock();
  return FFormatSettingsWin;
}

void TVTASettings::SetDecSepWin(char DecSep) {
  if (!IsDecSep(DecSep)) return;
  const auto lock = Lock();
  FFormatSettingsWin = FormatWithDecSep(DecSep);
  SetValue("DecSepWin", DecSep);
}

bool TVTASettings::SetDecSepLog(char DecSep) {
  if (!IsDecSep(DecSep)) return false;
  const auto lock = Lock();
  const char current = FormatSettings().DecimalSeparator;
  bool formatChanged = false;
  if (DecSep != current) {
    std::string format = LogTimeFormat();
    if (const auto pos = format.find(current); pos != std::string::npos) {
      format[pos] = DecSep;
      SetLogTimeFormat(format);
      formatChanged = true;
    }
  }
  SetFormatSettings(FormatWithDecSep(DecSep));
  SetValue("DecSepLog", DecSep);
  return formatChanged;
}

int32_t TVTASettings::TempUnit() const {
  const auto lock = Lock();
  return FTempUnit;
}

void TVTASettings::SetTempUnit(int32_t Value) {
  const auto lock = Lock();
  FTempUnit = Value;
  SetValue("TempUnit", Value);
}

std::string TVTASettings::TempUnitString() const { return TempUnit() == 0 ? "\u00B0C" : "\u00B0F"; }

bool TVTASettings::MailIsDefault() const {
  const auto lock = Lock();
  return FMailIsDefault;
}

void TVTASettings::SetMailIsDefault(bool Value) {
  const auto lock = Lock();
  FMailIsDefault = Value;
  SetValue("eMail_isDefault", Value);
}

TEMailServerLogin TVTASettings::MailDefaultLogin() const {
  const auto lock = Lock();
  return FDefaultLogin;
}

std::optional<TEMailServerLogin> TVTASettings::MailConfigLogin() {
  const auto lock = Lock();
  if (!FConfigLoginRead) {
    FConfigLoginRead = true;
    try {
      FConfigLogin.emplace(*this, kConfigMailPrefix, kDefaultMailSender);
    } catch (const EMailServerLogin& e) {
      LogIt(LogId(), std::string("TVTASettings.MailConfigLogin ") + e.what());
    }
  }
  return FConfigLogin;
}

void TVTASettings::SetMailConfigLogin(const TEMailServerLogin& Value) {
  const auto lock = Lock();
  FConfigLogin = Value;
  FConfigLoginRead = true;
  Value.SaveSettings(*this, kConfigMailPrefix);
}

bool TVTASettings::GlobalNomFrequ() const {
  const auto lock = Lock();
  return FGlobalNomFrequ;
}

void TVTASettings::SetGlobalNomFrequ(bool Value) {
  const auto lock = Lock();
  FGlobalNomFrequ = Value;
  SetValue("GlobalNomFrequ", Value);
}

double TVTASettings::GetNomFreq(int channel) const {
  if (channel < 1 || channel > kNomFreqChannels) return 0;
  const auto lock = Lock();
  return FNom_Frequ[size_t(channel - 1)];
}

void TVTASettings::SetNomFreq(int channel, double Value) {
  if (channel < 1 || channel > kNomFreqChannels) return;
  const auto lock = Lock();
  FNom_Frequ[size_t(channel - 1)] = std::isfinite(Value) ? Value : 0.0;
  SaveNomFrequs();
}

void TVTASettings::SaveNomFrequs() {
  const auto lock = Lock();
  for (int first = 1; first <= kNomFreqChannels; first += kNomFreqPerKey) {
    std::string text;
    for (int ch = first; ch < first + kNomFreqPerKey; ++ch)
      text += FormatFixed(FNom_Frequ[size_t(ch - 1)], 22, 11, FFormatSettingsWin) + "; ";
    SetValue(NomFreqKey(first), text);
  }
}

void TVTASettings::ReadNomFrequs() {
  const TFormatSettings fs = FormatSettings();
  for (int first = 1; first <= kNomFreqChannels; first += kNomFreqPerKey) {
    const std::string text = GetValue(NomFreqKey(first), "");
    size_t start = 0;
    for (int ch = first; ch < first + kNomFreqPerKey; ++ch) {
      double value = 0;
      if (start <= text.size()) {
        const size_t end = text.find("; ", start);
        value = NomFreqPiece(text.substr(start, end == std::string::npos ? std::string::npos : end - start), fs);
        start = (end == std::string::npos) ? text.size() + 1 : end + 2;
      }
      FNom_Frequ[size_t(ch - 1)] = value;
    }
  }
}

uint8_t TVTASettings::TestOptions() const {
  const auto lock = Lock();
  return FTestOptions;
}

void TVTASettings::SetTestOptions(uint8_t Value) {
  std::string text(8, '0');
  for (size_t bit = 0; bit < 8; ++bit)
    if (Value & (1u << bit)) text[bit] = '1';
  const auto lock = Lock();
  FTestOptions = Value;
  SetValue("TestOptions", text);
}

bool TVTASettings::AppDebugLog() { return GetValue("Debug_LogMain", FExpertMode); }
void TVTASettings::SetAppDebugLog(bool Value) { SetValue("Debug_LogMain", Value); }

std::string TVTASettings::DebugRootFolder() { return GetValue("DebugRootFolder", FDefaultDebugRoot); }
void TVTASettings::SetDebugRootFolder(const std::string& Value) { SetValue("DebugRootFolder", Value); }

std::string TVTASettings::LogRootFolder() { return GetValue("LogRootFolder", FDefaultLogRoot); }
void TVTASettings::SetLogRootFolder(const std::string& Value) { SetValue("LogRootFolder", Value); }

std::string TVTASettings::LogTimeFormat() {
  const auto lock = Lock();
  return GetValue("LogTimeFormat", "YYMMDD HHNNSS" + std::string(1, FormatSettings().DecimalSeparator) + "ZZZ");
}
void TVTASettings::SetLogTimeFormat(const std::string& Value) { SetValue("LogTimeFormat", Value); }

bool TVTASettings::LogTimeSourceZCT() { return GetValue("LogTimeSourceZCT", false); }
void TVTASettings::SetLogTimeSourceZCT(bool Value) { SetValue("LogTimeSourceZCT", Value); }

bool TVTASettings::LogTimeZoneSystem() { return GetValue("LogTimeZoneSystem", false); }
void TVTASettings::SetLogTimeZoneSystem(bool Value) { SetValue("LogTimeZoneSystem", Value); }

int32_t TVTASettings::SessionCount() { return GetValue("SessionCount", int32_t(-1)); }
void TVTASettings::SetSessionCount(int32_t Value) { SetValue("SessionCount", Value); }

TMainPlacement TVTASettings::MainPlacement(const TMainPlacement& designPlacement) {
  const auto lock = Lock();
  GetValue("Main_DefaultSettings", false);
  return {GetValue("Main_Left", designPlacement.Left), GetValue("Main_Top", designPlacement.Top),
          GetValue("Main_Width", designPlacement.Width), GetValue("Main_Height", designPlacement.Height)};
}

void TVTASettings::SetMainPlacement(const TMainPlacement& Value) {
  const auto lock = Lock();
  SetValue("Main_DefaultSettings", false);
  SetValue("Main_Left", Value.Left);
  SetValue("Main_Top", Value.Top);
  SetValue("Main_Width", Value.Width);
  SetValue("Main_Height", Value.Height);
}

int32_t TVTASettings::ChildCount() { return GetValue("ChildCount", int32_t(0)); }
void TVTASettings::SetChildCount(int32_t Value) { SetValue("ChildCount", Value); }

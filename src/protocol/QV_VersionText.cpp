#include "protocol/QV_VersionText.h"

#include <cctype>
#include <charconv>

#include "core/QV_NumberText.h"

namespace {

std::vector<std::string_view> Split(std::string_view text, std::string_view separator) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (size_t pos; (pos = text.find(separator, start)) != std::string_view::npos; start = pos + separator.size())
    parts.push_back(text.substr(start, pos - start));
  parts.push_back(text.substr(start));
  return parts;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view LeadingDigits(std::string_view text) {
  size_t n = 0;
  while (n < text.size() && IsDigit(text[n])) ++n;
  return text.substr(0, n);
}

uint16_t ModelFeatures(std::string_view tag) {
  if (tag == "ZCT:" || tag == "RawZCT:") return 0x0001;
  if (tag == "MRT9:") return 0x0008;
  if (tag == "IVC:") return 0x0002;
  if (tag == "ZCQ:") return 0x2001;
  return 0x8000;
}

uint16_t LetterFeature(char c) {
  switch (c) {
    case 'U': return 0x0002;
    case 'S': return 0x0004;
    case 'F': return 0x4000;
    default: return 0;
  }
}

// The blank-separated word that ends right before `end`.
std::string_view WordBefore(std::string_view text, size_t end) {
  size_t start = end;
  while (start > 0 && text[start - 1] != ' ') --start;
  return text.substr(start, end - start);
}

std::string DottedLsbFirst(uint32_t value) {
  return std::to_string(value & 0xFF) + "." + std::to_string((value >> 8) & 0xFF) + "." +
         std::to_string((value >> 16) & 0xFF) + "." + std::to_string(value >> 24);
}

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

}  // namespace

std::optional<uint32_t> ParseHex32(std::string_view text) {
  text = TrimBlanks(text);
  if (text.empty() || text.size() > 8) return std::nullopt;
  uint32_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<int32_t> ParseDecimal(std::string_view text) {
  text = TrimBlanks(text);
  if (text.empty() || !IsDigit(text[0])) return std::nullopt;
  int32_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::string_view TrimTrailingControls(std::string_view text) {
  while (!text.empty() && static_cast<uint8_t>(text.back()) < 0x20) text.remove_suffix(1);
  return text;
}

std::optional<TColdfireVersion> ParseColdfireVersion(std::string_view text) {
  const size_t versionPos = text.find("VERSION");
  const size_t colon = text.find(": ");
  if (versionPos == std::string_view::npos || colon == std::string_view::npos) return std::nullopt;
  TColdfireVersion v;
  const size_t textStart = std::min(text.size(), versionPos + 8);
  v.VersionString = TrimTrailingControls(text.substr(textStart));
  v.HardFeature = ModelFeatures(std::string(WordBefore(text, colon)) + ":");
  const std::string_view digits = LeadingDigits(text.substr(colon + 2));
  if (const auto number = ParseDecimal(digits)) {
    v.Version = *number;
    v.Ok = true;
  }
  const size_t cf = text.find("CF ", colon);
  if (cf != std::string_view::npos) {
    for (size_t i = cf; i > colon + 2 && std::isupper(static_cast<uint8_t>(text[i - 1])); --i)
      v.HardFeature |= LetterFeature(text[i - 1]);
    const std::string_view rest = text.substr(cf + 3);
    v.Date = rest.substr(0, rest.find(' '));
  }
  const auto parts = Split(TrimTrailingControls(text), "/");
  if (parts.size() > 1) v.FPGAVersion = TrimBlanks(parts[1]);
  if (v.Version > 39 && parts.size() > 3) {
    for (size_t i = 2; i < parts.size() && !v.SerialNumber; ++i) v.SerialNumber = ParseHex32(parts[i]);
  }
  if (v.Version > 49 && parts.size() > 4) v.IP = TrimBlanks(parts[3]);
  return v;
}

TESPVersion ParseESPVersion(std::string_view text) {
  TESPVersion v;
  const auto diag = [&v](bool isError, const std::string& line) {
    v.Diagnostics.push_back({isError, ".ESPExtractFirmware" + line});
  };
  text = TrimBlanks(TrimTrailingControls(text));
  if (text.empty()) {
    diag(true, ": empty VersionString");
    return v;
  }
  const auto parts = Split(text, " / ");
  v.HardwareText = parts[0];
  diag(false, " HardwareText=" + v.HardwareText);
  if (parts.size() > 1) {
    const std::string_view idPart = TrimBlanks(parts[1]);
    const size_t blank = idPart.find(' ');
    const std::string_view serial = idPart.substr(0, blank);
    const std::string_view user = blank == std::string_view::npos ? std::string_view{} : idPart.substr(blank + 1);
    if (const auto number = ParseHex32(serial)) v.SerialNumber = *number;
    else diag(true, " invalid SerialNumber=" + std::string(serial));
    if (const auto number = ParseDecimal(user)) v.UserID = *number;
    else diag(true, " invalid UserID=" + std::string(user));
  }
  if (parts.size() > 2 && StartsWith(parts[2], "FW: ")) {
    v.FirmwareText = parts[2].substr(4);
    const size_t dash = v.FirmwareText.find('-');
    const std::string_view numbers =
        dash == std::string::npos ? std::string_view{} : std::string_view(v.FirmwareText).substr(dash + 1);
    const std::string_view major = LeadingDigits(numbers);
    if (const auto number = ParseDecimal(major)) v.Major = *number;
    else diag(true, " invalid major=" + std::string(numbers));
    if (major.size() < numbers.size() && numbers[major.size()] == '.') {
      const std::string_view afterPoint = numbers.substr(major.size() + 1);
      const std::string_view minor = LeadingDigits(afterPoint);
      if (const auto number = ParseDecimal(minor)) v.Minor = *number;
      v.Date = TrimBlanks(afterPoint.substr(minor.size()));
    }
    if (v.Minor < 0) diag(true, " invalid minor=" + std::string(numbers));
    v.Ok = v.Minor >= 0;
    if (v.Ok && v.Major >= 0) v.Version = 100 * v.Major + v.Minor;
    diag(false, " FW=" + v.FirmwareText);
  } else if (parts.size() > 2) {
    diag(true, " invalid FW=" + std::string(parts[2]));
  }
  if (parts.size() > 3 && StartsWith(parts[3], "HW:")) v.FPGAVersion = TrimBlanks(parts[3].substr(3));
  else if (parts.size() > 3) diag(true, " invalid HW=" + std::string(parts[3]));
  if (parts.size() > 4) {
    const auto number = StartsWith(parts[4], "IP: ") ? ParseHex32(parts[4].substr(4)) : std::nullopt;
    if (number) v.IP = DottedLsbFirst(*number);
    else diag(true, " invalid IP=" + std::string(parts[4]));
  }
  return v;
}

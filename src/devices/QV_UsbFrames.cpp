#include "devices/QV_UsbFrames.h"

namespace QV_UsbFrames {

namespace {
bool NeedsEscape(uint8_t c) { return c >= 0xBC && c <= 0xBF; }
}  // namespace

std::string UsbFrame(std::string_view report) {
  const auto lengthCode = static_cast<uint8_t>(report.size() + 2);
  uint8_t sum = lengthCode;
  for (char c : report) sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(c));
  std::string body(report);
  body.push_back(static_cast<char>(static_cast<uint8_t>(-sum)));
  std::string escaped;
  uint8_t escapes = 0;
  for (char c : body) {
    const auto b = static_cast<uint8_t>(c);
    if (NeedsEscape(b)) {
      ++escapes;
      escaped.push_back('\xBC');
      escaped.push_back(static_cast<char>(b + 4));
    } else {
      escaped.push_back(c);
    }
  }
  return std::string{static_cast<char>(escapes), static_cast<char>(lengthCode)} + escaped + '\xBF';
}

std::string FramesLostReport() { return UsbFrame(std::string("\x7F\x21", 2) + "Read error on USB. USB frames lost"); }

bool IsBufferClearCmd(std::string_view cmd) {
  if (cmd.empty()) return false;
  const auto c = static_cast<uint8_t>(cmd[0]);
  return (c & 0x80) != 0 && c != 0x85 && (c < 0xBC || c > 0xBF);
}

bool IsToolsCmd(std::string_view cmd) {
  if (cmd.size() < 2 || static_cast<uint8_t>(cmd[0]) != 0x85) return false;
  const auto c = static_cast<uint8_t>(cmd[1]);
  return (c >= 0x38 && c <= 0x3E) || (c >= 0x40 && c <= 0x42) || c == 0x44;
}

bool IsFirstVersionCmd(std::string_view cmd) {
  const auto first = cmd.empty() ? 0 : static_cast<uint8_t>(cmd[0]);
  return first == 0x01 || first == 0x80 || first == 0x81;
}

std::string Framed(std::string_view cmd) { return static_cast<char>(cmd.size()) + std::string(cmd); }

}  // namespace QV_UsbFrames

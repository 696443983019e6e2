#include "ui/SessionCommands.h"

#include <cctype>
#include <cstdlib>

#include "protocol/QV_Commands.h"

namespace {

constexpr int32_t kNegativeOffsetBase = 20000;

std::string Byte(uint8_t value) { return std::string(1, char(value)); }

void AppendLittleEndian16(std::string& bytes, uint16_t value) {
  bytes += char(value & 0xFF);
  bytes += char(value >> 8);
}

}  // namespace

TSessionCommand ModeCommand(int32_t mode, const std::string& caption) {
  return {Byte(uint8_t(QVCmd::ModeBase + mode)), "Mode " + caption};
}

TSessionCommand IntervalCommand(int32_t rate, const std::string& caption) {
  return {Byte(uint8_t(QVCmd::RateBase + rate)), "Interval " + caption};
}

TSessionCommand ScramblerCommand(int32_t tag, const std::string& caption) {
  return {Byte(uint8_t(QVCmd::ScramblerOff + tag)), "Scrambler " + caption};
}

TSessionCommand TransmitChannelsCommand(int32_t count) {
  if (count < 1 || count >= 24) return {Byte(QVCmd::Channels24), "Transmit all channels"};
  if (count == 1) return {Byte(QVCmd::Channels24 + 1), "Transmit channel 1"};
  const std::string bytes = count <= 11 ? Byte(uint8_t(QVCmd::Channels24 + count)) : Byte(QVCmd::ChannelsN) + Byte(uint8_t(count));
  return {bytes, "Transmit channels 1.." + std::to_string(count)};
}

TSessionCommand PPICommand(int32_t intervalMs, int32_t offsetMs, const std::string& caption) {
  std::string bytes = Byte(QVCmd::PPI);
  AppendLittleEndian16(bytes, uint16_t(intervalMs));
  AppendLittleEndian16(bytes, uint16_t(offsetMs < 0 ? offsetMs + kNegativeOffsetBase : offsetMs));
  return {bytes, caption + " Offset " + std::to_string(offsetMs)};
}

TSessionCommand PPIDefaultCommand(const std::string& caption) {
  std::string bytes = Byte(QVCmd::PPI);
  AppendLittleEndian16(bytes, 0xFFFF);
  AppendLittleEndian16(bytes, 0xFFFF);
  return {bytes, caption + " default"};
}

bool PPIOffsetTooLarge(int32_t intervalMs, int32_t offsetMs) { return std::abs(offsetMs) >= intervalMs; }

TSessionCommand VersionCommand() { return {Byte(QVCmd::Version), "Version"}; }
TSessionCommand DiffResetCommand() { return {Byte(QVCmd::PhaseReset), "Diff Reset"}; }
TSessionCommand SyncEnableCommand() { return {Byte(QVCmd::ReSync), "Sync Enable"}; }
TSessionCommand ClearBufferCommand() { return {Byte(QVCmd::ClearBuffer), "Clear Buffer"}; }

std::optional<std::string> ParseHexCommand(const std::string& text) {
  std::string bytes;
  size_t i = 0;
  const auto isSeparator = [](char c) { return c == ' ' || c == ',' || c == ';' || c == '\t'; };
  while (i < text.size()) {
    if (isSeparator(text[i])) {
      ++i;
      continue;
    }
    size_t end = i;
    while (end < text.size() && !isSeparator(text[end])) ++end;
    std::string part = text.substr(i, end - i);
    if (part.size() > 2 && part[0] == '0' && (part[1] == 'x' || part[1] == 'X')) part = part.substr(2);
    if (part.empty() || part.size() > 2) return std::nullopt;
    for (char c : part)
      if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
    bytes += char(std::strtoul(part.c_str(), nullptr, 16));
    i = end;
  }
  if (bytes.empty()) return std::nullopt;
  return bytes;
}

#include "protocol/QV_Commands.h"

#include <algorithm>

#include "core/LogUnit.h"
#include "devices/QV_BaseDevice.h"
#include "protocol/QV_Header.h"

namespace {

uint8_t Byte(std::string_view cmd, size_t i) { return i < cmd.size() ? static_cast<uint8_t>(cmd[i]) : 0; }

bool IsExtended(std::string_view cmd, uint8_t sub) {
  return cmd.size() >= 2 && Byte(cmd, 0) == QVCmd::Extended && Byte(cmd, 1) == sub;
}

// The rate interval in ms of a rate index 0..13; the slowest rate for anything else.
int64_t RateIntervalMs(int index) {
  constexpr int SlowestRate = 13;
  return TQVHeader::IntervalIndexToMs(index >= 0 && index <= SlowestRate ? index : SlowestRate);
}

int IntervalBits(uint16_t header) { return (header >> 8) & 0x0F; }

}  // namespace

bool IsVersionCmd(std::string_view cmd) {
  return cmd.size() == 1 && (Byte(cmd, 0) == QVCmd::Version || Byte(cmd, 0) == (QVCmd::Version | 0x80));
}

bool IsFirstVersionCmd(std::string_view cmd) {
  if (cmd.empty()) return false;
  const uint8_t c = Byte(cmd, 0);
  return c == QVCmd::Version || c == QVCmd::ClearBuffer || c == (QVCmd::Version | 0x80);
}

bool IsBufferClearCmd(std::string_view cmd) {
  if (cmd.empty()) return false;
  const uint8_t c = Byte(cmd, 0);
  return (c & 0x80) && c != QVCmd::Extended && !(c >= 0xBC && c <= 0xBF);
}

bool IsToolsCmd(std::string_view cmd) {
  if (cmd.size() < 2 || Byte(cmd, 0) != QVCmd::Extended) return false;
  const uint8_t sub = Byte(cmd, 1);
  return (sub >= 0x38 && sub <= 0x3E) || (sub >= 0x40 && sub <= 0x42) || sub == 0x44;
}

bool IsResetCmd(std::string_view cmd) {
  return IsExtended(cmd, QVCmd::ExResetColdfire) || IsExtended(cmd, QVCmd::ExResetESP);
}

bool IsStopCmd(std::string_view cmd) { return IsExtended(cmd, QVCmd::ExStop); }

std::u16string WidenCommand(std::string_view cmd) {
  std::u16string wide(cmd.size(), u'\0');
  std::transform(cmd.begin(), cmd.end(), wide.begin(), [](char c) { return char16_t(uint8_t(c)); });
  return wide;
}

std::string NarrowCommand(std::u16string_view cmd) {
  std::string narrow(cmd.size(), '\0');
  std::transform(cmd.begin(), cmd.end(), narrow.begin(), [](char16_t c) { return char(uint8_t(c)); });
  return narrow;
}

int64_t ReplyWaitLimitMs(TCmdResponseType kind, uint16_t header, std::string_view lastCommand) {
  if (kind == crt_ReadNVS) return NvsReplyLimitMs;
  const int64_t oldMs = header == 0xFFFF ? RateIntervalMs(-1) : RateIntervalMs(IntervalBits(header));
  int64_t newMs = oldMs;
  const uint8_t c = Byte(lastCommand, 0) & 0x7F;
  if (lastCommand.size() == 1 && c >= QVCmd::RateBase && c <= QVCmd::RateBase + 13) newMs = RateIntervalMs(c & 0x0F);
  return 3 * std::max(oldMs, newMs) + 1000;
}

bool TQV_ReplyWaitGuard::Check(TQV_BaseDevice& device, int32_t logId, const std::string& tag) {
  std::lock_guard lock(FLock);
  const TCmdResponseType kind = device.CmdResponse();
  const uint64_t now = FClock.TickMs();
  if (kind == crt_none) {
    FKind = crt_none;
    return false;
  }
  if (kind != FKind) {
    FKind = kind;
    FStartMs = now;
    FLimitMs = ReplyWaitLimitMs(kind, device.ZCTReportHeader(), device.LastCommand());
    return false;
  }
  const auto waited = static_cast<int64_t>(now - FStartMs);
  if (waited <= FLimitMs) return false;
  LogError(logId, tag + ".CheckCmdResponse: wait CmdResponse " + CmdResponseTypeName(kind) + " expired after " +
                      std::to_string(waited) + " ms -> reset wait CmdResponse");
  device.SetCmdResponse(crt_none);
  FKind = crt_none;
  return true;
}

void TQV_CommandQueue::Add(std::string_view cmd) {
  std::lock_guard lock(FLock);
  FItems.push_back(WidenCommand(cmd));
}

std::optional<std::string> TQV_CommandQueue::TakeFirst() {
  std::lock_guard lock(FLock);
  if (FItems.empty()) return std::nullopt;
  std::string cmd = NarrowCommand(FItems.front());
  FItems.pop_front();
  return cmd;
}

int TQV_CommandQueue::RemoveIf(const std::function<bool(const std::string&)>& match) {
  std::lock_guard lock(FLock);
  const auto before = FItems.size();
  std::erase_if(FItems, [&](const std::u16string& item) { return match(NarrowCommand(item)); });
  return static_cast<int>(before - FItems.size());
}

void TQV_CommandQueue::Clear() {
  std::lock_guard lock(FLock);
  FItems.clear();
}

int TQV_CommandQueue::Count() const {
  std::lock_guard lock(FLock);
  return static_cast<int>(FItems.size());
}

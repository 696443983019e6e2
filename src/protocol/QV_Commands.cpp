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

std::string Hex4(uint16_t value) { return IntToHex(value, 4); }

// The rate interval in ms of a rate index 0..13; the slowest rate for anything else.
int64_t RateIntervalMs(int index) {
  constexpr int SlowestRate = 13;
  return TQVHeader::IntervalIndexToMs(index >= 0 && index <= SlowestRate ? index : SlowestRate);
}

// Scrambler header bits 5-4 that a scrambler command asks for; -1 for other bytes.
int ScramblerBitsOf(uint8_t cmdByte) {
  switch (cmdByte & 0x7F) {
    case QVCmd::ScramblerOff: return 0;
    case QVCmd::ScramblerAuto: return 1;
    case QVCmd::ScramblerTrim: return 2;
    default: return -1;
  }
}

int IntervalBits(uint16_t header) { return (header >> 8) & 0x0F; }
int ModeBits(uint16_t header) { return (header >> 12) & 0x0F; }
int ScramblerBits(uint16_t header) { return (header >> 4) & 0x03; }

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

TCmdDelay CommandDelayFor(std::string_view cmd, TQV_PeerType peer, TCmdWriter writer) {
  if (cmd.empty() || writer == TCmdWriter::Serial) return {};
  const uint8_t first = Byte(cmd, 0);
  if (IsExtended(cmd, QVCmd::ExWriteMemory) || IsExtended(cmd, QVCmd::ExReadBlock) ||
      first == QVCmd::Calibration || first == QVCmd::HRQSlice)
    return {20, "FRAM access"};
  if (IsExtended(cmd, QVCmd::ExWriteNVS)) return {30, "NVS access"};
  if (writer != TCmdWriter::UsbLine || peer != ptESP) return {};
  if (IsExtended(cmd, QVCmd::ExSwitchPartition)) return {50, "switch partition"};
  if (first == QVCmd::RepeatESP && Byte(cmd, 1) == QVCmd::ExRepeat) return {1000, "repeat request"};
  return {5, "ESP"};
}

TReplyWaitStart ReplyWaitFor(std::string_view cmd, uint16_t header) {
  if (TQV_BaseDevice::Is7020Cmd(cmd)) {
    const uint8_t c = Byte(cmd, 0) & 0x7F;
    if (c == QVCmd::PhaseReset) return {crt_phaseReset, "Is7020Cmd"};
    if (c >= 0x20 && c <= 0x2F) return {crt_interval, "Is7020Cmd"};
    if (c >= 0x40 && c <= 0x4F) return {crt_mode, "Is7020Cmd"};
    if (header != 0xFFFF && ScramblerBits(header) == 3) return {std::nullopt, "invalid scrambler"};
    return {crt_scrambler, "Is7020Cmd"};
  }
  if (TQV_BaseDevice::IsChannelCmd(cmd)) return {crt_channel, "IsChannelCmd"};
  if (TQV_BaseDevice::IsReadNVSCmd(cmd)) return {crt_ReadNVS, "IsReadNVSCmd"};
  return {};
}

void ApplyReplyWait(TQV_BaseDevice& device, const std::string& cmd, const std::string& logPrefix) {
  device.SetLastCommand(cmd);
  const uint16_t header = device.ZCTReportHeader();
  const TReplyWaitStart start = ReplyWaitFor(cmd, header);
  if (start.Reason == "invalid scrambler") {
    LogIt(device.LogId(), logPrefix + ": Header=" + Hex4(header) + " invalid scrambler cmd -> no wait CmdResponse");
  } else if (start.Wait) {
    device.SetCmdResponse(*start.Wait);
    LogIt(device.LogId(), logPrefix + ": " + start.Reason + " -> wait CmdResponse=" + CmdResponseTypeName(*start.Wait));
  }
}

TReplyMatch MatchStatusBlock(TCmdResponseType wait) {
  if (wait == crt_none || wait == crt_channel) return {};
  return {true,
          {" TransmitReport Is7020 old:" + CmdResponseTypeName(wait),
           " TransmitReport Is7020 new:" + CmdResponseTypeName(crt_none)}};
}

TReplyMatch MatchMeasurement(TCmdResponseType wait, uint16_t oldHeader, uint16_t newHeader, uint8_t cmdByte) {
  const auto line = [&](const std::string& what, uint16_t old) {
    return " ZCTMeasurement" + what + " old=" + Hex4(old) + ", new=" + Hex4(newHeader);
  };
  TReplyMatch match;
  switch (wait) {
    case crt_interval:
      if (IntervalBits(newHeader) != IntervalBits(oldHeader))
        match = {true, {line(", interval changed:", oldHeader)}};
      else if ((cmdByte & 0x0F) == IntervalBits(oldHeader))
        match = {true, {line(", same interval:", oldHeader)}};
      break;
    case crt_mode:
      if (ModeBits(newHeader) != ModeBits(oldHeader))
        match = {true, {line(", mode changed:", oldHeader)}};
      else if ((cmdByte & 0x0F) == ModeBits(oldHeader))
        match = {true, {line(", same mode:", oldHeader)}};
      break;
    case crt_scrambler: {
      const int wanted = ScramblerBitsOf(cmdByte);
      if (oldHeader == 0xFFFF) {
        if (wanted == ScramblerBits(newHeader)) match = {true, {line(", scrambler ok:", oldHeader)}};
      } else if (ScramblerBits(oldHeader) == ScramblerBits(newHeader)) {
        if (wanted == ScramblerBits(newHeader)) match = {true, {line(", same scrambler:", oldHeader)}};
      } else {
        match = {true, {line(", scrambler changed:", oldHeader)}};
      }
      break;
    }
    case crt_channel: match = {true, {line(" for channel cmd", oldHeader)}}; break;
    case crt_phaseReset: match = {true, {line(" for phase reset", oldHeader)}}; break;
    default: break;
  }
  match.Lines.push_back(" ZCTMeasurement CmdResponse=" + CmdResponseTypeName(match.Ended ? crt_none : wait));
  return match;
}

int64_t ReplyWaitLimitMs(uint16_t header, std::string_view lastCommand) {
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
    FLimitMs = ReplyWaitLimitMs(device.ZCTReportHeader(), device.LastCommand());
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

#include "devices/QV_CmdPacing.h"

#include "core/LogUnit.h"
#include "core/QV_NumberText.h"
#include "devices/QV_BaseDevice.h"
#include "devices/QV_CmdBytes.h"

namespace {

uint8_t Byte(std::string_view cmd, size_t i) { return i < cmd.size() ? static_cast<uint8_t>(cmd[i]) : 0; }

bool IsExtended(std::string_view cmd, uint8_t sub) {
  return cmd.size() >= 2 && Byte(cmd, 0) == QVCmd::Extended && Byte(cmd, 1) == sub;
}

std::string Hex4(uint16_t value) { return IntToHex(value, 4); }

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


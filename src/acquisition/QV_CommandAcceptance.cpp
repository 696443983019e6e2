#include "acquisition/QV_CommandAcceptance.h"

#include "protocol/QV_Header.h"

namespace {

constexpr uint8_t ExtendedOpcode = 0x85;
constexpr size_t MaxCommandLength = 127;
constexpr size_t NvsBlockWriteLength = 132;

const char* const InvalidCommand = "Ignore invalid command";
const char* const NotForEsp = "ZCT2: Command not supported";

// The outcome of one rule: accepted (with a firmware minimum still to check) or refused with a reason.
struct TVerdict {
  bool Ok = false;
  std::string Reason;
  bool BareReason = false;  // the reply is the reason alone, without the command in hex
  int32_t MinFirmware = 0;
};

TVerdict Accept(int32_t minFirmware = 0) { return {true, "", false, minFirmware}; }
TVerdict Refuse(std::string reason) { return {false, std::move(reason), false, 0}; }
TVerdict Rule(bool ok, int32_t minFirmware = 0) { return ok ? Accept(minFirmware) : Refuse(InvalidCommand); }

bool In(unsigned value, unsigned low, unsigned high) { return value >= low && value <= high; }

uint8_t Byte(std::string_view cmd, size_t i) { return i < cmd.size() ? static_cast<uint8_t>(cmd[i]) : 0; }

// Bytes 2 to 5, most significant first.
uint32_t Address(std::string_view cmd) {
  return uint32_t(Byte(cmd, 2)) << 24 | uint32_t(Byte(cmd, 3)) << 16 | uint32_t(Byte(cmd, 4)) << 8 | Byte(cmd, 5);
}

// Memory the read and write commands may reach.
bool IsMemoryAddress(uint32_t a) {
  return a < 0x80000 || In(a, 0x20000000, 0x2000FFFF) || In(a, 0x30000000, 0x3007FFFF);
}

// The network module's NVS block write: 0x85 0x25 "b" with 132 bytes.
bool IsNvsBlockWrite(std::string_view cmd) {
  return cmd.size() == NvsBlockWriteLength && Byte(cmd, 0) == ExtendedOpcode && Byte(cmd, 1) == 0x25 &&
         Byte(cmd, 2) == 'b';
}

bool HasZctFeatures(uint16_t hardFeature) { return (hardFeature & 0x2001) == 0x2001; }  // bits 0 and 13
bool HasFeatureBit2(uint16_t hardFeature) { return hardFeature & 0x0004; }
bool HasFeatureBit14(uint16_t hardFeature) { return hardFeature & 0x4000; }

TVerdict CheckNvsCommand(std::string_view cmd) {
  const size_t len = cmd.size();
  if (len < 6) return Refuse(InvalidCommand);
  switch (Byte(cmd, 2)) {
    case 'b':
      return Rule(len == NvsBlockWriteLength);
    case 'i':
      return Rule(len == 8);
    case 's':
      return Rule(len < 45);
    default:
      return Refuse(InvalidCommand);
  }
}

TVerdict CheckExtended(std::string_view cmd, const TCommandContext& c) {
  if (c.PeerType == ptColdfire && c.SerialConnection) return Refuse("Serial connection: Command not supported");
  const size_t len = cmd.size();
  const unsigned sub = Byte(cmd, 1);
  const uint32_t address = Address(cmd);
  if (len < 2) return Refuse(InvalidCommand);
  if (sub == 0x10 || sub == 0x11 || In(sub, 0x18, 0x1B)) return Rule(len == 2);
  if (sub == 0x12) return Rule(len == 10);
  if (sub == 0x20) return Rule(In(len, 7, MaxCommandLength) && IsMemoryAddress(address));
  if (sub == 0x21) return Rule(len == 14, 19);
  if (sub == 0x22) return Rule(In(len, 3, MaxCommandLength), 19);
  if (sub == 0x23) {
    if (c.PeerType == ptESP) return Refuse(NotForEsp);
    const bool addressOk = address > 2047 ? In(address, 0x7E000, 0x7EFFF) : HasFeatureBit14(c.HardFeature);
    return Rule(In(len, 7, MaxCommandLength) && addressOk, 62);
  }
  if (sub == 0x25) return CheckNvsCommand(cmd);
  if (sub == 0x30 || sub == 0x32 || sub == 0x38) return Rule(len == 2);
  if (sub == 0x39) return Rule(len == 6);
  if (In(sub, 0x3A, 0x3D)) return Rule(len == 10);
  if (sub == 0x3E) return Rule(In(len, 10, MaxCommandLength));
  if (sub == 0x40) return Rule(len == 7 && Byte(cmd, 6) <= 128 && IsMemoryAddress(address));
  if (sub == 0x41) return Rule(len == 2, 19);
  if (sub == 0x42) return Rule(len == 3 && Byte(cmd, 2) == 1, c.PeerType == ptColdfire ? 45 : 101);
  if (sub == 0x43) return Rule(len == 7 && Byte(cmd, 6) == 128 && address < 2048, 62);
  if (sub == 0x44) return Rule(len == 3, 73);
  if (sub == 0x45) return Rule(len == 4);
  if (sub == 0x48) return Rule(len == 11 && In(Byte(cmd, 2), 1, 10));
  if (sub == 0x49) return Rule(len == 3 && In(Byte(cmd, 2), 1, 10));
  if (In(sub, 0x50, 0x52) || sub == 0x60) return Rule(len == 2);
  if (sub == 0x72) return Rule(len == 3);
  if (sub == 0x73) return Rule(len == 6 && In(address, 0x30000000, 0x3007FFFF));
  if (sub == 0x80) return Rule(len == 3);
  return Refuse(InvalidCommand);
}

// Rate commands: the low nibble is the rate index; a serial line cannot carry the fastest rates.
TVerdict CheckRateCommand(std::string_view cmd, const TCommandContext& c, const std::string& dbgTag,
                          TSourceLogLines& log) {
  if (cmd.size() != 1) return Refuse(InvalidCommand);
  if (!c.SerialConnection) return Accept();
  const int minimum = SerialMinimumRateIndex(c.PeerType, c.CounterChannelCount);
  log.push_back({false, dbgTag + ".SendCommand: serial min rate=" + IntToHex(minimum, 2) + " cmd=" + AnsiToHex(cmd)});
  if ((Byte(cmd, 0) & 0x0F) >= minimum) return Accept();
  return {false, "Command ignored: serial connection limited to " + TQVHeader::IntervalIndexToText(minimum), true, 0};
}

// The length a command 16 must have; 0 when the device does not take it.
size_t RequiredLengthOfCommand16(const TCommandContext& c) {
  const bool fileWithoutFeatures = c.HardFeature == 0 && (c.DeviceType == QV_TxtFile || c.DeviceType == QV_BinFile);
  if (fileWithoutFeatures || HasFeatureBit2(c.HardFeature)) return 4;
  return HasZctFeatures(c.HardFeature) ? 1 : 0;
}

TVerdict CheckStandard(std::string_view cmd, const TCommandContext& c, const std::string& dbgTag,
                       TSourceLogLines& log) {
  const unsigned op = Byte(cmd, 0) & 0x7F;
  const size_t len = cmd.size();
  const bool esp = c.PeerType == ptESP;
  const bool zct = HasZctFeatures(c.HardFeature);
  if (op == 0 || op == 1 || op == 10 || op == 15) return Rule(len == 1);
  if (op == 2 || op == 5) return esp ? Refuse(NotForEsp) : Rule(len == 1);
  if (op == 3) return esp ? Refuse(NotForEsp) : Rule(len == 2 && In(Byte(cmd, 1), 1, 4));
  if (op == 8 || op == 9 || In(op, 11, 13) || In(op, 21, 31) || op == 71) return Rule(zct && len == 1);
  if (op == 14) return Rule((zct || esp) && len == 1);
  if (op == 16) {
    const size_t required = RequiredLengthOfCommand16(c);
    return Rule(required != 0 && len == required);
  }
  if (In(op, 17, 20)) return Rule((HasFeatureBit2(c.HardFeature) || zct) && len == 1);
  if (In(op, 32, 45)) return CheckRateCommand(cmd, c, dbgTag, log);
  if (In(op, 48, 59) || In(op, 64, 69) || In(op, 80, 95)) return Rule(len == 1);
  if (op == 63) return Rule(len == 2 && In(Byte(cmd, 1), 12, 23));
  if (op == 70) return c.RawDataOption && len == 1 ? Accept() : Refuse("Mode raw data not supported");
  if (op == 96) {
    if (!esp || len != 5) return Refuse(InvalidCommand);
    // Only firmware known to be new enough takes it.
    return c.FirmwareVersionNumber >= 114 ? Accept() : Refuse("Command not supported, Firmware < 114");
  }
  return Refuse("Ignore unknown command");
}

TCommandAcceptance IgnoredBeforeCheck(const std::string& text, const std::string& dbgTag) {
  TCommandAcceptance result;
  result.Result = QV_CmdIgnored;
  result.Command = text;
  result.Log.push_back({true, dbgTag + ".SendCommand " + text});
  return result;
}

}  // namespace

TCommandAcceptance CheckCommand(std::string_view cmd, const TCommandContext& context, const std::string& dbgTag) {
  if (!context.ConnectionOpen) return IgnoredBeforeCheck("No connection, Command ignored: " + AnsiToHex(cmd), dbgTag);
  if (context.CmdLimit > 0 && context.PendingCommands > context.CmdLimit)
    return IgnoredBeforeCheck("Command FiFo full, Command ignored: " + AnsiToHex(cmd), dbgTag);

  TCommandAcceptance result;
  std::string command(cmd);
  TVerdict verdict;
  if (command.empty()) {
    verdict = Refuse(InvalidCommand);
  } else if (Byte(command, 0) == ExtendedOpcode) {
    verdict = CheckExtended(command, context);
  } else {
    if (context.PeerType == ptESP && (Byte(command, 0) & 0x80)) {
      result.Log.push_back({false, dbgTag + ".SendCommand ZCT2: omit MSB from " + AnsiToHex(command)});
      command[0] = static_cast<char>(Byte(command, 0) & 0x7F);
    }
    verdict = CheckStandard(command, context, dbgTag, result.Log);
  }
  const int32_t firmware = context.FirmwareVersionNumber;
  if (verdict.Ok && firmware > 0 && firmware < verdict.MinFirmware)
    verdict = Refuse("Command not supported, Firmware < " + std::to_string(verdict.MinFirmware));

  result.Accepted = verdict.Ok;
  if (verdict.Ok) {
    result.Command = command;
    return result;
  }
  result.Result = QV_CmdIgnored;
  result.Command = verdict.BareReason ? verdict.Reason : verdict.Reason + ": " + AnsiToHex(command);
  result.Log.push_back({true, dbgTag + ".SendCommand failed: " + result.Command});
  return result;
}

std::optional<std::string> CheckCommandLength(std::string_view cmd) {
  if ((!cmd.empty() && cmd.size() <= MaxCommandLength) || IsNvsBlockWrite(cmd)) return std::nullopt;
  return "Invalid command length = " + std::to_string(cmd.size()) + ", valid: 1..127";
}

int SerialMinimumRateIndex(TQV_PeerType peer, int counterChannelCount) {
  const int n = counterChannelCount > 0 ? counterChannelCount : 25;
  if (peer == ptESP) return n <= 5 ? 0 : n <= 11 ? 1 : 2;
  return n <= 6 ? 2 : n <= 14 ? 3 : 4;
}

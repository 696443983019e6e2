#include "devices/QV_CommandInterpreter.h"

#include "core/LogUnit.h"

namespace {

constexpr uint8_t ExtendedPrefix = 0x85;
constexpr size_t MemoryWriteLength = 134;  // 0x85 "#" + 4-byte address + 128 bytes
constexpr uint32_t FirstMemoryAddress = 0x7E000;
constexpr uint32_t LastMemoryAddress = 0x7E200;

uint8_t Byte(std::string_view cmd, size_t i) { return static_cast<uint8_t>(cmd[i]); }

uint32_t BigEndian(std::string_view bytes) {
  uint32_t value = 0;
  for (char c : bytes) value = (value << 8) | static_cast<uint8_t>(c);
  return value;
}

}  // namespace

TQV_CommandInterpreter::TQV_CommandInterpreter(int32_t aLogId) : FLogId(aLogId) {}

bool TQV_CommandInterpreter::CheckCommand(std::u16string_view Data) {
  std::string bytes;
  for (char16_t c : Data) bytes += static_cast<char>(c);
  return CheckCommand(bytes);
}

bool TQV_CommandInterpreter::CheckCommand(std::string_view Cmd) {
  FErrorCode = QV_No_Err;
  FErrorMessage.clear();
  if (Cmd.empty()) {
    LogError(FLogId, "TQV_CommandInterpreter.CheckCommand: no command");
    return Refuse("command missing");
  }
  if (Cmd.size() > 1) return CheckMultiByte(Cmd);
  const uint8_t c = Byte(Cmd, 0);
  // Bit 7 asks the instrument to clear its transmit buffer first; 0x85 is the extended prefix.
  const bool clear = (c & 0x80) && c != ExtendedPrefix;
  const bool accepted = CheckSingleByte(clear ? c & 0x7F : c, Cmd);
  // A refused command has no effect at all, the buffer clearing included.
  if (accepted && clear) FClearBuffer = true;
  return accepted;
}

bool TQV_CommandInterpreter::CheckSingleByte(uint8_t c, std::string_view cmd) {
  const uint8_t b = c & 0x0F;
  switch (c & 0x70) {
    case 0x40:
      if (b > 6) return Unknown(cmd);
      FMode = b;
      FModeCmd = true;
      return true;
    case 0x50:
      if (c == 0x50 || c == 0x5E || c == 0x5F) {
        FScrambler = c == 0x50 ? 0 : c == 0x5E ? 1 : 2;
        FScramblerCmd = true;
        return true;
      }
      return Refuse("Unsupported scrambler command " + AnsiToHex(cmd));
    case 0x60:
    case 0x70:
    case 0x10:
      return true;
    case 0x30:
      if (b > 11) return Unknown(cmd);
      FChannelCount = b == 0 ? 24 : b;
      FChannelCountCmd = true;
      return true;
    case 0x20:
      if (b >= QV_RateIntervalMs.size()) return Unknown(cmd);
      FRate = b;
      FInterval = QV_RateIntervalMs[b];
      FIntervalCmd = true;
      return true;
    default:  // 0x00
      switch (c) {
        case 0x00:
        case 0x05: return true;
        case 0x01: FVersionCmd = true; return true;
        case 0x02: FGetCalibCmd = true; return true;
        case 0x0A: FResetPhaseDiffCmd = true; return true;
        case 0x0F: FReSyncCmd = true; return true;
        default: return Unknown(cmd);
      }
  }
}

bool TQV_CommandInterpreter::CheckMultiByte(std::string_view cmd) {
  switch (Byte(cmd, 0)) {
    case 0x03:
      if (Byte(cmd, 1) < 1 || Byte(cmd, 1) > 4) return Unknown(cmd);
      FHRQBlock = Byte(cmd, 1);
      FGetHRQCmd = true;
      return true;
    case 0x10:
      if (cmd.size() != 4) return Unknown(cmd);
      FDAC = static_cast<int32_t>(BigEndian(cmd.substr(1, 3)));
      FSetDACCmd = true;
      return true;
    case 0x3F:
      if (Byte(cmd, 1) < 12 || Byte(cmd, 1) > 23) return Unknown(cmd);
      FChannelCount = Byte(cmd, 1);
      FChannelCountCmd = true;
      return true;
    case ExtendedPrefix:
      return CheckExtended(cmd);
    default:
      return Unknown(cmd);
  }
}

// Of the extended commands only the memory write of the calibration and HRQ area is simulated.
bool TQV_CommandInterpreter::CheckExtended(std::string_view cmd) {
  if (cmd[1] == '#' && cmd.size() == MemoryWriteLength) {
    const uint32_t address = BigEndian(cmd.substr(2, 4));
    if (address >= FirstMemoryAddress && address <= LastMemoryAddress) {
      FFRAMAdr = static_cast<uint16_t>((address + 0x2000) % 65536);
      FFRAMContent = std::string(cmd.substr(6));
      FWriteFRAMCmd = true;
      return true;
    }
  }
  return Refuse("Unsupported command " + AnsiToHex(cmd));
}

bool TQV_CommandInterpreter::Refuse(const std::string& message) {
  FErrorCode = QV_CmdIgnored;
  FErrorMessage = message;
  return false;
}

bool TQV_CommandInterpreter::Unknown(std::string_view cmd) { return Refuse("Unknown command " + AnsiToHex(cmd)); }

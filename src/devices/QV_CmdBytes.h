#pragma once
#include <cstdint>

// Command bytes of the instruments. A single-byte opcode with bit 7 set (other than 0x85 and
// 0xBC..0xBF) first clears the instrument's transmit buffer, then does the low 7 bits.
namespace QVCmd {
constexpr uint8_t Nop = 0x00;
constexpr uint8_t Version = 0x01;
constexpr uint8_t Calibration = 0x02;
constexpr uint8_t HRQSlice = 0x03;
constexpr uint8_t RepeatESP = 0x04;  // 0x04 0x73 + 4-byte address
constexpr uint8_t Accepted05 = 0x05;
constexpr uint8_t PhaseReset = 0x0A;
constexpr uint8_t ReSync = 0x0F;
constexpr uint8_t SetDAC = 0x10;
constexpr uint8_t RateBase = 0x20;     // + rate index 0..13
constexpr uint8_t Channels24 = 0x30;   // 0x31..0x3B: 1..11 channels
constexpr uint8_t ChannelsN = 0x3F;    // + n = 12..23
constexpr uint8_t ModeBase = 0x40;     // + mode 0..7
constexpr uint8_t ScramblerOff = 0x50;
constexpr uint8_t ScramblerAuto = 0x5E;
constexpr uint8_t ScramblerTrim = 0x5F;
constexpr uint8_t PPI = 0x60;
constexpr uint8_t ClearBuffer = 0x80;
constexpr uint8_t Extended = 0x85;
constexpr uint8_t Login = 0xBE;
// Sub-commands after 0x85.
constexpr uint8_t ExToolsEnter = 0x10;
constexpr uint8_t ExToolsLeave = 0x11;
constexpr uint8_t ExRemoteLogin = 0x12;
constexpr uint8_t ExWriteMemory = 0x23;  // "#"
constexpr uint8_t ExWriteNVS = 0x25;     // "%"
constexpr uint8_t ExSwitchUser = 0x27;   // + user 1..4
constexpr uint8_t ExGoSilent = 0x30;     // "0"
constexpr uint8_t ExSwitchPartition = 0x32;  // "2"
constexpr uint8_t ExReadMemory = 0x40;
constexpr uint8_t ExReadUsers = 0x42;    // "B"
constexpr uint8_t ExReadBlock = 0x43;    // "C"
constexpr uint8_t ExReadNVS = 0x45;      // "E"
constexpr uint8_t ExResetColdfire = 0x50;  // "P"
constexpr uint8_t ExResetESP = 0x51;       // "Q"
constexpr uint8_t ExStop = 0x60;           // "`"
constexpr uint8_t ExResume = 0x72;         // "r"
constexpr uint8_t ExRepeat = 0x73;         // "s"
constexpr uint8_t ExRepeatUser1 = 0x74;    // "t".."w" for users 1..4
}  // namespace QVCmd

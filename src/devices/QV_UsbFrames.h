#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// Byte rules the USB readers and writers share.
namespace QV_UsbFrames {

// A report in the USB frame format (escape count, L = report length + 2, the report and its
// checksum escaped, 0xBF), as the decoder reads it from a receive buffer.
std::string UsbFrame(std::string_view report);
// Report 0x7F21 "Read error on USB. USB frames lost": a bad block was dropped.
std::string FramesLostReport();
// First byte with bit 7 set that is neither 0x85 nor 0xBC..0xBF: the instrument clears its
// transmit buffer before it does the low 7 bits. (The protocol's command set states the same rule;
// the device layer cannot reach it.)
bool IsBufferClearCmd(std::string_view cmd);
// 0x01, 0x80 or 0x81: the version command that network-module writers drop as a connection's first
// command, since the instrument reports its version by itself.
bool IsFirstVersionCmd(std::string_view cmd);
// 0x85 followed by 0x38..0x3E, 0x40..0x42 or 0x44: the reply comes as tools data.
bool IsToolsCmd(std::string_view cmd);
// Requested user slots are 1..4; anything else (255 = none) must not enter user arithmetic.
inline bool IsUserSlot(uint8_t user) { return user >= 1 && user <= 4; }
// The length byte and the command.
std::string Framed(std::string_view cmd);

}  // namespace QV_UsbFrames

#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Byte streams of every report format, as the instruments and peers send them, for tests.

// Two header bytes, most significant first.
std::string ReportCode(uint16_t code);

// ---- Format 1: USB, CDC, network (Coldfire) and CAN frames ----
// The checksum byte that makes L plus the report plus itself 0 modulo 256.
uint8_t ColdfireChecksum(uint8_t lengthCode, std::string_view report);
// [E][L][escaped report + checksum], without a delimiter.
std::string UsbFrameBody(std::string_view report);
// A packed Coldfire measurement value: exponent nibble (16 written as 0), then a 52-bit mantissa
// in 7 bytes.
std::string ColdfireValue(int exponent, uint64_t mantissa);
// The frame followed by its delimiter (0xBF or 0xBD).
std::string UsbFrame(std::string_view report, char delimiter = '\xBF');

// ---- Format 2: serial frames (length byte, escaped body, end byte 0xBD or 0xBF) ----
std::string SerialFrame(std::string_view report, char endByte);

// ---- Format 3: network-module transmit blocks ----
struct TBlockFields {
  uint8_t Type = 0;
  uint16_t W = 0;
  uint32_t X = 0;
  uint32_t Y = 0;           // bits 24-31 are replaced by the checksum
  std::string Values;       // padded with zeros to whole 8-byte values
};
std::string TransmitBlock(const TBlockFields& fields);
// A measurement block of `channels` values (each value's first byte is its channel number).
std::string EspMeasurement(uint8_t type, uint16_t fpgaMs, int channels = 2, uint32_t x = 0, uint32_t y = 0);
// A "p" message block: length byte and text.
std::string EspMessage(uint16_t code, std::string_view text);
std::string EspTimestamp(uint32_t tenths, uint16_t w = 0);
std::string EspStatus(uint16_t code, uint32_t x = 0);
// A "}" status dump block with one value.
std::string EspStatusDump();
// The version text of the network-module firmware and its message block.
std::string EspVersionText(uint32_t serial = 0x1234ABCD, int user = 2, std::string_view fw = "ZCT2-1.14 2023-01-15");
std::string EspVersionBlock(uint32_t serial = 0x1234ABCD, int user = 2, std::string_view fw = "ZCT2-1.14 2023-01-15");

// ---- Format 4: TCP client frames; format 5: archive frames ----
std::string TcpFrame(std::string_view line);
std::string ArchiveFrame(std::string_view payload);

// ---- Format 6: demo frames of the simulator ----
std::string DemoMeasurement(uint16_t header, const std::vector<double>& values);
std::string DemoMessage(uint16_t code, std::string_view data);

#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// One transmit block of the network-module firmware: a 16-byte header ("ZCT2", type, value count,
// words W, X, Y, little-endian) and ValueCount values of 8 bytes. The byte sum of the whole block is
// 0 modulo 256.
struct TQV_TransmitBlock {
  static constexpr size_t HeaderSize = 16;
  static constexpr size_t ValueSize = 8;
  static constexpr uint8_t MaxValueCount = 24;
  static constexpr std::string_view Magic = "ZCT2";

  // Block types from 0x70; below 0x70 a measurement.
  enum : uint8_t {
    btMessage = 'p',
    btNVSRead = 'q',
    btTimestamp = 'r',
    btStatus = 's',
    btDigitalInputs = 't',
    btRawPayload = 'v',
    btIntervalCounter = 'w',
    btNVSBlock = 'x',
    btStatusDump = '}',
    btDump = '~',
    btEmpty = 0xFF,
  };

  uint8_t Type = 0;
  uint8_t ValueCount = 0;
  uint16_t W = 0;
  uint32_t X = 0;
  uint32_t Y = 0;
  std::string Values;  // ValueCount * 8 bytes
  std::string Raw;     // the whole block as received

  bool IsMeasurement() const { return Type < btMessage; }
  uint8_t CheckSum() const { return static_cast<uint8_t>(Y >> 24); }
  uint8_t UserIdField() const { return (Y >> 20) & 0x0F; }
  uint32_t BufferPointer() const { return Y & 0x3FFFF; }
  // Bits 0-1 of X with the flag version, else bits 18-19 of Y.
  uint8_t Scrambler(bool flagVersion) const;
  // The measurement header: type byte high, scrambler * 16 (+ X bits 2-3 * 64 with the flag version) low.
  uint16_t MeasurementHeader(bool flagVersion) const;
  // "p" and "q" blocks carry a length byte and that many data bytes in their value area (clipped to
  // the area); other blocks carry the value area itself.
  std::string Payload() const;
  // "Magic    t  c  FPGA  Flags   Chk U S Ptr   Values" style one-line dump for the stream log.
  std::string Dump() const;
};

// Total block size the 16-byte header announces, or 0 when the header is no block header (magic
// missing or more than 24 values).
size_t TransmitBlockSize(std::string_view header);
// Byte sum of the block modulo 256.
uint8_t TransmitBlockSum(std::string_view block);
// Parses a whole block (its size must match the header). False when it is none.
bool ParseTransmitBlock(std::string_view block, TQV_TransmitBlock& out);
// A block with its checksum byte set (Y bits 24-31) so that the byte sum is 0; the values are padded
// with zeros to whole 8-byte values.
std::string BuildTransmitBlock(uint8_t type, uint16_t w, uint32_t x, uint32_t y, std::string values);

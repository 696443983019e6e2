#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "InstrumentModel.h"

// The byte formats the instruments send, built from the frame formats of the instruments
// themselves (not from the host's decoder, which the tests use to check them).
namespace EmulatorFrames {

// Identity shown in the version reports.
struct TIdentity {
  uint32_t SerialNumber = 0;
  int UserId = 1;        // 1..4
  uint32_t Address = 0;  // IPv4, first octet most significant
};

// ---- Coldfire ----
// Header word and payload of a report, most significant byte first.
std::string ColdfireReport(const TEmulatedReport& report, const TIdentity& identity);
// A packed 7-byte value that the host's report processing turns back into x for this mode, rate
// and channel (channel 0-based).
std::string ColdfireValue(double x, uint16_t header, int channel, int channelCount);
// Format 1: [E][L][escaped report + checksum] and the delimiter 0xBF.
std::string ColdfireFrame(std::string_view report);
// Format 2 (serial line): [L][escaped report + checksum][end byte].
std::string ColdfireSerialFrame(std::string_view report, uint8_t endByte);

// A CDC block of the Coldfire network interface: the 32-byte header and a window of the transmit
// ring whose new bytes start at ring position ringPos.
struct TCdcFields {
  uint32_t RingPos = 0;
  uint32_t Flags = 0;
  uint32_t WritePtr = 0;
  uint32_t ReadPtr = 0;
};
std::string CdcBlock(std::string_view data, const TCdcFields& fields);
constexpr uint32_t CdcMagic = 0xBFBFBFBF;
constexpr uint32_t CdcFlagCleared = 1, CdcFlagTools = 2;

// ---- Network module ----
// Format 3: a transmit block at buffer address `address` (32-bit words, 18 bits).
std::string TransmitBlock(const TEmulatedReport& report, uint32_t address, const TIdentity& identity);
// Words the block of a report occupies in the instrument's buffer.
uint32_t TransmitBlockWords(const TEmulatedReport& report);

// `length` bytes of the instrument's memory from the identity block on: zeros, with the serial
// number at bytes 49..52 (counted from 1), most significant first.
std::string IdentityBlock(int length, uint32_t serialNumber);

std::string VersionText(TEmulatorSettings::TPeer peer, const TIdentity& identity);
// One trace line: what a report carries, in words a test can read back.
std::string TraceText(const TEmulatedReport& report);

}  // namespace EmulatorFrames

#include "EmulatorFrames.h"

#include <bit>
#include <cmath>
#include <cstdio>

namespace EmulatorFrames {
namespace {

// Exponent offset and averaging divisor of the Coldfire values by rate index 0..13.
constexpr int ExponentOffset[14] = {0, 1, 3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 14, 15};
constexpr double AveragingDivisor[14] = {1, 2, 5, 10, 20, 50, 100, 200, 500, 1000, 2000, 5000, 10000, 20000};
// Every value goes out with exponent 16: wide enough for the whole value range and constant, so
// the host's wrap extension never sees a range change.
constexpr int ValueExponent = 16;

void AppendBigEndian(std::string& out, uint64_t value, int width) {
  for (int i = width - 1; i >= 0; --i) out.push_back(static_cast<char>(value >> (8 * i)));
}

void AppendLittleEndian(std::string& out, uint64_t value, int width) {
  for (int i = 0; i < width; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
}

bool NeedsEscape(uint8_t c) { return c >= 0xBC && c <= 0xBF; }

void AppendEscaped(std::string& out, uint8_t c, int& escapes) {
  if (NeedsEscape(c)) {
    out.push_back('\xBC');
    c = static_cast<uint8_t>(c + 4);
    ++escapes;
  }
  out.push_back(static_cast<char>(c));
}

uint8_t ByteSum(std::string_view bytes) {
  uint8_t sum = 0;
  for (char c : bytes) sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(c));
  return sum;
}

// L and the report with the checksum byte that makes L + body 0 modulo 256.
std::string BodyWithChecksum(std::string_view report, uint8_t& lengthCode) {
  const size_t n = report.size() + 2;
  lengthCode = static_cast<uint8_t>(n > 255 ? n - 256 : n);
  std::string body(report);
  body.push_back(static_cast<char>(-static_cast<uint8_t>(lengthCode + ByteSum(report))));
  return body;
}

std::string Hex(uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

bool IsFrequency(uint16_t header) { return ((header >> 12) & 6) == 2; }

}  // namespace

std::string ColdfireValue(double x, uint16_t header, int channel, int channelCount) {
  const int mode = (header >> 12) & 7;
  const int rate = std::min((header >> 8) & 0xF, 13);
  const bool averaging = header & 0x1000;
  const bool frequency = mode == 2 || mode == 3;
  // Averages carry the rate's exponent offset and divisor, except channel 1 of averaged differences
  // (the reference); frequencies are divided by the divisor once more.
  const bool averaged = averaging && (mode != 5 || channel > 0 || channelCount == 1);
  const int shift = averaged ? ExponentOffset[rate] : 0;
  double divisor = averaged ? AveragingDivisor[rate] : 1;
  if (frequency) divisor *= AveragingDivisor[rate];
  const auto mantissa = static_cast<int64_t>(std::llround(std::ldexp(x * divisor, 35 - ValueExponent - shift)));
  const uint64_t bits = static_cast<uint64_t>(mantissa) & 0x000FFFFFFFFFFFFFull;  // 52 bits, two's complement
  std::string out(1, static_cast<char>((ValueExponent & 0xF) << 4 | bits >> 48));
  AppendBigEndian(out, bits, 6);
  return out;
}

std::string IdentityBlock(int length, uint32_t serialNumber) {
  std::string block(76, '\0');
  for (int i = 0; i < 4; ++i) block[48 + i] = static_cast<char>(serialNumber >> (24 - 8 * i));
  block.resize(static_cast<size_t>(length), '\0');
  return block;
}

std::string VersionText(TEmulatorSettings::TPeer peer, const TIdentity& id) {
  const std::string ip = std::to_string(id.Address >> 24) + "." + std::to_string(id.Address >> 16 & 0xFF) + "." +
                         std::to_string(id.Address >> 8 & 0xFF) + "." + std::to_string(id.Address & 0xFF);
  if (peer == TEmulatorSettings::TPeer::Coldfire)
    return "VERSION ZCT: 63 UCF 230115 User" + std::to_string(id.UserId) + " / 230115.2A / " +
           Hex(id.SerialNumber, 8) + " / " + ip + " / vta-emulator";
  // The address field is the IPv4 address as a number whose bytes, least significant first, are
  // the octets.
  const uint32_t a = id.Address;
  const uint32_t swapped = a >> 24 | (a >> 8 & 0xFF00) | (a << 8 & 0xFF0000) | a << 24;
  return "ZCT2 / " + Hex(id.SerialNumber, 8) + " " + std::to_string(id.UserId) +
         " / FW: ZCT2-1.14 2023-01-15 / HW: 230115.2A / IP: " + Hex(swapped, 8);
}

std::string ColdfireReport(const TEmulatedReport& r, const TIdentity& identity) {
  std::string out;
  switch (r.Kind) {
    case TEmulatedReport::rkMeasurement:
      AppendBigEndian(out, r.Header, 2);
      for (size_t k = 0; k < r.Values.size(); ++k)
        out += ColdfireValue(r.Values[k], r.Header, static_cast<int>(k), static_cast<int>(r.Values.size()));
      break;
    case TEmulatedReport::rkTimestamp:
      // Every tenth goes out as a tenth-second stamp; the host shows the full seconds as 7015.
      AppendBigEndian(out, 0x7016, 2);
      AppendBigEndian(out, r.Tenths, 4);
      break;
    case TEmulatedReport::rkVersion:
      AppendBigEndian(out, 0x7001, 2);
      out += VersionText(TEmulatorSettings::TPeer::Coldfire, identity);
      break;
    case TEmulatedReport::rkSettings:
      AppendBigEndian(out, 0x7020, 2);
      AppendBigEndian(out, r.Header, 2);
      break;
    case TEmulatedReport::rkBufferCleared: AppendBigEndian(out, 0x7022, 2); break;
    case TEmulatedReport::rkToolsData:
    case TEmulatedReport::rkNvsBlock: out = r.Data; break;
  }
  return out;
}

std::string ColdfireFrame(std::string_view report) {
  uint8_t lengthCode = 0;
  int escapes = 0;
  std::string escaped;
  for (char c : BodyWithChecksum(report, lengthCode)) AppendEscaped(escaped, static_cast<uint8_t>(c), escapes);
  return std::string{static_cast<char>(escapes), static_cast<char>(lengthCode)} + escaped + '\xBF';
}

std::string ColdfireSerialFrame(std::string_view report, uint8_t endByte) {
  uint8_t lengthCode = 0;
  const std::string body = BodyWithChecksum(report, lengthCode);
  int escapes = 0;
  std::string out;
  AppendEscaped(out, lengthCode, escapes);
  for (char c : body) AppendEscaped(out, static_cast<uint8_t>(c), escapes);
  out.push_back(static_cast<char>(endByte));
  return out;
}

std::string CdcBlock(std::string_view data, const TCdcFields& f) {
  // The smallest power-of-two window that holds the new bytes at their ring offset.
  uint32_t size = 64;
  while ((f.RingPos & (size - 1)) + data.size() > size) size <<= 1;
  std::string block;
  for (uint32_t word : {CdcMagic, size, static_cast<uint32_t>(data.size()), f.RingPos, f.Flags, f.WritePtr, f.ReadPtr, 0u})
    AppendBigEndian(block, word, 4);
  std::string window(size, '\0');
  window.replace(f.RingPos & (size - 1), data.size(), data);
  return block + window;
}

uint32_t TransmitBlockWords(const TEmulatedReport& report) {
  return static_cast<uint32_t>(TransmitBlock(report, 0, {}).size() / 4);
}

std::string TransmitBlock(const TEmulatedReport& r, uint32_t address, const TIdentity& identity) {
  uint8_t type = 0;
  uint16_t w = 0;
  uint32_t x = r.Tenths;
  std::string values;
  switch (r.Kind) {
    case TEmulatedReport::rkMeasurement:
      type = static_cast<uint8_t>(r.Header >> 8);
      w = r.FpgaMs;
      // Frequencies travel in thousandths of the unit the host shows.
      for (double v : r.Values) AppendLittleEndian(values, std::bit_cast<uint64_t>(IsFrequency(r.Header) ? v * 1000 : v), 8);
      // Firmware from 1.14 on (this one) carries the scrambler in X bits 0-1 of a measurement, the
      // other flags (bits 2-3) cleared; the time comes with the timestamp blocks.
      x = (r.Header >> 4) & 3;
      break;
    case TEmulatedReport::rkTimestamp:
      type = 'r';
      w = static_cast<uint16_t>(r.Tenths % 200 * 100);
      break;
    case TEmulatedReport::rkVersion: {
      type = 'p';
      w = 0x7001;
      const std::string text = VersionText(TEmulatorSettings::TPeer::NetworkModule, identity);
      values = static_cast<char>(text.size()) + text;
      break;
    }
    case TEmulatedReport::rkSettings:
      type = 's';
      w = static_cast<uint16_t>(r.Header >> 8);
      break;
    case TEmulatedReport::rkBufferCleared:
      type = 's';
      w = 255;
      break;
    case TEmulatedReport::rkToolsData:
      type = 'v';
      values = r.Data;
      break;
    case TEmulatedReport::rkNvsBlock:
      type = 'x';
      w = r.NvsKey;
      values = r.Data;
      break;
  }
  values.resize((values.size() + 7) / 8 * 8, '\0');
  const uint32_t scrambler = (r.Header >> 4) & 3;
  const uint32_t y = (address & 0x3FFFF) | scrambler << 18 | static_cast<uint32_t>((identity.UserId - 1) & 0xF) << 20;
  std::string block = "ZCT2";
  block.push_back(static_cast<char>(type));
  block.push_back(static_cast<char>(values.size() / 8));
  AppendLittleEndian(block, w, 2);
  AppendLittleEndian(block, x, 4);
  AppendLittleEndian(block, y, 4);
  block += values;
  block[15] = static_cast<char>(-ByteSum(block));
  return block;
}

std::string TraceText(const TEmulatedReport& r) {
  switch (r.Kind) {
    case TEmulatedReport::rkMeasurement: {
      std::string text = "measurement header=" + Hex(r.Header, 4) + " sample=" + std::to_string(r.Sample) + " values=";
      char value[32];
      for (size_t k = 0; k < r.Values.size(); ++k) {
        std::snprintf(value, sizeof value, "%s%.3f", k ? ";" : "", r.Values[k]);
        text += value;
      }
      return text;
    }
    case TEmulatedReport::rkTimestamp: return "timestamp tenths=" + std::to_string(r.Tenths);
    case TEmulatedReport::rkVersion: return "version";
    case TEmulatedReport::rkSettings: return "settings header=" + Hex(r.Header, 4);
    case TEmulatedReport::rkBufferCleared: return "buffer cleared";
    case TEmulatedReport::rkToolsData: return "tools data bytes=" + std::to_string(r.Data.size());
    case TEmulatedReport::rkNvsBlock:
      return "nvs block id=" + std::string(1, static_cast<char>(r.NvsKey & 0xFF)) + " block=" + std::to_string(r.NvsKey >> 8);
  }
  return {};
}

}  // namespace EmulatorFrames

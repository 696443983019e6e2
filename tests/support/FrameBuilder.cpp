#include "support/FrameBuilder.h"

#include <cstdio>
#include <cstring>

namespace {

bool NeedsEscape(uint8_t c) { return c >= 0xBC && c <= 0xBF; }

void AppendEscaped(std::string& out, uint8_t c) {
  if (NeedsEscape(c)) {
    out.push_back('\xBC');
    out.push_back(static_cast<char>(c + 4));
  } else {
    out.push_back(static_cast<char>(c));
  }
}

uint8_t LengthCode(std::string_view report) {
  const size_t n = report.size() + 2;  // L, the report and the checksum
  return static_cast<uint8_t>(n > 255 ? n - 256 : n);
}

void AppendLittleEndian(std::string& out, uint32_t value, int width) {
  for (int i = 0; i < width; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
}

}  // namespace

std::string ReportCode(uint16_t code) { return {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)}; }

uint8_t ColdfireChecksum(uint8_t lengthCode, std::string_view report) {
  uint8_t sum = lengthCode;
  for (char c : report) sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(c));
  return static_cast<uint8_t>(-sum);
}

std::string UsbFrameBody(std::string_view report) {
  const uint8_t lengthCode = LengthCode(report);
  std::string body(report);
  body.push_back(static_cast<char>(ColdfireChecksum(lengthCode, report)));
  std::string escaped;
  uint8_t escapes = 0;
  for (char c : body) {
    escapes += NeedsEscape(static_cast<uint8_t>(c));
    AppendEscaped(escaped, static_cast<uint8_t>(c));
  }
  return std::string{static_cast<char>(escapes), static_cast<char>(lengthCode)} + escaped;
}

std::string UsbFrame(std::string_view report, char delimiter) { return UsbFrameBody(report) + delimiter; }

std::string SerialFrame(std::string_view report, char endByte) {
  const uint8_t lengthCode = LengthCode(report);
  std::string out;
  AppendEscaped(out, lengthCode);
  for (char c : report) AppendEscaped(out, static_cast<uint8_t>(c));
  AppendEscaped(out, ColdfireChecksum(lengthCode, report));
  out.push_back(endByte);
  return out;
}

std::string TransmitBlock(const TBlockFields& fields) {
  std::string values = fields.Values;
  values.resize((values.size() + 7) / 8 * 8, '\0');
  std::string block = "ZCT2";
  block.push_back(static_cast<char>(fields.Type));
  block.push_back(static_cast<char>(values.size() / 8));
  AppendLittleEndian(block, fields.W, 2);
  AppendLittleEndian(block, fields.X, 4);
  AppendLittleEndian(block, fields.Y & 0x00FFFFFF, 4);
  block += values;
  uint8_t sum = 0;
  for (char c : block) sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(c));
  block[15] = static_cast<char>(-sum);
  return block;
}

std::string EspMeasurement(uint8_t type, uint16_t fpgaMs, int channels, uint32_t x, uint32_t y) {
  std::string values(8 * channels, '\0');
  for (int k = 0; k < channels; ++k) values[8 * k] = static_cast<char>(k + 1);
  return TransmitBlock({type, fpgaMs, x, y, values});
}

std::string EspMessage(uint16_t code, std::string_view text) {
  std::string values(1, static_cast<char>(text.size()));
  values += text;
  return TransmitBlock({'p', code, 0, 0, values});
}

std::string EspTimestamp(uint32_t tenths, uint16_t w) { return TransmitBlock({'r', w, tenths, 0, {}}); }

std::string EspStatus(uint16_t code, uint32_t x) { return TransmitBlock({'s', code, x, 0, {}}); }

std::string EspStatusDump() { return TransmitBlock({'}', 0, 0, 0, std::string("\x01\x00\x00\x00\x02\x00\x00\x00", 8)}); }

std::string EspVersionText(uint32_t serial, int user, std::string_view fw) {
  char serialText[9];
  std::snprintf(serialText, sizeof serialText, "%08X", serial);
  return "ZCT2 / " + std::string(serialText) + " " + std::to_string(user) + " / FW: " + std::string(fw) +
         " / HW: 230115.2A / IP: 0A00A8C0";
}

std::string EspVersionBlock(uint32_t serial, int user, std::string_view fw) {
  return EspMessage(0x7001, EspVersionText(serial, user, fw));
}

std::string TcpFrame(std::string_view line) {
  return std::string(1, '\x01') + std::to_string(line.size()) + '\x02' + std::string(line);
}

std::string ArchiveFrame(std::string_view payload) {
  return std::string(1, static_cast<char>(payload.size())) + std::string(payload);
}

std::string DemoMeasurement(uint16_t header, const std::vector<double>& values) {
  std::string frame = "\xFB\xFB\xFB\xFB" + ReportCode(header);
  frame.push_back(static_cast<char>(values.size()));
  for (double v : values) {
    char bytes[8];
    std::memcpy(bytes, &v, 8);
    frame.append(bytes, 8);
  }
  return frame;
}

std::string DemoMessage(uint16_t code, std::string_view data) {
  std::string frame = "\xFB\xFB\xFB\xFC" + ReportCode(code);
  frame.push_back(static_cast<char>(data.size()));
  return frame + std::string(data);
}

std::string ColdfireValue(int exponent, uint64_t mantissa) {
  std::string v(7, '\0');
  v[0] = static_cast<char>(((exponent & 0xF) << 4) | ((mantissa >> 48) & 0xF));
  for (int b = 1; b < 7; ++b) v[b] = static_cast<char>(mantissa >> (8 * (6 - b)));
  return v;
}

#include "core/QV_NumberText.h"

#include <cstdio>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

namespace {

constexpr int kMaxScaledDecimals = 18;

constexpr std::array<uint64_t, kMaxScaledDecimals + 1> kPowersOfTen = [] {
  std::array<uint64_t, kMaxScaledDecimals + 1> powers{};
  uint64_t power = 1;
  for (uint64_t& p : powers) {
    p = power;
    power *= 10;
  }
  return powers;
}();

// "[-]whole<separator>digits" of a value scaled to its decimals, at out; returns the end.
char* WriteScaled(bool negative, uint64_t scaled, int decimals, char separator, char* out) {
  if (negative) *out++ = '-';
  out = std::to_chars(out, out + 20, scaled / kPowersOfTen[decimals]).ptr;
  if (decimals == 0) return out;
  *out++ = separator;
  char digits[20];
  const auto end = std::to_chars(digits, digits + sizeof digits, scaled % kPowersOfTen[decimals]).ptr;
  const size_t count = static_cast<size_t>(end - digits);
  std::memset(out, '0', decimals - count);
  std::memcpy(out + decimals - count, digits, count);
  return out + decimals;
}

}  // namespace

// value = m * 2^s with an integer m below 2^53, and m * 10^18 stays below 2^113: the scaled value
// and its rounding are exact in 128-bit integers.
std::optional<uint64_t> ScaleToDecimals(double value, int decimals) {
  if (!(value >= 0) || !std::isfinite(value) || decimals < 0 || decimals > kMaxScaledDecimals) return std::nullopt;
  if (value == 0) return 0;
  using u128 = unsigned __int128;
  // The fields of the IEEE double: value = m * 2^s exactly (subnormals have no hidden bit).
  const uint64_t bits = std::bit_cast<uint64_t>(value);
  const int biased = static_cast<int>(bits >> 52);  // the sign bit is 0 here
  const uint64_t m = (bits & ((uint64_t{1} << 52) - 1)) | (biased != 0 ? uint64_t{1} << 52 : 0);
  const int s = (biased != 0 ? biased : 1) - 1075;
  const u128 product = static_cast<u128>(m) * kPowersOfTen[decimals];
  if (s >= 0) {
    if (s >= 64 || (product >> (64 - s)) != 0) return std::nullopt;
    return static_cast<uint64_t>(product << s);
  }
  const int k = -s;
  if (k >= 128) return 0;  // below 2^-15
  const u128 whole = product >> k;
  const u128 rest = product - (whole << k);
  const u128 half = static_cast<u128>(1) << (k - 1);
  const u128 rounded = whole + ((rest > half || (rest == half && (whole & 1) != 0)) ? 1 : 0);
  if ((rounded >> 64) != 0) return std::nullopt;
  return static_cast<uint64_t>(rounded);
}

std::string FloatToShortest(double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string FormatFloatFixed(double value, int width, int decimals, char separator) {
  TFixedTextBuffer buffer;
  return std::string(FormatFloatFixed(value, width, decimals, separator, buffer));
}

std::string_view FormatFloatFixed(double value, int width, int decimals, char separator, TFixedTextBuffer& buffer) {
  // Room for the 309 integral digits of the largest double plus a generous fraction, and the padding
  // in front (width is limited to what is left).
  constexpr int kPad = 64;
  decimals = std::clamp(decimals, 0, 60);
  char* const start = buffer.data() + kPad;
  std::string_view text;
  if (const auto scaled = ScaleToDecimals(std::fabs(value), decimals)) {
    // The usual magnitudes: integer digits instead of the general conversion, same text.
    text = std::string_view(start, WriteScaled(std::signbit(value), *scaled, decimals, separator, start) - start);
  } else {
    const auto result = std::to_chars(start, buffer.data() + buffer.size(), value, std::chars_format::fixed, decimals);
    text = std::string_view(start, static_cast<size_t>(result.ptr - start));
    if (const auto dot = text.find('.'); dot != std::string_view::npos) start[dot] = separator;
  }
  const int pad = std::clamp(width - static_cast<int>(text.size()), 0, kPad);
  std::fill(start - pad, start, ' ');
  return std::string_view(start - pad, text.size() + static_cast<size_t>(pad));
}

std::string_view TrimBlanks(std::string_view text) {
  const auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::vector<std::string> SplitText(std::string_view text, std::string_view separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t pos; (pos = text.find(separator, start)) != std::string_view::npos; start = pos + separator.size())
    parts.emplace_back(text.substr(start, pos - start));
  parts.emplace_back(text.substr(start));
  return parts;
}

std::vector<std::string> SplitTextList(std::string_view text, std::string_view separator) {
  std::vector<std::string> parts = SplitText(text, separator);
  if (parts.back().empty()) parts.pop_back();
  return parts;
}

std::string AnsiToHex(std::string_view bytes) {
  static constexpr char Digits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    text += Digits[c >> 4];
    text += Digits[c & 0x0F];
  }
  return text;
}

std::string IntToHex(uint32_t value, int digits) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%0*X", digits, value);
  return buffer;
}

std::string BoolText(bool value) { return value ? "True" : "False"; }

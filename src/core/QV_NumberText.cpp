#include "core/QV_NumberText.h"

#include <cstdio>

#include <algorithm>
#include <charconv>

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
  const auto result = std::to_chars(start, buffer.data() + buffer.size(), value, std::chars_format::fixed, decimals);
  std::string_view text(start, static_cast<size_t>(result.ptr - start));
  if (const auto dot = text.find('.'); dot != std::string_view::npos) start[dot] = separator;
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

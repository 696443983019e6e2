#include "core/TextEncoding.h"

#include <array>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Windows-1252 code points of the bytes 0x80..0x9F; the five unassigned bytes keep their C1 value.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t Cp1252ToCodePoint(unsigned char b) {
  return (b >= 0x80 && b <= 0x9F) ? kCp1252High[b - 0x80] : char32_t(b);
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += char(cp);
  } else if (cp < 0x800) {
    out += char(0xC0 | (cp >> 6));
    out += char(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += char(0xE0 | (cp >> 12));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  } else {
    out += char(0xF0 | (cp >> 18));
    out += char(0x80 | ((cp >> 12) & 0x3F));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  }
}

// Length of the well-formed UTF-8 sequence at `pos` (1 to 4), or 0 if the bytes there are not one.
size_t Utf8SequenceLength(std::string_view s, size_t pos, char32_t& cp) {
  const auto byte = [&](size_t i) { return pos + i < s.size() ? (unsigned char)s[pos + i] : 0u; };
  const unsigned b0 = byte(0);
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  }
  size_t len = 0;
  unsigned lo = 0x80, hi = 0xBF;  // allowed range of the second byte
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3;
    if (b0 == 0xE0) lo = 0xA0;
    if (b0 == 0xED) hi = 0x9F;  // no surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;  // nothing beyond U+10FFFF
  } else {
    return 0;
  }
  if (pos + len > s.size()) return 0;
  const unsigned b1 = byte(1);
  if (b1 < lo || b1 > hi) return 0;
  for (size_t i = 2; i < len; ++i)
    if ((byte(i) & 0xC0) != 0x80) return 0;
  cp = (len == 2) ? (b0 & 0x1F) : (len == 3) ? (b0 & 0x0F) : (b0 & 0x07);
  for (size_t i = 1; i < len; ++i) cp = (cp << 6) | (byte(i) & 0x3F);
  return len;
}

// Calls f(code point) for every character of 8-bit text read as UTF-8 with Windows-1252 fallback.
template <typename F>
void ForEachCodePoint(std::string_view s, F&& f) {
  for (size_t pos = 0; pos < s.size();) {
    char32_t cp = 0;
    const size_t len = Utf8SequenceLength(s, pos, cp);
    if (len == 0) {
      f(Cp1252ToCodePoint((unsigned char)s[pos]));
      ++pos;
    } else {
      f(cp);
      pos += len;
    }
  }
}

std::string DecodeUtf16(std::string_view bytes, bool bigEndian) {
  std::string out;
  out.reserve(bytes.size());
  const auto unit = [&](size_t i) -> char16_t {
    const auto a = (unsigned char)bytes[i], b = (unsigned char)bytes[i + 1];
    return bigEndian ? char16_t((a << 8) | b) : char16_t((b << 8) | a);
  };
  const size_t units = bytes.size() / 2;
  for (size_t i = 0; i < units; ++i) {
    const char16_t u = unit(2 * i);
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
      const char16_t low = unit(2 * (i + 1));
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (low - 0xDC00));
        ++i;
        continue;
      }
    }
    AppendUtf8(out, (u >= 0xD800 && u <= 0xDFFF) ? kReplacement : char32_t(u));
  }
  if (bytes.size() % 2 != 0) AppendUtf8(out, kReplacement);
  return out;
}

void AppendUtf16(std::string& out, char16_t u, bool bigEndian) {
  const char hi = char(u >> 8), lo = char(u & 0xFF);
  out += bigEndian ? hi : lo;
  out += bigEndian ? lo : hi;
}

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

constexpr std::string_view kBomUtf8 = "\xEF\xBB\xBF";
constexpr std::string_view kBomUtf16LE = "\xFF\xFE";
constexpr std::string_view kBomUtf16BE = "\xFE\xFF";

}  // namespace

std::string ToValidUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  ForEachCodePoint(bytes, [&](char32_t cp) { AppendUtf8(out, cp); });
  return out;
}

TDecodedText DecodeText(std::string_view bytes) {
  if (StartsWith(bytes, kBomUtf8)) return {ToValidUtf8(bytes.substr(kBomUtf8.size())), teUtf8Bom};
  if (StartsWith(bytes, kBomUtf16LE)) return {DecodeUtf16(bytes.substr(2), false), teUtf16LE};
  if (StartsWith(bytes, kBomUtf16BE)) return {DecodeUtf16(bytes.substr(2), true), teUtf16BE};
  return {ToValidUtf8(bytes), teUtf8};
}

std::string EncodeText(std::string_view utf8, TTextEncoding encoding) {
  switch (encoding) {
    case teUtf8:
      return ToValidUtf8(utf8);
    case teUtf8Bom:
      return std::string(kBomUtf8) + ToValidUtf8(utf8);
    case teUtf16LE:
    case teUtf16BE: {
      const bool bigEndian = encoding == teUtf16BE;
      std::string out(bigEndian ? kBomUtf16BE : kBomUtf16LE);
      out.reserve(2 * utf8.size() + 2);
      ForEachCodePoint(utf8, [&](char32_t cp) {
        if (cp < 0x10000) {
          AppendUtf16(out, char16_t(cp), bigEndian);
        } else {
          cp -= 0x10000;
          AppendUtf16(out, char16_t(0xD800 + (cp >> 10)), bigEndian);
          AppendUtf16(out, char16_t(0xDC00 + (cp & 0x3FF)), bigEndian);
        }
      });
      return out;
    }
  }
  return ToValidUtf8(utf8);
}

#include "core/TextEncoding.h"

#include <gtest/gtest.h>

namespace {

struct TDecodeCase {
  const char* Name;
  std::string Bytes;
  std::string Text;
  TTextEncoding Encoding;
};

const TDecodeCase kDecodeCases[] = {
    {"ascii", "Key=Value", "Key=Value", teUtf8},
    {"valid utf8 kept", "M\xC3\xBCller", "M\xC3\xBCller", teUtf8},
    {"cp1252 latin byte", "M\xFCller", "M\xC3\xBCller", teUtf8},
    {"cp1252 euro", "\x80", "\xE2\x82\xAC", teUtf8},
    {"cp1252 undefined byte keeps C1", "\x81", "\xC2\x81", teUtf8},
    {"valid and invalid mixed", "\xC3\xA4\xE4", "\xC3\xA4\xC3\xA4", teUtf8},
    {"overlong is not utf8", "\xC0\xAF", "\xC3\x80\xC2\xAF", teUtf8},
    {"surrogate is not utf8", "\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xE2\x82\xAC", teUtf8},
    {"truncated sequence", "\xE2\x82", "\xC3\xA2\xE2\x80\x9A", teUtf8},
    {"four-byte utf8 kept", "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80", teUtf8},
    {"beyond U+10FFFF is not utf8", "\xF4\x90\x80\x80", "\xC3\xB4\xC2\x90\xE2\x82\xAC\xE2\x82\xAC", teUtf8},
    {"utf8 bom", "\xEF\xBB\xBFK=\xC3\xA4", "K=\xC3\xA4", teUtf8Bom},
    {"utf8 bom with cp1252 inside", "\xEF\xBB\xBF\xE4", "\xC3\xA4", teUtf8Bom},
    {"utf16le", std::string("\xFF\xFE" "A\0\xE4\0", 6), "A\xC3\xA4", teUtf16LE},
    {"utf16be", std::string("\xFE\xFF\0A\0\xE4", 6), "A\xC3\xA4", teUtf16BE},
    {"utf16le surrogate pair", std::string("\xFF\xFE\x3D\xD8\x00\xDE", 6), "\xF0\x9F\x98\x80", teUtf16LE},
    {"utf16le lone surrogate", std::string("\xFF\xFE\x3D\xD8" "A\0", 6), "\xEF\xBF\xBD" "A", teUtf16LE},
    {"utf16le odd length", std::string("\xFF\xFE" "A\0B", 5), "A\xEF\xBF\xBD", teUtf16LE},
    {"empty", "", "", teUtf8},
};

TEST(TextEncoding, DecodesEachCase) {
  for (const auto& c : kDecodeCases) {
    const TDecodedText decoded = DecodeText(c.Bytes);
    EXPECT_EQ(decoded.Text, c.Text) << c.Name;
    EXPECT_EQ(decoded.Encoding, c.Encoding) << c.Name;
  }
}

TEST(TextEncoding, EncodeRestoresWellFormedFiles) {
  const std::string text = "Name=M\xC3\xBCller \xE2\x82\xAC \xF0\x9F\x98\x80\r\n";
  for (TTextEncoding encoding : {teUtf8, teUtf8Bom, teUtf16LE, teUtf16BE}) {
    const std::string bytes = EncodeText(text, encoding);
    const TDecodedText decoded = DecodeText(bytes);
    EXPECT_EQ(decoded.Text, text) << int(encoding);
    EXPECT_EQ(decoded.Encoding, encoding) << int(encoding);
    EXPECT_EQ(EncodeText(decoded.Text, encoding), bytes) << int(encoding);
  }
  EXPECT_EQ(EncodeText("A\xC3\xA4", teUtf16BE), std::string("\xFE\xFF\0A\0\xE4", 6));
  EXPECT_EQ(EncodeText("A", teUtf8Bom), "\xEF\xBB\xBF" "A");
}

TEST(TextEncoding, EncodeTurnsStrayBytesIntoWellFormedText) {
  EXPECT_EQ(EncodeText("M\xFCller", teUtf8), "M\xC3\xBCller");
  EXPECT_EQ(EncodeText("\xE4", teUtf16LE), std::string("\xFF\xFE\xE4\0", 4));
  EXPECT_EQ(ToValidUtf8("\x9C"), "\xC5\x93");
}

}  // namespace

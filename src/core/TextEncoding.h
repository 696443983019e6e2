#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// Encodings of the text files we keep (settings, logs, message lists). Inside the program text is UTF-8.
enum TTextEncoding : uint8_t {
  teUtf8 = 0,     // no byte-order mark: read as UTF-8 with Windows-1252 fallback, written as UTF-8
  teUtf8Bom = 1,  // UTF-8 with byte-order mark
  teUtf16LE = 2,  // UTF-16 little endian with byte-order mark
  teUtf16BE = 3,  // UTF-16 big endian with byte-order mark
};

struct TDecodedText {
  std::string Text;  // valid UTF-8, without the byte-order mark
  TTextEncoding Encoding = teUtf8;
};

// Detects a UTF-8 or UTF-16 byte-order mark and decodes the rest. Without a mark, bytes that are not
// valid UTF-8 are taken as Windows-1252. Broken UTF-16 (odd length, lone surrogates) becomes U+FFFD.
TDecodedText DecodeText(std::string_view bytes);

// UTF-8 text back to bytes in the given encoding, with its byte-order mark. Bytes of `utf8` that are
// not valid UTF-8 are taken as Windows-1252, so the result is always well formed.
std::string EncodeText(std::string_view utf8, TTextEncoding encoding);

// Valid UTF-8 from 8-bit text: valid UTF-8 sequences are kept, every other byte is read as Windows-1252.
std::string ToValidUtf8(std::string_view bytes);

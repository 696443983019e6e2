#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Number texts of reports and diagnostics. Locale-independent: the process locale never changes
// the decimal point of an instrument text.

// Shortest text that reads back as the same double ("0.25", "1e-07", "nan").
std::string FloatToShortest(double value);

// Like printf "%<width>.<decimals>f" with the given decimal separator.
std::string FormatFloatFixed(double value, int width, int decimals, char separator = '.');
// The same text written into buffer (no allocation); the view points into buffer.
using TFixedTextBuffer = std::array<char, 448>;

// A finite value of at least 0 times 10^decimals (decimals 0..18), rounded to an integer with ties to
// even, exactly as a fixed-decimal text rounds it; none when the result does not fit 64 bits.
std::optional<uint64_t> ScaleToDecimals(double value, int decimals);
std::string_view FormatFloatFixed(double value, int width, int decimals, char separator, TFixedTextBuffer& buffer);

// Upper-case hexadecimal digits of every byte, without separators ("8545620A").
std::string AnsiToHex(std::string_view bytes);
// The value in upper-case hexadecimal, padded with zeros to at least `digits` digits.
std::string IntToHex(uint32_t value, int digits);

// "True" or "False", as settings and diagnostics write booleans.
std::string BoolText(bool value);

// The text without blanks and control characters at both ends.
std::string_view TrimBlanks(std::string_view text);

// The parts between separators; the last part is kept even when empty ("a;" gives "a" and "").
std::vector<std::string> SplitText(std::string_view text, std::string_view separator);
// The same without the empty rest behind a final separator, as stored lists end ("a, b, ").
std::vector<std::string> SplitTextList(std::string_view text, std::string_view separator);

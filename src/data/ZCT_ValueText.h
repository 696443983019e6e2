#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

struct Phase;

// Fixed-width value texts of the counter store: the text views and the log-file strings.

// What the text views show per channel.
enum TTextModeZCT : uint8_t {
  tmPhase = 0,
  tmPhaseDiff = 1,
  tmFreqAbs = 2,
  tmFreqRel = 3,
  tmPhasePredecessor = 4,
  tmPhaseResiduum = 5
};
constexpr int ZCT_TextModeCount = 6;

// Shown by virtual channels for a value that cannot be formed.
inline constexpr const char* ZCT_NoValueText = "-----";

constexpr size_t ZCT_PhaseWidth = 26;
constexpr size_t ZCT_FrequencyWidth = 22;

// 26 characters, the whole cycles right-aligned in 25 - decimals; "-0.25" keeps its minus sign.
std::string ZCTPhaseText(const Phase& value, int decimals, char separator);
// "%22.11f".
std::string ZCTFrequencyText(double value, char separator);
// Scientific with 8 significant digits and at least 2 exponent digits, "+" in front of a
// non-negative value: "+1.2345678E-09".
std::string ZCTRelativeText(double value, char separator);
// Fixed point with 5 decimals, left-padded with blanks to 26 characters.
std::string ZCTResidualText(double value, char separator);

// A field of a log string: a text that does not begin with a blank gets one put in front, then it
// is cut back to width.
std::string ZCTSamplerField(const std::string& text, size_t width);
// The same field appended to line.
void ZCTAppendSamplerField(std::string& line, std::string_view text, size_t width);
// A field of a virtual log string: right-aligned in width, all blanks for ZCT_NoValueText.
std::string ZCTVirtualSamplerField(const std::string& text, size_t width);

// "12.345.678": the decimal digits in groups of three.
std::string ZCTDottedNumber(int64_t value);

// Column captions of the text views; average: the mode averages; isVirtual: virtual channels.
std::string ZCTTextModeCaption(TTextModeZCT aMode, bool average, bool isVirtual);

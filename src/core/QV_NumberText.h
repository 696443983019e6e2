#pragma once
#include <string>
#include <string_view>

// Number texts of reports and diagnostics. Locale-independent: the process locale never changes
// the decimal point of an instrument text.

// Shortest text that reads back as the same double ("0.25", "1e-07", "nan").
std::string FloatToShortest(double value);

// Like printf "%<width>.<decimals>f" with the given decimal separator.
std::string FormatFloatFixed(double value, int width, int decimals, char separator = '.');

// The text without blanks and control characters at both ends.
std::string_view TrimBlanks(std::string_view text);

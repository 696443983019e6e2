#include "data/ZCT_ValueText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "protocol/Phase.h"
#include "core/QV_NumberText.h"

std::string ZCTPhaseText(const Phase& value, int decimals, char separator) {
  return value.ToColumnString(decimals, separator);
}

std::string ZCTFrequencyText(double value, char separator) {
  return FormatFloatFixed(value, static_cast<int>(ZCT_FrequencyWidth), 11, separator);
}

std::string ZCTRelativeText(double value, char separator) {
  if (!std::isfinite(value)) return FloatToShortest(value);
  if (value == 0) value = 0;  // no "-0"
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%s%.7E", value >= 0 ? "+" : "", value);
  std::string text = buffer;
  if (const auto dot = text.find('.'); dot != std::string::npos) text[dot] = separator;
  return text;
}

std::string ZCTResidualText(double value, char separator) {
  return FormatFloatFixed(value, static_cast<int>(ZCT_PhaseWidth), 5, separator);
}

std::string ZCTSamplerField(const std::string& text, size_t width) {
  std::string field;
  ZCTAppendSamplerField(field, text, width);
  return field;
}

void ZCTAppendSamplerField(std::string& line, std::string_view text, size_t width) {
  const size_t end = line.size() + width;
  if (text.empty() || text.front() != ' ') line += ' ';
  line.append(text.substr(0, std::min(text.size(), end - std::min(end, line.size()))));
  line.resize(end, ' ');
}

std::string ZCTVirtualSamplerField(const std::string& text, size_t width) {
  if (text == ZCT_NoValueText) return std::string(width, ' ');
  if (text.size() >= width) return text.substr(0, width);
  return std::string(width - text.size(), ' ') + text;
}

std::string ZCTDottedNumber(int64_t value) {
  const std::string digits = std::to_string(value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value));
  std::string text;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) text += '.';
    text += digits[i];
  }
  return value < 0 ? "-" + text : text;
}

std::string ZCTTextModeCaption(TTextModeZCT aMode, bool average, bool isVirtual) {
  switch (aMode) {
    case tmPhase: return average ? "Phase Average [Pd]" : "Phase [Pd]";
    case tmPhaseDiff: return average ? "Phase Avg. Difference (Δ Chan. 1) [Pd]" : "Phase Difference (Δ Chan. 1) [Pd]";
    case tmFreqAbs:
      if (isVirtual) return average ? "Frequency Avg. [Hz]" : "Frequency [Hz]";
      return average ? "Absolute Frequency Avg. [Hz]" : "Absolute Frequency [Hz]";
    case tmFreqRel: return average ? "Relative Frequency Avg. Offset" : "Relative Frequency Offset";
    case tmPhasePredecessor:
      return average ? "Phase Avg. Difference (Δ Chan. n-1) [Pd]" : "Phase Difference (Δ Chan. n-1) [Pd]";
    case tmPhaseResiduum: return average ? "Phase Avg. Residual [ns]" : "Phase Residual [ns]";
  }
  return {};
}

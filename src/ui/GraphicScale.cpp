#include "ui/GraphicScale.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// The plain and the average caption of each mode, in mode order.
const char* const kCaptions[kGraphicModeCount][2] = {
    {"Phase", "Phase Average"},
    {"Absolute Frequency Offset", "Absolute Frequency Avg. Offset"},
    {"Relative Frequency Offset", "Relative Frequency Avg. Offset"},
    {"Sensor", "Sensor"},
    {"Phase Trim", "Phase Trim Average"},
    {"Interval Difference", "Interval Difference"},
    {"Phase Residual", "Phase Residual Average"},
    {"Phase Difference ( \xCE\x94 Chan. n-1)", "Phase Average Difference ( \xCE\x94 Chan. n-1)"},
};

int32_t NormalStep(int32_t step) { return step >= 5 ? 5 : step >= 2 ? 2 : 1; }

// 10^exponent, taken from a table for the scales' exponents: every value drawn asks for it.
double PowerOfTen(int32_t exponent) {
  constexpr int32_t kLowest = -15, kHighest = 8;
  static const auto kPowers = [] {
    std::array<double, kHighest - kLowest + 1> powers{};
    for (int32_t e = kLowest; e <= kHighest; ++e) powers[size_t(e - kLowest)] = std::pow(10.0, e);
    return powers;
  }();
  if (exponent < kLowest || exponent > kHighest) return std::pow(10.0, exponent);
  return kPowers[size_t(exponent - kLowest)];
}

}  // namespace

TGraphicMode GraphicModeFromInt(int32_t value) {
  return value >= 0 && value < kGraphicModeCount ? TGraphicMode(value) : gmFreqAbs;
}

std::string GraphicModeCaption(TGraphicMode mode, bool average) { return kCaptions[GraphicModeFromInt(mode)][average ? 1 : 0]; }

bool IsFrequencyMode(TGraphicMode mode) { return mode == gmFreqAbs || mode == gmFreqRel; }

std::string GraphicModeUnit(TGraphicMode mode) {
  switch (mode) {
    case gmFreqAbs: return "Hz";
    case gmFreqRel: return "%";
    case gmSensor: return "";
    default: return "s";
  }
}

double TChannelScale::UnitsPerDiv() const { return Step * PowerOfTen(Exponent); }

TScaleLimits GraphicScaleLimits(TGraphicMode mode) {
  switch (mode) {
    case gmFreqAbs: return {-15, 8, 1, -3};
    case gmFreqRel: return {-15, -1, 1, -9};
    case gmSensor: return {-3, 8, 2, -2};
    case gmIVCdiff: return {-11, 8, 1, -8};
    default: return {-15, 8, 1, -9};
  }
}

TChannelScale DefaultChannelScale(TGraphicMode mode) {
  const TScaleLimits limits = GraphicScaleLimits(mode);
  TChannelScale scale;
  scale.Step = limits.DefaultStep;
  scale.Exponent = limits.DefaultExponent;
  scale.Unit = GraphicModeUnit(mode);
  return scale;
}

TChannelScale ClampChannelScale(TGraphicMode mode, TChannelScale scale) {
  const TScaleLimits limits = GraphicScaleLimits(mode);
  scale.Step = NormalStep(scale.Step);
  scale.Exponent = std::clamp(scale.Exponent, limits.LowExponent, limits.HighExponent);
  if (!std::isfinite(scale.Center)) scale.Center = 0;
  if (!std::isfinite(scale.OffsetDiv)) scale.OffsetDiv = 0;
  return scale;
}

TChannelScale RangeStep(TGraphicMode mode, TChannelScale scale, int32_t diff) {
  const TScaleLimits limits = GraphicScaleLimits(mode);
  scale = ClampChannelScale(mode, scale);
  if (diff > 0) {
    if (scale.Step == 1) {
      scale.Step = 2;
    } else if (scale.Step == 2) {
      scale.Step = 5;
    } else if (scale.Exponent < limits.HighExponent) {
      scale.Step = 1;
      ++scale.Exponent;
    }
  } else if (diff < 0) {
    if (scale.Step == 5) {
      scale.Step = 2;
    } else if (scale.Step == 2) {
      scale.Step = 1;
    } else if (scale.Exponent > limits.LowExponent) {
      scale.Step = 5;
      --scale.Exponent;
    }
  }
  return scale;
}

TChannelScale RangeFactor(TGraphicMode mode, TChannelScale scale, int32_t faktor) {
  const TScaleLimits limits = GraphicScaleLimits(mode);
  scale = ClampChannelScale(mode, scale);
  if (faktor > 0) {
    if (scale.Exponent < limits.HighExponent)
      ++scale.Exponent;
    else
      scale.Step = 5;
  } else if (faktor < 0) {
    if (scale.Exponent > limits.LowExponent)
      --scale.Exponent;
    else
      scale.Step = 1;
  }
  return scale;
}

namespace {

// Values of the phase modes come in picoseconds and interval differences in nanoseconds; their
// axes are in seconds.
double AxisUnitsPerValue(TGraphicMode mode) {
  if (mode == gmIVCdiff) return 1e-9;
  if (IsFrequencyMode(mode) || mode == gmSensor) return 1;
  return 1e-12;
}

}  // namespace

double ValueOffsetPixels(TGraphicMode mode, double value, const TChannelScale& scale, double scaleFrom) {
  const double upd = scale.UnitsPerDiv();
  const double v = mode == gmSensor ? (value - scaleFrom) / upd * 100
                                    : (value - scale.Center) * AxisUnitsPerValue(mode) * 100 / upd;
  return v + scale.OffsetDiv * 100;
}

std::optional<std::pair<double, double>> AutoRange(std::vector<double> values) {
  std::erase_if(values, [](double v) { return !std::isfinite(v); });
  if (values.empty()) return std::nullopt;
  const size_t trim = values.size() >= 10 ? std::max<size_t>(1, values.size() / 50) : 0;
  const auto low = values.begin() + ptrdiff_t(trim), high = values.end() - 1 - ptrdiff_t(trim);
  std::nth_element(values.begin(), low, values.end());
  const double lowValue = *low;  // the second partition reorders from `low` on
  std::nth_element(low, high, values.end());
  return std::pair{lowValue, *high};
}

TChannelScale AutoChannelScale(TGraphicMode mode, TChannelScale scale, double low, double high, double halfDivisions) {
  if (mode == gmSensor || !std::isfinite(low) || !std::isfinite(high) || halfDivisions <= 0) return scale;
  if (low > high) std::swap(low, high);
  scale.Center = low / 2 + high / 2;
  scale.OffsetDiv = 0;
  const TScaleLimits limits = GraphicScaleLimits(mode);
  const double needed = (high - low) / 2 * AxisUnitsPerValue(mode) / (0.8 * halfDivisions);
  for (int32_t exponent = limits.LowExponent; exponent <= limits.HighExponent; ++exponent) {
    for (const int32_t step : {1, 2, 5}) {
      scale.Step = step;
      scale.Exponent = exponent;
      if (scale.UnitsPerDiv() >= needed) return scale;
    }
  }
  return scale;  // wider than the widest scale: the widest
}

bool AutoScaleNeedsFit(TGraphicMode mode, const TChannelScale& scale, double low, double high, double halfDivisions) {
  if (mode == gmSensor || !std::isfinite(low) || !std::isfinite(high) || halfDivisions <= 0) return false;
  const double limit = halfDivisions * 100;
  const double a = ValueOffsetPixels(mode, low, scale), b = ValueOffsetPixels(mode, high, scale);
  if (std::abs(a) > limit || std::abs(b) > limit) return true;
  // A finer scale exists only above the lowest one.
  const bool finest = scale.Step == 1 && scale.Exponent <= GraphicScaleLimits(mode).LowExponent;
  return !finest && std::abs(b - a) < 0.15 * 2 * limit;
}

TPlotPoint ValueToPlotPoint(TGraphicMode mode, double value, const TChannelScale& scale, int32_t mitte, int32_t channel,
                            double scaleFrom) {
  const double v = ValueOffsetPixels(mode, value, scale, scaleFrom);
  if (std::isnan(v)) return {-1, TPlotEdge::Inside};
  const double limit = std::max(0, mitte - channel);
  const TPlotEdge edge = v > limit ? TPlotEdge::Above : v < -limit ? TPlotEdge::Below : TPlotEdge::Inside;
  return {mitte - int32_t(std::lround(std::clamp(v, -limit, limit))), edge};
}

int32_t ValueToRow(TGraphicMode mode, double value, const TChannelScale& scale, int32_t mitte, int32_t channel,
                   double scaleFrom) {
  return ValueToPlotPoint(mode, value, scale, mitte, channel, scaleFrom).Row;
}

int32_t NextPlotX(int32_t plotX, int32_t count, int32_t width) {
  if (width <= 0) return 0;
  const int64_t x = (int64_t(plotX) + std::max(count, 0)) % width;
  return int32_t(x);
}

std::vector<TColumnSpan> DecimateMinMax(const std::vector<int32_t>& rows, double firstPosition, double columnsPerValue,
                                        int32_t holdRow) {
  if (rows.empty() || !(columnsPerValue > 0) || !std::isfinite(firstPosition)) return {};
  auto columnOf = [&](size_t i) { return std::max<int64_t>(int64_t(std::floor(firstPosition + double(i) * columnsPerValue)), 0); };
  std::vector<TColumnSpan> spans(size_t(columnOf(rows.size() - 1)) + 1);
  int32_t held = holdRow;
  size_t next = 0;  // the first column not yet given a held row
  for (size_t i = 0; i < rows.size(); ++i) {
    const size_t column = size_t(columnOf(i));
    if (held >= 0)
      for (; next < column; ++next) spans[next] = {held, held, held};
    next = std::max(next, column + 1);
    const int32_t row = rows[i];
    held = row;
    TColumnSpan& span = spans[column];
    if (row < 0) {
      span.Last = -1;  // the trace breaks here: the next column does not join this one
      continue;
    }
    span.Low = span.Low < 0 ? row : std::min(span.Low, row);
    span.High = std::max(span.High, row);
    span.Last = row;
  }
  return spans;
}

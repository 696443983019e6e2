#pragma once
// The arithmetic of the graphic view, free of widgets: the graphic modes with their captions and
// units, the vertical scale of a channel (step 1, 2 or 5 times a power of ten) with its limits and
// range steps, the value-to-pixel conversion and the sweep position of the recorder-like plot.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// The quantity a graphic view draws; the numbers are stored in the settings.
enum TGraphicMode : int32_t {
  gmPhase = 0,
  gmFreqAbs = 1,
  gmFreqRel = 2,
  gmSensor = 3,
  gmPhaseTrim = 4,
  gmIVCdiff = 5,
  gmPhaseTheo = 6,
  gmPhasePredecessor = 7
};
constexpr int32_t kGraphicModeCount = 8;

// Mode numbers outside the enumeration (a damaged settings file) become gmFreqAbs.
TGraphicMode GraphicModeFromInt(int32_t value);
// The caption of a mode for the view's title and the saved image; `average` when the session
// measures averages.
std::string GraphicModeCaption(TGraphicMode mode, bool average);
// Frequency modes draw their values unscaled, the phase modes in picoseconds.
bool IsFrequencyMode(TGraphicMode mode);
// The unit text of the mode ("Hz", "%", "s"); sensor units come from the device.
std::string GraphicModeUnit(TGraphicMode mode);

// The vertical scale of one channel: UnitsPerDiv = Step × 10^Exponent, the value on the centre
// line, and an offset of the trace in divisions.
struct TChannelScale {
  int32_t Step = 1;  // 1, 2 or 5
  int32_t Exponent = -9;
  double Center = 0;
  double OffsetDiv = 0;
  std::string Unit;

  double UnitsPerDiv() const;
  bool operator==(const TChannelScale&) const = default;
};

struct TScaleLimits {
  int32_t LowExponent;
  int32_t HighExponent;
  int32_t DefaultStep;
  int32_t DefaultExponent;
};
TScaleLimits GraphicScaleLimits(TGraphicMode mode);
// The scale of a new view in the mode.
TChannelScale DefaultChannelScale(TGraphicMode mode);
// Brings a scale read from a file into the mode's limits (step 1, 2 or 5, exponent in range).
TChannelScale ClampChannelScale(TGraphicMode mode, TChannelScale scale);

// "Range +" (diff = +1) and "Range -" (diff = -1): 1 -> 2 -> 5 -> 1 with the next exponent and
// back; at the ends of the range the scale stays.
TChannelScale RangeStep(TGraphicMode mode, TChannelScale scale, int32_t diff);
// "Range ++" (faktor = +1) and "Range - -" (faktor = -1): one exponent up or down; at the end of
// the range the step goes to its extreme (5 at the top, 1 at the bottom).
TChannelScale RangeFactor(TGraphicMode mode, TChannelScale scale, int32_t faktor);

// The offset of a value from the centre line in pixels (100 per division), before limiting:
// frequency modes unscaled, sensor values from `scaleFrom`, interval differences in nanoseconds,
// the other modes in picoseconds.
double ValueOffsetPixels(TGraphicMode mode, double value, const TChannelScale& scale, double scaleFrom = 0);
// The pixel row of a value: mitte - offset, the offset limited to ±(mitte - channel) so that
// clipped traces of different channels stay apart at the edges. NaN gives -1 (no point).
int32_t ValueToRow(TGraphicMode mode, double value, const TChannelScale& scale, int32_t mitte, int32_t channel,
                   double scaleFrom = 0);

// Where a value lies against the plot: inside, or beyond the top or the bottom edge.
enum class TPlotEdge : int8_t { Inside = 0, Above = 1, Below = -1 };
struct TPlotPoint {
  int32_t Row;  // as ValueToRow: the edge row for values beyond it, -1 for NaN
  TPlotEdge Edge;
};
TPlotPoint ValueToPlotPoint(TGraphicMode mode, double value, const TChannelScale& scale, int32_t mitte, int32_t channel,
                            double scaleFrom = 0);

// The range "Auto" fits: the finite values without the lowest and highest 2 % (at least one each
// from 10 values on), so that a single spike, such as the first value after a start, neither
// sets the scale nor keeps it refitting; it shows as an arrow at the edge instead. None without
// finite values.
std::optional<std::pair<double, double>> AutoRange(std::vector<double> values);

// "Auto": the scale that shows the values from `low` to `high` (in the mode's value unit) about
// the middle of a plot `halfDivisions` divisions high above and below the centre line, filling at
// most 80 % of it: the centre on their middle, no offset, the finest 1-2-5 step inside the mode's
// limits. Non-finite bounds and sensor scales leave the scale as it is.
TChannelScale AutoChannelScale(TGraphicMode mode, TChannelScale scale, double low, double high, double halfDivisions);
// Whether "Auto" must fit again: a value of [low, high] lies outside the plot, or the values use
// less than 15 % of its height (a flat line that says nothing).
bool AutoScaleNeedsFit(TGraphicMode mode, const TChannelScale& scale, double low, double high, double halfDivisions);

// The sweep: the cursor after `count` new values from `plotX` on a plot `width` columns wide.
int32_t NextPlotX(int32_t plotX, int32_t count, int32_t width);

// One column of a trace: the lowest and highest pixel rows of the values that fall into it, and
// the row of the last of them (where the trace goes on into the next column); Low < 0: no value.
struct TColumnSpan {
  int32_t Low = -1;
  int32_t High = -1;
  int32_t Last = -1;
  bool operator==(const TColumnSpan&) const = default;
};

// Places the rows of consecutive values (-1: a gap) on plot columns: value i lies at column
// firstPosition + i × columnsPerValue (counted from the first column returned, 0). Several values in
// one column keep only their lowest and highest row, so a spike stays visible however many values
// share a column; a column between two values (a slower series) holds the row of the one before,
// and so does a column before the first value when `holdRow` (the row the trace ended on) is given.
// After a gap nothing is held. The columns run from 0 to the column of the last value.
std::vector<TColumnSpan> DecimateMinMax(const std::vector<int32_t>& rows, double firstPosition, double columnsPerValue,
                                        int32_t holdRow = -1);

#include "ui/GraphicScale.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TChannelScale Scale(int32_t step, int32_t exponent, double center = 0) {
  TChannelScale s;
  s.Step = step;
  s.Exponent = exponent;
  s.Center = center;
  return s;
}

std::pair<int32_t, int32_t> StepExp(const TChannelScale& s) { return {s.Step, s.Exponent}; }

TEST(GraphicScale, CaptionsFollowTheAverageForm) {
  EXPECT_EQ(GraphicModeCaption(gmPhase, false), "Phase");
  EXPECT_EQ(GraphicModeCaption(gmPhase, true), "Phase Average");
  EXPECT_EQ(GraphicModeCaption(gmFreqAbs, true), "Absolute Frequency Avg. Offset");
  EXPECT_EQ(GraphicModeCaption(gmFreqRel, false), "Relative Frequency Offset");
  EXPECT_EQ(GraphicModeCaption(gmIVCdiff, true), "Interval Difference");
  EXPECT_EQ(GraphicModeCaption(gmPhaseTheo, true), "Phase Residual Average");
  EXPECT_EQ(GraphicModeCaption(gmPhasePredecessor, false), "Phase Difference ( \xCE\x94 Chan. n-1)");
  EXPECT_EQ(GraphicModeFromInt(42), gmFreqAbs);
  EXPECT_EQ(GraphicModeFromInt(-1), gmFreqAbs);
}

TEST(GraphicScale, DefaultsAndUnitsPerMode) {
  struct Case {
    TGraphicMode mode;
    int32_t step, exponent;
    const char* unit;
  } cases[] = {{gmFreqAbs, 1, -3, "Hz"}, {gmFreqRel, 1, -9, "%"}, {gmSensor, 2, -2, ""},
               {gmIVCdiff, 1, -8, "s"},  {gmPhase, 1, -9, "s"},   {gmPhaseTheo, 1, -9, "s"}};
  for (const Case& c : cases) {
    const TChannelScale s = DefaultChannelScale(c.mode);
    EXPECT_EQ(StepExp(s), std::make_pair(c.step, c.exponent)) << c.mode;
    EXPECT_EQ(s.Unit, c.unit) << c.mode;
  }
  EXPECT_DOUBLE_EQ(Scale(2, -9).UnitsPerDiv(), 2e-9);
}

TEST(GraphicScale, RangeButtonsStepThroughOneTwoFive) {
  TChannelScale s = Scale(1, -9);
  const std::pair<int32_t, int32_t> up[] = {{2, -9}, {5, -9}, {1, -8}};
  for (const auto& expected : up) EXPECT_EQ(StepExp(s = RangeStep(gmPhase, s, +1)), expected);
  const std::pair<int32_t, int32_t> down[] = {{5, -9}, {2, -9}, {1, -9}, {5, -10}};
  for (const auto& expected : down) EXPECT_EQ(StepExp(s = RangeStep(gmPhase, s, -1)), expected);
  EXPECT_EQ(StepExp(RangeFactor(gmPhase, Scale(2, -9), +1)), std::make_pair(2, -8));
  EXPECT_EQ(StepExp(RangeFactor(gmPhase, Scale(2, -9), -1)), std::make_pair(2, -10));
}

TEST(GraphicScale, RangeStaysInsideTheModeLimits) {
  struct Case {
    const char* what;
    TGraphicMode mode;
    TChannelScale from;
    int32_t diff, faktor;
    std::pair<int32_t, int32_t> to;
  } cases[] = {
      {"- - at the bottom", gmPhase, Scale(1, -15), 0, -1, {1, -15}},
      {"- - at the bottom from 5", gmPhase, Scale(5, -15), 0, -1, {1, -15}},
      {"- at the bottom", gmPhase, Scale(1, -15), -1, 0, {1, -15}},
      {"+ at the top", gmFreqRel, Scale(5, -1), +1, 0, {5, -1}},
      {"+ below the top", gmFreqRel, Scale(2, -1), +1, 0, {5, -1}},
      {"++ at the top", gmFreqRel, Scale(1, -1), 0, +1, {5, -1}},
      {"interval difference bottom", gmIVCdiff, Scale(1, -11), -1, 0, {1, -11}},
      {"sensor bottom", gmSensor, Scale(2, -3), 0, -1, {1, -3}},
      {"file scale out of range", gmFreqRel, Scale(7, 3), 0, 0, {5, -1}},
  };
  for (const Case& c : cases) {
    const TChannelScale s = c.diff ? RangeStep(c.mode, c.from, c.diff) : RangeFactor(c.mode, c.from, c.faktor);
    EXPECT_EQ(StepExp(s), c.to) << c.what;
  }
}

TEST(GraphicScale, ValuesBecomeRowsAroundTheCentre) {
  struct Case {
    const char* what;
    TGraphicMode mode;
    double value;
    TChannelScale scale;
    int32_t mitte, channel, row;
  } cases[] = {
      {"phase in ps, 1 div up", gmPhase, 1000, Scale(1, -9), 300, 1, 200},
      {"phase below the centre", gmPhase, -500, Scale(1, -9), 300, 1, 350},
      {"phase with centre", gmPhaseTheo, 1500, Scale(1, -9, 1000), 300, 1, 250},
      {"frequency", gmFreqAbs, 2.5e-3, Scale(1, -3), 300, 1, 50},
      {"frequency centred", gmFreqAbs, 10.001, Scale(1, -3, 10), 300, 1, 200},
      {"relative frequency", gmFreqRel, -2e-9, Scale(2, -9), 300, 1, 400},
      {"interval difference in ns", gmIVCdiff, 20, Scale(1, -8), 300, 1, 100},
      {"3.5 div clipped, channel 1", gmPhase, 3500, Scale(1, -9), 300, 1, 1},
      {"3.5 div clipped, channel 2", gmPhase, 3500, Scale(1, -9), 300, 2, 2},
      {"far below, channel 3", gmPhase, -1e9, Scale(1, -9), 300, 3, 597},
      {"rounding", gmPhase, 1004.6, Scale(1, -9), 300, 1, 200},
  };
  for (const Case& c : cases) EXPECT_EQ(ValueToRow(c.mode, c.value, c.scale, c.mitte, c.channel), c.row) << c.what;
  EXPECT_EQ(ValueToRow(gmSensor, 23.5, Scale(5, -1), 300, 1, 20.0), 1);
  EXPECT_EQ(ValueToRow(gmSensor, 21.0, Scale(5, -1), 300, 1, 20.0), 100);
  EXPECT_EQ(ValueToRow(gmPhase, std::nan(""), Scale(1, -9), 300, 1), -1);
}

TEST(GraphicScale, SweepWrapsAtTheRightEdge) {
  struct Case {
    int32_t plotX, count, width, next;
  } cases[] = {{0, 5, 100, 5}, {98, 2, 100, 0}, {98, 5, 100, 3}, {10, 250, 100, 60}, {7, 0, 100, 7}, {3, 4, 0, 0}};
  for (const Case& c : cases) EXPECT_EQ(NextPlotX(c.plotX, c.count, c.width), c.next) << c.plotX << "+" << c.count;
}

}  // namespace

namespace {

TEST(GraphicScale, AutoFitsTheValuesAboutTheMiddle) {
  struct Case {
    const char* what;
    TGraphicMode mode;
    double low, high;
    TChannelScale expected;  // step, exponent, centre
  } cases[] = {
      {"interval differences of tens of microseconds", gmIVCdiff, 20000, 60000, Scale(1, -5, 40000)},
      {"frequency offsets of 0.2 mHz", gmFreqAbs, 10.0001, 10.0003, Scale(5, -5, 10.0002)},
      {"phase of 2 ns in ps", gmPhase, -1000, 1000, Scale(5, -10)},
      {"order does not matter", gmPhase, 1000, -1000, Scale(5, -10)},
      {"a flat line: the finest scale", gmPhaseTheo, 250, 250, Scale(1, -15, 250)},
      {"beyond the widest scale", gmFreqAbs, -1e12, 1e12, Scale(5, 8)},
  };
  for (const Case& c : cases) {
    TChannelScale start = DefaultChannelScale(c.mode);
    start.OffsetDiv = 1.5;
    TChannelScale fitted = AutoChannelScale(c.mode, start, c.low, c.high, 3);
    EXPECT_EQ(fitted.Step, c.expected.Step) << c.what;
    EXPECT_EQ(fitted.Exponent, c.expected.Exponent) << c.what;
    EXPECT_DOUBLE_EQ(fitted.Center, c.expected.Center) << c.what;
    EXPECT_EQ(fitted.OffsetDiv, 0) << c.what;
    EXPECT_FALSE(AutoScaleNeedsFit(c.mode, fitted, c.low, c.high, 3) && c.high - c.low < 1e12) << c.what;
  }
  const TChannelScale sensor = Scale(5, -1);
  EXPECT_EQ(AutoChannelScale(gmSensor, sensor, 1, 100, 3), sensor);
  EXPECT_EQ(AutoChannelScale(gmPhase, sensor, std::nan(""), 100, 3), sensor);
}

TEST(GraphicScale, AutoLeavesASpikeOutOfTheRange) {
  const double nan = std::nan("");
  std::vector<double> startSpike(30, 5.0);
  startSpike[0] = -10000;  // the first value after a start
  startSpike[7] = 5.5;
  std::vector<double> many(500);
  for (size_t i = 0; i < many.size(); ++i) many[i] = double(i);
  struct Case {
    const char* what;
    std::vector<double> values;
    std::optional<std::pair<double, double>> range;
  } cases[] = {
      {"a start spike is left out", startSpike, std::pair{5.0, 5.0}},
      {"few values are taken as they are", {3, -100, 7}, std::pair{-100.0, 7.0}},
      {"2 % at each end of many", many, std::pair{10.0, 489.0}},
      {"gaps are skipped", {nan, 1, nan, 2}, std::pair{1.0, 2.0}},
      {"no values", {nan, nan}, std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(AutoRange(c.values), c.range) << c.what;
}

TEST(GraphicScale, AutoFitsAgainOnlyWhenValuesLeaveThePlotOrShrinkToALine) {
  const TChannelScale fitted = AutoChannelScale(gmIVCdiff, DefaultChannelScale(gmIVCdiff), 20000, 60000, 3);
  struct Case {
    const char* what;
    TGraphicMode mode;
    TChannelScale scale;
    double low, high;
    bool fit;
  } cases[] = {
      {"the default 10 ns/div against tens of microseconds", gmIVCdiff, DefaultChannelScale(gmIVCdiff), 20000, 60000, true},
      {"fitted", gmIVCdiff, fitted, 20000, 60000, false},
      {"drifted a little", gmIVCdiff, fitted, 25000, 62000, false},
      {"drifted out at the top", gmIVCdiff, fitted, 40000, 80000, true},
      {"shrunk to a line", gmIVCdiff, fitted, 39990, 40010, true},
      {"a line on the finest scale", gmPhase, Scale(1, -15, 5), 5, 5, false},
      {"no values", gmPhase, Scale(1, -9), std::nan(""), std::nan(""), false},
  };
  for (const Case& c : cases) EXPECT_EQ(AutoScaleNeedsFit(c.mode, c.scale, c.low, c.high, 3), c.fit) << c.what;
}

TEST(GraphicScale, ValuesBeyondTheEdgesAreMarkedAsSuch) {
  struct Case {
    const char* what;
    double value;
    int32_t channel;
    TPlotEdge edge;
    int32_t row;
  } cases[] = {
      {"inside", 1000, 1, TPlotEdge::Inside, 200},
      {"above", 3500, 1, TPlotEdge::Above, 1},
      {"below", -3500, 1, TPlotEdge::Below, 599},
      {"channel rows stay apart", 2990, 2, TPlotEdge::Above, 2},
      {"no value", std::nan(""), 1, TPlotEdge::Inside, -1},
  };
  for (const Case& c : cases) {
    const TPlotPoint point = ValueToPlotPoint(gmPhase, c.value, Scale(1, -9), 300, c.channel);
    EXPECT_EQ(point.Edge, c.edge) << c.what;
    EXPECT_EQ(point.Row, c.row) << c.what;
  }
}

}  // namespace

namespace {

using Spans = std::vector<TColumnSpan>;

TEST(GraphicScale, DecimationKeepsTheLowestAndHighestRowOfEachColumn) {
  const TColumnSpan none{};
  struct Case {
    const char* what;
    std::vector<int32_t> rows;
    double first, perValue;
    int32_t hold;
    Spans expected;
  } cases[] = {
      {"one value per column", {5, 7, 6}, 0, 1, -1, {{5, 5, 5}, {7, 7, 7}, {6, 6, 6}}},
      {"a spike among four values per column stays", {10, 10, 90, 10, 11, 12, 11, 12}, 0, 0.25, -1, {{10, 90, 10}, {11, 12, 12}}},
      {"a flat run is one pixel", {40, 40, 40, 40, 40, 40}, 0, 0.5, -1, {{40, 40, 40}, {40, 40, 40}, {40, 40, 40}}},
      {"a gap breaks the trace", {5, -1, 7}, 0, 1, -1, {{5, 5, 5}, none, {7, 7, 7}}},
      {"a gap at the end of a column ends the join", {5, 6, 7, -1}, 0, 0.5, -1, {{5, 6, 6}, {7, 7, -1}}},
      {"a column with a gap and a value keeps the value", {-1, 9, 3, 4}, 0, 0.5, -1, {{9, 9, 9}, {3, 4, 4}}},
      {"a slower series holds its row", {20, 30}, 0, 3, -1, {{20, 20, 20}, {20, 20, 20}, {20, 20, 20}, {30, 30, 30}}},
      {"nothing is held after a gap", {-1, 30}, 0, 2, -1, {none, none, {30, 30, 30}}},
      {"the row before the first value is held", {50}, 2.5, 1, 44, {{44, 44, 44}, {44, 44, 44}, {50, 50, 50}}},
      {"without a row before, leading columns stay empty", {50}, 1.2, 1, -1, {none, {50, 50, 50}}},
      {"no values", {}, 0, 1, -1, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DecimateMinMax(c.rows, c.first, c.perValue, c.hold), c.expected) << c.what;
  }
}

}  // namespace

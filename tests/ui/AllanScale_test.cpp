#include "ui/AllanScale.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {

TEST(AllanScaleTest, SixDecadesOfTauAcrossInWholeMultiplesOfSix) {
  const TAllanGeometry g = AllanGeometry(690, 400);
  EXPECT_EQ(g.Oben, 40);
  EXPECT_EQ(g.Unten, 350);
  EXPECT_EQ(g.Links, 60);
  EXPECT_EQ(g.Rechts, 660);
  const auto x = AllanXPixels(g);
  const std::vector<std::pair<int, int>> cases = {{0, 60}, {1, 90}, {2, 130}, {3, 160}, {9, 360}, {18, 660}};
  for (const auto& [index, pixel] : cases) EXPECT_EQ(x[size_t(index)], pixel) << index;
  EXPECT_EQ(AllanGeometry(700, 400).Rechts, 666);  // (700 - 90) div 6 × 6 = 606
  EXPECT_EQ(AllanTauSamples(18), 1'000'000);
}

TEST(AllanScaleTest, LegendEntriesRunSideBySideAndWrapAtTheRightOfThePlot) {
  using P = TAllanLegendPlace;
  const struct {
    const char* what;
    std::vector<int32_t> widths;
    std::vector<P> places;
  } cases[] = {
      {"none", {}, {}},
      {"one row", {100, 100, 100}, {{60, 0}, {160, 0}, {260, 0}}},
      {"exactly up to the right edge", {300, 300}, {{60, 0}, {360, 0}}},
      {"the next one would pass it", {300, 301, 50}, {{60, 0}, {60, 1}, {361, 1}}},
      {"wider than a row: a row of its own", {100, 900, 100}, {{60, 0}, {60, 1}, {60, 2}}},
  };
  for (const auto& c : cases) EXPECT_EQ(AllanLegendLayout(c.widths, 60, 660), c.places) << c.what;
  EXPECT_EQ(AllanLegendRows({}), 0);
  EXPECT_EQ(AllanLegendRows({{60, 0}, {60, 1}, {60, 2}}), 3);
}

TEST(AllanScaleTest, LegendRowsBeyondTheTopMarginMoveThePlotAreaDown) {
  const std::vector<std::pair<int32_t, int32_t>> rowsToTop = {{0, 40}, {1, 40}, {2, 40}, {3, 55}, {5, 85}};
  for (const auto& [rows, top] : rowsToTop) {
    const TAllanGeometry g = AllanGeometry(690, 400, rows, 15);
    EXPECT_EQ(g.Oben, top) << rows;
    EXPECT_EQ(g.Unten, 350) << rows;
    EXPECT_EQ(g.Rechts, 660) << rows;
  }
}

TEST(AllanScaleTest, TheTauAxisSpansTheDecadesWithDataPlusOne) {
  // Last τ index → decades across: τ of 1 sample needs one decade to grow into, 10 samples two, ...
  const std::vector<std::pair<int32_t, int32_t>> cases = {{-1, 1}, {0, 1}, {1, 2}, {3, 2}, {4, 3},
                                                          {9, 4}, {15, 6}, {16, 6}, {18, 6}};
  for (const auto& [lastTau, decades] : cases) EXPECT_EQ(AllanTauDecades(lastTau), decades) << lastTau;
  EXPECT_EQ(AllanVisibleTaus(1), 4);
  EXPECT_EQ(AllanVisibleTaus(6), kAllanTauCount);
  // Two decades across the 600 pixels: τ = 10 samples in the middle, 100 at the right edge.
  const TAllanGeometry g = AllanGeometry(690, 400);
  const auto x = AllanXPixels(g, 2);
  EXPECT_EQ(x[0], 60);
  EXPECT_EQ(x[3], 360);
  EXPECT_EQ(x[6], 660);
  EXPECT_GT(x[7], g.Rechts);  // beyond the span: not drawn
}

TEST(AllanScaleTest, DecadesUpWithLinesAtOneTwoFive) {
  const TAllanGeometry g = AllanGeometry(690, 400);  // 310 pixels high
  const TScaleInfo s = MakeScale(-12, -9, g);
  EXPECT_EQ(s.AnzDekaden, 3);
  EXPECT_EQ(s.PixelPerDekade, 103);
  const std::vector<int32_t> y = AllanYPixels(s, g);
  ASSERT_EQ(y.size(), 10u);
  EXPECT_EQ(y[0], 350);
  EXPECT_EQ(y[1], 350 - 31);   // 2: round(103 × 0.301)
  EXPECT_EQ(y[2], 350 - 72);   // 5: round(103 × 0.699)
  EXPECT_EQ(y[3], 350 - 103);  // next decade
  EXPECT_EQ(y[9], 350 - 309);
  EXPECT_TRUE(AllanYPixels(TScaleInfo{}, g).empty());
}

TEST(AllanScaleTest, ValuesToPixelsAcrossDecadesAndMissingValuesNone) {
  const TAllanGeometry g = AllanGeometry(690, 400);
  const TScaleInfo s = MakeScale(-12, -9, g);
  struct Case {
    double sigma;
    std::optional<int32_t> y;
  };
  const std::vector<Case> cases = {{1e-12, 350}, {1e-11, 247}, {1e-10, 144}, {1e-9, 41}, {2e-11, 247 - 31},
                                   {1e-13, 453},  // outside below: mapped but not inside
                                   {0.0, std::nullopt}, {-1e-10, std::nullopt}, {std::nan(""), std::nullopt}};
  const std::vector<double> logs = AllanLogValues({1e-12, 1e-11, 1e-10, 1e-9, 2e-11, 1e-13, 0.0, -1e-10, std::nan("")});
  for (size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(AllanLogToY(logs[i], s, g), cases[i].y) << cases[i].sigma;
  EXPECT_TRUE(AllanInsideArea(41, g));
  EXPECT_FALSE(AllanInsideArea(453, g));
  EXPECT_FALSE(AllanLogToY(-10, TScaleInfo{}, g).has_value());  // no decades: nothing drawn
}

TEST(AllanScaleTest, AutomaticScaleIgnoresOneDecadeInward) {
  const TAllanGeometry g = AllanGeometry(690, 400);
  const TScaleInfo old = MakeScale(-12, -9, g);
  struct Case {
    int32_t min, max;
    bool real;
  };
  const std::vector<Case> cases = {{-12, -9, false}, {-12, -10, false}, {-11, -9, false}, {-11, -10, false},
                                   {-13, -9, true},  {-12, -8, true},   {-10, -9, true},  {-12, -11, true}};
  for (const Case& c : cases) EXPECT_EQ(AllanScaleChangeIsReal(old, MakeScale(c.min, c.max, g)), c.real) << c.min << ".." << c.max;
  EXPECT_TRUE(AllanScaleChangeIsReal(TScaleInfo{}, old));
  EXPECT_TRUE(AllanScaleChangeIsReal(old, TScaleInfo{}));
}

TEST(AllanScaleTest, Texts) {
  EXPECT_EQ(AllanValueText(1.41421356e-9), "1.414E-09");
  EXPECT_EQ(AllanValueText(1.41421356e-9, ','), "1,414E-09");
  EXPECT_EQ(AllanValueText(0), "0");
  EXPECT_EQ(AllanValueText(2.5e-123), "2.500E-123");
  EXPECT_EQ(AllanExpText(1, 2, 1), "1.0E+0");
  EXPECT_EQ(AllanExpText(1e-9, 1, 1), "1E-9");
  // τ labels in the σ axis's format, a second digit only where τ needs it.
  EXPECT_EQ(AllanTauLabel(100, 3), "1E+0");
  EXPECT_EQ(AllanTauLabel(1000, 18), "1E+6");
  EXPECT_EQ(AllanTauLabel(100, 2), "5E-1");
  EXPECT_EQ(AllanTauLabel(250, 0), "2.5E-1");
  EXPECT_EQ(AllanTauLabel(250, 0, ','), "2,5E-1");
  EXPECT_EQ(AllanTauText(100), "100 ms");
  EXPECT_EQ(AllanTauText(1000), "1 s");
  EXPECT_EQ(AllanTauText(2500), "2.5 s");
  EXPECT_EQ(AllanTauText(2500, ','), "2,5 s");
}

TEST(AllanScaleTest, SavedTableHasElevenCharacterColumns) {
  const auto lines = AllanTableLines("        1 s        2 s        5 s", {{1, {1.5e-9, 7.25e-10, 0}}, {12, {2e-11, 0, 0}}}, ',');
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "Channel/Tau        1 s        2 s        5 s");
  EXPECT_EQ(lines[1], "Channel  1:  1,500E-09  7,250E-10  0,000E+00");
  EXPECT_EQ(lines[2], "Channel 12:  2,000E-11  0,000E+00  0,000E+00");
}

}  // namespace

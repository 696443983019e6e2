#include "ui/FontFit.h"

#include <gtest/gtest.h>

namespace {

// Widths that grow linearly with the size: a column of n characters is n * size pixels wide.
struct TLinearGrid {
  std::vector<int> References;  // characters per column
  std::vector<int> Headers;
  int Available = 0;
  int ScrollBarFrom = 1000;  // from this size on a vertical scroll bar takes 15 pixels

  TFontFitMetrics Metrics() const {
    TFontFitMetrics m;
    m.ColumnWidth = [this](int col, int s) { return References[size_t(col)] * s; };
    m.HeaderWidth = [this](int col, int s) { return Headers[size_t(col)] * s; };
    m.AvailableWidth = [this](int s) { return Available - (s >= ScrollBarFrom ? 15 : 0); };
    return m;
  }
  TFontFit Fit() const { return FitFont(int(References.size()), Metrics()); }
};

TEST(FontFit, SizeFillsSeventyPercentAndFitsHeadersWithinTheBounds) {
  struct Case {
    const char* what;
    TLinearGrid grid;
    int size;
    bool fits;
  } cases[] = {
      {"smallest size whose references fill 70 %", {{10}, {5}, 400}, 28, true},
      {"two columns share the width", {{10, 10}, {5, 5}, 400}, 14, true},
      {"wide headers lower the size until they fit at 70 %", {{10}, {30}, 400}, 19, true},
      {"upper bound", {{1}, {1}, 4000}, kFontFitMaxSize, true},
      {"lower bound when nothing fits", {{10}, {5}, 50}, kFontFitMinSize, false},
      {"without a scroll bar", {{10}, {5}, 290}, 21, true},
      {"a scroll bar from size 20 on takes its width", {{10}, {5}, 290, 20}, 20, true},
  };
  for (const Case& c : cases) {
    const TFontFit fit = c.grid.Fit();
    EXPECT_EQ(fit.PointSize, c.size) << c.what;
    EXPECT_EQ(fit.Fits, c.fits) << c.what;
  }
}

TEST(FontFit, ColumnsAreTheirReferenceButAtLeastSeventyPercentOfTheHeader) {
  const TLinearGrid grid{{10, 4}, {10, 20}, 300};
  const TFontFit fit = grid.Fit();
  ASSERT_EQ(fit.PointSize, 12);
  EXPECT_EQ(fit.ColumnWidths, (std::vector<int>{120, 168 + 12}));  // the 12 pixels left go to the cut header
}

TEST(FontFit, LeftOverWidthShowsCutHeadersInColumnOrder) {
  const TLinearGrid grid{{10, 10, 10}, {5, 20, 20}, 700};
  const TFontFit fit = grid.Fit();
  ASSERT_EQ(fit.PointSize, 17);  // references 510 >= 490
  // Column widths at 17: 170, 238, 238 = 646; 54 pixels left: 54 for the second header's 102.
  EXPECT_EQ(fit.ColumnWidths, (std::vector<int>{170, 238 + 54, 238}));
}

// The size depends only on the width and the contents, never on the size in use: a wider grid
// never gets a smaller font, so widening or refreshing cannot make the size swing back and forth.
TEST(FontFit, SizeNeverShrinksWhenTheGridWidens) {
  TLinearGrid grid{{12, 6}, {40, 8}, 0, 30};
  int previous = 0;
  for (int width = 50; width <= 3000; width += 7) {
    grid.Available = width;
    const int size = grid.Fit().PointSize;
    EXPECT_GE(size, previous) << width;
    EXPECT_EQ(grid.Fit().PointSize, size);
    previous = size;
  }
}

TEST(FontFit, GridProportions) {
  EXPECT_EQ(GridRowHeight(10), 16);
  EXPECT_EQ(GridRowHeight(8), 13);
  EXPECT_EQ(GridFirstColumnWidth(8), 18);
  EXPECT_EQ(GridFirstColumnWidth(20), 32);
  EXPECT_EQ(FittedColumnWidth(10, 20), 14);
  EXPECT_EQ(FittedColumnWidth(10, 3), 10);
}

}  // namespace

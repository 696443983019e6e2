#include "ui/FontFit.h"

#include <gtest/gtest.h>

namespace {

// Widths that grow linearly with the size: a column of n characters is n * size pixels wide, a row
// 2 * size pixels high.
struct TLinearGrid {
  std::vector<int> References;  // characters per column
  std::vector<int> Headers;
  int Available = 0;
  int ScrollBarFrom = 1000;  // from this size on a vertical scroll bar takes 15 pixels
  int Rows = 0;              // 0: the height sets no limit
  int Height = 0;

  TFontFitMetrics Metrics() const {
    TFontFitMetrics m;
    m.ColumnWidth = [this](int col, int s) { return References[size_t(col)] * s; };
    m.HeaderWidth = [this](int col, int s) { return Headers[size_t(col)] * s; };
    m.AvailableWidth = [this](int s) { return Available - (s >= ScrollBarFrom ? 15 : 0); };
    if (Rows > 0) {
      m.ContentHeight = [this](int s) { return Rows * 2 * s; };
      m.AvailableHeight = Height;
    }
    return m;
  }
  TFontFit Fit() const { return FitFont(int(References.size()), Metrics()); }
};

TEST(FontFit, SizeFillsTheWidthOrTheHeightWithinTheBounds) {
  struct Case {
    const char* what;
    TLinearGrid grid;
    int size;
    bool fits;
  } cases[] = {
      {"largest size whose columns fit the width", {{10}, {5}, 400}, 40, true},
      {"two columns share the width", {{10, 10}, {5, 5}, 400}, 20, true},
      {"wide headers count with 70 % of their width", {{10}, {30}, 400}, 19, true},
      {"upper bound", {{1}, {1}, 4000}, kFontFitMaxSize, true},
      {"lower bound when the width is too small", {{10}, {5}, 50}, kFontFitMinSize, false},
      {"without a scroll bar", {{10}, {5}, 290}, 29, true},
      {"a scroll bar from size 20 on takes its width", {{10}, {5}, 205, 20}, 19, true},
      {"the rows limit a wide grid", {{10}, {5}, 4000, 1000, 5, 300}, 30, true},
      {"the width limits a high grid", {{10}, {5}, 400, 1000, 2, 1000}, 40, true},
      {"rows that are too high at the lower bound scroll", {{10}, {5}, 400, 1000, 25, 300}, kFontFitMinSize, false},
  };
  for (const Case& c : cases) {
    const TFontFit fit = c.grid.Fit();
    EXPECT_EQ(fit.PointSize, c.size) << c.what;
    EXPECT_EQ(fit.Fits, c.fits) << c.what;
  }
}

TEST(FontFit, LargestFittingSizeScansFromTheUpperBound) {
  EXPECT_EQ(LargestFittingSize(8, 72, [](int s) { return s <= 30; }), 30);
  EXPECT_EQ(LargestFittingSize(8, 72, [](int) { return true; }), 72);
  EXPECT_EQ(LargestFittingSize(8, 72, [](int) { return false; }), std::nullopt);
  // A size that fits above one that does not (hinting can do that) still wins.
  EXPECT_EQ(LargestFittingSize(8, 72, [](int s) { return s <= 20 || s == 25; }), 25);
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
  ASSERT_EQ(fit.PointSize, 18);  // columns 684 <= 700; at 19: 722
  // Column widths at 18: 180, 252, 252 = 684; 16 pixels left: 16 for the second header's 108.
  EXPECT_EQ(fit.ColumnWidths, (std::vector<int>{180, 252 + 16, 252}));
}

// The size depends only on the size of the grid and the contents, never on the size in use: a
// wider or higher grid never gets a smaller font, so resizing or refreshing cannot make the size
// swing back and forth.
TEST(FontFit, SizeNeverShrinksWhenTheGridGrows) {
  TLinearGrid grid{{12, 6}, {40, 8}, 0, 30};
  int previous = 0;
  for (int width = 50; width <= 3000; width += 7) {
    grid.Available = width;
    const int size = grid.Fit().PointSize;
    EXPECT_GE(size, previous) << width;
    EXPECT_EQ(grid.Fit().PointSize, size);
    previous = size;
  }
  grid.Rows = 6;
  previous = 0;
  for (int height = 20; height <= 2000; height += 11) {
    grid.Height = height;
    const int size = grid.Fit().PointSize;
    EXPECT_GE(size, previous) << height;
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

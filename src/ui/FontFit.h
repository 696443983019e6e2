#pragma once
#include <functional>
#include <limits>
#include <optional>
#include <vector>

// The font size of a text grid that fills the grid's area, free of widgets.
//
// The size is a function of the grid's size and contents only, never of the size in use: fitting
// twice gives the same size, so the grid settles in one pass and cannot swing between two sizes.
// Below the lower bound nothing is lowered any more; the grid scrolls instead.

constexpr int kFontFitMinSize = 8;
constexpr int kFontFitMaxSize = 72;

// The largest size in [minSize, maxSize] for which `fits` holds, scanning down from the upper
// bound; none when no size fits.
std::optional<int> LargestFittingSize(int minSize, int maxSize, const std::function<bool(int pointSize)>& fits);

// Widths and heights in pixels of what the grid shows, in the font of a point size.
struct TFontFitMetrics {
  // Reference width of data column `col` (its widest value).
  std::function<int(int col, int pointSize)> ColumnWidth;
  // Width of the header of data column `col`.
  std::function<int(int col, int pointSize)> HeaderWidth;
  // The grid's client width for the data columns: without the first column and the grid lines.
  std::function<int(int pointSize)> AvailableWidth;
  // Height of all rows with their grid lines; absent: the height sets no limit.
  std::function<int(int pointSize)> ContentHeight;
  int AvailableHeight = std::numeric_limits<int>::max();
};

struct TFontFit {
  int PointSize = 0;
  // Per data column: its reference width, at least 70 % of its header; width left over goes to
  // columns whose header is cut, up to the header's full width, in column order.
  std::vector<int> ColumnWidths;
  bool Fits = true;  // false when even the lower bound is too wide or too high
};

// The largest size at which every column fits the available width and every row the available
// height; the lower bound when none does.
TFontFit FitFont(int columnCount, const TFontFitMetrics& metrics, int minSize = kFontFitMinSize,
                 int maxSize = kFontFitMaxSize);

// The width of one data column at a size: its reference width, but at least 70 % of its header.
int FittedColumnWidth(int referenceWidth, int headerWidth);

// Grid proportions: rows are 1.6 x the font size high, the first column as wide but at least 18.
int GridRowHeight(int pointSize);
int GridFirstColumnWidth(int pointSize);

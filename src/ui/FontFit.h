#pragma once
#include <functional>
#include <vector>

// The font size of a text grid that follows the grid's width, free of widgets.
//
// The size is a function of the grid's width and contents only, never of the size in use: fitting
// twice gives the same size, so the grid settles in one pass and cannot swing between two sizes
// (raising while below 70 % and lowering for wide headers would otherwise alternate on every
// refresh). Below the lower bound nothing is lowered any more; the grid scrolls instead.

constexpr int kFontFitMinSize = 8;
constexpr int kFontFitMaxSize = 48;

// Widths in pixels of what the grid shows, in the font of a point size.
struct TFontFitMetrics {
  // Reference width of data column `col` (its widest value).
  std::function<int(int col, int pointSize)> ColumnWidth;
  // Width of the header of data column `col`.
  std::function<int(int col, int pointSize)> HeaderWidth;
  // The grid's client width for the data columns: without the first column and the grid lines.
  std::function<int(int pointSize)> AvailableWidth;
};

struct TFontFit {
  int PointSize = 0;
  // Per data column: its reference width, at least 70 % of its header; width left over goes to
  // columns whose header is cut, up to the header's full width, in column order.
  std::vector<int> ColumnWidths;
  bool Fits = true;  // false when even the lower bound is too wide
};

// The smallest size at which the reference widths fill at least 70 % of the available width (the
// upper bound if none does), then lowered until every column fits, not below the lower bound.
TFontFit FitFont(int columnCount, const TFontFitMetrics& metrics, int minSize = kFontFitMinSize,
                 int maxSize = kFontFitMaxSize);

// The width of one data column at a size: its reference width, but at least 70 % of its header.
int FittedColumnWidth(int referenceWidth, int headerWidth);

// Grid proportions: rows are 1.6 x the font size high, the first column as wide but at least 18.
int GridRowHeight(int pointSize);
int GridFirstColumnWidth(int pointSize);

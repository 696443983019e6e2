#include "ui/FontFit.h"

#include <algorithm>
#include <cmath>

namespace {

struct TSizeWidths {
  long Columns = 0;
  std::vector<int> ColumnWidths;
};

// Headers cut by the 70 % rule get what the columns leave of the width.
void WidenForHeaders(std::vector<int>& widths, const TFontFitMetrics& m, int size, long spare) {
  for (size_t col = 0; col < widths.size() && spare > 0; ++col) {
    const long missing = m.HeaderWidth(int(col), size) - widths[col];
    if (missing <= 0) continue;
    const long added = std::min(missing, spare);
    widths[col] += int(added);
    spare -= added;
  }
}

TSizeWidths WidthsAt(int columnCount, const TFontFitMetrics& m, int size) {
  TSizeWidths w;
  for (int col = 0; col < columnCount; ++col) {
    const int column = FittedColumnWidth(m.ColumnWidth(col, size), m.HeaderWidth(col, size));
    w.Columns += column;
    w.ColumnWidths.push_back(column);
  }
  return w;
}

}  // namespace

int FittedColumnWidth(int referenceWidth, int headerWidth) {
  return std::max(referenceWidth, (7 * headerWidth + 9) / 10);  // 70 %, rounded up
}

std::optional<int> LargestFittingSize(int minSize, int maxSize, const std::function<bool(int)>& fits) {
  for (int size = maxSize; size >= minSize; --size)
    if (fits(size)) return size;
  return std::nullopt;
}

TFontFit FitFont(int columnCount, const TFontFitMetrics& metrics, int minSize, int maxSize) {
  const auto fits = [&](int size) {
    if (metrics.ContentHeight && metrics.ContentHeight(size) > metrics.AvailableHeight) return false;
    return WidthsAt(columnCount, metrics, size).Columns <= metrics.AvailableWidth(size);
  };
  const std::optional<int> size = LargestFittingSize(minSize, maxSize, fits);
  if (!size) return {minSize, WidthsAt(columnCount, metrics, minSize).ColumnWidths, false};
  TSizeWidths w = WidthsAt(columnCount, metrics, *size);
  WidenForHeaders(w.ColumnWidths, metrics, *size, metrics.AvailableWidth(*size) - w.Columns);
  return {*size, std::move(w.ColumnWidths), true};
}

int GridRowHeight(int pointSize) { return static_cast<int>(std::lround(pointSize * 1.6)); }

int GridFirstColumnWidth(int pointSize) { return std::max(18, GridRowHeight(pointSize)); }

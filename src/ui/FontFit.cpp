#include "ui/FontFit.h"

#include <algorithm>
#include <cmath>

namespace {

struct TSizeWidths {
  long References = 0;
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
    const int reference = m.ColumnWidth(col, size);
    const int column = FittedColumnWidth(reference, m.HeaderWidth(col, size));
    w.References += reference;
    w.Columns += column;
    w.ColumnWidths.push_back(column);
  }
  return w;
}

}  // namespace

int FittedColumnWidth(int referenceWidth, int headerWidth) {
  return std::max(referenceWidth, (7 * headerWidth + 9) / 10);  // 70 %, rounded up
}

TFontFit FitFont(int columnCount, const TFontFitMetrics& metrics, int minSize, int maxSize) {
  int size = maxSize;
  for (int s = minSize; s <= maxSize; ++s) {
    if (WidthsAt(columnCount, metrics, s).References >= 0.7 * metrics.AvailableWidth(s)) {
      size = s;
      break;
    }
  }
  for (; size >= minSize; --size) {
    TSizeWidths w = WidthsAt(columnCount, metrics, size);
    const int available = metrics.AvailableWidth(size);
    if (w.Columns > available) continue;
    WidenForHeaders(w.ColumnWidths, metrics, size, available - w.Columns);
    return {size, std::move(w.ColumnWidths), true};
  }
  return {minSize, WidthsAt(columnCount, metrics, minSize).ColumnWidths, false};
}

int GridRowHeight(int pointSize) { return static_cast<int>(std::lround(pointSize * 1.6)); }

int GridFirstColumnWidth(int pointSize) { return std::max(18, GridRowHeight(pointSize)); }

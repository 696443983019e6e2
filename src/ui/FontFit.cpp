#include "ui/FontFit.h"

#include <algorithm>
#include <cmath>

namespace {

struct TSizeWidths {
  long References = 0;
  long Columns = 0;
  std::vector<int> ColumnWidths;
};

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
  return std::max(referenceWidth, static_cast<int>(std::ceil(0.7 * headerWidth)));
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
    if (w.Columns <= metrics.AvailableWidth(size)) return {size, std::move(w.ColumnWidths), true};
  }
  return {minSize, WidthsAt(columnCount, metrics, minSize).ColumnWidths, false};
}

int GridRowHeight(int pointSize) { return static_cast<int>(std::lround(pointSize * 1.6)); }

int GridFirstColumnWidth(int pointSize) { return std::max(18, GridRowHeight(pointSize)); }

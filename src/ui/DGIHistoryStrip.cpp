#include "ui/DGIHistoryStrip.h"

#include <QPainter>

namespace {
const QColor kSet(0x00, 0xA0, 0x00);
const QColor kBackground(0xF4, 0xF4, 0xF4);
const QColor kRuler(0xD0, 0xD0, 0xD0);
}  // namespace

TDGIHistoryStrip::TDGIHistoryStrip(QWidget* parent) : QWidget(parent) {
  setMinimumHeight(kSignals * kRowHeight);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void TDGIHistoryStrip::Add(uint32_t word) {
  FWords.push_back(word);
  while (FWords.size() > kMaxColumns) FWords.pop_front();
  update();
}

void TDGIHistoryStrip::Clear() {
  FWords.clear();
  update();
}

bool TDGIHistoryStrip::WasSet(int32_t signal, size_t age) const {
  if (signal < 1 || signal > kSignals || age >= FWords.size()) return false;
  return (FWords[FWords.size() - 1 - age] >> (signal - 1) & 1u) != 0;
}

QSize TDGIHistoryStrip::sizeHint() const { return {400, kSignals * kRowHeight}; }

// Only the columns that fit are drawn, and runs of a set signal as one rectangle.
void TDGIHistoryStrip::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), kBackground);
  for (int group = 8; group < kSignals; group += 8) p.fillRect(0, group * kRowHeight, width(), 1, kRuler);
  const int columns = std::min<int>(width(), int(FWords.size()));
  const size_t first = FWords.size() - size_t(columns);
  const int left = width() - columns;
  for (int32_t signal = 1; signal <= kSignals; ++signal) {
    const uint32_t bit = 1u << (signal - 1);
    const int y = (signal - 1) * kRowHeight;
    int runStart = -1;
    for (int c = 0; c <= columns; ++c) {
      const bool set = c < columns && (FWords[first + size_t(c)] & bit) != 0;
      if (set && runStart < 0) runStart = c;
      if (!set && runStart >= 0) {
        p.fillRect(left + runStart, y, c - runStart, kRowHeight, kSet);
        runStart = -1;
      }
    }
  }
}

#include "ui/WindowPlacement.h"

#include <algorithm>
#include <cstdint>

namespace {

int64_t CoveredArea(const QRect& window, const std::vector<QRect>& occupied) {
  int64_t covered = 0;
  for (const QRect& other : occupied) {
    const QRect overlap = window.intersected(other);
    if (!overlap.isEmpty()) covered += int64_t(overlap.width()) * overlap.height();
  }
  return covered;
}

// The positions along one axis: the start, the far end, and both sides of every occupied window.
std::vector<int> Candidates(int areaLength, int length, const std::vector<QRect>& occupied, bool horizontal) {
  const int last = std::max(0, areaLength - length);
  std::vector<int> positions{0, last};
  for (const QRect& r : occupied) {
    positions.push_back((horizontal ? r.right() : r.bottom()) + 1);
    positions.push_back((horizontal ? r.left() : r.top()) - length);
  }
  for (int& p : positions) p = std::clamp(p, 0, last);
  std::sort(positions.begin(), positions.end());
  positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
  return positions;
}

}  // namespace

QPoint LeastCoveredPosition(const QSize& area, const QSize& size, const std::vector<QRect>& occupied) {
  QPoint best(0, 0);
  int64_t bestCovered = -1;
  for (const int y : Candidates(area.height(), size.height(), occupied, false)) {
    for (const int x : Candidates(area.width(), size.width(), occupied, true)) {
      const int64_t covered = CoveredArea(QRect(QPoint(x, y), size), occupied);
      if (bestCovered < 0 || covered < bestCovered) {
        best = {x, y};
        bestCovered = covered;
      }
    }
  }
  return best;
}

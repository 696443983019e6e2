#include "data/MtieCalculator.h"

#include <algorithm>
#include <bit>
#include <limits>
#include <vector>

namespace {

// Indices of a window in a ring; the front holds the window's extreme. Before(a, b): a must leave the
// queue's back when b arrives (b is at least as extreme).
template <class Before>
class TMonotonicQueue {
 public:
  TMonotonicQueue(size_t capacity, Before before) : FRing(std::bit_ceil(capacity + 1)), FBefore(before) {}
  void Push(int64_t index) {
    while (FSize > 0 && FBefore(FRing[Slot(FSize - 1)], index)) --FSize;
    FRing[Slot(FSize++)] = index;
  }
  void DropBefore(int64_t first) {
    while (FSize > 0 && FRing[FHead] < first) {
      FHead = (FHead + 1) & (FRing.size() - 1);
      --FSize;
    }
  }
  int64_t Front() const { return FRing[FHead]; }

 private:
  size_t Slot(size_t k) const { return (FHead + k) & (FRing.size() - 1); }
  std::vector<int64_t> FRing;
  Before FBefore;
  size_t FHead = 0, FSize = 0;
};

}  // namespace

TDeviation TMtieCalculator::Compute(int64_t m) const {
  const TPhaseSeries& x = FSeries;
  const auto window = static_cast<size_t>(m) + 1;
  TMonotonicQueue highs(window, [&](int64_t a, int64_t b) { return x[a] <= x[b]; });
  TMonotonicQueue lows(window, [&](int64_t a, int64_t b) { return x[a] >= x[b]; });
  double mtie = 0;
  int64_t terms = 0;
  for (int64_t i = 0; i < x.Size(); ++i) {
    highs.Push(i);
    lows.Push(i);
    const int64_t first = i - m;
    if (first < 0) continue;
    highs.DropBefore(first);
    lows.DropBefore(first);
    if (!x.Clean(first, i)) continue;
    mtie = std::max(mtie, x[highs.Front()] - x[lows.Front()]);
    ++terms;
  }
  return {terms > 0 ? mtie : std::numeric_limits<double>::quiet_NaN(), terms};
}

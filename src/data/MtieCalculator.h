#pragma once
#include <cstdint>

#include "data/DeviationCalculator.h"
#include "data/PhaseSeries.h"

// Maximum time interval error: the largest peak-to-peak phase within any window of m + 1 points, by
// sliding-window extremes (monotonic queues) in O(N) per averaging factor. Terms: the clean windows.
class TMtieCalculator {
 public:
  explicit TMtieCalculator(const TPhaseSeries& series) : FSeries(series) {}
  TDeviation Compute(int64_t m) const;

 private:
  const TPhaseSeries& FSeries;
};

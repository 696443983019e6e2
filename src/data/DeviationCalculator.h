#pragma once
#include <cstdint>
#include <span>
#include <vector>

#include "data/PhaseSeries.h"
#include "data/StabilityStatistic.h"

// One statistic at one averaging factor: its value and the number of terms it averaged. Sigma is NaN
// where no term was clean.
struct TDeviation {
  double Sigma;
  int64_t Terms;
};

// The deviations of one phase series, each in O(N) per averaging factor (the non-overlapping ones in
// O(N/m)); the modified ones through prefix sums of the phase, built on first use.
class TDeviationCalculator {
 public:
  explicit TDeviationCalculator(const TPhaseSeries& series) : FSeries(series) {}

  TDeviation Compute(TStabilityStatistic statistic, int64_t m) const;
  // Compute for each factor, the same values; several at once where that is faster.
  std::vector<TDeviation> ComputeAll(TStabilityStatistic statistic, std::span<const int64_t> factors) const;

  // The single statistics, m >= 1.
  TDeviation Allan(int64_t m, int64_t stride) const;
  // Allan(m, 1) for each factor in one pass over the series.
  std::vector<TDeviation> OverlappingAllan(std::span<const int64_t> factors) const;
  TDeviation Hadamard(int64_t m, int64_t stride) const;
  TDeviation ModifiedAllan(int64_t m) const;
  TDeviation Total(int64_t m) const;
  TDeviation TieRms(int64_t m) const;

 private:
  const std::vector<long double>& PrefixSums() const;

  const TPhaseSeries& FSeries;
  mutable std::vector<long double> FPrefix;  // FPrefix[k]: sum of points 0..k-1
};

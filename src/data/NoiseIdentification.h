#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "data/PhaseSeries.h"
#include "data/StabilityStatistic.h"

// Power-law noise type at one averaging factor as the exponent alpha of the frequency noise
// (2 white PM, 1 flicker PM, 0 white FM, -1 flicker FM, -2 random-walk FM, down to -4 for the
// Hadamard statistics). With 30 or more points at that factor: the lag-1 autocorrelation of the
// series differenced until it is stationary; with fewer: the B1 ratio for as many samples as the
// statistic has terms, and R(n) between the PM types.
class TNoiseIdentification {
 public:
  TNoiseIdentification(const TPhaseSeries& series, TStabilityStatistic statistic);

  // terms: the statistic's number of terms at m. nullopt where even the B1 ratio has too few
  // points (fewer than 2 averages).
  std::optional<int> Alpha(int64_t m, int64_t terms) const;

  // Up to half the statistic's largest factor the series still tells the noise at m itself; beyond,
  // a table keeps the type of its previous factor, as the field's reference program does.
  bool Identifies(int64_t m) const;

  // Exposed for tests: lag-1 autocorrelation (lagged products over N, squares over N - 1) and
  // polynomial detrending.
  static double Lag1Autocorrelation(std::span<const double> z);
  static void Detrend(std::vector<double>& z, int degree);

 private:
  std::optional<int> FromAutocorrelation(std::vector<double> z) const;
  std::optional<int> FromB1(const std::vector<double>& averages, int64_t m, int64_t terms) const;
  // The series at factor m: phase decimated by m, or frequency averaged over m (times tau, a scale
  // neither ratio sees); clean values only.
  std::vector<double> Reduced(int64_t m) const;
  std::vector<double> FrequencyAverages(int64_t m) const;

  const TPhaseSeries& FSeries;
  int FMaxDifferences;
  int64_t FLastIdentifiedFactor;
};

#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "data/PhaseSeries.h"

// Power-law noise type at one averaging factor as the exponent alpha of the frequency noise
// (2 white PM, 1 flicker PM, 0 white FM, -1 flicker FM, -2 random-walk FM, down to -4 for the
// Hadamard statistics). With 30 or more points at that factor: the lag-1 autocorrelation of the
// series differenced until it is stationary; with fewer: the B1 ratio, and R(n) between the PM types.
class TNoiseIdentification {
 public:
  // maxDifferences: 2 for the Allan statistics, 3 for the Hadamard ones.
  TNoiseIdentification(const TPhaseSeries& series, int maxDifferences);

  // nullopt where even the B1 ratio has too few points (fewer than 2 averages).
  std::optional<int> Alpha(int64_t m) const;

  // Exposed for tests: lag-1 autocorrelation and polynomial detrending.
  static double Lag1Autocorrelation(std::span<const double> z);
  static void Detrend(std::vector<double>& z, int degree);

 private:
  std::optional<int> FromAutocorrelation(std::vector<double> z) const;
  std::optional<int> FromB1(const std::vector<double>& averages, int64_t m) const;
  // The series at factor m: phase decimated by m, or frequency averaged over m; clean values only.
  std::vector<double> Reduced(int64_t m) const;
  std::vector<double> FrequencyAverages(int64_t m) const;

  const TPhaseSeries& FSeries;
  int FMaxDifferences;
};

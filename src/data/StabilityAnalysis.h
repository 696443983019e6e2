#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "data/PhaseSeries.h"
#include "data/StabilityStatistic.h"
#include "data/TauLadder.h"

// One row of a stability table. Alpha and the bounds are absent for MTIE and TIE rms and where the
// noise could not be identified.
struct TStabilityPoint {
  int64_t Factor;
  double Tau;
  int64_t Terms;
  std::optional<int> Alpha;
  std::optional<double> MinSigma;
  double Sigma;
  std::optional<double> MaxSigma;
};

constexpr double kDefaultConfidence = 0.683;

// Analyses one phase series: the statistic at every given factor with at least one term, its noise
// type and its confidence bounds at the confidence factor (0 < confidence < 1).
std::vector<TStabilityPoint> AnalyseStability(const TPhaseSeries& series, TStabilityStatistic statistic,
                                              std::span<const int64_t> factors, double confidence = kDefaultConfidence);

// The factors of a ladder for the statistic and series length.
std::vector<int64_t> StabilityFactors(TStabilityStatistic statistic, TTauLadder ladder, int64_t pointsCount);

// Sigma · sqrt(edf / chi2) at both tails of the confidence factor: {min, max}. 0.683 (0.954, 0.997)
// stands for one (two, three) standard deviations.
std::pair<double, double> ConfidenceBounds(double sigma, double edf, double confidence);

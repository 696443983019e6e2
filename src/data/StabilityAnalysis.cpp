#include "data/StabilityAnalysis.h"

#include <cmath>

#include "data/ChiSquareQuantile.h"
#include "data/DeviationCalculator.h"
#include "data/EquivalentDegreesOfFreedom.h"
#include "data/NoiseIdentification.h"

namespace {

bool IsHadamard(TStabilityStatistic statistic) {
  return statistic == TStabilityStatistic::Hdev || statistic == TStabilityStatistic::Ohdev;
}

}  // namespace

std::pair<double, double> ConfidenceBounds(double sigma, double edf, double confidence) {
  const double tail = (1 - confidence) / 2;
  return {sigma * std::sqrt(edf / ChiSquareQuantile(1 - tail, edf)), sigma * std::sqrt(edf / ChiSquareQuantile(tail, edf))};
}

std::vector<int64_t> StabilityFactors(TStabilityStatistic statistic, TTauLadder ladder, int64_t pointsCount) {
  const int64_t maxFactor = MaxAveragingFactor(statistic, pointsCount);
  if (statistic == TStabilityStatistic::Mtie && ladder == TTauLadder::Octave) return MtieOctaveFactors(maxFactor);
  return TauLadderFactors(ladder, maxFactor);
}

std::vector<TStabilityPoint> AnalyseStability(const TPhaseSeries& series, TStabilityStatistic statistic,
                                              std::span<const int64_t> factors, double confidence) {
  const TDeviationCalculator calculator(series);
  const TNoiseIdentification noise(series, IsHadamard(statistic) ? 3 : 2);
  std::vector<TStabilityPoint> points;
  for (int64_t m : factors) {
    const TDeviation deviation = calculator.Compute(statistic, m);
    if (deviation.Terms == 0) continue;
    TStabilityPoint point{m, static_cast<double>(m) * series.Tau0(), deviation.Terms, std::nullopt, std::nullopt,
                          deviation.Sigma, std::nullopt};
    if (!IsTimeIntervalError(statistic)) {
      point.Alpha = noise.Alpha(m);
      const std::optional<double> edf =
          point.Alpha ? EquivalentDegreesOfFreedom(statistic, *point.Alpha, m, series.Size()) : std::nullopt;
      if (edf && *edf > 0 && std::isfinite(*edf)) {
        const auto [low, high] = ConfidenceBounds(deviation.Sigma, *edf, confidence);
        point.MinSigma = low;
        point.MaxSigma = high;
      }
    }
    points.push_back(point);
  }
  return points;
}

#include "data/StabilityAnalysis.h"

#include <cmath>

#include "data/ChiSquareQuantile.h"
#include "data/DeviationCalculator.h"
#include "data/EquivalentDegreesOfFreedom.h"
#include "data/NoiseIdentification.h"

namespace {

// A factor that is one, two or three standard deviations' probability to three digits (0.683,
// 0.954, 0.997) stands for that probability itself, as in the field's reference program.
double SigmaConfidence(double confidence) {
  for (double k = 1; k <= 3; ++k) {
    const double exact = std::erf(k / std::sqrt(2.0));
    if (std::abs(confidence - std::round(exact * 1000) / 1000) < 1e-9) return exact;
  }
  return confidence;
}

// Up to 100 degrees of freedom the exact quantile; beyond, the reference program's Wilson-Hilferty
// form at the normal quantile of p to two decimals (its bounds are some 0.5 % narrower there).
double BoundQuantile(double p, double edf) {
  if (edf <= 100) return ChiSquareQuantile(p, edf);
  const double c = 2 / (9 * edf);
  return edf * std::pow(1 - c + NormalQuantile(std::round(p * 100) / 100) * std::sqrt(c), 3);
}

}  // namespace

std::pair<double, double> ConfidenceBounds(double sigma, double edf, double confidence) {
  const double tail = (1 - SigmaConfidence(confidence)) / 2;
  return {sigma * std::sqrt(edf / BoundQuantile(1 - tail, edf)), sigma * std::sqrt(edf / BoundQuantile(tail, edf))};
}

std::vector<int64_t> StabilityFactors(TStabilityStatistic statistic, TTauLadder ladder, int64_t pointsCount) {
  const int64_t maxFactor = MaxAveragingFactor(statistic, pointsCount);
  if (statistic == TStabilityStatistic::Mtie && ladder == TTauLadder::Octave) return MtieOctaveFactors(maxFactor);
  return TauLadderFactors(ladder, maxFactor);
}

std::vector<TStabilityPoint> AnalyseStability(const TPhaseSeries& series, TStabilityStatistic statistic,
                                              std::span<const int64_t> factors, double confidence) {
  const TDeviationCalculator calculator(series);
  const TNoiseIdentification noise(series, statistic);
  std::vector<TStabilityPoint> points;
  std::optional<int> alpha;  // the previous factor's
  const std::vector<TDeviation> deviations = calculator.ComputeAll(statistic, factors);
  for (size_t k = 0; k < factors.size(); ++k) {
    const int64_t m = factors[k];
    const TDeviation& deviation = deviations[k];
    if (deviation.Terms == 0) continue;
    TStabilityPoint point{m, static_cast<double>(m) * series.Tau0(), deviation.Terms, std::nullopt, std::nullopt,
                          deviation.Sigma, std::nullopt};
    if (!IsTimeIntervalError(statistic)) {
      if (noise.Identifies(m) || !alpha) alpha = noise.Alpha(m, deviation.Terms);
      point.Alpha = alpha;
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

#include "data/NoiseIdentification.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>
#include <numeric>

#include "data/DeviationCalculator.h"

namespace {

constexpr size_t kMinAutocorrelationPoints = 30;

// The B1 ratio's theory for N samples of a noise whose Allan variance goes as tau^mu.
double B1Theory(double n, int mu) {
  switch (mu) {
    case 2:
      return n * (n + 1) / 6;
    case 1:
      return n / 2;
    case 0:
      return n * std::log(n) / (2 * (n - 1) * std::log(2.0));
    case -1:
      return 1;
    case -2:
      return (n * n - 1) / (1.5 * n * (n - 1));
    default:
      return n * (1 - std::pow(n, mu)) / (2 * (n - 1) * (1 - std::pow(2.0, mu)));
  }
}

// The sum of term(k) for k < count in four interleaved partial sums, so that the additions overlap.
template <class Term>
double Sum(size_t count, Term term) {
  double a0 = 0, a1 = 0, a2 = 0, a3 = 0;
  size_t k = 0;
  for (; k + 4 <= count; k += 4) {
    a0 += term(k);
    a1 += term(k + 1);
    a2 += term(k + 2);
    a3 += term(k + 3);
  }
  for (; k < count; ++k) a0 += term(k);
  return (a0 + a1) + (a2 + a3);
}

// mu of the Allan variance's slope for a noise type alpha (both PM types give -2).
int MuOfAlpha(int alpha) { return alpha >= 1 ? -2 : -1 - alpha; }

// R(n) = MVAR / AVAR in theory at factor m: 1/m for white PM, a constant for flicker PM.
double RnTheory(int64_t m, bool whitePm) {
  if (whitePm) return 1.0 / static_cast<double>(m);
  const double pi2 = std::numbers::pi * std::numbers::pi;
  const double avar = (1.038 + 3 * std::log(std::numbers::pi * static_cast<double>(m))) / (4 * pi2);
  const double mvar = 3 * std::log(256.0 / 27.0) / (8 * pi2);
  return mvar / avar;
}

}  // namespace

TNoiseIdentification::TNoiseIdentification(const TPhaseSeries& series, TStabilityStatistic statistic)
    : FSeries(series),
      FMaxDifferences(statistic == TStabilityStatistic::Hdev || statistic == TStabilityStatistic::Ohdev ? 3 : 2),
      FLastIdentifiedFactor(MaxAveragingFactor(statistic, series.Size()) / 2) {}

bool TNoiseIdentification::Identifies(int64_t m) const { return m <= FLastIdentifiedFactor; }

std::optional<int> TNoiseIdentification::Alpha(int64_t m, int64_t terms) const {
  std::vector<double> reduced = Reduced(m);
  std::optional<int> alpha = reduced.size() >= kMinAutocorrelationPoints ? FromAutocorrelation(std::move(reduced))
                                                                         : FromB1(FrequencyAverages(m), m, terms);
  if (!alpha) return alpha;
  return std::clamp(*alpha, 2 - 2 * FMaxDifferences, 2);
}

std::vector<double> TNoiseIdentification::Reduced(int64_t m) const {
  if (FSeries.FromFrequency()) return FrequencyAverages(m);
  std::vector<double> z;
  z.reserve(static_cast<size_t>(FSeries.Size() / m + 1));
  for (int64_t i = 0; i < FSeries.Size(); i += m)
    if (FSeries.Clean(i, i)) z.push_back(FSeries[i]);
  return z;
}

std::vector<double> TNoiseIdentification::FrequencyAverages(int64_t m) const {
  // Times tau: the autocorrelation and the B1 ratio do not see the scale.
  const double* x = FSeries.Values().data();
  const int64_t count = FSeries.Size() > 0 ? (FSeries.Size() - 1) / m : 0;
  std::vector<double> averages(static_cast<size_t>(count));
  if (!FSeries.HasGaps()) {
    for (int64_t k = 0; k < count; ++k) averages[static_cast<size_t>(k)] = x[(k + 1) * m] - x[k * m];
    return averages;
  }
  size_t kept = 0;
  for (int64_t i = 0; i + m < FSeries.Size(); i += m)
    if (FSeries.Clean(i, i + m)) averages[kept++] = x[i + m] - x[i];
  averages.resize(kept);
  return averages;
}

std::optional<int> TNoiseIdentification::FromAutocorrelation(std::vector<double> z) const {
  // Phase loses its frequency offset and drift (frequency only its mean, as the reference program
  // does); each difference then whitens the noise by one power of f^2.
  const bool phase = !FSeries.FromFrequency();
  if (phase) Detrend(z, 2);
  for (int d = 0;; ++d) {
    const double r1 = Lag1Autocorrelation(z);
    const double rho = r1 / (1 + r1);
    if (rho < 0.25 || d >= FMaxDifferences)
      return static_cast<int>(-std::nearbyint(2 * rho)) - 2 * d + (phase ? 2 : 0);
    std::adjacent_difference(z.begin(), z.end(), z.begin());
    z.erase(z.begin());
  }
}

std::optional<int> TNoiseIdentification::FromB1(const std::vector<double>& averages, int64_t m, int64_t terms) const {
  const size_t n = averages.size();
  if (n < 2) return std::nullopt;
  double mean = 0;
  for (double y : averages) mean += y;
  mean /= static_cast<double>(n);
  double variance = 0, allan = 0;
  for (size_t k = 0; k < n; ++k) {
    variance += (averages[k] - mean) * (averages[k] - mean);
    if (k > 0) allan += (averages[k] - averages[k - 1]) * (averages[k] - averages[k - 1]);
  }
  variance /= static_cast<double>(n - 1);
  allan /= 2.0 * static_cast<double>(n - 1);
  if (!(allan > 0)) return std::nullopt;
  const double b1 = variance / allan;
  const auto count = static_cast<double>(terms);
  // Step to redder noise while B1 lies above the geometric mean of the neighbouring theories.
  int alpha = 1;
  const int minAlpha = 2 - 2 * FMaxDifferences;
  while (alpha > minAlpha &&
         b1 > std::sqrt(B1Theory(count, MuOfAlpha(alpha)) * B1Theory(count, MuOfAlpha(alpha - 1))))
    --alpha;
  if (alpha != 1) return alpha;
  // Phase noise: white or flicker by R(n).
  const TDeviationCalculator calculator(FSeries);
  const double mdev = calculator.ModifiedAllan(m).Sigma, adev = calculator.Allan(m, 1).Sigma;
  const double rn = (mdev / adev) * (mdev / adev);
  return rn > std::sqrt(RnTheory(m, true) * RnTheory(m, false)) ? 1 : 2;
}

double TNoiseIdentification::Lag1Autocorrelation(std::span<const double> z) {
  if (z.size() < 2) return std::numeric_limits<double>::quiet_NaN();
  const auto n = static_cast<double>(z.size());
  const double mean = Sum(z.size(), [z](size_t k) { return z[k]; }) / n;
  const double squares = Sum(z.size(), [z, mean](size_t k) { return (z[k] - mean) * (z[k] - mean); });
  const double lagged = Sum(z.size() - 1, [z, mean](size_t k) { return (z[k] - mean) * (z[k + 1] - mean); });
  return lagged / n / (squares / (n - 1));
}

void TNoiseIdentification::Detrend(std::vector<double>& z, int degree) {
  // Least squares on t scaled to [-1, 1], so that the normal equations stay well conditioned.
  const size_t n = z.size();
  if (n <= static_cast<size_t>(degree)) return;
  const int size = degree + 1;
  const auto t = [&](size_t k) { return (2.0L * static_cast<long double>(k) - (n - 1)) / static_cast<long double>(n - 1); };
  std::array<std::array<long double, 4>, 3> a{};  // [row][column], last column the right side
  for (size_t k = 0; k < n; ++k) {
    std::array<long double, 5> powers{1};
    for (int p = 1; p < 2 * size - 1; ++p) powers[static_cast<size_t>(p)] = powers[static_cast<size_t>(p - 1)] * t(k);
    for (int r = 0; r < size; ++r) {
      for (int c = 0; c < size; ++c) a[r][c] += powers[static_cast<size_t>(r + c)];
      a[r][size] += powers[static_cast<size_t>(r)] * z[k];
    }
  }
  // Gaussian elimination; the Gram matrix is positive definite, no pivoting needed.
  for (int p = 0; p < size; ++p)
    for (int r = p + 1; r < size; ++r) {
      const long double f = a[r][p] / a[p][p];
      for (int c = p; c <= size; ++c) a[r][c] -= f * a[p][c];
    }
  std::array<long double, 3> coef{};
  for (int r = size - 1; r >= 0; --r) {
    long double v = a[r][size];
    for (int c = r + 1; c < size; ++c) v -= a[r][c] * coef[c];
    coef[r] = v / a[r][r];
  }
  for (size_t k = 0; k < n; ++k) {
    long double fit = 0;
    for (int r = size - 1; r >= 0; --r) fit = fit * t(k) + coef[r];
    z[k] = static_cast<double>(z[k] - fit);
  }
}

#include "data/EquivalentDegreesOfFreedom.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace {

constexpr double kInfinite = std::numeric_limits<double>::infinity();
constexpr double kJMax = 100;

// The generalised autocovariance of the noise, sw(t) for alpha.
double Sw(double t, int alpha) {
  const double a = std::abs(t);
  switch (alpha) {
    case 2:
      return -a;
    case 1:
      return t == 0 ? 0 : t * t * std::log(a);
    case 0:
      return a * a * a;
    case -1:
      return t == 0 ? 0 : std::pow(t, 4) * std::log(a);
    case -2:
      return std::pow(a, 5);
    case -3:
      return t == 0 ? 0 : std::pow(t, 6) * std::log(a);
    default:
      return std::pow(a, 7);
  }
}

// After the averaging filter of F samples (F infinite: the limit).
double Sx(double t, double f, int alpha) {
  if (f == kInfinite) return Sw(t, alpha + 2);
  return f * f * (2 * Sw(t, alpha) - Sw(t - 1 / f, alpha) - Sw(t + 1 / f, alpha));
}

// After the d-th difference: binomial weights with alternating signs.
double Sz(double t, double f, int alpha, int d) {
  static constexpr double kBinomial[4][4] = {{1}, {2, 1}, {6, 4, 1}, {20, 15, 6, 1}};
  double sum = kBinomial[d][0] * Sx(t, f, alpha);
  for (int k = 1; k <= d; ++k) {
    const double sign = (k % 2 == 1) ? -1 : 1;
    sum += sign * kBinomial[d][k] * (Sx(t - k, f, alpha) + Sx(t + k, f, alpha));
  }
  return sum;
}

double BasicSum(double j, double m, double s, double f, int alpha, int d) {
  double sum = std::pow(Sz(0, f, alpha, d), 2) + (1 - j / m) * std::pow(Sz(j / s, f, alpha, d), 2);
  for (int k = 1; k < static_cast<int>(j); ++k) sum += 2 * (1 - k / m) * std::pow(Sz(k / s, f, alpha, d), 2);
  return sum;
}

// Greenhall's tables: (a0, a1) by row alpha = 2 .. -4 and column d = 1 .. 3.
using TPair = std::pair<double, double>;
constexpr TPair kNone{-1, -1};
constexpr TPair kTable1[7][3] = {
    {{2.0 / 3, 1.0 / 3}, {7.0 / 9, 0.5}, {22.0 / 25, 2.0 / 3}}, {{0.840, 0.345}, {0.997, 0.616}, {1.141, 0.843}},
    {{1.079, 0.368}, {1.033, 0.607}, {1.184, 0.848}},          {kNone, {1.048, 0.534}, {1.180, 0.816}},
    {kNone, {1.302, 0.535}, {1.175, 0.777}},                   {kNone, kNone, {1.194, 0.703}},
    {kNone, kNone, {1.489, 0.702}}};
constexpr TPair kTable2[7][3] = {
    {{1.5, 0.5}, {35.0 / 18, 1}, {231.0 / 100, 1.5}}, {{78.6, 25.2}, {790, 410}, {9950, 6520}},
    {{2.0 / 3, 1.0 / 6}, {2.0 / 3, 1.0 / 3}, {7.0 / 9, 0.5}}, {kNone, {0.852, 0.375}, {0.997, 0.617}},
    {kNone, {1.079, 0.368}, {1.033, 0.607}},             {kNone, kNone, {1.053, 0.553}},
    {kNone, kNone, {1.302, 0.535}}};
constexpr TPair kTable3[3] = {{6, 4}, {15.23, 12}, {47.8, 40}};

TPair Table(const TPair (&table)[7][3], int alpha, int d) { return table[2 - alpha][d - 1]; }

}  // namespace

double GreenhallEdf(int alpha, int d, int64_t m64, int64_t filterFactor, int64_t stride, int64_t n) {
  const auto m = static_cast<double>(m64), f = static_cast<double>(filterFactor), s = static_cast<double>(stride);
  const double length = m / f + m * d;  // the filter's span in phase samples
  const double bigM = 1 + std::floor(s * (static_cast<double>(n) - length) / m);
  const double j = std::min(bigM, (d + 1) * s);
  const double r = bigM / s;
  const auto general = [&](double fPrime) {
    return 1 / (BasicSum(j, bigM, s, fPrime, alpha, d) / (std::pow(Sz(0, fPrime, alpha, d), 2) * bigM));
  };
  const auto limit = [&](double fPrime, double norm) {
    return 1 / (BasicSum(kJMax, kJMax, kJMax / r, fPrime, alpha, d) / (norm * kJMax));
  };
  if (filterFactor == 1) {  // modified deviations
    if (j <= kJMax) return general(1);
    if (r > d + 1) {
      const auto [a0, a1] = Table(kTable1, alpha, d);
      return r / (a0 - a1 / r);
    }
    return limit(1, std::pow(Sz(0, 1, alpha, d), 2));
  }
  if (alpha <= 0) {
    if (j <= kJMax) return general(m * (d + 1) <= kJMax ? m : kInfinite);
    if (r > d + 1) {
      const auto [a0, a1] = Table(kTable2, alpha, d);
      return r / (a0 - a1 / r);
    }
    return limit(kInfinite, std::pow(Sz(0, kInfinite, alpha, d), 2));
  }
  if (alpha == 1) {
    const auto [b0, b1] = kTable3[d - 1];
    const double norm = std::pow(b0 + b1 * std::log(m), 2);
    if (j <= kJMax) return general(m);
    if (r > d + 1) {
      const auto [a0, a1] = Table(kTable2, alpha, d);
      return norm * r / (a0 - a1 / r);
    }
    return limit(kJMax / r, norm);
  }
  // White PM: closed form, a0 = C(4d, 2d) / C(2d, d)^2.
  static constexpr double kA0[4] = {0, 1.5, 35.0 / 18, 231.0 / 100};
  if (std::ceil(r) <= d) return general(m);
  return bigM / (kA0[d] - d / 2.0 / r);
}

std::optional<double> EquivalentDegreesOfFreedom(TStabilityStatistic statistic, int alpha, int64_t m, int64_t n) {
  switch (statistic) {
    case TStabilityStatistic::Adev:
      return alpha + 4 > 1 ? std::optional(GreenhallEdf(alpha, 2, m, m, 1, n)) : std::nullopt;
    case TStabilityStatistic::Oadev:
      return alpha + 4 > 1 ? std::optional(GreenhallEdf(alpha, 2, m, m, m, n)) : std::nullopt;
    case TStabilityStatistic::Mdev:
    case TStabilityStatistic::Tdev:
      return alpha + 4 > 1 ? std::optional(GreenhallEdf(alpha, 2, m, 1, m, n)) : std::nullopt;
    case TStabilityStatistic::Hdev:
      return alpha + 6 > 1 ? std::optional(GreenhallEdf(alpha, 3, m, m, 1, n)) : std::nullopt;
    case TStabilityStatistic::Ohdev:
      return alpha + 6 > 1 ? std::optional(GreenhallEdf(alpha, 3, m, m, m, n)) : std::nullopt;
    case TStabilityStatistic::Totdev: {
      // edf = b · N/m - c for the frequency noises; the phase noises as the overlapping Allan deviation.
      static constexpr TPair kTotal[3] = {{1.50, 0.0}, {1.17, 0.22}, {0.93, 0.36}};
      if (alpha > 0) return GreenhallEdf(alpha, 2, m, m, m, n);
      if (alpha < -2) return std::nullopt;
      const auto [b, c] = kTotal[-alpha];
      return b * static_cast<double>(n) / static_cast<double>(m) - c;
    }
    default:
      return std::nullopt;
  }
}

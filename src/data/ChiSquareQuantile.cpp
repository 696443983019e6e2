#include "data/ChiSquareQuantile.h"

#include <cmath>
#include <limits>

namespace {

constexpr int kMaxIterations = 1000;
constexpr double kEpsilon = 1e-16;

// P(a, x) by its power series, for x < a + 1.
double GammaSeries(double a, double x) {
  double term = 1 / a, sum = term;
  for (int n = 1; n < kMaxIterations && std::abs(term) > std::abs(sum) * kEpsilon; ++n) {
    term *= x / (a + n);
    sum += term;
  }
  return sum * std::exp(-x + a * std::log(x) - std::lgamma(a));
}

// Q(a, x) = 1 - P(a, x) by its continued fraction (modified Lentz), for x >= a + 1.
double GammaContinuedFraction(double a, double x) {
  constexpr double kTiny = 1e-300;
  double b = x + 1 - a, c = 1 / kTiny, d = 1 / b, h = d;
  for (int i = 1; i < kMaxIterations; ++i) {
    const double an = -i * (i - a);
    b += 2;
    d = an * d + b;
    if (std::abs(d) < kTiny) d = kTiny;
    c = b + an / c;
    if (std::abs(c) < kTiny) c = kTiny;
    d = 1 / d;
    const double delta = d * c;
    h *= delta;
    if (std::abs(delta - 1) < kEpsilon) break;
  }
  return std::exp(-x + a * std::log(x) - std::lgamma(a)) * h;
}

}  // namespace

double ChiSquareCdf(double x, double dof) {
  if (x <= 0) return 0;
  const double a = dof / 2, half = x / 2;
  return half < a + 1 ? GammaSeries(a, half) : 1 - GammaContinuedFraction(a, half);
}

double ChiSquareQuantile(double p, double dof) {
  // Bisection on a bracket that doubles until it holds p: slow but sure, and called once per point.
  double lo = 0, hi = dof + 10;
  while (ChiSquareCdf(hi, dof) < p) hi *= 2;
  for (int i = 0; i < 200 && hi - lo > 1e-13 * hi; ++i) {
    const double mid = (lo + hi) / 2;
    (ChiSquareCdf(mid, dof) < p ? lo : hi) = mid;
  }
  return (lo + hi) / 2;
}

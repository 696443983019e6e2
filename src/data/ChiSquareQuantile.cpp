#include "data/ChiSquareQuantile.h"

#include <cmath>
#include <limits>

namespace {

constexpr double kEpsilon = 1e-16;

// Near x = a both expansions need some sqrt(a) terms: a fixed limit would cut them short for the
// millions of degrees of freedom of long series.
int MaxIterations(double a) { return 1000 + static_cast<int>(20 * std::sqrt(a)); }

// P(a, x) by its power series, for x < a + 1.
double GammaSeries(double a, double x) {
  double term = 1 / a, sum = term;
  const int limit = MaxIterations(a);
  for (int n = 1; n < limit && std::abs(term) > std::abs(sum) * kEpsilon; ++n) {
    term *= x / (a + n);
    sum += term;
  }
  return sum * std::exp(-x + a * std::log(x) - std::lgamma(a));
}

// Q(a, x) = 1 - P(a, x) by its continued fraction (modified Lentz), for x >= a + 1.
double GammaContinuedFraction(double a, double x) {
  constexpr double kTiny = 1e-300;
  double b = x + 1 - a, c = 1 / kTiny, d = 1 / b, h = d;
  const int limit = MaxIterations(a);
  for (int i = 1; i < limit; ++i) {
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

namespace {

double Bisection(double p, double dof) {
  double lo = 0, hi = dof + 10;
  while (ChiSquareCdf(hi, dof) < p) hi *= 2;
  for (int i = 0; i < 200 && hi - lo > 1e-13 * hi; ++i) {
    const double mid = (lo + hi) / 2;
    (ChiSquareCdf(mid, dof) < p ? lo : hi) = mid;
  }
  return (lo + hi) / 2;
}

double LogDensity(double x, double dof) {
  const double a = dof / 2;
  return (a - 1) * std::log(x) - x / 2 - a * std::log(2.0) - std::lgamma(a);
}

}  // namespace

double NormalQuantile(double p) {
  // Bisection on erfc: 100 halvings of [-40, 40] leave no error a double can show.
  double lo = -40, hi = 40;
  for (int i = 0; i < 100; ++i) {
    const double mid = (lo + hi) / 2;
    (0.5 * std::erfc(-mid / std::sqrt(2.0)) < p ? lo : hi) = mid;
  }
  return (lo + hi) / 2;
}

double ChiSquareQuantile(double p, double dof) {
  // Newton's method from the Wilson-Hilferty approximation; bisection where that start is poor (few
  // degrees of freedom) or Newton does not settle.
  if (dof < 2) return Bisection(p, dof);
  const double c = 2 / (9 * dof);
  double x = dof * std::pow(1 - c + NormalQuantile(p) * std::sqrt(c), 3);
  if (!(x > 0)) return Bisection(p, dof);
  for (int i = 0; i < 50; ++i) {
    const double step = (ChiSquareCdf(x, dof) - p) / std::exp(LogDensity(x, dof));
    const double next = x - step;
    if (!(next > 0) || !std::isfinite(next)) break;
    x = next;
    if (std::abs(step) <= 1e-13 * x) return x;
  }
  return Bisection(p, dof);
}

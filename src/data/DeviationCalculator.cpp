#include "data/DeviationCalculator.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "data/MtieCalculator.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// sqrt(sum / (divisor · terms)), NaN without terms.
TDeviation Root(long double sum, long double divisor, int64_t terms) {
  if (terms == 0) return {kNaN, 0};
  return {static_cast<double>(std::sqrt(sum / (divisor * static_cast<long double>(terms)))), terms};
}

}  // namespace

TDeviation TDeviationCalculator::Compute(TStabilityStatistic statistic, int64_t m) const {
  switch (statistic) {
    case TStabilityStatistic::Adev:
      return Allan(m, m);
    case TStabilityStatistic::Oadev:
      return Allan(m, 1);
    case TStabilityStatistic::Mdev:
      return ModifiedAllan(m);
    case TStabilityStatistic::Tdev: {
      // TDEV = tau · MDEV / sqrt(3)
      const TDeviation mdev = ModifiedAllan(m);
      return {mdev.Sigma * static_cast<double>(m) * FSeries.Tau0() / std::sqrt(3.0), mdev.Terms};
    }
    case TStabilityStatistic::Hdev:
      return Hadamard(m, m);
    case TStabilityStatistic::Ohdev:
      return Hadamard(m, 1);
    case TStabilityStatistic::Totdev:
      return Total(m);
    case TStabilityStatistic::Mtie:
      return TMtieCalculator(FSeries).Compute(m);
    case TStabilityStatistic::TieRms:
      return TieRms(m);
  }
  return {kNaN, 0};
}

TDeviation TDeviationCalculator::Allan(int64_t m, int64_t stride) const {
  const TPhaseSeries& x = FSeries;
  long double sum = 0;
  int64_t terms = 0;
  for (int64_t i = 0; i + 2 * m < x.Size(); i += stride) {
    if (!x.Clean(i, i + 2 * m)) continue;
    const double d = x[i + 2 * m] - 2 * x[i + m] + x[i];
    sum += d * d;
    ++terms;
  }
  const double tau = static_cast<double>(m) * x.Tau0();
  return Root(sum, 2.0L * tau * tau, terms);
}

TDeviation TDeviationCalculator::Hadamard(int64_t m, int64_t stride) const {
  const TPhaseSeries& x = FSeries;
  long double sum = 0;
  int64_t terms = 0;
  for (int64_t i = 0; i + 3 * m < x.Size(); i += stride) {
    if (!x.Clean(i, i + 3 * m)) continue;
    const double d = x[i + 3 * m] - 3 * x[i + 2 * m] + 3 * x[i + m] - x[i];
    sum += d * d;
    ++terms;
  }
  const double tau = static_cast<double>(m) * x.Tau0();
  return Root(sum, 6.0L * tau * tau, terms);
}

TDeviation TDeviationCalculator::ModifiedAllan(int64_t m) const {
  // Term i averages the second differences starting at i .. i+m-1: from the prefix sums
  // S[i+3m] - 3 S[i+2m] + 3 S[i+m] - S[i].
  const std::vector<long double>& s = PrefixSums();
  long double sum = 0;
  int64_t terms = 0;
  for (int64_t i = 0; i + 3 * m <= FSeries.Size(); ++i) {
    if (!FSeries.Clean(i, i + 3 * m - 1)) continue;
    const auto at = [&](int64_t k) { return s[static_cast<size_t>(k)]; };
    const long double d = at(i + 3 * m) - 3 * at(i + 2 * m) + 3 * at(i + m) - at(i);
    sum += d * d;
    ++terms;
  }
  const long double tau = static_cast<long double>(m) * FSeries.Tau0();
  const long double mm = static_cast<long double>(m) * m;
  return Root(sum, 2 * mm * tau * tau, terms);
}

TDeviation TDeviationCalculator::Total(int64_t m) const {
  // Second differences over the series extended by reflection at both ends:
  // x(-j) = 2 x(0) - x(j), x(N-1+j) = 2 x(N-1) - x(N-1-j).
  const TPhaseSeries& x = FSeries;
  const int64_t n = x.Size();
  long double sum = 0;
  int64_t terms = 0;
  for (int64_t i = 1; i + 1 < n; ++i) {
    const int64_t left = i - m, right = i + m;
    const double xl = left >= 0 ? x[left] : 2 * x[0] - x[-left];
    const double xr = right < n ? x[right] : 2 * x[n - 1] - x[2 * (n - 1) - right];
    // The span of real points the term reads, mirrored ones included.
    int64_t lo = left >= 0 ? left : 0, hi = right < n ? right : n - 1;
    if (left < 0) hi = std::max(hi, -left);
    if (right >= n) lo = std::min(lo, 2 * (n - 1) - right);
    if (!x.Clean(lo, hi)) continue;
    const double d = xl - 2 * x[i] + xr;
    sum += d * d;
    ++terms;
  }
  const double tau = static_cast<double>(m) * x.Tau0();
  return Root(sum, 2.0L * tau * tau, terms);
}

TDeviation TDeviationCalculator::TieRms(int64_t m) const {
  const TPhaseSeries& x = FSeries;
  long double sum = 0;
  int64_t terms = 0;
  for (int64_t i = 0; i + m < x.Size(); ++i) {
    if (!x.Clean(i, i + m)) continue;
    const double d = x[i + m] - x[i];
    sum += d * d;
    ++terms;
  }
  return Root(sum, 1, terms);
}

const std::vector<long double>& TDeviationCalculator::PrefixSums() const {
  if (FPrefix.empty()) {
    FPrefix.resize(static_cast<size_t>(FSeries.Size()) + 1);
    long double s = 0;
    for (int64_t i = 0; i < FSeries.Size(); ++i) FPrefix[static_cast<size_t>(i) + 1] = s += FSeries[i];
  }
  return FPrefix;
}

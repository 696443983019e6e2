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

namespace {

// Squares summed in double over blocks, the blocks in long double: fast, and exact enough for 10^8
// terms.
class TSquareSum {
 public:
  void Add(double d) {
    FBlock += d * d;
    if (++FInBlock == kBlock) Flush();
  }
  long double Total() {
    Flush();
    return FTotal;
  }

 private:
  static constexpr int kBlock = 4096;
  void Flush() {
    FTotal += FBlock;
    FBlock = 0;
    FInBlock = 0;
  }
  long double FTotal = 0;
  double FBlock = 0;
  int FInBlock = 0;
};

constexpr int64_t kSquareBlock = 4096;

// Sum of term(k · stride)^2 for block <= k < end: four independent double sums, so that the
// additions overlap. A compile-time stride of 1 lets the compiler put the four sums into vector
// lanes; the order of the additions stays the same.
template <int64_t kFixedStride, class Term>
double BlockSquares(int64_t block, int64_t end, int64_t runtimeStride, Term term) {
  const int64_t stride = kFixedStride > 0 ? kFixedStride : runtimeStride;
  double a0 = 0, a1 = 0, a2 = 0, a3 = 0;
  int64_t k = block;
  for (; k + 4 <= end; k += 4) {
    const double t0 = term(k * stride), t1 = term((k + 1) * stride);
    const double t2 = term((k + 2) * stride), t3 = term((k + 3) * stride);
    a0 += t0 * t0;
    a1 += t1 * t1;
    a2 += t2 * t2;
    a3 += t3 * t3;
  }
  for (; k < end; ++k) {
    const double t = term(k * stride);
    a0 += t * t;
  }
  return (a0 + a1) + (a2 + a3);
}

// Sum of term(k · stride)^2 for k < count: blocks of kSquareBlock terms added in long double.
template <int64_t kFixedStride, class Term>
long double SumOfSquaresBy(int64_t count, int64_t stride, Term term) {
  long double total = 0;
  for (int64_t block = 0; block < count; block += kSquareBlock)
    total += BlockSquares<kFixedStride>(block, std::min(count, block + kSquareBlock), stride, term);
  return total;
}

template <class Term>
long double SumOfSquares(int64_t count, int64_t stride, Term term) {
  return stride == 1 ? SumOfSquaresBy<1>(count, 1, term) : SumOfSquaresBy<0>(count, stride, term);
}

// The terms i = 0, stride, ... while i + span < N, each reading points i .. i + span; term(i) gives
// the value to square. Without gaps the loop needs no check.
template <class Term>
TDeviation SumSquares(const TPhaseSeries& x, int64_t span, int64_t stride, long double divisor, Term term) {
  if (!x.HasGaps()) {
    const int64_t terms = x.Size() > span ? (x.Size() - span - 1) / stride + 1 : 0;
    return Root(SumOfSquares(terms, stride, term), divisor, terms);
  }
  TSquareSum sum;
  int64_t terms = 0;
  for (int64_t i = 0; i + span < x.Size(); i += stride) {
    if (!x.Clean(i, i + span)) continue;
    sum.Add(term(i));
    ++terms;
  }
  return Root(sum.Total(), divisor, terms);
}

}  // namespace

TDeviation TDeviationCalculator::Allan(int64_t m, int64_t stride) const {
  const double* x = FSeries.Values().data();
  const double tau = static_cast<double>(m) * FSeries.Tau0();
  return SumSquares(FSeries, 2 * m, stride, 2.0L * tau * tau,
                    [x, m](int64_t i) { return x[i + 2 * m] - 2 * x[i + m] + x[i]; });
}

std::vector<TDeviation> TDeviationCalculator::OverlappingAllan(std::span<const int64_t> factors) const {
  std::vector<TDeviation> deviations;
  deviations.reserve(factors.size());
  if (FSeries.HasGaps()) {
    for (int64_t m : factors) deviations.push_back(Allan(m, 1));
    return deviations;
  }
  // Block by block over all factors: the stretches of the series that the factors share (x(i + 2m)
  // of m is x(i + m) of 2m) are read again while they are still in the cache. Each factor's sum
  // is the one Allan(m, 1) adds up, block for block.
  const double* x = FSeries.Values().data();
  const int64_t n = FSeries.Size();
  const auto termsOf = [n](int64_t m) { return std::max<int64_t>(n - 2 * m, 0); };
  int64_t mostTerms = 0;
  for (int64_t m : factors) mostTerms = std::max(mostTerms, termsOf(m));
  std::vector<long double> sums(factors.size(), 0);
  for (int64_t block = 0; block < mostTerms; block += kSquareBlock) {
    for (size_t j = 0; j < factors.size(); ++j) {
      const int64_t m = factors[j], end = std::min(termsOf(m), block + kSquareBlock);
      if (end > block)
        sums[j] += BlockSquares<1>(block, end, 1, [x, m](int64_t i) { return x[i + 2 * m] - 2 * x[i + m] + x[i]; });
    }
  }
  for (size_t j = 0; j < factors.size(); ++j) {
    const double tau = static_cast<double>(factors[j]) * FSeries.Tau0();
    deviations.push_back(Root(sums[j], 2.0L * tau * tau, termsOf(factors[j])));
  }
  return deviations;
}

std::vector<TDeviation> TDeviationCalculator::ComputeAll(TStabilityStatistic statistic,
                                                        std::span<const int64_t> factors) const {
  if (statistic == TStabilityStatistic::Oadev) return OverlappingAllan(factors);
  std::vector<TDeviation> deviations;
  deviations.reserve(factors.size());
  for (int64_t m : factors) deviations.push_back(Compute(statistic, m));
  return deviations;
}

TDeviation TDeviationCalculator::Hadamard(int64_t m, int64_t stride) const {
  const double* x = FSeries.Values().data();
  const double tau = static_cast<double>(m) * FSeries.Tau0();
  return SumSquares(FSeries, 3 * m, stride, 6.0L * tau * tau,
                    [x, m](int64_t i) { return x[i + 3 * m] - 3 * x[i + 2 * m] + 3 * x[i + m] - x[i]; });
}

TDeviation TDeviationCalculator::ModifiedAllan(int64_t m) const {
  // Term i sums the second differences d(j), j = i .. i+m-1. Without gaps the sum slides by one
  // difference per term and is taken afresh from the prefix sums every chain of terms, so that
  // rounding cannot build up; with gaps every term comes from the prefix sums: S[i+3m] - 3 S[i+2m] + 3 S[i+m] - S[i].
  const std::vector<long double>& s = PrefixSums();
  const auto exact = [&s, m](int64_t i) {
    const auto at = [&s](int64_t k) { return s[static_cast<size_t>(k)]; };
    return static_cast<double>(at(i + 3 * m) - 3 * at(i + 2 * m) + 3 * at(i + m) - at(i));
  };
  const long double tau = static_cast<long double>(m) * FSeries.Tau0();
  const long double divisor = 2 * static_cast<long double>(m) * m * tau * tau;
  if (FSeries.HasGaps()) return SumSquares(FSeries, 3 * m - 1, 1, divisor, exact);
  const double* x = FSeries.Values().data();
  // The step from term i - 1 to term i: d(i + m - 1) - d(i - 1) of the second differences d(j),
  // taken as one third difference.
  const auto step = [x, m](int64_t i) {
    const double* p = x + i - 1;
    return (p[3 * m] - p[0]) - 3 * (p[2 * m] - p[m]);
  };
  const int64_t terms = FSeries.Size() - 3 * m + 1;
  // Four chains of kChain terms side by side, so that their additions overlap.
  constexpr int64_t kChain = 1024, kLanes = 4;
  long double total = 0;
  int64_t first = 0;
  for (; first + kLanes * kChain <= terms; first += kLanes * kChain) {
    double v[kLanes], a[kLanes];
    for (int64_t c = 0; c < kLanes; ++c) {
      v[c] = exact(first + c * kChain);
      a[c] = v[c] * v[c];
    }
    for (int64_t k = 1; k < kChain; ++k) {
      for (int64_t c = 0; c < kLanes; ++c) {
        const int64_t i = first + c * kChain + k;
        v[c] += step(i);
        a[c] += v[c] * v[c];
      }
    }
    total += (a[0] + a[1]) + (a[2] + a[3]);
  }
  TSquareSum rest;
  for (; first < terms; first += kChain) {
    double v = exact(first);
    rest.Add(v);
    for (int64_t i = first + 1; i < std::min(first + kChain, terms); ++i) {
      v += step(i);
      rest.Add(v);
    }
  }
  return Root(total + rest.Total(), divisor, std::max<int64_t>(terms, 0));
}

TDeviation TDeviationCalculator::Total(int64_t m) const {
  // Second differences over the series extended by reflection at both ends:
  // x(-j) = 2 x(0) - x(j), x(N-1+j) = 2 x(N-1) - x(N-1-j).
  const TPhaseSeries& x = FSeries;
  const int64_t n = x.Size();
  TSquareSum sum;
  int64_t terms = 0;
  // Without gaps the middle, where no point is mirrored, runs as a plain sum.
  const int64_t middleFirst = std::max<int64_t>(1, m), middleEnd = std::min(n - 1, n - m);
  long double middle = 0;
  const bool plainMiddle = !x.HasGaps() && middleEnd > middleFirst;
  if (plainMiddle) {
    const double* v = x.Values().data() + middleFirst;
    middle = SumOfSquares(middleEnd - middleFirst, 1, [v, m](int64_t k) { return v[k - m] - 2 * v[k] + v[k + m]; });
    terms = middleEnd - middleFirst;
  }
  for (int64_t i = 1; i + 1 < n; ++i) {
    if (plainMiddle && i == middleFirst) i = middleEnd;
    if (i + 1 >= n) break;
    const int64_t left = i - m, right = i + m;
    if (x.HasGaps()) {
      // The span of real points the term reads, mirrored ones included.
      int64_t lo = left >= 0 ? left : 0, hi = right < n ? right : n - 1;
      if (left < 0) hi = std::max(hi, -left);
      if (right >= n) lo = std::min(lo, 2 * (n - 1) - right);
      if (!x.Clean(lo, hi)) continue;
    }
    const double xl = left >= 0 ? x[left] : 2 * x[0] - x[-left];
    const double xr = right < n ? x[right] : 2 * x[n - 1] - x[2 * (n - 1) - right];
    sum.Add(xl - 2 * x[i] + xr);
    ++terms;
  }
  const double tau = static_cast<double>(m) * x.Tau0();
  return Root(sum.Total() + middle, 2.0L * tau * tau, terms);
}

TDeviation TDeviationCalculator::TieRms(int64_t m) const {
  const double* x = FSeries.Values().data();
  return SumSquares(FSeries, m, 1, 1, [x, m](int64_t i) { return x[i + m] - x[i]; });
}

const std::vector<long double>& TDeviationCalculator::PrefixSums() const {
  if (FPrefix.empty()) {
    FPrefix.resize(static_cast<size_t>(FSeries.Size()) + 1);
    long double s = 0;
    for (int64_t i = 0; i < FSeries.Size(); ++i) FPrefix[static_cast<size_t>(i) + 1] = s += FSeries[i];
  }
  return FPrefix;
}

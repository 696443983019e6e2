#include "data/DeviationCalculator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

// Small series worked by hand: x = i^2 (constant second difference 2 per step), tau0 = 1.
namespace {

const double kNaN = std::nan("");

struct THandCase {
  TStabilityStatistic Statistic;
  int64_t M;
  double Sigma;
  int64_t Terms;
};

std::vector<double> Squares() { return {0, 1, 4, 9, 16, 25, 36}; }

class DeviationByHand : public ::testing::TestWithParam<THandCase> {};

TEST_P(DeviationByHand, OnSquares) {
  const THandCase& c = GetParam();
  const TPhaseSeries series = TPhaseSeries::FromPhase(Squares(), 1);
  const TDeviation deviation = TDeviationCalculator(series).Compute(c.Statistic, c.M);
  EXPECT_NEAR(deviation.Sigma, c.Sigma, 1e-12);
  EXPECT_EQ(deviation.Terms, c.Terms);
}

using S = TStabilityStatistic;
INSTANTIATE_TEST_SUITE_P(
    Statistics, DeviationByHand,
    ::testing::Values(THandCase{S::Adev, 1, std::sqrt(2.0), 5},                     // d = 2
                      THandCase{S::Adev, 2, std::sqrt(8.0), 2},                     // d = 8, i = 0, 2
                      THandCase{S::Oadev, 2, std::sqrt(8.0), 3},                    // i = 0, 1, 2
                      THandCase{S::Hdev, 1, 0, 4},                                  // third differences vanish
                      THandCase{S::Ohdev, 2, 0, 1},                                 //
                      THandCase{S::Mdev, 1, std::sqrt(2.0), 5},                     // equals ADEV at m = 1
                      THandCase{S::Mdev, 2, std::sqrt(8.0), 2},                     // 16^2 / (2 · 2^4)
                      THandCase{S::Tdev, 2, 2 * std::sqrt(8.0) / std::sqrt(3.0), 2},  // tau · MDEV / sqrt 3
                      THandCase{S::Totdev, 1, std::sqrt(2.0), 5},                   // N - 2 terms
                      THandCase{S::Totdev, 2, std::sqrt(264.0 / 40), 5},            // 6, 8, 8, 8, 6 reflected
                      THandCase{S::TieRms, 1, std::sqrt(286.0 / 6), 6},             // 1, 3, ..., 11
                      THandCase{S::Mtie, 1, 11, 6},                                 // 36 - 25
                      THandCase{S::Mtie, 3, 27, 4}));                               // 36 - 9

TEST(DeviationGaps, MissingPhaseSkipsEveryTermThatSpansIt) {
  std::vector<double> x = Squares();
  x[3] = kNaN;
  const TPhaseSeries series = TPhaseSeries::FromPhase(x, 1);
  const TDeviationCalculator calculator(series);
  const TDeviation oadev = calculator.Compute(S::Oadev, 1);  // [0,2] and [4,6] only
  EXPECT_EQ(oadev.Terms, 2);
  EXPECT_NEAR(oadev.Sigma, std::sqrt(2.0), 1e-12);
  const TDeviation mtie = calculator.Compute(S::Mtie, 1);  // windows [0,1] [1,2] [4,5] [5,6]
  EXPECT_EQ(mtie.Terms, 4);
  EXPECT_DOUBLE_EQ(mtie.Sigma, 11);
  const TDeviation totdev = calculator.Compute(S::Totdev, 1);  // i = 1 and 5 only
  EXPECT_EQ(totdev.Terms, 2);
  EXPECT_NEAR(totdev.Sigma, std::sqrt(2.0), 1e-12);
  EXPECT_EQ(calculator.Compute(S::Mdev, 2).Terms, 0);  // every window of 6 points holds point 3
  EXPECT_TRUE(std::isnan(calculator.Compute(S::Mdev, 2).Sigma));
}

TEST(DeviationGaps, MissingFrequencySkipsTheTermsAcrossItsStep) {
  // Phase 0 1 3 | 3 6 11: only [0,2] (second difference 1) and [3,5] (2) stay clean.
  const TPhaseSeries series = TPhaseSeries::FromFrequency(std::vector<double>{1, 2, kNaN, 3, 5}, 1);
  const TDeviation oadev = TDeviationCalculator(series).Compute(S::Oadev, 1);
  EXPECT_EQ(oadev.Terms, 2);
  EXPECT_NEAR(oadev.Sigma, std::sqrt(5.0 / 4), 1e-12);
}

// A random walk of 20000 points, long enough for the side-by-side chains and several blocks.
std::vector<double> RandomWalk() {
  std::vector<double> x(20000);
  uint32_t state = 1;
  double walk = 0;
  for (double& v : x) {
    state = state * 1664525u + 1013904223u;
    walk += static_cast<double>(state) / 4294967296.0 - 0.5;
    v = walk * 1e-9;
  }
  return x;
}

TEST(DeviationLongSeries, SlidingModifiedSumAgreesWithPrefixSums) {
  // A gap at the very end sends the same series through the prefix sums of every term.
  const std::vector<double> x = RandomWalk();
  std::vector<double> gapped = x;
  gapped.push_back(kNaN);
  const TPhaseSeries plain = TPhaseSeries::FromPhase(x, 1), withGap = TPhaseSeries::FromPhase(gapped, 1);
  for (int64_t m : {1, 3, 64, 1000}) {
    const TDeviation sliding = TDeviationCalculator(plain).ModifiedAllan(m);
    const TDeviation exact = TDeviationCalculator(withGap).ModifiedAllan(m);
    EXPECT_EQ(sliding.Terms, exact.Terms);
    EXPECT_NEAR(sliding.Sigma, exact.Sigma, exact.Sigma * 1e-12) << m;
    for (S statistic : {S::Oadev, S::Ohdev, S::TieRms}) {
      EXPECT_NEAR(TDeviationCalculator(plain).Compute(statistic, m).Sigma,
                  TDeviationCalculator(withGap).Compute(statistic, m).Sigma, exact.Sigma * 1e-9)
          << m;
    }
  }
}

TEST(DeviationLongSeries, AllFactorsAtOnceGiveEachFactorsValue) {
  const std::vector<double> x = RandomWalk();
  std::vector<double> gapped = x;
  gapped[777] = kNaN;
  const std::vector<int64_t> factors{1, 2, 4, 3000, 8, 4999, 5000, 5001, 9999, 10000};
  for (const std::vector<double>& values : {x, gapped}) {
    const TPhaseSeries series = TPhaseSeries::FromPhase(values, 1);
    const TDeviationCalculator calculator(series);
    const std::vector<TDeviation> all = calculator.ComputeAll(S::Oadev, factors);
    ASSERT_EQ(all.size(), factors.size());
    for (size_t j = 0; j < factors.size(); ++j) {
      const TDeviation one = calculator.Allan(factors[j], 1);
      EXPECT_EQ(all[j].Terms, one.Terms) << factors[j];
      if (one.Terms > 0) {
        EXPECT_EQ(all[j].Sigma, one.Sigma) << factors[j];  // the same additions
      } else {
        EXPECT_TRUE(std::isnan(all[j].Sigma)) << factors[j];
      }
    }
  }
}

TEST(DeviationFrequency, SumsToPhaseWithTau0) {
  // y alternating +-1 at tau0 = 0.5: ADEV(1) = sqrt(((-1) - 1)^2 / 2) = sqrt 2.
  const TPhaseSeries series = TPhaseSeries::FromFrequency(std::vector<double>{1, -1, 1, -1, 1}, 0.5);
  EXPECT_EQ(series.Size(), 6);
  const TDeviation adev = TDeviationCalculator(series).Compute(S::Adev, 1);
  EXPECT_NEAR(adev.Sigma, std::sqrt(2.0), 1e-12);
  EXPECT_EQ(adev.Terms, 4);
}

}  // namespace

#include "data/StabilityAnalysis.h"

#include <gtest/gtest.h>

#include "data/EquivalentDegreesOfFreedom.h"

// Bounds of two published rows (non-overlapping Allan deviation of a 1001-point white-FM phase
// series): one beyond 100 degrees of freedom, one with few.
namespace {

struct TBoundsCase {
  int64_t Factor;
  double Sigma, Min, Max;
};

class StabilityBounds : public ::testing::TestWithParam<TBoundsCase> {};

TEST_P(StabilityBounds, MatchTheReferenceAtTheOneSigmaFactor) {
  const TBoundsCase& c = GetParam();
  const double edf = GreenhallEdf(0, 2, c.Factor, c.Factor, 1, 1001);
  const auto [low, high] = ConfidenceBounds(c.Sigma, edf, kDefaultConfidence);
  EXPECT_NEAR(low, c.Min, c.Min * 2e-5);
  EXPECT_NEAR(high, c.Max, c.Max * 2e-5);
}

INSTANTIATE_TEST_SUITE_P(Rows, StabilityBounds,
                         ::testing::Values(TBoundsCase{1, 2.9223e-01, 2.8515e-01, 2.9987e-01},
                                           TBoundsCase{64, 3.2550e-02, 2.7109e-02, 4.3537e-02}));

TEST(StabilityBounds, OtherFactorsAreTakenAsGiven) {
  const auto [low, high] = ConfidenceBounds(1.0, 10, 0.9);
  const auto [lowNear, highNear] = ConfidenceBounds(1.0, 10, 0.9 + 1e-6);
  EXPECT_NEAR(low, lowNear, 1e-5);
  EXPECT_NEAR(high, highNear, 1e-5);
  EXPECT_LT(low, 1.0);
  EXPECT_GT(high, 1.0);
}

}  // namespace

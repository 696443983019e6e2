#include "data/NoiseIdentification.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(NoiseIdentification, Lag1AutocorrelationAveragesProductsOverNAndSquaresOverNMinus1) {
  // Deviations -1.5 -0.5 0.5 1.5: lagged products 1.25 over 4, squares 5 over 3.
  const std::vector<double> z{1, 2, 3, 4};
  EXPECT_DOUBLE_EQ(TNoiseIdentification::Lag1Autocorrelation(z), 1.25 / 4 / (5.0 / 3));
}

struct TIdentifiesCase {
  TStabilityStatistic Statistic;
  int64_t LastFactor;  // the largest factor that identifies itself for 1001 points
};

class NoiseIdentificationReach : public ::testing::TestWithParam<TIdentifiesCase> {};

TEST_P(NoiseIdentificationReach, EndsAtHalfTheLargestFactor) {
  const std::vector<double> x(1001, 0.0);
  const TPhaseSeries series = TPhaseSeries::FromPhase(x, 1);
  const TNoiseIdentification noise(series, GetParam().Statistic);
  EXPECT_TRUE(noise.Identifies(GetParam().LastFactor));
  EXPECT_FALSE(noise.Identifies(GetParam().LastFactor + 1));
}

INSTANTIATE_TEST_SUITE_P(Statistics, NoiseIdentificationReach,
                         ::testing::Values(TIdentifiesCase{TStabilityStatistic::Adev, 100},
                                           TIdentifiesCase{TStabilityStatistic::Hdev, 100},
                                           TIdentifiesCase{TStabilityStatistic::Oadev, 125},
                                           TIdentifiesCase{TStabilityStatistic::Mdev, 125},
                                           TIdentifiesCase{TStabilityStatistic::Totdev, 250}));

}  // namespace

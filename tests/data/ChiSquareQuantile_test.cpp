#include "data/ChiSquareQuantile.h"

#include <gtest/gtest.h>

// Quantiles from published tables, and the round trip through the distribution function.
namespace {

struct TQuantileCase {
  double P, Dof, X;
};

class ChiSquare : public ::testing::TestWithParam<TQuantileCase> {};

TEST_P(ChiSquare, QuantileMatchesTable) {
  const TQuantileCase& c = GetParam();
  EXPECT_NEAR(ChiSquareQuantile(c.P, c.Dof), c.X, c.X * 1e-5);
  EXPECT_NEAR(ChiSquareCdf(c.X, c.Dof), c.P, 1e-6);
}

INSTANTIATE_TEST_SUITE_P(Table, ChiSquare,
                         ::testing::Values(TQuantileCase{0.05, 1, 0.00393214}, TQuantileCase{0.95, 1, 3.841459},
                                           TQuantileCase{0.5, 2, 1.386294}, TQuantileCase{0.975, 10, 20.48318},
                                           TQuantileCase{0.025, 10, 3.246973}, TQuantileCase{0.99, 100, 135.8067},
                                           TQuantileCase{0.01, 100, 70.06489}));

}  // namespace

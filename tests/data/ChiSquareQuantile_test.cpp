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
  EXPECT_NEAR(ChiSquareQuantile(c.P, c.Dof), c.X, c.X * 1e-6);
  EXPECT_NEAR(ChiSquareCdf(c.X, c.Dof), c.P, 1e-6);
}

INSTANTIATE_TEST_SUITE_P(Table, ChiSquare,
                         ::testing::Values(TQuantileCase{0.05, 1, 0.00393214}, TQuantileCase{0.95, 1, 3.841459},
                                           TQuantileCase{0.5, 2, 1.386294}, TQuantileCase{0.975, 10, 20.48318},
                                           TQuantileCase{0.025, 10, 3.246973}, TQuantileCase{0.99, 100, 135.8067},
                                           TQuantileCase{0.01, 100, 70.06489},
                                           // the bounds' tails at non-integer and very large dof
                                           TQuantileCase{0.1585, 3.5, 1.1155656775037786},
                                           TQuantileCase{0.8415, 0.7, 1.3988447648027713},
                                           TQuantileCase{0.1585, 2e6, 1997998.7175320121},
                                           TQuantileCase{0.8415, 1e7, 10004475.0070074}));

}  // namespace

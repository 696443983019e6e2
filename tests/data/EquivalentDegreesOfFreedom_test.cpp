#include "data/EquivalentDegreesOfFreedom.h"

#include <gtest/gtest.h>

// Greenhall and Riley's EDF in each of its cases, against an independent implementation of the
// published algorithm (allantools' ci.edf_greenhall).
namespace {

struct TEdfCase {
  const char* Case;
  int Alpha, D;
  int64_t M;
  bool Overlapping, Modified;
  int64_t N;
  double Edf;
};

void PrintTo(const TEdfCase& c, std::ostream* os) { *os << c.Case; }

class Greenhall : public ::testing::TestWithParam<TEdfCase> {};

TEST_P(Greenhall, MatchesThePublishedAlgorithm) {
  const TEdfCase& c = GetParam();
  const double edf = GreenhallEdf(c.Alpha, c.D, c.M, c.Modified ? 1 : c.M, c.Overlapping ? c.M : 1, c.N);
  EXPECT_NEAR(edf, c.Edf, c.Edf * 1e-9);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Greenhall,
    ::testing::Values(TEdfCase{"modified sum", 0, 2, 8, true, true, 1001, 118.87305158862726},
                      TEdfCase{"modified table", 0, 2, 300, true, true, 19983, 62.1552959384805},
                      TEdfCase{"allan non-overlapping", 0, 2, 2, false, false, 1001, 356.32215322374054},
                      TEdfCase{"allan overlapping", 0, 2, 2, true, false, 1001, 540.6811941160472},
                      TEdfCase{"flicker fm non-overlapping", -1, 2, 8, false, false, 1001, 109.98546539460988},
                      TEdfCase{"flicker fm table", -1, 2, 512, true, false, 19983, 43.984427574215275},
                      TEdfCase{"flicker pm sum", 1, 2, 8, true, false, 1001, 277.86334199736586},
                      TEdfCase{"white pm closed form", 2, 2, 4, true, false, 1001, 511.745869734452},
                      TEdfCase{"hadamard random walk", -2, 3, 16, true, false, 19983, 1205.1915393055665}));

TEST(EquivalentDegreesOfFreedom, ByStatistic) {
  using S = TStabilityStatistic;
  EXPECT_DOUBLE_EQ(*EquivalentDegreesOfFreedom(S::Mdev, 0, 1, 1001), 782.0302990727438);
  EXPECT_DOUBLE_EQ(*EquivalentDegreesOfFreedom(S::Totdev, -1, 10, 1000), 1.17 * 100 - 0.22);
  EXPECT_EQ(EquivalentDegreesOfFreedom(S::Adev, -3, 4, 1000), std::nullopt);  // diverges for Allan
  EXPECT_TRUE(EquivalentDegreesOfFreedom(S::Hdev, -3, 4, 1000).has_value());
  EXPECT_EQ(EquivalentDegreesOfFreedom(S::Mtie, 0, 4, 1000), std::nullopt);
}

}  // namespace

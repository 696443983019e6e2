#include "data/TauLadder.h"

#include <gtest/gtest.h>

namespace {

struct TLadderCase {
  TTauLadder Ladder;
  int64_t Max;
  std::vector<int64_t> Factors;
};

class Ladder : public ::testing::TestWithParam<TLadderCase> {};

TEST_P(Ladder, FactorsUpToTheLimit) {
  EXPECT_EQ(TauLadderFactors(GetParam().Ladder, GetParam().Max), GetParam().Factors);
}

INSTANTIATE_TEST_SUITE_P(Kinds, Ladder,
                         ::testing::Values(TLadderCase{TTauLadder::All, 4, {1, 2, 3, 4}},
                                           TLadderCase{TTauLadder::Octave, 100, {1, 2, 4, 8, 16, 32, 64}},
                                           TLadderCase{TTauLadder::Decade, 250, {1, 2, 4, 10, 20, 40, 100, 200}},
                                           TLadderCase{TTauLadder::OneTwoFive, 60, {1, 2, 5, 10, 20, 50}},
                                           TLadderCase{TTauLadder::Octave, 0, {}}));

TEST(LadderNames, ParseAndMtieWindows) {
  EXPECT_EQ(ParseTauLadder("125"), TTauLadder::OneTwoFive);
  EXPECT_EQ(ParseTauLadder("octaves"), std::nullopt);
  EXPECT_EQ(MtieOctaveFactors(600), (std::vector<int64_t>{1, 3, 7, 15, 31, 63, 127, 255, 511}));
}

}  // namespace

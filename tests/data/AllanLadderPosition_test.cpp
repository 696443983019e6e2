#include "data/AllanLadderPosition.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

// Ends() marks exactly the τ of the ladder that divide the position.
TEST(AllanLadderPosition, EndsAreTheDivisorsOfThePosition) {
  const std::vector<int64_t> taus{1,    2,    5,     10,    20,    50,     100,    200,    500,     1000,
                                  2000, 5000, 10000, 20000, 50000, 100000, 200000, 500000, 1000000, 2000000};
  TAllanLadderPosition position(static_cast<int>(taus.size()));
  for (int64_t n = 0; n <= 2'000'000; ++n) {
    TAllanLadderPosition::TTauMask expected = 0;
    for (size_t t = 0; t < taus.size(); ++t)
      if (n % taus[t] == 0) expected |= TAllanLadderPosition::TTauMask{1} << t;
    ASSERT_EQ(position.Ends(), expected) << "position " << n;
    position.Advance();
  }
}

TEST(AllanLadderPosition, ShortLaddersAskOnlyTheirSteps) {
  TAllanLadderPosition position(2);
  EXPECT_EQ(position.Ends(), 0b11u);
  position.Advance();
  EXPECT_EQ(position.Ends(), 0b01u);
}

#include "core/Clock.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

TEST(ManualClock, MovesOnlyWhenAdvanced) {
  TManualClock clock;
  const auto steady = clock.Steady();
  const auto wall = clock.Wall();
  EXPECT_EQ(clock.Steady(), steady);
  clock.Advance(60s);
  EXPECT_EQ(clock.Steady() - steady, 60s);
  EXPECT_EQ(clock.Wall() - wall, 60s);
  EXPECT_EQ(clock.TickMs(), 60000u);
}

TEST(SystemClock, SteadyNeverGoesBack) {
  const auto a = SystemClock().Steady();
  const auto b = SystemClock().Steady();
  EXPECT_LE(a, b);
}

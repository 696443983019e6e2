#include "core/CalendarTime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace {

// 2026-12-08 13:45:07.123 UTC.
const TWallTime kMoment = TWallTime{} + std::chrono::milliseconds(1796737507123);

TEST(CalendarTime, DayNumbersCountFrom1899) {
  EXPECT_NEAR(WallToDateTime(kMoment, true), 46364.5729991088, 1e-9);
  EXPECT_DOUBLE_EQ(WallToDateTime(TWallTime{}, true), 25569.0);
  EXPECT_FALSE(DateTimeKnown(NAN));
  EXPECT_TRUE(DateTimeKnown(0));
}

TEST(CalendarTime, LogTimeFormats) {
  const TDateTime t = WallToDateTime(kMoment, true);
  struct TCase {
    std::string Format;
    std::string Text;
  };
  const TCase cases[] = {
      {"YYMMDD HHNNSS.ZZZ", "261208 134507.123"},
      {"YYMMDD HHNNSS,ZZZ", "261208 134507,123"},
      {"yyyy-mm-dd hh:mm:ss", "2026-12-08 13:45:07"},
      {"D.M.YYYY H:N:S.Z", "8.12.2026 13:45:7.123"},
      {"\"day\" DD", "day 08"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatLogTime(c.Format, t), c.Text) << c.Format;
  EXPECT_EQ(FormatLogTime("YYMMDD", NAN), "");
}

TEST(CalendarTime, SecondsAndMilliseconds) {
  const TDateTime t = WallToDateTime(kMoment, true);
  EXPECT_EQ(MillisecondOf(t), 123);
  EXPECT_EQ(MillisecondOf(TruncateToSecond(t)), 0);
  EXPECT_EQ(FormatLogTime("HHNNSS.ZZZ", TruncateToSecond(t)), "134507.000");
}

TEST(CalendarTime, LocalAndUtcConvertBothWays) {
  const TDateTime utc = WallToDateTime(kMoment, true);
  const TDateTime local = WallToDateTime(kMoment, false);
  EXPECT_NEAR(UtcToLocal(utc), local, 1e-9);
  EXPECT_NEAR(LocalToUtc(local), utc, 1e-9);
  EXPECT_NEAR(local - utc, LocalOffsetDays(utc), 1e-9);
}

// Runs the test body under a time zone of its own and restores the process's zone afterwards.
class CentralEuropeanTime : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* tz = std::getenv("TZ")) FOld = tz;
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
  }
  void TearDown() override {
    if (FOld)
      setenv("TZ", FOld->c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }

 private:
  std::optional<std::string> FOld;
};

TEST_F(CentralEuropeanTime, OffsetsFollowTheSeason) {
  const TDateTime winter = WallToDateTime(kMoment, true);
  EXPECT_NEAR(LocalOffsetDays(winter), 1.0 / 24, 1e-12);
  EXPECT_EQ(FormatLogTime("HH:NN", WallToDateTime(kMoment, false)), "14:45");
  const TDateTime summer = winter - 160;  // early July
  EXPECT_NEAR(LocalOffsetDays(summer), 2.0 / 24, 1e-12);
  EXPECT_NEAR(LocalToUtc(UtcToLocal(summer)), summer, 1e-9);
}

}  // namespace

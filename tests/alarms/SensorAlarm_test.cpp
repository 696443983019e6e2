#include "alarms/SensorAlarm.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <vector>

#include "core/Clock.h"

namespace {

// Channels 1 and 2 watched in 0..100, channel 3 not watched; repeat 3, idle 5 minutes. Each check
// advances the clock by one second.
class SensorSupervision : public ::testing::Test {
 protected:
  SensorSupervision() : check(clock) {
    check.SetRangeInfo(1, {0, 100, true});
    check.SetRangeInfo(2, {0, 100, true});
    check.SetRangeInfo(3, {0, 100, false});
    check.SetSensorAlarm({3, 5, false});
  }
  std::string Check(std::vector<double> values) {
    clock.Advance(std::chrono::seconds(1));
    std::string text = "stale";
    check.CheckAlarm(values, text);
    return text;
  }

  TManualClock clock;
  TSensorAlarmCheck check;
};

TEST_F(SensorSupervision, MinMaxTable) {
  struct TCase {
    double Value;
    bool Violation;
  };
  const TCase cases[] = {{0, false}, {100, false}, {50, false}, {-0.01, true}, {100.01, true}, {NAN, true}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Value);
    TManualClock caseClock;
    TSensorAlarmCheck caseCheck(caseClock);
    caseCheck.SetRangeInfo(1, {0, 100, true});
    caseCheck.SetSensorAlarm({1, 5, false});
    std::string text;
    caseCheck.CheckAlarm(std::vector<double>{c.Value}, text);
    EXPECT_EQ(!text.empty(), c.Violation) << text;
  }
}

TEST_F(SensorSupervision, WarnsAfterRepeatCountSetsOutOfRangeWithGroupedValue) {
  EXPECT_EQ(Check({1234.5, 50}), "");
  EXPECT_EQ(Check({50, 1234.5}), "");
  EXPECT_EQ(Check({50, 1234567.891}), "Sensor warning on channel 2: 1,234,567.89");
}

// One sensor out of range must warn even while the others are fine.
TEST_F(SensorSupervision, OneChannelOutOfRangeWarnsWhileAnotherIsInRange) {
  EXPECT_EQ(Check({-5, 50}), "");
  EXPECT_EQ(Check({-5, 50}), "");
  EXPECT_EQ(Check({-5, 50}), "Sensor warning on channel 1: -5.00");
}

TEST_F(SensorSupervision, ASetInRangeRestartsTheCount) {
  Check({-5, 50});
  Check({-5, 50});
  EXPECT_EQ(Check({5, 50}), "");
  EXPECT_EQ(Check({-5, 50}), "");
  EXPECT_EQ(Check({-5, 50}), "");
  EXPECT_EQ(Check({-5, 50}), "Sensor warning on channel 1: -5.00");
}

TEST_F(SensorSupervision, UnwatchedChannelsAreIgnored) {
  for (int i = 0; i < 10; ++i) EXPECT_EQ(Check({50, 50, 1000}), "");
}

TEST_F(SensorSupervision, TheWarningNamesEveryChannelOutOfRange) {
  Check({-1, 200});
  Check({-1, 200});
  EXPECT_EQ(Check({-1, 200}), "Sensor warning on channel 1: -1.00, 2: 200.00");
}

TEST_F(SensorSupervision, IdleTimeLimitsTheRateOfWarnings) {
  Check({200, 200});
  Check({200, 200});
  ASSERT_NE(Check({200, 200}), "");  // at 3 s
  for (int i = 0; i < 100; ++i) EXPECT_EQ(Check({200, 200}), "");  // up to 103 s
  clock.Advance(std::chrono::seconds(198));
  EXPECT_EQ(Check({200, 200}), "");  // 302 s
  EXPECT_EQ(Check({200, 200}), "Sensor warning on channel 1: 200.00, 2: 200.00");  // 303 s
}

TEST_F(SensorSupervision, SetSensorAlarmRestartsCountAndIdleTime) {
  for (int i = 0; i < 3; ++i) Check({200, 200});
  check.SetSensorAlarm({2, 5, true});
  EXPECT_EQ(Check({200, 50}), "");
  EXPECT_EQ(Check({200, 200}), "Sensor warning on channel 1: 200.00, 2: 200.00");
}

TEST_F(SensorSupervision, WindowNumberFormatWithDecimalComma) {
  TSensorAlarmCheck commaCheck(clock, {',', '.'});
  commaCheck.SetRangeInfo(1, {0, 100, true});
  commaCheck.SetSensorAlarm({1, 5, false});
  std::string text;
  commaCheck.CheckAlarm(std::vector<double>{-12345.678}, text);
  EXPECT_EQ(text, "Sensor warning on channel 1: -12.345,68");
}

TEST(SensorAlarmSettings, TextRoundTripAndRejectedTexts) {
  EXPECT_EQ(SensorAlarmText({7, 30, true}), "7, 30, True");
  EXPECT_EQ(ParseSensorAlarm("7, 30, True"), (TSensorAlarm{7, 30, true}));
  for (const char* bad : {"7, 30", "7, 30, True, 1", "x, 30, False", "7, 3.5, False", "7, 30, maybe", ""})
    EXPECT_FALSE(ParseSensorAlarm(bad)) << bad;
}

}  // namespace

#include "alarms/ClockAlarm.h"

#include <gtest/gtest.h>

#include "core/App_Settings.h"

namespace {

const std::string P = "Session_0_";

TEST(ClockAlarmDefs, DefaultsAndChannelNumbers) {
  TClockAlarmDefs defs;
  EXPECT_EQ(defs.Definition(1).Channel, 1);
  EXPECT_EQ(defs.Definition(24).Channel, 24);
  EXPECT_EQ(defs.Definition(7).Frequence, 10000000);
  EXPECT_EQ(defs.Definition(7).Epsilon, 0.001);
  EXPECT_FALSE(defs.Definition(7).Enabled());
  EXPECT_EQ(defs.RepeatCount(), 5);
  EXPECT_EQ(defs.IdleTime(), 5);
  EXPECT_FALSE(defs.LogAlarm());
  // Channels outside 1..24 reach a spare item.
  defs.Definition(0).Alarm = true;
  defs.Definition(25).Alarm = true;
  for (int ch = 1; ch <= 24; ++ch) EXPECT_FALSE(defs.Definition(ch).Alarm);
}

TEST(ClockAlarmDefs, SettingsRoundTrip) {
  TClockAlarmDefs defs;
  defs.Definition(2).Frequence = 5000000;
  defs.Definition(2).Epsilon = 0.25;
  defs.Definition(2).Alarm = true;
  defs.Definition(3).RefAlarm = true;
  defs.SetRepeatCount(8);
  defs.SetIdleTime(30);
  defs.SetLogAlarm(true);
  TAppSettings settings;
  settings.SetValue("INI_Version", "2");
  defs.SaveSettings(settings, P);
  EXPECT_EQ(settings.TryGetValue(P + "Alarm_Def2"), "5000000, 0.25, True, False");
  EXPECT_EQ(settings.TryGetValue(P + "Alarm_Def3"), "10000000, 0.001, False, True");

  TClockAlarmDefs read;
  read.ReadSettings(settings, P);
  EXPECT_EQ(read.Definition(2).Frequence, 5000000);
  EXPECT_EQ(read.Definition(2).Epsilon, 0.25);
  EXPECT_TRUE(read.Definition(2).Alarm);
  EXPECT_TRUE(read.Definition(3).RefAlarm);
  EXPECT_TRUE(read.Definition(3).Enabled());
  EXPECT_EQ(read.RepeatCount(), 8);
  EXPECT_EQ(read.IdleTime(), 30);
  EXPECT_TRUE(read.LogAlarm());
}

TEST(ClockAlarmDefs, ShortOrBrokenDefinitions) {
  struct TCase {
    std::string Text;
    double Frequence;
    double Epsilon;
    bool Alarm;
  };
  const TCase cases[] = {
      {"5000000, 0.5", 10000000, 0.001, false},       // fewer than four parts: defaults
      {"5000000, x, True, True", 5000000, 0.001, false},  // stops at the part that does not convert
      {"5000000, 0.5, True, True", 5000000, 0.5, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    TAppSettings settings;
    settings.SetValue("INI_Version", "2");
    settings.SetValue(P + "Alarm_Def1", c.Text);
    TClockAlarmDefs defs;
    defs.Definition(1).Epsilon = 0.001;
    defs.ReadSettings(settings, P);
    EXPECT_EQ(defs.Definition(1).Frequence, c.Frequence);
    EXPECT_EQ(defs.Definition(1).Epsilon, c.Epsilon);
    EXPECT_EQ(defs.Definition(1).Alarm, c.Alarm);
  }
}

TEST(ClockAlarmDefs, OlderFilesKeepOneKeyPerValue) {
  TAppSettings settings;
  settings.SetValue("INI_Version", "1");
  settings.SetValue(P + "Alarm_Def4_Freq", "1000000");
  settings.SetValue(P + "Alarm_Def4_Alarm", "True");
  TClockAlarmDefs defs;
  defs.ReadSettings(settings, P);
  EXPECT_EQ(defs.Definition(4).Frequence, 1000000);
  EXPECT_TRUE(defs.Definition(4).Alarm);
  EXPECT_EQ(settings.TryGetValue(P + "Alarm_Def4_Eps"), "0.001");
  EXPECT_FALSE(settings.TryGetValue(P + "Alarm_Def4"));
}

}  // namespace

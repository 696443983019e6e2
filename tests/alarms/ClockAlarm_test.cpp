#include "alarms/ClockAlarm.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <vector>

#include "core/App_Settings.h"
#include "core/Clock.h"

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

TEST(ClockAlarmDefs, SessionWideSettingsAsOneValue) {
  TClockAlarmDefs defs;
  EXPECT_EQ(defs.Settings(), (TClockAlarmSettings{5, 5, false}));
  defs.SetSettings({8, 30, true});
  EXPECT_EQ(defs.Settings(), (TClockAlarmSettings{8, 30, true}));
  EXPECT_EQ(defs.RepeatCount(), 8);
  EXPECT_EQ(defs.IdleTime(), 30);
  EXPECT_TRUE(defs.LogAlarm());
  // Settings that differ only in the session-wide values are a change for the copy.
  TClockAlarmDefs copy;
  EXPECT_TRUE(defs.CopyTo(copy));
  EXPECT_EQ(copy.Settings(), defs.Settings());
  EXPECT_FALSE(defs.CopyTo(copy));
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

// ============================== Supervision ==============================

constexpr double kNominal = 10000000.0;
constexpr double kBad = 10000000.002;   // outside the default margin of 0.001 Hz
constexpr double kGood = 10000000.0005;
constexpr double kLow = 9999999.998;

// Default definitions (10 MHz +- 0.001 Hz, repeat 5, idle 5 minutes) on a manual clock; each check
// advances the clock by one second.
class ClockSupervision : public ::testing::Test {
 protected:
  ClockSupervision() : defs(clock) {}

  struct TTexts {
    std::string Alarm;
    std::string Ok;
  };
  TTexts Check(std::vector<double> freqs) {
    clock.Advance(std::chrono::seconds(1));
    TTexts texts{"stale", "stale"};
    defs.CheckFrequencies(freqs, texts.Alarm, texts.Ok);
    return texts;
  }
  // Runs n checks and returns the texts of the last one; earlier ones must be silent.
  TTexts CheckTimes(int n, const std::vector<double>& freqs) {
    for (int i = 1; i < n; ++i) {
      const TTexts texts = Check(freqs);
      EXPECT_EQ(texts.Alarm, "") << "check " << i;
      EXPECT_EQ(texts.Ok, "") << "check " << i;
    }
    return Check(freqs);
  }

  TManualClock clock;
  TClockAlarmDefs defs;
};

TEST_F(ClockSupervision, WarnsAfterRepeatCountViolationsAndEndsAfterAsManyGoodValues) {
  defs.Definition(1).Alarm = true;
  TTexts texts = CheckTimes(5, {kBad});
  EXPECT_EQ(texts.Alarm, "Frequency warning on channel 1");
  EXPECT_EQ(texts.Ok, "");
  // In warning: further violations give no new warning.
  CheckTimes(10, {kBad});
  texts = CheckTimes(5, {kGood});
  EXPECT_EQ(texts.Alarm, "");
  EXPECT_EQ(texts.Ok, "Frequency ok on channel 1");
  EXPECT_TRUE(defs.GetDefinition(1).State.FisGood);
  EXPECT_FALSE(defs.GetDefinition(1).State.FisBad);
}

TEST_F(ClockSupervision, AGoodValueRestartsTheViolationCount) {
  defs.Definition(1).Alarm = true;
  CheckTimes(4, {kBad});
  CheckTimes(1, {kGood});
  CheckTimes(4, {kBad});
  EXPECT_EQ(Check({kBad}).Alarm, "Frequency warning on channel 1");
}

TEST_F(ClockSupervision, OutOfMarginTable) {
  struct TCase {
    double Freq;
    bool Out;
  };
  const TCase cases[] = {
      {kNominal, false},          {kNominal + 0.001, false},  {kNominal - 0.001, false},
      {kBad, true},               {kLow, true},               {NAN, true},
      {INFINITY, true},           {0.0, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Freq);
    TManualClock caseClock;
    TClockAlarmDefs caseDefs(caseClock);
    caseDefs.Definition(2).Alarm = true;
    caseDefs.SetRepeatCount(1);
    std::string alarm, ok;
    caseDefs.CheckFrequencies(std::vector<double>{kNominal, c.Freq}, alarm, ok);
    EXPECT_EQ(alarm, c.Out ? "Frequency warning on channel 2" : "");
    // The text view's mark: a value of 0 or not a number is no measurement.
    EXPECT_EQ(caseDefs.CheckFrequency(c.Freq, 2), c.Out && c.Freq != 0 && !std::isnan(c.Freq));
  }
}

TEST_F(ClockSupervision, CheckFrequencyOnlyForWatchedChannels) {
  defs.Definition(3).RefAlarm = true;
  EXPECT_TRUE(defs.CheckFrequency(kBad, 3));
  EXPECT_FALSE(defs.CheckFrequency(kBad, 4));  // not watched
  EXPECT_FALSE(defs.CheckFrequency(kBad, 0));
  EXPECT_FALSE(defs.CheckFrequency(kBad, 25));
}

TEST_F(ClockSupervision, SeveralChannelsShareOneText) {
  for (int ch : {1, 3, 4}) defs.Definition(ch).Alarm = true;
  TTexts texts = CheckTimes(5, {kBad, kBad, kLow, kGood});
  EXPECT_EQ(texts.Alarm, "Frequency warning on channel 1, 3");
  texts = CheckTimes(5, {kGood, kGood, kGood, kGood});
  EXPECT_EQ(texts.Ok, "Frequency ok on channel 1, 3");
}

TEST_F(ClockSupervision, IdleTimeHoldsBackTheNextWarning) {
  defs.Definition(1).Alarm = true;
  ASSERT_EQ(CheckTimes(5, {kBad}).Alarm, "Frequency warning on channel 1");  // at 5 s
  ASSERT_EQ(CheckTimes(5, {kGood}).Ok, "Frequency ok on channel 1");        // at 10 s
  // A second bad period inside the 5 minutes gives nothing, however long it lasts.
  CheckTimes(200, {kBad});  // up to 210 s
  // It goes out once 5 minutes have passed since the first warning (at 305 s).
  clock.Advance(std::chrono::seconds(93));
  EXPECT_EQ(Check({kBad}).Alarm, "");  // 304 s
  EXPECT_EQ(Check({kBad}).Alarm, "Frequency warning on channel 1");
}

TEST_F(ClockSupervision, ReferenceClockWarningWhenAllReferenceChannelsDriftTheSameWay) {
  defs.Definition(1).RefAlarm = true;
  defs.Definition(2).RefAlarm = true;
  TTexts texts = CheckTimes(5, {kBad, kBad});
  EXPECT_EQ(texts.Alarm, "Reference clock warning");
  EXPECT_TRUE(defs.RefState().FisBad);
  texts = CheckTimes(5, {kNominal, kNominal});
  EXPECT_EQ(texts.Ok, "Reference clock ok");
  EXPECT_FALSE(defs.RefState().FisBad);
}

TEST_F(ClockSupervision, ReferenceWarningFollowsTheChannelWarnings) {
  for (int ch : {1, 2}) {
    defs.Definition(ch).Alarm = true;
    defs.Definition(ch).RefAlarm = true;
  }
  EXPECT_EQ(CheckTimes(5, {kLow, kLow}).Alarm, "Frequency warning on channel 1, 2 -> Reference clock warning");
  EXPECT_EQ(CheckTimes(5, {kNominal, kNominal}).Ok, "Frequency ok on channel 1, 2 -> Reference clock ok");
}

TEST_F(ClockSupervision, NoReferenceWarningTable) {
  struct TCase {
    const char* Name;
    std::vector<int> RefChannels;
    std::vector<double> Freqs;
  };
  const TCase cases[] = {
      {"one high, one low", {1, 2}, {kBad, kLow}},
      {"one reference channel in margin", {1, 2}, {kBad, kNominal}},
      {"another channel out the other way", {1, 2}, {kBad, kBad, kLow}},
      {"a single reference channel disables the check", {1}, {kBad}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TManualClock caseClock;
    TClockAlarmDefs caseDefs(caseClock);
    caseDefs.Definition(3).Alarm = true;
    for (int ch : c.RefChannels) caseDefs.Definition(ch).RefAlarm = true;
    for (int i = 0; i < 10; ++i) {
      std::string alarm, ok;
      caseDefs.CheckFrequencies(c.Freqs, alarm, ok);
      EXPECT_EQ(alarm.find("Reference"), std::string::npos) << alarm;
    }
  }
}

TEST_F(ClockSupervision, ANumberThatIsNotANumberDriftsHigh) {
  defs.Definition(1).RefAlarm = true;
  defs.Definition(2).RefAlarm = true;
  EXPECT_EQ(CheckTimes(5, {NAN, kBad}).Alarm, "Reference clock warning");
}

TEST_F(ClockSupervision, ReferenceIdleTimeHoldsBackTheNextReferenceWarning) {
  defs.Definition(1).RefAlarm = true;
  defs.Definition(2).RefAlarm = true;
  ASSERT_EQ(CheckTimes(5, {kBad, kBad}).Alarm, "Reference clock warning");
  ASSERT_EQ(CheckTimes(5, {kNominal, kNominal}).Ok, "Reference clock ok");
  CheckTimes(100, {kBad, kBad});
  clock.Advance(std::chrono::minutes(5));
  EXPECT_EQ(Check({kBad, kBad}).Alarm, "Reference clock warning");
}

TEST_F(ClockSupervision, ReadSettingsAndCopyToRestartTheSupervision) {
  defs.Definition(1).Alarm = true;
  CheckTimes(4, {kBad});
  TAppSettings settings;
  defs.SaveSettings(settings, P);
  defs.ReadSettings(settings, P);
  CheckTimes(4, {kBad});  // counting starts again
  EXPECT_EQ(Check({kBad}).Alarm, "Frequency warning on channel 1");

  TClockAlarmDefs edited;
  EXPECT_TRUE(defs.CopyTo(edited));  // channel 1 warns only in defs
  EXPECT_FALSE(edited.CopyTo(edited));
  EXPECT_TRUE(defs.GetDefinition(1).State.FisBad);
  EXPECT_FALSE(edited.GetDefinition(1).State.FisBad);
  // Copying back unchanged definitions reports no change but still restarts the state.
  EXPECT_FALSE(edited.CopyTo(defs));
  EXPECT_FALSE(defs.GetDefinition(1).State.FisBad);
  EXPECT_EQ(defs.GetDefinition(1).State.FBadCount, 0);
  edited.Definition(1).Epsilon = 0.5;
  edited.SetIdleTime(9);
  EXPECT_TRUE(edited.CopyTo(defs));
  EXPECT_EQ(defs.GetDefinition(1).Epsilon, 0.5);
  EXPECT_EQ(defs.IdleTime(), 9);
}

TEST_F(ClockSupervision, RepeatCountBelowOneStillNeedsAViolation) {
  defs.Definition(1).Alarm = true;
  defs.SetRepeatCount(0);
  EXPECT_EQ(Check({kNominal}).Alarm, "");
  EXPECT_EQ(Check({kBad}).Alarm, "Frequency warning on channel 1");
  EXPECT_EQ(Check({kNominal}).Ok, "Frequency ok on channel 1");
}

}  // namespace

// The clock supervision as a counter session runs it: the session hands its definitions to its
// counter store, which checks every complete set of frequencies from the simulator (10 MHz).
#include <gtest/gtest.h>

#include "acquisition/QVSessionTestSupport.h"
#include "alarms/ClockAlarm.h"
#include "core/App_Settings.h"
#include "data/ZCT_DataManagement.h"

namespace {

class ClockAlarmSession : public ::testing::Test, public QVSessionFixture {
 protected:
  // Channel 1 warns with the given nominal frequency and margin; the simulator then runs.
  void RunDemo(const std::string& definition) {
    TAppSettings settings;
    settings.SetValue("INI_Version", "2");
    settings.SetValue("Session_0_Alarm_Def1", definition);
    session->ReadSettings(settings, "Session_0_");
    OpenDemo();
    ASSERT_EQ(opened, "");
    RunSteps(120);
  }
};

TEST_F(ClockAlarmSession, AWrongNominalFrequencyRaisesTheClockWarning) {
  RunDemo("5000000, 0.001, True, False");
  EXPECT_TRUE(HasMessage(41, mtWarning, "Frequency warning on channel 1"));
  EXPECT_EQ(CountCode(41), 1u);  // the channel stays in warning
  EXPECT_TRUE(session->ZCT_DM().HasClockAlarm(1));
  EXPECT_FALSE(session->ZCT_DM().HasClockAlarm(2));
}

TEST_F(ClockAlarmSession, TheRightNominalFrequencyStaysQuiet) {
  RunDemo("10000000, 1, True, False");
  EXPECT_GE(session->ZCT_DM().Count(hsNone), 10);
  EXPECT_EQ(CountCode(41), 0u);
  EXPECT_FALSE(session->ZCT_DM().HasClockAlarm(1));
}

}  // namespace

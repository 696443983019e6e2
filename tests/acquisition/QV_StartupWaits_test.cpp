#include "acquisition/QV_StartupWaits.h"

#include <gtest/gtest.h>

#include "devices/QV_ReportCodes.h"

namespace {

using namespace std::chrono_literals;
using TCheck = TQVStartupWaits::THRQCheck;

constexpr uint16_t kMeasurement = 0x1900;

TQVStartupWaits Waits(bool bufferCleared, bool expectedHeader, bool hrq, bool reSync) {
  TQVStartupWaits waits;
  waits.BufferCleared = bufferCleared;
  waits.ExpectedHeader = expectedHeader;
  waits.HRQData = hrq;
  waits.ReSync = reSync;
  return waits;
}

TEST(QVStartupWaits, WhichReportsAreIgnoredAndWhenTheHeaderIsCompared) {
  struct TCase {
    TQVStartupWaits waits;
    uint16_t code;
    bool ignored;
    bool checksHeader;
  } cases[] = {
      {Waits(false, false, false, false), kMeasurement, false, false},
      {Waits(false, false, false, false), rc_IntervalCounter, false, false},
      {Waits(true, false, false, false), rc_IntervalCounter, true, false},
      {Waits(true, false, false, false), kMeasurement, true, false},
      {Waits(false, false, false, true), rc_Second, true, false},
      {Waits(false, false, false, true), rc_TenthSecond, true, false},
      {Waits(false, false, false, true), rc_Version, false, false},
      {Waits(false, false, false, true), rc_IntervalCounter, false, false},
      {Waits(false, true, false, false), kMeasurement, true, true},
      {Waits(false, true, false, false), rc_Second, true, false},
      {Waits(false, true, true, false), kMeasurement, true, false},
      {Waits(true, true, false, false), kMeasurement, true, false},
  };
  for (const TCase& c : cases) {
    const std::string what = c.waits.FlagText() + " code " + std::to_string(c.code);
    EXPECT_EQ(c.waits.Ignores(c.code), c.ignored) << what;
    EXPECT_EQ(c.waits.ChecksExpectedHeader(c.code), c.checksHeader) << what;
  }
  EXPECT_EQ(Waits(true, false, true, false).FlagText(), "1010");
  EXPECT_FALSE(Waits(false, false, false, false).Any());
  EXPECT_TRUE(Waits(false, false, false, true).Any());
}

TEST(QVStartupWaits, AnUnansweredHRQReadIsAskedAgainTwiceAndThenGivenUp) {
  const TSteadyTime t0{};
  TQVStartupWaits waits = Waits(false, false, true, false);
  // Not watched before the read starts.
  EXPECT_EQ(waits.CheckHRQ(t0 + 5s), TCheck::Waiting);
  waits.StartHRQ(t0);
  EXPECT_EQ(waits.CheckHRQ(t0 + 1000ms), TCheck::Waiting);
  EXPECT_EQ(waits.CheckHRQ(t0 + 1001ms), TCheck::Retry);
  EXPECT_EQ(waits.HRQTimeouts(), 1);
  // The watch restarts at the retry.
  EXPECT_EQ(waits.CheckHRQ(t0 + 1500ms), TCheck::Waiting);
  EXPECT_EQ(waits.CheckHRQ(t0 + 2002ms), TCheck::Retry);
  EXPECT_EQ(waits.CheckHRQ(t0 + 3003ms), TCheck::GiveUp);
  EXPECT_EQ(waits.HRQTimeouts(), 3);
  waits.EndHRQ();
  EXPECT_FALSE(waits.HRQData);
  EXPECT_EQ(waits.CheckHRQ(t0 + 10s), TCheck::Waiting);
  // A new read starts counting afresh.
  waits.HRQData = true;
  waits.StartHRQ(t0 + 20s);
  EXPECT_EQ(waits.HRQTimeouts(), 0);
  EXPECT_EQ(waits.CheckHRQ(t0 + 22s), TCheck::Retry);
}

}  // namespace

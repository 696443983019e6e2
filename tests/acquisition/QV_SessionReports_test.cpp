// The counter session's report pipeline on recorded text files: message reports that the
// simulator cannot produce, header changes, overflow, raw-data mode and the time base.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "QVSessionTestSupport.h"
#include "core/App_Settings.h"
#include "data/IVC_DataManagement.h"
#include "data/ZCT_DataManagement.h"
#include "devices/QV_DeviceInfo.h"
#include "support/TempDir.h"

namespace {

const std::string M0900 = "0900;      10000000.00000000000;       5000000.00000000000";

std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\r\n";
  return text;
}

class QVSessionPlayback : public ::testing::Test, public QVSessionFixture {
 protected:
  // Plays the lines as a recording to its end (a "QV_ReportData.txt" name makes it a text file).
  void Play(const std::vector<std::string>& lines, const std::string& suffix = "") {
    const std::string file = dir.File("A_QV_ReportData.txt");
    WriteWholeFile(file, Lines(lines));
    OpenFile(file + suffix);
    ASSERT_EQ(opened, "");
    Poll();
  }
  TTempDir dir;
};

// One message report between two measurements: the user message it raises.
struct TMessageCase {
  std::string Report;
  TSessionMsg Expected;
};

TEST_F(QVSessionPlayback, MessageReportsRaiseTheirUserMessages) {
  const std::vector<TMessageCase> cases = {
      {"7FF9; Reference clock invalid", {0x7FF9, mtError, "7FF9; Reference clock invalid"}},
      {"7FF8; Reference clock ok", {0x7FF8, mtInfo, "7FF8; Reference clock ok"}},
      {"7FFF; PLL unlocked", {0x7FFF, mtError, "7FFF; PLL unlocked"}},
      {"7FFD; PLL 5-10 unlocked", {0x7FFD, mtError, "7FFD; PLL 5-10 unlocked"}},
      {"7FF1; ZCT: T2 underflow", {524049, mtError, "7FF1; ZCT: T2 underflow"}},
      {"7FF1; ZCT: T2 d4>=2", {524050, mtError, "7FF1; ZCT: T2 d4>=2"}},
      {"7FF1; something else", {524048, mtError, "7FF1; something else"}},
      {"7FF2; Input Data Overrun Error", {524065, mtError, "7FF2; Input Data Overrun Error"}},
      {"7FF2; Raw Data Reception Error", {524066, mtError, "7FF2; Raw Data Reception Error"}},
      {"7FF2; Scrambler in use", {524067, mtError, "7FF2; Scrambler in use"}},
      {"7FF2; other", {524064, mtError, "7FF2; other"}},
      {"7FF3; performance limitation", {0x7FF3, mtError, "7FF3; performance limitation"}},
      {"7F21; 3 reports lost", {31, mtError, "3 reports lost"}},
      {"7F22: Timestamp missing", {0x7F22, mtWarning, "7F22: Timestamp missing"}},
      {"7F23; Buffer cleared after buffer overflow", {31, mtError, "Buffer cleared after buffer overflow"}},
      {"7021; $0003", {0x7021, mtInfo, "7021; $0003"}},
      {"7F40; hello", {0x7F40, mtInfo, "7F40; hello"}},
      {"7F51; Measurement re-synchronized", {0x7F51, mtInfo, "7F51; Measurement re-synchronized"}},
      {"7123; status", {0x7123, mtInfo, "7123; status"}},
      {"7001VERSION ZCT2 test", {0x7001, mtInfo, "7001VERSION ZCT2 test"}},
      {"0E00;      10000000.00000000000", {12, mtError, "Device reports invalid interval"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Report);
    messages.clear();
    Play({"7015; 1", M0900, c.Report, M0900});
    EXPECT_TRUE(HasMessage(c.Expected.Code, c.Expected.Type, c.Expected.Text));
    session->CloseDevice(true);
  }
}

// Count failures that report missing measurements add the shortfall to the lost count shown in the
// status line; timestamp failures and surplus measurements do not.
TEST_F(QVSessionPlayback, MissingMeasurementsAddToTheLostCount) {
  Play({"7015; 1", M0900, "7F22: Measurement missing: expected 100, found 97", M0900,
        "7F22: Timestamp missing: expected 1, found 2", "7F22: Measurement missing: expected 1, found 0 after 2s",
        "7F22: Measurement missing: expected 1, found 2 after 10s", M0900});
  EXPECT_EQ(session->ZCT_DM().Lost(), 4);
  EXPECT_TRUE(HasMessage(0x7F22, mtWarning, "7F22: Measurement missing: expected 100, found 97"));
}

// Expert sessions ask for structured reports, which recordings do not have: the session reads the
// recording as text instead of failing on every poll.
TEST_F(QVSessionPlayback, ExpertSessionReadsARecordingAsText) {
  SetExpertMode(true);
  TAppSettings settings;
  session->ReadSettings(settings, "Session_0_");
  ASSERT_TRUE(session->ReportStruct());
  Play({"7015; 1", M0900, "7015; 2", M0900});
  SetExpertMode(false);
  EXPECT_GE(session->ZCT_DM().Count(hsNone), 2);
  for (const auto& message : messages) EXPECT_NE(message.Type, mtError) << message.Text;
}

TEST_F(QVSessionPlayback, ReferenceClockAndPllFollowTheirReports) {
  Play({"7015; 1", M0900, "7FF9; Reference clock invalid", "7015; 2", M0900});
  EXPECT_TRUE(session->ReferenceClockError());
  EXPECT_TRUE(sampler.Has(13));
  // During the reference clock error the seconds are not taken.
  EXPECT_EQ(session->BufNo7015(), "1");
  session->CloseDevice(true);

  Play({"7015; 1", M0900, "7FFF; PLL unlocked", M0900});
  EXPECT_TRUE(session->PLLError());
  EXPECT_TRUE(session->ZCT_DM().PLLError());
  EXPECT_TRUE(sampler.Has(9));
  session->CloseDevice(true);

  // The reference clock report ends both errors; the store starts again.
  Play({"7015; 1", M0900, "7FFF; PLL unlocked", "7FF8; Reference clock ok", M0900});
  EXPECT_FALSE(session->PLLError());
  EXPECT_FALSE(session->ZCT_DM().PLLError());
  EXPECT_FALSE(session->ReferenceClockError());
}

TEST_F(QVSessionPlayback, GoodMeasurementsEndAPllError) {
  // 1 s interval: more than 4 good measurements clear the error.
  std::vector<std::string> lines = {"7015; 1", M0900, "7FFF; PLL unlocked"};
  for (int i = 0; i < 4; ++i) lines.push_back(M0900);
  Play(lines);
  EXPECT_TRUE(session->PLLError());
  session->CloseDevice(true);
  lines.push_back(M0900);
  Play(lines);
  EXPECT_FALSE(session->PLLError());
  EXPECT_TRUE(log.Contains("TQVSessionItem[0/False].ReportAuswerten: clear PLL error, okCount=5"));
}

TEST_F(QVSessionPlayback, OverflowSeriesCountsOneLossAndOneError) {
  std::vector<std::string> lines = {"7015; 1", M0900};
  const std::string flagged = "8900" + M0900.substr(4);
  for (int i = 0; i < 11; ++i) lines.push_back(flagged);
  lines.push_back(M0900);
  Play(lines);
  EXPECT_EQ(CountCode(31), 1u);
  EXPECT_TRUE(HasMessage(31, mtError, "Device reports transmit buffer overflow. Data lost!"));
  EXPECT_EQ(session->ZCT_DM().Lost(), 1);
  EXPECT_EQ(log.Count("TQVSessionItem[0/False].ReportAuswerten: Ignore Overflow Header=8900"), 10u);
  EXPECT_TRUE(log.Contains("TQVSessionItem[0/False].ReportAuswerten: Reihe der OverflowBits beendet, Counter=11"));
  EXPECT_EQ(session->OverflowCounter(), 0);
}

TEST_F(QVSessionPlayback, HeaderChangesReachSessionStoreAndUser) {
  const std::string m1a00 = "1A00" + M0900.substr(4);
  Play({"7015; 1", M0900, "7015; 2", m1a00, m1a00});
  EXPECT_EQ(session->Mode(), 1);
  EXPECT_EQ(session->IntervalIndex(), 10);
  EXPECT_EQ(session->IntervalMs(), 2000);
  EXPECT_EQ(session->ZCT_DM().ValueHeader().Header(), 0x1A00);
  EXPECT_TRUE(HasMessage(13, mtInfo, "Mode setting changed to Phase Average"));
  EXPECT_TRUE(HasMessage(13, mtInfo, "Interval setting changed to 2s"));
  const auto notices = TakeNotices();
  bool rate = false;
  for (const auto& n : notices) rate = rate || (n.What == swRateIndex && n.Code == 10 && n.aInt == 2000);
  EXPECT_TRUE(rate);
  EXPECT_TRUE(HasNotice(notices, swMode));
  EXPECT_TRUE(HasNotice(notices, swScrambler));
  EXPECT_TRUE(HasNotice(notices, swPPI));
  // The first header is no change the user is told about.
  EXPECT_EQ(CountCode(13), 2u);
}

TEST_F(QVSessionPlayback, StoresReceiveCounterIvcAndDigitalInputData) {
  Play({"7015; 1", M0900, "7900;      3300.25;      3301.50;", "7100; FFFFFFFF", "7015; 2", M0900});
  EXPECT_EQ(session->ZCT_DM().ChannelCount(), 2);
  EXPECT_EQ(session->ZCT_DM().Count(hsNone), 2);
  EXPECT_EQ(session->IVC_DM().ChannelCount(), 2);
  EXPECT_EQ(session->IVC_DM().Count(hsNone), 1);
  EXPECT_EQ(session->ZCT_DM().DGICount(), 1);
  EXPECT_EQ(session->TransmittedIVCs(), 2);
  EXPECT_EQ(session->TransmittedDGIs(), 1);
  EXPECT_EQ(sampler.TimeStamps, (std::vector<int64_t>{10, 20}));
  EXPECT_EQ(session->BufNo7015(), "2");
}

TEST_F(QVSessionPlayback, EndOfFileClosesTheSession) {
  Play({"7015; 1", M0900});
  EXPECT_FALSE(session->IsRunning());
  EXPECT_TRUE(HasMessage(71, mtInfo, "Disconnect"));
  EXPECT_EQ(CountCode(71), 3u);  // connected, end of file, disconnect
  EXPECT_TRUE(log.Contains("TQVSessionItem[0/False].GetReport: FileDevice closed -> CloseDevice"));
  EXPECT_FALSE(session->GetReport());
}

TEST_F(QVSessionPlayback, LoopForEverPlaysTheFileAgain) {
  const std::string file = dir.File("L_QV_ReportData.txt");
  WriteWholeFile(file, Lines({"7015; 1", M0900}));
  OpenFile(file + " LOOP_FOR_EVER");
  ASSERT_EQ(opened, "");
  for (int i = 0; i < 20; ++i) session->GetReport();
  EXPECT_TRUE(session->IsRunning());
  EXPECT_GT(session->ZCT_DM().Count(hsNone), 3);
}

TEST_F(QVSessionPlayback, ReSyncForgetsTheTimeBaseAndWarnsWithCounterTime) {
  options.LogTimeSourceZCT = true;
  session->UpdateOptions(16);
  Play({"7015; 5", M0900, "7F51; Measurement re-synchronized"});
  EXPECT_FALSE(DateTimeKnown(session->ZCTDateTimeStart()));
  EXPECT_EQ(session->DeviceMs(), -1);
  EXPECT_TRUE(HasMessage(45, mtWarning, "Re sync, ZCT time resetted"));
  EXPECT_TRUE(HasNotice(TakeNotices(), swReSync));
  session->CloseDevice(true);
  // The next time stamp fixes a new start: now minus the device time.
  Play({"7015; 7", M0900});
  const TDateTime expected = WallToDateTime(clock.Wall(), false) - 7000.0 / MsPerDay;
  EXPECT_NEAR(session->ZCTDateTimeStart(), TruncateToSecond(expected), 1e-9);
}

TEST_F(QVSessionPlayback, StartTimeIsComparedWithTheStoredOne) {
  options.LogTimeSourceZCT = true;
  session->UpdateOptions(16);
  TAppSettings settings;
  settings.SetValue("Session_0_ZCTDateTimeStart", "12345.5");
  session->ReadSettings(settings, "Session_0_");
  Play({"7015; 1", M0900});
  EXPECT_TRUE(HasMessage(45, mtWarning, "ZCT Time recalculated, plausibility check failed"));
  EXPECT_TRUE(log.Contains("TQVSessionItem[0/False].ZCTtimePlausibilityCheck Warning ZCT time recalculated"));
}

TEST_F(QVSessionPlayback, ConnectedUsersGoIntoTheDeviceInformation) {
  const std::string file = dir.File("U_QV_ReportData.txt");
  WriteWholeFile(file, Lines({"7030; 1: Lab PC 2: 3:   Rack 4"}));
  OpenFile(file);
  ASSERT_EQ(opened, "");
  const uint32_t serial = session->GetSerialNumber();
  ASSERT_NE(serial, kSerialNumberUnknown);
  Poll();
  const auto info = Multi_GetDeviceInfo(serial);
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(info->ConnectedUser(1), "Lab PC");
  EXPECT_EQ(info->ConnectedUser(2), "");
  EXPECT_EQ(info->ConnectedUser(3), "Rack 4");
  EXPECT_EQ(info->ConnectedUser(4), "unknown");
  EXPECT_TRUE(HasNotice(TakeNotices(), swDevices));
}

class QVSessionRawMode : public QVSessionPlayback {
 protected:
  // One channel: T1 T2 T3 as hexadecimal words.
  const std::string raw = "6000; 0100 0200 0003";
};

TEST_F(QVSessionRawMode, RawLinesWaitForAnAlignedTimeStamp) {
  // The raw interval of the settings groups the 1 ms lines into 500 ms samples.
  TAppSettings settings;
  settings.SetValue("Session_0_RawIntervalIndex", "8");
  session->ReadSettings(settings, "Session_0_");
  Play({"7015; 1", "7020; $6000", raw, "7016; 12", raw, "7016; 15", raw});
  EXPECT_EQ(session->Mode(), 6);
  EXPECT_EQ(session->IntervalMs(), 500);
  EXPECT_EQ(session->ZCT_DM().ValueHeader().Header(), 0x6800);
  EXPECT_TRUE(log.Contains("TQVSessionItem[0/False].ReportAuswerten 7020 6000 -> WaitTimestamp"));
  EXPECT_EQ(log.Count("TQVSessionItem[0/False].ReportAuswerten: 100ms: 12 FDeviceMs=1200 FIntervalMs=500 "
                      "WaitRawTimestamp -> passt NICHT"),
            1u);
  EXPECT_EQ(log.Count("TQVSessionItem[0/False].ReportAuswerten ignore (WaitTimestamp) Data=" + raw +
                      " FDeviceMs=1200"),
            1u);
  EXPECT_FALSE(session->WaitRawTimestamp());
  EXPECT_EQ(CountCode(51), 0u);
}

TEST_F(QVSessionRawMode, RateCommandsAreNeverSentInRawMode) {
  const std::string file = dir.File("R_QV_ReportData.txt");
  WriteWholeFile(file, Lines({"7015; 1", "7020; $6000", raw}));
  OpenFile(file + " LOOP_FOR_EVER");
  ASSERT_EQ(opened, "");
  for (int i = 0; i < 3; ++i) session->GetReport();
  ASSERT_EQ(session->Mode(), 6);
  session->SetCommand("\x25", "50ms");
  EXPECT_FALSE(log.Contains("TQVSessionItem[0/False].SendCommand 25"));
  EXPECT_EQ(session->IntervalIndex(), 5);
  EXPECT_EQ(session->IntervalMs(), 50);
  EXPECT_EQ(session->ZCT_DM().ValueHeader().Header(), 0x6500);
  EXPECT_TRUE(HasMessage(75, mtInfo, "Cmd 50ms"));
}

TEST_F(QVSessionRawMode, AveragedRawDataShowsAsMode7) {
  TAppSettings settings;
  settings.SetValue("Session_0_RawAvg", "True");
  session->ReadSettings(settings, "Session_0_");
  Play({"7015; 1", "7020; $0900", "7020; $6000", raw});
  EXPECT_EQ(session->Mode(), 7);
  EXPECT_TRUE(HasMessage(13, mtInfo, "Mode setting changed to Raw Data Avg."));
}

}  // namespace

#include "acquisition/QV_SessionItem.h"

#include <gtest/gtest.h>

#include <thread>

#include "QVSessionTestSupport.h"
#include "acquisition/SessionFactory.h"
#include "acquisition/VTA_ReportThread.h"
#include "acquisition/VTA_Sessions.h"
#include "acquisition/VTA_SensorSession.h"
#include "core/App_Settings.h"
#include "data/IVC_DataManagement.h"
#include "data/ZCT_DataManagement.h"
#include "support/TcpTestPeer.h"
#include "support/TempDir.h"

namespace {

class QVSession : public ::testing::Test, public QVSessionFixture {};

TEST_F(QVSession, CreationNamesChannelsAndStartsUnknown) {
  Make(1);
  EXPECT_EQ(session->DbgTag(), "TQVSessionItem[1/False]");
  EXPECT_EQ(session->SessionType(), kSessionTypeCounter);
  EXPECT_EQ(session->ChannelData().ChannelName(3), "ZCT_B3");
  EXPECT_EQ(session->VirtualChannelData().ChannelName(24), "VZCT_B24");
  EXPECT_EQ(session->IVCChannelData().ChannelName(1), "IVC_B1");
  EXPECT_EQ(session->VirtualIVCChannelData().ChannelName(2), "VIVC_B2");
  EXPECT_EQ(session->IVCChannelData().ChannelColor(1), ChannelPaletteColor(3, 1));
  EXPECT_EQ(session->VirtualIVCChannelData().ChannelColor(1), ChannelPaletteColor(5, 1));
  EXPECT_EQ(session->Mode(), TQVSessionItem::UnknownMode);
  EXPECT_EQ(session->Scrambler(), TQVSessionItem::UnknownScrambler);
  EXPECT_EQ(session->IntervalIndex(), -1);
  EXPECT_EQ(session->DecSep(), ',');
  EXPECT_EQ(session->DeviceMs(), -1);
  EXPECT_FALSE(DateTimeKnown(session->ZCTDateTimeStart()));
  EXPECT_FALSE(session->HasDataHeader());
  EXPECT_FALSE(session->IsModeAverage());
  EXPECT_EQ(session->DataManagement(), &session->ZCT_DM());
  EXPECT_EQ(session->ZCT_DM().MultiId(), session->MultiId());
  EXPECT_TRUE(log.Contains("TQVSessionItem[1/False].Created: MultiID=" + std::to_string(session->MultiId())));
}

class QVSessionDemo : public QVSession {
 protected:
  void SetUp() override {
    TAppSettings settings;
    session->ReadSettings(settings, "Session_0_");
    OpenDemo();
    ASSERT_EQ(opened, "");
  }
};

TEST_F(QVSessionDemo, SimulatorDataReachBothStoresWithNoticesAndMessages) {
  RunSteps(40);
  TQVSessionItem& s = *session;
  EXPECT_TRUE(s.IsRunning());
  EXPECT_EQ(s.ZCT_DM().ChannelCount(), 4);
  EXPECT_GE(s.ZCT_DM().Count(hsNone), 2);
  EXPECT_EQ(s.IVC_DM().ChannelCount(), 4);
  EXPECT_GE(s.IVC_DM().Count(hsNone), 3);
  EXPECT_TRUE(s.ZCT_DM().AddLogStrings());
  EXPECT_TRUE(s.IVC_DM().AddLogStrings());
  EXPECT_GT(sampler.Sets, 0);
  EXPECT_FALSE(sampler.TimeStamps.empty());

  EXPECT_EQ(s.Mode(), 1);
  EXPECT_EQ(s.IntervalIndex(), 9);
  EXPECT_EQ(s.IntervalMs(), 1000);
  EXPECT_EQ(s.Scrambler(), 0);
  EXPECT_EQ(s.ScramblerText(), "off");
  EXPECT_TRUE(s.IsModeAverage());
  EXPECT_TRUE(s.IsModePhaseEnabled());
  EXPECT_TRUE(s.IsModeIVCdiffEnabled());
  EXPECT_TRUE(s.GetHasZCT());
  EXPECT_TRUE(s.GetHasIVC());
  EXPECT_EQ(s.VersionString(), "VERSION Simulator IVC: 5.0 240826 / 20.2.7 25-01-07");
  EXPECT_FALSE(s.IsESP());
  EXPECT_EQ(s.BufNo7015(), "4");
  EXPECT_TRUE(DateTimeKnown(s.ZCTDateTimeStart()));

  EXPECT_TRUE(HasMessage(71, mtInfo, "Connected to: DemoData"));
  EXPECT_TRUE(HasMessage(0x7001, mtInfo, "7001VERSION Simulator IVC: 5.0 240826 / 20.2.7 25-01-07"));
  EXPECT_TRUE(HasMessage(13, mtInfo, "Mode setting changed to Phase Average"));
  EXPECT_EQ(updates, 2);  // the open parameters and the open

  const auto notices = TakeNotices();
  for (int what : {swPeer, swDevices, swMode, swRateIndex, swPPI, swScrambler, swDataReset})
    EXPECT_TRUE(HasNotice(notices, what)) << SyncWhatName(what);
  const auto has = [&](int what, int code, int aInt) {
    for (const auto& n : notices)
      if (n.What == what && n.Code == code && n.aInt == aInt && n.Sender == s.Ref()) return true;
    return false;
  };
  EXPECT_TRUE(has(swChannelCount, 2, 4));
  EXPECT_TRUE(has(swIVCChannels, 2, 4));
  EXPECT_TRUE(has(swDGICards, 5, 1));
  EXPECT_TRUE(has(swRateIndex, 9, 1000));
  EXPECT_TRUE(has(swMode, 1, 0));
}

// The shown state comes as one copy that agrees with the single queries; closing and opening
// again starts the instrument's kind and version afresh.
TEST_F(QVSessionDemo, StatusIsOneCopyOfTheShownState) {
  RunSteps(40);
  const TQVSessionStatus status = session->Status();
  ASSERT_TRUE(status.DataHeader.has_value());
  EXPECT_EQ(status.DataHeader->Header(), session->DataHeader().Header());
  EXPECT_EQ(status.DataHeader->Mode(), 1);
  EXPECT_EQ(status.VersionString, "VERSION Simulator IVC: 5.0 240826 / 20.2.7 25-01-07");
  EXPECT_EQ(status.ScramblerText, "off");
  EXPECT_EQ(status.PPIText, session->PPIText());
  EXPECT_EQ(status.BufNo7015, session->BufNo7015());
  EXPECT_EQ(status.TransmittedIVCs, 4);
  EXPECT_EQ(status.TransmittedDGIs, 1);
  EXPECT_FALSE(status.IsESP);
  EXPECT_FALSE(status.ZCTonly || status.IVConly);
  session->CloseDevice(true);
  OpenDemo();
  ASSERT_EQ(opened, "");
  EXPECT_EQ(session->Status().VersionString, "");
}

TEST_F(QVSessionDemo, SerialNumberComesFromTheDeviceOnce) {
  const uint32_t serial = session->GetSerialNumber();
  EXPECT_NE(serial, kSerialNumberUnknown);
  EXPECT_TRUE(session->SerialNumberOk());
  EXPECT_EQ(session->SerialNumber(), serial);
  EXPECT_EQ(log.Count("TQVSessionItem[0/False].GetSerialNumber from device=" + IntToHex(serial, 8)), 1u);
  session->GetSerialNumber();
  EXPECT_EQ(log.Count("TQVSessionItem[0/False].GetSerialNumber from device=" + IntToHex(serial, 8)), 1u);
}

TEST_F(QVSessionDemo, CloseDisconnectsAndTellsTheSampler) {
  RunSteps(12);
  session->CloseDevice(true);
  EXPECT_FALSE(session->IsRunning());
  EXPECT_TRUE(HasMessage(71, mtInfo, "Disconnect"));
  int closes = 0;
  bool copy = false, original = false;
  for (const auto& update : sampler.Updates)
    if (update.What == 12) {
      ++closes;
      (update.Copy ? copy : original) = true;
    }
  EXPECT_EQ(closes, 2);
  EXPECT_TRUE(copy && original);
  EXPECT_EQ(updates, 3);
  EXPECT_FALSE(session->GetReport());
  // Closing again does nothing.
  session->CloseDevice(true);
  EXPECT_EQ(CountCode(71), 2u);
}

TEST_F(QVSessionDemo, CommandsReachTheSimulatorAndItsAnswerChangesTheSession) {
  RunSteps(12);
  messages.clear();
  TakeNotices();
  session->SetCommand("\x2A", "2s");
  EXPECT_TRUE(HasMessage(75, mtInfo, "Cmd 2s"));
  RunSteps(40);
  EXPECT_EQ(session->IntervalIndex(), 10);
  EXPECT_EQ(session->IntervalMs(), 2000);
  EXPECT_TRUE(HasMessage(13, mtInfo, "Interval setting changed to 2s"));

  session->SetCommand("\x43", "Frequency Avg.");
  RunSteps(40);
  EXPECT_EQ(session->Mode(), 3);
  EXPECT_TRUE(session->IsModeFrequencyEnabled());
  EXPECT_FALSE(session->IsModePhaseEnabled());
  EXPECT_TRUE(HasMessage(13, mtInfo, "Mode setting changed to Frequency Avg."));
  EXPECT_EQ(session->ZCT_DM().ValueHeader().Header(), 0x3A00);
}

TEST_F(QVSessionDemo, RefusedCommandRaisesError76AndRestoresTheShownInterval) {
  RunSteps(12);
  TakeNotices();
  messages.clear();
  // Raw-data mode is beyond the simulator.
  session->SetCommand("\x46", "Raw Data");
  EXPECT_EQ(CountCode(76), 1u);
  EXPECT_EQ(CountCode(75), 0u);
  bool restored = false;
  for (const auto& n : TakeNotices()) restored = restored || (n.What == swRateIndex && n.Code == 9 && n.aInt == 1000);
  EXPECT_TRUE(restored);
}

TEST_F(QVSessionDemo, ExpectedHeaderIsReachedByCorrections) {
  session->CloseDevice(true);
  // The simulator keeps its first header (phase, 1 s) until the corrections arrive.
  TAppSettings settings;
  settings.SetValue("Session_0_OpenString", "DemoData");
  settings.SetValue("Session_0_DemoMode", "0");
  session->ReadSettings(settings, "Session_0_");
  session->SetExpectedHeader(TQVHeader(0x3A00));
  OpenDemo();
  ASSERT_EQ(opened, "");
  RunSteps(80);
  EXPECT_FALSE(session->WaitExpectedHeader());
  EXPECT_EQ(session->Mode(), 3);
  EXPECT_EQ(session->IntervalIndex(), 10);
  EXPECT_TRUE(log.Contains("TQVSessionItem[0/False].ReportAuswerten: Set Interval"));
  EXPECT_TRUE(log.Contains("TQVSessionItem[0/False].ReportAuswerten: Set Mode"));
  EXPECT_TRUE(log.Contains("TQVSessionItem[0/False].ReportAuswerten: ResetWaitExpectedHeader"));
  // One command per correction, however many reports show the old header.
  EXPECT_EQ(log.Count("TQVSessionItem[0/False].SendCommand 2A"), 1u);
  EXPECT_EQ(log.Count("TQVSessionItem[0/False].SendCommand 43"), 1u);
}

TEST_F(QVSessionDemo, AddedOpenCommandsGoOutOnePerReport) {
  session->CloseDevice(true);
  session->SetAddedOpenCommands({"\x0F", "\x01"});
  OpenDemo();
  ASSERT_EQ(opened, "");
  EXPECT_TRUE(session->Wait7F51());
  RunSteps(40);
  EXPECT_TRUE(log.Contains("TQVSessionItem[0/False].ReportAuswerten: Send AddedOpenCommand 0"));
  EXPECT_TRUE(log.Contains("TQVSessionItem[0/False].ReportAuswerten: Send AddedOpenCommand 1"));
  // The re-sync answer ends the wait and the data flow.
  EXPECT_FALSE(session->Wait7F51());
  EXPECT_TRUE(HasNotice(TakeNotices(), swReSync));
  EXPECT_GT(session->ZCT_DM().Count(hsNone), 0);
}

TEST(SessionFactory, MakesTheSessionOfEachStoredType) {
  TSyncList sync;
  TSessionHandlers handlers;
  handlers.SyncList = &sync;
  const auto session = MakeSession(kSessionTypeCounter, 2, handlers, -1, {});
  ASSERT_NE(session, nullptr);
  EXPECT_NE(dynamic_cast<TQVSessionItem*>(session.get()), nullptr);
  EXPECT_EQ(session->Index(), 2);
  const auto sensor = MakeSession(kSessionTypeSensor, 1, handlers, -1, {});
  ASSERT_NE(dynamic_cast<TSensorSessionItem*>(sensor.get()), nullptr);
  EXPECT_EQ(dynamic_cast<TLabJackSessionItem*>(sensor.get()), nullptr);
  EXPECT_EQ(sensor->SessionType(), kSessionTypeSensor);
  const auto labJack = MakeSession(kSessionTypeLabJack, 1, handlers, -1, {});
  ASSERT_NE(dynamic_cast<TLabJackSessionItem*>(labJack.get()), nullptr);
  EXPECT_EQ(labJack->SessionType(), kSessionTypeLabJack);
  EXPECT_EQ(MakeSession(7, 0, handlers, -1, {}), nullptr);

  std::vector<int32_t> asked;
  const TSessionFactory factory = MakeSessionFactory(handlers, {}, [&](int32_t index) {
    asked.push_back(index);
    return -1;
  });
  EXPECT_NE(factory(kSessionTypeCounter, 3), nullptr);
  EXPECT_EQ(factory(9, 4), nullptr);
  EXPECT_EQ(asked, (std::vector<int32_t>{3, 4}));
}

TEST(SessionFactory, CounterSessionsGetTheirIntervalCounterCopyListed) {
  TSessionLists lists;
  TSessionHandlers handlers;
  handlers.SyncList = &lists.SyncList();
  auto& session = static_cast<TQVSessionItem&>(lists.AddSession(MakeSession(kSessionTypeCounter, 0, handlers, -1, {})));
  AddIVCCopy(lists, session);
  ASSERT_EQ(lists.CopyList().size(), 2u);
  auto* copy = dynamic_cast<TQVSessionItem*>(lists.GetSessionCopy(0));
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->DbgTag(), "TQVSessionItem[0/True]");
  EXPECT_TRUE(copy->IVConly());
  EXPECT_EQ(copy->IntervalMs(), 1000);
  EXPECT_EQ(copy->MultiId(), session.MultiId());
  EXPECT_EQ(&copy->IVC_DM(), &session.IVC_DM());
  EXPECT_EQ(copy->DataManagement(), session.DataManagement());
  EXPECT_TRUE(session.IVC_DM().SessIsCopy());
  EXPECT_EQ(session.LinkedSession(), copy);
  EXPECT_EQ(copy->LinkedSession(), &session);

  // Settings made on the session reach the copy.
  session.SetUseDeviceCalibration(true);
  EXPECT_TRUE(copy->UseDeviceCalibration());

  lists.RemoveCopy(0);
  EXPECT_FALSE(session.IVC_DM().SessIsCopy());
  EXPECT_EQ(session.LinkedSession(), nullptr);
}

}  // namespace

namespace {

TEST_F(QVSession, StructuredReportsFeedTheStoresInExpertMode) {
  SetExpertMode(true);
  TAppSettings settings;
  session->ReadSettings(settings, "Session_0_");
  SetExpertMode(false);
  ASSERT_TRUE(session->ReportStruct());
  SetExpertMode(true);
  OpenDemo();
  ASSERT_EQ(opened, "");
  EXPECT_TRUE(log.Contains("TQVSessionItem[0/False].OpenDevice: ReportStruct anhängen DemoData ReportStruct"));
  RunSteps(40);
  SetExpertMode(false);
  EXPECT_EQ(session->ZCT_DM().ChannelCount(), 4);
  EXPECT_GE(session->ZCT_DM().Count(hsNone), 2);
  EXPECT_EQ(session->IVC_DM().ChannelCount(), 4);
  EXPECT_EQ(session->Mode(), 1);
  EXPECT_EQ(session->IntervalIndex(), 9);
  EXPECT_TRUE(HasMessage(13, mtInfo, "Mode setting changed to Phase Average"));
}

TEST_F(QVSession, ArrivingUsbDeviceOpensAClosedSessionThatNamesIt) {
  session->SetOpenParams("DemoData USERID=2", ctDemoNone, kDefaultSessionColor, "");
  session->CheckUsbAttached("USB device 0815");
  EXPECT_FALSE(session->IsRunning());
  session->CheckUsbAttached("arrived: DemoData #1");
  EXPECT_TRUE(session->IsRunning());
  EXPECT_TRUE(log.Contains("TQVSessionItem[0/False].CheckUsbAttached: auto open ok"));
}

TEST_F(QVSession, LocalServerErrorsReachTheUser) {
  session->SetLocalServerAccess("no.such.address", "");
  EXPECT_TRUE(session->UpdateLocalServer(true, 5000));
  EXPECT_FALSE(session->LocalTcpServerRunning());
  EXPECT_TRUE(HasMessage(81, mtError, "Local TPC Server Error: Invalid listening address: no.such.address"));
  EXPECT_TRUE(session->RunLocalTcpServer());
  EXPECT_EQ(session->LocalTcpServerPort(), 5000);
  EXPECT_TRUE(session->UpdateLocalServer(false, 5000));
  EXPECT_FALSE(session->RunLocalTcpServer());
}

TEST_F(QVSession, TheLocalServerRunsOnItsAddressAndServesOnlyAllowedClients) {
  session->SetLocalServerAccess("127.0.0.1", "127.0.0.2");
  EXPECT_TRUE(session->UpdateLocalServer(true, 0));
  ASSERT_TRUE(session->LocalTcpServerRunning());
  const uint16_t port = session->LocalTcpServerPort();
  ASSERT_NE(port, 0);
  EXPECT_TRUE(HasMessage(82, mtInfo, "Local TCP Server running on port " + std::to_string(port)));
  TTcpTestClient refused("127.0.0.1", port, "127.0.0.1");
  std::string line;
  ASSERT_TRUE(refused.ReadLine(line));
  EXPECT_EQ(line, "ERR client not allowed: 127.0.0.1");
  TTcpTestClient allowed("127.0.0.1", port, "127.0.0.2");
  EXPECT_EQ(allowed.Ask("TRYBABY 127.0.0.2:9"), "Unknown client: 127.0.0.2:9");
  EXPECT_TRUE(session->UpdateLocalServer(false, port));
  EXPECT_TRUE(HasMessage(82, mtInfo, "Local TCP Server stopped"));
}

TEST_F(QVSession, StoredUserInUseIsDroppedAndTheOpenRepeated) {
  // A user id for the simulator cannot be in use; the stored id still goes into the open string.
  TAppSettings settings;
  settings.SetValue("Session_0_UserID", "3");
  session->ReadSettings(settings, "Session_0_");
  OpenDemo();
  ASSERT_EQ(opened, "");
  EXPECT_TRUE(log.Contains("TQVSessionItem[0/False].OpenDevice: UserID anhängen DemoData USERID=3"));
}

TEST_F(QVSession, DebugFileFollowsTheDebugFolder) {
  TTempDir dir;
  ASSERT_EQ(session->SetDebugPath(dir.Path()), "");
  EXPECT_EQ(session->DebugPath(), dir.Path());
  EXPECT_EQ(session->Debug(true), "");
  EXPECT_TRUE(session->DebugLog());
  EXPECT_TRUE(log.Contains("TQVSessionItem[0/False].DebugFileName=" + dir.Path() + "QV_Source_A.txt"));
  EXPECT_EQ(session->Debug(false), "");
  EXPECT_FALSE(session->DebugLog());
  EXPECT_NE(session->SetDebugPath("/proc/no-such-folder"), "");
  EXPECT_EQ(session->DebugPath(), dir.Path());
}

}  // namespace


namespace {

// The real threads: the simulator's worker fills the source, the report thread polls the session
// registered in the session lists, the window thread (the test) reads the stores.
TEST(QVSessionThreads, ReportThreadDrivesACounterSession) {
  TSessionLists lists;
  TMessageList messages{[](const std::string&) {}, [](int32_t) { return 0u; }};
  TSessionHandlers handlers;
  handlers.OnMsg = MessageListHandler(messages);
  handlers.SyncList = &lists.SyncList();
  auto owned = TQVSessionItem::Make(-1, 0, handlers);
  TQVSessionItem& session = *owned;
  TAppSettings settings;
  settings.SetValue("Session_0_OpenString", "DemoData");
  settings.SetValue("Session_0_DemoRate", "0");  // 1 ms: data arrive at once
  session.ReadSettings(settings, "Session_0_");
  lists.AddSession(std::move(owned));
  AddIVCCopy(lists, session);
  ASSERT_EQ(session.OpenDevice(), "");
  {
    TReportThreadOptions options;
    options.Timeouts = {std::chrono::milliseconds(1), std::chrono::milliseconds(1), std::chrono::milliseconds(1)};
    options.Messages = &messages;
    TVTA_ReportThread thread(lists, std::move(options));
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (session.ZCT_DM().Count(hsNone) < 50 && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    // The window thread closes the session while the report thread keeps away from it.
    lists.MarkRemoved(&session);
    session.CloseDevice(true);
    lists.MarkRemoved(nullptr);
  }
  EXPECT_GE(session.ZCT_DM().Count(hsNone), 50);
  EXPECT_EQ(session.IntervalIndex(), 0);
  EXPECT_FALSE(session.IsRunning());
  EXPECT_GT(lists.SyncList().Count(), 0u);
}

// Per-report lines reach the diagnostic log only while the session keeps its own debug log and
// logs its reports: with the switches off a long run must not fill the log.
TEST_F(QVSession, PerReportDiagnosticLinesFollowTheSessionsDebugSwitches) {
  struct TCase {
    bool DebugLog, DebugReport, Expected;
  };
  const auto perReportLines = [this] {
    size_t n = 0;
    for (const std::string& line : log.Lines())
      n += line.find(".ReportAuswerten: ms=") != std::string::npos || line.find(".AddTimeStamp ") != std::string::npos;
    return n;
  };
  for (const TCase c : {TCase{false, true, false}, TCase{false, false, false}, TCase{true, false, false},
                        TCase{true, true, true}}) {
    Make(0);
    TTempDir debug;
    ASSERT_EQ(session->SetDebugPath(debug.Path()), "");
    ASSERT_EQ(session->Debug(c.DebugLog), "");
    session->DebugFlags(c.DebugReport, true);
    OpenDemo();
    ASSERT_EQ(opened, "");
    const size_t before = perReportLines();
    RunSteps(30);
    const size_t lines = perReportLines() - before;
    EXPECT_EQ(lines > 0, c.Expected) << "log " << c.DebugLog << " report " << c.DebugReport << ": " << lines;
    session->CloseDevice(true);
  }
}

}  // namespace

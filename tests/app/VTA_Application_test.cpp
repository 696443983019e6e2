#include "app/VTA_Application.h"

#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "acquisition/VTA_SensorSession.h"
#include "app/VTA_SessionKinds.h"
#include "support/HandFedSensor.h"

namespace {

TEST(DllVersion, AtLeast20_2_0WithThreeNumbers) {
  const std::vector<std::pair<std::string, bool>> cases = {
      {"20.2.7 25-01-07", true}, {"20.2.0", true},   {"21.0.0", true},   {"20.3.0 x", true},
      {"20.1.9 24-12-01", false}, {"19.9.9", false}, {"20.2", false},    {"20.x.1", false},
      {"20.2.0x", false},         {"", false},       {"v20.2.0", false}, {"20..2", false},
  };
  for (const auto& [text, ok] : cases) EXPECT_EQ(DllVersionAcceptable(text), ok) << text;
  EXPECT_EQ(DllVersionError("20.1.9 x"), "Invalid version of QV library: 20.1.9 x, minimal version needed: 20.2.0");
}

TEST_F(AppTest, CreationRefusesAnOldSourceInterface) {
  TVTA_AppOptions options = Options();
  options.DllInfo = [] { return std::string("20.1.9 24-12-01"); };
  try {
    MakeApp(std::move(options));
    FAIL() << "no refusal";
  } catch (const EDllVersion& e) {
    EXPECT_STREQ(e.what(), "Invalid version of QV library: 20.1.9 24-12-01, minimal version needed: 20.2.0");
  }
}

TEST_F(AppTest, CreationSetsCaptionAndFallsBackFromUnusableRootFolders) {
  // A plain file where a folder is expected cannot become a folder.
  WriteWholeFile(dir.File("blocker"), "x");
  WriteIni("DebugRootFolder=" + dir.File("blocker") + "/Debug\nLogRootFolder=" + dir.File("blocker") + "/Logs\n");
  auto app = MakeApp();
  EXPECT_EQ(app->Caption(), "Q+V  VTA  Version 3.3.4 - 2025-01-07");
  EXPECT_EQ(app->AppBaseName(), "VTA_App");
  EXPECT_EQ(app->DebugRootFolder(), Paths().ConfigDir() + "Debug/");
  EXPECT_EQ(app->LogRootFolder(), Paths().ConfigDir() + "Logs/");
  EXPECT_EQ(app->Settings().LogRootFolder(), Paths().ConfigDir() + "Logs/");
  EXPECT_TRUE(LogHas(*app, "Invalid path DebugRootFolder=" + dir.File("blocker") + "/Debug"));
  EXPECT_TRUE(LogHas(*app, "Invalid path LogRootFolder=" + dir.File("blocker") + "/Logs"));
  EXPECT_TRUE(LogHas(*app, "VTA-App: /opt/vta/VTA_App, Version: 3.3.4 - 2025-01-07"));
  EXPECT_TRUE(LogHas(*app, "TMainForm.FormCreate: DllInfo=20.2.7 25-01-07"));
}

TEST_F(AppTest, FirstStartAsksOnceOpensSavesAndTheNextStartRestarts) {
  ui.Answers.push_back(Answer("fake:A"));
  {
    auto app = MakeApp();
    ASSERT_TRUE(app->LosGehts());
    EXPECT_EQ(ui.Count("AskConnection 0"), 1u);
    EXPECT_EQ(ui.Presets.at(0).Color, 0xFFFF00u);
    TSessionItem* a = app->Lists().GetSession(0);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->OpenString(), "fake:A");
    EXPECT_TRUE(a->IsRunning());
    EXPECT_TRUE(app->AllInitialized());
    ASSERT_NE(app->ReportThread(), nullptr);
    EXPECT_TRUE(timers.Display);
    EXPECT_TRUE(Control(0)->Probe->WaitForPolls(1));

    app->FormClose();
    EXPECT_FALSE(a->IsRunning());
    EXPECT_TRUE(app->ReportThread()->Stopped());
    EXPECT_FALSE(timers.Display);
  }
  const std::string ini = Ini();
  EXPECT_NE(ini.find("SessionCount=1\r\n"), std::string::npos);
  EXPECT_NE(ini.find("Session_0_OpenString=fake:A\r\n"), std::string::npos);
  EXPECT_NE(ini.find("Session_0_FriendlyName=lab\r\n"), std::string::npos);
  // The windows save after the sessions.
  EXPECT_LT(ini.find("SessionCount="), ini.find("View_1_Id=1"));
  EXPECT_NE(ReadWholeFile(Paths().DebugConfFile()).find("Main=True"), std::string::npos);

  ui.Clear();
  auto again = MakeApp();
  ASSERT_TRUE(again->LosGehts());
  EXPECT_FALSE(ui.Has("AskConnection 0"));
  ASSERT_NE(again->Lists().GetSession(0), nullptr);
  EXPECT_EQ(again->Lists().GetSession(0)->OpenString(), "fake:A");
  EXPECT_TRUE(again->Lists().GetSession(0)->IsRunning());
  EXPECT_TRUE(LogHas(*again, "TMainForm.LosGehts.SessionCount=1"));
}

TEST_F(AppTest, NoConnectionCancelsWithoutSaving) {
  // First start: dialog, box, dialog. With "SessionCount" 0 there is no first dialog.
  for (const std::string stored : {"", "SessionCount=0\n"}) {
    ui.Clear();
    WriteIni(stored);
    auto app = MakeApp();
    EXPECT_FALSE(app->LosGehts());
    EXPECT_TRUE(app->AppCanceled());
    EXPECT_EQ(ui.Count("AskConnection 0"), stored.empty() ? 2u : 1u) << stored;
    EXPECT_EQ(ui.Count("MessageBox Please choose a connection or app will be canceled"), 1u);
    EXPECT_EQ(app->ReportThread(), nullptr);
    EXPECT_TRUE(LogHas(*app, "TMainForm.LosGehts: no connection, cancel app"));
    EXPECT_EQ(LogHas(*app, "TMainForm.LosGehts First App start -> create first default session"), stored.empty());
    app->FormClose();
    EXPECT_TRUE(LogHas(*app, "TMainForm.SaveSettings AppCanceled NICHT speichern"));
    app.reset();
    EXPECT_EQ(Ini(), stored);
  }
}

TEST_F(AppTest, CancelledStoredSessionDoesNotHideTheOnesAfterIt) {
  // Session 0 was saved without a connection; its dialog is cancelled.
  WriteIni("SessionCount=3\nSession_0_FriendlyName=empty\nSession_1_OpenString=fake:1\nSession_2_OpenString=fake:2\n");
  auto app = MakeApp();
  ASSERT_TRUE(app->LosGehts());
  EXPECT_EQ(ui.Count("AskConnection 0"), 1u);
  EXPECT_EQ(app->Lists().GetSession(0), nullptr);
  ASSERT_NE(app->Lists().GetSession(1), nullptr);
  ASSERT_NE(app->Lists().GetSession(2), nullptr);
  EXPECT_EQ(app->Lists().GetSession(2)->OpenString(), "fake:2");
  app->FormClose();
  const std::string ini = Ini();
  EXPECT_NE(ini.find("SessionCount=2\r\n"), std::string::npos);
  EXPECT_NE(ini.find("Session_0_OpenString=fake:1\r\n"), std::string::npos);
  EXPECT_NE(ini.find("Session_1_OpenString=fake:2\r\n"), std::string::npos);
}

TEST_F(AppTest, RemovalWaitsForTheCycleAndSavingRenumbers) {
  WriteIni(StoredSessions(3) + "Info_1_Panel_1=True\n");
  auto app = MakeApp();
  ASSERT_TRUE(app->LosGehts());
  app->RemoveSessionRequest(1);
  EXPECT_NE(app->Lists().GetSession(1), nullptr);
  app->DisplayTimerTimer();
  EXPECT_EQ(app->Lists().GetSession(1), nullptr);
  EXPECT_TRUE(Control(1)->Probe->Destroyed);
  EXPECT_FALSE(Control(1)->Probe->DestroyedDuringPoll);
  EXPECT_TRUE(ui.Has("SessionRemoving 1"));
  EXPECT_FALSE(app->Settings().TestKeys("Session_1_"));
  EXPECT_FALSE(app->Settings().TestKeys("Info_1_Panel_"));
  EXPECT_TRUE(LogHas(*app, "TMainForm.DisplayTimerTimer SourceRemove nachholen"));

  // A new session takes the free index 1 and letter 'B'.
  ui.Answers.push_back(Answer("fake:new"));
  TSessionItem* added = app->SourceNew();
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(added->Index(), 1);
  EXPECT_TRUE(added->IsRunning());
  app->RemoveSessionRequest(1);
  app->DisplayTimerTimer();

  app->FormClose();
  EXPECT_EQ(ui.SavedMap, (std::vector<int>{0, -1, 1, -1}));
  EXPECT_EQ(app->Lists().GetSession(1)->OpenString(), "fake:2");
  const std::string ini = Ini();
  EXPECT_NE(ini.find("SessionCount=2\r\n"), std::string::npos);
  EXPECT_NE(ini.find("Session_1_OpenString=fake:2\r\n"), std::string::npos);
  EXPECT_EQ(ini.find("Session_2_"), std::string::npos);
}

TEST_F(AppTest, RemovalWithTimerOffGetsOneLastRun) {
  WriteIni(StoredSessions(1));
  Control(0)->OpenError = "refused";
  auto app = MakeApp();
  ASSERT_TRUE(app->LosGehts());
  EXPECT_TRUE(LogHas(*app, "TMainForm.OpenDevice: fake:0 failed: refused"));
  EXPECT_FALSE(ui.Has("MessageBox refused"));  // start-up shows no boxes
  // The failed open left a message, which gets one run of the display cycle.
  EXPECT_TRUE(timers.Display);
  app->DisplayTimerTimer();
  EXPECT_FALSE(timers.Display);
  EXPECT_TRUE(ui.Has("CreateMessageView"));
  EXPECT_TRUE(LogHas(*app, "TMainForm.DisplayTimerTimer last run"));
  EXPECT_FALSE(app->UpdateRunningConnections());

  app->RemoveSessionRequest(0);
  EXPECT_TRUE(timers.Display);
  EXPECT_TRUE(app->DisplayTimerLastRun());
  app->DisplayTimerTimer();
  EXPECT_EQ(app->Lists().GetSession(0), nullptr);
  EXPECT_FALSE(timers.Display);
}

TEST_F(AppTest, UserAddedSessionThatFailsToOpenIsRemovedAgain) {
  WriteIni(StoredSessions(1));
  auto app = MakeApp();
  ASSERT_TRUE(app->LosGehts());
  Control(1)->OpenError = "port busy";
  ui.Answers.push_back(Answer("fake:busy"));
  EXPECT_EQ(app->SourceNew(), nullptr);
  EXPECT_EQ(app->Lists().GetSession(1), nullptr);
  EXPECT_TRUE(ui.Has("MessageBox port busy"));
  EXPECT_FALSE(app->Settings().TestKeys("Session_1_"));
  const auto messages = app->Messages().Snapshot();
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.back().Code, 72);
  EXPECT_EQ(messages.back().Text, "port busy");
  EXPECT_TRUE(LogHas(*app, "TMainForm.SourceNewExecute: Open failed -> remove session"));
}

TEST_F(AppTest, ChangeInPlaceOrReplacedByTheCycle) {
  WriteIni(StoredSessions(1));
  auto app = MakeApp();
  ASSERT_TRUE(app->LosGehts());
  TSessionItem* old = app->Lists().GetSession(0);
  const uint64_t oldId = old->InstanceId();

  TSourceDialogResult rename = Answer("fake:0");
  rename.FriendlyName = "renamed";
  app->ChangeSession(0, rename);
  EXPECT_EQ(app->Lists().GetSession(0), old);
  EXPECT_EQ(old->FriendlyName(), "renamed");
  EXPECT_TRUE(ui.Has("SessionUpdated 0"));

  app->ChangeSession(0, Answer("fake:other"));
  EXPECT_EQ(app->Lists().GetSession(0), old);
  ui.Clear();
  app->DisplayTimerTimer();
  TSessionItem* fresh = app->Lists().GetSession(0);
  ASSERT_NE(fresh, nullptr);
  EXPECT_NE(fresh->InstanceId(), oldId);
  EXPECT_EQ(fresh->OpenString(), "fake:other");
  EXPECT_TRUE(fresh->IsRunning());
  EXPECT_FALSE(Control(0)->Probe->DestroyedDuringPoll);
  const auto removing = std::find(ui.Events.begin(), ui.Events.end(), "SessionRemoving 0 keep");
  const auto added = std::find(ui.Events.begin(), ui.Events.end(), "SessionAdded 0");
  EXPECT_LT(removing, added);
  EXPECT_NE(added, ui.Events.end());
  EXPECT_TRUE(LogHas(*app, "TMainForm.DoSessionChange[0] END"));
}

TEST_F(AppTest, LockedCycleOnlyLogs) {
  WriteIni(StoredSessions(1));
  auto app = MakeApp();
  app->DisplayTimerTimer();  // before start-up: nothing
  EXPECT_FALSE(ui.Has("UpdateViews"));
  ASSERT_TRUE(app->LosGehts());
  app->LockDisplayTimer();
  app->DisplayTimerTimer();
  EXPECT_FALSE(ui.Has("UpdateViews"));
  EXPECT_TRUE(LogHas(*app, "TMainForm.DisplayTimerTimer locked 1"));
  app->UnlockDisplayTimer();
  app->DisplayTimerTimer();
  EXPECT_TRUE(ui.Has("UpdateViews"));
}

class DisplayCycleTest : public AppTest {
 protected:
  void SetUp() override {
    WriteIni(StoredSessions(2));
    TVTA_AppOptions options = Options();
    options.MakeIVCCopy = [](TSessionItem& s) -> std::unique_ptr<TSessionItem> {
      return TFakeSession::MakeCopy(static_cast<TFakeSession&>(s));
    };
    app = MakeApp(std::move(options));
    ASSERT_TRUE(app->LosGehts());
    ui.Clear();
  }
  TFakeSession& Session(int32_t index) { return static_cast<TFakeSession&>(*app->Lists().GetSession(index)); }
  std::string LastMessage() const {
    const auto messages = app->Messages().Snapshot();
    return messages.empty() ? "" : messages.back().Text;
  }

  std::unique_ptr<TVTA_Application> app;
};

TEST_F(DisplayCycleTest, NoticesReachTheWindowsInOrder) {
  Session(1).Notify(swMode, 1);
  Session(0).Notify(swChannelCount, 8);
  Session(0).Notify(swPLLState, 0);  // nobody acts on it
  Session(1).Notify(swZCTonly, 0);
  Session(0).Notify(swDevices, 0);
  Session(1).Notify(swDevices, 0);  // one rebuild per run is enough
  ASSERT_NE(app->Lists().GetSessionCopy(1), nullptr);
  app->DisplayTimerTimer();
  const std::vector<std::string> notices = [&] {
    std::vector<std::string> out;
    for (const auto& e : ui.Events)
      if (e.rfind("SyncNotice", 0) == 0) out.push_back(e);
    return out;
  }();
  EXPECT_EQ(notices,
            (std::vector<std::string>{"SyncNotice 7 1", "SyncNotice 3 0", "SyncNotice 11 1", "SyncNotice 21 0"}));
  EXPECT_EQ(app->Lists().GetSessionCopy(1), nullptr);
  EXPECT_NE(app->Lists().GetSessionCopy(0), nullptr);
  EXPECT_EQ(app->Lists().SyncList().Count(), 0u);
  EXPECT_TRUE(LogHas(*app, "TMainForm.DisplayTimerTimer SyncList.Count=6"));
}

TEST_F(DisplayCycleTest, FailingNoticeIsDroppedAndTheRestWait) {
  ui.Throwing = {"SyncNotice 7"};
  Session(0).Notify(swMode, 1);
  Session(0).Notify(swScrambler, 2);
  app->DisplayTimerTimer();
  EXPECT_EQ(app->Lists().SyncList().Count(), 1u);
  EXPECT_EQ(LastMessage(), "Internal Exception DisplayTimer Synchronize(std::runtime_error): boom");
  EXPECT_TRUE(LogHas(*app, "TMainForm.DisplayTimerTimer Synchronize failed"));
  EXPECT_TRUE(ui.Has("UpdateViews"));  // the other parts still ran
  app->DisplayTimerTimer();
  EXPECT_TRUE(ui.Has("SyncNotice 8 0"));
  EXPECT_EQ(app->Lists().SyncList().Count(), 0u);
}

TEST_F(DisplayCycleTest, EachPartReportsItsOwnFailure) {
  struct TCase {
    std::string Hook, Log, User;
  };
  const std::vector<TCase> cases = {
      {"UpdateViews", "TMainForm.DisplayTimerTimer Child.UpdateDisplay failed",
       "Internal Exception DisplayTimer Child.UpdateDisplay(std::runtime_error): boom"},
      {"UpdateInfo", "TMainForm.DisplayTimerTimer info.UpdatePanel failed",
       "Internal Exception DisplayTimer Info.UpdatePanel(std::runtime_error): boom"},
      {"UpdateStatus", "TMainForm.DisplayTimerTimer failed", "Internal Exception DisplayTimer(std::runtime_error): boom"},
  };
  for (const TCase& c : cases) {
    ui.Clear();
    ui.Throwing = {c.Hook};
    app->DisplayTimerTimer();
    EXPECT_EQ(LastMessage(), c.User) << c.Hook;
    EXPECT_TRUE(LogHas(*app, c.Log)) << c.Hook;
    for (const char* part : {"UpdateViews", "UpdateInfo", "UpdateStatus"}) EXPECT_TRUE(ui.Has(part)) << c.Hook;
  }
}

TEST_F(DisplayCycleTest, MessagesFromThreadsOpenTheViewInfosOnlyRefreshIt) {
  app->Messages().AddInfoThread(0, 13, 0, "mode changed");
  app->DisplayTimerTimer();
  EXPECT_FALSE(ui.Has("CreateMessageView"));
  EXPECT_FALSE(ui.Has("UpdateMessageView"));

  Session(0).AddError(21, 0, "Reading Report Failed");  // sessions report via thread
  app->DisplayTimerTimer();
  EXPECT_TRUE(ui.Has("CreateMessageView"));
  EXPECT_TRUE(ui.Has("UpdateMessageView"));
  EXPECT_FALSE(app->Messages().UpdateNeeded());
  for (const auto& item : app->Messages().Snapshot()) EXPECT_FALSE(item.ViaThread) << item.Text;

  ui.Clear();
  app->DisplayTimerTimer();
  EXPECT_FALSE(ui.Has("UpdateMessageView"));

  ui.Throwing = {"UpdateMessageView"};
  app->Messages().AddErrorThread(0, 21, 0, "again");
  app->DisplayTimerTimer();
  EXPECT_EQ(LastMessage(), "Internal Exception DisplayTimer Messages Update(std::runtime_error): boom");
}

TEST_F(DisplayCycleTest, SerialNumberReachesTheCopyOnce) {
  app->DisplayTimerTimer();
  EXPECT_EQ(app->Lists().GetSessionCopy(0)->SerialNumber(), kSerialNumberUnknown);
  Control(0)->Serial = 0x1234ABCD;
  app->DisplayTimerTimer();
  app->DisplayTimerTimer();
  EXPECT_EQ(app->Lists().GetSessionCopy(0)->SerialNumber(), 0x1234ABCDu);
  const std::string log = Log(*app);
  const std::string line = "TMainForm.DisplayTimerTimer Session(0) Seriennummer eingelesen: 1234ABCD";
  EXPECT_NE(log.find(line), std::string::npos);
  EXPECT_EQ(log.find(line), log.rfind(line));
  EXPECT_NE(log.find("TMainForm.DisplayTimerTimer Session(0) Seriennummer in Kopie 1 setzen"), std::string::npos);

  Control(1)->ThrowSerial = true;
  app->DisplayTimerTimer();
  EXPECT_EQ(LastMessage(), "Internal Exception DisplayTimer Session.SerialNumber(std::runtime_error): no serial");
}

// The built-in sensor session in the check cycle: a sensor unit waits for a counter, and when none
// came it is closed with a message that names the missing counter.
TEST_F(AppTest, CheckCycleClosesARealSensorWithTheMissingCounterNamed) {
  WriteIni(StoredSessions(2) + "Session_0_SessionType=1\nSession_0_OpenString=TCW122B-CM: 192.0.2.9\n"
                               "Session_1_SessionType=0\n");
  Control(1)->OpenError = "no counter";
  TVTA_AppOptions options = Options();
  AddBuiltInSessionKinds(options);
  options.MakeSessionFactory = [this](const TSessionHandlers& handlers, TDebugConf& conf, TVTASettings&) -> TSessionFactory {
    return [this, handlers, &conf](int32_t type, int32_t index) -> std::unique_ptr<TSessionItem> {
      if (type == kSessionTypeSensor) {
        auto sensor = TSensorSessionItem::Make(conf.SourceLogId(index), index, handlers);
        sensor->SetDeviceMaker([](bool, const std::string&, int32_t logId, const TClock& clock, std::string&) {
          return std::make_unique<THandFedSensor>(logId, clock);
        });
        return sensor;
      }
      return TSessionItem::Create<TAppFakeSession>(index, Control(index), handlers, conf.SourceLogId(index));
    };
  };
  auto app = MakeApp(std::move(options));
  ASSERT_TRUE(app->LosGehts());
  ASSERT_TRUE(app->Lists().GetSession(0)->IsRunning());
  EXPECT_TRUE(timers.Check);

  app->CheckTimerTimer();
  EXPECT_FALSE(app->Lists().GetSession(0)->IsRunning());
  int told = 0;
  for (const auto& item : app->Messages().Snapshot()) told += item.Text == "Disconnect (missing ZCT)";
  EXPECT_EQ(told, 1);
}

TEST_F(AppTest, CheckCycleClosesSensorsWhoseCounterNeverCame) {
  WriteIni(StoredSessions(2) + "Session_0_SessionType=1\nSession_1_SessionType=0\n");
  Control(1)->OpenError = "no counter";
  TVTA_AppOptions options = Options();
  options.SensorNeedsCounter = [](const TSessionItem&) { return true; };
  auto app = MakeApp(std::move(options));
  ASSERT_TRUE(app->LosGehts());
  EXPECT_TRUE(timers.Check);
  EXPECT_TRUE(LogHas(*app, "TMainForm.CheckSensorConnections sensor 0 needs QV"));
  EXPECT_TRUE(LogHas(*app, "TMainForm.CheckSensorConnections start CheckTimer"));

  app->CheckTimerTimer();
  EXPECT_FALSE(timers.Check);
  EXPECT_FALSE(app->Lists().GetSession(0)->IsRunning());
  EXPECT_EQ(Control(0)->Probe->Closes.load(), 1);
  EXPECT_TRUE(LogHas(*app, "TMainForm.CheckTimerTimer close sensor 0"));
  EXPECT_TRUE(LogHas(*app, "TMainForm.CheckTimerTimer END -> disabled"));

  // Once the counter is open, the sensor no longer waits.
  Control(1)->OpenError.clear();
  ASSERT_TRUE(app->ReopenSession(1));
  EXPECT_FALSE(app->CheckSensorConnections());
  EXPECT_FALSE(timers.Check);
  EXPECT_TRUE(LogHas(*app, "TMainForm.CheckSensorConnections session 1 has QV"));
}

// A component stands for the multi-sampler or the notifications.
class TProbeComponent : public IVTA_AppComponent {
 public:
  TProbeComponent(std::vector<std::string>& events, std::shared_ptr<TFakeProbe> probe)
      : FEvents(events), FProbe(std::move(probe)) {}
  void ReadSettings(TVTASettings&, const TSessionLists&) override { FEvents.push_back("component read"); }
  void SessionListChanged(const TSessionLists&) override {}
  void SessionRemoving(TSessionItem&) override {}
  void SaveSettings(TVTASettings& settings, const TSessionIndexMap&) override {
    settings.SetValue("Log_DefsCount", int32_t(0));
  }
  bool LogFileActive() const override { return true; }
  void Stop() override {
    FEvents.push_back(FProbe->Destroyed ? "component stop after sessions" : "component stop before sessions");
  }

 private:
  std::vector<std::string>& FEvents;
  std::shared_ptr<TFakeProbe> FProbe;
};

TEST_F(AppTest, ClosingAsksWhileLoggingAndSavesComponentsAfterWindows) {
  WriteIni(StoredSessions(1));
  auto app = MakeApp();
  app->AddComponent(std::make_unique<TProbeComponent>(ui.Events, Control(0)->Probe));
  ASSERT_TRUE(app->LosGehts());
  EXPECT_LT(std::find(ui.Events.begin(), ui.Events.end(), "ReadWindowSettings"),
            std::find(ui.Events.begin(), ui.Events.end(), "component read"));

  ui.QuestionAnswer = false;
  EXPECT_FALSE(app->FormCloseQuery());
  EXPECT_TRUE(ui.Has("Question Logging is active\nClose application?"));
  EXPECT_TRUE(LogHas(*app, "TMainForm.FormCloseQuery END CanClose=False"));
  ui.Clear();
  app->QueryEndSession();
  EXPECT_TRUE(app->FormCloseQuery());
  EXPECT_TRUE(ui.Events.empty());

  app->FormClose();
  const std::string ini = Ini();
  EXPECT_LT(ini.find("View_1_Id="), ini.find("Log_DefsCount="));
  app.reset();
  // The component ends after the report thread, while the sessions still exist.
  EXPECT_TRUE(ui.Has("component stop before sessions"));
  EXPECT_FALSE(Control(0)->Probe->DestroyedDuringPoll);
}

TEST_F(AppTest, FailedStartUpSavesNothing) {
  WriteIni(StoredSessions(3));
  ui.Throwing = {"ReadWindowSettings"};
  auto app = MakeApp();
  EXPECT_THROW(app->LosGehts(), std::runtime_error);
  app->FormClose();
  EXPECT_TRUE(LogHas(*app, "TMainForm.SaveSettings start-up not finished, NICHT speichern"));
  app.reset();
  EXPECT_EQ(Ini(), StoredSessions(3));
}

TEST_F(AppTest, DestructionWithoutCloseStopsTheReportThreadFirst) {
  WriteIni(StoredSessions(2));
  auto app = MakeApp();
  ASSERT_TRUE(app->LosGehts());
  Control(0)->Probe->Busy = true;  // keeps the report thread polling without pause
  ASSERT_TRUE(Control(0)->Probe->WaitForPolls(3));
  app.reset();
  for (int i = 0; i < 2; ++i) {
    EXPECT_TRUE(Control(i)->Probe->Destroyed);
    EXPECT_FALSE(Control(i)->Probe->DestroyedDuringPoll);
  }
  EXPECT_EQ(ReadWholeFile(IniFile()), StoredSessions(2));  // destruction alone saves nothing
}

TEST_F(AppTest, SplashOnlyOnTheOwnerThread) {
  auto app = MakeApp();
  app->ShowSplash("Connecting", app->LogId());
  std::thread other([&] { app->ShowSplash("elsewhere", app->LogId()); });
  other.join();
  app->HideSplash();
  EXPECT_EQ(ui.Events, (std::vector<std::string>{"ShowSplash Connecting", "HideSplash"}));
  EXPECT_TRUE(LogHas(*app, "ShowSplash Connecting"));
}

}  // namespace

namespace {

// A stored session this build cannot make (here: LabJack) is not opened; the user is told once,
// and its keys come back behind the open sessions at the next save, renumbered like them.
TEST_F(AppTest, AStoredSessionThatCannotBeOpenedKeepsItsKeysThroughASave) {
  WriteIni("SessionCount=3\nSession_0_OpenString=fake:0\nSession_1_SessionType=2\nSession_1_OpenString=LJ:T7\n"
           "Session_1_Color=255\nSession_1_Names=a, b\nSession_2_OpenString=fake:2\n");
  auto app = MakeApp();
  ASSERT_TRUE(app->LosGehts());
  EXPECT_EQ(app->Lists().GetSession(1), nullptr);
  int told = 0;
  for (const auto& item : app->Messages().Snapshot())
    if (item.Text.find("Source B not opened: LabJack sensor sessions are not available in this version") !=
        std::string::npos)
      ++told;
  EXPECT_EQ(told, 1);
  app->FormClose();
  const std::string ini = Ini();
  EXPECT_NE(ini.find("SessionCount=3\r\n"), std::string::npos) << ini;
  EXPECT_NE(ini.find("Session_0_OpenString=fake:0\r\n"), std::string::npos);
  EXPECT_NE(ini.find("Session_1_OpenString=fake:2\r\n"), std::string::npos);
  for (const char* key : {"Session_2_SessionType=2\r\n", "Session_2_OpenString=LJ:T7\r\n", "Session_2_Color=255\r\n",
                          "Session_2_Names=a, b\r\n"})
    EXPECT_NE(ini.find(key), std::string::npos) << key;
}

}  // namespace

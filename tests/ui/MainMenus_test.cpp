#include <gtest/gtest.h>

#include <QActionGroup>
#include <QCheckBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPointer>
#include <QTest>

#include "ui/MainFormTestSupport.h"
#include "ui/SessionActions.h"

namespace {

// The items of one counter session in the "&Source" menu, indented by `indent`.
std::vector<std::string> CounterItems(const std::string& indent, bool removable) {
  std::vector<std::string> items = {"&Mode"};
  for (const char* mode : {"Phase", "Phase Average", "Frequency", "Frequency Average", "Phase Difference",
                           "Phase Avg Difference"})
    items.push_back(std::string("  ") + mode);
  items.push_back("&Interval");
  for (const char* rate :
       {"1ms", "2ms", "5ms", "10ms", "20ms", "50ms", "100ms", "200ms", "500ms", "1s", "2s", "5s", "10s", "20s"})
    items.push_back(std::string("  ") + rate);
  const std::vector<std::string> rest = {"&Scrambler",
                                         "  in use (off)",
                                         "  Off",
                                         "  Auto",
                                         "  Trim",
                                         "  -",
                                         "  Show in Info Box",
                                         "&PPI",
                                         "  Use PPI",
                                         "  -",
                                         "  Show in Info Box",
                                         "-",
                                         "Run Local Server ...",
                                         "-",
                                         "Channel Colors/Names...",
                                         "Clock Warnings...",
                                         "Digital-Input Names...",
                                         "Nominal Frequencies...",
                                         "ZCT High Resolution Channels...",
                                         "IVC Calibration...",
                                         "&Allan Deviation",
                                         "  Restart Calculation",
                                         "  Clear Min-/Max Values",
                                         "  Configuration...",
                                         "  -",
                                         "  Show in Info Box",
                                         "Virtual ZCT Channels...",
                                         "Virtual IVC Channels...",
                                         "-",
                                         "Config Device...",
                                         "-",
                                         "&Change Source...",
                                         "Re-Open Source"};
  items.insert(items.end(), rest.begin(), rest.end());
  if (removable) items.push_back("Remove Source");
  for (std::string& item : items) item = indent + item;
  return items;
}

std::vector<std::string> Concat(std::vector<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

const std::vector<std::string> kActionItems = {"Sync Enable", "Diff Reset", "Clear Buffer", "Version"};

std::vector<std::string> Indented(const std::vector<std::string>& items) {
  std::vector<std::string> indented;
  for (const std::string& item : items) indented.push_back("  " + item);
  return indented;
}

TEST_F(MainFormTest, OneSessionStandsDirectlyInTheMenusWithoutRemoveSource) {
  TMainForm& window = Started(1);
  EXPECT_EQ(MenuLines(TopMenu(window, "&Source")), Concat({CounterItems("", false), {"-", "&New Source..."}}));
  EXPECT_EQ(MenuLines(TopMenu(window, "&Action")), kActionItems);

  std::vector<std::string> bar;
  for (QAction* action : window.menuBar()->actions()) bar.push_back(action->text().toStdString());
  EXPECT_EQ(bar, (std::vector<std::string>{"&Source", "&Window", "&Action", "&Logging", "&Devices", "&Options", "&Help"}));
  EXPECT_EQ(MenuLines(TopMenu(window, "&Logging")),
            (std::vector<std::string>{"New Log Configuration... (off)", "Source A", "Root Folder...",
                                      "Time settings...", "Debug Files...", "-"}));
  EXPECT_EQ(MenuLines(TopMenu(window, "&Options")),
            (std::vector<std::string>{"Decimal separator window", "  point", "  comma", "Decimal separator log files",
                                      "  point", "  comma", "Temperature unit", "  °C", "  °F",
                                      "Email Notifications...", "Config Email Server...",
                                      "Popup Message Notifications...", "-", "Save Settings"}));
  EXPECT_EQ(MenuLines(TopMenu(window, "&Help")),
            (std::vector<std::string>{"User Manual", "  English", "  German", "-", "&Info..."}));
}

TEST_F(MainFormTest, TwoSessionsGetOneSubmenuEachWithRemoveSource) {
  TMainForm& window = Started(2);
  EXPECT_EQ(MenuLines(TopMenu(window, "&Source")),
            Concat({{"Source A"}, CounterItems("  ", true), {"Source B"}, CounterItems("  ", true), {"-", "&New Source..."}}));
  EXPECT_EQ(MenuLines(TopMenu(window, "&Action")),
            Concat({{"Source A"}, Indented(kActionItems), {"Source B"}, Indented(kActionItems)}));
  // The submenus carry the session's icon.
  for (QAction* item : TopMenu(window, "&Source")->actions()) {
    if (item->menu()) {
      EXPECT_FALSE(item->icon().isNull()) << item->text().toStdString();
    }
  }

  // Removing B brings A's items back to the top, without "Remove Source", and frees B's clones.
  window.App().RemoveSessionRequest(1);
  window.App().DisplayTimerTimer();
  EXPECT_EQ(MenuLines(TopMenu(window, "&Source")), Concat({CounterItems("", false), {"-", "&New Source..."}}));
  EXPECT_TRUE(window.SessionActions().ExistingActions(1).empty());
}

TEST_F(MainFormTest, NewSourceMovesTheFirstSessionIntoItsSubmenu) {
  TMainForm& window = Started(1);
  answers.push_back(Answer("fake:new"));
  TopMenu(window, "&Source")->actions().last()->trigger();
  ASSERT_NE(window.App().Lists().GetSession(1), nullptr);
  const std::vector<std::string> lines = MenuLines(TopMenu(window, "&Source"));
  EXPECT_EQ(lines.front(), "Source A");
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "  Remove Source"), 2);
}

TEST_F(MainFormTest, RenamingFromASubmenuKeepsThatSubmenuUntilItsEventIsDone) {
  TMainForm& window = Started(2);
  QPointer<QMenu> submenu = TopMenu(window, "&Source")->actions().front()->menu();
  ASSERT_TRUE(submenu);
  TSourceDialogResult renamed = Answer("fake:0");
  renamed.FriendlyName = "renamed";
  answers.push_back(renamed);
  Action("SourceChange", 0)->trigger();  // the same source: changed in place, the menus rebuilt
  EXPECT_TRUE(submenu);
  EXPECT_EQ(TopMenu(window, "&Source")->actions().front()->text(), "Source renamed");
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_FALSE(submenu);
}

TEST_F(MainFormTest, ExpertModeAddsRawModesHeartbeatsMemoryAndIntern) {
  WriteIni(StoredSessions(1));
  TMainFormOptions options = Options();
  options.App.ExpertMode = true;
  TMainForm& window = MakeForm(std::move(options));
  ASSERT_TRUE(window.FormActivate());
  const std::vector<std::string> source = MenuLines(TopMenu(window, "&Source"));
  EXPECT_NE(std::find(source.begin(), source.end(), "  Raw Data Average"), source.end());
  EXPECT_EQ(MenuLines(TopMenu(window, "&Action")).back(), "Show Heartbeats");
  EXPECT_EQ(MenuLines(TopMenu(window, "&Help")).back(), "Memory State");
  EXPECT_EQ(MenuLines(TopMenu(window, "Intern")), (std::vector<std::string>{"Intern: Test", "Send Command"}));
}

TEST_F(MainFormTest, NamesInMenusKeepTheirAmpersand) {
  WriteIni(StoredSessions(2) + "Session_1_FriendlyName=R&D\n");
  MakeForm();
  ASSERT_TRUE(form->FormActivate());
  const std::vector<std::string> lines = MenuLines(TopMenu(*form, "&Source"));
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Source R&&D"), lines.end());
  const std::vector<std::string> logging = MenuLines(TopMenu(*form, "&Logging"));
  EXPECT_NE(std::find(logging.begin(), logging.end(), "Source B: R&&D"), logging.end());
}

// ---------------------------------------------------------------- actions and commands

struct TActionCase {
  const char* Template;
  int32_t Session;
  const char* Name;
  int32_t Tag;
  int32_t Group;
  std::string Bytes;
  std::string Text;
};

TEST_F(MainFormTest, ActionsCarryTagGroupAndSendTheirCommand) {
  Started(3);
  const std::vector<TActionCase> cases = {
      {"ModeFrequency", 2, "ModeFrequency_2", 514, 514, "\x42", "Mode Frequency"},
      {"ModePhase", 0, "ModePhase", 0, 2, "\x40", "Mode Phase"},
      {"Rate20s", 1, "Rate20s_1", 256 + 13, 256 + 3, "\x2D", "Interval 20s"},
      {"ScramblerTrim", 0, "ScramblerTrim", 15, 4, "\x5F", "Scrambler Trim"},
      {"ScramblerAuto", 2, "ScramblerAuto_2", 512 + 14, 512 + 4, "\x5E", "Scrambler Auto"},
      {"ActionGetVersion", 1, "ActionGetVersion_1", 257, 0, "\x01", "Version"},
      {"ActionReCenter", 0, "ActionReCenter", 2, 0, "\x0A", "Diff Reset"},
      {"ActionSyncEnable", 2, "ActionSyncEnable_2", 515, 0, "\x0F", "Sync Enable"},
      {"ActionClearTransmit", 1, "ActionClearTransmit_1", 256, 0, "\x80", "Clear Buffer"},
  };
  for (const TActionCase& c : cases) {
    SCOPED_TRACE(c.Name);
    QAction* action = Action(c.Template, c.Session);
    EXPECT_EQ(action->objectName().toStdString(), c.Name);
    EXPECT_EQ(TSessionActions::Tag(*action), c.Tag);
    EXPECT_EQ(TSessionActions::Group(*action), c.Group);
    probe->Commands.clear();
    action->trigger();
    EXPECT_EQ(probe->Commands, (std::vector<TSentCommand>{{c.Session, c.Bytes, c.Text}}));
  }
  EXPECT_TRUE(Action("ActionSyncEnable", 2)->isChecked());
  EXPECT_TRUE(LogHas("TMainForm.DeviceModeExecute[2]: Id=2"));
}

TEST_F(MainFormTest, RadioChoicesOfOneSessionAreIndependentOfTheOther) {
  Started(2);
  Action("ModeFrequency", 0)->trigger();
  Action("ModePhase", 1)->trigger();
  EXPECT_TRUE(Action("ModeFrequency", 0)->isChecked());
  EXPECT_TRUE(Action("ModePhase", 1)->isChecked());
  Action("ModePhaseAvg", 0)->trigger();
  EXPECT_FALSE(Action("ModeFrequency", 0)->isChecked());
  EXPECT_TRUE(Action("ModePhaseAvg", 0)->isChecked());
  EXPECT_TRUE(Action("ModePhase", 1)->isChecked());
  EXPECT_NE(Action("ModePhase", 0)->actionGroup(), Action("ModePhase", 1)->actionGroup());
}

TEST_F(MainFormTest, UsePPISendsIntervalAndTheOffsetTypedInTheInfoView) {
  TMainForm& window = Started(1);
  Session(0).SetInterval(100);
  auto* edit = window.InfoView(0)->findChild<QLineEdit*>("EditPPIoffset");
  ASSERT_NE(edit, nullptr);
  const auto typeOffset = [&](const char* text) {
    edit->clear();
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
  };
  typeOffset("-5");

  QAction* ppi = Action("PPIactive", 0);
  ppi->trigger();  // checked
  const std::string expected("\x60\x64\x00\x1B\x4E", 5);  // 0x60, 100, 19995 little-endian
  EXPECT_EQ(probe->Commands, (std::vector<TSentCommand>{{0, expected, "Use PPI Offset -5"}}));

  ppi->trigger();  // unchecked: the instrument's default
  EXPECT_EQ(probe->Commands.back(), (TSentCommand{0, std::string("\x60\xFF\xFF\xFF\xFF", 5), "Use PPI default"}));

  // "Control PPI" in the info view runs the same action; one not smaller than the interval is warned
  // about and still sent, and while PPI is controlled a new offset goes out at once.
  typeOffset("150");
  window.InfoView(0)->findChild<QCheckBox*>("CheckPPI")->click();
  EXPECT_TRUE(ppi->isChecked());
  EXPECT_EQ(probe->Commands.back(), (TSentCommand{0, std::string("\x60\x64\x00\x96\x00", 5), "Use PPI Offset 150"}));
  typeOffset("-7");
  EXPECT_EQ(probe->Commands.back(), (TSentCommand{0, std::string("\x60\x64\x00\x19\x4E", 5), "Use PPI Offset -7"}));
  bool warned = false;
  for (const TMessageItem& item : window.App().Messages().Snapshot())
    warned = warned || (item.Code == 17 && item.Text == "PPI offset larger than interval");
  EXPECT_TRUE(warned);
}

TEST_F(MainFormTest, NoticesCheckTheChoicesAndTrimTheMenus) {
  TMainForm& window = Started(1);
  TRecordingSession& session = Session(0);
  session.Notify(swMode, 3);
  session.Notify(swRateIndex, 9);
  session.Notify(swScrambler, 3);
  window.App().DisplayTimerTimer();
  EXPECT_TRUE(Action("ModeFrequAvg", 0)->isChecked());
  EXPECT_TRUE(Action("Rate1s", 0)->isChecked());
  EXPECT_TRUE(Action("ScramblerInUse", 0)->isChecked());

  Action("ActionSyncEnable", 0)->trigger();
  session.Notify(swReSync, 0);
  window.App().DisplayTimerTimer();
  EXPECT_FALSE(Action("ActionSyncEnable", 0)->isChecked());

  const auto has = [&](const char* menu, const std::string& item) {
    const std::vector<std::string> lines = MenuLines(TopMenu(window, menu));
    return std::find(lines.begin(), lines.end(), item) != lines.end();
  };
  session.Notify(swPeer, 0);  // Coldfire-based: no PPI
  window.App().DisplayTimerTimer();
  EXPECT_FALSE(has("&Source", "&PPI"));
  session.Notify(swZCTonly, 0);
  window.App().DisplayTimerTimer();
  EXPECT_FALSE(has("&Source", "IVC Calibration..."));
  EXPECT_FALSE(has("&Source", "Virtual IVC Channels..."));
  EXPECT_TRUE(has("&Source", "&Mode"));
}

// A recording or another instance's data stream has no instrument to configure.
TEST_F(MainFormTest, ConfigDeviceIsOffForRecordingsAndDataStreams) {
  WriteIni("SessionCount=4\n"
           "Session_0_OpenString=fake:0\nSession_0_ConnectionType=4\n"
           "Session_1_OpenString=fake:1\nSession_1_ConnectionType=3\n"
           "Session_2_OpenString=fake:2\nSession_2_ConnectionType=2\n"
           "Session_3_OpenString=fake:3\n"
           "ChildCount=0\n");
  MakeForm();
  ASSERT_TRUE(form->FormActivate());
  const std::vector<std::pair<int32_t, bool>> cases = {{0, false}, {1, false}, {2, true}, {3, true}};
  for (const auto& [index, enabled] : cases) EXPECT_EQ(Action("SourceConfig", index)->isEnabled(), enabled) << index;
}

TEST_F(MainFormTest, AnIntervalCounterOnlySessionKeepsItsOwnItems) {
  TMainForm& window = Started(1);
  Session(0).Notify(swIVConly, 0);
  window.App().DisplayTimerTimer();
  EXPECT_EQ(MenuLines(TopMenu(window, "&Source")),
            (std::vector<std::string>{"Run Local Server ...", "-", "Channel Colors/Names...", "IVC Calibration...",
                                      "Virtual IVC Channels...", "-", "Config Device...", "-",
                                      "&Change Source...", "Re-Open Source", "-", "&New Source..."}));
  EXPECT_EQ(MenuLines(TopMenu(window, "&Action")), (std::vector<std::string>{"Clear Buffer", "Version"}));
}

TEST_F(MainFormTest, TemplatesOfSessionZeroSurviveItsRemovalWithTheirFirstState) {
  TSessionActions actions(nullptr, {});
  QAction* mode = actions.Action("ModeFrequency", 0);
  QAction* clone = actions.Action("ModeFrequency", 1);
  mode->setChecked(true);
  mode->setEnabled(false);
  actions.RemoveSession(0);
  EXPECT_EQ(actions.Action("ModeFrequency", 0), mode);
  EXPECT_FALSE(mode->isChecked());
  EXPECT_TRUE(mode->isEnabled());
  EXPECT_FALSE(actions.Action("ScramblerInUse", 0)->isEnabled());
  EXPECT_EQ(actions.ExistingActions(1), std::vector<QAction*>{clone});
  actions.RemoveSession(1);
  EXPECT_TRUE(actions.ExistingActions(1).empty());
  EXPECT_THROW(actions.Action("NoSuchAction", 0), std::out_of_range);
}

}  // namespace

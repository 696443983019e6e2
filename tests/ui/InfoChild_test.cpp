#include "ui/InfoChild.h"

#include <QAbstractItemView>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <map>

#include "UiTestSessions.h"
#include "acquisition/QVSessionTestSupport.h"
#include "core/VTA_DebugConf.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

namespace {

// The main window's per-session actions as far as the info view uses them: template tag + session
// index * 256, clones named template + "_" + index, one exclusive radio group per session and kind.
class TFakeActions : public IInfoActions {
 public:
  struct TRun {
    std::string Name;
    int32_t Tag;
    bool Checked;
    int16_t PPIoffset;
  };

  QAction* SessionAction(int32_t sessionIndex, const QString& templateName) override {
    const std::string name = templateName.toStdString();
    const auto t = Templates().find(name);
    if (t == Templates().end() || (!OfferAllan && name.starts_with("SourceAllan"))) return nullptr;
    auto* action = new QAction(templateName, &Owner);
    action->setObjectName(sessionIndex == 0 ? templateName : templateName + "_" + QString::number(sessionIndex));
    action->setProperty("tag", t->second.first + sessionIndex * 256);
    action->setCheckable(t->second.second != 0 || name.starts_with("InfoShow") || name == "PPIactive");
    if (const int group = t->second.second) {
      QActionGroup*& g = Groups[sessionIndex * 256 + group];
      if (!g) g = new QActionGroup(&Owner);
      action->setActionGroup(g);
    }
    QObject::connect(action, &QAction::triggered, &Owner, [this, action] { Triggered(*action); });
    Actions[action->objectName().toStdString()] = action;
    return action;
  }

  // What the main window does on "Show in Info Box": the panel follows the check mark.
  void Triggered(QAction& action) {
    const int32_t tag = action.property("tag").toInt();
    Runs.push_back({action.objectName().toStdString(), tag, action.isChecked(), View ? View->GetPPIoffset() : int16_t(0)});
    if (View && action.objectName().startsWith("InfoShow")) View->ShowPanel(tag & 0xFF, action.isChecked());
  }

  // Template name -> (tag, radio group).
  static const std::map<std::string, std::pair<int32_t, int32_t>>& Templates() {
    static const std::map<std::string, std::pair<int32_t, int32_t>> table = [] {
      std::map<std::string, std::pair<int32_t, int32_t>> t = {
          {"ModePhase", {0, 2}},         {"ModePhaseAvg", {1, 2}},      {"ModeFrequency", {2, 2}},
          {"ModeFrequAvg", {3, 2}},      {"ModePhaseDiff", {4, 2}},     {"ModePhaseDiffAvg", {5, 2}},
          {"ModeRawData", {6, 2}},       {"ModeRawDataAvg", {7, 2}},    {"ScramblerOff", {0, 4}},
          {"ScramblerAuto", {14, 4}},    {"ScramblerTrim", {15, 4}},    {"PPIactive", {0, 0}},
          {"InfoShowScrambler", {3, 0}}, {"InfoShowLogging", {4, 0}},   {"InfoShowAllan", {6, 0}},
          {"InfoShowPPI", {7, 0}},       {"ActionReCenter", {2, 0}},    {"ActionSyncEnable", {3, 0}},
          {"ActionViewDebug", {4, 0}},   {"SourceAllanRestart", {1, 0}}, {"SourceAllanClearPersist", {2, 0}}};
      const char* const rates[] = {"1ms", "2ms",   "5ms",   "10ms",  "20ms", "50ms", "100ms",
                                   "200ms", "500ms", "1s", "2s", "5s",   "10s",  "20s"};
      for (int32_t i = 0; i < 14; ++i) t[std::string("Rate") + rates[i]] = {i, 3};
      return t;
    }();
    return table;
  }

  std::vector<std::string> RunNames() const {
    std::vector<std::string> names;
    for (const TRun& run : Runs) names.push_back(run.Name);
    return names;
  }

  QObject Owner;
  std::map<int32_t, QActionGroup*> Groups;
  std::map<std::string, QAction*> Actions;
  std::vector<TRun> Runs;
  TInfoChild* View = nullptr;
  bool OfferAllan = true;
};

// A counter session whose allowed interval range the test chooses.
class TRangeSession : public TTestCounterSession {
 public:
  using TTestCounterSession::TTestCounterSession;
  void SetRange(const TRange& range) { FRangeInterval = range; }
};

std::string Text(const QLabel* label) { return label->text().toStdString(); }
bool IsRed(const QLabel* label) { return label->palette().color(QPalette::WindowText) == QColor(Qt::red); }

std::vector<std::string> Entries(const QComboBox* combo) {
  std::vector<std::string> entries;
  for (int i = 0; i < combo->count(); ++i) entries.push_back(combo->itemText(i).toStdString());
  return entries;
}

// The user opens the list and picks an entry.
void Choose(QComboBox* combo, int index) {
  combo->showPopup();
  combo->view()->setCurrentIndex(combo->model()->index(index, 0));
  QTest::keyClick(combo->view(), Qt::Key_Return);
}

class InfoChildTest : public ::testing::Test {
 protected:
  InfoChildTest() {
    conf.SetLogId(log.Id());
    env.DebugConf = &conf;
    env.Facts = [this](TSessionItem&) { return facts; };
    env.BufferLevels = [this](TSessionItem&) { return levels; };
    env.Message = [this](const QString& caption, const QString& text) {
      boxes.emplace_back(caption.toStdString(), text.toStdString());
    };
    env.Beep = [this] { ++beeps; };
    facts.Counter = true;
  }
  ~InfoChildTest() override { SetExpertMode(false); }

  TInfoChild& Make(int32_t index = 0, const TRange& range = {}, const std::string& friendly = "") {
    view.reset();
    session = TSessionItem::Create<TRangeSession>(index);
    session->SetOpenParams("DemoData", 0, 0x00FFFF, friendly);
    session->SetRange(range);
    view = std::make_unique<TInfoChild>(nullptr, *session, env);
    actions.View = view.get();
    view->BindActions(actions);
    return *view;
  }

  template <typename T>
  T* Find(const char* name) const {
    T* widget = view->findChild<T*>(name);
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  QLabel* Label(int id) const { return Find<QLabel>(QString("Label%1").arg(id).toUtf8().constData()); }
  QAction* Action(const std::string& name) const { return actions.Actions.at(name); }
  std::vector<int> Visible() const {
    std::vector<int> ids;
    for (int id = 1; id <= TInfoChild::kPanelCount; ++id)
      if (view->PanelVisible(id)) ids.push_back(id);
    return ids;
  }

  TTempDir dir;
  TLogCapture log;
  TDebugConf conf{dir.File("VTA_DebugConf.ini")};
  TInfoSessionFacts facts;
  TInfoBufferLevels levels;
  TInfoEnvironment env;
  std::vector<std::pair<std::string, std::string>> boxes;
  int beeps = 0;
  TFakeActions actions;
  std::unique_ptr<TRangeSession> session;
  std::unique_ptr<TInfoChild> view;
};

// ---- Texts and panel sets ----

TEST_F(InfoChildTest, PanelsShowTheirTexts) {
  Make(1, {}, "Lab");
  EXPECT_EQ(view->windowTitle().toStdString(), "   Info[B: Lab]");
  EXPECT_EQ(view->DbgTag(), "TInfoChild[1]");
  const std::vector<std::string> titles = {"Mode", "Interval", "Scrambler", "Log Files", "IVC", "Allan Deviation", "PPI"};
  for (int id = 1; id <= 7; ++id) {
    EXPECT_EQ(Text(Label(id)), titles[size_t(id - 1)]);
    const auto* close = view->findChild<QToolButton*>(QString("Close%1").arg(id));
    const bool closable = id == 3 || id == 4 || id == 6 || id == 7;
    ASSERT_EQ(close != nullptr, closable) << id;
    if (closable) {
      EXPECT_EQ(close->text().toStdString(), " X ");
    }
  }
  EXPECT_EQ(Entries(Find<QComboBox>("ComboMode")),
            (std::vector<std::string>{"Phase", "Phase Average", "Frequency", "Frequency Avg.", "Phase Difference",
                                      "Phase Avg Diff."}));
  EXPECT_EQ(Entries(Find<QComboBox>("ComboRate")),
            (std::vector<std::string>{"1ms", "2ms", "5ms", "10ms", "20ms", "50ms", "100ms", "200ms", "500ms", "1s",
                                      "2s", "5s", "10s", "20s"}));
  EXPECT_EQ(Find<QRadioButton>("RadioScramblerOff")->text(), "Off");
  EXPECT_EQ(Find<QRadioButton>("RadioScramblerAuto")->text(), "Auto");
  EXPECT_EQ(Find<QRadioButton>("RadioScramblerTrim")->text(), "Trim");
  EXPECT_EQ(Text(Find<QLabel>("LabelNoLog")), "none defined");
  EXPECT_EQ(Find<QCheckBox>("CheckDebug")->text(), "Debug");
  EXPECT_EQ(Find<QCheckBox>("CheckStream")->text(), "Stream");
  EXPECT_EQ(Find<QCheckBox>("CheckTest")->text(), "Test Reports");
  EXPECT_EQ(Text(Find<QLabel>("LabelIVCChannels")), "Channels: -");
  EXPECT_EQ(Find<QPushButton>("BtnAllanRestart")->text(), "Restart");
  EXPECT_EQ(Find<QPushButton>("BtnAllanClear")->text(), "Clear");
  EXPECT_EQ(Find<QCheckBox>("CheckPPI")->text(), "Control PPI");
  EXPECT_EQ(Find<QLineEdit>("EditPPIoffset")->text(), "0");
  EXPECT_EQ(Find<QPushButton>("BtnPPIplus")->text(), "+");
  EXPECT_EQ(Find<QPushButton>("BtnPPIminus")->text(), "-");
  EXPECT_EQ(Find<QPushButton>("BtnSyncEnable")->text(), "Sync Enable");
  EXPECT_EQ(Find<QPushButton>("BtnDiffReset")->text(), "Diff Reset");
  // Without PPI support six panels apply, all shown.
  EXPECT_EQ(Visible(), (std::vector<int>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(view->AllPanelCount(), 6);
  EXPECT_EQ(Find<QPushButton>("BtnShow")->text(), "Show less");
  EXPECT_FALSE(view->InternalPanelVisible());
  EXPECT_TRUE(log.Contains("TInfoChild[1].UpdateSession: DemoData, Color=0000FFFF, FriendlyName=Lab"));
}

TEST_F(InfoChildTest, ExpertModeAddsRawModesAndTheInternalPanel) {
  SetExpertMode(true);
  levels = {1234, 5000, 7, 0, "A=3"};
  Make();
  EXPECT_EQ(Entries(Find<QComboBox>("ComboMode")).size(), 8u);
  EXPECT_EQ(Find<QComboBox>("ComboMode")->itemText(6), "Raw Data");
  EXPECT_EQ(Find<QComboBox>("ComboMode")->itemText(7), "Raw Data Avg.");
  ASSERT_TRUE(view->InternalPanelVisible());
  EXPECT_FALSE(Find<QFrame>("PanelInternal")->isHidden());
  view->UpdatePanel();
  EXPECT_EQ(Text(Find<QLabel>("LevelReceive")), "    1.234 /     5.000");
  EXPECT_EQ(Text(Find<QLabel>("LevelUser")), "        7");
  EXPECT_EQ(Text(Find<QLabel>("LevelTcp")), "A=3");
  Find<QPushButton>("BtnDebugWin")->click();
  EXPECT_EQ(actions.RunNames(), std::vector<std::string>{"ActionViewDebug"});
  // A disabled action would do nothing: the button follows it.
  QAction* debug = actions.Actions.at("ActionViewDebug");
  debug->setEnabled(false);
  EXPECT_FALSE(Find<QPushButton>("BtnDebugWin")->isEnabled());
  debug->setEnabled(true);
  EXPECT_TRUE(Find<QPushButton>("BtnDebugWin")->isEnabled());
}

TEST_F(InfoChildTest, PanelSetFollowsTheSessionKind) {
  struct TCase {
    const char* Name;
    TInfoSessionFacts Facts;
    bool Allan;
    std::vector<int> Visible;
    bool Buttons;
  };
  const std::vector<TCase> cases = {
      {"counter with PPI", {true, false, false, false, true, 0}, true, {1, 2, 3, 4, 5, 6, 7}, true},
      {"counter only", {true, false, true, false, false, 0}, true, {1, 2, 3, 4, 6}, true},
      {"interval counter only", {true, false, false, true, false, 0}, true, {4, 5, 6}, false},
      {"sensor", {false, true, false, false, false, 0}, false, {2, 4}, false},
  };
  for (const TCase& c : cases) {
    facts = c.Facts;
    actions.OfferAllan = c.Allan;
    Make();
    EXPECT_EQ(Visible(), c.Visible) << c.Name;
    EXPECT_EQ(view->AllPanelCount(), int32_t(c.Visible.size())) << c.Name;
    EXPECT_EQ(!Find<QPushButton>("BtnShow")->isHidden(), c.Buttons) << c.Name;
    EXPECT_EQ(!Find<QPushButton>("BtnSyncEnable")->parentWidget()->isHidden(), c.Buttons) << c.Name;
  }
}

TEST_F(InfoChildTest, DisplayCycleRefreshesTheIVCChannelsOfCounterSessionsOnly) {
  Make();
  facts.IVCChannels = 4;
  view->UpdatePanel();
  EXPECT_EQ(Text(Find<QLabel>("LabelIVCChannels")), "Channels: 4");
  facts.IVCChannels = 0;
  view->UpdatePanel();
  EXPECT_EQ(Text(Find<QLabel>("LabelIVCChannels")), "Channels: -");
}

// ---- Mode and interval ----

TEST_F(InfoChildTest, ModeChoiceRunsTheSessionsActionAndStaysRedUntilReported) {
  Make(2);
  QComboBox* combo = Find<QComboBox>("ComboMode");
  view->SetMode(0);
  Choose(combo, 2);
  ASSERT_EQ(actions.Runs.size(), 1u);
  EXPECT_EQ(actions.Runs[0].Name, "ModeFrequency_2");
  EXPECT_EQ(actions.Runs[0].Tag, 2 * 256 + 2);
  EXPECT_TRUE(IsRed(Label(ipMode)));
  EXPECT_TRUE(log.Contains("TInfoChild[2].ComboModeChange 2"));

  view->SetMode(2);
  EXPECT_FALSE(IsRed(Label(ipMode)));
  EXPECT_EQ(combo->currentText(), "Frequency");
  EXPECT_TRUE(Action("ModeFrequency_2")->isChecked());
  EXPECT_EQ(view->ModeIndex(), 2);
  EXPECT_EQ(actions.Runs.size(), 1u);  // the report runs nothing
}

TEST_F(InfoChildTest, WheelOverAListWithoutFocusChangesNothing) {
  Make();
  QComboBox* combo = Find<QComboBox>("ComboMode");
  view->SetMode(1);
  ASSERT_FALSE(combo->hasFocus());
  QWheelEvent wheel(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(combo, &wheel);
  EXPECT_EQ(combo->currentIndex(), 1);
  EXPECT_TRUE(actions.Runs.empty());
  EXPECT_FALSE(IsRed(Label(ipMode)));
}

TEST_F(InfoChildTest, IntervalListIsCutToTheAllowedRange) {
  Make(1, {2, 9, 0, 0});
  QComboBox* combo = Find<QComboBox>("ComboRate");
  EXPECT_EQ(Entries(combo), (std::vector<std::string>{"5ms", "10ms", "20ms", "50ms", "100ms", "200ms", "500ms", "1s"}));
  EXPECT_EQ(view->ComboRateOffset(), 2);
  Choose(combo, 0);
  ASSERT_EQ(actions.Runs.size(), 1u);
  EXPECT_EQ(actions.Runs[0].Name, "Rate5ms_1");
  EXPECT_EQ(actions.Runs[0].Tag, 256 + 2);
  EXPECT_TRUE(IsRed(Label(ipInterval)));

  view->SetRateIndex(9);
  EXPECT_EQ(combo->currentText(), "1s");
  EXPECT_EQ(view->RateIndex(), 7);
  EXPECT_EQ(view->IntervalMs(), 1000);
  EXPECT_FALSE(IsRed(Label(ipInterval)));
  EXPECT_TRUE(Action("Rate1s_1")->isChecked());
}

TEST(InfoIntervalList, KeepsTheEntriesOfTheRange) {
  struct TCase {
    TRange Range;
    std::vector<std::string> Entries;
    int32_t Offset;
  };
  const std::vector<TCase> cases = {
      {{12, 13, 0, 0}, {"10s", "20s"}, 12},
      {{0, 2, 0, 0}, {"1ms", "2ms", "5ms"}, 0},
      {{11, 40, 0, 0}, {"5s", "10s", "20s"}, 11},  // no entries beyond 20 s
      {{5, 3, 0, 0}, {}, 5},
  };
  for (const TCase& c : cases) {
    const TInfoIntervalList list = InfoIntervalList(c.Range);
    EXPECT_EQ(list.Entries, c.Entries) << c.Range.minI << ".." << c.Range.maxI;
    EXPECT_EQ(list.Offset, c.Offset);
  }
}

// The whole road on the simulator: the choice goes out as the session's command, the instrument
// answers with a new header, and the session's notice turns the label back.
TEST(InfoChildSimulator, ModeReportedByTheInstrumentEndsTheRequest) {
  QVSessionFixture fixture;
  TAppSettings settings;
  fixture.session->ReadSettings(settings, "Session_0_");
  fixture.OpenDemo();
  ASSERT_EQ(fixture.opened, "");
  fixture.RunSteps(12);
  TInfoChild view(nullptr, *fixture.session);
  QAction frequencyAvg("Frequency Avg.");
  QObject::connect(&frequencyAvg, &QAction::triggered, [&] { fixture.session->SetCommand("\x43", "Mode Frequency Avg."); });
  view.SetActionMode(3, &frequencyAvg);
  const auto drain = [&] {
    for (const TMainSyncData& notice : fixture.TakeNotices())
      if (notice.What == swMode) view.SetMode(notice.Code);
  };
  drain();
  auto* label = view.findChild<QLabel*>("Label1");
  auto* combo = view.findChild<QComboBox*>("ComboMode");

  Choose(combo, 3);
  EXPECT_TRUE(IsRed(label));
  fixture.RunSteps(40);
  drain();
  EXPECT_FALSE(IsRed(label));
  EXPECT_EQ(combo->currentText(), "Frequency Avg.");
  EXPECT_EQ(fixture.session->Mode(), 3);
}

// ---- Scrambler ----

TEST_F(InfoChildTest, ScramblerClickRunsItsActionAndInUseLocksTheButtons) {
  Make();
  auto* trim = Find<QRadioButton>("RadioScramblerTrim");
  trim->click();
  ASSERT_EQ(actions.Runs.size(), 1u);
  EXPECT_EQ(actions.Runs[0].Name, "ScramblerTrim");
  EXPECT_EQ(actions.Runs[0].Tag, 15);
  EXPECT_TRUE(IsRed(Label(ipScrambler)));

  view->SetScramblerIndex(2);
  EXPECT_FALSE(IsRed(Label(ipScrambler)));
  EXPECT_TRUE(trim->isChecked());

  view->SetScramblerIndex(3);
  EXPECT_EQ(Text(Label(ipScrambler)), "Scrambler (in use)");
  for (const char* name : {"RadioScramblerOff", "RadioScramblerAuto", "RadioScramblerTrim"}) {
    EXPECT_FALSE(Find<QRadioButton>(name)->isEnabled()) << name;
    EXPECT_FALSE(Find<QRadioButton>(name)->isChecked()) << name;
  }
  view->SetScramblerIndex(0);
  EXPECT_EQ(Text(Label(ipScrambler)), "Scrambler");
  EXPECT_TRUE(Find<QRadioButton>("RadioScramblerOff")->isChecked());
  EXPECT_TRUE(trim->isEnabled());
  EXPECT_TRUE(Action("ScramblerOff")->isChecked());
}

// ---- Show all / Show less ----

TEST_F(InfoChildTest, ShowLessHidesThePanelsWithAShowInInfoBoxActionAndShowAllBringsThemBack) {
  facts.HasPPI = true;
  Make();
  auto* show = Find<QPushButton>("BtnShow");
  const int fullHeight = view->height();
  ASSERT_EQ(show->text(), "Show less");
  show->click();
  EXPECT_EQ(Visible(), (std::vector<int>{1, 2, 5}));
  EXPECT_EQ(show->text(), "Show all");
  EXPECT_LT(view->height(), fullHeight);
  for (const char* name : {"InfoShowScrambler", "InfoShowLogging", "InfoShowAllan", "InfoShowPPI"})
    EXPECT_FALSE(Action(name)->isChecked()) << name;
  EXPECT_TRUE(log.Contains("TInfoChild[0].BtnShowClick Less"));

  show->click();
  EXPECT_EQ(Visible(), (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(show->text(), "Show less");
  EXPECT_EQ(view->height(), fullHeight);
  EXPECT_TRUE(Action("InfoShowPPI")->isChecked());
}

TEST_F(InfoChildTest, SubWindowFollowsTheContentAndTheStoredPosition) {
  QMdiArea area;
  area.resize(800, 900);
  Make();
  QMdiSubWindow* sub = area.addSubWindow(view.get());
  sub->resize(230, 500);
  view->ShowPanel(ipMode, true);  // lays out again in the sub-window
  const int frame = sub->height() - view->height();
  EXPECT_GT(frame, 0);
  EXPECT_EQ(view->height(), view->sizeHint().height());
  Find<QPushButton>("BtnShow")->click();
  EXPECT_EQ(view->height(), view->sizeHint().height());
  EXPECT_EQ(sub->height() - view->height(), frame);
  EXPECT_EQ(sub->width(), 230);

  TAppSettings settings;
  settings.SetValue("Info_0_Left", int32_t(300));
  settings.SetValue("Info_0_Top", int32_t(20));
  view->ReadSettings(settings, "Info_0_");
  EXPECT_EQ(sub->pos(), QPoint(300, 20));
  sub->setWidget(nullptr);  // the fixture frees the view
}

TEST_F(InfoChildTest, CloseMarkAndMenuActionHideOnePanel) {
  Make();
  view->findChild<QToolButton*>("Close4")->click();
  EXPECT_FALSE(view->PanelVisible(ipLogFiles));
  EXPECT_FALSE(Action("InfoShowLogging")->isChecked());
  EXPECT_EQ(Find<QPushButton>("BtnShow")->text(), "Show all");
  EXPECT_TRUE(log.Contains("TInfoChild[0].PanelClose: id=4"));
  // The menu item toggles the panel the same way.
  Action("InfoShowLogging")->trigger();
  EXPECT_TRUE(view->PanelVisible(ipLogFiles));
  Action("InfoShowAllan")->trigger();
  EXPECT_FALSE(view->PanelVisible(ipAllan));
}

// ---- PPI ----

TEST(ParsePPIoffset, AcceptsWholeMillisecondsWithinTwentySeconds) {
  const std::vector<std::pair<std::string, std::optional<int16_t>>> cases = {
      {"20000", 20000}, {"-20000", -20000}, {"-5", -5}, {"0", 0},        {"20001", std::nullopt},
      {"-20001", std::nullopt}, {"abc", std::nullopt}, {"", std::nullopt}, {"5-", std::nullopt},
      {"99999999999", std::nullopt}};
  for (const auto& [text, expected] : cases) EXPECT_EQ(ParsePPIoffset(text), expected) << text;
}

TEST_F(InfoChildTest, PPIoffsetGoesToTheActionAsANumber) {
  facts.HasPPI = true;
  Make();
  auto* edit = Find<QLineEdit>("EditPPIoffset");
  auto* control = Find<QCheckBox>("CheckPPI");
  edit->clear();
  QTest::keyClicks(edit, "-5");
  control->click();
  ASSERT_EQ(actions.Runs.size(), 1u);
  EXPECT_EQ(actions.Runs[0].Name, "PPIactive");
  EXPECT_TRUE(actions.Runs[0].Checked);
  EXPECT_EQ(actions.Runs[0].PPIoffset, -5);
  EXPECT_TRUE(IsRed(Label(ipPPI)));
  EXPECT_TRUE(log.Contains("TInfoChild[0].PPIClick PPIoffset=-5"));

  // A new offset is sent again while PPI is controlled.
  edit->clear();
  QTest::keyClicks(edit, "250");
  QTest::keyClick(edit, Qt::Key_Return);
  ASSERT_EQ(actions.Runs.size(), 2u);
  EXPECT_EQ(actions.Runs[1].PPIoffset, 250);
  EXPECT_TRUE(actions.Runs[1].Checked);

  view->SetPPIindex(1);
  EXPECT_FALSE(IsRed(Label(ipPPI)));
  control->click();  // off: the default goes out
  ASSERT_EQ(actions.Runs.size(), 3u);
  EXPECT_FALSE(actions.Runs[2].Checked);
}

TEST_F(InfoChildTest, PPIoffsetInputRejectsWhatIsNoOffset) {
  facts.HasPPI = true;
  Make();
  auto* edit = Find<QLineEdit>("EditPPIoffset");
  QTest::keyClicks(edit, "1a");
  EXPECT_EQ(edit->text(), "01");
  EXPECT_EQ(beeps, 1);
  EXPECT_TRUE(log.Contains("TInfoChild[0].PPIoffsetInputKeyPress: ungültiges Zeichen=a"));

  edit->setText("20001");
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_EQ(boxes, (std::vector<std::pair<std::string, std::string>>{{"PPI offset", "Invalid input PPI offset: 20001"}}));
  EXPECT_EQ(edit->text(), "0");
  EXPECT_EQ(view->GetPPIoffset(), 0);

  edit->setText("20000");
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_EQ(view->GetPPIoffset(), 20000);
  edit->setText("17");
  QTest::keyClick(edit, Qt::Key_Escape);
  EXPECT_EQ(edit->text(), "20000");

  // Checking "Control PPI" with a bad text runs nothing.
  edit->setText("abc");
  Find<QCheckBox>("CheckPPI")->click();
  EXPECT_FALSE(Find<QCheckBox>("CheckPPI")->isChecked());
  EXPECT_EQ(boxes.size(), 2u);
  EXPECT_TRUE(actions.Runs.empty());
}

TEST_F(InfoChildTest, PlusAndMinusStopAtTheirLimit) {
  facts.HasPPI = true;
  Make();
  auto* edit = Find<QLineEdit>("EditPPIoffset");
  edit->setText("19998");
  QTest::keyClick(edit, Qt::Key_Return);
  Find<QPushButton>("BtnPPIplus")->click();
  Find<QPushButton>("BtnPPIplus")->click();
  EXPECT_EQ(view->GetPPIoffset(), 19999);
  EXPECT_EQ(edit->text(), "19999");
  edit->setText("-19999");
  QTest::keyClick(edit, Qt::Key_Return);
  Find<QPushButton>("BtnPPIminus")->click();
  EXPECT_EQ(view->GetPPIoffset(), -19999);
  EXPECT_TRUE(actions.Runs.empty());  // PPI is not controlled: nothing is sent
}

TEST_F(InfoChildTest, PPIinUseLocksTheControls) {
  facts.HasPPI = true;
  Make();
  view->SetPPIindex(3);
  EXPECT_EQ(Text(Label(ipPPI)), "PPI (in use)");
  EXPECT_EQ(Action("PPIactive")->text(), "in use");
  EXPECT_FALSE(Action("PPIactive")->isEnabled());
  for (const char* name : {"CheckPPI", "EditPPIoffset", "BtnPPIplus", "BtnPPIminus"})
    EXPECT_FALSE(view->findChild<QWidget*>(name)->isEnabled()) << name;
  view->SetPPIindex(1);
  EXPECT_EQ(Text(Label(ipPPI)), "PPI");
  EXPECT_EQ(Action("PPIactive")->text(), "control PPI");
  EXPECT_TRUE(Action("PPIactive")->isChecked());
  EXPECT_TRUE(Find<QCheckBox>("CheckPPI")->isChecked());
  EXPECT_TRUE(Find<QLineEdit>("EditPPIoffset")->isEnabled());
}

// ---- Log files and debug switches ----

TEST_F(InfoChildTest, LogSwitchesFollowTheDefinitionsAndAskTheMainWindow) {
  // A removed definition leaves its number free: the boxes carry the definitions' own numbers.
  std::vector<TInfoLogSwitch> definitions = {{0, true}, {1, false}, {3, true}};
  std::vector<int32_t> toggled;
  std::vector<std::tuple<int32_t, bool, bool, bool>> debug;
  env.LogDefinitions = [&] { return definitions; };
  env.ToggleLogDefinition = [&](int32_t k) { toggled.push_back(k); };
  env.DebugEnable = [&](int32_t index, bool d, bool s, bool t) { debug.emplace_back(index, d, s, t); };
  Make(1);
  EXPECT_TRUE(Find<QLabel>("LabelNoLog")->isHidden());
  EXPECT_EQ(Find<QCheckBox>("CheckLog4")->text(), "Log 4");
  EXPECT_EQ(view->findChild<QCheckBox*>("CheckLog3"), nullptr);
  EXPECT_TRUE(Find<QCheckBox>("CheckLog1")->isChecked());
  EXPECT_FALSE(Find<QCheckBox>("CheckLog2")->isChecked());
  Find<QCheckBox>("CheckLog2")->click();
  Find<QCheckBox>("CheckLog4")->click();
  EXPECT_EQ(toggled, (std::vector<int32_t>{1, 3}));

  definitions.clear();
  view->UpdateLogDefinitions();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_FALSE(Find<QLabel>("LabelNoLog")->isHidden());
  EXPECT_EQ(view->findChild<QCheckBox*>("CheckLog1"), nullptr);

  view->UpdateDebugLog(true, false, true);
  EXPECT_TRUE(debug.empty());
  Find<QCheckBox>("CheckStream")->click();
  EXPECT_EQ(debug, (std::vector<std::tuple<int32_t, bool, bool, bool>>{{1, true, true, true}}));
}

// ---- Buttons ----

TEST_F(InfoChildTest, ButtonsRunTheirActions) {
  Make(1);
  Find<QPushButton>("BtnSyncEnable")->click();
  Find<QPushButton>("BtnDiffReset")->click();
  Find<QPushButton>("BtnAllanRestart")->click();
  Find<QPushButton>("BtnAllanClear")->click();
  EXPECT_EQ(actions.RunNames(), (std::vector<std::string>{"ActionSyncEnable_1", "ActionReCenter_1",
                                                          "SourceAllanRestart_1", "SourceAllanClearPersist_1"}));
}

TEST_F(InfoChildTest, TheUserCannotCloseTheView) {
  Make();
  view->show();
  EXPECT_FALSE(view->close());
  EXPECT_TRUE(view->isVisible());
}

// ---- Settings ----

TEST_F(InfoChildTest, SettingsKeepPositionAndPanels) {
  Make(1);
  TAppSettings settings;
  view->ReadSettings(settings, "Info_1_");
  EXPECT_EQ(settings.TryGetValue("Info_1_Left"), "-1000");
  EXPECT_EQ(settings.TryGetValue("Info_1_Panel_7"), "True");

  view->ShowPanel(ipScrambler, false);
  view->ShowPanel(ipAllan, false);
  view->move(40, 70);
  view->SaveSettings(settings, "Info_1_");
  EXPECT_EQ(settings.TryGetValue("Info_1_Left"), "40");
  EXPECT_EQ(settings.TryGetValue("Info_1_Top"), "70");
  EXPECT_EQ(settings.TryGetValue("Info_1_Panel_3"), "False");
  EXPECT_EQ(settings.TryGetValue("Info_1_Panel_4"), "True");

  Make(1);
  view->ReadSettings(settings, "Info_1_");
  EXPECT_EQ(view->pos(), QPoint(40, 70));
  EXPECT_EQ(Visible(), (std::vector<int>{1, 2, 4, 5}));
  EXPECT_FALSE(Action("InfoShowScrambler_1")->isChecked());
  EXPECT_TRUE(Action("InfoShowLogging_1")->isChecked());
}

}  // namespace

namespace {

TEST_F(InfoChildTest, Screenshot) {
  const QString folder = qEnvironmentVariable("VTA_SCREENSHOT_DIR");
  if (folder.isEmpty()) GTEST_SKIP() << "VTA_SCREENSHOT_DIR not set";
  SetExpertMode(true);
  facts = {true, false, false, false, true, 4};
  levels = {123456, 9876543, 512, 0, "1: 0"};
  env.LogDefinitions = [] { return std::vector<TInfoLogSwitch>{{0, true}, {1, false}, {2, true}}; };
  Make(1, {}, "Lab 3");
  view->SetMode(0);
  view->SetRateIndex(9);
  view->SetScramblerIndex(1);
  view->SetPPIindex(0);
  view->UpdatePanel();
  Choose(Find<QComboBox>("ComboMode"), 2);  // requested, not yet reported: red
  view->show();
  QCoreApplication::processEvents();
  QDir().mkpath(folder);
  EXPECT_TRUE(view->grab().save(folder + "/info_view.png"));
}

}  // namespace

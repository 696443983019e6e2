#include <gtest/gtest.h>

#include "ui/AllanChild.h"
#include "ui/DebugChild.h"
#include "ui/DigitalInputsChild.h"
#include "ui/FormBigMessage.h"
#include "ui/GraphicChild.h"
#include "ui/TextAllanChild.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <QToolButton>
#include <thread>

#include "ui/MainFormTestSupport.h"
#include "ui/BusyNotice.h"
#include "ui/InfoChild.h"
#include "ui/MessageChild.h"
#include "ui/RawDataChild.h"
#include "ui/StatusBar.h"
#include "ui/TextChild.h"
#include "ui/TextGrid.h"
#include "ui/UiColors.h"
#include "core/VTA_Settings.h"

namespace {

// ---------------------------------------------------------------- start-up and shutdown

TEST_F(MainFormTest, FirstStartCancelledTwiceClosesWithoutWritingSettings) {
  TMainForm& window = MakeForm();
  window.show();
  EXPECT_FALSE(window.FormActivate());
  EXPECT_EQ(connectionRequests, 2);
  EXPECT_EQ(messages, (std::vector<std::string>{window.windowTitle().toStdString() +
                                                ": Please choose a connection or app will be canceled"}));
  EXPECT_TRUE(window.App().AppCanceled());
  EXPECT_FALSE(window.isVisible());
  form.reset();
  EXPECT_EQ(Ini().find('='), std::string::npos) << Ini();
}

TEST_F(MainFormTest, ConnectAnswersTheFirstStartWithoutADialog) {
  TMainFormOptions options = Options();
  options.Connect = "fake:demo";
  TMainForm& window = MakeForm(std::move(options));
  ASSERT_TRUE(window.FormActivate());
  EXPECT_EQ(connectionRequests, 0);
  ASSERT_NE(window.App().Lists().GetSession(0), nullptr);
  EXPECT_EQ(window.App().Lists().GetSession(0)->OpenString(), "fake:demo");
  EXPECT_EQ(window.windowTitle().toStdString(), "Q+V  VTA  Version 3.3.4 - 2025-01-07");
  // A first start opens the message view and the default text and graphic views of the counter
  // session: absolute frequency and interval difference.
  ASSERT_NE(window.MessageView(), nullptr);
  ASSERT_EQ(window.ChildArray().Views().size(), 4u);
  EXPECT_EQ(window.ChildArray().Entry(1).Id, vkTextZCT);
  EXPECT_EQ(window.ChildArray().Entry(2).Id, vkTextIVC);
  EXPECT_EQ(window.ChildArray().Entry(3).Id, vkGraphic);
  EXPECT_EQ(window.ChildArray().Entry(4).Id, vkGraphic);
  EXPECT_EQ(static_cast<TGraphicChild*>(window.ChildArray().Entry(3).View)->GraphicMode(), gmFreqAbs);
  EXPECT_EQ(static_cast<TGraphicChild*>(window.ChildArray().Entry(4).View)->GraphicMode(), gmIVCdiff);
}

TEST_F(MainFormTest, EndOfTheUserSessionClosesWithoutAskingAndSaves) {
  TMainForm& window = Started(2);
  window.show();
  window.EndSession();
  EXPECT_FALSE(window.isVisible());
  EXPECT_TRUE(questions.empty());
  const std::string ini = Ini();
  EXPECT_TRUE(HasLine(ini, "SessionCount=2")) << ini;
  EXPECT_TRUE(HasLine(ini, "Main_DefaultSettings=False")) << ini;
  EXPECT_TRUE(HasLine(ini, "ChildCount=0")) << ini;
}

TEST_F(MainFormTest, ViewsOfKindsNotBuiltYetKeepTheirKeysThroughASave) {
  WriteIni("INI_Version=6\n" + StoredSessions(2) +
           "ChildCount=3\n"
           "View_1_Id=11\nView_1_Session=1\nView_1_SessionCopy=False\nView_1_SecondSession=-1\n"
           "View_1_SecondSessionCopy=False\nView_1_Left=5\nView_1_GraphMode=4\n"
           "View_2_Id=3\nView_2_Session=1\nView_2_SessionCopy=False\n"
           "View_3_Id=11\nView_3_Session=0\nView_3_Digital=1;2\n"
           "Info_1_Panel_3=True\n");
  TMainForm& window = MakeForm();
  ASSERT_TRUE(window.FormActivate());
  ASSERT_EQ(window.ChildArray().Views().size(), 1u);
  EXPECT_EQ(window.ChildArray().Entry(2).View->Session(), window.App().Lists().GetSession(1));
  EXPECT_TRUE(window.ChildArray().Entry(1).Kept.has_value());
  EXPECT_TRUE(LogHas("TMainForm.CreateChildView: view kind 11 of View_1_ not available yet, its keys are kept"));

  // Session A goes: its view of the unknown kind goes with it, B becomes the stored session 0.
  window.App().RemoveSessionRequest(0);
  window.App().DisplayTimerTimer();
  window.close();
  const std::string ini = Ini();
  for (const char* line : {"ChildCount=2", "View_1_Id=11", "View_1_Session=0", "View_1_Left=5", "View_1_GraphMode=4",
                           "View_2_Id=3", "View_2_Session=0", "Info_0_Panel_3=True"})
    EXPECT_TRUE(HasLine(ini, line)) << line << "\n" << ini;
  EXPECT_EQ(ini.find("View_3_"), std::string::npos) << ini;
}

TEST_F(MainFormTest, StoredGraphicViewsAreRecreatedWithTheirMode) {
  WriteIni("INI_Version=6\n" + StoredSessions(1) +
           "ChildCount=1\n"
           "View_1_Id=1\nView_1_Session=0\nView_1_SessionCopy=False\nView_1_GraphicMode1=2\n"
           "View_1_Scale_1_3=5, -7, 0.25, 0\n");
  TMainForm& window = MakeForm();
  ASSERT_TRUE(window.FormActivate());
  ASSERT_EQ(window.ChildArray().Views().size(), 1u);
  auto* view = dynamic_cast<TGraphicChild*>(window.ChildArray().Entry(1).View);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->Session(), window.App().Lists().GetSession(0));
  EXPECT_EQ(view->GraphicMode(), gmFreqRel);
  EXPECT_EQ(view->Scale(3).Step, 5);
  EXPECT_EQ(view->Scale(3).Exponent, -7);
  EXPECT_EQ(view->Scale(3).Center, 0.25);
}

// The views come back in the stacking order they were left in, whatever order they are stored in.
TEST_F(MainFormTest, StackingOrderOfTheViewsIsSavedAndRestored) {
  std::string views = "ChildCount=3\n";
  for (int k = 1; k <= 3; ++k) {
    const std::string p = "View_" + std::to_string(k) + "_";
    views += p + "Id=1\n" + p + "Session=0\n" + p + "SessionCopy=False\n" + p + "GraphicMode1=1\n" + p +
             "DefaultSettings=False\n" + p + "Left=" + std::to_string(30 * k) + "\n" + p + "Top=0\n";
  }
  WriteIni("INI_Version=6\n" + StoredSessions(1) + views);
  const auto order = [](TMainForm& window) {
    std::vector<int> lefts;
    for (QMdiSubWindow* sub : window.findChild<QMdiArea*>("MdiArea")->subWindowList(QMdiArea::StackingOrder))
      if (qobject_cast<TGraphicChild*>(sub->widget())) lefts.push_back(sub->x());
    return lefts;
  };
  {
    TMainForm& window = MakeForm();
    ASSERT_TRUE(window.FormActivate());
    window.show();
    auto subs = window.findChild<QMdiArea*>("MdiArea")->subWindowList();
    for (QMdiSubWindow* sub : subs)
      if (sub->x() == 60) sub->raise();
    for (QMdiSubWindow* sub : subs)
      if (sub->x() == 30) sub->raise();
    EXPECT_EQ(order(window), (std::vector<int>{90, 60, 30}));
    window.EndSession();
  }
  form.reset();
  TMainForm& again = MakeForm();
  ASSERT_TRUE(again.FormActivate());
  again.show();
  EXPECT_EQ(order(again), (std::vector<int>{90, 60, 30}));
}

// In expert mode each counter session has one debug view showing its heartbeats; "Show Heartbeats"
// (and the info view's "Debug Win") brings it back, a Coldfire-based instrument closes it.
TEST_F(MainFormTest, ShowHeartbeatsOpensTheSessionsOneDebugView) {
  const auto debugViews = [&] {
    std::vector<TDebugChild*> found;
    for (TMDIChild* view : form->ChildArray().Views())
      if (auto* debug = dynamic_cast<TDebugChild*>(view)) found.push_back(debug);
    return found;
  };
  TMainFormOptions options = Options();
  options.App.ExpertMode = true;
  WriteIni(StoredSessions(1) + "ChildCount=0\n");
  TMainForm& window = MakeForm(options);
  ASSERT_TRUE(window.FormActivate());
  EXPECT_TRUE(debugViews().empty());
  QAction* show = Action("ActionViewDebug", 0);
  ASSERT_TRUE(show->isEnabled());
  show->trigger();
  show->trigger();
  ASSERT_EQ(debugViews().size(), 1u);
  TDebugChild* view = debugViews().front();
  EXPECT_EQ(view->Session(), &Session(0));

  auto& store = dynamic_cast<TZCT_DataManagement&>(*Session(0).DataManagement());
  store.AddHeartbeat("7EFF;0000000A;FFFF0001", 12'345'678);
  window.App().DisplayTimerTimer();
  EXPECT_EQ(view->Lines()->toPlainText(), "12.345.678;0000000A;FFFF0001");

  // Kept through a restart; a second stored debug view of the same session is dropped.
  window.close();
  std::string ini = Ini();
  EXPECT_TRUE(HasLine(ini, "View_1_Id=10")) << ini;
  ini.replace(ini.find("ChildCount=1"), 12, "ChildCount=2");
  WriteIni(ini + "View_2_Id=10\nView_2_Session=0\n");
  form.reset();
  TMainForm& again = MakeForm(options);
  ASSERT_TRUE(again.FormActivate());
  ASSERT_EQ(debugViews().size(), 1u);

  Session(0).Notify(swPeer, 0);  // Coldfire-based: no heartbeats
  again.App().DisplayTimerTimer();
  EXPECT_TRUE(debugViews().empty());
  EXPECT_FALSE(Action("ActionViewDebug", 0)->isEnabled());
}

TEST_F(MainFormTest, StoredAllanViewsAreRecreatedWithTheirMode) {
  WriteIni("INI_Version=6\n" + StoredSessions(1) +
           "ChildCount=2\n"
           "View_1_Id=2\nView_1_Session=0\nView_1_SessionCopy=False\nView_1_AllanMode=1\nView_1_Scale=1\n"
           "View_1_ScaleMin=-13\nView_1_ScaleMax=-8\n"
           "View_2_Id=5\nView_2_Session=0\nView_2_SessionCopy=False\nView_2_AllanMode=2\n"
           "View_2_Columns=1110000000000000000\n");
  TMainForm& window = MakeForm();
  ASSERT_TRUE(window.FormActivate());
  ASSERT_EQ(window.ChildArray().Views().size(), 2u);
  auto* graph = dynamic_cast<TAllanChild*>(window.ChildArray().Entry(1).View);
  ASSERT_NE(graph, nullptr);
  EXPECT_EQ(graph->Session(), window.App().Lists().GetSession(0));
  EXPECT_EQ(graph->AllanMode(), amPhaseRes);
  EXPECT_EQ(graph->Plot()->ScaleType(), stManual);
  EXPECT_EQ(graph->Plot()->Scale().PowerMin, -13);
  auto* text = dynamic_cast<TTextAllanChild*>(window.ChildArray().Entry(2).View);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->AllanMode(), amPhaseDiff);
  EXPECT_EQ(text->GetColumnEnabled(), "1110000000000000000");
}

TEST_F(MainFormTest, AWindowStoredOffTheScreensComesBackOnThePrimaryScreen) {
  WriteIni("Main_Left=-5000\nMain_Top=-4000\nMain_Width=500\nMain_Height=400\n");
  TMainForm& window = MakeForm();
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_TRUE(area.contains(window.geometry().topLeft())) << window.geometry().x() << "," << window.geometry().y();
  EXPECT_EQ(window.geometry().size(), QSize(500, 400).boundedTo(area.size()));

  // On a screen it stays where it was.
  form.reset();
  WriteIni("Main_Left=" + std::to_string(area.left() + 10) + "\nMain_Top=" + std::to_string(area.top() + 20) +
           "\nMain_Width=300\nMain_Height=200\n");
  EXPECT_EQ(MakeForm().geometry(), QRect(area.left() + 10, area.top() + 20, 300, 200));
}

// ---------------------------------------------------------------- display cycle lock

TEST_F(MainFormTest, ChangeSourceReleasesTheDisplayLockWhenTheDialogThrows) {
  WriteIni(StoredSessions(1));
  TMainFormOptions options = Options();
  options.Dialogs.Connection = [](QWidget*, const TSourceDialogPreset&) -> std::optional<TSourceDialogResult> {
    throw std::runtime_error("dialog failed");
  };
  TMainForm& window = MakeForm(std::move(options));
  ASSERT_TRUE(window.FormActivate());
  Action("SourceChange", 0)->trigger();
  EXPECT_FALSE(window.App().DisplayTimerLocked());
  EXPECT_EQ(messages.size(), 1u);
  EXPECT_NE(messages.front().find("dialog failed"), std::string::npos);
}

TEST_F(MainFormTest, ChangeSourceReplacesTheSessionAndKeepsItsViews) {
  TMainFormOptions options = Options();
  options.Connect = "fake:old";
  TMainForm& window = MakeForm(std::move(options));
  ASSERT_TRUE(window.FormActivate());
  TMDIChild* view = window.ChildArray().Entry(1).View;
  ASSERT_NE(view, nullptr);
  answers.push_back(Answer("fake:new"));
  Action("SourceChange", 0)->trigger();
  window.App().DisplayTimerTimer();
  TSessionItem* replaced = window.App().Lists().GetSession(0);
  ASSERT_NE(replaced, nullptr);
  EXPECT_EQ(replaced->OpenString(), "fake:new");
  EXPECT_EQ(window.ChildArray().Entry(1).View, view);
  EXPECT_EQ(view->Session(), replaced);
}

// ---------------------------------------------------------------- status bar

TEST_F(MainFormTest, StatusBarShowsTheCounterFieldsAndTheClosedSession) {
  TMainForm& window = Started(2);
  TCounterStatusValues values;
  values.ZctChannels = 4;
  values.IvcChannels = 2;
  values.UserId = 255;
  values.Lost = 3;
  values.LastSync = "1700000000";
  probe->Status[0] = values;
  values.UserId = 2;
  probe->Status[1] = values;
  Session(1).SetRunning(false);
  window.UpdateStatus();

  const TVTA_StatusBar& bar = window.StatusPanels();
  ASSERT_EQ(bar.SlotCount(), 2);
  EXPECT_EQ(bar.FieldText(0, TVTA_StatusBar::sfColor), "A");
  EXPECT_EQ(bar.FieldText(0, TVTA_StatusBar::sfChannel), "ZCT: 4, IVC: 2");
  EXPECT_EQ(bar.FieldText(0, TVTA_StatusBar::sfUser), "User: -");
  EXPECT_EQ(bar.FieldText(0, TVTA_StatusBar::sfLost), "Lost: 3");
  EXPECT_EQ(bar.FieldText(0, TVTA_StatusBar::sfSync), "Sync: 1700000000");
  EXPECT_EQ(bar.FieldText(1, TVTA_StatusBar::sfUser), "User: 2");
  const uint32_t color = window.App().Lists().GetSession(0)->Color();
  EXPECT_EQ(bar.SlotColor(0), ToQColor(color));
  EXPECT_EQ(bar.SlotTextColor(0), ToQColor(TextColorFor(color)));
  EXPECT_EQ(bar.SlotColor(1), ToQColor(TVTA_StatusBar::kClosedColor));

  // Removed: its fields show "-".
  window.App().RemoveSessionRequest(1);
  window.App().DisplayTimerTimer();
  EXPECT_EQ(bar.FieldText(1, TVTA_StatusBar::sfChannel), "-");
  EXPECT_EQ(bar.FieldText(1, TVTA_StatusBar::sfSync), "-");
}

TEST_F(MainFormTest, StatusFieldsWidenForLongerTextsAndHighResolutionChannelsShow) {
  WriteIni(StoredSessions(2));
  TMainFormOptions options = Options();
  options.Kinds.Traits = [](TSessionItem& session) {
    TSessionTraits traits;
    traits.HRQChannels = session.Index() == 1 ? 3 : 0;
    return traits;
  };
  TMainForm& window = MakeForm(std::move(options));
  ASSERT_TRUE(window.FormActivate());
  TVTA_StatusBar& bar = window.StatusPanels();
  const int before = bar.FieldWidth(0, TVTA_StatusBar::sfChannel);
  TCounterStatusValues values;
  values.ZctChannels = 24;
  values.DgiCards = 8;
  values.IvcChannels = 24;
  probe->Status[0] = values;
  window.UpdateStatus();
  const QString text = bar.FieldText(0, TVTA_StatusBar::sfChannel);
  EXPECT_EQ(text, "ZCT: 24, DGI: 8, IVC: 24");
  EXPECT_EQ(bar.FieldWidth(0, TVTA_StatusBar::sfChannel),
            std::max(before, bar.fontMetrics().horizontalAdvance(text) + 8));
  EXPECT_EQ(bar.HighResText(), "B:3");
  EXPECT_GT(bar.HighResWidth(), 0);
  EXPECT_EQ(bar.MinWidth(), [&] {
    int width = 0;
    for (int slot = 0; slot < 2; ++slot)
      for (int f = 0; f < TVTA_StatusBar::sfCount; ++f) width += bar.FieldWidth(slot, TVTA_StatusBar::TField(f));
    return width + bar.HighResWidth() + bar.fontMetrics().horizontalAdvance(TVTA_StatusBar::kLoggingWidthText) + 2 +
           bar.height();
  }());
}

TEST(StatusBarTest, LoggingPanelTexts) {
  TVTA_StatusBar bar;
  const std::vector<std::tuple<bool, bool, QString>> cases = {
      {true, true, "Debug Logging "}, {true, false, "Debug         "}, {false, true, "Logging       "}, {false, false, ""}};
  for (const auto& [debug, log, text] : cases) {
    bar.SetDebugLogging(debug, log);
    EXPECT_EQ(bar.LoggingText(), text);
  }
  bar.SetHighRes("");
  EXPECT_EQ(bar.HighResWidth(), 0);
}

// ---------------------------------------------------------------- options

TEST_F(MainFormTest, OptionChangesReachSessionsAndViews) {
  WriteIni("DecSepWin=.\nDecSepLog=.\n");
  TMainFormOptions options = Options();
  options.Connect = "fake:demo";
  TMainForm& window = MakeForm(std::move(options));
  ASSERT_TRUE(window.FormActivate());
  auto* view = dynamic_cast<TTextChild*>(window.ChildArray().Entry(1).View);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->Grid()->DecimalSeparator(), '.');

  const auto item = [&](const char* menu, const char* text) {
    for (QAction* sub : TopMenu(window, "&Options")->actions())
      if (sub->text() == menu)
        for (QAction* a : sub->menu()->actions())
          if (a->text() == QString::fromUtf8(text)) return a;
    return static_cast<QAction*>(nullptr);
  };
  item("Decimal separator window", "comma")->trigger();
  EXPECT_EQ(view->Grid()->DecimalSeparator(), ',');
  item("Decimal separator log files", "comma")->trigger();
  item("Decimal separator log files", "point")->trigger();
  item("Temperature unit", "°F")->trigger();
  // The copy list holds the session and its copies: here the session only.
  EXPECT_EQ(probe->Options, (std::vector<std::pair<int32_t, int32_t>>{{0, 1}, {0, 10}, {0, 10}, {0, 4}}));
  EXPECT_EQ(window.App().Settings().TempUnit(), 1);
  EXPECT_TRUE(item("Temperature unit", "°F")->isChecked());
  EXPECT_TRUE(item("Decimal separator window", "comma")->isChecked());
}

// ---------------------------------------------------------------- boxes and notices

TEST_F(MainFormTest, BoxesFromAWorkerThreadWaitForTheWindowThread) {
  TMainForm& window = Started(1);
  std::thread worker([&] { window.ErrorBox("from the report thread"); });
  worker.join();
  EXPECT_TRUE(messages.empty());
  QCoreApplication::processEvents();
  EXPECT_EQ(messages, (std::vector<std::string>{"Error: from the report thread"}));
}

// A popup waits for the operator in a window of its own: the display cycle must go on meanwhile.
TEST_F(MainFormTest, PopupDoesNotBlockTheDisplayCycle) {
  TMainFormOptions options = Options();
  options.Dialogs.Message = nullptr;
  WriteIni(StoredSessions(1) + "ChildCount=0\n");
  TMainForm& window = MakeForm(std::move(options));
  ASSERT_TRUE(window.FormActivate());
  TMessageItem item;
  item.MsgType = mtError;
  item.Text = "Reference clock invalid";
  window.ShowPopup(item);  // returns at once instead of running a modal loop
  item.sIndex = 0;
  item.Text = "Data Loss";
  window.ShowPopup(item);
  const QList<TFormBigMessage*> popups = window.findChildren<TFormBigMessage*>();
  ASSERT_EQ(popups.size(), 1) << "one window serves every popup";
  EXPECT_TRUE(popups.front()->isVisible());
  EXPECT_FALSE(popups.front()->isModal());
  EXPECT_EQ(popups.front()->TextLabel()->text(), "A: Data Loss");
  popups.front()->close();
}

TEST_F(MainFormTest, BusyNoticeShowsItsTextAndGoes) {
  TMainForm& window = Started(1);
  window.App().ShowSplash("Connecting ...", window.App().LogId());
  ASSERT_NE(window.Splash(), nullptr);
  EXPECT_EQ(window.Splash()->Text(), "Connecting ...");
  EXPECT_TRUE(window.Splash()->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_TRUE(window.Splash()->windowFlags().testFlag(Qt::FramelessWindowHint));
  window.App().HideSplash();
  EXPECT_EQ(window.Splash(), nullptr);
  EXPECT_TRUE(LogHas("HideSplashIntern: END"));
}

TEST_F(MainFormTest, MessagesMenuOpensTheMessageView) {
  TMainForm& window = Started(1);
  ASSERT_EQ(window.MessageView(), nullptr);
  for (QAction* item : TopMenu(window, "&Window")->actions())
    if (item->text() == "&Messages") item->trigger();
  ASSERT_NE(window.MessageView(), nullptr);
  EXPECT_EQ(window.ChildArray().Entry(0).View, window.MessageView());
  window.close();
  EXPECT_TRUE(HasLine(Ini(), "ViewMessage_Session=-1"));
}

TEST_F(MainFormTest, NewTextWindowWithTheAllanTypeOpensTheAllanTextView) {
  TMainFormOptions options = Options();
  options.Dialogs.TextSelection = [](QWidget*, const std::vector<TTextSelectionSession>&,
                                     const TTextViewSelection& preset) -> std::optional<TTextViewSelection> {
    TTextViewSelection choice = preset;
    choice.Type = TTextViewType::Allan;
    choice.AdevMode = amPhaseDiff;
    choice.TauColumns = "0110000000000000000";
    choice.Title = "My ADEV";
    return choice;
  };
  WriteIni(StoredSessions(1) + "ChildCount=0\n");
  TMainForm& window = MakeForm(std::move(options));
  ASSERT_TRUE(window.FormActivate());
  for (QAction* item : TopMenu(window, "&Window")->actions())
    if (item->text() == "New Text Window...") item->trigger();
  ASSERT_EQ(window.ChildArray().Views().size(), 1u);
  auto* view = dynamic_cast<TTextAllanChild*>(window.ChildArray().Views().front());
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->AllanMode(), amPhaseDiff);
  EXPECT_EQ(view->GetColumnEnabled(), "0110000000000000000");
  EXPECT_EQ(view->Title(), "My ADEV");
}

// The graphic selection dialog's choice decides the kind of view, its mode and the keys it saves.
TEST_F(MainFormTest, NewGraphicWindowCreatesTheChosenViewAndSavesItsKeys) {
  struct Case {
    TGraphicViewSelection choice;
    std::vector<std::string> keys;
  };
  const std::vector<Case> cases = {
      {{1, false, gmPhase, amFreq}, {"View_1_Id=1", "View_1_Session=1", "View_1_GraphicMode1=0"}},
      {{0, false, gmFreqRel, amFreq}, {"View_1_Id=1", "View_1_Session=0", "View_1_GraphicMode1=2"}},
      {{0, false, gmIVCdiff, amFreq}, {"View_1_Id=1", "View_1_GraphicMode1=5"}},
      {{1, false, gmPhasePredecessor, amFreq}, {"View_1_Id=1", "View_1_GraphicMode1=7"}},
      {{1, true, gmFreqAbs, amPhaseRes}, {"View_1_Id=2", "View_1_Session=1", "View_1_AllanMode=1"}},
      {{0, false, gmPhase, amFreq, 1},
       {"View_1_Id=1", "View_1_Session=0", "View_1_SecondSession=1", "View_1_GraphicMode1=0", "View_1_GraphicMode2=0",
        "View_1_Scale_2_1=1, -9, 0, 0"}},
  };
  for (const Case& c : cases) {
    TMainFormOptions options = Options();
    std::optional<bool> asked;
    options.Dialogs.GraphicSelection = [&](QWidget*, const std::vector<TGraphicSelectionSession>& sessions,
                                           const TGraphicViewSelection& preset,
                                           bool change) -> std::optional<TGraphicViewSelection> {
      EXPECT_EQ(sessions.size(), 2u);
      EXPECT_EQ(preset.SessionIndex, 0);
      asked = change;
      return c.choice;
    };
    WriteIni(StoredSessions(2) + "ChildCount=0\n");
    TMainForm& window = MakeForm(std::move(options));
    ASSERT_TRUE(window.FormActivate());
    for (QAction* item : TopMenu(window, "&Window")->actions())
      if (item->text() == "New Graphic Window...") item->trigger();
    EXPECT_EQ(asked, std::optional<bool>(false));
    ASSERT_EQ(window.ChildArray().Views().size(), 1u);
    TMDIChild* view = window.ChildArray().Views().front();
    EXPECT_EQ(view->Session(), window.App().Lists().GetSession(c.choice.SessionIndex));
    if (c.choice.Allan) {
      auto* allan = dynamic_cast<TAllanChild*>(view);
      ASSERT_NE(allan, nullptr);
      EXPECT_EQ(allan->AllanMode(), c.choice.AllanMode);
    } else {
      auto* graph = dynamic_cast<TGraphicChild*>(view);
      ASSERT_NE(graph, nullptr);
      EXPECT_EQ(graph->GraphicMode(), c.choice.Mode);
      EXPECT_EQ(graph->SecondSession(), window.App().Lists().GetSession(c.choice.SecondSessionIndex));
    }
    EXPECT_FALSE(view->PlacementWidget()->isHidden());
    window.close();
    const std::string ini = Ini();
    EXPECT_TRUE(HasLine(ini, "ChildCount=1")) << ini;
    for (const std::string& key : c.keys) EXPECT_TRUE(HasLine(ini, key)) << key << "\n" << ini;
    form.reset();
  }
}

// A graph of two sessions comes back after a restart with both, and Change Window Settings can
// drop the second one.
TEST_F(MainFormTest, AGraphOfTwoSessionsComesBackAndCanLetTheSecondGo) {
  TMainFormOptions options = Options();
  options.Dialogs.GraphicSelection = [&](QWidget*, const std::vector<TGraphicSelectionSession>&,
                                         const TGraphicViewSelection& preset, bool) -> std::optional<TGraphicViewSelection> {
    EXPECT_EQ(preset.SecondSessionIndex, 1);
    TGraphicViewSelection choice = preset;
    choice.SecondSessionIndex = -1;
    return choice;
  };
  WriteIni("INI_Version=6\n" + StoredSessions(2) +
           "ChildCount=1\n"
           "View_1_Id=1\nView_1_Session=0\nView_1_SecondSession=1\nView_1_GraphicMode1=0\nView_1_GraphicMode2=2\n"
           "View_1_Scale_2_3=5, -10, 0, 0\n");
  TMainForm& window = MakeForm(std::move(options));
  ASSERT_TRUE(window.FormActivate());
  auto* graph = dynamic_cast<TGraphicChild*>(window.ChildArray().Entry(1).View);
  ASSERT_NE(graph, nullptr);
  EXPECT_EQ(graph->SecondSession(), window.App().Lists().GetSession(1));
  EXPECT_EQ(graph->GraphicModeRight(), gmFreqRel);
  EXPECT_EQ(graph->Scale(3, 2).Step, 5);
  EXPECT_EQ(graph->Scale(3, 2).Exponent, -10);
  EXPECT_TRUE(graph->Plot()->UseY2());
  window.findChild<QMdiArea*>()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(graph->PlacementWidget()));
  for (QAction* item : TopMenu(window, "&Window")->actions())
    if (item->text() == "Change Window Settings...") item->trigger();
  EXPECT_EQ(graph->SecondSession(), nullptr);
  EXPECT_FALSE(graph->Plot()->UseY2());
  window.close();
  EXPECT_TRUE(HasLine(Ini(), "View_1_SecondSession=-1")) << Ini();
}

TEST_F(MainFormTest, NewGraphicWindowCancelledCreatesNothing) {
  TMainFormOptions options = Options();
  options.Dialogs.GraphicSelection = [](QWidget*, const std::vector<TGraphicSelectionSession>&,
                                        const TGraphicViewSelection&, bool) { return std::nullopt; };
  WriteIni(StoredSessions(1) + "ChildCount=0\n");
  TMainForm& window = MakeForm(std::move(options));
  ASSERT_TRUE(window.FormActivate());
  for (QAction* item : TopMenu(window, "&Window")->actions())
    if (item->text() == "New Graphic Window...") item->trigger();
  EXPECT_TRUE(window.ChildArray().Views().empty());
}

// "Change Window Settings..." on a graph or an Allan graph changes its mode and keeps the view.
TEST_F(MainFormTest, ChangeWindowSettingsChangesTheModeOfGraphs) {
  TMainFormOptions options = Options();
  std::vector<TGraphicViewSelection> presets;
  options.Dialogs.GraphicSelection = [&](QWidget*, const std::vector<TGraphicSelectionSession>&,
                                         const TGraphicViewSelection& preset,
                                         bool change) -> std::optional<TGraphicViewSelection> {
    EXPECT_TRUE(change);
    presets.push_back(preset);
    TGraphicViewSelection choice = preset;
    choice.Mode = gmPhaseTheo;
    choice.AllanMode = amPhaseDiff;
    return choice;
  };
  WriteIni("INI_Version=6\n" + StoredSessions(1) +
           "ChildCount=2\n"
           "View_1_Id=1\nView_1_Session=0\nView_1_GraphicMode1=1\n"
           "View_2_Id=2\nView_2_Session=0\nView_2_AllanMode=0\n");
  TMainForm& window = MakeForm(std::move(options));
  ASSERT_TRUE(window.FormActivate());
  auto* graph = dynamic_cast<TGraphicChild*>(window.ChildArray().Entry(1).View);
  auto* allan = dynamic_cast<TAllanChild*>(window.ChildArray().Entry(2).View);
  ASSERT_TRUE(graph && allan);
  QAction* change = nullptr;
  for (QAction* item : TopMenu(window, "&Window")->actions())
    if (item->text() == "Change Window Settings...") change = item;
  ASSERT_NE(change, nullptr);
  for (TMDIChild* view : {static_cast<TMDIChild*>(graph), static_cast<TMDIChild*>(allan)}) {
    window.findChild<QMdiArea*>()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(view->PlacementWidget()));
    change->trigger();
  }
  ASSERT_EQ(presets.size(), 2u);
  EXPECT_EQ(presets[0], (TGraphicViewSelection{0, false, gmFreqAbs, amFreq}));
  EXPECT_EQ(presets[1], (TGraphicViewSelection{0, true, gmFreqAbs, amFreq}));
  EXPECT_EQ(graph->GraphicMode(), gmPhaseTheo);
  EXPECT_EQ(allan->AllanMode(), amPhaseDiff);
  EXPECT_EQ(window.ChildArray().Views().size(), 2u);
}

// "Change Window Settings..." on an Allan text view offers its present choices and applies the new
// ones; a choice of another type leaves the view as it is.
TEST_F(MainFormTest, ChangeWindowSettingsOfAnAllanTextView) {
  TMainFormOptions options = Options();
  std::vector<TTextViewSelection> presets;
  TTextViewType answerType = TTextViewType::Allan;
  options.Dialogs.TextSelection = [&](QWidget*, const std::vector<TTextSelectionSession>&,
                                      const TTextViewSelection& preset) -> std::optional<TTextViewSelection> {
    presets.push_back(preset);
    TTextViewSelection choice = preset;
    choice.Type = answerType;
    choice.AdevMode = amPhaseRes;
    choice.TauColumns = "0000000000000000011";
    return choice;
  };
  WriteIni("INI_Version=6\n" + StoredSessions(1) +
           "ChildCount=1\nView_1_Id=5\nView_1_Session=0\nView_1_AllanMode=2\nView_1_Columns=1110000000000000000\n");
  TMainForm& window = MakeForm(std::move(options));
  ASSERT_TRUE(window.FormActivate());
  auto* view = dynamic_cast<TTextAllanChild*>(window.ChildArray().Entry(1).View);
  ASSERT_NE(view, nullptr);
  window.findChild<QMdiArea*>()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(view->PlacementWidget()));
  QAction* change = nullptr;
  for (QAction* item : TopMenu(window, "&Window")->actions())
    if (item->text() == "Change Window Settings...") change = item;
  ASSERT_NE(change, nullptr);
  answerType = TTextViewType::Standard;
  change->trigger();
  EXPECT_EQ(view->AllanMode(), amPhaseDiff);
  answerType = TTextViewType::Allan;
  change->trigger();
  ASSERT_EQ(presets.size(), 2u);
  EXPECT_EQ(presets[0].Type, TTextViewType::Allan);
  EXPECT_EQ(presets[0].AdevMode, amPhaseDiff);
  EXPECT_EQ(presets[0].TauColumns, "1110000000000000000");
  EXPECT_EQ(presets[0].SessionIndex, 0);
  EXPECT_EQ(view->AllanMode(), amPhaseRes);
  EXPECT_EQ(view->GetColumnEnabled(), "0000000000000000011");
  EXPECT_EQ(window.ChildArray().Views().size(), 1u);
}

// "Raw Data" in "New Text Window" opens the raw-data view, which comes back after a restart.
TEST_F(MainFormTest, NewTextWindowWithTheRawDataTypeOpensTheRawDataView) {
  TMainFormOptions options = Options();
  options.Dialogs.TextSelection = [](QWidget*, const std::vector<TTextSelectionSession>&,
                                     const TTextViewSelection& preset) -> std::optional<TTextViewSelection> {
    TTextViewSelection choice = preset;
    choice.Type = TTextViewType::RawData;
    choice.Title = "Raw";
    return choice;
  };
  WriteIni(StoredSessions(1) + "ChildCount=0\n");
  TMainForm& window = MakeForm(std::move(options));
  ASSERT_TRUE(window.FormActivate());
  for (QAction* item : TopMenu(window, "&Window")->actions())
    if (item->text() == "New Text Window...") item->trigger();
  ASSERT_EQ(window.ChildArray().Views().size(), 1u);
  auto* view = dynamic_cast<TRawDataChild*>(window.ChildArray().Views().front());
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->Title(), "Raw");
  // "Change Window Settings..." keeps it a raw-data view.
  window.findChild<QMdiArea*>()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(view->PlacementWidget()));
  for (QAction* item : TopMenu(window, "&Window")->actions())
    if (item->text() == "Change Window Settings...") item->trigger();
  EXPECT_EQ(window.ChildArray().Views().front(), view);
  EXPECT_EQ(view->Title(), "Raw");
  window.close();
  const std::string ini = Ini();
  EXPECT_TRUE(HasLine(ini, "View_1_Id=4")) << ini;
  form.reset();

  TMainForm& again = MakeForm();
  ASSERT_TRUE(again.FormActivate());
  auto* restored = dynamic_cast<TRawDataChild*>(again.ChildArray().Entry(1).View);
  ASSERT_NE(restored, nullptr);
  EXPECT_EQ(restored->Session(), again.App().Lists().GetSession(0));
  EXPECT_EQ(restored->Title(), "Raw");
}

// The digital-inputs view opens for a session whose instrument reports cards and comes back after a
// restart with its keys.
TEST_F(MainFormTest, DigitalInputsWindowOpensForASessionWithCardsAndComesBackAfterARestart) {
  TMainFormOptions options = Options();
  std::vector<QStringList> asked;
  options.Dialogs.DGISession = [&](QWidget*, const QStringList& captions) -> std::optional<int> {
    asked.push_back(captions);
    return 1;
  };
  WriteIni(StoredSessions(3) + "ChildCount=0\n");
  TMainForm& window = MakeForm(std::move(options));
  ASSERT_TRUE(window.FormActivate());
  QMenu* menu = TopMenu(window, "&Window");
  QAction* item = nullptr;
  for (QAction* action : menu->actions())
    if (action->text() == "New Digital Inputs Window...") item = action;
  ASSERT_NE(item, nullptr);
  Q_EMIT menu->aboutToShow();
  EXPECT_FALSE(item->isEnabled()) << "no session reports digital-input cards";
  for (int32_t index : {0, 2})
    ASSERT_TRUE(dynamic_cast<TZCT_DataManagement&>(*Session(index).DataManagement()).AddDGI("7100: 00000003"));
  Session(2).Notify(swDGICards, 1);
  window.App().DisplayTimerTimer();
  EXPECT_TRUE(item->isEnabled()) << "the notice of the cards enables it";
  item->trigger();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].size(), 2);
  ASSERT_EQ(window.ChildArray().Views().size(), 1u);
  auto* view = dynamic_cast<TDigitalInputsChild*>(window.ChildArray().Views().front());
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->Session(), window.App().Lists().GetSession(2));
  EXPECT_EQ(view->CardCount(), 1);
  view->SetTitle("Rack");
  window.close();
  const std::string ini = Ini();
  for (const char* line : {"ChildCount=1", "View_1_Id=9", "View_1_Session=2"}) EXPECT_TRUE(HasLine(ini, line)) << line << "\n" << ini;
  form.reset();

  TMainForm& again = MakeForm();
  ASSERT_TRUE(again.FormActivate());
  ASSERT_EQ(again.ChildArray().Views().size(), 1u);
  auto* restored = dynamic_cast<TDigitalInputsChild*>(again.ChildArray().Entry(1).View);
  ASSERT_NE(restored, nullptr);
  EXPECT_EQ(restored->Session(), again.App().Lists().GetSession(2));
  EXPECT_EQ(restored->Title(), "Rack");
}

// ---------------------------------------------------------------- info views

QLabel* PanelLabel(TInfoChild& info, int id) { return info.findChild<QLabel*>(QString("Label%1").arg(id)); }
bool IsRed(const QLabel* label) { return label->palette().color(QPalette::WindowText) == QColor(Qt::red); }

TEST_F(MainFormTest, EverySessionHasItsInfoViewUntilItIsRemoved) {
  TMainForm& window = Started(2);
  for (int32_t index : {0, 1}) {
    TInfoChild* info = window.InfoView(index);
    ASSERT_NE(info, nullptr) << index;
    EXPECT_EQ(&info->Session(), window.App().Lists().GetSession(index));
    auto* sub = qobject_cast<QMdiSubWindow*>(info->parentWidget());
    ASSERT_NE(sub, nullptr);
    EXPECT_TRUE(window.MdiArea().subWindowList().contains(sub));
    EXPECT_FALSE(sub->windowFlags().testFlag(Qt::WindowCloseButtonHint));
  }
  EXPECT_EQ(window.InfoView(1)->windowTitle(), "   Info[B]");
  // The session's actions are bound: the mode list runs the session's own mode action.
  auto* combo = window.InfoView(1)->findChild<QComboBox*>("ComboMode");
  combo->showPopup();
  combo->view()->setCurrentIndex(combo->model()->index(2, 0));
  QTest::keyClick(combo->view(), Qt::Key_Return);
  EXPECT_EQ(probe->Commands, (std::vector<TSentCommand>{{1, "\x42", "Mode Frequency"}}));

  answers.push_back(Answer("fake:new"));
  TopMenu(window, "&Source")->actions().last()->trigger();
  ASSERT_NE(window.InfoView(2), nullptr);
  EXPECT_EQ(window.InfoView(2)->windowTitle(), "   Info[C]");

  QPointer<QMdiSubWindow> removed = qobject_cast<QMdiSubWindow*>(window.InfoView(1)->parentWidget());
  window.App().RemoveSessionRequest(1);
  window.App().DisplayTimerTimer();
  EXPECT_EQ(window.InfoView(1), nullptr);
  EXPECT_TRUE(removed.isNull());
  EXPECT_NE(window.InfoView(0), nullptr);
}

TEST_F(MainFormTest, FirstStartPutsTheInfoViewsAtTheRightEdgeAndTheMessageViewLeftOfThem) {
  WriteIni(StoredSessions(2));
  TMainForm& window = MakeForm();
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_TRUE(area.contains(window.geometry())) << "the design placement fits on the screen";
  window.show();
  window.resize(1300, 800);  // wider than the test screen: room for all of them
  ASSERT_TRUE(window.FormActivate());
  const auto frame = [&](QWidget* view) { return view->parentWidget()->geometry(); };
  const QRect a = frame(window.InfoView(0));
  const QRect b = frame(window.InfoView(1));
  EXPECT_EQ(a.right() + 1, window.MdiArea().viewport()->width());
  EXPECT_EQ(b.right() + 1, a.left());
  EXPECT_EQ(a.top(), 0);
  EXPECT_LE(window.MessageView()->PlacementWidget()->geometry().right(), b.left());
}

TEST_F(MainFormTest, InfoViewsGoBeforeTheirSessions) {
  Started(2);
  std::vector<size_t> freedBefore;
  for (int32_t index : {0, 1})
    QObject::connect(form->InfoView(index), &QObject::destroyed, [&] { freedBefore.push_back(probe->Freed.size()); });
  form.reset();
  EXPECT_EQ(freedBefore, (std::vector<size_t>{0, 0}));
  EXPECT_EQ(probe->Freed.size(), 2u);
}

TEST_F(MainFormTest, ShowInInfoBoxShowsAndHidesTheSessionsPanel) {
  TMainForm& window = Started(2);
  TInfoChild& info = *window.InfoView(1);
  const std::vector<std::pair<const char*, int>> cases = {
      {"InfoShowScrambler", ipScrambler}, {"InfoShowLogging", ipLogFiles}, {"InfoShowAllan", ipAllan}};
  for (const auto& [name, panel] : cases) {
    SCOPED_TRACE(name);
    QAction* show = Action(name, 1);
    EXPECT_TRUE(show->isEnabled());
    EXPECT_TRUE(show->isChecked());
    ASSERT_TRUE(info.PanelVisible(panel));
    show->trigger();
    EXPECT_FALSE(show->isChecked());
    EXPECT_FALSE(info.PanelVisible(panel));
    EXPECT_TRUE(window.InfoView(0)->PanelVisible(panel));  // the other session's panel stays
    show->trigger();
    EXPECT_TRUE(info.PanelVisible(panel));
  }
  EXPECT_TRUE(LogHas("TMainForm.InfoShowExecute[1]: Id=6"));
  // The panel's close mark clears the menu's check mark.
  info.findChild<QToolButton*>("Close3")->click();
  EXPECT_FALSE(info.PanelVisible(ipScrambler));
  EXPECT_FALSE(Action("InfoShowScrambler", 1)->isChecked());
}

TEST_F(MainFormTest, NoticesOfTheSessionReachItsInfoView) {
  TMainForm& window = Started(1);
  TInfoChild& info = *window.InfoView(0);
  auto* combo = info.findChild<QComboBox*>("ComboMode");
  combo->showPopup();
  combo->view()->setCurrentIndex(combo->model()->index(3, 0));
  QTest::keyClick(combo->view(), Qt::Key_Return);
  EXPECT_TRUE(IsRed(PanelLabel(info, ipMode)));  // requested, not yet confirmed

  TRecordingSession& session = Session(0);
  session.Notify(swMode, 3);
  session.Notify(swRateIndex, 9);
  session.Notify(swScrambler, 3);
  session.Notify(swPPI, 3);
  window.App().DisplayTimerTimer();
  EXPECT_FALSE(IsRed(PanelLabel(info, ipMode)));
  EXPECT_EQ(info.ModeIndex(), 3);
  EXPECT_EQ(combo->currentIndex(), 3);
  EXPECT_EQ(info.IntervalMs(), 1000);
  EXPECT_EQ(info.findChild<QComboBox*>("ComboRate")->currentText(), "1s");
  EXPECT_EQ(PanelLabel(info, ipScrambler)->text(), "Scrambler (in use)");
  EXPECT_FALSE(info.findChild<QRadioButton*>("RadioScramblerAuto")->isEnabled());
  EXPECT_EQ(PanelLabel(info, ipPPI)->text(), "PPI (in use)");
  EXPECT_FALSE(Action("PPIactive", 0)->isEnabled());

  // The instrument carries interval-counter data only: the counter panels go.
  session.Notify(swIVConly, 0);
  window.App().DisplayTimerTimer();
  EXPECT_FALSE(info.PanelVisible(ipMode));
  EXPECT_FALSE(info.PanelVisible(ipInterval));
  EXPECT_TRUE(info.PanelVisible(ipIVC));
}

TEST_F(MainFormTest, InfoViewKeysSurviveARestartAndASessionChange) {
  TMainForm& window = Started(2);
  window.resize(1000, 700);
  Action("InfoShowAllan", 1)->trigger();
  window.InfoView(1)->parentWidget()->move(30, 40);
  window.close();
  const std::string ini = Ini();
  for (const char* line : {"Info_1_Left=30", "Info_1_Top=40", "Info_1_Panel_6=False", "Info_1_Panel_3=True",
                           "Info_0_Panel_6=True"})
    EXPECT_TRUE(HasLine(ini, line)) << line << "\n" << ini;

  form.reset();
  MakeForm();
  ASSERT_TRUE(form->FormActivate());
  TInfoChild* info = form->InfoView(1);
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->parentWidget()->pos(), QPoint(30, 40));
  EXPECT_FALSE(info->PanelVisible(ipAllan));
  EXPECT_FALSE(Action("InfoShowAllan", 1)->isChecked());
  EXPECT_TRUE(form->InfoView(0)->PanelVisible(ipAllan));

  // A new source for B: its new info view keeps the place and the panels of the old one.
  Action("InfoShowAllan", 1)->trigger();
  Action("InfoShowPPI", 1)->trigger();
  info->parentWidget()->move(50, 60);
  answers.push_back(Answer("fake:other"));
  Action("SourceChange", 1)->trigger();
  form->App().DisplayTimerTimer();
  TInfoChild* replaced = form->InfoView(1);
  ASSERT_NE(replaced, nullptr);
  EXPECT_EQ(&replaced->Session(), form->App().Lists().GetSession(1));
  EXPECT_EQ(replaced->parentWidget()->pos(), QPoint(50, 60));
  EXPECT_TRUE(replaced->PanelVisible(ipAllan));
  EXPECT_FALSE(replaced->PanelShown(ipPPI));
}

}  // namespace

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTableWidget>
#include <QGroupBox>
#include <QRadioButton>
#include <gtest/gtest.h>

#include "data/ZCT_DataManagement.h"
#include "core/VTA_Settings.h"
#include "ui/AllanConfigDialog.h"
#include "ui/CenterValuesDialog.h"
#include "ui/GraphicChild.h"
#include "ui/VirtualChannelsDialog.h"
#include "ui/SensorWarningsDialog.h"
#include "acquisition/VTA_SensorSession.h"
#include "ui/DebugFilesDialog.h"
#include "ui/DeviceInfoDialog.h"
#include "devices/QV_DeviceInfo.h"
#include "ui/MainFormTestSupport.h"

namespace {

using MainSettingsDialogsTest = MainFormTest;

QAction* LoggingItem(QMainWindow& form, const QString& text) {
  for (QAction* action : TopMenu(form, "&Logging")->actions())
    if (action->text() == text) return action;
  return nullptr;
}

TZCT_DataManagement& Store(TSessionItem& session) { return dynamic_cast<TZCT_DataManagement&>(*session.DataManagement()); }

TEST_F(MainSettingsDialogsTest, AllanConfigurationShowsAndSetsTheSessionsDecay) {
  Started(2);
  Store(Session(1)).SetAllanDecay(7);
  QString shown;
  QString entered = "12";
  settingsDialog = [&](QDialog& dialog) {
    auto& allan = dynamic_cast<TAllanConfigDialog&>(dialog);
    shown = allan.Edit()->text();
    allan.Edit()->setText(entered);
    allan.accept();
    return allan.result() == QDialog::Accepted;
  };
  Action("SourceAllanConfig", 1)->trigger();
  EXPECT_EQ(shown, "7");
  EXPECT_EQ(Store(Session(1)).AllanDecay(), 12);
  EXPECT_EQ(Store(Session(0)).AllanDecay(), 0);
  EXPECT_TRUE(LogHas("TMainForm.SourceAllanConfigExecute[1]: Id=0"));

  entered = "100";  // refused: the dialog stays open, the test's runner sees it not accepted
  Action("SourceAllanConfig", 1)->trigger();
  EXPECT_EQ(Store(Session(1)).AllanDecay(), 12);
}

TEST_F(MainSettingsDialogsTest, DebugFilesMoveTheApplicationsAndTheSessionsDebugFiles) {
  Started(2);
  const std::string root = dir.File("debug-new/");
  std::vector<std::string> groups;
  settingsDialog = [&](QDialog& dialog) {
    auto& debug = dynamic_cast<TDebugFilesDialog&>(dialog);
    for (auto* group : debug.findChildren<QGroupBox*>()) groups.push_back(group->title().toStdString());
    debug.FolderEdit()->setText(QString::fromStdString(root));
    debug.KeepAllAppButton()->setChecked(true);
    debug.accept();
    return debug.result() == QDialog::Accepted;
  };
  const std::string oldFile = InternLogFileName(form->App().LogId());
  LoggingItem(*form, "Debug Files...")->trigger();
  EXPECT_NE(std::find(groups.begin(), groups.end(), " [B] "), groups.end());
  TVTASettings& settings = form->App().Settings();
  EXPECT_EQ(settings.DebugRootFolder(), root);
  EXPECT_TRUE(settings.AppDebugLog());
  EXPECT_EQ(form->App().DebugRootFolder(), root);
  EXPECT_EQ(Session(0).DebugPath(), root);
  // The application's debug file is now written in the new folder, keeping every line.
  EXPECT_FALSE(QDir(QString::fromStdString(root)).entryList(QDir::Files).isEmpty());
  EXPECT_NE(InternLogFileName(form->App().LogId()), oldFile);
  EXPECT_EQ(InternLogFileName(form->App().LogId()).rfind(root, 0), 0u);
}

TEST_F(MainSettingsDialogsTest, CenterValuesSetTheCentresOfTheActiveGraphicView) {
  WriteIni("INI_Version=6\n" + StoredSessions(1) +
           "ChildCount=1\n"
           "View_1_Id=1\nView_1_Session=0\nView_1_SessionCopy=False\nView_1_GraphicMode1=2\n"
           "View_1_Scale_1_3=5, -7, 0.25, 0\n");
  MakeForm();
  ASSERT_TRUE(form->FormActivate());
  auto* view = dynamic_cast<TGraphicChild*>(form->ChildArray().Entry(1).View);
  ASSERT_NE(view, nullptr);
  QMenu* window = TopMenu(*form, "&Window");
  QAction* center = nullptr;
  for (QAction* action : window->actions())
    if (action->text() == "Center values...") center = action;
  ASSERT_NE(center, nullptr);

  int asked = 0;
  settingsDialog = [&](QDialog& dialog) {
    auto& centres = dynamic_cast<TCenterValuesDialog&>(dialog);
    ++asked;
    EXPECT_EQ(centres.Grid()->item(2, 2)->text().toStdString(), "0.25");
    centres.Grid()->item(0, 2)->setText("1.5");
    centres.Grid()->item(2, 2)->setText("");
    centres.accept();
    return centres.result() == QDialog::Accepted;
  };
  center->trigger();  // no active view yet: nothing to centre
  EXPECT_EQ(asked, 0);
  form->MdiArea().setActiveSubWindow(qobject_cast<QMdiSubWindow*>(view->PlacementWidget()));
  center->trigger();
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(view->Scale(1).Center, 1.5);
  EXPECT_EQ(view->Scale(3).Center, 0.25);
}

// With a channel of the second session selected, the dialog centres that session's channels.
TEST_F(MainSettingsDialogsTest, CenterValuesFollowTheSelectedSessionOfATwoSessionGraph) {
  WriteIni("INI_Version=6\n" + StoredSessions(2) +
           "ChildCount=1\n"
           "View_1_Id=1\nView_1_Session=0\nView_1_SecondSession=1\nView_1_GraphicMode1=1\nView_1_Selected2=2\n"
           "View_1_Scale_2_2=1, -3, 7, 0\n");
  MakeForm();
  ASSERT_TRUE(form->FormActivate());
  auto* view = dynamic_cast<TGraphicChild*>(form->ChildArray().Entry(1).View);
  ASSERT_NE(view, nullptr);
  ASSERT_EQ(view->SelectedBase(), 2);
  form->MdiArea().setActiveSubWindow(qobject_cast<QMdiSubWindow*>(view->PlacementWidget()));
  settingsDialog = [&](QDialog& dialog) {
    auto& centres = dynamic_cast<TCenterValuesDialog&>(dialog);
    EXPECT_EQ(centres.Grid()->item(1, 2)->text().toStdString(), "7");
    centres.Grid()->item(0, 2)->setText("2.5");
    centres.accept();
    return centres.result() == QDialog::Accepted;
  };
  for (QAction* action : TopMenu(*form, "&Window")->actions())
    if (action->text() == "Center values...") action->trigger();
  EXPECT_EQ(view->Scale(1, 2).Center, 2.5);
  EXPECT_EQ(view->Scale(1, 1).Center, 0);
}

TEST_F(MainSettingsDialogsTest, VirtualZCTChannelsGoToTheSessionAndItsStore) {
  Started(1);
  settingsDialog = [&](QDialog& dialog) {
    auto& virt = dynamic_cast<TVirtualChannelsDialog&>(dialog);
    virt.Grid()->item(0, 0)->setText("D12");
    virt.Grid()->item(0, 2)->setText("1");
    virt.Grid()->item(0, 3)->setText("-1");
    virt.DescriptionEdit()->setText("Differences");
    virt.accept();
    return virt.result() == QDialog::Accepted;
  };
  Action("SourceVirtualZCTChannels", 0)->trigger();
  TSessionItem& session = Session(0);
  EXPECT_EQ(session.VirtualChannelCount(), 1);
  EXPECT_EQ(session.VirtualFactors(1)[0], 1);
  EXPECT_EQ(session.VirtualFactors(1)[1], -1);
  EXPECT_EQ(session.VirtualChannelData().ChannelId(1), "D12");
  EXPECT_EQ(session.VirtualChannelData().MaxChannels(), 1);
  EXPECT_EQ(session.VirtualDescription(), "Differences");
}

TEST_F(MainSettingsDialogsTest, DevicesItemsShowTheDeviceInformation) {
  WriteIni(StoredSessions(1) + "ChildCount=0\n");
  TMainFormOptions options = Options();
  options.DeviceSerials = [] { return std::vector<uint32_t>{0x1234ABCD, 7}; };
  options.DeviceInfo = [](uint32_t serial) -> std::optional<TQV_DeviceInfo> {
    if (serial != 0x1234ABCD) return std::nullopt;
    TQV_DeviceInfo info;
    info.SetSerialNumber(serial);
    return info;
  };
  MakeForm(std::move(options));
  ASSERT_TRUE(form->FormActivate());
  form->App().DisplayTimerTimer();
  QMenu* devices = TopMenu(*form, "&Devices");
  ASSERT_EQ(MenuLines(devices), (std::vector<std::string>{"Q+V device 1234ABCD", "Q+V device 00000007"}));
  std::vector<QString> shown;
  settingsDialog = [&](QDialog& dialog) {
    shown.push_back(dynamic_cast<TDeviceInfoDialog&>(dialog).windowTitle());
    return false;
  };
  devices->actions()[0]->trigger();
  EXPECT_EQ(shown, std::vector<QString>{"Q+V device 1234ABCD"});
  devices->actions()[1]->trigger();  // listed, but its information is gone
  EXPECT_EQ(shown.size(), 1u);
  EXPECT_EQ(messages.back(), form->windowTitle().toStdString() + ": No information on Q+V device 00000007");
}

// The info view's debug switch reaches the session; a failure is the session's user error 85.
TEST_F(MainSettingsDialogsTest, InfoViewDebugSwitchSwitchesTheSessionsDebugLog) {
  Started(1);
  Session(0).Probe().DebugError = "disk full";
  auto* debug = form->InfoView(0)->findChild<QCheckBox*>("CheckDebug");
  ASSERT_NE(debug, nullptr);
  debug->click();
  EXPECT_TRUE(LogHas("TMainForm.DebugEnable: sIndex=0 aDebug=True aStream=False aTest=False"));
  bool reported = false;
  for (const TMessageItem& item : form->App().Messages().Snapshot())
    reported = reported || (item.Code == 85 && item.Text == "Session debug log failed: disk full" && item.sIndex == 0);
  EXPECT_TRUE(reported);
}

// "Sensor Warnings..." shows each channel of the sensor with its signal and range, and sets the
// ranges and the warning settings the user chose; they are kept in the settings.
TEST_F(MainSettingsDialogsTest, SensorWarningsSetTheRangesAndTheWarningSettingsOfTheSession) {
  WriteIni("SessionCount=1\nSession_0_SessionType=1\nSession_0_OpenString=DemoSensor\nChildCount=0\n");
  MakeForm();
  ASSERT_TRUE(form->FormActivate());
  auto& sensor = dynamic_cast<TSensorSessionItem&>(*form->App().Lists().GetSession(0));
  sensor.SetRangeInfo(3, {18, 24, true});
  QString caption;
  TSensorWarnings shown;
  settingsDialog = [&](QDialog& dialog) {
    auto& warnings = dynamic_cast<TSensorWarningsDialog&>(dialog);
    caption = warnings.windowTitle();
    shown = warnings.Result();
    warnings.Table()->item(3, 2)->setText("40");
    warnings.Table()->item(3, 3)->setText("55");
    Q_EMIT warnings.Table()->cellClicked(3, 4);
    warnings.RepeatEdit()->setText("2");
    warnings.LogBox()->setChecked(true);
    warnings.accept();
    return warnings.result() == QDialog::Accepted;
  };
  Action("SourceSensorAlarm", 0)->trigger();
  EXPECT_EQ(caption, "[A] Sensor Warnings");
  ASSERT_EQ(shown.Channels.size(), 6u);
  EXPECT_EQ(shown.Channels[2], (TSensorWarningChannel{"Temperature", "°C", {18, 24, true}}));
  EXPECT_EQ(shown.Channels[3].SignalName, "Humidity");
  EXPECT_EQ(sensor.RangeInfo(3), (TSensorRangeInfo{18, 24, true}));
  EXPECT_EQ(sensor.RangeInfo(4), (TSensorRangeInfo{40, 55, true}));
  EXPECT_EQ(sensor.SensorAlarm(), (TSensorAlarm{2, 5, true}));

  form->close();
  const std::string ini = Ini();
  EXPECT_TRUE(HasLine(ini, "Session_0_Alarm=2, 5, True")) << ini;
  EXPECT_NE(ini.find("Session_0_RangeInfo_4="), std::string::npos) << ini;
}

}  // namespace

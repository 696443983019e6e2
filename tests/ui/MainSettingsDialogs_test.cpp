#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QGroupBox>
#include <QRadioButton>
#include <gtest/gtest.h>

#include "data/ZCT_DataManagement.h"
#include "core/VTA_Settings.h"
#include "ui/AllanConfigDialog.h"
#include "ui/DebugFilesDialog.h"
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

}  // namespace

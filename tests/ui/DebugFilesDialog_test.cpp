#include "ui/DebugFilesDialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <gtest/gtest.h>

#include "support/TempDir.h"
#include "ui/DialogTestSupport.h"

namespace {

TDebugFilesChoice TwoSessions(const std::string& root) {
  TDebugFilesChoice choice{root, false, {}};
  choice.Sessions.push_back({0, "Maser", 0x00FFFF, true, true, false, true, false});
  choice.Sessions.push_back({1, "", 0xFF00FF, false, false, true, false, false});
  return choice;
}

TEST(DebugFilesDialog, ShowsEachSessionsSwitches) {
  TTempDir dir;
  TDebugFilesDialog dialog(nullptr, TwoSessions(dir.Path()));
  EXPECT_EQ(dialog.windowTitle(), "Debug Files");
  QStringList groups;
  for (auto* group : dialog.findChildren<QGroupBox*>()) groups << group->title();
  EXPECT_EQ(groups, (QStringList{"Root folder for debug files", "App Debug File", " [A: Maser] ", "Source Debug File",
                                 "Source Stream File", " [B] ", "Source Debug File"}));
  EXPECT_EQ(dialog.KeepAllAppButton()->text(), "keep all files");
  EXPECT_FALSE(dialog.KeepAllAppButton()->isChecked());
  EXPECT_TRUE(dialog.KeepAllButton(0)->isChecked());
  EXPECT_TRUE(dialog.LowLevelBox(0)->isChecked());
  EXPECT_FALSE(dialog.HexBox(0)->isChecked());
  EXPECT_FALSE(dialog.StreamButton(0)->isChecked());
  EXPECT_EQ(dialog.StreamButton(1), nullptr);  // the stream file is a counter's
  EXPECT_TRUE(dialog.HexBox(1)->isChecked());
}

TEST(DebugFilesDialog, ReturnsTheChoicesAndMakesTheFolder) {
  TTempDir dir;
  TDebugFilesDialog dialog(nullptr, TwoSessions(dir.Path()));
  std::vector<QString> asked;
  dialog.SetFolderChooser([&](const QString& caption, const QString& start) {
    asked.push_back(caption + " | " + start);
    return QString::fromStdString(dir.File("new/debug"));
  });
  dialog.BrowseFolder();
  EXPECT_EQ(asked, std::vector<QString>{"Root folder for debug files | " + QString::fromStdString(dir.Path())});
  EXPECT_EQ(dialog.FolderEdit()->text().toStdString(), dir.File("new/debug/"));
  dialog.KeepAllAppButton()->setChecked(true);
  dialog.StreamButton(0)->setChecked(true);
  dialog.HexBox(0)->setChecked(true);
  dialog.accept();
  ASSERT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_TRUE(QDir(QString::fromStdString(dir.File("new/debug"))).exists());
  const TDebugFilesChoice choice = dialog.Choice();
  EXPECT_EQ(choice.RootFolder, dir.File("new/debug/"));
  EXPECT_TRUE(choice.KeepAllApp);
  EXPECT_TRUE(choice.Sessions[0].Stream);
  EXPECT_TRUE(choice.Sessions[0].HexReports);
  EXPECT_TRUE(choice.Sessions[0].KeepAll);
  EXPECT_FALSE(choice.Sessions[1].KeepAll);
}

TEST(DebugFilesDialog, RefusesAFolderThatCannotBeMade) {
  TTempDir dir;
  WriteWholeFile(dir.File("plain"), "a file, not a folder");
  for (const std::string& folder : {std::string(), dir.File("plain/sub/"), dir.File("plain")}) {
    TDebugFilesDialog dialog(nullptr, TwoSessions(dir.Path()));
    dialog.FolderEdit()->setText(QString::fromStdString(folder));
    dialog.accept();
    EXPECT_NE(dialog.result(), QDialog::Accepted) << folder;
    EXPECT_EQ(dialog.ErrorLabel()->text().toStdString(), "Invalid path " + folder);
  }
}

TEST(DebugFilesDialog, Screenshot) {
  TTempDir dir;
  TDebugFilesDialog dialog(nullptr, TwoSessions("/var/lib/vta/Debug/"));
  SaveDialogScreenshot(dialog, "debug_files_dialog");
}

}  // namespace

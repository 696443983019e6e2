#include "ui/TimeSettingsDialog.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <gtest/gtest.h>

#include "app/VTA_MultiSampler.h"
#include "core/QV_NumberText.h"
#include "ui/DialogTestSupport.h"

namespace {

std::string Text(const TLogTimeSettings& value) {
  return value.Format + "|" + BoolText(value.SourceZCT) + "|" + BoolText(value.ZoneUTC);
}

TEST(TimeSettingsDialog, ShowsTheStoredSettings) {
  TDialogSettings files;
  const TLogTimeSettings stored = TimeSettingsOf(files.settings);
  EXPECT_EQ(Text(stored), "YYMMDD HHNNSS.ZZZ|False|False");
  TTimeSettingsDialog dialog(nullptr, {"YYMMDD HHNNSS.ZZZ", true, true});
  EXPECT_EQ(dialog.windowTitle(), "Log Files: Time Format");
  QStringList groups;
  for (auto* group : dialog.findChildren<QGroupBox*>()) groups << group->title();
  EXPECT_EQ(groups, (QStringList{"Format string", "Time zone", "Time source"}));
  QStringList choices;
  for (auto* button : dialog.findChildren<QRadioButton*>()) choices << button->text();
  EXPECT_EQ(choices, (QStringList{"Local", "UTC+0", "PC Time", "ZCT Time"}));
  EXPECT_EQ(Text(dialog.Value()), "YYMMDD HHNNSS.ZZZ|True|True");
  EXPECT_EQ(Text(TTimeSettingsDialog(nullptr, stored).Value()), Text(stored));
}

TEST(TimeSettingsDialog, StoresTheThreeKeysAndNamesWhatChanged) {
  TDialogSettings files;
  const TLogTimeSettings before = TimeSettingsOf(files.settings);
  TTimeSettingsDialog dialog(nullptr, before);
  dialog.UTCButton()->setChecked(true);
  dialog.ZCTButton()->setChecked(true);
  dialog.accept();
  ASSERT_EQ(dialog.result(), QDialog::Accepted);
  TTimeSettingsDialog::Store(dialog.Value(), files.settings);
  EXPECT_EQ(files.settings.GetValue("LogTimeZoneSystem", false), true);
  EXPECT_EQ(files.settings.GetValue("LogTimeSourceZCT", false), true);
  EXPECT_EQ(files.settings.GetValue("LogTimeFormat", std::string()), "YYMMDD HHNNSS.ZZZ");

  struct Case {
    TLogTimeSettings after;
    int32_t what;
  };
  const Case cases[] = {{before, 0},
                        {{"HHNNSS", false, false}, 8},
                        {{before.Format, true, false}, 16},
                        {{before.Format, false, true}, 32},
                        {{"X", true, true}, 56}};
  for (const Case& c : cases) EXPECT_EQ(TTimeSettingsDialog::ChangeCode(before, c.after), c.what) << c.after.Format;
}

TEST(TimeSettingsDialog, RefusesAnEmptyFormat) {
  TTimeSettingsDialog dialog(nullptr, {"YYMMDD", false, false});
  dialog.FormatEdit()->setText("  ");
  dialog.accept();
  EXPECT_NE(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.ErrorLabel()->text(), "Format string missing");
}

TEST(TimeSettingsDialog, Screenshot) {
  TTimeSettingsDialog dialog(nullptr, {"YYMMDD HHNNSS,ZZZ", false, true});
  SaveDialogScreenshot(dialog, "time_settings_dialog");
}

}  // namespace

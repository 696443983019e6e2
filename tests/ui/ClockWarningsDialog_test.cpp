#include "ui/ClockWarningsDialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>

#include "DialogTestSupport.h"

namespace {

TFormatSettings Comma() {
  TFormatSettings format;
  format.DecimalSeparator = ',';
  return format;
}

struct ClockWarningsDialogTest : ::testing::Test {
  ClockWarningsDialogTest() {
    TClockAlarmItem item = defs.GetDefinition(2);
    item.Frequence = 5e6;
    item.Epsilon = 0.5;
    item.Alarm = true;
    defs.SetDefinition(2, item);
    defs.SetRepeatCount(7);
  }
  TClockAlarmDefs defs;
};

TEST_F(ClockWarningsDialogTest, ShowsTheDefinitionsAndTakesTheEdits) {
  TClockWarningsDialog dialog(nullptr, "[A] ", defs, {"Maser", "GPS"}, Comma());
  EXPECT_EQ(dialog.windowTitle(), "[A] Clock Warnings");
  QTableWidget* table = dialog.Table();
  ASSERT_EQ(table->rowCount(), 2);
  EXPECT_EQ(table->item(1, 1)->text(), "5000000");
  EXPECT_EQ(table->item(1, 2)->text(), "0,5");
  EXPECT_EQ(table->item(1, 3)->text(), "GPS");
  EXPECT_EQ(table->item(1, 4)->text(), "Yes");
  EXPECT_EQ(table->item(0, 5)->text(), "No");
  EXPECT_EQ(dialog.RepeatEdit()->text(), "7");

  Q_EMIT table->cellClicked(0, 5);  // the reference clock cell switches
  table->item(0, 2)->setText("0,25");
  dialog.LogBox()->setChecked(true);
  dialog.accept();
  ASSERT_EQ(dialog.result(), QDialog::Accepted) << dialog.ErrorLabel()->text().toStdString();
  const TClockAlarmItem first = dialog.Result().GetDefinition(1);
  EXPECT_TRUE(first.RefAlarm);
  EXPECT_DOUBLE_EQ(first.Epsilon, 0.25);
  EXPECT_TRUE(dialog.Result().GetDefinition(2).Alarm);
  EXPECT_TRUE(dialog.Result().LogAlarm());
  EXPECT_EQ(dialog.Result().RepeatCount(), 7);
}

TEST_F(ClockWarningsDialogTest, RefusesWhatDoesNotReadAndStaysOpen) {
  const struct {
    int row, column;
    const char* text;
    const char* repeat;
    const char* refusal;
  } cases[] = {
      {0, 1, "3999", "5", "Frequency out of range (4kHz ... 130 MHz)"},
      {0, 1, "131072001", "5", "Frequency out of range (4kHz ... 130 MHz)"},
      {0, 1, "ten", "5", "Invalid floating point input ten"},
      {0, 2, "x", "5", "Invalid floating point input x"},
      {0, 1, "10000000", "2,5", "Invalid integer input 2,5"},
  };
  for (const auto& c : cases) {
    TClockWarningsDialog dialog(nullptr, "[A] ", defs, {"Maser"}, Comma());
    dialog.Table()->item(c.row, c.column)->setText(c.text);
    dialog.RepeatEdit()->setText(c.repeat);
    dialog.accept();
    EXPECT_NE(dialog.result(), QDialog::Accepted) << c.text;
    EXPECT_EQ(dialog.ErrorLabel()->text().toStdString(), c.refusal);
  }
}

TEST_F(ClockWarningsDialogTest, Screenshot) {
  TClockWarningsDialog dialog(nullptr, "[A] ", defs, {"Maser", "GPS", "Rb"}, Comma());
  SaveDialogScreenshot(dialog, "clock_warnings_dialog");
}

}  // namespace

#include "ui/SensorWarningsDialog.h"

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

// The demo sensor's six channels: two voltages, then temperature and humidity twice.
TSensorWarnings DemoWarnings() {
  TSensorWarnings w;
  const TSensorWarningChannel voltage{"Voltage", "V", {}};
  const TSensorWarningChannel temperature{"Temperature", "°C", {18, 24.5, true}};
  const TSensorWarningChannel humidity{"Humidity", "%", {30, 60, false}};
  w.Channels = {voltage, voltage, temperature, humidity, temperature, humidity};
  w.Alarm = {3, 10, false};
  return w;
}

TEST(SensorWarningsDialog, ShowsTheRangesAndTakesTheEdits) {
  TSensorWarningsDialog dialog(nullptr, "[B] ", DemoWarnings(), Comma());
  EXPECT_EQ(dialog.windowTitle(), "[B] Sensor Warnings");
  QTableWidget* table = dialog.Table();
  ASSERT_EQ(table->rowCount(), 6);
  EXPECT_EQ(table->item(2, 0)->text(), "3");
  EXPECT_EQ(table->item(2, 1)->text(), "Temperature [°C]");
  EXPECT_EQ(table->item(2, 2)->text(), "18");
  EXPECT_EQ(table->item(2, 3)->text(), "24,5");
  EXPECT_EQ(table->item(2, 4)->text(), "Yes");
  EXPECT_EQ(table->item(3, 4)->text(), "No");
  EXPECT_EQ(dialog.RepeatEdit()->text(), "3");
  EXPECT_EQ(dialog.IdleEdit()->text(), "10");
  EXPECT_FALSE(dialog.LogBox()->isChecked());

  Q_EMIT table->cellClicked(3, 4);  // humidity 1 now warns
  Q_EMIT table->cellClicked(2, 4);  // temperature 1 no longer
  Q_EMIT table->cellClicked(2, 2);  // other cells do not switch
  table->item(3, 2)->setText(" 35,5 ");
  table->item(3, 3)->setText("55.25");  // either separator reads
  table->item(0, 2)->setText("12");
  table->item(0, 3)->setText("12");  // a range of one value is a range
  dialog.RepeatEdit()->setText("4");
  dialog.IdleEdit()->setText(" 0 ");
  dialog.LogBox()->setChecked(true);
  dialog.accept();
  ASSERT_EQ(dialog.result(), QDialog::Accepted) << dialog.ErrorLabel()->text().toStdString();

  TSensorWarnings expected = DemoWarnings();
  expected.Channels[0].Range = {12, 12, false};
  expected.Channels[2].Range.Warn = false;
  expected.Channels[3].Range = {35.5, 55.25, true};
  expected.Alarm = {4, 0, true};
  EXPECT_EQ(dialog.Result(), expected);
}

TEST(SensorWarningsDialog, RefusesWhatDoesNotReadAndStaysOpen) {
  const struct {
    int row, column;
    const char* text;
    const char* repeat;
    const char* idle;
    const char* refusal;
  } cases[] = {
      {0, 2, "abc", "5", "5", "Channel 1: Invalid floating point input = abc"},
      {1, 3, "", "5", "5", "Channel 2: Invalid floating point input = "},
      {4, 3, "1e", "5", "5", "Channel 5: Invalid floating point input = 1e"},
      {2, 3, "17,75", "5", "5", "Channel 3: Min(18) > Max(17,75)"},
      {2, 2, "24,75", "5", "5", "Channel 3: Min(24,75) > Max(24,5)"},
      {0, 2, "0", "2,5", "5", "Invalid integer input 2,5"},
      {0, 2, "0", "5", "ten", "Invalid integer input ten"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.refusal);
    TSensorWarningsDialog dialog(nullptr, "[B] ", DemoWarnings(), Comma());
    dialog.Table()->item(c.row, c.column)->setText(c.text);
    dialog.RepeatEdit()->setText(c.repeat);
    dialog.IdleEdit()->setText(c.idle);
    dialog.accept();
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.ErrorLabel()->text().toStdString(), c.refusal);
    EXPECT_EQ(dialog.Result(), DemoWarnings()) << "a refused Ok keeps the settings";
  }
}

TEST(SensorWarningsDialog, Screenshot) {
  TSensorWarningsDialog dialog(nullptr, "[B] ", DemoWarnings(), Comma());
  SaveDialogScreenshot(dialog, "sensor_warnings_dialog");
}

}  // namespace

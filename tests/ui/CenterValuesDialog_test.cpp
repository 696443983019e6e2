#include "ui/CenterValuesDialog.h"

#include <QLabel>
#include <QTableWidget>
#include <cmath>
#include <utility>
#include <gtest/gtest.h>

#include "ui/DialogTestSupport.h"

namespace {

const TFormatSettings kComma{',', '.'};

TEST(CenterValuesDialog, ShowsTheCentresAndReturnsTheEditedOnes) {
  TCenterValuesDialog dialog(nullptr, {"Maser", "GPS", "Rb"}, {0.25, -1500, 0}, kComma);
  EXPECT_EQ(dialog.windowTitle(), "Center Graphic Channels");
  ASSERT_EQ(dialog.Grid()->rowCount(), 3);
  EXPECT_EQ(dialog.Grid()->item(0, 1)->text(), "Maser");
  EXPECT_EQ(dialog.Grid()->item(0, 2)->text(), "0,25");
  EXPECT_EQ(dialog.Grid()->item(1, 2)->text(), "-1500");
  dialog.Grid()->item(1, 2)->setText("12.5");
  dialog.Grid()->item(2, 2)->setText("");
  dialog.accept();
  ASSERT_EQ(dialog.result(), QDialog::Accepted);
  const std::vector<double> centres = dialog.Centres();
  ASSERT_EQ(centres.size(), 3u);
  EXPECT_EQ(centres[0], 0.25);
  EXPECT_EQ(centres[1], 12.5);
  EXPECT_TRUE(std::isnan(centres[2]));  // left as it is
}

TEST(CenterValuesDialog, RefusesUnusableInputs) {
  using TRows = TCenterValuesDialog::TRows;
  for (const auto& [rows, word] : {std::pair{TRows::Channels, "Channel"}, std::pair{TRows::Signals, "Signal"}})
    for (const char* text : {"x1", "nan", "1e999", "1,2,3"}) {
      TCenterValuesDialog dialog(nullptr, {"a", "b"}, {0, 0}, kComma, rows);
      dialog.Grid()->item(1, 2)->setText(text);
      dialog.accept();
      EXPECT_NE(dialog.result(), QDialog::Accepted) << text;
      EXPECT_EQ(dialog.ErrorLabel()->text().toStdString(), std::string(word) + " 2: Invalid floating point input = " + text);
    }
}

// A sensor graph is centred per signal.
TEST(CenterValuesDialog, SignalRowsNameTheSignals) {
  TCenterValuesDialog dialog(nullptr, {"Voltage", "Temperature"}, {11, 21}, kComma, TCenterValuesDialog::TRows::Signals);
  EXPECT_EQ(dialog.windowTitle(), "Set center value");
  EXPECT_EQ(dialog.Grid()->horizontalHeaderItem(1)->text(), "Signal");
  EXPECT_EQ(dialog.Grid()->item(1, 1)->text(), "Temperature");
  EXPECT_EQ(dialog.Grid()->item(1, 2)->text(), "21");
}

TEST(CenterValuesDialog, Screenshot) {
  TCenterValuesDialog dialog(nullptr, {"Maser", "GPS", "Rb", "Cs"}, {0.25, -1500, 0, 10e6}, kComma);
  SaveDialogScreenshot(dialog, "center_values_dialog");
}

TEST(CenterValuesDialog, SignalScreenshot) {
  TCenterValuesDialog dialog(nullptr, {"Voltage", "Temperature", "Humidity"}, {11, 21, 50}, kComma,
                             TCenterValuesDialog::TRows::Signals);
  SaveDialogScreenshot(dialog, "sensor_center_dialog");
}

}  // namespace

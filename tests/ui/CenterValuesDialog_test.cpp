#include "ui/CenterValuesDialog.h"

#include <QLabel>
#include <QTableWidget>
#include <cmath>
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
  for (const char* text : {"x1", "nan", "1e999", "1,2,3"}) {
    TCenterValuesDialog dialog(nullptr, {"a", "b"}, {0, 0}, kComma);
    dialog.Grid()->item(1, 2)->setText(text);
    dialog.accept();
    EXPECT_NE(dialog.result(), QDialog::Accepted) << text;
    EXPECT_EQ(dialog.ErrorLabel()->text().toStdString(), std::string("Channel 2: Invalid floating point input = ") + text);
  }
}

TEST(CenterValuesDialog, Screenshot) {
  TCenterValuesDialog dialog(nullptr, {"Maser", "GPS", "Rb", "Cs"}, {0.25, -1500, 0, 10e6}, kComma);
  SaveDialogScreenshot(dialog, "center_values_dialog");
}

}  // namespace

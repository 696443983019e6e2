#include "ui/IVCCalibrationDialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QTableWidget>
#include <gtest/gtest.h>

#include "acquisition/QV_SessionItem.h"
#include "support/LogCapture.h"
#include "ui/DialogTestSupport.h"

namespace {

const TFormatSettings kPoint{'.', ','};

// The session's rule in small: beyond +-1000 is refused, above 500 folds down by 1000.
bool SmallRange(double& value) {
  if (std::abs(value) >= 1000) return false;
  if (value > 500) value -= 1000;
  return true;
}

TIVCCalibration Stored() {
  TIVCCalibration value;
  value.Values[0] = 12.5;
  value.Values[1] = -3;
  value.UseDevice = true;
  return value;
}

TEST(IVCCalibrationDialog, ShowsTheInstrumentsCalibrationAndItsUse) {
  TIVCCalibrationDialog dialog(nullptr, "[A] IVC Calibration", {"Start", "Stop"}, Stored(), kPoint, SmallRange);
  EXPECT_EQ(dialog.windowTitle(), "[A] IVC Calibration");
  ASSERT_EQ(dialog.Grid()->rowCount(), 2);
  EXPECT_EQ(dialog.Grid()->item(0, 1)->text(), "Start");
  EXPECT_EQ(dialog.Grid()->item(0, 2)->text(), "12.5");
  EXPECT_EQ(dialog.Grid()->item(1, 2)->text(), "-3");
  EXPECT_EQ(dialog.UseDeviceBox()->text(), "Use device calibration");
  EXPECT_TRUE(dialog.UseDeviceBox()->isChecked());
  EXPECT_FALSE(dialog.ValuesChanged());
}

TEST(IVCCalibrationDialog, FoldsEditedValuesAndRefusesWhatTheInstrumentCannotStore) {
  TIVCCalibrationDialog dialog(nullptr, "x", {"a", "b"}, Stored(), kPoint, SmallRange);
  dialog.Grid()->item(1, 2)->setText("600");
  dialog.accept();
  ASSERT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_TRUE(dialog.ValuesChanged());
  EXPECT_EQ(dialog.Value().Values[1], -400);
  EXPECT_EQ(dialog.Value().Values[0], 12.5);

  struct Case {
    const char* text;
    const char* error;
  };
  for (const Case& c : {Case{"", "Channel 2: Invalid floating point input = "},
                        Case{"1e", "Channel 2: Invalid floating point input = 1e"},
                        Case{"1000", "Channel 2: Calibration value out of range = 1000"},
                        Case{"-2000.5", "Channel 2: Calibration value out of range = -2000.5"}}) {
    TIVCCalibrationDialog refused(nullptr, "x", {"a", "b"}, Stored(), kPoint, SmallRange);
    refused.Grid()->item(1, 2)->setText(c.text);
    refused.accept();
    EXPECT_NE(refused.result(), QDialog::Accepted) << c.text;
    EXPECT_EQ(refused.ErrorLabel()->text().toStdString(), c.error);
  }
}

// Unchanged values are not sent; switching the use flag reaches the session.
TEST(IVCCalibrationDialog, ApplyingSwitchesTheUseOfTheDeviceCalibration) {
  TLogCapture log;
  auto session = TQVSessionItem::Make(log.Id(), 0, {});
  TIVCCalibrationDialog dialog(nullptr, "x", {"a"}, TIVCCalibrationDialog::Read(*session), kPoint,
                               [&](double& value) { return session->CheckCalibrationRange(value); });
  EXPECT_FALSE(dialog.UseDeviceBox()->isChecked());
  // Not reported by the instrument yet: nothing to edit, so nothing can overwrite it with zeros.
  EXPECT_EQ(dialog.Grid()->item(0, 2)->text(), "-");
  EXPECT_FALSE(dialog.Grid()->item(0, 2)->flags() & Qt::ItemIsEditable);
  dialog.UseDeviceBox()->setChecked(true);
  TIVCCalibrationDialog::Apply(dialog, *session);
  EXPECT_TRUE(session->UseDeviceCalibration());
  EXPECT_TRUE(log.Contains("TQVSessionItem[0/False].SetUseDeviceCalibration=True"));
  EXPECT_EQ(log.Count("TQVSessionItem[0/False].UserChangedDeviceCalibration"), 0u);
}

TEST(IVCCalibrationDialog, Screenshot) {
  TIVCCalibrationDialog dialog(nullptr, "[A] IVC Calibration", {"Start", "Stop", "PPS"}, Stored(), kPoint, SmallRange);
  dialog.Grid()->item(2, 2)->setText("2000");
  dialog.accept();
  SaveDialogScreenshot(dialog, "ivc_calibration_dialog");
}

}  // namespace

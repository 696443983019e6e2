#pragma once
#include <QDialog>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/App_Settings.h"
#include "devices/QV_CommonTypes.h"

class QCheckBox;
class QLabel;
class QTableWidget;
class TQVSessionItem;

// What the calibration dialog shows and returns.
struct TIVCCalibration {
  TCalibrationData Values{};  // ns per channel 1..24: the instrument's calibration
  bool UseDevice = false;     // apply the instrument's calibration to the interval values
  bool Known = true;          // the instrument has reported its calibration
};

// "IVC Calibration": the instrument's calibration of each interval-counter channel in ns and
// whether it is applied. Edited values are written into the instrument; each must pass the
// session's range check, which may fold it into the range the instrument stores. Until the
// instrument has reported its calibration the values cannot be edited: writing them would
// replace the instrument's unknown values with zeros.
class TIVCCalibrationDialog : public QDialog {
  Q_OBJECT

 public:
  // Value in ns -> false when it cannot be stored; may change the value (folding).
  using TRangeCheck = std::function<bool(double& value)>;

  TIVCCalibrationDialog(QWidget* parent, const QString& caption, const std::vector<std::string>& names,
                        const TIVCCalibration& value, const TFormatSettings& format, TRangeCheck rangeCheck);

  // The text of the first unusable cell, empty when every cell is usable.
  QString Check() const;
  // The edited calibration (values folded by the range check); only meaningful when Check() is empty.
  TIVCCalibration Value() const;
  bool ValuesChanged() const;

  QTableWidget* Grid() const { return FGrid; }
  QCheckBox* UseDeviceBox() const { return FUseDevice; }
  QLabel* ErrorLabel() const { return FError; }

  static TIVCCalibration Read(const TQVSessionItem& session);
  // Changed values go into the instrument (which also switches their use on); then the use flag.
  static void Apply(const TIVCCalibrationDialog& dialog, TQVSessionItem& session);

  void accept() override;

 private:
  std::optional<double> CellValue(int row) const;

  TIVCCalibration FInput;
  TFormatSettings FFormat;
  TRangeCheck FRangeCheck;
  QTableWidget* FGrid = nullptr;
  QCheckBox* FUseDevice = nullptr;
  QLabel* FError = nullptr;
};

#include "ui/IVCCalibrationDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>

#include "acquisition/QV_SessionItem.h"
#include "data/IVC_DataManagement.h"
#include "ui/DialogInput.h"

namespace {

constexpr int kValueColumn = 2;

}  // namespace

TIVCCalibrationDialog::TIVCCalibrationDialog(QWidget* parent, const QString& caption,
                                             const std::vector<std::string>& names, const TIVCCalibration& value,
                                             const TFormatSettings& format, TRangeCheck rangeCheck)
    : QDialog(parent), FInput(value), FFormat(format), FRangeCheck(std::move(rangeCheck)) {
  setWindowTitle(caption);
  auto* layout = new QVBoxLayout(this);
  const int rows = std::clamp(static_cast<int>(names.size()), 1, static_cast<int>(value.Values.size()));
  FGrid = new QTableWidget(rows, 3, this);
  FGrid->setHorizontalHeaderLabels({"Ch", "Channel", "Device calibration [ns]"});
  FGrid->verticalHeader()->hide();
  for (int row = 0; row < rows; ++row) {
    auto* number = new QTableWidgetItem(QString::number(row + 1));
    auto* name = new QTableWidgetItem(row < static_cast<int>(names.size()) ? QString::fromStdString(names[size_t(row)]) : "");
    for (QTableWidgetItem* fixed : {number, name}) fixed->setFlags(Qt::ItemIsEnabled);
    FGrid->setItem(row, 0, number);
    FGrid->setItem(row, 1, name);
    auto* cell = new QTableWidgetItem(value.Known ? FloatTextIn(value.Values[size_t(row)], format) : QString("-"));
    if (!value.Known) cell->setFlags(Qt::ItemIsEnabled);
    FGrid->setItem(row, kValueColumn, cell);
  }
  FGrid->resizeColumnsToContents();
  FGrid->horizontalHeader()->setStretchLastSection(true);
  FGrid->setMinimumWidth(400);
  layout->addWidget(FGrid);
  if (!value.Known) layout->addWidget(new QLabel("Device calibration not read yet", this));
  FUseDevice = new QCheckBox("Use device calibration", this);
  FUseDevice->setChecked(value.UseDevice);
  layout->addWidget(FUseDevice);
  FError = MakeErrorLabel(this);
  layout->addWidget(FError);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &TIVCCalibrationDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &TIVCCalibrationDialog::reject);
  layout->addWidget(buttons);
}

std::optional<double> TIVCCalibrationDialog::CellValue(int row) const {
  const std::optional<double> value = FloatOfText(FGrid->item(row, kValueColumn)->text(), FFormat);
  if (!value || !std::isfinite(*value)) return std::nullopt;
  return value;
}

QString TIVCCalibrationDialog::Check() const {
  if (!FInput.Known) return {};
  for (int row = 0; row < FGrid->rowCount(); ++row) {
    const QString text = FGrid->item(row, kValueColumn)->text().trimmed();
    const QString channel = "Channel " + QString::number(row + 1) + ": ";
    std::optional<double> value = CellValue(row);
    if (!value) return channel + "Invalid floating point input = " + text;
    if (*value != FInput.Values[size_t(row)] && FRangeCheck && !FRangeCheck(*value))
      return channel + "Calibration value out of range = " + text;
  }
  return {};
}

TIVCCalibration TIVCCalibrationDialog::Value() const {
  TIVCCalibration result = FInput;
  result.UseDevice = FUseDevice->isChecked();
  if (!FInput.Known) return result;
  for (int row = 0; row < FGrid->rowCount(); ++row) {
    double value = CellValue(row).value_or(FInput.Values[size_t(row)]);
    if (value != FInput.Values[size_t(row)] && FRangeCheck) FRangeCheck(value);
    result.Values[size_t(row)] = value;
  }
  return result;
}

bool TIVCCalibrationDialog::ValuesChanged() const { return Value().Values != FInput.Values; }

TIVCCalibration TIVCCalibrationDialog::Read(const TQVSessionItem& session) {
  const TIVC_DataManagement& store = session.IVC_DM();
  return {store.DeviceCalibration(), session.UseDeviceCalibration(), store.DeviceCalibrationSet()};
}

void TIVCCalibrationDialog::Apply(const TIVCCalibrationDialog& dialog, TQVSessionItem& session) {
  const TIVCCalibration value = dialog.Value();
  if (dialog.ValuesChanged()) session.UserChangedDeviceCalibration(value.Values);
  if (value.UseDevice != session.UseDeviceCalibration()) session.SetUseDeviceCalibration(value.UseDevice);
}

void TIVCCalibrationDialog::accept() {
  const QString error = Check();
  FError->setText(error);
  if (!error.isEmpty()) return QApplication::beep();
  QDialog::accept();
}

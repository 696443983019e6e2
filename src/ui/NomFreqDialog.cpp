#include "ui/NomFreqDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>

#include "acquisition/QV_SessionItem.h"
#include "core/QV_NumberText.h"
#include "core/VTA_Settings.h"
#include "ui/DialogInput.h"

namespace {

constexpr int kChannels = 24;
constexpr int kValueColumn = 2;

}  // namespace

TNomFreqDialog::TNomFreqDialog(QWidget* parent, const QString& caption, const std::vector<std::string>& names,
                               const TNomFreqValues& values, bool expert, const TFormatSettings& format)
    : QDialog(parent), FInput(values), FFormat(format) {
  setWindowTitle(caption);
  auto* layout = new QVBoxLayout(this);
  const int rows = std::clamp(static_cast<int>(names.size()), 1, kChannels);
  FGrid = new QTableWidget(rows, 3, this);
  FGrid->setHorizontalHeaderLabels({"Ch", "Channel", "Nominal Frequency [Hz]"});
  FGrid->verticalHeader()->hide();
  for (int row = 0; row < rows; ++row) {
    auto* number = new QTableWidgetItem(QString::number(row + 1));
    auto* name = new QTableWidgetItem(row < static_cast<int>(names.size()) ? QString::fromStdString(names[row]) : "");
    for (QTableWidgetItem* fixed : {number, name}) fixed->setFlags(Qt::ItemIsEnabled);
    FGrid->setItem(row, 0, number);
    FGrid->setItem(row, 1, name);
    const double hz = values.Hz[row];
    FGrid->setItem(row, kValueColumn, new QTableWidgetItem(hz == 0 ? QString() : FloatTextIn(hz, format)));
  }
  FGrid->resizeColumnsToContents();
  FGrid->horizontalHeader()->setStretchLastSection(true);
  FGrid->setMinimumWidth(420);
  layout->addWidget(FGrid);
  if (expert) {
    FGlobal = new QCheckBox("Use for all devices", this);
    FGlobal->setChecked(values.Global);
    layout->addWidget(FGlobal);
  }
  FError = MakeErrorLabel(this);
  layout->addWidget(FError);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &TNomFreqDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &TNomFreqDialog::reject);
  layout->addWidget(buttons);
}

QString TNomFreqDialog::Check() const {
  for (int row = 0; row < FGrid->rowCount(); ++row) {
    const QString text = FGrid->item(row, kValueColumn)->text().trimmed();
    if (text.isEmpty()) continue;
    const std::optional<double> hz = FloatOfText(text, FFormat);
    const QString channel = "Channel " + QString::number(row + 1) + ": ";
    if (!hz || !std::isfinite(*hz)) return channel + "Invalid floating point input = " + text;
    if (*hz < 0) return channel + "Negative nominal frequency = " + text;
  }
  return {};
}

TNomFreqValues TNomFreqDialog::Values() const {
  TNomFreqValues result = FInput;
  for (int row = 0; row < FGrid->rowCount(); ++row) {
    const QString text = FGrid->item(row, kValueColumn)->text().trimmed();
    result.Hz[row] = text.isEmpty() ? 0.0 : FloatOfText(text, FFormat).value_or(0.0);
  }
  if (FGlobal) result.Global = FGlobal->isChecked();
  return result;
}

void TNomFreqDialog::accept() {
  const QString error = Check();
  FError->setText(error);
  if (!error.isEmpty()) return QApplication::beep();
  QDialog::accept();
}

TNomFreqValues TNomFreqDialog::Read(const TQVSessionItem& session, TVTASettings& settings) {
  TNomFreqValues values;
  for (int k = 1; k <= kChannels; ++k) values.Hz[k - 1] = session.NomFreq(k);
  values.Global = settings.GlobalNomFrequ();
  return values;
}

void TNomFreqDialog::Apply(const TNomFreqValues& values, TQVSessionItem& session, TVTASettings& settings) {
  session.BeginUpdate();
  for (int k = 1; k <= kChannels; ++k) session.SetNomFreq(k, values.Hz[k - 1]);
  session.EndUpdate();
  settings.SetGlobalNomFrequ(values.Global);
  // The global values are what the session holds now, kept channels included.
  if (values.Global)
    for (int k = 1; k <= kChannels; ++k) settings.SetNomFreq(k, session.NomFreq(k));
  session.UpdateNominalFrequencies();
}

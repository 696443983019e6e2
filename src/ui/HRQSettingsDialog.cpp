#include "ui/HRQSettingsDialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>

#include "ui/DialogInput.h"

namespace {

enum TColumn { colCh, colName, colEnabled, colNom, colLO, colFactor, colCount };

// A frequency cell: empty is 0; none for anything that is not a finite value of at least 0.
std::optional<double> Frequency(const QTableWidgetItem* item, const TFormatSettings& format) {
  const QString text = item->text().trimmed();
  if (text.isEmpty()) return 0.0;
  const std::optional<double> value = FloatOfText(text, format);
  if (!value || !std::isfinite(*value) || *value < 0) return std::nullopt;
  return value;
}

}  // namespace

THRQSettingsDialog::THRQSettingsDialog(QWidget* parent, const QString& caption, const std::vector<std::string>& names,
                                       const THRQSettings& settings, const TFormatSettings& format)
    : QDialog(parent), FInput(settings), FFormat(format) {
  setWindowTitle(caption);
  auto* layout = new QVBoxLayout(this);
  const int rows = std::clamp(static_cast<int>(names.size()), 1, THRQSettings::ChannelCount);
  FGrid = new QTableWidget(rows, colCount, this);
  FGrid->setHorizontalHeaderLabels({"Ch", "Channel", "High Res.", "Nominal Frequency [Hz]", "LO Frequency [Hz]", "Factor"});
  FGrid->verticalHeader()->hide();
  for (int row = 0; row < rows; ++row) {
    const THRQSetting& channel = settings.HRQChannels[size_t(row)];
    auto* number = new QTableWidgetItem(QString::number(row + 1));
    auto* name = new QTableWidgetItem(row < static_cast<int>(names.size()) ? QString::fromStdString(names[size_t(row)]) : "");
    auto* enabled = new QTableWidgetItem();
    enabled->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    enabled->setCheckState(channel.enabled ? Qt::Checked : Qt::Unchecked);
    for (QTableWidgetItem* fixed : {number, name}) fixed->setFlags(Qt::ItemIsEnabled);
    FGrid->setItem(row, colCh, number);
    FGrid->setItem(row, colName, name);
    FGrid->setItem(row, colEnabled, enabled);
    const auto text = [&](double hz) { return hz == 0 ? QString() : FloatTextIn(hz, format); };
    FGrid->setItem(row, colNom, new QTableWidgetItem(text(channel.NomFreq)));
    FGrid->setItem(row, colLO, new QTableWidgetItem(text(channel.LOFreq)));
    auto* factor = new QTableWidgetItem();
    factor->setFlags(Qt::ItemIsEnabled);
    FGrid->setItem(row, colFactor, factor);
    ShowFactor(row);
  }
  connect(FGrid, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
    if (item->column() == colNom || item->column() == colLO) ShowFactor(item->row());
  });
  FGrid->resizeColumnsToContents();
  FGrid->horizontalHeader()->setStretchLastSection(true);
  FGrid->setMinimumWidth(640);
  layout->addWidget(FGrid);
  FError = MakeErrorLabel(this);
  layout->addWidget(FError);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &THRQSettingsDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &THRQSettingsDialog::reject);
  layout->addWidget(buttons);
}

void THRQSettingsDialog::ShowFactor(int row) {
  const std::optional<double> nom = Frequency(FGrid->item(row, colNom), FFormat);
  const std::optional<double> lo = Frequency(FGrid->item(row, colLO), FFormat);
  QTableWidgetItem* factor = FGrid->item(row, colFactor);
  if (!factor) return;
  if (!nom || !lo) return factor->setText("");
  THRQSetting setting{*nom, *lo, 1, false};
  setting.Update();
  factor->setText(FloatTextIn(static_cast<double>(setting.Factor), FFormat));
}

QString THRQSettingsDialog::Check() const {
  for (int row = 0; row < FGrid->rowCount(); ++row) {
    const QString channel = "Channel " + QString::number(row + 1) + ": ";
    for (const int column : {colNom, colLO})
      if (!Frequency(FGrid->item(row, column), FFormat))
        return channel + "Invalid frequency input = " + FGrid->item(row, column)->text().trimmed();
    if (FGrid->item(row, colEnabled)->checkState() != Qt::Checked) continue;
    const double nom = *Frequency(FGrid->item(row, colNom), FFormat);
    const double lo = *Frequency(FGrid->item(row, colLO), FFormat);
    // A high-resolution channel needs both frequencies: their difference scales its values.
    if (nom == 0 || lo == 0) return channel + "Nominal and LO frequency needed for a high resolution channel";
    if (nom == lo) return channel + "Nominal and LO frequency must differ";
  }
  return {};
}

THRQSettings THRQSettingsDialog::Settings() const {
  THRQSettings result = FInput;
  result.ErrorStr.clear();
  for (int row = 0; row < FGrid->rowCount(); ++row) {
    THRQSetting& channel = result.HRQChannels[size_t(row)];
    channel.NomFreq = Frequency(FGrid->item(row, colNom), FFormat).value_or(0.0);
    channel.LOFreq = Frequency(FGrid->item(row, colLO), FFormat).value_or(0.0);
    channel.enabled = FGrid->item(row, colEnabled)->checkState() == Qt::Checked;
  }
  result.Update();
  return result;
}

void THRQSettingsDialog::accept() {
  const QString error = Check();
  FError->setText(error);
  if (!error.isEmpty()) return QApplication::beep();
  QDialog::accept();
}

#include "ui/ClockWarningsDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QVBoxLayout>

#include "ui/DialogInput.h"

namespace {

enum TColumn { colCh, colNominal, colMargin, colName, colWarning, colReference, colCount };
constexpr double kLowestFrequency = 4000;
constexpr double kHighestFrequency = 131072000;

QTableWidgetItem* Fixed(const QString& text) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(Qt::ItemIsEnabled);
  return item;
}

QString YesNo(bool on) { return on ? "Yes" : "No"; }

}  // namespace

TClockWarningsDialog::TClockWarningsDialog(QWidget* parent, const QString& caption, const TClockAlarmDefs& defs,
                                           const std::vector<std::string>& channelNames, const TFormatSettings& format)
    : QDialog(parent), FFormat(format) {
  setWindowTitle(caption + "Clock Warnings");
  defs.CopyTo(FResult);
  auto* layout = new QVBoxLayout(this);
  const int rows = static_cast<int>(channelNames.size());
  FTable = new QTableWidget(rows, colCount);
  FTable->setHorizontalHeaderLabels({"Ch", "Nominal Frequency", "Margin", "Channel", "Warning", "Reference clock"});
  FTable->verticalHeader()->hide();
  for (int r = 0; r < rows; ++r) {
    const TClockAlarmItem item = defs.GetDefinition(r + 1);
    FTable->setItem(r, colCh, Fixed(QString::number(r + 1)));
    FTable->setItem(r, colNominal, new QTableWidgetItem(FloatTextIn(item.Frequence, format)));
    FTable->setItem(r, colMargin, new QTableWidgetItem(FloatTextIn(item.Epsilon, format)));
    FTable->setItem(r, colName, Fixed(QString::fromStdString(channelNames[static_cast<size_t>(r)])));
    FTable->setItem(r, colWarning, Fixed(YesNo(item.Alarm)));
    FTable->setItem(r, colReference, Fixed(YesNo(item.RefAlarm)));
  }
  FTable->resizeColumnsToContents();
  connect(FTable, &QTableWidget::cellClicked, this, [this](int row, int column) {
    if (column != colWarning && column != colReference) return;
    QTableWidgetItem* cell = FTable->item(row, column);
    cell->setText(YesNo(cell->text() != "Yes"));
  });
  layout->addWidget(FTable);

  auto* form = new QFormLayout;
  const TClockAlarmSettings settings = defs.Settings();
  FRepeatFields = std::make_unique<TWarningRepeatFields>(*form, settings.RepeatCount, settings.IdleTime, settings.LogAlarm);
  layout->addLayout(form);
  FError = MakeErrorLabel(this);
  layout->addWidget(FError);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &TClockWarningsDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  resize(640, 480);
}

QString TClockWarningsDialog::Check(TClockAlarmDefs& out) const {
  FResult.CopyTo(out);
  for (int r = 0; r < FTable->rowCount(); ++r) {
    const QString nominalText = FTable->item(r, colNominal)->text();
    const QString marginText = FTable->item(r, colMargin)->text();
    const std::optional<double> nominal = FloatOfText(nominalText, FFormat);
    if (!nominal) return "Invalid floating point input " + nominalText;
    if (*nominal < kLowestFrequency || *nominal > kHighestFrequency) return "Frequency out of range (4kHz ... 130 MHz)";
    const std::optional<double> margin = FloatOfText(marginText, FFormat);
    if (!margin) return "Invalid floating point input " + marginText;
    TClockAlarmItem item = out.GetDefinition(r + 1);
    item.Frequence = *nominal;
    item.Epsilon = *margin;
    item.Alarm = FTable->item(r, colWarning)->text() == "Yes";
    item.RefAlarm = FTable->item(r, colReference)->text() == "Yes";
    out.SetDefinition(r + 1, item);
  }
  TClockAlarmSettings settings;
  if (const QString refusal = FRepeatFields->Read(settings.RepeatCount, settings.IdleTime, settings.LogAlarm);
      !refusal.isEmpty())
    return refusal;
  out.SetSettings(settings);
  return {};
}

void TClockWarningsDialog::accept() {
  TClockAlarmDefs checked;
  const QString refusal = Check(checked);
  FError->setText(refusal);
  if (!refusal.isEmpty()) return;
  checked.CopyTo(FResult);
  QDialog::accept();
}

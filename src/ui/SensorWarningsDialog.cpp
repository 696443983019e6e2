#include "ui/SensorWarningsDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/DialogInput.h"

namespace {

enum TColumn { colCh, colSignal, colMin, colMax, colWarning, colCount };
constexpr int kRowsInView = 8;

QTableWidgetItem* Fixed(const QString& text) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(Qt::ItemIsEnabled);
  return item;
}

QString YesNo(bool on) { return on ? "Yes" : "No"; }

// "Temperature [°C]"; a signal without a unit shows its name alone.
QString SignalText(const TSensorWarningChannel& channel) {
  const QString name = QString::fromStdString(channel.SignalName);
  return channel.UnitName.empty() ? name : name + " [" + QString::fromStdString(channel.UnitName) + "]";
}

}  // namespace

TSensorWarningsDialog::TSensorWarningsDialog(QWidget* parent, const QString& caption, const TSensorWarnings& warnings,
                                             const TFormatSettings& format)
    : QDialog(parent), FFormat(format), FResult(warnings) {
  setWindowTitle(caption + "Sensor Warnings");
  auto* layout = new QVBoxLayout(this);
  const int rows = static_cast<int>(warnings.Channels.size());
  FTable = new QTableWidget(rows, colCount);
  FTable->setHorizontalHeaderLabels({"Ch", "Signal", "Minimum", "Maximum", "Warning"});
  FTable->verticalHeader()->hide();
  for (int r = 0; r < rows; ++r) {
    const TSensorWarningChannel& channel = warnings.Channels[static_cast<size_t>(r)];
    FTable->setItem(r, colCh, Fixed(QString::number(r + 1)));
    FTable->setItem(r, colSignal, Fixed(SignalText(channel)));
    FTable->setItem(r, colMin, new QTableWidgetItem(FloatTextIn(channel.Range.Min, format)));
    FTable->setItem(r, colMax, new QTableWidgetItem(FloatTextIn(channel.Range.Max, format)));
    FTable->setItem(r, colWarning, Fixed(YesNo(channel.Range.Warn)));
  }
  FTable->resizeColumnsToContents();
  FTable->horizontalHeader()->setStretchLastSection(true);
  // Every channel of a sensor (at most 8) in view without scrolling.
  FTable->setMinimumHeight(FTable->horizontalHeader()->sizeHint().height() + 2 * FTable->frameWidth() +
                           FTable->verticalHeader()->defaultSectionSize() * std::min(rows, kRowsInView));
  connect(FTable, &QTableWidget::cellClicked, this, [this](int row, int column) {
    if (column != colWarning) return;
    QTableWidgetItem* cell = FTable->item(row, column);
    cell->setText(YesNo(cell->text() != "Yes"));
  });
  layout->addWidget(FTable);

  auto* form = new QFormLayout;
  FRepeatFields = std::make_unique<TWarningRepeatFields>(*form, warnings.Alarm.RepeatCount, warnings.Alarm.IdleTime, warnings.Alarm.LogAlarm);
  layout->addLayout(form);
  FError = MakeErrorLabel(this);
  layout->addWidget(FError);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &TSensorWarningsDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  resize(480, sizeHint().height());
}

QString TSensorWarningsDialog::Check(TSensorWarnings& out) const {
  out = FResult;
  for (int r = 0; r < FTable->rowCount(); ++r) {
    const QString channel = "Channel " + QString::number(r + 1) + ": ";
    TSensorRangeInfo& range = out.Channels[static_cast<size_t>(r)].Range;
    for (const auto& [column, value] : {std::pair{colMin, &range.Min}, std::pair{colMax, &range.Max}}) {
      const QString text = FTable->item(r, column)->text();
      const std::optional<double> number = FloatOfText(text, FFormat);
      if (!number) return channel + "Invalid floating point input = " + text;
      *value = *number;
    }
    if (range.Min > range.Max)
      return channel + "Min(" + FloatTextIn(range.Min, FFormat) + ") > Max(" + FloatTextIn(range.Max, FFormat) + ")";
    range.Warn = FTable->item(r, colWarning)->text() == "Yes";
  }
  if (const QString refusal = FRepeatFields->Read(out.Alarm.RepeatCount, out.Alarm.IdleTime, out.Alarm.LogAlarm);
      !refusal.isEmpty())
    return refusal;
  return {};
}

void TSensorWarningsDialog::accept() {
  TSensorWarnings checked;
  const QString refusal = Check(checked);
  FError->setText(refusal);
  if (!refusal.isEmpty()) return;
  FResult = checked;
  QDialog::accept();
}

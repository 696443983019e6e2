#include "ui/VirtualChannelsDialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "ui/DialogInput.h"

namespace {

bool AllZero(const TChannelFactors& row) {
  return std::all_of(row.begin(), row.end(), [](double f) { return f == 0; });
}

}  // namespace

TVirtualChannelsDialog::TVirtualChannelsDialog(QWidget* parent, const QString& caption,
                                               const std::vector<std::string>& realNames,
                                               const TVirtualChannels& value, const TFormatSettings& format)
    : QDialog(parent), FInput(value), FFormat(format) {
  setWindowTitle(caption);
  auto* layout = new QVBoxLayout(this);
  const int realCount = std::clamp(static_cast<int>(realNames.size()), 1, DM_MaxChannels);
  int used = 0;
  for (int k = 1; k <= DM_MaxChannels; ++k)
    if (!AllZero(value.Factors[size_t(k - 1)])) used = k;
  const int rows = std::min(DM_MaxChannels, used + kSpareRows);
  FGrid = new QTableWidget(rows, kFirstFactorColumn + realCount, this);
  QStringList headers{"Id", "Name"};
  for (int ch = 1; ch <= realCount; ++ch)
    headers << QString::number(ch) + (realNames[size_t(ch - 1)].empty() ? "" : "\n" + QString::fromStdString(realNames[size_t(ch - 1)]));
  FGrid->setHorizontalHeaderLabels(headers);
  for (int row = 0; row < rows; ++row) {
    const int k = row + 1;
    // A new virtual channel is offered with the id the converted linear combinations get.
    const std::string id = k > used ? "V" + std::to_string(k) : value.Record.ChannelId(k);
    FGrid->setItem(row, 0, new QTableWidgetItem(QString::fromStdString(id)));
    FGrid->setItem(row, 1, new QTableWidgetItem(QString::fromStdString(value.Record.ChannelName(k))));
    for (int ch = 1; ch <= realCount; ++ch) {
      const double f = value.Factors[size_t(row)][size_t(ch - 1)];
      FGrid->setItem(row, kFirstFactorColumn + ch - 1, new QTableWidgetItem(f == 0 ? QString() : FloatTextIn(f, format)));
    }
  }
  FGrid->horizontalHeader()->setDefaultSectionSize(70);
  FGrid->setMinimumWidth(std::min(kFirstFactorColumn + realCount, 10) * 72 + 40);
  layout->addWidget(FGrid);
  auto* form = new QFormLayout();
  FDescription = new QLineEdit(QString::fromStdString(value.Description), this);
  form->addRow("Description", FDescription);
  layout->addLayout(form);
  FError = MakeErrorLabel(this);
  layout->addWidget(FError);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &TVirtualChannelsDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &TVirtualChannelsDialog::reject);
  layout->addWidget(buttons);
}

QString TVirtualChannelsDialog::Check() const {
  for (int row = 0; row < FGrid->rowCount(); ++row)
    for (int column = kFirstFactorColumn; column < FGrid->columnCount(); ++column) {
      const QString text = FGrid->item(row, column)->text().trimmed();
      if (text.isEmpty()) continue;
      const std::optional<double> f = FloatOfText(text, FFormat);
      if (!f || !std::isfinite(*f))
        return "Virtual channel " + QString::number(row + 1) + ", channel " + QString::number(column - kFirstFactorColumn + 1) +
               ": Invalid floating point input = " + text;
    }
  return {};
}

TVirtualChannels TVirtualChannelsDialog::Value() const {
  TVirtualChannels result = FInput;
  result.Factors = {};
  int k = 0;
  for (int row = 0; row < FGrid->rowCount(); ++row) {
    TChannelFactors factors{};
    for (int column = kFirstFactorColumn; column < FGrid->columnCount(); ++column)
      factors[size_t(column - kFirstFactorColumn)] = FloatOfText(FGrid->item(row, column)->text(), FFormat).value_or(0.0);
    if (AllZero(factors)) continue;
    ++k;
    result.Factors[size_t(k - 1)] = factors;
    result.Record.SetChannelId(k, FGrid->item(row, 0)->text().trimmed().toStdString());
    result.Record.SetChannelName(k, FGrid->item(row, 1)->text().trimmed().toStdString());
    result.Record.SetChannelColor(k, FInput.Record.ChannelColor(row + 1));
  }
  result.Record.SetMaxChannels(k);
  result.Description = FDescription->text().trimmed().toStdString();
  return result;
}

void TVirtualChannelsDialog::accept() {
  const QString error = Check();
  FError->setText(error);
  if (!error.isEmpty()) return QApplication::beep();
  QDialog::accept();
}

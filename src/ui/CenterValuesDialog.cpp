#include "ui/CenterValuesDialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>

#include "ui/DialogInput.h"

namespace {

constexpr int kValueColumn = 2;

}  // namespace

TCenterValuesDialog::TCenterValuesDialog(QWidget* parent, const std::vector<std::string>& names,
                                         const std::vector<double>& centres, const TFormatSettings& format, TRows kind)
    : QDialog(parent), FFormat(format), FRowWord(kind == TRows::Signals ? "Signal" : "Channel") {
  setWindowTitle(kind == TRows::Signals ? "Set center value" : "Center Graphic Channels");
  auto* layout = new QVBoxLayout(this);
  const int rows = static_cast<int>(names.size());
  FGrid = new QTableWidget(rows, 3, this);
  FGrid->setHorizontalHeaderLabels({kind == TRows::Signals ? "Sig" : "Ch", FRowWord, "Center value"});
  FGrid->verticalHeader()->hide();
  for (int row = 0; row < rows; ++row) {
    auto* number = new QTableWidgetItem(QString::number(row + 1));
    auto* name = new QTableWidgetItem(QString::fromStdString(names[size_t(row)]));
    for (QTableWidgetItem* fixed : {number, name}) fixed->setFlags(Qt::ItemIsEnabled);
    FGrid->setItem(row, 0, number);
    FGrid->setItem(row, 1, name);
    const double centre = size_t(row) < centres.size() ? centres[size_t(row)] : 0.0;
    FGrid->setItem(row, kValueColumn, new QTableWidgetItem(FloatTextIn(centre, format)));
  }
  FGrid->resizeColumnsToContents();
  FGrid->horizontalHeader()->setStretchLastSection(true);
  FGrid->setMinimumWidth(380);
  layout->addWidget(FGrid);
  FError = MakeErrorLabel(this);
  layout->addWidget(FError);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &TCenterValuesDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &TCenterValuesDialog::reject);
  layout->addWidget(buttons);
}

QString TCenterValuesDialog::Check() const {
  for (int row = 0; row < FGrid->rowCount(); ++row) {
    const QString text = FGrid->item(row, kValueColumn)->text().trimmed();
    if (text.isEmpty()) continue;
    const std::optional<double> value = FloatOfText(text, FFormat);
    if (!value || !std::isfinite(*value))
      return FRowWord + " " + QString::number(row + 1) + ": Invalid floating point input = " + text;
  }
  return {};
}

std::vector<double> TCenterValuesDialog::Centres() const {
  std::vector<double> result;
  for (int row = 0; row < FGrid->rowCount(); ++row)
    result.push_back(FloatOfText(FGrid->item(row, kValueColumn)->text(), FFormat).value_or(std::nan("")));
  return result;
}

void TCenterValuesDialog::accept() {
  const QString error = Check();
  FError->setText(error);
  if (!error.isEmpty()) return QApplication::beep();
  QDialog::accept();
}

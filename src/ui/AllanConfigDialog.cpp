#include "ui/AllanConfigDialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

TAllanConfigDialog::TAllanConfigDialog(QWidget* parent, int32_t decay) : QDialog(parent) {
  setWindowTitle("Configure Allan Calculation");
  auto* layout = new QVBoxLayout(this);
  auto* group = new QGroupBox("Decay", this);
  auto* inner = new QVBoxLayout(group);
  inner->addWidget(new QLabel("Input value between 0 and 99", group));
  FEdit = new QLineEdit(group);
  FEdit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), FEdit));
  connect(FEdit, &QLineEdit::inputRejected, this, [] { QApplication::beep(); });
  if (decay >= 0 && decay <= kMaxDecay) FEdit->setText(QString::number(decay));
  inner->addWidget(FEdit);
  inner->addWidget(new QLabel("0: no decay", group));
  layout->addWidget(group);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &TAllanConfigDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &TAllanConfigDialog::reject);
  layout->addWidget(buttons);
}

std::optional<int32_t> TAllanConfigDialog::Decay() const {
  bool ok = false;
  const int value = FEdit->text().toInt(&ok);
  if (!ok || value < 0 || value > kMaxDecay) return std::nullopt;
  return value;
}

void TAllanConfigDialog::accept() {
  if (!Decay()) return QApplication::beep();
  QDialog::accept();
}

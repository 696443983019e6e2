#include "ui/TimeSettingsDialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "core/VTA_Settings.h"
#include "ui/DialogInput.h"

namespace {

// A group of two exclusive choices; returns the second one, checked when `second` holds.
QRadioButton* Choice(QWidget* parent, QVBoxLayout* layout, const QString& title, const QString& first,
                     const QString& secondText, bool second) {
  auto* group = new QGroupBox(title, parent);
  auto* row = new QHBoxLayout(group);
  auto* a = new QRadioButton(first, group);
  auto* b = new QRadioButton(secondText, group);
  (second ? b : a)->setChecked(true);
  row->addWidget(a);
  row->addWidget(b);
  layout->addWidget(group);
  return b;
}

}  // namespace

void TTimeSettingsDialog::Store(const TLogTimeSettings& value, TVTASettings& settings) {
  settings.SetLogTimeFormat(value.Format);
  settings.SetLogTimeSourceZCT(value.SourceZCT);
  settings.SetLogTimeZoneSystem(value.ZoneUTC);
}

int32_t TTimeSettingsDialog::ChangeCode(const TLogTimeSettings& before, const TLogTimeSettings& after) {
  return (before.Format != after.Format ? 8 : 0) | (before.SourceZCT != after.SourceZCT ? 16 : 0) |
         (before.ZoneUTC != after.ZoneUTC ? 32 : 0);
}

TTimeSettingsDialog::TTimeSettingsDialog(QWidget* parent, const TLogTimeSettings& value) : QDialog(parent) {
  setWindowTitle("Log Files: Time Format");
  auto* layout = new QVBoxLayout(this);
  auto* formatGroup = new QGroupBox("Format string", this);
  auto* formatLayout = new QVBoxLayout(formatGroup);
  FFormat = new QLineEdit(QString::fromStdString(value.Format), formatGroup);
  FFormat->setPlaceholderText("YYMMDD HHNNSS,ZZZ");
  formatLayout->addWidget(FFormat);
  formatLayout->addWidget(new QLabel("NN=minutes, ZZZ=milliseconds", formatGroup));
  layout->addWidget(formatGroup);
  FUTC = Choice(this, layout, "Time zone", "Local", "UTC+0", value.ZoneUTC);
  FZCT = Choice(this, layout, "Time source", "PC Time", "ZCT Time", value.SourceZCT);
  FError = MakeErrorLabel(this);
  layout->addWidget(FError);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &TTimeSettingsDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &TTimeSettingsDialog::reject);
  layout->addWidget(buttons);
}

QString TTimeSettingsDialog::Check() const {
  // Without a format every log line would start without its time.
  return FFormat->text().trimmed().isEmpty() ? QString("Format string missing") : QString();
}

TLogTimeSettings TTimeSettingsDialog::Value() const {
  return {FFormat->text().toStdString(), FZCT->isChecked(), FUTC->isChecked()};
}

void TTimeSettingsDialog::accept() {
  const QString error = Check();
  FError->setText(error);
  if (!error.isEmpty()) return QApplication::beep();
  QDialog::accept();
}

#include "ui/WarningRepeatFields.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLineEdit>
#include <optional>

#include "ui/DialogInput.h"

TWarningRepeatFields::TWarningRepeatFields(QFormLayout& form, int32_t repeatCount, int32_t idleTime, bool logAlarm)
    : FRepeat(new QLineEdit(QString::number(repeatCount))),
      FIdle(new QLineEdit(QString::number(idleTime))),
      FLog(new QCheckBox("Add warnings to log files")) {
  FLog->setChecked(logAlarm);
  form.addRow("Min. count before warning:", FRepeat);
  form.addRow("Next warning after (minutes):", FIdle);
  form.addRow("", FLog);
}

QString TWarningRepeatFields::Read(int32_t& repeatCount, int32_t& idleTime, bool& logAlarm) const {
  const std::optional<int32_t> repeat = IntOfText(FRepeat->text());
  if (!repeat) return "Invalid integer input " + FRepeat->text();
  const std::optional<int32_t> idle = IntOfText(FIdle->text());
  if (!idle) return "Invalid integer input " + FIdle->text();
  repeatCount = *repeat;
  idleTime = *idle;
  logAlarm = FLog->isChecked();
  return {};
}

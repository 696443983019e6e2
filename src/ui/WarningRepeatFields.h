#pragma once
#include <QString>
#include <cstdint>

class QCheckBox;
class QFormLayout;
class QLineEdit;

// The fields that clock and sensor warnings share: how many measurements in a row before a
// warning, the minutes before the next one, and whether warnings also go into the log files.
class TWarningRepeatFields {
 public:
  TWarningRepeatFields(QFormLayout& form, int32_t repeatCount, int32_t idleTime, bool logAlarm);

  // Empty when both numbers read, else the refusal; the values are set only then.
  QString Read(int32_t& repeatCount, int32_t& idleTime, bool& logAlarm) const;

  QLineEdit* RepeatEdit() const { return FRepeat; }
  QLineEdit* IdleEdit() const { return FIdle; }
  QCheckBox* LogBox() const { return FLog; }

 private:
  QLineEdit* FRepeat = nullptr;
  QLineEdit* FIdle = nullptr;
  QCheckBox* FLog = nullptr;
};

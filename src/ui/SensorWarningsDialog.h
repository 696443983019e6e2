#pragma once
#include <QDialog>
#include <memory>
#include <string>
#include <vector>

#include "alarms/SensorAlarm.h"
#include "core/App_Settings.h"
#include "ui/WarningRepeatFields.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QTableWidget;

// One sensor channel as the warnings dialog shows it: the signal it carries and its watched range.
struct TSensorWarningChannel {
  std::string SignalName;
  std::string UnitName;
  TSensorRangeInfo Range;
  bool operator==(const TSensorWarningChannel&) const = default;
};

// The warning settings of a sensor session: one range per channel (channel 1 first) and the
// session's repeat count, idle time and log flag.
struct TSensorWarnings {
  std::vector<TSensorWarningChannel> Channels;
  TSensorAlarm Alarm;
  bool operator==(const TSensorWarnings&) const = default;
};

// "[A] Sensor Warnings": per channel its signal, the minimum, the maximum and whether it warns
// ("Yes"/"No", switched by clicking the cell), and the session's repeat count, idle time and "Add
// warnings to log files". OK takes the settings only when every field reads and no minimum lies
// above its maximum.
class TSensorWarningsDialog : public QDialog {
  Q_OBJECT

 public:
  TSensorWarningsDialog(QWidget* parent, const QString& caption, const TSensorWarnings& warnings,
                        const TFormatSettings& format);

  // Empty when every field reads, else the refusal; then `out` holds the settings.
  QString Check(TSensorWarnings& out) const;
  void accept() override;
  // The settings of the last accepted "Ok".
  const TSensorWarnings& Result() const { return FResult; }

  QTableWidget* Table() const { return FTable; }
  QLineEdit* RepeatEdit() const { return FRepeatFields->RepeatEdit(); }
  QLineEdit* IdleEdit() const { return FRepeatFields->IdleEdit(); }
  QCheckBox* LogBox() const { return FRepeatFields->LogBox(); }
  QLabel* ErrorLabel() const { return FError; }

 private:
  TFormatSettings FFormat;
  TSensorWarnings FResult;
  QTableWidget* FTable = nullptr;
  std::unique_ptr<TWarningRepeatFields> FRepeatFields;
  QLabel* FError = nullptr;
};

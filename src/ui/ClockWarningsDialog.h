#pragma once
#include <QDialog>
#include <memory>
#include <string>
#include <vector>

#include "alarms/ClockAlarm.h"
#include "core/App_Settings.h"
#include "ui/WarningRepeatFields.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QTableWidget;

// "[A] Clock Warnings": per channel the nominal frequency, the margin and whether the channel warns
// and takes part in the reference clock check ("Yes"/"No", switched by clicking the cell), and the
// session's repeat count, idle time and "Add warnings to log files". OK takes the definitions only
// when every field reads.
class TClockWarningsDialog : public QDialog {
  Q_OBJECT

 public:
  TClockWarningsDialog(QWidget* parent, const QString& caption, const TClockAlarmDefs& defs,
                       const std::vector<std::string>& channelNames, const TFormatSettings& format);

  // Empty when every field reads, else the refusal; then `out` holds the definitions.
  QString Check(TClockAlarmDefs& out) const;
  void accept() override;
  // The definitions of the last accepted "Ok".
  const TClockAlarmDefs& Result() const { return FResult; }

  QTableWidget* Table() const { return FTable; }
  QLineEdit* RepeatEdit() const { return FRepeatFields->RepeatEdit(); }
  QLineEdit* IdleEdit() const { return FRepeatFields->IdleEdit(); }
  QCheckBox* LogBox() const { return FRepeatFields->LogBox(); }
  QLabel* ErrorLabel() const { return FError; }

 private:
  TFormatSettings FFormat;
  TClockAlarmDefs FResult;
  QTableWidget* FTable = nullptr;
  std::unique_ptr<TWarningRepeatFields> FRepeatFields;
  QLabel* FError = nullptr;
};

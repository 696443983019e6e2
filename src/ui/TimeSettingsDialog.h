#pragma once
#include <QDialog>
#include <cstdint>
#include <string>

#include "logging/LogFileLayout.h"

class QLabel;
class QLineEdit;
class QRadioButton;
class TVTASettings;

// "Log Files: Time Format": the format string of log time stamps, the time zone and the time source.
class TTimeSettingsDialog : public QDialog {
  Q_OBJECT

 public:
  TTimeSettingsDialog(QWidget* parent, const TLogTimeSettings& value);

  // Writes the three keys of the settings file (TimeSettingsOf reads them).
  static void Store(const TLogTimeSettings& value, TVTASettings& settings);
  // The option change bits between two settings: 8 format, 16 time source, 32 time zone.
  static int32_t ChangeCode(const TLogTimeSettings& before, const TLogTimeSettings& after);

  // Empty when the input is usable, else the refusal text.
  QString Check() const;
  TLogTimeSettings Value() const;

  QLineEdit* FormatEdit() const { return FFormat; }
  QRadioButton* UTCButton() const { return FUTC; }
  QRadioButton* ZCTButton() const { return FZCT; }
  QLabel* ErrorLabel() const { return FError; }

 public:
  void accept() override;

 private:
  QLineEdit* FFormat = nullptr;
  QRadioButton* FUTC = nullptr;
  QRadioButton* FZCT = nullptr;
  QLabel* FError = nullptr;
};

#pragma once
#include <QDialog>
#include <string>
#include <vector>

#include "core/App_Settings.h"
#include "devices/QV_HRQSettings.h"

class QLabel;
class QTableWidget;

// "ZCT High Resolution Channels": per counter channel whether it is a high-resolution channel, its
// nominal frequency and the frequency of its local oscillator, with the resulting factor. The
// settings go to the instrument; the session takes them when the instrument reports them back.
class THRQSettingsDialog : public QDialog {
  Q_OBJECT

 public:
  THRQSettingsDialog(QWidget* parent, const QString& caption, const std::vector<std::string>& names,
                     const THRQSettings& settings, const TFormatSettings& format);

  // The text of the first unusable row, empty when every row is usable.
  QString Check() const;
  // The edited settings (factors and count recomputed); only meaningful when Check() is empty.
  THRQSettings Settings() const;

  QTableWidget* Grid() const { return FGrid; }
  QLabel* ErrorLabel() const { return FError; }

  void accept() override;

 private:
  void ShowFactor(int row);

  THRQSettings FInput;
  TFormatSettings FFormat;
  QTableWidget* FGrid = nullptr;
  QLabel* FError = nullptr;
};

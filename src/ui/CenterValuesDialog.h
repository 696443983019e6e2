#pragma once
#include <QDialog>
#include <string>
#include <vector>

#include "core/App_Settings.h"

class QLabel;
class QTableWidget;

// "Center Graphic Channels": the centre value of each channel of a graphic view, in the units the
// view draws (Hz, ps or ns). An emptied cell leaves the channel's centre as it is.
class TCenterValuesDialog : public QDialog {
  Q_OBJECT

 public:
  TCenterValuesDialog(QWidget* parent, const std::vector<std::string>& names, const std::vector<double>& centres,
                      const TFormatSettings& format);

  // The text of the first unusable cell, empty when every cell is usable.
  QString Check() const;
  // One value per row; NaN for an empty cell. Only meaningful when Check() is empty.
  std::vector<double> Centres() const;

  QTableWidget* Grid() const { return FGrid; }
  QLabel* ErrorLabel() const { return FError; }

  void accept() override;

 private:
  TFormatSettings FFormat;
  QTableWidget* FGrid = nullptr;
  QLabel* FError = nullptr;
};

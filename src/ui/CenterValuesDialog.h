#pragma once
#include <QDialog>
#include <string>
#include <vector>

#include "core/App_Settings.h"

class QLabel;
class QTableWidget;

// "Center Graphic Channels": the centre value of each channel of a graphic view, in the units the
// view draws (Hz, ps or ns). For a sensor graph, "Set center value": one centre per signal, which
// every channel of that signal takes. An emptied cell leaves the centre as it is.
class TCenterValuesDialog : public QDialog {
  Q_OBJECT

 public:
  enum class TRows { Channels, Signals };

  TCenterValuesDialog(QWidget* parent, const std::vector<std::string>& names, const std::vector<double>& centres,
                      const TFormatSettings& format, TRows rows = TRows::Channels);

  // The text of the first unusable cell, empty when every cell is usable.
  QString Check() const;
  // One value per row; NaN for an empty cell. Only meaningful when Check() is empty.
  std::vector<double> Centres() const;

  QTableWidget* Grid() const { return FGrid; }
  QLabel* ErrorLabel() const { return FError; }

  void accept() override;

 private:
  TFormatSettings FFormat;
  QString FRowWord;  // "Channel" or "Signal", for the error text
  QTableWidget* FGrid = nullptr;
  QLabel* FError = nullptr;
};

#pragma once
#include <QDialog>
#include <array>
#include <string>
#include <vector>

#include "core/App_Settings.h"

class QCheckBox;
class QLabel;
class QTableWidget;
class TQVSessionItem;
class TVTASettings;

// What the nominal frequency dialog edits: Hz per channel 1..24 (0 = none set) and whether the
// values are the program's global ones for every counter.
struct TNomFreqValues {
  std::array<double, 24> Hz{};
  bool Global = false;
  bool operator==(const TNomFreqValues&) const = default;
};

// "Nominal Frequencies": the nominal frequency of each counter channel in Hz. An empty cell leaves
// the channel as it is, since the counter store keeps a frequency once it has one. In expert mode
// the values can be made the global ones ("Use for all devices").
class TNomFreqDialog : public QDialog {
  Q_OBJECT

 public:
  TNomFreqDialog(QWidget* parent, const QString& caption, const std::vector<std::string>& names,
                 const TNomFreqValues& values, bool expert, const TFormatSettings& format);

  // The text of the first unusable cell, empty when every cell is usable.
  QString Check() const;
  // The edited values; only meaningful when Check() is empty.
  TNomFreqValues Values() const;

  QTableWidget* Grid() const { return FGrid; }
  QCheckBox* GlobalBox() const { return FGlobal; }
  QLabel* ErrorLabel() const { return FError; }

  // What the session (and, for global values, the settings) hold now.
  static TNomFreqValues Read(const TQVSessionItem& session, TVTASettings& settings);
  // Sets the frequencies in one update bracket, so the calculators restart once, stores the global
  // choice (and values) and lets the session exchange them with the instrument's device record.
  static void Apply(const TNomFreqValues& values, TQVSessionItem& session, TVTASettings& settings);

 public:
  void accept() override;

 private:
  TNomFreqValues FInput;
  TFormatSettings FFormat;
  QTableWidget* FGrid = nullptr;
  QCheckBox* FGlobal = nullptr;
  QLabel* FError = nullptr;
};

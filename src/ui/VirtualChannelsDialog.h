#pragma once
#include <QDialog>
#include <array>
#include <string>
#include <vector>

#include "acquisition/QV_ChannelData.h"
#include "core/App_Settings.h"
#include "data/App_DataManagement.h"

class QLabel;
class QLineEdit;
class QTableWidget;

// The virtual channels of a store: each a linear combination of the real channels, with the id and
// name of its record and a description of all of them.
struct TVirtualChannels {
  TQV_ChannelData Record;  // ids, names, colours; MaxChannels = number of virtual channels in use
  std::array<TChannelFactors, DM_MaxChannels> Factors{};
  std::string Description;
};

// "Virtual ZCT Channels" / "Virtual IVC Channels": one row per virtual channel with its id, its
// name and one factor per real channel. Rows whose factors are all 0 are dropped and the rest
// numbered from 1, as the store counts virtual channels from the first row on.
class TVirtualChannelsDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kSpareRows = 2;

  TVirtualChannelsDialog(QWidget* parent, const QString& caption, const std::vector<std::string>& realNames,
                         const TVirtualChannels& value, const TFormatSettings& format);

  // The text of the first unusable factor, empty when every factor is usable.
  QString Check() const;
  // The edited channels; only meaningful when Check() is empty.
  TVirtualChannels Value() const;

  QTableWidget* Grid() const { return FGrid; }
  QLineEdit* DescriptionEdit() const { return FDescription; }
  QLabel* ErrorLabel() const { return FError; }

  void accept() override;

 private:
  static constexpr int kFirstFactorColumn = 2;

  TVirtualChannels FInput;
  TFormatSettings FFormat;
  QTableWidget* FGrid = nullptr;
  QLineEdit* FDescription = nullptr;
  QLabel* FError = nullptr;
};

#pragma once
#include <QDialog>
#include <cstdint>
#include <functional>
#include <optional>

#include "acquisition/QV_ChannelData.h"

class QCheckBox;
class QGroupBox;
class QTableWidget;

// Picks a colour from the channel palette (or any colour); none when cancelled.
std::optional<uint32_t> ChooseStripColor(QWidget* parent, const QString& caption, uint32_t current);

// "Channel Color and Name": colour, id and name of each counter channel and, for sessions with
// interval-counter channels, of those too ("Like ZCT" gives them the counter channels' colours).
class TChannelColorDialog : public QDialog {
  Q_OBJECT

 public:
  // caption, current colour -> the chosen colour or none.
  using TColorChooser = std::function<std::optional<uint32_t>(const QString& caption, uint32_t current)>;

  TChannelColorDialog(QWidget* parent, const TQV_ChannelData& zctData, int zctCount,
                      const std::optional<TQV_ChannelData>& ivcData = std::nullopt, int ivcCount = 0);

  // The edited records (the input with the dialog's colours, ids and names).
  TQV_ChannelData ZCTData() const;
  std::optional<TQV_ChannelData> IVCData() const;

  QTableWidget* Grid(bool ivc) const { return ivc ? FIVCGrid : FZCTGrid; }
  QCheckBox* LikeZCTBox() const { return FLikeZCT; }
  void SetColorChooser(TColorChooser value) { FChooser = std::move(value); }
  // What a click on a channel's colour cell does.
  void ChooseColor(bool ivc, int channel);

 private:
  QTableWidget* MakeGrid(QGroupBox* group, const TQV_ChannelData& data, int count, bool ivc);
  void SetColorCell(QTableWidget* grid, int channel, uint32_t color);
  uint32_t ColorOf(const QTableWidget* grid, int channel) const;
  TQV_ChannelData Edited(const TQV_ChannelData& data, const QTableWidget* grid, bool ivc) const;
  void ShowLikeZCT();

  TQV_ChannelData FZCTData;
  std::optional<TQV_ChannelData> FIVCData;
  QTableWidget* FZCTGrid = nullptr;
  QTableWidget* FIVCGrid = nullptr;
  QCheckBox* FLikeZCT = nullptr;
  TColorChooser FChooser;
};

#include "ui/ChannelRows.h"

#include "ui/QV_Channels.h"
#include "ui/TextGrid.h"

void TChannelRows::Update(TTextGrid& grid, const TQV_Channels& channels, int32_t channelCount) {
  std::vector<int32_t> enabled;
  for (int32_t ch = 1; ch <= channelCount; ++ch)
    if (channels.ChannelEnabled(ch)) enabled.push_back(ch);
  if (FValid && enabled == FChannels) return;
  FChannels = std::move(enabled);
  FValid = true;
  grid.SetRowCount(1 + int(FChannels.size()));
  const TQV_ChannelData& data = channels.Data();
  for (size_t i = 0; i < FChannels.size(); ++i) {
    grid.SetCell(int(i) + 1, 0, data.ChannelId(FChannels[i]));
    grid.SetRowColor(int(i) + 1, data.ChannelColor(FChannels[i]));
  }
}

void TChannelRows::ShowStatus(TTextGrid& grid, const std::string& text) {
  if (text == FStatus) return;
  FStatus = text;
  Invalidate();
  grid.ShowStatusRow(text);
}

void TChannelRows::EndStatus(TTextGrid& grid) {
  if (FStatus.empty()) return;
  FStatus.clear();
  grid.EndStatusRow();
}

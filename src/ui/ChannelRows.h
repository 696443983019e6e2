#pragma once
#include <cstdint>
#include <vector>

class TQV_Channels;
class TTextGrid;

// The data rows of a text grid with one row per enabled channel, each headed by the channel's id
// in its colour. The rows are rebuilt only when the enabled channels change or after Invalidate.
class TChannelRows {
 public:
  void Update(TTextGrid& grid, const TQV_Channels& channels, int32_t channelCount);
  void Invalidate() { FValid = false; }
  // The channel of each data row (row i + 1).
  const std::vector<int32_t>& Channels() const { return FChannels; }

 private:
  std::vector<int32_t> FChannels;
  bool FValid = false;
};

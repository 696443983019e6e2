#pragma once
#include <cstdint>
#include <string>
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

  // A text shown in place of the values ("no data", "no connection"); the rows are rebuilt after it.
  void ShowStatus(TTextGrid& grid, const std::string& text);
  // Back to values: ends a shown status.
  void EndStatus(TTextGrid& grid);
  // The text shown instead of values, empty while values are shown.
  const std::string& Status() const { return FStatus; }

 private:
  std::vector<int32_t> FChannels;
  std::string FStatus;
  bool FValid = false;
};

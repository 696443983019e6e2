#pragma once
#include <array>
#include <cstdint>
#include <string>

// The value strings of one report for the log files, by slot (the producers' slot use is listed at
// the multi-sampler).
using TMultiSamplerStrings = std::array<std::string, 10>;

// Session events a store reports to the multi-sampler (UpdateSession's "what").
constexpr int32_t SE_ChannelCountChanged = 1;
constexpr int32_t SE_HeaderChanged = 3;
constexpr int32_t SE_ReSyncOrLinesLost = 5;
constexpr int32_t SE_DataLost = 7;
constexpr int32_t SE_IVCChannelsChanged = 10;

// What the data stores hand to the multi-sampler. Called in the report thread, under the store's
// lock; the implementation must not call back into the store.
class ISamplerSink {
 public:
  virtual ~ISamplerSink() = default;
  // The text of the "Sync Time" column for the next set of the source.
  virtual void SetSessionSyncTime(int32_t sIndex, bool sCopy, const std::string& syncTime) = 0;
  virtual void AddStrings(int32_t sIndex, bool sCopy, const TMultiSamplerStrings& reportStrings) = 0;
  virtual void AddStringsVirtual(int32_t sIndex, bool sCopy, const TMultiSamplerStrings& reportStrings) = 0;
  // Raw-data sets.
  virtual void AddStringsSpecial(int32_t sIndex, bool sCopy, const TMultiSamplerStrings& reportStrings) = 0;
  // A sensor's value set: one line of fields (slot 0 of a set whose other slots are empty).
  virtual void AddString(int32_t sIndex, bool sCopy, const std::string& reportString) = 0;
  // A message line (clock or sensor warning) for the log files of the source.
  virtual void AddWarning(int32_t sIndex, bool sCopy, const std::string& text) = 0;
  // A device time stamp of a counter session in tenths of a second.
  virtual void AddTimeStamp(int32_t sIndex, bool sCopy, int64_t aTimeStamp) = 0;
  // Session event; text may be empty.
  virtual void UpdateSession(int32_t sIndex, bool sCopy, int32_t what, const std::string& text) = 0;
};

#pragma once
#include <array>
#include <cmath>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "data/ISamplerSink.h"
#include "logging/ISamplerSource.h"
#include "logging/LogTypes.h"

constexpr uint32_t kSamplerSerialUnknown = 0xFFFFFFFF;

// The sets of one string class of a source, oldest first. Positions count strings (ten per
// report), so report k occupies the indexes 10k .. 10k + 9.
class TSamplerStringBuffer {
 public:
  static constexpr size_t kCapacityReports = 50000;
  int Count() const { return static_cast<int>(FSets.size() * 10); }
  // A set no definition consumed for long overwrites the oldest one. date: the source's date-time
  // when the set came (NaN = unknown), the day of a line built from it.
  void Add(const TMultiSamplerStrings& strings, TDateTime date = NAN);
  // The report that starts at string index idx; none beyond the end.
  const TMultiSamplerStrings* ReportAt(int idx) const;
  // The date-time the report at idx came with; NaN beyond the end.
  TDateTime DateAt(int idx) const;
  void ClearOldest(int stringCount);
  void Clear() { FSets.clear(); }

 private:
  struct TSet {
    TMultiSamplerStrings Strings;
    TDateTime Date;
  };
  std::deque<TSet> FSets;
};

// The read position of one definition in one string class of a source.
struct TMultiProtocolItem {
  int32_t FDefIndex = -1;
  bool FValid = false;
  TSamplerStringClass FStringClass = sscStandard;
  uint32_t FLogTypes = 0;
  double FNextDataIndex = -1;
  double FNeeded = 1;
  double FDone = 0;
  int32_t FTimeIndex = -1;
  int32_t FTimeStampCount = 0;
  int32_t FTimeStampStartValue = -1;
  bool FTimeSynchroNeeded = false;
  bool FSynchroWait = false;
  uint32_t FSerialNumber = kSamplerSerialUnknown;
  bool FKeepLastReport = false;
  bool FfirstLineDone = false;
  // Until the first line: the index of the report after each time stamp, so counters whose stamps
  // arrive at different moments can start from the same instant.
  std::deque<std::pair<int32_t, int32_t>> FStampIndexes;

  // The index of the report after the time stamp, -1 when that stamp is not known.
  int32_t StampIndex(int32_t stamp) const;

  // The read position rounded to the first string of a report; -1 = none.
  int NextDataIndex() const;
  // Every read position starts again (the definition's file was closed).
  void Reset();
  // The buffers were emptied; the first-line state stays.
  void StringsCleared();
  void SetTimeSynchroNeeded(bool Value);
};

// One source as the multi-sampler sees it: its five string buffers and the read positions of the
// definitions that read it. Guarded by the multi-sampler's lock.
class TMultiSamplerSession {
 public:
  TMultiSamplerSession(int aLogId, ISamplerSource& aSession);

  ISamplerSource& Session() const { return FSession; }
  TSamplerStringBuffer& ReportStrings(TSamplerStringClass aClass) { return FBuffers.at(aClass); }
  const std::string& SyncTime() const { return FSyncTime; }
  // Stored right-aligned in 12 characters; a longer text stays whole.
  void SetSyncTime(const std::string& Value);
  int32_t TimeStamp() const { return FTimeStamp; }
  void SetLogId(int Value) { FLogId = Value; }
  std::string ToString() const;

  TMultiProtocolItem* Item(int dIndex, TSamplerStringClass aClass);
  bool HasItems(int dIndex) const;
  bool HasStringClass(TSamplerStringClass aClass) const;
  // Takes or creates the item of (dIndex, class) and sets it up for a fresh start.
  void AddProtocolItem(int dIndex, TSamplerStringClass aClass, uint32_t types, double reportFactor);
  void RemoveProtocolItems(int dIndex);
  void SetProtocolsInvalid();
  // Items a definitions change did not rebuild are removed.
  void UpdateHasLogCount();
  void ResetProtocolItems(int dIndex);
  void ClearReportStrings();
  void SetTimeStamp(int32_t value);

  // The string index of the report the definition reads next in the class, or -1 (no data).
  int GetNextDataIndex(int dIndex, TSamplerStringClass aClass);
  // The definition consumed dataCount reports; strings every reader finished with are released.
  void SetLogDone(double dataCount, int dIndex, TSamplerStringClass aClass);
  std::vector<std::unique_ptr<TMultiProtocolItem>>& Items() { return FProtocolList; }

 private:
  int GetCountProtocolReady(TSamplerStringClass aClass);
  void Log(const std::string& text) const;

  ISamplerSource& FSession;
  std::vector<std::unique_ptr<TMultiProtocolItem>> FProtocolList;  // removed items leave empty slots
  std::array<TSamplerStringBuffer, kSamplerStringClassCount> FBuffers;
  std::array<bool, 32> FHasLog{};
  int32_t FTimeStamp = 0;
  std::string FSyncTime;
  std::string FDbgTag;
  int FLogId;
};

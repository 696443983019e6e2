#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "core/App_Settings.h"
#include "protocol/QV_Header.h"

class IReportLogSink;
class ISamplerSink;

// The base of every session's data store: channel count and header of the current stream, the
// history cursors of the three horizontal scales, the sync marker of the log lines, the virtual
// channel factors, the display scale factors, the log types the multi-sampler needs, and the events
// to the owning session. The derived stores keep their histories as [channel][position] arrays.

// History scale: one position per sample, per short average, per long average.
enum THorizontalScale : uint8_t { hsNone = 0, hsShort = 1, hsLong = 2 };
constexpr int DM_ScaleCount = 3;

// "hsNone", "hsShort", "hsLong"; the decimal number for other values.
std::string HorizontalScaleName(THorizontalScale hScale);

// Physical channels 1..24; virtual channels 1..24.
constexpr int32_t DM_MaxChannels = 24;
// Positions per channel and scale; positions wrap by masking.
constexpr int32_t DM_HistoryLength = 2048;
constexpr int32_t DM_HistoryMask = DM_HistoryLength - 1;

// One virtual channel: element i is the factor of physical channel i + 1.
using TChannelFactors = std::array<double, DM_MaxChannels>;

class TDataManagement;

// Where a store's text output goes and how it is written: read together for every sample, so it is
// kept as one value under the store's lock.
struct TStoreOutput {
  ISamplerSink* Sampler = nullptr;      // the multi-sampler; null = not connected
  IReportLogSink* ReportLog = nullptr;  // the local data server's report log; null = not connected
  TFormatSettings FormatWin;            // number format of the views
  TFormatSettings FormatLog;            // number format of log files and server lines
  bool AddLogStrings = false;           // hand value strings to the multi-sampler
  int32_t MultiId = -1;                 // the session's source
};

// The arguments of one event, handed across threads as a whole.
struct TSyncData {
  int32_t Code = 0;
  int32_t aInt = 0;
  std::string Text;
  TDataManagement* Sender = nullptr;
};

using TOnInt = std::function<void(int32_t Code, int32_t aInt)>;
using TOnText = std::function<void(int32_t Code, int32_t SubCode, const std::string& text)>;
using TOnSender = std::function<void(int32_t Code, TDataManagement* Sender)>;

// Runs a call in the window thread and returns when it has run.
using TSyncDispatcher = std::function<void(const std::function<void()>& call)>;

// Building a store: C++ runs no overriding function from a constructor, so the initial Reset of the
// most derived class cannot come from the base constructor. Stores are built with
//   auto store = TDataManagement::Create<TMyStore>(aLogID, aSessId, aSessIsCopy, ...);
// which constructs the store and then calls its Reset. A derived class passes its class name to the
// base constructor (it prefixes every diagnostic line), declares its constructor protected and
// names TDataManagement a friend, so that no store escapes the initial Reset.
//
// Threads: the report thread is the only writer. It holds the lock (recursive) over a whole sample;
// the readers that copy out values take it too. The cursor queries (GetNewCount, GetNewX, GetNextX,
// Count, FirstX, LaufX) take no lock: the writer stores a sample at LaufX before it advances the
// cursor (release), so a reader that sees the cursor (acquire) sees the finished sample. Events are
// to be assigned before the store is shared with the report thread.
class TDataManagement {
 public:
  template <typename TStore, typename... TArgs>
  static std::unique_ptr<TStore> Create(TArgs&&... args) {
    std::unique_ptr<TStore> store(new TStore(std::forward<TArgs>(args)...));
    store->Reset();
    return store;
  }

  virtual ~TDataManagement();
  TDataManagement(const TDataManagement&) = delete;
  TDataManagement& operator=(const TDataManagement&) = delete;

  // Returns true when the count changed; then raises OnChannelCount(2, n).
  virtual bool SetChannelCount(int32_t n);
  int32_t ChannelCount() const { return FChannelCount.load(std::memory_order_acquire); }

  bool SessIsCopy() const { return FSessIsCopy.load(); }
  // Also rewrites the "True"/"False" part of the diagnostic tag.
  virtual void SetSessIsCopy(bool value);

  // Row k (1..24); an all-zero row outside that range.
  TChannelFactors GetVirtualFactors(int32_t k) const;
  // Replaces row k (1..24) and lets VirtualChannelCount count again.
  virtual void SetVirtualFactors(int32_t k, const TChannelFactors& value);
  // Rows with at least one non-zero factor; counted once after each change of the factors.
  int32_t VirtualChannelCount();

  // Call after the writer has stored a sample (or an average) at LaufX(hScale).
  virtual void AdvanceX(THorizontalScale hScale);
  // Empties the histories; derived stores clear their own data first and then call this one.
  virtual void Reset();

  // Reading new values, without the lock. startX = -1: the number of valid positions.
  int32_t GetNewCount(int32_t startX, THorizontalScale hScale) const;
  // Position of the first of the newest min(anz, count) positions.
  int32_t GetNewX(int32_t anz, THorizontalScale hScale) const;
  // Position of the first of the anz positions before startX; with fewer valid positions than anz,
  // anz becomes their number and the result is 0. A ring that is not yet full does not wrap: the
  // result is then at least 0.
  int32_t GetNewX(int32_t& anz, int32_t startX, THorizontalScale hScale) const;
  static int32_t GetNextX(int32_t startX, int32_t anz) { return (startX + anz) & DM_HistoryMask; }

  // Cursors: valid positions (0..2048), the oldest valid position, the next position to write.
  int32_t Count(THorizontalScale hScale) const { return FCount[hScale].load(std::memory_order_acquire); }
  int32_t FirstX(THorizontalScale hScale) const { return FFirstX[hScale].load(std::memory_order_acquire); }
  int32_t LaufX(THorizontalScale hScale) const { return FlaufX[hScale].load(std::memory_order_acquire); }

  // Sync marker of the sample being built; returns to SyncReset after every hsNone sample.
  std::string Sync() const;
  void SetSync(const std::string& value);
  std::string SyncReset() const;
  // A new value also replaces a Sync that still holds the old SyncReset (no marker pending).
  void SetSyncReset(const std::string& value);

  uint32_t SamplerLogTypes() const { return FSamplerLogTypes.load(); }
  void SetSamplerLogTypes(uint32_t value) { FSamplerLogTypes.store(value); }
  bool IsLogTypeNeeded(int bit) const;

  int32_t GetScaleFactor(THorizontalScale hScale) const { return FScaleFactor[hScale].load(); }
  // A changed value raises OnScaleFactor(scale ordinal, value).
  void SetScaleFactor(THorizontalScale hScale, int32_t value);

  int32_t LogId() const { return FLogId.load(); }
  void SetLogId(int32_t value) { FLogId.store(value); }
  // Lines for every report (time stamps, extracted values) go to the diagnostic log only while the
  // session logs its reports; otherwise a long run fills the log with them.
  bool ReportDetails() const { return FReportDetails.load(); }
  void SetReportDetails(bool value) { FReportDetails.store(value); }
  int32_t SessId() const { return FSessId; }
  // A copy of the current header, taken under the lock.
  TQVHeader ValueHeader() const;

  bool SynchronizedNeeded() const { return FSynchronizedNeeded.load(); }
  void SetSynchronizedNeeded(bool value) { FSynchronizedNeeded.store(value); }
  // How events reach the window thread while SynchronizedNeeded is set; without one they run at once.
  // A Reset inside a sample raises its events under the store's lock, so whatever the dispatcher
  // waits for must not need that lock.
  void SetSyncDispatcher(TSyncDispatcher value) { FSyncDispatcher = std::move(value); }

  // The output configuration, read or replaced as a whole. The sinks must outlive the store or be
  // set back to null (under no sample: call from the report thread or before it starts).
  TStoreOutput Output() const;
  void SetOutput(const TStoreOutput& value);
  void SetSamplerSink(ISamplerSink* value);
  void SetReportLogSink(IReportLogSink* value);
  // Window and log number formats (decimal separators) of the settings.
  void SetNumberFormats(const TFormatSettings& win, const TFormatSettings& log);
  bool AddLogStrings() const;
  void SetAddLogStrings(bool value);
  int32_t MultiId() const;
  void SetMultiId(int32_t value);
  // The device time text that ends every value line of the sample.
  std::string ZCTtimeString() const;
  void SetZCTtimeString(const std::string& value);

  void SetOnChannelCount(TOnInt value) { FOnChannelCount = std::move(value); }
  void SetOnError(TOnText value) { FOnError = std::move(value); }
  void SetOnWarning(TOnText value) { FOnWarning = std::move(value); }
  void SetOnReset(TOnSender value) { FOnReset = std::move(value); }
  void SetOnScaleFactor(TOnInt value) { FOnScaleFactor = std::move(value); }

 protected:
  // aClassName starts the diagnostic tag: aClassName + "[" + aSessId + "/" + "True"/"False" + "]".
  TDataManagement(int32_t aLogID, int32_t aSessId, bool aSessIsCopy, const std::string& aClassName = "TDataManagement");

  // Logs the text as an error and raises OnError(code, 0, text).
  void AddError(int32_t code, const std::string& text);
  // Logs the text and raises OnWarning(code, 0, text).
  void AddWarning(int32_t code, const std::string& text);
  // Decodes a new header word. True (and a Reset) when the previous 15-bit word was a real header
  // (not 0x7FFF) and differs from the new one.
  bool ApplyHeader(uint16_t value);

  void Lock() const { FLockObj.lock(); }
  void Unlock() const { FLockObj.unlock(); }

  // Runs an event's handler, through the dispatcher when SynchronizedNeeded is set, writing
  // DbgTag() + "." + operation + " Synchronize" in that case.
  void RaiseEvent(const std::string& operation, const std::function<void()>& call);

  // The diagnostic tag; it may change while the store is in use (SetSessIsCopy).
  std::string DbgTag() const;

  mutable std::recursive_mutex FLockObj;
  TQVHeader FValueHeader{0xFFFF};  // guarded by FLockObj
  TStoreOutput FOutput;            // guarded by FLockObj
  std::string FZCTtimeString;      // guarded by FLockObj

 private:
  std::atomic<int32_t> FChannelCount{0};
  std::atomic<int32_t> FLogId;
  std::atomic<bool> FReportDetails{false};
  const int32_t FSessId;
  std::atomic<bool> FSessIsCopy;
  std::atomic<bool> FSynchronizedNeeded{false};
  int32_t FVirtualChannelCount = -1;  // guarded by FLockObj; -1 = not yet counted
  std::array<TChannelFactors, DM_MaxChannels> FVirtualFactors{};  // guarded by FLockObj
  TOnInt FOnChannelCount;
  TOnText FOnError;
  TOnText FOnWarning;
  TOnSender FOnReset;
  TOnInt FOnScaleFactor;
  TSyncDispatcher FSyncDispatcher;
  std::array<std::atomic<int32_t>, DM_ScaleCount> FCount{};
  std::array<std::atomic<int32_t>, DM_ScaleCount> FFirstX{};
  std::array<std::atomic<int32_t>, DM_ScaleCount> FlaufX{};
  std::array<std::atomic<int32_t>, DM_ScaleCount> FScaleFactor{};
  mutable std::mutex FTagLock;
  std::string FDbgTag;  // guarded by FTagLock
  std::string FSync;  // guarded by FLockObj
  std::string FSyncReset = "0";  // guarded by FLockObj
  std::atomic<uint32_t> FSamplerLogTypes{0};
};

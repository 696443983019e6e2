#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "acquisition/QV_ChannelData.h"
#include "acquisition/VTA_Sync.h"
#include "core/VTA_Common.h"
#include "data/App_DataManagement.h"

class ISamplerSink;
class TAppSettings;
class TSessionItem;

// Session types as stored under "SessionType".
constexpr int32_t kSessionTypeCounter = 0;
constexpr int32_t kSessionTypeSensor = 1;
constexpr int32_t kSessionTypeLabJack = 2;

// The open string of a session without a connection; the report thread never polls it.
inline constexpr char kOpenStringNone[] = "none";
constexpr uint32_t kDefaultSessionColor = 0xFFFF00;
constexpr uint32_t kSerialNumberUnknown = 0xFFFFFFFF;
constexpr int32_t kDefaultIntervalMs = 1000;

// The program's expert mode, set once at start-up; sessions take it as the default of "Debug_Log".
bool ExpertMode();
void SetExpertMode(bool value);

// Allowed measurement interval range.
struct TRange {
  int32_t minI = 0;
  int32_t maxI = 13;
  double minD = 0;
  double maxD = 0;
  bool operator==(const TRange&) const = default;
};

// What the session icon shows: a square of the session colour with the session letter in a
// contrasting colour. The windows paint it; the engine only describes it.
struct TSessionIcon {
  uint32_t Color = kDefaultSessionColor;
  char Letter = 'A';
  uint32_t TextColor = 0;
  bool operator==(const TSessionIcon&) const = default;
};

// The main window's message handler: session index, code, sub-code, type, text, via thread.
using TOnSessionMsg = std::function<void(int32_t sIndex, int32_t Code, int32_t SubCode, TMsgType type,
                                         const std::string& text, bool viaThread)>;
// Called after a session's parameters changed (the main window's UpdateSession).
using TOnSessionUpdate = std::function<void(TSessionItem& session)>;
// The menu entry that mirrors the local TCP server state in its check mark.
using TLocalTcpServerAction = std::function<void(bool checked)>;

// What a session is given at creation to reach the window thread. The notice list and the
// multi-sampler must outlive the session.
struct TSessionHandlers {
  TOnSessionMsg OnMsg;
  TOnSessionUpdate OnUpdate;
  TSyncList* SyncList = nullptr;
  ISamplerSink* Sampler = nullptr;  // the multi-sampler; none = nothing is logged
};

// A message handler that adds to the message list (which must outlive the handler's users).
TOnSessionMsg MessageListHandler(TMessageList& list);

// The abstract session: one configured acquisition channel (a counter, a sensor box or a
// playback) with its colour, letter, channel records and data store. Concrete sessions derive from
// it and are built with TSessionItem::Create<T>(...) so that their own CreateDatamanager runs.
//
// Threads: the window thread creates, opens, closes, configures and frees sessions; the report
// thread calls GetReport only, and reads OpenString, IsRunning, ConnectionType, SessionType and
// ToString. Those are safe to read while the window thread writes them.
class TSessionItem {
 public:
  template <typename TSession, typename... TArgs>
  static std::unique_ptr<TSession> Create(TArgs&&... args) {
    std::unique_ptr<TSession> session(new TSession(std::forward<TArgs>(args)...));
    session->AttachDataManager();
    return session;
  }

  // Writes ".BaseDestroy" and frees the data store unless it is a copy. A derived class closes its
  // device in its own destructor through BaseDestroy (no override is reachable from here).
  virtual ~TSessionItem();
  TSessionItem(const TSessionItem&) = delete;
  TSessionItem& operator=(const TSessionItem&) = delete;

  // ---- Virtual operations (slot order) ----
  virtual void SetChannelData(const TQV_ChannelData& Value) = 0;
  // Copies id, colour (with shades) and name of every channel, then the number in use.
  virtual void SetVirtualChannelData(const TQV_ChannelData& Value);
  virtual void SetVirtualFactors(int32_t k, const TChannelFactors& value);
  virtual std::shared_ptr<TDataManagement> CreateDatamanager() = 0;
  virtual void SetHorizontalScaleFactor(THorizontalScale hScale, int32_t Value);
  virtual int32_t GetIntervalMs() const { return FIntervalMs.load(); }
  virtual void SetLogId(int32_t Value);
  virtual void SetLocalTcpServerAction(TLocalTcpServerAction Value);
  virtual void SetLocalTcpServerRunning(bool Value);
  virtual uint32_t GetSerialNumber() { return FSerialNumber.load(); }
  virtual void AddError(int32_t Code, int32_t SubCode, const std::string& text) = 0;
  virtual void AddInfo(int32_t Code, int32_t SubCode, const std::string& text) = 0;
  virtual void AddWarning(int32_t Code, int32_t SubCode, const std::string& text) = 0;
  virtual void UpdateIcon();
  virtual void UpdateOptions(int32_t what) = 0;
  virtual void SetCommand(const std::string& Cmd, const std::string& CmdText) = 0;
  // Switches the debug file; returns an error text or empty.
  virtual std::string Debug(bool Value) = 0;
  virtual void DebugFlags(bool Report, bool LowLevel) = 0;
  // Returns an error text, empty on success.
  virtual std::string SetDebugPath(const std::string& Value);
  virtual void SetOpenParams(const std::string& aOpenString, int32_t aConnectionType, uint32_t aColor,
                             const std::string& friendly);
  // Returns empty on success or the error text.
  virtual std::string OpenDevice() = 0;
  virtual void CloseDevice(bool stopServer) = 0;
  // The report thread's poll: processes whatever the device delivered and returns true if there was
  // anything, so that the thread polls again at once. Must not block longer than one read of the
  // source. May throw; the report thread reports it and goes on.
  virtual bool GetReport() = 0;
  virtual void ReadSettings(TAppSettings& Settings, const std::string& SettingsPrefix);
  virtual void SaveSettings(TAppSettings& Settings, const std::string& SettingsPrefix);
  // A directly attached serial counter, which gives no per-byte wake-up: the report thread then
  // waits only 10 ms. The counter session adds its own condition (not an ESP instrument).
  virtual bool IsDirectSerial() const;

  // ---- Non-virtual operations ----
  void UpdateIndex(int32_t aIndex);
  // Only a copy takes it; the serial number of a session comes from its device.
  void SetSerialNumber(uint32_t Value);
  void AddSamplerLogTypes(uint32_t Value);
  void ResetSamplerLogTypes();
  // FDbgTag + ", " + open string, then ", " + friendly name if that is not empty.
  std::string ToString() const;
  // Throws std::range_error("TSessionItem.TestRaiseException"), to exercise the error paths.
  [[noreturn]] void TestRaiseException() const;

  // ---- Properties ----
  const TQV_ChannelData& ChannelData() const { return FChannelData; }
  const TQV_ChannelData& VirtualChannelData() const { return FvirtualChannelData; }
  uint32_t Color() const { return FColor.load(); }
  int32_t ConnectionType() const { return FConnectionType.load(); }
  TDataManagement* DataManagement() const { return FDataManagement.get(); }
  bool DebugLog() const { return FDebugLog; }
  bool DebugReport() const { return FDebugReport; }
  bool DebugLowLevel() const { return FDebugLowLevel; }
  const std::string& DebugPath() const { return FDebugPath; }
  const std::string& ErrorMessage() const { return FErrorMessage; }
  std::string FriendlyName() const;
  const TSessionIcon& Icon() const { return FIcon; }
  int32_t Index() const { return FIndex.load(); }
  bool IsCopy() const { return FIsCopy; }
  bool IsRunning() const { return FDeviceOpened.load(); }
  bool LocalTcpServerRunning() const { return FTcpServerRunning.load(); }
  std::string OpenString() const;
  const TRange& RangeInterval() const { return FRangeInterval; }
  uint32_t SamplerLogTypes() const { return FSamplerLogTypes.load(); }
  uint32_t SerialNumberINI() const { return FSerialNumberINI; }
  int32_t SessionType() const { return FSessionType; }
  std::string DeviceName() const;
  void SetDeviceName(const std::string& Value);
  const std::string& VirtualDescription() const { return FvirtualDescription; }
  void SetVirtualDescription(const std::string& Value) { FvirtualDescription = Value; }
  int32_t IntervalMs() const { return GetIntervalMs(); }
  int32_t LogId() const { return FLogId.load(); }
  uint32_t SerialNumber() { return GetSerialNumber(); }
  int32_t VirtualChannelCount() const;
  int32_t HorizontalScaleFactor(THorizontalScale hScale) const;
  TChannelFactors VirtualFactors(int32_t k) const;
  const std::string& DbgTag() const { return FDbgTag; }
  // Never reused within the process: notices name their session by it.
  uint64_t InstanceId() const { return FInstanceId; }
  TSessionRef Ref() const { return {Index(), FIsCopy, FInstanceId}; }

 protected:
  // Creation: aDbgTag is the derived class's tag; empty gives "TSessionItem[" + index + "/False]".
  TSessionItem(int32_t aLogId, int32_t aIndex, TSessionHandlers aHandlers, std::string aDbgTag = {});
  // A copy that shares aSession's data store and takes its settings (CreateCopy); aDbgTag as above
  // with "True".
  struct TCopyOf {
    TSessionItem& Session;
  };
  TSessionItem(TCopyOf aSession, std::string aDbgTag = {});

  // The first part of a derived destructor: writes ".BaseDestroy" and closes the device unless this
  // is a copy; an exception is logged, never passed on.
  void BaseDestroy() noexcept;

  // Raises OnMsg with this session's index.
  void DoMsg(TMsgType type, int32_t Code, int32_t SubCode, const std::string& text, bool viaThread) const;
  // Appends a notice about this session to the notice list.
  void AddSync(int32_t What, int32_t Code = 0, int32_t aInt = 0, const std::string& Text = {}) const;
  // Raises OnUpdate.
  void DoUpdate();

  void SetOpenString(const std::string& Value);
  void SetFriendlyName(const std::string& Value);
  void SetDeviceOpened(bool Value) { FDeviceOpened.store(Value); }
  void SetIntervalMs(int32_t Value) { FIntervalMs.store(Value); }
  void SetSerialNumberValue(uint32_t Value) { FSerialNumber.store(Value); }

  // Fields in declaration order of the design; those the report thread reads are atomic or guarded.
  const bool FIsCopy;
  std::atomic<int32_t> FIndex;
  std::atomic<int32_t> FLogId;
  TQV_ChannelData FChannelData;
  TQV_ChannelData FvirtualChannelData;
  std::string FvirtualDescription;
  std::shared_ptr<TDataManagement> FDataManagement;  // shared with the copies; the original made it
  std::atomic<uint32_t> FColor{kDefaultSessionColor};
  std::atomic<int32_t> FConnectionType{-1};
  TSessionIcon FIcon;
  std::atomic<bool> FTcpServerRunning{false};
  TLocalTcpServerAction FTcpServerAction;
  int32_t FSessionType = kSessionTypeCounter;
  const std::string FDbgTag;
  bool FDebugLog = false;
  bool FDebugReport = false;
  bool FDebugLowLevel = false;
  std::string FDebugPath;
  std::atomic<int32_t> FIntervalMs{kDefaultIntervalMs};
  TRange FRangeInterval;
  std::atomic<uint32_t> FSerialNumber{kSerialNumberUnknown};
  uint32_t FSerialNumberINI = kSerialNumberUnknown;
  std::string FErrorMessage;
  std::atomic<uint32_t> FSamplerLogTypes{0};
  TSessionHandlers FHandlers;

 private:
  void AttachDataManager();
  void ReadVirtualFactors(TAppSettings& Settings, const std::string& SettingsPrefix);
  void ReadHorizontalScale(TAppSettings& Settings, const std::string& SettingsPrefix);
  void SaveVirtualChannels(TAppSettings& Settings, const std::string& SettingsPrefix);

  const uint64_t FInstanceId;
  std::atomic<bool> FDeviceOpened{false};
  mutable std::mutex FParamLock;
  std::string FOpenString;    // guarded by FParamLock
  std::string FFriendlyName;  // guarded by FParamLock
  std::string FDeviceName;    // guarded by FParamLock
};

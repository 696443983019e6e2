#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/VTA_ReportThread.h"
#include "acquisition/VTA_Sessions.h"
#include "app/IVTA_AppComponent.h"
#include "app/IVTA_Timers.h"
#include "app/IVTA_UserInterface.h"
#include "app/VTA_KeptSessions.h"
#include "app/VTA_SessionStatus.h"
#include "core/AppPaths.h"

class TClock;
class TDebugConf;
class TMessageList;
class TVTASettings;
class TVTA_MultiSampler;
class TVTA_Notifications;
class TUsbHotPlug;

inline constexpr char kAppVersion[] = "3.3.4";
inline constexpr char kAppBuildDate[] = "2025-01-07";
inline constexpr char kAskForConnection[] = "Please choose a connection or app will be canceled";
inline constexpr char kCloseWhileLogging[] = "Logging is active\nClose application?";
inline constexpr char kConnectServerAgain[] = "Connect server again?";
inline constexpr char kNoFreeSourceSlot[] = "All 26 sources are in use: remove one first";

// The source interface is older than the program needs; the message is the text the user sees.
class EDllVersion : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Builds the session factory from what the application gives every session it creates: the message
// handler, the update handler and the notice list. The factory decides the session's log id from
// the debug configuration ("Source" + index).
using TSessionFactoryMaker =
    std::function<TSessionFactory(const TSessionHandlers& handlers, TDebugConf& debugConf, TVTASettings& settings)>;
// Whether a sensor session waits for a counter session to be open (only sensor sessions know).
using TSensorNeedsCounter = std::function<bool(const TSessionItem& sensor)>;
// The interval-counter copy of a session that goes into its slot, or none (only counter sessions
// that carry interval-counter data have one).
using TSessionCopyMaker = std::function<std::unique_ptr<TSessionItem>(TSessionItem& session)>;

// Whether the version text of the source interface ("20.2.7 25-01-07") is at least 20.2.0: its
// first word must be three numbers separated by ".".
bool DllVersionAcceptable(const std::string& dllInfo);
// "Invalid version of QV library: " + text + ", minimal version needed: 20.2.0".
std::string DllVersionError(const std::string& dllInfo);

struct TVTA_AppOptions {
  bool ExpertMode = false;
  // The program file; its name without folder and extension names the debug log file.
  std::string ProgramPath;
  std::string FormCaption = "Q+V  VTA";
  TSessionFactoryMaker MakeSessionFactory;
  TSessionStatusReader StatusReader;        // none: the status shows name and open state only
  TSensorNeedsCounter SensorNeedsCounter;  // none: no sensor waits for a counter
  TSessionCopyMaker MakeIVCCopy;            // none: no session has a copy
  // Time-outs and waiting of the report thread; its message list and debug configuration are the
  // application's.
  TReportThreadOptions ReportThread;
  const TClock* Clock = nullptr;  // times of user messages; none = the system clock
  // The version text of the source interface; none = Multi_GetDllInfo.
  std::function<std::string()> DllInfo;
  // Measurement log files: the application owns a multi-sampler (its first component) that the
  // sessions feed.
  bool MultiSampler = false;
  // Popups and e-mail notifications: the application owns the notification list with its mail
  // sender (a component after the multi-sampler).
  bool Notifications = false;
  // Polled between the steps of the start-up (a signal arrived before the event loop runs);
  // none = never.
  std::function<bool()> StopRequested;
};

// The application object: what the main window of the program holds that needs no window. It owns
// the settings, the debug configuration and the application's debug logger, the session lists with
// their notice list, the user message list and the report thread, and runs start-up, the display
// and check cycles and shutdown. The main window owns one and adds views, menus and the status bar;
// `vta-cli run` owns one with no windows. What a user must see goes through IVTA_UserInterface.
//
// Threads: every operation belongs to the owner's thread (the window thread). The report thread
// runs from the end of LosGehts until FormClose (or destruction) and is joined before the sessions
// and lists go.
//
// Life cycle: construction (FormCreate) -> LosGehts -> running (AllInitialized) -> FormCloseQuery,
// FormClose -> destruction. A start-up without connection ends with AppCanceled: nothing is saved.
class TVTA_Application {
 public:
  // FormCreate: loads "VTA_App.ini" and "VTA_DebugConf.ini" from the configuration folder (created
  // if missing), creates the debug logger, sets the expert mode, checks the debug and log root
  // folders and the version of the source interface. Throws EDllVersion for an interface older
  // than 20.2.0 and ESettingsFileError (or std::runtime_error) for an unusable configuration folder.
  TVTA_Application(const TAppPaths& paths, TVTA_AppOptions options, IVTA_UserInterface& ui, IVTA_Timers& timers);
  // FormDestroy: the report thread ends first, then the components, the copies, the sessions and
  // the lists. Never throws.
  ~TVTA_Application();
  TVTA_Application(const TVTA_Application&) = delete;
  TVTA_Application& operator=(const TVTA_Application&) = delete;

  // ---- Start-up and shutdown ----
  // Recreates the stored sessions (a first start asks for a connection), lets the windows and the
  // components read their settings, opens the sessions and starts the report thread. Returns false
  // when no connection was given or a stop was requested midway (AppCanceled): the owner closes
  // without saving. Throws, with nothing started, for a settings file whose counts are damaged.
  bool LosGehts();
  // True when the application may close now; asks while a log file is written.
  bool FormCloseQuery();
  // Closes every device, stops the report thread and both timers, and saves the settings with the
  // sessions renumbered (see SaveSettings). Idempotent.
  void FormClose();
  // The operating system ends the user session: closing asks nothing.
  void QueryEndSession();
  // Writes the settings file and the debug configuration, the sessions stored without gaps; when
  // closing they are also renumbered in the lists. Nothing is written after a cancelled or
  // unfinished start-up (the stored sessions not recreated would be dropped).
  void SaveSettings(bool closing);
  // The last attempt to write the files failed (the user was told); programs exit non-zero.
  bool LastSaveFailed() const { return FLastSaveFailed; }

  // ---- The two cycles (called by the owner's timers) ----
  void DisplayTimerTimer();
  void CheckTimerTimer();
  // Display timer decision after sessions opened or closed: on while a session is open, one last
  // run while notices or messages wait, else off. Applies it to the timers and returns it.
  bool UpdateRunningConnections();
  // Whether a sensor session still waits for a counter; starts or stops the check timer.
  bool CheckSensorConnections();
  // Holds the display cycle off during a multi-step change of sessions (nests). Prefer
  // TDisplayTimerLock, which also releases the hold when the change throws.
  void LockDisplayTimer();
  void UnlockDisplayTimer();
  bool DisplayTimerLocked() const { return FLockDisplayTimer > 0; }

  // ---- Sessions (the main window's commands) ----
  // "New Source": a session for the first free slot; its stored keys are read, and without an open
  // string the connection dialog asks. After start-up it is opened at once (and removed again if
  // that fails). Returns the session in its slot, or none.
  TSessionItem* SourceNew();
  // Opens a session's device (a "none" session counts as open). reconnect = start-up: no boxes.
  bool OpenSession(TSessionItem& session, bool reconnect);
  // "Re-Open Source": closes the device (its local server keeps running) and opens it again.
  bool ReopenSession(int32_t index);
  // "Change Source" with the dialog's answer: the same type and open string update the session in
  // place; anything else replaces it on the next display cycle.
  void ChangeSession(int32_t index, const TSourceDialogResult& choice);
  // "Remove Source": the session is removed on the next display cycle.
  void RemoveSessionRequest(int32_t index);
  // After a session's parameters changed (the sessions' OnUpdate).
  void UpdateSession(TSessionItem& session);
  // After every change of the session list.
  void UpdateSessionList();

  // ---- User messages from the owner's thread ----
  void AddError(int32_t Id, int32_t Code, int32_t SubCode, const std::string& text);
  void AddWarning(int32_t Id, int32_t Code, int32_t SubCode, const std::string& text);
  void AddInfo(int32_t Id, int32_t Code, int32_t SubCode, const std::string& text);

  // ---- Busy notice: only on the owner's thread, elsewhere nothing happens ----
  void ShowSplash(const std::string& text, int logId);
  void HideSplash();

  // ---- Components (multi-sampler, notifications), in start-up order ----
  void AddComponent(std::unique_ptr<IVTA_AppComponent> component);

  // The multi-sampler (definitions, enabling them), or none without log files.
  TVTA_MultiSampler* MultiSampler() { return FMultiSampler; }
  // The notification list and mail sender, or none without notifications.
  TVTA_Notifications* Notifications() { return FNotifications; }

  // The status of every session in index order.
  std::vector<TSessionStatus> SessionStatuses() const;

  // ---- State ----
  TVTASettings& Settings() { return *FSettings; }
  TDebugConf& DebugConf() { return *FDebugConf; }
  int LogId() const { return FLogId; }
  TSessionLists& Lists() { return *FLists; }
  TMessageList& Messages() { return *FMsgList; }
  TVTA_ReportThread* ReportThread() { return FReportThread.get(); }
  const std::string& Caption() const { return FCaption; }
  const std::string& DllInfo() const { return FDllInfo; }
  const std::string& AppBaseName() const { return FAppBaseName; }
  const std::string& DebugRootFolder() const { return FDebugRootFolder; }
  // Takes "DebugRootFolder" and "Debug_LogMain" from the settings again: a changed folder or mode
  // opens a new application debug file. Returns the folder in use.
  const std::string& ConfigureDebugLog();
  const std::string& LogRootFolder() const { return FLogRootFolder; }
  bool ExpertMode() const { return FExpertMode; }
  bool AllInitialized() const { return FAllInitialized; }
  bool AppCanceled() const { return FAppCanceled; }
  bool DisplayTimerEnabled() const { return FDisplayTimerEnabled; }
  bool CheckTimerEnabled() const { return FCheckTimerEnabled; }
  bool DisplayTimerLastRun() const { return FDisplayTimerLastRun; }

 private:
  struct TPendingChange {
    uint64_t InstanceId;
    TSourceDialogResult Choice;
  };

  // Creation steps.
  void CreateDebugLog();
  std::string UsableFolder(const std::string& folder, const std::string& fallback, const std::string& what);
  void CheckDllVersion();
  void CreateMultiSampler(TSessionHandlers& handlers);
  void CreateNotifications();

  // Start-up steps.
  bool StopRequested() const { return FOptions.StopRequested && FOptions.StopRequested(); }
  bool CancelStart(const std::string& reason);
  void CreateStoredSessions();
  // storedIndex: the stored session to recreate at start-up; none = the first free slot.
  TSessionItem* NewSource(bool atStartup, std::optional<int32_t> storedIndex);
  void KeepUnopenedSession(int32_t index, int32_t sessionType);
  std::unique_ptr<TSessionItem> MakeSession(int32_t sessionType, int32_t index);
  TSessionItem& PutIntoSlot(std::unique_ptr<TSessionItem> session);
  void OpenStoredSessions();

  // Display cycle parts; each catches its own failures.
  void DoPendingSessionWork();
  void UpdateSerialNumbers();
  // Counters plugged in or out: a closed session whose counter came back reopens.
  void CheckUsbDevices();
  void DrainSyncList();
  void HandleNotice(const TMainSyncData& notice, bool& devicesDone);
  void RefreshViews();
  void RefreshMessages();
  void RefreshInfo();
  void RefreshStatus();
  bool MessagesWaiting() const;
  void ShowMessages(bool openView);
  void ReportCycleFailure(const std::string& logText, const std::string& part, const std::exception& e);

  // Session changes.
  void DoSessionRemove(TSessionItem& session);
  void DoSessionChange(TSessionItem& session, const TSourceDialogResult& choice);
  void RemoveFromLists(TSessionItem& session, bool keepViews);
  void CloseExcluded(TSessionItem& session, bool stopServer);
  void MarkRemoved(TSessionItem* session);

  void SetDisplayTimer(bool enabled);
  void SetCheckTimer(bool enabled);
  bool OnOwnerThread() const { return std::this_thread::get_id() == FOwnerThread; }
  void Info(int category, const std::string& text) const;
  void Error(int category, const std::string& text) const;
  void LogFailure(const std::string& text, const std::exception& e) const;

  IVTA_UserInterface& FUI;
  IVTA_Timers& FTimers;
  TVTA_AppOptions FOptions;
  const std::thread::id FOwnerThread;
  bool FExpertMode;
  std::string FAppBaseName;
  std::string FCaption;
  std::string FDllInfo;
  std::string FDebugRootFolder;
  std::string FLogRootFolder;
  int FLogId = -1;

  bool FShutDown = false;
  bool FMsgListUpdateNeeded = false;  // messages added before the windows could show them
  bool FDisplayTimerLastRun = false;
  bool FAllInitialized = false;
  bool FAppCanceled = false;
  bool FClosed = false;
  bool FLastSaveFailed = false;
  bool FDisplayTimerEnabled = false;
  bool FCheckTimerEnabled = false;
  int32_t FLockDisplayTimer = 0;
  std::optional<uint64_t> FRemoveSession;      // instance id of the pending removal
  std::optional<TPendingChange> FChangeSession;
  std::set<uint64_t> FSerialNumbersKnown;      // sessions whose serial number reached the copies

  // Owned objects, in creation order; destroyed explicitly in the destructor's safe order.
  std::unique_ptr<TVTASettings> FSettings;
  std::unique_ptr<TDebugConf> FDebugConf;
  std::unique_ptr<TMessageList> FMsgList;
  std::unique_ptr<TSessionLists> FLists;
  TKeptSessions FKeptSessions;
  TSessionFactory FFactory;
  std::vector<std::unique_ptr<IVTA_AppComponent>> FComponents;
  TVTA_MultiSampler* FMultiSampler = nullptr;  // owned by FComponents
  TVTA_Notifications* FNotifications = nullptr;  // owned by FComponents
  std::unique_ptr<TVTA_ReportThread> FReportThread;
  std::unique_ptr<TUsbHotPlug> FUsbHotPlug;  // made at the first display cycle
};

// Holds the display cycle off for the life of the guard, so that a change of sessions that throws
// midway never leaves the cycle locked for good.
class TDisplayTimerLock {
 public:
  explicit TDisplayTimerLock(TVTA_Application& app) : FApp(app) { FApp.LockDisplayTimer(); }
  ~TDisplayTimerLock() { FApp.UnlockDisplayTimer(); }
  TDisplayTimerLock(const TDisplayTimerLock&) = delete;
  TDisplayTimerLock& operator=(const TDisplayTimerLock&) = delete;

 private:
  TVTA_Application& FApp;
};

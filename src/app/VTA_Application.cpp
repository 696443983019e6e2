#include "app/VTA_Application.h"

#include <QDir>
#include <QFileInfo>
#include <array>
#include <charconv>
#include <chrono>
#include <filesystem>

#include "acquisition/App_Sessions.h"
#include "acquisition/MultiSource.h"
#include "acquisition/SourceHandle.h"
#include "app/VTA_MultiSampler.h"
#include "app/VTA_Notifications.h"
#include "core/LogUnit.h"
#include "core/StaleTemporaries.h"
#include "core/VTA_Common.h"
#include "core/VTA_DebugConf.h"
#include "core/VTA_Settings.h"
#include "logging/ArchiveStore.h"
#include "devices/UsbHotPlug.h"

namespace {

constexpr int kMainCategory = 5;

// The first word of the text split at "."; none unless it is exactly three decimal numbers.
std::optional<std::array<int, 3>> VersionNumbers(const std::string& dllInfo) {
  const std::string word = dllInfo.substr(0, dllInfo.find(' '));
  std::array<int, 3> numbers{};
  const char* p = word.data();
  const char* const end = word.data() + word.size();
  for (size_t i = 0; i < numbers.size(); ++i) {
    if (p == end || *p < '0' || *p > '9') return std::nullopt;
    const auto result = std::from_chars(p, end, numbers[i]);
    if (result.ec != std::errc()) return std::nullopt;
    p = result.ptr;
    if (i + 1 < numbers.size()) {
      if (p == end || *p != '.') return std::nullopt;
      ++p;
    }
  }
  if (p != end) return std::nullopt;
  return numbers;
}

std::string BaseName(const std::string& programPath) {
  const std::string name = QFileInfo(QString::fromStdString(programPath)).completeBaseName().toStdString();
  return name.empty() ? "VTA_App" : name;
}

bool FolderUsable(const std::string& folder) {
  if (folder.empty() || !QDir().mkpath(QString::fromStdString(folder))) return false;
  const QFileInfo info(QString::fromStdString(folder));
  return info.isDir() && info.isWritable();
}

// Temporaries of saves that were killed midway. One written in the last minute may belong to a
// save of another instance that is still running.
std::vector<std::string> RemoveOwnStaleTemporaries(const TAppPaths& paths) {
  const auto olderThan = std::filesystem::file_time_type::clock::now() - std::chrono::minutes(1);
  std::vector<std::string> removed = RemoveStaleTemporaries(paths.SettingsFile(), olderThan);
  for (std::string& file : RemoveStaleTemporaries(paths.DebugConfFile(), olderThan)) removed.push_back(std::move(file));
  return removed;
}

std::string WithDelimiter(std::string folder) {
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

}  // namespace

bool DllVersionAcceptable(const std::string& dllInfo) {
  const auto v = VersionNumbers(dllInfo);
  if (!v) return false;
  const auto [major, minor, patch] = *v;
  return major > 20 || (major == 20 && minor > 2) || (major == 20 && minor == 2 && patch >= 0);
}

std::string DllVersionError(const std::string& dllInfo) {
  return "Invalid version of QV library: " + dllInfo + ", minimal version needed: 20.2.0";
}

TVTA_Application::TVTA_Application(const TAppPaths& paths, TVTA_AppOptions options, IVTA_UserInterface& ui,
                                   IVTA_Timers& timers)
    : FUI(ui),
      FTimers(timers),
      FOptions(std::move(options)),
      FOwnerThread(std::this_thread::get_id()),
      FExpertMode(FOptions.ExpertMode),
      FAppBaseName(BaseName(FOptions.ProgramPath)),
      FCaption(FOptions.FormCaption + "  Version " + kAppVersion + " - " + kAppBuildDate) {
  paths.CreateConfigDir();
  // The local data servers of this program file their archives in minute and hour files.
  SetTcpArchiveStoreFactory(TArchiveStore::Factory());
  const std::vector<std::string> staleFiles = RemoveOwnStaleTemporaries(paths);
  FSettings = std::make_unique<TVTASettings>(paths.SettingsFile(), paths, FExpertMode);
  FDebugConf = std::make_unique<TDebugConf>(paths.DebugConfFile());
  FLogId = CreateLogger();
  FDebugConf->SetLogId(FLogId);
  FSettings->SetLogId(FLogId);

  // The expert mode is a program-wide switch that sessions and the source interface consult.
  SetExpertMode(FExpertMode);
  if (FExpertMode) Multi_SetOption(4711);
  Multi_SetOption(28697);

  CreateDebugLog();
  for (const std::string& file : staleFiles) Error(kMainCategory, "TMainForm.FormCreate removed stale temporary file " + file);
  FLogRootFolder = UsableFolder(FSettings->LogRootFolder(), FSettings->ExePath() + "Logs/", "LogRootFolder");
  FSettings->SetLogRootFolder(FLogRootFolder);

  FLists = std::make_unique<TSessionLists>(FDebugConf.get());
  FMsgList = std::make_unique<TMessageList>(
      [this](const std::string& line) { Info(7, line); },
      [this](int32_t sIndex) {
        // During destruction the lists may be gone while a session still reports.
        const TSessionItem* session = FLists ? FLists->GetSession(sIndex) : nullptr;
        return session ? session->Color() : kColorWhite;
      },
      FOptions.Clock ? *FOptions.Clock : SystemClock());

  TSessionHandlers handlers;
  handlers.OnMsg = MessageListHandler(*FMsgList);
  handlers.OnUpdate = [this](TSessionItem& session) { UpdateSession(session); };
  handlers.SyncList = &FLists->SyncList();
  if (FOptions.MultiSampler) CreateMultiSampler(handlers);
  if (FOptions.Notifications) CreateNotifications();
  if (FOptions.MakeSessionFactory) FFactory = FOptions.MakeSessionFactory(handlers, *FDebugConf, *FSettings);

  CheckDllVersion();
}

// Log file messages are for no session and come from the report thread.
void TVTA_Application::CreateMultiSampler(TSessionHandlers& handlers) {
  TMultiSamplerConfig config;
  config.LogId = FDebugConf->SamplerLogId();
  config.Clock = FOptions.Clock;
  config.DecimalSeparator = FSettings->FormatSettingsLog().DecimalSeparator;
  config.ProgramFolder = FLogRootFolder;
  if (!config.ProgramFolder.empty() && config.ProgramFolder.back() != '/') config.ProgramFolder += '/';
  config.OnMsg = [onMsg = handlers.OnMsg](TMsgType type, int32_t code, const std::string& text) {
    onMsg(-2, code, 0, type, text, true);
  };
  auto sampler = std::make_unique<TVTA_MultiSampler>(std::move(config));
  FMultiSampler = sampler.get();
  handlers.Sampler = &sampler->Sink();
  FComponents.push_back(std::move(sampler));
}

// The mail sender logs into the application's debug log.
void TVTA_Application::CreateNotifications() {
  auto notifications = std::make_unique<TVTA_Notifications>(*FMsgList, FUI, LocalHostName(), FLogId, FLogId);
  FNotifications = notifications.get();
  FComponents.push_back(std::move(notifications));
}

void TVTA_Application::CreateDebugLog() {
  SetLimit(FLogId, logCreateNew, 0);
  HeaderLines(FLogId, {"VTA-App: " + FOptions.ProgramPath + ", Version: " + kAppVersion + " - " + kAppBuildDate, ""});
  ConfigureDebugLog();
  Info(kMainCategory, "TMainForm.FormCreate: LogId=" + std::to_string(FLogId) + ", Version=" + FCaption);
  if (FExpertMode) Info(kMainCategory, "TMainForm.FormCreate: ExpertMode=True");
}

const std::string& TVTA_Application::ConfigureDebugLog() {
  const std::string configured = FSettings->DebugRootFolder();
  const bool usable = FolderUsable(configured);
  FDebugRootFolder = usable ? WithDelimiter(configured) : FSettings->ExePath() + "Debug/";
  if (!usable) {
    FolderUsable(FDebugRootFolder);
    FSettings->SetDebugRootFolder(FDebugRootFolder);
  }
  SaveEnabled(FLogId, true);
  SavePath(FLogId, FDebugRootFolder);
  LogFileName(FLogId, FDebugRootFolder + FAppBaseName + ".txt", !FSettings->AppDebugLog());
  if (!usable) Error(kMainCategory, "Invalid path DebugRootFolder=" + configured);
  return FDebugRootFolder;
}

std::string TVTA_Application::UsableFolder(const std::string& folder, const std::string& fallback,
                                           const std::string& what) {
  if (FolderUsable(folder)) return WithDelimiter(folder);
  Error(kMainCategory, "Invalid path " + what + "=" + folder);
  FolderUsable(fallback);
  return fallback;
}

void TVTA_Application::CheckDllVersion() {
  if (FOptions.DllInfo) {
    FDllInfo = FOptions.DllInfo();
  } else {
    char buffer[MULTI_BUFFER_SIZE] = {};
    Multi_GetDllInfo(buffer);
    FDllInfo = buffer;
  }
  Info(kMainCategory, "TMainForm.FormCreate: DllInfo=" + FDllInfo);
  if (DllVersionAcceptable(FDllInfo)) return;
  const std::string text = DllVersionError(FDllInfo);
  Error(0, text);
  throw EDllVersion(text);
}

TVTA_Application::~TVTA_Application() {
  try {
    Info(kMainCategory, "TMainForm.FormDestroy");
    // The report thread finishes its pass and ends before anything it polls goes.
    FReportThread.reset();
    for (auto& component : FComponents) component->Stop();
    if (FLists) {
      Info(kMainCategory, "TMainForm.ClearSessionListCopy Count=" + std::to_string(FLists->CopyList().size()));
      FLists.reset();
    }
    FComponents.clear();
    Info(kMainCategory, "TMainForm.FormDestroy END");
  } catch (const std::exception& e) {
    LogFailure("TMainForm.FormDestroy", e);
  }
}

// ---------------------------------------------------------------- user messages

void TVTA_Application::AddError(int32_t Id, int32_t Code, int32_t SubCode, const std::string& text) {
  FMsgList->AddError(Id, Code, SubCode, text);
  if (FAllInitialized) ShowMessages(true);
}

void TVTA_Application::AddWarning(int32_t Id, int32_t Code, int32_t SubCode, const std::string& text) {
  FMsgList->AddWarning(Id, Code, SubCode, text);
  if (FAllInitialized) ShowMessages(true);
}

void TVTA_Application::AddInfo(int32_t Id, int32_t Code, int32_t SubCode, const std::string& text) {
  FMsgList->AddInfo(Id, Code, SubCode, text);
  if (FAllInitialized) ShowMessages(false);
}

void TVTA_Application::ShowMessages(bool openView) {
  // A failing message view must not turn one user message into an endless chain of new ones.
  try {
    if (openView && !FUI.MessageViewExists()) FUI.CreateMessageView();
    if (FUI.MessageViewExists()) FUI.UpdateMessageView();
  } catch (const std::exception& e) {
    LogFailure("TMainForm.ShowMessages failed", e);
  }
}

// ---------------------------------------------------------------- busy notice, components, status

void TVTA_Application::ShowSplash(const std::string& text, int logId) {
  if (!OnOwnerThread()) return;
  LogIt(logId, "ShowSplash " + text);
  FUI.ShowSplash(text);
}

void TVTA_Application::HideSplash() {
  if (OnOwnerThread()) FUI.HideSplash();
}

void TVTA_Application::AddComponent(std::unique_ptr<IVTA_AppComponent> component) {
  FComponents.push_back(std::move(component));
}

std::vector<TSessionStatus> TVTA_Application::SessionStatuses() const {
  std::vector<TSessionStatus> statuses;
  for (TSessionItem* session : FLists->Sessions()) {
    TSessionStatus status;
    status.Index = session->Index();
    status.Name = FLists->GetSessionName(status.Index, true);
    status.SessionType = session->SessionType();
    status.Open = session->IsRunning();
    status.OpenString = session->OpenString();
    if (FOptions.StatusReader) FOptions.StatusReader(*session, status);
    statuses.push_back(std::move(status));
  }
  return statuses;
}

// ---------------------------------------------------------------- timers and diagnostics

void TVTA_Application::SetDisplayTimer(bool enabled) {
  if (FDisplayTimerEnabled == enabled) return;
  FDisplayTimerEnabled = enabled;
  FTimers.SetDisplayTimer(enabled);
}

void TVTA_Application::SetCheckTimer(bool enabled) {
  if (FCheckTimerEnabled == enabled) return;
  FCheckTimerEnabled = enabled;
  FTimers.SetCheckTimer(enabled);
}

void TVTA_Application::LockDisplayTimer() { ++FLockDisplayTimer; }

void TVTA_Application::UnlockDisplayTimer() {
  if (FLockDisplayTimer > 0) --FLockDisplayTimer;
}

void TVTA_Application::Info(int category, const std::string& text) const { FDebugConf->Info(category, text); }

void TVTA_Application::Error(int category, const std::string& text) const { FDebugConf->Error(category, text); }

void TVTA_Application::LogFailure(const std::string& text, const std::exception& e) const {
  FDebugConf->Error(text, e);
}

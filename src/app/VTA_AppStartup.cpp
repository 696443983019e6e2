// Start-up of the application object and the commands that add and open sessions.
#include <array>

#include "acquisition/App_Sessions.h"
#include "acquisition/MultiSource.h"
#include "app/VTA_Application.h"
#include "core/App_Settings.h"
#include "core/SettingsCount.h"
#include "core/VTA_Common.h"
#include "core/VTA_DebugConf.h"
#include "core/VTA_Settings.h"
#include "devices/QV_CANDeviceAdapterChoice.h"

namespace {

constexpr int kMainCategory = 5;
constexpr int kSourceCategory = 9;
constexpr int kUserInputCategory = 12;
constexpr int32_t kMsgCodeConnectSourceFailed = 72;
constexpr int32_t kMsgCodeNoOpenString = 86;

// Colours a new session gets instead of the unchanged default, by index mod 4.
constexpr std::array<uint32_t, 4> kNewSessionColors = {0xFFFF00, 0xFF00FF, 0x808000, 0x000080};

std::string SessionPrefix(int32_t index) { return "Session_" + std::to_string(index) + "_"; }

}  // namespace

bool TVTA_Application::LosGehts() {
  Info(kMainCategory, "TMainForm.LosGehts");
  // New sources signal the process-wide data-arrival event the report thread waits on.
  Multi_SetReceiveEvent("", 0);
  TCanAdapterChoice::SetCurrent(TCanAdapterChoice::Read(*FSettings));

  CreateStoredSessions();
  if (StopRequested()) return CancelStart("stopped by signal");
  if (FLists->Sessions().empty()) {
    FUI.MessageBox(kAskForConnection);
    NewSource(true, std::nullopt);
    if (FLists->Sessions().empty()) return CancelStart("no connection, cancel app");
  }

  FUI.ReadWindowSettings(*FSettings, *FLists);
  for (auto& component : FComponents) component->ReadSettings(*FSettings, *FLists);

  OpenStoredSessions();
  if (StopRequested()) return CancelStart("stopped by signal");

  TReportThreadOptions reportOptions = FOptions.ReportThread;
  reportOptions.Messages = FMsgList.get();
  reportOptions.DebugConf = FDebugConf.get();
  FReportThread = std::make_unique<TVTA_ReportThread>(*FLists, std::move(reportOptions));
  FAllInitialized = true;
  CheckSensorConnections();
  UpdateSessionList();

  // Nothing was shown before the start-up finished.
  if (FMsgList->Count() > 0) FMsgListUpdateNeeded = true;

  // No keep-awake request on this platform: the previous state is always reported as 0.
  Info(kMainCategory, "TMainForm.LosGehts SetThreadExecutionState=00000000");
  if (MessagesWaiting() && !FDisplayTimerEnabled) {
    Error(kMainCategory, "TMainForm.LosGehts no running session");
    UpdateRunningConnections();
  }
  Info(kMainCategory, "TMainForm.LosGehts END");
  return true;
}

bool TVTA_Application::CancelStart(const std::string& reason) {
  Error(kMainCategory, "TMainForm.LosGehts: " + reason);
  FAppCanceled = true;
  return false;
}

void TVTA_Application::CreateStoredSessions() {
  // A count that does not read, or that no session list can hold, stops the start: going on as a
  // first start would overwrite the stored sessions at the next save.
  int32_t count = -1;
  try {
    count = FSettings->SessionCount();
  } catch (const EConvertError& e) {
    throw ESettingsFileError("Settings file " + FSettings->Filename() + ": " + e.what());
  }
  if (count != -1) CheckedCount(*FSettings, "SessionCount", count, TSessionLists::MaxSessions);
  Info(kMainCategory, "TMainForm.LosGehts.SessionCount=" + std::to_string(count));
  if (count == -1) {
    Info(kMainCategory, "TMainForm.LosGehts First App start -> create first default session");
    NewSource(true, std::nullopt);
    return;
  }
  // Stored session k is read from its own keys even when an earlier one was cancelled, so that a
  // cancelled dialog never hides the sessions stored after it (they would be lost at the next save).
  for (int32_t k = 0; k < count && !StopRequested(); ++k) NewSource(true, k);
}

void TVTA_Application::OpenStoredSessions() {
  Info(kMainCategory, "TMainForm.LosGehts.Open sessions");
  for (TSessionItem* session : FLists->Sessions()) {
    if (StopRequested()) return;
    if (!session->OpenString().empty()) OpenSession(*session, true);
  }
}

TSessionItem* TVTA_Application::SourceNew() { return NewSource(false, std::nullopt); }

TSessionItem* TVTA_Application::NewSource(bool atStartup, std::optional<int32_t> storedIndex) {
  const int32_t index = storedIndex.value_or(FLists->FirstFreeIndex());
  const int category = atStartup ? kMainCategory : kUserInputCategory;
  if (index >= TSessionLists::MaxSessions) {
    Error(category, "TMainForm.SourceNewExecute: no free slot");
    FUI.MessageBox(kNoFreeSourceSlot);
    return nullptr;
  }
  Info(category, "TMainForm.SourceNewExecute sIndex=" + std::to_string(index));
  const int32_t storedType = StoredSessionType(*FSettings, index);
  std::unique_ptr<TSessionItem> session = MakeSession(storedType, index);
  if (!session) {
    if (storedIndex) KeepUnopenedSession(index, storedType);
    return nullptr;
  }

  if (session->OpenString().empty()) {
    TSourceDialogPreset request;
    request.Index = index;
    request.SessionType = storedType;
    request.FriendlyName = session->FriendlyName();
    request.ConnectionType = session->ConnectionType() == -1 ? 0 : session->ConnectionType();
    request.Color = session->Color() == kDefaultSessionColor ? kNewSessionColors[size_t(index) % kNewSessionColors.size()]
                                                             : session->Color();
    const std::optional<TSourceDialogResult> choice = FUI.AskConnection(request);
    if (!choice) {
      Info(category, "TMainForm.SourceNewExecute: cancel");
      return nullptr;
    }
    if (choice->SessionType != storedType) {
      session.reset();
      FSettings->RemoveKeys(SessionPrefix(index));
      session = MakeSession(choice->SessionType, index);
      if (!session) return nullptr;
    }
    session->SetOpenParams(choice->OpenString, choice->ConnectionType, choice->Color, choice->FriendlyName);
    if (choice->OpenString.empty()) AddError(index, kMsgCodeNoOpenString, 0, choice->PortText);
  }

  TSessionItem& added = PutIntoSlot(std::move(session));
  if (!FAllInitialized) return &added;
  if (!OpenSession(added, false)) {
    Error(category, "TMainForm.SourceNewExecute: Open failed -> remove session");
    DoSessionRemove(added);
    return nullptr;
  }
  UpdateSessionList();
  return &added;
}

// A stored session this build cannot make keeps its keys for the next save; the user is told once.
void TVTA_Application::KeepUnopenedSession(int32_t index, int32_t sessionType) {
  FKeptSessions.Keep(*FSettings, index);
  const std::string kind = sessionType == kSessionTypeSensor   ? "Sensor sessions"
                           : sessionType == kSessionTypeLabJack ? "LabJack sensor sessions"
                                                                : "Sessions of type " + std::to_string(sessionType);
  AddError(index, kMsgCodeConnectSourceFailed, 0,
           "Source " + std::string(1, SessionLetter(index)) + " not opened: " + kind +
               " are not available in this version; its settings are kept");
}

std::unique_ptr<TSessionItem> TVTA_Application::MakeSession(int32_t sessionType, int32_t index) {
  if (!FFactory) {
    Error(kSourceCategory, "TMainForm.CreateSession: no session factory");
    return nullptr;
  }
  std::unique_ptr<TSessionItem> session = CreateSession(FFactory, sessionType, index, *FSettings, FDebugRootFolder);
  if (!session) Error(kSourceCategory, "TMainForm.CreateSession: unknown session type " + std::to_string(sessionType));
  return session;
}

TSessionItem& TVTA_Application::PutIntoSlot(std::unique_ptr<TSessionItem> session) {
  TSessionItem& added = FLists->AddSession(std::move(session));
  if (FOptions.MakeIVCCopy)
    if (std::unique_ptr<TSessionItem> copy = FOptions.MakeIVCCopy(added)) FLists->AddCopy(std::move(copy));
  FUI.SessionAdded(added);
  return added;
}

bool TVTA_Application::OpenSession(TSessionItem& session, bool reconnect) {
  const std::string openString = session.OpenString();
  if (openString == kOpenStringNone) return true;
  const int32_t index = session.Index();
  for (;;) {
    Info(kSourceCategory, "TMainForm.OpenDevice for session " + std::to_string(index));
    Info(kSourceCategory, "TMainForm.OpenDevice reset data management");
    std::string error;
    {
      // The report thread keeps away while the device and its store change state.
      MarkRemoved(&session);
      try {
        if (TDataManagement* store = session.DataManagement()) store->Reset();
        error = session.OpenDevice();
      } catch (...) {
        MarkRemoved(nullptr);
        throw;
      }
      MarkRemoved(nullptr);
    }
    if (error.empty()) break;
    Error(kSourceCategory, "TMainForm.OpenDevice: " + openString + " failed: " + error);
    if (!reconnect) FUI.MessageBox(error);
    AddError(index, kMsgCodeConnectSourceFailed, 0, error);
    if (!reconnect && openString.rfind("IP", 0) == 0 && FUI.Question(kConnectServerAgain)) continue;
    return false;
  }
  if (!reconnect) CheckSensorConnections();
  UpdateRunningConnections();
  return true;
}

bool TVTA_Application::ReopenSession(int32_t index) {
  TSessionItem* session = FLists->GetSession(index);
  if (!session) return false;
  CloseExcluded(*session, false);
  return OpenSession(*session, false);
}

void TVTA_Application::UpdateSession(TSessionItem& session) {
  try {
    FUI.SessionUpdated(session);
  } catch (const std::exception& e) {
    LogFailure("TMainForm.UpdateSession failed", e);
    throw;
  }
}

void TVTA_Application::UpdateSessionList() {
  FUI.SessionListChanged(*FLists);
  for (auto& component : FComponents) component->SessionListChanged(*FLists);
  if (FReportThread) FReportThread->CheckSerialConnections();
}

// Changing and removing sessions: both are deferred to the display cycle, which performs them while
// the report thread keeps away from the session concerned.
#include "acquisition/App_Sessions.h"
#include "app/VTA_Application.h"
#include "core/VTA_DebugConf.h"
#include "core/VTA_Settings.h"

namespace {

constexpr int kUserInputCategory = 12;

std::string SessionPrefix(int32_t index) { return "Session_" + std::to_string(index) + "_"; }

// Keeps the report thread away from a session for the life of the guard.
class TRemovalMark {
 public:
  TRemovalMark(std::function<void(TSessionItem*)> mark, TSessionItem& session) : FMark(std::move(mark)) {
    FMark(&session);
  }
  ~TRemovalMark() { FMark(nullptr); }
  TRemovalMark(const TRemovalMark&) = delete;
  TRemovalMark& operator=(const TRemovalMark&) = delete;

 private:
  std::function<void(TSessionItem*)> FMark;
};

}  // namespace

void TVTA_Application::MarkRemoved(TSessionItem* session) {
  if (FReportThread)
    FReportThread->RemoveSession(session);
  else
    FLists->MarkRemoved(session);
}

void TVTA_Application::CloseExcluded(TSessionItem& session, bool stopServer) {
  TRemovalMark mark([this](TSessionItem* s) { MarkRemoved(s); }, session);
  session.CloseDevice(stopServer);
}

void TVTA_Application::ChangeSession(int32_t index, const TSourceDialogResult& choice) {
  TSessionItem* session = FLists->GetSession(index);
  if (!session) return;
  if (choice.SessionType == session->SessionType() && choice.OpenString == session->OpenString()) {
    const bool renamed = choice.FriendlyName != session->FriendlyName();
    session->SetOpenParams(choice.OpenString, choice.ConnectionType, choice.Color, choice.FriendlyName);
    if (renamed) UpdateSessionList();
    if (!session->IsRunning()) OpenSession(*session, false);
    UpdateSession(*session);
    return;
  }
  FChangeSession = TPendingChange{session->InstanceId(), choice};
  if (!FDisplayTimerEnabled) {
    FDisplayTimerLastRun = true;
    SetDisplayTimer(true);
  }
}

void TVTA_Application::RemoveSessionRequest(int32_t index) {
  TSessionItem* session = FLists->GetSession(index);
  if (!session) return;
  FRemoveSession = session->InstanceId();
  if (!FDisplayTimerEnabled) {
    FDisplayTimerLastRun = true;
    SetDisplayTimer(true);
  }
}

void TVTA_Application::RemoveFromLists(TSessionItem& session, bool keepViews) {
  const int32_t index = session.Index();
  const uint64_t instanceId = session.InstanceId();
  {
    TRemovalMark mark([this](TSessionItem* s) { MarkRemoved(s); }, session);
    session.CloseDevice(true);
    FUI.SessionRemoving(session, keepViews);
    for (auto& component : FComponents) component->SessionRemoving(session);
  }
  // Waits until the report thread has left the session, then frees it and its copy.
  FLists->RemoveSession(index);
  FSerialNumbersKnown.erase(instanceId);
}

void TVTA_Application::DoSessionRemove(TSessionItem& session) {
  const int32_t index = session.Index();
  Info(kUserInputCategory, "TMainForm.DoSessionRemove[" + std::to_string(index) + "]");
  FSettings->RemoveKeys("Info_" + std::to_string(index) + "_Panel_");
  RemoveFromLists(session, false);
  FSettings->RemoveKeys(SessionPrefix(index));
  UpdateSessionList();
  UpdateRunningConnections();
}

void TVTA_Application::DoSessionChange(TSessionItem& session, const TSourceDialogResult& choice) {
  TDisplayTimerLock lock(*this);
  const int32_t index = session.Index();
  const bool sameType = choice.SessionType == session.SessionType();
  // The replacement of the same type starts from the current settings of the old session.
  if (sameType)
    session.SaveSettings(*FSettings, SessionPrefix(index));
  else
    FSettings->RemoveKeys(SessionPrefix(index));
  RemoveFromLists(session, true);

  if (std::unique_ptr<TSessionItem> fresh = MakeSession(choice.SessionType, index)) {
    fresh->SetOpenParams(choice.OpenString, choice.ConnectionType, choice.Color, choice.FriendlyName);
    TSessionItem& added = PutIntoSlot(std::move(fresh));
    OpenSession(added, false);
  }
  UpdateSessionList();
  UpdateRunningConnections();
  Info(kUserInputCategory, "TMainForm.DoSessionChange[" + std::to_string(index) + "] END");
}

// The display cycle (every 100 ms while enabled), the timer decision and the check cycle.
#include "acquisition/App_Sessions.h"
#include "acquisition/QV_SessionItem.h"
#include "acquisition/VTA_SensorSession.h"
#include "app/VTA_Application.h"
#include "app/VTA_Notifications.h"
#include "core/LogUnit.h"
#include "core/QV_NumberText.h"
#include "core/VTA_Common.h"
#include "core/VTA_DebugConf.h"
#include "devices/UsbHotPlug.h"

namespace {

constexpr int kMainCategory = 5;
constexpr int kSourceCategory = 9;
constexpr int kSyncCategory = 10;
// Failures of the display cycle are reported for session 0.
constexpr int32_t kCycleErrorSession = 0;

bool IsSensor(const TSessionItem& session) {
  return session.SessionType() == kSessionTypeSensor || session.SessionType() == kSessionTypeLabJack;
}

}  // namespace

void TVTA_Application::DisplayTimerTimer() {
  if (!FAllInitialized || FClosed) return;
  if (FLockDisplayTimer > 0) {
    Info(kMainCategory, "TMainForm.DisplayTimerTimer locked " + std::to_string(FLockDisplayTimer));
    return;
  }
  DoPendingSessionWork();
  if (FDisplayTimerLastRun) {
    FDisplayTimerLastRun = false;
    SetDisplayTimer(false);
    Info(kMainCategory, "TMainForm.DisplayTimerTimer last run");
  }
  UpdateSerialNumbers();
  CheckUsbDevices();
  DrainSyncList();
  RefreshViews();
  RefreshMessages();
  RefreshInfo();
  RefreshStatus();
  // Diagnostic lines are buffered; a quiet log reaches its file within a cycle.
  FlushLoggers();
}

void TVTA_Application::ReportCycleFailure(const std::string& logText, const std::string& userPrefix,
                                          const std::exception& e) {
  LogFailure(logText, e);
  AddError(kCycleErrorSession, kMsgCodeInternalException, 0,
           userPrefix + "(" + ExceptionClassName(e) + "): " + e.what());
}

void TVTA_Application::DoPendingSessionWork() {
  if (FRemoveSession) {
    const uint64_t id = *FRemoveSession;
    FRemoveSession.reset();
    Info(kMainCategory, "TMainForm.DisplayTimerTimer SourceRemove nachholen");
    try {
      if (TSessionItem* session = FLists->Resolve({-1, false, id})) DoSessionRemove(*session);
    } catch (const std::exception& e) {
      ReportCycleFailure("TMainForm.DisplayTimerTimer SourceRemove failed", "Internal Exception DisplayTimer SourceRemove",
                         e);
    }
  }
  if (FChangeSession) {
    const TPendingChange change = std::move(*FChangeSession);
    FChangeSession.reset();
    Info(kMainCategory, "TMainForm.DisplayTimerTimer SourceChange nachholen");
    try {
      if (TSessionItem* session = FLists->Resolve({-1, false, change.InstanceId}))
        DoSessionChange(*session, change.Choice);
    } catch (const std::exception& e) {
      ReportCycleFailure("TMainForm.DisplayTimerTimer SourceChange failed", "Internal Exception DisplayTimer SourceChange",
                         e);
    }
  }
}

void TVTA_Application::UpdateSerialNumbers() {
  try {
    for (TSessionItem* session : FLists->Sessions()) {
      if (session->SessionType() != kSessionTypeCounter || FSerialNumbersKnown.contains(session->InstanceId()))
        continue;
      const uint32_t serialNumber = session->SerialNumber();
      if (serialNumber == kSerialNumberUnknown) continue;
      FSerialNumbersKnown.insert(session->InstanceId());
      const std::string prefix = "TMainForm.DisplayTimerTimer Session(" + std::to_string(session->Index()) + ")";
      Info(kMainCategory, prefix + " Seriennummer eingelesen: " + IntToHex(serialNumber, 8));
      const std::vector<TSessionItem*> copyList = FLists->CopyList();
      for (size_t slot = 0; slot < copyList.size(); ++slot) {
        TSessionItem* copy = copyList[slot];
        if (!copy->IsCopy() || copy->Index() != session->Index()) continue;
        Info(kMainCategory, prefix + " Seriennummer in Kopie " + std::to_string(slot) + " setzen");
        copy->SetSerialNumber(serialNumber);
      }
    }
  } catch (const std::exception& e) {
    ReportCycleFailure("TMainForm.DisplayTimerTimer Session.SerialNumber failed",
                       "Internal Exception DisplayTimer Session.SerialNumber", e);
  }
}

void TVTA_Application::CheckUsbDevices() {
  try {
    if (!FUsbHotPlug) FUsbHotPlug = std::make_unique<TUsbHotPlug>();
    FUsbHotPlug->Poll([&](const std::string& text, bool arrived) {
      Info(kMainCategory, std::string(arrived ? "TMainForm.UsbAttached" : "TMainForm.UsbDetached") +
                              ": Q+V USB device " + text);
      if (!arrived) return;
      for (TSessionItem* session : FLists->Sessions())
        if (auto* counter = dynamic_cast<TQVSessionItem*>(session)) counter->CheckUsbAttached(text);
    });
  } catch (const std::exception& e) {
    ReportCycleFailure("TMainForm.UsbAttached failed", "Internal Exception DisplayTimer UsbAttached", e);
  }
}

void TVTA_Application::DrainSyncList() {
  TSyncList& syncList = FLists->SyncList();
  const size_t count = syncList.Count();
  if (count == 0) return;
  Info(kSyncCategory, "TMainForm.DisplayTimerTimer SyncList.Count=" + std::to_string(count));
  // The entry being handled is already out of the list, so a failing one is dropped and the rest
  // wait for the next run.
  bool devicesDone = false;
  while (std::optional<TMainSyncData> notice = syncList.TakeFirst()) {
    try {
      Info(kSyncCategory, "TMainForm.DisplayTimerTimer " + notice->ToString());
      HandleNotice(*notice, devicesDone);
    } catch (const std::exception& e) {
      ReportCycleFailure("TMainForm.DisplayTimerTimer Synchronize failed", "Internal Exception DisplayTimer Synchronize",
                         e);
      return;
    }
  }
}

void TVTA_Application::HandleNotice(const TMainSyncData& notice, bool& devicesDone) {
  if (notice.What < swDataReset || notice.What > swDevices) return;
  if (notice.What >= swClockPrecedence && notice.What <= swIVCMasterClock) return;  // nobody sends them
  if (notice.What == swDevices) {
    // The devices menu is rebuilt at most once per run, however many sessions report a change.
    if (devicesDone) return;
    devicesDone = true;
  }
  TSessionItem* sender = FLists->Resolve(notice.Sender);
  if ((notice.What == swZCTonly || notice.What == swIVConly) && sender) {
    // The device carries one kind of data only: the copy for the other kind goes.
    const int32_t index = sender->Index();
    FLists->RemoveCopy(index);
    sender = FLists->GetSession(index);
    FUI.SyncNotice(notice, sender);
    UpdateSessionList();
    return;
  }
  FUI.SyncNotice(notice, sender);
}

void TVTA_Application::RefreshViews() {
  try {
    FUI.UpdateViews();
  } catch (const std::exception& e) {
    ReportCycleFailure("TMainForm.DisplayTimerTimer Child.UpdateDisplay failed",
                       "Internal Exception DisplayTimer Child.UpdateDisplay", e);
  }
}

bool TVTA_Application::MessagesWaiting() const {
  return FMsgListUpdateNeeded || FMsgList->UpdateNeeded() || FMsgList->UpdateInfoNeeded();
}

void TVTA_Application::RefreshMessages() {
  if (!MessagesWaiting()) return;
  try {
    // Errors and warnings bring the view up; infos only refresh an existing one.
    const bool openView = FMsgListUpdateNeeded || FMsgList->UpdateNeeded();
    if (openView && !FUI.MessageViewExists()) {
      Info(kMainCategory, "TMainForm.DisplayTimer Create MessageChild");
      FUI.CreateMessageView();
    }
    Info(kMainCategory, "TMainForm.DisplayTimer reset message flags");
    FMsgList->TakeUpdateFlags();
    FMsgListUpdateNeeded = false;
    // Taking them clears their via-thread marks; the popups of worker-thread messages are shown here.
    for (const TMessageItem& item : FMsgList->TakeViaThreadMessages())
      if (FNotifications && FNotifications->TakePendingPopup(item)) FUI.ShowPopup(item);
    if (FUI.MessageViewExists()) {
      Info(kMainCategory, "TMainForm.DisplayTimer MessageChild.UpdateDisplay");
      FUI.UpdateMessageView();
      Info(kMainCategory, "TMainForm.DisplayTimer MessageChild.UpdateDisplay finished");
    }
  } catch (const std::out_of_range&) {
    Info(kMainCategory, "TMainForm.DisplayTimerTimer Messages Update failed -> ignore");
  } catch (const std::exception& e) {
    ReportCycleFailure("TMainForm.DisplayTimerTimer Messages Update failed",
                       "Internal Exception DisplayTimer Messages Update", e);
  }
}

void TVTA_Application::RefreshInfo() {
  try {
    FUI.UpdateInfo();
  } catch (const std::exception& e) {
    ReportCycleFailure("TMainForm.DisplayTimerTimer info.UpdatePanel failed",
                       "Internal Exception DisplayTimer Info.UpdatePanel", e);
  }
}

void TVTA_Application::RefreshStatus() {
  try {
    FUI.UpdateStatus();
  } catch (const std::exception& e) {
    ReportCycleFailure("TMainForm.DisplayTimerTimer failed", "Internal Exception DisplayTimer", e);
  }
}

bool TVTA_Application::UpdateRunningConnections() {
  int32_t running = 0;
  for (const TSessionItem* session : FLists->Sessions())
    if (session->IsRunning()) ++running;
  Info(kSourceCategory, "TMainForm.UpdateRunningConnections anz=" + std::to_string(running));
  // Pending removals and changes count as waiting work too: they are done by the cycle.
  const bool waiting = FLists->SyncList().Count() > 0 || MessagesWaiting() || FRemoveSession || FChangeSession;
  bool enabled = true;
  if (running > 0)
    FDisplayTimerLastRun = false;
  else if (waiting)
    FDisplayTimerLastRun = true;
  else
    enabled = FDisplayTimerLastRun = false;
  SetDisplayTimer(enabled);
  RefreshStatus();
  return enabled;
}

bool TVTA_Application::CheckSensorConnections() {
  bool sensorWaits = false;
  bool counterOpen = false;
  for (const TSessionItem* session : FLists->Sessions()) {
    const std::string index = std::to_string(session->Index());
    if (IsSensor(*session) && FOptions.SensorNeedsCounter && FOptions.SensorNeedsCounter(*session)) {
      Info(kMainCategory, "TMainForm.CheckSensorConnections sensor " + index + " needs QV");
      sensorWaits = true;
    }
    if (session->SessionType() == kSessionTypeCounter && session->IsRunning()) {
      Info(kMainCategory, "TMainForm.CheckSensorConnections session " + index + " has QV");
      counterOpen = true;
    }
  }
  if (!sensorWaits || counterOpen) {
    Info(kMainCategory, "TMainForm.CheckSensorConnections stop CheckTimer");
    SetCheckTimer(false);
    return false;
  }
  // Called from the running check timer, the minute of waiting is over.
  if (FCheckTimerEnabled) return true;
  Info(kMainCategory, "TMainForm.CheckSensorConnections start CheckTimer");
  SetCheckTimer(true);
  return false;
}

void TVTA_Application::CheckTimerTimer() {
  Info(kMainCategory, "TMainForm.CheckTimerTimer");
  if (CheckSensorConnections()) {
    for (TSessionItem* session : FLists->Sessions()) {
      if (!IsSensor(*session) || !session->IsRunning() || !FOptions.SensorNeedsCounter(*session)) continue;
      Info(kMainCategory, "TMainForm.CheckTimerTimer close sensor " + std::to_string(session->Index()));
      // The close message tells the user that the counter never came.
      if (auto* sensor = dynamic_cast<TSensorSessionItem*>(session)) sensor->SetQVmissing(true);
      CloseExcluded(*session, false);
    }
    UpdateRunningConnections();
  }
  SetCheckTimer(false);
  Info(kMainCategory, "TMainForm.CheckTimerTimer END -> disabled");
}

// Closing the application: the close query, closing the devices, stopping the report thread and
// saving the settings with the sessions renumbered.
#include "acquisition/App_Sessions.h"
#include "app/VTA_Application.h"
#include "core/QV_NumberText.h"
#include "core/SessionIndexMap.h"
#include "core/VTA_DebugConf.h"
#include "core/VTA_Settings.h"
#include "devices/QV_CANDeviceAdapterChoice.h"

namespace {

constexpr int kMainCategory = 5;

}  // namespace

void TVTA_Application::QueryEndSession() {
  Info(kMainCategory, "TMainForm.WMQueryEndSession");
  FShutDown = true;
}

bool TVTA_Application::FormCloseQuery() {
  Info(kMainCategory, "TMainForm.FormCloseQuery");
  bool canClose = true;
  if (FShutDown) {
    Info(kMainCategory, "TMainForm.FormCloseQuery ShutDown -> Close");
  } else {
    bool logging = false;
    for (const auto& component : FComponents) logging = logging || component->LogFileActive();
    if (logging) canClose = FUI.Question(kCloseWhileLogging);
  }
  Info(kMainCategory, "TMainForm.FormCloseQuery END CanClose=" + BoolText(canClose));
  return canClose;
}

void TVTA_Application::FormClose() {
  if (FClosed) return;
  FClosed = true;
  Info(kMainCategory, "TMainForm.FormClose");
  // One device that fails to close must not keep the others open or the settings unsaved.
  for (TSessionItem* session : FLists->Sessions()) {
    try {
      CloseExcluded(*session, true);
    } catch (const std::exception& e) {
      LogFailure("TMainForm.FormClose CloseDevice failed " + session->ToString(), e);
    }
  }
  if (FReportThread) FReportThread->Stop();
  SetDisplayTimer(false);
  SetCheckTimer(false);
  SaveSettings(true);
  Info(kMainCategory, "TMainForm.FormClose SetThreadExecutionState=00000000");
  Info(kMainCategory, "TMainForm.FormClose END");
}

void TVTA_Application::SaveSettings(bool closing) {
  if (FAppCanceled) {
    Info(kMainCategory, "TMainForm.SaveSettings AppCanceled NICHT speichern");
    return;
  }
  // After a start-up that did not finish, the lists hold only part of the stored sessions: saving
  // them would drop the others from the file.
  if (!FAllInitialized) {
    Error(kMainCategory, "TMainForm.SaveSettings start-up not finished, NICHT speichern");
    return;
  }
  const auto lock = FSettings->Lock();
  for (const char* prefix : {"Info_", "ViewMessage_", "View_"}) FSettings->RemoveKeys(prefix);
  const TSessionIndexMap saved = FLists->SaveSessions(*FSettings, closing);
  const TSessionIndexMap map = FKeptSessions.Save(*FSettings, saved.Count(), saved);
  // The windows and the components each save what they can; the file is written in any case.
  try {
    FUI.SaveWindowSettings(*FSettings, map);
  } catch (const std::exception& e) {
    LogFailure("TMainForm.SaveSettings windows failed", e);
  }
  for (auto& component : FComponents) {
    try {
      component->SaveSettings(*FSettings, map);
    } catch (const std::exception& e) {
      LogFailure("TMainForm.SaveSettings component failed", e);
    }
  }
  try {
    TCanAdapterChoice::Write(TCanAdapterChoice::Current(), *FSettings);
    FSettings->SaveSettings();
    FDebugConf->SaveSettings();
    FLastSaveFailed = false;
  } catch (const std::exception& e) {
    LogFailure("TMainForm.SaveSettings failed", e);
    FLastSaveFailed = true;
    FUI.ErrorBox(e.what());
  }
}

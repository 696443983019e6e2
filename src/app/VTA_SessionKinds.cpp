#include "app/VTA_SessionKinds.h"

#include "acquisition/QV_SessionItem.h"
#include "acquisition/SessionFactory.h"
#include "acquisition/VTA_SensorSession.h"
#include "app/VTA_Application.h"
#include "core/VTA_DebugConf.h"
#include "data/ZCT_DataManagement.h"

namespace {

TQVSessionItem* Counter(TSessionItem& session) { return dynamic_cast<TQVSessionItem*>(&session); }

void ReadSessionStatus(TSessionItem& session, TSessionStatus& status) {
  if (const auto* sensor = dynamic_cast<const TSensorSessionItem*>(&session)) {
    SetSensorStatus(status, sensor->ChannelCount());
    return;
  }
  const TQVSessionItem* counter = Counter(session);
  if (!counter) return;
  const TQVSessionStatus shown = counter->Status();
  TCounterStatusValues values;
  if (counter->GetHasZCT()) values.ZctChannels = counter->ZCT_DM().ChannelCount();
  if (shown.TransmittedDGIs > 0) values.DgiCards = shown.TransmittedDGIs;
  if (shown.TransmittedIVCs > 0) values.IvcChannels = shown.TransmittedIVCs;
  values.UserId = counter->GetUserId();
  values.IvcOnly = shown.IVConly;
  values.Lost = counter->ZCT_DM().Lost();
  values.LastSync = shown.BufNo7015;
  SetCounterStatus(status, values);
}

}  // namespace

void AddBuiltInSessionKinds(TVTA_AppOptions& options) {
  options.MakeSessionFactory = [](const TSessionHandlers& handlers, TDebugConf& debugConf, TVTASettings& settings) {
    TQVSessionEnv env;
    env.Sampler = handlers.Sampler;
    // Sessions re-read the options at every option change, so they take them from the store.
    env.Options = [&settings] { return SessionOptionsFrom(settings); };
    return MakeSessionFactory(handlers, env, [&debugConf](int32_t index) { return debugConf.SourceLogId(index); });
  };
  options.MakeIVCCopy = [](TSessionItem& session) -> std::unique_ptr<TSessionItem> {
    TQVSessionItem* counter = Counter(session);
    if (!counter || counter->IsCopy()) return nullptr;
    return TQVSessionItem::CopyIVCPart(*counter);
  };
  options.StatusReader = ReadSessionStatus;
  options.SensorNeedsCounter = [](const TSessionItem& session) {
    const auto* sensor = dynamic_cast<const TSensorSessionItem*>(&session);
    return sensor && sensor->NeedsQV();
  };
  options.MultiSampler = true;
  options.Notifications = true;
}

#include "ui/SessionKinds.h"

#include "ui/MainForm.h"

// The counter session joins the program in its own branch; until it is there (the build defines
// VTA_HAS_COUNTER_SESSION once it is), the window runs without a session factory and the
// application refuses to create sessions.
#ifdef VTA_HAS_COUNTER_SESSION

#include "acquisition/QV_SessionItem.h"
#include "acquisition/SessionFactory.h"
#include "core/VTA_DebugConf.h"
#include "data/IVC_DataManagement.h"
#include "data/ZCT_DataManagement.h"

namespace {

TQVSessionItem* Counter(TSessionItem& session) { return dynamic_cast<TQVSessionItem*>(&session); }

int32_t HRQChannelCount(const TQVSessionItem& session) {
  if (!session.HRQSettingsAreSet()) return 0;
  int32_t count = 0;
  for (int32_t channel = 1; channel <= TQV_ChannelData::ChannelCount; ++channel)
    if (session.HRQSetting(channel).enabled) ++count;
  return count;
}

}  // namespace

void AddSessionKinds(TMainFormOptions& options) {
  options.Kinds.MakeFactory = [](const TSessionHandlers& handlers, TDebugConf& debugConf,
                                 std::function<TVTASettings&()> settings) {
    TQVSessionEnv env;
    env.Options = [settings] { return SessionOptionsFrom(settings()); };
    return MakeSessionFactory(handlers, env, [&debugConf](int32_t index) { return debugConf.SourceLogId(index); });
  };
  options.App.MakeIVCCopy = [](TSessionItem& session) -> std::unique_ptr<TSessionItem> {
    TQVSessionItem* counter = Counter(session);
    if (!counter || counter->IsCopy()) return nullptr;
    return TQVSessionItem::CopyIVCPart(*counter);
  };
  options.App.StatusReader = [](TSessionItem& session, TSessionStatus& status) {
    const TQVSessionItem* counter = Counter(session);
    if (!counter) return;
    TCounterStatusValues values;
    if (counter->GetHasZCT()) values.ZctChannels = counter->ZCT_DM().ChannelCount();
    if (counter->TransmittedDGIs() > 0) values.DgiCards = counter->TransmittedDGIs();
    if (counter->TransmittedIVCs() > 0) values.IvcChannels = counter->TransmittedIVCs();
    values.UserId = counter->GetUserId();
    values.IvcOnly = counter->IVConly();
    values.Lost = counter->ZCT_DM().Lost();
    values.LastSync = counter->BufNo7015();
    SetCounterStatus(status, values);
  };
  options.Kinds.Traits = [](TSessionItem& session) {
    TSessionTraits traits;
    if (const TQVSessionItem* counter = Counter(session)) {
      traits.HRQChannels = HRQChannelCount(*counter);
      traits.DebugFiles = counter->DebugStream();
    }
    return traits;
  };
  options.Kinds.IVCStore = [](TSessionItem& session) -> TIVC_DataManagement* {
    TQVSessionItem* counter = Counter(session);
    return counter ? &counter->IVC_DM() : nullptr;
  };
  options.Kinds.SetDecimalSeparator = [](TSessionItem& session, char separator) {
    if (TQVSessionItem* counter = Counter(session)) counter->SetDecimalSeparator(separator);
  };
}

#else

void AddSessionKinds(TMainFormOptions&) {}

#endif

#include "ui/SessionKinds.h"

#include "ui/MainForm.h"

#include "acquisition/MultiSource.h"
#include "acquisition/QV_SessionItem.h"
#include "app/VTA_SessionKinds.h"
#include "data/IVC_DataManagement.h"

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
  AddBuiltInSessionKinds(options.App);
  options.DeviceSerials = Multi_DeviceSerialNumbers;
  options.DeviceInfo = Multi_GetDeviceInfo;
  options.Kinds.Traits = [](TSessionItem& session) {
    TSessionTraits traits;
    if (const TQVSessionItem* counter = Counter(session)) {
      traits.HRQChannels = HRQChannelCount(*counter);
      traits.DebugFiles = counter->DebugStream();
      const TQVSessionStatus status = counter->Status();
      traits.DGICards = status.TransmittedDGIs;
      traits.IVCChannels = status.TransmittedIVCs;
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

#include "devices/QV_CANDeviceAdapterChoice.h"

#include <mutex>

#include "core/App_Settings.h"
#include "devices/PcanBasicAdapter.h"
#include "devices/SocketCanAdapter.h"

namespace {

std::mutex gLock;
TCanAdapterChoice gChoice;

}  // namespace

TCanAdapterChoice TCanAdapterChoice::Current() {
  std::lock_guard lock(gLock);
  return gChoice;
}

void TCanAdapterChoice::SetCurrent(const TCanAdapterChoice& choice) {
  std::lock_guard lock(gLock);
  gChoice = choice;
}

TCanAdapterChoice TCanAdapterChoice::Read(TAppSettings& settings) {
  TCanAdapterChoice choice;
  choice.Kind = settings.GetValue("Main_CANAdapter", int32_t(choice.Kind)) == caPcanBasic ? caPcanBasic : caSocketCan;
  choice.Interface = settings.GetValue("Main_CANInterface", choice.Interface);
  if (choice.Interface.empty()) choice.Interface = TCanAdapterChoice().Interface;
  return choice;
}

void TCanAdapterChoice::Write(const TCanAdapterChoice& choice, TAppSettings& settings) {
  settings.SetValue("Main_CANAdapter", int32_t(choice.Kind));
  settings.SetValue("Main_CANInterface", choice.Interface);
}

std::unique_ptr<TCanAdapter> TCanAdapterChoice::CreateAdapter(int32_t logId) {
  const TCanAdapterChoice choice = Current();
  if (choice.Kind == caPcanBasic) return std::make_unique<TPcanBasicAdapter>(logId);
  return std::make_unique<TSocketCanAdapter>(logId, choice.Interface);
}

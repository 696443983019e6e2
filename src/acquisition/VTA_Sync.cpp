#include "acquisition/VTA_Sync.h"

#include <algorithm>
#include <array>

#include "core/QV_NumberText.h"
#include "core/VTA_DebugConf.h"

namespace {

constexpr int kSyncCategory = 10;

constexpr std::array<const char*, 21> kWhatNames = {
    "DataReset",       "DataResetIVC",     "ChannelCount",   "IVCChannels",     "DGICards",
    "RateIndex",       "Mode",             "Scrambler",      "PhaseDiffReset",  "ReSync",
    "ZCT only",        "IVC only",         "IVC Calibration", "Peer",           "HRQ Data",
    "Clock Precedence", "PLL State",       "Operating Mode", "IVC MasterClock", "PPI",
    "Devices"};

}  // namespace

std::string SyncWhatName(int32_t What) {
  if (What >= swDataReset && What <= swDevices) return kWhatNames[size_t(What - swDataReset)];
  return "Unknown what=" + std::to_string(What);
}

std::string TMainSyncData::ToString() const {
  const std::string sender = Sender.InstanceId == 0
                                 ? "nil"
                                 : "Session " + std::to_string(Sender.Index) + "/" + BoolText(Sender.IsCopy);
  return "TMainSyncData " + SyncWhatName(What) + " Code=" + std::to_string(Code) + ", aInt=" + std::to_string(aInt) +
         ", " + Text + ", Sender=" + sender;
}

void TSyncList::AddSync(TMainSyncData data) {
  if (FDebugConf) FDebugConf->Info(kSyncCategory, "VTA_Sync.AddSync " + data.ToString());
  std::lock_guard lock(FLock);
  FList.push_back(std::move(data));
}

std::optional<TMainSyncData> TSyncList::TakeFirst() {
  std::lock_guard lock(FLock);
  if (FList.empty()) return std::nullopt;
  TMainSyncData first = std::move(FList.front());
  FList.pop_front();
  return first;
}

size_t TSyncList::Count() const {
  std::lock_guard lock(FLock);
  return FList.size();
}

void TSyncList::Purge(uint64_t InstanceId) {
  std::lock_guard lock(FLock);
  std::erase_if(FList, [&](const TMainSyncData& d) { return d.Sender.InstanceId == InstanceId; });
}

void TSyncList::Clear() {
  std::lock_guard lock(FLock);
  FList.clear();
}

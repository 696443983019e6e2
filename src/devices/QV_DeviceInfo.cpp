#include "devices/QV_DeviceInfo.h"

#include "core/App_Settings.h"

namespace {
bool ValidUser(int user) { return user >= 1 && user <= 4; }
bool ValidChannel(int channel) { return channel >= 1 && channel <= 24; }
}  // namespace

TQV_DeviceInfo::TQV_DeviceInfo() {
  FConnectedUser.fill("unknown");
  FConnectedUserU2.fill("unknown");
}

std::string TQV_DeviceInfo::ConnectedUser(int user) const { return ValidUser(user) ? FConnectedUser[user - 1] : ""; }

void TQV_DeviceInfo::SetConnectedUser(int user, const std::string& value) {
  if (ValidUser(user)) FConnectedUser[user - 1] = value;
}

std::string TQV_DeviceInfo::ConnectedUserU2(int user) const {
  return ValidUser(user) ? FConnectedUserU2[user - 1] : "";
}

void TQV_DeviceInfo::SetConnectedUserU2(int user, const std::string& value) {
  if (ValidUser(user)) FConnectedUserU2[user - 1] = value;
}

double TQV_DeviceInfo::NominalFreq(int channel) const { return ValidChannel(channel) ? FNominalFreq[channel - 1] : 0; }

void TQV_DeviceInfo::SetNominalFreq(int channel, double value) {
  if (ValidChannel(channel)) FNominalFreq[channel - 1] = value;
}

std::string TQV_DeviceInfo::GetNominalFreqString() const {
  std::string text;
  for (double value : FNominalFreq) text += FloatToText(value, TFormatSettings{}) + ";";
  return text;
}

void TQV_DeviceInfo::CompleteFrom(const TQV_DeviceInfo& other) {
  if (FHardFeature == 0) FHardFeature = other.FHardFeature;
  if (FIPAddress.empty()) FIPAddress = other.FIPAddress;
  for (size_t i = 0; i < FNominalFreq.size(); ++i)
    if (FNominalFreq[i] == 0) FNominalFreq[i] = other.FNominalFreq[i];
  if (FPeerType == ptUnknown) FPeerType = other.FPeerType;
}

std::optional<TQV_DeviceInfo> TQV_DeviceInfoList::GetInfo(uint32_t aSerialNumber) {
  std::lock_guard lock(FLock);
  for (size_t i = 0; i < FItems.size(); ++i) {
    if (FItems[i]->SerialNumber() != aSerialNumber) continue;
    FItems[i]->SetIndex(static_cast<int32_t>(i));
    return *FItems[i];
  }
  return std::nullopt;
}

int32_t TQV_DeviceInfoList::AddInfo(std::unique_ptr<TQV_DeviceInfo> aDevInfo) {
  if (!aDevInfo || aDevInfo->SerialNumber() == TQV_DeviceInfo::UnknownSerialNumber) return -1;
  std::lock_guard lock(FLock);
  for (size_t i = 0; i < FItems.size(); ++i) {
    if (FItems[i]->SerialNumber() != aDevInfo->SerialNumber()) continue;
    FItems[i]->CompleteFrom(*aDevInfo);
    return static_cast<int32_t>(i);
  }
  const auto index = static_cast<int32_t>(FItems.size());
  aDevInfo->SetIndex(index);
  FItems.push_back(std::move(aDevInfo));
  return index;
}

std::vector<uint32_t> TQV_DeviceInfoList::SerialNumbers() const {
  std::lock_guard lock(FLock);
  std::vector<uint32_t> serials;
  serials.reserve(FItems.size());
  for (const auto& item : FItems) serials.push_back(item->SerialNumber());
  return serials;
}

int32_t TQV_DeviceInfoList::Count() const {
  std::lock_guard lock(FLock);
  return static_cast<int32_t>(FItems.size());
}

bool TQV_DeviceInfoList::Update(uint32_t aSerialNumber, const std::function<void(TQV_DeviceInfo&)>& change) {
  std::lock_guard lock(FLock);
  for (const auto& item : FItems) {
    if (item->SerialNumber() != aSerialNumber) continue;
    change(*item);
    return true;
  }
  return false;
}

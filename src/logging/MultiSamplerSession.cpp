#include "logging/MultiSamplerSession.h"

#include <cmath>

#include "core/LogUnit.h"

void TSamplerStringBuffer::Add(const TMultiSamplerStrings& strings, TDateTime date) {
  if (FSets.size() >= kCapacityReports) FSets.pop_front();
  FSets.push_back({strings, date});
}

const TMultiSamplerStrings* TSamplerStringBuffer::ReportAt(int idx) const {
  if (idx < 0 || idx / 10 >= static_cast<int>(FSets.size())) return nullptr;
  return &FSets[static_cast<size_t>(idx / 10)].Strings;
}

TDateTime TSamplerStringBuffer::DateAt(int idx) const {
  if (idx < 0 || idx / 10 >= static_cast<int>(FSets.size())) return NAN;
  return FSets[static_cast<size_t>(idx / 10)].Date;
}

void TSamplerStringBuffer::ClearOldest(int stringCount) {
  const size_t reports = std::min(FSets.size(), static_cast<size_t>(std::max(stringCount, 0) / 10));
  FSets.erase(FSets.begin(), FSets.begin() + static_cast<std::ptrdiff_t>(reports));
}

// ---------------------------------------------------------------- protocol item

int TMultiProtocolItem::NextDataIndex() const {
  if (FNextDataIndex == -1) return -1;
  const double q = FNextDataIndex / 10;
  const double whole = std::trunc(q);
  return static_cast<int>(q - whole <= 0.9 ? whole : std::round(q)) * 10;
}

int32_t TMultiProtocolItem::StampIndex(int32_t stamp) const {
  for (auto it = FStampIndexes.rbegin(); it != FStampIndexes.rend(); ++it)
    if (it->first == stamp) return it->second;
  return -1;
}

void TMultiProtocolItem::StringsCleared() {
  FStampIndexes.clear();
  FNextDataIndex = -1;
  FDone = 0;
  FTimeIndex = -1;
  FTimeStampCount = 0;
  FTimeStampStartValue = -1;
}

void TMultiProtocolItem::Reset() {
  StringsCleared();
  FSynchroWait = FTimeSynchroNeeded;
  FfirstLineDone = false;
}

void TMultiProtocolItem::SetTimeSynchroNeeded(bool Value) {
  FTimeSynchroNeeded = Value;
  if (!Value) return;
  StringsCleared();
  FSynchroWait = true;
  FfirstLineDone = false;
}

// ---------------------------------------------------------------- session entry

TMultiSamplerSession::TMultiSamplerSession(int aLogId, ISamplerSource& aSession)
    : FSession(aSession),
      FDbgTag("TVTA_MultiSamplerSession[" + std::to_string(aSession.Index()) + "/" +
              (aSession.IsCopy() ? "True" : "False") + "]"),
      FLogId(aLogId) {}

void TMultiSamplerSession::SetSyncTime(const std::string& Value) {
  FSyncTime = Value.size() >= 12 ? Value : std::string(12 - Value.size(), ' ') + Value;
}

std::string TMultiSamplerSession::ToString() const {
  return FDbgTag + " TimeStamp=" + std::to_string(FTimeStamp) + " count=" +
         std::to_string(FBuffers[sscStandard].Count());
}

TMultiProtocolItem* TMultiSamplerSession::Item(int dIndex, TSamplerStringClass aClass) {
  for (auto& item : FProtocolList)
    if (item && item->FDefIndex == dIndex && item->FStringClass == aClass) return item.get();
  return nullptr;
}

bool TMultiSamplerSession::HasItems(int dIndex) const {
  for (const auto& item : FProtocolList)
    if (item && item->FDefIndex == dIndex) return true;
  return false;
}

bool TMultiSamplerSession::HasStringClass(TSamplerStringClass aClass) const {
  for (const auto& item : FProtocolList)
    if (item && item->FStringClass == aClass) return true;
  return false;
}

void TMultiSamplerSession::AddProtocolItem(int dIndex, TSamplerStringClass aClass, uint32_t types,
                                           double reportFactor) {
  TMultiProtocolItem* item = Item(dIndex, aClass);
  if (!item) {
    auto fresh = std::make_unique<TMultiProtocolItem>();
    item = fresh.get();
    Log(".AddProtocolItem protItem neu erzeugt, pIndex=" + std::to_string(FProtocolList.size()));
    FProtocolList.push_back(std::move(fresh));
  }
  *item = TMultiProtocolItem{};
  item->FDefIndex = dIndex;
  item->FValid = true;
  item->FStringClass = aClass;
  item->FLogTypes = types;
  item->FNeeded = reportFactor;
  item->FSerialNumber = FSession.SerialNumber();
  item->FKeepLastReport = reportFactor < 1 || !FSession.IsCounter();
}

void TMultiSamplerSession::RemoveProtocolItems(int dIndex) {
  for (auto& item : FProtocolList)
    if (item && item->FDefIndex == dIndex) item.reset();
}

void TMultiSamplerSession::SetProtocolsInvalid() {
  for (auto& item : FProtocolList)
    if (item) item->FValid = false;
  FHasLog.fill(false);
}

void TMultiSamplerSession::UpdateHasLogCount() {
  for (auto& item : FProtocolList) {
    if (item && !item->FValid) item.reset();
    if (!item) continue;
    for (int bit = 0; bit < 32; ++bit)
      if (item->FLogTypes & (1u << bit)) FHasLog[static_cast<size_t>(bit)] = true;
  }
}

void TMultiSamplerSession::ResetProtocolItems(int dIndex) {
  for (auto& item : FProtocolList)
    if (item && item->FDefIndex == dIndex) item->Reset();
}

void TMultiSamplerSession::ClearReportStrings() {
  std::string counts;
  for (TSamplerStringBuffer& buffer : FBuffers) {
    counts += (counts.empty() ? "" : "/") + std::to_string(buffer.Count());
    buffer.Clear();
  }
  Log(".ClearReportStrings: anz=" + counts);
  for (auto& item : FProtocolList)
    if (item) item->StringsCleared();
}

void TMultiSamplerSession::SetTimeStamp(int32_t value) {
  FTimeStamp = value;
  for (auto& item : FProtocolList) {
    if (!item) continue;
    if (item->FTimeStampStartValue == -1) item->FTimeStampStartValue = value;
    if (!item->FTimeSynchroNeeded) continue;
    item->FTimeIndex = FBuffers[sscStandard].Count();
    if (!item->FfirstLineDone) {
      // A counter seldom runs more than a few stamps ahead of another; older ones cannot pair.
      constexpr size_t kKeptStamps = 64;
      if (item->FStampIndexes.size() >= kKeptStamps) item->FStampIndexes.pop_front();
      item->FStampIndexes.emplace_back(value, item->FTimeIndex);
    }
    item->FTimeStampCount += 1;
    item->FSynchroWait = true;
  }
}

int TMultiSamplerSession::GetNextDataIndex(int dIndex, TSamplerStringClass aClass) {
  TMultiProtocolItem* item = Item(dIndex, aClass);
  if (!item) return -1;
  const int count = FBuffers[aClass].Count();
  double x = -1;
  if (count > 0) {
    if (!item->FTimeSynchroNeeded || item->FfirstLineDone) {
      x = item->FNextDataIndex;
      if (x == -1) x = (!item->FTimeSynchroNeeded && !item->FfirstLineDone) ? count - 10 : 0;
    } else {
      x = item->FTimeIndex < count ? item->FTimeIndex : -1;
    }
  }
  item->FNextDataIndex = x;
  return x == -1 ? -1 : item->NextDataIndex();
}

void TMultiSamplerSession::SetLogDone(double dataCount, int dIndex, TSamplerStringClass aClass) {
  TMultiProtocolItem* own = Item(dIndex, aClass);
  if (!own) return;
  own->FDone += dataCount;
  own->FSynchroWait = false;
  const int aCount = GetCountProtocolReady(aClass);
  if (aCount > 0) {
    FBuffers[aClass].ClearOldest(aCount);
    Log("].SetLogDoneIntern: gelöscht " + std::to_string(aCount) + " Reports, count=" +
        std::to_string(FBuffers[aClass].Count()));
  }
  own->FNextDataIndex += dataCount * 10;
  if (aCount <= 0) return;
  for (auto& item : FProtocolList) {
    if (!item || item->FStringClass != aClass) continue;
    item->FNextDataIndex = std::max(item->FNextDataIndex - aCount, -1.0);
    item->FDone = std::max(item->FDone - aCount / 10.0, 0.0);
    item->FTimeIndex = std::max(item->FTimeIndex - aCount, -1);
    for (auto& stamp : item->FStampIndexes) stamp.second -= aCount;
    std::erase_if(item->FStampIndexes, [](const auto& stamp) { return stamp.second < 0; });
  }
}

int TMultiSamplerSession::GetCountProtocolReady(TSamplerStringClass aClass) {
  const int count = FBuffers[aClass].Count();
  int r = -1;
  for (auto& item : FProtocolList) {
    if (!item || item->FStringClass != aClass) continue;
    int c = 0;
    if (item->FNeeded > item->FDone) {
      c = 0;
    } else if (!item->FTimeSynchroNeeded || item->FfirstLineDone) {
      c = item->FDone < 1 ? 0 : 10 * static_cast<int>(std::trunc(item->FDone));
      if (item->FKeepLastReport && c > 0 && c == count) c -= 10;
    } else {
      c = item->NextDataIndex() + (item->FNeeded >= 1 ? 10 : 0);
      const int s = c + (item->FNeeded > 1 ? 10 * static_cast<int>(std::trunc(item->FNeeded)) - 10 : 0);
      if (s <= count) c = s;
    }
    if (r == -1 || c < r) r = c;
    if (item->FDone > 0 && !item->FfirstLineDone) {
      item->FfirstLineDone = true;
      item->FStampIndexes.clear();
    }
  }
  return r;
}

void TMultiSamplerSession::Log(const std::string& text) const {
  if (FLogId >= 0) LogIt(FLogId, FDbgTag + text);
}

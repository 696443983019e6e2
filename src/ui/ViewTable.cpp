#include "ui/ViewTable.h"

#include "core/App_Settings.h"

TChildArray::TChildArray(std::function<void(const std::string&)> log)
    : FLog(std::move(log)), FEntries(size_t(kInitialLength)) {}

int32_t TChildArray::Reserve(int32_t id, bool fromIni, TAppSettings& settings) {
  int32_t entry = 1;
  while (entry < Length() && FEntries[size_t(entry)].Used()) ++entry;
  if (entry >= Length()) {
    if (FLog) FLog("TMainForm.CreateChildView FChildArray verdoppeln, alt=" + std::to_string(Length()));
    FEntries.resize(FEntries.size() * 2);
  }
  if (entry < FHighIndex) settings.RemoveKeys("View_" + std::to_string(entry) + "_");
  FEntries[size_t(entry)] = TChildEntry{id, nullptr, fromIni, std::nullopt};
  FHighIndex = std::max(FHighIndex, entry);
  return entry;
}

void TChildArray::SetView(int32_t entry, TMDIChild* view) {
  FEntries.at(size_t(entry)).View = view;
  FHighIndex = std::max(FHighIndex, entry);
}

void TChildArray::SetKept(int32_t entry, TKeptView kept) { FEntries.at(size_t(entry)).Kept = std::move(kept); }

void TChildArray::Free(int32_t entry) {
  if (entry < 0 || entry >= Length()) return;
  FEntries[size_t(entry)] = TChildEntry{};
}

int32_t TChildArray::EntryOfView(const TMDIChild* view) const {
  for (size_t i = 0; i < FEntries.size(); ++i)
    if (view && FEntries[i].View == view) return int32_t(i);
  return -1;
}

std::vector<TMDIChild*> TChildArray::Views() const {
  std::vector<TMDIChild*> views;
  for (size_t i = 1; i < FEntries.size(); ++i)
    if (FEntries[i].View) views.push_back(FEntries[i].View);
  return views;
}

int32_t MapOldViewId(int32_t id) {
  switch (id) {
    case 1: case 2: case 3: case 12: case 13: return 1;
    case 4: case 5: case 6: case 7: case 14: return 3;
    case 10: return 4;
    case 11: return 7;
    case 15: return 6;
    case 16: return 2;
    case 17: return 5;
    default: return id;  // 8 messages, 9 digital inputs
  }
}

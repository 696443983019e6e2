#include "acquisition/VTA_Sessions.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "acquisition/App_Sessions.h"
#include "core/App_Settings.h"
#include "core/LogUnit.h"
#include "core/SessionIndexMap.h"
#include "core/VTA_Common.h"

namespace {

constexpr int32_t kMsgCodeErrorIniFile = 61;

std::string SessionPrefix(int32_t index) { return "Session_" + std::to_string(index) + "_"; }

bool IsSensorType(int32_t type) { return type == kSessionTypeSensor || type == kSessionTypeLabJack; }

}  // namespace

uint32_t TextColorFor(uint32_t color) { return ContrastTextColor(color); }

int32_t StoredSessionType(TAppSettings& settings, int32_t index) {
  try {
    return settings.GetValue(SessionPrefix(index) + "SessionType", kSessionTypeCounter);
  } catch (const EConvertError&) {
    return kSessionTypeCounter;
  }
}

std::unique_ptr<TSessionItem> CreateSession(const TSessionFactory& factory, int32_t sessionType, int32_t index,
                                            TAppSettings& settings, const std::string& debugRoot) {
  std::unique_ptr<TSessionItem> session = factory(sessionType, index);
  if (!session) return nullptr;
  const std::string pathError = session->SetDebugPath(debugRoot);
  if (!pathError.empty()) LogWarn(session->LogId(), session->DbgTag() + ".CreateSession " + pathError);
  session->ReadSettings(settings, SessionPrefix(index));
  if (!session->ErrorMessage().empty()) session->AddError(kMsgCodeErrorIniFile, 0, session->ErrorMessage());
  return session;
}

TSessionLists::TSessionLists(const TDebugConf* debugConf) : FSyncList(debugConf) {}

TSessionLists::~TSessionLists() {
  if (PollerAttached()) {
    std::fputs("TSessionLists destroyed while the report thread still polls it\n", stderr);
    std::abort();
  }
  FCopyList.clear();
  for (auto& slot : FSlots) slot.reset();
}

int32_t TSessionLists::SlotCount() const {
  std::lock_guard lock(FSlotLock);
  return int32_t(FSlots.size());
}

int32_t TSessionLists::FirstFreeIndex() const {
  std::lock_guard lock(FSlotLock);
  const auto it = std::find(FSlots.begin(), FSlots.end(), nullptr);
  return int32_t(it - FSlots.begin());
}

TSessionItem* TSessionLists::SlotLocked(int32_t Index) const {
  return Index >= 0 && Index < int32_t(FSlots.size()) ? FSlots[size_t(Index)].get() : nullptr;
}

TSessionItem* TSessionLists::GetSession(int32_t Index) const {
  std::lock_guard lock(FSlotLock);
  return SlotLocked(Index);
}

TSessionItem* TSessionLists::GetQVSession(int32_t Index) const {
  TSessionItem* session = GetSession(Index);
  return session && session->SessionType() == kSessionTypeCounter ? session : nullptr;
}

TSessionItem* TSessionLists::GetSensorSession(int32_t Index) const {
  TSessionItem* session = GetSession(Index);
  return session && IsSensorType(session->SessionType()) ? session : nullptr;
}

std::vector<TSessionItem*> TSessionLists::Sessions() const {
  std::lock_guard lock(FSlotLock);
  std::vector<TSessionItem*> sessions;
  for (const auto& slot : FSlots)
    if (slot) sessions.push_back(slot.get());
  return sessions;
}

void TSessionLists::InsertSessionEntryLocked(TSessionItem* session) {
  const auto it = std::find_if(FCopyList.begin(), FCopyList.end(),
                               [&](const TCopyEntry& e) { return e.Item->Index() >= session->Index(); });
  FCopyList.insert(it, TCopyEntry{session, nullptr});
}

TSessionItem& TSessionLists::AddSession(std::unique_ptr<TSessionItem> session) {
  const int32_t index = session->Index();
  if (index < 0) throw std::logic_error("TSessionLists.AddSession: negative index");
  std::lock_guard lock(FSlotLock);
  if (SlotLocked(index)) throw std::logic_error("TSessionLists.AddSession: slot " + std::to_string(index) + " taken");
  if (size_t(index) >= FSlots.size()) FSlots.resize(size_t(index) + 1);
  TSessionItem& added = *session;
  FSlots[size_t(index)] = std::move(session);
  InsertSessionEntryLocked(&added);
  return added;
}

void TSessionLists::RemoveSession(int32_t Index) {
  std::unique_ptr<TSessionItem> session;
  std::vector<std::unique_ptr<TSessionItem>> copies;
  {
    std::unique_lock lock(FSlotLock);
    if (!SlotLocked(Index)) return;
    session = std::move(FSlots[size_t(Index)]);
    if (FRemovedSession == session.get()) FRemovedSession = nullptr;
    FVisitDone.wait(lock, [&] { return FVisiting != session.get(); });
    std::erase_if(FCopyList, [&](TCopyEntry& e) {
      if (e.Item == session.get()) return true;
      if (!e.OwnedCopy || e.Item->Index() != Index) return false;
      copies.push_back(std::move(e.OwnedCopy));
      return true;
    });
  }
  std::vector<uint64_t> ids{session->InstanceId()};
  for (const auto& copy : copies) ids.push_back(copy->InstanceId());
  copies.clear();
  session.reset();
  // After freeing: a destructor may still have posted a notice.
  for (uint64_t id : ids) FSyncList.Purge(id);
}

void TSessionLists::CloseAll(bool stopServer) {
  for (TSessionItem* session : Sessions()) {
    MarkRemoved(session);
    try {
      session->CloseDevice(stopServer);
    } catch (...) {
      MarkRemoved(nullptr);
      throw;
    }
    MarkRemoved(nullptr);
  }
}

std::vector<TSessionItem*> TSessionLists::CopyList() const {
  std::lock_guard lock(FSlotLock);
  std::vector<TSessionItem*> items;
  for (const auto& e : FCopyList) items.push_back(e.Item);
  return items;
}

TSessionItem& TSessionLists::AddCopy(std::unique_ptr<TSessionItem> copy) {
  if (!copy->IsCopy()) throw std::logic_error("TSessionLists.AddCopy: not a copy");
  std::lock_guard lock(FSlotLock);
  const int32_t index = copy->Index();
  auto it = std::find_if(FCopyList.begin(), FCopyList.end(),
                         [&](const TCopyEntry& e) { return !e.OwnedCopy && e.Item->Index() == index; });
  if (it != FCopyList.end())
    ++it;
  else
    it = std::find_if(FCopyList.begin(), FCopyList.end(), [&](const TCopyEntry& e) { return e.Item->Index() >= index; });
  TSessionItem& added = *copy;
  FCopyList.insert(it, TCopyEntry{&added, std::move(copy)});
  return added;
}

void TSessionLists::RemoveCopy(int32_t Index) {
  std::vector<std::unique_ptr<TSessionItem>> copies;
  {
    std::lock_guard lock(FSlotLock);
    std::erase_if(FCopyList, [&](TCopyEntry& e) {
      if (!e.OwnedCopy || e.Item->Index() != Index) return false;
      copies.push_back(std::move(e.OwnedCopy));
      return true;
    });
  }
  std::vector<uint64_t> ids;
  for (const auto& copy : copies) ids.push_back(copy->InstanceId());
  copies.clear();
  for (uint64_t id : ids) FSyncList.Purge(id);
}

TSessionItem* TSessionLists::GetSessionCopy(int32_t Index) const {
  std::lock_guard lock(FSlotLock);
  for (const auto& e : FCopyList)
    if (e.Item->IsCopy() && e.Item->Index() == Index) return e.Item;
  return nullptr;
}

std::string TSessionLists::GetSessionName(int32_t Index, bool longForm) const {
  const TSessionItem* session = GetSession(Index);
  if (!session) return {};
  const std::string letter(1, SessionLetter(Index));
  const std::string friendly = session->FriendlyName();
  if (longForm) return "Source " + letter + (friendly.empty() ? "" : ": " + friendly);
  return "Source " + (friendly.empty() ? letter : friendly);
}

TSessionItem* TSessionLists::Resolve(const TSessionRef& ref) const {
  if (ref.InstanceId == 0) return nullptr;
  std::lock_guard lock(FSlotLock);
  for (const auto& e : FCopyList)
    if (e.Item->InstanceId() == ref.InstanceId) return e.Item;
  for (const auto& slot : FSlots)
    if (slot && slot->InstanceId() == ref.InstanceId) return slot.get();
  return nullptr;
}

TSessionIndexMap TSessionLists::SaveSessions(TAppSettings& settings, bool closing) {
  settings.RemoveKeys("Session_");
  const std::vector<TSessionItem*> sessions = Sessions();
  std::vector<int> oldIndexes;
  for (int32_t n = 0; n < int32_t(sessions.size()); ++n) {
    TSessionItem* session = sessions[size_t(n)];
    oldIndexes.push_back(session->Index());
    session->SaveSettings(settings, SessionPrefix(n));
  }
  settings.SetValue("SessionCount", sessions.empty() ? int32_t(-1) : int32_t(sessions.size()));
  if (closing) {
    std::lock_guard lock(FSlotLock);
    std::vector<std::unique_ptr<TSessionItem>> compacted;
    for (auto& slot : FSlots)
      if (slot) compacted.push_back(std::move(slot));
    FSlots = std::move(compacted);
    for (auto& e : FCopyList) {
      const auto it = std::find(oldIndexes.begin(), oldIndexes.end(), e.Item->Index());
      if (it != oldIndexes.end()) e.Item->UpdateIndex(int32_t(it - oldIndexes.begin()));
    }
  }
  return TSessionIndexMap(std::move(oldIndexes));
}

void TSessionLists::MarkRemoved(TSessionItem* session) {
  std::unique_lock lock(FSlotLock);
  FRemovedSession = session;
  if (session) FVisitDone.wait(lock, [&] { return FVisiting != session; });
}

bool TSessionLists::IsMarkedRemoved(const TSessionItem* session) const {
  std::lock_guard lock(FSlotLock);
  return session && session == FRemovedSession;
}

void TSessionLists::AttachPoller() {
  std::lock_guard lock(FSlotLock);
  if (FPollerAttached) throw std::logic_error("TSessionLists.AttachPoller: a report thread is attached already");
  FPollerAttached = true;
}

void TSessionLists::DetachPoller() {
  std::lock_guard lock(FSlotLock);
  FPollerAttached = false;
}

bool TSessionLists::PollerAttached() const {
  std::lock_guard lock(FSlotLock);
  return FPollerAttached;
}

void TSessionLists::LeaveVisit() {
  {
    std::lock_guard lock(FSlotLock);
    FVisiting = nullptr;
  }
  FVisitDone.notify_all();
}

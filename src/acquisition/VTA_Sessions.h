#pragma once
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "acquisition/VTA_Sync.h"

class TAppSettings;
class TDebugConf;
class TSessionIndexMap;
class TSessionItem;

// White (0xFFFFFF) for text on the dark session and channel colours, black (0) on all others.
uint32_t TextColorFor(uint32_t color);

// Makes a session of a type for an index (nullptr for an unknown type).
using TSessionFactory = std::function<std::unique_ptr<TSessionItem>(int32_t sessionType, int32_t index)>;

// The stored type of session `index`: "Session_" + index + "_SessionType", default 0.
int32_t StoredSessionType(TAppSettings& settings, int32_t index);

// Creating a session: the factory makes it, its debug folder becomes `debugRoot` and it reads its
// keys under "Session_" + index + "_"; an error found while reading becomes its user error 61.
std::unique_ptr<TSessionItem> CreateSession(const TSessionFactory& factory, int32_t sessionType, int32_t index,
                                            TAppSettings& settings, const std::string& debugRoot);

// The session lists of the application and the notice list the sessions post to:
// - SessionList owns the sessions, one per slot; the slot number is the session's index. Removing a
//   session empties its slot, so the others keep their indexes; a new one takes the first free slot.
// - SessionListCopy lists every session in index order and, right behind a counter session, its
//   interval-counter copy. It owns only the copies.
//
// The report thread polls the slots through VisitSlot. The window thread keeps a session out of the
// polls with MarkRemoved before it closes, reopens or frees it; MarkRemoved and RemoveSession wait
// until the report thread has left the session. The report thread must be stopped before the lists
// are destroyed.
class TSessionLists {
 public:
  // One slot per session letter, 'A' to 'Z'.
  static constexpr int32_t MaxSessions = 26;

  // Notice lines go to the debug configuration (category 10); nullptr = none.
  explicit TSessionLists(const TDebugConf* debugConf = nullptr);
  // Frees the copies, then the sessions. Aborts if a report thread is still attached: it would
  // poll freed sessions.
  ~TSessionLists();
  TSessionLists(const TSessionLists&) = delete;
  TSessionLists& operator=(const TSessionLists&) = delete;

  TSyncList& SyncList() { return FSyncList; }

  // ---- SessionList ----
  int32_t SlotCount() const;
  int32_t FirstFreeIndex() const;
  // None for a negative index, an index past the end or an empty slot.
  TSessionItem* GetSession(int32_t Index) const;
  TSessionItem* GetQVSession(int32_t Index) const;
  TSessionItem* GetSensorSession(int32_t Index) const;
  // The sessions of the occupied slots in index order.
  std::vector<TSessionItem*> Sessions() const;
  // Puts the session into the slot of its index and into SessionListCopy. Throws std::logic_error
  // when that slot is taken.
  TSessionItem& AddSession(std::unique_ptr<TSessionItem> session);
  // Empties the slot: waits until the report thread has left the session, takes it and its copy
  // out of SessionListCopy, frees both and drops their notices. A removal mark on it is cleared.
  void RemoveSession(int32_t Index);
  // Closes every session's device, each while the report thread keeps away from it.
  void CloseAll(bool stopServer);

  // ---- SessionListCopy ----
  std::vector<TSessionItem*> CopyList() const;
  // Inserts a copy right behind its session (by index order when that is missing); owns it.
  TSessionItem& AddCopy(std::unique_ptr<TSessionItem> copy);
  // Removes and frees the copy of session Index, if there is one.
  void RemoveCopy(int32_t Index);
  // The first copy with that index, else none.
  TSessionItem* GetSessionCopy(int32_t Index) const;

  // Long: "Source " + letter, then ": " + friendly name if set. Short: "Source " + friendly name,
  // or "Source " + letter without one. Empty when there is no session.
  std::string GetSessionName(int32_t Index, bool longForm) const;
  // The live session or copy a notice names; none once it has been freed.
  TSessionItem* Resolve(const TSessionRef& ref) const;

  // Saving: every "Session_" key is removed, then session n of the list (in index order) writes its
  // keys under "Session_" + n + "_", so the stored numbers have no gaps; "SessionCount" is the
  // number of sessions or -1. When closing, the sessions (and copies) are renumbered to n as well.
  // The result maps the old indexes to the stored ones, for the keys of other objects.
  TSessionIndexMap SaveSessions(TAppSettings& settings, bool closing);

  // ---- Exclusion with the report thread ----
  // Marks the session as being removed (nullptr clears the mark) and waits until the report
  // thread is not inside it. The report thread then does not poll it until the mark is cleared.
  void MarkRemoved(TSessionItem* session);
  bool IsMarkedRemoved(const TSessionItem* session) const;
  // Report thread: runs visit(session, markedRemoved) on the session in `slot`; false for an empty
  // slot. While it runs, MarkRemoved and RemoveSession of that session wait.
  template <typename F>
  bool VisitSlot(int32_t slot, F&& visit);
  // The report thread registers itself for its life time; only one at a time.
  void AttachPoller();
  void DetachPoller();
  bool PollerAttached() const;

 private:
  struct TCopyEntry {
    TSessionItem* Item;
    std::unique_ptr<TSessionItem> OwnedCopy;  // set for copies only
  };
  class TLeaveVisit;

  TSessionItem* SlotLocked(int32_t Index) const;
  void InsertSessionEntryLocked(TSessionItem* session);
  void LeaveVisit();

  TSyncList FSyncList;  // first member: sessions may post notices until they are freed
  mutable std::mutex FSlotLock;
  std::condition_variable FVisitDone;
  std::vector<std::unique_ptr<TSessionItem>> FSlots;  // guarded by FSlotLock
  std::vector<TCopyEntry> FCopyList;                  // guarded by FSlotLock
  TSessionItem* FRemovedSession = nullptr;            // guarded by FSlotLock
  TSessionItem* FVisiting = nullptr;                  // guarded by FSlotLock
  bool FPollerAttached = false;                       // guarded by FSlotLock
};

class TSessionLists::TLeaveVisit {
 public:
  explicit TLeaveVisit(TSessionLists& lists) : FLists(lists) {}
  ~TLeaveVisit() { FLists.LeaveVisit(); }

 private:
  TSessionLists& FLists;
};

template <typename F>
bool TSessionLists::VisitSlot(int32_t slot, F&& visit) {
  TSessionItem* session;
  bool markedRemoved;
  {
    std::lock_guard lock(FSlotLock);
    session = SlotLocked(slot);
    if (!session) return false;
    markedRemoved = session == FRemovedSession;
    FVisiting = session;
  }
  TLeaveVisit leave(*this);
  visit(*session, markedRemoved);
  return true;
}

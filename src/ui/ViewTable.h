#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class TAppSettings;
class TMDIChild;

// The stored keys of a view whose kind this program cannot show, kept so that saving writes them
// again instead of losing the view. Keys are the names after "View_" + k + "_".
struct TKeptView {
  int32_t Id = 0;
  int32_t Session = -1;  // session index, -1 = none
  bool SessionCopy = false;
  int32_t SecondSession = -1;
  bool SecondSessionCopy = false;
  std::vector<std::pair<std::string, std::string>> Keys;  // the view's own keys
};

// One entry of the view table.
struct TChildEntry {
  int32_t Id = 0;             // view kind (TViewKind)
  TMDIChild* View = nullptr;  // the open view, or none
  bool FromINI = false;       // restored from the settings
  std::optional<TKeptView> Kept;
  // Taken from Reserve until Free, also before its view is set.
  bool Used() const { return Id != 0 || View || Kept; }
};

// The main window's table of open views (`FChildArray`). Entry 0 belongs to the messages view;
// other views take the first free entry from 1 on, and the table doubles when none is free. A
// view's tag is its entry index + 1. The table grows but never shrinks.
class TChildArray {
 public:
  static constexpr int32_t kInitialLength = 20;
  static constexpr int32_t kMessageEntry = 0;

  // `log` receives the doubling line (category 5).
  explicit TChildArray(std::function<void(const std::string&)> log = {});

  static int32_t TagOf(int32_t entry) { return entry + 1; }
  static int32_t EntryOf(int32_t tag) { return tag - 1; }

  // Takes the first free entry from 1 on for a view of kind `id`. Reusing an entry below the
  // highest one used so far first removes the keys "View_" + entry + "_", which belonged to a
  // view stored there before.
  int32_t Reserve(int32_t id, bool fromIni, TAppSettings& settings);
  void SetView(int32_t entry, TMDIChild* view);
  void SetKept(int32_t entry, TKeptView kept);
  // The view of the entry closed (or its kept keys were dropped): the entry is free again.
  void Free(int32_t entry);

  const TChildEntry& Entry(int32_t entry) const { return FEntries.at(size_t(entry)); }
  int32_t Length() const { return int32_t(FEntries.size()); }
  int32_t HighIndex() const { return FHighIndex; }
  // The entry of a view, or -1.
  int32_t EntryOfView(const TMDIChild* view) const;
  // The open views from entry 1 on, in table order.
  std::vector<TMDIChild*> Views() const;

 private:
  std::function<void(const std::string&)> FLog;
  std::vector<TChildEntry> FEntries;
  int32_t FHighIndex = -1;  // FChildArrayHighIndex
};

// View kinds of settings files older than format version 5, mapped to the present ones.
int32_t MapOldViewId(int32_t id);

#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/SessionIndexMap.h"

class TAppSettings;

// Stored sessions of a kind this build cannot make (a session type it does not know): their
// "Session_n_" keys are kept as read and written back after the open sessions at every save, so
// that a settings file shared with a fuller build loses nothing.
class TKeptSessions {
 public:
  // Takes the keys of stored session `index`.
  void Keep(TAppSettings& settings, int32_t index);
  bool Empty() const { return FSessions.empty(); }
  // After the open sessions were saved as 0 .. savedCount - 1: writes the kept ones behind them,
  // sets "SessionCount" to the total, and returns the map with their indexes appended.
  TSessionIndexMap Save(TAppSettings& settings, int32_t savedCount, const TSessionIndexMap& map) const;

 private:
  struct TSession {
    int32_t Index;
    std::vector<std::pair<std::string, std::string>> Keys;  // without the "Session_n_" prefix
  };
  std::vector<TSession> FSessions;
};

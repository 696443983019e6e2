#pragma once
#include <string>
#include <utility>
#include <vector>

class TAppSettings;
class TSessionIndexMap;

// The keys of the windows ("Info_" + n + "_", "ViewMessage_", "View_" + k + "_") kept unchanged
// through a run without windows, so that `vta-cli run` on the settings of the desktop program
// loses no view: saving removes these keys and only windows would write them again.
class TWindowKeys {
 public:
  // Remembers every key with one of the window prefixes.
  void Capture(const TAppSettings& settings);
  // Writes them back with the sessions renumbered: "Info_" keys of a session that is gone are
  // dropped, a view's "Session" and "SecondSession" of one become -1.
  void Restore(TAppSettings& settings, const TSessionIndexMap& map) const;

 private:
  std::vector<std::pair<std::string, std::string>> FKeys;
};

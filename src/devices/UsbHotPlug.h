#pragma once
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "devices/UdevEnumerator.h"

// Arrival and removal of counters on USB. The system's notices name nodes; a node that the
// enumeration shows as a counter is reported with its text ("/dev/ttyACM0 Lab 3 (CDC, network
// module)"), and its removal with the text it arrived with. The owner polls, e.g. every display cycle.
class TUsbHotPlug {
 public:
  using TEnumerate = std::function<std::vector<TUsbInstrument>()>;
  using TChange = std::function<void(const std::string& text, bool arrived)>;

  explicit TUsbHotPlug(TEnumerate enumerate = EnumerateUsbInstruments);
  // Takes the system's waiting notices.
  void Poll(const TChange& onChange);
  // One notice of a node.
  void Notice(const std::string& node, bool arrived, const TChange& onChange);

 private:
  TEnumerate FEnumerate;
  TUdevMonitor FMonitor;
  std::map<std::string, std::string> FKnown;  // node -> text of the counters seen
};

#pragma once
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "app/VTA_Application.h"

struct THeadlessRunOptions {
  // Everything but the configuration folder, which the arguments give.
  TVTA_AppOptions App;
  int StatusIntervalMs = 1000;
  // Runs after each round of status lines (tests end a run from here).
  std::function<void()> AfterStatus;
};

// Usage line of "vta-cli run".
const char* RunUsage();

// "vta-cli run [--config-dir DIR] [--connect CONNECTION]": headless acquisition from the settings
// file. Recreates the stored sessions (a first start takes its connection from --connect), runs the
// display and check cycles on Qt timers, prints one status line per session every second and ends
// on SIGINT or SIGTERM like closing the window: devices closed, settings saved. A second run
// restarts the stored sessions. A signal during the start-up ends it at the next step without
// saving. Needs a QCoreApplication on the calling thread. Returns 0, or 2 with the reason on `err`
// (bad arguments, no session factory, unusable or damaged configuration, no connection on a first
// start, settings not saved at the end).
int RunHeadless(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                THeadlessRunOptions options);

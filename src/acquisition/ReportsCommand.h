#pragma once
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

class TClock;

// How "reports" runs its source: the clock of time limits and of the simulator, and what happens
// when no report is ready (by default a short wait on the data-arrival event). Tests step the
// simulator themselves through these.
struct TReportsDriving {
  const TClock* Clock = nullptr;  // nullptr: the system clock
  bool SimulatorWorker = true;
  // Called with the source id instead of waiting.
  std::function<void(int sourceId)> Idle;
};

// "vta-cli reports CONNECTION [--count N] [--seconds S] [--struct] [--option N]...": opens one source
// through the source interface, asks for the instrument's version as a session does, and prints
// every report line (with --struct every record's diagnostic text) on `out`, one per line, until N
// reports, S seconds or the end of a file. Read errors go to `err` with their code; reading goes on
// while the source stays open. Returns the exit code: 0, or 2 with the reason on `err`.
int RunReportsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                      const TReportsDriving& driving = {});
const char* ReportsUsage();

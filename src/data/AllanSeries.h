#pragma once
#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>
#include <vector>

#include "data/App_VirtAllanData.h"

// Allan deviation of a recorded series through the same running calculator the counter store uses:
// the engine of "vta-cli adev".

// One numeric column of a text file: whitespace-separated fields, blank lines and lines starting with
// '#' skipped. Error names the 1-based line number; Values is then incomplete.
struct TAllanColumn {
  std::vector<double> Values;
  std::string Error;
};
TAllanColumn ReadAllanColumn(std::istream& in, int column);

// One τ of the ladder with at least one term.
struct TAdevPoint {
  double TauSeconds;
  int64_t Terms;
  double Adev;
};

// mode amFreq: fractional frequencies; amPhaseRes/amPhaseDiff: time error in seconds.
// tau0Seconds: the sample interval, > 0.
std::vector<TAdevPoint> ComputeAllanSeries(std::span<const double> values, TAllanMode mode, double tau0Seconds);

// "vta-cli adev" without the program and subcommand names: prints "tau terms adev" lines to out and
// returns 0, or writes the error (and for bad arguments the usage) to err and returns 2.
int RunAdevCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
const char* AdevUsage();

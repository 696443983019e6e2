#pragma once
#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>
#include <vector>

#include "data/App_VirtAllanData.h"

// Allan deviation of a recorded series with the arithmetic of the running calculator the counter store
// uses (same bits), computed in one pass per series: the engine of "vta-cli adev".

// One numeric column of a text file (TAllanColumnReader). Error names the 1-based line number; Values
// is then incomplete.
struct TAllanColumn {
  std::vector<double> Values;
  std::string Error;
};
// logFields: read fields as measurement log files write them (TAllanColumnReader::AcceptLogFields).
TAllanColumn ReadAllanColumn(std::istream& in, int column, double overflowScale = 1, bool logFields = false);

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
// returns 0, or writes the error (and for bad arguments the usage) to err and returns 2. A series too
// short for any τ, a value that overflows when scaled to picoseconds and a deviation that overflows
// are errors.
int RunAdevCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
const char* AdevUsage();

#pragma once
#include <iosfwd>
#include <string>
#include <vector>

// "vta-cli stability FILE [--phase|--freq] [--tau0 S] [--column K|NAME] [--type T] [--taus L]
// [--confidence C]": the stability table of one column of a text or measurement log file, in the
// layout of the field's reference program. Returns 0, or 2 with the error (and for bad arguments the
// usage) on err.
int RunStabilityCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
const char* StabilityUsage();
// argc/argv: the arguments after "stability".
int StabilityCommand(int argc, char** argv);

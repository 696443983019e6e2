#include <cstdio>
#include <cstring>
#include <iterator>

#include "AdevCommand.h"
#include "ReportsCommand.h"
#include "RunCommand.h"
#include "StabilityCommand.h"
#include "acquisition/ReportsCommand.h"
#include "app/VTA_HeadlessRun.h"
#include "data/AllanSeries.h"

// Headless face of the application: one row per subcommand, so that --help lists every one.
namespace {

struct TCliCommand {
  const char* Name;
  const char* (*Usage)();
  const char* Summary;
  int (*Run)(int argc, char** argv);  // the whole command line
};

const TCliCommand kCommands[] = {
    {"run", RunUsage, "acquisition, logging and warnings of the configured sessions without windows",
     [](int argc, char** argv) { return RunCommand(argc, argv); }},
    {"reports", ReportsUsage, "opens one connection and prints its report lines as they come",
     [](int argc, char** argv) { return ReportsCommand(argc - 2, argv + 2); }},
    {"adev", AdevUsage, "non-overlapping Allan deviation of one column of a text file",
     [](int argc, char** argv) { return AdevCommand(argc - 2, argv + 2); }},
    {"stability", StabilityUsage, "stability table (ADEV ... MTIE, noise type, confidence bounds) of a column",
     [](int argc, char** argv) { return StabilityCommand(argc - 2, argv + 2); }},
};

void PrintUsages(FILE* to) {
  std::fprintf(to, "usage: vta-cli --version | --help\n");
  for (const TCliCommand& command : kCommands) std::fputs(command.Usage(), to);
}

int Help() {
  std::printf("vta-cli %s: the measurement engine without windows.\n\n", VTA_VERSION);
  PrintUsages(stdout);
  std::printf("\nCommands:\n");
  for (const TCliCommand& command : kCommands) std::printf("  %-9s %s\n", command.Name, command.Summary);
  std::printf("\nSettings: $XDG_CONFIG_HOME/VTA_App/VTA_App.ini (or --config-dir); logs under $XDG_DATA_HOME/VTA_App/.\n"
              "See vta-cli(1).\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("vta-cli %s\n", VTA_VERSION);
    return 0;
  }
  if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) return Help();
  if (argc >= 2) {
    for (const TCliCommand& command : kCommands) {
      if (std::strcmp(argv[1], command.Name) == 0) return command.Run(argc, argv);
    }
  }
  PrintUsages(stderr);
  return 2;
}

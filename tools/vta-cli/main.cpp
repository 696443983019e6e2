#include <cstdio>
#include <cstring>

#include "AdevCommand.h"
#include "ReportsCommand.h"
#include "RunCommand.h"
#include "acquisition/ReportsCommand.h"
#include "app/VTA_HeadlessRun.h"
#include "data/AllanSeries.h"

// Headless face of the application. Subcommands join as their engine parts land.
static int Usage() {
  std::fprintf(stderr, "usage: vta-cli --version\n%s%s%s", AdevUsage(), ReportsUsage(), RunUsage());
  return 2;
}

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("vta-cli %s\n", VTA_VERSION);
    return 0;
  }
  if (argc >= 2 && std::strcmp(argv[1], "adev") == 0) return AdevCommand(argc - 2, argv + 2);
  if (argc >= 2 && std::strcmp(argv[1], "reports") == 0) return ReportsCommand(argc - 2, argv + 2);
  if (argc >= 2 && std::strcmp(argv[1], "run") == 0) return RunCommand(argc, argv);
  return Usage();
}

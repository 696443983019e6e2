#include <cstdio>
#include <cstring>

#include "AdevCommand.h"
#include "data/AllanSeries.h"

// Headless face of the application. Subcommands join as their engine parts land.
static int Usage() {
  std::fprintf(stderr, "usage: vta-cli --version\n%s", AdevUsage());
  return 2;
}

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("vta-cli %s\n", VTA_VERSION);
    return 0;
  }
  if (argc >= 2 && std::strcmp(argv[1], "adev") == 0) return AdevCommand(argc - 2, argv + 2);
  return Usage();
}

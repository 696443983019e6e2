#include <cstdio>
#include <cstring>

// Headless face of the application. Subcommands join as their engine parts land.
static int Usage() {
  std::fprintf(stderr,
               "usage: vta-cli --version\n");
  return 2;
}

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("vta-cli %s\n", VTA_VERSION);
    return 0;
  }
  return Usage();
}

#pragma once
#include <optional>
#include <string>
#include <vector>

// The command line of the desktop program: VTA_App [--config-dir DIR] [--connect CONNECTION] [--expert]
struct TProgramArgs {
  std::string ConfigDir;               // empty: the default configuration folder
  std::optional<std::string> Connect;  // the first session of a first start
  bool Expert = false;
};

struct TProgramArgsResult {
  std::optional<TProgramArgs> Args;
  std::string Error;  // why the line was refused, followed by the usage line
};

const char* ProgramUsage();
// `args` without the program name.
TProgramArgsResult ParseProgramArgs(const std::vector<std::string>& args);

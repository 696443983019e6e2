#include "ui/ProgramArgs.h"

const char* ProgramUsage() { return "usage: VTA_App [--config-dir DIR] [--connect CONNECTION] [--expert]\n"; }

TProgramArgsResult ParseProgramArgs(const std::vector<std::string>& args) {
  TProgramArgs parsed;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--expert") {
      parsed.Expert = true;
      continue;
    }
    if (arg == "--config-dir" || arg == "--connect") {
      if (i + 1 >= args.size() || args[i + 1].empty()) return {std::nullopt, "missing value of " + arg + "\n" + ProgramUsage()};
      const std::string& value = args[++i];
      if (arg == "--config-dir")
        parsed.ConfigDir = value;
      else
        parsed.Connect = value;
      continue;
    }
    return {std::nullopt, "unknown argument " + arg + "\n" + ProgramUsage()};
  }
  return {parsed, {}};
}

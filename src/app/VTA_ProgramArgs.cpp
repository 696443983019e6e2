#include "app/VTA_ProgramArgs.h"

TProgramArgsResult ParseProgramArgs(const std::vector<std::string>& args, const std::string& usage, bool expertAllowed) {
  TProgramArgs parsed;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--expert" && expertAllowed) {
      parsed.Expert = true;
      continue;
    }
    if (arg == "--config-dir" || arg == "--connect") {
      if (i + 1 >= args.size() || args[i + 1].empty()) return {std::nullopt, "missing value of " + arg + "\n" + usage};
      const std::string& value = args[++i];
      if (arg == "--config-dir")
        parsed.ConfigDir = value;
      else
        parsed.Connect = value;
      continue;
    }
    return {std::nullopt, "unknown argument " + arg + "\n" + usage};
  }
  return {parsed, {}};
}

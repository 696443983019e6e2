#pragma once
#include <optional>
#include <string>
#include <vector>

// The command line of both programs: [--config-dir DIR] [--connect CONNECTION], and [--expert] for
// the desktop program.
struct TProgramArgs {
  std::string ConfigDir;               // empty: the default configuration folder
  std::optional<std::string> Connect;  // the first session of a first start
  bool Expert = false;
};

struct TProgramArgsResult {
  std::optional<TProgramArgs> Args;
  std::string Error;  // why the line was refused, followed by the usage line
};

// `args` without the program name; `usage` follows every refusal; "--expert" only where allowed.
TProgramArgsResult ParseProgramArgs(const std::vector<std::string>& args, const std::string& usage, bool expertAllowed);

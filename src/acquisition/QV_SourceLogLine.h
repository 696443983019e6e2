#pragma once
#include <string>
#include <vector>

// A diagnostic line that a pure rule of the source produces; the source writes it to its logger.
// Keeping the lines as values lets the rules stay free of loggers and be checked word for word.
struct TSourceLogLine {
  bool Warning = false;
  std::string Text;
  bool operator==(const TSourceLogLine&) const = default;
};
using TSourceLogLines = std::vector<TSourceLogLine>;

// Writes every line to logger `logId` (information or warning); -1 writes nothing.
void WriteSourceLogLines(int logId, const TSourceLogLines& lines);

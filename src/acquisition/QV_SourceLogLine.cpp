#include "acquisition/QV_SourceLogLine.h"

#include "core/LogUnit.h"

void WriteSourceLogLines(int logId, const TSourceLogLines& lines) {
  for (const TSourceLogLine& line : lines) {
    if (line.Warning)
      LogWarn(logId, line.Text);
    else
      LogIt(logId, line.Text);
  }
}

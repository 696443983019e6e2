#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "logging/LogFile.h"

// Log files on disk that fail on demand: a creation refused with a system text (a read-only
// folder), or writes cut short once the space left is used up (a full disk).
class TFaultyLogFiles {
 public:
  // The factory to hand to a writer; this object must outlive every file it made.
  TLogFileFactory Factory();

  std::string CreateError;            // not empty: creating a file fails with this text
  std::optional<int64_t> SpaceLeft;   // bytes that still fit; none = no limit
};

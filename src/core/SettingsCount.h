#pragma once
#include <cstdint>
#include <string>

#include "core/App_Settings.h"

// A count in a settings file that the program cannot hold (a damaged or hand-edited file). The
// message names the file, the key and the allowed range, so the user knows what to repair.
class ESettingsCountError : public ESettingsFileError {
 public:
  using ESettingsFileError::ESettingsFileError;
};

// Returns `value`, the count read from key `name`, when it lies in 0..limit; throws
// ESettingsCountError otherwise. Counts drive loops and allocations at start-up, so a damaged one
// must stop the start before it pins a core or exhausts memory.
int32_t CheckedCount(const TAppSettings& settings, const std::string& name, int32_t value, int32_t limit);

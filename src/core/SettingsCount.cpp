#include "core/SettingsCount.h"

int32_t CheckedCount(const TAppSettings& settings, const std::string& name, int32_t value, int32_t limit) {
  if (value >= 0 && value <= limit) return value;
  throw ESettingsCountError("Settings file " + settings.Filename() + ": " + name + "=" + std::to_string(value) +
                            " is out of range (0 to " + std::to_string(limit) + ")");
}

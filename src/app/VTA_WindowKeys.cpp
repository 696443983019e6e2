#include "app/VTA_WindowKeys.h"

#include <charconv>
#include <optional>

#include "core/App_Settings.h"
#include "core/SessionIndexMap.h"

namespace {

constexpr std::string_view kInfoPrefix = "Info_";
constexpr std::string_view kViewPrefix = "View_";

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

std::optional<int> ParseInt(std::string_view text) {
  int value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return std::nullopt;
  return value;
}

// "Info_" + n + "_" + rest with n renumbered; none when the session is gone.
std::optional<std::string> RenumberedInfoKey(const std::string& name, const TSessionIndexMap& map) {
  const size_t end = name.find('_', kInfoPrefix.size());
  if (end == std::string::npos) return name;
  const auto index = ParseInt(std::string_view(name).substr(kInfoPrefix.size(), end - kInfoPrefix.size()));
  if (!index) return name;
  const int stored = map.Map(*index);
  if (stored < 0) return std::nullopt;
  return std::string(kInfoPrefix) + std::to_string(stored) + name.substr(end);
}

}  // namespace

void TWindowKeys::Capture(const TAppSettings& settings) {
  FKeys.clear();
  for (const std::string& line : settings.Lines()) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string name = line.substr(0, eq);
    if (StartsWith(name, kInfoPrefix) || StartsWith(name, kViewPrefix) || StartsWith(name, "ViewMessage_"))
      FKeys.emplace_back(name, line.substr(eq + 1));
  }
}

void TWindowKeys::Restore(TAppSettings& settings, const TSessionIndexMap& map) const {
  for (const auto& [name, value] : FKeys) {
    if (StartsWith(name, kInfoPrefix)) {
      if (const auto renamed = RenumberedInfoKey(name, map)) settings.SetValue(*renamed, value);
      continue;
    }
    const bool sessionKey = StartsWith(name, kViewPrefix) && (EndsWith(name, "_Session") || EndsWith(name, "_SecondSession"));
    const auto index = sessionKey ? ParseInt(value) : std::nullopt;
    settings.SetValue(name, index ? std::to_string(map.Map(*index)) : value);
  }
}

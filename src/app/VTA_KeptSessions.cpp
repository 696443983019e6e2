#include "app/VTA_KeptSessions.h"

#include "core/App_Settings.h"

namespace {
std::string Prefix(int32_t index) { return "Session_" + std::to_string(index) + "_"; }
}  // namespace

void TKeptSessions::Keep(TAppSettings& settings, int32_t index) {
  const std::string prefix = Prefix(index);
  TSession session{index, {}};
  for (const std::string& line : settings.Lines()) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos || line.compare(0, prefix.size(), prefix) != 0) continue;
    session.Keys.emplace_back(line.substr(prefix.size(), equals - prefix.size()), line.substr(equals + 1));
  }
  FSessions.push_back(std::move(session));
}

TSessionIndexMap TKeptSessions::Save(TAppSettings& settings, int32_t savedCount, const TSessionIndexMap& map) const {
  TSessionIndexMap result = map;
  int32_t next = savedCount;
  for (const TSession& session : FSessions) {
    for (const auto& [name, value] : session.Keys) settings.SetValue(Prefix(next) + name, value);
    result = result.Appended(session.Index);
    ++next;
  }
  if (!FSessions.empty()) settings.SetValue("SessionCount", next);
  return result;
}

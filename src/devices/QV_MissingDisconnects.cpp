#include "devices/QV_MissingDisconnects.h"

#include <algorithm>

#include "core/QV_NumberText.h"

TQV_MissingDisconnects& TQV_MissingDisconnects::Instance() {
  static TQV_MissingDisconnects list;
  return list;
}

std::string TQV_MissingDisconnects::Entry(uint8_t userId, uint16_t serverPort) {
  return "UserID=" + std::to_string(userId) + "Port=" + IntToHex(serverPort, 4);
}

uint16_t TQV_MissingDisconnects::PortOf(const std::string& entry) {
  return entry.size() < 4 ? 0 : uint16_t(std::stoul(entry.substr(entry.size() - 4), nullptr, 16));
}

void TQV_MissingDisconnects::Add(const std::string& entry) {
  std::lock_guard lock(FLock);
  FEntries.push_back(entry);
}

std::optional<std::string> TQV_MissingDisconnects::Take(uint8_t userId) {
  const std::string prefix = "UserID=" + std::to_string(userId) + "Port=";
  std::lock_guard lock(FLock);
  auto it = std::find_if(FEntries.begin(), FEntries.end(), [&](const auto& e) { return e.rfind(prefix, 0) == 0; });
  if (it == FEntries.end()) return std::nullopt;
  std::string entry = *it;
  FEntries.erase(it);
  return entry;
}

std::vector<std::string> TQV_MissingDisconnects::Entries() const {
  std::lock_guard lock(FLock);
  return FEntries;
}

void TQV_MissingDisconnects::Clear() {
  std::lock_guard lock(FLock);
  FEntries.clear();
}

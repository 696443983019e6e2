#include "acquisition/MultiState.h"

TMultiState& State() {
  static TMultiState* state = new TMultiState;
  return *state;
}

std::shared_ptr<TSourceItem> FindLocked(int32_t id) {
  const auto& sources = State().Sources;
  if (id < 0 || static_cast<size_t>(id) >= sources.size()) return nullptr;
  return sources[static_cast<size_t>(id)];
}

std::shared_ptr<TSourceItem> FindSource(int32_t id) {
  std::lock_guard lock(State().Lock);
  return FindLocked(id);
}

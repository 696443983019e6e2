#include "core/NamedEvent.h"

#include <map>

TEvent::TEvent(bool initiallySet) : FSet(initiallySet) {}

void TEvent::Set() {
  {
    std::lock_guard lock(FMutex);
    FSet = true;
  }
  FChanged.notify_all();
}

void TEvent::Reset() {
  std::lock_guard lock(FMutex);
  FSet = false;
}

bool TEvent::IsSet() const {
  std::lock_guard lock(FMutex);
  return FSet;
}

TWaitResult TEvent::WaitFor(std::chrono::milliseconds timeout) {
  std::unique_lock lock(FMutex);
  return FChanged.wait_for(lock, timeout, [this] { return FSet; }) ? TWaitResult::wrSignaled
                                                                    : TWaitResult::wrTimeout;
}

namespace {
// Holds the events weakly, like the operating system's named objects: the last holder frees it.
struct TEventRegistry {
  std::mutex mutex;
  std::map<std::string, std::weak_ptr<TEvent>> events;
};

TEventRegistry& Registry() {
  static TEventRegistry registry;
  return registry;
}
}  // namespace

std::shared_ptr<TEvent> NamedEvent(const std::string& name) {
  if (name.empty()) return std::make_shared<TEvent>();
  TEventRegistry& registry = Registry();
  std::lock_guard lock(registry.mutex);
  std::erase_if(registry.events, [](const auto& entry) { return entry.second.expired(); });
  std::weak_ptr<TEvent>& slot = registry.events[name];
  std::shared_ptr<TEvent> event = slot.lock();
  if (!event) {
    event = std::make_shared<TEvent>();
    slot = event;
  }
  return event;
}

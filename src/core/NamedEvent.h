#pragma once
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

enum class TWaitResult { wrSignaled, wrTimeout };

// A manual-reset event: once set it stays set, releasing every waiter, until someone resets it.
class TEvent {
 public:
  explicit TEvent(bool initiallySet = false);
  TEvent(const TEvent&) = delete;
  TEvent& operator=(const TEvent&) = delete;

  void Set();
  void Reset();
  bool IsSet() const;
  // Returns at once when the event is set; otherwise waits until it is set or the time is up.
  TWaitResult WaitFor(std::chrono::milliseconds timeout);

 private:
  mutable std::mutex FMutex;
  std::condition_variable FChanged;
  bool FSet;
};

// The process-wide event of that name, created unset when no one holds it at the moment; it lives as
// long as someone holds it. An empty name gives a new event that nobody else can find.
std::shared_ptr<TEvent> NamedEvent(const std::string& name);

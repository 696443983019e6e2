#pragma once
#include <atomic>
#include <chrono>

// Time source of the engine. Code that waits, times out or stamps takes a TClock so that tests can
// run minutes of behaviour in milliseconds with a TManualClock.
using TSteadyTime = std::chrono::steady_clock::time_point;
using TWallTime = std::chrono::system_clock::time_point;

class TClock {
 public:
  virtual ~TClock() = default;
  // Monotonic time for intervals and time limits.
  virtual TSteadyTime Steady() const = 0;
  // Wall-clock time (UTC based); format it as local time where the user sees it.
  virtual TWallTime Wall() const = 0;
  // Milliseconds of the monotonic clock, like a tick counter.
  uint64_t TickMs() const;
};

// The real clocks of the machine.
TClock& SystemClock();

// A clock that moves only when told to; safe to read from several threads.
class TManualClock : public TClock {
 public:
  explicit TManualClock(TWallTime start = TWallTime{} + std::chrono::hours(24 * 365 * 50));
  TSteadyTime Steady() const override;
  TWallTime Wall() const override;
  void Advance(std::chrono::milliseconds step);
  void SetWall(TWallTime wall);

 private:
  std::atomic<int64_t> steadyMs_{0};
  std::atomic<int64_t> wallMs_;
};

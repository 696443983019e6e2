#include "core/Clock.h"

uint64_t TClock::TickMs() const {
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Steady().time_since_epoch()).count());
}

namespace {
class TSystemClock final : public TClock {
 public:
  TSteadyTime Steady() const override { return std::chrono::steady_clock::now(); }
  TWallTime Wall() const override { return std::chrono::system_clock::now(); }
};
}  // namespace

TClock& SystemClock() {
  static TSystemClock clock;
  return clock;
}

TManualClock::TManualClock(TWallTime start)
    : wallMs_(std::chrono::duration_cast<std::chrono::milliseconds>(start.time_since_epoch()).count()) {}

TSteadyTime TManualClock::Steady() const {
  return TSteadyTime{} + std::chrono::milliseconds(steadyMs_.load());
}

TWallTime TManualClock::Wall() const {
  return TWallTime{} + std::chrono::milliseconds(wallMs_.load());
}

void TManualClock::Advance(std::chrono::milliseconds step) {
  steadyMs_ += step.count();
  wallMs_ += step.count();
}

void TManualClock::SetWall(TWallTime wall) {
  wallMs_ = std::chrono::duration_cast<std::chrono::milliseconds>(wall.time_since_epoch()).count();
}

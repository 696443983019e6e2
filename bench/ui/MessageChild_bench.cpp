#include <benchmark/benchmark.h>

#include "core/Clock.h"
#include "core/VTA_Common.h"
#include "ui/MessageChild.h"

// Goal: the messages view refreshes in time independent of the list's length: one new warning
// per display cycle on a long list.
static void BM_MessageViewRefreshOneNewMessage(benchmark::State& state) {
  TManualClock clock;
  TMessageList list(nullptr, [](int32_t) { return 0x800000u; }, clock);
  TMessageChild view(nullptr, 1, list, nullptr);
  for (int i = 0; i < state.range(0); ++i) {
    clock.Advance(std::chrono::milliseconds(10));
    list.AddWarningThread(i % 8, 41, 0, "Clock Supervisor Warning " + std::to_string(i));
  }
  view.UpdateDisplay();
  int64_t n = 0;
  for (auto _ : state) {
    clock.Advance(std::chrono::milliseconds(10));
    ++n;
    list.AddWarningThread(int32_t(n % 8), 41, 0, "Clock Supervisor Warning " + std::to_string(n));
    view.UpdateDisplay();
  }
}
BENCHMARK(BM_MessageViewRefreshOneNewMessage)->Arg(100)->Arg(10000)->Unit(benchmark::kMicrosecond);

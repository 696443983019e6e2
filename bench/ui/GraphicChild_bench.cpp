#include <QCoreApplication>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <ctime>
#include <memory>
#include <vector>

#include "ui/GraphicChild.h"
#include "ui/UiTestSessions.h"

namespace {

constexpr int kChannels = 24;
constexpr int64_t kNominal = 10'000'000;

// A counter session with 24 channels that measures every millisecond.
std::unique_ptr<TTestCounterSession> Session(int32_t index) {
  auto session = TTestCounterSession::Make(index);
  session->SetIntervalMs(1);
  for (int ch = 1; ch <= kChannels; ++ch) session->Store().SetNomFreq(ch, double(kNominal));
  return session;
}

// Feeds `n` samples of 24 channels with small wandering offsets, as the report thread would.
class TFeeder {
 public:
  void Feed(TTestCounterSession& session, int n) {
    for (int i = 0; i < n; ++i, ++FCount) {
      std::vector<std::string> fields;
      for (int ch = 1; ch <= kChannels; ++ch) {
        fields.push_back(zcttest::PhaseField(FPhase[size_t(ch - 1)]));
        const double offset = 1e-3 * std::sin(double(FCount) / (50.0 + ch)) + (FCount % 997 == 0 ? 5e-3 : 0);
        FPhase[size_t(ch - 1)] = FPhase[size_t(ch - 1)] + Phase{kNominal / 1000, offset};
      }
      session.Store().ExtractData(zcttest::Line(zcttest::kPhase1ms, fields), -1);
    }
  }

 private:
  std::vector<Phase> FPhase = std::vector<Phase>(kChannels, Phase{1'000'000, 0});
  int64_t FCount = 0;
};

std::unique_ptr<TGraphicChild> View(TTestCounterSession& session, int tag) {
  auto view = std::make_unique<TGraphicChild>(nullptr, tag, &session, nullptr, TestEnvironment(), gmFreqAbs);
  view->SetAutoScale(false);
  view->resize(1280, 720);
  view->show();
  QCoreApplication::processEvents();
  return view;
}

// One display cycle's refresh of every view (kept out of line, so that profilers can single it out).
[[gnu::noinline]] void RefreshViews(std::vector<std::unique_ptr<TGraphicChild>>& views) {
  for (auto& view : views) view->UpdateDisplay();
}

double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

}  // namespace

// Goal: a graphic view redraws 24 channels over the full history at the longest history scale
// ("1 : 100", 2048 stored averages per channel) in under 16 ms: fetching from the store, pixel
// rows, traces and the composed picture, offscreen.
static void BM_GraphicViewRedraw24ChannelsFullHistory(benchmark::State& state) {
  auto session = Session(0);
  TFeeder().Feed(*session, 2);
  std::vector<double> averages(kChannels);
  for (int x = 0; x < DM_HistoryLength; ++x) {
    for (int ch = 0; ch < kChannels; ++ch) averages[size_t(ch)] = 1e-3 * std::sin(x / (20.0 + ch)) + (x % 301 == 0 ? 3e-3 : 0);
    session->Store().AddLong(averages, 1.0);
  }
  auto view = View(*session, 3);
  view->SetHorizontalScale(2);
  for (auto _ : state) {
    view->ClearGraph();
    view->UpdateDisplay();
  }
  state.counters["columns"] = view->Plot()->GraphWidth();
  state.counters["stored"] = session->Store().Count(hsLong);
}
BENCHMARK(BM_GraphicViewRedraw24ChannelsFullHistory)->Unit(benchmark::kMillisecond);

// Goal: the display cycle (every 100 ms) with 8 sessions of 24 channels at 1 ms and one graph per
// session takes under 10 % of a core. Each iteration is one cycle: 100 new samples per session
// (fed outside the measurement), then every view refreshes. "core_percent" is the CPU time of the
// refreshes per 100 ms of wall time.
static void BM_DisplayCycle8Sessions24Channels1ms(benchmark::State& state) {
  constexpr int kSessions = 8, kPerCycle = 100;
  std::vector<std::unique_ptr<TTestCounterSession>> sessions;
  std::vector<TFeeder> feeders(kSessions);
  std::vector<std::unique_ptr<TGraphicChild>> views;
  for (int i = 0; i < kSessions; ++i) {
    sessions.push_back(Session(i));
    feeders[size_t(i)].Feed(*sessions.back(), 2 * kPerCycle);
    views.push_back(View(*sessions.back(), 3 + i));
    views.back()->UpdateDisplay();
  }
  double cpu = 0;
  for (auto _ : state) {
    state.PauseTiming();
    for (int i = 0; i < kSessions; ++i) feeders[size_t(i)].Feed(*sessions[size_t(i)], kPerCycle);
    state.ResumeTiming();
    const double start = CpuSeconds();
    RefreshViews(views);
    cpu += CpuSeconds() - start;
  }
  state.counters["core_percent"] = 100.0 * cpu / (0.1 * double(state.iterations()));
}
BENCHMARK(BM_DisplayCycle8Sessions24Channels1ms)->Unit(benchmark::kMillisecond);

// Start-up with many stored sessions must cost the same per session whatever their number: every
// session reads and appends its keys in a settings file that grows with the sessions before it.
#include <benchmark/benchmark.h>

#include <sstream>

#include "acquisition/App_Sessions.h"
#include "app/IVTA_Timers.h"
#include "app/VTA_Application.h"
#include "app/VTA_ConsoleUserInterface.h"
#include "app/VTA_SessionKinds.h"
#include "core/AppPaths.h"
#include "support/TempDir.h"

namespace {

class TNoTimers : public IVTA_Timers {
 public:
  void SetDisplayTimer(bool) override {}
  void SetCheckTimer(bool) override {}
};

// Counter sessions that open nothing, so that only recreating them from the file is measured.
std::string StoredSessions(int64_t count) {
  std::string text = "SessionCount=" + std::to_string(count) + "\r\n";
  for (int64_t i = 0; i < count; ++i)
    text += "Session_" + std::to_string(i) + "_OpenString=" + kOpenStringNone + "\r\n";
  return text;
}

void BM_StartUpWithStoredSessions(benchmark::State& state) {
  TTempDir dir;
  const TAppPaths paths = TAppPaths::Resolve(dir.File("config"), "", dir.File("data"), dir.Path());
  paths.CreateConfigDir();
  const std::string content = StoredSessions(state.range(0));
  std::ostringstream out, err;
  TConsoleUserInterface ui(out, err, std::nullopt);
  TNoTimers timers;
  for (auto _ : state) {
    state.PauseTiming();
    WriteWholeFile(paths.SettingsFile(), content);
    TVTA_AppOptions options;
    options.ProgramPath = "VTA_App";
    AddBuiltInSessionKinds(options);
    state.ResumeTiming();
    TVTA_Application app(paths, std::move(options), ui, timers);
    ui.Attach(&app);
    benchmark::DoNotOptimize(app.LosGehts());
    app.FormClose();
    ui.Attach(nullptr);
  }
  state.counters["per_session"] = benchmark::Counter(double(state.range(0)), benchmark::Counter::kIsIterationInvariantRate |
                                                                                 benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(BM_StartUpWithStoredSessions)->Arg(1)->Arg(8)->Arg(26)->Unit(benchmark::kMillisecond);

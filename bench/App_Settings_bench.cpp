// The report thread reads the log time options while it decodes reports; a lookup in a settings file
// of a few thousand lines (many sessions and views) must stay cheap.
#include <benchmark/benchmark.h>

#include "core/App_Settings.h"

static void BM_GetValueInLargeStore(benchmark::State& state) {
  TAppSettings store;
  std::string content;
  for (int i = 0; i < state.range(0); ++i) content += "View_" + std::to_string(i) + "_Left=" + std::to_string(i) + "\r\n";
  content += "LogTimeFormat=YYMMDD HHNNSS.ZZZ\r\n";
  store.LoadFromBytes(content);
  for (auto _ : state) benchmark::DoNotOptimize(store.GetValue("LogTimeFormat", ""));
}
BENCHMARK(BM_GetValueInLargeStore)->Arg(100)->Arg(3000);

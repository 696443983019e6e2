#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include "core/Clock.h"
#include "core/Logger.h"
#include "core/VTA_Common.h"

// One diagnostic line as the report thread writes it for every report (file written unbuffered).
static void BM_LoggerLogIt(benchmark::State& state) {
  QTemporaryDir dir;
  TLogger log(0, SystemClock());
  log.SetLimit(logCreateNew, 0);
  log.SetLogFileName(dir.path().toStdString() + "/bench.txt", false);
  const std::string text = "TQVSessionItem[0/False].GetReport 8001;+0.123456789012;-0.000000012345";
  for (auto _ : state) log.LogIt(text);
  log.SetLogFileName("", false);
}
BENCHMARK(BM_LoggerLogIt);

// Adding an error to a long message list walks it for the duplicate rule.
static void BM_MessageListAddError(benchmark::State& state) {
  TManualClock clock;
  TMessageList list(nullptr, nullptr, clock);
  for (int i = 0; i < state.range(0); ++i) list.AddErrorThread(0, 21, i, "Reading Report Failed");
  int subCode = 0;
  for (auto _ : state) {
    clock.Advance(std::chrono::milliseconds(1));
    list.AddErrorThread(0, 21, subCode++ % 16, "Reading Report Failed");
  }
}
BENCHMARK(BM_MessageListAddError)->Arg(100)->Arg(10000);

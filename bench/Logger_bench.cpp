#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include "core/Clock.h"
#include "core/LogUnit.h"
#include "core/VTA_Common.h"

namespace {
// A 24-channel report line as a counter session logs it with "Debug_Report" on.
std::string ReportLine() {
  std::string line = "0900";
  for (int k = 0; k < 24; ++k) line += ";+0.123456789012";
  return line;
}
}  // namespace

// Goal: a diagnostic line costs under 1 us. One line through the logger registry into an open
// debug log (20 MiB files, as the application's debug log is configured).
static void BM_DiagnosticLine(benchmark::State& state) {
  QTemporaryDir dir;
  const int id = CreateLogger();
  SetLimit(id, logCreateNew, 0);
  LogFileName(id, dir.path().toStdString() + "/bench.txt", false);
  const std::string text = "TQVSessionItem[0/False].ReportAuswerten: ms=1234567, Data=" + ReportLine();
  for (auto _ : state) LogIt(id, text);
  LogFileName(id, "", false);
}
BENCHMARK(BM_DiagnosticLine);

// Goal: "Debug_Report" costs under 1 us per report: the line is built as the session builds it
// (tag, device milliseconds, the report) and written.
static void BM_DiagnosticLineDebugReport(benchmark::State& state) {
  QTemporaryDir dir;
  const int id = CreateLogger();
  SetLimit(id, logCreateNew, 0);
  LogFileName(id, dir.path().toStdString() + "/bench.txt", false);
  const std::string tag = "TQVSessionItem[0/False]";
  const std::string line = ReportLine();
  int64_t ms = 1234567;
  for (auto _ : state) LogIt(id, tag + ".ReportAuswerten: ms=" + std::to_string(++ms) + ", Data=" + line);
  LogFileName(id, "", false);
}
BENCHMARK(BM_DiagnosticLineDebugReport);

// Goal: adding a message stays O(1) however long the list is (duplicate check within its minute).
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

// The same with errors that have no twin, so no merge ends the search early.
static void BM_MessageListAddUniqueError(benchmark::State& state) {
  TManualClock clock;
  TMessageList list(nullptr, nullptr, clock);
  int subCode = 0;
  for (int i = 0; i < state.range(0); ++i) list.AddErrorThread(0, 21, subCode++, "Reading Report Failed");
  for (auto _ : state) {
    clock.Advance(std::chrono::milliseconds(1));
    list.AddErrorThread(0, 21, subCode++, "Reading Report Failed");
  }
}
BENCHMARK(BM_MessageListAddUniqueError)->Arg(100)->Arg(10000)->Iterations(20000);

// Goal: a flood of warnings (never merged) keeps the list bounded; reports the items kept.
static void BM_MessageListWarningFlood(benchmark::State& state) {
  TManualClock clock;
  TMessageList list([](const std::string&) {}, nullptr, clock);
  int64_t n = 0;
  for (auto _ : state) {
    clock.Advance(std::chrono::milliseconds(1));
    ++n;
    list.AddWarningThread(int32_t(n % 8), 41, 0, "Clock Supervisor Warning: channel " + std::to_string(n % 24));
  }
  state.counters["items"] = double(list.Count());
}
BENCHMARK(BM_MessageListWarningFlood)->Iterations(200000);

#include <benchmark/benchmark.h>

#include <array>

#include "protocol/Phase.h"

// One measurement line at the fastest rate: 24 phase columns per report, 1000 reports per second.
static void BM_PhaseColumns24(benchmark::State& state) {
  std::array<Phase, 24> phases;
  for (int i = 0; i < 24; ++i) phases[i] = Phase{int64_t{86400} * 10'000'000 * (i + 1), 0.123456789 * i / 24};
  char line[24 * (PhaseColumnWidth + 1)];
  for (auto _ : state) {
    char* column = line;
    for (const Phase& p : phases) {
      *column++ = ';';
      p.FormatColumn(11, '.', column);
      column += PhaseColumnWidth;
    }
    benchmark::DoNotOptimize(line);
  }
  state.SetItemsProcessed(state.iterations() * 24);
}
BENCHMARK(BM_PhaseColumns24);

static void BM_PhaseParse(benchmark::State& state) {
  int precision = 0;
  for (auto _ : state) {
    auto p = Phase::Parse("      8640000000000.12345678901", '.', &precision);
    benchmark::DoNotOptimize(p);
  }
}
BENCHMARK(BM_PhaseParse);

#include <benchmark/benchmark.h>

#include <bit>
#include <cmath>
#include <string>

#include "BenchDevice.h"
#include "protocol/QV_ProcessReport.h"
#include "protocol/QV_ProcessState.h"
#include "support/FrameBuilder.h"

namespace {

std::string LittleEndian(uint64_t bits) {
  std::string v(8, '\0');
  for (int b = 0; b < 8; ++b) v[b] = static_cast<char>(bits >> (8 * b));
  return v;
}

// A packed block of 16 phase reports of 24 channels; the lines of one block per round.
void BM_ColdfirePacked24(benchmark::State& bench) {
  TBenchDevice device(QV_Serial, ptColdfire);
  TQV_ProcessState state;
  state.Device = &device;
  std::string block("\xFF\x09\x00", 3);
  for (int r = 0; r < 16; ++r)
    for (int k = 0; k < 24; ++k) block += ColdfireValue(9, 123456789012345ull + r * 1000003ull + k * 7919ull);
  std::string line;
  line.reserve(QV_MaxLineLength);
  int64_t lines = 0;
  for (auto _ : bench) {
    ProcessBinReport(state, block, line);
    ++lines;
    while (state.PackCount > 0) {
      ProcessPackedReport(state, line);
      ++lines;
    }
    benchmark::DoNotOptimize(line.data());
  }
  bench.SetItemsProcessed(lines);
}
BENCHMARK(BM_ColdfirePacked24);

void BM_NetworkModulePhase24(benchmark::State& bench) {
  TBenchDevice device(QV_Serial, ptESP);
  TQV_ProcessState state;
  state.Device = &device;
  std::string report("\x09\x00", 2);
  for (int k = 0; k < 24; ++k) {
    const uint64_t bits = std::bit_cast<uint64_t>(123456.789 + k * 1.5);
    report += LittleEndian((bits & 0x00FFFFFFFFFFFFFFull) | ((((bits >> 56) & 0xC3) | (3 << 2)) << 56));
  }
  std::string line;
  line.reserve(QV_MaxLineLength);
  for (auto _ : bench) {
    ProcessBinReport(state, report, line);
    benchmark::DoNotOptimize(line.data());
  }
  bench.SetItemsProcessed(bench.iterations());
}
BENCHMARK(BM_NetworkModulePhase24);

void BM_DemoFrequency24(benchmark::State& bench) {
  TQV_ProcessState state;
  std::string report("\x29\x00", 2);
  for (int k = 0; k < 24; ++k) report += LittleEndian(std::bit_cast<uint64_t>(10000.123456789 + k));
  std::string line;
  line.reserve(QV_MaxLineLength);
  for (auto _ : bench) {
    ProcessDemoReport(state, report, line);
    benchmark::DoNotOptimize(line.data());
  }
  bench.SetItemsProcessed(bench.iterations());
}
BENCHMARK(BM_DemoFrequency24);

}  // namespace

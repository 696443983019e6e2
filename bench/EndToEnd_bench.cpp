#include <benchmark/benchmark.h>

#include <bit>
#include <string>
#include <vector>

#include "BenchDevice.h"
#include "protocol/QV_ProcessReport.h"
#include "protocol/QV_ProcessState.h"
#include "protocol/QV_ReportDevice.h"
#include "support/FrameBuilder.h"

// From received bytes to text report lines: decoder and report processing together, as the source
// runs them for every report of a 24-channel counter.
namespace {

constexpr int Channels = 24;

// One phase measurement at 1 s (mode 0, interval index 9) with slowly moving phases.
std::string ColdfireFrame(int i) {
  std::string report = ReportCode(0x0900);
  for (int k = 0; k < Channels; ++k) report += ColdfireValue(9, 123456789012345ull + i * 1000003ull + k * 7919ull);
  return UsbFrame(report);
}

std::string EspFrame(int i) { return EspMeasurement(0x09, static_cast<uint16_t>((i * 1000) % 20000), Channels); }

std::string DemoFrame(int i) { return DemoMeasurement(0x2900, std::vector<double>(Channels, 10e6 + 0.001 * i)); }

template <typename Make>
std::string FillBuffer(Make make, int& count) {
  std::string bytes;
  for (count = 0; bytes.size() + 600 < TCircularBuffer::BufferSize - 4096; ++count) bytes += make(count);
  return bytes;
}

enum class TPath { Bin, Demo };

template <typename Make>
void RunEndToEnd(benchmark::State& bench, TQV_DeviceType type, TQV_PeerType peer, TPath path,
                 const std::string& prefix, Make make) {
  TBenchDevice device(type, peer);
  if (path == TPath::Demo) device.SetDemoData(true);
  TQV_ReportDevice decoder(&device);
  TQV_ProcessState state;
  state.Device = &device;
  std::string report;
  std::string line;
  line.reserve(QV_MaxLineLength);
  device.Feed(prefix);
  while (device.BufferAmount() > 0) decoder.DeviceGetReport(report);

  int count = 0;
  const std::string frames = FillBuffer(make, count);
  int64_t lines = 0;
  for (auto _ : bench) {
    bench.PauseTiming();
    device.Feed(frames);
    bench.ResumeTiming();
    for (int i = 0; i < count; ++i) {
      decoder.DeviceGetReport(report);
      if (report.empty()) continue;
      if (path == TPath::Demo)
        ProcessDemoReport(state, report, line);
      else
        ProcessBinReport(state, report, line);
      benchmark::DoNotOptimize(line.data());
      lines += line.empty() ? 0 : 1;
    }
  }
  bench.counters["lines/s"] = benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsRate);
}

void BM_EndToEndColdfire(benchmark::State& bench) {
  RunEndToEnd(bench, QV_HID, ptColdfire, TPath::Bin, UsbFrame(ReportCode(0x7022)), ColdfireFrame);
}
BENCHMARK(BM_EndToEndColdfire);

void BM_EndToEndNetworkModule(benchmark::State& bench) {
  RunEndToEnd(bench, QV_CDC, ptESP, TPath::Bin, EspVersionBlock(), EspFrame);
}
BENCHMARK(BM_EndToEndNetworkModule);

void BM_EndToEndDemo(benchmark::State& bench) {
  RunEndToEnd(bench, QV_Simul, ptUnknown, TPath::Demo, {}, DemoFrame);
}
BENCHMARK(BM_EndToEndDemo);

}  // namespace

#include <benchmark/benchmark.h>

#include <string>

#include "core/NamedEvent.h"
#include "devices/QV_NetworkDevice.h"
#include "protocol/QV_ProcessReport.h"
#include "protocol/QV_ProcessState.h"
#include "protocol/QV_ReportDevice.h"
#include "support/FrameBuilder.h"

// Goal: "bytes arriving on the data connection -> report lines, 24 channels at the network module's
// format": at least 300,000 lines per second per core. The bytes go in as the data server's reader
// hands them over (ServerExecute), then through the decoder and the report processing.
namespace {

constexpr int Channels = 24;
constexpr int BlocksPerChunk = 200;  // a few kilobytes, as one read of the data connection brings

void BM_NetworkDataToLines_24Channels_AtLeast300kLinesPerSecond(benchmark::State& bench) {
  TQV_NetworkDevice device(-1, -1, NamedEvent("BenchNetworkData"), false, "127.0.0.1");
  TQV_ReportDevice decoder(&device);
  TQV_ProcessState state;
  state.Device = &device;
  std::string report;
  std::string line;
  line.reserve(QV_MaxLineLength);
  device.ServerExecute(EspVersionBlock());
  while (device.BufferAmount() > 0) decoder.DeviceGetReport(report);

  // Phase at 1 s (type 0x09); the FPGA time moves on by the interval from block to block.
  std::string chunk;
  int fpga = 0;
  for (int i = 0; i < BlocksPerChunk; ++i, fpga = (fpga + 1000) % 20000)
    chunk += EspMeasurement(0x09, static_cast<uint16_t>(fpga), Channels);
  int64_t lines = 0;
  for (auto _ : bench) {
    device.ServerExecute(chunk);
    for (int i = 0; i < BlocksPerChunk; ++i) {
      decoder.DeviceGetReport(report);
      if (report.empty()) continue;
      ProcessBinReport(state, report, line);
      benchmark::DoNotOptimize(line.data());
      // Only measurement lines count (an FPGA time error would be a 7F.. line).
      lines += line.empty() || line.starts_with("7F") ? 0 : 1;
    }
  }
  if (lines == 0) bench.SkipWithError("no measurement lines");
  bench.counters["lines/s"] = benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_NetworkDataToLines_24Channels_AtLeast300kLinesPerSecond);

}  // namespace

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "BenchDevice.h"
#include "core/LogUnit.h"
#include "protocol/QV_ReportDevice.h"
// The test frame builder, compiled in here so that the benchmark feeds the same frames as the tests.
#include "support/FrameBuilder.h"

// Decoding throughput on a receive ring filled with 24-channel measurement frames.
namespace {

constexpr int Channels = 24;

// As many copies of frames from `make(i)` as fit well into the ring.
template <typename Make>
std::string FillBuffer(Make make, int& count) {
  std::string bytes;
  for (count = 0; bytes.size() + 600 < TCircularBuffer::BufferSize - 4096; ++count) bytes += make(count);
  return bytes;
}

// A 1 ms phase measurement of 24 channels in the packed 7-byte format, as a counter sends it: every
// channel's phase moves on from report to report, so the bytes vary and some need escapes.
std::string ColdfireMeasurement(int i) {
  std::string report = ReportCode(0x0000);
  for (int k = 0; k < Channels; ++k) {
    const uint64_t mantissa = (0x123456789ABull * (k + 1) + 0x9E3779B97Full * static_cast<uint64_t>(i)) & ((1ull << 52) - 1);
    report += ColdfireValue(4 + k % 8, mantissa);
  }
  return report;
}

std::string UsbMeasurement(int i) { return UsbFrame(ColdfireMeasurement(i)); }

// The end bytes alternate as the sequence mark of the serial protocol.
std::string SerialMeasurement(int i) { return SerialFrame(ColdfireMeasurement(i), i % 2 ? '\xBD' : '\xBF'); }

std::string EspMeasurementAt(int i) { return EspMeasurement(0x00, static_cast<uint16_t>(i % 20000), Channels); }

std::string DemoMeasurementFrame(int) { return DemoMeasurement(0x0300, std::vector<double>(Channels, 1.25)); }

// A source's device and report stream loggers, created with no file open as in a run without
// diagnostics; the stream logger's id follows the device's.
int SourceLoggers() {
  static const int id = [] {
    const int device = CreateLogger();
    CreateLogger();
    return device;
  }();
  return id;
}

template <typename Read>
void RunDecoder(benchmark::State& state, TQV_DeviceType type, TQV_PeerType peer, bool demo, const std::string& prefix,
                const std::string& frames, int count, Read read) {
  TBenchDevice device(type, peer, SourceLoggers());
  if (demo) device.SetDemoData(true);
  TQV_ReportDevice decoder(&device);
  device.Feed(prefix);
  std::string report;
  while (device.BufferAmount() > 0) decoder.DeviceGetReport(report);
  int64_t reports = 0;
  for (auto _ : state) {
    state.PauseTiming();
    device.Feed(frames);
    state.ResumeTiming();
    for (int i = 0; i < count; ++i) reports += read(decoder);
  }
  state.counters["reports/s"] = benchmark::Counter(static_cast<double>(reports), benchmark::Counter::kIsRate);
}

int ReadText(TQV_ReportDevice& decoder) {
  std::string report;
  decoder.DeviceGetReport(report);
  benchmark::DoNotOptimize(report.data());
  return report.empty() ? 0 : 1;
}

int ReadStruct(TQV_ReportDevice& decoder) {
  TQV_ReportStruct record;
  decoder.GetReportStruct(record);
  benchmark::DoNotOptimize(record.Buffer());
  return record.GetReportType() == rt_None ? 0 : 1;
}

// Goal: at least 2,000,000 reports/s.
void BM_UsbFramesToReports_Real7ByteValues(benchmark::State& state) {
  int count = 0;
  const std::string frames = FillBuffer(UsbMeasurement, count);
  RunDecoder(state, QV_HID, ptColdfire, false, UsbFrame(ReportCode(0x7022)), frames, count, ReadText);
}
BENCHMARK(BM_UsbFramesToReports_Real7ByteValues);

// Goal: at least 1,000,000 reports/s, each frame acknowledged as the protocol asks.
void BM_SerialBytesToReports_Real7ByteValues(benchmark::State& state) {
  int count = 0;
  const std::string frames = FillBuffer(SerialMeasurement, count);
  RunDecoder(state, QV_Serial, ptColdfire, false, {}, frames, count, ReadText);
}
BENCHMARK(BM_SerialBytesToReports_Real7ByteValues);

void BM_EspBlocksToBinary(benchmark::State& state) {
  int count = 0;
  const std::string frames = FillBuffer(EspMeasurementAt, count);
  RunDecoder(state, QV_CDC, ptESP, false, EspVersionBlock(), frames, count, ReadText);
}
BENCHMARK(BM_EspBlocksToBinary);

void BM_EspBlocksToStruct(benchmark::State& state) {
  int count = 0;
  const std::string frames = FillBuffer(EspMeasurementAt, count);
  RunDecoder(state, QV_CDC, ptESP, false, EspVersionBlock(), frames, count, ReadStruct);
}
BENCHMARK(BM_EspBlocksToStruct);

void BM_DemoFramesToStruct(benchmark::State& state) {
  int count = 0;
  const std::string frames = FillBuffer(DemoMeasurementFrame, count);
  RunDecoder(state, QV_Simul, ptUnknown, true, {}, frames, count, ReadStruct);
}
BENCHMARK(BM_DemoFramesToStruct);

}  // namespace

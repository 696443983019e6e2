#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/Clock.h"
#include "data/ISamplerSink.h"
#include "data/ZCT_DataManagement.h"
#include "protocol/Phase.h"

// Goal: "24-channel text line → store with Allan and log columns": under 10 µs per line. A 1 ms phase
// line of 24 channels goes through the counter store with all three Allan calculators fed and every
// log column produced for the multi-sampler.
namespace {

constexpr int kChannels = 24;

class TNullSampler : public ISamplerSink {
 public:
  void SetSessionSyncTime(int32_t, bool, const std::string&) override {}
  void AddStrings(int32_t, bool, const TMultiSamplerStrings& s) override { benchmark::DoNotOptimize(s[0].data()); }
  void AddStringsVirtual(int32_t, bool, const TMultiSamplerStrings&) override {}
  void AddStringsSpecial(int32_t, bool, const TMultiSamplerStrings&) override {}
  void AddString(int32_t, bool, const std::string&) override {}
  void AddWarning(int32_t, bool, const std::string&) override {}
  void AddTimeStamp(int32_t, bool, int64_t) override {}
  void UpdateSession(int32_t, bool, int32_t, const std::string&) override {}
};

// Phase lines of a 10 MHz signal per channel with a small drift each, header 0x0000 (phase, 1 ms).
std::vector<std::string> PhaseLines(int count) {
  std::vector<std::string> lines;
  for (int n = 0; n < count; ++n) {
    std::string line = "0000";
    for (int k = 0; k < kChannels; ++k) {
      const Phase p{10'000 * static_cast<int64_t>(n + 1), 0.001 * k + 1e-6 * ((n * 7 + k) % 13)};
      line += ";" + p.ToColumnString(11, '.');
    }
    lines.push_back(line);
  }
  return lines;
}

void BM_LineToStore_24Channels_AllanAndLogColumns_Under10usPerLine(benchmark::State& state) {
  TManualClock clock;
  TNullSampler sampler;
  auto store = TDataManagement::Create<TZCT_DataManagement>(-1, 0, false, false, &clock);
  store->SetSamplerSink(&sampler);
  store->SetAddLogStrings(true);
  store->SetSamplerLogTypes(0x3FFFF);  // every log column
  const std::vector<std::string> lines = PhaseLines(4096);
  int64_t ms = 0;
  for (int i = 0; i < 8; ++i) store->ExtractData(lines[i], ms++);  // nominal frequencies and Allan start
  size_t i = 8;
  for (auto _ : state) {
    benchmark::DoNotOptimize(store->ExtractData(lines[i], ms++));
    if (++i == lines.size()) i = 8;
  }
  if (store->AllanIgnored(amPhaseRes) || store->AllanIgnored(amFreq)) state.SkipWithError("Allan not fed");
  state.counters["us/line"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_LineToStore_24Channels_AllanAndLogColumns_Under10usPerLine)->Unit(benchmark::kMicrosecond);

}  // namespace

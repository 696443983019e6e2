#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <memory>
#include <vector>

#include "data/App_VirtAllanData.h"

// Goal: "Allan feed, 3 calculators × 24 channels, ladder to 2,000,000, pre-fed to a full ladder":
// under 1 µs per sample. The calculators are first fed until τ = 2,000,000 has terms, so every
// τ of the ladder is live while the timed samples go in.
namespace {

constexpr int kChannels = 24;
constexpr int kTauMax = 19;
constexpr int64_t kFullLadder = 3 * 2'000'000 + 1;  // three blocks of the largest τ for phase

// A few distinct noisy samples that repeat; content does not change the cost.
std::vector<std::array<double, kChannels>> Samples(double scale) {
  std::vector<std::array<double, kChannels>> samples(1024);
  uint64_t seed = 12345;
  for (auto& sample : samples)
    for (double& value : sample) {
      seed = seed * 6364136223846793005ull + 1442695040888963407ull;
      value = scale * (1.0 + static_cast<double>(seed >> 11) * 0x1.0p-53);
    }
  return samples;
}

// Three calculators fed to a full ladder once for all runs of the benchmark.
class TFedCalculators {
 public:
  TFedCalculators() : freq(Samples(1e-9)), phase(Samples(100)) {
    for (TAllanMode am : {amFreq, amPhaseRes, amPhaseDiff}) {
      calculators[am] = std::make_unique<TVirtAllanData>(-1, kTauMax, am);
      calculators[am]->SetVirtualFactors(kChannels);
      calculators[am]->SetIntervalMs(1);
    }
    while (i < kFullLadder) Feed();
  }
  void Feed() {
    const auto& f = freq[i & 1023];
    const auto& p = phase[i & 1023];
    calculators[amFreq]->AddData(f);
    calculators[amPhaseRes]->AddData(p);
    calculators[amPhaseDiff]->AddData(p);
    ++i;
  }
  bool Full() const { return calculators[amPhaseRes]->LastTau() == kTauMax && calculators[amFreq]->LastTau() == kTauMax; }

 private:
  std::array<std::unique_ptr<TVirtAllanData>, 3> calculators;
  std::vector<std::array<double, kChannels>> freq, phase;
  int64_t i = 0;
};

void BM_AllanFeed_3x24_FullLadder_Under1usPerSample(benchmark::State& state) {
  static TFedCalculators fed;
  if (!fed.Full()) state.SkipWithError("ladder not full");
  for (auto _ : state) fed.Feed();
  state.counters["us/sample"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_AllanFeed_3x24_FullLadder_Under1usPerSample)->Unit(benchmark::kNanosecond);

}  // namespace

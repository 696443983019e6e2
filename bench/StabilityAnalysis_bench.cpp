#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "data/StabilityAnalysis.h"

// Goal: "stability library, 10^6 white-FM points, octave ladder": the whole table (deviation, noise
// type, bounds) of OADEV, MDEV and TOTDEV well inside the 5-fold lead over allantools that the
// command line needs, and MTIE on 10^6 points under a second. The series is made once, with a
// fixed seed.
namespace {

const TPhaseSeries& WhiteFm() {
  static const TPhaseSeries series = [] {
    std::mt19937_64 random(1);
    std::normal_distribution<double> normal(0, 1e-11);
    std::vector<double> y(1'000'000);
    for (double& v : y) v = normal(random);
    return TPhaseSeries::FromFrequency(y, 1);
  }();
  return series;
}

void BM_StabilityOctave(benchmark::State& state) {
  const auto statistic = static_cast<TStabilityStatistic>(state.range(0));
  const TPhaseSeries& series = WhiteFm();
  const std::vector<int64_t> factors = StabilityFactors(statistic, TTauLadder::Octave, series.Size());
  for (auto _ : state) benchmark::DoNotOptimize(AnalyseStability(series, statistic, factors));
  state.SetLabel(StabilityStatisticName(statistic));
}

BENCHMARK(BM_StabilityOctave)
    ->Arg(static_cast<int>(TStabilityStatistic::Oadev))
    ->Arg(static_cast<int>(TStabilityStatistic::Mdev))
    ->Arg(static_cast<int>(TStabilityStatistic::Totdev))
    ->Arg(static_cast<int>(TStabilityStatistic::Mtie))
    ->Unit(benchmark::kMillisecond);

}  // namespace

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <string_view>

#include "data/AllanColumnReader.h"

// Goal: "vta-cli stability, whole run including reading the file, at least 5 times faster than
// allantools": the reading's share, 10^6 white-FM values as the side-by-side script writes them
// ("%.15e" per line), fed in the 1 MiB pieces the file reader uses, its size known.
namespace {

const std::string& WhiteFmText() {
  static const std::string text = [] {
    std::mt19937_64 random(1);
    std::normal_distribution<double> normal(0, 1e-11);
    std::string t;
    char line[40];
    for (int i = 0; i < 1'000'000; ++i) t.append(line, static_cast<size_t>(std::snprintf(line, sizeof line, "%.15e\n", normal(random))));
    return t;
  }();
  return text;
}

void BM_StabilityColumnRead(benchmark::State& state) {
  const std::string_view text = WhiteFmText();
  constexpr size_t kPiece = 1 << 20;
  for (auto _ : state) {
    TAllanColumnReader reader(1);
    reader.ExpectBytes(text.size());
    for (size_t at = 0; at < text.size(); at += kPiece) reader.Add(text.substr(at, std::min(kPiece, text.size() - at)));
    reader.Finish();
    benchmark::DoNotOptimize(reader.Values().data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

BENCHMARK(BM_StabilityColumnRead)->Unit(benchmark::kMillisecond);

}  // namespace

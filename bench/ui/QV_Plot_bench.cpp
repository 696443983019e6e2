#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "ui/QV_Plot.h"

namespace {
constexpr int kChannels = 24;

// Rows of 24 noisy traces across the whole width, spread over the plot like a busy view.
std::vector<std::vector<int32_t>> Traces(int width, int mitte) {
  std::mt19937 random(7);
  std::normal_distribution<double> noise(0.0, 6.0);
  std::vector<std::vector<int32_t>> traces(kChannels + 1);
  for (int ch = 1; ch <= kChannels; ++ch) {
    double y = mitte + (ch - 12) * 20;
    for (int x = 0; x < width; ++x) {
      y = std::clamp(y + noise(random), 0.0, 2.0 * mitte - 1);
      traces[size_t(ch)].push_back(int32_t(std::lround(y)));
    }
  }
  return traces;
}
}  // namespace

// Goal: a graph redraw of 24 channels over the full history (the whole width) in under 16 ms:
// erase, draw every trace, compose the picture.
static void BM_GraphRedraw24ChannelsFullHistory(benchmark::State& state) {
  TQV_Plot plot;
  plot.resize(1280, 720);
  const int w = plot.GraphWidth();
  const auto traces = Traces(w, plot.Mitte());
  for (auto _ : state) {
    plot.ClearRange(0, w);
    plot.ResetYOld();
    for (int ch = 1; ch <= kChannels; ++ch) plot.DrawMeasurement(0, traces[size_t(ch)], 0, ch, QColor::fromHsv(ch * 15, 255, 200));
    plot.DrawCursor(0);
    plot.DrawBitmaps();
  }
}
BENCHMARK(BM_GraphRedraw24ChannelsFullHistory)->Unit(benchmark::kMillisecond);

// The same redraw with every channel's persistence buffer drawn under its trace.
static void BM_GraphRedraw24ChannelsFullHistoryPersist(benchmark::State& state) {
  TQV_Plot plot;
  plot.resize(1280, 720);
  const int w = plot.GraphWidth();
  const auto traces = Traces(w, plot.Mitte());
  std::vector<TPersistBuffer> persist(kChannels + 1);
  for (int ch = 1; ch <= kChannels; ++ch) {
    persist[size_t(ch)].Resize(w, plot.GraphHeight());
    const auto& rows = traces[size_t(ch)];
    for (int x = 0; x < w; ++x) persist[size_t(ch)].MarkColumn(x, x > 0 ? rows[size_t(x - 1)] : rows[0], rows[size_t(x)]);
  }
  for (auto _ : state) {
    plot.ClearRange(0, w);
    plot.ResetYOld();
    for (int ch = 1; ch <= kChannels; ++ch) {
      plot.DrawPersist(0, persist[size_t(ch)], 0, w, QColor::fromHsv(ch * 15, 80, 255));
      plot.DrawMeasurement(0, traces[size_t(ch)], 0, ch, QColor::fromHsv(ch * 15, 255, 200));
    }
    plot.DrawCursor(0);
    plot.DrawBitmaps();
  }
}
BENCHMARK(BM_GraphRedraw24ChannelsFullHistoryPersist)->Unit(benchmark::kMillisecond);

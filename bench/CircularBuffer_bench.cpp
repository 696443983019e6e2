#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "core/CircularBuffer.h"
#include "core/NamedEvent.h"

// The decoder's pattern on the receive ring: a frame is written by the reader, peeked, then
// confirmed. Frame sizes range from short binary reports to network-module blocks.
namespace {
constexpr uint32_t kSize = TCircularBuffer::BufferSize;

void WritePeekConfirm(TCircularBuffer& buffer, const std::vector<uint8_t>& frame) {
  buffer.Write(frame);
  const std::vector<uint8_t> peeked = buffer.PeekData(static_cast<uint32_t>(frame.size()));
  benchmark::DoNotOptimize(peeked.data());
  buffer.ConfirmPeekedData(static_cast<uint32_t>(frame.size()));
}

void BM_WritePeekConfirm(benchmark::State& state) {
  const std::vector<uint8_t> frame(static_cast<size_t>(state.range(0)), 0x5A);
  TEvent event;
  auto buffer = std::make_unique<TCircularBuffer>(-1, &event, state.range(1) != 0);
  for (auto _ : state) WritePeekConfirm(*buffer, frame);
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_WritePeekConfirm)
    ->ArgsProduct({{16, 64, 520, 4096}, {0, 1}})
    ->ArgNames({"frame", "locked"});

// The decoder peeks the same frame again and again while it waits for the rest of a report. Stored
// at the start of the storage (one block move) or across its end (two block moves).
void BM_PeekFrame(benchmark::State& state) {
  const auto frame = static_cast<uint32_t>(state.range(0));
  const bool acrossEnd = state.range(1) != 0;
  TEvent event;
  auto buffer = std::make_unique<TCircularBuffer>(-1, &event, true);
  if (acrossEnd) {
    buffer->Write(std::vector<uint8_t>(kSize - frame / 2));
    buffer->ConfirmPeekedData(kSize - frame / 2);
  }
  buffer->Write(std::vector<uint8_t>(frame, 0x5A));
  for (auto _ : state) {
    const std::vector<uint8_t> peeked = buffer->PeekData(frame);
    benchmark::DoNotOptimize(peeked.data());
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_PeekFrame)->ArgsProduct({{16, 64, 520, 4096}, {0, 1}})->ArgNames({"frame", "acrossEnd"});
}  // namespace

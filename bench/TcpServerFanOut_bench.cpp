#include <benchmark/benchmark.h>

#include <atomic>
#include <ctime>
#include <memory>
#include <thread>
#include <vector>

#include "acquisition/QV_TcpServer.h"
#include "support/TcpTestPeer.h"

// Goal: "one source to 8 subscribers on loopback: every subscriber keeps up with 1,000 lines/s
// (24 channels at 1 ms) using under 5 % of a core; with one subscriber stalled the server's memory
// stays bounded by the queue limit".
namespace {

using namespace std::chrono_literals;

constexpr int Subscribers = 8;

// A measurement line of 24 channels as the report processing writes it.
std::string Line24(int n) {
  std::string line = "0A00";
  for (int k = 1; k <= 24; ++k) line += ";   " + std::to_string(1000 * k) + "." + std::to_string(100000 + n % 900000);
  return line;
}

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// A server on loopback with subscribers whose readers count the lines they get.
struct TFanOut {
  explicit TFanOut(int readers, int stalled = 0, size_t queueLimit = TTcpServerOptions().QueueLimitBytes,
                   uint32_t gatherMs = TTcpServerOptions().GatherMs) {
    TTcpServerOptions options;
    options.ListenAddress = "127.0.0.1";
    options.QueueLimitBytes = queueLimit;
    options.GatherMs = gatherMs;
    server.SetOptions(options);
    server.StartServer(0);
    for (int i = 0; i < readers + stalled; ++i) {
      subs.push_back(std::make_unique<TTcpTestSubscriber>());
      TTcpTestClient client("127.0.0.1", server.Port());
      client.Ask(subs.back()->Request("CONNECT"));
      subs.back()->Accept();
      std::string auth;
      subs.back()->ReadLine(auth);
    }
    counts = std::vector<std::atomic<int64_t>>(size_t(readers));
    for (int i = 0; i < readers; ++i)
      threads.emplace_back([this, i] {
        while (!stop) counts[size_t(i)] += int64_t(subs[size_t(i)]->CountLines(20ms));
      });
  }
  ~TFanOut() {
    stop = true;
    for (auto& t : threads) t.join();
    server.StopServer();
  }
  // Waits until every reader has `lines`; false when one fell behind for good.
  bool AllReceived(int64_t lines) {
    for (int i = 0; i < 500; ++i) {
      bool all = true;
      for (auto& c : counts) all = all && c >= lines;
      if (all) return true;
      std::this_thread::sleep_for(10ms);
    }
    return false;
  }

  TQV_TcpServer server{-1};
  std::vector<std::unique_ptr<TTcpTestSubscriber>> subs;
  std::vector<std::atomic<int64_t>> counts;
  std::vector<std::thread> threads;
  std::atomic<bool> stop = false;
};

// Unpaced: how many lines per second reach every one of 8 subscribers.
void BM_TcpServer_8Subscribers_LinesPerSecond(benchmark::State& bench) {
  TFanOut fan(Subscribers);
  const std::string line = Line24(1);
  int64_t lines = 0;
  for (auto _ : bench) {
    for (int i = 0; i < 100; ++i) fan.server.TakeDllData(line);
    lines += 100;
    // Paced by the slowest subscriber, so that the bound never drops one.
    if (lines % 10000 == 0) fan.AllReceived(lines - 5000);
  }
  if (!fan.AllReceived(lines) || fan.server.GetClientCount() != Subscribers) bench.SkipWithError("a subscriber fell behind");
  bench.counters["lines/s per subscriber"] = benchmark::Counter(double(lines), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_TcpServer_8Subscribers_LinesPerSecond)->UseRealTime()->Unit(benchmark::kMillisecond);

// Paced at 1,000 lines/s for five seconds: the share of a core the source's thread spends handing
// the lines over, and that of the whole process (the server with its 8 writers, plus the 8
// subscribers' readers, which count lines in the chunks they receive): the server's share lies
// between the two. The argument is the writers' gathering time in ms (0: a write per line).
void BM_TcpServer_8Subscribers_1000LinesPerSecond_CoreShare(benchmark::State& bench) {
  constexpr int Lines = 5000;
  std::vector<std::string> lines;
  for (int n = 0; n < Lines; ++n) lines.push_back(Line24(n));
  for (auto _ : bench) {
    TFanOut fan(Subscribers, 0, TTcpServerOptions().QueueLimitBytes, uint32_t(bench.range(0)));
    const double process0 = ProcessCpuSeconds();
    double feeding = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int n = 0; n < Lines; ++n) {
      const double t0 = ThreadCpuSeconds();
      fan.server.TakeDllData(lines[size_t(n)]);
      feeding += ThreadCpuSeconds() - t0;
      std::this_thread::sleep_until(start + (n + 1) * 1ms);
    }
    if (!fan.AllReceived(Lines)) bench.SkipWithError("a subscriber fell behind");
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    bench.counters["feeding core %"] = 100 * feeding / wall;
    bench.counters["process core %"] = 100 * (ProcessCpuSeconds() - process0) / wall;
  }
}
BENCHMARK(BM_TcpServer_8Subscribers_1000LinesPerSecond_CoreShare)->Arg(0)->Arg(10)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// One subscriber stalls (never reads), another reads: the stalled one is dropped at its bound, and
// the bytes queued for both never exceed one bound each.
void BM_TcpServer_OneStalledSubscriber_QueuedBytesBounded(benchmark::State& bench) {
  constexpr size_t Limit = 1 << 20;
  for (auto _ : bench) {
    TFanOut fan(1, 1, Limit);
    size_t peak = 0;
    int64_t lines = 0;
    const std::string line = Line24(2);
    while (fan.server.GetClientCount() == 2 && lines < 2000000) {
      fan.server.TakeDllData(line);
      if (++lines % 100 == 0) std::this_thread::sleep_for(100us);
      peak = std::max(peak, fan.server.QueuedBytes());
    }
    if (fan.server.GetClientCount() != 1) bench.SkipWithError("the stalled subscriber was not dropped");
    bench.counters["peak queued bytes"] = double(peak);
    bench.counters["bound of both"] = double(2 * Limit);
    bench.counters["lines until dropped"] = double(lines);
  }
}
BENCHMARK(BM_TcpServer_OneStalledSubscriber_QueuedBytesBounded)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

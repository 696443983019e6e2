#include <benchmark/benchmark.h>

#include <atomic>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>
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

// CPU seconds of this process's threads with that name (user + system, from /proc).
double NamedThreadsCpuSeconds(const std::string& name) {
  double ticks = 0;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream in(task.path() / "stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t open = stat.find('('), close = stat.rfind(')');
    if (open == std::string::npos || close == std::string::npos || stat.substr(open + 1, close - open - 1) != name) continue;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    for (int i = 3; i <= 13; ++i) fields >> field;  // state .. cmajflt
    double utime = 0, stime = 0;
    fields >> utime >> stime;
    ticks += utime + stime;
  }
  return ticks / double(sysconf(_SC_CLK_TCK));
}

// A server on loopback with subscribers whose readers count the lines they get.
struct TFanOut {
  explicit TFanOut(int readers, int stalled = 0, size_t queueLimit = TTcpServerOptions().QueueLimitBytes) {
    TTcpServerOptions options;
    options.ListenAddress = "127.0.0.1";
    options.QueueLimitBytes = queueLimit;
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
        std::string line;
        while (!stop)
          if (subs[size_t(i)]->ReadLine(line, 20ms)) ++counts[size_t(i)];
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

// Paced at 1,000 lines/s for five seconds: the share of a core the server uses, that is the source's
// thread while it hands the lines over plus the 8 writer threads (the readers are the subscribers').
void BM_TcpServer_8Subscribers_1000LinesPerSecond_CoreShare(benchmark::State& bench) {
  constexpr int Lines = 5000;
  std::vector<std::string> lines;
  for (int n = 0; n < Lines; ++n) lines.push_back(Line24(n));
  for (auto _ : bench) {
    TFanOut fan(Subscribers);
    const double writers0 = NamedThreadsCpuSeconds("vta-tcp-writer");
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
    const double writers = NamedThreadsCpuSeconds("vta-tcp-writer") - writers0;
    bench.counters["server core %"] = 100 * (feeding + writers) / wall;
    bench.counters["feeding core %"] = 100 * feeding / wall;
    bench.counters["writers core %"] = 100 * writers / wall;
  }
}
BENCHMARK(BM_TcpServer_8Subscribers_1000LinesPerSecond_CoreShare)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

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

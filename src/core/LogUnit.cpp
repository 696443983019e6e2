#include "core/LogUnit.h"

#include <atomic>
#include <memory>
#include <shared_mutex>

#include "core/Clock.h"
#include "core/Logger.h"

namespace {
// Forwards to the clock chosen by SetLoggerClock, so loggers need not be rebuilt for tests.
class TRegistryClock final : public TClock {
 public:
  TSteadyTime Steady() const override { return Current().Steady(); }
  TWallTime Wall() const override { return Current().Wall(); }
  void Set(const TClock* clock) { FClock.store(clock); }

 private:
  const TClock& Current() const {
    const TClock* clock = FClock.load();
    return clock ? *clock : SystemClock();
  }
  std::atomic<const TClock*> FClock{nullptr};
};

// Operations on a logger hold the shared lock so that finalisation cannot free it under them;
// creating and finalising take it exclusively. Freed loggers leave an empty slot so ids stay unique.
struct TRegistry {
  TRegistryClock Clock;
  std::shared_mutex Lock;
  std::vector<std::unique_ptr<TLogger>> Loggers;
};

TRegistry& Registry() {
  SystemClock();  // constructed first, so it outlives the loggers that close their files at exit
  static TRegistry registry;
  return registry;
}

template <typename R, typename F>
R WithLogger(int id, R fallback, F&& action) {
  TRegistry& registry = Registry();
  std::shared_lock lock(registry.Lock);
  if (id < 0 || static_cast<size_t>(id) >= registry.Loggers.size() || !registry.Loggers[id])
    return fallback;
  return action(*registry.Loggers[id]);
}

template <typename F>
void WithLogger(int id, F&& action) {
  WithLogger(id, 0, [&](TLogger& logger) {
    action(logger);
    return 0;
  });
}
}  // namespace

int CreateLogger() {
  TRegistry& registry = Registry();
  std::unique_lock lock(registry.Lock);
  const int id = static_cast<int>(registry.Loggers.size());
  registry.Loggers.push_back(std::make_unique<TLogger>(id, registry.Clock));
  return id;
}

void LogIt(int id, const std::string& text) {
  WithLogger(id, [&](TLogger& l) { l.LogIt(text); });
}

void LogWarn(int id, const std::string& text) {
  WithLogger(id, [&](TLogger& l) { l.LogIt("WARN:  " + text); });
}

void LogError(int id, const std::string& text) {
  WithLogger(id, [&](TLogger& l) { l.LogError(text); });
}

void LogException(int id, const std::string& text, const std::exception& e) {
  WithLogger(id, [&](TLogger& l) { l.LogException(text, e); });
}

void LogAppend(int id, const std::string& text) {
  WithLogger(id, [&](TLogger& l) { l.LogAppend(text); });
}

void LogNewLine(int id) {
  WithLogger(id, [&](TLogger& l) { l.LogNewLine(); });
}

void FlushLoggers() {
  TRegistry& registry = Registry();
  std::shared_lock lock(registry.Lock);
  for (auto& logger : registry.Loggers)
    if (logger) logger->Flush();
}

bool LogEnabled(int id) {
  return WithLogger(id, false, [](TLogger& l) { return l.LogEnabled(); });
}

std::string InternLogFileName(int id) {
  return WithLogger(id, std::string(), [](TLogger& l) { return l.InternLogFileName(); });
}

std::string GetLogFileName(int id) {
  return WithLogger(id, std::string(), [](TLogger& l) { return l.LogFileName(); });
}

void LogFileName(int id, const std::string& name, bool errorLog) {
  WithLogger(id, [&](TLogger& l) { l.SetLogFileName(name, errorLog); });
}

std::string ErrorMsg(int id) {
  return WithLogger(id, std::string(), [](TLogger& l) { return l.ErrorMsg(); });
}

void HeaderLines(int id, std::vector<std::string> lines) {
  WithLogger(id, [&](TLogger& l) { l.SetHeaderLines(std::move(lines)); });
}

std::vector<std::string> GetHeaderLines(int id) {
  return WithLogger(id, std::vector<std::string>(), [](TLogger& l) { return l.HeaderLines(); });
}

void SetLimit(int id, TLogLimitType limitType, uint32_t size) {
  WithLogger(id, [&](TLogger& l) { l.SetLimit(limitType, size); });
}

void SaveEnabled(int id, bool enabled) {
  WithLogger(id, [&](TLogger& l) { l.SetSaveEnabled(enabled); });
}

void SavePath(int id, const std::string& folder) {
  WithLogger(id, [&](TLogger& l) { l.SetSavePath(folder); });
}

void SetLoggerClock(const TClock* clock) { Registry().Clock.Set(clock); }

void FinalizeLoggers() {
  LogIt(0, "LogUnit.finalization");
  TRegistry& registry = Registry();
  std::unique_lock lock(registry.Lock);
  for (auto& logger : registry.Loggers) logger.reset();
}

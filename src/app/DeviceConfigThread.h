#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// One setting written to an instrument: the command for the session and the check that the
// instrument's reports show it in force.
struct TDeviceConfigStep {
  std::string Cmd;
  std::string CmdText;
  std::function<bool()> Confirmed;  // read from the session's state; must be thread-safe
};

// Writes a device configuration off the window thread: the steps one after another, each sent
// only when the one before is confirmed by the instrument's reports, so that the command queue
// never holds settings that contradict each other. Progress and the end are reported through the
// callbacks, on this thread; the owner hands them to its window. The destructor cancels and joins.
class TDeviceConfigThread {
 public:
  using TSend = std::function<void(const std::string& cmd, const std::string& cmdText)>;
  // Steps done so far, their count, and what runs now.
  using TProgress = std::function<void(size_t done, size_t count, const std::string& text)>;
  using TFinished = std::function<void(bool ok, const std::string& text)>;

  TDeviceConfigThread(TSend send, TProgress progress, TFinished finished,
                      std::chrono::milliseconds stepLimit = std::chrono::seconds(10),
                      std::chrono::milliseconds poll = std::chrono::milliseconds(20));
  ~TDeviceConfigThread();
  TDeviceConfigThread(const TDeviceConfigThread&) = delete;
  TDeviceConfigThread& operator=(const TDeviceConfigThread&) = delete;

  // Starts the steps; false while an earlier start still runs.
  bool Start(std::vector<TDeviceConfigStep> steps);
  // Stops after the step that is being sent; the end is reported as cancelled.
  void Cancel();
  bool Running() const { return FRunning.load(); }

  static std::string StepText(size_t index, size_t count, const std::string& cmdText);
  inline static const std::string kDone = "Device configuration done";
  inline static const std::string kNothing = "Nothing to change";
  inline static const std::string kCancelled = "Device configuration cancelled";
  static std::string NotConfirmedText(const std::string& cmdText, std::chrono::milliseconds limit);

 private:
  void Run(std::vector<TDeviceConfigStep> steps);
  // True when confirmed; false on time-out or cancel.
  bool WaitConfirmed(const TDeviceConfigStep& step);
  bool Cancelled();
  void Join();

  TSend FSend;
  TProgress FProgress;
  TFinished FFinished;
  std::chrono::milliseconds FStepLimit;
  std::chrono::milliseconds FPoll;
  std::mutex FLock;
  std::condition_variable FWake;
  bool FCancel = false;
  std::atomic<bool> FRunning{false};
  std::thread FThread;
};

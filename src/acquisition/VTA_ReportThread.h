#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <unordered_map>

#include "core/NamedEvent.h"

class TDebugConf;
class TMessageList;
class TSessionItem;
class TSessionLists;

// How long the report thread sleeps after a pass in which no session had data.
struct TReportTimeouts {
  std::chrono::milliseconds Receive{100};  // some polled session is open
  std::chrono::milliseconds Serial{10};    // ... and a directly attached serial counter is present
  std::chrono::milliseconds Idle{1000};    // no slot, or no polled session is open
};

// The wait after an idle pass: Idle without slots or without an open polled session, else Serial
// when a directly attached serial counter is present, else Receive.
std::chrono::milliseconds ChooseWaitTime(int32_t slotCount, int32_t openedCount, bool hasSerialSession,
                                         const TReportTimeouts& timeouts);

// Waits on the data-arrival event; replaceable so that tests see which time-out was asked for.
using TReportWaiter = std::function<void(TEvent& event, std::chrono::milliseconds timeout)>;

struct TReportThreadOptions {
  // The data-arrival event; none = the process-wide "BaseReceiveEvent" every receive ring sets.
  std::shared_ptr<TEvent> Event;
  TReportTimeouts Timeouts;
  // None = event.WaitFor(timeout).
  TReportWaiter Wait;
  // Receives the errors the user must see (via-thread variants); none = only logged.
  TMessageList* Messages = nullptr;
  // Diagnostic lines in category 13 and exception lines; none = no lines.
  const TDebugConf* DebugConf = nullptr;
};

// The one worker thread that drives all acquisition: it polls GetReport of every session whose open
// string is not "none", again at once while any had data, else it sleeps on the data-arrival event.
// The event is reset before each pass, so data that arrives during a pass wakes the next wait at once.
//
// It owns nothing it polls: its owner stops it (Stop or destruction) before the session lists, the
// message list or the debug configuration go. The lists refuse to be destroyed while it is attached.
// An exception from one poll costs only that poll; it is logged and reported to the message list
// once per run of equal failures of that session, and the pass goes on.
class TVTA_ReportThread {
 public:
  // Starts at once.
  explicit TVTA_ReportThread(TSessionLists& lists, TReportThreadOptions options = {});
  // Stops and joins.
  ~TVTA_ReportThread();
  TVTA_ReportThread(const TVTA_ReportThread&) = delete;
  TVTA_ReportThread& operator=(const TVTA_ReportThread&) = delete;

  // Tells the thread to end, wakes it, waits for the end of its pass and detaches it from the
  // lists. Idempotent; window thread only.
  void Stop();
  bool Stopped() const { return !FThread.joinable(); }

  // Whether some session is a directly attached serial counter; call after every change of the
  // session list.
  void CheckSerialConnections();
  // Marks the session as being removed (nullptr clears the mark) and returns once the thread is not
  // polling it; from then on it is skipped until the mark is cleared or the session removed.
  void RemoveSession(TSessionItem* aSession);

  bool HasSerialSession() const { return FHasSerialSession.load(); }
  // Completed passes, for diagnostics and tests.
  uint64_t PassCount() const { return FPassCount.load(); }

 private:
  struct TPass {
    int32_t Slots = 0;
    int32_t Opened = 0;
    int32_t Busy = 0;
  };

  void Execute();
  TPass RunPass();
  bool Poll(TSessionItem& session, bool markedRemoved);
  void ReportPollFailure(TSessionItem& session, const std::string& className, const std::string& message);
  void ReportPassFailure(const std::string& className, const std::string& message);
  void Info(const std::string& text) const;
  void LogFailure(const std::string& text, const std::exception* e) const;

  const std::string FDbgTag = "TVTA_ReportThread";
  TSessionLists& FLists;
  TReportThreadOptions FOptions;
  std::shared_ptr<TEvent> FReceiveEvent;
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FHasSerialSession{false};
  std::atomic<uint64_t> FPassCount{0};
  // Report thread only: the last error shown for a pass, and per session instance for its polls.
  std::string FLastShownError;
  std::unordered_map<uint64_t, std::string> FLastPollError;
  std::thread FThread;  // last: starts after everything above is set
};

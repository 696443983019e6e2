#pragma once
#include <csignal>
#include <functional>
#include <memory>
#include <string>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into a call on the event loop of the thread that installed it: the
// signal handler only writes one byte into a pipe (async-signal-safe), a socket notifier on the
// other end calls OnSignal. One instance at a time; the previous handlers come back when it goes.
// Work that runs before the event loop does (start-up) polls Received() to stop early.
class TSignalPipe {
 public:
  explicit TSignalPipe(std::function<void(int signal)> onSignal);
  ~TSignalPipe();
  TSignalPipe(const TSignalPipe&) = delete;
  TSignalPipe& operator=(const TSignalPipe&) = delete;

  // Empty when the handlers are installed, else the reason.
  const std::string& Error() const { return FError; }
  // The last signal caught since installation, 0 for none; set at once, without the event loop.
  int Received() const;

 private:
  void Drain();

  std::function<void(int)> FOnSignal;
  std::string FError;
  int FReadFd = -1;
  int FWriteFd = -1;
  struct sigaction FOldInt {};
  struct sigaction FOldTerm {};
  bool FInstalled = false;
  std::unique_ptr<QSocketNotifier> FNotifier;
};

#pragma once
#include <atomic>
#include <string>
#include <thread>

// Two pseudo terminals joined by a relay thread of the test process: a serial line without
// hardware and without a child process (the thread sanitizer loses track of the test's locks
// after Qt forks socat). One end plays the instrument, the other is opened as the host's port.
// Unplug drops both ends, as pulling the cable does.
class TPtyRelay {
 public:
  // With hostLink, the host end is also reachable under that fixed path, so that a later relay can
  // stand in for the same port after an unplug.
  explicit TPtyRelay(const std::string& hostLink = {});
  ~TPtyRelay();
  TPtyRelay(const TPtyRelay&) = delete;
  TPtyRelay& operator=(const TPtyRelay&) = delete;

  // Empty when the relay is up, else why not.
  const std::string& Error() const { return FError; }
  const std::string& InstrumentPath() const { return FInstrumentPath; }
  const std::string& HostPath() const { return FHostPath; }
  void Unplug();

 private:
  void Run();

  int FMaster[2] = {-1, -1};
  int FSlave[2] = {-1, -1};  // held open so that the masters never read end-of-file between users
  std::string FInstrumentPath;
  std::string FHostPath;
  std::string FError;
  std::atomic<bool> FStop = false;
  std::thread FThread;
};

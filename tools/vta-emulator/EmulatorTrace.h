#pragma once
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

#include "InstrumentModel.h"

// The emulator's account of what it sent and did, one line each: "<ms> <who> <what>", ms counted
// from the start. Without a file nothing is written.
class TEmulatorTrace {
 public:
  explicit TEmulatorTrace(const std::string& path);
  ~TEmulatorTrace();
  TEmulatorTrace(const TEmulatorTrace&) = delete;
  TEmulatorTrace& operator=(const TEmulatorTrace&) = delete;

  bool IsOpen() const { return FFile != nullptr; }
  void Sent(const std::string& who, const TEmulatedReport& report);
  void Note(const std::string& who, const std::string& text);

 private:
  std::mutex FMutex;
  std::FILE* FFile = nullptr;
  const std::chrono::steady_clock::time_point FStart = std::chrono::steady_clock::now();
};

#pragma once
#include <atomic>
#include <string>
#include <string_view>

// One end of a serial line opened raw and non-blocking, as the emulated counters use it: bytes
// written until done, the caller stops or the other end goes away, and reads that wait briefly.
class TRawTty {
 public:
  TRawTty() = default;
  ~TRawTty() { Close(); }
  TRawTty(const TRawTty&) = delete;
  TRawTty& operator=(const TRawTty&) = delete;

  // Empty on success, else "Cannot open " + path + ": " + the reason.
  std::string Open(const std::string& path);
  void Close();
  // Writes all bytes unless `stop` is set or the other end went away (the rest is lost, as on a
  // cable).
  void Write(std::string_view bytes, const std::atomic<bool>& stop);
  // What arrived within `waitMs`; empty when nothing did.
  std::string Read(int waitMs);

 private:
  int FFd = -1;
};

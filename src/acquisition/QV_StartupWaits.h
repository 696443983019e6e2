#pragma once
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "core/Clock.h"

// What a counter session waits for after opening before it takes measurements: the instrument's
// transmit buffer cleared, the wanted header reached, the HRQ settings read back and the re-sync
// report. While any of them runs, measurements and time stamps are ignored. The HRQ read is
// watched: it is asked again when no answer came within the time limit, and given up after the
// retries.
class TQVStartupWaits {
 public:
  static constexpr auto HRQWaitLimit = std::chrono::milliseconds(1000);
  static constexpr int32_t HRQMaxRetries = 2;

  enum class THRQCheck { Waiting, Retry, GiveUp };

  bool BufferCleared = false;
  bool ExpectedHeader = false;
  bool HRQData = false;
  bool ReSync = false;  // the re-sync report (0x7F51)

  bool Any() const { return BufferCleared || ExpectedHeader || HRQData || ReSync; }
  // Whether a report with this code is ignored while the waits run.
  bool Ignores(uint16_t code) const;
  // Whether a measurement header is to be compared with the wanted one now.
  bool ChecksExpectedHeader(uint16_t code) const;
  // The four flags as "0"/"1" digits, in the order above.
  std::string FlagText() const;

  // A new HRQ read: its answer is awaited (when HRQData is set) from now on.
  void StartHRQ(std::optional<TSteadyTime> now);
  void EndHRQ();
  // Retry: the limit passed and the read is to be asked again (the watch restarts at now);
  // GiveUp: the retries are used up. Counts the timeouts of the running read.
  THRQCheck CheckHRQ(TSteadyTime now);
  int32_t HRQTimeouts() const { return FHRQTimeouts; }

 private:
  std::optional<TSteadyTime> FHRQStart;  // start of the watched HRQ read; none = not watched
  int32_t FHRQTimeouts = 0;
};

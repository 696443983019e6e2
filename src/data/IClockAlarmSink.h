#pragma once
#include <span>
#include <string>

// What the counter store needs of its session's clock-warning definitions. The store calls it under
// its own lock after every sample that carries a complete set of frequencies; the implementation
// must not call back into the store.
class IClockAlarmSink {
 public:
  virtual ~IClockAlarmSink() = default;
  // freqs[i] is the frequency of channel i + 1 in Hz. Returns the warning text and the
  // end-of-warning text; empty when there is none.
  virtual void CheckFrequencies(std::span<const double> freqs, std::string& alarmText, std::string& alarmOkText) = 0;
  // Warnings also go into the log files.
  virtual bool LogAlarm() const = 0;
  // True when channel kanal (1..24) watches its frequency and freq lies outside its margin.
  virtual bool CheckFrequency(double freq, int kanal) const = 0;
};

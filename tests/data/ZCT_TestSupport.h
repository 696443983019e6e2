#pragma once
// Builders of counter report lines and fakes of the collaborators above the counter store.
#include <cstdio>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "core/Clock.h"
#include "data/IClockAlarmSink.h"
#include "data/IReportLogSink.h"
#include "data/ISamplerSink.h"
#include "data/ZCT_DataManagement.h"
#include "protocol/Phase.h"

namespace zcttest {

// Header words with a 1 s interval (index 9) and a 1 ms interval (index 0).
constexpr uint16_t kPhase1s = 0x0900;
constexpr uint16_t kPhaseAvg1s = 0x1900;
constexpr uint16_t kFreq1s = 0x2900;
constexpr uint16_t kFreqAvg1s = 0x3900;
constexpr uint16_t kDiff1s = 0x4900;
constexpr uint16_t kDiffAvg1s = 0x5900;
constexpr uint16_t kPhase1ms = 0x0000;
constexpr uint16_t kRaw1ms = 0x6000;

inline std::string Hex4(uint16_t value) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "%04X", value);
  return buffer;
}

// ";" + the value right-aligned in 26 characters.
inline std::string Field(const std::string& value) {
  return ";" + std::string(value.size() < 26 ? 26 - value.size() : 0, ' ') + value;
}
inline std::string PhaseField(const Phase& p, int decimals = 11, char separator = '.') {
  return ";" + p.ToColumnString(decimals, separator);
}
inline std::string PhaseField(int64_t whole, double fraction, int decimals = 11, char separator = '.') {
  return PhaseField(Phase{whole, fraction}, decimals, separator);
}
// A text measurement line: the header in 4 hexadecimal digits and one field per channel.
inline std::string Line(uint16_t header, const std::vector<std::string>& fields) {
  std::string line = Hex4(header);
  for (const auto& f : fields) line += f;
  return line;
}
// "; T1 T2 T3" per channel, 16 characters.
inline std::string RawField(uint16_t t1, uint16_t t2, uint16_t t3) {
  return "; " + Hex4(t1) + " " + Hex4(t2) + " " + Hex4(t3);
}

class TFakeSampler : public ISamplerSink {
 public:
  void SetSessionSyncTime(int32_t, bool, const std::string& syncTime) override { SyncTimes.push_back(syncTime); }
  void AddStrings(int32_t, bool, const TMultiSamplerStrings& s) override { Standard.push_back(s); }
  void AddStringsVirtual(int32_t, bool, const TMultiSamplerStrings& s) override { Virtual.push_back(s); }
  void AddStringsSpecial(int32_t, bool, const TMultiSamplerStrings& s) override { Special.push_back(s); }
  void AddString(int32_t, bool, const std::string& line) override {
    Lines.push_back(line);
    Sequence.push_back(line);
  }
  void AddWarning(int32_t, bool, const std::string& text) override {
    Warnings.push_back(text);
    Sequence.push_back(text);
  }
  void AddTimeStamp(int32_t, bool, int64_t) override {}
  void UpdateSession(int32_t sIndex, bool, int32_t what, const std::string& text) override {
    Sessions.emplace_back(sIndex, what, text);
  }
  std::vector<std::string> SyncTimes;
  std::vector<TMultiSamplerStrings> Standard, Virtual, Special;
  std::vector<std::string> Warnings;
  std::vector<std::string> Lines;     // sensor lines
  std::vector<std::string> Sequence;  // sensor lines and warnings in the order they came
  std::vector<std::tuple<int32_t, int32_t, std::string>> Sessions;
};

class TFakeClockAlarm : public IClockAlarmSink {
 public:
  void CheckFrequencies(std::span<const double> freqs, std::string& alarmText, std::string& alarmOkText) override {
    Checked.emplace_back(freqs.begin(), freqs.end());
    alarmText = NextAlarm;
    alarmOkText = NextOk;
  }
  bool LogAlarm() const override { return Log; }
  bool CheckFrequency(double freq, int kanal) const override { return freq > Limit; }
  std::vector<std::vector<double>> Checked;
  std::string NextAlarm, NextOk;
  bool Log = false;
  double Limit = 1e300;
};

class TFakeReportLog : public IReportLogSink {
 public:
  void TcpReportLog(const std::string& data, int32_t logType) override { Lines.emplace_back(data, logType); }
  std::vector<std::pair<std::string, int32_t>> Lines;
};

}  // namespace zcttest

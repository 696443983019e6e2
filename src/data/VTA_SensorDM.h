#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "core/App_Settings.h"
#include "core/Clock.h"
#include "data/App_DataManagement.h"
#include "data/SensorSignalInfo.h"

class ISamplerSink;

// What the warning check of a sensor session made of one value set.
struct TSensorWarning {
  std::string Text;     // empty: no warning
  bool LogAlarm = false;  // the warning also goes into the log files
};

// The sensor session's warning check; runs in the report thread under the store's lock.
using TSensorCheck = std::function<TSensorWarning(std::span<const double> values)>;

// Width of one channel's field in a sensor's log line.
constexpr int kSensorFieldWidth = 26;

// A sensor's log line: every value with 2 decimals and the given separator, right-aligned in 26
// characters; a value that is not a number shows as "-".
std::string SensorLogLine(std::span<const double> values, char decimalSeparator);

// The data store of a sensor session: the current values and a history per channel (one position
// per value set, scale hsNone) for the text and graphic views, the signal of each channel, and the
// log line with its warning for the multi-sampler.
//
// Threads: the report thread writes (AddValues); the views read under the store's lock or through
// the cursor queries of the base.
class TVTA_SensorDM : public TDataManagement {
 public:
  ~TVTA_SensorDM() override;

  // Set before the store is shared with the report thread.
  void SetSampler(ISamplerSink* sampler) { FSampler = sampler; }
  void SetCheck(TSensorCheck check) { FCheck = std::move(check); }
  void SetNumberFormats(const TFormatSettings& win, const TFormatSettings& log);

  // The signals of the session's device; channel k (from 1) shows signal channelToSignal[k - 1]
  // (from 1). Also sets the channel count.
  void SetSignals(std::vector<TSensorSignalInfo> signals, std::vector<int32_t> channelToSignal);

  // One value set (element i = channel i + 1), taken at `time`: stored for the views, checked, and
  // handed to the multi-sampler as a line followed by the warning when the check asks for it. A
  // warning also goes to the user (code 42).
  void AddValues(std::span<const double> values, TWallTime time);

  // ---- Readers (window thread) ----
  // NaN before the first value set or outside the channels.
  double CurrentValue(int32_t kanal) const;
  std::vector<double> CurrentValues() const;
  // Time of the newest value set; empty before the first.
  TWallTime LastTime() const;
  // Value sets since the last Reset.
  int64_t SetCount() const;
  // count positions of channel kanal from startX on (positions wrap).
  std::vector<double> GetValues(int32_t kanal, int32_t startX, int32_t count) const;
  // A value formatted for the window: 2 decimals with the window's separator, "-" for no number.
  std::string ValueText(double value) const;

  int32_t SignalTypeCount() const;
  // Signal from 1; an empty description outside.
  TSensorSignalInfo SignalInfo(int32_t signal) const;
  // Channel from 1 -> signal from 1 (0 outside).
  int32_t ChannelToSignal(int32_t kanal) const;
  std::string ChannelSignalName(int32_t kanal) const { return SignalInfo(ChannelToSignal(kanal)).SignalName; }
  std::string ChannelUnitName(int32_t kanal) const { return SignalInfo(ChannelToSignal(kanal)).UnitName; }
  // Default centre and scale of a graph of the channel.
  double DefaultCenter(int32_t kanal) const { return SignalInfo(ChannelToSignal(kanal)).NullValue; }

  void Reset() override;

 protected:
  friend class TDataManagement;
  TVTA_SensorDM(int32_t aLogID, int32_t aSessId, bool aSessIsCopy);

 private:
  using THistory = std::array<double, DM_HistoryLength>;

  ISamplerSink* FSampler = nullptr;
  TSensorCheck FCheck;
  // Guarded by FLockObj.
  TFormatSettings FFormatWin;
  TFormatSettings FFormatLog;
  std::vector<TSensorSignalInfo> FSignals;
  std::vector<int32_t> FChannelToSignal;
  std::vector<double> FCurrent;
  TWallTime FLastTime{};
  int64_t FSetCount = 0;
  std::vector<THistory> FHistory;  // one per channel
};

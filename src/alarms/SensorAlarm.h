#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/App_Settings.h"

class TClock;

// The watched range of one sensor channel.
struct TSensorRangeInfo {
  double Min = 0;
  double Max = 0;
  bool Warn = false;
  bool operator==(const TSensorRangeInfo&) const = default;
};

// The warning settings of a sensor session.
struct TSensorAlarm {
  int32_t RepeatCount = 5;
  int32_t IdleTime = 5;  // minutes
  bool LogAlarm = false;
  bool operator==(const TSensorAlarm&) const = default;
};

// The "RangeInfo_" settings value of a channel: min + ", " + max + ", " + warn flag.
std::string SensorRangeInfoText(const TSensorRangeInfo& value);
// Accepted only with exactly three parts that all convert; either decimal separator reads.
std::optional<TSensorRangeInfo> ParseSensorRangeInfo(const std::string& text);

// The "Alarm" settings value: repeat count + ", " + idle time + ", " + log flag.
std::string SensorAlarmText(const TSensorAlarm& value);
// Accepted only with exactly three parts that all convert.
std::optional<TSensorAlarm> ParseSensorAlarm(const std::string& text);

// The min/max supervision of a sensor session's channels. One violation count serves the whole
// session (sets in a row with a channel out of range); there is no warning state, the idle time
// alone limits the rate of warnings.
class TSensorAlarmCheck {
 public:
  explicit TSensorAlarmCheck(const TClock& clock, TFormatSettings format = {});

  // Channels from 1; a channel without a range is not watched.
  void SetRangeInfo(int32_t kanal, const TSensorRangeInfo& range);
  TSensorRangeInfo RangeInfo(int32_t kanal) const;
  // Takes the settings and restarts the count and the idle time.
  void SetSensorAlarm(const TSensorAlarm& value);
  const TSensorAlarm& SensorAlarm() const { return FSensorAlarm; }

  // values[i] is channel i + 1. Returns the warning text of this set ("" when there is none).
  void CheckAlarm(std::span<const double> values, std::string& text);

 private:
  const TClock* FClock;
  TFormatSettings FFormat;
  std::vector<TSensorRangeInfo> FRanges;
  TSensorAlarm FSensorAlarm;
  int32_t FAlarmViolationCount = 0;
  std::optional<uint64_t> FLastAlarmTick;
};

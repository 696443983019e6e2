#pragma once
#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>

#include "data/IClockAlarmSink.h"

class TAppSettings;
class TClock;

// The supervision state one watched quantity (a channel, or the common reference clock) goes through:
// good -> (RepeatCount violations) -> in warning -> (RepeatCount good values) -> good. A new warning
// waits for the idle time since the previous one.
struct TClockAlarmState {
  int32_t FBadCount = 0;   // consecutive violations
  int32_t FGoodCount = 0;  // consecutive good values while in warning
  std::optional<uint64_t> FLastAlarmTick;  // ms tick of the last warning; none before the first
  bool FisBad = false;     // in warning
  bool FisGood = true;     // the last value was good

  void Observe(bool violation);
  // Enters warning when enough violations came in a row and the idle time has passed.
  bool Raise(int32_t repeatCount, uint64_t idleMs, uint64_t now);
  // Leaves warning when enough good values came in a row.
  bool Clear(int32_t repeatCount);
};

// One channel's clock supervision: nominal frequency with its margin, whether the channel warns and
// whether it takes part in the reference clock check, and its runtime state. Name and colour mirror
// the channel.
struct TClockAlarmItem {
  enum class TDeviation { None, Low, High };

  int32_t Channel = 0;
  std::string ChannelName;
  uint32_t ChannelColor = 0;
  double Frequence = 10000000.0;  // Hz
  double Epsilon = 0.001;         // Hz
  bool Alarm = false;
  bool RefAlarm = false;
  TClockAlarmState State;

  bool Enabled() const { return Alarm || RefAlarm; }
  // Low below nominal - margin; High when not at most nominal + margin (a value that is not a number
  // counts as high).
  TDeviation Deviation(double freq) const;
  // The settings without the runtime state.
  bool SameSettings(const TClockAlarmItem& other) const;
};

// The session-wide settings of the clock supervision, read and written as one value.
struct TClockAlarmSettings {
  int32_t RepeatCount = 5;  // violations in a row before a warning
  int32_t IdleTime = 5;     // minutes between two warnings
  bool LogAlarm = false;    // warnings also go into the log files

  bool operator==(const TClockAlarmSettings&) const = default;
};

// The clock supervision of a counter session: one item per channel 1..24, the three session-wide
// settings (read and written under the session's key prefix) and the reference clock state. The
// counter store checks each complete set of frequencies in the report thread while the window
// thread may change the settings, so every access but Definition() takes the lock.
class TClockAlarmDefs : public IClockAlarmSink {
 public:
  static constexpr int32_t ChannelCount = 24;
  static constexpr int32_t DefaultRepeatCount = TClockAlarmSettings{}.RepeatCount;
  static constexpr int32_t DefaultIdleTime = TClockAlarmSettings{}.IdleTime;  // minutes

  explicit TClockAlarmDefs(const TClock& clock);
  TClockAlarmDefs();

  // Channels 1..24; other channels reach a spare item that nothing reads. Not locked: for setting up
  // a session before its data run.
  TClockAlarmItem& Definition(int32_t channel);
  const TClockAlarmItem& Definition(int32_t channel) const;
  TClockAlarmItem GetDefinition(int32_t channel) const;
  // Takes the settings of value and restarts the channel's supervision.
  void SetDefinition(int32_t channel, const TClockAlarmItem& value);
  // The nominal frequency follows the session's; the supervision state stays.
  void SetFrequence(int32_t channel, double value);

  TClockAlarmSettings Settings() const;
  void SetSettings(const TClockAlarmSettings& value);
  // Single fields of Settings().
  int32_t RepeatCount() const;
  void SetRepeatCount(int32_t value);
  int32_t IdleTime() const;
  void SetIdleTime(int32_t value);
  bool LogAlarm() const override;
  void SetLogAlarm(bool value);

  // Format 2 files: "Alarm_Def" + channel = frequency + ", " + margin + ", " + warn flag + ", " +
  // reference flag; older files keep "_Freq", "_Eps", "_Alarm" and "_RefAlarm" keys per channel.
  // Then "Alarm_Repeat", "Alarm_Idle" and "Alarm_LogAlarm". Restarts the supervision.
  void ReadSettings(TAppSettings& Settings, const std::string& SettingsPrefix);
  // Writes the format 2 keys and raises the settings format to 2.
  void SaveSettings(TAppSettings& Settings, const std::string& SettingsPrefix) const;

  // Copies the definitions and the session-wide settings into dest and restarts dest's supervision.
  // True when anything differed.
  bool CopyTo(TClockAlarmDefs& dest) const;

  // freqs[i] is channel i + 1. Returns the warning text and the end-of-warning text of this set
  // ("" when there is none).
  void CheckFrequencies(std::span<const double> freqs, std::string& alarmText, std::string& alarmOkText) override;
  // True when channel kanal watches its frequency and freq (a number other than 0) lies outside
  // nominal +- margin.
  bool CheckFrequency(double freq, int kanal) const override;

  // The reference clock state (for display and tests).
  TClockAlarmState RefState() const;

 private:
  void ReadDefinition(TAppSettings& Settings, const std::string& key, TClockAlarmItem& item);
  void ResetStates();
  int32_t RefAlarmCount() const;
  void CheckReference(int32_t refOutCount, bool low, bool high, uint64_t now, std::string& alarmText,
                      std::string& alarmOkText);
  int32_t RepeatNeeded() const;
  uint64_t IdleMs() const;

  const TClock* FClock;
  mutable std::mutex FLock;
  std::array<TClockAlarmItem, ChannelCount> FDefinitions;
  TClockAlarmItem FSpare;
  TClockAlarmSettings FSettings;
  TClockAlarmState FRef;
};

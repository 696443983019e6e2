#pragma once
#include <array>
#include <cstdint>
#include <string>

class TAppSettings;

// One channel's clock supervision settings: nominal frequency with its margin, and whether the
// channel warns and takes part in the reference clock check. Name and colour mirror the channel.
struct TClockAlarmItem {
  int32_t Channel = 0;
  std::string ChannelName;
  uint32_t ChannelColor = 0;
  double Frequence = 10000000.0;  // Hz
  double Epsilon = 0.001;         // Hz
  bool Alarm = false;
  bool RefAlarm = false;

  bool Enabled() const { return Alarm || RefAlarm; }
};

// The clock supervision settings of a counter session: one item per channel 1..24 and the three
// session-wide settings, read and written under the session's key prefix. The supervision itself
// (counting violations and raising warnings) joins with the warnings subsystem.
class TClockAlarmDefs {
 public:
  static constexpr int32_t ChannelCount = 24;
  static constexpr int32_t DefaultRepeatCount = 5;
  static constexpr int32_t DefaultIdleTime = 5;  // minutes

  TClockAlarmDefs();

  // Channels 1..24; other channels reach a spare item that nothing reads.
  TClockAlarmItem& Definition(int32_t channel);
  const TClockAlarmItem& Definition(int32_t channel) const;

  int32_t RepeatCount() const { return FRepeatCount; }
  void SetRepeatCount(int32_t value) { FRepeatCount = value; }
  int32_t IdleTime() const { return FIdleTime; }
  void SetIdleTime(int32_t value) { FIdleTime = value; }
  bool LogAlarm() const { return FLogAlarm; }
  void SetLogAlarm(bool value) { FLogAlarm = value; }

  // Format 2 files: "Alarm_Def" + channel = frequency + ", " + margin + ", " + warn flag + ", " +
  // reference flag; older files keep "_Freq", "_Eps", "_Alarm" and "_RefAlarm" keys per channel.
  // Then "Alarm_Repeat", "Alarm_Idle" and "Alarm_LogAlarm".
  void ReadSettings(TAppSettings& Settings, const std::string& SettingsPrefix);
  // Writes the format 2 keys and raises the settings format to 2.
  void SaveSettings(TAppSettings& Settings, const std::string& SettingsPrefix) const;

 private:
  void ReadDefinition(TAppSettings& Settings, const std::string& key, TClockAlarmItem& item);

  std::array<TClockAlarmItem, ChannelCount> FDefinitions;
  TClockAlarmItem FSpare;
  int32_t FRepeatCount = DefaultRepeatCount;
  int32_t FIdleTime = DefaultIdleTime;
  bool FLogAlarm = false;
};

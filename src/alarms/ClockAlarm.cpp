#include "alarms/ClockAlarm.h"

#include <optional>
#include <vector>

#include "core/App_Settings.h"
#include "core/QV_NumberText.h"

namespace {

std::optional<bool> BoolPart(const std::string& text) {
  const std::string_view value = TrimBlanks(text);
  if (value == "True" || value == "true" || value == "1") return true;
  if (value == "False" || value == "false" || value == "0") return false;
  return std::nullopt;
}

int32_t ReadInt(TAppSettings& settings, const std::string& key, int32_t defaultValue) {
  try {
    return settings.GetValue(key, defaultValue);
  } catch (const EConvertError&) {
    return defaultValue;
  }
}

double ReadFloat(TAppSettings& settings, const std::string& key, double defaultValue) {
  try {
    return settings.GetValue(key, defaultValue);
  } catch (const EConvertError&) {
    return defaultValue;
  }
}

}  // namespace

TClockAlarmDefs::TClockAlarmDefs() {
  for (int32_t ch = 1; ch <= ChannelCount; ++ch) FDefinitions[ch - 1].Channel = ch;
}

TClockAlarmItem& TClockAlarmDefs::Definition(int32_t channel) {
  return channel >= 1 && channel <= ChannelCount ? FDefinitions[channel - 1] : FSpare;
}

const TClockAlarmItem& TClockAlarmDefs::Definition(int32_t channel) const {
  return channel >= 1 && channel <= ChannelCount ? FDefinitions[channel - 1] : FSpare;
}

void TClockAlarmDefs::ReadSettings(TAppSettings& Settings, const std::string& SettingsPrefix) {
  const bool perChannelKeys = Settings.VersionFormat() <= 1;
  for (TClockAlarmItem& item : FDefinitions) {
    const std::string key = SettingsPrefix + "Alarm_Def" + std::to_string(item.Channel);
    if (perChannelKeys) {
      item.Frequence = ReadFloat(Settings, key + "_Freq", item.Frequence);
      item.Epsilon = ReadFloat(Settings, key + "_Eps", item.Epsilon);
      item.Alarm = Settings.GetValue(key + "_Alarm", item.Alarm);
      item.RefAlarm = Settings.GetValue(key + "_RefAlarm", item.RefAlarm);
    } else {
      ReadDefinition(Settings, key, item);
    }
  }
  FRepeatCount = ReadInt(Settings, SettingsPrefix + "Alarm_Repeat", FRepeatCount);
  FIdleTime = ReadInt(Settings, SettingsPrefix + "Alarm_Idle", FIdleTime);
  FLogAlarm = Settings.GetValue(SettingsPrefix + "Alarm_LogAlarm", FLogAlarm);
}

// A definition with fewer than four parts takes the defaults; a part that does not convert keeps
// what was read before it.
void TClockAlarmDefs::ReadDefinition(TAppSettings& Settings, const std::string& key, TClockAlarmItem& item) {
  const TFormatSettings fs = Settings.FormatSettings();
  const TClockAlarmItem defaults;
  const std::string defaultText = FloatToText(defaults.Frequence, fs) + ", " + FloatToText(defaults.Epsilon, fs) +
                                  ", " + BoolText(defaults.Alarm) + ", " + BoolText(defaults.RefAlarm);
  const std::vector<std::string> parts = SplitText(Settings.GetValue(key, defaultText), ", ");
  if (parts.size() < 4) {
    item.Frequence = defaults.Frequence;
    item.Epsilon = defaults.Epsilon;
    item.Alarm = defaults.Alarm;
    item.RefAlarm = defaults.RefAlarm;
    return;
  }
  const auto number = [&](const std::string& text) {
    return TextToFloat(NormaliseDecimalSeparator(text, fs.DecimalSeparator), fs);
  };
  const auto frequence = number(parts[0]);
  if (!frequence) return;
  item.Frequence = *frequence;
  const auto epsilon = number(parts[1]);
  if (!epsilon) return;
  item.Epsilon = *epsilon;
  const auto alarm = BoolPart(parts[2]);
  if (!alarm) return;
  item.Alarm = *alarm;
  if (const auto refAlarm = BoolPart(parts[3])) item.RefAlarm = *refAlarm;
}

void TClockAlarmDefs::SaveSettings(TAppSettings& Settings, const std::string& SettingsPrefix) const {
  Settings.SetVersionFormat(2);
  const TFormatSettings fs = Settings.FormatSettings();
  for (const TClockAlarmItem& item : FDefinitions)
    Settings.SetValue(SettingsPrefix + "Alarm_Def" + std::to_string(item.Channel),
                      FloatToText(item.Frequence, fs) + ", " + FloatToText(item.Epsilon, fs) + ", " +
                          BoolText(item.Alarm) + ", " + BoolText(item.RefAlarm));
  Settings.SetValue(SettingsPrefix + "Alarm_Repeat", FRepeatCount);
  Settings.SetValue(SettingsPrefix + "Alarm_Idle", FIdleTime);
  Settings.SetValue(SettingsPrefix + "Alarm_LogAlarm", FLogAlarm);
}

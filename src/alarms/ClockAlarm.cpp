#include "alarms/ClockAlarm.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "core/App_Settings.h"
#include "core/Clock.h"
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

// Starts a list text with head + number, or extends it with ", " + number.
void AddChannel(std::string& text, const char* head, int32_t channel) {
  text += text.empty() ? head : ", ";
  text += std::to_string(channel);
}

// Appends " -> " + what to a text, or makes what the text.
void AddReference(std::string& text, const char* what) {
  text += text.empty() ? what : std::string(" -> ") + what;
}

}  // namespace

// ============================== Supervision state ==============================

void TClockAlarmState::Observe(bool violation) {
  if (violation) {
    ++FBadCount;
    FisGood = false;
    FGoodCount = 0;
  } else {
    FBadCount = 0;
    if (FisBad) ++FGoodCount;
  }
}

bool TClockAlarmState::Raise(int32_t repeatCount, uint64_t idleMs, uint64_t now) {
  if (FisBad || FBadCount < repeatCount) return false;
  if (FLastAlarmTick && now - *FLastAlarmTick < idleMs) return false;
  FisBad = true;
  FLastAlarmTick = now;
  FGoodCount = 0;
  return true;
}

bool TClockAlarmState::Clear(int32_t repeatCount) {
  if (FGoodCount < repeatCount) return false;
  FisBad = false;
  FisGood = true;
  FGoodCount = 0;
  return true;
}

// ============================== Channel item ==============================

TClockAlarmItem::TDeviation TClockAlarmItem::Deviation(double freq) const {
  if (freq < Frequence - Epsilon) return TDeviation::Low;
  if (!(freq <= Frequence + Epsilon)) return TDeviation::High;
  return TDeviation::None;
}

bool TClockAlarmItem::SameSettings(const TClockAlarmItem& other) const {
  return Channel == other.Channel && ChannelName == other.ChannelName && ChannelColor == other.ChannelColor &&
         Frequence == other.Frequence && Epsilon == other.Epsilon && Alarm == other.Alarm &&
         RefAlarm == other.RefAlarm;
}

// ============================== Definitions ==============================

TClockAlarmDefs::TClockAlarmDefs(const TClock& clock) : FClock(&clock) {
  for (int32_t ch = 1; ch <= ChannelCount; ++ch) FDefinitions[ch - 1].Channel = ch;
}

TClockAlarmDefs::TClockAlarmDefs() : TClockAlarmDefs(SystemClock()) {}

TClockAlarmItem& TClockAlarmDefs::Definition(int32_t channel) {
  return channel >= 1 && channel <= ChannelCount ? FDefinitions[channel - 1] : FSpare;
}

const TClockAlarmItem& TClockAlarmDefs::Definition(int32_t channel) const {
  return channel >= 1 && channel <= ChannelCount ? FDefinitions[channel - 1] : FSpare;
}

TClockAlarmItem TClockAlarmDefs::GetDefinition(int32_t channel) const {
  std::lock_guard guard(FLock);
  return Definition(channel);
}

void TClockAlarmDefs::SetDefinition(int32_t channel, const TClockAlarmItem& value) {
  std::lock_guard guard(FLock);
  TClockAlarmItem& item = Definition(channel);
  item = value;
  item.Channel = channel;
  item.State = {};
}

void TClockAlarmDefs::SetFrequence(int32_t channel, double value) {
  std::lock_guard guard(FLock);
  Definition(channel).Frequence = value;
}

TClockAlarmSettings TClockAlarmDefs::Settings() const {
  std::lock_guard guard(FLock);
  return FSettings;
}

void TClockAlarmDefs::SetSettings(const TClockAlarmSettings& value) {
  std::lock_guard guard(FLock);
  FSettings = value;
}

int32_t TClockAlarmDefs::RepeatCount() const {
  std::lock_guard guard(FLock);
  return FSettings.RepeatCount;
}

void TClockAlarmDefs::SetRepeatCount(int32_t value) {
  std::lock_guard guard(FLock);
  FSettings.RepeatCount = value;
}

int32_t TClockAlarmDefs::IdleTime() const {
  std::lock_guard guard(FLock);
  return FSettings.IdleTime;
}

void TClockAlarmDefs::SetIdleTime(int32_t value) {
  std::lock_guard guard(FLock);
  FSettings.IdleTime = value;
}

bool TClockAlarmDefs::LogAlarm() const {
  std::lock_guard guard(FLock);
  return FSettings.LogAlarm;
}

void TClockAlarmDefs::SetLogAlarm(bool value) {
  std::lock_guard guard(FLock);
  FSettings.LogAlarm = value;
}

TClockAlarmState TClockAlarmDefs::RefState() const {
  std::lock_guard guard(FLock);
  return FRef;
}

void TClockAlarmDefs::ResetStates() {
  for (TClockAlarmItem& item : FDefinitions) item.State = {};
  FRef = {};
}

void TClockAlarmDefs::ReadSettings(TAppSettings& Settings, const std::string& SettingsPrefix) {
  // The settings lock before ours, here and in SaveSettings: the application saves while it holds
  // the settings lock, so taking ours first could deadlock.
  const auto settingsLock = Settings.Lock();
  std::lock_guard guard(FLock);
  ResetStates();
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
  FSettings.RepeatCount = ReadInt(Settings, SettingsPrefix + "Alarm_Repeat", FSettings.RepeatCount);
  FSettings.IdleTime = ReadInt(Settings, SettingsPrefix + "Alarm_Idle", FSettings.IdleTime);
  FSettings.LogAlarm = Settings.GetValue(SettingsPrefix + "Alarm_LogAlarm", FSettings.LogAlarm);
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
  const auto settingsLock = Settings.Lock();
  std::lock_guard guard(FLock);
  Settings.SetVersionFormat(2);
  const TFormatSettings fs = Settings.FormatSettings();
  for (const TClockAlarmItem& item : FDefinitions)
    Settings.SetValue(SettingsPrefix + "Alarm_Def" + std::to_string(item.Channel),
                      FloatToText(item.Frequence, fs) + ", " + FloatToText(item.Epsilon, fs) + ", " +
                          BoolText(item.Alarm) + ", " + BoolText(item.RefAlarm));
  Settings.SetValue(SettingsPrefix + "Alarm_Repeat", FSettings.RepeatCount);
  Settings.SetValue(SettingsPrefix + "Alarm_Idle", FSettings.IdleTime);
  Settings.SetValue(SettingsPrefix + "Alarm_LogAlarm", FSettings.LogAlarm);
}

bool TClockAlarmDefs::CopyTo(TClockAlarmDefs& dest) const {
  if (&dest == this) return false;
  std::scoped_lock guard(FLock, dest.FLock);
  bool changed = dest.FSettings != FSettings;
  for (size_t i = 0; i < FDefinitions.size(); ++i) {
    changed = changed || !dest.FDefinitions[i].SameSettings(FDefinitions[i]);
    dest.FDefinitions[i] = FDefinitions[i];
  }
  dest.FSettings = FSettings;
  dest.ResetStates();
  return changed;
}

// ============================== Checking ==============================

// A warning needs at least one violation, whatever the settings say.
int32_t TClockAlarmDefs::RepeatNeeded() const { return std::max(FSettings.RepeatCount, 1); }

uint64_t TClockAlarmDefs::IdleMs() const { return static_cast<uint64_t>(std::max(FSettings.IdleTime, 0)) * 60000; }

// Counted from the definitions at each check, so that the reference check works whichever way the
// flags were set (settings file, dialog, code).
int32_t TClockAlarmDefs::RefAlarmCount() const {
  int32_t count = 0;
  for (const TClockAlarmItem& item : FDefinitions) count += item.RefAlarm;
  return count;
}

void TClockAlarmDefs::CheckFrequencies(std::span<const double> freqs, std::string& alarmText,
                                       std::string& alarmOkText) {
  std::lock_guard guard(FLock);
  alarmText.clear();
  alarmOkText.clear();
  const uint64_t now = FClock->TickMs();
  const int32_t repeat = RepeatNeeded();
  int32_t refOutCount = 0;
  bool low = false, high = false;
  const size_t channels = std::min(freqs.size(), FDefinitions.size());
  for (size_t i = 0; i < channels; ++i) {
    TClockAlarmItem& item = FDefinitions[i];
    if (!item.Enabled()) continue;
    const TClockAlarmItem::TDeviation deviation = item.Deviation(freqs[i]);
    const bool out = deviation != TClockAlarmItem::TDeviation::None;
    item.State.Observe(out);
    if (out) {
      refOutCount += item.RefAlarm;
      (deviation == TClockAlarmItem::TDeviation::Low ? low : high) = true;
    }
    if (out && item.Alarm && item.State.Raise(repeat, IdleMs(), now))
      AddChannel(alarmText, "Frequency warning on channel ", item.Channel);
    else if (item.State.Clear(repeat))
      AddChannel(alarmOkText, "Frequency ok on channel ", item.Channel);
  }
  CheckReference(refOutCount, low, high, now, alarmText, alarmOkText);
}

// The common reference clock is suspect when every reference channel is out of margin and all
// channels out of margin deviate the same way.
void TClockAlarmDefs::CheckReference(int32_t refOutCount, bool low, bool high, uint64_t now, std::string& alarmText,
                                     std::string& alarmOkText) {
  const int32_t refAlarmCount = RefAlarmCount();
  if (refAlarmCount <= 1) return;
  FRef.Observe(refOutCount >= refAlarmCount && low != high);
  const int32_t repeat = RepeatNeeded();
  if (FRef.Raise(repeat, IdleMs(), now))
    AddReference(alarmText, "Reference clock warning");
  else if (FRef.Clear(repeat))
    AddReference(alarmOkText, "Reference clock ok");
}

bool TClockAlarmDefs::CheckFrequency(double freq, int kanal) const {
  std::lock_guard guard(FLock);
  if (kanal < 1 || kanal > ChannelCount || std::isnan(freq) || freq == 0) return false;
  const TClockAlarmItem& item = FDefinitions[kanal - 1];
  return item.Enabled() && item.Deviation(freq) != TClockAlarmItem::TDeviation::None;
}

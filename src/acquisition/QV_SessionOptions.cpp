#include "acquisition/QV_SessionOptions.h"

#include "core/VTA_Settings.h"

TQVSessionOptions SessionOptionsFrom(TVTASettings& settings) {
  TQVSessionOptions options;
  options.FormatWin = settings.FormatSettingsWin();
  options.FormatLog = settings.FormatSettingsLog();
  options.LogTimeFormat = settings.LogTimeFormat();
  options.LogTimeSourceZCT = settings.LogTimeSourceZCT();
  options.LogTimeZoneSystem = settings.LogTimeZoneSystem();
  options.GlobalNomFrequ = settings.GlobalNomFrequ();
  options.TempUnit = settings.TempUnit();
  for (int ch = 1; ch <= TVTASettings::kNomFreqChannels; ++ch) options.GlobalNomFreq[ch - 1] = settings.GetNomFreq(ch);
  return options;
}

// Any settings file through the readers above the key store (global options, log definitions,
// notifications, clock warnings, channel records, mail logins): reading never crashes or hangs,
// and what is read, saved and read again is the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "FuzzScratchFolder.h"
#include "acquisition/QV_ChannelData.h"
#include "acquisition/VTA_Sessions.h"
#include "alarms/ClockAlarm.h"
#include "alarms/Notifications.h"
#include "core/AppPaths.h"
#include "core/App_Settings.h"
#include "core/Clock.h"
#include "core/VTA_Settings.h"
#include "logging/App_LogDefinition.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// A value that is no number of the asked type is refused by the store's typed getters with
// EConvertError; an unreadable file or an out-of-range count by ESettingsFileError. The callers
// report both; anything else must not escape.
template <typename Read>
void Refusing(Read read) {
  try {
    read();
  } catch (const EConvertError&) {
  } catch (const ESettingsFileError&) {
  }
}

void ReadGlobalOptions(TVTASettings& s) {
  s.FormatSettingsWin();
  s.TempUnit();
  s.TempUnitString();
  s.MailIsDefault();
  if (const auto login = s.MailConfigLogin()) login->GetPassword();
  s.GlobalNomFrequ();
  for (int ch = 0; ch <= 25; ++ch) s.GetNomFreq(ch);
  s.AppDebugLog();
  s.DebugRootFolder();
  s.LogRootFolder();
  s.LogTimeFormat();
  s.SessionCount();
  s.ChildCount();
  s.MainPlacement(TMainPlacement{});
}

void ReadLogDefinitionsTwice(TAppSettings& s) {
  const auto definitions = ReadLogDefinitions(s);
  std::vector<const TLogDefinition*> kept;
  for (const auto& d : definitions) kept.push_back(d.get());
  TAppSettings saved;
  SaveLogDefinitions(saved, kept);
  const auto stored = std::count_if(kept.begin(), kept.end(), [](const TLogDefinition* d) { return d != nullptr; });
  Check(ReadLogDefinitions(saved).size() == static_cast<size_t>(stored));
}

void ReadNotificationsTwice(TAppSettings& s) {
  TNotificationList list(nullptr, "fuzzhost");
  list.ReadSettings(s, 4);
  TAppSettings saved;
  list.SaveSettings(saved);
  TNotificationList again(nullptr, "fuzzhost");
  again.ReadSettings(saved, 4);
  Check(again.Count() == list.Count());
}

void ReadSession(TAppSettings& s, int32_t index) {
  const std::string prefix = "Session_" + std::to_string(index) + "_";
  StoredSessionType(s, index);
  TManualClock clock;
  TClockAlarmDefs alarms(clock);
  alarms.ReadSettings(s, prefix);
  TQV_ChannelData channels;
  ReadChannelRecord(s, prefix, channels);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const TFuzzScratchFolder folder;
  static const TAppPaths paths = TAppPaths::Resolve(folder.Path(), folder.Path(), folder.Path(), folder.Path());
  const std::string file = paths.SettingsFile();
  std::ofstream(file, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data), size);
  std::unique_ptr<TVTASettings> settings;
  Refusing([&] { settings = std::make_unique<TVTASettings>(file, paths, size % 2); });  // a damaged format version
  if (!settings) return 0;
  TVTASettings& s = *settings;
  Refusing([&] { ReadGlobalOptions(s); });
  Refusing([&] { ReadLogDefinitionsTwice(s); });
  Refusing([&] { ReadNotificationsTwice(s); });
  for (int32_t index = 0; index < 2; ++index) Refusing([&] { ReadSession(s, index); });
  return 0;
}

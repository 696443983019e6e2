#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "core/App_Settings.h"
#include "core/AppPaths.h"
#include "core/EMailServerLogin.h"

// Placement of the main window as stored under "Main_".
struct TMainPlacement {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Width = 0;
  int32_t Height = 0;
  bool operator==(const TMainPlacement&) const = default;
};

// The application's settings file "VTA_App.ini" with the global options. Creating it loads the file
// and reads the global keys in the order a new file receives them; the keys from "Debug_LogMain" on
// are read when first asked for.
class TVTASettings : public TAppSettings {
 public:
  static constexpr int kNomFreqChannels = 24;
  // The format version a new file is written with.
  static constexpr int32_t kCurrentVersionFormat = 6;

  // `paths` supplies the program folder and the default debug and log folders; `expertMode` is the
  // default of "Debug_LogMain". Throws ESettingsFileError when the file cannot be created or read.
  TVTASettings(const std::string& iniFileName, const TAppPaths& paths, bool expertMode);

  const std::string& ExePath() const { return FExePath; }

  TFormatSettings FormatSettingsWin() const;
  TFormatSettings FormatSettingsLog() const { return FormatSettings(); }
  // Only '.' and ',' are taken; the thousand separator becomes the other one.
  void SetDecSepWin(char DecSep);
  // Also moves the separator inside "LogTimeFormat"; returns whether that format changed.
  bool SetDecSepLog(char DecSep);

  int32_t TempUnit() const;
  void SetTempUnit(int32_t Value);
  std::string TempUnitString() const;  // "°C" or "°F"

  bool MailIsDefault() const;
  void SetMailIsDefault(bool Value);
  TEMailServerLogin MailDefaultLogin() const;
  // Read from the "eMail_Config_" keys on first use; none when they name no host.
  std::optional<TEMailServerLogin> MailConfigLogin();
  void SetMailConfigLogin(const TEMailServerLogin& Value);

  bool GlobalNomFrequ() const;
  void SetGlobalNomFrequ(bool Value);
  // Channels 1 to 24; other channels read 0 and are not written.
  double GetNomFreq(int channel) const;
  // Stores the value and writes all six nominal-frequency keys.
  void SetNomFreq(int channel, double Value);
  void SaveNomFrequs();

  uint8_t TestOptions() const;
  void SetTestOptions(uint8_t Value);

  bool AppDebugLog();
  void SetAppDebugLog(bool Value);
  std::string DebugRootFolder();
  void SetDebugRootFolder(const std::string& Value);
  std::string LogRootFolder();
  void SetLogRootFolder(const std::string& Value);
  std::string LogTimeFormat();
  void SetLogTimeFormat(const std::string& Value);
  bool LogTimeSourceZCT();
  void SetLogTimeSourceZCT(bool Value);
  bool LogTimeZoneSystem();
  void SetLogTimeZoneSystem(bool Value);

  int32_t SessionCount();  // -1 = no saved session
  void SetSessionCount(int32_t Value);
  // `designPlacement` is the default for a file without placement keys.
  TMainPlacement MainPlacement(const TMainPlacement& designPlacement);
  void SetMainPlacement(const TMainPlacement& Value);
  int32_t ChildCount();
  void SetChildCount(int32_t Value);

 private:
  void ReadNomFrequs();

  std::string FExePath;
  bool FExpertMode;
  std::string FDefaultDebugRoot;
  std::string FDefaultLogRoot;
  bool FMailIsDefault = true;
  TEMailServerLogin FDefaultLogin;
  std::optional<TEMailServerLogin> FConfigLogin;
  bool FConfigLoginRead = false;
  TFormatSettings FFormatSettingsWin;
  int32_t FTempUnit = 0;
  std::array<double, kNomFreqChannels> FNom_Frequ{};
  bool FGlobalNomFrequ = false;
  uint8_t FTestOptions = 0;
};

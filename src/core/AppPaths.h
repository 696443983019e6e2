#pragma once
#include <string>

// Where the program keeps its files. The configuration folder stands for the "program folder" of the
// settings file and the debug configuration; the data folder holds debug files, logs and the archive.
// Every folder carries a trailing '/'.
class TAppPaths {
 public:
  // Pure resolution: `configDirOverride` (from --config-dir) wins, else $XDG_CONFIG_HOME/VTA_App/ or
  // ~/.config/VTA_App/; data in $XDG_DATA_HOME/VTA_App/ or ~/.local/share/VTA_App/. Relative or empty
  // XDG values are ignored, as the XDG rules say.
  static TAppPaths Resolve(const std::string& configDirOverride, const std::string& xdgConfigHome,
                           const std::string& xdgDataHome, const std::string& home);
  // Resolve with the process environment.
  static TAppPaths FromEnvironment(const std::string& configDirOverride = {});

  // Creates the configuration folder if it is missing; throws std::runtime_error naming it otherwise.
  void CreateConfigDir() const;

  const std::string& ConfigDir() const { return FConfigDir; }
  const std::string& DataDir() const { return FDataDir; }
  std::string SettingsFile() const { return FConfigDir + "VTA_App.ini"; }
  std::string DebugConfFile() const { return FConfigDir + "VTA_DebugConf.ini"; }
  std::string DefaultDebugRoot() const { return FDataDir + "Debug/"; }
  std::string DefaultLogRoot() const { return FDataDir + "Logs/"; }
  // The folder for documents shared by all users: the archive of the local data server.
  std::string CommonDocumentsFolder() const { return FDataDir + "Archive/"; }

 private:
  TAppPaths(std::string configDir, std::string dataDir);
  std::string FConfigDir;
  std::string FDataDir;
};

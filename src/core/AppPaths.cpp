#include "core/AppPaths.h"

#include <QDir>
#include <cstdlib>
#include <stdexcept>

namespace {

std::string WithSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

std::string Absolute(const std::string& folder) {
  return QDir(QString::fromStdString(folder)).absolutePath().toStdString();
}

bool IsAbsolute(const std::string& folder) { return !folder.empty() && folder.front() == '/'; }

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

}  // namespace

TAppPaths::TAppPaths(std::string configDir, std::string dataDir)
    : FConfigDir(std::move(configDir)), FDataDir(std::move(dataDir)) {}

TAppPaths TAppPaths::Resolve(const std::string& configDirOverride, const std::string& xdgConfigHome,
                             const std::string& xdgDataHome, const std::string& home) {
  const std::string homeDir = WithSlash(home);
  const std::string configHome = IsAbsolute(xdgConfigHome) ? WithSlash(xdgConfigHome) : homeDir + ".config/";
  const std::string dataHome = IsAbsolute(xdgDataHome) ? WithSlash(xdgDataHome) : homeDir + ".local/share/";
  const std::string configDir =
      configDirOverride.empty() ? configHome + "VTA_App/" : WithSlash(Absolute(configDirOverride));
  return TAppPaths(configDir, dataHome + "VTA_App/");
}

TAppPaths TAppPaths::FromEnvironment(const std::string& configDirOverride) {
  return Resolve(configDirOverride, Env("XDG_CONFIG_HOME"), Env("XDG_DATA_HOME"), QDir::homePath().toStdString());
}

void TAppPaths::CreateConfigDir() const {
  if (!QDir().mkpath(QString::fromStdString(FConfigDir)))
    throw std::runtime_error("Configuration folder " + FConfigDir + " not created");
}

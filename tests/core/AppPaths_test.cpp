#include "core/AppPaths.h"

#include <QDir>
#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace {

TEST(AppPaths, ResolvesFoldersWithTrailingSlash) {
  struct TCase {
    const char* Override;
    const char* XdgConfig;
    const char* XdgData;
    const char* Config;
    const char* Data;
  };
  const TCase cases[] = {
      {"", "", "", "/home/u/.config/VTA_App/", "/home/u/.local/share/VTA_App/"},
      {"", "/cfg", "/dat/", "/cfg/VTA_App/", "/dat/VTA_App/"},
      {"", "relative", "rel", "/home/u/.config/VTA_App/", "/home/u/.local/share/VTA_App/"},
      {"/etc/vta", "/cfg", "", "/etc/vta/", "/home/u/.local/share/VTA_App/"},
      {"/etc/vta/", "", "", "/etc/vta/", "/home/u/.local/share/VTA_App/"},
  };
  for (const auto& c : cases) {
    const TAppPaths p = TAppPaths::Resolve(c.Override, c.XdgConfig, c.XdgData, "/home/u");
    EXPECT_EQ(p.ConfigDir(), c.Config) << c.Override << c.XdgConfig;
    EXPECT_EQ(p.DataDir(), c.Data) << c.XdgData;
  }
  const TAppPaths p = TAppPaths::Resolve("", "/c", "/d", "/home/u");
  EXPECT_EQ(p.SettingsFile(), "/c/VTA_App/VTA_App.ini");
  EXPECT_EQ(p.DebugConfFile(), "/c/VTA_App/VTA_DebugConf.ini");
  EXPECT_EQ(p.DefaultDebugRoot(), "/d/VTA_App/Debug/");
  EXPECT_EQ(p.DefaultLogRoot(), "/d/VTA_App/Logs/");
  EXPECT_EQ(p.CommonDocumentsFolder(), "/d/VTA_App/Archive/");
}

TEST(AppPaths, RelativeOverrideBecomesAbsoluteAndIsCreated) {
  TTempDir dir;
  const TAppPaths p = TAppPaths::Resolve(dir.Path() + "a/b", "", "", "/home/u");
  EXPECT_EQ(p.ConfigDir(), dir.Path() + "a/b/");
  p.CreateConfigDir();
  EXPECT_TRUE(QDir(QString::fromStdString(p.ConfigDir())).exists());
  const TAppPaths relative = TAppPaths::Resolve("cfg", "", "", "/home/u");
  EXPECT_EQ(relative.ConfigDir(), QDir::currentPath().toStdString() + "/cfg/");
}

}  // namespace

#pragma once
// A settings file in a fresh folder for the settings dialogs, and the dialogs' screenshots.
#include <QCoreApplication>
#include <QDir>
#include <QWidget>
#include <gtest/gtest.h>

#include "core/AppPaths.h"
#include "core/VTA_Settings.h"
#include "support/TempDir.h"

struct TDialogSettings {
  TTempDir dir;
  TAppPaths paths = TAppPaths::Resolve(dir.Path(), "", dir.Path() + "data", "/home/nobody");
  TVTASettings settings{dir.File("VTA_App.ini"), paths, false};
};

// Writes the dialog as <name>.png when VTA_SCREENSHOT_DIR names a folder; skips the test otherwise.
inline void SaveDialogScreenshot(QWidget& dialog, const QString& name) {
  const QString folder = qEnvironmentVariable("VTA_SCREENSHOT_DIR");
  if (folder.isEmpty()) GTEST_SKIP() << "VTA_SCREENSHOT_DIR not set";
  dialog.show();
  dialog.adjustSize();
  QCoreApplication::processEvents();
  QDir().mkpath(folder);
  EXPECT_TRUE(dialog.grab().save(folder + "/" + name + ".png"));
}

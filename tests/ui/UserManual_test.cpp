#include "ui/UserManual.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "support/TempDir.h"

// Help > User Manual finds the manual beside a program in a build folder and in an installed tree.
namespace {

void Touch(const QString& path) {
  QDir().mkpath(QFileInfo(path).path());
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
}

TEST(UserManual, FoundBesideTheProgramFirstThenInTheInstalledDocumentation) {
  struct TCase {
    const char* Name;
    std::vector<const char*> Files;  // relative to the scratch root
    const char* Expected;            // relative path, or "" for none
  };
  const TCase cases[] = {
      {"build folder", {"usr/bin/VTA Manual.pdf"}, "usr/bin/VTA Manual.pdf"},
      {"installed", {"usr/share/doc/vta-app/VTA Manual.pdf"}, "usr/share/doc/vta-app/VTA Manual.pdf"},
      {"both: beside wins", {"usr/bin/VTA Manual.pdf", "usr/share/doc/vta-app/VTA Manual.pdf"}, "usr/bin/VTA Manual.pdf"},
      {"a folder of that name is no manual", {"usr/bin/VTA Manual.pdf/x"}, ""},
      {"none", {}, ""},
  };
  for (const TCase& c : cases) {
    TTempDir dir;
    const QString root = QString::fromStdString(dir.Path());
    for (const char* file : c.Files) Touch(root + "/" + file);
    const QString expected = *c.Expected ? QDir::cleanPath(root + "/" + c.Expected) : QString();
    EXPECT_EQ(FindUserManual(root + "/usr/bin", "VTA Manual.pdf"), expected) << c.Name;
  }
}

TEST(UserManual, BuiltManualsArePdfFilesBesideThePrograms) {
  for (const char* name : {"VTA Manual.pdf", "VTA Handbuch.pdf"}) {
    QFile file(QString(VTA_BINARY_DIR) + "/" + name);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    EXPECT_TRUE(file.read(5) == "%PDF-") << name;
    EXPECT_GT(file.size(), 20000) << name;
  }
}

}  // namespace

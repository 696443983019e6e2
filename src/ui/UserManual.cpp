#include "ui/UserManual.h"

#include <QDir>
#include <QFileInfo>

QStringList UserManualCandidates(const QString& programDir, const QString& fileName) {
  const QDir dir(programDir);
  return {QDir::cleanPath(dir.filePath(fileName)), QDir::cleanPath(dir.filePath("../share/doc/vta-app/" + fileName))};
}

QString FindUserManual(const QString& programDir, const QString& fileName) {
  for (const QString& path : UserManualCandidates(programDir, fileName))
    if (QFileInfo(path).isFile()) return path;
  return {};
}

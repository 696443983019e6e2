#pragma once
#include <QString>
#include <QStringList>

// Where Help > User Manual looks for a manual file: beside the program (a build folder), then in
// the installed documentation folder relative to it (/usr/bin -> /usr/share/doc/vta-app).
QStringList UserManualCandidates(const QString& programDir, const QString& fileName);

// The first candidate that exists, or an empty string.
QString FindUserManual(const QString& programDir, const QString& fileName);

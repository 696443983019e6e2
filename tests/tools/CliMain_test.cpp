#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>

// The program's own face: --version, --help listing every command, and a refusal of the unknown.
namespace {

struct TCliRun {
  int ExitCode;
  QString Out;
  QString Err;
};

TCliRun RunCli(const QStringList& args) {
  QProcess process;
  process.start(QString(VTA_BINARY_DIR) + "/vta-cli", args);
  EXPECT_TRUE(process.waitForFinished(10000));
  return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
          QString::fromUtf8(process.readAllStandardError())};
}

TEST(CliMain, VersionNamesTheProgramAndItsVersion) {
  const TCliRun run = RunCli({"--version"});
  EXPECT_EQ(run.ExitCode, 0);
  EXPECT_EQ(run.Out, QString("vta-cli ") + VTA_VERSION + "\n");
}

TEST(CliMain, HelpListsEveryCommandWithItsUsage) {
  for (const char* flag : {"--help", "-h"}) {
    const TCliRun run = RunCli({flag});
    EXPECT_EQ(run.ExitCode, 0) << flag;
    for (const char* command : {"run", "reports", "adev"}) {
      EXPECT_TRUE(run.Out.contains(QString("usage: vta-cli ") + command)) << flag << " " << command << "\n" << run.Out.toStdString();
      EXPECT_TRUE(run.Out.contains(QRegularExpression(QString("\\n  ") + command + " +\\S"))) << command;
    }
    EXPECT_TRUE(run.Err.isEmpty());
  }
}

TEST(CliMain, NoOrUnknownCommandPrintsTheUsagesAndFails) {
  for (const QStringList& args : {QStringList{}, QStringList{"frobnicate"}, QStringList{"--verbose"}}) {
    const TCliRun run = RunCli(args);
    EXPECT_EQ(run.ExitCode, 2) << args.join(' ').toStdString();
    EXPECT_TRUE(run.Out.isEmpty());
    EXPECT_TRUE(run.Err.startsWith("usage: vta-cli --version | --help\n")) << run.Err.toStdString();
    EXPECT_TRUE(run.Err.contains("usage: vta-cli run")) << run.Err.toStdString();
  }
}

}  // namespace

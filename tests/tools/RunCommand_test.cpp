#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>

#include "support/TempDir.h"

// "vta-cli run" as a process: started, waited for its first status line, ended by a signal.
namespace {

class RunCommandProcess : public ::testing::Test {
 protected:
  void Start(const QStringList& args) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_DATA_HOME", QString::fromStdString(dir.File("data")));
    process.setProcessEnvironment(env);
    process.start(QString(VTA_BINARY_DIR) + "/vta-cli", QStringList{"run"} + args);
    ASSERT_TRUE(process.waitForStarted(10000));
  }
  // Reads stdout until `text` shows, then ends the run with SIGTERM and expects a clean exit.
  void WaitForThenTerminate(const QByteArray& text) {
    QByteArray out;
    while (!out.contains(text) && process.waitForReadyRead(10000)) out += process.readAllStandardOutput();
    ASSERT_TRUE(out.contains(text)) << out.toStdString() << process.readAllStandardError().toStdString();
    process.terminate();
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
  }
  QStringList ConfigArgs() const { return {"--config-dir", QString::fromStdString(dir.File("config"))}; }

  TTempDir dir;
  QProcess process;
};

TEST_F(RunCommandProcess, BadArgumentsGiveTheUsage) {
  Start({"--bogus"});
  ASSERT_TRUE(process.waitForFinished(10000));
  EXPECT_EQ(process.exitCode(), 2);
  EXPECT_TRUE(process.readAllStandardError().contains("usage: vta-cli run [--config-dir DIR] [--connect CONNECTION]"));
}

TEST_F(RunCommandProcess, SignalSavesTheSettings) {
  Start(ConfigArgs() + QStringList{"--connect", "DemoData"});
  WaitForThenTerminate("Status Source A | open | ZCT: 4");
  const std::string ini = ReadWholeFile(dir.File("config/VTA_App.ini"));
  EXPECT_NE(ini.find("SessionCount=1\r\n"), std::string::npos) << ini;
  EXPECT_NE(ini.find("Session_0_OpenString=DemoData\r\n"), std::string::npos) << ini;

  // The second run asks for nothing: it reopens the stored session.
  Start(ConfigArgs());
  WaitForThenTerminate("Status Source A | open | ZCT: 4");
}

}  // namespace

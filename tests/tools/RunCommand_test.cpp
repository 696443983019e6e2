#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>

#include <QRegularExpression>
#include <regex>

#include "support/TcpTestPeer.h"
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

TEST_F(RunCommandProcess, ASessionWithItsLocalServerServesReportLinesToASubscriber) {
  Start(ConfigArgs() + QStringList{"--connect", "DemoData"});
  WaitForThenTerminate("Status Source A | open | ZCT: 4");
  const std::string iniPath = dir.File("config/VTA_App.ini");
  std::string ini = ReadWholeFile(iniPath);
  ini = std::regex_replace(ini, std::regex("Session_0_RunLocalTcpServer=False"), "Session_0_RunLocalTcpServer=True");
  ini = std::regex_replace(ini, std::regex("Session_0_LocalTcpServerAddress=0.0.0.0"),
                           "Session_0_LocalTcpServerAddress=127.0.0.1");
  WriteWholeFile(iniPath, ini);

  Start(ConfigArgs());
  QByteArray out;
  const QRegularExpression running("Local TCP Server running on port (\\d+)");
  QRegularExpressionMatch match;
  while (!(match = running.match(QString::fromUtf8(out))).hasMatch() && process.waitForReadyRead(10000))
    out += process.readAllStandardOutput();
  ASSERT_TRUE(match.hasMatch()) << out.toStdString() << process.readAllStandardError().toStdString();
  const auto port = static_cast<uint16_t>(match.captured(1).toUInt());

  TTcpTestSubscriber sub;
  TTcpTestClient client("127.0.0.1", port);
  ASSERT_EQ(client.Ask(sub.Request("CONNECT")), "OK");
  ASSERT_TRUE(sub.Accept());
  std::string line;
  ASSERT_TRUE(sub.ReadLine(line));
  EXPECT_EQ(line, "AUTH=QV-TCP-Server");
  // Measurement lines of the simulator's four channels: the header, then one value per channel.
  int measurements = 0;
  for (int i = 0; i < 200 && measurements < 5 && sub.ReadLine(line); ++i)
    if (line.size() > 4 && line[4] == ';' && std::count(line.begin(), line.end(), ';') == 4) ++measurements;
  EXPECT_EQ(measurements, 5) << line;
  EXPECT_EQ(client.Ask(sub.Request("DISCONN")), "OK");
  process.terminate();
  ASSERT_TRUE(process.waitForFinished(10000));
  EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
}

}  // namespace

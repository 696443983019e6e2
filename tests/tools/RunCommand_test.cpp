#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>

#include <QRegularExpression>
#include <regex>

#include "support/TcpTestPeer.h"
#include "core/QV_NumberText.h"
#include "support/TempDir.h"

// "vta-cli run" as a process: started, waited for its first status line, ended by a signal.
namespace {

class TRunProcess {
 public:
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

class RunCommandProcess : public ::testing::Test, public TRunProcess {};

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

// A counter (the simulator) and the demo sensor logged into one file: every line carries the
// counter's values and the sensor's newest six values side by side.
TEST_F(RunCommandProcess, ACounterAndASensorWriteOneLogFile) {
  Start(ConfigArgs() + QStringList{"--connect", "DemoData"});
  WaitForThenTerminate("Status Source A | open | ZCT: 4");
  const std::string iniPath = dir.File("config/VTA_App.ini");
  // The first occurrence of a key counts: the stored counts go, the new ones are appended.
  std::string ini = std::regex_replace(ReadWholeFile(iniPath), std::regex("(SessionCount|Log_DefsCount)=\\d+\r\n"), "");
  const std::string logBase = dir.File("logs/Room.txt");
  ini += "SessionCount=2\r\nSession_1_SessionType=1\r\nSession_1_OpenString=DemoSensor\r\n"
         "Session_1_Interval=500\r\n"
         "Log_DefsCount=1\r\nLog_1_Count=2\r\nLog_1_AddHeader=False\r\nLog_1_FileName=" + logBase + "\r\n"
         "Log_1_Simple1_SessionIndex=0\r\nLog_1_Simple1_LogTypes=1\r\nLog_1_Simple1_Enabled1=1111\r\n"
         "Log_1_Simple2_SessionIndex=1\r\nLog_1_Simple2_LogTypes=1\r\nLog_1_Simple2_Enabled1=111111\r\n";
  WriteWholeFile(iniPath, ini);

  Start(ConfigArgs());
  QByteArray out;
  const auto sensorStatuses = [&] { return out.count("Status Source B | open | Sensor: 6"); };
  while (sensorStatuses() < 4 && process.waitForReadyRead(10000)) out += process.readAllStandardOutput();
  ASSERT_GE(sensorStatuses(), 4) << out.toStdString() << process.readAllStandardError().toStdString();
  process.terminate();
  ASSERT_TRUE(process.waitForFinished(10000));
  EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();

  // The counter's first mode report starts a new file; the lines of all files count.
  std::string logText;
  for (const QString& file : QDir(QString::fromStdString(dir.File("logs"))).entryList(QDir::Files, QDir::Name))
    logText += ReadWholeFile(dir.File("logs/" + file.toStdString()));
  const size_t sensorWidth = 6 * 26;
  int withSensor = 0;
  double lastRamp = -1;
  for (const std::string& line : SplitTextList(logText, "\r\n")) {
    if (line.empty() || line[0] == '#') continue;
    ASSERT_GT(line.size(), sensorWidth) << line;
    const std::string counter = line.substr(0, line.size() - sensorWidth);
    const std::string sensor = line.substr(line.size() - sensorWidth);
    EXPECT_EQ(counter.find("--"), std::string::npos) << "the counter's values are there: " << line;
    if (sensor.find_first_of("0123456789") == std::string::npos) continue;  // no sensor value yet
    ++withSensor;
    const double ramp = std::stod(sensor.substr(26, 26));
    const double temperature = std::stod(sensor.substr(2 * 26, 26));
    EXPECT_GT(ramp, lastRamp) << "each line takes the sensor's newest values: " << line;
    lastRamp = ramp;
    EXPECT_GE(temperature, 21.5) << line;
    EXPECT_LE(temperature, 22.5) << line;
  }
  EXPECT_GE(withSensor, 2) << logText;
}

// A first run stores the simulator's session, which is then set to serve on loopback; the second
// run serves it. Returns the port the server reports, 0 on failure.
uint16_t StartServedSimulator(TRunProcess& run) {
  run.Start(run.ConfigArgs() + QStringList{"--connect", "DemoData"});
  run.WaitForThenTerminate("Status Source A | open | ZCT: 4");
  const std::string iniPath = run.dir.File("config/VTA_App.ini");
  std::string ini = ReadWholeFile(iniPath);
  ini = std::regex_replace(ini, std::regex("Session_0_RunLocalTcpServer=False"), "Session_0_RunLocalTcpServer=True");
  ini = std::regex_replace(ini, std::regex("Session_0_LocalTcpServerAddress=0.0.0.0"),
                           "Session_0_LocalTcpServerAddress=127.0.0.1");
  WriteWholeFile(iniPath, ini);

  run.Start(run.ConfigArgs());
  QByteArray out;
  const QRegularExpression running("Local TCP Server running on port (\\d+)");
  QRegularExpressionMatch match;
  while (!(match = running.match(QString::fromUtf8(out))).hasMatch() && run.process.waitForReadyRead(10000))
    out += run.process.readAllStandardOutput();
  EXPECT_TRUE(match.hasMatch()) << out.toStdString() << run.process.readAllStandardError().toStdString();
  return match.hasMatch() ? static_cast<uint16_t>(match.captured(1).toUInt()) : 0;
}

TEST_F(RunCommandProcess, ASessionWithItsLocalServerServesReportLinesToASubscriber) {
  const uint16_t port = StartServedSimulator(*this);
  ASSERT_NE(port, 0);

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

// Two instances: one serves the simulator, the other runs a session on "TCP:" and measures with
// the same channels, time stamps counting up, no loss.
TEST_F(RunCommandProcess, AnotherInstanceMeasuresTheServedSessionOverTcp) {
  const uint16_t port = StartServedSimulator(*this);
  ASSERT_NE(port, 0);
  TRunProcess receiver;
  receiver.Start(receiver.ConfigArgs() + QStringList{"--connect", QString("TCP:127.0.0.1:%1").arg(port)});
  QByteArray out;
  const QRegularExpression status("Status Source A \\| open \\| ZCT: 4, DGI: 1, IVC: 4 \\| User: - \\| Lost: 0 \\| Sync: (\\d+)");
  std::vector<int> syncs;
  while (syncs.size() < 3 && receiver.process.waitForReadyRead(10000)) {
    out += receiver.process.readAllStandardOutput();
    syncs.clear();
    for (auto it = status.globalMatch(QString::fromUtf8(out)); it.hasNext();) syncs.push_back(it.next().captured(1).toInt());
  }
  ASSERT_GE(syncs.size(), 3u) << out.toStdString() << receiver.process.readAllStandardError().toStdString();
  EXPECT_LT(syncs.front(), syncs.back());
  EXPECT_FALSE(out.contains("ERROR")) << out.toStdString();
  receiver.process.terminate();
  ASSERT_TRUE(receiver.process.waitForFinished(10000));
  EXPECT_EQ(receiver.process.exitCode(), 0) << receiver.process.readAllStandardError().toStdString();
  process.terminate();
  ASSERT_TRUE(process.waitForFinished(10000));
}

}  // namespace

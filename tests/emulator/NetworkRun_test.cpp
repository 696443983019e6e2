#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <cmath>
#include <filesystem>
#include <sstream>

#include "EmulatedInstrument.h"
#include "support/TempDir.h"

// "vta-cli run" with a network session against the emulated network-module counter: the measurement
// log holds what the instrument sent (channel k of measurement n is 1000 k + n / 8).
namespace {

std::vector<std::string> DataLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] != '#') lines.push_back(line);
  }
  return lines;
}

std::vector<double> Numbers(const std::string& line) {
  std::vector<double> values;
  std::istringstream in(line);
  for (std::string field; in >> field;) {
    try {
      values.push_back(std::stod(field));
    } catch (const std::exception&) {
      values.push_back(NAN);  // a column without a value yet
    }
  }
  return values;
}

TEST(EmulatorNetworkRun, TheMeasurementLogHoldsWhatTheInstrumentSent) {
  TTempDir dir;
  TEmulatorSettings settings;
  settings.Peer = TEmulatorSettings::TPeer::NetworkModule;
  settings.ListenAddress = "127.0.0.31";
  settings.IntervalMs = 100;
  settings.Channels = 4;
  TEmulatedInstrument instrument(settings);
  ASSERT_EQ(instrument.Start(), "");

  std::filesystem::create_directories(dir.File("config"));
  // One log definition: the phases of channels 1 to 4 of source A, without a header.
  WriteWholeFile(dir.File("config/VTA_App.ini"),
                 "INI_Version=6\r\nLog_DefsCount=1\r\nLog_1_Enabled=True\r\nLog_1_AddHeader=False\r\n"
                 "Log_1_FileName=" + dir.File("logs/Net.txt") + "\r\nLog_1_Count=1\r\n"
                 "Log_1_Simple1_SessionIndex=0\r\nLog_1_Simple1_LogTypes=1\r\nLog_1_Simple1_Enabled1=1111\r\n");
  QProcess run;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("XDG_DATA_HOME", QString::fromStdString(dir.File("data")));
  run.setProcessEnvironment(env);
  run.start(QString(VTA_BINARY_DIR) + "/vta-cli",
            {"run", "--config-dir", QString::fromStdString(dir.File("config")), "--connect", "127.0.0.31"});
  ASSERT_TRUE(run.waitForStarted(10000));
  QByteArray out;
  // Two seconds of measurements after the first ones reached the store.
  while (!out.contains("Status Source A | open | ZCT: 4") && run.waitForReadyRead(10000)) out += run.readAllStandardOutput();
  ASSERT_TRUE(out.contains("Status Source A | open | ZCT: 4")) << out.toStdString() << run.readAllStandardError().toStdString();
  run.waitForFinished(2000);
  out += run.readAllStandardOutput();
  run.terminate();
  ASSERT_TRUE(run.waitForFinished(10000));
  EXPECT_EQ(run.exitCode(), 0) << run.readAllStandardError().toStdString();
  EXPECT_FALSE(out.contains("Measurement missing")) << out.toStdString();
  instrument.Stop();

  std::string file;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir.File("logs"), ec))
    if (entry.path().filename().string().rfind("Net_", 0) == 0) file = entry.path().string();
  ASSERT_FALSE(file.empty()) << out.toStdString();
  const std::vector<std::string> lines = DataLines(ReadWholeFile(file));
  ASSERT_GE(lines.size(), 5u);
  double previous = NAN;
  int checked = 0;
  for (const std::string& line : lines) {
    // Date, time, sync column, then the four phases.
    const std::vector<double> values = Numbers(line);
    ASSERT_EQ(values.size(), 7u) << line;
    if (std::isnan(values[3])) continue;
    const double n8 = values[3] - 1000;  // n / 8 of this measurement
    for (int k = 1; k <= 4; ++k) EXPECT_DOUBLE_EQ(values[2 + k], 1000 * k + n8) << line;
    if (!std::isnan(previous)) EXPECT_DOUBLE_EQ(n8 - previous, 0.125) << "a measurement is missing or repeated: " << line;
    previous = n8;
    ++checked;
  }
  EXPECT_GE(checked, 5);
}

}  // namespace

#include <gtest/gtest.h>

#include <QProcess>
#include <csignal>
#include <set>

#include "support/TempDir.h"

// "vta-cli reports" as a process whose output goes through a pipe, as in "vta-cli reports X | tee".
namespace {

class ReportsCommandProcess : public ::testing::Test {
 protected:
  void Start(const QStringList& args) {
    process.start(QString(VTA_BINARY_DIR) + "/vta-cli", QStringList{"reports"} + args);
    ASSERT_TRUE(process.waitForStarted(10000));
  }
  // Reads standard output until it holds `lines` line ends or the process ends.
  QByteArray ReadLines(int lines) {
    QByteArray out;
    while (out.count('\n') < lines && process.waitForReadyRead(10000)) out += process.readAllStandardOutput();
    return out;
  }

  TTempDir dir;
  QProcess process;
};

TEST_F(ReportsCommandProcess, TerminatedRunKeepsEveryLineItPrinted) {
  // A looping recording never ends by itself: only the signal stops it.
  std::string recording;
  std::set<std::string> known;
  for (int i = 0; i < 200; ++i) {
    const std::string line = "0900; " + std::to_string(i) + "; " + std::string(size_t(i % 37), '7');
    known.insert(line);
    recording += line + "\r\n";
  }
  const std::string file = dir.File("QV_ReportData.txt");
  WriteWholeFile(file, recording);
  Start({QString::fromStdString(file + " LOOP_FOR_EVER")});
  QByteArray out = ReadLines(500);
  ASSERT_GE(out.count('\n'), 500) << process.readAllStandardError().toStdString();
  ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
  ASSERT_TRUE(process.waitForFinished(10000));
  out += process.readAllStandardOutput();
  // Lines go out whole, one at a time: the output ends at a line end and holds no torn line.
  ASSERT_TRUE(out.endsWith('\n')) << out.right(80).toStdString();
  for (const QByteArray& line : out.chopped(1).split('\n'))
    ASSERT_TRUE(known.count(line.toStdString())) << "torn line: " << line.toStdString();
}

TEST_F(ReportsCommandProcess, DamagedRecordingIsReadWithoutWaitingPerFrame) {
  // 400 unreadable lines, each too long for a report, between two good ones. Without pacing the
  // run ends as soon as the file is read; a wait per line would take many seconds.
  std::string recording = "7015; 1\r\n";
  for (int i = 0; i < 400; ++i) recording += std::string(1500, 'x') + "\r\n";
  recording += "7015; 2\r\n";
  const std::string file = dir.File("QV_ReportData.txt");
  WriteWholeFile(file, recording);
  Start({QString::fromStdString(file)});
  ASSERT_TRUE(process.waitForFinished(60000));
  EXPECT_EQ(process.exitCode(), 0);
  const QByteArray out = process.readAllStandardOutput();
  EXPECT_TRUE(out.contains("7015; 1\n")) << out.toStdString();
  EXPECT_TRUE(out.contains("7015; 2\n")) << out.toStdString();
  EXPECT_FALSE(out.contains("xxx"));
  const QByteArray err = process.readAllStandardError();
  EXPECT_EQ(err.count("line of 1500 characters skipped"), 400) << err.left(400).toStdString();
}

}  // namespace

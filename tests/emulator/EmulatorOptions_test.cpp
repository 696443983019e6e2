#include "EmulatorOptions.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <csignal>

namespace {

using namespace std::chrono_literals;
using TRefusal = TEmulatorSettings::TRefusal;

TEST(EmulatorOptionsTest, FullNetworkLine) {
  const auto o = TEmulatorOptions::Parse({"--peer", "coldfire", "--listen", "127.0.0.5:2024", "--interval-ms", "20",
                                          "--channels", "24", "--refuse", "bu", "--refuse-count", "3", "--drop-after",
                                          "1.5", "--silent-after", "0.25", "--trace", "t.txt", "--lose-on-reconnect",
                                          "--serial-number", "1234ABCD", "--mode", "2", "--connect-from", "127.0.0.9"});
  ASSERT_EQ(o.Error, "");
  const TEmulatorSettings& s = o.Settings;
  EXPECT_EQ(s.Peer, TEmulatorSettings::TPeer::Coldfire);
  EXPECT_EQ(s.ListenAddress, "127.0.0.5");
  EXPECT_EQ(s.ManagementPort, 2024);
  EXPECT_EQ(s.IntervalMs, 20);
  EXPECT_EQ(s.Channels, 24);
  EXPECT_EQ(s.Refusal, TRefusal::Bu);
  EXPECT_EQ(s.RefusalCount, 3);
  EXPECT_EQ(s.DropAfter, 1500ms);
  EXPECT_EQ(s.SilentAfter, 250ms);
  EXPECT_EQ(s.TracePath, "t.txt");
  EXPECT_TRUE(s.LoseOnReconnect);
  EXPECT_EQ(s.SerialNumber, 0x1234ABCDu);
  EXPECT_EQ(s.Mode, 2);
  EXPECT_EQ(s.ConnectFrom, "127.0.0.9");
}

TEST(EmulatorOptionsTest, DefaultsOfASerialLine) {
  const auto o = TEmulatorOptions::Parse({"--peer", "network-module", "--serial", "/dev/pts/7"});
  ASSERT_EQ(o.Error, "");
  EXPECT_EQ(o.Settings.SerialPath, "/dev/pts/7");
  EXPECT_EQ(o.Settings.IntervalMs, 100);
  EXPECT_EQ(o.Settings.Channels, 4);
  EXPECT_EQ(o.Settings.ManagementPort, 1024);
  EXPECT_EQ(TEmulatorOptions::Parse({"--peer", "coldfire", "--listen", "10.0.0.2"}).Settings.ManagementPort, 1024);
}

TEST(EmulatorOptionsTest, AUsbCdcLineIsASerialPlaceOfItsOwn) {
  const TEmulatorOptions o = TEmulatorOptions::Parse({"--peer", "network-module", "--usb-cdc", "/dev/pts/9"});
  EXPECT_EQ(o.Error, "");
  EXPECT_EQ(o.Settings.SerialPath, "/dev/pts/9");
  EXPECT_TRUE(o.Settings.UsbCdc);
  EXPECT_FALSE(TEmulatorOptions::Parse({"--peer", "network-module", "--serial", "/dev/pts/9"}).Settings.UsbCdc);
}

TEST(EmulatorOptionsTest, Mistakes) {
  struct TCase {
    std::vector<std::string> args;
    std::string error;
  } cases[] = {
      {{"--listen", "127.0.0.1"}, "--peer is missing"},
      {{"--peer", "coldfire"}, "--listen or --serial is missing"},
      {{"--peer", "usb", "--listen", "127.0.0.1"}, "Invalid value for --peer: usb"},
      {{"--peer", "coldfire", "--listen", "127.0.0.1:99999"}, "Invalid value for --listen: 127.0.0.1:99999"},
      {{"--peer", "coldfire", "--listen", "127.0.0.1", "--channels", "25"}, "Invalid value for --channels: 25"},
      {{"--peer", "coldfire", "--listen", "127.0.0.1", "--refuse", "no"}, "Invalid value for --refuse: no"},
      {{"--peer", "coldfire", "--listen", "127.0.0.1", "--drop-after", "-1"}, "Invalid value for --drop-after: -1"},
      {{"--peer", "coldfire", "--listen", "127.0.0.1", "--silent-after", "0.0001"}, "Invalid value for --silent-after: 0.0001"},
      {{"--peer", "coldfire", "--listen", "127.0.0.1", "--silent-after", "1.-5"}, "Invalid value for --silent-after: 1.-5"},
      {{"--peer", "coldfire", "--listen", "127.0.0.1", "--frobnicate", "1"}, "Unknown option --frobnicate"},
      {{"--peer"}, "Missing value after --peer"},
      {{"--peer", "coldfire", "--usb-cdc", "/dev/pts/9"}, "--usb-cdc needs --peer network-module"},
  };
  for (const TCase& c : cases) EXPECT_EQ(TEmulatorOptions::Parse(c.args).Error, c.error);
  EXPECT_TRUE(TEmulatorOptions::Parse({"--peer", "x", "--help"}).Help);
}

// The program itself: help, a refused line, and a run ended by SIGTERM.
TEST(EmulatorProgramTest, HelpErrorsAndSignal) {
  const QString program = QString(VTA_BINARY_DIR) + "/vta-emulator";
  QProcess help;
  help.start(program, {"--help"});
  ASSERT_TRUE(help.waitForFinished(10000));
  EXPECT_EQ(help.exitCode(), 0);
  EXPECT_TRUE(help.readAllStandardOutput().startsWith("Usage: vta-emulator --peer network-module|coldfire"));

  QProcess wrong;
  wrong.start(program, {"--peer", "coldfire", "--listen", "127.0.0.1", "--interval-ms", "3"});
  ASSERT_TRUE(wrong.waitForFinished(10000));
  EXPECT_EQ(wrong.exitCode(), 2);
  EXPECT_TRUE(wrong.readAllStandardError().startsWith("Interval 3 ms is none of 1, 2, 5, 10, ..., 20000"));

  QProcess noTrace;
  noTrace.start(program, {"--peer", "coldfire", "--listen", "127.0.0.1:0", "--trace", "/nonexistent/dir/trace.txt"});
  ASSERT_TRUE(noTrace.waitForFinished(10000));
  EXPECT_EQ(noTrace.exitCode(), 2);
  EXPECT_TRUE(noTrace.readAllStandardError().startsWith("Cannot write the trace file /nonexistent/dir/trace.txt"));

  QProcess run;
  run.start(program, {"--peer", "network-module", "--listen", "127.0.0.1:0"});
  ASSERT_TRUE(run.waitForReadyRead(10000));
  EXPECT_TRUE(run.readAllStandardOutput().startsWith("vta-emulator: listening on 127.0.0.1:"));
  ::kill(static_cast<pid_t>(run.processId()), SIGTERM);
  ASSERT_TRUE(run.waitForFinished(10000));
  EXPECT_EQ(run.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(run.exitCode(), 0);
}

}  // namespace

#include "EmulatedInstrument.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <algorithm>
#include <thread>

#include "DecodeChain.h"
#include "StreamParsing.h"
#include "acquisition/SourceTestSupport.h"
#include "support/PtyPair.h"
#include "support/TempDir.h"

namespace {

using namespace std::chrono_literals;
using TPeer = TEmulatorSettings::TPeer;

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (int v : values) bytes += static_cast<char>(v);
  return bytes;
}

// The instrument on one end of a socat pty pair, the test as the host on the other.
class EmulatorSerialTest : public ::testing::Test {
 protected:
  void Start(TPeer peer, std::chrono::milliseconds dropAfter = 0ms) {
    if (!TPtyPair::SocatAvailable()) GTEST_SKIP() << "socat is not installed (scripts/install-deps installs it)";
    pair = std::make_unique<TPtyPair>();
    ASSERT_EQ(pair->Error(), "");
    TEmulatorSettings s;
    s.Peer = peer;
    s.SerialPath = pair->InstrumentPath();
    s.IntervalMs = 10;
    s.Channels = 3;
    s.DropAfter = dropAfter;
    instrument = std::make_unique<TEmulatedInstrument>(s);
    ASSERT_EQ(instrument->Start(), "");
    host = std::make_unique<TPtyEnd>(pair->HostPath());
    ASSERT_TRUE(host->IsOpen());
  }
  std::string ReadFor(std::chrono::milliseconds wait) { return host->Read(SIZE_MAX, static_cast<int>(wait.count())); }
  void TearDown() override { instrument.reset(); }

  std::unique_ptr<TPtyPair> pair;
  std::unique_ptr<TEmulatedInstrument> instrument;
  std::unique_ptr<TPtyEnd> host;
};

TEST_F(EmulatorSerialTest, NetworkModuleStreamsAfterTheOpenCommandAndStopsOnTheStopCommand) {
  Start(TPeer::NetworkModule);
  EXPECT_EQ(ReadFor(100ms), "") << "silent until opened";
  host->Write(Bytes({0x01, 0xBE}));
  std::string bytes = ReadFor(300ms);
  const std::string stream = bytes;
  const auto blocks = TakeTransmitBlocks(bytes);
  ASSERT_GE(blocks.size(), 5u);
  EXPECT_EQ(blocks[0].Type, 'p');
  TDecodeChain chain(ptESP);
  const auto lines = chain.Lines(stream);
  size_t measurements = 0;
  for (const auto& line : lines) {
    if (!IsMeasurementLine(line)) continue;
    ++measurements;
    const auto v = LineValues(line);
    ASSERT_EQ(v.size(), 3u) << line;
    EXPECT_DOUBLE_EQ(v[2] - v[0], 2000);
  }
  EXPECT_GE(measurements, 3u);

  host->Write(Bytes({0x02, 0x85, 0x60}));
  ReadFor(100ms);
  EXPECT_EQ(ReadFor(150ms), "") << "stopped";
}

TEST_F(EmulatorSerialTest, NetworkModuleResendsFromTheResumptionAddress) {
  Start(TPeer::NetworkModule, 200ms);
  host->Write(Bytes({0x01, 0xBE}));
  std::string bytes = ReadFor(400ms);
  auto blocks = TakeTransmitBlocks(bytes);
  ASSERT_GE(blocks.size(), 8u);
  EXPECT_EQ(ReadFor(100ms), "") << "interrupted after DropAfter";
  const TQV_TransmitBlock& wanted = blocks[5];
  const uint32_t address = wanted.BufferPointer();
  host->Write(Bytes({0x04, 0x73}) + Bytes({0, static_cast<int>(address >> 16), static_cast<int>(address >> 8 & 0xFF),
                                           static_cast<int>(address & 0xFF)}));
  std::string resent = ReadFor(150ms);
  const auto again = TakeTransmitBlocks(resent);
  ASSERT_FALSE(again.empty());
  EXPECT_EQ(again[0].BufferPointer(), address);
  EXPECT_EQ(again[0].Raw, wanted.Raw) << "the same block once more";
  // The address after each block is its address + 2 x values + 4 words.
  for (size_t i = 1; i < again.size(); ++i)
    EXPECT_EQ(again[i].BufferPointer(), (again[i - 1].BufferPointer() + 2 * again[i - 1].ValueCount + 4) & 0x1FFFF);
}

// Reads one serial frame (up to its end byte 0xBD or 0xBF).
std::string ReadFrame(TPtyEnd& host) {
  std::string frame;
  for (int i = 0; i < 400; ++i) {
    const std::string b = host.Read(1, 500);
    if (b.empty()) break;
    frame += b;
    if (b == "\xBD" || b == "\xBF") break;
  }
  return frame;
}

TEST_F(EmulatorSerialTest, ColdfireSendsFramesOneAcknowledgementAtATime) {
  Start(TPeer::Coldfire);
  EXPECT_EQ(ReadFor(100ms), "") << "nothing before the host is there";
  host->Write("\x01");  // the version request
  EXPECT_EQ(host->Read(1, 500), "\x01") << "echoed";
  const std::string first = ReadFrame(*host);
  EXPECT_EQ(first.substr(1, 3), std::string("\x70\x01") + "V") << "the version comes first";
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(ReadFor(100ms), "") << "nothing more before the acknowledgement";
  // A repeat request (the end byte with bit 0 cleared) brings the same frame again.
  host->Write(std::string(1, static_cast<char>(first.back() & 0xFE)));
  EXPECT_EQ(ReadFrame(*host), first);
  host->Write(first.substr(first.size() - 1));
  const std::string second = ReadFrame(*host);
  ASSERT_FALSE(second.empty());
  EXPECT_NE(second.back(), first.back()) << "the end bytes alternate";
  // A command byte instead of the acknowledgement is echoed and executed.
  host->Write("\x25");
  EXPECT_EQ(host->Read(1, 500), "\x25");
  std::vector<std::string> frames = {first, second};
  host->Write(second.substr(second.size() - 1));
  bool settings = false;
  for (int i = 0; i < 200 && !(settings && i >= 10); ++i) {
    const std::string frame = ReadFrame(*host);
    ASSERT_FALSE(frame.empty());
    frames.push_back(frame);
    settings |= frame.find(Bytes({0x70, 0x20, 0x05, 0x00})) != std::string::npos;
    host->Write(frame.substr(frame.size() - 1));
  }
  EXPECT_TRUE(settings) << "the settings report of the new rate";
  // The host's serial reader takes them one by one, as they come on the line.
  TDecodeChain chain(ptColdfire, QV_Serial);
  size_t measurements = 0;
  for (const std::string& frame : frames) {
    for (const auto& line : chain.Lines(frame)) {
      EXPECT_FALSE(line.starts_with("ERROR")) << line;
      measurements += IsMeasurementLine(line);
    }
  }
  EXPECT_GE(measurements, 2u);
}

}  // namespace

namespace {

// The host's own serial device reads the emulated Coldfire counter: "vta-cli reports" on the host
// end of the line prints the formula values with no count failures.
TEST_F(EmulatorSerialTest, SerialDeviceOfTheHostReadsTheColdfireCounter) {
  Start(TPeer::Coldfire);
  host.reset();  // the program opens the line itself
  QProcess cli;
  cli.start(QString(VTA_BINARY_DIR) + "/vta-cli",
            {"reports", QString::fromStdString(pair->HostPath() + ":115200"), "--count", "40"});
  ASSERT_TRUE(cli.waitForFinished(30000));
  const QStringList lines = QString::fromUtf8(cli.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
  ASSERT_EQ(lines.size(), 40);
  EXPECT_TRUE(lines[0].startsWith("7001VERSION ZCT: 63 UCF 230115 User1")) << lines[0].toStdString();
  std::vector<std::string> measurements;
  for (const QString& line : lines) {
    EXPECT_FALSE(line.startsWith("7F22")) << line.toStdString();
    if (IsMeasurementLine(line.toStdString())) measurements.push_back(line.toStdString());
  }
  ASSERT_GE(measurements.size(), 10u);
  for (size_t i = 0; i < measurements.size(); ++i) {
    const auto v = LineValues(measurements[i]);
    ASSERT_EQ(v.size(), 3u);
    EXPECT_DOUBLE_EQ(v[1], v[0] + 1000);
    if (i > 0) {
      EXPECT_DOUBLE_EQ(v[0], LineValues(measurements[i - 1])[0] + 0.125) << "no measurement lost or repeated";
    }
  }
}

}  // namespace

namespace {

// A network-module counter on a serial line, read through the source interface as a session would.
TEST_F(EmulatorSerialTest, SourceReadsTheNetworkModuleCounterAndResumesAfterABreak) {
  if (!TPtyPair::SocatAvailable()) GTEST_SKIP() << "socat is not installed (scripts/install-deps installs it)";
  TTempDir dir;
  pair = std::make_unique<TPtyPair>();
  ASSERT_EQ(pair->Error(), "");
  TEmulatorSettings s;
  s.Peer = TPeer::NetworkModule;
  s.SerialPath = pair->InstrumentPath();
  s.IntervalMs = 50;
  s.Channels = 3;
  s.DropAfter = 1500ms;  // the instrument stops sending until the host asks it to resend
  s.TracePath = dir.File("trace.txt");
  instrument = std::make_unique<TEmulatedInstrument>(s);
  ASSERT_EQ(instrument->Start(), "");
  const int32_t id = Multi_AddSource();
  std::string reply;
  ASSERT_EQ(OpenSource(id, pair->HostPath() + ":115200", &reply), 1) << reply;
  std::vector<std::string> measurements, messages;
  for (const auto end = std::chrono::steady_clock::now() + 4s; std::chrono::steady_clock::now() < end;) {
    const TRead read = ReadText(id);
    if (read.Code != 1) messages.push_back(read.Text);
    else if (IsMeasurementLine(read.Text)) measurements.push_back(read.Text);
    if (read.Text.empty()) std::this_thread::sleep_for(1ms);
  }
  Multi_CloseConnection(id);
  instrument.reset();
  EXPECT_NE(std::find(messages.begin(), messages.end(), "Data transmission recovered"), messages.end())
      << ::testing::PrintToString(messages);
  ASSERT_GE(measurements.size(), 50u);
  for (size_t i = 1; i < measurements.size(); ++i)
    ASSERT_DOUBLE_EQ(LineValues(measurements[i])[0], LineValues(measurements[i - 1])[0] + 0.125)
        << "no measurement lost or repeated across the break: " << measurements[i];
  const std::string trace = ReadWholeFile(s.TracePath);
  EXPECT_NE(trace.find("resumption from address"), std::string::npos);
  EXPECT_NE(trace.find("command 85456905"), std::string::npos) << "hardware-feature read";
  EXPECT_NE(trace.find("command 8560"), std::string::npos) << "stop on close";
}

// A reset command restarts the network-module counter: the line reports it, waits for the
// instrument to come up and logs on afresh instead of asking for a resend it cannot give.
TEST_F(EmulatorSerialTest, ResetCommandIsFollowedByAFreshLogOn) {
  if (!TPtyPair::SocatAvailable()) GTEST_SKIP() << "socat is not installed (scripts/install-deps installs it)";
  TTempDir dir;
  pair = std::make_unique<TPtyPair>();
  ASSERT_EQ(pair->Error(), "");
  TEmulatorSettings s;
  s.Peer = TPeer::NetworkModule;
  s.SerialPath = pair->InstrumentPath();
  s.IntervalMs = 50;
  s.Channels = 2;
  s.TracePath = dir.File("trace.txt");
  instrument = std::make_unique<TEmulatedInstrument>(s);
  ASSERT_EQ(instrument->Start(), "");
  const int32_t id = Multi_AddSource();
  std::string reply;
  ASSERT_EQ(OpenSource(id, pair->HostPath() + ":115200", &reply), 1) << reply;
  std::vector<std::string> messages;
  size_t before = 0, after = 0;
  bool resetSent = false;
  for (const auto end = std::chrono::steady_clock::now() + 5s; std::chrono::steady_clock::now() < end && after < 10;) {
    const TRead read = ReadText(id);
    if (read.Code != 1) messages.push_back(read.Text);
    else if (IsMeasurementLine(read.Text)) ++(resetSent && !messages.empty() ? after : before);
    if (!resetSent && before >= 5) {
      std::string reset("\x85P");
      ASSERT_EQ(Multi_SendCommand(id, reset.data(), 2), 1) << reset;
      resetSent = true;
    }
    if (read.Text.empty()) std::this_thread::sleep_for(1ms);
  }
  Multi_CloseConnection(id);
  instrument.reset();
  ASSERT_TRUE(resetSent);
  const auto has = [&messages](const std::string& text) {
    return std::find(messages.begin(), messages.end(), text) != messages.end();
  };
  EXPECT_TRUE(has("Device resetted!")) << ::testing::PrintToString(messages);
  EXPECT_FALSE(has("Data transfer interrupted. Please check connection cable")) << "no resend asked for";
  EXPECT_GE(after, 10u) << "measurements again after the fresh log-on";
  const std::string trace = ReadWholeFile(s.TracePath);
  EXPECT_NE(trace.find("reset, waiting for the open command"), std::string::npos);
  EXPECT_EQ(trace.find("resumption from address"), std::string::npos);
  const size_t firstOpen = trace.find("open, user");
  ASSERT_NE(firstOpen, std::string::npos);
  EXPECT_NE(trace.find("open, user", firstOpen + 1), std::string::npos) << "the second log-on";
}

}  // namespace

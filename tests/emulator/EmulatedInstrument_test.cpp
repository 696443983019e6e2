#include "EmulatedInstrument.h"

#include <gtest/gtest.h>

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <functional>
#include <thread>

#include "DecodeChain.h"
#include "StreamParsing.h"
#include "acquisition/SourceTestSupport.h"
#include "support/TempDir.h"

namespace {

using namespace std::chrono_literals;
using TPeer = TEmulatorSettings::TPeer;
using TRefusal = TEmulatorSettings::TRefusal;

// The host's side over loopback: plain sockets for the management requests and a data server that
// the instrument connects back to.
class EmulatorNetworkTest : public ::testing::Test {
 protected:
  void Start(TEmulatorSettings s) {
    s.ListenAddress = "127.0.0.1";
    s.ManagementPort = 0;
    instrument = std::make_unique<TEmulatedInstrument>(s);
    ASSERT_EQ(instrument->Start(), "");
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
  }
  static TEmulatorSettings Settings(TPeer peer = TPeer::NetworkModule) {
    TEmulatorSettings s;
    s.Peer = peer;
    s.IntervalMs = 10;
    s.Channels = 4;
    return s;
  }
  // tag + user digit (or the command part) + 127.0.0.1 ":" port.
  std::string Request(const std::string& tag, char user, uint16_t port = 0) const {
    if (port == 0) port = server.serverPort();
    return tag + user + std::string("\x7F\x00\x00\x01:", 5) + static_cast<char>(port >> 8) + static_cast<char>(port & 0xFF) +
           "\r\n";
  }
  std::string CommandRequest(const std::string& command) const {
    const uint16_t port = server.serverPort();
    return "CMD.... " + std::string("\x7F\x00\x00\x01:", 5) + static_cast<char>(port >> 8) + static_cast<char>(port & 0xFF) +
           " " + static_cast<char>(command.size()) + command;
  }
  // The whole answer: read until the instrument closes or `wait` has passed.
  std::string Send(const std::string& bytes, std::chrono::milliseconds wait = 2000ms) const {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, instrument->ManagementPort());
    if (!socket.waitForConnected(2000)) return "no connection";
    socket.write(bytes.data(), static_cast<qint64>(bytes.size()));
    socket.waitForBytesWritten(1000);
    std::string answer;
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (std::chrono::steady_clock::now() < deadline && socket.state() == QAbstractSocket::ConnectedState) {
      socket.waitForReadyRead(20);
      answer += socket.readAll().toStdString();
    }
    return answer + socket.readAll().toStdString();
  }
  std::unique_ptr<QTcpSocket> AcceptData() {
    if (!server.waitForNewConnection(3000)) return nullptr;
    return std::unique_ptr<QTcpSocket>(server.nextPendingConnection());
  }
  // Reads from the data connection until `enough` holds for what arrived or `wait` passed.
  template <typename TEnough>
  static std::string ReadUntil(QTcpSocket& data, TEnough enough, std::chrono::milliseconds wait = 3000ms) {
    std::string bytes;
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (!enough(bytes) && std::chrono::steady_clock::now() < deadline) {
      data.waitForReadyRead(20);
      bytes += data.readAll().toStdString();
    }
    return bytes;
  }
  static std::string ReadFor(QTcpSocket& data, std::chrono::milliseconds wait) {
    return ReadUntil(data, [](const std::string&) { return false; }, wait);
  }
  // Logs on as user 1 and returns the data connection.
  std::unique_ptr<QTcpSocket> LogOn() {
    EXPECT_EQ(Send(Request("CONNECT", '0')), "ok\r\n");
    return AcceptData();
  }

  std::unique_ptr<TEmulatedInstrument> instrument;
  QTcpServer server;
};

// Consecutive measurement lines carry the value formula: channel k is 1000 k + n / 8 with n one
// higher each line.
void ExpectFormula(const std::vector<std::string>& lines, size_t channels) {
  std::vector<std::vector<double>> rows;
  for (const auto& line : lines)
    if (IsMeasurementLine(line)) rows.push_back(LineValues(line));
  ASSERT_GE(rows.size(), 3u);
  for (size_t i = 0; i < rows.size(); ++i) {
    ASSERT_EQ(rows[i].size(), channels);
    const double n8 = rows[i][0] - 1000;
    for (size_t k = 0; k < channels; ++k) EXPECT_DOUBLE_EQ(rows[i][k], 1000.0 * (k + 1) + n8);
    if (i > 0) {
      EXPECT_DOUBLE_EQ(rows[i][0] - rows[i - 1][0], 0.125);
    }
  }
}

TEST_F(EmulatorNetworkTest, NetworkModuleLogsOnConnectsBackAndStreamsDecodableBlocks) {
  Start(Settings());
  auto data = LogOn();
  ASSERT_TRUE(data);
  std::string bytes = ReadUntil(*data, [](const std::string& b) { return b.size() > 3000; });
  const std::string stream = bytes;
  const auto blocks = TakeTransmitBlocks(bytes);
  ASSERT_GE(blocks.size(), 10u);
  EXPECT_EQ(blocks[0].Type, 'p');
  EXPECT_EQ(blocks[0].W, 0x7001);
  EXPECT_EQ(blocks[1].Type, 's');
  EXPECT_EQ(blocks[1].W, 0x03) << "settings: phase at 10 ms";
  for (const auto& b : blocks) EXPECT_EQ(b.UserIdField(), 0) << "user 1";

  TDecodeChain chain(ptESP);
  const auto lines = chain.Lines(stream);
  ASSERT_FALSE(lines.empty());
  EXPECT_TRUE(lines[0].starts_with("7001VERSION ZCT2 / # 00E0A001 User 1 / ZCT2-1.14")) << lines[0];
  ExpectFormula(lines, 4);
  for (const auto& line : lines) EXPECT_FALSE(line.starts_with("7FF4") || line.starts_with("ERROR")) << line;

  EXPECT_EQ(Send(Request("TRYBABY", '0')), "ok\r\n");
  EXPECT_EQ(Send(Request("DISCONN", '0')), "ok\r\n");
  ReadFor(*data, 200ms);
  EXPECT_EQ(data->state(), QAbstractSocket::UnconnectedState) << "the log-off ends the data connection";
  EXPECT_EQ(Send(Request("TRYBABY", '0')), "er\r\n");
}

TEST_F(EmulatorNetworkTest, ColdfireStreamsCdcBlocksOfItsTransmitRing) {
  Start(Settings(TPeer::Coldfire));
  auto data = LogOn();
  ASSERT_TRUE(data);
  std::string bytes = ReadUntil(*data, [](const std::string& b) { return b.size() > 4000; });
  const auto blocks = TakeCdcBlocks(bytes);
  ASSERT_GE(blocks.size(), 3u);
  EXPECT_EQ(blocks[0].Flags & 1, 1u) << "the first block starts a cleared buffer";
  std::string frames;
  for (size_t i = 0; i < blocks.size(); ++i) {
    const auto& b = blocks[i];
    EXPECT_GE(b.Size, b.ByteCount + (b.Offset & (b.Size - 1)));
    EXPECT_EQ((b.WritePtr >> 17) & 3, 0u) << "user 1";
    if (i > 0) {
      EXPECT_EQ(b.ReadPtr, (blocks[i - 1].ReadPtr + b.ByteCount) % 0x20000) << "a gapless stream";
    }
    frames += b.Data;
  }
  TDecodeChain chain(ptColdfire);
  const auto lines = chain.Lines(frames);
  ASSERT_FALSE(lines.empty());
  EXPECT_TRUE(lines[0].starts_with("7001VERSION ZCT: 63 UCF 230115 User1")) << lines[0];
  ExpectFormula(lines, 4);
}

TEST_F(EmulatorNetworkTest, CommandsChangeRateAndChannelsOfTheStream) {
  Start(Settings());
  auto data = LogOn();
  ASSERT_TRUE(data);
  std::string bytes = ReadFor(*data, 100ms);
  EXPECT_EQ(Send(CommandRequest("\x25")), "ok\r\n");  // 50 ms
  EXPECT_EQ(Send(CommandRequest("\x32")), "ok\r\n");  // 2 channels
  bytes += ReadFor(*data, 400ms);
  bool settingsSeen = false;
  TQV_TransmitBlock last;
  for (const auto& b : TakeTransmitBlocks(bytes)) {
    settingsSeen |= b.Type == 's' && b.W == 0x05;
    if (b.IsMeasurement()) last = b;
  }
  EXPECT_TRUE(settingsSeen) << "the settings report of the new rate";
  EXPECT_EQ(last.Type, 0x05);
  EXPECT_EQ(last.ValueCount, 2);
  EXPECT_EQ((last.W + 1) % 50, 0) << "measurements at the new interval";
}

TEST_F(EmulatorNetworkTest, RequestsAnswerTheInstrumentsReplies) {
  Start(Settings());
  auto data = LogOn();
  ASSERT_TRUE(data);
  std::string bytes = ReadFor(*data, 50ms);
  EXPECT_EQ(Send(CommandRequest("\x80")), "ok\r\n");
  EXPECT_EQ(Send(CommandRequest(std::string("\x85\x42\x01", 3))), "ok\r\n");
  EXPECT_EQ(Send(CommandRequest(std::string("\x85" "Ei\x05", 4))), "ok\r\n");
  EXPECT_EQ(Send(CommandRequest(std::string("\x85" "Eb\x00", 4))), "ok\r\n");
  bytes += ReadFor(*data, 300ms);
  bool cleared = false, users = false, feature = false, calibration = false;
  for (const auto& b : TakeTransmitBlocks(bytes)) {
    cleared |= b.Type == 's' && b.W == 255;
    users |= b.Type == 'v' && b.Values == std::string("\x7F\x00\x00\x01", 4) + std::string(12, '\0');
    feature |= b.Type == 'x' && b.W == ('i' | 5 << 8);
    calibration |= b.Type == 'x' && b.W == 'b' && b.Values == std::string(128, '\xFF');
  }
  EXPECT_TRUE(cleared);
  EXPECT_TRUE(users) << "the user table: this host in slot 1";
  EXPECT_TRUE(feature);
  EXPECT_TRUE(calibration) << "calibration block 0, erased";
}

TEST_F(EmulatorNetworkTest, ColdfireAnswersAMemoryReadWithToolsData) {
  Start(Settings(TPeer::Coldfire));
  auto data = LogOn();
  ASSERT_TRUE(data);
  std::string bytes = ReadFor(*data, 50ms);
  EXPECT_EQ(Send(CommandRequest(std::string("\x85\x40\x00\x07\xE0\x00\x4C", 7))), "ok\r\n");
  bytes += ReadFor(*data, 200ms);
  std::string tools;
  for (const auto& b : TakeCdcBlocks(bytes))
    if (b.Flags & 2) tools += b.Data;
  ASSERT_EQ(tools.size(), 76u) << "the identity block";
  EXPECT_EQ(BigEndianWord(tools, 48), 0x00E0A001u) << "the serial number at bytes 49..52";
}

TEST_F(EmulatorNetworkTest, RefusalsAnswerAsConfiguredAndThenGiveWay) {
  struct TCase {
    TRefusal refusal;
    bool command;  // the refusal answers commands, not the log-on
    std::string answer;
  } cases[] = {{TRefusal::Ta, false, "ta\r\n"},
               {TRefusal::Sv, false, "sv\r\n"},
               {TRefusal::Ab, false, "ab\r\n" + std::string(16, '\0')},
               {TRefusal::Silent, false, ""},
               {TRefusal::Bu, true, "bu\r\n"}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.answer);
    TEmulatorSettings s = Settings();
    s.Refusal = c.refusal;
    s.RefusalCount = 2;
    server.close();
    Start(s);
    const std::string request = c.command ? CommandRequest("\x29") : Request("CONNECT", '0');
    if (c.command) {
      EXPECT_EQ(Send(Request("CONNECT", '0')), "ok\r\n");
    }
    for (int i = 0; i < 2; ++i) EXPECT_EQ(Send(request, 300ms), c.answer);
    EXPECT_EQ(Send(request), "ok\r\n") << "after the refusals";
  }
}

TEST_F(EmulatorNetworkTest, UserTableOfAFullInstrumentAndALogOnTwice) {
  Start(Settings());
  EXPECT_EQ(Send(Request("CONNECT", '0')), "ok\r\n");
  EXPECT_EQ(Send(Request("CONNECT", '0')), "sv\r\n") << "the same host and port again";
  EXPECT_EQ(Send(Request("CONNECT", '0', 2)), "ab\r\n" + std::string("\x7F\x00\x00\x01", 4) + std::string(12, '\0'))
      << "user 1 is taken by another server port";
  for (uint16_t port : {3, 4, 5}) EXPECT_EQ(Send(Request("CONNECT", ' ', port)), "ok\r\n");
  std::string full;
  for (int i = 0; i < 4; ++i) full += std::string("\x7F\x00\x00\x01", 4);
  EXPECT_EQ(Send(Request("CONNECT", ' ', 6)), "ab\r\n" + full);
  EXPECT_EQ(Send(Request("DISCONN", '2', 4)), "ok\r\n") << "port 4 got the third slot";
  EXPECT_EQ(Send(Request("DISCONN", '2', 4)), "er\r\n") << "logged off already";
  EXPECT_EQ(Send(CommandRequest("\x01").replace(13, 2, "\x00\x09", 2)), "er\r\n") << "a command from no user";
}

TEST_F(EmulatorNetworkTest, DropAfterClosesTheDataConnection) {
  TEmulatorSettings s = Settings();
  s.DropAfter = 200ms;
  Start(s);
  auto data = LogOn();
  ASSERT_TRUE(data);
  const std::string bytes = ReadUntil(*data, [&](const std::string&) { return data->state() != QAbstractSocket::ConnectedState; });
  EXPECT_EQ(data->state(), QAbstractSocket::UnconnectedState);
  EXPECT_FALSE(bytes.empty());
  EXPECT_EQ(Send(Request("TRYBABY", '0')), "er\r\n") << "no stream any more";
  EXPECT_EQ(Send(Request("DISCONN", '0')), "ok\r\n");
}

TEST_F(EmulatorNetworkTest, SilentAfterKeepsTheConnectionButSendsNothing) {
  TEmulatorSettings s = Settings();
  s.SilentAfter = 150ms;
  Start(s);
  auto data = LogOn();
  ASSERT_TRUE(data);
  EXPECT_FALSE(ReadFor(*data, 300ms).empty());
  EXPECT_EQ(ReadFor(*data, 300ms), "");
  EXPECT_EQ(data->state(), QAbstractSocket::ConnectedState);
  EXPECT_EQ(Send(Request("TRYBABY", '0')), "ok\r\n") << "the instrument still answers";
}

TEST_F(EmulatorNetworkTest, LoggingOnAgainContinuesOrRestartsTheRing) {
  for (const bool lose : {false, true}) {
    SCOPED_TRACE(lose ? "losing" : "continuing");
    TEmulatorSettings s = Settings(TPeer::Coldfire);
    s.LoseOnReconnect = lose;
    server.close();
    Start(s);
    auto data = LogOn();
    ASSERT_TRUE(data);
    std::string bytes = ReadUntil(*data, [](const std::string& b) { return b.size() > 1000; });
    EXPECT_EQ(Send(Request("DISCONN", '0')), "ok\r\n");
    bytes += ReadFor(*data, 100ms);  // what was still under way, then the close
    const auto before = TakeCdcBlocks(bytes);
    ASSERT_FALSE(before.empty());
    data.reset();
    std::this_thread::sleep_for(100ms);  // the instrument measures on meanwhile
    auto again = LogOn();
    ASSERT_TRUE(again);
    std::string more = ReadUntil(*again, [](const std::string& b) { return b.size() > 200; });
    const auto after = TakeCdcBlocks(more);
    ASSERT_FALSE(after.empty());
    uint32_t lastR = before.back().ReadPtr;
    const bool fits = (lastR + after[0].ByteCount) % 0x20000 == after[0].ReadPtr;
    EXPECT_EQ(fits, !lose);
    EXPECT_EQ(after[0].Flags & 1, lose ? 1u : 0u);
  }
}

TEST_F(EmulatorNetworkTest, DataConnectionComesFromTheConfiguredAddress) {
  TEmulatorSettings s = Settings();
  s.ConnectFrom = "127.0.0.3";
  Start(s);
  auto data = LogOn();
  ASSERT_TRUE(data);
  EXPECT_EQ(data->peerAddress().toString(), "127.0.0.3") << "a host other than the instrument";
}

TEST_F(EmulatorNetworkTest, TraceListsEveryReportSentWithItsValues) {
  TTempDir dir;
  TEmulatorSettings s = Settings();
  s.TracePath = dir.File("trace.txt");
  Start(s);
  auto data = LogOn();
  ASSERT_TRUE(data);
  ReadFor(*data, 200ms);
  instrument->Stop();
  const std::string trace = ReadWholeFile(s.TracePath);
  EXPECT_NE(trace.find("user1 sent version"), std::string::npos) << trace.substr(0, 500);
  // The user gets the measurements from its log-on on: each with its sample number and values.
  const std::string marker = "user1 sent measurement header=0300 sample=";
  const size_t at = trace.find(marker);
  ASSERT_NE(at, std::string::npos) << trace.substr(0, 500);
  const uint64_t n = std::stoull(trace.substr(at + marker.size()));
  char expected[128];
  std::snprintf(expected, sizeof expected, "sample=%llu values=%.3f;%.3f;%.3f;%.3f\n", static_cast<unsigned long long>(n + 1),
                1000 + (n + 1) / 8.0, 2000 + (n + 1) / 8.0, 3000 + (n + 1) / 8.0, 4000 + (n + 1) / 8.0);
  EXPECT_NE(trace.find(expected), std::string::npos) << expected;
  EXPECT_NE(trace.find("user1 sent timestamp tenths=1"), std::string::npos);
}

// The session's first requests to a network-module counter, through the source interface: the
// calibration read after the version report is answered, so the mode command queued behind it
// goes out at once and the instrument's reports show the new mode.
TEST(EmulatorSessionTest, ModeCommandBehindTheCalibrationReadIsConfirmed) {
  TEmulatorSettings s;
  s.Peer = TPeer::NetworkModule;
  s.ListenAddress = "127.0.0.221";
  s.IntervalMs = 50;
  s.Channels = 2;
  s.Mode = 0;
  TEmulatedInstrument instrument(s);
  ASSERT_EQ(instrument.Start(), "");
  const int32_t id = Multi_AddSource();
  std::string reply;
  ASSERT_EQ(OpenSource(id, s.ListenAddress, &reply), 1) << reply;
  auto readUntil = [id](const std::function<bool(const std::string&)>& done, std::chrono::milliseconds wait) {
    for (const auto end = std::chrono::steady_clock::now() + wait; std::chrono::steady_clock::now() < end;) {
      const TRead read = ReadText(id);
      if (done(read.Text)) return true;
      if (read.Text.empty()) std::this_thread::sleep_for(1ms);
    }
    return false;
  };
  ASSERT_TRUE(readUntil([](const std::string& line) { return IsMeasurementLine(line) && line[0] == '0'; }, 5s))
      << "phase measurements";
  const auto send = [id](std::string cmd) {
    return Multi_SendCommand(id, cmd.data(), static_cast<int32_t>(cmd.size()));
  };
  ASSERT_EQ(send(std::string("\x85" "Eb\x00", 4)), 1);
  ASSERT_EQ(send("\x42"), 1);
  // Well inside the time limit of an unanswered read: only an answered read lets it through.
  bool calibration = false;
  const bool confirmed = readUntil(
      [&calibration](const std::string& line) {
        calibration |= line.rfind("7901", 0) == 0;
        return IsMeasurementLine(line) && line[0] == '2';
      },
      std::chrono::milliseconds(NvsReplyLimitMs - 500));
  Multi_CloseConnection(id);
  EXPECT_TRUE(calibration) << "the calibration block as report 7901";
  EXPECT_TRUE(confirmed) << "frequency measurements after the mode command";
}

}  // namespace

#include "acquisition/MultiSource.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <optional>
#include <thread>

#include "acquisition/SourceTestSupport.h"
#include "devices/PcanBasicAdapter.h"
#include "devices/QV_CANDeviceMenloItem.h"
#include "support/FrameBuilder.h"
#include "support/TcpTestPeer.h"
#include "support/TempDir.h"

namespace {

std::string BigEndian32(uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

int32_t SendCommand(int32_t id, const std::string& cmd, std::string& reply, std::optional<int32_t> length = {}) {
  char buffer[MULTI_BUFFER_SIZE] = {};
  std::memcpy(buffer, cmd.data(), std::min(cmd.size(), sizeof buffer));
  const int32_t code = Multi_SendCommand(id, buffer, length.value_or(static_cast<int32_t>(cmd.size())));
  reply = buffer;
  return code;
}

TEST(MultiSource, UnknownIdsGiveCode10AndTheirText) {
  for (const int32_t id : {-1, 100000}) {
    SCOPED_TRACE(id);
    const std::string text = "Source-ID " + std::to_string(id) + " not found";
    EXPECT_EQ(ReadText(id).Code, 10);
    EXPECT_EQ(ReadText(id).Text, text);
    std::string reply;
    EXPECT_EQ(OpenSource(id, "DemoData", &reply), 10);
    EXPECT_EQ(reply, text);
    EXPECT_EQ(SendCommand(id, "\x01", reply), 10);
    EXPECT_EQ(reply, text);
    TQV_ReportStruct record;
    EXPECT_EQ(Multi_GetReportStruct(record, id), 10);
    EXPECT_EQ(record.GetErrorCode(), QV_Err_SourceNotFound);
    EXPECT_EQ(record.GetErrorText(), text);
    EXPECT_EQ(Multi_CloseConnection(id), 10);
    EXPECT_EQ(Multi_SetSend7016(id, 1), 10);
    EXPECT_EQ(Multi_GetSerialNumber(id), 0xFFFFFFFFu);
  }
}

TEST(MultiSource, DllInfo) {
  char buffer[MULTI_BUFFER_SIZE];
  EXPECT_EQ(Multi_GetDllInfo(buffer), 1);
  EXPECT_STREQ(buffer, "20.2.7 25-01-07");
}

// Every kind of string is checked completely; transports still to come are refused clearly.
TEST(MultiSource, OpenRepliesForEveryKind) {
  const struct {
    const char* Open;
    const char* Reply;
  } cases[] = {
      // Nor on this one: neither the data server nor its archive answer.
      {"TCP:127.0.0.77:9999", "No connection to TCP-Server"},
      // Nothing listens on this loopback address: the management request is refused.
      {"127.0.0.77:9999", "No connection to network device"},
      {"ZCT2:/HOST:/no-such-host.invalid", "Host not found: no-such-host.invalid"},
      // The CAN adapter's library is missing (below).
      {"CAN:MENLOF CHANNEL0 TYPE=0x20", "Cannot load library libpcanbasic-absent.so"},
      {"ARCHIVE:127.0.0.77:9999 2024-01-02 10:20:30;2024-01-02 11:00", "No connection to TCP-Server"},
      {"/dev/null:9600", "Error open Serial Device /dev/null: Inappropriate ioctl for device"},
      {"CAN:MENLOG", "Invalid CAN address: CAN:MENLOG"},
      {":9999", "Invalid connection string: :9999"},
      {"TCP:192.0.2.5:x", "Invalid TCP-Server address: TCP:192.0.2.5:x"},
      {"COM3:115200", "Device not found: COM3:115200"},
      {"none", "Connection \"none\" is never opened"},
  };
  TMenloSetup can;
  can.CreateAdapter = [](int32_t logId) { return std::make_unique<TPcanBasicAdapter>(logId, "libpcanbasic-absent.so"); };
  TMenloItem::SetSetup(can);
  const int32_t id = Multi_AddSource();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Open);
    std::string reply;
    EXPECT_EQ(OpenSource(id, c.Open, &reply), 0);
    EXPECT_EQ(reply, c.Reply);
    EXPECT_EQ(Multi_IsOpen(id), 0);
  }
  TMenloItem::SetSetup({});
}

TEST(MultiSource, TcpServerCallsOfAnUnknownSourceGiveCode10) {
  int32_t port = 0;
  EXPECT_EQ(Multi_StartTcpServer(100000, &port), 10);
  EXPECT_EQ(Multi_StopTcpServer(100000), 10);
  EXPECT_EQ(Multi_TcpReportLog(100000, "line", 0), 10);
}

class MultiSimulator : public ::testing::Test {
 protected:
  void SetUp() override { id = OpenSteppedSimulator(clock); }
  void TearDown() override { Multi_CloseConnection(id); }
  TManualClock clock;
  int32_t id = -1;
};

TEST_F(MultiSimulator, CommandAcceptance) {
  const struct {
    std::string Cmd;
    int32_t Length;
    int32_t Code;
    std::string Reply;
  } cases[] = {
      {"\x01", 1, 1, ""},
      {"\x29", 1, 1, ""},
      {"", 0, 10, "Invalid command length = 0, valid: 1..127"},
      {std::string(128, '\x01'), 128, 10, "Invalid command length = 128, valid: 1..127"},
      {"\x01", -5, 10, "Invalid command length = 0, valid: 1..127"},
      {"\x01\x01", 2, 11, "Ignore invalid command: 0101"},
      {"\x07", 1, 11, "Ignore unknown command: 07"},
      {"\x46", 1, 11, "Mode raw data not supported: 46"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Reply);
    std::string reply;
    EXPECT_EQ(SendCommand(id, c.Cmd, reply, c.Length), c.Code);
    EXPECT_EQ(reply, c.Reply);
  }
  Multi_CloseConnection(id);
  std::string reply;
  EXPECT_EQ(SendCommand(id, "\x01", reply), 7);
  EXPECT_EQ(reply, "No connection, Command ignored: 01");
}

TEST_F(MultiSimulator, TheLocalServerServesTheReportLinesAndTurnsApplicationDataIntoReports) {
  EXPECT_EQ(Multi_StopTcpServer(id), 1);  // none runs yet
  int32_t port = 0;
  ASSERT_EQ(Multi_StartTcpServer(id, &port), 1);
  ASSERT_NE(port, 0);
  EXPECT_EQ(Multi_GetTcpServerDataPort(id), port);
  TTcpTestSubscriber sub;
  TTcpTestClient client("127.0.0.1", static_cast<uint16_t>(port));
  ASSERT_EQ(client.Ask(sub.Request("CONNECT")), "OK");
  ASSERT_TRUE(sub.Accept());
  std::string line;
  ASSERT_TRUE(sub.ReadLine(line));
  EXPECT_EQ(line, "AUTH=QV-TCP-Server");
  Step(id, 5);
  const std::vector<std::string> lines = Drain(id);
  ASSERT_FALSE(lines.empty());
  for (const std::string& expected : lines) {
    ASSERT_TRUE(sub.ReadLine(line));
    EXPECT_EQ(line, expected);
  }
  EXPECT_EQ(client.Ask(sub.Request("APPDATA", "hello there")), "OK");
  EXPECT_EQ(ReadText(id).Text, "7F40; hello there");
  EXPECT_EQ(Multi_StopTcpServer(id), 1);
  EXPECT_TRUE(sub.ClosedWithin(std::chrono::seconds(2)));
  EXPECT_EQ(Multi_GetTcpServerDataPort(id), 0);
}

TEST_F(MultiSimulator, ReportAfterCloseIsEmpty) {
  Step(id, 3);
  Multi_CloseConnection(id);
  EXPECT_EQ(ReadText(id).Code, 1);
  EXPECT_EQ(ReadText(id).Text, "");
}

// The report loop reads while another thread sends commands and a third closes and reopens the
// source: no report is lost to a freed device (run under the sanitizers).
TEST(MultiSourceThreads, CommandsAndCloseWhileTheReportLoopReads) {
  const int32_t id = Multi_AddSource();
  ASSERT_EQ(OpenSource(id, "DemoData"), 1);
  std::atomic<bool> stop = false;
  std::atomic<int> reads = 0;
  std::thread reader([&] {
    while (!stop) {
      ReadText(id);
      ++reads;
    }
  });
  std::thread commander([&] {
    for (int i = 0; i < 200 && !stop; ++i) {
      std::string reply;
      SendCommand(id, "\x01", reply);
    }
  });
  for (int i = 0; i < 20; ++i) {
    Multi_CloseConnection(id);
    ASSERT_EQ(OpenSource(id, "DemoData"), 1);
  }
  commander.join();
  while (reads < 100) std::this_thread::yield();
  stop = true;
  reader.join();
  Multi_CloseConnection(id);
}

class MultiFiles : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& bytes) {
    WriteWholeFile(dir.File(name), bytes);
    return dir.File(name);
  }
  std::vector<TRead> ReadToEnd(int32_t id) {
    std::vector<TRead> reads;
    for (int guard = 0; guard < 1000; ++guard) {
      const TRead read = ReadText(id);
      if (!read.Text.empty() || read.Code != 1) reads.push_back(read);
      if (read.Code != 1 && read.Code != 6) break;
    }
    return reads;
  }
  TTempDir dir;
};

TEST_F(MultiFiles, TextRecordingPlaysToItsEnd) {
  const int32_t id = Multi_AddSource();
  ASSERT_EQ(OpenSource(id, Write("a_QV_ReportData.txt", "7015; 1\r\n7040; hello\r\n7015; 2\r\n")), 1);
  EXPECT_EQ(Multi_IsFileDevice(id), 1);
  TQV_ReportStruct record;
  EXPECT_EQ(Multi_GetReportStruct(record, id), 0);
  EXPECT_EQ(record.GetErrorText(), "Structured reports are not available for QV_TxtFile");
  const std::vector<TRead> reads = ReadToEnd(id);
  ASSERT_EQ(reads.size(), 4u);
  EXPECT_EQ(reads[0].Text, "7015; 1");
  EXPECT_EQ(reads[1].Text, "7040; hello");
  EXPECT_EQ(reads[2].Text, "7015; 2");
  EXPECT_EQ(reads[3].Code, 7);
  EXPECT_EQ(Multi_IsOpen(id), 0);
}

TEST_F(MultiFiles, BinaryRecordingPlaysToItsEnd) {
  const std::string recording = UsbFrame(ReportCode(0x7015) + BigEndian32(1)) + UsbFrame(ReportCode(0x7015) + BigEndian32(2)) +
                                UsbFrame(ReportCode(0x7040) + "hello") + UsbFrame(ReportCode(0x7015) + BigEndian32(3));
  const int32_t id = Multi_AddSource();
  ASSERT_EQ(OpenSource(id, Write("recording.bin", recording)), 1);
  const std::vector<TRead> reads = ReadToEnd(id);
  ASSERT_EQ(reads.size(), 5u);
  EXPECT_EQ(reads[0].Text, "7015; 1");
  EXPECT_EQ(reads[1].Text, "7015; 2");
  EXPECT_EQ(reads[2].Text, "7040; hello");
  EXPECT_EQ(reads[3].Text, "7015; 3");
  EXPECT_EQ(reads[4].Code, 7);
}

TEST_F(MultiFiles, RecordedLineLongerThanAReportIsAnErrorNotACutReport) {
  // The interface would cut it to MULTI_BUFFER_SIZE - 1 characters (code 6), and a cut report
  // would pass for a whole one.
  const std::string line = "7040; " + std::string(2000, 'x');
  const int32_t id = Multi_AddSource();
  ASSERT_EQ(OpenSource(id, Write("long_QV_ReportData.txt", line + "\r\n7040; next\r\n")), 1);
  const TRead read = ReadText(id);
  EXPECT_EQ(read.Code, 0);
  EXPECT_NE(read.Text.find("line of 2006 characters skipped"), std::string::npos) << read.Text;
  EXPECT_EQ(ReadText(id).Text, "7040; next");
}

}  // namespace

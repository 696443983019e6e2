#include "devices/QV_NetworkDevice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <thread>

#include "core/CircularBuffer.h"
#include "core/NamedEvent.h"
#include "core/QV_NumberText.h"
#include "devices/QV_MissingDisconnects.h"
#include "devices/QV_TransmitBlock.h"
#include "devices/QV_UsbFrames.h"
#include "protocol/QV_Commands.h"
#include "protocol/QV_ReportDevice.h"
#include "support/LogCapture.h"
#include "support/ScriptedInstrument.h"

namespace {

using namespace std::chrono_literals;

// Every test has an instrument address and port of its own, as ctest runs tests in parallel.
size_t TestHash() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  return std::hash<std::string>{}(std::string(info->test_suite_name()) + "." + info->name());
}

// The machine's clock, moved forward on demand, so that ten seconds without data pass at once.
class TOffsetClock : public TClock {
 public:
  TSteadyTime Steady() const override { return std::chrono::steady_clock::now() + std::chrono::milliseconds(FOffset); }
  TWallTime Wall() const override { return std::chrono::system_clock::now() + std::chrono::milliseconds(FOffset); }
  void Advance(std::chrono::milliseconds step) { FOffset += step.count(); }

 private:
  std::atomic<int64_t> FOffset = 0;
};

std::string Word(uint32_t v) {
  return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

std::string CDCBlock(const std::string& window, uint32_t byteCount, uint32_t offset, uint32_t flags = 0,
                     uint32_t writePtr = 0x100) {
  return Word(0xBFBFBFBF) + Word(uint32_t(window.size())) + Word(byteCount) + Word(offset) + Word(flags) +
         Word(writePtr) + Word(0) + Word(0) + window;
}

class NetworkDeviceTest : public ::testing::Test {
 protected:
  NetworkDeviceTest()
      : ip("127.0.0." + std::to_string(10 + TestHash() % 200)),
        ManagementPort(uint16_t(20000 + TestHash() / 200 % 20000)),
        instrument(ip, ManagementPort) {
    timings.RequestLimitMs = 300;
    timings.SilenceMs = 30;
    timings.DataWaitStepMs = 10;
    timings.LogOnPauseMs = 10;
    timings.PingLimitMs = 300;
  }

  std::unique_ptr<TQV_NetworkDevice> Make(uint16_t serverPort = 0) {
    return std::make_unique<TQV_NetworkDevice>(log.Id(), 0, std::make_shared<TEvent>(), true, ip, "", ManagementPort,
                                               serverPort, timings, clock,
                                               TNetworkReachability(TNetworkReachability::TMethod::TcpOnly));
  }

  std::unique_ptr<TQV_NetworkDevice> Opened() {
    auto device = Make();
    std::string error;
    EXPECT_TRUE(device->OpenPort(error)) << error;
    EXPECT_TRUE(instrument.WaitDataConnected());
    return device;
  }

  // What arrives in the receive buffer within a second, once `expected` bytes are there.
  static std::string Received(TQV_NetworkDevice& device, size_t expected) {
    for (int i = 0; i < 200 && device.BufferAmount() < expected; ++i) std::this_thread::sleep_for(5ms);
    std::this_thread::sleep_for(20ms);
    return device.ReceiveBuffer().ReadAvailable(100000);
  }

  TLogCapture log;
  TOffsetClock clock;
  TNetworkTimings timings;
  std::string ip;
  uint16_t ManagementPort;
  TScriptedInstrument instrument;
};

TEST_F(NetworkDeviceTest, ConnectRequestNamesUserHostAndServerPort) {
  auto device = Make(9999);
  device->SetUserID(2);
  std::string error;
  ASSERT_TRUE(device->OpenPort(error)) << error;
  const auto requests = instrument.Requests("CONNECT");
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(AnsiToHex(requests[0]), AnsiToHex(std::string("CONNECT1\x7F\x00\x00\x01:\x27\x0F\r\n", 17)));
  EXPECT_TRUE(device->ServerIsRunning());
  EXPECT_EQ(device->ServerIPAndPort(), "127.0.0.1:9999");
}

struct LogOnCase {
  std::vector<std::optional<std::string>> answers;
  TQV_Result code;
  std::string message;  // "$" stands for the instrument's address and port
};

class NetworkLogOnTest : public NetworkDeviceTest, public ::testing::WithParamInterface<LogOnCase> {};

TEST_P(NetworkLogOnTest, RefusedLogOnGivesItsText) {
  instrument.Script(GetParam().answers);
  auto device = Make();
  std::string error;
  EXPECT_FALSE(device->OpenPort(error));
  std::string expected = GetParam().message;
  if (auto at = expected.find('$'); at != std::string::npos) expected.replace(at, 1, ip + ":" + std::to_string(ManagementPort));
  EXPECT_EQ(device->ErrorCode(), GetParam().code);
  EXPECT_EQ(error.substr(0, expected.size()), expected);
  EXPECT_FALSE(device->ServerIsRunning());
}

const std::string UserTable = std::string("ab\r\n") + std::string("\x7F\x00\x00\x05", 4) + std::string(12, '\0');

INSTANTIATE_TEST_SUITE_P(
    Answers, NetworkLogOnTest,
    ::testing::Values(LogOnCase{{"sv\r\n", "ok\r\n", "sv\r\n", "ok\r\n", "sv\r\n", "ok\r\n", "sv\r\n"},
                                QV_Err_AlreadyConnected,
                                "Already connected"},
                      LogOnCase{{"no\r\n"}, QV_Err_RequestDenied, "CONNECT-Request to $ failed: no"},
                      LogOnCase{{std::nullopt}, QV_Err_RequestTimeout, "CONNECT-Request timed out"},
                      LogOnCase{{UserTable}, QV_TooManyUser, "CONNECT-Request to $ failed: Too many users. "},
                      LogOnCase{{"ab\r\n"}, QV_TooManyUser, "CONNECT-Request to $ failed: Too many users"},
                      LogOnCase{{"ta\r\n", "ta\r\n", "fe1\r\n", "ta\r\n"},
                                QV_Err_RepeatRequest,
                                "Connect to $ failed - command execution denied"}));

TEST_F(NetworkDeviceTest, RepeatedLogOnSucceedsAfterTa) {
  instrument.Script({"ta\r\n"});
  auto device = Make();
  std::string error;
  EXPECT_TRUE(device->OpenPort(error)) << error;
  EXPECT_EQ(instrument.Requests("CONNECT").size(), 2u);
}

// The first bytes of each request, in order.
std::vector<std::string> Kinds(const std::vector<std::string>& requests) {
  std::vector<std::string> kinds;
  for (const auto& r : requests) kinds.push_back(r.substr(0, 7));
  return kinds;
}

TEST_F(NetworkDeviceTest, AlreadyConnectedLogsOffAndLogsOnAgain) {
  instrument.Script({"sv\r\n"});
  auto device = Make();
  std::string error;
  EXPECT_TRUE(device->OpenPort(error)) << error;
  EXPECT_EQ(Kinds(instrument.Requests()), (std::vector<std::string>{"CONNECT", "DISCONN", "CONNECT"}));
}

TEST_F(NetworkDeviceTest, StaleRegistrationIsLoggedOffWithItsRecordedPort) {
  TQV_MissingDisconnects::Instance().Add(TQV_MissingDisconnects::Entry(2, 0x1234));
  // User slot 2 names another address than this host's.
  const std::string table = std::string(4, '\0') + std::string("\x0A\x00\x00\x09", 4) + std::string(8, '\0');
  instrument.Script({"ab\r\n" + table});
  auto device = Make();
  device->SetUserID(2);
  std::string error;
  EXPECT_TRUE(device->OpenPort(error)) << error;
  const auto requests = instrument.Requests();
  ASSERT_EQ(Kinds(requests), (std::vector<std::string>{"CONNECT", "DISCONN", "CONNECT"}));
  EXPECT_EQ(AnsiToHex(requests[1]), AnsiToHex(std::string("DISCONN1\x7F\x00\x00\x01:\x12\x34\r\n", 17)));
  EXPECT_TRUE(TQV_MissingDisconnects::Instance().Entries().empty());
}

TEST_F(NetworkDeviceTest, CommandRequestCarriesLengthAndBytes) {
  auto device = Opened();
  ASSERT_TRUE(device->DeviceWrite("3"));
  const auto requests = instrument.Requests("CMD");
  ASSERT_EQ(requests.size(), 1u);
  std::string expected = "CMD.... " + std::string("\x7F\x00\x00\x01", 4) + ":";
  expected += char(device->ServerPort() >> 8);
  expected += char(device->ServerPort() & 0xFF);
  expected += std::string(" \x01", 2) + "3";
  EXPECT_EQ(AnsiToHex(requests[0]), AnsiToHex(expected));
}

TEST_F(NetworkDeviceTest, BusyCommandFailsAfterThreeRepeats) {
  auto device = Opened();
  instrument.Script({"bu\r\n", "bu\r\n", "bu\r\n", "bu\r\n"});
  EXPECT_FALSE(device->DeviceWrite("3"));
  EXPECT_EQ(device->ErrorMessage(), "Command execution denied (busy), please repeat CMD");
  EXPECT_EQ(instrument.Requests("CMD").size(), 4u);
}

TEST_F(NetworkDeviceTest, SlowFirstByteOfAnAnswerIsWaitedFor) {
  auto device = Opened();
  // Longer than the silence that ends an answer, within the request limit.
  instrument.SetAnswerDelay(int(timings.SilenceMs) * 4);
  EXPECT_TRUE(device->DeviceWrite("3")) << device->ErrorMessage();
  EXPECT_EQ(device->ErrorCode(), QV_No_Err);
}

TEST_F(NetworkDeviceTest, BusyCommandSucceedsOnRepeat) {
  auto device = Opened();
  instrument.Script({"bu\r\n", "ok\r\n"});
  EXPECT_TRUE(device->DeviceWrite("3"));
  EXPECT_EQ(instrument.Requests("CMD").size(), 2u);
}

TEST_F(NetworkDeviceTest, DataAfterAClearingCommandWaitIfTheStreamRestarts) {
  auto device = Opened();
  ASSERT_TRUE(device->DeviceWrite("\x83"));
  ASSERT_TRUE(instrument.SendData(CDCBlock("stal", 4, 0) + CDCBlock("new.", 4, 0, 1, 0x600)));
  for (int i = 0; i < 200 && device->BufferAmount() < 4; ++i) std::this_thread::sleep_for(5ms);
  EXPECT_TRUE(device->ReceiveBufferCleared()) << "the decoder learns that the old stream was dropped";
  EXPECT_EQ(Received(*device, 4), "new.");
}

TEST_F(NetworkDeviceTest, FirstVersionCommandOfANetworkModuleIsDropped) {
  auto device = Opened();
  ASSERT_TRUE(instrument.SendData("ZCT2"));
  for (int i = 0; i < 200 && device->PeerType() == ptUnknown; ++i) std::this_thread::sleep_for(5ms);
  ASSERT_EQ(device->PeerType(), ptESP);
  EXPECT_TRUE(device->DeviceWrite("\x01"));
  EXPECT_TRUE(device->DeviceWrite("\x01"));
  EXPECT_EQ(instrument.Requests("CMD").size(), 1u);
}

TEST_F(NetworkDeviceTest, OverlongCommandIsRefusedUnsent) {
  auto device = Opened();
  EXPECT_FALSE(device->DeviceWrite(std::string(256, 'x')));
  EXPECT_EQ(device->ErrorCode(), QV_Err_BadFormat);
  EXPECT_EQ(device->ErrorMessage(), "CMD too long (256)");
  EXPECT_TRUE(instrument.Requests("CMD").empty());
}

TEST_F(NetworkDeviceTest, CommandAnswerTexts) {
  auto device = Opened();
  instrument.Script({"no\r\n"});
  EXPECT_FALSE(device->DeviceWrite("3"));
  EXPECT_EQ(device->ErrorCode(), QV_Err_RequestDenied);
  instrument.Script({std::nullopt});
  EXPECT_FALSE(device->DeviceWrite("3"));
  EXPECT_EQ(device->ErrorCode(), QV_Err_RequestTimeout);
  EXPECT_NE(device->ErrorMessage().find("timed out -> PingNeeded"), std::string::npos);
}

TEST_F(NetworkDeviceTest, CDCStreamResyncsAndTakesTheNewData) {
  auto device = Opened();
  // Starts in the middle of a block; the data lie at Offset AND (Size - 1) of the window.
  ASSERT_TRUE(instrument.SendData("\x01\x02\xBF\xBF" + CDCBlock("..abcd..", 4, 0x12)));
  EXPECT_EQ(Received(*device, 4), "abcd");
  EXPECT_EQ(device->PeerType(), ptColdfire);
}

TEST_F(NetworkDeviceTest, CDCBlocksSplitAcrossReceptionsAreJoined) {
  auto device = Opened();
  const std::string stream = CDCBlock("first", 5, 0) + CDCBlock("second", 6, 0, 0, 0x200);
  // The cut falls into the first header, then into the second window.
  ASSERT_TRUE(instrument.SendData(stream.substr(0, 10)));
  std::this_thread::sleep_for(30ms);
  ASSERT_TRUE(instrument.SendData(stream.substr(10, 40)));
  std::this_thread::sleep_for(30ms);
  ASSERT_TRUE(instrument.SendData(stream.substr(50)));
  EXPECT_EQ(Received(*device, 11), "firstsecond");
}

TEST_F(NetworkDeviceTest, RepeatedCDCHeaderIsDropped) {
  auto device = Opened();
  const std::string block = CDCBlock("same", 4, 0);
  ASSERT_TRUE(instrument.SendData(block + block + CDCBlock("next", 4, 0, 0, 0x300)));
  EXPECT_EQ(Received(*device, 8), "samenext");
}

TEST_F(NetworkDeviceTest, CDCBlockBeyondItsWindowIsDroppedAndReported) {
  auto device = Opened();
  // ByteCount + Offset wraps in 32 bits; a 32-bit sum would take the block.
  const std::string bad = CDCBlock("xxxxxxxx", 0xFFFFFFFC, 4);
  ASSERT_TRUE(instrument.SendData(bad + CDCBlock("good", 4, 0, 0, 0x400)));
  EXPECT_EQ(Received(*device, 4), "good");
  EXPECT_EQ(device->ErrorCode(), QV_Err_ReceiveServerFailed);
}

TEST_F(NetworkDeviceTest, ToolsDataGoToTheToolsBuffer) {
  auto device = Opened();
  ASSERT_TRUE(instrument.SendData(CDCBlock("tool", 4, 0, 2) + CDCBlock("meas", 4, 0, 0, 0x500)));
  EXPECT_EQ(Received(*device, 4), "meas");
  EXPECT_EQ(device->ToolsReadAll(), "tool");
}

TEST_F(NetworkDeviceTest, ChannelSelectionOfACDCHeaderBecomesReport7021BeforeTheBlocksData) {
  auto device = Opened();
  const std::string frame("\x00\x05\x70\x01\x56\x34\xBF", 7);
  ASSERT_TRUE(instrument.SendData(CDCBlock(frame, 7, 0, 0x12345604)));
  const std::string selection = QV_UsbFrames::UsbFrame(std::string("\x70\x21\x12\x34\x56", 5));
  EXPECT_EQ(AnsiToHex(Received(*device, frame.size() + selection.size())), AnsiToHex(selection + frame));
}

TEST_F(NetworkDeviceTest, ConnectedUsersReplyOfACDCPeerBecomesReport7030) {
  auto device = Opened();
  ASSERT_TRUE(device->DeviceWrite(std::string("\x85\x42\x01", 3)));
  const std::string table = std::string("\x7F\x00\x00\x01", 4) + std::string(12, '\0');
  ASSERT_TRUE(instrument.SendData(CDCBlock(table, 16, 0, 2)));
  const std::string report = QV_UsbFrames::UsbFrame(std::string("\x70\x30", 2) + table);
  EXPECT_EQ(AnsiToHex(Received(*device, report.size())), AnsiToHex(report));
  EXPECT_TRUE(device->ToolsReadAll().empty());
}

// Network-module peer: transmit blocks on the data connection.
const std::string Measurement = BuildTransmitBlock(0x12, 0, 0, 1u << 20, std::string(24 * 8, '\x11'));
const std::string ToolsReply = BuildTransmitBlock('v', 0, 0, 1u << 20, "tool");

TEST_F(NetworkDeviceTest, TransmitBlocksSplitAcrossReceptionsReachTheDecoderWhole) {
  auto device = Opened();
  const std::string stream = "junk" + Measurement + ToolsReply + Measurement;
  // The first cut falls into the first header, the second into the tools reply.
  for (const auto& [from, length] : {std::pair{0, 13}, std::pair{13, 215}, std::pair{228, 1000}}) {
    ASSERT_TRUE(instrument.SendData(stream.substr(from, length)));
    std::this_thread::sleep_for(30ms);
  }
  EXPECT_EQ(AnsiToHex(Received(*device, 2 * Measurement.size())), AnsiToHex(Measurement + Measurement));
  EXPECT_EQ(device->ToolsReadAll(), std::string("tool") + std::string(4, '\0'));
  EXPECT_EQ(device->PeerType(), ptESP);
  EXPECT_EQ(device->UserID(), 2);
  EXPECT_EQ(device->ZCTChannelCount(), 24);
}

TEST_F(NetworkDeviceTest, TransmitBlockWithAnImpossibleValueCountIsDroppedAndReported) {
  auto device = Opened();
  const std::string broken = std::string("ZCT2\x12\xFF", 6) + std::string(10, '\0');
  ASSERT_TRUE(instrument.SendData(Measurement + broken + Measurement));
  EXPECT_EQ(AnsiToHex(Received(*device, 2 * Measurement.size())), AnsiToHex(Measurement + Measurement));
  EXPECT_EQ(device->ErrorCode(), QV_Err_ReceiveServerFailed);
}

TEST_F(NetworkDeviceTest, CommandsToANetworkModuleStartTheirReplyWaitsAndDelays) {
  auto device = Opened();
  ASSERT_TRUE(instrument.SendData(Measurement));
  for (int i = 0; i < 200 && device->PeerType() == ptUnknown; ++i) std::this_thread::sleep_for(5ms);
  ASSERT_TRUE(device->DeviceWrite("\x01"));  // the first version command is dropped
  ASSERT_TRUE(device->DeviceWrite("\x22"));
  EXPECT_EQ(device->CmdResponse(), crt_interval);
  device->SetCmdResponse(crt_none);
  ASSERT_TRUE(device->DeviceWrite(std::string("\x85%", 2) + std::string(8, '\0')));
  EXPECT_GT(device->GetDelayNextCmdMs(), 1);
}

// The instrument takes the calibration read ("ok") but never sends the block: the mode command
// queued behind it reaches the instrument once the read's time limit has passed.
TEST_F(NetworkDeviceTest, AnUnansweredNvsReadHoldsTheQueueOnlyUntilItsLimit) {
  auto device = Opened();
  ASSERT_TRUE(instrument.SendData(Measurement));
  for (int i = 0; i < 200 && device->PeerType() == ptUnknown; ++i) std::this_thread::sleep_for(5ms);
  TQV_ReportDevice decoder(device.get(), nullptr, clock);
  ASSERT_EQ(decoder.SendCommand(std::string("\x85" "Eb\x00", 4)), QV_No_Err);
  ASSERT_EQ(decoder.SendCommand("\x40"), QV_No_Err);
  EXPECT_EQ(device->CmdResponse(), crt_ReadNVS);
  const auto modeSent = [&] {
    const auto requests = instrument.Requests("CMD");
    return std::any_of(requests.begin(), requests.end(),
                       [](const std::string& r) { return r.ends_with(std::string("\x01\x40", 2)); });
  };
  std::string report;
  for (int i = 0; i < 20; ++i) decoder.DeviceGetReport(report);
  EXPECT_FALSE(modeSent()) << "held while the block may still come";
  clock.Advance(std::chrono::milliseconds(NvsReplyLimitMs + 1));
  for (int i = 0; i < 20 && !modeSent(); ++i) decoder.DeviceGetReport(report);
  EXPECT_TRUE(modeSent());
  const std::string expired = "ERROR: " + decoder.DbgTag() + ".CheckCmdResponse: wait CmdResponse readNVS expired after ";
  const auto lines = log.Lines();
  EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.starts_with(expired); }))
      << "the diagnostic line";
}

TEST_F(NetworkDeviceTest, NoDataTexts) {
  auto device = Opened();
  clock.Advance(11s);
  EXPECT_TRUE(device->DeviceReadAvailable(10).empty());
  EXPECT_EQ(device->ErrorCode(), QV_HardwareFault);
  EXPECT_EQ(device->ErrorMessage(),
            "NetworkDevice does not send measurement data: Please check measurement hardware!");
  device->SetReceivedSec(5);
  EXPECT_TRUE(device->DeviceReadAvailable(10).empty());
  EXPECT_EQ(device->ErrorCode(), QV_Err_DataTransferInterrupted);
  EXPECT_EQ(device->ErrorMessage(), "Network device: Data transfer interrupted. Please wait...");
}

TEST_F(NetworkDeviceTest, DroppedDataConnectionIsReported) {
  auto device = Opened();
  instrument.DropData();
  // The connection is gone before the device has logged off and set its error: wait for both.
  for (int i = 0; i < 200 && (device->DataConnected() || device->ErrorCode() == QV_No_Err); ++i)
    std::this_thread::sleep_for(5ms);
  EXPECT_TRUE(device->DeviceReadAvailable(10).empty());
  EXPECT_EQ(device->ErrorCode(), QV_Err_Disconnected);
}

TEST_F(NetworkDeviceTest, DroppedDataConnectionLogsOffAndCloses) {
  auto device = Opened();
  instrument.DropData();
  for (int i = 0; i < 200 && device->DataConnected(); ++i) std::this_thread::sleep_for(5ms);
  device->DeviceReadAvailable(10);
  EXPECT_EQ(instrument.Requests("DISCONN").size(), 1u);
  EXPECT_FALSE(device->ServerIsRunning());
  EXPECT_FALSE(device->PortIsOpened());
}

TEST_F(NetworkDeviceTest, ReconnectsAfterADayOfOpenTime) {
  auto device = Opened();
  ASSERT_TRUE(instrument.SendData(CDCBlock("day1", 4, 0)));
  ASSERT_EQ(Received(*device, 4), "day1");
  clock.Advance(std::chrono::hours(24) + 1s);
  device->DeviceReadAvailable(10);
  EXPECT_EQ(Kinds(instrument.Requests()), (std::vector<std::string>{"CONNECT", "DISCONN", "CONNECT"}));
  EXPECT_TRUE(device->PortIsOpened());
  EXPECT_TRUE(log.Contains("CheckReconnect: more than one day elapsed"));
}

TEST_F(NetworkDeviceTest, DataConnectionFromAnotherHostIsRefused) {
  auto device = Opened();
  EXPECT_FALSE(TScriptedInstrument::ConnectionKept("127.0.0.250", "127.0.0.1", device->ServerPort()));
  EXPECT_TRUE(instrument.SendData(CDCBlock("mine", 4, 0)));
  EXPECT_EQ(Received(*device, 4), "mine");
}

TEST_F(NetworkDeviceTest, ServerPortIsTakenOnlyOnce) {
  auto device = Make();
  device->SetServerPort(9999);
  device->SetServerPort(9998);
  EXPECT_EQ(device->ServerPort(), 9999);
  EXPECT_TRUE(log.Contains("ERROR: TQV_NetworkDevice.SetServerPort failed, already running"));
}

TEST_F(NetworkDeviceTest, ClosePortLogsOff) {
  auto device = Opened();
  const uint16_t port = device->ServerPort();
  EXPECT_TRUE(device->ClosePort());
  const auto requests = instrument.Requests("DISCONN");
  ASSERT_EQ(requests.size(), 1u);
  std::string expected = "DISCONN " + std::string("\x7F\x00\x00\x01", 4) + ":";
  expected += char(port >> 8);
  expected += char(port & 0xFF);
  EXPECT_EQ(AnsiToHex(requests[0]), AnsiToHex(expected + "\r\n"));
  EXPECT_FALSE(device->ServerIsRunning());
}

TEST_F(NetworkDeviceTest, ToolsContextSwitchesToolsModeOnAndOff) {
  auto device = Make();
  device->SetContextTool(true);
  std::string error;
  ASSERT_TRUE(device->OpenPort(error)) << error;
  ASSERT_TRUE(instrument.WaitDataConnected());
  EXPECT_TRUE(device->ClosePort());
  const auto commands = instrument.Requests("CMD");
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_EQ(commands[0].substr(16), std::string("\x02\x85\x10", 3));
  EXPECT_EQ(commands[1].substr(16), std::string("\x02\x85\x11", 3));
}

TEST_F(NetworkDeviceTest, ForceCloseSendsNoLogOff) {
  auto device = Opened();
  device->ForceClose();
  EXPECT_TRUE(instrument.Requests("DISCONN").empty());
  EXPECT_FALSE(device->ServerIsRunning());
}

}  // namespace

namespace {

// A CDC block whose ReadPtr gives the repeat address.
std::string CDCBlockAt(const std::string& data, uint32_t readPtr) {
  return Word(0xBFBFBFBF) + Word(uint32_t(data.size())) + Word(uint32_t(data.size())) + Word(0) + Word(0) +
         Word(readPtr + 0x10) + Word(readPtr) + Word(0) + data;
}

class NetworkRecoveryTest : public NetworkDeviceTest {
 protected:
  // Lets the no-data limit pass until the device has logged on again and its data connection is up.
  bool RecoverBy(TQV_NetworkDevice& device) {
    for (int i = 0; i < 200; ++i) {
      clock.Advance(11s);
      device.DeviceReadAvailable(100);
      if (device.IsReconnected() && instrument.Requests("CONNECT").size() == 2 && instrument.WaitDataConnected(10))
        return true;
      std::this_thread::sleep_for(10ms);
    }
    return false;
  }
};

struct ContinuationCase {
  uint32_t readPtr;      // of the first block after the reopen; the last one before it had 0x1FFFC
  std::string received;  // what the receive buffer then holds
  TQV_Result code;
};

class NetworkContinuationTest : public NetworkRecoveryTest, public ::testing::WithParamInterface<ContinuationCase> {};

TEST_P(NetworkContinuationTest, FirstBlockAfterReopen) {
  auto device = Opened();
  ASSERT_TRUE(instrument.SendData(CDCBlockAt("wait", 0x1FFFC)));
  ASSERT_EQ(Received(*device, 4), "wait");
  device->SetReceivedSec(5);
  instrument.Script({"no\r\n"});  // the liveness test is refused: the device reopens
  ASSERT_TRUE(RecoverBy(*device));
  ASSERT_TRUE(instrument.SendData(CDCBlockAt("next", GetParam().readPtr)));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(device->ReceiveBuffer().ReadAvailable(1000), GetParam().received);
  EXPECT_EQ(device->ErrorCode(), GetParam().code);
  if (GetParam().code == QV_Err_Reconnected) {
    EXPECT_EQ(device->ErrorMessage(), "Data lost! Data transfer restarted");
  }
}

// The ring of 0x20000 bytes wraps between the last block and the next: 0x1FFFC + 4 is 0.
INSTANTIATE_TEST_SUITE_P(RepeatAddresses, NetworkContinuationTest,
                         ::testing::Values(ContinuationCase{0x00000, "next", QV_No_Err},
                                           ContinuationCase{0x1FFFC, "", QV_No_Err},
                                           ContinuationCase{0x00400, "next", QV_Err_Reconnected}));

TEST_F(NetworkRecoveryTest, UnansweredLivenessTestCountsInterruptions) {
  auto device = Opened();
  ASSERT_TRUE(instrument.SendData(CDCBlock("data", 4, 0)));
  ASSERT_EQ(Received(*device, 4), "data");
  device->SetReceivedSec(5);
  instrument.Script({std::nullopt});
  clock.Advance(11s);
  device->DeviceReadAvailable(10);
  EXPECT_EQ(device->ErrorMessage(), "Network device: Data transfer interrupted. Please wait...");
  for (int i = 0; i < 100 && instrument.Requests("TRYBABY").empty(); ++i) std::this_thread::sleep_for(10ms);
  std::this_thread::sleep_for(std::chrono::milliseconds(timings.RequestLimitMs + 100));
  clock.Advance(11s);
  device->DeviceReadAvailable(10);
  EXPECT_EQ(device->ErrorCode(), QV_Err_RequestTimeout);
  EXPECT_EQ(device->ErrorMessage(), "Network device: Data transfer interrupted (1). Please wait...");
}

}  // namespace

namespace {

TEST_F(NetworkRecoveryTest, ResetInstrumentIsReportedThenReopened) {
  timings.ResetWaitMs = 10;
  timings.ResetWaitColdfireMs = 10;
  auto device = Opened();
  ASSERT_TRUE(instrument.SendData(CDCBlock("data", 4, 0)));
  Received(*device, 4);
  device->SetReceivedSec(5);
  ASSERT_TRUE(device->DeviceWrite("\x85P"));
  ASSERT_TRUE(device->ResetCmdSent());
  instrument.DropData();  // the instrument restarts
  for (int i = 0; i < 200 && device->DataConnected(); ++i) std::this_thread::sleep_for(5ms);
  // No waiting for the no-data limit: the first check reports the reset.
  EXPECT_TRUE(device->DeviceReadAvailable(10).empty());
  EXPECT_EQ(device->ErrorCode(), QV_Err_DeviceResetted);
  EXPECT_EQ(device->ErrorMessage(), "Device Resetted");
  device->QuitError();
  device->DeviceReadAvailable(10);
  EXPECT_TRUE(device->IsReconnected());
  EXPECT_FALSE(device->ResetCmdSent());
  EXPECT_EQ(instrument.Requests("CONNECT").size(), 2u);
  EXPECT_TRUE(instrument.WaitDataConnected());
  EXPECT_NE(device->ErrorCode(), QV_Err_Disconnected);
}

}  // namespace

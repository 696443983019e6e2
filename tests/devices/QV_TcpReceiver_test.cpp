#include "devices/QV_TcpReceiver.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>

#include "core/StoreDataRecord.h"
#include "support/ScriptedDataServer.h"
#include "support/ScriptedInstrument.h"

namespace {

using namespace std::chrono;
using namespace std::chrono_literals;

TArchiveTime At(int hour, int minute, int second = 0) {
  return sys_days{year{2024} / January / 1} + hours{hour} + minutes{minute} + seconds{second};
}

std::string Record(TArchiveTime start, TArchiveTime end, const std::string& data) {
  return StoreDataRecordBytes({ArchiveToDateTime(start), ArchiveToDateTime(end), data});
}

template <typename Condition>
bool WaitFor(Condition done, milliseconds limit = 2000ms) {
  for (const auto until = steady_clock::now() + limit; !done();) {
    if (steady_clock::now() > until) return false;
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

class TcpReceiverTest : public ::testing::Test {
 protected:
  TcpReceiverTest() : receiver(-1, "127.0.0.1", server.Port(), [this](const std::string& d) { Received(d); }, Timings(), clock) {}

  static TTcpReceiverTimings Timings() {
    TTcpReceiverTimings t;
    t.RequestLimitMs = 300;
    t.RingPauseMs = 2;
    return t;
  }
  void Received(const std::string& data) {
    std::lock_guard lock(mutex);
    (data.empty() ? failures : texts).push_back(data);
  }
  std::vector<std::string> Texts() {
    std::lock_guard lock(mutex);
    return texts;
  }
  size_t Failures() {
    std::lock_guard lock(mutex);
    return failures.size();
  }
  std::string Own() const { return "127.0.0.1:" + std::to_string(receiver.DataPort()); }
  // The next periodic checks of the owner after the stream has been silent for ten seconds.
  bool CheckAfterSilence() {
    clock.Advance(10001ms);
    return receiver.CheckDataTransferInterrupted();
  }

  TScriptedDataServer server;
  TManualClock clock;
  std::mutex mutex;
  std::vector<std::string> texts, failures;
  TQV_TcpReceiver receiver;
};

TEST_F(TcpReceiverTest, SubscribesAndPassesLinesOnInOrder) {
  ASSERT_TRUE(receiver.OpenPort("MODE=PHASELOG", true, "hh:nn:ss.zzz"));
  EXPECT_TRUE(receiver.Connected());
  EXPECT_EQ(server.Requests(), std::vector<std::string>{"CONNECT " + Own() + " MODE=PHASELOG UTC-Time=hh:nn:ss.zzz"});
  ASSERT_TRUE(server.WaitDataConnected());
  server.SendData("7001first\r\n7002sec");
  server.SendData("ond\r\n7003third\n");
  ASSERT_TRUE(WaitFor([&] { return Texts().size() == 3; }));
  EXPECT_EQ(Texts(), (std::vector<std::string>{"7001first", "7002second", "7003third"}));
  EXPECT_FALSE(receiver.CheckDataTransferInterrupted());

  const std::string own = Own();
  EXPECT_TRUE(receiver.ClosePort());
  EXPECT_EQ(server.Requests().back(), "DISCONN " + own);
  // Every request went over a connection of its own.
  EXPECT_EQ(server.Connections(), 2);
  EXPECT_FALSE(receiver.PortIsOpened());
}

TEST_F(TcpReceiverTest, DataPortCannotChangeWhileSubscribed) {
  ASSERT_TRUE(receiver.OpenPort("", false, ""));
  const uint16_t port = receiver.DataPort();
  EXPECT_NE(port, 0);
  receiver.SetDataPort(uint16_t(port + 1));
  EXPECT_EQ(receiver.DataPort(), port);
  receiver.ClosePort();
  // A port the system chose is chosen afresh; a port given while closed is used.
  EXPECT_EQ(receiver.DataPort(), 0);
  receiver.SetDataPort(port);
  ASSERT_TRUE(receiver.OpenPort("", false, ""));
  EXPECT_EQ(server.Requests().back(), "CONNECT 127.0.0.1:" + std::to_string(port));
}

TEST_F(TcpReceiverTest, PlainSubscriptionAsksForAllReportLines) {
  ASSERT_TRUE(receiver.OpenPort("", false, ""));
  ASSERT_TRUE(server.WaitDataConnected());
  EXPECT_EQ(server.Requests(), std::vector<std::string>{"CONNECT " + Own()});
  server.SendData("7001after\r\n");
  ASSERT_TRUE(WaitFor([&] { return Texts().size() == 1; }));
  EXPECT_EQ(Texts(), std::vector<std::string>{"7001after"});
}

struct TRefusal {
  const char* Name;
  std::optional<std::string> Answer;
  TQV_Result Code;
  std::string Message;  // "%" stands for the request
};

class TcpReceiverRefusalTest : public TcpReceiverTest, public ::testing::WithParamInterface<TRefusal> {};

TEST_P(TcpReceiverRefusalTest, FailedSubscriptionLeavesTheReceiverClosedWithTheReason) {
  server.Script({GetParam().Answer});
  EXPECT_FALSE(receiver.OpenPort("MODE=FREQLOG", false, ""));
  EXPECT_FALSE(receiver.PortIsOpened());
  EXPECT_FALSE(receiver.Connected());
  EXPECT_EQ(receiver.ErrorCode(), GetParam().Code);
  std::string expected = GetParam().Message;
  if (const size_t at = expected.find('%'); at != std::string::npos)
    expected.replace(at, 1, server.Requests().at(0));
  EXPECT_EQ(receiver.ErrorMessage(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, TcpReceiverRefusalTest,
    ::testing::Values(
        TRefusal{"Denied", "ERR mode not available: MODE=FREQLOG", QV_Err_RequestDenied,
                 "Request % failed: ERR mode not available: MODE=FREQLOG"},
        TRefusal{"Empty", "", QV_Err_RequestTimeout, "CONNECT-Request timed out"},
        TRefusal{"Silent", std::nullopt, QV_Err_RequestTimeout, "CONNECT-Request timed out"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(TcpReceiver, NoServerIsAConnectFailure) {
  uint16_t port;
  {
    TScriptedDataServer gone;
    port = gone.Port();
  }
  TQV_TcpReceiver receiver(-1, "127.0.0.1", port, nullptr);
  EXPECT_FALSE(receiver.OpenPort("", false, ""));
  EXPECT_EQ(receiver.ErrorCode(), QV_Err_ConnectFailed);
  EXPECT_EQ(receiver.ErrorMessage(), "No connection to TCP-Server");
}

TEST_F(TcpReceiverTest, ServerDroppingTheDataConnectionIsReported) {
  ASSERT_TRUE(receiver.OpenPort("", false, ""));
  ASSERT_TRUE(server.WaitDataConnected());
  server.SendData("7001x\r\n");
  ASSERT_TRUE(WaitFor([&] { return Texts().size() == 1; }));
  server.DropData();
  ASSERT_TRUE(WaitFor([&] { return Failures() == 1; }));
  EXPECT_EQ(receiver.ErrorCode(), QV_Err_ServerDown);
  EXPECT_EQ(receiver.ErrorMessage(), "TCP-Server has closed");
  EXPECT_FALSE(receiver.Connected());
  EXPECT_TRUE(CheckAfterSilence());
}

TEST_F(TcpReceiverTest, SilenceIsProbedAndAnAnsweringServerKeepsTheSubscription) {
  ASSERT_TRUE(receiver.OpenPort("", false, ""));
  EXPECT_FALSE(CheckAfterSilence());
  EXPECT_EQ(receiver.ErrorCode(), QV_Err_DataTransferInterrupted);
  EXPECT_EQ(receiver.ErrorMessage(), "TcpReceiver data transfer interrupted. Please wait...");
  ASSERT_TRUE(server.WaitRequests(2));
  EXPECT_EQ(server.Requests()[1], "TRYBABY " + Own());
  ASSERT_TRUE(WaitFor([&] { return !CheckAfterSilence() && receiver.ErrorCode() == QV_No_Err; }));
  EXPECT_TRUE(receiver.Connected());
}

TEST_F(TcpReceiverTest, ProbeWithoutAnswerCountsAndReportsTheInterruption) {
  ASSERT_TRUE(receiver.OpenPort("", false, ""));
  server.Script({std::nullopt});
  EXPECT_FALSE(CheckAfterSilence());
  ASSERT_TRUE(WaitFor([&] { return CheckAfterSilence(); }));
  EXPECT_EQ(receiver.ErrorCode(), QV_Err_RequestTimeout);
  EXPECT_EQ(receiver.ErrorMessage(), "TcpReceiver data transfer interrupted (1). Please wait...");
}

TEST_F(TcpReceiverTest, ServerThatForgotTheSubscriberIsSubscribedAgain) {
#ifdef __SANITIZE_THREAD__
  // Under the thread sanitizer the silence probe sometimes never reaches the test server; the cause
  // is open and tracked, the plain build runs this test.
  GTEST_SKIP() << "silence probe not reliably sent under the thread sanitizer (open fault)";
#endif
  ASSERT_TRUE(receiver.OpenPort("", false, ""));
  server.Script({"Unknown client: " + Own()});
  EXPECT_FALSE(CheckAfterSilence());
  // The probe goes out from the receiver's thread; a loaded machine (sanitizer builds) needs longer.
  ASSERT_TRUE(server.WaitRequests(2, 5000));
  ASSERT_TRUE(WaitFor([&] { return !CheckAfterSilence() && server.Requests().size() == 3; }, 5000ms));
  EXPECT_TRUE(server.Requests()[2].starts_with("CONNECT 127.0.0.1:"));
  EXPECT_TRUE(receiver.PortIsOpened());
  EXPECT_EQ(receiver.ErrorCode(), QV_No_Err);
}

TEST_F(TcpReceiverTest, DataConnectionFromAnotherHostIsRefused) {
  ASSERT_TRUE(receiver.OpenPort("", false, ""));
  EXPECT_FALSE(TScriptedInstrument::ConnectionKept("127.0.0.2", "127.0.0.1", receiver.DataPort()));
  EXPECT_TRUE(TScriptedInstrument::ConnectionKept("127.0.0.1", "127.0.0.1", receiver.DataPort()));
}

TEST(TcpReceiver, LinesOfAServerConnectingBackFromAnotherHostAreNeverDelivered) {
  TScriptedDataServer server("127.0.0.2");
  std::atomic<int> delivered = 0;
  TQV_TcpReceiver receiver(-1, "127.0.0.1", server.Port(), [&](const std::string& d) { delivered += !d.empty(); });
  ASSERT_TRUE(receiver.OpenPort("", false, ""));
  ASSERT_TRUE(server.WaitDataConnected());
  server.SendData("7001x\r\n");
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(delivered, 0);
}

TEST_F(TcpReceiverTest, AppDataGetsTheServersAnswerWhateverItSays) {
  server.Script({"ERR: Too many strings"});
  std::string data = "hello";
  EXPECT_EQ(receiver.SendAppData(data), QV_No_Err);
  EXPECT_EQ(data, "ERR: Too many strings");
  EXPECT_TRUE(server.Requests().at(0).starts_with("APPDATA 127.0.0.1:0 hello"));
}

TEST_F(TcpReceiverTest, AppDataWithLineEndsStaysOneRequest) {
  std::string data = "a\r\nDISCONN 127.0.0.1:1";
  EXPECT_EQ(receiver.SendAppData(data), QV_No_Err);
  EXPECT_EQ(server.Requests(), std::vector<std::string>{"APPDATA 127.0.0.1:0 a  DISCONN 127.0.0.1:1"});
}

class TcpReceiverArchiveTest : public TcpReceiverTest {
 protected:
  // The owner's periodic checks until the replay reports its end.
  bool ReplayUntilEnd() {
    return WaitFor([&] {
      clock.Advance(1ms);
      return receiver.CheckDataTransferInterrupted();
    });
  }
  std::string Chunks() {
    std::string all;
    for (const std::string& chunk : Texts()) all += chunk;
    return all;
  }
  size_t LargestChunk() {
    size_t largest = 0;
    for (const std::string& chunk : Texts()) largest = std::max(largest, chunk.size());
    return largest;
  }
  std::vector<std::string> GetRequests() {
    std::vector<std::string> stamps;
    for (const std::string& r : server.Requests())
      if (r.starts_with("GETDATA")) stamps.push_back(r.substr(r.rfind(' ') + 1));
    return stamps;
  }
};

TEST_F(TcpReceiverArchiveTest, ReplaysHourByHourWithinTheRingsRoomUntilARecordBeyondTheEnd) {
  server.Archive("20240101_103000", Record(At(10, 30), At(10, 30, 59), "alpha-") + Record(At(10, 31), At(10, 31, 59), "beta-"));
  server.Archive("20240101_110000", Record(At(11, 0), At(11, 0, 59), "gamma-"));
  server.Archive("20240101_120000", Record(At(12, 14), At(12, 14, 59), "delta") + Record(At(12, 16), At(12, 16, 59), "late"));
  ASSERT_TRUE(receiver.OpenArchive(At(10, 30), At(12, 15), [] { return 4u; }));
  EXPECT_EQ(server.Requests().at(0), "ARCHIVE " + Own() + " 20240101_103000");
  ASSERT_TRUE(ReplayUntilEnd());
  EXPECT_EQ(receiver.ErrorCode(), QV_Err_EndOfFile);
  EXPECT_EQ(receiver.ErrorMessage(), "End of archive data");
  EXPECT_EQ(GetRequests(), (std::vector<std::string>{"20240101_103000", "20240101_110000", "20240101_120000"}));
  EXPECT_EQ(Chunks(), "alpha-beta-gamma-delta");
  EXPECT_LE(LargestChunk(), 4u);
}

TEST_F(TcpReceiverArchiveTest, FullRingHoldsTheReplayBackUntilThereIsRoom) {
  server.Archive("20240101_103000", Record(At(10, 30), At(10, 30, 59), "alpha"));
  std::atomic<uint32_t> room = 0;
  ASSERT_TRUE(receiver.OpenArchive(At(10, 30), At(10, 45), [&] { return room.load(); }));
  ASSERT_TRUE(WaitFor([&] {
    receiver.CheckDataTransferInterrupted();
    return GetRequests().size() == 1;
  }));
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(Chunks(), "");
  room = 2;
  ASSERT_TRUE(WaitFor([&] { return Chunks() == "alpha"; }));
  EXPECT_EQ(LargestChunk(), 2u);
}

TEST_F(TcpReceiverArchiveTest, OpenEndReplayEndsAtTheFirstMissingHour) {
  server.Archive("20240101_103000", Record(At(10, 30), At(10, 30, 59), "alpha-"));
  server.Archive("20240101_110000", Record(At(11, 0), At(11, 0, 59), "beta"));
  ASSERT_TRUE(receiver.OpenArchive(At(10, 30), std::nullopt, [] { return 100000u; }));
  ASSERT_TRUE(WaitFor([&] {
    receiver.CheckDataTransferInterrupted();
    return GetRequests().size() == 3 && Chunks().size() == 10;
  }));
  EXPECT_FALSE(receiver.CheckDataTransferInterrupted());
  EXPECT_TRUE(CheckAfterSilence());
  EXPECT_EQ(receiver.ErrorMessage(), "End of archive data");
  EXPECT_EQ(GetRequests(), (std::vector<std::string>{"20240101_103000", "20240101_110000", "20240101_120000"}));
  EXPECT_EQ(Chunks(), "alpha-beta");
}

}  // namespace

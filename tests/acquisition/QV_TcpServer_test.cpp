#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <thread>

#include "acquisition/QV_TcpRequest.h"
#include "acquisition/QV_TcpServer.h"
#include "core/CalendarTime.h"
#include "support/TcpTestPeer.h"

namespace {

using namespace std::chrono_literals;

// Waits until `done` holds (true) or two seconds passed (false).
template <class F>
bool Eventually(F done) {
  for (int i = 0; i < 400; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(5ms);
  }
  return done();
}

// An archive with some hours, each a list of records; "damaged" hours fail after their records.
class TFakeArchive : public IQV_ArchiveStore {
 public:
  std::map<int64_t, std::vector<TStoreDataRecord>> Hours;
  std::vector<std::string> Taken;
  bool Enabled = false;

  static int64_t HourOf(TDateTime utc) { return int64_t(utc * 24 + 1e-9); }
  void SetStorageEnabled(bool value) override { Enabled = value; }
  void TakeData(const std::string& item) override { Taken.push_back(item); }
  bool IsArchiveData(TDateTime utc) const override { return Hours.count(HourOf(utc)) != 0; }
  std::unique_ptr<IQV_ArchiveReader> OpenHour(TDateTime utc) const override {
    struct TReader : IQV_ArchiveReader {
      std::vector<TStoreDataRecord> records;
      size_t next = 0;
      bool Next(TStoreDataRecord& r) override {
        if (next == records.size()) return false;
        r = records[next++];
        return true;
      }
      bool Failed() const override { return false; }
    };
    auto reader = std::make_unique<TReader>();
    reader->records = Hours.at(HourOf(utc));
    return reader;
  }
};

class TcpServer : public ::testing::Test {
 protected:
  void Start(TTcpServerOptions options = Options()) {
    server.SetOptions(options);
    ASSERT_TRUE(server.StartServer(0)) << server.ErrorMessage();
    ASSERT_NE(server.Port(), 0);
  }
  static TTcpServerOptions Options() {
    TTcpServerOptions o;
    o.ListenAddress = "127.0.0.1";
    o.IdleLimitMs = 2000;
    o.SendLimitMs = 200;
    o.ConnectLimitMs = 1000;
    return o;
  }
  TTcpTestClient Client(const std::string& from = "127.0.0.1") { return TTcpTestClient("127.0.0.1", server.Port(), from); }
  // Subscribes `sub` with the data part and reads the authentication line.
  void Subscribe(TTcpTestSubscriber& sub, const std::string& data = {}, const std::string& command = "CONNECT") {
    TTcpTestClient client = Client(sub.Address());
    ASSERT_EQ(client.Ask(sub.Request(command, data)), "OK");
    ASSERT_TRUE(sub.Accept());
    std::string line;
    ASSERT_TRUE(sub.ReadLine(line));
    ASSERT_EQ(line, TcpAuthLine);
  }

  TManualClock clock;
  std::shared_ptr<TFakeArchive> archive = std::make_shared<TFakeArchive>();
  TQV_TcpServer server{-1, clock, [this](int32_t, const std::string&) {
                         struct TShared : IQV_ArchiveStore {
                           std::shared_ptr<TFakeArchive> a;
                           void SetStorageEnabled(bool v) override { a->SetStorageEnabled(v); }
                           void TakeData(const std::string& i) override { a->TakeData(i); }
                           bool IsArchiveData(TDateTime t) const override { return a->IsArchiveData(t); }
                           std::unique_ptr<IQV_ArchiveReader> OpenHour(TDateTime t) const override { return a->OpenHour(t); }
                         };
                         auto store = std::make_unique<TShared>();
                         store->a = archive;
                         return store;
                       }};
};

TEST_F(TcpServer, EveryRequestGetsItsAnswer) {
  Start();
  TTcpTestClient client = Client();
  const std::pair<std::string, std::string> cases[] = {
      {"CONNECTS 127.0.0.1:5000", "ERR unknown request: CONNECTS 127.0.0.1:5000"},
      {"CONNECT 127.0.1:5000", "ERR bad format (IP:Port): 127.0.1:5000"},
      {"CONNECT 127.0.0.1:70000", "ERR bad format (IP:Port): 127.0.0.1:70000"},
      {"CONNECT 127.0.0.1:5000 MODE=NOTHING", "ERR bad format (MODE=): MODE=NOTHING"},
      {"CONNECT 127.0.0.1:5000 MODE=FREQLOG", "ERR mode not available: MODE=FREQLOG"},
      {"CONNECT 127.0.0.1:5000 MODE=PHASELOG UTC-Time=HH", "ERR mode not available: MODE=PHASELOG"},
      {"GETLOST 127.0.0.1:5000", "ERR request not supported: GETLOST"},
      {"DISCONN 127.0.0.1:5000", ""},
      {"TRYBABY 127.0.0.1:5000", "Unknown client: 127.0.0.1:5000"},
      {"APPDATA 127.0.0.1:5000 hello", "ERR: Unknown client: 127.0.0.1:5000"},
      {"ARCHIVE 127.0.0.1:5000 20250107_1330", "ERR bad format (StartTime): 20250107_1330"},
      {"ARCHIVE 127.0.0.1:5000 20250107_133000", "ERR no archive data"},
      {"GETDATA 127.0.0.1:5000 20250107_133000", "ERR no archive data"},
      // Nothing listens on port 1 of this machine.
      {"CONNECT 127.0.0.1:1", "ERR Connect to data server failed: No connection to data server"},
  };
  for (const auto& [request, answer] : cases) EXPECT_EQ(client.Ask(request), answer) << request;
  EXPECT_EQ(server.GetClientCount(), 0);
}

TEST_F(TcpServer, WithoutArchiveStoreArchiveRequestsAnswerNoArchive) {
  TQV_TcpServer plain(-1, clock);
  plain.SetOptions(Options());
  ASSERT_TRUE(plain.StartServer(0));
  TTcpTestClient client("127.0.0.1", plain.Port());
  EXPECT_EQ(client.Ask("ARCHIVE 127.0.0.1:5000 20250107_133000"), "ERR no archive");
  EXPECT_EQ(client.Ask("GETDATA 127.0.0.1:5000 20250107_133000"), "ERR no archive");
}

TEST_F(TcpServer, ASubscriberGetsTheKeptCalibrationLineFirstAndThenEveryLineInOrder) {
  Start();
  server.TakeDllData("7901; 1; 2");
  TTcpTestSubscriber sub;
  Subscribe(sub);
  TTcpTestClient control = Client();
  EXPECT_EQ(control.Ask(sub.Request("TRYBABY")), "OK");
  const int count = 2000;
  for (int i = 0; i < count; ++i) server.TakeDllData("0A00; " + std::to_string(i));
  std::string line;
  ASSERT_TRUE(sub.ReadLine(line));
  EXPECT_EQ(line, "7901; 1; 2");
  for (int i = 0; i < count; ++i) {
    ASSERT_TRUE(sub.ReadLine(line)) << i;
    ASSERT_EQ(line, "0A00; " + std::to_string(i));
  }
  EXPECT_EQ(control.Ask(sub.Request("DISCONN")), "OK");
  EXPECT_TRUE(sub.ClosedWithin(2s));
  EXPECT_EQ(control.Ask(sub.Request("TRYBABY")), "Unknown client: 127.0.0.1:" + std::to_string(sub.Port()));
  EXPECT_EQ(server.GetClientCount(), 0);
}

TEST_F(TcpServer, TimeStampsUseTheSubscribersPatternInUtc) {
  Start();
  clock.SetWall(std::chrono::sys_days{std::chrono::year{2025} / 1 / 7} + 13h + 30min + 5s);
  TTcpTestSubscriber sub;
  Subscribe(sub, " UTC-Time=YYYY-MM-DD HH:NN:SS");
  server.TakeDllData("0A00; 1");
  std::string line;
  ASSERT_TRUE(sub.ReadLine(line));
  EXPECT_EQ(line, "2025-01-07 13:30:05 0A00; 1");
}

TEST_F(TcpServer, ALogModeIsRefusedUntilItsLinesFlowAndAgainAfterTheFamilyChanged) {
  Start();
  TTcpTestSubscriber sub;
  TTcpTestClient client = Client();
  server.TakeDllData("0A00; 1");  // phase reports
  EXPECT_EQ(client.Ask(sub.Request("CONNECT", "MODE=FREQLOG")), "ERR mode not available: MODE=FREQLOG");
  server.TakeLogData("freq line", 1);
  Subscribe(sub, "MODE=FREQLOG");
  server.TakeLogData("freq 2", 1);
  server.TakeLogData("phase log", 0);  // other log types do not reach this subscriber
  std::string line;
  ASSERT_TRUE(sub.ReadLine(line));
  EXPECT_EQ(line, "freq 2");
  server.TakeDllData("2A00; 1");  // frequency reports now
  TTcpTestSubscriber later;
  EXPECT_EQ(client.Ask(later.Request("CONNECT", "MODE=FREQLOG")), "ERR mode not available: MODE=FREQLOG");
  server.TakeLogData("freq 3", 1);
  Subscribe(later, "MODE=FREQLOG");
  EXPECT_EQ(server.GetClientCount(), 2);
}

TEST_F(TcpServer, KeptLogLinesReachOnlySubscribersThatConnectLater) {
  Start();
  server.TakeLogData("phase", 0);
  TTcpTestSubscriber early;
  Subscribe(early, "MODE=PHASELOG");
  server.SaveLogData("header A", 0, 0x7001, 1);
  TTcpTestSubscriber late;
  Subscribe(late, "MODE=PHASELOG");
  server.TakeLogData("phase 2", 0);
  std::string line;
  ASSERT_TRUE(late.ReadLine(line));
  EXPECT_EQ(line, "header A");
  ASSERT_TRUE(late.ReadLine(line));
  EXPECT_EQ(line, "phase 2");
  ASSERT_TRUE(early.ReadLine(line));
  EXPECT_EQ(line, "phase 2");
  server.ClearLogData(0, 0x7001, 1);
  TTcpTestSubscriber last;
  Subscribe(last, "MODE=PHASELOG");
  server.TakeLogData("phase 3", 0);
  ASSERT_TRUE(last.ReadLine(line));
  EXPECT_EQ(line, "phase 3");
}

TEST_F(TcpServer, ADeadSubscriberIsRemovedWhileAnotherGoesOn) {
  Start();
  TTcpTestSubscriber dead, alive;
  Subscribe(dead);
  Subscribe(alive);
  dead.CloseData();
  int sent = 0;
  ASSERT_TRUE(Eventually([&] {
    server.TakeDllData("0A00; " + std::to_string(sent++));
    return server.GetClientCount() == 1;
  }));
  std::string line;
  for (int i = 0; i < sent; ++i) {
    ASSERT_TRUE(alive.ReadLine(line)) << i;
    ASSERT_EQ(line, "0A00; " + std::to_string(i));
  }
}

TEST_F(TcpServer, ASlowSubscriberIsDroppedAtItsBoundAndMemoryStaysBounded) {
  TTcpServerOptions options = Options();
  options.QueueLimitBytes = 256 * 1024;
  options.SendLimitMs = 5000;  // the bound, not the send time-out, has to drop it
  Start(options);
  TTcpTestSubscriber stalled, reader;
  Subscribe(stalled);
  Subscribe(reader);
  std::atomic<bool> stop = false;
  std::atomic<int> received = 0;
  std::thread readerThread([&] {
    std::string line;
    while (!stop)
      if (reader.ReadLine(line, 50ms)) ++received;
  });
  const std::string payload(200, 'x');
  size_t peak = 0;
  int sent = 0;
  while (server.GetClientCount() == 2 && sent < 1000000) {
    server.TakeDllData("0A00; " + payload);
    // Paced like a fast instrument, so that a subscriber that reads keeps up.
    if (++sent % 20 == 0) std::this_thread::sleep_for(1ms);
    peak = std::max(peak, server.QueuedBytes());
  }
  const bool all = Eventually([&] { return received == sent; });
  stop = true;
  readerThread.join();
  EXPECT_EQ(server.GetClientCount(), 1);
  EXPECT_LE(peak, 2 * options.QueueLimitBytes);
  EXPECT_TRUE(stalled.ClosedWithin(2s));
  EXPECT_TRUE(all) << received << " of " << sent;
}

TEST_F(TcpServer, HostileClientsAreRefusedAndTheServerKeepsServing) {
  TTcpServerOptions options = Options();
  options.MaxConnections = 2;
  options.MaxRequestBytes = 4096;
  Start(options);
  {
    TTcpTestClient oversized = Client();
    ASSERT_TRUE(oversized.Write(std::string(5000, 'A')));
    std::string line;
    ASSERT_TRUE(oversized.ReadLine(line));
    EXPECT_EQ(line, "ERR request too long");
    EXPECT_TRUE(oversized.ClosedWithin(2s));
  }
  {
    TTcpTestClient garbage = Client();
    EXPECT_EQ(garbage.Ask(std::string("\x01\x02\xff\xfe", 4)), std::string("ERR unknown request: \x01\x02\xff\xfe", 25));
    // The same connection is still served.
    EXPECT_EQ(garbage.Ask("TRYBABY 127.0.0.1:9"), "Unknown client: 127.0.0.1:9");
  }
  {
    TTcpTestSubscriber elsewhere("127.0.0.2");
    TTcpTestClient client = Client("127.0.0.1");
    EXPECT_EQ(client.Ask(elsewhere.Request("CONNECT")), "ERR address is not the requesting host: 127.0.0.2");
    EXPECT_FALSE(elsewhere.Accept(200ms));
  }
  ASSERT_TRUE(Eventually([&] { return true; }));
  TTcpTestClient first = Client(), second = Client();
  EXPECT_EQ(first.Ask("TRYBABY 127.0.0.1:9"), "Unknown client: 127.0.0.1:9");
  EXPECT_EQ(second.Ask("TRYBABY 127.0.0.1:9"), "Unknown client: 127.0.0.1:9");
  TTcpTestClient third = Client();
  std::string line;
  ASSERT_TRUE(third.ReadLine(line));
  EXPECT_EQ(line, "ERR too many connections");
  EXPECT_TRUE(third.ClosedWithin(2s));
  // Still serving the connections it took, and subscribers.
  TTcpTestSubscriber sub;
  EXPECT_EQ(first.Ask(sub.Request("CONNECT")), "OK");
  ASSERT_TRUE(sub.Accept());
  ASSERT_TRUE(sub.ReadLine(line));
  EXPECT_EQ(line, TcpAuthLine);
}

TEST_F(TcpServer, AHostManagesOnlyItsOwnSubscriptions) {
  Start();
  TTcpTestSubscriber sub("127.0.0.2");
  Subscribe(sub);
  TTcpTestClient other = Client("127.0.0.1");
  for (const char* command : {"DISCONN", "TRYBABY", "APPDATA", "GETDATA"})
    EXPECT_EQ(other.Ask(sub.Request(command)), "ERR address is not the requesting host: 127.0.0.2") << command;
  EXPECT_EQ(server.GetClientCount(), 1);
  TTcpTestClient own = Client("127.0.0.2");
  EXPECT_EQ(own.Ask(sub.Request("DISCONN")), "OK");
  EXPECT_EQ(server.GetClientCount(), 0);
}

TEST_F(TcpServer, SubscribersAreLimitedInNumber) {
  TTcpServerOptions options = Options();
  options.MaxClients = 1;
  Start(options);
  TTcpTestSubscriber first, second;
  Subscribe(first);
  TTcpTestClient client = Client();
  EXPECT_EQ(client.Ask(second.Request("CONNECT")), "ERR Connect to data server failed: Too many subscribers");
  EXPECT_EQ(client.Ask(first.Request("DISCONN")), "OK");
  Subscribe(second);
}

TEST_F(TcpServer, AnIdleManagementConnectionIsClosed) {
  TTcpServerOptions options = Options();
  options.IdleLimitMs = 50;
  Start(options);
  TTcpTestClient idle = Client();
  EXPECT_TRUE(idle.ClosedWithin(2s));
}

TEST_F(TcpServer, OnlyAllowedClientsAreServed) {
  TTcpServerOptions options = Options();
  options.ListenAddress = "0.0.0.0";
  options.AllowedClients = {"127.0.0.2"};
  Start(options);
  TTcpTestClient refused = Client("127.0.0.1");
  std::string line;
  ASSERT_TRUE(refused.ReadLine(line));
  EXPECT_EQ(line, "ERR client not allowed: 127.0.0.1");
  EXPECT_TRUE(refused.ClosedWithin(2s));
  TTcpTestClient allowed = Client("127.0.0.2");
  EXPECT_EQ(allowed.Ask("TRYBABY 127.0.0.2:9"), "Unknown client: 127.0.0.2:9");
}

TEST_F(TcpServer, TheListeningAddressDecidesWhoCanReachTheServer) {
  Start();  // 127.0.0.1 only
  TTcpTestClient other("127.0.0.2", server.Port(), "127.0.0.2");
  EXPECT_FALSE(other.Connected());
  TQV_TcpServer bad(-1, clock);
  TTcpServerOptions options = Options();
  options.ListenAddress = "no.such.address";
  bad.SetOptions(options);
  EXPECT_FALSE(bad.StartServer(0));
  EXPECT_EQ(bad.ErrorMessage(), "Invalid listening address: no.such.address");
  EXPECT_EQ(bad.ErrorCode(), QV_Err_StartServerFailed);
}

TEST_F(TcpServer, APortInUseFailsTheStartAndAnArchiveThatCannotOpenLeavesTheServerWithout) {
  Start();
  TQV_TcpServer second(-1, clock, [](int32_t, const std::string& path) -> std::unique_ptr<IQV_ArchiveStore> {
    throw std::runtime_error("no folder " + path);
  });
  second.SetOptions(Options());
  EXPECT_FALSE(second.StartServer(server.Port()));
  EXPECT_EQ(second.ErrorMessage(), "127.0.0.1:" + std::to_string(server.Port()) + ": Address already in use");
  ASSERT_TRUE(second.StartServer(0));
  TTcpTestClient client("127.0.0.1", second.Port());
  EXPECT_EQ(client.Ask("ARCHIVE 127.0.0.1:5000 20250107_133000"), "ERR no archive");
}

TEST_F(TcpServer, ApplicationDataIsKeptUpToItsLimit) {
  Start();
  TTcpTestSubscriber sub;
  Subscribe(sub);
  TTcpTestClient client = Client();
  for (int i = 0; i < 101; ++i) ASSERT_EQ(client.Ask(sub.Request("APPDATA", "text " + std::to_string(i))), "OK") << i;
  EXPECT_EQ(client.Ask(sub.Request("APPDATA", "one too many")), "ERR: Too many strings");
  EXPECT_EQ(server.GetAppData(), "text 0");
  EXPECT_EQ(server.GetAppData(), "text 1");
  std::vector<std::string> seen;
  server.SetOnAppData([&](const std::string& text, std::string& response) {
    seen.push_back(text);
    response = "TAKEN";
    return true;
  });
  EXPECT_EQ(client.Ask(sub.Request("APPDATA", "custom")), "TAKEN");
  EXPECT_EQ(seen, std::vector<std::string>{"custom"});
}

TEST_F(TcpServer, AnArchiveSubscriberReplaysTheRecordsOfAnHourFromItsStamp) {
  const TDateTime stamp = *ParseArchiveStampDays("20250107_133000");
  archive->Hours[TFakeArchive::HourOf(stamp)] = {
      {stamp - 0.01, stamp - 0.005, "old"}, {stamp - 0.001, stamp + 0.001, std::string("\x03\x00\x01", 3)},
      {stamp + 0.002, stamp + 0.003, "last"}};
  Start();
  TTcpTestSubscriber live;
  Subscribe(live);
  TTcpTestClient client = Client();
  EXPECT_EQ(client.Ask(live.Request("GETDATA", "20250107_133000")), "ERR unknown client: 127.0.0.1:" + std::to_string(live.Port()));
  TTcpTestSubscriber replay;
  Subscribe(replay, "20250107_133000", "ARCHIVE");
  EXPECT_EQ(client.Ask(replay.Request("GETDATA", "20250107_133000")), "OK");
  for (const TStoreDataRecord& expected : {archive->Hours.begin()->second[1], archive->Hours.begin()->second[2]}) {
    std::string head, data;
    ASSERT_TRUE(replay.ReadBytes(head, 20));
    double start, end;
    uint32_t length;
    std::memcpy(&start, head.data(), 8);
    std::memcpy(&end, head.data() + 8, 8);
    std::memcpy(&length, head.data() + 16, 4);
    EXPECT_EQ(start, expected.StartTime);
    EXPECT_EQ(end, expected.EndTime);
    ASSERT_TRUE(replay.ReadBytes(data, length));
    EXPECT_EQ(data, expected.Data);
  }
  server.ArchiveData("item");
  EXPECT_EQ(archive->Taken, std::vector<std::string>{"item"});
}

TEST_F(TcpServer, StoppingDisconnectsEverySubscriberAndAStartOnPortZeroPicksOne) {
  Start();
  TTcpTestSubscriber sub;
  Subscribe(sub);
  EXPECT_TRUE(server.StopServer());
  EXPECT_TRUE(sub.ClosedWithin(2s));
  EXPECT_EQ(server.GetClientCount(), 0);
  EXPECT_TRUE(server.StopServer());
  ASSERT_TRUE(server.StartServer(0));
  TTcpTestClient client = Client();
  EXPECT_EQ(client.Ask("TRYBABY 127.0.0.1:9"), "Unknown client: 127.0.0.1:9");
}

}  // namespace

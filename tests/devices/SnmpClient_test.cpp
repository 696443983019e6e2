#include "devices/SnmpClient.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "support/SnmpTestAgent.h"

namespace {

const std::string kA = "1.3.6.1.4.1.38783.3.7.0";
const std::string kB = "1.3.6.1.4.1.38783.3.8.0";
const std::string kUnknown = "1.3.6.1.4.1.38783.3.99.0";
const std::string kOutsideTree = "1.3.6.1.4.1.99999.1.0";

// A loopback UDP port that takes requests and never answers.
class TSilentUdpPort {
 public:
  TSilentUdpPort() {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~TSilentUdpPort() { ::close(fd_); }
  uint16_t Port() const { return port_; }

 private:
  int fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
  uint16_t port_ = 0;
};

class SnmpClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TSnmpTestAgent::Available()) GTEST_SKIP() << "snmpd is not installed";
    agent_ = std::make_unique<TSnmpTestAgent>();
    ASSERT_EQ(agent_->Error(), "");
  }

  // The agent runs a script per value, which takes a while on a busy machine: answers get time,
  // only the silence cases wait briefly.
  TSnmpResult Get(const std::vector<std::string>& oids, bool version1 = false,
                  std::chrono::milliseconds timeout = std::chrono::seconds(3)) {
    TSnmpTarget target;
    target.Address = "127.0.0.1";
    target.Port = agent_->Port();
    target.Version1 = version1;
    target.Timeout = timeout;
    target.Retries = 0;
    TSnmpClient client(target);
    std::string error;
    EXPECT_TRUE(client.Open(error)) << error;
    return client.Get(oids);
  }

  std::unique_ptr<TSnmpTestAgent> agent_;
};

TEST_F(SnmpClientTest, OneRequestGivesEveryIntegerInRequestOrder) {
  agent_->SetInteger(kA, 235);
  agent_->SetInteger(kB, -52);
  const auto result = Get({kB, kA});
  ASSERT_EQ(result.Status, TSnmpStatus::Ok) << result.Error;
  EXPECT_EQ(result.Values, (std::vector<int64_t>{-52, 235}));
}

// Answers that are not integers must never read as a value, whichever protocol version reports them.
TEST_F(SnmpClientTest, AnswersThatAreNotIntegersAreErrors) {
  agent_->SetInteger(kA, 235);
  agent_->Set(kB, "string", "hello");
  struct Case {
    std::vector<std::string> oids;
    bool version1;
    std::string error;
  };
  const Case cases[] = {
      {{kA, kUnknown}, false, "noSuchInstance (" + kUnknown + ")"},
      {{kOutsideTree}, false, "noSuchObject (" + kOutsideTree + ")"},
      {{kA, kB}, false, "not an integer (" + kB + ")"},
      {{kA, kUnknown}, true, "(noSuchName) There is no such variable name in this MIB. (" + kUnknown + ")"},
  };
  for (const auto& c : cases) {
    const auto result = Get(c.oids, c.version1);
    EXPECT_EQ(result.Status, TSnmpStatus::ErrorReply) << c.error;
    EXPECT_EQ(result.Error, c.error);
    EXPECT_TRUE(result.Values.empty());
  }
}

TEST_F(SnmpClientTest, SilentAgentIsATimeout) {
  agent_->SetInteger(kA, 1);
  agent_->Stop();
  const auto result = Get({kA}, false, std::chrono::milliseconds(300));
  EXPECT_EQ(result.Status, TSnmpStatus::Timeout);
  EXPECT_EQ(result.Error, "Timeout");
}

// Each sensor has its own thread: a unit that does not answer must not hold up another one's answers.
TEST_F(SnmpClientTest, SilentUnitDoesNotHoldUpAnotherClient) {
  agent_->SetInteger(kA, 235);
  TSilentUdpPort silent;
  std::atomic<bool> silentDone = false;
  std::thread waiting([&] {
    TSnmpTarget target;
    target.Address = "127.0.0.1";
    target.Port = silent.Port();
    target.Timeout = std::chrono::seconds(3);
    target.Retries = 0;
    TSnmpClient client(target);
    std::string error;
    ASSERT_TRUE(client.Open(error)) << error;
    EXPECT_EQ(client.Get({kA}).Status, TSnmpStatus::Timeout);
    silentDone = true;
  });
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Get({kA}).Status, TSnmpStatus::Ok);
  EXPECT_FALSE(silentDone);
  waiting.join();
}

TEST(SnmpClient, RequestsThatCannotBeSentFailWithTheirReason) {
  TSnmpTarget target;
  target.Address = "127.0.0.1";
  TSnmpClient client(target);
  EXPECT_EQ(client.Get({kA}).Error, "SNMP session not open");
  std::string error;
  ASSERT_TRUE(client.Open(error)) << error;
  for (const std::string oid : {"1.3.x.1", "", "1..3", "1.3.99999999999"}) {
    const auto result = client.Get({kA, oid});
    EXPECT_EQ(result.Status, TSnmpStatus::Failure);
    EXPECT_EQ(result.Error, "Invalid OID: " + oid);
  }
}

}  // namespace

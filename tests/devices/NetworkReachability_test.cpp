#include "devices/NetworkReachability.h"

#include <gtest/gtest.h>

namespace {

// A port nobody listens on: the host refuses the connection, which proves it is there.
constexpr uint16_t ClosedPort = 1;

struct ReachCase {
  TNetworkReachability::TMethod method;
  std::string ip;
  bool reachable;
};

class NetworkReachabilityTest : public ::testing::TestWithParam<ReachCase> {};

TEST_P(NetworkReachabilityTest, TellsWhetherTheAddressAnswers) {
  std::string error;
  EXPECT_EQ(TNetworkReachability(GetParam().method).Check(GetParam().ip, ClosedPort, 300, error),
            GetParam().reachable)
      << error;
  EXPECT_EQ(error.empty(), GetParam().reachable);
}

// An address that does not answer cannot be had here: the build machines' network rejects every
// foreign connection at once, which is indistinguishable from a host refusing the port.
INSTANTIATE_TEST_SUITE_P(Addresses, NetworkReachabilityTest,
                         ::testing::Values(ReachCase{TNetworkReachability::TMethod::TcpOnly, "127.0.0.1", true},
                                           ReachCase{TNetworkReachability::TMethod::Auto, "127.0.0.1", true},
                                           ReachCase{TNetworkReachability::TMethod::Auto, "not-an-ip", false}));

}  // namespace

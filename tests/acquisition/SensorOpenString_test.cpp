#include "acquisition/SensorOpenString.h"

#include <gtest/gtest.h>

namespace {

TEST(SensorOpenString, ArgumentFollowsThePrefixWithoutBlanks) {
  struct TCase {
    std::string openString;
    std::string argument;
  };
  const TCase cases[] = {
      {"TCW122B-CM: 192.168.0.10", "192.168.0.10"},
      {"TCW122B-CM:   192.168.0.10  ", "192.168.0.10"},
      {"192.168.0.10", "192.168.0.10"},
      {"TCW122B-CM: ", ""},
  };
  for (const TCase& c : cases) EXPECT_EQ(OpenStringArgument(c.openString, "TCW122B-CM: "), c.argument) << c.openString;
}

TEST(SensorOpenString, RecognisesIPAddresses) {
  EXPECT_TRUE(IsIPv4Address("10.0.0.1"));
  EXPECT_FALSE(IsIPv4Address("10.0.0.256"));
  EXPECT_FALSE(IsIPv4Address("10.0.0"));
  EXPECT_FALSE(IsIPv4Address("fe80::1"));
  EXPECT_TRUE(IsIPv6Address("fe80::1"));
  EXPECT_FALSE(IsIPv6Address("10.0.0.1"));
  EXPECT_FALSE(IsIPv6Address("unit.local"));
}

}  // namespace

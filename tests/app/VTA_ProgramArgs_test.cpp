#include "app/VTA_ProgramArgs.h"

#include <gtest/gtest.h>

namespace {

const std::string kUsage = "usage: X\n";

TEST(ProgramArgsTest, AcceptsTheThreeOptions) {
  const TProgramArgsResult result =
      ParseProgramArgs({"--expert", "--connect", "DemoData", "--config-dir", "/tmp/c"}, kUsage, true);
  ASSERT_TRUE(result.Args);
  EXPECT_TRUE(result.Args->Expert);
  EXPECT_EQ(result.Args->Connect, "DemoData");
  EXPECT_EQ(result.Args->ConfigDir, "/tmp/c");
  const TProgramArgsResult none = ParseProgramArgs({}, kUsage, true);
  ASSERT_TRUE(none.Args);
  EXPECT_FALSE(none.Args->Connect);
  EXPECT_FALSE(none.Args->Expert);
}

TEST(ProgramArgsTest, RefusesUnknownAndIncompleteArguments) {
  const struct {
    std::vector<std::string> args;
    bool expertAllowed;
    std::string error;
  } cases[] = {
      {{"--conect", "x"}, true, "unknown argument --conect\n"},
      {{"--connect"}, true, "missing value of --connect\n"},
      {{"--config-dir", ""}, true, "missing value of --config-dir\n"},
      {{"--expert"}, false, "unknown argument --expert\n"},
  };
  for (const auto& c : cases) {
    const TProgramArgsResult result = ParseProgramArgs(c.args, kUsage, c.expertAllowed);
    EXPECT_FALSE(result.Args);
    EXPECT_EQ(result.Error, c.error + kUsage);
  }
}

}  // namespace

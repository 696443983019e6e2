#include <gtest/gtest.h>

#include "ui/ProgramArgs.h"

namespace {

TEST(ProgramArgsTest, AcceptsTheThreeOptions) {
  const TProgramArgsResult result = ParseProgramArgs({"--expert", "--connect", "DemoData", "--config-dir", "/tmp/c"});
  ASSERT_TRUE(result.Args);
  EXPECT_TRUE(result.Args->Expert);
  EXPECT_EQ(result.Args->Connect, "DemoData");
  EXPECT_EQ(result.Args->ConfigDir, "/tmp/c");
  const TProgramArgsResult none = ParseProgramArgs({});
  ASSERT_TRUE(none.Args);
  EXPECT_FALSE(none.Args->Connect);
  EXPECT_FALSE(none.Args->Expert);
}

TEST(ProgramArgsTest, RefusesUnknownAndIncompleteArguments) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--conect", "x"}, "unknown argument --conect\n"},
      {{"--connect"}, "missing value of --connect\n"},
      {{"--config-dir", ""}, "missing value of --config-dir\n"},
  };
  for (const auto& [args, error] : cases) {
    const TProgramArgsResult result = ParseProgramArgs(args);
    EXPECT_FALSE(result.Args);
    EXPECT_EQ(result.Error, error + ProgramUsage());
  }
}

}  // namespace

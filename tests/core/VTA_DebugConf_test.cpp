#include "core/VTA_DebugConf.h"

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace {

class DebugConfTest : public ::testing::Test {
 protected:
  std::string File() const { return dir_.File("VTA_DebugConf.ini"); }
  TTempDir dir_;
};

TEST_F(DebugConfTest, NewFileGetsTheFifteenCategoriesWithDefaults) {
  TDebugConf conf(File());
  const std::vector<std::string> expected{
      "AllanChild=True", "ChildWin=True", "GraphicChild=True", "InfoChild=True", "Main=True",
      "Menu=False",      "Messages=True", "Sampler=False",     "Source=True",    "Sync=True",
      "TextChild=True",  "UserInput=True", "ReportThread=True", "Steering=True", "AllanData=False"};
  EXPECT_EQ(conf.Lines(), expected);
  for (int i = 1; i <= 15; ++i) EXPECT_EQ(conf.GetDebugFlag(i), expected[size_t(i - 1)].ends_with("True")) << i;
  for (int i : {-1, 0, 16}) EXPECT_FALSE(conf.GetDebugFlag(i)) << i;
}

TEST_F(DebugConfTest, StoredSwitchesWinAndUpdateConfigRereadsTheFile) {
  WriteWholeFile(File(), "Menu=True\r\nMain=False\r\n");
  TDebugConf conf(File());
  EXPECT_TRUE(conf.GetDebugFlag(6));
  EXPECT_FALSE(conf.GetDebugFlag(5));

  WriteWholeFile(File(), "Main=True\r\nAllanData=True\r\n");
  conf.UpdateConfig();
  EXPECT_TRUE(conf.GetDebugFlag(5));
  EXPECT_TRUE(conf.GetDebugFlag(15));
  EXPECT_FALSE(conf.GetDebugFlag(6));  // back to its default
  EXPECT_EQ(conf.Lines().size(), 15u);
}

TEST_F(DebugConfTest, SamplerAndSourceKeysRouteToTheDebugLogger) {
  struct TCase {
    const char* Content;
    int Sampler;
    int Source0;
    int Source3;
  };
  const TCase cases[] = {
      {"", -1, 7, 7},                             // defaults: Sampler off, sources follow "Source"
      {"Sampler=True\r\n", 7, 7, 7},
      {"Source=False\r\n", -1, -1, -1},
      {"Source=False\r\nSource3=True\r\n", -1, -1, 7},
      {"Source0=False\r\n", -1, -1, 7},
  };
  for (const auto& c : cases) {
    WriteWholeFile(File(), c.Content);
    TDebugConf conf(File());
    conf.SetLogId(7);
    EXPECT_EQ(conf.SamplerLogId(), c.Sampler) << c.Content;
    EXPECT_EQ(conf.SourceLogId(0), c.Source0) << c.Content;
    EXPECT_EQ(conf.SourceLogId(3), c.Source3) << c.Content;
    EXPECT_TRUE(conf.TryGetValue("Source3"));  // the per-source key is added for the file
  }
}

TEST_F(DebugConfTest, SavesNextToItsFile) {
  TDebugConf conf(File());
  conf.SetLogId(-1);
  conf.Info(0, "always");
  conf.Error("failure", std::runtime_error("x"));
  conf.SaveSettings();
  const std::string saved = ReadWholeFile(File());
  EXPECT_EQ(saved.substr(0, 17), "AllanChild=True\r\n");
  EXPECT_NE(saved.find("AllanData=False\r\n"), std::string::npos);
}

}  // namespace

#include "acquisition/QV_Source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "acquisition/SourceTestSupport.h"
#include "protocol/QV_Report.h"
#include "support/TempDir.h"

namespace {

bool Has(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

int CountMatching(const std::vector<std::string>& lines, const std::regex& pattern) {
  return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return std::regex_match(l, pattern); }));
}

class SimulatorSource : public ::testing::Test {
 protected:
  void SetUp() override { id = OpenSteppedSimulator(clock); }
  void TearDown() override { Multi_CloseConnection(id); }
  // Queued in the decoder, the command goes out with the next read; the simulator answers with its
  // next measurement.
  void SendVersionCommand() {
    char cmd[MULTI_BUFFER_SIZE] = {0x01};
    ASSERT_EQ(Multi_SendCommand(id, cmd, 1), 1);
    EXPECT_EQ(Multi_GetPendingCmdsCount(id), 1);
    for (int i = 0; i < 2; ++i) EXPECT_EQ(ReadText(id).Code, 1);  // a read turn, then the command turn
    EXPECT_EQ(Multi_GetPendingCmdsCount(id), 0);
  }
  TManualClock clock;
  int32_t id = -1;
};

// The simulator runs at 1 s with tenth-second timestamps: ten steps per measurement.
TEST_F(SimulatorSource, VersionTimestampsAndMeasurementsInTheirLayout) {
  SendVersionCommand();
  Step(id, 21);
  const std::vector<std::string> lines = Drain(id);
  EXPECT_TRUE(Has(lines, "7001VERSION Simulator IVC: 5.0 240826 / 20.2.7 25-01-07"));
  EXPECT_TRUE(Has(lines, "7015; 1"));
  EXPECT_TRUE(Has(lines, "7015; 2"));
  // Header, then one 26-character column per channel of the four.
  EXPECT_EQ(CountMatching(lines, std::regex(R"(0900(;[ ]*[0-9]+\.[0-9]{11}){4})")), 2);
  EXPECT_EQ(CountMatching(lines, std::regex(R"(0900(;.{26}){4})")), 2);
  // The tenth-second timestamps in between pass as empty reports.
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "7000;"), 19);
  EXPECT_EQ(Multi_GetSource(id)->DeviceVersion(), "7001VERSION Simulator IVC: 5.0 240826 / 20.2.7 25-01-07");
}

TEST_F(SimulatorSource, Send7016PassesTenthSecondTimestamps) {
  Multi_SetSend7016(id, 1);
  Step(id, 12);
  const std::vector<std::string> lines = Drain(id);
  EXPECT_TRUE(Has(lines, "7016; 1"));
  EXPECT_TRUE(Has(lines, "7016; 9"));
  EXPECT_TRUE(Has(lines, "7015; 1"));  // a whole second still goes as 0x7015
  EXPECT_FALSE(Has(lines, "7016; 10"));
  EXPECT_FALSE(Has(lines, "7000;"));
}

// Structured: a 0x7016 that is not a whole second is dropped unless passed on; a whole second
// becomes a 0x7015 record with the seconds.
TEST_F(SimulatorSource, StructuredTimestamps) {
  for (const bool send7016 : {false, true}) {
    SCOPED_TRACE(send7016);
    Multi_SetSend7016(id, send7016);
    Step(id, 10);
    std::vector<std::pair<int32_t, int64_t>> stamps;
    for (const TQV_ReportStruct& record : DrainStruct(id))
      if (record.GetHeader() == 0x7015 || record.GetHeader() == 0x7016)
        stamps.emplace_back(record.GetHeader(), record.GetTimeStamp());
    const int64_t second = Simulator(id)->TimeStamp() / 10;
    EXPECT_NE(std::find(stamps.begin(), stamps.end(), std::make_pair(0x7015, second)), stamps.end());
    const auto tenths = std::count_if(stamps.begin(), stamps.end(), [](const auto& s) { return s.first == 0x7016; });
    EXPECT_EQ(tenths, send7016 ? 9 : 0);
  }
}

TEST_F(SimulatorSource, StructuredVersionCarriesTheInterfaceVersion) {
  SendVersionCommand();
  Step(id, 11);
  int versions = 0;
  for (const TQV_ReportStruct& record : DrainStruct(id)) {
    if (record.GetHeader() != 0x7001) continue;
    ++versions;
    EXPECT_EQ(record.GetContent(), "VERSION Simulator IVC: 5.0 240826 / SW: 20.2.7 25-01-07");
  }
  EXPECT_EQ(versions, 1);
}

TEST_F(SimulatorSource, ConfigSimulatorChannelReachesTheSimulator) {
  EXPECT_EQ(Multi_ConfigSimulatorChannel(id, 1, 5000000, 0), 1);
  Step(id, 11);
  // Phase after one second of a 5 MHz channel without noise.
  const std::vector<std::string> lines = Drain(id);
  EXPECT_EQ(CountMatching(lines, std::regex(R"(0900;[ ]*5000000\.0{11}(;.{26}){3})")), 1);
}

// A text recording: the count check keeps its failure and hands it out as the next report.
TEST(SourceCountCheck, FailureGoesOutAsTheNextReport) {
  TTempDir dir;
  const std::string file = dir.File("count_QV_ReportData.txt");
  const std::string m = "0900;      10000000.00000000000";
  WriteWholeFile(file, "7015; 1\r\n" + m + "\r\n7015; 2\r\n" + m + "\r\n" + m + "\r\n7015; 3\r\n" + m + "\r\n");
  const int32_t id = Multi_AddSource();
  ASSERT_EQ(OpenSource(id, file), 1);
  std::vector<std::string> lines;
  for (TRead read = ReadText(id); read.Code == 1; read = ReadText(id)) lines.push_back(read.Text);
  const std::vector<std::string> expected = {"7015; 1", m, "7015; 2", m, m, "7015; 3",
                                             "7F22: Timestamp missing: expected 1, found 2", m};
  EXPECT_EQ(lines, expected);
  Multi_CloseConnection(id);
}

TEST(SourceRecording, ReportDataRecordsEveryLineAsAPlayableFile) {
  TTempDir dir;
  TManualClock clock;
  const int32_t id = OpenSteppedSimulator(clock);
  char buffer[MULTI_BUFFER_SIZE] = {};
  dir.Path().copy(buffer, MULTI_BUFFER_SIZE - 1);
  ASSERT_EQ(Multi_SetOutputPath(id, buffer), 1) << buffer;
  ASSERT_EQ(Multi_StartSaveReportData(id, "A", buffer), 1) << buffer;
  Step(id, 11);
  const std::vector<std::string> lines = Drain(id);
  Multi_StopSaveReportData(id);
  std::string expected;
  for (const auto& line : lines) expected += line + "\r\n";
  EXPECT_EQ(ReadWholeFile(dir.File("A_QV_ReportData.txt")), expected);
  // A second recording does not overwrite the first.
  ASSERT_EQ(Multi_StartSaveReportData(id, "A", buffer), 1);
  Multi_StopSaveReportData(id);
  EXPECT_EQ(ReadWholeFile(dir.File("A_QV_ReportData.txt")), expected);
  EXPECT_EQ(ReadWholeFile(dir.File("A_2_QV_ReportData.txt")), "");
  Multi_CloseConnection(id);
}

TEST(SourceOutputPath, InvalidFolderIsRefusedWithItsReason) {
  TTempDir dir;
  WriteWholeFile(dir.File("plain"), "x");
  const int32_t id = Multi_AddSource();
  const std::string path = dir.File("plain") + "/sub";
  char buffer[MULTI_BUFFER_SIZE] = {};
  path.copy(buffer, MULTI_BUFFER_SIZE - 1);
  EXPECT_EQ(Multi_SetOutputPath(id, buffer), 0);
  EXPECT_EQ(std::string(buffer), "Invalid path: " + path);
}

TEST(SourceSettings, CalibFactorRefusesNonPositiveValues) {
  const int32_t id = Multi_AddSource();
  EXPECT_EQ(Multi_GetCalibFactorFloatToInt(id), 1000);
  EXPECT_EQ(Multi_SetCalibFactorFloatToInt(id, 0), 0);
  EXPECT_EQ(Multi_SetCalibFactorFloatToInt(id, 250), 1);
  EXPECT_EQ(Multi_GetCalibFactorFloatToInt(id), 250);
}

}  // namespace

#include "acquisition/ReportsCommand.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "acquisition/SourceTestSupport.h"
#include "core/QV_NumberText.h"
#include "support/FrameBuilder.h"
#include "support/TempDir.h"

namespace {

struct TRun {
  int Code;
  std::vector<std::string> Lines;
  std::string Err;
};

std::vector<std::string> SplitLines(const std::string& text) { return SplitTextList(text, "\n"); }

// Runs the command with the simulator stepped by the test: every idle turn is 100 ms of
// instrument time on the manual clock.
class ReportsCommand : public ::testing::Test {
 protected:
  TRun Run(const std::vector<std::string>& args) {
    TReportsDriving driving;
    driving.Clock = &clock;
    driving.SimulatorWorker = false;
    driving.Idle = [this](int id) {
      ++idleTurns;
      clock.Advance(std::chrono::milliseconds(100));
      if (TQV_SimulDevice* simulator = Simulator(id)) simulator->SimulThread()->Step();
    };
    std::ostringstream out, err;
    const int code = RunReportsCommand(args, out, err, driving);
    return {code, SplitLines(out.str()), err.str()};
  }
  TManualClock clock;
  int idleTurns = 0;
  TTempDir dir;
};

TEST_F(ReportsCommand, DemoDataPrintsVersionTimestampsAndMeasurements) {
  const TRun run = Run({"DemoData", "--count", "30"});
  EXPECT_EQ(run.Code, 0);
  EXPECT_EQ(run.Err, "");
  ASSERT_EQ(run.Lines.size(), 30u);
  const auto has = [&](const std::string& l) { return std::find(run.Lines.begin(), run.Lines.end(), l) != run.Lines.end(); };
  EXPECT_TRUE(has("7001VERSION Simulator IVC: 5.0 240826 / 20.2.7 25-01-07"));
  EXPECT_TRUE(has("7015; 1"));
  EXPECT_TRUE(has("7015; 2"));
  const std::regex measurement(R"(0900(;[ ]*[0-9]+\.[0-9]{11}){4})");
  const auto measurements = std::count_if(run.Lines.begin(), run.Lines.end(),
                                          [&](const std::string& l) { return std::regex_match(l, measurement); });
  EXPECT_EQ(measurements, 2);
  for (const std::string& line : run.Lines)
    if (line.starts_with("0900")) EXPECT_EQ(line.size(), 4 + 4 * 27u) << line;
}

TEST_F(ReportsCommand, StructPrintsRecords) {
  const TRun run = Run({"DemoData", "--count", "12", "--struct"});
  EXPECT_EQ(run.Code, 0);
  ASSERT_EQ(run.Lines.size(), 12u);
  EXPECT_TRUE(std::any_of(run.Lines.begin(), run.Lines.end(), [](const std::string& l) {
    return l.find("header=0x7001") != std::string::npos && l.find("/ SW: 20.2.7 25-01-07") != std::string::npos;
  }));
}

TEST_F(ReportsCommand, SecondsEndTheRun) {
  const TRun run = Run({"DemoData", "--seconds", "2"});
  EXPECT_EQ(run.Code, 0);
  EXPECT_GE(idleTurns, 20);
  EXPECT_LE(idleTurns, 21);
}

TEST_F(ReportsCommand, RecordingPlaysToItsEnd) {
  const auto stamp = [](uint8_t n) { return UsbFrame(ReportCode(0x7015) + std::string("\0\0\0", 3) + char(n)); };
  WriteWholeFile(dir.File("rec.bin"), stamp(1) + UsbFrame(ReportCode(0x7040) + "hello") + stamp(2));
  const TRun run = Run({dir.File("rec.bin")});
  EXPECT_EQ(run.Code, 0);
  EXPECT_EQ(run.Err, "");
  EXPECT_EQ(run.Lines, (std::vector<std::string>{"7015; 1", "7040; hello", "7015; 2"}));
}

TEST_F(ReportsCommand, DamagedRecordingIsReadOnWithoutWaiting) {
  // A file that is not paced is read on demand: waiting after a damaged frame gains nothing.
  const auto stamp = [](uint8_t n) { return UsbFrame(ReportCode(0x7015) + std::string("\0\0\0", 3) + char(n)); };
  WriteWholeFile(dir.File("rec.bin"), stamp(1) + std::string(50, '\xBE') + stamp(2));
  const TRun run = Run({dir.File("rec.bin")});
  EXPECT_EQ(run.Code, 0);
  EXPECT_NE(run.Err, "");
  EXPECT_EQ(idleTurns, 0);
  ASSERT_FALSE(run.Lines.empty());
  EXPECT_EQ(run.Lines.front(), "7015; 1");
}

TEST_F(ReportsCommand, OverlongRecordedLineIsAnErrorNotACutReport) {
  WriteWholeFile(dir.File("QV_ReportData.txt"), "7015; 1\r\n0900; " + std::string(1100, '1') + "\r\n7015; 2\r\n");
  const TRun run = Run({dir.File("QV_ReportData.txt")});
  EXPECT_EQ(run.Code, 0);
  EXPECT_EQ(run.Lines, (std::vector<std::string>{"7015; 1", "7015; 2"}));
  EXPECT_NE(run.Err.find("line of 1106 characters skipped, the longest report line has 1023"), std::string::npos)
      << run.Err;
}

TEST_F(ReportsCommand, ErrorExits) {
  WriteWholeFile(dir.File("t_QV_ReportData.txt"), "7015; 1\r\n");
  const struct {
    std::vector<std::string> Args;
    std::string Err;
  } cases[] = {
      {{}, "reports: connection missing\n"},
      {{"DemoData", "--count"}, "reports: --count needs a number\n"},
      {{"DemoData", "--count", "x"}, "reports: --count needs a number\n"},
      {{"DemoData", "--bogus"}, "reports: unexpected argument --bogus\n"},
      {{"COM3:115200"}, "Device not found: COM3:115200\n"},
      {{"TCP:127.0.0.77:9999"}, "No connection to TCP-Server\n"},
      // These machines have no CAN interface (the reason that follows is the kernel's).
      {{"CAN:MENLOF CHANNEL0 TYPE=0x20"}, "Initializing CAN device failed: "},
      {{dir.File("t_QV_ReportData.txt"), "--struct"},
       "Structured reports are not available for " + dir.File("t_QV_ReportData.txt") + "\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Err);
    const TRun run = Run(c.Args);
    EXPECT_EQ(run.Code, 2);
    EXPECT_TRUE(run.Err.starts_with(c.Err)) << run.Err;
    EXPECT_TRUE(run.Lines.empty());
  }
}

}  // namespace

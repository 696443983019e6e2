#include "StabilityCommand.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/TempDir.h"

// "vta-cli stability" in-process: the reference program's table, log files by column name, errors.
namespace {

struct TRun {
  int Code;
  std::string Out, Err;
};

TRun RunStability(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int code = RunStabilityCommand(args, out, err);
  return {code, out.str(), err.str()};
}

// The rows of a table, without its comment lines.
std::string Rows(const std::string& text) {
  std::istringstream in(text);
  std::string rows;
  for (std::string line; std::getline(in, line);)
    if (!line.empty() && line[0] != '#') rows += line + "\n";
  return rows;
}

class StabilityCommand : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& text) {
    const std::string path = dir.File(name);
    WriteWholeFile(path, text);
    return path;
  }
  TTempDir dir;
};

TEST_F(StabilityCommand, PrintsTheReferenceLayout) {
  // x = i^2: every second difference is 2, so ADEV(1) = sqrt(2), ADEV(2) = sqrt(8).
  std::string text;
  for (int i = 0; i < 12; ++i) text += std::to_string(i * i) + "\n";
  const TRun run = RunStability({Write("x.txt", text), "--type", "adev", "--taus", "all"});
  EXPECT_EQ(run.Code, 0);
  EXPECT_EQ(run.Err, "");
  EXPECT_NE(run.Out.find("# Sigma Type: Allan\n# Confidence Factor = 0.683\n#\n"
                         "#  AF        Tau        #    Alpha  Min Sigma      Sigma         Max Sigma\n"),
            std::string::npos);
  const std::string rows = Rows(run.Out);
  EXPECT_EQ(rows.substr(0, 27), "    1   1.0000e+00       10");
  EXPECT_NE(rows.find("1.4142e+00"), std::string::npos);
  EXPECT_NE(rows.find("    2   2.0000e+00        4"), std::string::npos);
}

TEST_F(StabilityCommand, TimeErrorsHaveFourColumns) {
  const TRun run = RunStability({Write("x.txt", "0\n1\n4\n9\n16\n25\n36\n"), "--type", "mtie", "--taus", "octave"});
  EXPECT_EQ(run.Code, 0);
  EXPECT_EQ(Rows(run.Out),
            "    1   1.0000e+00        6   1.1000e+01\n"
            "    3   3.0000e+00        4   2.7000e+01\n");
  EXPECT_EQ(run.Out.find("Confidence"), std::string::npos);
}

TEST_F(StabilityCommand, LogFileColumnByName) {
  // A log file as the program writes it: header, zone and column lines, a decimal comma, "-" for no data.
  const std::string log =
      "#Filename:  PhaseFreq_A_1.txt\r\n#Message:   First create\r\n#\r\n"
      "#zone local        Phase [Pd]      Frequency [Hz]\r\n"
      "#PC time          S       1:1       2:2       1:1       2:2\r\n"
      "261208 101500,000 0   0,0e+00   5,0e+00   1,0e+00   7,0e+00\r\n"
      "261208 101501,000 0   1,0e+00   5,0e+00   2,0e+00   7,0e+00\r\n"
      "261208 101502,000 0   4,0e+00   5,0e+00   -------   7,0e+00\r\n"
      "261208 101503,000 0   9,0e+00   5,0e+00   4,0e+00   7,0e+00\r\n"
      "261208 101504,000 0   1,6e+01   5,0e+00   5,0e+00   7,0e+00\r\n";
  const std::string file = Write("log.txt", log);
  const TRun phase = RunStability({file, "--column", "Phase [Pd] 1:1", "--type", "tierms", "--taus", "all"});
  EXPECT_EQ(phase.Code, 0) << phase.Err;
  EXPECT_EQ(Rows(phase.Out).substr(0, 41), "    1   1.0000e+00        4   4.5826e+00\n");  // sqrt((1+9+25+49)/4)
  // The frequency column read as phase with its gap: only 1 -> 2 and 4 -> 5 stay for TIE rms at 1.
  const TRun frequency = RunStability({file, "--column", "Frequency [Hz] 1:1", "--type", "tierms", "--taus", "all"});
  EXPECT_EQ(frequency.Code, 0) << frequency.Err;
  EXPECT_EQ(Rows(frequency.Out).substr(0, 41), "    1   1.0000e+00        2   1.0000e+00\n");
  const TRun ambiguous = RunStability({file, "--column", "1:1"});
  EXPECT_EQ(ambiguous.Code, 2);
  EXPECT_NE(ambiguous.Err.find("several columns named \"1:1\""), std::string::npos);
  EXPECT_NE(RunStability({file, "--column", "3:3"}).Err.find("no column named \"3:3\""), std::string::npos);
}

TEST_F(StabilityCommand, UsageErrors) {
  const std::string file = Write("ok.txt", "1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n");
  const struct {
    std::vector<std::string> Args;
    const char* Error;
  } cases[] = {
      {{}, "no file given"},
      {{file, "--type", "allan"}, "unknown --type allan"},
      {{file, "--taus", "octaves"}, "unknown --taus octaves"},
      {{file, "--confidence", "1"}, "--confidence must lie between 0 and 1: 1"},
      {{file, "--tau0", "0"}, "--tau0 must be a positive number of seconds: 0"},
      {{file, "--phase", "--freq"}, "--phase and --freq exclude each other"},
      {{file, "--column"}, "--column needs a value"},
      {{file, "--column", "0"}, "column must be a whole number from 1: 0"},
  };
  for (const auto& c : cases) {
    const TRun run = RunStability(c.Args);
    EXPECT_EQ(run.Code, 2);
    EXPECT_NE(run.Err.find(c.Error), std::string::npos) << run.Err;
  }
  EXPECT_NE(RunStability({dir.File("missing.txt")}).Err.find("cannot open"), std::string::npos);
  EXPECT_NE(RunStability({Write("short.txt", "1\n2\n")}).Err.find("too few values for oadev: 2"), std::string::npos);
  EXPECT_NE(RunStability({Write("bad.txt", "1\nx\n")}).Err.find("line 2: \"x\" is not a number"), std::string::npos);
}

TEST_F(StabilityCommand, ReferenceModifiedAllanTable) {
  const std::filesystem::path phase = std::filesystem::path(VTA_SHARED_TESTDATA_DIR) / "adev/PHASE.DAT";
  if (!std::filesystem::exists(phase)) GTEST_SKIP() << "reference data not found (../shared/testdata)";
  const TRun run = RunStability({phase.string(), "--type", "mdev", "--taus", "octave"});
  EXPECT_EQ(run.Code, 0);
  // AF, tau, terms and the deviation as the reference program prints them.
  std::istringstream rows(Rows(run.Out));
  std::ifstream reference(phase.parent_path().parent_path() / "stability/phase_dat_mdev_octave.txt");
  const std::string expected = [&] {
    std::ostringstream all;
    all << reference.rdbuf();
    return Rows(all.str());
  }();
  std::istringstream expectedRows(expected);
  std::string ours, theirs;
  int count = 0;
  while (std::getline(expectedRows, theirs)) {
    ASSERT_TRUE(std::getline(rows, ours));
    EXPECT_EQ(ours.substr(0, 29), theirs.substr(0, 29));  // AF, tau, terms
    EXPECT_EQ(ours.substr(50, 14), theirs.substr(50, 14)) << theirs;  // Mod Sigma
    ++count;
  }
  EXPECT_EQ(count, 8);
  EXPECT_FALSE(std::getline(rows, ours));
}

}  // namespace

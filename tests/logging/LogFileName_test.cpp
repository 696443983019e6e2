#include "logging/LogFileName.h"

#include <gtest/gtest.h>

#include <chrono>

#include "support/TempDir.h"

namespace {

using namespace std::chrono;

TDateTime Day(int y, unsigned m, unsigned d, int hour = 0) {
  return WallToDateTime(sys_days{year{y} / month{m} / day{d}} + hours{hour}, true);
}

TEST(LogFileName, PatternSplitsIntoFolderBodyAndExtension) {
  struct Case {
    std::string fileName;
    TLogFilePattern expected;
  };
  const Case cases[] = {
      {"/logs/PhaseFreq_A_1.txt", {"/logs/", "PhaseFreq_A_1", ".txt"}},
      {"/logs/run.v2/data.csv", {"/logs/run.v2/", "data", ".csv"}},
      {"/logs/noext", {"/logs/", "noext", ".txt"}},
      {"plain.log", {"/prog/", "plain", ".log"}},  // no folder: the program's own
  };
  for (const Case& c : cases) EXPECT_EQ(SplitLogFilePattern(c.fileName, "/prog/"), c.expected) << c.fileName;
}

TEST(LogFileName, EachNameFormatPutsDateAndNumberInItsPlace) {
  const TLogFilePattern pattern{"/logs/", "PhaseFreq_A_1", ".txt"};
  const TDateTime date = Day(2026, 12, 8, 23);
  EXPECT_EQ(LogFileCandidate(pattern, false, date, 1), "/logs/PhaseFreq_A_1_261208_1.txt");
  EXPECT_EQ(LogFileCandidate(pattern, true, date, 2), "/logs/261208_2_PhaseFreq_A_1.txt");
}

TEST(LogFileName, ATakenNameMovesToTheNextNumberOfTheDay) {
  TTempDir dir;
  const TLogFilePattern pattern{dir.Path(), "Freq_A_1", ".txt"};
  const TDateTime date = Day(2026, 12, 8);
  EXPECT_EQ(NewLogFileName(pattern, false, date), dir.File("Freq_A_1_261208_1.txt"));
  WriteWholeFile(dir.File("Freq_A_1_261208_1.txt"), "kept");
  WriteWholeFile(dir.File("261208_1_Freq_A_1.txt"), "kept");
  WriteWholeFile(dir.File("261208_2_Freq_A_1.txt"), "kept");
  EXPECT_EQ(NewLogFileName(pattern, false, date), dir.File("Freq_A_1_261208_2.txt"));
  EXPECT_EQ(NewLogFileName(pattern, true, date), dir.File("261208_3_Freq_A_1.txt"));
  EXPECT_EQ(NewLogFileName(pattern, false, Day(2026, 12, 9)), dir.File("Freq_A_1_261209_1.txt"));
}

TEST(LogFileName, GeneratedNamesJoinTypePartsSourcesAndNumber) {
  struct Case {
    uint32_t types;
    TLogSourceKind kind;
    std::string letters;
    int defIndex;
    std::string expected;
  };
  const Case cases[] = {
      {0x3, TLogSourceKind::Counter, "A", 0, "PhaseFreq_A_1.txt"},
      {0x8000 | 0x40, TLogSourceKind::Counter, "AB", 2, "PhaseDiffPhaseRes_AB_3.txt"},
      {0x30 | 0x100, TLogSourceKind::IntervalCounter, "C", 1, "IVCIVCdiffIVCAvgShort_C_2.txt"},
      {0x100, TLogSourceKind::Counter, "A", 0, "AvgShort_A_1.txt"},
      {0x1, TLogSourceKind::Sensor, "D", 4, "Sensor_D_5.txt"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(GeneratedLogFileName(c.types, c.kind, c.letters, c.defIndex), c.expected);
}

TEST(LogFileName, FolderCheckCreatesMissingFoldersAndNamesOnesThatCannotBe) {
  TTempDir dir;
  EXPECT_EQ(CheckLogFolder(dir.File("new/deeper/")), "");
  WriteWholeFile(dir.File("afile"), "x");
  const std::string blocked = dir.File("afile/logs/");
  EXPECT_EQ(CheckLogFolder(blocked), "Invalid path " + blocked);
  EXPECT_EQ(CheckLogFolder(""), "Invalid path ");
}

}  // namespace

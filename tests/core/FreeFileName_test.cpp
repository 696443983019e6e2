#include "core/FreeFileName.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/TempDir.h"

namespace {

TEST(FreeFileName, TakenNamesGetTheNextNumberBeforeTheExtension) {
  TTempDir dir;
  const std::string wanted = dir.File("run.v1/log.txt");
  EXPECT_EQ(FreeFileName(wanted), wanted);
  std::filesystem::create_directories(dir.File("run.v1"));
  WriteWholeFile(wanted, "x");
  WriteWholeFile(dir.File("run.v1/log_1.txt"), "x");
  EXPECT_EQ(FreeFileName(wanted), dir.File("run.v1/log_2.txt"));
  EXPECT_EQ(FirstFreeFileName([&](int n) { return dir.File("run.v1/log_" + std::to_string(n) + ".txt"); }, 1),
            dir.File("run.v1/log_2.txt"));
  EXPECT_EQ(SplitExtension(dir.File("run.v1/noext")).second, "");
}

// A picture and its table share one name: a name is free only when no file of either kind has it.
TEST(FreeFileName, StemIsFreeOnlyWhenEveryExtensionIsFree) {
  TTempDir dir;
  const std::string stem = dir.File("ADEV_A_261210_120000");
  const std::vector<std::string> kinds = {".jpg", ".txt"};
  EXPECT_EQ(FreeFileStem(stem, kinds), stem);
  WriteWholeFile(stem + ".jpg", "x");
  EXPECT_EQ(FreeFileStem(stem, kinds), stem + "_1");
  WriteWholeFile(stem + "_1.txt", "x");
  EXPECT_EQ(FreeFileStem(stem, kinds), stem + "_2");
  EXPECT_EQ(FreeFileStem(stem, {".csv"}), stem);
}

}  // namespace

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

}  // namespace

#include "logging/LogFile.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>

#include "support/TempDir.h"

namespace {

// Lets the process write files no larger than `bytes` while it lives: a write across the limit
// is cut short by the system, as on a full disk.
class TFileSizeLimit {
 public:
  explicit TFileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &FOld);
    FOldHandler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{bytes, FOld.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~TFileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &FOld);
    std::signal(SIGXFSZ, FOldHandler);
  }
  TFileSizeLimit(const TFileSizeLimit&) = delete;
  TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

 private:
  rlimit FOld{};
  void (*FOldHandler)(int) = nullptr;
};

TEST(LogFileTest, CreatingNeverReplacesAFileAndGivesTheSystemsReason) {
  TTempDir dir;
  EXPECT_TRUE(CreateLogFile(dir.File("a.txt")).File);
  const TLogFileCreation again = CreateLogFile(dir.File("a.txt"));
  EXPECT_FALSE(again.File);
  EXPECT_TRUE(again.NameTaken);
  const TLogFileCreation missing = CreateLogFile(dir.File("missing/a.txt"));
  EXPECT_FALSE(missing.NameTaken);
  EXPECT_EQ(missing.Error, "No such file or directory");
}

TEST(LogFileTest, AShortWriteGivesTheSystemsReasonAndTheCutPartCanBeDropped) {
  TTempDir dir;
  TLogFileCreation creation = CreateLogFile(dir.File("a.txt"));
  ASSERT_TRUE(creation.File);
  ILogFile& file = *creation.File;
  EXPECT_EQ(file.Write("line 1\r\n"), "");
  std::string error;
  {
    const TFileSizeLimit limit(12);  // the next line fits only in part
    error = file.Write("line 2\r\n");
  }
  EXPECT_EQ(error, "File too large");
  EXPECT_EQ(file.Size(), 12);
  file.Truncate(8);
  EXPECT_EQ(file.Size(), 8);
  EXPECT_EQ(file.Write("line 3\r\n"), "");
  creation.File.reset();
  EXPECT_EQ(ReadWholeFile(dir.File("a.txt")), "line 1\r\nline 3\r\n");
}

}  // namespace

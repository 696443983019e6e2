#include "core/AtomicFile.h"

#include <QDir>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace {

int FileCount(const TTempDir& dir) { return int(QDir(QString::fromStdString(dir.Path())).entryList(QDir::Files).size()); }

TEST(AtomicFile, ReplacesContentAndKeepsPermissions) {
  TTempDir dir;
  const std::string file = dir.File("a.ini");
  EXPECT_EQ(WriteFileAtomically(file, "first"), "");
  ASSERT_EQ(::chmod(file.c_str(), 0600), 0);
  EXPECT_EQ(WriteFileAtomically(file, "second"), "");
  EXPECT_EQ(ReadWholeFile(file), "second");
  struct stat st {};
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(FileCount(dir), 1);
}

mode_t ModeOf(const std::string& file) {
  struct stat st {};
  return ::stat(file.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

TEST(AtomicFile, OwnerOnlyNarrowsNewAndExistingFiles) {
  TTempDir dir;
  const std::string fresh = dir.File("fresh.ini");
  const std::string shared = dir.File("shared.ini");
  WriteWholeFile(shared, "old");
  ASSERT_EQ(::chmod(shared.c_str(), 0644), 0);
  for (const std::string& file : {fresh, shared}) {
    EXPECT_EQ(WriteFileAtomically(file, "secret", TFileAccess::kOwnerOnly), "");
    EXPECT_EQ(ModeOf(file), 0600u) << file;
    EXPECT_EQ(ReadWholeFile(file), "secret");
  }
}

TEST(AtomicFile, WritesThroughASymbolicLink) {
  TTempDir dir;
  WriteWholeFile(dir.File("real.ini"), "old");
  ASSERT_EQ(::symlink(dir.File("real.ini").c_str(), dir.File("link.ini").c_str()), 0);
  EXPECT_EQ(WriteFileAtomically(dir.File("link.ini"), "new"), "");
  EXPECT_EQ(ReadWholeFile(dir.File("real.ini")), "new");
  struct stat st {};
  ASSERT_EQ(::lstat(dir.File("link.ini").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
}

TEST(AtomicFile, FailuresLeaveNothingBehind) {
  TTempDir dir;
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(dir.File("folder"))));
  EXPECT_EQ(WriteFileAtomically(dir.File("folder"), "x"), "is a folder");
  EXPECT_NE(WriteFileAtomically(dir.File("missing/a.ini"), "x"), "");
  EXPECT_EQ(FileCount(dir), 0);
}

}  // namespace

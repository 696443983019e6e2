#include "logging/StoreDataLoader.h"

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace {

const TStoreDataRecord First{45292.25, 45292.26, "\x02hi"};

std::string Head(uint32_t length) {
  std::string bytes = StoreDataRecordBytes({45292.5, 45292.6, ""});
  bytes.replace(16, 4, reinterpret_cast<const char*>(&length), 4);
  return bytes;
}

struct TDamaged {
  const char* Name;
  std::string Tail;  // follows one good record
};

class StoreDataLoaderTest : public ::testing::TestWithParam<TDamaged> {
 protected:
  StoreDataLoaderTest() {
    loader.SetOnError([this](const std::string& text) { errors.push_back(text); });
  }
  TTempDir dir;
  TStoreDataLoader loader{-1};
  std::vector<std::string> errors;
};

TEST_P(StoreDataLoaderTest, DamagedFileIsAReadErrorAndKeepsTheRecordsBefore) {
  const std::string file = dir.File("a.dat");
  WriteWholeFile(file, StoreDataRecordBytes(First) + GetParam().Tail);
  std::vector<TStoreDataRecord> records;
  EXPECT_FALSE(loader.LoadFromFile(file, records));
  EXPECT_EQ(records, std::vector<TStoreDataRecord>{First});
  uint32_t count = 99;
  EXPECT_FALSE(loader.LoadRecordCountFromFile(file, count));
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0].rfind("Error on reading file: " + file + "\r\nRecord ", 0), 0u) << errors[0];
}

INSTANTIATE_TEST_SUITE_P(Tails, StoreDataLoaderTest,
                         ::testing::Values(TDamaged{"HeadCut", Head(3).substr(0, 11)},
                                           TDamaged{"DataCut", Head(3) + "ab"},
                                           TDamaged{"HugeCount", Head(0xFFFFFFFFu) + "abc"}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(StoreDataLoader, ReadsEveryRecordAndCountsThem) {
  TTempDir dir;
  const TStoreDataRecord second{45292.3, 45292.31, std::string("\x00\x01\xFF", 3)};
  const TStoreDataRecord empty{45292.4, 45292.41, ""};
  WriteWholeFile(dir.File("a.dat"), StoreDataRecordBytes(First) + StoreDataRecordBytes(second) + StoreDataRecordBytes(empty));
  TStoreDataLoader loader(-1);
  std::vector<TStoreDataRecord> records;
  EXPECT_TRUE(loader.LoadFromFile(dir.File("a.dat"), records));
  EXPECT_EQ(records, (std::vector<TStoreDataRecord>{First, second, empty}));
  uint32_t count = 0;
  EXPECT_TRUE(loader.LoadRecordCountFromFile(dir.File("a.dat"), count));
  EXPECT_EQ(count, 3u);
}

TEST(StoreDataLoader, MissingFileIsAReadError) {
  TTempDir dir;
  TStoreDataLoader loader(-1);
  std::string error;
  loader.SetOnError([&](const std::string& text) { error = text; });
  std::string content;
  EXPECT_FALSE(loader.LoadFromFile(dir.File("none.dat"), content));
  EXPECT_EQ(error, "Error on reading file: " + dir.File("none.dat") + "\r\nNo such file or directory");
}

}  // namespace

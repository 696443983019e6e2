#include <gtest/gtest.h>

#include "core/App_Settings.h"
#include "ui/ViewTable.h"

namespace {

TEST(ViewTableTest, EntriesFromOneOnAndDoublingWhenFull) {
  std::vector<std::string> lines;
  TChildArray table([&](const std::string& line) { lines.push_back(line); });
  TAppSettings settings;
  EXPECT_EQ(table.Length(), 20);
  for (int32_t expected = 1; expected <= 19; ++expected) EXPECT_EQ(table.Reserve(3, false, settings), expected);
  EXPECT_TRUE(lines.empty());
  EXPECT_EQ(table.Reserve(6, false, settings), 20);
  EXPECT_EQ(table.Length(), 40);
  EXPECT_EQ(lines, (std::vector<std::string>{"TMainForm.CreateChildView FChildArray verdoppeln, alt=20"}));
  EXPECT_EQ(table.HighIndex(), 20);
  EXPECT_EQ(TChildArray::TagOf(20), 21);
}

TEST(ViewTableTest, ReusingAnEntryBelowTheHighestRemovesItsOldKeys) {
  TChildArray table;
  TAppSettings settings;
  settings.SetValue("View_1_Left", int32_t(5));
  settings.SetValue("View_2_Left", int32_t(6));
  settings.SetValue("View_3_Left", int32_t(7));
  for (int i = 0; i < 3; ++i) table.Reserve(3, true, settings);
  table.Free(1);
  EXPECT_EQ(table.Reserve(3, false, settings), 1);
  EXPECT_FALSE(settings.TryGetValue("View_1_Left"));
  EXPECT_TRUE(settings.TryGetValue("View_2_Left"));
  // Beyond the highest entry nothing is removed.
  EXPECT_EQ(table.Reserve(3, false, settings), 4);
  EXPECT_TRUE(settings.TryGetValue("View_3_Left"));
}

TEST(ViewTableTest, KeptViewsHoldTheirEntryUntilFreed) {
  TChildArray table;
  TAppSettings settings;
  const int32_t entry = table.Reserve(1, true, settings);
  table.SetKept(entry, TKeptView{1, 0, false, -1, false, {{"Left", "5"}}});
  EXPECT_TRUE(table.Entry(entry).Used());
  EXPECT_EQ(table.Reserve(3, false, settings), entry + 1);
  EXPECT_TRUE(table.Views().empty());
  table.Free(entry);
  EXPECT_FALSE(table.Entry(entry).Used());
}

TEST(ViewTableTest, OldViewNumbersMapToThePresentKinds) {
  const std::vector<std::pair<int32_t, int32_t>> cases = {{1, 1},  {2, 1},  {3, 1},  {12, 1}, {13, 1}, {4, 3},
                                                          {7, 3},  {14, 3}, {8, 8},  {9, 9},  {10, 4}, {11, 7},
                                                          {15, 6}, {16, 2}, {17, 5}};
  for (const auto& [old, now] : cases) EXPECT_EQ(MapOldViewId(old), now) << old;
}

}  // namespace

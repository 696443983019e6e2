#include "acquisition/ReportLineTap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>

namespace {

std::vector<std::string> Numbered(int from, int to) {
  std::vector<std::string> lines;
  for (int n = from; n <= to; ++n) lines.push_back("7F00;" + std::to_string(n));
  return lines;
}

void AddNumbered(TReportLineTap& tap, int from, int to) {
  for (const std::string& line : Numbered(from, to)) tap.Add(line);
}

TEST(ReportLineTap, HandsOutEachLineOnceInOrder) {
  TReportLineTap tap(8);
  EXPECT_TRUE(tap.Since(0).Lines.empty());
  AddNumbered(tap, 1, 3);
  TReportLineTap::TLines first = tap.Since(0);
  EXPECT_EQ(first.Lines, Numbered(1, 3));
  EXPECT_TRUE(tap.Since(first.Next).Lines.empty());
  AddNumbered(tap, 4, 5);
  EXPECT_EQ(tap.Since(first.Next).Lines, Numbered(4, 5));
}

// A reader that falls behind gets the newest lines the ring holds, and the ring never grows.
TEST(ReportLineTap, KeepsOnlyTheLastLinesWhenTheReaderFallsBehind) {
  struct TCase {
    size_t Capacity;
    int Added;
    uint64_t From;
    int FirstShown;
  };
  for (const TCase& c : {TCase{4, 10, 0, 7}, TCase{4, 10, 5, 7}, TCase{4, 10, 8, 9}, TCase{1, 3, 0, 3},
                         TCase{0, 3, 0, 3}}) {
    SCOPED_TRACE(testing::Message() << "capacity " << c.Capacity << " from " << c.From);
    TReportLineTap tap(c.Capacity);
    AddNumbered(tap, 1, c.Added);
    TReportLineTap::TLines taken = tap.Since(c.From);
    EXPECT_EQ(taken.Lines, Numbered(c.FirstShown, c.Added));
    EXPECT_EQ(taken.Next, uint64_t(c.Added));
    EXPECT_LE(taken.Lines.size(), tap.Capacity());
  }
}

// One writer and one reader at once: the reader sees the lines in order, each once and whole, and
// with room for all of them none is missing.
TEST(ReportLineTap, ConcurrentWriterAndReaderKeepOrder) {
  constexpr int kLines = 20000;
  for (size_t capacity : {size_t(kLines), size_t(16)}) {
    SCOPED_TRACE(testing::Message() << "capacity " << capacity);
    TReportLineTap tap(capacity);
    std::atomic<bool> done{false};
    std::thread writer([&] {
      AddNumbered(tap, 1, kLines);
      done = true;
    });
    std::vector<int> seen;
    uint64_t next = 0;
    for (bool last = false; !last;) {
      last = done.load();
      TReportLineTap::TLines taken = tap.Since(next);
      next = taken.Next;
      for (const std::string& line : taken.Lines) seen.push_back(std::stoi(line.substr(5)));
    }
    writer.join();
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), kLines);
    // Strictly rising: no line out of order or twice.
    EXPECT_EQ(std::adjacent_find(seen.begin(), seen.end(), std::greater_equal<>()), seen.end());
    if (capacity == size_t(kLines)) {
      EXPECT_EQ(seen.size(), size_t(kLines));
    }
  }
}

}  // namespace

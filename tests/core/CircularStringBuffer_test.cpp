#include "core/CircularStringBuffer.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

namespace {

TEST(CircularStringBuffer, NewestEntriesOverwriteTheOldest) {
  TCircularStringBuffer ring(2, -1);
  ring.DefaultValue = "-";
  EXPECT_EQ(ring.Add("a"), 0);
  EXPECT_EQ(ring.Add("b"), 1);
  EXPECT_EQ(ring.Add("c"), 0);
  EXPECT_EQ(ring.GetValue(0), "b");
  EXPECT_EQ(ring.GetValue(1), "c");
  EXPECT_EQ(ring.GetValue(2), "-");
  EXPECT_EQ(ring.GetValue(-1), "-");
  EXPECT_EQ(ring.Count(), 2);
  EXPECT_EQ(ring.AvailableSpace(), 0);
  EXPECT_EQ(ring.Size(), 2);
}

struct TClearOldestCase {
  int32_t count;
  std::vector<std::string> left;
};

TEST(CircularStringBuffer, ClearOldestDropsFromTheFront) {
  const TClearOldestCase cases[] = {
      {0, {"b", "c", "d"}}, {1, {"c", "d"}}, {3, {}}, {7, {}}, {-2, {"b", "c", "d"}},
  };
  for (const TClearOldestCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "ClearOldest(" << c.count << ")");
    TCircularStringBuffer ring(3, -1);
    for (const char* value : {"a", "b", "c", "d"}) ring.Add(value);  // wrapped once
    ring.ClearOldest(c.count);
    ASSERT_EQ(ring.Count(), static_cast<int32_t>(c.left.size()));
    EXPECT_EQ(ring.AvailableSpace(), 3 - ring.Count());
    for (size_t i = 0; i < c.left.size(); ++i) EXPECT_EQ(ring.GetValue(static_cast<int32_t>(i)), c.left[i]);
    EXPECT_EQ(ring.GetValue(ring.Count()), "");
  }
}

TEST(CircularStringBuffer, AddAfterClearOldestContinuesBehindTheNewest) {
  TCircularStringBuffer ring(3, -1);
  for (const char* value : {"a", "b", "c"}) ring.Add(value);
  ring.ClearOldest(2);
  EXPECT_EQ(ring.Add("d"), 0);
  EXPECT_EQ(ring.GetValue(0), "c");
  EXPECT_EQ(ring.GetValue(1), "d");
}

TEST(CircularStringBuffer, ClearStartsOver) {
  TCircularStringBuffer ring(2, -1);
  for (const char* value : {"a", "b", "c"}) ring.Add(value);
  ring.Clear();
  EXPECT_EQ(ring.Count(), 0);
  EXPECT_EQ(ring.GetValue(0), "");
  EXPECT_EQ(ring.Add("x"), 0);
  EXPECT_EQ(ring.GetValue(0), "x");
}

TEST(CircularStringBuffer, CountBelowOneIsRefused) {
  EXPECT_THROW(TCircularStringBuffer(0, -1), std::invalid_argument);
  EXPECT_THROW(TCircularStringBuffer(-3, -1), std::invalid_argument);
}

// The multi-sampler adds lines on the report thread while views read them on the window thread.
TEST(CircularStringBuffer, ReadsWhileAnotherThreadAddsSeeWholeEntries) {
  TCircularStringBuffer ring(8, -1);
  std::thread writer([&ring] {
    for (int i = 0; i < 20000; ++i) {
      ring.Add(std::string(32, static_cast<char>('a' + i % 26)));
      if (i % 100 == 0) ring.ClearOldest(3);
    }
  });
  bool whole = true;
  for (int i = 0; i < 20000 && whole; ++i) {
    const std::string value = ring.GetValue(i % 8);
    whole = value.empty() || value == std::string(32, value.front());
  }
  writer.join();
  EXPECT_TRUE(whole);
}

}  // namespace

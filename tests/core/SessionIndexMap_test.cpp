#include "core/SessionIndexMap.h"

#include <gtest/gtest.h>

namespace {

struct TMapCase {
  std::vector<int> Stored;
  int Old;
  int New;
};

TEST(SessionIndexMap, MapsStoredIndexesToListPositions) {
  const TMapCase cases[] = {
      {{0, 2, 5}, 0, 0}, {{0, 2, 5}, 2, 1}, {{0, 2, 5}, 5, 2},  // gaps closed
      {{0, 2, 5}, 1, -1}, {{0, 2, 5}, 6, -1},                   // sessions that are gone
      {{0, 2, 5}, -1, -1}, {{0, 2, 5}, -2, -1},                 // "none" stays none
      {{3, 1}, 3, 0}, {{3, 1}, 1, 1},                           // list order, not numeric order
      {{}, 0, -1},
  };
  for (const auto& c : cases) {
    const TSessionIndexMap map(c.Stored);
    EXPECT_EQ(map.Map(c.Old), c.New) << "old " << c.Old << " in list of " << c.Stored.size();
  }
}

}  // namespace

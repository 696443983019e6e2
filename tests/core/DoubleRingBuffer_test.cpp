#include "core/DoubleRingBuffer.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

struct TAverageCase {
  uint16_t size;
  std::vector<double> values;
  double average;
  uint16_t amount;
};

TEST(DoubleRingBuffer, AveragesTheNewestValues) {
  const TAverageCase cases[] = {
      {3, {}, 0.0, 0},
      {3, {1, 2}, 1.5, 2},
      {3, {1, 2, 3}, 2.0, 3},
      {3, {1, 2, 3, 4}, 3.0, 3},
      {3, {1, 2, 3, 4, 5, 6, 7}, 6.0, 3},
      {1, {5, 7}, 7.0, 1},
  };
  for (const TAverageCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "size " << c.size << ", " << c.values.size() << " values");
    TDoubleRingBuffer ring(c.size);
    for (double value : c.values) ring.Add(value);
    EXPECT_DOUBLE_EQ(ring.GetAverage(), c.average);
    EXPECT_EQ(ring.Amount(), c.amount);
  }
}

TEST(DoubleRingBuffer, ResetForgetsTheValues) {
  TDoubleRingBuffer ring(3);
  for (double value : {1.0, 2.0, 3.0, 4.0}) ring.Add(value);
  ring.Reset();
  EXPECT_EQ(ring.Amount(), 0);
  EXPECT_DOUBLE_EQ(ring.GetAverage(), 0.0);
  ring.Add(10.0);
  EXPECT_DOUBLE_EQ(ring.GetAverage(), 10.0) << "old values must not count after a reset";
}

TEST(DoubleRingBuffer, SizeZeroIsRefused) {
  EXPECT_THROW(TDoubleRingBuffer(0), std::invalid_argument);
}

}  // namespace

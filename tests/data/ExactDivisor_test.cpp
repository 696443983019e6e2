#include "data/ExactDivisor.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>

namespace {

// Powers of two take the multiplication, other divisors the division; both must give exactly x / d.
TEST(ExactDivisor, GivesTheSameBitsAsTheDivision) {
  const double dividends[] = {1.0, -3.0, 0.1, 1e-300, 4.9e-324, 1.7e308, 123456.789, 0.0, -0.0,
                              std::numeric_limits<double>::infinity(), 2.2250738585072014e-308};
  const double divisors[] = {1, 2, 0.5, 0.25, 1024, 5, 10, 1e12, 3, 0x1p-900, 0x1p900, -2};
  for (double d : divisors) {
    const TExactDivisor divisor(d);
    for (double x : dividends)
      EXPECT_EQ(std::bit_cast<uint64_t>(divisor.Divide(x)), std::bit_cast<uint64_t>(x / d)) << x << " / " << d;
  }
}

}  // namespace

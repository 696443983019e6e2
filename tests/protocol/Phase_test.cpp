#include "protocol/Phase.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <random>
#include <cstring>
#include <limits>

namespace {

// Ten days of a 10 MHz signal in cycles.
constexpr int64_t TenDaysAt10MHz = int64_t{10'000'000} * 86400 * 10;

std::string Trimmed(const std::string& column) { return column.substr(column.find_first_not_of(' ')); }

TEST(Phase, NormalizeGivesTheFractionTheSignOfTheWhole) {
  const struct {
    Phase in;
    Phase out;
  } cases[] = {
      {{5, -0.25}, {4, 0.75}},
      {{-5, 0.25}, {-4, -0.75}},
      {{0, 1.5}, {1, 0.5}},
      {{0, -1.5}, {-1, -0.5}},
      {{3, 2.0}, {5, 0}},
      {{2, -1.0}, {1, 0}},
      {{-2, 1.0}, {-1, 0}},
      {{-1, 0.25}, {0, -0.75}},
      {{1, -0.25}, {0, 0.75}},
      {{0, -0.25}, {0, -0.25}},
      // A fraction too small to survive the move becomes a whole cycle, never a fraction of 1.
      {{1, -1e-20}, {1, 0}},
      {{-1, 1e-20}, {-1, 0}},
      {{TenDaysAt10MHz, -0.25}, {TenDaysAt10MHz - 1, 0.75}},
  };
  for (const auto& c : cases) {
    Phase p = c.in;
    p.Normalize();
    EXPECT_EQ(p.High, c.out.High) << c.in.ToString();
    EXPECT_DOUBLE_EQ(p.Low, c.out.Low) << c.in.ToString();
  }
}

TEST(Phase, ClearFromDoubleToDouble) {
  Phase p{7, 0.5};
  EXPECT_FALSE(p.IsCleared());
  p.Clear();
  EXPECT_TRUE(p.IsCleared());

  p.FromDouble(3.75);
  EXPECT_EQ(p.High, 3);
  EXPECT_EQ(p.Low, 0.75);
  p.FromDouble(-3.75);
  EXPECT_EQ(p.High, -3);
  EXPECT_EQ(p.Low, -0.75);
  EXPECT_EQ(p.ToDouble(), -3.75);

  // Values beyond the whole-cycle range keep their double value instead of overflowing.
  p.FromDouble(1e300);
  EXPECT_EQ(p.High, 0);
  EXPECT_EQ(p.ToDouble(), 1e300);
  p.FromDouble(std::numeric_limits<double>::quiet_NaN());
  EXPECT_TRUE(std::isnan(p.ToDouble()));
}

TEST(Phase, Texts) {
  EXPECT_EQ((Phase{5, 0.25}).ToString(), "5 0.25");
  EXPECT_EQ((Phase{-4, -0.75}).ToString(), "-4 -0.75");
  EXPECT_EQ((Phase{0, 0}).ToString(), "0 0");
  EXPECT_EQ((Phase{5, 0.25}).ToHexString(), "0000000000000005 0.25");
  EXPECT_EQ((Phase{-1, 0}).ToHexString(), "FFFFFFFFFFFFFFFF 0");
  EXPECT_EQ((Phase{0x123456789AB, 0.5}).ToHexString(), "00000123456789AB 0.5");
}

TEST(Phase, SumCarriesAcrossTheFractionBoundary) {
  const Phase sum = Phase{1, 0.75} + Phase{2, 0.5};
  EXPECT_EQ(sum.High, 4);
  EXPECT_EQ(sum.Low, 0.25);

  const Phase negative = Phase{-1, -0.75} + Phase{-2, -0.5};
  EXPECT_EQ(negative.High, -4);
  EXPECT_EQ(negative.Low, -0.25);

  const Phase mixed = Phase{3, 0.25} + Phase{-5, -0.5};
  EXPECT_EQ(mixed.High, -2);
  EXPECT_EQ(mixed.Low, -0.25);

  const Phase withDouble = Phase{1, 0.75} + 0.5;
  EXPECT_EQ(withDouble.High, 2);
  EXPECT_EQ(withDouble.Low, 0.25);
}

TEST(Phase, DifferenceKeepsItsPartsButComparesByValue) {
  const Phase diff = Phase{3, 0.25} - Phase{1, 0.5};
  EXPECT_EQ(diff.High, 2);
  EXPECT_EQ(diff.Low, -0.25);
  EXPECT_EQ(diff.ToDouble(), 1.75);
  EXPECT_EQ(diff, (Phase{1, 0.75}));

  const Phase below = Phase{0, 0.25} - Phase{1, 0.5};
  EXPECT_EQ(below.ToDouble(), -1.25);
  EXPECT_EQ((Phase{1, 0.25} - 0.5).ToDouble(), 0.75);
}

TEST(Phase, Ordering) {
  EXPECT_LT((Phase{0, -0.5}), (Phase{0, 0.25}));
  EXPECT_LT((Phase{-1, -0.5}), (Phase{-1, 0}));
  EXPECT_LT((Phase{-1, 0}), (Phase{0, -0.5}));
  EXPECT_GT((Phase{TenDaysAt10MHz, 1e-13}), (Phase{TenDaysAt10MHz, 0}));
  EXPECT_EQ((Phase{5, -0.25}), (Phase{4, 0.75}));
  EXPECT_NE((Phase{5, 0.25}), (Phase{5, 0.5}));
}

TEST(Phase, LargeWholeCountsKeepTheFraction) {
  // 1e-13 cycles at 10 MHz are 0.01 ps; a plain double of 8.64e12 cycles resolves only ~2e-3 cycles.
  const Phase start{TenDaysAt10MHz, 0.1234567890123};
  const Phase later = start + Phase{0, 0.9};
  EXPECT_EQ(later.High, TenDaysAt10MHz + 1);
  EXPECT_NEAR(later.Low, 0.0234567890123, 1e-13);

  Phase elapsed = later - Phase{TenDaysAt10MHz - 1, 0.9};
  elapsed.Normalize();
  EXPECT_EQ(elapsed.High, 1);
  EXPECT_NEAR(elapsed.Low, 0.1234567890123, 1e-13);
}

TEST(Phase, ScalingLargeWholeCountsKeepsTheFraction) {
  // (8640000000001 + 0.25) * (1 + 2^-40) = 8640000000009.108034223319237 (exact).
  const Phase product = Phase{TenDaysAt10MHz + 1, 0.25} * (1 + std::ldexp(1.0, -40));
  EXPECT_EQ(product.High, TenDaysAt10MHz + 9);
  EXPECT_NEAR(product.Low, 0.10803422331923684, 1e-13);

  // (8640000000001 + 0.25) / 3 = 2880000000000.41666...
  const Phase quotient = Phase{TenDaysAt10MHz + 1, 0.25} / 3;
  EXPECT_EQ(quotient.High, 2880000000000);
  EXPECT_NEAR(quotient.Low, 0.4166666666666667, 1e-13);
}

TEST(Phase, ScalingKeepsTheSign) {
  const struct {
    Phase in;
    double factor;
    bool divide;
    Phase out;
  } cases[] = {
      {{-3, -0.5}, 2, false, {-7, 0}},
      {{2, 0.5}, -1, false, {-2, -0.5}},
      {{-7, 0}, 2, true, {-3, -0.5}},
      {{7, 0.5}, -0.5, true, {-15, 0}},
      {{1, 0.5}, 0.5, false, {0, 0.75}},
  };
  for (const auto& c : cases) {
    const Phase result = c.divide ? c.in / c.factor : c.in * c.factor;
    EXPECT_EQ(result.High, c.out.High) << c.in.ToString() << (c.divide ? " / " : " * ") << c.factor;
    EXPECT_DOUBLE_EQ(result.Low, c.out.Low) << c.in.ToString() << (c.divide ? " / " : " * ") << c.factor;
  }
}

TEST(Phase, ScalingOutOfRangeKeepsOnlyTheDoubleValue) {
  EXPECT_FALSE(std::isfinite((Phase{3, 0.5} / 0.0).ToDouble()));
  EXPECT_TRUE(std::isnan((Phase{3, 0.5} * std::numeric_limits<double>::quiet_NaN()).ToDouble()));
  const Phase huge = Phase{TenDaysAt10MHz, 0.5} * 1e10;
  EXPECT_DOUBLE_EQ(huge.ToDouble(), 8.6400000000005e22);
}

TEST(PhaseColumn, RoundsTheWholeValue) {
  const struct {
    Phase value;
    int decimals;
    char separator;
    const char* text;
  } cases[] = {
      {{5, 0.25}, 6, '.', "5.250000"},
      // The fraction carries into the whole cycles.
      {{5, 0.9999999}, 6, '.', "6.000000"},
      {{-5, -0.9999999}, 6, '.', "-6.000000"},
      {{0, 0.9999996}, 6, '.', "1.000000"},
      {{0, 0.9999994}, 6, '.', "0.999999"},
      // Unnormalised input.
      {{5, -0.25}, 3, '.', "4.750"},
      {{-5, 0.25}, 3, '.', "-4.750"},
      // Between -1 and 0 the sign stands in front of the 0; a rounded 0 has none.
      {{0, -0.5}, 6, '.', "-0.500000"},
      {{0, -0.0000001}, 6, '.', "0.000000"},
      // Zero decimals: no separator, ties to even.
      {{12, 0.4}, 0, '.', "12"},
      {{12, 0.5}, 0, '.', "12"},
      {{13, 0.5}, 0, '.', "14"},
      {{12, 0.6}, 0, '.', "13"},
      {{-5, -0.7}, 0, '.', "-6"},
      {{1234567, 0.125}, 3, ',', "1234567,125"},
      {{TenDaysAt10MHz, 0.1234567890123}, 12, '.', "8640000000000.123456789012"},
      // The exact binary value of 0.1 shows at 18 decimals; more are not given.
      {{1, 0.1}, 18, '.', "1.100000000000000006"},
      {{1, 0.1}, 30, '.', "1.100000000000000006"},
      {{1, 0.5}, -3, '.', "2"},
  };
  for (const auto& c : cases) {
    const std::string column = c.value.ToColumnString(c.decimals, c.separator);
    EXPECT_EQ(column.size(), PhaseColumnWidth);
    EXPECT_EQ(Trimmed(column), c.text) << c.value.ToString() << " at " << c.decimals;
  }
}

TEST(PhaseColumn, TooLongTextKeepsItsFirst26Characters) {
  const Phase huge{std::numeric_limits<int64_t>::max(), 0.5};
  EXPECT_EQ(huge.ToColumnString(10), "9223372036854775807.500000");
  const Phase lowest{std::numeric_limits<int64_t>::min(), 0};
  EXPECT_EQ(lowest.ToColumnString(6), "-9223372036854775808.00000");
}

TEST(PhaseColumn, WritesExactlyTheColumnIntoTheCallersBuffer) {
  char buffer[PhaseColumnWidth + 2];
  std::memset(buffer, '#', sizeof buffer);
  (Phase{5, 0.25}).FormatColumn(3, '.', buffer + 1);
  EXPECT_EQ(buffer[0], '#');
  EXPECT_EQ(buffer[PhaseColumnWidth + 1], '#');
  EXPECT_EQ(std::string(buffer + 1, PhaseColumnWidth), std::string(21, ' ') + "5.250");
}

TEST(PhaseColumn, RoundPhaseSplitsForOtherColumns) {
  const TPhaseDecimal carried = RoundPhase(Phase{-5, -0.9999999}, 6);
  EXPECT_TRUE(carried.Negative);
  EXPECT_EQ(carried.Whole, 6u);
  EXPECT_EQ(carried.Fraction, 0u);
  EXPECT_EQ(carried.Decimals, 6);

  const TPhaseDecimal small = RoundPhase(Phase{0, 0.000123}, 6);
  EXPECT_FALSE(small.Negative);
  EXPECT_EQ(small.Whole, 0u);
  EXPECT_EQ(small.Fraction, 123u);
  char text[PhaseDecimalMaxText];
  EXPECT_EQ(std::string(text, WritePhaseDecimal(small, ',', text)), "0,000123");
  EXPECT_EQ(std::string(text, WritePhaseDecimal(TPhaseDecimal{true, 7, 12345, 3}, '.', text)), "-7.000");
}

TEST(PhaseColumn, ValuesBeyondTheWholeCycleRangeStayInTheColumn) {
  Phase beyond = Phase{0, 0.25} + 1e30;
  EXPECT_EQ(beyond.ToColumnString(3), std::string(21, ' ') + "0.000");
  beyond.Normalize();
  EXPECT_EQ(beyond.High, 0);
  EXPECT_EQ(beyond.ToDouble(), 1e30);
}

TEST(PhaseParse, ReadsWholeFractionAndPrecision) {
  const struct {
    const char* text;
    char separator;
    Phase value;
    int precision;
  } cases[] = {
      {"123.456", '.', {123, 0.456}, 3},
      {" -5.25 ", '.', {-5, -0.25}, 2},
      {"-0,5", ',', {0, -0.5}, 1},
      {"42", '.', {42, 0}, 0},
      {"42.", '.', {42, 0}, 0},
      {".5", '.', {0, 0.5}, 1},
      {"+7.0", '.', {7, 0}, 1},
      {"9223372036854775807.9", '.', {std::numeric_limits<int64_t>::max(), 0.9}, 1},
      {"8640000000000.000000000001", '.', {TenDaysAt10MHz, 1e-12}, 12},
  };
  for (const auto& c : cases) {
    int precision = -1;
    const auto parsed = Phase::Parse(c.text, c.separator, &precision);
    ASSERT_TRUE(parsed.has_value()) << c.text;
    EXPECT_EQ(parsed->High, c.value.High) << c.text;
    EXPECT_DOUBLE_EQ(parsed->Low, c.value.Low) << c.text;
    EXPECT_EQ(precision, c.precision) << c.text;
  }
}

TEST(PhaseParse, RejectsOtherTexts) {
  const char* bad[] = {"", " ", "-", ".", "1.2.3", "12a", "1,5", "9223372036854775808", "1e5", "--1", "1 2", "0x10"};
  for (const char* text : bad) EXPECT_FALSE(Phase::Parse(text, '.').has_value()) << text;
}

TEST(PhaseParse, ColumnTextsReadBack) {
  const struct {
    Phase value;
    int decimals;
  } cases[] = {
      {{TenDaysAt10MHz, 0.1234567890123}, 12}, {{-17, -0.5}, 3}, {{0, -0.25}, 2}, {{99, 0.999}, 11}, {{3, 0}, 0}};
  for (const auto& c : cases) {
    const std::string column = c.value.ToColumnString(c.decimals, ',');
    int precision = -1;
    const auto parsed = Phase::Parse(column, ',', &precision);
    ASSERT_TRUE(parsed.has_value()) << column;
    EXPECT_EQ(precision, c.decimals);
    EXPECT_EQ(parsed->ToColumnString(c.decimals, ','), column);
    EXPECT_NEAR((*parsed - c.value).ToDouble(), 0, 0.5 * std::pow(10.0, -c.decimals)) << column;
  }
}

}  // namespace

// The digits of every fraction at every number of decimals are those of the fixed-decimal text of the
// fraction: ties (exact binary halves) to even, carries into the whole cycles, tiny fractions to 0.
TEST(PhaseColumn, FractionDigitsAreThoseOfTheFixedDecimalText) {
  std::vector<double> fractions = {0.5, 0.25, 0.125, 0.375, 0.0625, 0.05, 0.95, 0.999999999999999889, 1e-300,
                                   4.9e-324, 0x1p-60, 0x1p-64, 0.1, 0.7, 0.123456789012345678};
  std::mt19937_64 generator(7);
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  for (int i = 0; i < 3000; ++i) fractions.push_back(uniform(generator));
  for (int i = 0; i < 300; ++i) fractions.push_back(std::ldexp(uniform(generator), -static_cast<int>(generator() % 70)));
  for (double fraction : fractions) {
    for (int decimals = 0; decimals <= PhaseMaxDecimals; ++decimals) {
      char text[64];
      const auto end = std::to_chars(text, text + sizeof text, fraction, std::chars_format::fixed, decimals).ptr;
      const bool carry = text[0] == '1' && !(decimals == 0 && fraction == 0.5);
      uint64_t digits = 0;
      if (decimals > 0 && !carry) std::from_chars(text + 2, end, digits);
      const TPhaseDecimal rounded = RoundPhase(Phase{6, fraction}, decimals);
      EXPECT_EQ(rounded.Whole, carry ? 7u : 6u) << std::string(text, end);
      EXPECT_EQ(rounded.Fraction, carry ? 0u : digits) << std::string(text, end);
    }
  }
}

// The fraction read from its digits is the correctly rounded value of "0.<digits>", however many
// digits there are.
TEST(PhaseParse, FractionIsTheCorrectlyRoundedValueOfItsDigits) {
  std::mt19937_64 generator(5);
  for (int i = 0; i < 5000; ++i) {
    std::string digits(1 + generator() % 20, '0');
    for (char& c : digits) c = static_cast<char>('0' + generator() % 10);
    if (i % 10 == 0) std::fill(digits.begin(), digits.end(), i % 20 == 0 ? '9' : '0');
    const std::string text = "0." + digits;
    double expected = 0;
    std::from_chars(text.data(), text.data() + text.size(), expected);
    const auto parsed = Phase::Parse("12." + digits, '.');
    ASSERT_TRUE(parsed.has_value()) << text;
    EXPECT_EQ(parsed->High, 12);
    EXPECT_EQ(parsed->Low, expected) << text;
  }
}

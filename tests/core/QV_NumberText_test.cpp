#include "core/QV_NumberText.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <random>
#include <vector>

#include <limits>

TEST(NumberText, FixedLikePrintfWithTheGivenSeparator) {
  const struct {
    double value;
    int width;
    int decimals;
    char separator;
    const char* text;
  } cases[] = {
      {1.5, 14, 3, '.', "         1.500"},
      {-1234.5678, 14, 3, '.', "     -1234.568"},
      {12345678901.0, 14, 3, '.', "12345678901.000"},
      {100, 13, 2, ',', "       100,00"},
      {0.125, 0, 2, '.', "0.12"},
      {2.5, 1, 0, '.', "2"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatFloatFixed(c.value, c.width, c.decimals, c.separator), c.text) << c.text;
  EXPECT_EQ(FormatFloatFixed(std::numeric_limits<double>::max(), 0, 3).size(), 309u + 4);
}

TEST(NumberText, ShortestReadsBackExactly) {
  EXPECT_EQ(FloatToShortest(0.25), "0.25");
  EXPECT_EQ(FloatToShortest(-0.75), "-0.75");
  EXPECT_EQ(FloatToShortest(0), "0");
  EXPECT_EQ(FloatToShortest(0.1), "0.1");
  EXPECT_EQ(FloatToShortest(1e-7), "1e-07");
}

TEST(NumberText, TrimBlanksRemovesBlanksAndControlCharacters) {
  EXPECT_EQ(TrimBlanks(" \t\r\n 12 3\x01\x7F"), "12 3\x01\x7F");
  EXPECT_EQ(TrimBlanks(std::string_view("\0 x \0", 5)), "x");
  EXPECT_EQ(TrimBlanks("   "), "");
}

TEST(NumberText, SplitKeepsEmptyPartsAndListDropsOnlyTheEmptyRest) {
  using V = std::vector<std::string>;
  const struct {
    const char* text;
    const char* separator;
    V parts;
    V list;
  } cases[] = {
      {"", ";", {""}, {}},
      {"a", ";", {"a"}, {"a"}},
      {"a;;b", ";", {"a", "", "b"}, {"a", "", "b"}},
      {"a;", ";", {"a", ""}, {"a"}},
      {"a;;", ";", {"a", "", ""}, {"a", ""}},
      {"1, 2, ", ", ", {"1", "2", ""}, {"1", "2"}},
      {"1, 2,", ", ", {"1", "2,"}, {"1", "2,"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SplitText(c.text, c.separator), c.parts) << '"' << c.text << '"';
    EXPECT_EQ(SplitTextList(c.text, c.separator), c.list) << '"' << c.text << '"';
  }
}

// The fast integer path must give the text of the general fixed-decimal conversion for every value:
// ties to even, negative zero, values that round to zero or carry, and magnitudes beyond 64 bits.
TEST(FormatFloatFixed, TextIsThatOfTheFixedDecimalConversion) {
  std::vector<double> values = {0.0, -0.0, 0.5, 1.5, 2.5, -2.5, 0.125, 0.0625, 9.9999999999999995, 1e7, 10000000.123456789,
                                -4.4e-6, 1e-300, 1.8e19, 1e300, 0x1p63, 0x1p64, 123456789012.5, 4.9e-324};
  std::mt19937_64 generator(3);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  for (int i = 0; i < 2000; ++i) values.push_back(std::ldexp(uniform(generator), static_cast<int>(generator() % 90) - 40));
  for (double value : values) {
    for (int decimals : {0, 1, 2, 5, 11, 15, 18, 19, 30}) {
      char expected[400];
      const auto end = std::to_chars(expected, expected + sizeof expected, value, std::chars_format::fixed, decimals).ptr;
      std::string text(expected, end);
      if (const auto dot = text.find('.'); dot != std::string::npos) text[dot] = ',';
      if (text.size() < 26) text.insert(0, 26 - text.size(), ' ');
      EXPECT_EQ(FormatFloatFixed(value, 26, decimals, ','), text) << value << " at " << decimals;
    }
  }
}

#include "ui/DecimalAlign.h"

#include <gtest/gtest.h>

namespace {

// A proportional font: blanks, points and minus signs are narrower than digits, '#' and letters
// wider, so padding with blanks could never line the separators up exactly.
int Proportional(std::string_view text) {
  int width = 0;
  for (char c : text) {
    if (c >= '0' && c <= '9') width += 7;
    else if (c == ' ' || c == '.' || c == ',') width += 3;
    else if (c == '-') width += 4;
    else if (c == '#') width += 9;
    else width += 8;
  }
  return width;
}

int Monospace(std::string_view text) { return int(text.size()) * 10; }

TEST(ValueCellText, TrimsMarksAndNormalisesTheSeparator) {
  struct Case {
    std::string raw, prefix;
    char separator;
    std::string shown;
  } cases[] = {
      {"     12.5", "", '.', "12.5"},
      {"  12,5", "", '.', "12.5"},
      {"12.5", "", ',', "12,5"},
      {"+1.2345678E-09", "", ',', "+1,2345678E-09"},
      {"   10000.5", "A", '.', "A10000.5"},  // clock warning
      {"   10000.5", " ", '.', " 10000.5"},
      {"     ", "", '.', "-----"},  // blanks only: dashes of the same length
      {"     ", " ", '.', "-----"},
      {"", " ", '.', "-"},  // a frequency column without a value
      {"", "", '.', ""},
      {"#####", "", '.', "#####"},
      {"---", "", ',', "---"},
  };
  for (const Case& c : cases) EXPECT_EQ(ValueCellText(c.raw, c.prefix, c.separator), c.shown) << "'" << c.raw << "'";
}

TEST(DecimalColumn, GrowsOnlyWithAWiderAlignedText) {
  TDecimalColumn column;
  EXPECT_TRUE(column.Take("1.5", '.'));
  EXPECT_FALSE(column.Take("2.5", '.'));
  EXPECT_TRUE(column.Take("12.5", '.'));   // longer integer part
  EXPECT_TRUE(column.Take("1.25", '.'));   // longer fraction
  EXPECT_FALSE(column.Take("3", '.'));     // no separator: integer part only
  EXPECT_EQ(column.LeadChars(), 2);
  EXPECT_EQ(column.TailChars(), 3);
  EXPECT_EQ(column.ReferenceText(), "000000");
  column.Reset();
  EXPECT_EQ(column.TotalChars(), 0);
}

// Every text of a column, whatever its shape, has its separator (or its end) on the column's line
// and stays inside the column.
TEST(DecimalLayout, SeparatorsLineUpExactly) {
  struct Case {
    char separator;
    std::vector<std::string> texts;
  } cases[] = {
      {'.', {"1.5", "12.25", "3"}},
      {'.', {"-0.25", "-123.5", "7", "-4"}},
      {'.', {"#####", "12.5", "---", "-----"}},
      {'.', {"A10000.5", " 10000.50000000000", " 9999.125"}},
      {'.', {"+1.2345678E-09", "-1.0000000E-10"}},
      {',', {"1,5", "12,25", "3", "-0,125"}},
      {',', {"1.5"}},  // a point is no separator in a comma column
  };
  for (const auto& width : {TTextWidth(Proportional), TTextWidth(Monospace)}) {
    for (const Case& c : cases) {
      TDecimalColumn column;
      for (const auto& text : c.texts) column.Take(text, c.separator);
      const TDecimalLayout layout = LayoutDecimalColumn(column, c.texts, c.separator, width);
      for (const auto& text : c.texts) {
        const int x = DecimalTextX(text, c.separator, layout, width);
        EXPECT_GE(x, 0) << text;
        EXPECT_EQ(x + width(SplitDecimal(text, c.separator).Lead), layout.SeparatorX) << text;
        EXPECT_LE(x + width(text), layout.Width) << text;
        EXPECT_TRUE(FitsDecimalLayout(text, c.separator, layout, width)) << text;
      }
    }
  }
}

TEST(DecimalLayout, ShortFractionEndsWhereTheMissingDigitsWouldBe) {
  const std::vector<std::string> texts = {"1.5", "12.25", "3"};
  TDecimalColumn column;
  for (const auto& text : texts) column.Take(text, '.');
  const TDecimalLayout layout = LayoutDecimalColumn(column, texts, '.', Proportional);
  EXPECT_EQ(layout.SeparatorX, 14);  // "12"
  EXPECT_EQ(layout.Width, 14 + 3 + 14);
  const auto end = [&](const std::string& text) { return DecimalTextX(text, '.', layout, Proportional) + Proportional(text); };
  EXPECT_EQ(end("12.25") - end("1.5"), 7);  // one digit short
  EXPECT_EQ(end("3"), layout.SeparatorX);   // no separator: ends on the line
}

TEST(DecimalLayout, TheReferenceZerosWidenAColumnBeyondTheCurrentTexts) {
  TDecimalColumn column;
  column.Take("1234.56789", '.');
  const TDecimalLayout layout = LayoutDecimalColumn(column, {"1.5"}, '.', Proportional);
  EXPECT_EQ(layout.SeparatorX, 4 * 7);
  EXPECT_EQ(layout.Width, 4 * 7 + 3 + 5 * 7);
  EXPECT_FALSE(FitsDecimalLayout("12345.5", '.', layout, Proportional));
  EXPECT_FALSE(FitsDecimalLayout("1.123456", '.', layout, Proportional));
  EXPECT_FALSE(FitsDecimalLayout("####", '.', layout, Proportional));  // '#' is wider than a digit
}

}  // namespace

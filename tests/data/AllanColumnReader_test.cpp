#include "data/AllanColumnReader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

struct TRead {
  std::vector<double> Values;
  std::string Error;
};

TRead ReadInPieces(const std::string& text, int column, size_t piece, double scale = 1, uint64_t expectedBytes = 0) {
  TAllanColumnReader reader(column, scale);
  if (expectedBytes > 0) reader.ExpectBytes(expectedBytes);
  for (size_t at = 0; at < text.size(); at += piece) reader.Add(std::string_view(text).substr(at, piece));
  reader.Finish();
  return {reader.Values(), reader.Error()};
}

}  // namespace

// Lines and fields cut anywhere between pieces read the same as in one piece.
TEST(AllanColumnReader, PiecesOfAnySizeReadLikeOne) {
  const std::string text = "# head\r\n\n 1.5\t2 3\r\n\t# note\n-2e-3 +4 x\n  7 8e1\n9 10";
  for (int column : {1, 2}) {
    const TRead whole = ReadInPieces(text, column, text.size());
    for (size_t piece = 1; piece < 9; ++piece) {
      const TRead read = ReadInPieces(text, column, piece);
      EXPECT_EQ(read.Values, whole.Values) << "column " << column << " piece " << piece;
      EXPECT_EQ(read.Error, whole.Error) << "column " << column << " piece " << piece;
    }
  }
  EXPECT_EQ(ReadInPieces(text, 1, 3).Values, (std::vector<double>{1.5, -2e-3, 7, 9}));
  EXPECT_EQ(ReadInPieces(text, 2, 5).Values, (std::vector<double>{2, 4, 80, 10}));
}

// The expected size only gives the values their room: a wrong guess reads the same.
TEST(AllanColumnReader, ExpectedSizeReadsTheSame) {
  std::string text;
  for (int i = 0; i < 2000; ++i) text += std::to_string(i) + (i % 7 == 0 ? "   \n" : "\n");
  const TRead plain = ReadInPieces(text, 1, 1000);
  for (uint64_t expected : {uint64_t{1}, uint64_t{text.size()}, uint64_t{text.size() * 100}})
    EXPECT_EQ(ReadInPieces(text, 1, 1000, 1, expected).Values, plain.Values) << expected;
  EXPECT_EQ(plain.Values.size(), 2000u);
}

TEST(AllanColumnReader, StopsAtTheFirstBadLine) {
  struct Case {
    const char* name;
    const char* text;
    double scale;
    std::vector<double> values;
    const char* error;
  };
  const Case cases[] = {
      {"overflow when scaled", "1\n2e296\n3\n", 1e12, {1}, "line 2: \"2e296\" overflows when scaled to picoseconds"},
      {"largest that fits", "1e296\n", 1e12, {1e296}, ""},
      {"not scaled", "2e296\n", 1, {2e296}, ""},
      {"out of range", "1e999\n", 1, {}, "line 1: \"1e999\" is not a number"},
      {"plus minus", "+-1\n", 1, {}, "line 1: \"+-1\" is not a number"},
      {"nothing after the error", "x\n1\n", 1, {}, "line 1: \"x\" is not a number"},
      {"number glued to text", "1\n2.5x 3\n", 1, {1}, "line 2: \"2.5x\" is not a number"},
      {"infinite", "inf\n", 1, {}, "line 1: \"inf\" is not a number"},
  };
  for (const Case& c : cases) {
    const TRead read = ReadInPieces(c.text, 1, 1000, c.scale);
    EXPECT_EQ(read.Values, c.values) << c.name;
    EXPECT_EQ(read.Error, c.error) << c.name;
  }
}

// Log files write decimal commas and "-" fields for missing data: gaps, not errors, once asked for.
TEST(AllanColumnReader, LogFieldsReadCommasAndGaps) {
  const std::string text = "t 1,5\nt -\nt # # Log opened #\nt ---------\nt 2.5e-3\nt 1,5,5\n";
  TAllanColumnReader plain(2);
  EXPECT_FALSE(plain.Add(text));
  EXPECT_EQ(plain.Error(), "line 1: \"1,5\" is not a number");
  TAllanColumnReader log(2);
  log.AcceptLogFields();
  EXPECT_FALSE(log.Add(text));
  EXPECT_EQ(log.Error(), "line 6: \"1,5,5\" is not a number");
  ASSERT_EQ(log.Values().size(), 4u);
  EXPECT_EQ(log.Values()[0], 1.5);
  EXPECT_TRUE(std::isnan(log.Values()[1]) && std::isnan(log.Values()[2]));
  EXPECT_EQ(log.Values()[3], 2.5e-3);
}

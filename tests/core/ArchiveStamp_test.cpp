#include "core/ArchiveStamp.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono;

TEST(ArchiveStamp, TextReadsBackAndDayNumbersMatchTheFileFormat) {
  const TArchiveTime t = sys_days{year{2024} / February / 29} + 23h + 59min + 58s;
  EXPECT_EQ(ArchiveStampText(t), "20240229_235958");
  EXPECT_EQ(ParseArchiveStamp("20240229_235958"), t);
  EXPECT_EQ(ArchiveStampText(HourStart(t)), "20240229_230000");
  EXPECT_EQ(ArchiveStampText(MinuteStart(t)), "20240229_235900");
  EXPECT_DOUBLE_EQ(ArchiveToDateTime(sys_days{year{2024} / January / 1} + 12h), 45292.5);
  EXPECT_EQ(DateTimeToArchive(ArchiveToDateTime(t)), t);
}

TEST(ArchiveStamp, OnlyTheExactFormOfAValidTimeIsAccepted) {
  for (const char* text : {"20240101_1000", "2024010_1000000", "20240101-100000", "20240101_10000x", "20240230_100000",
                           "20240101_240000", "20240101_106000", "20240101_100000 ", "+2024010_100000", ""})
    EXPECT_FALSE(ParseArchiveStamp(text)) << text;
}

}  // namespace

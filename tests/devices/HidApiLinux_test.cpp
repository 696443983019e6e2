#include "devices/HidApiLinux.h"

#include <gtest/gtest.h>

namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}

// Vendor-defined page, 64 bytes in and 64 out, as the counters declare them.
const std::string Plain = Bytes({0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01,  //
                                 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08,  //
                                 0x95, 0x40, 0x09, 0x01, 0x81, 0x02,        // input 64 x 8
                                 0x95, 0x40, 0x09, 0x01, 0x91, 0x02,        // output 64 x 8
                                 0xC0});

TEST(HidApiLinux, ReportLengthsComeFromTheDescriptorWithTheReportIdByte) {
  const THidReportLengths l = ParseHidReportLengths(Plain);
  EXPECT_EQ(l.Input, 65u);
  EXPECT_EQ(l.Output, 65u);
  EXPECT_FALSE(l.NumberedReports);
}

TEST(HidApiLinux, NumberedReportsTakeTheLargestReport) {
  const std::string d = Bytes({0x75, 0x08, 0x85, 0x01, 0x95, 0x10, 0x81, 0x02,   // id 1: 16 in
                               0x85, 0x02, 0x95, 0x20, 0x81, 0x02, 0x95, 0x08,   // id 2: 32 in
                               0x91, 0x02});                                      // id 2: 8 out
  const THidReportLengths l = ParseHidReportLengths(d);
  EXPECT_EQ(l.Input, 33u);
  EXPECT_EQ(l.Output, 9u);
  EXPECT_TRUE(l.NumberedReports);
}

TEST(HidApiLinux, ATruncatedDescriptorGivesNoLengthsAndNoOverread) {
  EXPECT_EQ(ParseHidReportLengths(Plain.substr(0, 10)).Input, 0u);
  EXPECT_EQ(ParseHidReportLengths(Bytes({0x27})).Output, 0u);
  EXPECT_EQ(ParseHidReportLengths(Bytes({0xFE, 0xFF})).Input, 0u);
}

TEST(HidApiLinux, AMissingNodeCannotBeOpened) {
  THidApiLinux api;
  std::string reason;
  bool inUse = true;
  EXPECT_EQ(api.Open("/dev/hidraw-none", reason, inUse), nullptr);
  EXPECT_FALSE(inUse);
  EXPECT_FALSE(reason.empty());
}

}  // namespace

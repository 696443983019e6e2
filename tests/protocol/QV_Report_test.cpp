#include "protocol/QV_Report.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

template <typename T>
T BufferAt(const TQV_ReportStruct& record, size_t offset) {
  T value;
  std::memcpy(&value, record.Buffer() + offset, sizeof value);
  return value;
}

TEST(ReportStruct, FieldsLieAtTheirOffsetsInTheBuffer) {
  TQV_ReportStruct record;
  record.SetDeviceMs(0x0102030405060708);
  record.SetMessage(0x7020, std::string("\x19\x10", 2));
  EXPECT_EQ(record.Buffer()[0], rt_Message);
  EXPECT_EQ(BufferAt<int64_t>(record, 8), 0x0102030405060708);
  EXPECT_EQ(BufferAt<uint16_t>(record, 18), 0x7020);
  EXPECT_EQ(BufferAt<int32_t>(record, 20), 2);
  EXPECT_EQ(record.Buffer()[24], 0x19);
  EXPECT_EQ(record.Buffer()[25], 0x10);

  record.SetError(QV_WriteError, "x");
  EXPECT_EQ(record.Buffer()[0], rt_Error);
  EXPECT_EQ(record.Buffer()[16], QV_WriteError);
  EXPECT_EQ(record.Buffer()[24], 'x');

  record.Clear();
  for (size_t i = 0; i < sizeof(TQV_ReportStructBase); ++i) ASSERT_EQ(record.Buffer()[i], 0) << i;
  EXPECT_EQ(record.GetReportType(), rt_None);
  EXPECT_EQ(record.GetHeader(), -1);
}

TEST(ReportStruct, ReportTypeNames) {
  EXPECT_EQ(ReportTypeName(rt_None), "None");
  EXPECT_EQ(ReportTypeName(rt_Error), "Error");
  EXPECT_EQ(ReportTypeName(rt_Message), "Message");
  EXPECT_EQ(ReportTypeName(rt_Phase), "Phase");
  EXPECT_EQ(ReportTypeName(rt_Double), "Double");
  EXPECT_EQ(ReportTypeName(rt_Int32), "Int32");
  EXPECT_EQ(ReportTypeName(static_cast<TQV_ReportType>(9)), "9");
}

TEST(ReportStruct, SettersKeepTheDeviceTime) {
  TQV_ReportStruct record;
  record.SetDeviceMs(1234567);
  record.SetMessage(0x7001, "VERSION");
  EXPECT_EQ(record.GetDeviceMs(), 1234567);
  record.SetError(QV_Err_BadFormat, "bad");
  EXPECT_EQ(record.GetDeviceMs(), 1234567);
  record.SetTimestamp(5);
  EXPECT_EQ(record.GetDeviceMs(), 1234567);
}

TEST(ReportStruct, MessagesAndTimestamps) {
  TQV_ReportStruct record;
  record.SetMessage(0x7016, std::string("\x00\x00\x01\x2C", 4));
  EXPECT_EQ(record.GetReportType(), rt_Message);
  EXPECT_EQ(record.GetHeader(), 0x7016);
  EXPECT_EQ(record.GetTimeStamp(), 300);
  EXPECT_EQ(record.GetContentWord(), 0x0000);
  EXPECT_EQ(record.GetContentCardinal(), 0x12Cu);

  record.SetTimestamp(0xFEDCBA98);
  EXPECT_EQ(record.GetHeader(), 0x7016);
  EXPECT_EQ(record.GetContent(), "\xFE\xDC\xBA\x98");
  EXPECT_EQ(record.GetTimeStamp(), 0xFEDCBA98);

  record.SetMessage(0x7015, std::string("\x00\x00\x00\x07", 4));
  EXPECT_EQ(record.GetTimeStamp(), 7);
  record.SetMessage(0x7020, std::string("\x00\x00\x00\x07", 4));
  EXPECT_EQ(record.GetTimeStamp(), -1);

  record.SetMessage(0x7002, std::string("\xAB", 1));
  EXPECT_EQ(record.GetContentWord(), 0xFFFF);
  EXPECT_EQ(record.GetContentCardinal(), 0xFFFFFFFF);
  record.SetMessage(0x7002, std::string("\xAB\xCD\xEF", 3));
  EXPECT_EQ(record.GetContentWord(), 0xABCD);
  EXPECT_EQ(record.GetContentCardinal(), 0xFFFFFFFF);
  EXPECT_EQ(record.GetChannelCount(), 0);
  EXPECT_EQ(record.GetErrorCode(), QV_No_Err);
  EXPECT_EQ(record.GetErrorText(), "");
}

TEST(ReportStruct, LimitsTurnIntoErrorRecords) {
  const struct {
    const char* name;
    void (*fill)(TQV_ReportStruct&);
    const char* error;
  } cases[] = {
      {"message 500", [](TQV_ReportStruct& r) { r.SetMessage(0x7040, std::string(500, 'm')); }, "Message too long (500)"},
      {"doubles 12", [](TQV_ReportStruct& r) { r.SetDoubles(0x2910, size_t{12}, std::string(12, '\0').data()); },
       "Invalid data len 12"},
      {"doubles 504", [](TQV_ReportStruct& r) { r.SetDoubles(0x2910, size_t{504}, std::string(504, '\0').data()); },
       "Invalid data len 504"},
      {"error 497", [](TQV_ReportStruct& r) { r.SetError(QV_DeviceNotFound, std::string(497, 'e')); },
       "Error text too long (497)"},
      {"phases 25", [](TQV_ReportStruct& r) { r.SetPhases(0x1910, 25, TQV_ReportPhases{}); }, "Invalid channel count 25"},
      {"doubles -1", [](TQV_ReportStruct& r) { r.SetDoubles(0x2910, -1, TQV_Doubles{}); }, "Invalid channel count -1"},
      {"int32 49", [](TQV_ReportStruct& r) { r.SetInt32(0x7EFF, 49, TQV_Int32{}); }, "Invalid channel count 49"},
  };
  for (const auto& c : cases) {
    TQV_ReportStruct record;
    record.SetDeviceMs(42);
    c.fill(record);
    EXPECT_EQ(record.GetReportType(), rt_Error) << c.name;
    EXPECT_EQ(record.GetErrorCode(), QV_Err_BadFormat) << c.name;
    EXPECT_EQ(record.GetErrorText(), c.error) << c.name;
    EXPECT_EQ(record.GetHeader(), -1) << c.name;
    EXPECT_EQ(record.GetDeviceMs(), 42) << c.name;
  }
}

TEST(ReportStruct, LargestContentsFit) {
  TQV_ReportStruct record;
  record.SetMessage(0x7040, std::string(496, 'm'));
  EXPECT_EQ(record.GetContent(), std::string(496, 'm'));
  record.SetError(QV_DeviceNotFound, std::string(496, 'e'));
  EXPECT_EQ(record.GetErrorCode(), QV_DeviceNotFound);
  EXPECT_EQ(record.GetErrorText(), std::string(496, 'e'));

  // 62 raw doubles: all counted, the 24-value array gets the first 24 only.
  double raw[62];
  for (int i = 0; i < 62; ++i) raw[i] = i + 0.5;
  record.SetDoubles(0x7900, sizeof raw, raw);
  EXPECT_EQ(record.GetChannelCount(), 62);
  const TQV_Doubles values = record.GetDoubles();
  EXPECT_EQ(values[0], 0.5);
  EXPECT_EQ(values[23], 23.5);
}

TEST(ReportStruct, ValueRoundTrips) {
  TQV_ReportStruct record;
  TQV_ReportPhases phases{};
  phases[0] = {8640000000000, 0.123456789};
  phases[2] = {-4, -0.75};
  record.SetPhases(0x1910, 3, phases);
  EXPECT_EQ(record.GetReportType(), rt_Phase);
  EXPECT_EQ(record.GetHeader(), 0x1910);
  EXPECT_EQ(record.GetChannelCount(), 3);
  const TQV_ReportPhases readPhases = record.GetPhases();
  EXPECT_EQ(readPhases[0].High, 8640000000000);
  EXPECT_EQ(readPhases[0].Low, 0.123456789);
  EXPECT_EQ(readPhases[2].High, -4);
  EXPECT_TRUE(readPhases[3].IsCleared());

  TQV_Doubles doubles{};
  doubles[0] = 1.5;
  doubles[23] = -2.25;
  record.SetDoubles(0x2910, 24, doubles);
  EXPECT_EQ(record.GetReportType(), rt_Double);
  EXPECT_EQ(record.GetChannelCount(), 24);
  EXPECT_EQ(record.GetDoubles(), doubles);

  TQV_Int32 words{};
  words[0] = 0x12AB;
  words[4] = 0xFFFFFFFF;
  record.SetInt32(0x7EFF, 5, words);
  EXPECT_EQ(record.GetReportType(), rt_Int32);
  EXPECT_EQ(record.GetChannelCount(), 5);
  EXPECT_EQ(record.GetInts32(), words);

  record.SetPhases(0x1910, 0, phases);
  EXPECT_EQ(record.GetChannelCount(), 0);
}

TEST(ReportStruct, DebugTexts) {
  TQV_ReportPhases phases{};
  phases[0] = {5, 0.25};
  phases[1] = {-4, -0.75};
  TQV_Doubles doubles{};
  doubles[0] = 1.5;
  doubles[1] = -0.25;
  TQV_Int32 words{};
  words[0] = 0x12AB;
  words[1] = 0xFFFFFFFF;

  const struct {
    const char* name;
    void (*fill)(TQV_ReportStruct&, const TQV_ReportPhases&, const TQV_Doubles&, const TQV_Int32&);
    const char* text;
  } cases[] = {
      {"none", [](auto&, auto&, auto&, auto&) {}, ""},
      {"error", [](auto& r, auto&, auto&, auto&) { r.SetError(QV_Err_BadFormat, "bad"); }, "Error QV_Err_BadFormat: bad"},
      {"word",
       [](auto& r, auto&, auto&, auto&) {
         r.SetDeviceMs(1234567);
         r.SetMessage(0x7020, std::string("\x19\x10", 2));
       },
       "Message ms=1.234.567 header=0x7020 len=2 0x1910"},
      {"cardinal",
       [](auto& r, auto&, auto&, auto&) {
         r.SetDeviceMs(-1);
         r.SetTimestamp(300);
       },
       "Message ms=-1 header=0x7016 len=4 0x0000012C"},
      {"version", [](auto& r, auto&, auto&, auto&) { r.SetMessage(0x7001, "VERSION 1.2"); },
       "Message ms=0 header=0x7001 len=11 VERSION 1.2"},
      {"status text", [](auto& r, auto&, auto&, auto&) { r.SetMessage(0x7FF9, "Ref"); }, "Message ms=0 header=0x7FF9 len=3 Ref"},
      {"hex", [](auto& r, auto&, auto&, auto&) { r.SetMessage(0x7055, std::string("\x01\xAB\xFF", 3)); },
       "Message ms=0 header=0x7055 len=3 01ABFF"},
      {"phases", [](auto& r, auto& p, auto&, auto&) { r.SetPhases(0x1910, 2, p); },
       "Phase ms=0 header=0x1910 len=32 Phases:  5 0.25 -4 -0.75"},
      {"doubles", [](auto& r, auto&, auto& d, auto&) { r.SetDoubles(0x2910, 2, d); },
       "Double ms=0 header=0x2910 len=16 Doubles: 1.5 -0.25"},
      {"int32", [](auto& r, auto&, auto&, auto& w) { r.SetInt32(0x7EFF, 2, w); },
       "Int32 ms=0 header=0x7EFF len=8 Int32:   000012AB FFFFFFFF"},
  };
  for (const auto& c : cases) {
    TQV_ReportStruct record;
    c.fill(record, phases, doubles, words);
    EXPECT_EQ(record.ToDbgString(), c.text) << c.name;
  }
}

TEST(ReportStruct, DebugTextFollowsChanges) {
  TQV_ReportStruct record;
  record.SetMessage(0x7003, "");
  EXPECT_EQ(record.ToDbgString(), "Message ms=0 header=0x7003 len=0 ");
  record.SetDeviceMs(1000);
  EXPECT_EQ(record.ToDbgString(), "Message ms=1.000 header=0x7003 len=0 ");
  record.SetMessage(0x7022, "x");
  EXPECT_EQ(record.ToDbgString(), "Message ms=1.000 header=0x7022 len=1 x");
  record.Clear();
  EXPECT_EQ(record.ToDbgString(), "");
}

TEST(ReportStruct, DeviceTimeGroupsThreeDigits) {
  const struct {
    int64_t ms;
    const char* text;
  } cases[] = {{0, "0"}, {999, "999"}, {1000, "1.000"}, {-1234567, "-1.234.567"}, {-123, "-123"},
               {9223372036854775807, "9.223.372.036.854.775.807"}};
  for (const auto& c : cases) {
    TQV_ReportStruct record;
    record.SetDeviceMs(c.ms);
    record.SetMessage(0x7022, "");
    EXPECT_EQ(record.ToDbgString(), std::string("Message ms=") + c.text + " header=0x7022 len=0 ");
  }
}

TEST(ReportStruct, DoubleString) {
  TQV_ReportStruct record;
  TQV_Doubles doubles{};
  doubles[0] = 1.5;
  doubles[1] = -1234.5678;
  doubles[2] = 12345678901.0;
  record.SetDoubles(0x7901, 3, doubles);
  EXPECT_EQ(record.ToDoubleString(), "         1.500;     -1234.568;12345678901.000;");
  record.SetMessage(0x7901, "1");
  EXPECT_EQ(record.ToDoubleString(), "");
}

TEST(ReportStruct, CopiesAreIndependent) {
  TQV_ReportStruct a;
  a.SetMessage(0x7040, "first");
  const std::string text = a.ToDbgString();
  TQV_ReportStruct b = a;
  a.SetMessage(0x7040, "second");
  EXPECT_EQ(b.GetContent(), "first");
  EXPECT_EQ(b.ToDbgString(), text);
  EXPECT_EQ(std::memcmp(a.Buffer(), b.Buffer(), 20), 0);
}

}  // namespace

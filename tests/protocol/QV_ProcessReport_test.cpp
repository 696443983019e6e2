#include "protocol/QV_ProcessReport.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <string>
#include <vector>

#include "protocol/QV_ProcessState.h"
#include "protocol/QV_Report.h"
#include "support/FrameBuilder.h"
#include "support/LogCapture.h"
#include "support/QV_TestDevice.h"

namespace {

std::string Bytes(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s.push_back(static_cast<char>(b));
  return s;
}

std::string Header(int header) { return Bytes({header >> 8, header & 0xFF}); }

// The mantissa that shows x at exponent e without averaging (x must be a multiple of 2^(e-35)).
uint64_t MantissaOf(double x, int e) { return static_cast<uint64_t>(std::ldexp(x, 35 - e)); }

// 52-bit two's complement of a signed mantissa.
uint64_t Signed52(int64_t m) { return static_cast<uint64_t>(m) & ((uint64_t{1} << 52) - 1); }

std::string LittleEndian(uint64_t bits) {
  std::string v(8, '\0');
  for (int b = 0; b < 8; ++b) v[b] = static_cast<char>(bits >> (8 * b));
  return v;
}

// A network-module phase double carrying range code x in bits 58-61.
std::string EspPhase(double v, int x) {
  uint64_t bits = std::bit_cast<uint64_t>(v);
  const uint64_t top = ((bits >> 56) & 0xC3) | (uint64_t(x) << 2);
  return LittleEndian((bits & 0x00FFFFFFFFFFFFFFull) | top << 56);
}

std::string Col(std::string_view text, size_t width = 26) { return std::string(width - text.size(), ' ') + std::string(text); }

class ProcessReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    device.SetPeer(ptColdfire);
    state.Device = &device;
    state.FLogId = log.Id();
  }
  std::string Bin(const std::string& report) {
    ProcessBinReport(state, report, line);
    return line;
  }
  // A logged line containing the text.
  size_t LoggedCount(const std::string& text) const {
    size_t count = 0;
    for (const auto& l : log.Lines()) count += l.find(text) != std::string::npos;
    return count;
  }
  bool Logged(const std::string& text) const { return LoggedCount(text) > 0; }
  std::string Packed() {
    ProcessPackedReport(state, line);
    return line;
  }

  TLogCapture log;
  TQV_TestDevice device;
  TQV_ProcessState state;
  std::string line;
};

// ---- Coldfire phases: wrap extension ----

struct TPhaseStep {
  int e;
  double x;
};
struct TPhaseCase {
  const char* name;
  std::vector<TPhaseStep> steps;
  const char* lastColumn;
};

TEST_F(ProcessReportTest, ColdfirePhaseWrapsAcrossRanges) {
  const int w1 = 262144;  // 2^18: the wrap at exponent 1 (and the half wrap at exponent 2)
  (void)w1;
  const std::vector<TPhaseCase> cases = {
      {"no previous value", {{1, 10}}, "10.00000000000"},
      {"same exponent, smaller value wraps", {{1, 200000}, {1, 10}}, "262154.00000000000"},
      {"same exponent, larger value", {{1, 10}, {1, 200000}}, "200000.00000000000"},
      {"exponent up, smaller value", {{1, 200000}, {2, 100}}, "262244.00000000000"},
      {"exponent up, jump back by the half wrap", {{1, 200000}, {1, 10}, {2, 300000}}, "300000.00000000000"},
      // Exponent down from 2 (top nibble p of the old mantissa) to 1 with a smaller value.
      {"down, p=4, new top bit clear", {{2, 4 * 32768.0}, {1, 100}}, "262244.00000000000"},
      {"down, p=4, new top bit set", {{2, 4 * 32768.0 + 5000}, {1, 131072}}, "131072.00000000000"},
      {"down, p=8", {{2, 8 * 32768.0}, {1, 100}}, "262244.00000000000"},
      {"down, p=12, new top bit set", {{2, 12 * 32768.0}, {1, 131072}}, "393216.00000000000"},
      {"down, p=12, new top bit clear", {{2, 12 * 32768.0}, {1, 100}}, "524388.00000000000"},
      {"down, p=0", {{2, 20000}, {1, 100}}, "100.00000000000"},
      {"exponent jumps by two resets High", {{1, 200000}, {1, 10}, {3, 5}}, "5.00000000000"},
      {"previous value 0 counts no wrap", {{1, 0}, {1, 0}}, "0.00000000000"},
      {"exponent 16 written as 0", {{16, 1000.5}}, "1000.5000000"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    state.ResetPhaseData();
    for (const auto& step : c.steps) Bin(Header(0x0900) + ColdfireValue(step.e, MantissaOf(step.x, step.e)));
    EXPECT_EQ(line, "0900;" + Col(c.lastColumn));
  }
}

TEST_F(ProcessReportTest, RoundsBeforeSplittingSoTheCarryReachesTheWholeCycles) {
  // 5.9999999999999 at 11 decimals rounds up to 6; the fraction alone would have lost the carry.
  ProcessDemoReport(state, Header(0x0900) + LittleEndian(std::bit_cast<uint64_t>(5.9999999999999)), line);
  EXPECT_EQ(line, "0900;" + Col("6.00000000000"));
  // The finest Coldfire step below 6 stays below 6.
  Bin(Header(0x0900) + ColdfireValue(1, MantissaOf(6, 1) - 1));
  EXPECT_EQ(line, "0900;" + Col("5.99999999994"));
}

TEST_F(ProcessReportTest, ValueTooWideForItsColumnIsMarkedUnreadableAndLoggedOnce) {
  // Exponent up with a value beyond half a wrap takes High below 0: modulo 2^62 it is huge.
  for (int i = 0; i < 2; ++i) {
    state.ResetPhaseData();
    Bin(Header(0x0900) + ColdfireValue(1, MantissaOf(10, 1)));
    Bin(Header(0x0900) + ColdfireValue(2, MantissaOf(300000, 2)));
    EXPECT_EQ(line, "0900;" + std::string(26, '#'));
  }
  EXPECT_EQ(LoggedCount("does not fit its column"), 1u);

  TQV_ReportStruct record;
  ConvertAsciiZCTMeasurmentReport(state, line, record);
  ASSERT_EQ(record.GetChannelCount(), 1);
  EXPECT_TRUE(std::isnan(record.GetPhases()[0].Low));
}

// ---- Frequencies and phase differences ----

TEST_F(ProcessReportTest, FrequencyWithAndWithoutAveraging) {
  // Index 9: exponent offset 10, divisor 1000; exponent 16 shows 7 + 5 decimals.
  Bin(Header(0x2900) + ColdfireValue(16, 5000000000ull << 19));
  EXPECT_EQ(line, "2900;" + Col("5000000.000000000000"));
  Bin(Header(0x3900) + ColdfireValue(16, 5000000000000ull << 9));
  EXPECT_EQ(line, "3900;" + Col("5000000.000000000000"));
}

TEST_F(ProcessReportTest, PhaseDifferenceAveragingLeavesChannelOneUndivided) {
  const std::string payload = ColdfireValue(1, MantissaOf(3, 1)) + ColdfireValue(1, Signed52((int64_t{2000} << 24))) +
                              ColdfireValue(1, Signed52(-(int64_t{1000} << 24)));
  EXPECT_EQ(Bin(Header(0x5900) + payload), "5900;" + Col("3.00000000000") + ";" + Col("2.00000000000") + ";" +
                                               Col("-1.00000000000"));
  EXPECT_EQ(Bin(Header(0x4900) + payload), "4900;" + Col("3.00000000000") + ";" + Col("1.95312500000") + ";" +
                                               Col("-0.97656250000"));
  // A single channel is divided.
  EXPECT_EQ(Bin(Header(0x5900) + ColdfireValue(1, Signed52(int64_t{2000} << 24))), "5900;" + Col("2.00000000000"));
}

// ---- Network module ----

TEST_F(ProcessReportTest, NetworkModuleValuesWithRangeCodes) {
  device.SetPeer(ptESP);
  Bin(Header(0x0900) + EspPhase(200000.25, 0));
  EXPECT_EQ(Bin(Header(0x0900) + EspPhase(100.5, 0)), "0900;" + Col("262244.50000000000"));
  EXPECT_TRUE(Logged("ReadESPPhase[1] Overflow old=200000.25 new=100.5 Mask=262144"));

  state.ResetPhaseData();
  Bin(Header(0x0900) + EspPhase(0.5, 14));
  EXPECT_EQ(Bin(Header(0x0900) + EspPhase(0.25, 14)), "0900;" + Col("4294967296.2500000"));
  state.ResetPhaseData();
  Bin(Header(0x0900) + EspPhase(0.5, 15));
  EXPECT_EQ(Bin(Header(0x0900) + EspPhase(0.25, 15)), "0900;" + Col("0.2500000"));

  EXPECT_EQ(Bin(Header(0x2900) + LittleEndian(std::bit_cast<uint64_t>(1e7))), "2900;" + Col("10000.00000000000"));
  EXPECT_EQ(Bin(Header(0x4900) + LittleEndian(std::bit_cast<uint64_t>(-2.5))), "4900;" + Col("-2.50000000000"));
}

// ---- Interval counter ----

TEST_F(ProcessReportTest, IntervalCounterSingleValue) {
  EXPECT_EQ(Bin(Header(0x7900) + Bytes({0, 0, 0, 1, 0, 0})), "7900; " + Col("100.00", 13) + ";");
  EXPECT_EQ(device.ReceivedSec(), 1u);
  EXPECT_EQ(Bin(Header(0x7900) + Bytes({0, 0, 0, 1, 0})), "");
}

TEST_F(ProcessReportTest, IntervalCounterGroupsAndSyncErrors) {
  const std::string first = Bytes({0x81, 0x80, 0x01, 0x00, 2, 0, 0});
  const std::string last = Bytes({0x82, 0x00, 0x01, 0x00, 3, 0, 0});
  const std::string badLast = Bytes({0x82, 0x80, 0x01, 0x00, 3, 0, 0});

  // Before the first good data a sync error gives nothing.
  EXPECT_EQ(Bin(Header(0x7900) + first + badLast), "");
  EXPECT_TRUE(Logged("ignore first 7900 SyncError"));
  EXPECT_EQ(Bin(Header(0x7900) + first + last + "x"), "");
  EXPECT_TRUE(Logged("ignore first 7900 SyncError (Length): "));

  EXPECT_EQ(Bin(Header(0x7900) + first + last), "7900;" + Col("300.05", 13) + ";" + Col("200.00", 13) + ";");
  EXPECT_TRUE(state.FIVCReceived);
  EXPECT_EQ(Bin(Header(0x7900) + Bytes({0x80, 0x80, 0, 0, 2, 0, 0}) + last),
            "7900;" + Col("300.05", 13) + ";" + Col("-9.99", 13) + ";");

  EXPECT_EQ(Bin(Header(0x7900) + first + badLast), "7F90: Sync Error with IVC data");
  EXPECT_EQ(Bin(Header(0x7900) + first + last + "x"), "7F90: Sync Error with IVC data");
}

// ---- Packed blocks, lost data, raw data, too many values ----

TEST_F(ProcessReportTest, PackedBlockOfThreeReportsCarriesTheLostFlagOnTheFirstOnly) {
  std::string block = Bytes({0xF2, 0x89, 0x00});
  for (int r = 0; r < 3; ++r)
    for (int k = 0; k < 4; ++k) block += ColdfireValue(1, MantissaOf(r * 10 + k + 1, 1));
  const auto row = [](int r) {
    std::string s;
    for (int k = 0; k < 4; ++k) s += ";" + Col(std::to_string(r * 10 + k + 1) + ".00000000000");
    return s;
  };
  EXPECT_EQ(Bin(block), "8900" + row(0));
  EXPECT_TRUE(Logged(".CheckHeader: Device reports lost data -> reset data/timestamp checks"));
  EXPECT_EQ(state.PackCount, 2);
  EXPECT_EQ(Packed(), "0900" + row(1));
  EXPECT_EQ(Packed(), "0900" + row(2));
  EXPECT_EQ(state.PackCount, 0);
  EXPECT_FALSE(state.FdasSindGepackteDaten);
  EXPECT_EQ(Packed(), "");
}

TEST_F(ProcessReportTest, RawDataNeedsTheOption) {
  const std::string value = Bytes({1, 2, 3, 4, 5, 6, 7});
  EXPECT_EQ(Bin(Header(0x6900) + value), "7FF0; unsupported mode");
  state.FOptRawData = true;
  EXPECT_EQ(Bin(Header(0x6900) + value + value), "6900; 0102,0304,0506; 0102,0304,0506");
  device.SetPeer(ptESP);
  EXPECT_EQ(Bin(Header(0x6900) + Bytes({1, 2, 3, 4, 5, 6, 7, 8})), "6900; 0605,0403,0201");
}

TEST_F(ProcessReportTest, TwentyFiveValuesAreCutToTwentyFour) {
  std::string report = Header(0x0900);
  for (int k = 0; k < 25; ++k) report += ColdfireValue(1, MantissaOf(k + 1, 1));
  Bin(report);
  EXPECT_EQ(std::count(line.begin(), line.end(), ';'), 24);
  EXPECT_EQ(line.size(), 4u + 24 * 27);
  EXPECT_TRUE(Logged(".CheckHeader Measured data too long, 25 channels reported, truncated to 24 channels"));

  // In a packed block every report keeps its own first 24 values.
  std::string block = Bytes({0xF1, 0x09, 0x00});
  for (int r = 0; r < 2; ++r)
    for (int k = 0; k < 25; ++k) block += ColdfireValue(1, MantissaOf(r * 100 + k + 1, 1));
  Bin(block);
  EXPECT_EQ(line.substr(5, 26), Col("1.00000000000"));
  Packed();
  EXPECT_EQ(line.substr(5, 26), Col("101.00000000000"));
  EXPECT_EQ(std::count(line.begin(), line.end(), ';'), 24);
}

TEST_F(ProcessReportTest, TooShortReportsAreRejectedWithoutReadingPastThem) {
  EXPECT_EQ(Bin(Bytes({0x70})), "");
  EXPECT_EQ(Bin(Bytes({0xF2, 0x09})), "");
  EXPECT_EQ(Bin(Header(0x7002) + Bytes({1})), "");
  EXPECT_TRUE(Logged("report 7002 too short: 1 bytes, expected 2"));
  EXPECT_EQ(Bin(Header(0x7015) + Bytes({1, 2})), "");
}

// ---- Report codes ----

struct TCodeCase {
  int header;
  std::string payload;
  std::string line;
};

TEST_F(ProcessReportTest, ReportCodeLines) {
  const std::vector<TCodeCase> cases = {
      {0x7000, "", "7000;"},
      {0x7001, "VERSION ZCT: 63 UCF 2020 / X / 1234 / User1 / more\r",
       "7001VERSION ZCT: 63 UCF 2020 / X / 1234 / User1 / 20.2.7 25-01-07"},
      {0x7002, Bytes({0x12, 0x34}), "7002; $1234"},
      {0x7003, "", "7003; Block done"},
      {0x7004, Bytes({0x12, 0x34, 0xAB, 0xCD}), "7004; $1234, $ABCD"},
      {0x7005, Bytes({1, 2, 3}), "7005; $010203"},
      {0x7015, Bytes({0, 0, 1, 0x2C}), "7015; 300"},
      {0x7019, Bytes({1, 2, 3, 4}), "7019: "},  // an option word only from the network module
      {0x7020, Bytes({0x09, 0x10}), "7020; $0910"},
      {0x7021, Bytes({1}), ""},
      {0x7022, "", "7022; Buffer cleared"},
      {0x7040, " hello \r\n", "7040; hello"},
      {0x7055, Bytes({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}),
       "7055; $00; $0102; $0304; $0506; $0708; $090A; $0B0C; $0D0E"},
      {0x7100, " 0001 ", "7100: 0001"},
      {0x7901, Bytes({0, 0, 3, 0xE8, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFC, 0x18}),
       "7901;" + Col("1.000", 14) + ";" + Col("0.000", 14) + ";" + Col("-1.000", 14) + ";"},
      {0x7901, Bytes({0, 0, 0, 0, 0, 0, 0, 0}), "7901;" + Col("0.000", 14) + ";" + Col("0.000", 14) + ";"},
      {0x79A0, Bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}), "79A0; $01; $0203; $4050607; $8090A0B"},
      {0x7ADC, Bytes({1, 0xFF}), "7ADC 01 FF"},
      {0x7ADD, Bytes({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}),
       "7ADD 00010203 0405 0607 0809 0A0B 0C0D 0E0F"},
      {0x7D1A, Bytes({0, 5}), "7D1A; $0005"},
      {0x7E1A, Bytes({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}), "7E1A; $00=$02: $0304; $0506; $0708; $090A"},
      {0x7E1B, Bytes({0, 1, 2, 3, 4, 5, 6, 7, 8, 9}), "7E1B; $00; $0102; $0304; $0506; $0809"},
      {0x7EFF, "text", "7EFF: text"},
      {0x7F23, "", "7F23; Buffer cleared after buffer overflow"},
      {0x7F51, "resync", "7F51: resync"},
      {0x7FF2, "Scrambler in use!", "7FF2: Scrambler in use!"},
      {0x7FF9, " Ref ", "7FF9: Ref"},
      {0x7FFA, "  Too many users", "7FFA: Too many users"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.header);
    EXPECT_EQ(Bin(Header(c.header) + c.payload), c.line);
  }
  EXPECT_TRUE(device.ReferenceClockError());
  EXPECT_TRUE(Logged(".ProcessBinData: Scrambler in use"));
  EXPECT_TRUE(Logged(".ProcessBinData Do NOT report ChannelSelection data to app"));

  device.SetUserID(2);
  EXPECT_EQ(Bin(Header(0x7FFA) + "x"), "7FFA: UserID 2 already in use");
}

TEST_F(ProcessReportTest, NetworkModuleReportCodes) {
  device.SetPeer(ptESP);
  EXPECT_EQ(Bin(Header(0x7001) + "  VERSION ZCT2 / 0000ABCD 1 / FW: x-1.10"),
            "7001VERSION ZCT2 / 0000ABCD 1 / FW: x-1.10 / SW: 20.2.7 25-01-07");
  EXPECT_EQ(Bin(Header(0x7019) + Bytes({1, 2, 3, 4})), "7019; $04030201");
  EXPECT_EQ(Bin(Header(0x7EFF) + ";00000001;00000002"), "7EFF;00000001;00000002");
  state.FFirstDataReceived = true;
  Bin(Header(0x7FF2) + "Scrambler in use!");
  EXPECT_FALSE(state.FFirstDataReceived);
}

// ---- Timestamps, repeated seconds, count checks through the line ----

TEST_F(ProcessReportTest, TenthSecondTimestampLines) {
  EXPECT_EQ(Bin(Header(0x7016) + Bytes({0, 0, 0, 120})), "7015; 12");
  EXPECT_EQ(device.ReceivedSec(), 120u);
  EXPECT_EQ(Bin(Header(0x7016) + Bytes({0, 0, 0, 121})), "7000;");
  state.Fsend7016 = true;
  EXPECT_EQ(Bin(Header(0x7016) + Bytes({0, 0, 0, 122})), "7016; 122");
}

TEST_F(ProcessReportTest, TenthSecondCountCheckAfterTheFirstGoodCheck) {
  const std::string meas = Header(0x0600) + ColdfireValue(1, MantissaOf(1, 1));  // 100 ms: one per tenth second
  const auto ts = [](int n) { return Header(0x7016) + Bytes({0, 0, n >> 8, n & 0xFF}); };
  Bin(ts(1));
  Bin(meas);
  EXPECT_EQ(Bin(ts(2)), "7000;");  // the first check passes its grace period
  EXPECT_FALSE(state.FFirstCheckDataPerSecondCounter);
  Bin(meas);
  EXPECT_EQ(Bin(ts(3)), "7000;");
  Bin(meas);
  Bin(meas);
  EXPECT_EQ(Bin(ts(4)), "7F22: Timestamp missing: expected 1, found 2");
  EXPECT_EQ(Bin(ts(5)), "7F22: Measurement missing: expected 1, found 0");
}

TEST_F(ProcessReportTest, RepeatedSecondSkipsTheMeasurementsDeliveredBefore) {
  const std::string meas = Header(0x0800) + ColdfireValue(1, MantissaOf(1, 1));
  const auto second = [](int code, int n) { return Header(code) + Bytes({0, 0, 0, n}); };
  Bin(second(0x7015, 5));
  Bin(meas);
  Bin(meas);
  Bin(second(0x7015, 6));
  EXPECT_EQ(Bin(second(0x7114, 5)), "");  // not the last second: nothing to skip
  EXPECT_EQ(state.ignoreDataPerSecondCounter, 0u);
  EXPECT_EQ(Bin(second(0x7114, 6)), "");
  EXPECT_EQ(state.ignoreDataPerSecondCounter, 2u);
  EXPECT_EQ(Bin(meas), "");
  EXPECT_EQ(Bin(meas), "");
  EXPECT_TRUE(Logged(".ProcessBinReport END ignore Data"));
  EXPECT_EQ(Bin(meas), "0800;" + Col("1.00000000000"));
}

// ---- Simulator reports ----

TEST_F(ProcessReportTest, DemoReports) {
  const auto dbl = [](double v) { return LittleEndian(std::bit_cast<uint64_t>(v)); };
  const auto demo = [&](const std::string& report) {
    ProcessDemoReport(state, report, line);
    return line;
  };
  EXPECT_EQ(demo(Header(0x2900) + dbl(10.5)), "2900;" + Col("10.500000000000000"));
  EXPECT_EQ(demo(Header(0x0900) + dbl(-0.25) + dbl(1e30)), "0900;" + Col("-0.25000000000") + ";" + std::string(26, '#'));
  EXPECT_EQ(demo(Header(0x7900) + dbl(100) + dbl(2.5)), "7900;" + Col("100.00", 13) + ";" + Col("2.50", 13) + ";");
  EXPECT_EQ(demo("7902; settings"), "7902; settings");
  EXPECT_EQ(demo(Header(0x7001) + " VERSION IVC: 1 "), "7001VERSION IVC: 1 / 20.2.7 25-01-07");
  EXPECT_EQ(demo(Header(0x7015) + Bytes({0, 0, 0, 7})), "7015; 7");
  EXPECT_EQ(demo(Header(0x7FF8) + "ok"), "7FF8");
  EXPECT_EQ(demo(Header(0x7FF7) + "check"), "7FF7: check");
}

// ---- Text lines ----

TEST_F(ProcessReportTest, TextLinesKeepTheTallies) {
  ProcessTxtReport(state, "0900;" + Col("1.0"));
  EXPECT_TRUE(state.FFirstDataReceived);
  EXPECT_EQ(state.FDataHeader, 0x0900);
  ProcessTxtReport(state, "7015; 3");
  EXPECT_TRUE(state.FFirstTimestampReceived);
  ProcessTxtReport(state, "0900;" + Col("2.0"));
  ProcessTxtReport(state, "7015; 4");
  EXPECT_EQ(state.dataPerSecondCounter_copy, 1u);
  EXPECT_EQ(state.FTimestampCounter, 2u);
  ProcessTxtReport(state, "8900;" + Col("3.0"));
  EXPECT_TRUE(Logged(".ProcessTxtReport: Device reports lost data -> reset data/timestamp checks"));
  ProcessTxtReport(state, "7FF9: bad");
  EXPECT_TRUE(device.ReferenceClockError());
  ProcessTxtReport(state, "zz");
  EXPECT_TRUE(Logged("no report header"));
}

// ---- Records ----

TEST_F(ProcessReportTest, TextLinesToRecordsAndBack) {
  TQV_ReportStruct record;
  ConvertAsciiZCTMeasurmentReport(state, "0900;" + Col("262154.25000000000") + ";" + Col("-0.5"), record);
  ASSERT_EQ(record.GetReportType(), rt_Phase);
  ASSERT_EQ(record.GetChannelCount(), 2);
  EXPECT_EQ(record.GetPhases()[0], (Phase{262154, 0.25}));
  EXPECT_EQ(record.GetPhases()[1], (Phase{0, -0.5}));

  ConvertAsciiZCTMeasurmentReport(state, "2900;" + Col("10.5"), record);
  EXPECT_EQ(record.GetDoubles()[0], 10500);
  state.Channels[0].Decimals = 12;
  ReportStructToLine(state, record, line);
  EXPECT_EQ(line, "2900;" + Col("10.500000000000"));

  ConvertAsciiMessageReport(state, "7015; 300", record);
  EXPECT_EQ(record.GetTimeStamp(), 300);
  ReportStructToLine(state, record, line);
  EXPECT_EQ(line, "7015; 300");

  ConvertAsciiIVCMeasurmentReport(state, "7900;" + Col("300.05", 13) + ";" + Col("200.00", 13) + ";", record);
  ASSERT_EQ(record.GetChannelCount(), 2);
  EXPECT_DOUBLE_EQ(record.GetDoubles()[0], 300.05);
  ReportStructToLine(state, record, line);
  EXPECT_EQ(line, "7900;" + Col("300.05", 13) + ";" + Col("200.00", 13) + ";");
}

TEST_F(ProcessReportTest, BinaryReportsToRecords) {
  TQV_ReportStruct record;
  ProcessBinReportStruct(state, Header(0x0900) + ColdfireValue(1, MantissaOf(200000.5, 1)), record);
  ProcessBinReportStruct(state, Header(0x0900) + ColdfireValue(1, MantissaOf(10.25, 1)), record);
  ASSERT_EQ(record.GetReportType(), rt_Phase);
  EXPECT_EQ(record.GetPhases()[0], (Phase{262154, 0.25}));

  ProcessBinReportStruct(state, Header(0x2900) + ColdfireValue(16, 5000000000ull << 19), record);
  EXPECT_EQ(record.GetDoubles()[0], 5e9);

  ProcessBinReportStruct(state, Header(0x7901) + Bytes({0, 0, 3, 0xE8}), record);
  EXPECT_EQ(record.GetHeader(), 0x7901);
  EXPECT_EQ(record.GetDoubles()[0], 1.0);

  ProcessBinReportStruct(state, Header(0x7FF9) + "bad", record);
  EXPECT_EQ(record.GetContent(), "bad");
  EXPECT_TRUE(device.ReferenceClockError());
}

TEST_F(ProcessReportTest, NetworkModuleRecords) {
  TQV_Doubles doubles{};
  doubles[0] = std::bit_cast<double>(std::bit_cast<uint64_t>(0.0) | 0);
  std::string phase = EspPhase(200000.25, 0);
  TQV_ReportStruct record;
  record.SetDoubles(0x0900, 8, phase.data());
  ProcessESPreport(state, record);
  ASSERT_EQ(record.GetReportType(), rt_Phase);
  EXPECT_EQ(record.GetPhases()[0], (Phase{200000, 0.25}));
  phase = EspPhase(100.5, 0);
  record.SetDoubles(0x0900, 8, phase.data());
  ProcessESPreport(state, record);
  EXPECT_EQ(record.GetPhases()[0], (Phase{262244, 0.5}));
}

// ---- Binary output ----

TEST_F(ProcessReportTest, BinaryOutputHandsOutPackedReportsOneByOne) {
  std::string block = Bytes({0xF1, 0x89, 0x00}) + ColdfireValue(1, 1) + ColdfireValue(1, 2);
  std::string out;
  ProcessBinReportBinOutput(state, block, out);
  EXPECT_EQ(out, Bytes({0x89, 0x00}) + ColdfireValue(1, 1));
  ProcessPackedReportBinOutput(state, out);
  EXPECT_EQ(out, Bytes({0x09, 0x00}) + ColdfireValue(1, 2));
  ProcessBinReportBinOutput(state, Header(0x7001) + "VERSION", out);
  EXPECT_EQ(out, Header(0x7001) + "VERSION; DLL: 20.2.7 25-01-07");
  ProcessBinReportBinOutput(state, Header(0x7015) + Bytes({0, 0, 0, 9}), out);
  EXPECT_EQ(device.ReceivedSec(), 9u);
  ProcessBinReportBinOutput(state, Header(0x7114) + Bytes({0, 0, 0, 9}), out);
  EXPECT_EQ(out, "");
}

}  // namespace

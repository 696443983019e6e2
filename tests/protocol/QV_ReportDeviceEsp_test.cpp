#include <cstring>

#include "ReportDeviceFixture.h"
#include "devices/QV_BaseDevice.h"
#include "devices/QV_TransmitBlock.h"

namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (int v : values) bytes += static_cast<char>(v);
  return bytes;
}

std::string Header(const std::string& report) { return report.substr(0, 2); }

class EspReaderTest : public ReportDeviceFixture {
 protected:
  void SetUp() override { Make(QV_CDC, ptESP); }
  // Takes a version report of firmware `fw` ("ZCT2-1.14 ..." is 114).
  void TakeVersion(std::string_view fw = "ZCT2-1.14 2023-01-15") {
    device->Feed(EspVersionBlock(0x1234ABCD, 2, fw));
    const std::string report = Next();
    ASSERT_EQ(Header(report), ReportCode(0x7001)) << report;
  }
  // All reports until nothing is left.
  std::vector<std::string> Drain() {
    std::vector<std::string> reports;
    for (std::string r = Next(); !r.empty(); r = Next()) reports.push_back(r);
    return reports;
  }
};

TEST_F(EspReaderTest, VersionReportSetsTheIdentity) {
  TakeVersion();
  EXPECT_EQ(decoder->FWMajor(), 1);
  EXPECT_EQ(decoder->FWMinor(), 14);
  EXPECT_EQ(decoder->FirmwareVersion(), 114);
  EXPECT_EQ(decoder->GetFWVersionNumberString(), "1.14");
  EXPECT_EQ(decoder->FirmwareDate(), "2023-01-15");
  EXPECT_EQ(decoder->FPGAVersion(), "230115.2A");
  EXPECT_EQ(decoder->VersionIP(), "192.168.0.10");
  EXPECT_EQ(decoder->VersionUser(), 2);
  EXPECT_EQ(device->SerialNumberValue(), 0x1234ABCDu);
  EXPECT_EQ(device->UserID(), 2);
  EXPECT_EQ(device->FlagVersion(), 1);
  EXPECT_EQ(infoList.Count(), 1);
  EXPECT_TRUE(HasLine(".ESPGetReport add DeviceInfo"));
  device->Feed(EspVersionBlock());
  EXPECT_EQ(Next(), "");
  EXPECT_TRUE(HasLine(".ESPGetReport Ignore multiple version string: " + EspVersionText()));
}

TEST_F(EspReaderTest, VersionReportText) {
  device->Feed(EspVersionBlock());
  EXPECT_EQ(Next(), ReportCode(0x7001) +
                        "  VERSION ZCT2 / # 1234ABCD User 2 / ZCT2-1.14 2023-01-15 / HW: 230115.2A / IP: 192.168.0.10");
}

TEST_F(EspReaderTest, InvalidVersionAsksAgainAndQueuedVersionCommandIsDropped) {
  decoder->SendCommand("\x01");
  device->Feed(EspMessage(0x7001, "ZCT2 / 1234ABCD 2 / FW: nonsense"));
  EXPECT_EQ(Next(), "");
  EXPECT_TRUE(HasLine(".ESPGetReport version received -> delete version cmd"));
  EXPECT_TRUE(HasLine(".ESPGetReport invalid version string -> send cmd"));
  ASSERT_EQ(device->Writes().size(), 1u);
  EXPECT_EQ(device->Writes()[0], "\x01");
  EXPECT_EQ(decoder->GetPendingCmdsCount(), 0);
}

TEST_F(EspReaderTest, MeasurementBeforeVersionIsDropped) {
  device->Feed(EspMeasurement(0x03, 9));
  EXPECT_EQ(Next(), "");
  EXPECT_TRUE(HasLine(".ESPGetReport no version string -> ignore measurement"));
}

TEST_F(EspReaderTest, MisalignedFirstMeasurementGivesFpgaErrorThenTheMeasurement) {
  TakeVersion();
  device->Feed(EspMeasurement(0x03, 5001));
  EXPECT_EQ(Next(), ReportCode(0x7FF4) + "FPGA time Error, expected=4990 found=5001");
  const std::string measurement = Next();
  EXPECT_EQ(Header(measurement), Bytes({0x03, 0x00}));
  EXPECT_EQ(measurement.size(), 2u + 16u);
}

TEST_F(EspReaderTest, FpgaTimeWrapsAroundTheTwentySecondCycle) {
  TakeVersion("ZCT2-1.10 2019-01-01");  // measurements stamped at the interval start
  device->Feed(EspMeasurement(0x03, 19990) + EspMeasurement(0x03, 0) + EspMeasurement(0x03, 10));
  for (const std::string& report : Drain()) EXPECT_NE(Header(report), ReportCode(0x7FF4)) << report.substr(2);
}

TEST_F(EspReaderTest, GapInFpgaTimeIsReported) {
  TakeVersion();
  device->Feed(EspMeasurement(0x03, 9) + EspMeasurement(0x03, 29));
  EXPECT_EQ(Header(Next()), Bytes({0x03, 0x00}));
  EXPECT_EQ(Next(), ReportCode(0x7FF4) + "FPGA time Error, expected=19 found=29");
  EXPECT_EQ(Header(Next()), Bytes({0x03, 0x00}));
}

TEST_F(EspReaderTest, OldFirmwareGetsTimestampsBeforeFullTenths) {
  TakeVersion("ZCT2-1.10 2019-01-01");
  device->Feed(EspTimestamp(50));  // 5.0 s
  EXPECT_EQ(Next(), ReportCode(0x7016) + Bytes({0, 0, 0, 50}));
  device->Feed(EspMeasurement(0x03, 5090) + EspMeasurement(0x03, 5100));
  const auto reports = Drain();
  ASSERT_EQ(reports.size(), 3u);
  EXPECT_EQ(Header(reports[0]), Bytes({0x03, 0x00}));
  EXPECT_EQ(reports[1], ReportCode(0x7016) + Bytes({0, 0, 0, 101}));
  EXPECT_EQ(Header(reports[2]), Bytes({0x03, 0x00}));
  EXPECT_EQ(decoder->DeviceMs(), 10100);
}

TEST_F(EspReaderTest, IntervalEndFirmwareBelow114GetsTimestampsAfterTheTenth) {
  TakeVersion("ZCT2-1.12 2020-01-01");
  device->Feed(EspTimestamp(50) + EspMeasurement(0x03, 5089) + EspMeasurement(0x03, 5099));
  const auto reports = Drain();
  ASSERT_EQ(reports.size(), 4u);
  EXPECT_EQ(reports[3], ReportCode(0x7016) + Bytes({0, 0, 0, 51}));
}

TEST_F(EspReaderTest, TimestampNotOnAFullTenthIsDropped) {
  device->Feed(EspTimestamp(50, 30) + EspTimestamp(51, 0));
  EXPECT_EQ(Next(), "");
  EXPECT_TRUE(HasLine(".CheckESP_Timestamp ersten timestamp ignorieren: W=30 X=50"));
  EXPECT_EQ(Next(), ReportCode(0x7016) + Bytes({0, 0, 0, 51}));
  EXPECT_EQ(decoder->DeviceMs(), 5100);
}

struct TBlockCase {
  const char* name;
  std::string block;
  std::string report;
};

class EspBlockTest : public EspReaderTest, public ::testing::WithParamInterface<TBlockCase> {};

TEST_P(EspBlockTest, ConvertsToItsReport) {
  device->Feed(GetParam().block);
  EXPECT_EQ(Next(), GetParam().report) << GetParam().name;
}

const std::string DumpValue = std::string("\x01\x00\x00\x00\x02\x00\x00\x00", 8);

INSTANTIATE_TEST_SUITE_P(
    Blocks, EspBlockTest,
    ::testing::Values(
        TBlockCase{"settings", EspStatus(0x05, 0), ReportCode(0x7020) + Bytes({0x05, 0x00})},
        TBlockCase{"cleared", EspStatus(255), ReportCode(0x7022)},
        TBlockCase{"users", EspStatus(254), ReportCode(0x7FFA) + "  Too many users"},
        TBlockCase{"status253", EspStatus(253), ReportCode(0x7EFE)},
        TBlockCase{"timestamp", EspTimestamp(0x01020304), ReportCode(0x7016) + Bytes({1, 2, 3, 4})},
        TBlockCase{"message", EspMessage(0x7FF2, "Scrambler in use!"), ReportCode(0x7FF2) + "Scrambler in use!"},
        TBlockCase{"inputs", TransmitBlock({'t', 0, 0, 0, DumpValue}), ReportCode(0x7100) + " 00000001"},
        TBlockCase{"dump", TransmitBlock({'}', 0, 0, 0, DumpValue}), ReportCode(0x7EFF) + ";00000001;00000002"},
        TBlockCase{"ivc", TransmitBlock({'w', 0, 0, 0, DumpValue}), ReportCode(0x7900) + DumpValue},
        TBlockCase{"calibration", TransmitBlock({'x', 'b', 0, 0, DumpValue}), ReportCode(0x7901) + DumpValue},
        TBlockCase{"hrq", TransmitBlock({'x', 0x0200 | 'b', 0, 0, DumpValue}), ReportCode(0x7902) + DumpValue},
        TBlockCase{"option", TransmitBlock({'x', 0x0500 | 'i', 0, 0, DumpValue}), ReportCode(0x7019) + DumpValue},
        TBlockCase{"nvsword", TransmitBlock({'q', 0, 0, 0, std::string("\x04\x01\x02\x03\x04", 5)}),
                   ReportCode(0x7019) + Bytes({1, 2, 3, 4})},
        TBlockCase{"other", TransmitBlock({'~', 0x0102, 0, 0, {}}),
                   ReportCode(0x7F20) + "7E00020100000000000000" + "5C"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(EspReaderTest, FlagVersionPutsScramblerAndFilterIntoTheHeader) {
  TakeVersion();
  device->Feed(EspStatus(0x25, 0x0D));  // scrambler 1, X bits 2-3 = 3
  EXPECT_EQ(Next(), ReportCode(0x7020) + Bytes({0x25, 0xD0}));
}

TEST_F(EspReaderTest, DamagedBlocksAreSkippedUpToTheNextMagic) {
  TakeVersion();
  std::string bad = EspStatus(255);
  bad[10] ^= 0x40;  // checksum no longer holds
  device->Feed("garbageZC" + EspStatus(5) + bad + EspStatus(255));
  EXPECT_EQ(Next(), std::string("GetReport: Format error, no transmit block: 676172626167655A435A435432730005"));
  EXPECT_EQ(result, QV_Err_BadFormat);
  EXPECT_EQ(Next(), ReportCode(0x7020) + Bytes({0x05, 0x00}));
  EXPECT_EQ(Next(), "GetReport: CheckSum error");
  EXPECT_EQ(Next(), ReportCode(0x7022));
}

TEST_F(EspReaderTest, TooManyValuesIsNoBlock) {
  std::string block = EspStatus(255);
  block[5] = 25;
  device->Feed(block + EspStatus(255));
  Next();
  EXPECT_EQ(result, QV_Err_BadFormat);
  EXPECT_EQ(Next(), ReportCode(0x7022));
}

TEST_F(EspReaderTest, HeartbeatReportsSilenceOnceUntilDataArrive) {
  device->Feed(EspStatusDump());
  EXPECT_EQ(Header(Next()), ReportCode(0x7EFF));
  Advance(5001);
  device->Feed(EspStatusDump());
  EXPECT_EQ(Next(), ReportCode(0x7FF7) + "Device does not send measurement data: Please check reference!");
  EXPECT_EQ(Header(Next()), ReportCode(0x7EFF));
  Advance(6000);
  device->Feed(EspStatusDump());
  Advance(6000);
  device->Feed(EspStatusDump());
  for (const std::string& report : Drain()) EXPECT_EQ(Header(report), ReportCode(0x7EFF));
  EXPECT_TRUE(HasLine(".ESPGetReport.Heartbeat: no measurement/timestamp received -> 7FF7"));
}

TEST_F(EspReaderTest, HeartbeatAfterPowerUpWithoutReference) {
  device->Feed(EspTimestamp(0) + EspStatusDump());
  Drain();
  Advance(5001);
  device->Feed(EspStatusDump());
  EXPECT_EQ(Next(), ReportCode(0x7FF7) +
                        "Device does not send measurement data: Please check reference clock and re-power!");
}

TEST_F(EspReaderTest, ReferenceClockErrorSilencesTheHeartbeat) {
  device->Feed(EspMessage(0x7FF9, "no ref") + EspStatusDump());
  Drain();
  EXPECT_TRUE(decoder->RefClockError());
  Advance(6000);
  device->Feed(EspStatusDump());
  EXPECT_EQ(Header(Next()), ReportCode(0x7EFF));
}

TEST_F(EspReaderTest, OverflowResetsFpgaTimeAndSaysSo) {
  TakeVersion();
  device->Feed(EspMeasurement(0x03, 9));
  Next();
  device->RaiseError(QV_Err_ReceiveBufferOverflow, "overflow");
  EXPECT_EQ(Next(), "Buffer cleared after buffer overflow");
  EXPECT_EQ(result, QV_Err_ReceiveBufferOverflow);
  EXPECT_EQ(decoder->LastFPGA(), -1);
}

TEST_F(EspReaderTest, RecoveredErrorDuringConversionHoldsTheReportBack) {
  device->Feed(EspStatus(255));
  device->RaiseError(QV_No_Err_Recovered, "recovered");
  EXPECT_EQ(Next(), "recovered");
  EXPECT_EQ(result, QV_No_Err_Recovered);
  EXPECT_EQ(Next(), ReportCode(0x7022));
}

// ---- Structured records ----

TEST_F(EspReaderTest, StructuredRecordsCarryRawValuesTimestampsAndErrors) {
  device->Feed(EspVersionBlock());
  TQV_ReportStruct record = NextStruct();
  EXPECT_EQ(record.GetHeader(), 0x7001);
  EXPECT_TRUE(record.GetContent().starts_with("VERSION ZCT2 / # 1234ABCD"));
  device->Feed(EspTimestamp(50) + EspMeasurement(0x03, 5001));
  record = NextStruct();
  EXPECT_EQ(record.GetTimeStamp(), 50);
  EXPECT_EQ(record.GetDeviceMs(), 5000);
  record = NextStruct();
  EXPECT_EQ(record.GetHeader(), 0x7FF4);
  EXPECT_EQ(record.GetContent(), "FPGA time Error, expected=4990 found=5001");
  record = NextStruct();
  ASSERT_EQ(record.GetReportType(), rt_Double);
  EXPECT_EQ(record.GetHeader(), 0x0300);
  EXPECT_EQ(record.GetChannelCount(), 2);
  EXPECT_EQ(record.GetContent()[8], '\x02');  // raw bytes until the value decoder is installed
}

TEST_F(EspReaderTest, StructuredMeasurementsGoThroughTheValueDecoder) {
  decoder->SetMeasurementValueDecoder([](uint16_t header, std::string_view raw, TQV_ReportStruct& record) {
    TQV_Doubles values{};
    for (size_t k = 0; k < raw.size() / 8; ++k) values[k] = static_cast<uint8_t>(raw[8 * k]) * 1.5;
    record.SetDoubles(header, static_cast<int>(raw.size() / 8), values);
  });
  TakeVersion();
  device->Feed(EspMeasurement(0x03, 9, 3));
  const TQV_ReportStruct record = NextStruct();
  EXPECT_EQ(record.GetDoubles()[2], 4.5);
}

TEST_F(EspReaderTest, StructuredCalibrationIsScaled) {
  device->SetCalibFactorFloatToInt(1000);
  std::string values = Bytes({0, 0, 0x30, 0x39, 0xFF, 0xFF, 0xFF, 0x9C});  // 12345, -100
  device->Feed(TransmitBlock({'x', 'b', 0, 0, values}));
  const TQV_ReportStruct record = NextStruct();
  EXPECT_EQ(record.GetHeader(), 0x7901);
  EXPECT_DOUBLE_EQ(record.GetDoubles()[0], 12.345);
  EXPECT_DOUBLE_EQ(record.GetDoubles()[1], -0.1);
}

TEST_F(EspReaderTest, UnknownPeerStructuredReaderWaitsForTheNetworkModule) {
  Make(QV_CDC, ptUnknown);
  device->Feed(EspStatus(255));
  EXPECT_EQ(NextStruct().GetReportType(), rt_None);
  device->SetPeer(ptESP);
  EXPECT_EQ(NextStruct().GetHeader(), 0x7022);
  EXPECT_TRUE(HasLine(".UnknownGetReportStruct umhängen auf ESP"));
}

}  // namespace

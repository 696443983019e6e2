#include <cstring>
#include <deque>

#include "ReportDeviceFixture.h"
#include "devices/QV_BaseDevice.h"

namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (int v : values) bytes += static_cast<char>(v);
  return bytes;
}

// ---- Format 6: demo frames ----

class DemoReaderTest : public ReportDeviceFixture {
 protected:
  void SetUp() override {
    Make(QV_Simul, ptUnknown);
    device->SetDemoData(true);
  }
};

TEST_F(DemoReaderTest, GarbageBeforeTheIdentifierIsLostOnce) {
  device->Feed("\x11\x22\x33" + DemoMeasurement(0x0300, {1.5, 2.5}) + DemoMeasurement(0x0300, {3.5}));
  EXPECT_EQ(Next(), "missing demo ID");
  EXPECT_EQ(result, QV_Err_BadFormat);
  EXPECT_TRUE(HasError(".DemoGetReport falsche Kennung: 112233FB"));
  const std::string report = Next();
  ASSERT_EQ(report.size(), 2u + 16u);
  EXPECT_EQ(report.substr(0, 2), Bytes({0x03, 0x00}));
  double value;
  std::memcpy(&value, report.data() + 10, 8);
  EXPECT_EQ(value, 2.5);
  EXPECT_EQ(Next().size(), 2u + 8u);
  EXPECT_EQ(log.Count(decoder->DbgTag() + ".DemoGetReport missingKennung überlesen (3): 112233"), 1u);
}

TEST_F(DemoReaderTest, RunOfIdentifierBytesResynchronisesOnTheLastFour) {
  device->Feed("\x01\xFB\xFB" + DemoMessage(0x7022, ""));
  Next();
  EXPECT_EQ(Next(), ReportCode(0x7022));
}

TEST_F(DemoReaderTest, TooManyChannelsIsSteppedOver) {
  std::string bad = DemoMeasurement(0x0300, {1.0});
  bad[6] = 25;
  device->Feed(bad + DemoMessage(0x7022, ""));
  EXPECT_EQ(Next(), "missing demo ID");
  std::string report;
  for (int i = 0; i < 4 && report.empty(); ++i) report = Next();
  EXPECT_EQ(report, ReportCode(0x7022));
}

TEST_F(DemoReaderTest, VersionSetsFeaturesAndTimestampsSetTheTime) {
  device->Feed(DemoMessage(0x7001, "VERSION IVC: 1 Demo") + DemoMessage(0x7016, Bytes({0, 0, 0, 20})) +
               DemoMeasurement(0x0300, {1.0}) + DemoMeasurement(0x0300, {1.0}));
  Next();
  EXPECT_EQ(decoder->HardFeature(), 0x4003);
  EXPECT_EQ(device->HardFeature(), 0x4003);
  Next();
  Next();
  Next();
  EXPECT_EQ(decoder->DeviceMs(), 2010);
}

TEST_F(DemoReaderTest, HrqSliceBecomesItsSettingsText) {
  device->Feed(DemoMessage(0x7902, std::string(1, '\xFF') + std::string(16, '\xFF')));
  EXPECT_TRUE(Next().starts_with("7902; "));
}

TEST_F(DemoReaderTest, StructuredRecords) {
  device->Feed(DemoMessage(0x7016, Bytes({0, 0, 0, 20})) + DemoMeasurement(0x0300, {1.25, -2.0}) +
               DemoMessage(0x7040, "hello") + "\x01\x02\x03\x04\x05\x06\x07");
  TQV_ReportStruct record = NextStruct();
  EXPECT_EQ(record.GetTimeStamp(), 20);
  record = NextStruct();
  EXPECT_EQ(record.GetReportType(), rt_Double);
  EXPECT_EQ(record.GetDoubles()[1], -2.0);
  EXPECT_EQ(record.GetDeviceMs(), 2000);
  record = NextStruct();
  EXPECT_EQ(record.GetContent(), "hello");
  record = NextStruct();
  EXPECT_EQ(record.GetReportType(), rt_Error);
  EXPECT_EQ(record.GetErrorText(), "missing demo ID");
}

TEST_F(DemoReaderTest, CommandsGoToTheSimulatorOnly) {
  decoder->SendCommand("\x41");
  device->Feed(DemoMessage(0x7022, ""));
  Next();
  EXPECT_EQ(decoder->RxMode(), rxCommand);
  Next();
  ASSERT_EQ(device->Writes().size(), 1u);
  Make(QV_CDC, ptColdfire);
  device->SetDemoData(true);
  decoder->SendCommand("\x41");
  device->Feed(DemoMessage(0x7022, ""));
  Next();
  EXPECT_EQ(Next(), "Commands not supported");
  EXPECT_EQ(result, QV_DLL_internalError);
  EXPECT_TRUE(device->Writes().empty());
}

TEST_F(DemoReaderTest, LeavingDemoDataSwitchesToTheUsbReader) {
  device->SetDemoData(false);
  device->Feed(UsbFrame(Bytes({0x70, 0x22})));
  EXPECT_EQ(Next(), Bytes({0x70, 0x22}));
  EXPECT_TRUE(HasLine(".DemoGetReport umschalten auf CDC-Daten"));
}

// ---- Format 4: TCP client; format 5: archive ----

class TcpReaderTest : public ReportDeviceFixture {
 protected:
  void SetUp() override { Make(QV_TCP_Device, ptUnknown); }
};

TEST_F(TcpReaderTest, FramesGiveTheirLines) {
  device->Feed(TcpFrame("7016; 30") + TcpFrame("0300;   1.0;   2.0"));
  EXPECT_EQ(Next(), "7016; 30");
  EXPECT_EQ(decoder->DeviceMs(), 3000);
  EXPECT_EQ(Next(), "0300;   1.0;   2.0");
}

TEST_F(TcpReaderTest, PartialFrameWaits) {
  const std::string frame = TcpFrame("7022; Buffer cleared");
  device->Feed(frame.substr(0, 2));
  EXPECT_EQ(Next(), "");
  device->Feed(frame.substr(2, 6));
  EXPECT_EQ(Next(), "");
  device->Feed(frame.substr(8));
  EXPECT_EQ(Next(), "7022; Buffer cleared");
}

struct TTcpDamage {
  const char* name;
  std::string bytes;
  std::string message;
};

class TcpDamageTest : public TcpReaderTest, public ::testing::WithParamInterface<TTcpDamage> {};

TEST_P(TcpDamageTest, ReportsAndResynchronises) {
  device->Feed(GetParam().bytes + TcpFrame("7022;"));
  EXPECT_EQ(Next(), GetParam().message);
  EXPECT_EQ(result, QV_Err_BadFormat);
  EXPECT_EQ(Next(), "7022;");
}

INSTANTIATE_TEST_SUITE_P(
    Frames, TcpDamageTest,
    ::testing::Values(TTcpDamage{"nostart", "xy", "GetReport: Format error, no TCP string: xy\x01" "5\x02" "702"},
                      TTcpDamage{"nolength", "\x01" "1234567", "GetReport: Format error, no TCP string: \x01" "1234567"},
                      TTcpDamage{"letters", "\x01" "1a\x02", "GetReport: Format error, no TCP string: \x01" "1a\x02\x01" "5\x02" "7"},
                      TTcpDamage{"huge", "\x01" "999999\x02", "GetReport: Format error, no TCP string: \x01" "999999\x02"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TcpReaderTest, ArchiveFrames) {
  Make(QV_TCP_Archive, ptUnknown);
  device->Feed(ArchiveFrame("0300;1;2") + ArchiveFrame("") + std::string("\x05" "ab"));
  EXPECT_EQ(Next(), "0300;1;2");
  EXPECT_EQ(Next(), "");
  EXPECT_EQ(result, QV_No_Err);
  EXPECT_EQ(Next(), "GetReport: Format error, not enough bytes. Expected: 5");
  EXPECT_EQ(result, QV_Err_BadFormat);
  device->Feed("cde");
  EXPECT_EQ(Next(), "abcde");
}

// ---- Format 7 and playback of binary recordings ----

// A text file device: DeviceRead gives one line at a time.
class TLineDevice : public TDecoderTestDevice {
 public:
  using TDecoderTestDevice::TDecoderTestDevice;
  std::string DeviceRead(uint8_t) override {
    if (Lines.empty()) return {};
    std::string line = Lines.front();
    Lines.pop_front();
    return line;
  }
  std::deque<std::string> Lines;
};

TEST(FileReaderTest, TextLinesKeepTheDeviceTimeAndTheVersion) {
  TManualClock clock;
  TLineDevice device(clock);
  device.SetDeviceType(QV_TxtFile);
  TQV_ReportDevice decoder(&device, nullptr, clock);
  device.Lines = {"7001VERSION ZCT: 63 UCF 230115 User1 / 230115.2A / 1234ABCD / 1.2.3.4 / x\r\n", "7016; 40\r\n",
                  "0300;  1;  2\r\n", "0300;  1;  2\r\n"};
  std::string report;
  EXPECT_EQ(decoder.DeviceGetReport(report), QV_No_Err);
  EXPECT_EQ(decoder.FirmwareVersion(), 63);
  EXPECT_EQ(decoder.HardFeature(), 0x0003);
  decoder.DeviceGetReport(report);
  EXPECT_EQ(report, "7016; 40");
  decoder.DeviceGetReport(report);
  decoder.DeviceGetReport(report);
  EXPECT_EQ(decoder.DeviceMs(), 4010);
  decoder.SendCommand("\x41");
  decoder.DeviceGetReport(report);
  decoder.DeviceGetReport(report);
  EXPECT_TRUE(device.Writes().empty());
  EXPECT_EQ(decoder.GetPendingCmdsCount(), 0);
}

TEST_F(TcpReaderTest, BinaryPlaybackRecognisesNetworkModuleData) {
  Make(QV_BinFile, ptUnknown);
  device->Feed(EspStatus(255) + EspMeasurement(0x03, 9));
  EXPECT_EQ(Next(), ReportCode(0x7022));
  EXPECT_EQ(device->PeerType(), ptESP);
  EXPECT_EQ(Next().substr(0, 2), Bytes({0x03, 0x00}));  // playback needs no version report
  EXPECT_TRUE(HasLine(".FileGetBinReport: Umschalten auf ESP-Binärdaten"));
}

TEST_F(TcpReaderTest, BinaryPlaybackFallsBackToUsbFrames) {
  Make(QV_BinFile, ptUnknown);
  device->Feed(UsbFrame(Bytes({0x70, 0x22})) + UsbFrame(Bytes({0x70, 0x22})));
  Next();
  EXPECT_EQ(device->ResetCount, 1);  // rewound after the network-module attempts
  EXPECT_EQ(device->PeerType(), ptColdfire);
}

}  // namespace

#include "protocol/QV_ReportDevice.h"

#include "ReportDeviceFixture.h"
#include "core/LogUnit.h"
#include "devices/QV_BaseDevice.h"

namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (int v : values) bytes += static_cast<char>(v);
  return bytes;
}

// ---- Format 1: USB frames ----

class UsbReaderTest : public ReportDeviceFixture {
 protected:
  void SetUp() override { Make(QV_HID, ptColdfire); }
  // HID starts by ignoring one format error (after connect); these tests want every error.
  void ArmAllErrors() {
    device->Feed(UsbFrame(Bytes({0x70, 0x00})));
    Next();
  }
};

TEST_F(UsbReaderTest, GoodFrameGivesReportAndConsumesDelimiter) {
  device->Feed(Bytes({0x00, 0x05, 0x70, 0x01, 0x56, 0x34, 0xBF}));
  EXPECT_EQ(Next(), Bytes({0x70, 0x01, 0x56}));
  EXPECT_EQ(result, QV_No_Err);
  EXPECT_EQ(device->BufferAmount(), 0u);
}

TEST_F(UsbReaderTest, EscapedBytesAreRestoredAndCounted) {
  const std::string report = Bytes({0x70, 0x40, 0xBF, 0x11});
  const std::string frame = UsbFrame(report);
  EXPECT_EQ(static_cast<uint8_t>(frame[0]), 1);  // one escape
  EXPECT_NE(frame.find(Bytes({0xBC, 0xC3})), std::string::npos);
  device->Feed(frame);
  EXPECT_EQ(Next(), report);
}

TEST_F(UsbReaderTest, DelimiterArrivingLaterIsStillConsumed) {
  device->Feed(UsbFrameBody(Bytes({0x70, 0x22})));
  EXPECT_EQ(Next(), Bytes({0x70, 0x22}));
  device->Feed("\xBD" + UsbFrame(Bytes({0x70, 0x03})));
  EXPECT_EQ(Next(), Bytes({0x70, 0x03}));
}

TEST_F(UsbReaderTest, LongFrameWithLengthCodeBelowFour) {
  const std::string report = Bytes({0x79, 0x00}) + std::string(255, '\x11');  // n = 259 -> L = 3
  const std::string frame = UsbFrame(report);
  EXPECT_EQ(static_cast<uint8_t>(frame[1]), 3);
  device->Feed(frame);
  EXPECT_EQ(Next(), report);
}

struct TDamageCase {
  const char* name;
  std::string bytes;
  std::string message;
  std::string logLine;
};

class UsbDamageTest : public UsbReaderTest, public ::testing::WithParamInterface<TDamageCase> {};

TEST_P(UsbDamageTest, ReportsErrorAndResynchronises) {
  ArmAllErrors();
  const TDamageCase& c = GetParam();
  device->Feed(c.bytes + UsbFrame(Bytes({0x70, 0x16, 0, 0, 0, 9})));
  EXPECT_EQ(Next(), c.message);
  EXPECT_EQ(result, QV_Err_BadFormat);
  EXPECT_TRUE(log.Contains("ERROR: " + decoder->DbgTag() + c.logLine)) << c.name;
  std::string report;
  for (int i = 0; i < 3 && report.empty(); ++i) report = Next();
  EXPECT_EQ(report, Bytes({0x70, 0x16, 0, 0, 0, 9})) << c.name;
  EXPECT_EQ(decoder->DeviceMs(), 900);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, UsbDamageTest,
    ::testing::Values(
        TDamageCase{"checksum", Bytes({0x00, 0x05, 0x70, 0x01, 0x56, 0x35, 0xBF}), "GetReport: CheckSum error",
                    ".USBGetReport.CHK error: Len=5 ChkFound=01 ChkClaimed=35"},
        TDamageCase{"end inside", Bytes({0x00, 0x08, 0x70, 0x01, 0xBD}),
                    "GetReport: unexpected end character received",
                    ".USBGetReport.USB unerwartetes $BF, $BD empfangen ! ############### 00087001"},
        TDamageCase{"illegal BE", Bytes({0x00, 0x06, 0x70, 0xBE, 0x01, 0x02, 0x03, 0xBF}),
                    "GetReport: received illegal $BE", ".USBGetReport.unerlaubtes $BE empfangen ! ####"},
        TDamageCase{"too many escapes", Bytes({0x09, 0x05, 0x70, 0x01, 0x56, 0x34, 0xBF}), "GetReport: CheckSum error",
                    ".USBGetReport.escLenStr(0905) invalid: escapes=9 Len=5"}),
    [](const auto& info) {
      std::string name = info.param.name;
      for (char& ch : name)
        if (ch == ' ') ch = '_';
      return name;
    });

TEST_F(UsbReaderTest, FirstFormatErrorAfterConnectIsIgnoredOnce) {
  device->Feed(Bytes({0x00, 0x05, 0x70, 0x01, 0x56, 0x35, 0xBF}));
  EXPECT_EQ(Next(), "");
  EXPECT_EQ(result, QV_No_Err);
  device->Feed(Bytes({0x00, 0x05, 0x70, 0x01, 0x56, 0x35, 0xBF}));
  EXPECT_EQ(Next(), "GetReport: CheckSum error");
  EXPECT_EQ(result, QV_Err_BadFormat);
}

TEST_F(UsbReaderTest, GarbageWithoutDelimiterWaitsAndNeverReadsPastTheBuffer) {
  ArmAllErrors();
  device->Feed(Bytes({0x00, 0x05, 0x70, 0x01, 0x56, 0x35}) + std::string(600, '\x11'));
  EXPECT_EQ(Next(), "GetReport: CheckSum error");
  EXPECT_EQ(Next(), "");
  EXPECT_EQ(result, QV_No_Err);
  device->Feed("\xBF" + UsbFrame(Bytes({0x70, 0x22})));
  EXPECT_EQ(Next(), Bytes({0x70, 0x22}));
}

TEST_F(UsbReaderTest, DeviceErrorBecomesTheResult) {
  device->SetGone(true);
  EXPECT_EQ(Next(), "TestDevice gone");
  EXPECT_EQ(result, QV_DeviceNotConnected);
  EXPECT_EQ(device->ErrorCode(), QV_No_Err);
}

TEST_F(UsbReaderTest, BufferOverflowArmsTheIgnoredFormatError) {
  ArmAllErrors();
  device->RaiseError(QV_Err_ReceiveBufferOverflow, "overflow");
  EXPECT_EQ(Next(), "overflow");
  EXPECT_EQ(result, QV_Err_ReceiveBufferOverflow);
  device->Feed(Bytes({0x00, 0x05, 0x70, 0x01, 0x56, 0x35, 0xBF}));
  EXPECT_EQ(Next(), "");
  EXPECT_EQ(result, QV_No_Err);
}

TEST_F(UsbReaderTest, ColdfireVersionIsTakenOnceUntilAVersionCommand) {
  const std::string text = "VERSION ZCT: 63 USCF 230115 User1 / 230115.2A / 1234ABCD / 192.168.0.5 / x";
  device->Feed(UsbFrame(ReportCode(0x7001) + text) + UsbFrame(ReportCode(0x7001) + text));
  EXPECT_EQ(Next(), ReportCode(0x7001) + text);
  EXPECT_EQ(decoder->FirmwareVersion(), 63);
  EXPECT_EQ(decoder->FirmwareDate(), "230115");
  EXPECT_EQ(decoder->FPGAVersion(), "230115.2A");
  EXPECT_EQ(decoder->VersionSerialNumber(), 0x1234ABCDu);
  EXPECT_EQ(decoder->VersionUser(), 1);
  EXPECT_EQ(decoder->HardFeature(), 0x0001 | 0x0002 | 0x0004);
  EXPECT_EQ(device->FirmwareVersionNumber(), 63);
  EXPECT_EQ(device->SerialNumberValue(), 0x1234ABCDu);
  EXPECT_EQ(Next(), "");
  EXPECT_TRUE(HasLine(".USBGetReport Ignore multiple version string: " + text));
  EXPECT_EQ(decoder->SendCommand(std::string(1, '\x01')), QV_No_Err);
  EXPECT_FALSE(decoder->VersionReceived());
}

TEST_F(UsbReaderTest, Report7901EndsTheCommandDelay) {
  device->SetDelayNextCmdMs(20);
  device->Feed(UsbFrame(Bytes({0x79, 0x01, 0, 0, 0, 1})));
  Next();
  EXPECT_EQ(device->GetDelayNextCmdMs(), 0);
  EXPECT_TRUE(HasLine(".USBGetReport 7901 -> reset cmd delay"));
}

TEST_F(UsbReaderTest, DeviceTimeFollowsTimestampsAndMeasurements) {
  device->Feed(UsbFrame(Bytes({0x70, 0x16, 0, 0, 0x01, 0x00})));  // 256 tenths
  for (int i = 0; i < 3; ++i) device->Feed(UsbFrame(Bytes({0x03, 0x00, 1, 2, 3})));  // 10 ms
  device->Feed(UsbFrame(Bytes({0x0E, 0x00, 1, 2, 3})));                               // index 14: no step
  Next();
  EXPECT_EQ(decoder->DeviceMs(), 25600);
  Next();
  EXPECT_EQ(decoder->DeviceMs(), 25600);
  Next();
  Next();
  EXPECT_EQ(decoder->DeviceMs(), 25620);
  Next();
  EXPECT_EQ(decoder->DeviceMs(), 25620);
  device->Feed(UsbFrame(Bytes({0x70, 0x15, 0, 0, 0, 7})));
  Next();
  EXPECT_EQ(decoder->DeviceMs(), 7000);
  EXPECT_EQ(decoder->Device100ms(), 70u);
}

TEST_F(UsbReaderTest, CanReaderTakesTheSerialNumber) {
  Make(QV_CAN_Menlo, ptColdfire);
  device->Feed(UsbFrame(ReportCode(0x7001) + "VERSION ZCT: 63 CF 230115 / 230115.2A / 00C0FFEE / 1.2.3.4 / x"));
  Next();
  EXPECT_EQ(device->SerialNumberValue(), 0x00C0FFEEu);
}

TEST_F(UsbReaderTest, SwitchesToTheNetworkModuleReader) {
  device->SetPeer(ptESP);
  device->Feed(EspStatus(255));
  EXPECT_EQ(Next(), ReportCode(0x7022));
  EXPECT_TRUE(HasLine(".USBGetReport umschalten auf ESP"));
}

// ---- Format 2: the serial byte protocol ----

class SerialReaderTest : public ReportDeviceFixture {
 protected:
  void SetUp() override { Make(QV_Serial, ptColdfire); }
};

TEST_F(SerialReaderTest, GoodFrameIsAcknowledgedWithItsEndByte) {
  device->Feed(SerialFrame(Bytes({0x70, 0x16, 0, 0, 0, 5}), '\xBF'));
  EXPECT_EQ(Next(), Bytes({0x70, 0x16, 0, 0, 0, 5}));
  ASSERT_EQ(device->Writes().size(), 1u);
  EXPECT_EQ(device->Writes()[0], "\xBF");
  EXPECT_EQ(device->ReportCounter(), 1u);
}

TEST_F(SerialReaderTest, AcknowledgementIsLoggedWhileTheLoggerIsOn) {
  device->Feed(SerialFrame(Bytes({0x70, 0x22}), '\xBD') + SerialFrame(Bytes({0x70, 0x22}), '\xBF'));
  Next();
  Next();
  EXPECT_TRUE(log.Contains("{LaBD}"));
  EXPECT_TRUE(log.Contains("{LaBF}"));
}

// A failed acknowledgement: with the device's error it is reported; without one the device has
// reported the cause already (a line still down), and the report read before it is kept.
struct FailedAckCase {
  const char* Name;
  bool Quiet;
  TQV_Result Result;
  std::string Report;
};

class SerialFailedAckTest : public SerialReaderTest, public ::testing::WithParamInterface<FailedAckCase> {};

TEST_P(SerialFailedAckTest, ResultFollowsTheDeviceError) {
  device->FailWritesQuietly = GetParam().Quiet;
  device->SetFailWrites(!GetParam().Quiet);
  device->Feed(SerialFrame(Bytes({0x70, 0x16, 0, 0, 0, 5}), '\xBF'));
  EXPECT_EQ(Next(), GetParam().Report);
  EXPECT_EQ(result, GetParam().Result);
  Advance(1001);  // the wake-up fails the same way
  EXPECT_EQ(Next(), GetParam().Quiet ? "" : GetParam().Report);
  EXPECT_EQ(result, GetParam().Result);
}

INSTANTIATE_TEST_SUITE_P(Cases, SerialFailedAckTest,
                         ::testing::Values(FailedAckCase{"WithError", false, QV_WriteError, "write refused"},
                                           FailedAckCase{"AlreadyReported", true, QV_No_Err,
                                                         Bytes({0x70, 0x16, 0, 0, 0, 5})}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(SerialReaderTest, LengthMismatchAsksForARepeat) {
  std::string frame = SerialFrame(Bytes({0x70, 0x16, 0, 0, 0, 5}), '\xBF');
  frame.erase(3, 1);  // one zero byte lost: the checksum still holds, the length does not
  device->Feed(frame);
  EXPECT_EQ(Next(), "");
  EXPECT_EQ(result, QV_No_Err);
  ASSERT_EQ(device->Writes().size(), 1u);
  EXPECT_EQ(device->Writes()[0], "\xBE");
  EXPECT_TRUE(HasError(".SerialGetReport LEN or CHK error: LenFound=7 LenClaimed=8 ChkFound=00 ChkClaimed=6D"));
}

TEST_F(SerialReaderTest, RepeatedEndByteRepeatsTheLastAcknowledgement) {
  device->Feed(SerialFrame(Bytes({0x70, 0x22}), '\xBD') + "\xBD" + "\xBF");
  EXPECT_EQ(Next(), Bytes({0x70, 0x22}));
  Next();
  ASSERT_EQ(device->Writes().size(), 3u);
  EXPECT_EQ(device->Writes()[1], "\xBD");  // the same end byte: acknowledged again
  EXPECT_EQ(device->Writes()[2], "\xBE");  // the other one: asked to repeat
}

TEST_F(SerialReaderTest, QueuedCommandReplacesTheAcknowledgementAndFollowsTheEcho) {
  EXPECT_EQ(decoder->SendCommand(Bytes({0x85, 0x60})), QV_No_Err);
  device->Feed(SerialFrame(Bytes({0x70, 0x22}), '\xBF'));
  EXPECT_EQ(Next(), Bytes({0x70, 0x22}));
  EXPECT_EQ(decoder->RxMode(), rxCommand);
  ASSERT_EQ(device->Writes().size(), 1u);
  EXPECT_EQ(device->Writes()[0], "\x85");
  device->Feed("\xBF\x85");  // a stray end byte, then the echo of the first byte
  Next();
  ASSERT_EQ(device->Writes().size(), 2u);
  EXPECT_EQ(device->Writes()[1], "\x60");
  device->Feed("\x60");
  Next();
  EXPECT_EQ(decoder->RxMode(), rxData);
  ASSERT_EQ(device->Writes().size(), 3u);
  EXPECT_EQ(device->Writes()[2], "\xBF");  // the pending acknowledgement
  EXPECT_TRUE(HasLine(".ProcessCommandSerial Ignore LastEOL [BF]"));
}

TEST_F(SerialReaderTest, BufferClearingCommandIsReported) {
  decoder->SendCommand("\xC1");
  device->Feed(SerialFrame(Bytes({0x70, 0x22}), '\xBF'));
  Next();
  device->Feed("\xC1");
  Next();
  EXPECT_TRUE(decoder->SerialBufferCleared());
  EXPECT_FALSE(decoder->SerialBufferCleared());
}

TEST_F(SerialReaderTest, GarbledEchoRestartsThenGivesUp) {
  decoder->SendCommand(Bytes({0x41}));
  device->Feed(SerialFrame(Bytes({0x70, 0x22}), '\xBF'));
  Next();
  for (int i = 0; i < 3; ++i) {
    device->Feed("\x42");
    Next();
    EXPECT_EQ(result, QV_No_Err);
    EXPECT_EQ(device->Writes().back(), "\x41");
  }
  device->Feed("\x42");
  EXPECT_EQ(Next(), "Sending command failed: 41");
  EXPECT_EQ(result, QV_WriteError);
  EXPECT_EQ(decoder->RxMode(), rxData);
}

TEST_F(SerialReaderTest, SilentLineIsWokenUpAfterOneSecond) {
  Next();
  EXPECT_TRUE(device->Writes().empty());
  Advance(1001);
  Next();
  ASSERT_EQ(device->Writes().size(), 1u);
  EXPECT_EQ(device->Writes()[0], "\xBC");
  Next();
  EXPECT_EQ(device->Writes().size(), 1u);
}

TEST_F(SerialReaderTest, OverlongFrameIsDroppedAndRepeated) {
  device->Feed("\x05" + std::string(300, '\x11') + "\xBF");
  EXPECT_EQ(Next(), "");
  EXPECT_TRUE(HasError(".SerialGetReport too many bytes received: 261, maximal length: 260"));
  ASSERT_FALSE(device->Writes().empty());
}

TEST_F(SerialReaderTest, IllegalByteIsAFormatError) {
  device->Feed("\x05\xBE");
  EXPECT_EQ(Next(), "SerialGetReport: received illegal $BE");
  EXPECT_EQ(result, QV_Err_BadFormat);
}

// ---- Identity helpers ----

TEST_F(UsbReaderTest, ExtractSerialNumberAndUserID) {
  uint32_t serial = 0;
  EXPECT_TRUE(decoder->ExtractSerialNumber("VERSION ZCT: 63 / 230115.2A / 00ABCDEF / x", serial));
  EXPECT_EQ(serial, 0x00ABCDEFu);
  EXPECT_FALSE(decoder->ExtractSerialNumber("ZCT: 63 / 230115.2A / 00ABCDEF", serial));
  EXPECT_FALSE(decoder->ExtractSerialNumber("VERSION ZCT: 63 / 230115.2A", serial));
  uint8_t user = 0;
  EXPECT_TRUE(decoder->ExtractUserID("VERSION ZCT: 63 User3 / x", user));
  EXPECT_EQ(user, 3);
  EXPECT_TRUE(HasLine(".ExtractUserID: 3"));
  EXPECT_FALSE(decoder->ExtractUserID("VERSION ZCT: 63 User / x", user));
  EXPECT_TRUE(HasLine(".ExtractUserID failed"));
}

TEST_F(UsbReaderTest, HeldBackRecordsGrowInsteadOfOverwriting) {
  for (int i = 0; i < 20; ++i) {
    TQV_ReportStruct record;
    record.SetMessage(static_cast<uint16_t>(0x7000 + i), "");
    decoder->SetSavedReport(record);
  }
  EXPECT_TRUE(log.Contains("WARN:  " + decoder->DbgTag() +
                           ".SetSavedReport: more than 16 held-back records -> ring grows"));
  TQV_ReportStruct record;
  for (int i = 0; i < 20; ++i) {
    ASSERT_TRUE(decoder->GetSavedReport(record));
    EXPECT_EQ(record.GetHeader(), 0x7000 + i);
  }
  EXPECT_FALSE(decoder->GetSavedReport(record));
  EXPECT_EQ(record.GetReportType(), rt_None);
}

}  // namespace

#include "devices/QV_BaseDevice.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "core/CircularBuffer.h"
#include "core/NamedEvent.h"
#include "devices/IQV_CommandSender.h"
#include "devices/QV_DeviceInfo.h"
#include "support/LogCapture.h"
#include "support/QV_TestDevice.h"
#include "support/TempDir.h"

using namespace std::chrono_literals;

namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (int v : values) bytes += static_cast<char>(v);
  return bytes;
}

std::string BigEndian(uint32_t value) {
  return Bytes({int(value >> 24), int((value >> 16) & 0xFF), int((value >> 8) & 0xFF), int(value & 0xFF)});
}

class TFakeSender : public IQV_CommandSender {
 public:
  TQV_Result SendCommand(const std::string& cmd) override {
    Sent.push_back(cmd);
    return Result;
  }
  std::vector<std::string> Sent;
  TQV_Result Result = QV_No_Err;
};

class BaseDeviceTest : public ::testing::Test {
 protected:
  TManualClock clock{std::chrono::sys_days(std::chrono::year(2024) / 6 / 1)};
  TLogCapture log;
  TQV_TestDevice device{clock, log.Id()};
  TFakeSender sender;
};

// ---- Reading ----

TEST_F(BaseDeviceTest, CreationDefaults) {
  EXPECT_EQ(device.SerialNumberValue(), 0xFFFFFFFFu);
  EXPECT_EQ(device.PeerType(), ptUnknown);
  EXPECT_EQ(device.ZCTReportHeader(), 0xFFFF);
  EXPECT_EQ(device.HRQReadCountLast, -1);
  EXPECT_EQ(device.UserID(), 255);
  EXPECT_EQ(device.RegisterID(), 255);
  EXPECT_EQ(device.ReadTimeoutMs(), 200u);
  EXPECT_EQ(device.FirmwareVersionNumber(), 0);
  int32_t major = 0, minor = 0;
  device.GetESPFirmwareVersion(major, minor);
  EXPECT_EQ(major, -1);
  EXPECT_EQ(minor, -1);
  EXPECT_EQ(device.FormatSettings().DecimalSeparator, '.');
  EXPECT_FALSE(device.GetDeviceInfo());
}

// A device that keeps no event of its own.
class TBareDevice : public TQV_BaseDevice {
 public:
  TBareDevice() : TQV_BaseDevice(-1, 0, nullptr, true) {}
  bool CheckDeviceClosed() override { return false; }
  bool ClosePort() override { return true; }
  bool OpenPort(std::string&) override { return true; }
  bool DeviceWrite(const std::string&) override { return true; }
};

TEST(TQV_BaseDeviceEvent, WithoutAnEventTheDeviceUsesBaseReceiveEvent) {
  const auto shared = NamedEvent("BaseReceiveEvent");
  TBareDevice device;
  EXPECT_EQ(device.ReceiveBuffer().ReceiveEvent(), shared.get());
  EXPECT_EQ(device.ToolsBuffer().ReceiveEvent(), nullptr);
}

TEST_F(BaseDeviceTest, ReadsPeeksAndConfirms) {
  device.Feed("ABCDEF");
  uint8_t c = 0;
  EXPECT_TRUE(device.PeekChar(c));
  EXPECT_EQ(c, 'A');
  EXPECT_EQ(device.PeekAnsi(3), "ABC");
  EXPECT_EQ(device.PeekAnsi(7), "") << "more than stored";
  EXPECT_EQ(device.DeviceRead(2), "AB");
  EXPECT_TRUE(device.ConfirmPeekedData(1));
  EXPECT_EQ(device.DeviceRead(3), "DEF");
  device.Feed("GHIJ");
  EXPECT_EQ(device.DeviceReadAvailable(3), "GHI") << "a block, at most as long as asked";
  EXPECT_EQ(device.DeviceReadAvailable(100), "J") << "what is there";
  uint32_t amount = 9, high = 0;
  device.GetBufferAmounts(amount, high);
  EXPECT_EQ(amount, 0u);
}

TEST_F(BaseDeviceTest, EmptyReadWithoutBlockingReturnsAtOnce) {
  device.SetReadTimeoutMs(60000);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(device.DeviceRead(1), "");
  uint8_t c;
  EXPECT_FALSE(device.PeekChar(c));
  EXPECT_EQ(device.PeekAnsi(1), "");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 30s) << "must not wait for the read time-out";
}

TEST_F(BaseDeviceTest, EmptyReadWithBlockingWaitsUpToTheTimeout) {
  device.SetBlockingIO(true);
  device.SetReadTimeoutMs(5);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(device.DeviceRead(1), "");
  EXPECT_GE(std::chrono::steady_clock::now() - start, 5ms);
  EXPECT_TRUE(log.Contains("TQV_BaseDevice.SetReadTimeoutMs: 5"));
}

TEST_F(BaseDeviceTest, BlockingReadTakesDataThatArrivesWhileWaiting) {
  const struct {
    const char* name;
    std::string (*read)(TQV_BaseDevice&);
  } reads[] = {
      {"DeviceRead", [](TQV_BaseDevice& d) { return d.DeviceRead(1); }},
      {"DeviceReadAvailable", [](TQV_BaseDevice& d) { return d.DeviceReadAvailable(16); }},
  };
  device.SetBlockingIO(true);
  device.SetReadTimeoutMs(60000);
  for (const auto& read : reads) {
    SCOPED_TRACE(read.name);
    std::thread reader([&] {
      std::this_thread::sleep_for(2ms);
      device.Feed("X");
    });
    EXPECT_EQ(read.read(device), "X");
    reader.join();
  }
}

TEST_F(BaseDeviceTest, BlockingReadDoesNotWaitOnAGoneDevice) {
  device.SetBlockingIO(true);
  device.SetReadTimeoutMs(60000);
  device.SetGone(true);
  EXPECT_EQ(device.DeviceReadAvailable(16), "");
  EXPECT_EQ(device.ErrorCode(), QV_DeviceNotConnected);
  device.QuitError();
  EXPECT_EQ(device.DeviceRead(1), "");
  EXPECT_EQ(device.ErrorCode(), QV_DeviceNotConnected);
  device.QuitError();
  EXPECT_EQ(device.ErrorCode(), QV_No_Err);
  EXPECT_EQ(device.ErrorMessage(), "");
}

TEST_F(BaseDeviceTest, BlockingIOChangesOnlyWhileClosed) {
  std::string error;
  device.OpenPort(error);
  device.SetBlockingIO(true);
  EXPECT_FALSE(device.BlockingIO());
  device.ClosePort();
  device.SetBlockingIO(true);
  EXPECT_TRUE(device.BlockingIO());
}

TEST_F(BaseDeviceTest, ToolsReadAllTakesEverythingInPieces) {
  std::string reply(600, '\0');
  for (size_t i = 0; i < reply.size(); ++i) reply[i] = static_cast<char>(i);
  device.FeedTools(reply);
  EXPECT_EQ(device.ToolsReadAll(), reply);
  EXPECT_EQ(device.ToolsReadAllAnsi(), "");
}

TEST_F(BaseDeviceTest, PortIsOpenedWhileUnreadDataRemain) {
  EXPECT_FALSE(device.PortIsOpened());
  device.Feed("A");
  EXPECT_TRUE(device.PortIsOpened());
  device.DeviceRead(1);
  EXPECT_FALSE(device.PortIsOpened());
}

// ---- Command classification ----

TEST(TQV_BaseDeviceCommands, Classification) {
  const struct {
    std::string cmd;
    bool is7020, isChannel, isReadNVS;
  } cases[] = {
      {"A", true, false, false},
      {" ", true, false, false},
      {"\n", true, false, false},
      {"\x8A", true, false, false},
      {"/", true, false, false},
      {"_", true, false, false},
      {"`", false, false, false},
      {"0", false, true, false},
      {";", false, true, false},
      {"<", false, false, false},
      {"\xB1", false, true, false},
      {"?\x0C", false, true, false},
      {"\xBF\x0C", false, true, false},
      {"AB", false, false, false},
      {"?", false, false, false},
      {"", false, false, false},
      {"\x85" "Eb\x01", false, false, true},
      {"\x85" "E", false, false, true},
      {"\x85" "F", false, false, false},
  };
  for (const auto& c : cases) {
    std::u16string wide;
    for (char ch : c.cmd) wide += static_cast<char16_t>(static_cast<uint8_t>(ch));
    EXPECT_EQ(TQV_BaseDevice::Is7020Cmd(c.cmd), c.is7020) << AnsiToHex(c.cmd);
    EXPECT_EQ(TQV_BaseDevice::IsChannelCmd(c.cmd), c.isChannel) << AnsiToHex(c.cmd);
    EXPECT_EQ(TQV_BaseDevice::IsReadNVSCmd(c.cmd), c.isReadNVS) << AnsiToHex(c.cmd);
    EXPECT_EQ(TQV_BaseDevice::Is7020Cmd(wide), c.is7020) << AnsiToHex(c.cmd);
    EXPECT_EQ(TQV_BaseDevice::IsChannelCmd(wide), c.isChannel) << AnsiToHex(c.cmd);
    EXPECT_EQ(TQV_BaseDevice::IsReadNVSCmd(wide), c.isReadNVS) << AnsiToHex(c.cmd);
  }
}

// ---- Start state ----

TEST_F(BaseDeviceTest, ColdStartIsDecidedOnceFromTheFirstTimestamp) {
  device.CheckTimeStampBytes(Bytes({0x01, 0x02, 0x08, 0x70}));
  EXPECT_EQ(device.DeviceStartState(), ds_unknown);
  device.CheckTimeStampBytes(Bytes({0xBF, 0x00, 0x08, 0x70, 0x16, 0, 0, 0, 1, 0x55}));
  EXPECT_EQ(device.DeviceStartState(), ds_ColdStart);
  device.CheckTimeStampBytes(Bytes({0x08, 0x70, 0x16, 0, 0, 0, 2}));
  EXPECT_EQ(device.DeviceStartState(), ds_ColdStart);
  EXPECT_EQ(log.Count("TQV_BaseDevice.CheckTimeStampBytes Timestamp found 00000001"), 1u);
  EXPECT_FALSE(log.Contains("TQV_BaseDevice.CheckTimeStampBytes Timestamp found 00000002"));
  EXPECT_TRUE(log.Contains("TQV_BaseDevice.SetDeviceStartState: ColdStart"));
}

TEST_F(BaseDeviceTest, AnyOtherFirstCounterMeansWarmStart) {
  device.CheckTimeStampBytes(Bytes({0x08, 0x70, 0x16, 0, 0, 1, 1}));
  EXPECT_EQ(device.DeviceStartState(), ds_WarmStart);
}

// ---- Command delay ----

TEST_F(BaseDeviceTest, DelayCountsDownOnTheClock) {
  EXPECT_EQ(device.GetDelayNextCmdMs(), 0);
  device.SetDelayNextCmdMs(20);
  EXPECT_EQ(device.GetDelayNextCmdMs(), 20);
  clock.Advance(15ms);
  EXPECT_EQ(device.GetDelayNextCmdMs(), 5);
  EXPECT_TRUE(log.Contains("TQV_BaseDevice.SetDelayNextCmdMs 20 Device=TestDevice"));
  EXPECT_TRUE(log.Contains("TQV_BaseDevice.GetDelayNextCmdMs=5 Device=TestDevice"));
  device.SetDelayNextCmdMs(0);
  EXPECT_EQ(device.GetDelayNextCmdMs(), 0);
  EXPECT_TRUE(log.Contains("TQV_BaseDevice.SetDelayNextCmdms delay finished Device=TestDevice"));
}

TEST_F(BaseDeviceTest, ExpiredDelayIsOverForOtherPeers) {
  for (TQV_PeerType peer : {ptESP, ptUnknown}) {
    device.SetPeer(peer);
    device.SetDelayNextCmdMs(20);
    clock.Advance(20ms);
    EXPECT_EQ(device.GetDelayNextCmdMs(), 0) << QV_PeerTypeName(peer);
  }
}

TEST_F(BaseDeviceTest, ColdfireWaitsForTheConfirmationUpToTheLimit) {
  device.SetPeer(ptColdfire);
  device.SetDelayNextCmdMs(20);
  clock.Advance(20ms);
  EXPECT_EQ(device.GetDelayNextCmdMs(), 1);
  EXPECT_TRUE(log.Contains("TQV_BaseDevice.GetDelayNextCmdMs report missing 1 Device=TestDevice"));
  clock.Advance(std::chrono::milliseconds(TQV_BaseDevice::ColdfireConfirmLimitMs - 1));
  EXPECT_EQ(device.GetDelayNextCmdMs(), 1) << "still within the limit";
  clock.Advance(1ms);
  EXPECT_EQ(device.GetDelayNextCmdMs(), 0) << "the lost confirmation must not stall the queue";
  EXPECT_EQ(device.GetDelayNextCmdMs(), 0);
  EXPECT_TRUE(log.Contains("ERROR: TQV_BaseDevice.GetDelayNextCmdMs report missing for 5020 ms -> delay finished "
                           "Device=TestDevice"));
}

// ---- Calibration data ----

TEST_F(BaseDeviceTest, CalibrationWith25ValuesFailsBeforeSending) {
  std::string data;
  for (int i = 1; i <= 25; ++i) data += std::to_string(i) + ";";
  EXPECT_FALSE(device.SetCalibrationDataString(data));
  EXPECT_TRUE(device.Writes().empty());
  EXPECT_TRUE(log.Contains("ERROR: TQV_BaseDevice.SetCalibrationDataString invalid index: 25"));
}

TEST_F(BaseDeviceTest, CalibrationCommandPerPeer) {
  device.SetCalibFactorFloatToInt(1000);
  std::string words = BigEndian(1500) + BigEndian(static_cast<uint32_t>(-2000)) + BigEndian(3);
  words.resize(96, '\0');
  const struct {
    TQV_PeerType peer;
    std::string command;
  } cases[] = {
      {ptColdfire, Bytes({0x85, '#', 0x00, 0x07, 0xE0, 0x00}) + words},
      {ptUnknown, Bytes({0x85, '#', 0x00, 0x07, 0xE0, 0x00}) + words},
      {ptESP, Bytes({0x85, '%', 'b', 0x00}) + words + std::string(32, '\0')},
  };
  for (const auto& c : cases) {
    device.ClearWrites();
    device.SetPeer(c.peer);
    ASSERT_TRUE(device.SetCalibrationDataString("1.5;-2;0,003")) << QV_PeerTypeName(c.peer);
    ASSERT_EQ(device.Writes().size(), 1u);
    EXPECT_EQ(AnsiToHex(device.Writes()[0]), AnsiToHex(c.command)) << QV_PeerTypeName(c.peer);
  }
  EXPECT_TRUE(log.Contains("TQV_BaseDevice.SetCalibrationData"));
  EXPECT_TRUE(log.Contains("{" + AnsiToHex(cases[0].command) + "}"));
}

TEST_F(BaseDeviceTest, CalibrationRoundsTiesToEvenAndChecksTheRange) {
  device.SetCalibFactorFloatToInt(1);
  const struct {
    const char* value;
    bool ok;
    int32_t word;
    const char* error;
  } cases[] = {
      {"0.5", true, 0, nullptr},
      {"1.5", true, 2, nullptr},
      {"2.5", true, 2, nullptr},
      {"-1.5", true, -2, nullptr},
      {"2.4999", true, 2, nullptr},
      {"2147483647", true, 2147483647, nullptr},
      {"-2147483648", true, INT32_MIN, nullptr},
      {"2147483647.6", false, 0, "ERROR: TQV_BaseDevice.SetCalibrationDataString out of range: 2147483647.6"},
      {"-2147483649", false, 0, "ERROR: TQV_BaseDevice.SetCalibrationDataString out of range: -2147483649"},
      {"abc", false, 0, "ERROR: TQV_BaseDevice.SetCalibrationDataString not a float: abc"},
      {"", false, 0, "ERROR: TQV_BaseDevice.SetCalibrationDataString not a float: "},
  };
  for (const auto& c : cases) {
    device.ClearWrites();
    EXPECT_EQ(device.SetCalibrationDataString(c.value), c.ok) << c.value;
    if (c.ok) {
      ASSERT_EQ(device.Writes().size(), 1u);
      EXPECT_EQ(device.Writes()[0].substr(6, 4), BigEndian(static_cast<uint32_t>(c.word))) << c.value;
    } else {
      EXPECT_TRUE(device.Writes().empty()) << c.value;
      EXPECT_TRUE(log.Contains(c.error)) << c.error;
    }
  }
}

TEST_F(BaseDeviceTest, FailedCalibrationWriteIsReported) {
  device.SetFailWrites(true);
  EXPECT_FALSE(device.SetCalibrationDataString("1"));
  EXPECT_EQ(device.ErrorCode(), QV_WriteError);
  const auto lines = log.Lines();
  EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
    return line.rfind("ERROR: TQV_BaseDevice.SetCalibrationData failed cmd=8523", 0) == 0;
  }));
}

TEST_F(BaseDeviceTest, CalibFactorMustBePositive) {
  device.SetCalibFactorFloatToInt(0);
  EXPECT_EQ(device.CalibFactorFloatToInt(), 1000);
  EXPECT_TRUE(log.Contains("ERROR: TQV_BaseDevice.SetCalibFactorFloatToInt invalid 0"));
  device.SetCalibFactorFloatToInt(100);
  EXPECT_EQ(device.CalibFactorFloatToInt(), 100);
  EXPECT_TRUE(log.Contains("TQV_BaseDevice.SetCalibFactorFloatToInt old=1000, new=100"));
}

// ---- HRQ settings ----

std::string HRQText() {
  THRQSettings settings;
  settings.HRQChannels[0] = {10e6, 9e6, 1, true};
  settings.HRQChannels[23] = {5e6, 4e6, 1, true};
  return settings.ToString();
}

TEST_F(BaseDeviceTest, HRQWriteCommandsPerPeer) {
  THRQSettings settings;
  ASSERT_TRUE(settings.FromString(HRQText()));
  const auto blocks = settings.GetBytes();

  device.SetPeer(ptColdfire);
  ASSERT_TRUE(device.SetHRQDataString(HRQText()));
  ASSERT_EQ(device.Writes().size(), 4u);
  for (uint32_t b = 1; b <= 4; ++b)
    EXPECT_EQ(device.Writes()[b - 1], Bytes({0x85, '#'}) + BigEndian(0x0007E000 + 128 * b) + blocks[b - 1]) << b;

  device.ClearWrites();
  device.SetPeer(ptESP);
  ASSERT_TRUE(device.SetHRQDataString(HRQText()));
  ASSERT_EQ(device.Writes().size(), 4u);
  for (int b = 1; b <= 4; ++b)
    EXPECT_EQ(device.Writes()[b - 1], Bytes({0x85, '%', 'b', b}) + blocks[b - 1]) << b;
}

TEST_F(BaseDeviceTest, FailedHRQWriteReturnsFalseAndStops) {
  device.SetPeer(ptESP);
  device.SetFailWrites(true);
  EXPECT_FALSE(device.SetHRQDataString(HRQText()));
  EXPECT_TRUE(device.Writes().empty());
  const auto lines = log.Lines();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& line) {
                            return line.rfind("ERROR: TQV_BaseDevice.SetHRQData failed cmd=85256201", 0) == 0;
                          }),
            1);
}

TEST_F(BaseDeviceTest, HRQParseFailureSendsNothing) {
  EXPECT_FALSE(device.SetHRQDataString("10;9"));
  EXPECT_TRUE(device.Writes().empty());
  EXPECT_TRUE(log.Contains("ERROR: TQV_BaseDevice.SetHRQDataString failed Format error"));
}

TEST_F(BaseDeviceTest, ReadHRQDataCommandPerPeer) {
  device.SetPeer(ptESP);
  EXPECT_TRUE(device.ReadHRQData(&sender));
  device.SetPeer(ptColdfire);
  device.HRQReadCount = 2;
  EXPECT_TRUE(device.ReadHRQData(&sender));
  ASSERT_EQ(sender.Sent.size(), 2u);
  EXPECT_EQ(sender.Sent[0], Bytes({0x85, 'E', 'b', 1}));
  EXPECT_EQ(sender.Sent[1], Bytes({0x03, 3}));
  EXPECT_EQ(device.HRQReadCountLast, 2);
  EXPECT_EQ(device.HRQSender, &sender);

  sender.Result = QV_WriteError;
  EXPECT_FALSE(device.ReadHRQData(&sender));
  EXPECT_TRUE(log.Contains("ERROR: TQV_BaseDevice.ReadHRQData repeat HRQReadCount=2"));
}

TEST_F(BaseDeviceTest, ReadHRQDataBeyondTheLastSliceFails) {
  device.HRQReadCount = 4;
  device.HRQReadCountLast = 3;
  EXPECT_FALSE(device.ReadHRQData(&sender));
  EXPECT_TRUE(sender.Sent.empty());
  EXPECT_EQ(device.HRQReadCount, 0);
  EXPECT_EQ(device.HRQReadCountLast, -1);
  EXPECT_TRUE(log.Contains("ERROR: TQV_BaseDevice.ReadHRQData failed: invalid HRQReadCount=4"));
}

TEST_F(BaseDeviceTest, RepeatedHRQReadClearsAMissingColdfireConfirmation) {
  device.SetPeer(ptColdfire);
  device.SetDelayNextCmdMs(20);
  clock.Advance(30ms);
  device.HRQReadCount = 1;
  device.HRQReadCountLast = 1;
  device.ReadHRQData(&sender);
  EXPECT_EQ(device.GetDelayNextCmdMs(), 0);
}

// One HRQ slice as the instrument sends it: the slice number and its six channels.
std::string Slice(const THRQSettings& settings, int slice) { return settings.GetBytes()[slice - 1]; }

TEST_F(BaseDeviceTest, Check7902ReadsAllSlicesThroughTheSender) {
  device.SetPeer(ptESP);
  THRQSettings instrument;
  for (int i = 0; i < 24; i += 5) instrument.HRQChannels[i] = {10e6 + i, 9e6, 1, true};
  instrument.Update();

  ASSERT_TRUE(device.ReadHRQData(&sender));
  for (int slice = 1; slice <= 3; ++slice) {
    device.SetDelayNextCmdMs(20);
    EXPECT_EQ(device.Check7902Report(Slice(instrument, slice)), "") << slice;
    EXPECT_EQ(device.GetDelayNextCmdMs(), 0) << "the reply ends the delay";
    ASSERT_EQ(sender.Sent.size(), size_t(slice + 1));
    EXPECT_EQ(sender.Sent.back(), Bytes({0x85, 'E', 'b', slice + 1}));
    EXPECT_TRUE(log.Contains("TQV_BaseDevice.Check7902Report next read " + std::to_string(slice)));
  }
  const std::string result = device.Check7902Report(Slice(instrument, 4));
  EXPECT_EQ(result, "7902; " + instrument.ToString());
  EXPECT_EQ(sender.Sent.size(), 4u);
  EXPECT_EQ(device.HRQReadSettings.HRQChannelCount, 5);
  EXPECT_TRUE(log.Contains("TQV_BaseDevice.Check7902Report Result=" + result));
}

TEST_F(BaseDeviceTest, Check7902SliceOneClearsOldSettings) {
  device.HRQReadSettings.HRQChannels[20] = {1, 2, 1, true};
  THRQSettings instrument;
  instrument.HRQChannels[0] = {3, 2, 1, true};
  EXPECT_EQ(device.Check7902Report(Slice(instrument, 1)), "") << "no sender: nothing more is asked";
  EXPECT_EQ(device.HRQReadSettings.HRQChannels[20].NomFreq, 0);
  EXPECT_EQ(device.HRQReadSettings.HRQChannels[0].NomFreq, 3);
  EXPECT_TRUE(sender.Sent.empty());
}

TEST_F(BaseDeviceTest, Check7902EmptySlice) {
  const std::string empty = std::string(1, '\xFF') + std::string(127, '\xFF');
  THRQSettings cleared;
  cleared.Update();

  // Without bit 14 an empty slice means no settings.
  device.HRQReadSettings.HRQChannels[0] = {3, 2, 1, true};
  device.SetDelayNextCmdMs(20);
  EXPECT_EQ(device.Check7902Report(empty), "7902; " + cleared.ToString());
  EXPECT_EQ(device.GetDelayNextCmdMs(), 0);
  EXPECT_TRUE(log.Contains("TQV_BaseDevice.Check7902Report empty Flash Result=7902; " + cleared.ToString()));

  // With bit 14 the slice is read again.
  device.SetHardFeature(0x4001);
  device.SetPeer(ptColdfire);
  device.HRQReadCount = 2;
  ASSERT_TRUE(device.ReadHRQData(&sender));
  device.SetDelayNextCmdMs(20);
  EXPECT_EQ(device.Check7902Report(empty), "");
  ASSERT_EQ(sender.Sent.size(), 2u);
  EXPECT_EQ(sender.Sent[1], Bytes({0x03, 3}));
  EXPECT_TRUE(log.Contains("TQV_BaseDevice.Check7902Report repeat read 2"));
  EXPECT_EQ(device.GetDelayNextCmdMs(), 0);
}

TEST_F(BaseDeviceTest, Check7902EmptySliceWithBit14AndNoSenderGivesNothing) {
  device.SetHardFeature(0x4001);
  EXPECT_EQ(device.Check7902Report(std::string(128, '\xFF')), "");
}

TEST_F(BaseDeviceTest, Check7902MemoryBlocks) {
  THRQSettings cleared;
  device.HRQReadSettings.HRQChannels[0] = {3, 2, 1, true};
  EXPECT_EQ(device.Check7902Report(std::string(1, '\x00') + std::string(128, '\0')), "7902; " + cleared.ToString());
  EXPECT_TRUE(log.Contains("TQV_BaseDevice.Check7902Report empty FRAM Result=7902; " + cleared.ToString()));

  device.SetDelayNextCmdMs(20);
  const std::string dump = Bytes({0x07, 0x12, 0x34, 0x56, 0x78, 0x00, 0x00, 0x00, 0x01, 0xAA});
  EXPECT_EQ(device.Check7902Report(dump), "7902; 12345678 00000001");
  EXPECT_EQ(device.GetDelayNextCmdMs(), 0);
  EXPECT_TRUE(log.Contains("TQV_BaseDevice.Check7902Report " + AnsiToHex(dump)));
}

// ---- Flash identity ----

class FlashTest : public BaseDeviceTest {
 protected:
  void SetUp() override {
    device.SetDeviceType(QV_CDC);
    device.SetPeer(ptColdfire);
    device.SetFirmwareVersionNumber(19);
  }
  static std::string Identity(uint32_t serial) {
    std::string block(76, '\x11');
    block.replace(48, 4, BigEndian(serial));
    return block;
  }
  const std::string ReadCommand = Bytes({0x85, 0x40, 0x00, 0x07, 0xF0, 0x00, 76});
};

TEST_F(FlashTest, ReplyInOnePiece) {
  device.ReadFlash();
  EXPECT_EQ(device.StatusReadFlash(), TQV_BaseDevice::rfCheck);
  ASSERT_EQ(device.Writes(), std::vector<std::string>{ReadCommand});
  device.FeedTools(Identity(0x12345678));
  device.ReadFlash();
  EXPECT_EQ(device.StatusReadFlash(), TQV_BaseDevice::rfDone);
  EXPECT_EQ(device.SerialNumberValue(), 0x12345678u);
  EXPECT_TRUE(device.SerialNumberRead());
  EXPECT_EQ(device.FlashVariables(), Identity(0x12345678));
  EXPECT_TRUE(log.Contains("TQV_BaseDevice.ReadFlash SerialNumberValue=12345678"));
  EXPECT_TRUE(log.Contains("TQV_BaseDevice.ReadFlash END status=3"));
}

TEST_F(FlashTest, ReplyInTwoPiecesGivesTheRightSerialNumber) {
  const std::string reply = Identity(0xCAFE0042);
  device.ReadFlash();
  device.FeedTools(reply.substr(0, 40));
  device.ReadFlash();
  EXPECT_EQ(device.StatusReadFlash(), TQV_BaseDevice::rfWait);
  EXPECT_TRUE(log.Contains("TQV_BaseDevice.ReadFlash start wait Amount=40"));
  clock.Advance(300ms);
  device.ReadFlash();
  EXPECT_TRUE(log.Contains("ERROR: TQV_BaseDevice.ReadFlash wait again, Amount=40"));
  device.FeedTools(reply.substr(40));
  device.ReadFlash();
  EXPECT_EQ(device.StatusReadFlash(), TQV_BaseDevice::rfDone);
  EXPECT_EQ(device.SerialNumberValue(), 0xCAFE0042u);
  EXPECT_EQ(device.Writes().size(), 1u) << "no second request while the reply trickles in";
}

TEST_F(FlashTest, ReplyThatNeverCompletesFailsAndStartsClean) {
  device.ReadFlash();
  device.FeedTools(std::string(40, '\x22'));
  device.ReadFlash();
  clock.Advance(999ms);
  device.ReadFlash();
  EXPECT_EQ(device.StatusReadFlash(), TQV_BaseDevice::rfWait);
  clock.Advance(1ms);
  device.ReadFlash();
  EXPECT_EQ(device.StatusReadFlash(), TQV_BaseDevice::rfSend);
  EXPECT_TRUE(log.Contains("ERROR: TQV_BaseDevice.ReadFlash wait Failed Amount=40, requested=76"));
  EXPECT_EQ(device.ToolsBuffer().Amount(), 0u) << "the stale piece must not prefix the next reply";
  EXPECT_FALSE(device.SerialNumberRead());

  device.ReadFlash();
  EXPECT_EQ(device.Writes().size(), 2u);
  device.FeedTools(Identity(0x00000777));
  device.ReadFlash();
  EXPECT_EQ(device.SerialNumberValue(), 0x777u);
}

TEST_F(FlashTest, StalePieceBeforeAWholeReplyIsNotTakenAsIdentity) {
  device.ReadFlash();
  device.FeedTools(std::string(10, '\x33') + Identity(0x1));
  device.ReadFlash();
  EXPECT_NE(device.StatusReadFlash(), TQV_BaseDevice::rfDone);
  EXPECT_FALSE(device.SerialNumberRead());
}

TEST_F(FlashTest, TwoWholeRepliesTakeTheLast) {
  device.ReadFlash();
  device.FeedTools(Identity(0x1) + Identity(0x2));
  device.ReadFlash();
  EXPECT_EQ(device.SerialNumberValue(), 0x2u);
}

TEST_F(FlashTest, FailedRequestStaysInStateZero) {
  device.SetFailWrites(true);
  device.ReadFlash();
  EXPECT_EQ(device.StatusReadFlash(), TQV_BaseDevice::rfSend);
  EXPECT_TRUE(log.Contains("ERROR: TQV_BaseDevice.ReadFlash Block1 failed: ErrorCode=QV_WriteError"));
}

TEST_F(FlashTest, UnsupportedDevices) {
  const struct {
    TQV_DeviceType type;
    TQV_PeerType peer;
    int firmware;
    const char* error;
  } cases[] = {
      {QV_HID, ptColdfire, 19, "ERROR: TQV_BaseDevice.ReadFlash not supported for device type QV_HID"},
      {QV_Remote, ptESP, 19, "ERROR: TQV_BaseDevice.ReadFlash not supported for peer type ESP"},
      {QV_CDC, ptColdfire, 18, "ERROR: TQV_BaseDevice.ReadFlash not supported FirmwareVersion=18"},
  };
  for (const auto& c : cases) {
    device.SetDeviceType(c.type);
    device.SetPeer(c.peer);
    device.SetFirmwareVersionNumber(c.firmware);
    device.ReadFlash();
    EXPECT_TRUE(device.Writes().empty()) << c.error;
    EXPECT_TRUE(log.Contains(c.error)) << c.error;
  }
}

// ---- Connected users ----

TEST_F(BaseDeviceTest, SetUserConnectedTexts) {
  device.SetUserConnected(BigEndian(0) + BigEndian(2) + BigEndian(3) + BigEndian(4));
  EXPECT_EQ(device.UserConnected(), "Connected: ---     USB     CAN     Serial     ");
  device.SetUserConnected(Bytes({192, 168, 1, 20}) + BigEndian(0) + BigEndian(0) + BigEndian(1));
  EXPECT_EQ(device.UserConnected(), "Connected: 192.168.1.20     ---     ---     0.0.0.1     ");
  EXPECT_TRUE(log.Contains("TQV_BaseDevice.SetUserConnected " + device.UserConnected()));
  device.SetUserConnected("short");
  EXPECT_EQ(device.UserConnected(), "");
  EXPECT_TRUE(log.Contains("ERROR: TQV_BaseDevice.SetUserConnected invalid string 73686F7274"));
}

TEST_F(BaseDeviceTest, ConnectedUsersInBothByteOrders) {
  const std::string coldfire = BigEndian(0) + BigEndian(2) + BigEndian(3) + BigEndian(4);
  const std::string esp = Bytes({0, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0});
  device.SetPeer(ptColdfire);
  EXPECT_EQ(device.ConvertConnectedUsersBinToAnsi(coldfire, ""), "  1: ---  2: usb  3: can  4: serial (me)");
  device.SetPeer(ptESP);
  EXPECT_EQ(device.ConvertConnectedUsersBinToAnsi(esp, ""), "  1: ---  2: usb  3: can  4: serial (me)");
  // The other order reads as addresses.
  EXPECT_EQ(device.ConvertConnectedUsersBinToAnsi(coldfire, ""), "  1: ---  2: 0.0.0.2  3: 0.0.0.3  4: 0.0.0.4");
}

TEST_F(BaseDeviceTest, ConnectedUsersMarkOnlyThisConnection) {
  device.SetPeer(ptESP);
  const std::string slots = Bytes({10, 0, 0, 10, 110, 0, 0, 1, 10, 0, 0, 1, 2, 0, 0, 0});
  const struct {
    TQV_DeviceType type;
    const char* server;
    const char* expected;
  } cases[] = {
      {QV_Remote, "10.0.0.1:1024", "  1: 10.0.0.10  2: 110.0.0.1  3: 10.0.0.1 (me)  4: usb"},
      {QV_Remote, " 10.0.0.1 ", "  1: 10.0.0.10  2: 110.0.0.1  3: 10.0.0.1 (me)  4: usb"},
      {QV_Remote, "10.0.0.10:9999", "  1: 10.0.0.10 (me)  2: 110.0.0.1  3: 10.0.0.1  4: usb"},
      {QV_Remote, "", "  1: 10.0.0.10  2: 110.0.0.1  3: 10.0.0.1  4: usb"},
      {QV_CDC, "", "  1: 10.0.0.10  2: 110.0.0.1  3: 10.0.0.1  4: usb (me)"},
      {QV_HID, "0.0.0.1", "  1: 10.0.0.10  2: 110.0.0.1  3: 10.0.0.1  4: usb (me)"},
  };
  for (const auto& c : cases) {
    device.SetDeviceType(c.type);
    EXPECT_EQ(device.ConvertConnectedUsersBinToAnsi(slots, c.server), c.expected) << c.server;
  }
  device.SetDeviceType(QV_CAN_Menlo);
  EXPECT_EQ(device.ConvertConnectedUsersBinToAnsi(Bytes({3, 0, 0, 0}), ""), "  1: can (me)");
}

// ---- Raw-data recording ----

TEST_F(BaseDeviceTest, RawDataRecording) {
  TTempDir dir;
  EXPECT_FALSE(device.StopSaveBinaryData());
  const std::string name = dir.File("QV_RawData.bin");
  WriteWholeFile(name, "old content");
  ASSERT_TRUE(device.StartSaveBinaryData(name));
  EXPECT_TRUE(device.BinSaveRawData());
  EXPECT_TRUE(log.Contains("TQV_BaseDevice.SaveBinaryData to " + name + ", SaveRawData=True"));
  device.SaveBinaryData("\x01\x02", 2);
  device.SaveBinaryData("\xBF", 1);
  EXPECT_EQ(ReadWholeFile(name), "\x01\x02\xBF") << "readable while recording";
  EXPECT_TRUE(device.StopSaveBinaryData());
  EXPECT_TRUE(log.Contains("TQV_BaseDevice.StopSaveBinaryData"));
  device.SaveBinaryData("\x03", 1);
  EXPECT_EQ(ReadWholeFile(name), "\x01\x02\xBF");

  ASSERT_TRUE(device.StartSaveBinaryData(dir.File("stream.bin")));
  EXPECT_FALSE(device.BinSaveRawData());
  EXPECT_FALSE(device.StartSaveBinaryData(dir.File("missing/stream.bin")));
}

TEST_F(BaseDeviceTest, RawDataRecordingOnlyForInstrumentTransports) {
  TTempDir dir;
  const struct {
    TQV_DeviceType type;
    bool allowed;
  } cases[] = {{QV_Serial, true}, {QV_HID, true},       {QV_CDC, true},   {QV_Remote, true},  {QV_BinFile, false},
               {QV_TxtFile, false}, {QV_CAN_Menlo, true}, {QV_Simul, false}, {QV_TCP_Device, false}};
  for (const auto& c : cases) {
    device.SetDeviceType(c.type);
    EXPECT_EQ(device.StartSaveBinaryData(dir.File("rec.bin")), c.allowed) << QV_DeviceTypeName(c.type);
    device.StopSaveBinaryData();
  }
}

// ---- FPGA version ----

TEST_F(BaseDeviceTest, FPGATypeFromVersion) {
  const struct {
    TQV_PeerType peer;
    int firmware;
    const char* version;
    TQV_FPGAType type;
  } cases[] = {
      {ptColdfire, 73, "230115.2A", ft_MicroSemi}, {ptUnknown, 73, "230115.2A", ft_MicroSemi},
      {ptESP, 73, "230115.2A", ft_MicroSemi},      {ptColdfire, 72, "230115.2A", ft_Altera},
      {ptUnknown, 72, "230115.2A", ft_Altera},     {ptESP, 10, "230115.2A", ft_MicroSemi},
      {ptColdfire, 80, "211231.01", ft_Altera},
  };
  for (const auto& c : cases) {
    TQV_TestDevice fresh(clock, log.Id());
    fresh.SetPeer(c.peer);
    fresh.SetFirmwareVersionNumber(c.firmware);
    fresh.SetFFPGAVersion(c.version);
    EXPECT_EQ(fresh.FPGAtype(), c.type) << QV_PeerTypeName(c.peer) << " " << c.firmware << " " << c.version;
    EXPECT_EQ(fresh.FPGAVersion(), c.version);
  }
  EXPECT_TRUE(log.Contains("TQV_BaseDevice.SetFFPGAVersion: year=23 -> 23"));
  EXPECT_TRUE(log.Contains("TQV_BaseDevice.SetFFPGAVersion: month=01 -> 1"));
  EXPECT_TRUE(log.Contains("TQV_BaseDevice.SetFFPGAVersion: day=15 -> 15"));
  EXPECT_TRUE(log.Contains("TQV_BaseDevice.SetFFPGAVersion: code=2A -> 0x2A"));
  EXPECT_TRUE(log.Contains("TQV_BaseDevice.SetFFPGAVersion: FPGA type=MicroSemi"));
}

TEST_F(BaseDeviceTest, IllegalFPGAVersions) {
  const struct {
    const char* version;
    const char* error;
  } cases[] = {
      {"", "ERROR: TQV_BaseDevice.SetFFPGAVersion: empty string"},
      {"FFFFFF.FF", "ERROR: TQV_BaseDevice.SetFFPGAVersion: empty FPGA"},
      {"250115.2A", "ERROR: TQV_BaseDevice.SetFFPGAVersion: illegal FPGA year 25, CurrentYear=2024"},
      {"231315.2A", "ERROR: TQV_BaseDevice.SetFFPGAVersion: illegal FPGA month 13"},
      {"230015.2A", "ERROR: TQV_BaseDevice.SetFFPGAVersion: illegal FPGA month 0"},
      {"230132.2A", "ERROR: TQV_BaseDevice.SetFFPGAVersion: illegal FPGA day 32"},
      {"2301x5.2A", "ERROR: TQV_BaseDevice.SetFFPGAVersion: illegal FPGA version 2301x5.2A"},
      {"230115.2G", "ERROR: TQV_BaseDevice.SetFFPGAVersion: illegal FPGA version 230115.2G"},
      {"230115", "ERROR: TQV_BaseDevice.SetFFPGAVersion: illegal FPGA version 230115"},
  };
  for (const auto& c : cases) {
    TQV_TestDevice fresh(clock, log.Id());
    fresh.SetPeer(ptESP);
    fresh.SetFFPGAVersion("x");  // a change is needed for "" to count
    fresh.SetFFPGAVersion(c.version);
    EXPECT_EQ(fresh.FPGAtype(), ft_unknown) << c.version;
    EXPECT_TRUE(log.Contains(c.error)) << c.error;
  }
}

// ---- Setters and properties ----

TEST_F(BaseDeviceTest, LastCommandSetsTheBlobNumber) {
  device.SetLastCommand(Bytes({0x85, 'E', 'b', 3}));
  EXPECT_EQ(device.BlobNumber(), 3);
  EXPECT_TRUE(log.Contains("TQV_BaseDevice.SetLastCommand 85456203"));
  device.SetLastCommand(Bytes({0x85, 'E', 'i', 5}));
  EXPECT_EQ(device.BlobNumber(), 255);
  device.SetLastCommand("\x85" "Eb");
  EXPECT_EQ(device.BlobNumber(), 255);
}

TEST_F(BaseDeviceTest, IdentitySettersLogTheirChanges) {
  device.SetSerialNumberValue(0xABC);
  EXPECT_TRUE(device.SerialNumberRead());
  EXPECT_TRUE(log.Contains("TQV_BaseDevice.SetSerialNumberValue old=FFFFFFFF, new=00000ABC"));
  device.SetCFUserID(2);
  EXPECT_EQ(device.UserID(), 2);
  EXPECT_TRUE(log.Contains("TQV_BaseDevice.SetCFUserID old=255, new=2"));
  device.SetHardFeature(0x0003);
  EXPECT_TRUE(log.Contains("TQV_BaseDevice.SetHardFeature old=0000, new=0003"));
  device.SetHardFeature32(0x00014003);
  EXPECT_EQ(device.HardFeature(), 0x4003);
  EXPECT_TRUE(log.Contains("TQV_BaseDevice.SetHardFeature32 old=00000000, new=00014003"));
  EXPECT_TRUE(log.Contains("TQV_BaseDevice.SetHardFeature32 -> HardFeature old=0003, new=4003"));
  device.SetZCTReportHeader(0x1234);
  EXPECT_TRUE(log.Contains("TQV_BaseDevice.SetZCTReportHeader: old=FFFF new=1234"));
  device.SetCmdResponse(crt_ReadNVS);
  EXPECT_TRUE(log.Contains("TQV_BaseDevice.SetCmdResponse readNVS"));
  device.SetLowLevelLog(true);
  EXPECT_TRUE(log.Contains("TQV_BaseDevice.SetLowLevelLog True"));

  const auto info = device.GetDeviceInfo();
  ASSERT_TRUE(info);
  EXPECT_EQ(info->SerialNumber(), 0xABCu);
  EXPECT_EQ(info->HardFeature(), 0x00014003u);
}

TEST_F(BaseDeviceTest, FirmwareVersions) {
  device.SetPeer(ptESP);
  device.SetFirmwareVersionNumber(114);
  EXPECT_EQ(device.FlagVersion(), 1);
  EXPECT_TRUE(log.Contains("TQV_BaseDevice.SetFirmwareVersionNumber old=0, new=114"));
  device.SetFirmwareVersionNumber(113);
  EXPECT_EQ(device.FlagVersion(), 0);

  device.SetESPFirmwareVersion(1, 14);
  device.SetESPFirmwareVersion(1, 15);  // only the minor number changes
  int32_t major, minor;
  device.GetESPFirmwareVersion(major, minor);
  EXPECT_EQ(major, 1);
  EXPECT_EQ(minor, 15);
  EXPECT_TRUE(log.Contains("TQV_BaseDevice.SetESPFirmwareVersion old=1.14 new=1.15"));
}

TEST_F(BaseDeviceTest, UserIdAcceptsSlotsOneToFour) {
  const struct {
    int value, stored;
  } cases[] = {{0, 255}, {1, 1}, {4, 4}, {5, 255}, {255, 255}};
  for (const auto& c : cases) {
    device.SetUserID(c.value);
    EXPECT_EQ(device.RegisterID(), c.stored) << c.value;
  }
}

TEST_F(BaseDeviceTest, PeerTypeFromOutsideOnlyForFiles) {
  device.SetPeerType(ptESP);
  EXPECT_EQ(device.PeerType(), ptUnknown);
  device.SetDeviceType(QV_BinFile);
  device.SetPeerType(ptESP);
  EXPECT_EQ(device.PeerType(), ptESP);
  EXPECT_TRUE(log.Contains("TQV_BaseDevice.SetPeerType ESP"));
}

TEST_F(BaseDeviceTest, DemoDataSwitchEmptiesTheReceiveBuffer) {
  device.Feed("real");
  device.SetDemoData(true);
  EXPECT_TRUE(device.DemoData());
  EXPECT_EQ(device.BufferAmount(), 0u);
  EXPECT_TRUE(log.Contains("TQV_BaseDevice.SetDemoData: Wechsel reale Daten - Demodaten, lösche Empfangspuffer"));
}

TEST_F(BaseDeviceTest, ContextToolReopensAnOpenPort) {
  std::string error;
  device.SetDeviceType(QV_Remote);
  device.SetPeerRepeatAddr(0x1234);
  device.OpenPort(error);
  device.SetContextTool(true);
  EXPECT_TRUE(device.ContextTool());
  EXPECT_TRUE(device.ForcedClose());
  EXPECT_EQ(device.PeerRepeatAddr(), 0u);
  EXPECT_EQ(device.CloseCount, 1);
  EXPECT_EQ(device.OpenCount, 2);
  EXPECT_TRUE(log.Contains("TQV_BaseDevice.ContextTool: old=False, new=True"));

  device.ClosePort();
  device.SetContextTool(false);
  EXPECT_EQ(device.OpenCount, 2) << "a closed port stays closed";
}

TEST_F(BaseDeviceTest, SystemErrorText) {
  device.SetSystemError(5, "WriteFile", "Access denied");
  EXPECT_EQ(device.ErrorCode(), QV_System_Err);
  EXPECT_EQ(device.SystemLastError(), 5u);
  EXPECT_EQ(device.ErrorMessage(), "WriteFile: (5)=Access denied");
  errno = ENOENT;
  device.SetSystemError("open");
  EXPECT_EQ(device.ErrorMessage(), std::string("open: (") + std::to_string(ENOENT) + ")=" + std::strerror(ENOENT));
}

TEST_F(BaseDeviceTest, COMNameAndDeviceKinds) {
  device.SetDevicePath("\\\\.\\COM12");
  EXPECT_EQ(device.COMName(), "COM12");
  device.SetDevicePath("/dev/ttyUSB0");
  EXPECT_EQ(device.COMName(), "");
  device.SetDeviceType(QV_CDC);
  EXPECT_TRUE(device.IsUSBDevice());
  EXPECT_FALSE(device.IsNetworkDevice());
  device.SetDeviceType(QV_CAN_Menlo);
  EXPECT_TRUE(device.IsCANDevice());
}

TEST_F(BaseDeviceTest, WaitSleepLetsTheTimePass) {
  TQV_TestDevice real(SystemClock(), log.Id());
  const auto start = std::chrono::steady_clock::now();
  real.WaitSleep(2);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 2ms);
  EXPECT_TRUE(log.Contains("TQV_BaseDevice.WaitSleep(2) finished"));
}

}  // namespace

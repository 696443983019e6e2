#include "devices/QV_SerialDevice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

#include "core/CircularBuffer.h"
#include "core/Clock.h"
#include "core/NamedEvent.h"
#include "core/QV_NumberText.h"
#include "devices/QV_CommonTypes.h"
#include "devices/QV_TransmitBlock.h"
#include "protocol/QV_ReportDevice.h"
#include "support/FrameBuilder.h"
#include "support/LogCapture.h"
#include "support/PtyPair.h"
#include "support/TempDir.h"

using namespace std::chrono_literals;

namespace {

const std::string OpenCommand("\x01\xBE", 2);
const std::string Timestamp("\x70\x16\x00\x00\x00\x05", 6);

// A serial device on the host end of a pty pair; the test plays the instrument on the other end.
class SerialDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TPtyPair::SocatAvailable()) GTEST_SKIP() << "socat is not installed (scripts/install-deps)";
    Plug();
  }

  void Plug() {
    pair = std::make_unique<TPtyPair>(link);
    ASSERT_EQ(pair->Error(), "");
    instrument = std::make_unique<TPtyEnd>(pair->InstrumentPath());
    ASSERT_TRUE(instrument->IsOpen());
  }

  std::unique_ptr<TQV_SerialDevice> NewDevice(const std::string& path) {
    return std::make_unique<TQV_SerialDevice>(log.Id(), 0, std::make_shared<TEvent>(), true, 115200, path, clock);
  }

  // Opens the device and takes its open command off the line.
  void Open() {
    device = NewDevice(pair->HostPath());
    std::string error;
    ASSERT_TRUE(device->OpenPort(error)) << error;
    EXPECT_EQ(instrument->Read(2), OpenCommand);
  }

  // What the device hands out one byte at a time, until `count` bytes came or the line stays quiet.
  std::string ReadBytes(size_t count) {
    std::string bytes;
    for (const auto end = std::chrono::steady_clock::now() + 2s; bytes.size() < count && std::chrono::steady_clock::now() < end;) {
      const std::string byte = device->DeviceRead(1);
      if (byte.empty()) std::this_thread::sleep_for(1ms);
      bytes += byte;
    }
    return bytes;
  }

  // Reads until the device reports `code`; false when it does not within two seconds.
  bool WaitForError(TQV_Result code) {
    for (const auto end = std::chrono::steady_clock::now() + 2s; std::chrono::steady_clock::now() < end;) {
      device->DeviceRead(1);
      if (device->ErrorCode() == code) return true;
      std::this_thread::sleep_for(1ms);
    }
    return false;
  }

  // A port that can be unplugged and plugged back under the same path.
  void UseFixedPath() {
    link = dir.File("port");
    pair.reset();
    Plug();
  }

  void Unplug() {
    instrument.reset();
    pair->Unplug();
  }

  // Lets the reopen pause pass until the n-th reopen: a freshly plugged pty may refuse the first
  // attempt, after which the device tries again one pause later. Returns whether the device is open.
  bool ReopenAfterPause(size_t n) {
    for (const auto end = std::chrono::steady_clock::now() + 2s; std::chrono::steady_clock::now() < end;) {
      clock.Advance(500ms);
      const bool closed = device->CheckDeviceClosed();
      if (ReOpens() >= n) return !closed;
      std::this_thread::sleep_for(5ms);
    }
    return false;
  }

  // A port that has delivered nothing is closed as a hardware fault exactly one second after it
  // was opened (or reopened).
  void ExpectSilenceFaultAfterOneSecond() {
    clock.Advance(999ms);
    EXPECT_FALSE(device->CheckDeviceClosed());
    clock.Advance(1ms);
    EXPECT_TRUE(device->CheckDeviceClosed());
    EXPECT_EQ(device->ErrorCode(), QV_HardwareFault);
    EXPECT_EQ(device->ErrorMessage(),
              "Serial device does not send measurement data: Please check measurement hardware and baud rate settings!");
  }

  // Waits in real time (the reader thread's) until `done` holds, reading as the decoder would.
  template <typename Done>
  bool ReadUntil(Done done) {
    for (const auto end = std::chrono::steady_clock::now() + 2s; std::chrono::steady_clock::now() < end;) {
      device->DeviceRead(1);
      if (done()) return true;
      std::this_thread::sleep_for(1ms);
    }
    return false;
  }

  size_t LineLosses() const {
    const auto lines = log.Lines();
    return std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
      return line.starts_with("ERROR: TQV_SerialDevice.SerialReadAnsi -> recover needed");
    });
  }
  size_t ReOpens() const { return log.Count("TQV_SerialDevice.CheckDeviceClosed ReOpen ok"); }

  TTempDir dir;
  TLogCapture log;
  TManualClock clock;
  std::string link;
  std::unique_ptr<TPtyPair> pair;
  std::unique_ptr<TPtyEnd> instrument;
  std::unique_ptr<TQV_SerialDevice> device;
};

TEST_F(SerialDeviceTest, EchoOfTheOpenCommandBeforeAColdfireFrameIsDropped) {
  Open();
  const std::string frame = SerialFrame(Timestamp, '\xBF');
  instrument->Write("\x01" + frame);
  EXPECT_EQ(ReadBytes(frame.size()), frame);
  EXPECT_EQ(device->PeerType(), ptColdfire);
  EXPECT_TRUE(log.Contains("TQV_SerialDevice.CheckPeer: Coldfire delete first Byte -> " + AnsiToHex("\x01" + frame)));
}

TEST_F(SerialDeviceTest, WritesReachTheInstrument) {
  Open();
  EXPECT_TRUE(device->DeviceWrite("\xBF\x41"));
  EXPECT_EQ(instrument->Read(2), "\xBF\x41");
}

struct PeerCase {
  const char* Name;
  std::string FirstBytes;
  std::string Delivered;  // what the decoder gets of them
  TQV_PeerType Peer;
};

class SerialPeerTest : public SerialDeviceTest, public ::testing::WithParamInterface<PeerCase> {};

TEST_P(SerialPeerTest, PeerComesFromTheFirstBytes) {
  Open();
  instrument->Write(GetParam().FirstBytes);
  EXPECT_EQ(ReadBytes(GetParam().Delivered.size()), GetParam().Delivered);
  EXPECT_EQ(device->PeerType(), GetParam().Peer);
}

const std::string Escaped = SerialFrame(std::string("\x70\x16\x00\x00\x00\xBD", 6), '\xBD');
const std::string Sixteen = SerialFrame(std::string(14, '\x11'), '\xBF');

INSTANTIATE_TEST_SUITE_P(
    Cases, SerialPeerTest,
    ::testing::Values(PeerCase{"FrameWithoutEcho", SerialFrame(Timestamp, '\xBD'), SerialFrame(Timestamp, '\xBD'), ptColdfire},
                      // The length byte counts the bytes without their escapes.
                      PeerCase{"EscapedFrame", Escaped, Escaped, ptColdfire},
                      // A broken piece is dropped; the next good frame decides.
                      PeerCase{"BrokenPieceThenFrame", "\x07\x01\x02\xBF" + SerialFrame(Timestamp, '\xBD'),
                               SerialFrame(Timestamp, '\xBD'), ptColdfire},
                      // Sixteen bytes without an end byte and without "ZCT2": still Coldfire.
                      PeerCase{"LongFrameStart", Sixteen, Sixteen, ptColdfire}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(SerialDeviceTest, MissingPortFailsToOpen) {
  device = NewDevice("/dev/no-such-serial-port");
  std::string error;
  EXPECT_FALSE(device->OpenPort(error));
  EXPECT_TRUE(error.starts_with("Error open Serial Device /dev/no-such-serial-port")) << error;
  EXPECT_EQ(device->ErrorCode(), QV_System_Err);
  EXPECT_FALSE(device->PortIsOpened());
}

TEST_F(SerialDeviceTest, SilentInstrumentIsAHardwareFaultAfterOneSecond) {
  Open();
  EXPECT_FALSE(device->CheckDeviceClosed());
  ExpectSilenceFaultAfterOneSecond();
}

TEST_F(SerialDeviceTest, InstrumentThatReportsPassesTheDataCheck) {
  Open();
  device->IncReportCounter();
  clock.Advance(1s);
  EXPECT_FALSE(device->CheckDeviceClosed());
  clock.Advance(10s);
  EXPECT_FALSE(device->CheckDeviceClosed());
}

TEST_F(SerialDeviceTest, UnpluggingInterruptsAndWritesFail) {
  Open();
  pair->Unplug();
  EXPECT_TRUE(WaitForError(QV_Err_DataTransferInterrupted));
  EXPECT_EQ(device->ErrorMessage(), "Data transfer interrupted. Please check connection cable");
  EXPECT_TRUE(device->RecoverNeeded());
  EXPECT_FALSE(device->DeviceWrite("\xBF"));
  EXPECT_EQ(device->ErrorCode(), QV_Err_DataTransferInterrupted);
  // The port is gone for good: reopening after the pause fails and the interruption stays.
  clock.Advance(500ms);
  EXPECT_FALSE(device->CheckDeviceClosed());
  EXPECT_EQ(device->ErrorCode(), QV_Err_DataTransferInterrupted);
  EXPECT_TRUE(log.Contains("TQV_SerialDevice.CheckDeviceClosed -> ReOpen"));
  EXPECT_TRUE(device->ClosePort());
  EXPECT_FALSE(device->PortIsOpened());
}

TEST_F(SerialDeviceTest, PluggedBackPortIsReopenedAndDataRecover) {
  UseFixedPath();
  Open();
  instrument->Write(SerialFrame(Timestamp, '\xBF'));
  ReadBytes(SerialFrame(Timestamp, '\xBF').size());
  instrument.reset();
  pair->Unplug();
  ASSERT_TRUE(WaitForError(QV_Err_DataTransferInterrupted));
  Plug();
  EXPECT_FALSE(device->CheckDeviceClosed());  // still within the pause
  EXPECT_FALSE(log.Contains("TQV_SerialDevice.CheckDeviceClosed ReOpen ok"));
  clock.Advance(500ms);
  EXPECT_FALSE(device->CheckDeviceClosed());
  EXPECT_TRUE(log.Contains("TQV_SerialDevice.CheckDeviceClosed ReOpen ok"));
  const std::string frame = SerialFrame(Timestamp, '\xBD');
  instrument->Write(frame);
  EXPECT_EQ(ReadBytes(frame.size()), frame);
  EXPECT_EQ(device->ErrorCode(), QV_No_Err_Recovered);
  EXPECT_EQ(device->ErrorMessage(), "Data transmission recovered");
  EXPECT_FALSE(device->RecoverNeeded());
}

TEST_F(SerialDeviceTest, LineLostAgainBeforeItsFirstByteIsReopenedAgain) {
  UseFixedPath();
  Open();
  const std::string frame = SerialFrame(Timestamp, '\xBF');
  instrument->Write(frame);
  ASSERT_EQ(ReadBytes(frame.size()), frame);
  Unplug();
  ASSERT_TRUE(ReadUntil([&] { return LineLosses() == 1; }));
  Plug();
  ReopenAfterPause(1);
  ASSERT_EQ(ReOpens(), 1u);

  Unplug();
  ASSERT_TRUE(ReadUntil([&] { return LineLosses() == 2; }));
  Plug();
  device->CheckDeviceClosed();  // closes what is left of the line and pauses
  ReopenAfterPause(2);
  EXPECT_EQ(ReOpens(), 2u);
  instrument->Write(frame);
  EXPECT_EQ(ReadBytes(frame.size()), frame);
  EXPECT_EQ(device->ErrorCode(), QV_No_Err_Recovered);
  EXPECT_FALSE(device->RecoverNeeded());
}

TEST_F(SerialDeviceTest, SilentReopenedPortIsAHardwareFaultAfterOneSecond) {
  UseFixedPath();
  Open();
  device->IncReportCounter();  // the instrument talked before the unplug
  Unplug();
  ASSERT_TRUE(ReadUntil([&] { return LineLosses() == 1; }));
  Plug();
  EXPECT_TRUE(ReopenAfterPause(1));
  ASSERT_EQ(ReOpens(), 1u);
  device->QuitError();
  ExpectSilenceFaultAfterOneSecond();
}

TEST_F(SerialDeviceTest, ReopenedLineTakesTheWakeUpBeforeItsFirstByte) {
  UseFixedPath();
  Open();
  Unplug();
  ASSERT_TRUE(ReadUntil([&] { return LineLosses() == 1; }));
  Plug();
  ReopenAfterPause(1);
  ASSERT_EQ(ReOpens(), 1u);
  EXPECT_TRUE(device->DeviceWrite("\xBC"));
  EXPECT_EQ(instrument->Read(1), "\xBC");
}

// The report thread's view: the decoder reads the device every 20 ms and every result other than
// QV_No_Err becomes a user message (and a popup).
class SerialLineMessagesTest : public SerialDeviceTest {
 protected:
  void Step(std::chrono::milliseconds advance) {
    std::string text;
    const TQV_Result result = decoder->DeviceGetReport(text);
    if (result != QV_No_Err) messages.push_back(QV_ResultName(result) + ": " + text);
    else if (!text.empty()) ++reports;
    clock.Advance(advance);
    std::this_thread::sleep_for(1ms);
  }
  // Device time passing in 20 ms steps.
  void StepFor(std::chrono::milliseconds span) {
    for (auto t = 0ms; t < span; t += 20ms) Step(20ms);
  }
  // Calls without device time passing until `done` holds; the reader thread acts in real time.
  template <typename Done>
  bool StepUntil(Done done) {
    for (const auto end = std::chrono::steady_clock::now() + 2s; std::chrono::steady_clock::now() < end;) {
      Step(0ms);
      if (done()) return true;
    }
    return false;
  }

  std::unique_ptr<TQV_ReportDevice> decoder;
  std::vector<std::string> messages;
  int reports = 0;
};

TEST_F(SerialLineMessagesTest, OneInterruptionGivesOneMessageAndOneRecovery) {
  UseFixedPath();
  Open();
  decoder = std::make_unique<TQV_ReportDevice>(device.get(), nullptr, clock);
  instrument->Write(SerialFrame(Timestamp, '\xBF'));
  ASSERT_TRUE(StepUntil([&] { return reports == 1; }));

  Unplug();
  ASSERT_TRUE(StepUntil([&] { return !messages.empty(); }));
  StepFor(3s);  // reopen attempts and wake-ups fail while the cable is out
  EXPECT_EQ(messages.size(), 1u) << "one interruption, one message";
  Plug();
  StepFor(600ms);
  ASSERT_EQ(ReOpens(), 1u);
  Unplug();  // gone again before the first byte
  ASSERT_TRUE(StepUntil([&] { return LineLosses() == 2; }));
  StepFor(1s);
  Plug();
  StepFor(600ms);
  ASSERT_EQ(ReOpens(), 2u);
  instrument->Write(SerialFrame(Timestamp, '\xBD'));
  ASSERT_TRUE(StepUntil([&] { return reports == 2 && messages.size() == 2; }));
  StepFor(2s);  // the instrument has reported since the reopen: no data check fires

  EXPECT_EQ(messages, (std::vector<std::string>{
                          "QV_Err_DataTransferInterrupted: Data transfer interrupted. Please check connection cable",
                          "QV_No_Err_Recovered: Data transmission recovered"}));
}

}  // namespace

namespace {

// A measurement block of the network-module instrument at a buffer address (in 32-bit words); three
// values make the next block start 10 words on. The test opens with one at 0, then the answer to the
// hardware-feature read at 10; the stream goes on at 16.
std::string BlockAt(uint32_t address) { return BuildTransmitBlock(0x12, 0, 0, address, std::string(3 * 8, '\x11')); }
const std::string HardFeatureRead = std::string("\x04\x85" "Ei\x05", 5);

class SerialNetworkModuleTest : public SerialDeviceTest {
 protected:
  // Opens, sends the first blocks and waits until the device knows the peer and asked for its
  // hardware features.
  void OpenNetworkModule(const std::string& first) {
    Open();
    instrument->Write(first);
    ASSERT_TRUE(ReadUntil([&] { return device->PeerType() == ptESP; }));
    EXPECT_EQ(AnsiToHex(instrument->Read(HardFeatureRead.size())), AnsiToHex(HardFeatureRead));
    // The answer, the block after the first one, ends the wait for it; it is no report.
    instrument->Write(BuildTransmitBlock('x', 'i' | 5 << 8, 0, 10, std::string("\x21\x00\x00\x00", 4)));
    ASSERT_TRUE(WaitUntil([&] { return device->HardFeature32() == 0x21; }));
  }

  // Waits in real time without reading, as the decoder of a network-module line reads the buffer.
  template <typename Done>
  static bool WaitUntil(Done done) {
    for (int i = 0; i < 400 && !done(); ++i) std::this_thread::sleep_for(5ms);
    return done();
  }

  // What the decoder finds in the receive buffer once `count` bytes are there.
  std::string Received(size_t count) {
    for (int i = 0; i < 400 && device->BufferAmount() < count; ++i) std::this_thread::sleep_for(5ms);
    device->ReceiveBufferCleared();
    return device->ReceiveBuffer().ReadAvailable(100000);
  }

  static std::string Resumption(uint32_t address) {
    return std::string{'\x04', '\x73', char(address >> 24), char(address >> 16), char(address >> 8), char(address)};
  }
};

TEST_F(SerialNetworkModuleTest, BlocksReachTheDecoderWhole) {
  OpenNetworkModule("\x01" + BlockAt(0));
  instrument->Write(BlockAt(16).substr(0, 9));
  std::this_thread::sleep_for(20ms);
  instrument->Write(BlockAt(16).substr(9));
  EXPECT_EQ(AnsiToHex(Received(2 * BlockAt(0).size())), AnsiToHex(BlockAt(0) + BlockAt(16)));
  EXPECT_EQ(device->PeerRepeatAddr(), 26u);
}

TEST_F(SerialNetworkModuleTest, ChecksumErrorAsksToResendFromTheLastGoodBlock) {
  OpenNetworkModule(BlockAt(0));
  std::string broken = BlockAt(16);
  broken[20] ^= 0x01;
  instrument->Write(broken + BlockAt(26));
  EXPECT_EQ(AnsiToHex(instrument->Read(6)), AnsiToHex(Resumption(16)));
  EXPECT_TRUE(WaitUntil([&] { return device->ErrorCode() == QV_Err_DataTransferInterrupted; }));
  EXPECT_EQ(device->ErrorMessage(), "Data transfer interrupted. Please check connection cable");
  device->QuitError();
  // The instrument resends from the asked address; blocks in flight before it are dropped.
  instrument->Write(BlockAt(36) + BlockAt(16) + BlockAt(26));
  EXPECT_EQ(AnsiToHex(Received(3 * BlockAt(0).size())), AnsiToHex(BlockAt(0) + BlockAt(16) + BlockAt(26)));
  EXPECT_EQ(device->ErrorCode(), QV_No_Err_Recovered);
  EXPECT_EQ(device->ErrorMessage(), "Data transmission recovered");
}

TEST_F(SerialNetworkModuleTest, SilentLineAsksToResendAgainAndAgain) {
  OpenNetworkModule(BlockAt(0));
  Received(BlockAt(0).size());
  for (int round = 0; round < 2; ++round) {
    clock.Advance(std::chrono::milliseconds(TQV_SerialDevice::ESPSilenceMs + 50));
    EXPECT_EQ(AnsiToHex(instrument->Read(6)), AnsiToHex(Resumption(16))) << "round " << round;
  }
}

TEST_F(SerialNetworkModuleTest, CommandsGoOutLengthFramedOneReplyAtATime) {
  OpenNetworkModule(BlockAt(0));
  ASSERT_TRUE(device->DeviceWrite("\x01"));  // dropped: the instrument sent its version itself
  ASSERT_TRUE(device->DeviceWrite("\x22"));
  ASSERT_TRUE(device->DeviceWrite("\x33"));
  EXPECT_EQ(AnsiToHex(instrument->Read(2)), "0122");
  // The rate command waits for a measurement that shows the new interval.
  EXPECT_EQ(instrument->Read(2, 100), "");
  instrument->Write(BuildTransmitBlock(0x22, 0, 0, 16, std::string(3 * 8, '\x11')));
  EXPECT_EQ(AnsiToHex(instrument->Read(2)), "0133");
}

TEST_F(SerialDeviceTest, WakeUpBeforeTheFirstAnswerStaysOffTheLine) {
  Open();
  // A network-module instrument would read 0xBC as the length of a command.
  EXPECT_TRUE(device->DeviceWrite("\xBC"));
  EXPECT_EQ(instrument->Read(1, 100), "");
}

TEST_F(SerialNetworkModuleTest, CloseStopsTheInstrument) {
  OpenNetworkModule(BlockAt(0));
  EXPECT_TRUE(device->ClosePort());
  EXPECT_EQ(AnsiToHex(instrument->Read(3)), "028560");
}

}  // namespace

#include "devices/QV_UsbDevice.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "CdcLine.h"
#include "EmulatedInstrument.h"
#include "EmulatorFrames.h"
#include "core/CircularBuffer.h"
#include "core/NamedEvent.h"
#include "devices/QV_TtyLine.h"
#include "devices/QV_UsbFrames.h"
#include "devices/QV_TransmitBlock.h"
#include "support/FrameBuilder.h"
#include "support/LogCapture.h"
#include "support/PtyPair.h"  // TPtyEnd
#include "support/PtyRelay.h"
#include "support/TempDir.h"

using namespace std::chrono_literals;

namespace {

TUsbInstrument CdcInstrument(const std::string& node, uint16_t pid) {
  TUsbInterface i;
  i.Node = node;
  i.Vid = 0x16D0;
  i.Pid = pid;
  i.SerialNumber = "ZCT_Lab1";
  return {i, *IdentifyUsb(i.Vid, i.Pid), UsbNickName(i.SerialNumber)};
}

// Short limits so that broken lines and resumptions play out in a fraction of a second.
TUsbTimings FastTimings() {
  TUsbTimings t;
  t.RecoverPauseMs = 20;
  t.LineTimeoutMs = 300;
  t.ColdfireTimeoutCount = 2;
  t.RepeatLimitMs = 400;
  t.CloseStepMs = 20;
  return t;
}

// What one device received, taken apart into transmit blocks, and the errors it raised.
struct TReceived {
  std::vector<TQV_TransmitBlock> Blocks;
  std::vector<std::pair<TQV_Result, std::string>> Errors;
  std::string Pending;

  void Take(TQV_UsbDevice& device) {
    device.CheckDeviceClosed();
    if (device.ErrorCode() != QV_No_Err) {
      Errors.emplace_back(device.ErrorCode(), device.ErrorMessage());
      device.QuitError();
    }
    // As the decoder does: a cleared buffer is acknowledged before reading goes on.
    if (device.ReceiveBufferCleared()) Pending.clear();
    Pending += device.ReceiveBuffer().ReadAvailable(1 << 16);
    while (Pending.size() >= TQV_TransmitBlock::HeaderSize) {
      const size_t size = TransmitBlockSize(Pending);
      if (size == 0 || Pending.size() < size) break;
      TQV_TransmitBlock block;
      if (ParseTransmitBlock(std::string_view(Pending).substr(0, size), block)) Blocks.push_back(block);
      Pending.erase(0, size);
    }
  }
  size_t Measurements() const {
    return std::count_if(Blocks.begin(), Blocks.end(), [](const auto& b) { return b.IsMeasurement(); });
  }
  // Channel 1 of each measurement in order: 1000 + n / 8 for sample n.
  std::vector<double> Channel1() const {
    std::vector<double> v;
    for (const auto& b : Blocks)
      if (b.IsMeasurement() && b.Values.size() >= 8) {
        double x;
        std::memcpy(&x, b.Values.data(), 8);
        v.push_back(x);
      }
    return v;
  }
  bool HasError(TQV_Result code) const {
    return std::any_of(Errors.begin(), Errors.end(), [&](const auto& e) { return e.first == code; });
  }
};

// The network-module instrument (vta-emulator's CDC line) on one end of a socat pty pair, the
// devices under test on the other end, reached through a fixed link so that a replug keeps the path.
class UsbCdcLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    link = dir.File("ttyACM0");
  }
  void TearDown() override {
    if (HasFailure()) for (auto& l : log.Lines()) if (l.find("Delay") == std::string::npos) std::cerr << l << "\n";
    devices.clear();
    instrument.reset();
  }

  void Plug(std::chrono::milliseconds dropAfter = 0ms, bool loseOnReconnect = false) {
    instrument.reset();
    pair = std::make_unique<TPtyRelay>(link);
    ASSERT_EQ(pair->Error(), "");
    TEmulatorSettings s;
    s.SerialPath = pair->InstrumentPath();
    s.UsbCdc = true;
    s.IntervalMs = 10;
    s.Channels = 3;
    s.DropAfter = dropAfter;
    s.LoseOnReconnect = loseOnReconnect;
    instrument = std::make_unique<TEmulatedInstrument>(s);
    ASSERT_EQ(instrument->Start(), "");
  }

  TQV_UsbDevice& Open(uint8_t requestedUser = 255) {
    devices.push_back(std::make_unique<TQV_UsbDevice>(log.Id(), 0, std::make_shared<TEvent>(), true,
                                                      CdcInstrument(link, 0x0612), nullptr, FastTimings()));
    received.emplace_back();
    TQV_UsbDevice& d = *devices.back();
    d.SetUserID(requestedUser);
    std::string error;
    EXPECT_TRUE(d.OpenPort(error)) << error;
    return d;
  }

  // Lets the devices take what arrives until `done` holds or the limit passes.
  bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 3000ms) {
    for (const auto end = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < end;) {
      for (size_t i = 0; i < devices.size(); ++i)
        if (devices[i]) received[i].Take(*devices[i]);
      if (done()) return true;
      std::this_thread::sleep_for(5ms);
    }
    return false;
  }
  void PumpFor(std::chrono::milliseconds span) { PumpUntil([] { return false; }, span); }
  bool Registered(TQV_UsbDevice& d) { return d.LoginState() == ls_registered; }

  TTempDir dir;
  TLogCapture log;
  std::string link;
  std::unique_ptr<TPtyRelay> pair;
  std::unique_ptr<TEmulatedInstrument> instrument;
  std::vector<std::unique_ptr<TQV_UsbDevice>> devices;
  std::vector<TReceived> received;
};

TEST_F(UsbCdcLineTest, LogsOnAndReceivesItsStreamAsWholeTransmitBlocks) {
  Plug();
  TQV_UsbDevice& a = Open();
  EXPECT_EQ(a.CmdResponse(), crt_login) << "the log-on waits for its answer";
  ASSERT_TRUE(PumpUntil([&] { return Registered(a) && received[0].Measurements() >= 5; }));
  EXPECT_EQ(a.UserID(), 1);
  EXPECT_EQ(a.CmdResponse(), crt_none) << "the version ended the log-on wait";
  EXPECT_EQ(received[0].Blocks.front().Type, TQV_TransmitBlock::btMessage) << "the version comes first";
  const auto v = received[0].Channel1();
  for (size_t i = 1; i < v.size(); ++i) EXPECT_DOUBLE_EQ(v[i] - v[i - 1], 0.125) << "sample " << i;
}

TEST_F(UsbCdcLineTest, TwoUsersShareTheLineEachReceivingOnlyItsOwnBlocks) {
  Plug();
  TQV_UsbDevice& a = Open();
  ASSERT_TRUE(PumpUntil([&] { return Registered(a); }));
  TQV_UsbDevice& b = Open();
  ASSERT_TRUE(PumpUntil([&] { return Registered(b) && received[0].Measurements() >= 10 && received[1].Measurements() >= 10; }));
  EXPECT_EQ(a.UserID(), 1);
  EXPECT_EQ(b.UserID(), 2);
  for (size_t i = 0; i < 2; ++i)
    for (const auto& block : received[i].Blocks)
      ASSERT_EQ(block.UserIdField() + 1, devices[i]->UserID()) << "device " << i << " got a block of another user";
}

TEST_F(UsbCdcLineTest, CommandsOfAnotherUserSwitchTheLineToItFirst) {
  Plug();
  TQV_UsbDevice& a = Open();
  ASSERT_TRUE(PumpUntil([&] { return Registered(a); }));
  TQV_UsbDevice& b = Open();
  ASSERT_TRUE(PumpUntil([&] { return Registered(b); }));
  // A commands last; then B's stop must reach user 2, not the line's last user 1.
  ASSERT_TRUE(a.DeviceWrite("\x01"));
  PumpFor(100ms);
  ASSERT_TRUE(b.DeviceWrite(std::string("\x85\x60", 2)));
  PumpFor(150ms);
  const size_t aBefore = received[0].Measurements(), bBefore = received[1].Measurements();
  PumpFor(300ms);
  EXPECT_GT(received[0].Measurements(), aBefore + 5) << "user 1 streams on";
  EXPECT_EQ(received[1].Measurements(), bBefore) << "user 2 stopped";
  EXPECT_TRUE(log.Contains("TQV_UsbThread.SendNextCommand switch to: 2"));
}

TEST_F(UsbCdcLineTest, AUserRefusedByTheInstrumentIsMarkedTooManyUsers) {
  Plug();
  TQV_UsbDevice& a = Open(1);
  ASSERT_TRUE(PumpUntil([&] { return Registered(a); }));
  TQV_UsbDevice& b = Open(1);
  ASSERT_TRUE(PumpUntil([&] { return b.TooManyUsers(); }));
  PumpFor(50ms);
  ASSERT_FALSE(received[1].Blocks.empty());
  EXPECT_EQ(received[1].Blocks.front().Type, TQV_TransmitBlock::btStatus);
  EXPECT_EQ(received[1].Blocks.front().W, 254) << "the refusal reaches the refused device's decoder";
  EXPECT_FALSE(a.TooManyUsers());
  ASSERT_TRUE(b.DeviceWrite("\x41"));
  PumpFor(100ms);
  EXPECT_TRUE(log.Contains("ERROR: TQV_UsbThread.SendNextCommand TooManyUsers, Kdo abweisen: 41 (255)"))
      << "the refused user's commands are dropped";
}

TEST_F(UsbCdcLineTest, AResumptionAfterASilentLineContinuesWithoutLoss) {
  Plug(250ms);
  TQV_UsbDevice& a = Open();
  ASSERT_TRUE(PumpUntil([&] { return log.Contains("TQV_UsbThread.ReadESP reset IsReconnected"); }, 4000ms));
  PumpFor(200ms);
  EXPECT_TRUE(received[0].HasError(QV_Err_DataTransferInterrupted));
  EXPECT_FALSE(received[0].HasError(QV_Err_Reconnected)) << "nothing was lost";
  const auto v = received[0].Channel1();
  ASSERT_GT(v.size(), 20u);
  for (size_t i = 1; i < v.size(); ++i) ASSERT_DOUBLE_EQ(v[i] - v[i - 1], 0.125) << "sample " << i;
  EXPECT_EQ(a.UserID(), 1);
}

TEST_F(UsbCdcLineTest, AResumptionThatDoesNotContinueReportsTheLossAndRestarts) {
  Plug(600ms, true);
  Open();
  ASSERT_TRUE(PumpUntil([&] { return received[0].HasError(QV_Err_Reconnected); }, 4000ms));
  const auto& errors = received[0].Errors;
  const auto lost = std::find_if(errors.begin(), errors.end(), [](const auto& e) { return e.first == QV_Err_Reconnected; });
  EXPECT_EQ(lost->second, "Data lost! Data transfer restarted");
  const size_t before = received[0].Measurements();
  ASSERT_TRUE(PumpUntil([&] { return received[0].Measurements() > before + 5; })) << "the data flow again";

}

TEST_F(UsbCdcLineTest, AnUnpluggedLineIsReopenedWhenTheInstrumentIsBack) {
  Plug();
  TQV_UsbDevice& a = Open();
  ASSERT_TRUE(PumpUntil([&] { return received[0].Measurements() >= 3; }));
  instrument.reset();
  pair->Unplug();
  ASSERT_TRUE(PumpUntil([&] { return received[0].HasError(QV_Err_DataTransferInterrupted); }));
  Plug();
  const size_t before = received[0].Measurements();
  // A fresh instrument knows nothing of the old position: the loss is reported and the stream restarts.
  ASSERT_TRUE(PumpUntil([&] { return received[0].Measurements() > before + 5; }, 5000ms));
  EXPECT_TRUE(received[0].HasError(QV_Err_Reconnected));
  EXPECT_TRUE(a.PortIsOpened());
}

TEST_F(UsbCdcLineTest, ASecondProgramFindsTheLineInUse) {
  Plug();
  Open();
  TQV_TtyLine other;
  std::string reason;
  bool inUse = false;
  EXPECT_FALSE(other.Open(link, reason, inUse));
  EXPECT_TRUE(inUse);
}

TEST_F(UsbCdcLineTest, AColdfireLineIsNotShared) {
  Plug();
  devices.push_back(std::make_unique<TQV_UsbDevice>(log.Id(), 0, std::make_shared<TEvent>(), true,
                                                    CdcInstrument(link, 0x0610), nullptr, FastTimings()));
  devices.push_back(std::make_unique<TQV_UsbDevice>(log.Id(), 0, std::make_shared<TEvent>(), true,
                                                    CdcInstrument(link, 0x0610), nullptr, FastTimings()));
  std::string error;
  ASSERT_TRUE(devices[0]->OpenPort(error)) << error;
  EXPECT_FALSE(devices[1]->OpenPort(error));
  EXPECT_EQ(devices[1]->ErrorCode(), QV_TooManyUser);
  EXPECT_EQ(error, "Error open Q+V device \"" + link + "\": USB device is already in use");
}

}  // namespace

namespace {

// A Coldfire instrument on its CDC line, played block by block by the test.
class UsbColdfireLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pair = std::make_unique<TPtyRelay>();
    ASSERT_EQ(pair->Error(), "");
    instrument = std::make_unique<TPtyEnd>(pair->InstrumentPath());
    device = std::make_unique<TQV_UsbDevice>(log.Id(), 0, std::make_shared<TEvent>(), true,
                                             CdcInstrument(pair->HostPath(), 0x0610), nullptr, FastTimings());
    std::string error;
    ASSERT_TRUE(device->OpenPort(error)) << error;
    EXPECT_EQ(instrument->Read(2), std::string("\x01\xBE", 2)) << "the framed log-on";
  }
  // WritePtr with user u in bits 18-17.
  static uint32_t WritePtrOf(int user) { return 0x100u | uint32_t(user - 1) << 17; }
  void Send(const std::string& data, uint32_t flags = 0, int user = 1) {
    instrument->Write(EmulatorFrames::CdcBlock(data, {0x20, flags, WritePtrOf(user), 0x10}));
  }
  std::string Received(size_t atLeast) {
    std::string bytes;
    for (const auto end = std::chrono::steady_clock::now() + 2s; bytes.size() < atLeast && std::chrono::steady_clock::now() < end;) {
      device->ReceiveBufferCleared();
      bytes += device->ReceiveBuffer().ReadAvailable(4096);
      std::this_thread::sleep_for(2ms);
    }
    return bytes;
  }

  TLogCapture log;
  std::unique_ptr<TPtyRelay> pair;
  std::unique_ptr<TPtyEnd> instrument;
  std::unique_ptr<TQV_UsbDevice> device;
};

TEST_F(UsbColdfireLineTest, TheNewBytesOfEachBlockReachTheUserOfItsHeader) {
  Send("frame-one");
  Send("frame-two", 0, 1);
  EXPECT_EQ(Received(18), "frame-oneframe-two");
  EXPECT_EQ(device->UserID(), 1) << "taken from WritePtr";
  EXPECT_EQ(device->CFBufferAmount(), 0xF0u);
}

TEST_F(UsbColdfireLineTest, BrokenHeadersAreReportedAsLostFramesWithoutWaitingForTheirLength) {
  std::string bad = EmulatorFrames::CdcBlock("x", {0, 0, WritePtrOf(1), 0});
  bad[4] = '\x7F';  // a window of 2 GB
  instrument->Write(bad);
  Send("after");
  EXPECT_EQ(Received(QV_UsbFrames::FramesLostReport().size() + 5), QV_UsbFrames::FramesLostReport() + "after");
}

TEST_F(UsbColdfireLineTest, ATooManyUsersReportMarksTheDeviceAndKeepsItsFirst21Bytes) {
  std::string report = std::string("\x00\x13\x7F\xFA", 4) + "Too Many Users!!!";
  ASSERT_EQ(report.size(), 21u);
  const std::string table("\x00\x00\x00\x02\x0A\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00", 16);
  Send(report + table);
  EXPECT_EQ(Received(21), report);
  EXPECT_TRUE(device->TooManyUsers());
  EXPECT_EQ(device->UserConnected(), "Connected: USB     10.0.0.1     ---     ---     ");
}

TEST_F(UsbColdfireLineTest, ABufferClearingCommandDropsDataUntilTheInstrumentClearedItsBuffer) {
  Send("old");
  ASSERT_EQ(Received(3), "old");
  ASSERT_TRUE(device->DeviceWrite("\xA2"));
  EXPECT_EQ(instrument->Read(2), "\x01\xA2");
  std::this_thread::sleep_for(50ms);
  Send("stale");
  Send("fresh", 1);
  EXPECT_EQ(Received(5), "fresh");
  // 0xBE is no buffer-clearing command although bit 7 is set.
  ASSERT_TRUE(device->DeviceWrite("\xBE"));
  EXPECT_EQ(instrument->Read(2), "\x01\xBE");
  std::this_thread::sleep_for(50ms);
  Send("kept");
  EXPECT_EQ(Received(4), "kept");
}

TEST_F(UsbColdfireLineTest, ALineThatNeverDeliveredDataIsAHardwareFault) {
  instrument.reset();
  pair->Unplug();
  for (const auto end = std::chrono::steady_clock::now() + 2s; std::chrono::steady_clock::now() < end;) {
    if (device->CheckDeviceClosed()) break;
    std::this_thread::sleep_for(5ms);
  }
  EXPECT_EQ(device->ErrorCode(), QV_HardwareFault);
  EXPECT_EQ(device->ErrorMessage(), "UsbDevice does not send measurement data: Please check measurement hardware!");
}

}  // namespace

namespace {

// A network-module line played block by block: what the emulator would not send.
class UsbEspLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pair = std::make_unique<TPtyRelay>();
    ASSERT_EQ(pair->Error(), "");
    instrument = std::make_unique<TPtyEnd>(pair->InstrumentPath());
    device = std::make_unique<TQV_UsbDevice>(log.Id(), 0, std::make_shared<TEvent>(), true,
                                             CdcInstrument(pair->HostPath(), 0x0612), nullptr, FastTimings());
    std::string error;
    ASSERT_TRUE(device->OpenPort(error)) << error;
    EXPECT_EQ(instrument->Read(2), std::string("\x01\xBE", 2));
    instrument->Write(EspStatus(255) + EspVersionBlock(0x1234ABCD, 1));
    for (const auto end = std::chrono::steady_clock::now() + 2s;
         device->LoginState() != ls_registered && std::chrono::steady_clock::now() < end;)
      std::this_thread::sleep_for(2ms);
    ASSERT_EQ(device->LoginState(), ls_registered);
  }

  TLogCapture log;
  std::unique_ptr<TPtyRelay> pair;
  std::unique_ptr<TPtyEnd> instrument;
  std::unique_ptr<TQV_UsbDevice> device;
};

TEST_F(UsbEspLineTest, ABlockWithTooManyValuesIsReportedAndTheNextBlockIsRead) {
  std::string bad = EspMeasurement(0x09, 0, 2);
  bad[5] = static_cast<char>(200);  // 200 values: beyond any block
  const std::string good = EspMeasurement(0x09, 1000, 2, 0, 0x2A);
  instrument->Write(bad + good);
  TReceived received;
  for (const auto end = std::chrono::steady_clock::now() + 2s;
       received.Measurements() == 0 && std::chrono::steady_clock::now() < end;)
    received.Take(*device);
  received.Take(*device);  // an error raised while the block was read is taken now
  EXPECT_EQ(received.Measurements(), 1u);
  ASSERT_TRUE(received.HasError(QV_Err_BadFormat));
  EXPECT_EQ(received.Errors.front().second, "Read error on USB. USB frames lost");
}

TEST_F(UsbEspLineTest, AUserIdOfTheInstrumentBeyondFourIsDropped) {
  // User field 15 is user 16: no slot of the line.
  instrument->Write(EspMeasurement(0x09, 0, 2, 0, 0xF00000) + EspMeasurement(0x09, 1000, 2, 0, 0x2A));
  TReceived received;
  for (const auto end = std::chrono::steady_clock::now() + 2s;
       received.Measurements() == 0 && std::chrono::steady_clock::now() < end;)
    received.Take(*device);
  EXPECT_EQ(received.Measurements(), 1u);
  EXPECT_TRUE(log.Contains("ERROR: Invalid user ID 16 -> ignore report"));
}

}  // namespace

namespace {

TEST_F(UsbEspLineTest, TheNextBufferAddressWrapsAtTheEighteenBitPointer) {
  // 0x3FFFA + 6 words (a block of one value) wraps to 0: the next block continues the stream.
  const size_t before = log.Lines().size();
  instrument->Write(EspMeasurement(0x09, 0, 1, 0, 0x3FFFA) + EspMeasurement(0x09, 1000, 1, 0, 0));
  TReceived received;
  for (const auto end = std::chrono::steady_clock::now() + 2s;
       received.Measurements() < 2 && std::chrono::steady_clock::now() < end;)
    received.Take(*device);
  ASSERT_EQ(received.Measurements(), 2u);
  const std::vector<std::string> lines = log.Lines();
  for (size_t i = before; i < lines.size(); ++i)
    EXPECT_EQ(lines[i].find("found=0x00000"), std::string::npos) << "the block at 0 was not expected: " << lines[i];
}

}  // namespace

namespace {

TEST(UsbEspLogOn, ALogOnThatIsNeverAnsweredEndsTheLineAsAHardwareFault) {
  TLogCapture log;
  TPtyRelay relay;
  ASSERT_EQ(relay.Error(), "");
  TPtyEnd silent(relay.InstrumentPath());
  TUsbTimings timings = FastTimings();
  timings.LoginLimitMs = 150;  // below the line's silence limit, which would end the line as well
  TQV_UsbDevice device(log.Id(), 0, std::make_shared<TEvent>(), true, CdcInstrument(relay.HostPath(), 0x0612),
                       nullptr, timings);
  std::string error;
  ASSERT_TRUE(device.OpenPort(error)) << error;
  bool closed = false;
  for (const auto end = std::chrono::steady_clock::now() + 3s; !closed && std::chrono::steady_clock::now() < end;) {
    closed = device.CheckDeviceClosed();
    std::this_thread::sleep_for(5ms);
  }
  EXPECT_TRUE(closed);
  EXPECT_EQ(device.ErrorCode(), QV_HardwareFault);
  EXPECT_TRUE(log.Contains("ERROR: TQV_UsbThread.ReadESPNoReceive wait login expired: terminate Thread"));
}

}  // namespace

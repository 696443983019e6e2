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
#include "protocol/QV_TransmitBlock.h"
#include "support/LogCapture.h"
#include "support/PtyPair.h"
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
    if (!TPtyPair::SocatAvailable()) GTEST_SKIP() << "socat is not installed (scripts/install-deps)";
    link = dir.File("ttyACM0");
  }
  void TearDown() override {
    if (HasFailure()) for (auto& l : log.Lines()) if (l.find("Delay") == std::string::npos) std::cerr << l << "\n";
    devices.clear();
    instrument.reset();
  }

  void Plug(std::chrono::milliseconds dropAfter = 0ms, bool loseOnReconnect = false) {
    instrument.reset();
    pair = std::make_unique<TPtyPair>(link);
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
  std::unique_ptr<TPtyPair> pair;
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

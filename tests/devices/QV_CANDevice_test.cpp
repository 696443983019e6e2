#include "devices/QV_CANDevice.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <thread>

#include "core/CircularBuffer.h"
#include "devices/QV_CANDeviceMenloItem.h"
#include "support/FrameBuilder.h"
#include "support/LogCapture.h"

using namespace std::chrono_literals;

namespace {

constexpr uint32_t kReceiveF0 = 0x820FFC0;

// A CAN bus in memory: the test puts frames in the adapter's receive queue and reads what was
// written. It outlives the adapters, which the item frees with its last device.
class TFakeBus {
 public:
  void Receive(uint32_t id, const std::string& data, uint8_t type = TCanAdapter::MsgExtended) {
    std::lock_guard lock(FLock);
    FQueue.push_back({id, type, data});
  }
  std::vector<TCanFrame> Written() {
    std::lock_guard lock(FLock);
    return FWritten;
  }
  void FailReads(const std::string& error) {
    std::lock_guard lock(FLock);
    FReadError = error;
  }
  TCanReadResult Read(TCanFrame& frame, std::string& error) {
    std::lock_guard lock(FLock);
    if (!FReadError.empty()) {
      error = FReadError;
      return TCanReadResult::Failed;
    }
    if (FQueue.empty()) return TCanReadResult::Empty;
    frame = FQueue.front();
    FQueue.pop_front();
    return TCanReadResult::Frame;
  }
  void Write(const TCanFrame& frame) {
    std::lock_guard lock(FLock);
    FWritten.push_back(frame);
    if (frame.Data.size() > 1 && uint8_t(frame.Data[1]) == 0xBE)
      for (const TCanFrame& reply : LogOnReply) FQueue.push_back(reply);
  }

  std::vector<TCanFrame> LogOnReply;  // the instrument's answer to a log-on
  std::atomic<bool> Chatter = false;  // the instrument streams to another host
  std::string Condition;              // why the adapter cannot be used, or empty

 private:
  std::mutex FLock;
  std::deque<TCanFrame> FQueue;
  std::vector<TCanFrame> FWritten;
  std::string FReadError;
};

class TFakeCanAdapter : public TCanAdapter {
 public:
  explicit TFakeCanAdapter(TFakeBus& bus) : FBus(bus) {}
  std::string Name() const override { return "fake"; }
  bool Initialize(std::string&) override { return true; }
  void Uninitialize() override {}
  TCanReadResult Read(TCanFrame& frame, std::string& error) override { return FBus.Read(frame, error); }
  bool Write(const TCanFrame& frame, std::string&) override {
    FBus.Write(frame);
    return true;
  }
  bool WaitReceive(std::chrono::milliseconds, std::string&) override {
    std::this_thread::sleep_for(1ms);
    if (FBus.Chatter) FBus.Receive(kReceiveF0, "chatter");
    return true;
  }
  std::string Condition() override { return FBus.Condition; }

 private:
  TFakeBus& FBus;
};

class CANDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TMenloSetup setup;
    setup.CreateAdapter = [this](int32_t) { return std::make_unique<TFakeCanAdapter>(bus); };
    setup.Clock = &clock;
    setup.Limits = {20ms, 1000ms, 3000ms, 5ms};
    TMenloItem::SetSetup(setup);
  }
  void TearDown() override { TMenloItem::SetSetup({}); }

  std::unique_ptr<TQV_CANDeviceItem> Device(uint8_t node = 0xF, uint8_t channel = 0, uint8_t type = 0x20) {
    return std::make_unique<TQV_CANDeviceItem>(log.Id(), 0, nullptr, false, type, channel, node, "Menlo", clock);
  }
  std::unique_ptr<TQV_CANDeviceItem> Opened(uint8_t node = 0xF, uint8_t channel = 0) {
    auto device = Device(node, channel);
    std::string error;
    EXPECT_TRUE(device->OpenPort(error)) << error;
    return device;
  }
  // Waits until the reader has put `count` bytes into the device's receive buffer.
  static bool WaitBytes(TQV_CANDeviceItem& device, uint32_t count) {
    for (int i = 0; i < 2000 && device.ReceiveBuffer().Amount() < count; ++i) std::this_thread::sleep_for(1ms);
    return device.ReceiveBuffer().Amount() >= count;
  }
  static std::string Received(TQV_CANDeviceItem& device) {
    return device.ReceiveBuffer().ReadAnsiString(device.ReceiveBuffer().Amount());
  }

  TLogCapture log;
  TManualClock clock;
  TFakeBus bus;
};

TEST(CANDeviceIds, FollowTheNodeChannelAndType) {
  struct Case {
    uint8_t node, channel, type;
    uint32_t command, receive, heartbeat;
  } cases[] = {
      {0xF, 0, 0x20, 0x320FFC0, 0x820FFC0, 0x920F010},
      {0x0, 3, 0x21, 0x3210FC3, 0x8210FC3, 0x9210010},
  };
  for (const Case& c : cases) {
    TQV_CANDeviceItem device(-1, 0, nullptr, false, c.type, c.channel, c.node, "MENLO");
    EXPECT_EQ(device.CommandID(), c.command);
    EXPECT_EQ(device.ReceiveID(), c.receive);
    EXPECT_EQ(device.HeartbeatID(), c.heartbeat);
  }
  TQV_CANDeviceItem named(-1, 0, nullptr, false, 0x20, 2, 0xA, "menlo");
  EXPECT_EQ(named.Name(), "Menlo A/2");
  EXPECT_EQ(named.ToString(), "QV_CAN: Menlo A/2");
  EXPECT_EQ(named.DevType(), QV_CAN_Menlo);
}

TEST(CANDeviceIds, RefusedAddressesAndNamesSayWhy) {
  struct Case {
    uint8_t node, channel;
    const char* name;
    const char* text;
  } cases[] = {
      {16, 0, "MENLO", "Menlo-CAN device invalid node 16"},
      {0, 4, "MENLO", "Menlo-CAN device invalid channel 4"},
      {0, 0, "BOSCH", "Unknown CAN device: BOSCH"},
  };
  for (const Case& c : cases) {
    try {
      TQV_CANDeviceItem device(-1, 0, nullptr, false, 0x20, c.channel, c.node, c.name);
      ADD_FAILURE() << c.text << " was accepted";
    } catch (const ECANDevice& e) {
      EXPECT_STREQ(e.what(), c.text);
    }
  }
}

TEST(CANDeviceIds, CommandsGoAsLengthByteAndPiecesOfEight) {
  const std::string command(20, 'x');
  const std::vector<std::string> frames = TQV_CANDeviceItem::CommandFrames(command);
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[0].size(), 8u);
  EXPECT_EQ(frames[1].size(), 8u);
  EXPECT_EQ(frames[2].size(), 5u);
  EXPECT_EQ(frames[0][0], '\x14');
  EXPECT_EQ(frames[0].substr(1) + frames[1] + frames[2], command);
  EXPECT_EQ(TQV_CANDeviceItem::CommandFrames(std::string("\xBE", 1)), std::vector<std::string>{std::string("\x01\xBE", 2)});
}

TEST_F(CANDeviceTest, OpenLogsOnAndCloseSendsStopOnTheCommandId) {
  auto device = Opened();
  EXPECT_TRUE(device->PortIsOpened());
  EXPECT_TRUE(device->DeviceWrite(std::string(20, 'c')));
  ASSERT_TRUE(device->ClosePort());
  const std::vector<TCanFrame> written = bus.Written();
  ASSERT_EQ(written.size(), 5u);
  for (const TCanFrame& f : written) {
    EXPECT_EQ(f.Id, 0x320FFC0u);
    EXPECT_EQ(f.MsgType, TCanAdapter::MsgExtended);
  }
  EXPECT_EQ(written[0].Data, std::string("\x01\xBE", 2));
  EXPECT_EQ(written[1].Data[0], '\x14');
  EXPECT_EQ(written[4].Data, std::string("\x02\x85\x60", 3));
  EXPECT_FALSE(device->Connected());
}

TEST_F(CANDeviceTest, FramesReachTheDeviceWhoseIdMatchesBesidesBits24To26) {
  auto device = Opened();
  auto other = Opened(0x3, 1);
  bus.Receive(0xC20FFC0, "abc");  // bits 26-24 differ from the receive id 0x820FFC0
  bus.Receive(kReceiveF0, "def");
  bus.Receive(0x8203FC1, "xyz");  // node 3, channel 1
  bus.Receive(0x8205FC0, "lost");  // nobody's
  ASSERT_TRUE(WaitBytes(*device, 6));
  EXPECT_EQ(Received(*device), "abcdef");
  ASSERT_TRUE(WaitBytes(*other, 3));
  EXPECT_EQ(Received(*other), "xyz");
  EXPECT_EQ(device->PeerType(), ptColdfire);
}

TEST_F(CANDeviceTest, HeartbeatsAndStandardFramesCarryNoData) {
  auto device = Opened();
  bus.Receive(0x920F010, "beat");
  bus.Receive(kReceiveF0, "std", TCanAdapter::MsgStandard);
  bus.Receive(kReceiveF0, "ok");
  ASSERT_TRUE(WaitBytes(*device, 2));
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(Received(*device), "ok");
}

TEST_F(CANDeviceTest, EightZerosFromAColdfireClearTheStream) {
  auto device = Opened();
  bus.Receive(kReceiveF0, "old");
  bus.Receive(kReceiveF0, std::string(8, '\0'));
  bus.Receive(kReceiveF0, "new");
  ASSERT_TRUE(WaitBytes(*device, 3));
  std::this_thread::sleep_for(20ms);
  EXPECT_TRUE(device->ReceiveBufferCleared());  // the decoder learns of the loss
  EXPECT_EQ(Received(*device), "new");
}

TEST_F(CANDeviceTest, AllInUseRefusesTheLogOn) {
  bus.LogOnReply = {{kReceiveF0, TCanAdapter::MsgExtended, "AllInUse"}};
  auto device = Device();
  std::string error;
  EXPECT_FALSE(device->OpenPort(error));
  EXPECT_EQ(error, "Too many users");
  EXPECT_EQ(device->ErrorCode(), QV_TooManyUser);
  EXPECT_FALSE(device->Connected());
}

TEST_F(CANDeviceTest, ANodeAndChannelServeOneDeviceOnly) {
  auto first = Opened();
  auto second = Device();
  std::string error;
  EXPECT_EQ(second->Connect(error), QV_CAN_Err);
  EXPECT_EQ(error, "Menlo-CAN device node 15 and channel 0 already in use");
  // The same node on another channel is another device.
  auto third = Device(0xF, 1);
  EXPECT_EQ(third->Connect(error), QV_No_Err) << error;
}

TEST_F(CANDeviceTest, DataBeforeTheLogOnMeanAnotherHostHasTheChannel) {
  bus.Chatter = true;  // the instrument streams to someone else already
  auto device = Device();
  std::string error;
  EXPECT_EQ(device->Connect(error), QV_CAN_Err);
  EXPECT_EQ(error, "CAN-Channel 0 already in use");
  EXPECT_FALSE(device->Connected());
}

TEST_F(CANDeviceTest, AnAdapterThatCannotBeUsedLeavesTheInstrumentUnreached) {
  bus.Condition = "No PCAN-USB device connected";
  auto device = Device();
  std::string error;
  EXPECT_EQ(device->Connect(error), QV_DeviceNotConnected);
  EXPECT_EQ(error, "Open device via CAN failed. Q+V device is not responding");
  EXPECT_FALSE(device->Connected());
}

TEST_F(CANDeviceTest, SilenceClosesOnlyAfterTheGraceAndTheNoDataLimit) {
  auto device = Opened();
  // Right after the log-on, an empty poll is no reason to close.
  EXPECT_FALSE(device->CheckDeviceClosed());
  clock.Advance(2000ms);
  EXPECT_FALSE(device->CheckDeviceClosed());  // within the start-up grace
  clock.Advance(1001ms);
  EXPECT_TRUE(device->CheckDeviceClosed());
  EXPECT_EQ(device->ErrorCode(), QV_HardwareFault);
  EXPECT_EQ(device->ErrorMessage(), "Nothing received, please check CAN-IDs, CAN node!");
}

TEST_F(CANDeviceTest, AFrameWithinTheLastSecondKeepsTheDeviceOpen) {
  auto device = Opened();
  clock.Advance(3500ms);
  bus.Receive(kReceiveF0, "x");
  ASSERT_TRUE(WaitBytes(*device, 1));
  clock.Advance(1000ms);
  EXPECT_FALSE(device->CheckDeviceClosed());
  clock.Advance(1ms);
  EXPECT_TRUE(device->CheckDeviceClosed());
  EXPECT_EQ(device->ErrorCode(), QV_Err_DataTransferInterrupted);
  EXPECT_EQ(device->ErrorMessage(), "Nothing received, please check PCAN-USB device!");
}

TEST_F(CANDeviceTest, ADeviceNotLoggedOnIsNeverClosedBySilence) {
  auto device = Device();
  std::string error;
  ASSERT_EQ(device->Connect(error), QV_No_Err);
  clock.Advance(60s);
  EXPECT_FALSE(device->CheckDeviceClosed());
}

TEST_F(CANDeviceTest, AFailedReaderClosesTheDeviceAndFailsWrites) {
  auto device = Opened();
  bus.FailReads("(00000400)=bus heavy");
  for (int i = 0; i < 2000 && !device->CheckDeviceClosed(); ++i) std::this_thread::sleep_for(1ms);
  EXPECT_TRUE(device->CheckDeviceClosed());
  EXPECT_FALSE(device->DeviceWrite("x"));
  EXPECT_FALSE(device->Connected());
}

TEST_F(CANDeviceTest, NetworkModuleBlocksAreJoinedAcrossFrames) {
  auto device = Opened();
  const std::string block = EspMeasurement(0x09, 1, 2);
  ASSERT_GT(block.size(), 16u);
  for (size_t at = 0; at < block.size(); at += 8) bus.Receive(kReceiveF0, block.substr(at, 8));
  ASSERT_TRUE(WaitBytes(*device, uint32_t(block.size())));
  EXPECT_EQ(device->PeerType(), ptESP);
  EXPECT_EQ(Received(*device), block);
  // The hardware features are asked for once the peer is known.
  const std::vector<TCanFrame> written = bus.Written();
  EXPECT_EQ(written.back().Data, std::string("\x04\x85" "Ei\x05", 5));
  // A device added later to the same bus starts from the peer seen last.
  EXPECT_EQ(Opened(0x2, 2)->PeerType(), ptESP);
}

TEST_F(CANDeviceTest, StrayBytesAndABrokenHeaderBetweenNetworkModuleBlocksAreSkipped) {
  auto device = Opened();
  const std::string block = EspMeasurement(0x09, 1, 2);
  std::string broken = block.substr(0, 16);
  broken[5] = 30;  // more values than a block can hold
  const std::string stream = block + "xyz" + broken + block;
  for (size_t at = 0; at < stream.size(); at += 8) bus.Receive(kReceiveF0, stream.substr(at, 8));
  ASSERT_TRUE(WaitBytes(*device, uint32_t(2 * block.size())));
  EXPECT_EQ(Received(*device), block + block);
}

}  // namespace

namespace {

TEST_F(CANDeviceTest, AfterAReaderRestartTheDeviceLogsOnAgainAndDropsARepeatedFrame) {
  auto device = Opened();
  bus.Receive(kReceiveF0, "abc");
  ASSERT_TRUE(WaitBytes(*device, 3));
  EXPECT_EQ(Received(*device), "abc");
  bus.FailReads("(00000400)=bus off");
  for (int i = 0; i < 2000 && !device->CheckDeviceClosed(); ++i) std::this_thread::sleep_for(1ms);
  bus.FailReads("");
  auto other = Opened(0x3, 1);  // a new reader starts
  bus.Receive(kReceiveF0, "abc");
  bus.Receive(kReceiveF0, "def");
  ASSERT_TRUE(WaitBytes(*device, 3));
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(Received(*device), "def");
  const std::vector<TCanFrame> written = bus.Written();
  ASSERT_FALSE(written.empty());
  EXPECT_EQ(written.back().Id, 0x320FFC0u);
  EXPECT_EQ(written.back().Data, std::string("\x01\xBE", 2));
}

}  // namespace

#include "devices/QV_EspBlockRouter.h"

#include <gtest/gtest.h>

#include "core/CircularBuffer.h"
#include "core/QV_NumberText.h"
#include "support/LogCapture.h"
#include "support/QV_TestDevice.h"

namespace {

// User 2 of the instrument (Y bits 23-20 = user id - 1).
constexpr uint32_t User2 = 1u << 20;

TQV_TransmitBlock Parsed(const std::string& bytes) {
  TQV_TransmitBlock block;
  EXPECT_TRUE(ParseTransmitBlock(bytes, block));
  return block;
}

class EspBlockRouterTest : public ::testing::Test {
 protected:
  EspBlockRouterTest() : device(SystemClock(), log.Id()) {
    device.SetPeer(ptESP);
    device.SetFirmwareVersionNumber(114);
  }

  void Route(const std::string& bytes) { router.Route(Parsed(bytes)); }
  std::string Received() { return device.ReceiveBuffer().ReadAvailable(100000); }
  std::string Tools() { return device.ToolsBuffer().ReadAvailable(100000); }

  TLogCapture log;
  TQV_TestDevice device;
  std::string written;
  TQV_EspBlockRouter router{device, "NetworkDevice", "TQV_NetworkDevice.ServerExecute_ESP", [this](std::string_view b) { written += b; }};
};

TEST_F(EspBlockRouterTest, MeasurementGoesWholeToTheDecoderWithItsUserAndChannelCount) {
  const std::string block = BuildTransmitBlock(0x12, 0, 0, User2, std::string(8 * 8, '\x01'));
  Route(block);
  EXPECT_EQ(AnsiToHex(written), AnsiToHex(block));
  EXPECT_EQ(device.ZCTChannelCount(), 8);
  EXPECT_EQ(device.UserID(), 2);
}

TEST_F(EspBlockRouterTest, RepliesToMaintenanceCommandsAreToolsData) {
  Route(BuildTransmitBlock('v', 0, 0, User2, "raw-reply"));
  Route(BuildTransmitBlock('x', 'c', 0, User2, "nvs"));
  EXPECT_TRUE(written.empty());
  EXPECT_EQ(Tools(), std::string("raw-reply") + std::string(7, '\0') + "nvs" + std::string(5, '\0'));
}

TEST_F(EspBlockRouterTest, BufferClearedStatusEmptiesTheReceiveBufferAndEndsTheIgnoring) {
  device.Feed("old data");
  router.IgnoreDataUntilStreamInterrupted = true;
  const std::string measurement = BuildTransmitBlock(0x12, 0, 0, User2, std::string(8, '\x01'));
  Route(measurement);
  EXPECT_TRUE(written.empty()) << "the old stream is dropped until the instrument restarts it";
  Route(BuildTransmitBlock('s', 255, 0, User2, ""));
  EXPECT_FALSE(router.IgnoreDataUntilStreamInterrupted);
  EXPECT_TRUE(device.ReceiveBufferCleared());
  EXPECT_EQ(device.ReceiveBuffer().Amount(), 0u);
  Route(measurement);
  EXPECT_EQ(AnsiToHex(written), AnsiToHex(measurement));
}

TEST_F(EspBlockRouterTest, DumpsGoToTheDebugLogOnly) {
  Route(BuildTransmitBlock('~', 0, 0, User2, "heap=1234"));
  EXPECT_TRUE(written.empty());
  EXPECT_TRUE(Tools().empty());
}

TEST_F(EspBlockRouterTest, HardwareFeatureWordIsTakenAndPassedOnOnlyWithOpt7019) {
  const std::string word = BuildTransmitBlock('x', 'i' | 5 << 8, 0, User2, std::string("\x21\x00\x01\x00", 4));
  for (const bool opt7019 : {false, true}) {
    written.clear();
    device.SetOpt7019(opt7019);
    router.ReadHardFeatureRequested = true;
    Route(word);
    EXPECT_EQ(device.HardFeature32(), 0x00010021u);
    EXPECT_FALSE(router.ReadHardFeatureRequested);
    EXPECT_EQ(written.empty(), !opt7019);
  }
  EXPECT_TRUE(log.Contains("NetworkDevice HardFeature Received 0x00010021"));
}

TEST_F(EspBlockRouterTest, ConnectedUsersReplyBecomesReport7030) {
  const std::string table = std::string("\x7F\x00\x00\x01", 4) + std::string(12, '\0');
  router.ReadConnectedUsers = true;
  Route(BuildTransmitBlock('v', 0, 0, User2, table));
  TQV_TransmitBlock report = Parsed(written);
  EXPECT_EQ(TransmitBlockSum(written), 0);
  EXPECT_EQ(report.Type, TQV_TransmitBlock::btMessage);
  EXPECT_EQ(report.W, 0x7030);
  EXPECT_EQ(AnsiToHex(report.Payload()), AnsiToHex(table));
  EXPECT_FALSE(router.ReadConnectedUsers);
  EXPECT_TRUE(log.Contains("NetworkDevice ConnectedUsers Received 0x" + AnsiToHex(table)));
}

TEST_F(EspBlockRouterTest, BlobReplyOfOldFirmwareGoesToTheDecoderAndEndsTheNVSWait) {
  device.SetFirmwareVersionNumber(108);
  device.SetLastCommand(std::string("\x85" "Eb\x00", 4));
  device.SetCmdResponse(crt_ReadNVS);
  const std::string reply = BuildTransmitBlock('q', 0, 0, User2, std::string("\x03" "abc", 4));
  Route(reply);
  EXPECT_EQ(AnsiToHex(written), AnsiToHex(reply));
  EXPECT_EQ(device.CmdResponse(), crt_none);
}

TEST_F(EspBlockRouterTest, ReplyWaitEndsOnTheBlockThatShowsTheCommandsEffect) {
  const auto measurement = [](uint8_t type) { return BuildTransmitBlock(type, 0, 0, User2, std::string(8, '\x01')); };
  // Mode 1 at rate 2; the command asks for rate 3.
  device.SetZCTReportHeader(0x1200);
  device.SetLastCommand("\x23");
  device.SetCmdResponse(crt_interval);
  Route(measurement(0x12));
  EXPECT_EQ(device.CmdResponse(), crt_interval) << "still the old interval";
  Route(measurement(0x13));
  EXPECT_EQ(device.CmdResponse(), crt_none);
  EXPECT_EQ(device.ZCTReportHeader(), 0x1300);
  EXPECT_TRUE(log.Contains("TQV_NetworkDevice.ServerExecute_ESP ZCTMeasurement, interval changed: old=1200, new=1300"));

  device.SetCmdResponse(crt_mode);
  Route(BuildTransmitBlock('s', 0x23, 0, User2, ""));
  EXPECT_EQ(device.CmdResponse(), crt_none) << "a settings status ends the wait";

  device.SetCmdResponse(crt_ReadNVS);
  Route(BuildTransmitBlock('x', 'b' | 1 << 8, 0, User2, std::string(8, '\x02')));
  EXPECT_EQ(device.CmdResponse(), crt_none) << "the NVS block answers the read";
}

TEST_F(EspBlockRouterTest, InvalidUserIdIsReportedAndKeepsTheKnownOne) {
  Route(BuildTransmitBlock(0x12, 0, 0, User2, std::string(8, '\x01')));
  Route(BuildTransmitBlock(0x12, 0, 0, 7u << 20, std::string(8, '\x01')));
  EXPECT_EQ(device.UserID(), 2);
  EXPECT_TRUE(log.Contains("ERROR: ### NetworkDevice: TransmitReport invalid userId=0x07"));
}

}  // namespace

#include "devices/SocketCanAdapter.h"

#include <gtest/gtest.h>

#include "devices/VirtualCanBus.h"
#include "support/LogCapture.h"

using namespace std::chrono_literals;

namespace {

// Through Qt's virtual bus, as the SocketCAN plugin would reach the kernel's can0.
class SocketCanAdapterTest : public ::testing::Test {
 protected:
  TVirtualCanLock lock;
  TLogCapture log;
};

TEST_F(SocketCanAdapterTest, WritesExtendedFramesAndReadsTheAnswers) {
  TVirtualCanInstrument instrument(0xF, 0, "hello, bus!");
  ASSERT_TRUE(instrument.Connected());
  TSocketCanAdapter adapter(log.Id(), "can0", "virtualcan");
  std::string error;
  ASSERT_TRUE(adapter.Initialize(error)) << error;
  EXPECT_EQ(adapter.Condition(), "");
  ASSERT_TRUE(adapter.Write({0x320FFC0, TCanAdapter::MsgExtended, std::string("\x01\xBE", 2)}, error)) << error;
  ASSERT_TRUE(instrument.WaitCommands(1));
  EXPECT_EQ(instrument.Commands().front(), std::string("\x01\xBE", 2));

  std::string received;
  TCanFrame frame;
  for (int i = 0; i < 100 && received.size() < 11; ++i) {
    adapter.WaitReceive(50ms, error);
    while (adapter.Read(frame, error) == TCanReadResult::Frame) {
      EXPECT_EQ(frame.Id, 0x820FFC0u);
      EXPECT_EQ(frame.MsgType, TCanAdapter::MsgExtended);
      received += frame.Data;
    }
  }
  EXPECT_EQ(received, "hello, bus!");
}

TEST_F(SocketCanAdapterTest, AnUnknownInterfaceIsRefused) {
  TSocketCanAdapter adapter(log.Id(), "can7", "virtualcan");
  std::string error;
  EXPECT_FALSE(adapter.Initialize(error));
  EXPECT_TRUE(error.starts_with("Initializing CAN device failed")) << error;
  EXPECT_EQ(adapter.Condition(), "No PCAN-USB device connected");
  TCanFrame frame;
  EXPECT_EQ(adapter.Read(frame, error), TCanReadResult::Failed);
}

}  // namespace

#include "devices/QV_TcpDevice.h"

#include <gtest/gtest.h>

#include <thread>

#include "core/CircularBuffer.h"
#include "core/StoreDataRecord.h"
#include "support/ScriptedDataServer.h"

namespace {

using namespace std::chrono;
using namespace std::chrono_literals;

template <typename Condition>
bool WaitFor(Condition done, milliseconds limit = 2000ms) {
  for (const auto until = steady_clock::now() + limit; !done();) {
    if (steady_clock::now() > until) return false;
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

TTcpReceiverTimings Fast() {
  TTcpReceiverTimings t;
  t.RequestLimitMs = 300;
  return t;
}

TEST(TcpDevice, FramesEachLineForTheDecoderAndNeverSends) {
  TScriptedDataServer server;
  TQV_TcpDevice device(-1, 0, nullptr, false, "127.0.0.1", server.Port(), Fast());
  EXPECT_EQ(device.DevType(), QV_TCP_Device);
  std::string error;
  ASSERT_TRUE(device.OpenPort(error)) << error;
  ASSERT_TRUE(server.WaitDataConnected());
  server.SendData("7001abc\r\n70\r\n");
  const std::string expected = "\x01" "7\x02" "7001abc\x01" "2\x02" "70";
  ASSERT_TRUE(WaitFor([&] { return device.ReceiveBuffer().Amount() == expected.size(); }));
  EXPECT_EQ(device.ReceiveBuffer().ReadAnsiString(uint32_t(expected.size())), expected);
  EXPECT_FALSE(device.DeviceWrite("\x85\x10"));
  EXPECT_FALSE(device.CheckDeviceClosed());
  EXPECT_TRUE(device.ClosePort());
  EXPECT_TRUE(server.Requests().back().starts_with("DISCONN 127.0.0.1:"));
}

TEST(TcpDevice, ServerDownBecomesTheDevicesError) {
  TScriptedDataServer server;
  TQV_TcpDevice device(-1, 0, nullptr, false, "127.0.0.1", server.Port(), Fast());
  std::string error;
  ASSERT_TRUE(device.OpenPort(error)) << error;
  ASSERT_TRUE(server.WaitDataConnected());
  server.DropData();
  ASSERT_TRUE(WaitFor([&] { return device.ErrorCode() == QV_Err_ServerDown; }));
  EXPECT_EQ(device.ErrorMessage(), "TCP-Server has closed");
}

TEST(TcpDevice, FailedOpenCarriesTheReceiversReason) {
  TScriptedDataServer server;
  server.Script({"ERR no archive data"});
  const TArchiveTime start = sys_days{year{2024} / January / 1} + 10h;
  auto device = TQV_TcpDevice::CreateArchive(-1, 0, nullptr, false, "127.0.0.1", server.Port(), start, std::nullopt,
                                             Fast());
  std::string error;
  EXPECT_FALSE(device->OpenPort(error));
  EXPECT_EQ(error, "Request " + server.Requests().at(0) + " failed: ERR no archive data");
  EXPECT_EQ(device->ErrorCode(), QV_Err_RequestDenied);
}

TEST(TcpDevice, ArchiveBytesGoToTheBufferAsTheyCameUntilTheEnd) {
  TScriptedDataServer server;
  const TArchiveTime start = sys_days{year{2024} / January / 1} + 10h;
  const auto day = [](TArchiveTime t) { return ArchiveToDateTime(t); };
  server.Archive("20240101_100000", StoreDataRecordBytes({day(start), day(start + 59s), "\x03" "abc"}) +
                                        StoreDataRecordBytes({day(start + 2h), day(start + 2h), "\x01" "z"}));
  auto device = TQV_TcpDevice::CreateArchive(-1, 0, nullptr, false, "127.0.0.1", server.Port(), start, start + 1h,
                                             Fast());
  EXPECT_EQ(device->DevType(), QV_TCP_Archive);
  std::string error;
  ASSERT_TRUE(device->OpenPort(error)) << error;
  ASSERT_TRUE(WaitFor([&] { return device->CheckDeviceClosed(); }));
  EXPECT_EQ(device->ErrorCode(), QV_Err_EndOfFile);
  EXPECT_EQ(device->ErrorMessage(), "End of archive data");
  EXPECT_EQ(device->ReceiveBuffer().ReadAnsiString(4), "\x03" "abc");
  EXPECT_EQ(device->ReceiveBuffer().Amount(), 0u);
}

}  // namespace

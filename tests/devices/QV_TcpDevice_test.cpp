#include "devices/QV_TcpDevice.h"

#include <gtest/gtest.h>

#include <thread>

#include "core/CircularBuffer.h"
#include "core/StoreDataRecord.h"
#include "logging/StoreDataClass.h"
#include "protocol/QV_ReportDevice.h"
#include "support/ScriptedDataServer.h"
#include "support/TempDir.h"

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

// A period recorded by the archive store and served hour by hour comes out of the decoder as the
// same report items.
TEST(TcpDevice, ReplayOfAStoredPeriodGivesTheSameItems) {
  TTempDir dir;
  const TArchiveTime start = sys_days{year{2024} / January / 1} + 10h + 50min;
  TManualClock clock(start);
  std::vector<std::string> recorded;
  {
    TStoreDataClass store(-1, dir.Path(), clock, "/opt/vta/VTA_App");
    store.SetStorageEnabled(true);
    for (seconds t = 0s; t < 20min; t += 13s) {
      clock.SetWall(start + t);
      const std::string line = "7001; " + std::to_string(t.count());
      store.TakeData(char(line.size()) + line);
      recorded.push_back(line);
    }
    clock.SetWall(start + 70min);  // the first item of 12 o'clock finishes the 11 o'clock hour
    store.TakeData("\x04" "late");
  }
  TScriptedDataServer server;
  const auto hourFile = [&](const std::string& hour) {
    return ReadWholeFile(dir.Path() + "MeasuringData_Archive/" + hour + ".dat");
  };
  // GETDATA asks for the start of the period, then for each following hour.
  server.Archive("20240101_105000", hourFile("20240101_100000"));
  server.Archive("20240101_110000", hourFile("20240101_110000"));
  TTcpReceiverTimings timings = Fast();
  timings.NoDataLimitMs = 200;
  auto device = TQV_TcpDevice::CreateArchive(-1, 0, nullptr, false, "127.0.0.1", server.Port(), start, start + 69min,
                                             timings);
  std::string error;
  ASSERT_TRUE(device->OpenPort(error)) << error;
  TQV_ReportDevice decoder(device.get());
  std::vector<std::string> replayed;
  TQV_Result result = QV_No_Err;
  for (const auto until = steady_clock::now() + 5s; result != QV_Err_EndOfFile && steady_clock::now() < until;) {
    std::string report;
    result = decoder.DeviceGetReport(report);
    if (result == QV_No_Err && !report.empty()) replayed.push_back(report);
  }
  EXPECT_EQ(result, QV_Err_EndOfFile);
  EXPECT_EQ(replayed, recorded);
}

}  // namespace

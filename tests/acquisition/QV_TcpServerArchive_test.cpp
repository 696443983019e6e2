// The archive of a local data server end to end: items filed by the server's store, replayed by
// another instance's archive connection hour by hour.
#include <gtest/gtest.h>

#include "acquisition/QV_TcpServer.h"
#include "core/Clock.h"
#include "devices/QV_TcpDevice.h"
#include "logging/ArchiveStore.h"
#include "protocol/QV_ReportDevice.h"
#include "support/TempDir.h"

namespace {

using namespace std::chrono;
using namespace std::chrono_literals;

TEST(TcpServerArchive, AnArchiveConnectionReplaysTheFiledPeriod) {
  TTempDir dir;
  const TArchiveTime start = sys_days{year{2024} / March / 5} + 10h + 50min;
  TManualClock clock(start);
  TQV_TcpServer server(-1, clock, [&clock](int32_t logId, const std::string& path) -> std::unique_ptr<IQV_ArchiveStore> {
    return std::make_unique<TArchiveStore>(logId, path, clock);
  });
  TTcpServerOptions options;
  options.ListenAddress = "127.0.0.1";
  server.SetOptions(options);
  ASSERT_EQ(server.SetStorageRoot(dir.Path()), "");
  server.SetStorageEnabled(true);
  ASSERT_TRUE(server.StartServer(0)) << server.ErrorMessage();

  std::vector<std::string> recorded;
  for (seconds t = 0s; t < 20min; t += 13s) {
    clock.SetWall(start + t);
    const std::string line = "7001; " + std::to_string(t.count());
    server.ArchiveData(char(line.size()) + line);
    recorded.push_back(line);
  }
  clock.SetWall(start + 70min);  // the first item of the next hour files the one before
  server.ArchiveData("\x04" "late");

  TTcpReceiverTimings timings;
  timings.RequestLimitMs = 500;
  timings.NoDataLimitMs = 300;
  auto device =
      TQV_TcpDevice::CreateArchive(-1, 0, nullptr, false, "127.0.0.1", server.Port(), start, start + 69min, timings);
  std::string error;
  ASSERT_TRUE(device->OpenPort(error)) << error;
  TQV_ReportDevice decoder(device.get());
  std::vector<std::string> replayed;
  TQV_Result result = QV_No_Err;
  for (const auto until = steady_clock::now() + 10s; result != QV_Err_EndOfFile && steady_clock::now() < until;) {
    std::string report;
    result = decoder.DeviceGetReport(report);
    if (result == QV_No_Err && !report.empty()) replayed.push_back(report);
  }
  EXPECT_EQ(result, QV_Err_EndOfFile);
  EXPECT_EQ(replayed, recorded);
  device->ClosePort();
  server.StopServer();
}

}  // namespace

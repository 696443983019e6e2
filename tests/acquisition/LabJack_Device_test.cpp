#include "acquisition/LabJack_Device.h"

#include <gtest/gtest.h>

#include <chrono>

#include "core/NamedEvent.h"
#include "support/LabJackStubControl.h"

using namespace std::chrono_literals;

namespace {

class LabJackDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(stub_.Error(), "");
    device_.SetReceiveEvent(event_);
    device_.SetInterval(10);
  }

  // The next value set or error the measurement thread queues.
  TSensorReport NextReport(std::vector<double>& data) {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (std::chrono::steady_clock::now() < deadline) {
      event_->Reset();
      const TSensorReport report = device_.GetReport(data);
      if (report != TSensorReport::srNone) return report;
      event_->WaitFor(100ms);
    }
    return TSensorReport::srNone;
  }

  TLabJackStubControl stub_{VTA_LABJACK_STUB};
  std::shared_ptr<TEvent> event_ = std::make_shared<TEvent>();
  TLabJack_Device device_{-1, std::make_shared<TLabJackLibrary>(VTA_LABJACK_STUB)};
};

TEST_F(LabJackDeviceTest, OpensTheT4TheIdentifierNames) {
  struct TCase {
    std::string openString;
    TLabJackStubControl::TOpen expected;
  };
  const TCase cases[] = {
      {"LabJack-T4: 440010000", {TLabJackLibrary::dtT4, TLabJackLibrary::ctUSB, "440010000"}},
      {"LabJack-T4: 10.0.0.100", {TLabJackLibrary::dtT4, TLabJackLibrary::ctETHERNET, "10.0.0.100"}},
      {"LabJack-T4: DemoSensor", {TLabJackLibrary::dtANY, TLabJackLibrary::ctANY, "-2"}},
  };
  for (const TCase& c : cases) {
    std::string error;
    ASSERT_TRUE(device_.OpenConnection(c.openString, error)) << error;
    const auto open = stub_.LastOpen();
    EXPECT_EQ(open.DeviceType, c.expected.DeviceType) << c.openString;
    EXPECT_EQ(open.ConnectionType, c.expected.ConnectionType) << c.openString;
    EXPECT_EQ(open.Identifier, c.expected.Identifier) << c.openString;
    EXPECT_EQ(stub_.OpenHandles(), 1);
    device_.CloseConnection();
    EXPECT_EQ(stub_.OpenHandles(), 0) << "closing closes the library's handle";
  }
}

TEST_F(LabJackDeviceTest, ReadsTheEightAnalogInputs) {
  stub_.SetValue(6, -1.5);
  std::string error;
  ASSERT_TRUE(device_.OpenConnection("LabJack-T4: 440010000", error)) << error;
  std::vector<double> data;
  ASSERT_EQ(NextReport(data), TSensorReport::srData) << device_.ErrorMessage();
  EXPECT_EQ(data, (std::vector<double>{0.25, 1.25, 2.25, -1.5, 4.25, 5.25, 6.25, 7.25}));
}

TEST_F(LabJackDeviceTest, FailedOpenGivesTheLibrarysText) {
  stub_.FailOpen(1227);
  std::string error;
  EXPECT_FALSE(device_.OpenConnection("LabJack-T4: 440010000", error));
  EXPECT_EQ(error, "Open LabJack device failed: LJME_DEVICE_NOT_FOUND");
  EXPECT_FALSE(device_.IsOpen());
}

// A failed read is reported with the address that failed, and measuring goes on.
TEST_F(LabJackDeviceTest, FailedReadGivesErrorThreeWithTheAddress) {
  std::string error;
  ASSERT_TRUE(device_.OpenConnection("LabJack-T4: 440010000", error)) << error;
  stub_.FailRead(1239, 6);
  std::vector<double> data;
  TSensorReport report;
  while ((report = NextReport(data)) == TSensorReport::srData) {
  }
  ASSERT_EQ(report, TSensorReport::srError);
  EXPECT_EQ(device_.ErrorCode(), TLabJack_Device::kErrRead);
  EXPECT_EQ(device_.ErrorMessage(), "Reading from LabJack device failed: LJME_RECONNECT_FAILED, error address=6");

  stub_.FailRead(0, -1);
  while ((report = NextReport(data)) == TSensorReport::srError) {
  }
  EXPECT_EQ(report, TSensorReport::srData);
  EXPECT_TRUE(device_.IsOpen());
}

TEST(LabJackDevice, WithoutTheLibraryOpeningFailsWithNotLoaded) {
  for (const std::string& path : {std::string("/nonexistent/libLabJackM.so"), std::string(VTA_LABJACK_STUB_INCOMPLETE)}) {
    TLabJack_Device device(-1, std::make_shared<TLabJackLibrary>(path));
    std::string error;
    EXPECT_FALSE(device.OpenConnection("LabJack-T4: 440010000", error));
    EXPECT_EQ(error, "Library libLabJackM.so not loaded") << path;
  }
}

TEST(LabJackDevice, DescribesEightVoltageChannels) {
  TLabJack_Device device(-1, std::make_shared<TLabJackLibrary>("/nonexistent/libLabJackM.so"));
  EXPECT_EQ(device.DevType(), kSensorDevLabJack);
  EXPECT_EQ(device.ChannelCount(), 8);
  EXPECT_EQ(device.SignalTypeCount(), 1);
  EXPECT_EQ(device.SignalChannels(1), (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(device.SignalInfo(1), (TSensorSignalInfo{"Voltage", "V", 0, 2, -1}));
}

}  // namespace

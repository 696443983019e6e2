#include "acquisition/SNMP_Device.h"

#include "acquisition/LabJack_Device.h"
#include "acquisition/SensorDeviceFactory.h"

#include <gtest/gtest.h>

#include <chrono>

#include "core/NamedEvent.h"
#include "support/SnmpTestAgent.h"

using namespace std::chrono_literals;

namespace {

const std::string kUnitOid = "1.3.6.1.4.1.38783.3.15.0";
// The unit's readings of channels 1 to 6, in tenths.
const std::vector<std::pair<std::string, int64_t>> kReadings = {
    {"1.3.6.1.4.1.38783.3.7.0", 120},  {"1.3.6.1.4.1.38783.3.8.0", 118},  {"1.3.6.1.4.1.38783.3.9.0", 235},
    {"1.3.6.1.4.1.38783.3.11.0", 455}, {"1.3.6.1.4.1.38783.3.10.0", -52}, {"1.3.6.1.4.1.38783.3.12.0", 501},
};

class SNMPDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TSnmpTestAgent::Available()) GTEST_SKIP() << "snmpd is not installed";
    agent_ = std::make_unique<TSnmpTestAgent>();
    ASSERT_EQ(agent_->Error(), "");
    agent_->SetInteger(kUnitOid, kTempUnitCelsius);
    for (const auto& [oid, value] : kReadings) agent_->SetInteger(oid, value);
    device_.SetReceiveEvent(event_);
    device_.SetInterval(20);
    // The agent runs a script per value, which takes a while on a busy machine.
    device_.SetAnswerTimeout(3s, 0);
  }

  std::string OpenString() const { return "TCW122B-CM: 127.0.0.1:" + std::to_string(agent_->Port()); }

  void Open() {
    std::string error;
    ASSERT_TRUE(device_.OpenConnection(OpenString(), error)) << error;
  }

  // The next value set or error the measurement thread queues.
  TSensorReport NextReport(std::vector<double>& data) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < deadline) {
      event_->Reset();
      const TSensorReport report = device_.GetReport(data);
      if (report != TSensorReport::srNone) return report;
      event_->WaitFor(100ms);
    }
    return TSensorReport::srNone;
  }

  std::unique_ptr<TSnmpTestAgent> agent_;
  std::shared_ptr<TEvent> event_ = std::make_shared<TEvent>();
  TSNMP_Device device_{-1};
};

TEST_F(SNMPDeviceTest, ReadsTheSixChannelsInTenths) {
  Open();
  std::vector<double> data;
  ASSERT_EQ(NextReport(data), TSensorReport::srData) << device_.ErrorMessage();
  const std::vector<double> expected = {12.0, 11.8, 23.5, 45.5, -5.2, 50.1};
  ASSERT_EQ(data.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_DOUBLE_EQ(data[i], expected[i]) << "channel " << i + 1;
}

// Channels 3 and 5 follow the program's unit whatever the unit's own setting; humidity stays.
TEST_F(SNMPDeviceTest, TemperaturesFollowTheProgramsUnit) {
  struct TCase {
    int32_t unitUnit;
    int32_t programUnit;
    double channel3;
    double channel5;
  };
  const TCase cases[] = {
      {kTempUnitCelsius, kTempUnitCelsius, 23.5, -5.2},
      {kTempUnitCelsius, kTempUnitFahrenheit, 74.3, 22.64},
      {kTempUnitFahrenheit, kTempUnitCelsius, (23.5 - 32) / 1.8, (-5.2 - 32) / 1.8},
      {kTempUnitFahrenheit, kTempUnitFahrenheit, 23.5, -5.2},
  };
  for (const TCase& c : cases) {
    agent_->SetInteger(kUnitOid, c.unitUnit);
    device_.UpdateOptions(c.programUnit);
    Open();
    EXPECT_EQ(device_.UnitTempUnit(), c.unitUnit);
    std::vector<double> data;
    ASSERT_EQ(NextReport(data), TSensorReport::srData) << device_.ErrorMessage();
    device_.CloseConnection();
    EXPECT_NEAR(data[2], c.channel3, 1e-9) << c.unitUnit << " -> " << c.programUnit;
    EXPECT_NEAR(data[4], c.channel5, 1e-9) << c.unitUnit << " -> " << c.programUnit;
    EXPECT_DOUBLE_EQ(data[3], 45.5);
    EXPECT_EQ(device_.ChannelUnitName(3), c.programUnit == kTempUnitFahrenheit ? "°F" : "°C");
  }
}

// A unit that no longer knows one of the values gives an error instead of a 0, and measuring goes on.
TEST_F(SNMPDeviceTest, UnknownOidIsARequestErrorAndMeasuringGoesOn) {
  Open();
  agent_->Remove("1.3.6.1.4.1.38783.3.12.0");
  std::vector<double> data;
  TSensorReport report;
  while ((report = NextReport(data)) == TSensorReport::srData) {
  }
  ASSERT_EQ(report, TSensorReport::srError);
  EXPECT_EQ(device_.ErrorCode(), kSensorErrRequest);
  EXPECT_EQ(device_.ErrorMessage(), "SNMP request failed noSuchInstance (1.3.6.1.4.1.38783.3.12.0)");

  agent_->SetInteger("1.3.6.1.4.1.38783.3.12.0", 499);
  while ((report = NextReport(data)) == TSensorReport::srError) {
  }
  ASSERT_EQ(report, TSensorReport::srData);
  EXPECT_TRUE(device_.IsOpen());
}

TEST_F(SNMPDeviceTest, SilentUnitIsATimeout) {
  device_.SetAnswerTimeout(1500ms, 0);
  Open();
  agent_->Stop();
  std::vector<double> data;
  TSensorReport report;
  while ((report = NextReport(data)) == TSensorReport::srData) {
  }
  ASSERT_EQ(report, TSensorReport::srError);
  EXPECT_EQ(device_.ErrorCode(), kSensorErrTimeout);
  EXPECT_EQ(device_.ErrorMessage(), "SNMP request timed out: no answer from 127.0.0.1:" + std::to_string(agent_->Port()));
}

TEST_F(SNMPDeviceTest, NoAnswerWhenOpeningMeansNoDevice) {
  agent_->Stop();
  device_.SetAnswerTimeout(200ms, 0);
  std::string error;
  EXPECT_FALSE(device_.OpenConnection(OpenString(), error));
  const std::string address = "127.0.0.1:" + std::to_string(agent_->Port());
  EXPECT_EQ(error, "No device at " + address + " Please check SNMP support in the device");
  EXPECT_EQ(device_.ErrorCode(), kSensorErrNoDevice);
  EXPECT_FALSE(device_.IsOpen());
}

TEST(SNMPDevice, AddressThatIsNoIPAddressIsRefused) {
  for (const std::string address :
       {"192.168.1.300", "tcw.local", "", "10.0.0.5:0", "10.0.0.5:70000", "10.0.0.5:16x", "10.0.0.5:", "fe80::1::2"}) {
    TSNMP_Device device(-1);
    std::string error;
    EXPECT_FALSE(device.OpenConnection("TCW122B-CM: " + address, error));
    EXPECT_EQ(error, "Invalid IP address: " + address);
  }
}

TEST(SNMPDevice, DescribesSixChannelsOfThreeSignals) {
  TSNMP_Device device(-1);
  EXPECT_EQ(device.DevType(), kSensorDevSNMP);
  EXPECT_EQ(device.ChannelCount(), 6);
  EXPECT_EQ(device.SignalChannels(1), (std::vector<int32_t>{3, 5}));
  EXPECT_EQ(device.SignalChannels(2), (std::vector<int32_t>{4, 6}));
  EXPECT_EQ(device.SignalChannels(3), (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(device.SignalInfo(1), (TSensorSignalInfo{"Temperature", "°C", 21, 2, -1}));
  EXPECT_EQ(device.SignalInfo(2), (TSensorSignalInfo{"Humidity", "%", 50, 2, -1}));
  EXPECT_EQ(device.SignalInfo(3), (TSensorSignalInfo{"Voltage", "V", 30, 2, -1}));
  device.UpdateOptions(kTempUnitFahrenheit);
  EXPECT_EQ(device.SignalInfo(1), (TSensorSignalInfo{"Temperature", "°F", 70, 2, -1}));
}

// The sensor sessions' open strings reach the unit devices.
TEST(SensorDeviceFactory, MakesTheUnitDevicesByTheirOpenStrings) {
  std::string error;
  const auto snmp = MakeSensorDevice(false, "TCW122B-CM: 192.0.2.5", -1, SystemClock(), error);
  EXPECT_NE(dynamic_cast<TSNMP_Device*>(snmp.get()), nullptr) << error;
  for (const std::string openString : {"LabJack-T4: 470012345", "DemoSensor"}) {
    const auto labJack = MakeSensorDevice(true, openString, -1, SystemClock(), error);
    EXPECT_NE(dynamic_cast<TLabJack_Device*>(labJack.get()), nullptr) << openString << ": " << error;
  }
}

}  // namespace

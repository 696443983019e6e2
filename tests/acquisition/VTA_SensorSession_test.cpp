#include "acquisition/VTA_SensorSession.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "QVSessionTestSupport.h"
#include "acquisition/VTA_SensorDevice.h"
#include "core/App_Settings.h"
#include "data/VTA_SensorDM.h"
#include "data/ZCT_TestSupport.h"
#include "support/HandFedSensor.h"

using namespace std::chrono_literals;

namespace {

class SensorSession : public ::testing::Test {
 protected:
  void SetUp() override { Make<TSensorSessionItem>(); }
  void TearDown() override {
    if (session) session->CloseDevice(true);
  }

  template <typename TSession>
  void Make() {
    TSessionHandlers handlers;
    handlers.OnMsg = [this](int32_t, int32_t code, int32_t, TMsgType type, const std::string& text, bool) {
      messages.push_back({code, type, text});
    };
    TQVSessionEnv env;
    env.Sampler = &sampler;
    env.Clock = &clock;
    env.Options = [this] { return options; };
    session = TSession::Make(-1, 0, handlers, env);
  }

  // The session opens a hand-fed device instead of the one its open string names.
  THandFedSensor& OpenHandFed(const std::string& openString = "TCW122B-CM: 192.0.2.5") {
    THandFedSensor* made = nullptr;
    session->SetDeviceMaker([&](bool, const std::string&, int32_t logId, const TClock& c, std::string&) {
      auto device = std::make_unique<THandFedSensor>(logId, c);
      made = device.get();
      return device;
    });
    session->SetOpenParams(openString, 0, 0xFF, "");
    EXPECT_EQ(session->OpenDevice(), "");
    messages.clear();
    return *made;
  }

  bool Has(int32_t code, TMsgType type, const std::string& text) const {
    return std::find(messages.begin(), messages.end(), TSessionMsg{code, type, text}) != messages.end();
  }

  TManualClock clock;
  TQVSessionOptions options;
  zcttest::TFakeSampler sampler;
  std::vector<TSessionMsg> messages;
  std::unique_ptr<TSensorSessionItem> session;
};

TEST_F(SensorSession, OpenStringsChooseTheDeviceOrSayWhy) {
  struct TCase {
    bool labJack;
    const char* openString;
    const char* error;
  };
  const TCase cases[] = {
      {false, "Thermometer", "Unknown Device: Thermometer"},
      {false, "TCW122B-CM: 192.0.2.5", "TCW122B-CM sensors are not available in this build"},
      {false, "LabJack-T4: 470012345", "Unknown Device: LabJack-T4: 470012345"},
      {true, "LabJack-T4: 470012345", "LabJack sensors are not available in this build"},
      {true, "DemoSensor", "LabJack sensors are not available in this build"},
      {true, "TCW122B-CM: 192.0.2.5", "Unknown Device: TCW122B-CM: 192.0.2.5"},
  };
  for (const TCase& c : cases) {
    if (c.labJack)
      Make<TLabJackSessionItem>();
    else
      Make<TSensorSessionItem>();
    session->SetOpenParams(c.openString, 0, 0xFF, "");
    EXPECT_EQ(session->OpenDevice(), c.error);
    EXPECT_FALSE(session->IsRunning()) << c.openString;
  }
}

TEST_F(SensorSession, DemoSensorDeliversItsSixChannelsToTheStoreAndTheSampler) {
  TAppSettings settings;
  settings.SetValue("S_Interval", "5");
  settings.SetValue("S_OpenString", "DemoSensor");
  session->ReadSettings(settings, "S_");
  options.TempUnit = kTempUnitFahrenheit;
  session->UpdateOptions(kTempUnitFahrenheit);
  ASSERT_EQ(session->OpenDevice(), "");
  EXPECT_TRUE(session->IsRunning());
  EXPECT_FALSE(session->NeedsQV());
  EXPECT_TRUE(Has(71, mtInfo, "Connected to: DemoSensor"));
  EXPECT_EQ(session->ChannelCount(), 6);
  EXPECT_EQ(session->SensorDM().ChannelUnitName(3), "°F");

  const auto limit = std::chrono::steady_clock::now() + 5s;
  while (sampler.Lines.size() < 2 && std::chrono::steady_clock::now() < limit) {
    if (session->GetReport()) continue;
    clock.Advance(5ms);  // the device measures on the session's clock
    std::this_thread::sleep_for(1ms);
  }
  ASSERT_GE(sampler.Lines.size(), 2u);
  EXPECT_EQ(sampler.Lines[0].size(), 6u * kSensorFieldWidth);
  const double fahrenheit = session->SensorDM().CurrentValue(3);
  EXPECT_GE(fahrenheit, 70.7);
  EXPECT_LT(fahrenheit, 72.5);

  session->CloseDevice(true);
  EXPECT_FALSE(session->IsRunning());
  EXPECT_TRUE(Has(71, mtInfo, "Disconnect"));
}

TEST_F(SensorSession, ATemperatureUnitChangeReachesTheOpenDemoSensor) {
  session->SetOpenParams("DemoSensor", 0, 0xFF, "");
  ASSERT_EQ(session->OpenDevice(), "");
  EXPECT_EQ(session->SensorDM().ChannelUnitName(3), "°C");
  options.TempUnit = kTempUnitFahrenheit;
  session->UpdateOptions(8);
  EXPECT_EQ(session->SensorDM().ChannelUnitName(3), "°C") << "other option changes leave the unit";
  session->UpdateOptions(4);
  EXPECT_EQ(session->SensorDM().ChannelUnitName(3), "°F");
  EXPECT_EQ(session->SensorDM().DefaultCenter(5), 70);
}

TEST_F(SensorSession, ClosingForAMissingCounterSaysSo) {
  OpenHandFed();
  EXPECT_TRUE(session->NeedsQV());
  session->SetQVmissing(true);
  session->CloseDevice(true);
  EXPECT_TRUE(Has(71, mtInfo, "Disconnect (missing ZCT)"));
  EXPECT_FALSE(session->IsRunning());
}

TEST_F(SensorSession, DeviceErrorsAreReportedWithTheirSessionCodes) {
  struct TCase {
    int32_t deviceCode;
    int32_t sessionCode;
    bool stillRunning;
  };
  const TCase cases[] = {
      {kSensorErrTimeout, 21, true},
      {kSensorErrRequest, 21, true},
      {kSensorErrNoDevice, 72, false},
  };
  for (const TCase& c : cases) {
    THandFedSensor& device = OpenHandFed();
    device.Error(c.deviceCode, "reason " + std::to_string(c.deviceCode));
    EXPECT_FALSE(session->GetReport());
    EXPECT_TRUE(Has(c.sessionCode, mtError, "reason " + std::to_string(c.deviceCode))) << c.deviceCode;
    EXPECT_EQ(session->IsRunning(), c.stillRunning) << c.deviceCode;
    EXPECT_EQ(session->NotConnected(), !c.stillRunning) << c.deviceCode;
    session->CloseDevice(true);
  }
}

TEST_F(SensorSession, AMeasurementThreadThatDiedIsReportedAndTheSessionCloses) {
  Make<TSensorSessionItem>();
  class TFailing : public THandFedSensor {
   public:
    using THandFedSensor::THandFedSensor;
    ~TFailing() override { CloseConnection(); }

   protected:
    void GenerateData() override { throw std::runtime_error("bus error"); }
  };
  session->SetDeviceMaker([](bool, const std::string&, int32_t logId, const TClock& c, std::string&) {
    auto device = std::make_unique<TFailing>(logId, c);
    device->SetWait([](TSteadyTime) { return true; });
    return device;
  });
  session->SetOpenParams("TCW122B-CM: 192.0.2.5", 0, 0xFF, "");
  ASSERT_EQ(session->OpenDevice(), "");
  const auto limit = std::chrono::steady_clock::now() + 5s;
  while (session->IsRunning() && std::chrono::steady_clock::now() < limit) {
    session->GetReport();
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_FALSE(session->IsRunning());
  EXPECT_TRUE(Has(21, mtError, "Measurement failed: bus error"));
}

TEST_F(SensorSession, ASilentSensorWarnsOncePerSilence) {
  THandFedSensor& device = OpenHandFed();
  const auto warned = [this] {
    return std::count_if(messages.begin(), messages.end(), [](const TSessionMsg& m) { return m.Code == 43; });
  };
  clock.Advance(3000ms);
  session->GetReport();
  EXPECT_EQ(warned(), 0) << "three intervals are not yet too long";
  clock.Advance(1ms);
  session->GetReport();
  session->GetReport();
  EXPECT_EQ(warned(), 1);
  EXPECT_TRUE(Has(43, mtWarning, "No values from TCW122B-CM: 192.0.2.5 for more than 3 intervals"));
  device.Values({1.0});
  EXPECT_TRUE(session->GetReport());
  clock.Advance(3001ms);
  session->GetReport();
  EXPECT_EQ(warned(), 2) << "a new silence warns again";
}

TEST_F(SensorSession, ARangeWarningReachesTheUserAndTheLogWhenAsked) {
  THandFedSensor& device = OpenHandFed();
  session->SetRangeInfo(1, {0, 10, true});
  session->SetSensorAlarm({1, 0, true});
  device.Values({12.5, 5});
  EXPECT_TRUE(session->GetReport());
  EXPECT_TRUE(Has(42, mtWarning, "Sensor warning on channel 1: 12.50"));
  EXPECT_EQ(sampler.Sequence, (std::vector<std::string>{SensorLogLine(std::vector<double>{12.5, 5}, '.'),
                                                        "Sensor warning on channel 1: 12.50"}));
}

TEST_F(SensorSession, ReportsAChangedInterval) {
  THandFedSensor& device = OpenHandFed();
  device.SetInterval(10000);
  device.Values({1.0});
  EXPECT_TRUE(session->GetReport());
  EXPECT_TRUE(Has(13, mtInfo, "Interval setting changed to 10s"));
}

TEST_F(SensorSession, RangesAndWarningSettingsSurviveASave) {
  session->SetRangeInfo(2, {-5.5, 40, true});
  session->SetSensorAlarm({3, 7, true});
  TAppSettings settings;
  session->SaveSettings(settings, "Session_1_");
  EXPECT_EQ(settings.TryGetValue("Session_1_Alarm"), "3, 7, True");
  EXPECT_EQ(settings.TryGetValue("Session_1_RangeInfo_2"), "-5.5, 40, True");
  EXPECT_EQ(settings.TryGetValue("Session_1_SessionType"), "1");

  Make<TSensorSessionItem>();
  session->ReadSettings(settings, "Session_1_");
  EXPECT_EQ(session->RangeInfo(2), (TSensorRangeInfo{-5.5, 40, true}));
  EXPECT_EQ(session->RangeInfo(1), TSensorRangeInfo{});
  EXPECT_EQ(session->SensorAlarm(), (TSensorAlarm{3, 7, true}));
}

TEST_F(SensorSession, TakesNoCommands) {
  session->SetCommand("x", "Reset");
  EXPECT_TRUE(Has(0, mtError, "Sensors take no commands: Reset"));
}

}  // namespace

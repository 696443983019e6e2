#include "acquisition/VTA_SensorDevice.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "core/App_Settings.h"
#include "core/NamedEvent.h"

using namespace std::chrono_literals;

namespace {

// A device whose measurements take a scripted time on a manual clock, or fail.
class TScriptedSensor : public TVTA_BaseSensorDevice {
 public:
  explicit TScriptedSensor(TManualClock& clock) : TVTA_BaseSensorDevice(-1, kSensorDevDemo, clock), FManual(clock) {
    SetSignals({{"Voltage", "V", 11, 2, -1}}, {1, 1});
  }
  ~TScriptedSensor() override { CloseConnection(); }

  std::vector<std::chrono::milliseconds> Durations;  // the time each measurement takes
  bool Fail = false;
  std::atomic<int> Calls = 0;

  void Queue(std::vector<double> values) { QueueValues(values); }
  void Error(int32_t code, const std::string& text) { SetError(code, text); }

 protected:
  bool DoOpenConnection(const std::string&, std::string&) override { return true; }
  void GenerateData() override {
    if (Fail) throw std::runtime_error("sensor gone");
    const size_t call = static_cast<size_t>(Calls++);
    if (call < Durations.size()) FManual.Advance(Durations[call]);
    Queue({static_cast<double>(call)});
  }

 private:
  TManualClock& FManual;
};

// Runs the device for `count` measurements on the manual clock and returns their due times,
// relative to the opening.
std::vector<int64_t> RunSchedule(TScriptedSensor& sensor, TManualClock& clock, int count) {
  std::vector<int64_t> dues;
  const TSteadyTime start = clock.Steady();
  sensor.SetWait([&](TSteadyTime due) {
    if (static_cast<int>(dues.size()) == count) return false;
    dues.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(due - start).count());
    if (clock.Steady() < due) clock.Advance(std::chrono::duration_cast<std::chrono::milliseconds>(due - clock.Steady()));
    return true;
  });
  std::string error;
  EXPECT_TRUE(sensor.OpenConnection("test", error)) << error;
  while (sensor.Calls < count) std::this_thread::sleep_for(1ms);
  sensor.CloseConnection();
  return dues;
}

TEST(SensorSchedule, KeepsTheGridAndRestartsItAfterAnOverrun) {
  struct TCase {
    const char* name;
    std::vector<std::chrono::milliseconds> durations;
    std::vector<int64_t> dues;
  };
  const TCase cases[] = {
      {"quick measurements do not drift", {30ms, 30ms, 30ms, 30ms}, {100, 200, 300, 400}},
      {"an overrun restarts from now", {30ms, 250ms, 30ms, 30ms}, {100, 200, 550, 650}},
      {"just in time stays on the grid", {100ms, 100ms, 10ms}, {100, 200, 300}},
  };
  for (const TCase& c : cases) {
    TManualClock clock;
    TScriptedSensor sensor(clock);
    sensor.SetInterval(100);
    sensor.Durations = c.durations;
    EXPECT_EQ(RunSchedule(sensor, clock, static_cast<int>(c.dues.size())), c.dues) << c.name;
  }
}

TEST(SensorDevice, AFailingMeasurementEndsTheThreadWithError21) {
  TManualClock clock;
  TScriptedSensor sensor(clock);
  auto event = std::make_shared<TEvent>();
  sensor.SetReceiveEvent(event);
  sensor.Fail = true;
  sensor.SetWait([](TSteadyTime) { return true; });
  std::string error;
  ASSERT_TRUE(sensor.OpenConnection("test", error));
  ASSERT_EQ(event->WaitFor(5s), TWaitResult::wrSignaled);
  std::vector<double> data;
  EXPECT_EQ(sensor.GetReport(data), TSensorReport::srError);
  EXPECT_EQ(sensor.ErrorCode(), kSensorErrMeasurement);
  EXPECT_EQ(sensor.ErrorMessage(), "Measurement failed: sensor gone");
  EXPECT_FALSE(sensor.IsOpen());
  EXPECT_EQ(sensor.GetReport(data), TSensorReport::srNone) << "an error is handed on once";
}

TEST(SensorDevice, HandsOnValueSetsInOrderBeforeALaterError) {
  TManualClock clock;
  TScriptedSensor sensor(clock);
  sensor.Queue({1.5, -2.25, 1e300});
  sensor.Queue({});
  sensor.Error(kSensorErrTimeout, "timeout");
  std::vector<double> data;
  ASSERT_EQ(sensor.GetReport(data), TSensorReport::srData);
  EXPECT_EQ(data, (std::vector<double>{1.5, -2.25, 1e300}));
  ASSERT_EQ(sensor.GetReport(data), TSensorReport::srData);
  EXPECT_TRUE(data.empty());
  ASSERT_EQ(sensor.GetReport(data), TSensorReport::srError);
  EXPECT_EQ(sensor.ErrorCode(), kSensorErrTimeout);
  EXPECT_EQ(sensor.GetReport(data), TSensorReport::srNone);
}

TEST(SensorDevice, IntervalChangeIsReportedOnceWithItsText) {
  TManualClock clock;
  TScriptedSensor sensor(clock);
  sensor.SetInterval(1000);
  EXPECT_FALSE(sensor.HeaderChanged());
  sensor.SetInterval(10000);
  EXPECT_TRUE(sensor.HeaderChanged());
  EXPECT_FALSE(sensor.HeaderChanged());
  EXPECT_EQ(sensor.IntervalText(), "10s");
  sensor.SetInterval(1500);
  EXPECT_EQ(sensor.IntervalText(), "1500ms");
}

TEST(SensorDevice, RangeInfosSurviveASettingsRoundTrip) {
  TManualClock clock;
  TScriptedSensor sensor(clock);
  sensor.SetRangeInfo(1, {-1.5, 30.25, true});
  sensor.SetRangeInfo(2, {0, 100, false});
  TAppSettings settings;
  sensor.SaveSettings(settings, "Session_1_");
  EXPECT_EQ(settings.TryGetValue("Session_1_RangeInfo_1"), "-1.5, 30.25, True");

  TScriptedSensor loaded(clock);
  loaded.ReadSettings(settings, "Session_1_");
  EXPECT_EQ(loaded.GetRangeInfo(1), (TSensorRangeInfo{-1.5, 30.25, true}));
  EXPECT_EQ(loaded.GetRangeInfo(2), (TSensorRangeInfo{0, 100, false}));
}

TEST(SensorDevice, UnreadableRangeInfoGivesTheDefault) {
  TManualClock clock;
  TAppSettings settings;
  settings.SetValue("P_RangeInfo_1", "1, x, True");
  settings.SetValue("P_RangeInfo_2", "1, 2");
  TScriptedSensor sensor(clock);
  sensor.SetRangeInfo(1, {5, 6, true});
  sensor.ReadSettings(settings, "P_");
  EXPECT_EQ(sensor.GetRangeInfo(1), TSensorRangeInfo{});
  EXPECT_EQ(sensor.GetRangeInfo(2), TSensorRangeInfo{});
}

TEST(DemoSensor, ValuesStayInTheirRangesInEitherTemperatureUnit) {
  struct TCase {
    int32_t unit;
    double random;
    double temperature;
  };
  const TCase cases[] = {
      {kTempUnitCelsius, 0.0, 21.5},     {kTempUnitCelsius, 0.5, 22.0},     {kTempUnitFahrenheit, 0.0, 70.7},
      {kTempUnitFahrenheit, 0.5, 71.6},  {kTempUnitFahrenheit, 0.9, 72.32},
  };
  for (const TCase& c : cases) {
    TManualClock clock;
    TVTA_DemoSensorDevice demo(-1, clock, [&] { return c.random; });
    demo.UpdateOptions(c.unit);
    const std::vector<double> values = demo.NextValues();
    ASSERT_EQ(values.size(), 6u);
    EXPECT_DOUBLE_EQ(values[0], c.random + 8);
    EXPECT_NEAR(values[2], c.temperature, 1e-9);
    EXPECT_NEAR(values[4], c.temperature, 1e-9);
    EXPECT_DOUBLE_EQ(values[3], c.random * 5 + 45.5);
    EXPECT_DOUBLE_EQ(values[5], c.random * 5 + 45.5);
    EXPECT_EQ(demo.ChannelUnitName(3), c.unit == kTempUnitFahrenheit ? "°F" : "°C");
    EXPECT_EQ(demo.SignalInfo(demo.ChannelToSignal(3)).NullValue, c.unit == kTempUnitFahrenheit ? 70 : 21);
  }
}

TEST(DemoSensor, RampRisesByHalfStepsAndRestartsAfterTwenty) {
  TManualClock clock;
  TVTA_DemoSensorDevice demo(-1, clock, [] { return 0.0; });
  std::vector<double> ramp;
  for (int i = 0; i < 42; ++i) ramp.push_back(demo.NextValues()[1]);
  EXPECT_EQ(ramp[0], 0.5);
  EXPECT_EQ(ramp[39], 20.0);
  EXPECT_EQ(ramp[40], 0.0);
  EXPECT_EQ(ramp[41], 0.5);
}

TEST(DemoSensor, DescribesSixChannelsOfThreeSignals) {
  TManualClock clock;
  TVTA_DemoSensorDevice demo(-1, clock);
  EXPECT_EQ(demo.ChannelCount(), 6);
  EXPECT_EQ(demo.SignalTypeCount(), 3);
  EXPECT_EQ(demo.SignalChannels(1), (std::vector<int32_t>{3, 5}));
  EXPECT_EQ(demo.SignalChannels(2), (std::vector<int32_t>{4, 6}));
  EXPECT_EQ(demo.SignalChannels(3), (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(demo.ChannelSignalName(4), "Humidity");
  EXPECT_EQ(demo.SignalInfo(2), (TSensorSignalInfo{"Humidity", "%", 50, 2, -1}));
  EXPECT_EQ(demo.SignalInfo(3), (TSensorSignalInfo{"Voltage", "V", 11, 2, -1}));
}

TEST(DemoSensor, MeasuresOnItsOwnThreadAtTheInterval) {
  TVTA_DemoSensorDevice demo(-1);
  auto event = std::make_shared<TEvent>();
  demo.SetReceiveEvent(event);
  demo.SetInterval(5);
  std::string error;
  ASSERT_TRUE(demo.OpenConnection("DemoSensor", error));
  std::vector<double> data;
  for (int sets = 0; sets < 3;) {
    ASSERT_EQ(event->WaitFor(5s), TWaitResult::wrSignaled);
    event->Reset();
    while (demo.GetReport(data) == TSensorReport::srData) {
      EXPECT_EQ(data.size(), 6u);
      ++sets;
    }
  }
  demo.CloseConnection();
  EXPECT_FALSE(demo.IsOpen());
}

}  // namespace

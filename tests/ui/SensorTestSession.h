#pragma once
// A sensor session for the views: its store describes the demo sensor's channels, and the test
// hands it the demo sensor's value sets without a measurement thread.
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "acquisition/VTA_SensorDevice.h"
#include "acquisition/VTA_SensorSession.h"
#include "data/VTA_SensorDM.h"
#include "devices/QV_CommonTypes.h"

struct TTestSensorSession {
  explicit TTestSensorSession(int32_t index = 1) : Session(TSensorSessionItem::Make(-1, index, {})) {
    Session->SetOpenParams("DemoSensor", ctDemoNone, 0xFF00FF, "");
    std::vector<TSensorSignalInfo> signals;
    for (int32_t s = 1; s <= Device.SignalTypeCount(); ++s) signals.push_back(Device.SignalInfo(s));
    std::vector<int32_t> channelToSignal;
    for (int32_t k = 1; k <= Device.ChannelCount(); ++k) channelToSignal.push_back(Device.ChannelToSignal(k));
    Store().SetSignals(std::move(signals), std::move(channelToSignal));
  }
  TVTA_SensorDM& Store() const { return Session->SensorDM(); }
  // `count` value sets of the demo sensor, one second apart.
  void Add(int count) {
    for (int i = 0; i < count; ++i) {
      const std::vector<double> values = Device.NextValues();
      Store().AddValues(values, Time);
      Time += std::chrono::seconds(1);
    }
  }

  // The demo's random part; 0.5 gives channel 1 8.5 V, channels 3 and 5 22 °C, 4 and 6 48 %.
  std::function<double()> Random = [] { return 0.5; };
  TVTA_DemoSensorDevice Device{-1, SystemClock(), [this] { return Random(); }};
  std::unique_ptr<TSensorSessionItem> Session;
  TWallTime Time{std::chrono::hours(24 * 365 * 50)};
};

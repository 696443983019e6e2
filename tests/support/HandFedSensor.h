#pragma once
#include <string>
#include <vector>

#include "acquisition/VTA_SensorDevice.h"

// A sensor device the test feeds by hand: its measurement thread ends at once, value sets and
// errors come from the test.
class THandFedSensor : public TVTA_BaseSensorDevice {
 public:
  THandFedSensor(int32_t logId, const TClock& clock) : TVTA_BaseSensorDevice(logId, kSensorDevSNMP, clock) {
    SetSignals({{"Voltage", "V", 11, 2, -1}}, {1, 1});
    SetWait([](TSteadyTime) { return false; });
  }
  ~THandFedSensor() override { CloseConnection(); }
  void Values(std::vector<double> values) { QueueValues(values); }
  void Error(int32_t code, const std::string& text) { SetError(code, text); }

 protected:
  bool DoOpenConnection(const std::string&, std::string&) override { return true; }
  void GenerateData() override {}
};

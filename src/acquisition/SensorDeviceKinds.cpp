#include "acquisition/SensorDeviceFactory.h"
#include "acquisition/VTA_SensorDevice.h"

// The sensor units' devices come with their libraries; until they are built in, opening one says so.

std::unique_ptr<TVTA_BaseSensorDevice> MakeSNMPSensorDevice(int32_t, const TClock&, std::string& error) {
  error = "TCW122B-CM sensors are not available in this build";
  return nullptr;
}

std::unique_ptr<TVTA_BaseSensorDevice> MakeLabJackSensorDevice(int32_t, const TClock&, std::string& error) {
  error = "LabJack sensors are not available in this build";
  return nullptr;
}

#include "acquisition/SensorDeviceFactory.h"

#include "acquisition/VTA_SensorDevice.h"
#include "acquisition/VTA_SensorSession.h"

std::unique_ptr<TVTA_BaseSensorDevice> MakeSensorDevice(bool labJackSession, const std::string& openString,
                                                        int32_t logId, const TClock& clock, std::string& error) {
  const bool demo = openString == kSensorDemoOpenString;
  if (labJackSession) {
    if (demo || openString.starts_with(kSensorLabJackPrefix)) return MakeLabJackSensorDevice(logId, clock, error);
  } else {
    if (demo) return std::make_unique<TVTA_DemoSensorDevice>(logId, clock);
    if (openString.starts_with(kSensorTCW122BPrefix)) return MakeSNMPSensorDevice(logId, clock, error);
  }
  error = "Unknown Device: " + openString;
  return nullptr;
}

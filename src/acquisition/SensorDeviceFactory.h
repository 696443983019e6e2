#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "core/Clock.h"

class TVTA_BaseSensorDevice;

// The sensor device for a session's open string: "DemoSensor" (the LabJack session: the LabJack
// library's demo device), "TCW122B-CM: " + address, and for the LabJack session "LabJack-T4: " +
// identifier. None with the reason in error: "Unknown Device: " + open string, or the device kind
// is not part of this build.
std::unique_ptr<TVTA_BaseSensorDevice> MakeSensorDevice(bool labJackSession, const std::string& openString,
                                                        int32_t logId, const TClock& clock, std::string& error);

// The devices of the sensor units, each in the unit that binds its library. Without the library
// they give none with "... not available in this build".
std::unique_ptr<TVTA_BaseSensorDevice> MakeSNMPSensorDevice(int32_t logId, const TClock& clock, std::string& error);
std::unique_ptr<TVTA_BaseSensorDevice> MakeLabJackSensorDevice(int32_t logId, const TClock& clock, std::string& error);

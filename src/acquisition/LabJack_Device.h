#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "acquisition/VTA_SensorDevice.h"
#include "devices/LabJackLibrary.h"

// A LabJack T4 read through the LJM library: the voltages of its 8 analog inputs. Opened with
// "LabJack-T4: " + identifier (a serial number, a name, or an IP address for a unit on Ethernet);
// "DemoSensor" opens the library's demo device.
class TLabJack_Device : public TVTA_BaseSensorDevice {
 public:
  static constexpr int32_t kErrRead = 3;  // a measurement the library could not read
  static constexpr int32_t kChannels = 8;

  // `library` none = the program's one library (TLabJackLibrary::Shared()).
  explicit TLabJack_Device(int32_t aLogId, std::shared_ptr<TLabJackLibrary> library = nullptr,
                           const TClock& clock = SystemClock());
  ~TLabJack_Device() override;

 protected:
  bool DoOpenConnection(const std::string& ConnectionString, std::string& error) override;
  void DoCloseConnection() override;
  void GenerateData() override;

 private:
  std::shared_ptr<TLabJackLibrary> FLibrary;
  int32_t FHandle = 0;  // set when opening, used by the measurement thread
};

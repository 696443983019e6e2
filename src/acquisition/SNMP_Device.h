#pragma once
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "acquisition/VTA_SensorDevice.h"
#include "devices/SnmpClient.h"

// The TCW122B-CM environment unit read over SNMP: two voltages, two temperatures and two
// humidities, one GetRequest per measurement. Opened with "TCW122B-CM: " + IP address (an IPv4
// address may carry ":" + port when the unit is not on the standard port 161).
class TSNMP_Device : public TVTA_BaseSensorDevice {
 public:
  // The unit's own temperature unit, read once when opening.
  static constexpr const char* kTempUnitOid = "1.3.6.1.4.1.38783.3.15.0";

  explicit TSNMP_Device(int32_t aLogId, const TClock& clock = SystemClock());
  ~TSNMP_Device() override;

  void UpdateOptions(int32_t tempUnit) override;
  // How long one request waits for the answer and how often it is sent again; takes effect at the
  // next opening (tests shorten it).
  void SetAnswerTimeout(std::chrono::milliseconds timeout, int32_t retries);

  // The address as opened, with the port when one was given.
  const std::string& Address() const { return FAddress; }
  // The unit's temperature unit (kTempUnitCelsius or kTempUnitFahrenheit) as read when opening.
  int32_t UnitTempUnit() const { return FUnitTempUnit; }

 protected:
  bool DoOpenConnection(const std::string& ConnectionString, std::string& error) override;
  void DoCloseConnection() override;
  void GenerateData() override;

 private:
  bool ReadUnitTempUnit();
  std::vector<double> ScaledValues(const std::vector<int64_t>& raw) const;

  // One try per request: opening makes two attempts of its own, and a measurement that gets no
  // answer is reported rather than held up past the next one.
  std::chrono::milliseconds FTimeout{1000};
  int32_t FRetries = 0;
  std::string FAddress;
  std::unique_ptr<TSnmpClient> FClient;  // made when opening, used by the measurement thread
  int32_t FUnitTempUnit = kTempUnitCelsius;
};

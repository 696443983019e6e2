#include "acquisition/SNMP_Device.h"

#include <charconv>
#include <optional>

#include "acquisition/SensorDeviceFactory.h"
#include "acquisition/SensorOpenString.h"
#include "acquisition/VTA_SensorSession.h"

namespace {

// Channels 1 to 6: the two voltages, temperature 1, humidity 1, temperature 2, humidity 2.
const std::vector<std::string> kChannelOids = {
    "1.3.6.1.4.1.38783.3.7.0",  "1.3.6.1.4.1.38783.3.8.0",  "1.3.6.1.4.1.38783.3.9.0",
    "1.3.6.1.4.1.38783.3.11.0", "1.3.6.1.4.1.38783.3.10.0", "1.3.6.1.4.1.38783.3.12.0",
};
constexpr size_t kTemperatureChannels[] = {2, 4};  // channels 3 and 5, from 0
constexpr double kValueScale = 10;                  // the unit sends tenths
constexpr int kOpenAttempts = 2;

struct TUnitAddress {
  std::string Host;
  uint16_t Port = 161;
};

// An IPv4 or IPv6 address; an IPv4 address may end in ":" + port.
std::optional<TUnitAddress> ParseUnitAddress(const std::string& text) {
  if (IsIPv4Address(text) || IsIPv6Address(text)) return TUnitAddress{text};
  const size_t colon = text.find(':');
  if (colon == std::string::npos || text.find(':', colon + 1) != std::string::npos) return std::nullopt;
  const std::string host = text.substr(0, colon);
  const std::string port = text.substr(colon + 1);
  unsigned value = 0;
  const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
  if (!IsIPv4Address(host) || ec != std::errc() || end != port.data() + port.size() || value == 0 || value > 65535)
    return std::nullopt;
  return TUnitAddress{host, static_cast<uint16_t>(value)};
}

}  // namespace

std::unique_ptr<TVTA_BaseSensorDevice> MakeSNMPSensorDevice(int32_t logId, const TClock& clock, std::string&) {
  return std::make_unique<TSNMP_Device>(logId, clock);
}

TSNMP_Device::TSNMP_Device(int32_t aLogId, const TClock& clock) : TVTA_BaseSensorDevice(aLogId, kSensorDevSNMP, clock) {
  FDbgTag = "TSNMP_Device";
  UpdateOptions(kTempUnitCelsius);
}

TSNMP_Device::~TSNMP_Device() { CloseConnection(); }

void TSNMP_Device::UpdateOptions(int32_t tempUnit) {
  TVTA_BaseSensorDevice::UpdateOptions(tempUnit);
  SetSignals({TemperatureSignal(tempUnit, 2, -1), {"Humidity", "%", 50, 2, -1}, {"Voltage", "V", 30, 2, -1}},
             {3, 3, 1, 2, 1, 2});
}

void TSNMP_Device::SetAnswerTimeout(std::chrono::milliseconds timeout, int32_t retries) {
  FTimeout = timeout;
  FRetries = retries;
}

bool TSNMP_Device::DoOpenConnection(const std::string& ConnectionString, std::string& error) {
  FAddress = OpenStringArgument(ConnectionString, kSensorTCW122BPrefix);
  const auto address = ParseUnitAddress(FAddress);
  if (!address) {
    error = "Invalid IP address: " + FAddress;
    return false;
  }
  TSnmpTarget target;
  target.Address = address->Host;
  target.Port = address->Port;
  target.Timeout = FTimeout;
  target.Retries = FRetries;
  FClient = std::make_unique<TSnmpClient>(target);
  if (!FClient->Open(error)) {
    FClient.reset();
    return false;
  }
  if (!ReadUnitTempUnit()) {
    error = "No device at " + FAddress + " Please check SNMP support in the device";
    SetError(kSensorErrNoDevice, error);
    FClient.reset();
    return false;
  }
  return true;
}

bool TSNMP_Device::ReadUnitTempUnit() {
  for (int attempt = 1; attempt <= kOpenAttempts; ++attempt) {
    const TSnmpResult result = FClient->Get({kTempUnitOid});
    if (result.Status == TSnmpStatus::Ok) {
      FUnitTempUnit = result.Values[0] == kTempUnitFahrenheit ? kTempUnitFahrenheit : kTempUnitCelsius;
      LogIt(FLogId, FDbgTag + ".OpenConnection temperature unit of the device: " + std::to_string(result.Values[0]));
      return true;
    }
    LogWarn(FLogId, FDbgTag + ".OpenConnection attempt " + std::to_string(attempt) + ": " + result.Error);
  }
  return false;
}

void TSNMP_Device::DoCloseConnection() { FClient.reset(); }

std::vector<double> TSNMP_Device::ScaledValues(const std::vector<int64_t>& raw) const {
  std::vector<double> values;
  for (const int64_t value : raw) values.push_back(static_cast<double>(value) / kValueScale);
  const int32_t programUnit = TempUnit();
  if (programUnit != FUnitTempUnit) {
    for (const size_t channel : kTemperatureChannels) {
      values[channel] = programUnit == kTempUnitFahrenheit ? CelsiusToFahrenheit(values[channel])
                                                           : FahrenheitToCelsius(values[channel]);
    }
  }
  return values;
}

void TSNMP_Device::GenerateData() {
  const TSnmpResult result = FClient->Get(kChannelOids);
  switch (result.Status) {
    case TSnmpStatus::Ok:
      QueueValues(ScaledValues(result.Values));
      break;
    case TSnmpStatus::Timeout:
      SetError(kSensorErrTimeout, "SNMP request timed out: no answer from " + FAddress);
      break;
    case TSnmpStatus::ErrorReply:
    case TSnmpStatus::Failure:
      SetError(kSensorErrRequest, "SNMP request failed " + result.Error);
      break;
  }
}

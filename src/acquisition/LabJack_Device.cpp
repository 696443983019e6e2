#include "acquisition/LabJack_Device.h"

#include "acquisition/SensorDeviceFactory.h"
#include "acquisition/SensorOpenString.h"
#include "acquisition/VTA_SensorSession.h"

namespace {

// AIN0 to AIN7 as 32-bit floats: two registers each.
const std::vector<int32_t> kAnalogInputs = {0, 2, 4, 6, 8, 10, 12, 14};

}  // namespace

std::unique_ptr<TVTA_BaseSensorDevice> MakeLabJackSensorDevice(int32_t logId, const TClock& clock, std::string&) {
  return std::make_unique<TLabJack_Device>(logId, nullptr, clock);
}

TLabJack_Device::TLabJack_Device(int32_t aLogId, std::shared_ptr<TLabJackLibrary> library, const TClock& clock)
    : TVTA_BaseSensorDevice(aLogId, kSensorDevLabJack, clock),
      FLibrary(library ? std::move(library) : TLabJackLibrary::Shared()) {
  FDbgTag = "TLabJack_Device";
  SetSignals({{"Voltage", "V", 0, 2, -1}}, std::vector<int32_t>(kChannels, 1));
}

TLabJack_Device::~TLabJack_Device() { CloseConnection(); }

bool TLabJack_Device::DoOpenConnection(const std::string& ConnectionString, std::string& error) {
  if (!FLibrary->Load()) {
    error = FLibrary->ErrorToString(TLabJackLibrary::NotLoaded);
    return false;
  }
  const std::string identifier = OpenStringArgument(ConnectionString, kSensorLabJackPrefix);
  int32_t status = TLabJackLibrary::NoError;
  if (identifier == kSensorDemoOpenString) {
    status = FLibrary->Open(TLabJackLibrary::dtANY, TLabJackLibrary::ctANY, TLabJackLibrary::DemoIdentifier, FHandle);
  } else {
    // An IP address reaches the unit on Ethernet; every other identifier names one on USB.
    const int32_t connection = IsIPv4Address(identifier) ? TLabJackLibrary::ctETHERNET : TLabJackLibrary::ctUSB;
    status = FLibrary->Open(TLabJackLibrary::dtT4, connection, identifier, FHandle);
  }
  if (status != TLabJackLibrary::NoError) {
    error = "Open LabJack device failed: " + FLibrary->ErrorToString(status);
    return false;
  }
  return true;
}

void TLabJack_Device::DoCloseConnection() {
  const int32_t status = FLibrary->Close(FHandle);
  if (status != TLabJackLibrary::NoError)
    LogWarn(FLogId, FDbgTag + ".CloseConnection: " + FLibrary->ErrorToString(status));
}

void TLabJack_Device::GenerateData() {
  std::vector<double> values;
  int32_t errorAddress = -1;
  const int32_t status = FLibrary->ReadAddresses(FHandle, kAnalogInputs, TLabJackLibrary::FLOAT32, values, errorAddress);
  if (status != TLabJackLibrary::NoError) {
    SetError(kErrRead, "Reading from LabJack device failed: " + FLibrary->ErrorToString(status) +
                           ", error address=" + std::to_string(errorAddress));
    return;
  }
  QueueValues(values);
}

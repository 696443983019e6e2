#include "acquisition/VTA_SensorDevice.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <utility>

#include "core/App_Settings.h"
#include "core/CircularBuffer.h"
#include "core/NamedEvent.h"
#include "core/QV_NumberText.h"
#include "core/ThreadName.h"
#include "protocol/QV_Header.h"

namespace {

constexpr uint32_t kCountBytes = 4;

}  // namespace

double CelsiusToFahrenheit(double celsius) { return celsius * 1.8 + 32; }
double FahrenheitToCelsius(double fahrenheit) { return (fahrenheit - 32) / 1.8; }

TSensorSignalInfo TemperatureSignal(int32_t tempUnit, int32_t rangeDiff, int32_t rangeFaktor) {
  const bool fahrenheit = tempUnit == kTempUnitFahrenheit;
  return {"Temperature", fahrenheit ? "°F" : "°C", fahrenheit ? 70.0 : 21.0, rangeDiff, rangeFaktor};
}

TVTA_BaseSensorDevice::TVTA_BaseSensorDevice(int32_t aLogId, int32_t aDevType, const TClock& clock)
    : FLogId(aLogId),
      FDevType(aDevType),
      FDbgTag("TVTA_BaseSensorDevice"),
      FClock(clock),
      FReceiveEvent(NamedEvent("BaseReceiveEvent")),
      FReceiveBuffer(std::make_unique<TCircularBuffer>(aLogId, FReceiveEvent.get(), true, clock)),
      FRangeInfos(kMaxChannels) {
  FReceiveBuffer->SetNoEOL();
  FReceiveBuffer->SetDoResetEvent(false);
}

TVTA_BaseSensorDevice::~TVTA_BaseSensorDevice() { CloseConnection(); }

void TVTA_BaseSensorDevice::UpdateOptions(int32_t tempUnit) { FTempUnit.store(tempUnit); }

bool TVTA_BaseSensorDevice::OpenConnection(const std::string& ConnectionString, std::string& error) {
  CloseConnection();
  LogIt(FLogId, FDbgTag + ".OpenConnection " + ConnectionString);
  if (!DoOpenConnection(ConnectionString, error)) {
    LogError(FLogId, FDbgTag + ".OpenConnection failed: " + error);
    return false;
  }
  {
    std::lock_guard lock(FLock);
    FStop = false;
    FErrorCode = 0;
    FErrorMessage.clear();
    FErrorPending = false;
  }
  FReceiveBuffer->Clear();
  FOpen.store(true);
  FThread = std::thread([this] { Execute(); });
  return true;
}

void TVTA_BaseSensorDevice::CloseConnection() {
  {
    std::lock_guard lock(FLock);
    FStop = true;
  }
  FStopSignal.notify_all();
  if (FThread.joinable()) FThread.join();
  if (FOpen.exchange(false)) {
    LogIt(FLogId, FDbgTag + ".CloseConnection");
    DoCloseConnection();
  }
}

bool TVTA_BaseSensorDevice::SendCommand(const std::string& Data) {
  LogIt(FLogId, FDbgTag + ".SendCommand: Commands are not supported (" + Data + ")");
  return false;
}

// Due times follow a fixed grid (previous due + interval) so that the rate does not drift with the
// time a measurement takes; after an overrun the grid restarts from now instead of catching up.
void TVTA_BaseSensorDevice::Execute() {
  NameThisThread("SensorDevice");
  TSteadyTime due = FClock.Steady() + std::chrono::milliseconds(Interval());
  try {
    while (WaitUntil(due)) {
      GenerateData();
      const TSteadyTime now = FClock.Steady();
      due += std::chrono::milliseconds(Interval());
      if (due < now) due = now + std::chrono::milliseconds(Interval());
    }
  } catch (const std::exception& e) {
    LogException(FLogId, FDbgTag + ".Execute failed", e);
    FOpen.store(false);
    SetError(kSensorErrMeasurement, "Measurement failed: " + std::string(e.what()));
  } catch (...) {
    LogError(FLogId, FDbgTag + ".Execute failed");
    FOpen.store(false);
    SetError(kSensorErrMeasurement, "Measurement failed");
  }
}

bool TVTA_BaseSensorDevice::WaitUntil(TSteadyTime due) {
  if (FWait) {
    {
      std::lock_guard lock(FLock);
      if (FStop) return false;
    }
    return FWait(due);
  }
  std::unique_lock lock(FLock);
  while (!FStop) {
    const auto left = due - FClock.Steady();
    if (left <= std::chrono::steady_clock::duration::zero()) return true;
    FStopSignal.wait_for(lock, left);
  }
  return false;
}

void TVTA_BaseSensorDevice::QueueValues(std::span<const double> values) {
  std::vector<uint8_t> record(kCountBytes + values.size() * sizeof(double));
  const uint32_t n = static_cast<uint32_t>(values.size());
  for (uint32_t i = 0; i < kCountBytes; ++i) record[i] = static_cast<uint8_t>(n >> (8 * i));
  std::memcpy(record.data() + kCountBytes, values.data(), values.size() * sizeof(double));
  if (!FReceiveBuffer->Write(record)) LogError(FLogId, FDbgTag + ".QueueValues: buffer full, value set dropped");
  if (ReportLog()) LogIt(FLogId, FDbgTag + ".QueueValues " + std::to_string(n) + " values");
}

void TVTA_BaseSensorDevice::SetError(int32_t code, const std::string& message) {
  {
    std::lock_guard lock(FLock);
    FErrorCode = code;
    FErrorMessage = message;
    FErrorPending = true;
  }
  LogError(FLogId, FDbgTag + " error " + std::to_string(code) + ": " + message);
  FReceiveEvent->Set();
}

TSensorReport TVTA_BaseSensorDevice::GetReport(std::vector<double>& Data) {
  Data.clear();
  const std::vector<uint8_t> count = FReceiveBuffer->PeekData(kCountBytes);
  if (count.size() == kCountBytes) {
    uint32_t n = 0;
    for (uint32_t i = 0; i < kCountBytes; ++i) n |= static_cast<uint32_t>(count[i]) << (8 * i);
    const std::vector<uint8_t> record = FReceiveBuffer->Read(kCountBytes + n * sizeof(double));
    if (record.size() == kCountBytes + n * sizeof(double)) {
      Data.resize(n);
      std::memcpy(Data.data(), record.data() + kCountBytes, n * sizeof(double));
      return TSensorReport::srData;
    }
  }
  std::lock_guard lock(FLock);
  if (!FErrorPending) return TSensorReport::srNone;
  FErrorPending = false;
  return TSensorReport::srError;
}

void TVTA_BaseSensorDevice::SetInterval(int32_t ms) {
  if (ms <= 0) return;
  if (FIntervalMs.exchange(ms) == ms) return;
  std::lock_guard lock(FLock);
  FHeaderChanged = true;
}

std::string TVTA_BaseSensorDevice::IntervalText() const {
  const int32_t ms = Interval();
  for (int index = 0; !TQVHeader::IntervalIndexToText(index).empty(); ++index)
    if (TQVHeader::IntervalIndexToMs(index) == static_cast<uint32_t>(ms)) return TQVHeader::IntervalIndexToText(index);
  return std::to_string(ms) + "ms";
}

bool TVTA_BaseSensorDevice::HeaderChanged() {
  std::lock_guard lock(FLock);
  return std::exchange(FHeaderChanged, false);
}

void TVTA_BaseSensorDevice::ReadSettings(TAppSettings& Settings, const std::string& SettingsPrefix) {
  for (int32_t kanal = 1; kanal <= ChannelCount(); ++kanal) {
    const std::string key = SettingsPrefix + "RangeInfo_" + std::to_string(kanal);
    SetRangeInfo(kanal, ParseSensorRangeInfo(Settings.GetValue(key, SensorRangeInfoText(GetRangeInfo(kanal))))
                            .value_or(TSensorRangeInfo{}));
  }
}

void TVTA_BaseSensorDevice::SaveSettings(TAppSettings& Settings, const std::string& SettingsPrefix) {
  for (int32_t kanal = 1; kanal <= ChannelCount(); ++kanal)
    Settings.SetValue(SettingsPrefix + "RangeInfo_" + std::to_string(kanal), SensorRangeInfoText(GetRangeInfo(kanal)));
}

TSensorRangeInfo TVTA_BaseSensorDevice::GetRangeInfo(int32_t kanal) const {
  std::lock_guard lock(FLock);
  return kanal >= 1 && kanal <= kMaxChannels ? FRangeInfos[kanal - 1] : TSensorRangeInfo{};
}

void TVTA_BaseSensorDevice::SetRangeInfo(int32_t kanal, const TSensorRangeInfo& value) {
  std::lock_guard lock(FLock);
  if (kanal >= 1 && kanal <= kMaxChannels) FRangeInfos[kanal - 1] = value;
}

std::string TVTA_BaseSensorDevice::SetDebugLog(bool DbgOn, const std::string& DbgID, bool errorOnly) {
  LogFileName(FLogId, DbgOn ? FOutputPath + DbgID + "_Sensor.txt" : "", errorOnly);
  return ErrorMsg(FLogId);
}

void TVTA_BaseSensorDevice::SetDebugLimit(TLogLimitType LogType, uint32_t aSize) { SetLimit(FLogId, LogType, aSize); }

void TVTA_BaseSensorDevice::DebugFlags(bool ReportLog, bool LowLevelLog) {
  FReportLog.store(ReportLog);
  FLowLevelLog.store(LowLevelLog);
}

void TVTA_BaseSensorDevice::SetSignals(std::vector<TSensorSignalInfo> signals, std::vector<int32_t> channelToSignal) {
  std::lock_guard lock(FLock);
  FSignalsInfo = std::move(signals);
  FChannelToSignal = std::move(channelToSignal);
}

int32_t TVTA_BaseSensorDevice::SignalTypeCount() const {
  std::lock_guard lock(FLock);
  return static_cast<int32_t>(FSignalsInfo.size());
}

TSensorSignalInfo TVTA_BaseSensorDevice::SignalInfo(int32_t signal) const {
  std::lock_guard lock(FLock);
  return signal >= 1 && static_cast<size_t>(signal) <= FSignalsInfo.size() ? FSignalsInfo[signal - 1]
                                                                           : TSensorSignalInfo{};
}

int32_t TVTA_BaseSensorDevice::ChannelToSignal(int32_t kanal) const {
  std::lock_guard lock(FLock);
  return kanal >= 1 && static_cast<size_t>(kanal) <= FChannelToSignal.size() ? FChannelToSignal[kanal - 1] : 0;
}

std::string TVTA_BaseSensorDevice::ChannelSignalName(int32_t kanal) const {
  return SignalInfo(ChannelToSignal(kanal)).SignalName;
}

std::string TVTA_BaseSensorDevice::ChannelUnitName(int32_t kanal) const {
  return SignalInfo(ChannelToSignal(kanal)).UnitName;
}

std::vector<int32_t> TVTA_BaseSensorDevice::SignalChannels(int32_t signal) const {
  std::vector<int32_t> channels;
  for (int32_t kanal = 1; kanal <= ChannelCount(); ++kanal)
    if (ChannelToSignal(kanal) == signal) channels.push_back(kanal);
  return channels;
}

int32_t TVTA_BaseSensorDevice::ChannelCount() const {
  std::lock_guard lock(FLock);
  return static_cast<int32_t>(FChannelToSignal.size());
}

int32_t TVTA_BaseSensorDevice::HighChannel() const { return ChannelCount(); }

int32_t TVTA_BaseSensorDevice::ErrorCode() const {
  std::lock_guard lock(FLock);
  return FErrorCode;
}

std::string TVTA_BaseSensorDevice::ErrorMessage() const {
  std::lock_guard lock(FLock);
  return FErrorMessage;
}

void TVTA_BaseSensorDevice::SetReceiveEvent(std::shared_ptr<TEvent> event) {
  if (!event) event = NamedEvent("BaseReceiveEvent");
  FReceiveEvent = event;
  FReceiveBuffer = std::make_unique<TCircularBuffer>(FLogId, FReceiveEvent.get(), true, FClock);
  FReceiveBuffer->SetNoEOL();
  FReceiveBuffer->SetDoResetEvent(false);
}

// ---- Demo sensor ----

namespace {

constexpr double kRampStep = 0.5;
constexpr double kRampTop = 20;

std::function<double()> SeededRandom() {
  auto engine = std::make_shared<std::mt19937>(std::random_device{}());
  return [engine] { return std::uniform_real_distribution<double>(0.0, 1.0)(*engine); };
}

}  // namespace

TVTA_DemoSensorDevice::TVTA_DemoSensorDevice(int32_t aLogId, const TClock& clock, TRandom random)
    : TVTA_BaseSensorDevice(aLogId, kSensorDevDemo, clock), FRandom(random ? std::move(random) : SeededRandom()) {
  FDbgTag = "TVTA_DemoSensorDevice";
  UpdateOptions(kTempUnitCelsius);
}

TVTA_DemoSensorDevice::~TVTA_DemoSensorDevice() { CloseConnection(); }

void TVTA_DemoSensorDevice::UpdateOptions(int32_t tempUnit) {
  TVTA_BaseSensorDevice::UpdateOptions(tempUnit);
  SetSignals({TemperatureSignal(tempUnit, 1, 0), {"Humidity", "%", 50, 2, -1}, {"Voltage", "V", 11, 2, -1}},
             {3, 3, 1, 2, 1, 2});
}

bool TVTA_DemoSensorDevice::DoOpenConnection(const std::string&, std::string&) { return true; }

std::vector<double> TVTA_DemoSensorDevice::NextValues() {
  const auto temperature = [this] {
    const double celsius = FRandom() + 21.5;
    return TempUnit() == kTempUnitFahrenheit ? CelsiusToFahrenheit(celsius) : celsius;
  };
  const auto humidity = [this] { return FRandom() * 5 + 45.5; };
  FRamp += kRampStep;
  if (FRamp > kRampTop) FRamp = 0;
  std::vector<double> values(6);
  values[0] = FRandom() + 8;
  values[1] = FRamp;
  values[2] = temperature();
  values[3] = humidity();
  values[4] = temperature();
  values[5] = humidity();
  return values;
}

void TVTA_DemoSensorDevice::GenerateData() { QueueValues(NextValues()); }

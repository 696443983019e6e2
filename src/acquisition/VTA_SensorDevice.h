#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "alarms/SensorAlarm.h"
#include "core/Clock.h"
#include "core/LogUnit.h"
#include "data/SensorSignalInfo.h"

class TAppSettings;
class TCircularBuffer;
class TEvent;

// Device types of the sensor devices.
constexpr int32_t kSensorDevDemo = 0;
constexpr int32_t kSensorDevSNMP = 1;
constexpr int32_t kSensorDevLabJack = 2;

// Temperature units as the "TempUnit" option stores them.
constexpr int32_t kTempUnitCelsius = 0;
constexpr int32_t kTempUnitFahrenheit = 1;

// Error codes of sensor devices that the session tells apart.
constexpr int32_t kSensorErrNoDevice = 12;        // the unit did not answer when opened
constexpr int32_t kSensorErrMeasurement = 21;     // the measurement thread failed and ended
constexpr int32_t kSensorErrTimeout = 36;         // no reply to a measurement request
constexpr int32_t kSensorErrRequest = 38;         // an error reply to a measurement request

double CelsiusToFahrenheit(double celsius);
double FahrenheitToCelsius(double fahrenheit);
// The temperature signal in the given unit: "°C" centred on 21 or "°F" centred on 70.
TSensorSignalInfo TemperatureSignal(int32_t tempUnit, int32_t rangeDiff, int32_t rangeFaktor);

// What a poll of the device's queue found.
enum class TSensorReport { srNone, srData, srError };

// Waits until the due time on the device's clock; returns false when the thread is to stop.
// Tests replace it to run a schedule on a manual clock in no time.
using TSensorWait = std::function<bool(TSteadyTime due)>;

// The base of the sensor devices. OpenConnection opens the concrete device and starts a
// measurement thread that calls GenerateData once per interval. Each value set goes as one record
// (4-byte little-endian count n, then n doubles, channel 1 first) into a byte ring; the report
// thread takes it with GetReport. Errors of a measurement are kept until GetReport hands them on.
//
// A derived class calls CloseConnection in its destructor: the thread calls its GenerateData and
// must end before the derived part goes.
class TVTA_BaseSensorDevice {
 public:
  static constexpr int32_t kMaxChannels = 24;

  TVTA_BaseSensorDevice(int32_t aLogId, int32_t aDevType, const TClock& clock = SystemClock());
  virtual ~TVTA_BaseSensorDevice();
  TVTA_BaseSensorDevice(const TVTA_BaseSensorDevice&) = delete;
  TVTA_BaseSensorDevice& operator=(const TVTA_BaseSensorDevice&) = delete;

  // Takes the temperature unit (kTempUnitCelsius/kTempUnitFahrenheit); devices with a temperature
  // signal describe it anew.
  virtual void UpdateOptions(int32_t tempUnit);
  // Opens the device and starts the measurement thread; false with the reason in error.
  bool OpenConnection(const std::string& ConnectionString, std::string& error);
  // Stops and joins the measurement thread, then closes the device. Safe to call twice.
  void CloseConnection();
  bool IsOpen() const { return FOpen.load(); }
  // Sensors take no commands; false with "Commands are not supported" logged.
  virtual bool SendCommand(const std::string& Data);

  // The next queued value set (srData), a pending error (srError, see ErrorCode/ErrorMessage) or
  // nothing (srNone, Data empty). Values are taken before an error that came after them.
  TSensorReport GetReport(std::vector<double>& Data);
  // The measurement interval; takes effect at the next measurement.
  void SetInterval(int32_t ms);
  int32_t Interval() const { return FIntervalMs.load(); }
  // The interval as the counters name it ("1s", "10s"; other values in ms), and whether it
  // changed since last asked (asking resets it).
  std::string IntervalText() const;
  bool HeaderChanged();

  // "RangeInfo_" + channel under the prefix: min, max and warn flag.
  void ReadSettings(TAppSettings& Settings, const std::string& SettingsPrefix);
  void SaveSettings(TAppSettings& Settings, const std::string& SettingsPrefix);
  // Channels from 1; outside the channels the default range.
  TSensorRangeInfo GetRangeInfo(int32_t kanal) const;
  void SetRangeInfo(int32_t kanal, const TSensorRangeInfo& value);

  // Diagnostics: the device log goes to FOutputPath + DbgID + "_Sensor.txt" while on; returns the
  // logger's error text or empty.
  std::string SetDebugLog(bool DbgOn, const std::string& DbgID, bool errorOnly);
  void SetDebugLimit(TLogLimitType LogType, uint32_t aSize);
  void SetOutputPath(const std::string& path) { FOutputPath = path; }
  void DebugFlags(bool ReportLog, bool LowLevelLog);

  // ---- Signals and channels ----
  int32_t SignalTypeCount() const;
  // Signal index from 1.
  TSensorSignalInfo SignalInfo(int32_t signal) const;
  std::string SignalName(int32_t signal) const { return SignalInfo(signal).SignalName; }
  // Channel from 1 -> signal index from 1 (0 outside the channels).
  int32_t ChannelToSignal(int32_t kanal) const;
  std::string ChannelSignalName(int32_t kanal) const;
  std::string ChannelUnitName(int32_t kanal) const;
  // The channels (from 1) that carry the signal.
  std::vector<int32_t> SignalChannels(int32_t signal) const;
  int32_t ChannelCount() const;
  int32_t HighChannel() const;

  int32_t DevType() const { return FDevType; }
  int32_t TempUnit() const { return FTempUnit.load(); }
  int32_t ErrorCode() const;
  std::string ErrorMessage() const;
  int32_t LogId() const { return FLogId; }
  const std::string& DbgTag() const { return FDbgTag; }
  // The event set whenever a value set or an error is queued; none = "BaseReceiveEvent".
  void SetReceiveEvent(std::shared_ptr<TEvent> event);
  // Replaces the wait between measurements (tests); call before OpenConnection.
  void SetWait(TSensorWait wait) { FWait = std::move(wait); }

 protected:
  // The concrete open and close; DoOpen returns false with the reason in error.
  virtual bool DoOpenConnection(const std::string& ConnectionString, std::string& error) = 0;
  virtual void DoCloseConnection() {}
  // One measurement: queues a value set with QueueValues or an error with SetError. An exception
  // ends the measurement thread with error 21.
  virtual void GenerateData() = 0;

  void QueueValues(std::span<const double> values);
  // Remembers the error and hands it to the next GetReport.
  void SetError(int32_t code, const std::string& message);
  // Describes the signals and maps every channel (from 1) to a signal index (from 1).
  void SetSignals(std::vector<TSensorSignalInfo> signals, std::vector<int32_t> channelToSignal);
  const TClock& Clock() const { return FClock; }
  bool ReportLog() const { return FReportLog.load(); }
  bool LowLevelLog() const { return FLowLevelLog.load(); }

  const int32_t FLogId;
  const int32_t FDevType;
  std::string FDbgTag;
  std::string FOutputPath;

 private:
  void Execute();
  bool WaitUntil(TSteadyTime due);
  int32_t SignalTypeCountLocked() const;

  const TClock& FClock;
  std::atomic<bool> FOpen{false};
  std::atomic<bool> FLowLevelLog{false};
  std::atomic<bool> FReportLog{false};
  std::atomic<int32_t> FTempUnit{kTempUnitCelsius};
  std::atomic<int32_t> FIntervalMs{1000};
  std::shared_ptr<TEvent> FReceiveEvent;
  std::unique_ptr<TCircularBuffer> FReceiveBuffer;
  TSensorWait FWait;
  std::thread FThread;

  mutable std::mutex FLock;  // guards what follows
  std::condition_variable FStopSignal;
  bool FStop = false;
  std::vector<TSensorRangeInfo> FRangeInfos;
  int32_t FErrorCode = 0;
  std::string FErrorMessage;
  bool FErrorPending = false;
  bool FHeaderChanged = false;
  std::vector<TSensorSignalInfo> FSignalsInfo;
  std::vector<int32_t> FChannelToSignal;
};

// The demo sensor: six channels of plausible room values without hardware.
class TVTA_DemoSensorDevice : public TVTA_BaseSensorDevice {
 public:
  // The random source gives values in [0, 1); none = a seeded generator of its own.
  using TRandom = std::function<double()>;
  explicit TVTA_DemoSensorDevice(int32_t aLogId, const TClock& clock = SystemClock(), TRandom random = {});
  ~TVTA_DemoSensorDevice() override;

  void UpdateOptions(int32_t tempUnit) override;
  // The values the next measurement would queue (the ramp moves on).
  std::vector<double> NextValues();

 protected:
  bool DoOpenConnection(const std::string& ConnectionString, std::string& error) override;
  void GenerateData() override;

 private:
  TRandom FRandom;
  double FRamp = 0;
};

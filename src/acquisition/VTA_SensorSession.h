#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "acquisition/App_Sessions.h"
#include "acquisition/QV_SessionOptions.h"
#include "alarms/SensorAlarm.h"
#include "core/Clock.h"
#include "data/SensorSignalInfo.h"

class TVTA_BaseSensorDevice;
class TVTA_SensorDM;

// Makes the device of a session's open string (MakeSensorDevice unless replaced).
using TSensorDeviceMaker = std::function<std::unique_ptr<TVTA_BaseSensorDevice>(
    bool labJackSession, const std::string& openString, int32_t logId, const TClock& clock, std::string& error)>;

// The open string of the demo sensor and the prefixes of the sensor units.
inline constexpr char kSensorDemoOpenString[] = "DemoSensor";
inline constexpr char kSensorTCW122BPrefix[] = "TCW122B-CM: ";
inline constexpr char kSensorLabJackPrefix[] = "LabJack-T4: ";

// Message codes of sensor sessions.
constexpr int32_t kSensorMsgConnected = 71;       // "Connected to: ", "Disconnect"
constexpr int32_t kSensorMsgConnectFailed = 72;   // the unit is gone; the session is closed
constexpr int32_t kSensorMsgReportFailed = 21;    // a measurement failed
constexpr int32_t kSensorMsgIntervalChanged = 13;
constexpr int32_t kSensorMsgWarning = 42;         // range warning ("W - Sensor Supervisor Warning")
constexpr int32_t kSensorMsgSilent = 43;          // open but no values for more than 3 intervals

// A sensor session: a demo sensor or a TCW122B-CM unit, read by a sensor device on its own thread,
// with a store for the views and the logs and the range warnings of its channels.
//
// Threads as for every session: the window thread opens, closes and configures; the report thread
// calls GetReport. The device is reached under FDeviceLock by both.
class TSensorSessionItem : public TSessionItem {
 public:
  static std::unique_ptr<TSensorSessionItem> Make(int32_t aLogId, int32_t aIndex, TSessionHandlers aHandlers,
                                                  TQVSessionEnv aEnv = {});
  ~TSensorSessionItem() override;

  // ---- Session operations ----
  void SetChannelData(const TQV_ChannelData& Value) override;
  std::shared_ptr<TDataManagement> CreateDatamanager() override;
  void AddError(int32_t Code, int32_t SubCode, const std::string& text) override;
  void AddInfo(int32_t Code, int32_t SubCode, const std::string& text) override;
  void AddWarning(int32_t Code, int32_t SubCode, const std::string& text) override;
  // Takes the number formats and the temperature unit of the application's options.
  void UpdateOptions(int32_t what) override;
  // Sensors take no commands: the user is told so.
  void SetCommand(const std::string& Cmd, const std::string& CmdText) override;
  std::string Debug(bool Value) override;
  void DebugFlags(bool Report, bool LowLevel) override;
  // "" when the device is open, else the reason ("Unknown Device: " + open string, the device's
  // own reason).
  std::string OpenDevice() override;
  void CloseDevice(bool stopServer) override;
  bool GetReport() override;
  void ReadSettings(TAppSettings& Settings, const std::string& SettingsPrefix) override;
  void SaveSettings(TAppSettings& Settings, const std::string& SettingsPrefix) override;

  // ---- Warnings ----
  // values[i] is channel i + 1; text is the warning of this set or empty.
  void CheckAlarm(std::span<const double> values, std::string& text);
  void SetRangeInfo(int32_t kanal, const TSensorRangeInfo& value);
  TSensorRangeInfo RangeInfo(int32_t kanal) const;
  // Stores the settings and restarts the count and the idle time.
  void SetSensorAlarm(const TSensorAlarm& value);
  TSensorAlarm SensorAlarm() const;

  // ---- Dependency on a counter session ----
  // Whether the sensor needs an open counter session (the demo sensor does not).
  bool NeedsQV() const;
  // The counter session the sensor needs is gone: the close message says so.
  void SetQVmissing(bool Value) { FQVmissing.store(Value); }
  bool QVmissing() const { return FQVmissing.load(); }
  // The unit was lost while open (code 72); reset by the next open.
  bool NotConnected() const { return FNotConnected.load(); }

  // Replaces how the device is made (tests: a scripted device); takes effect at the next open.
  void SetDeviceMaker(TSensorDeviceMaker maker);

  // ---- Views ----
  TVTA_SensorDM& SensorDM() const { return *FSensorDM; }
  // The channels the session's device delivers (0 before the first open).
  int32_t ChannelCount() const;

 protected:
  friend class TSessionItem;
  TSensorSessionItem(int32_t aLogId, int32_t aIndex, TSessionHandlers aHandlers, TQVSessionEnv aEnv,
                     bool aLabJack, std::string aDbgTag);

 private:
  void WireStore();
  // Reports a device error from GetReport: 72 and closed for a lost unit, else 21.
  void ReportDeviceError(int32_t code, const std::string& message);
  // Warns once when an open device has delivered nothing for more than 3 intervals.
  void CheckSilence();
  void CloseDeviceLocked();
  const TClock& Clock() const;
  void Log(const std::string& text) const;

  const bool FLabJack;
  TQVSessionEnv FEnv;
  TSensorDeviceMaker FDeviceMaker;
  std::shared_ptr<TVTA_SensorDM> FSensorDM;
  std::atomic<bool> FQVmissing{false};
  std::atomic<bool> FNotConnected{false};
  std::atomic<int32_t> FTempUnit{0};

  mutable std::mutex FDeviceLock;
  std::unique_ptr<TVTA_BaseSensorDevice> FDevice;  // guarded by FDeviceLock
  TSteadyTime FLastValues{};                        // guarded by FDeviceLock
  bool FSilenceReported = false;                    // guarded by FDeviceLock

  mutable std::mutex FAlarmLock;
  std::unique_ptr<TSensorAlarmCheck> FAlarmCheck;  // guarded by FAlarmLock
  int32_t FRangeChannels = 0;                      // channels with a stored range; guarded by FAlarmLock
};

// The LabJack T4 session: "LabJack-T4: " + identifier, or "DemoSensor" for the library's demo device.
class TLabJackSessionItem : public TSensorSessionItem {
 public:
  static std::unique_ptr<TLabJackSessionItem> Make(int32_t aLogId, int32_t aIndex, TSessionHandlers aHandlers,
                                                   TQVSessionEnv aEnv = {});
  ~TLabJackSessionItem() override;

 protected:
  friend class TSessionItem;
  TLabJackSessionItem(int32_t aLogId, int32_t aIndex, TSessionHandlers aHandlers, TQVSessionEnv aEnv);
};

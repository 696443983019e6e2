#include "acquisition/VTA_SensorSession.h"

#include <algorithm>

#include "acquisition/SensorDeviceFactory.h"
#include "acquisition/VTA_SensorDevice.h"
#include "core/App_Settings.h"
#include "core/LogUnit.h"
#include "core/Logger.h"
#include "core/QV_NumberText.h"
#include "data/ISamplerSink.h"
#include "data/VTA_SensorDM.h"
#include "logging/MultiSampler.h"

namespace {

constexpr int32_t kSilentIntervals = 3;
constexpr int32_t kOptionTempUnit = 4;

std::string SensorTag(const char* className, int32_t index) {
  return std::string(className) + "[" + std::to_string(index) + "/False]";
}

// The store describes the channels as the device does.
void ShowSignals(TVTA_SensorDM& store, const TVTA_BaseSensorDevice& device) {
  std::vector<TSensorSignalInfo> signals;
  for (int32_t signal = 1; signal <= device.SignalTypeCount(); ++signal) signals.push_back(device.SignalInfo(signal));
  std::vector<int32_t> channelToSignal;
  for (int32_t kanal = 1; kanal <= device.ChannelCount(); ++kanal) channelToSignal.push_back(device.ChannelToSignal(kanal));
  store.SetSignals(std::move(signals), std::move(channelToSignal));
}

}  // namespace

std::unique_ptr<TSensorSessionItem> TSensorSessionItem::Make(int32_t aLogId, int32_t aIndex, TSessionHandlers aHandlers,
                                                             TQVSessionEnv aEnv) {
  return Create<TSensorSessionItem>(aLogId, aIndex, std::move(aHandlers), std::move(aEnv), false,
                                    SensorTag("TSensorSessionItem", aIndex));
}

TSensorSessionItem::TSensorSessionItem(int32_t aLogId, int32_t aIndex, TSessionHandlers aHandlers, TQVSessionEnv aEnv,
                                       bool aLabJack, std::string aDbgTag)
    : TSessionItem(aLogId, aIndex, std::move(aHandlers), std::move(aDbgTag)),
      FLabJack(aLabJack),
      FEnv(std::move(aEnv)),
      FDeviceMaker(MakeSensorDevice),
      FAlarmCheck(std::make_unique<TSensorAlarmCheck>(Clock())) {
  FSessionType = aLabJack ? kSessionTypeLabJack : kSessionTypeSensor;
  if (FEnv.Options) FTempUnit.store(FEnv.Options().TempUnit);
}

TSensorSessionItem::~TSensorSessionItem() {
  BaseDestroy();
  // A view may keep the store a little longer; nothing in it may call back into this session.
  FSensorDM->SetOnWarning({});
  FSensorDM->SetOnError({});
  FSensorDM->SetOnReset({});
  FSensorDM->SetOnChannelCount({});
  FSensorDM->SetCheck({});
  FSensorDM->SetSampler(nullptr);
}

const TClock& TSensorSessionItem::Clock() const { return FEnv.Clock ? *FEnv.Clock : SystemClock(); }

void TSensorSessionItem::Log(const std::string& text) const { LogIt(LogId(), DbgTag() + text); }

std::shared_ptr<TDataManagement> TSensorSessionItem::CreateDatamanager() {
  FSensorDM = TDataManagement::Create<TVTA_SensorDM>(LogId(), Index(), false);
  WireStore();
  return FSensorDM;
}

void TSensorSessionItem::WireStore() {
  TVTA_SensorDM& store = *FSensorDM;
  store.SetSampler(FEnv.Sampler);
  store.SetOnError([this](int32_t code, int32_t subCode, const std::string& text) { AddError(code, subCode, text); });
  store.SetOnWarning([this](int32_t code, int32_t subCode, const std::string& text) { AddWarning(code, subCode, text); });
  store.SetOnReset([this](int32_t code, TDataManagement*) { AddSync(swDataReset, code); });
  store.SetOnChannelCount([this](int32_t code, int32_t n) { AddSync(swChannelCount, code, n); });
  store.SetCheck([this](std::span<const double> values) {
    TSensorWarning warning;
    CheckAlarm(values, warning.Text);
    warning.LogAlarm = SensorAlarm().LogAlarm;
    return warning;
  });
  const TQVSessionOptions options = FEnv.Options ? FEnv.Options() : TQVSessionOptions{};
  store.SetNumberFormats(options.FormatWin, options.FormatLog);
}

void TSensorSessionItem::SetChannelData(const TQV_ChannelData& Value) {
  FChannelData = Value;
  DoUpdate();
}

void TSensorSessionItem::AddError(int32_t Code, int32_t SubCode, const std::string& text) {
  LogWarn(LogId(), DbgTag() + ".AddError Code=" + std::to_string(Code) + "/" + std::to_string(SubCode) + ": " + text);
  DoMsg(mtError, Code, SubCode, text, true);
}

void TSensorSessionItem::AddInfo(int32_t Code, int32_t SubCode, const std::string& text) {
  DoMsg(mtInfo, Code, SubCode, text, true);
}

void TSensorSessionItem::AddWarning(int32_t Code, int32_t SubCode, const std::string& text) {
  DoMsg(mtWarning, Code, SubCode, text, true);
}

void TSensorSessionItem::UpdateOptions(int32_t what) {
  const TQVSessionOptions options = FEnv.Options ? FEnv.Options() : TQVSessionOptions{};
  FSensorDM->SetNumberFormats(options.FormatWin, options.FormatLog);
  FTempUnit.store(options.TempUnit);
  if (what != kOptionTempUnit) return;
  Log(".UpdateOptions TempUnit=" + std::to_string(options.TempUnit));
  std::lock_guard lock(FDeviceLock);
  if (!FDevice) return;
  FDevice->UpdateOptions(options.TempUnit);
  // The unit of the temperature channels changed: the values so far no longer compare.
  ShowSignals(*FSensorDM, *FDevice);
  FSensorDM->Reset();
}

void TSensorSessionItem::SetCommand(const std::string& Cmd, const std::string& CmdText) {
  Log(".SetCommand " + CmdText);
  AddError(0, 0, "Sensors take no commands: " + (CmdText.empty() ? Cmd : CmdText));
}

std::string TSensorSessionItem::Debug(bool Value) {
  FDebugLog = Value;
  LogFileName(LogId(), Value ? DebugPath() + std::string(1, static_cast<char>('A' + Index())) + "_Sensor.txt" : "",
              false);
  SetLimit(LogId(), logCreateNew, TLogger::kDefaultSizeLimit);
  return ErrorMsg(LogId());
}

void TSensorSessionItem::DebugFlags(bool Report, bool LowLevel) {
  FDebugReport = Report;
  FDebugLowLevel = LowLevel;
  FSensorDM->SetReportDetails(Report);
  std::lock_guard lock(FDeviceLock);
  if (FDevice) FDevice->DebugFlags(Report, LowLevel);
}

std::string TSensorSessionItem::OpenDevice() {
  const std::string openString = OpenString();
  Log(".OpenDevice " + openString);
  std::string error;
  std::unique_ptr<TVTA_BaseSensorDevice> device = FDeviceMaker(FLabJack, openString, LogId(), Clock(), error);
  if (!device) {
    FErrorMessage = error;
    return error;
  }
  device->SetOutputPath(DebugPath());
  device->SetDebugLimit(logCreateNew, TLogger::kDefaultSizeLimit);
  device->DebugFlags(DebugReport(), DebugLowLevel());
  device->UpdateOptions(FTempUnit.load());
  device->SetInterval(IntervalMs());
  for (int32_t kanal = 1; kanal <= TVTA_BaseSensorDevice::kMaxChannels; ++kanal) device->SetRangeInfo(kanal, RangeInfo(kanal));
  if (!device->OpenConnection(openString, error)) {
    FErrorMessage = error;
    return error;
  }
  device->HeaderChanged();  // the interval set above is no change to report
  ShowSignals(*FSensorDM, *device);
  {
    std::lock_guard lock(FAlarmLock);
    FRangeChannels = std::max(FRangeChannels, device->ChannelCount());
  }
  {
    std::lock_guard lock(FDeviceLock);
    FDevice = std::move(device);
    FLastValues = Clock().Steady();
    FSilenceReported = false;
  }
  FNotConnected.store(false);
  FQVmissing.store(false);
  FErrorMessage.clear();
  SetDeviceOpened(true);
  AddInfo(kSensorMsgConnected, 0, "Connected to: " + openString);
  DoUpdate();
  return {};
}

void TSensorSessionItem::CloseDevice(bool) {
  if (!IsRunning()) return;
  Log(".CloseDevice " + OpenString());
  AddInfo(kSensorMsgConnected, 0, std::string("Disconnect") + (FQVmissing.load() ? " (missing ZCT)" : ""));
  {
    std::lock_guard lock(FDeviceLock);
    CloseDeviceLocked();
  }
  if (FEnv.Sampler) FEnv.Sampler->UpdateSession(Index(), false, SE_Closed, {});
  SetDeviceOpened(false);
  DoUpdate();
}

void TSensorSessionItem::CloseDeviceLocked() {
  if (!FDevice) return;
  FDevice->CloseConnection();
  FDevice.reset();
}

bool TSensorSessionItem::GetReport() {
  std::vector<double> values;
  TWallTime time{};
  {
    std::lock_guard lock(FDeviceLock);
    if (!FDevice) return false;
    switch (FDevice->GetReport(values)) {
      case TSensorReport::srNone:
        CheckSilence();
        return false;
      case TSensorReport::srError: {
        const int32_t code = FDevice->ErrorCode();
        const std::string message = FDevice->ErrorMessage();
        ReportDeviceError(code, message);
        return false;
      }
      case TSensorReport::srData:
        break;
    }
    FLastValues = Clock().Steady();
    FSilenceReported = false;
    time = Clock().Wall();
    if (FDevice->HeaderChanged())
      AddInfo(kSensorMsgIntervalChanged, 0, "Interval setting changed to " + FDevice->IntervalText());
  }
  FSensorDM->AddValues(values, time);
  return true;
}

// Runs under FDeviceLock.
void TSensorSessionItem::ReportDeviceError(int32_t code, const std::string& message) {
  LogError(LogId(), DbgTag() + ".GetReport failed: " + message);
  const bool lost = code == kSensorErrNoDevice;
  AddError(lost ? kSensorMsgConnectFailed : kSensorMsgReportFailed, lost ? 0 : code, message);
  if (lost)
    FNotConnected.store(true);
  else if (FDevice->IsOpen())
    return;
  // The unit is gone or the measurement thread has ended: the device is of no more use.
  CloseDeviceLocked();
  SetDeviceOpened(false);
  if (FEnv.Sampler) FEnv.Sampler->UpdateSession(Index(), false, SE_Closed, {});
  AddSync(swDevices);
}

// Runs under FDeviceLock.
void TSensorSessionItem::CheckSilence() {
  if (FSilenceReported) return;
  const auto silent = Clock().Steady() - FLastValues;
  if (silent <= std::chrono::milliseconds(int64_t(kSilentIntervals) * FDevice->Interval())) return;
  FSilenceReported = true;
  AddWarning(kSensorMsgSilent, 0,
             "No values from " + OpenString() + " for more than " + std::to_string(kSilentIntervals) + " intervals");
}

void TSensorSessionItem::ReadSettings(TAppSettings& Settings, const std::string& SettingsPrefix) {
  TSessionItem::ReadSettings(Settings, SettingsPrefix);
  const std::string& P = SettingsPrefix;
  const std::optional<TSensorAlarm> alarm = ParseSensorAlarm(Settings.GetValue(P + "Alarm", SensorAlarmText({})));
  if (!alarm) Log(".ReadSettings: Alarm unreadable, defaults taken");
  SetSensorAlarm(alarm.value_or(TSensorAlarm{}));
  std::lock_guard lock(FAlarmLock);
  for (int32_t kanal = 1; kanal <= TVTA_BaseSensorDevice::kMaxChannels; ++kanal) {
    const std::optional<std::string> text = Settings.TryGetValue(P + "RangeInfo_" + std::to_string(kanal));
    if (!text) continue;
    FAlarmCheck->SetRangeInfo(kanal, ParseSensorRangeInfo(*text).value_or(TSensorRangeInfo{}));
    FRangeChannels = std::max(FRangeChannels, kanal);
  }
}

void TSensorSessionItem::SaveSettings(TAppSettings& Settings, const std::string& SettingsPrefix) {
  TSessionItem::SaveSettings(Settings, SettingsPrefix);
  const std::string& P = SettingsPrefix;
  Settings.SetValue(P + "Alarm", SensorAlarmText(SensorAlarm()));
  std::lock_guard lock(FAlarmLock);
  for (int32_t kanal = 1; kanal <= FRangeChannels; ++kanal)
    Settings.SetValue(P + "RangeInfo_" + std::to_string(kanal), SensorRangeInfoText(FAlarmCheck->RangeInfo(kanal)));
}

void TSensorSessionItem::CheckAlarm(std::span<const double> values, std::string& text) {
  std::lock_guard lock(FAlarmLock);
  FAlarmCheck->CheckAlarm(values, text);
}

void TSensorSessionItem::SetRangeInfo(int32_t kanal, const TSensorRangeInfo& value) {
  {
    std::lock_guard lock(FAlarmLock);
    FAlarmCheck->SetRangeInfo(kanal, value);
    if (kanal >= 1 && kanal <= TVTA_BaseSensorDevice::kMaxChannels) FRangeChannels = std::max(FRangeChannels, kanal);
  }
  std::lock_guard lock(FDeviceLock);
  if (FDevice) FDevice->SetRangeInfo(kanal, value);
}

TSensorRangeInfo TSensorSessionItem::RangeInfo(int32_t kanal) const {
  std::lock_guard lock(FAlarmLock);
  return FAlarmCheck->RangeInfo(kanal);
}

void TSensorSessionItem::SetSensorAlarm(const TSensorAlarm& value) {
  std::lock_guard lock(FAlarmLock);
  FAlarmCheck->SetSensorAlarm(value);
}

TSensorAlarm TSensorSessionItem::SensorAlarm() const {
  std::lock_guard lock(FAlarmLock);
  return FAlarmCheck->SensorAlarm();
}

bool TSensorSessionItem::NeedsQV() const { return OpenString() != kSensorDemoOpenString; }

void TSensorSessionItem::SetDeviceMaker(TSensorDeviceMaker maker) { FDeviceMaker = std::move(maker); }

int32_t TSensorSessionItem::ChannelCount() const { return FSensorDM->ChannelCount(); }

// ---- LabJack ----

std::unique_ptr<TLabJackSessionItem> TLabJackSessionItem::Make(int32_t aLogId, int32_t aIndex,
                                                               TSessionHandlers aHandlers, TQVSessionEnv aEnv) {
  return Create<TLabJackSessionItem>(aLogId, aIndex, std::move(aHandlers), std::move(aEnv));
}

TLabJackSessionItem::TLabJackSessionItem(int32_t aLogId, int32_t aIndex, TSessionHandlers aHandlers, TQVSessionEnv aEnv)
    : TSensorSessionItem(aLogId, aIndex, std::move(aHandlers), std::move(aEnv), true,
                         SensorTag("TLabJackSessionItem", aIndex)) {}

TLabJackSessionItem::~TLabJackSessionItem() = default;

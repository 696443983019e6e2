// The counter session's configuration: channel records, nominal frequencies, HRQ settings,
// interval-counter calibration, linear combinations of older settings files and the session's
// settings keys.
#include <cmath>
#include <limits>

#include "acquisition/MultiSource.h"
#include "acquisition/QV_SessionItem.h"
#include "acquisition/QV_SourceResult.h"
#include "alarms/ClockAlarm.h"
#include "core/App_Settings.h"
#include "core/LogUnit.h"
#include "core/QV_NumberText.h"
#include "data/ISamplerSink.h"
#include "data/IVC_DataManagement.h"
#include "data/ZCT_DataManagement.h"
#include "devices/QV_DeviceInfo.h"
#include "devices/QV_Simulator.h"
#include "protocol/QV_Commands.h"

namespace {

constexpr std::array<const char*, 6> NomFreqKeys = {"NomFreq1_4",   "NomFreq5_8",   "NomFreq9_12",
                                                    "NomFreq13_16", "NomFreq17_20", "NomFreq21_24"};
constexpr std::array<const char*, 6> LCMultKeys = {"Mult1_4", "Mult5_8", "Mult9_12", "Mult13_16", "Mult17_20", "Mult21_24"};

// A number of a list; missing, empty or unreadable parts are 0.
double ListValue(const std::vector<std::string>& parts, size_t i, const TFormatSettings& fs) {
  if (i >= parts.size()) return 0;
  return TextToFloat(NormaliseDecimalSeparator(std::string(TrimBlanks(parts[i])), fs.DecimalSeparator), fs).value_or(0.0);
}

int32_t ReadInt(TAppSettings& settings, const std::string& key, int32_t defaultValue) {
  try {
    return settings.GetValue(key, defaultValue);
  } catch (const EConvertError&) {
    return defaultValue;
  }
}

// The local server's keys, read and written as one value.
TLocalServerSettings ReadLocalServer(TAppSettings& settings, const std::string& P) {
  TLocalServerSettings value;
  value.Run = settings.GetValue(P + "RunLocalTcpServer", false);
  value.Port = static_cast<uint16_t>(ReadInt(settings, P + "LocalTcpServerPort", 0));
  value.ListenAddress = settings.GetValue(P + "LocalTcpServerAddress", std::string("0.0.0.0"));
  value.AllowedClients = settings.GetValue(P + "LocalTcpServerAllowedClients", std::string());
  value.Archive = settings.GetValue(P + "LocalTcpServerArchive", false);
  value.ArchivePath = settings.GetValue(P + "LocalTcpServerArchivePath", std::string());
  return value;
}

void SaveLocalServer(TAppSettings& settings, const std::string& P, const TLocalServerSettings& value) {
  settings.SetValue(P + "RunLocalTcpServer", value.Run);
  settings.SetValue(P + "LocalTcpServerPort", static_cast<int32_t>(value.Port));
  settings.SetValue(P + "LocalTcpServerAddress", value.ListenAddress);
  settings.SetValue(P + "LocalTcpServerAllowedClients", value.AllowedClients);
  settings.SetValue(P + "LocalTcpServerArchive", value.Archive);
  settings.SetValue(P + "LocalTcpServerArchivePath", value.ArchivePath);
}

std::string CalibrationText(const TCalibrationData& data) {
  std::string text;
  for (double value : data) text += FloatToShortest(value) + " ";
  return text;
}

// 24 factors each followed by ";"; missing or unreadable parts 0.
TChannelFactors ReadFactors(const std::string& text, const TFormatSettings& fs) {
  TChannelFactors factors{};
  if (text.empty()) return factors;
  const auto parts = SplitText(text, ";");
  for (size_t j = 0; j < factors.size(); ++j) factors[j] = ListValue(parts, j, fs);
  return factors;
}

}  // namespace

// ============================== Channel records ==============================

void TQVSessionItem::SetChannelData(const TQV_ChannelData& Value) {
  for (int32_t ch = 1; ch <= TQV_ChannelData::ChannelCount; ++ch) {
    FChannelData.SetChannelColor(ch, Value.ChannelColor(ch));
    FChannelData.SetChannelName(ch, Value.ChannelName(ch));
    FClockAlarm->Definition(ch).ChannelName = FChannelData.ChannelName(ch);
    FClockAlarm->Definition(ch).ChannelColor = FChannelData.ChannelColor(ch);
  }
}

void TQVSessionItem::SetIVCChannelData(const TQV_ChannelData& Value) {
  for (int32_t ch = 1; ch <= TQV_ChannelData::ChannelCount; ++ch) {
    FIVCChannelData.SetChannelColor(ch, Value.ChannelColor(ch));
    FIVCChannelData.SetChannelName(ch, Value.ChannelName(ch));
  }
}

void TQVSessionItem::SetVirtualIVCChannelData(const TQV_ChannelData& Value) {
  for (int32_t ch = 1; ch <= TQV_ChannelData::ChannelCount; ++ch) {
    FVirtualIVCChannelData.SetChannelId(ch, Value.ChannelId(ch));
    FVirtualIVCChannelData.SetChannelColor(ch, Value.ChannelColor(ch));
    FVirtualIVCChannelData.SetChannelName(ch, Value.ChannelName(ch));
  }
  FVirtualIVCChannelData.SetMaxChannels(Value.MaxChannels());
}

int32_t TQVSessionItem::VirtualIVCChannelCount() const { return FIVC_DM->VirtualChannelCount(); }
TChannelFactors TQVSessionItem::VirtualIVCFactors(int32_t k) const { return FIVC_DM->GetVirtualFactors(k); }
void TQVSessionItem::SetVirtualIVCFactors(int32_t k, const TChannelFactors& value) { FIVC_DM->SetVirtualFactors(k, value); }

std::string TQVSessionItem::DGIName(int32_t card, int32_t signal) const {
  if (card < 1 || card > DGICards || signal < 1 || signal > DGISignals) return {};
  return DGIs[card - 1][signal - 1];
}

void TQVSessionItem::SetDGIName(int32_t card, int32_t signal, const std::string& name) {
  if (card < 1 || card > DGICards || signal < 1 || signal > DGISignals) return;
  // Names are stored joined with ", ".
  DGIs[card - 1][signal - 1] = CleanChannelText(name);
}

// ============================== Nominal frequencies ==============================

double TQVSessionItem::NomFreq(int32_t Kanal) const {
  return Kanal >= 1 && Kanal <= DM_MaxChannels ? FZCT_DM->NomFreq(Kanal) : 0.0;
}

void TQVSessionItem::SetNomFreq(int32_t Kanal, double Value) {
  if (Kanal < 1 || Kanal > DM_MaxChannels) return;
  FZCT_DM->SetNomFreq(Kanal, Value);
  const double stored = FZCT_DM->NomFreq(Kanal);
  if (stored != 0) FClockAlarm->SetFrequence(Kanal, stored);
}

void TQVSessionItem::UpdateNominalFrequencies() {
  Log(".UpdateNominalFrequencies");
  if (!FSerialNumberOk) {
    Log(".UpdateNominalFrequencies: serial number unknown");
    return;
  }
  const uint32_t serial = FSerialNumber.load();
  const std::optional<TQV_DeviceInfo> info = Multi_GetDeviceInfo(serial);
  if (!info) {
    Log(".UpdateNominalFrequencies: no device info");
    return;
  }
  bool userSet = false;
  for (int32_t k = 1; k <= DM_MaxChannels; ++k) userSet = userSet || FZCT_DM->NomFreqUser(k) != 0;
  if (userSet) {
    Log(".UpdateNominalFrequencies: DataManager -> DeviceInfo");
    Log(".UpdateNominalFrequencies: DeviceInfo alt=" + info->GetNominalFreqString());
    std::string updated;
    Multi_UpdateDeviceInfo(serial, [&](TQV_DeviceInfo& device) {
      for (int32_t k = 1; k <= DM_MaxChannels; ++k) device.SetNominalFreq(k, FZCT_DM->NomFreqUser(k));
      updated = device.GetNominalFreqString();
    });
    Log(".UpdateNominalFrequencies: DeviceInfo neu=" + updated);
    return;
  }
  bool remembered = false;
  for (int32_t k = 1; k <= DM_MaxChannels; ++k) remembered = remembered || info->NominalFreq(k) != 0;
  if (!remembered) return;
  Log(".UpdateNominalFrequencies: DeviceInfo -> DataManager");
  BeginUpdate();
  for (int32_t k = 1; k <= DM_MaxChannels; ++k) SetNomFreq(k, info->NominalFreq(k));
  EndUpdate();
}

// ============================== HRQ settings ==============================

THRQSetting TQVSessionItem::HRQSetting(int32_t Kanal) const {
  return Kanal >= 1 && Kanal <= THRQSettings::ChannelCount ? HRQSettings.HRQChannels[Kanal - 1] : THRQSetting{};
}

bool TQVSessionItem::GetHRQSettingsChanged(const THRQSettings& Value) const {
  return Value.ToString() != HRQSettings.ToString();
}

void TQVSessionItem::SetHRQSettings(const THRQSettings& Value) {
  const std::string text = Value.ToString();
  Log(".SetHRQSettings " + text);
  if (!GetHRQSettingsChanged(Value)) {
    Log(".SetHRQSettings no changes");
    return;
  }
  Log(".SetHRQSettings changed -> transmit to device=" + text);
  if (Source().SetHRQData(text) != mrOk) Warn(".SetHRQSettings transmit to device failed");
}

void TQVSessionItem::AddDeviceHRQData(const std::string& line) {
  Log(".AddDeviceHRQData: " + line);
  const std::string text = line.substr(std::min<size_t>(line.size(), 6));
  THRQSettings settings;
  settings.Clear();
  settings.FormatSettings = Options().FormatLog;
  settings.FormatSettings.DecimalSeparator = FDecSep;
  if (!settings.FromString(text)) {
    Warn(".AddDeviceHRQData: failed " + settings.ErrorStr);
    ResetWaitHRQData();
    return;
  }
  const std::string written = settings.ToString();
  if (written != text) Log(".AddDeviceHRQData: changed " + written);
  settings.Update();
  TZCT_HRQChannels channels{};
  for (int32_t k = 0; k < THRQSettings::ChannelCount; ++k) {
    const THRQSetting& setting = settings.HRQChannels[k];
    channels[k] = {setting.NomFreq, static_cast<double>(setting.Factor), setting.enabled};
  }
  const bool changed = FZCT_DM->AddHRQData(channels);
  HRQSettings = settings;
  ResetWaitHRQData();
  for (int32_t k = 1; k <= DM_MaxChannels; ++k)
    if (FZCT_DM->NomFreq(k) != 0) FClockAlarm->SetFrequence(k, FZCT_DM->NomFreq(k));
  if (!changed) return;
  UpdateNominalFrequencies();
  AddSync(swHRQData);
  if (FZCT_DM->AddLogStrings()) SamplerUpdate(IsCopy(), 17);
  if (HRQSettingsSet) AddInfo(101, 0, "HRQ Data changed");
  HRQSettingsSet = true;
}

// ============================== Interval-counter calibration ==============================

void TQVSessionItem::ReadDeviceCalibration() {
  const std::string cmd = IsESP() ? std::string{static_cast<char>(QVCmd::Extended), static_cast<char>(QVCmd::ExReadNVS),
                                               0x62, 0x00}
                                 : std::string(1, static_cast<char>(QVCmd::Calibration));
  Log(".ReadDeviceCalibration: send cmd " + AnsiToHex(cmd));
  SendCommand(cmd);
}

// The session whose interval-counter data the log files show.
bool TQVSessionItem::IVCCarrierIsCopy() const {
  if (IVConly()) return IsCopy();
  const TQVSessionItem* linked = LinkedSession();
  return linked ? linked->IsCopy() : IsCopy();
}

void TQVSessionItem::SetCalibrationData(const TCalibrationData& data) {
  Log(".SetCalibrationData: " + CalibrationText(data));
  if (!FIVC_DM->SetCalibrationData(data)) return;
  Log(".SetCalibrationData: changed");
  AddSync(swIVCCalibration);
  if (FIVC_DM->AddLogStrings()) SamplerUpdate(IVCCarrierIsCopy(), 14);
  if (FIVCCalibrationSet) AddInfo(96, 0, "IVC calibration changed");
  FIVCCalibrationSet = true;
}

void TQVSessionItem::SetUseDeviceCalibration(bool Value) {
  Log(".SetUseDeviceCalibration=" + BoolText(Value));
  FUseDeviceCalibration = Value;
  WithLinked([Value](TQVSessionItem& other) { other.FUseDeviceCalibration = Value; });
  const bool deviceKnown = FIVC_DM->DeviceCalibrationSet();
  SetCalibrationData(Value && deviceKnown ? FIVC_DM->DeviceCalibration() : TCalibrationData{});
  // Until the instrument's calibration is known, logged values would carry the wrong one.
  if (!Value || deviceKnown) FIVC_DM->SetAddLogStrings(true);
}

void TQVSessionItem::UserChangedDeviceCalibration(const TCalibrationData& data) {
  Log(".UserChangedDeviceCalibration " + CalibrationText(data));
  const std::string error = TransmitDeviceCalibrationData(data);
  if (!error.empty()) {
    AddError(95, 0, error);
    return;
  }
  FUseDeviceCalibration = true;
  WithLinked([](TQVSessionItem& other) { other.FUseDeviceCalibration = true; });
}

std::string TQVSessionItem::TransmitDeviceCalibrationData(const TCalibrationData& data) {
  std::string text;
  for (size_t i = 0; i < data.size(); ++i) text += (i ? ";" : "") + FormatFloatFixed(data[i], 15, 3);
  Log(".TransmitDeviceCalibrationData " + text);
  const int32_t code = Source().SetCalibrationData(text);
  if (code == mrOk) {
    AddInfo(75, 0, "Cmd Transmit calibration data");
    return {};
  }
  const std::string error = code == mrNotSupported
                                ? "Change Device Calibration not supported, Firmware-Version=" +
                                      std::to_string(Source().FirmwareVersion())
                                : "Change Device Calibration failed, format error";
  Warn(".TransmitDeviceCalibrationData: " + error);
  return error;
}

bool TQVSessionItem::CheckCalibrationRange(double& Value) {
  constexpr double Full = 1000000000.0;
  if (!(std::fabs(Value) < Full)) return false;
  if (Value < -Full / 2) Value += Full;
  else if (Value > Full / 2) Value -= Full;
  const double scaled = std::nearbyint(Value * CalibFactorFloatToInt());
  if (scaled >= std::numeric_limits<int32_t>::min() && scaled <= std::numeric_limits<int32_t>::max()) return true;
  Warn(".CheckCalibrationRange out of range: " + FloatToShortest(Value) + ", aInt=" + FloatToShortest(scaled));
  return false;
}

int32_t TQVSessionItem::CalibFactorFloatToInt() {
  if (FCalibFactorFloatToInt == -1) FCalibFactorFloatToInt = Source().CalibFactorFloatToInt();
  return FCalibFactorFloatToInt;
}

void TQVSessionItem::SetCalibFactorFloatToInt(int32_t Value) {
  if (Value <= 0) {
    Warn(".SetCalibFactorFloatToInt invalid " + std::to_string(Value));
    return;
  }
  Log(".SetCalibFactorFloatToInt " + std::to_string(Value));
  Source().SetCalibFactorFloatToInt(Value);
  FCalibFactorFloatToInt = -1;
}

void TQVSessionItem::SetRef20MHz(bool Value) {
  if (Value == FRef20MHz) return;
  FRef20MHz = Value;
  Log(".SetRef20MHz " + BoolText(Value));
  FZCT_DM->SetRef20MHz(Value);
}

void TQVSessionItem::BeginUpdate() {
  ++FUpdateCounter;
  Log(".BeginUpdate Counter=" + std::to_string(FUpdateCounter));
  FZCT_DM->BeginUpdate();
}

void TQVSessionItem::EndUpdate() {
  if (FUpdateCounter <= 0) return;
  --FUpdateCounter;
  Log(".EndUpdate Counter=" + std::to_string(FUpdateCounter));
  FZCT_DM->EndUpdate();
}

// ============================== Linear combinations of older files ==============================

bool TQVSessionItem::TransformLinComb(TAppSettings& Settings, int32_t& virtLC1, int32_t& virtLC2) {
  Log(".TransformLinComb");
  virtLC1 = 0;
  virtLC2 = 0;
  const std::string session = "Session_" + std::to_string(Index()) + "_";
  const std::vector<std::string> names = SplitText(Settings.GetValue(session + "LC" + "_Names", "LC_A1, LC_A2, "), ", ");
  const TFormatSettings fs = Settings.FormatSettings();
  TQV_ChannelData record = FvirtualChannelData;
  std::string description;
  for (int32_t q = 1; q <= 2; ++q) {
    const std::string P = session + "LC" + std::to_string(q) + "_";
    TChannelFactors factors{};
    bool defined = false;
    for (size_t key = 0; key < LCMultKeys.size(); ++key) {
      const std::string text = Settings.GetValue(P + LCMultKeys[key], "");
      const int32_t start = static_cast<int32_t>(4 * key + 1);
      Log(".assignLCmult " + text + ", start=" + std::to_string(start));
      defined = defined || (!text.empty() && text != "0 0 0 0 ");
      const auto parts = SplitText(text, " ");
      for (size_t j = 0; j < 4; ++j) factors[4 * key + j] = ListValue(parts, j, fs);
    }
    if (!defined) continue;
    const int32_t c = VirtualChannelCount() + 1;
    if (c > DM_MaxChannels) break;
    SetVirtualFactors(c, factors);
    record.SetChannelId(c, "V" + std::to_string(c));
    record.SetChannelName(c, q - 1 < static_cast<int32_t>(names.size()) ? names[q - 1] : std::string());
    record.SetMaxChannels(c);
    (q == 1 ? virtLC1 : virtLC2) = c;
    Log(".TransformLinComb[" + std::to_string(q) + "] into virtual channel " + std::to_string(c));
    description += description.empty() ? "Linear combination " + std::to_string(q) : "/" + std::to_string(q);
  }
  if (description.empty()) return false;
  SetVirtualChannelData(record);
  if (FvirtualDescription.empty()) FvirtualDescription = description;
  AddInfo(151, 0, "Linear combinations converted into virtual channels");
  return true;
}

// ============================== Settings ==============================

void TQVSessionItem::ReadSettings(TAppSettings& Settings, const std::string& SettingsPrefix) {
  TSessionItem::ReadSettings(Settings, SettingsPrefix);
  const std::string& P = SettingsPrefix;
  Log(".ReadSettings");
  FZCT_DM->SetAllanDecay(ReadInt(Settings, P + "AllanDecay", 0));
  FClockAlarm->ReadSettings(Settings, P);
  for (int32_t ch = 1; ch <= TClockAlarmDefs::ChannelCount; ++ch) {
    TClockAlarmItem& item = FClockAlarm->Definition(ch);
    item.Channel = ch;
    item.ChannelName = FChannelData.ChannelName(ch);
    item.ChannelColor = FChannelData.ChannelColor(ch);
  }
  SetDebugStream(Settings.GetValue(P + "Debug_Stream", false));
  FClearBufferOnStart = Settings.GetValue(P + "ClearBuffer", true);
  FSerialNumberINI = Settings.GetUValue(P + "SerialNumber", kSerialNumberUnknown);
  if (TSessionItem::OpenString().starts_with("DemoData")) ReadDemoSettings(Settings, P);
  ReadDGINames(Settings, P);
  const std::string start = Settings.GetValue(P + "ZCTDateTimeStart", "");
  const TFormatSettings fs = Settings.FormatSettings();
  FiniDateTime = TextToFloat(NormaliseDecimalSeparator(start, fs.DecimalSeparator), fs).value_or(NAN);
  if (DateTimeKnown(FiniDateTime)) {
    FZCTtimeCheckNeeded = true;
    Log(".ReadSettings FZCTtimeCheckNeeded");
  }
  FLocalServer = ReadLocalServer(Settings, P);
  ReadNominalFrequencies(Settings, P);
  ReadIVCSettings(Settings, P);
  FRawIntervalIndex = ReadInt(Settings, P + "RawIntervalIndex", -1);
  const bool rawAvg = Settings.GetValue(P + "RawAvg", false);
  UpdateStatus([rawAvg](TQVSessionStatus& s) { s.RawAvg = rawAvg; });
  Log(".ReadSettings RawIntervalIndex=" + std::to_string(FRawIntervalIndex) + ", RawAvg=" + BoolText(rawAvg));
  SetRef20MHz(Settings.GetValue(P + "Ref20MHz", false));
  FDecSep = Options().FormatLog.DecimalSeparator;
  FReportStruct = Settings.GetValue(P + "ReportStruct", ExpertMode());
  FDataPortINI = static_cast<uint16_t>(ReadInt(Settings, P + "TCPDataPort", 0));
  FUserIdINI = static_cast<uint8_t>(ReadInt(Settings, P + "UserID", AnyUser));
  Log(".ReadSettings END");
}

void TQVSessionItem::ReadDemoSettings(TAppSettings& Settings, const std::string& P) {
  FDemoChannels = ReadInt(Settings, P + "DemoChannels", FDemoChannels);
  FDemoMode = static_cast<uint8_t>(ReadInt(Settings, P + "DemoMode", FDemoMode));
  FDemoRate = ReadInt(Settings, P + "DemoRate", FDemoRate);
  FDemoDGI = Settings.GetValue(P + "DemoDGI", FDemoDGI);
  FDemoIVC = Settings.GetValue(P + "DemoIVC", FDemoIVC);
  Log(".ReadSettings Demo:" + std::string(" Channels=") + std::to_string(FDemoChannels) + " Mode=" +
      std::to_string(FDemoMode) + " Rate=" + std::to_string(FDemoRate) + " DGI=" + BoolText(FDemoDGI) +
      " IVC=" + BoolText(FDemoIVC));
  TQV_SimulDevice::SetDGIReports(FDemoDGI);
  TQV_SimulDevice::SetIVCReports(FDemoIVC);
}

void TQVSessionItem::ReadDGINames(TAppSettings& Settings, const std::string& P) {
  const bool joined = Settings.VersionFormat() > 1;
  for (int32_t card = 1; card <= DGICards; ++card) {
    const std::string key = P + "DGI" + std::to_string(card);
    auto& names = DGIs[card - 1];
    const auto defaultName = [card](int32_t signal) {
      return "DGI" + std::to_string(card) + "_Bit" + std::to_string(signal - 1);
    };
    if (joined) {
      // Every name is followed by ", ": the piece after the last one is no name.
      std::string text = Settings.GetValue(key + "_SigNames", "");
      if (text.ends_with(", ")) text.resize(text.size() - 2);
      const std::vector<std::string> parts = SplitText(text, ", ");
      for (int32_t signal = 1; signal <= DGISignals; ++signal)
        names[signal - 1] = parts.size() >= DGISignals ? parts[signal - 1] : defaultName(signal);
    } else {
      for (int32_t signal = 1; signal <= DGISignals; ++signal)
        names[signal - 1] = Settings.GetValue(key + "_SigName" + std::to_string(signal), defaultName(signal));
    }
  }
}

void TQVSessionItem::ReadNominalFrequencies(TAppSettings& Settings, const std::string& P) {
  BeginUpdate();
  const TQVSessionOptions options = Options();
  if (ExpertMode() && options.GlobalNomFrequ) {
    Log(".ReadSettings GlobalNominalFrequencies");
    for (int32_t k = 1; k <= DM_MaxChannels; ++k) {
      const double value = options.GlobalNomFreq[k - 1];
      if (value != 0)
        Log(".ReadSettings GlobalNominalFrequency[" + std::to_string(k) + "]=" + FloatToText(value, options.FormatLog));
      SetNomFreq(k, value);
    }
  } else {
    const TFormatSettings fs = Settings.FormatSettings();
    for (size_t key = 0; key < NomFreqKeys.size(); ++key) {
      const std::string text = Settings.GetValue(P + NomFreqKeys[key], "");
      const int32_t first = static_cast<int32_t>(4 * key + 1);
      Log(".ReadSettings.assignNomFreq " + text + ", start=" + std::to_string(first));
      const auto parts = SplitText(text, "; ");
      for (int32_t j = 0; j < 4; ++j) SetNomFreq(first + j, ListValue(parts, static_cast<size_t>(j), fs));
    }
  }
  EndUpdate();
}

void TQVSessionItem::ReadIVCSettings(TAppSettings& Settings, const std::string& P) {
  ReadChannelRecord(Settings, P + "IVC_", FIVCChannelData);
  SetUseDeviceCalibration(Settings.GetValue(P + "UseDeviceCalibration", FUseDeviceCalibration.load()));
  FvirtualIVCDescription = Settings.GetValue(P + "VIVC_" + "Description", "");
  ReadChannelRecord(Settings, P + "VIVC_", FVirtualIVCChannelData);
  Log(".ReadSettings virtualIVCDescription=" + FvirtualIVCDescription + ", VirtualDescription=" + FvirtualDescription);
  const TFormatSettings fs = Settings.FormatSettings();
  for (int32_t k = 1; k <= DM_MaxChannels; ++k)
    SetVirtualIVCFactors(k, ReadFactors(Settings.GetValue(P + "VIVC_" + std::to_string(k) + "_Factors", ""), fs));
  const int32_t count = VirtualIVCChannelCount();
  FVirtualIVCChannelData.SetMaxChannels(count);
  Log(".ReadSettings VirtualIVCChannelCount=" + std::to_string(count));
}

void TQVSessionItem::SaveSettings(TAppSettings& Settings, const std::string& SettingsPrefix) {
  if (HasDataHeader() && DataHeader().GateTime() != 0) SetIntervalMs(static_cast<int32_t>(DataHeader().GateTime()));
  TSessionItem::SaveSettings(Settings, SettingsPrefix);
  const std::string& P = SettingsPrefix;
  Log(".SaveSettings");
  Settings.SetValue(P + "AllanDecay", FZCT_DM->AllanDecay());
  FClockAlarm->SaveSettings(Settings, P);
  Settings.SetValue(P + "Debug_Stream", FDebugStream);
  Settings.SetValue(P + "ClearBuffer", FClearBufferOnStart);
  const uint32_t serial = FSerialNumber.load() != kSerialNumberUnknown ? FSerialNumber.load() : FSerialNumberINI;
  Log(".SaveSettings SerialNumber=" + IntToHex(serial, 8));
  Settings.SetUValue(P + "SerialNumber", serial);
  if (TSessionItem::OpenString().starts_with("DemoData")) SaveDemoSettings(Settings, P);
  Settings.SetVersionFormat(2);
  for (int32_t card = 1; card <= DGICards; ++card) {
    std::string names;
    for (const std::string& name : DGIs[card - 1]) names += name + ", ";
    Settings.SetValue(P + "DGI" + std::to_string(card) + "_SigNames", names);
  }
  const TDateTime start = DateTimeKnown(FZCTDateTimeStart.load()) ? FZCTDateTimeStart.load() : FiniDateTime;
  Settings.SetValue(P + "ZCTDateTimeStart", DateTimeKnown(start) ? FloatToText(start, Settings.FormatSettings()) : "");
  SaveLocalServer(Settings, P, FLocalServer);
  SaveNominalFrequencies(Settings, P);
  SaveIVCSettings(Settings, P);
  const int32_t rawIndex = FIntervalIndex >= 0 ? FIntervalIndex.load() : FRawIntervalIndex;
  Settings.SetValue(P + "RawIntervalIndex", rawIndex);
  Settings.SetValue(P + "RawAvg", RawAvg());
  Settings.SetValue(P + "Ref20MHz", FRef20MHz);
  Settings.SetValue(P + "ReportStruct", FReportStruct);
  if (!Settings.TryGetValue(P + "TCPDataPort")) Settings.SetValue(P + "TCPDataPort", static_cast<int32_t>(FDataPortINI));
  Settings.SetValue(P + "UserID", static_cast<int32_t>(FUserIdINI.load()));
}

// Values the session has not learned from the instrument yet are written as they were read, so
// that saving (which rewrites every session key) loses nothing.
void TQVSessionItem::SaveDemoSettings(TAppSettings& Settings, const std::string& P) {
  const int32_t channels = FZCT_DM->ChannelCount();
  Settings.SetValue(P + "DemoChannels", channels > 0 ? channels : FDemoChannels);
  const bool header = HasDataHeader();
  Settings.SetValue(P + "DemoMode", static_cast<int32_t>(header ? DataHeader().Mode() : FDemoMode));
  Settings.SetValue(P + "DemoRate", header ? DataHeader().IntervalIndex() : FDemoRate);
  Settings.SetValue(P + "DemoDGI", FDemoDGI);
  Settings.SetValue(P + "DemoIVC", FDemoIVC);
}

void TQVSessionItem::SaveNominalFrequencies(TAppSettings& Settings, const std::string& P) {
  const char separator = Options().FormatWin.DecimalSeparator;
  for (size_t key = 0; key < NomFreqKeys.size(); ++key) {
    std::string text;
    for (int32_t j = 1; j <= 4; ++j)
      text += FormatFloatFixed(FZCT_DM->NomFreqUser(static_cast<int32_t>(4 * key) + j), 22, 11, separator) + "; ";
    Settings.SetValue(P + NomFreqKeys[key], text);
  }
}

void TQVSessionItem::SaveIVCSettings(TAppSettings& Settings, const std::string& P) {
  SaveChannelRecord(Settings, P + "IVC_", FIVCChannelData);
  Settings.SetValue(P + "UseDeviceCalibration", FUseDeviceCalibration.load());
  const int32_t count = VirtualIVCChannelCount();
  if (count <= 0) {
    Settings.RemoveKeys(P + "VIVC_");
  } else {
    SaveChannelRecord(Settings, P + "VIVC_", FVirtualIVCChannelData);
    // Up to the last defined row, so that a gap in the rows does not lose the rows behind it.
    int32_t last = 0;
    for (int32_t k = 1; k <= DM_MaxChannels; ++k)
      for (double f : VirtualIVCFactors(k))
        if (f != 0) last = k;
    const TFormatSettings fs = Settings.FormatSettings();
    for (int32_t k = 1; k <= last; ++k) {
      std::string text;
      for (double f : VirtualIVCFactors(k)) text += FloatToText(f, fs) + ";";
      Settings.SetValue(P + "VIVC_" + std::to_string(k) + "_Factors", text);
    }
  }
  // After the virtual channels: clearing their keys must not take the description with them.
  Settings.SetValue(P + "VIVC_" + "Description", FvirtualIVCDescription);
}

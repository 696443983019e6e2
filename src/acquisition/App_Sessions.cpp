#include "acquisition/App_Sessions.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "core/App_Settings.h"
#include "core/LogUnit.h"
#include "core/QV_NumberText.h"

namespace {

std::atomic<bool> gExpertMode{false};
std::atomic<uint64_t> gNextInstanceId{1};

std::string DefaultTag(int32_t index, bool isCopy) {
  return "TSessionItem[" + std::to_string(index) + "/" + BoolText(isCopy) + "]";
}

// A number key that does not convert reads as its default: one bad value must not stop reading.
int32_t ReadInt(TAppSettings& settings, const std::string& key, int32_t defaultValue) {
  try {
    return settings.GetValue(key, defaultValue);
  } catch (const EConvertError&) {
    return defaultValue;
  }
}

// A horizontal scale factor part: missing, not an integer or not positive gives 1.
int32_t ScalePart(const std::vector<std::string>& parts, size_t i) {
  if (i >= parts.size()) return 1;
  try {
    size_t used = 0;
    const std::string text(TrimBlanks(parts[i]));
    const int value = std::stoi(text, &used);
    return used == text.size() && value > 0 ? value : 1;
  } catch (const std::exception&) {
    return 1;
  }
}

std::string WithDelimiter(std::string folder) {
  while (!folder.empty() && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
  return folder + "/";
}

}  // namespace

bool ExpertMode() { return gExpertMode.load(); }
void SetExpertMode(bool value) { gExpertMode.store(value); }

TOnSessionMsg MessageListHandler(TMessageList& list) {
  return [&list](int32_t sIndex, int32_t Code, int32_t SubCode, TMsgType type, const std::string& text,
                 bool viaThread) { list.Add(type, sIndex, Code, SubCode, text, viaThread); };
}

TSessionItem::TSessionItem(int32_t aLogId, int32_t aIndex, TSessionHandlers aHandlers, std::string aDbgTag)
    : FIsCopy(false),
      FIndex(aIndex),
      FLogId(aLogId),
      FChannelData(0),
      FvirtualChannelData(4),
      FDbgTag(aDbgTag.empty() ? DefaultTag(aIndex, false) : std::move(aDbgTag)),
      FHandlers(std::move(aHandlers)),
      FInstanceId(gNextInstanceId.fetch_add(1)) {
  LogIt(aLogId, FDbgTag + ".BaseCreate");
  const std::string letter(1, SessionLetter(aIndex));
  for (int32_t ch = 1; ch <= TQV_ChannelData::ChannelCount; ++ch) {
    FChannelData.SetChannelName(ch, "Channel_" + letter + std::to_string(ch));
    FvirtualChannelData.SetChannelName(ch, "VChannel_" + letter + std::to_string(ch));
  }
  UpdateIcon();
}

TSessionItem::TSessionItem(TCopyOf aSession, std::string aDbgTag)
    : FIsCopy(true),
      FIndex(aSession.Session.Index()),
      FLogId(aSession.Session.LogId()),
      FChannelData(aSession.Session.FChannelData),
      FvirtualChannelData(aSession.Session.FvirtualChannelData),
      FvirtualDescription(aSession.Session.FvirtualDescription),
      FDataManagement(aSession.Session.FDataManagement),
      FColor(aSession.Session.Color()),
      FConnectionType(aSession.Session.ConnectionType()),
      FIcon(aSession.Session.FIcon),
      FSessionType(aSession.Session.FSessionType),
      FDbgTag(aDbgTag.empty() ? DefaultTag(aSession.Session.Index(), true) : std::move(aDbgTag)),
      FDebugReport(aSession.Session.FDebugReport),
      FDebugLowLevel(aSession.Session.FDebugLowLevel),
      FIntervalMs(aSession.Session.FIntervalMs.load()),
      FRangeInterval(aSession.Session.FRangeInterval),
      FSerialNumber(aSession.Session.GetSerialNumber()),
      FSerialNumberINI(aSession.Session.FSerialNumberINI),
      FHandlers(aSession.Session.FHandlers),
      FInstanceId(gNextInstanceId.fetch_add(1)),
      FOpenString(aSession.Session.OpenString()),
      FFriendlyName(aSession.Session.FriendlyName()) {
  const TSessionItem& original = aSession.Session;
  LogIt(original.LogId(), original.FDbgTag + ".BaseCreateCopy aSession=" + std::to_string(original.Index()) + "/" +
                              BoolText(original.FIsCopy));
  LogIt(LogId(), FDbgTag + ".BaseCreateCopy SerialNumber=" + IntToHex(FSerialNumber.load(), 8) +
                     ", INI=" + IntToHex(FSerialNumberINI, 8));
}

TSessionItem::~TSessionItem() = default;

void TSessionItem::AttachDataManager() { FDataManagement = CreateDatamanager(); }

void TSessionItem::BaseDestroy() noexcept {
  try {
    LogIt(LogId(), FDbgTag + ".BaseDestroy");
    if (!FIsCopy) CloseDevice(true);
  } catch (const std::exception& e) {
    LogException(LogId(), FDbgTag + ".BaseDestroy", e);
  } catch (...) {
    LogError(LogId(), FDbgTag + ".BaseDestroy unknown exception");
  }
}

void TSessionItem::SetVirtualChannelData(const TQV_ChannelData& Value) {
  for (int32_t ch = 1; ch <= TQV_ChannelData::ChannelCount; ++ch) {
    FvirtualChannelData.SetChannelId(ch, Value.ChannelId(ch));
    FvirtualChannelData.SetChannelColor(ch, Value.ChannelColor(ch));
    FvirtualChannelData.SetChannelName(ch, Value.ChannelName(ch));
  }
  FvirtualChannelData.SetMaxChannels(Value.MaxChannels());
}

void TSessionItem::SetVirtualFactors(int32_t k, const TChannelFactors& value) {
  if (FDataManagement) FDataManagement->SetVirtualFactors(k, value);
}

void TSessionItem::SetHorizontalScaleFactor(THorizontalScale hScale, int32_t Value) {
  if (FDataManagement) FDataManagement->SetScaleFactor(hScale, Value);
}

void TSessionItem::SetLogId(int32_t Value) {
  const int32_t old = FLogId.load();
  if (Value == old) return;
  LogIt(old, FDbgTag + ".BaseSetLogId change LogId to " + std::to_string(Value));
  FLogId.store(Value);
  if (FDataManagement) FDataManagement->SetLogId(Value);
  LogIt(Value, FDbgTag + ".BaseSetLogId LogId changed");
}

void TSessionItem::SetLocalTcpServerAction(TLocalTcpServerAction Value) {
  FTcpServerAction = std::move(Value);
  if (FTcpServerAction) FTcpServerAction(FTcpServerRunning.load());
}

void TSessionItem::SetLocalTcpServerRunning(bool Value) {
  FTcpServerRunning.store(Value);
  if (FTcpServerAction) FTcpServerAction(Value);
}

void TSessionItem::UpdateIcon() {
  const uint32_t color = Color();
  FIcon = {color, SessionLetter(Index()), ContrastTextColor(color)};
}

std::string TSessionItem::SetDebugPath(const std::string& Value) {
  if (Value == FDebugPath) return {};
  const std::string folder = WithDelimiter(Value);
  try {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(folder, ec);
    const fs::path probe = fs::path(folder) / "test.txt";
    bool removed = false;
    if (std::ofstream(probe).is_open()) removed = fs::remove(probe, ec);
    if (!removed) {
      LogWarn(LogId(), FDbgTag + ".BaseSetDebugPath: path invalid " + folder);
      return "Invalid path: " + folder;
    }
    FDebugPath = folder;
    LogIt(LogId(), FDbgTag + ".BaseSetDebugPath: " + folder);
    return FDebugLog ? Debug(true) : std::string();
  } catch (const std::exception& e) {
    LogException(LogId(), FDbgTag + ".BaseSetDebugPath(" + folder + ") failed", e);
    return "Invalid path(" + folder + "): " + e.what();
  }
}

void TSessionItem::SetOpenParams(const std::string& aOpenString, int32_t aConnectionType, uint32_t aColor,
                                 const std::string& friendly) {
  SetOpenString(aOpenString);
  SetFriendlyName(friendly);
  FConnectionType.store(aConnectionType);
  FColor.store(aColor);
  UpdateIcon();
  LogIt(LogId(), FDbgTag + ".BaseSetOpenParams:" + " OpenString=" + aOpenString +
                     ", ConnectionType=" + std::to_string(aConnectionType) + ", Color=" + IntToHex(aColor, 8) +
                     ", FriendlyName=" + friendly);
}

bool TSessionItem::IsDirectSerial() const {
  return ConnectionType() == 1 /* ctSerial */ && FSessionType == kSessionTypeCounter;
}

void TSessionItem::ReadSettings(TAppSettings& Settings, const std::string& SettingsPrefix) {
  const std::string& P = SettingsPrefix;
  LogIt(LogId(), FDbgTag + ".BaseReadSettings");
  FDebugLog = Settings.GetValue(P + "Debug_Log", ExpertMode());
  FErrorMessage = Debug(FDebugLog);
  FDebugLowLevel = Settings.GetValue(P + "Debug_LowLevel", true);
  FDebugReport = Settings.GetValue(P + "Debug_Report", true);
  DebugFlags(FDebugReport, FDebugLowLevel);

  SetOpenString(Settings.GetValue(P + "OpenString", ""));
  FConnectionType.store(ReadInt(Settings, P + "ConnectionType", -1));
  FColor.store(uint32_t(ReadInt(Settings, P + "Color", int32_t(kDefaultSessionColor))));
  SetFriendlyName(Settings.GetValue(P + "FriendlyName", ""));
  LogIt(LogId(), FDbgTag + ".BaseOpenString=" + OpenString() + ", ConnectionType=" + std::to_string(ConnectionType()) +
                     ", Color=" + IntToHex(Color(), 6) + ", FriendlyName=" + FriendlyName());
  UpdateIcon();

  ReadChannelRecord(Settings, P, FChannelData);
  ReadChannelRecord(Settings, P + "V_", FvirtualChannelData);
  FvirtualDescription = Settings.GetValue(P + "V_" + "Description", "");
  ReadVirtualFactors(Settings, P);
  const int32_t count = VirtualChannelCount();
  LogIt(LogId(), FDbgTag + ".BaseReadSettings VirtualChannelCount=" + std::to_string(count));
  FvirtualChannelData.SetMaxChannels(count);

  ReadHorizontalScale(Settings, P);
  // A stored 0 or a negative interval means "not set".
  const int32_t interval = ReadInt(Settings, P + "Interval", kDefaultIntervalMs);
  FIntervalMs.store(interval > 0 ? interval : kDefaultIntervalMs);
}

void TSessionItem::ReadVirtualFactors(TAppSettings& Settings, const std::string& SettingsPrefix) {
  const TFormatSettings fs = Settings.FormatSettings();
  for (int32_t k = 1; k <= DM_MaxChannels; ++k) {
    const std::string text = Settings.GetValue(SettingsPrefix + "V_" + std::to_string(k) + "_Factors", "");
    TChannelFactors factors{};
    if (!text.empty()) {
      const auto parts = SplitText(text, ";");
      for (size_t j = 0; j < factors.size() && j < parts.size(); ++j)
        factors[j] = TextToFloat(NormaliseDecimalSeparator(parts[j], fs.DecimalSeparator), fs).value_or(0.0);
    }
    SetVirtualFactors(k, factors);
  }
}

void TSessionItem::ReadHorizontalScale(TAppSettings& Settings, const std::string& SettingsPrefix) {
  const auto parts = SplitText(Settings.GetValue(SettingsPrefix + "HorizontalScale", ""), ";");
  SetHorizontalScaleFactor(hsShort, ScalePart(parts, 0));
  SetHorizontalScaleFactor(hsLong, ScalePart(parts, 1));
}

void TSessionItem::SaveSettings(TAppSettings& Settings, const std::string& SettingsPrefix) {
  const std::string& P = SettingsPrefix;
  LogIt(LogId(), FDbgTag + ".BaseSaveSettings");
  Settings.SetValue(P + "SessionType", FSessionType);
  Settings.SetValue(P + "Debug_Log", FDebugLog);
  Settings.SetValue(P + "Debug_Report", FDebugReport);
  Settings.SetValue(P + "Debug_LowLevel", FDebugLowLevel);
  Settings.SetValue(P + "OpenString", OpenString());
  Settings.SetValue(P + "ConnectionType", ConnectionType());
  Settings.SetValue(P + "Color", int32_t(Color()));
  Settings.SetValue(P + "FriendlyName", FriendlyName());
  SaveChannelRecord(Settings, P, FChannelData);
  SaveVirtualChannels(Settings, P);
  // After the virtual channels: clearing their keys must not take the description with them.
  Settings.SetValue(P + "V_" + "Description", FvirtualDescription);
  Settings.SetValue(P + "HorizontalScale",
                    std::to_string(HorizontalScaleFactor(hsShort)) + ";" + std::to_string(HorizontalScaleFactor(hsLong)));
  Settings.SetValue(P + "Interval", FIntervalMs.load());
}

void TSessionItem::SaveVirtualChannels(TAppSettings& Settings, const std::string& SettingsPrefix) {
  if (VirtualChannelCount() <= 0) {
    Settings.RemoveKeys(SettingsPrefix + "V_");
    return;
  }
  SaveChannelRecord(Settings, SettingsPrefix + "V_", FvirtualChannelData);
  // Up to the last defined row, so that a gap in the rows does not lose the rows behind it.
  int32_t last = 0;
  for (int32_t k = 1; k <= DM_MaxChannels; ++k)
    for (double f : VirtualFactors(k))
      if (f != 0) last = k;
  const TFormatSettings fs = Settings.FormatSettings();
  for (int32_t k = 1; k <= last; ++k) {
    std::string text;
    for (double f : VirtualFactors(k)) text += FloatToText(f, fs) + ";";
    Settings.SetValue(SettingsPrefix + "V_" + std::to_string(k) + "_Factors", text);
  }
}

void TSessionItem::UpdateIndex(int32_t aIndex) {
  LogIt(LogId(), FDbgTag + ".BaseUpdateIndex " + "newIndex=" + std::to_string(aIndex));
  FIndex.store(aIndex);
}

void TSessionItem::SetSerialNumber(uint32_t Value) {
  if (!FIsCopy) return;
  LogIt(LogId(), FDbgTag + ".BaseSetSerialNumber=" + IntToHex(Value, 8));
  FSerialNumber.store(Value);
}

void TSessionItem::AddSamplerLogTypes(uint32_t Value) {
  const uint32_t old = FSamplerLogTypes.load();
  const uint32_t now = old | Value;
  FSamplerLogTypes.store(now);
  LogIt(LogId(), FDbgTag + ".AddSamplerLogTypes " + IntToHex(Value, 8) + " -> " + IntToHex(now, 8));
  if (FDataManagement) FDataManagement->SetSamplerLogTypes(now);
}

void TSessionItem::ResetSamplerLogTypes() {
  LogIt(LogId(), FDbgTag + ".BaseResetSamplerLogTypes");
  FSamplerLogTypes.store(0);
  if (FDataManagement) FDataManagement->SetSamplerLogTypes(0);
}

std::string TSessionItem::ToString() const {
  std::lock_guard lock(FParamLock);
  std::string text = FDbgTag + ", " + FOpenString;
  if (!FFriendlyName.empty()) text += ", " + FFriendlyName;
  return text;
}

void TSessionItem::TestRaiseException() const { throw std::range_error("TSessionItem.TestRaiseException"); }

std::string TSessionItem::FriendlyName() const {
  std::lock_guard lock(FParamLock);
  return FFriendlyName;
}

std::string TSessionItem::OpenString() const {
  std::lock_guard lock(FParamLock);
  return FOpenString;
}

std::string TSessionItem::DeviceName() const {
  std::lock_guard lock(FParamLock);
  return FDeviceName;
}

void TSessionItem::SetDeviceName(const std::string& Value) {
  std::lock_guard lock(FParamLock);
  FDeviceName = Value;
}

void TSessionItem::SetOpenString(const std::string& Value) {
  std::lock_guard lock(FParamLock);
  FOpenString = Value;
}

void TSessionItem::SetFriendlyName(const std::string& Value) {
  std::lock_guard lock(FParamLock);
  FFriendlyName = Value;
}

int32_t TSessionItem::VirtualChannelCount() const {
  return FDataManagement ? FDataManagement->VirtualChannelCount() : 0;
}

int32_t TSessionItem::HorizontalScaleFactor(THorizontalScale hScale) const {
  return FDataManagement ? FDataManagement->GetScaleFactor(hScale) : 1;
}

TChannelFactors TSessionItem::VirtualFactors(int32_t k) const {
  return FDataManagement ? FDataManagement->GetVirtualFactors(k) : TChannelFactors{};
}

void TSessionItem::DoMsg(TMsgType type, int32_t Code, int32_t SubCode, const std::string& text, bool viaThread) const {
  if (FHandlers.OnMsg) FHandlers.OnMsg(Index(), Code, SubCode, type, text, viaThread);
}

void TSessionItem::AddSync(int32_t What, int32_t Code, int32_t aInt, const std::string& Text) const {
  if (FHandlers.SyncList) FHandlers.SyncList->AddSync({What, Code, aInt, Text, Ref()});
}

void TSessionItem::DoUpdate() {
  if (FHandlers.OnUpdate) FHandlers.OnUpdate(*this);
}

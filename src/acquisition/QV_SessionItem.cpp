#include "acquisition/QV_SessionItem.h"

#include <cmath>
#include <cstring>
#include <stdexcept>

#include "acquisition/MultiSource.h"
#include "acquisition/QV_SourceResult.h"
#include "acquisition/QV_TcpRequest.h"
#include "acquisition/QV_TcpServer.h"
#include "alarms/ClockAlarm.h"
#include "core/LogUnit.h"
#include "core/QV_NumberText.h"
#include "data/ISamplerSink.h"
#include "data/IVC_DataManagement.h"
#include "data/ZCT_DataManagement.h"
#include "devices/QV_Simulator.h"
#include "protocol/QV_Commands.h"

// The session and its interval-counter copy know each other through one shared record, so that
// either can go first: the report thread reaches the copy only under the record's lock.
struct TQVSessionItem::TLink {
  std::mutex Lock;
  TQVSessionItem* Original = nullptr;
  TQVSessionItem* Copy = nullptr;
};

namespace {

std::string Tag(int32_t index, bool isCopy) {
  return "TQVSessionItem[" + std::to_string(index) + "/" + BoolText(isCopy) + "]";
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(text[i])) != std::toupper(static_cast<unsigned char>(prefix[i])))
      return false;
  return true;
}


}  // namespace

// ============================== Creation and destruction ==============================

std::unique_ptr<TQVSessionItem> TQVSessionItem::Make(int32_t aLogId, int32_t aIndex, TSessionHandlers aHandlers,
                                                     TQVSessionEnv aEnv) {
  auto session = Create<TQVSessionItem>(aLogId, aIndex, std::move(aHandlers), std::move(aEnv));
  session->Log(".Created: MultiID=" + std::to_string(session->FMultiId));
  return session;
}

TQVSessionItem::TQVSessionItem(int32_t aLogId, int32_t aIndex, TSessionHandlers aHandlers, TQVSessionEnv aEnv)
    : TSessionItem(aLogId, aIndex, std::move(aHandlers), Tag(aIndex, false)),
      FMultiId(Multi_AddSource()),
      FClockAlarm(std::make_shared<TClockAlarmDefs>(aEnv.Clock ? *aEnv.Clock : SystemClock())),
      FLink(std::make_shared<TLink>()),
      FZCTDateTime(NAN),
      FZCTDateTimeStart(NAN),
      FiniDateTime(NAN),
      FIVCChannelData(3),
      FVirtualIVCChannelData(5),
      FEnv(std::move(aEnv)) {
  FSessionType = kSessionTypeCounter;
  Log(".Create");
  FLink->Original = this;
  FOptions = FEnv.Options ? FEnv.Options() : TQVSessionOptions{};
  const std::string letter = Letter();
  for (int32_t i = 1; i <= TQV_ChannelData::ChannelCount; ++i) {
    const std::string n = std::to_string(i);
    FChannelData.SetChannelName(i, "ZCT_" + letter + n);
    FvirtualChannelData.SetChannelName(i, "VZCT_" + letter + n);
    FIVCChannelData.SetChannelName(i, "IVC_" + letter + n);
    FVirtualIVCChannelData.SetChannelName(i, "VIVC_" + letter + n);
  }
  for (int32_t card = 1; card <= DGICards; ++card)
    for (int32_t signal = 1; signal <= DGISignals; ++signal)
      DGIs[card - 1][signal - 1] = "DGI" + std::to_string(card) + "_Bit" + std::to_string(signal - 1);
  TQV_SimulDevice::SetDGIReports(FDemoDGI);
  TQV_SimulDevice::SetIVCReports(FDemoIVC);
  HRQSettings.Clear();
  HRQSettings.FormatSettings = FOptions.FormatLog;
}

TQVSessionItem::TQVSessionItem(TQVSessionItem& original, std::shared_ptr<TLink> link)
    : TSessionItem(TCopyOf{original}, Tag(original.Index(), true)),
      FMultiId(original.FMultiId),
      FClockAlarm(original.FClockAlarm),
      FLink(std::move(link)),
      FZCTDateTime(NAN),
      FZCTDateTimeStart(NAN),
      FiniDateTime(NAN),
      FIVCChannelData(original.FIVCChannelData),
      FVirtualIVCChannelData(original.FVirtualIVCChannelData),
      FvirtualIVCDescription(original.FvirtualIVCDescription),
      FZCT_DM(original.FZCT_DM),
      FIVC_DM(original.FIVC_DM),
      FEnv(original.FEnv) {
  FSerialNumberOk = original.FSerialNumberOk.load();
  FHardFeature = original.FHardFeature.load();
  const int32_t transmittedIVCs = original.TransmittedIVCs();
  UpdateStatus([&](TQVSessionStatus& s) {
    s.TransmittedIVCs = transmittedIVCs;
    s.IVConly = true;
  });
  FUseDeviceCalibration = original.FUseDeviceCalibration.load();
  FDecSep = original.FDecSep.load();
  SetIntervalMs(kDefaultIntervalMs);
  FOptions = original.Options();
  HRQSettings = original.HRQSettings;
  DGIs = original.DGIs;
  FIVC_DM->SetSessIsCopy(true);
}

std::unique_ptr<TQVSessionItem> TQVSessionItem::CopyIVCPart(TQVSessionItem& qvSession) {
  std::unique_ptr<TQVSessionItem> copy(new TQVSessionItem(qvSession, qvSession.FLink));
  std::lock_guard lock(qvSession.FLink->Lock);
  qvSession.FLink->Copy = copy.get();
  return copy;
}

TQVSessionItem::~TQVSessionItem() {
  try {
    Log(".Destroy: MultiID=" + std::to_string(FMultiId));
    if (IsCopy()) {
      FIVC_DM->SetSessIsCopy(false);
    } else {
      StopLocalTcpServer();
      // A copy may keep the stores a little longer; nothing in them may call back into this session.
      for (TDataManagement* store : std::initializer_list<TDataManagement*>{FZCT_DM.get(), FIVC_DM.get()}) {
        store->SetOnError({});
        store->SetOnWarning({});
        store->SetOnReset({});
        store->SetOnChannelCount({});
      }
      FZCT_DM->SetOnDGICount({});
      FZCT_DM->SetClockAlarmSink(nullptr);
      FZCT_DM->SetReportLogSink(nullptr);
      FIVC_DM->SetReportLogSink(nullptr);
      Log(".Destroy: Free IVC_DM");
    }
    {
      std::lock_guard lock(FLink->Lock);
      (IsCopy() ? FLink->Copy : FLink->Original) = nullptr;
    }
  } catch (const std::exception& e) {
    LogException(LogId(), DbgTag() + ".Destroy", e);
  }
  BaseDestroy();
}

std::shared_ptr<TDataManagement> TQVSessionItem::CreateDatamanager() {
  Log(".CreateDatamanager");
  FIVC_DM = TDataManagement::Create<TIVC_DataManagement>(LogId(), Index(), false);
  FZCT_DM = TDataManagement::Create<TZCT_DataManagement>(LogId(), Index(), false);
  const TQVSessionOptions options = Options();
  for (TDataManagement* store : std::initializer_list<TDataManagement*>{FZCT_DM.get(), FIVC_DM.get()}) {
    store->SetOnError([this](int32_t code, int32_t subCode, const std::string& text) { AddError(code, subCode, text); });
    store->SetOnWarning([this](int32_t code, int32_t subCode, const std::string& text) { AddWarning(code, subCode, text); });
  }
  ApplyReportDetails();
  FZCT_DM->SetMultiId(FMultiId);
  FZCT_DM->SetNumberFormats(options.FormatWin, options.FormatLog);
  FZCT_DM->SetSamplerSink(FEnv.Sampler);
  FZCT_DM->SetClockAlarmSink(FClockAlarm.get());
  FZCT_DM->SetReportLogSink(this);
  FZCT_DM->SetOnReset([this](int32_t code, TDataManagement*) { AddSync(swDataReset, code); });
  FZCT_DM->SetOnChannelCount([this](int32_t code, int32_t n) { AddSync(swChannelCount, code, n); });
  FZCT_DM->SetOnDGICount([this](int32_t code, int32_t n) {
    UpdateStatus([n](TQVSessionStatus& s) { s.TransmittedDGIs = n; });
    AddSync(swDGICards, code, n);
  });
  FIVC_DM->SetMultiId(FMultiId);
  FIVC_DM->SetNumberFormats(options.FormatWin, options.FormatLog);
  FIVC_DM->SetSamplerSink(FEnv.Sampler);
  FIVC_DM->SetReportLogSink(this);
  FIVC_DM->SetOnReset([this](int32_t code, TDataManagement*) { AddSync(swDataResetIVC, code); });
  FIVC_DM->SetOnChannelCount([this](int32_t code, int32_t n) {
    UpdateStatus([n](TQVSessionStatus& s) { s.TransmittedIVCs = n; });
    WithLinked([n](TQVSessionItem& copy) { copy.UpdateStatus([n](TQVSessionStatus& s) { s.TransmittedIVCs = n; }); });
    AddSync(swIVCChannels, code, n);
  });
  return FZCT_DM;
}

// ============================== Small helpers ==============================

const TClock& TQVSessionItem::Clock() const { return FEnv.Clock ? *FEnv.Clock : SystemClock(); }

TQVSessionOptions TQVSessionItem::Options() const {
  std::lock_guard lock(FOptionsLock);
  return FOptions;
}

void TQVSessionItem::Log(const std::string& text) const { LogIt(LogId(), DbgTag() + text); }
void TQVSessionItem::Warn(const std::string& text) const { LogWarn(LogId(), DbgTag() + text); }

void TQVSessionItem::SamplerUpdate(bool copy, int32_t what, const std::string& text) const {
  if (FEnv.Sampler) FEnv.Sampler->UpdateSession(Index(), copy, what, text);
}

void TQVSessionItem::WithLinked(const std::function<void(TQVSessionItem&)>& use) const {
  std::lock_guard lock(FLink->Lock);
  TQVSessionItem* other = IsCopy() ? FLink->Original : FLink->Copy;
  if (other) use(*other);
}

TQVSessionItem* TQVSessionItem::LinkedSession() const {
  std::lock_guard lock(FLink->Lock);
  return IsCopy() ? FLink->Original : FLink->Copy;
}

// The stores' lines for the local data server; they go nowhere while it does not run.
void TQVSessionItem::TcpReportLog(const std::string& Data, int32_t logType) {
  if (LocalTcpServerRunning()) Source().TcpReportLog(Data, logType);
}

bool TQVSessionItem::IsFileConnection() const { return FFileDevice || ConnectionType() == ctFile; }

bool TQVSessionItem::IsTcpClientConnection() const {
  const std::string s = TSessionItem::OpenString();
  return StartsWithNoCase(s, "TCP:") || StartsWithNoCase(s, "ARCHIVE:") || ConnectionType() == ctTCPServer ||
         ConnectionType() == ctArchive;
}

bool TQVSessionItem::IsDirectSerial() const { return TSessionItem::IsDirectSerial() && !IsESP(); }

// ============================== Messages ==============================

void TQVSessionItem::AddError(int32_t Code, int32_t SubCode, const std::string& text) {
  Warn(".AddError Code=" + std::to_string(Code) + "/" + std::to_string(SubCode) + ": " + text);
  DoMsg(mtError, Code, SubCode, text, true);
  // A refused command leaves the shown interval as it was before the command.
  if (Code == 76) AddSync(swRateIndex, FIntervalIndex.load(), IntervalMs());
}

void TQVSessionItem::AddInfo(int32_t Code, int32_t SubCode, const std::string& text) {
  DoMsg(mtInfo, Code, SubCode, text, true);
}

void TQVSessionItem::AddWarning(int32_t Code, int32_t SubCode, const std::string& text) {
  DoMsg(mtWarning, Code, SubCode, text, true);
}

// ============================== Open and close ==============================

std::string TQVSessionItem::BuildOpenString() {
  std::string base = TSessionItem::OpenString();
  std::string userPart;
  const size_t user = base.find(" USERID=");
  if (user != std::string::npos) {
    userPart = base.substr(user);
    base.resize(user);
  }
  if (ConnectionType() == ctNetwork && FDataPortINI != 0 && base.find(':') == std::string::npos) {
    base += ":" + std::to_string(FDataPortINI);
    Log(".OpenDevice: ServerPort anhängen " + base + userPart);
  }
  if (FUserIdINI != AnyUser && TSessionItem::OpenString().find("USERID=") == std::string::npos) {
    userPart = " USERID=" + std::to_string(FUserIdINI.load());
    Log(".OpenDevice: UserID anhängen " + base + userPart);
  }
  if (ExpertMode() && FReportStruct) {
    base += " ReportStruct";
    Log(".OpenDevice: ReportStruct anhängen " + base + userPart);
  }
  return base + userPart;
}

std::string TQVSessionItem::OpenDevice() {
  const std::string openString = TSessionItem::OpenString();
  Log(".OpenDevice: " + openString);
  FDeviceInterruptedError = false;
  std::string toOpen = BuildOpenString();
  PhaDiffReset = false;
  UpdateStatus([](TQVSessionStatus& s) {
    s.IsESP = false;
    s.HasPPI = false;
    s.VersionString.clear();
  });
  FWaitRawTimestamp = true;
  FDeviceStartStateTaken = false;
  const auto open = [&](const std::string& text, std::string& reply) {
    const TSourceReply result = Source().Open(text);
    reply = result.Text;
    return result.Ok();
  };
  std::string reply;
  bool opened = open(toOpen, reply);
  if (!opened && reply.find(" already in use") != std::string::npos &&
      openString.find("USERID=") == std::string::npos) {
    // The stored user is taken by someone else: any free user will do, and is kept from now on.
    FUserIdINI = AnyUser;
    Log(".OpenDevice: ohne USERID nochmal öffnen");
    toOpen = BuildOpenString();
    opened = open(toOpen, reply);
  }
  if (!opened) {
    const size_t marker = reply.find("7FFA: ");
    if (marker != std::string::npos) {
      reply = "Error open Q+V device \"" + openString + "\": " + reply.erase(marker, 6);
      Log(".OpenDevice: Fehlermeldung ändern: " + reply);
    }
    Warn(".OpenDevice: " + toOpen + " failed: " + reply);
    SetDeviceOpened(false);
    return reply;
  }
  SetDeviceOpened(true);
  // Asked once: a recording that reached its end is no longer open, but still was a file.
  FFileDevice = Source().IsFileDevice();
  // A recording or a device without structured reports would refuse every structured read; such a
  // connection is read as text even when the expert setting asks for records.
  FStructuredReports = ExpertMode() && FReportStruct && Source().HasStructuredReports();
  if (ExpertMode() && FReportStruct && !FStructuredReports)
    Log(".OpenDevice: no structured reports from this device, text reports are read");
  Source().SetDecimalSeparator(FDecSep);
  Source().SetSend7016(true);
  if (FLocalServer.Run && !LocalTcpServerRunning()) StartLocalTcpServer();
  FZCT_DM->DeviceOpened();
  FIVC_DM->DeviceOpened();
  FOldHeader = NoHeader;
  AddInfo(71, 0, "Connected to: " + openString);
  DoUpdate();
  StartupCommands();
  return {};
}

void TQVSessionItem::StartupCommands() {
  const std::string openString = TSessionItem::OpenString();
  const bool demo = openString.starts_with("DemoData");
  FWaits.ExpectedHeader = FExpectedHeader.has_value() && !IsTcpClientConnection() && !IsFileConnection();
  FLastCorrection.reset();
  FWaits.ReSync = false;
  FOpenCommandIndex = 0;
  if (IsTcpClientConnection() || IsFileConnection()) {
    ResetWaitBufferCleared();
    ResetWaitHRQData();
    ResetWait7F51();
  } else {
    if (demo && FClearBufferOnStart) Log(".OpenDevice Demo -> KEIN ClearBuffer");
    const bool clear = FClearBufferOnStart && !demo;
    if (VersionString().empty()) {
      FWaits.BufferCleared = clear;
      FWaits.HRQData = clear;
      FWaits.StartHRQ(std::nullopt);
      Log(".OpenDevice: " + openString + (clear ? " get version, clear transmit buffer" : " get version"));
      SendCommand(std::string(1, static_cast<char>(clear ? 0x81 : QVCmd::Version)));
      if (!clear) {
        ResetWaitBufferCleared();
        ResetWaitHRQData();
      }
    }
    // Measurements wait for the re-sync report only when a re-sync was asked for.
    for (const std::string& cmd : FAddedOpenCommands)
      if (cmd == std::string(1, static_cast<char>(QVCmd::ReSync))) FWaits.ReSync = true;
  }
  if (!demo) return;
  const int32_t count = FDemoChannels > 23 ? 0 : std::max(FDemoChannels, 0);
  Log(".OpenDevice: DemoData set channel count=" + std::to_string(count));
  if (count <= 11)
    SendCommand(std::string(1, static_cast<char>(QVCmd::Channels24 + count)));
  else
    SendCommand(std::string{static_cast<char>(QVCmd::ChannelsN), static_cast<char>(count)});
  Log(".OpenDevice: DemoData set" + std::string(" mode=") + std::to_string(FDemoMode) + ", rate=" +
      std::to_string(FDemoRate));
  SendCommand(std::string(1, static_cast<char>(QVCmd::ModeBase + FDemoMode)));
  SendCommand(std::string(1, static_cast<char>(QVCmd::RateBase + FDemoRate)));
}

void TQVSessionItem::CloseDevice(bool stopServer) {
  if (!IsRunning()) return;
  const std::string openString = TSessionItem::OpenString();
  Log(".CloseDevice: " + openString + ", stopServer=" + BoolText(stopServer));
  const int32_t userId = Source().UserID();
  if (userId != AnyUser) {
    FUserIdINI = static_cast<uint8_t>(userId);
    Log(".CloseDevice: UserID=" + std::to_string(userId));
  } else {
    Log(".CloseDevice: UserID beibehalten " + std::to_string(FUserIdINI.load()));
  }
  if (stopServer) StopLocalTcpServer();
  AddInfo(71, 0, "Disconnect");
  Log(".CloseDevice: close connection");
  try {
    Source().Close();
  } catch (const std::exception& e) {
    Warn(".CloseDevice: close connection failed");
    AddError(71, 0, std::string("Disconnect failed: ") + e.what());
  }
  SamplerUpdate(true, 12);
  SamplerUpdate(false, 12);
  SetDeviceOpened(false);
  DoUpdate();
}

void TQVSessionItem::CheckUsbAttached(const std::string& serialNumberString) {
  std::string openString = TSessionItem::OpenString();
  if (IsRunning() || openString.empty()) return;
  const size_t user = openString.find(" USERID=");
  if (user != std::string::npos) openString.resize(user);
  if (serialNumberString.find(openString) == std::string::npos) return;
  Log(".CheckUsbAttached: auto open");
  if (OpenDevice().empty())
    Log(".CheckUsbAttached: auto open ok");
  else
    Warn(".CheckUsbAttached: auto open failed");
}

void TQVSessionItem::SetOpenParams(const std::string& aOpenString, int32_t aConnectionType, uint32_t aColor,
                                   const std::string& friendly) {
  const bool changed = aOpenString != TSessionItem::OpenString() || aColor != Color() || friendly != FriendlyName();
  TSessionItem::SetOpenParams(aOpenString, aConnectionType, aColor, friendly);
  if (changed) DoUpdate();
}

// ============================== Commands ==============================

void TQVSessionItem::SendCommandText(const std::string& text) { SendCommand(text); }

bool TQVSessionItem::SendCommand(const std::string& data) {
  Log(".SendCommand " + AnsiToHex(data));
  try {
    const TSourceReply reply = Source().SendCommand(data);
    if (!reply.Ok()) {
      AddError(76, 0, reply.Text);
      return false;
    }
    if (IsESP() && !data.empty() && static_cast<uint8_t>(data[0]) == QVCmd::PPI) {
      FPPIcmdSent = true;
      Log(".SendCommand  PPI cmd");
    }
    return true;
  } catch (const std::exception& e) {
    AddError(77, 0, "Send Command Failed: (" + ExceptionClassName(e) + ") " + e.what());
    Warn(".SendCommand  failed -> Close");
    CloseDevice(true);
    return false;
  }
}

void TQVSessionItem::SetCommand(const std::string& Cmd, const std::string& CmdText) {
  if (Cmd.empty()) return;
  const uint8_t first = static_cast<uint8_t>(Cmd[0]);
  const bool rawMode = FMode == 6 || FMode == 7;
  if (Cmd == "F" || Cmd == "G") {
    const bool rawAvg = Cmd == "G";
    UpdateStatus([rawAvg](TQVSessionStatus& s) { s.RawAvg = rawAvg; });
    if (rawMode) Log(".SetCommand: switch mode to " + CmdText);
    else Log(".SetCommand: switch mode to RawMode");
    if (!SendCommand("F")) return;
    AddInfo(75, 0, "Cmd " + CmdText);
    if (rawMode) {
      if (IsFileConnection()) {
        // A recording does not answer; the session switches between raw and averaged itself.
        FMode = rawAvg ? 7 : 6;
        FZCT_DM->SetRawMode(IntervalMs(), rawAvg);
        AddSync(swMode, FMode);
      }
    } else {
      Log(".SetCommand: switch interval to 1ms");
      SendCommand(std::string(1, static_cast<char>(QVCmd::RateBase)));
    }
    return;
  }
  if (rawMode && first >= QVCmd::RateBase && first <= QVCmd::RateBase + 13 && Cmd.size() == 1) {
    // In raw mode the instrument always measures 1 ms; the interval only groups the raw lines.
    const int32_t index = first & 0x0F;
    const auto ms = static_cast<int32_t>(TQVHeader::IntervalIndexToMs(index));
    FIntervalIndex = index;
    FRawIntervalIndex = index;
    SetIntervalMs(ms);
    FZCT_DM->SetRawMode(ms, RawAvg());
    AddInfo(75, 0, "Cmd " + CmdText);
    AddSync(swRateIndex, index, ms);
    FZCT_DM->SetNewHeader(static_cast<uint16_t>(0x6000 + 256 * index));
    Log(".SetCommand: switch interval to " + CmdText + " FIntervalIndex=" + std::to_string(index) +
        " FIntervalMs=" + std::to_string(ms));
    return;
  }
  if (!SendCommand(Cmd)) return;
  AddInfo(75, 0, "Cmd " + CmdText);
  // The next header report confirms the reset of the phase differences.
  if (Cmd.size() == 1 && first == QVCmd::PhaseReset) PhaDiffReset = true;
  if (rawMode && first >= QVCmd::ModeBase && first <= QVCmd::ModeBase + 5 && Cmd.size() == 1) {
    const int32_t index = std::max(FIntervalIndex.load(), 0);
    Log(".SetCommand: switch interval back to " + std::to_string(IntervalMs()) + "ms  FIntervalIndex=" +
        std::to_string(index));
    SendCommand(std::string(1, static_cast<char>(QVCmd::RateBase + index)));
  }
}

// ============================== Local TCP server ==============================

bool TQVSessionItem::UpdateLocalServer(bool Run, uint16_t Port) {
  const bool portChanged = Port != FLocalServer.Port;
  FLocalServer.Run = Run;
  FLocalServer.Port = Port;
  if (Run && !LocalTcpServerRunning()) StartLocalTcpServer();
  else if (!Run && LocalTcpServerRunning()) StopLocalTcpServer();
  else if (Run && portChanged) return false;
  return true;
}

void TQVSessionItem::SetLocalServerAccess(const std::string& listenAddress, const std::string& allowedClients) {
  FLocalServer.ListenAddress = listenAddress;
  FLocalServer.AllowedClients = allowedClients;
}

void TQVSessionItem::SetLocalServerArchive(bool archive, const std::string& path) {
  FLocalServer.Archive = archive;
  FLocalServer.ArchivePath = path;
}

void TQVSessionItem::StartLocalTcpServer() {
  Log(".StartLocalTcpServer on port " + std::to_string(FLocalServer.Port));
  TTcpServerOptions options;
  options.ListenAddress = FLocalServer.ListenAddress;
  options.AllowedClients = SplitAddressList(FLocalServer.AllowedClients);
  Source().SetTcpServerOptions(options);
  if (const TSourceReply path = Source().SetArchivePath(FLocalServer.ArchivePath); !path.Ok())
    Warn(".StartLocalTcpServer: " + path.Text);
  Source().EnableArchive(FLocalServer.Archive);
  int32_t port = FLocalServer.Port;
  const TSourceReply start = Source().StartTcpServer(port);
  const bool running = start.Ok();
  SetLocalTcpServerRunning(running);
  FZCT_DM->SetLocalServerRunning(running);
  if (running) {
    FLocalServer.Port = static_cast<uint16_t>(port);
    AddInfo(82, 0, "Local TCP Server running on port " + std::to_string(port));
    return;
  }
  AddError(81, 0, "Local TPC Server Error: " + Source().TcpServerError().Text);
}

void TQVSessionItem::StopLocalTcpServer() {
  if (!LocalTcpServerRunning()) return;
  Log(".StopLocalTcpServer");
  const bool stopped = Source().StopTcpServer() == mrOk;
  SetLocalTcpServerRunning(false);
  FZCT_DM->SetLocalServerRunning(false);
  if (stopped) {
    AddInfo(82, 0, "Local TCP Server stopped");
    return;
  }
  const std::string reason = Source().TcpServerError().Text;
  Warn(".StopLocalTcpServer failed: " + reason);
  AddError(81, 0, "Local TPC Server Error: " + reason);
}

// ============================== Device queries ==============================

uint32_t TQVSessionItem::GetSerialNumber() {
  if (IsCopy() || FSerialNumberOk) return FSerialNumber.load();
  if (TSessionItem::OpenString() == kOpenStringNone) {
    Log(".GetSerialNumber no connection");
    FSerialNumberOk = true;
    return FSerialNumber.load();
  }
  const uint32_t number = Source().SerialNumber();
  Log(".GetSerialNumber from device=" + IntToHex(number, 8));
  if (number == kSerialNumberUnknown) return FSerialNumber.load();
  SetSerialNumberValue(number);
  FSerialNumberOk = true;
  UpdateNominalFrequencies();
  WithLinked([number](TQVSessionItem& copy) {
    copy.SetSerialNumber(number);
    copy.FSerialNumberOk = true;
  });
  return number;
}

bool TQVSessionItem::RequestConnectedUsers() {
  const int32_t code = Source().RequestConnectedUser();
  if (code != mrOk) Log(".RequestConnectedUser failed=" + std::to_string(code));
  return code == mrOk;
}

bool TQVSessionItem::ResetDevice() {
  const int32_t code = Source().ResetDevice();
  if (code != mrOk) Log(".RequestConnectedUser failed=" + std::to_string(code));
  return code == mrOk;
}

int32_t TQVSessionItem::GetUserId() const { return Source().UserID(); }
uint32_t TQVSessionItem::GetBufferAmount() const { return Source().BufferAmount(); }
void TQVSessionItem::GetBufferAmounts(uint32_t& amount, uint32_t& highAmount) const {
  Source().BufferAmounts(amount, highAmount);
}
int32_t TQVSessionItem::GetFirmwareVersion() const { return Source().FirmwareVersion(); }
uint32_t TQVSessionItem::GetTransmitBufferAmount() const { return Source().TransmitBufferAmount(); }

// ============================== Diagnostics ==============================

std::string TQVSessionItem::Debug(bool Value) {
  Source().SetDebugLimit(logCreateNew, 0);
  const TSourceReply set = Source().SetDebugLog(Value, Letter(), false);
  if (!set.Ok()) {
    Warn(".Debug failed: " + set.Text);
    return set.Text;
  }
  FDebugLog = Value;
  ApplyReportDetails();
  Log(".DebugFileName=" + Source().DebugFilename().Text);
  return {};
}

void TQVSessionItem::DebugFlags(bool Report, bool LowLevel) {
  if (Source().DebugFlags(Report, LowLevel) != mrOk) {
    Warn(".DebugFlags failed: invalid MultiId=" + std::to_string(FMultiId));
    return;
  }
  FDebugReport = Report;
  FDebugLowLevel = LowLevel;
  ApplyReportDetails();
}

// Read on the report thread: the stores' flag is atomic, the session's switches are not.
bool TQVSessionItem::ReportDetails() const { return FZCT_DM && FZCT_DM->ReportDetails(); }

void TQVSessionItem::ApplyReportDetails() {
  const bool details = FDebugLog && FDebugReport;
  if (FZCT_DM) FZCT_DM->SetReportDetails(details);
  if (FIVC_DM) FIVC_DM->SetReportDetails(details);
}

std::string TQVSessionItem::SetDebugPath(const std::string& Value) {
  Log(".SetDebugPath " + Value);
  const TSourceReply set = Source().SetOutputPath(Value);
  if (!set.Ok()) return set.Text;
  FDebugPath = Value.ends_with('/') ? Value : Value + "/";
  SavePath(LogId(), FDebugPath);
  return FDebugLog ? Debug(true) : std::string();
}

void TQVSessionItem::SetDebugStream(bool Value) {
  const TSourceReply set = Source().SetDebugLogStream(Value, Letter(), false);
  if (!set.Ok()) {
    Log(".SetDebugStream failed: " + set.Text);
    return;
  }
  FDebugStream = Value;
}

void TQVSessionItem::SetDecimalSeparator(char Separator) {
  Log(".SetDecimalSeparator " + std::string(1, Separator));
  FDecSep = Separator;
  Source().SetDecimalSeparator(Separator);
}

// ============================== Options ==============================

void TQVSessionItem::UpdateOptions(int32_t what) {
  const TQVSessionOptions options = FEnv.Options ? FEnv.Options() : TQVSessionOptions{};
  {
    std::lock_guard lock(FOptionsLock);
    FOptions = options;
  }
  if (!IsCopy()) {
    FZCT_DM->SetNumberFormats(options.FormatWin, options.FormatLog);
    FIVC_DM->SetNumberFormats(options.FormatWin, options.FormatLog);
  }
  const TDateTime old = FZCTDateTimeStart.load();
  if (!(what & 0x20) || !DateTimeKnown(old)) return;
  const TDateTime now = options.LogTimeZoneSystem ? LocalToUtc(old) : UtcToLocal(old);
  FZCTDateTimeStart = now;
  Log(".UpdateOptions LogTimeZone:" + std::string(" old=") + FormatLogTime(options.LogTimeFormat, old) +
      " new=" + FormatLogTime(options.LogTimeFormat, now));
}

// ============================== State queries ==============================

void TQVSessionItem::SetExpectedHeader(std::optional<TQVHeader> value) { FExpectedHeader = std::move(value); }
void TQVSessionItem::SetAddedOpenCommands(std::vector<std::string> value) { FAddedOpenCommands = std::move(value); }

TQVSessionStatus TQVSessionItem::Status() const {
  std::lock_guard lock(FStatusLock);
  return FStatus;
}

void TQVSessionItem::UpdateStatus(const std::function<void(TQVSessionStatus&)>& change) {
  std::lock_guard lock(FStatusLock);
  change(FStatus);
}

bool TQVSessionItem::HasDataHeader() const {
  std::lock_guard lock(FStatusLock);
  return FStatus.DataHeader.has_value();
}

TQVHeader TQVSessionItem::DataHeader() const {
  std::lock_guard lock(FStatusLock);
  return FStatus.DataHeader.value_or(TQVHeader());
}

std::string TQVSessionItem::PPIText() const { return StatusField(&TQVSessionStatus::PPIText); }
std::string TQVSessionItem::ScramblerText() const { return StatusField(&TQVSessionStatus::ScramblerText); }
std::string TQVSessionItem::VersionString() const { return StatusField(&TQVSessionStatus::VersionString); }
std::string TQVSessionItem::BufNo7015() const { return StatusField(&TQVSessionStatus::BufNo7015); }
std::string TQVSessionItem::BufNo7000() const { return StatusField(&TQVSessionStatus::BufNo7000); }

bool TQVSessionItem::IsModeAverage() const {
  if (!HasDataHeader()) return false;
  const uint8_t mode = DataHeader().Mode();
  return mode == 1 || mode == 3 || mode == 5;
}

bool TQVSessionItem::IsModeFrequencyEnabled() const {
  if (!HasDataHeader()) return false;
  const uint8_t mode = DataHeader().Mode();
  return mode < 4 || mode == 6;
}

bool TQVSessionItem::IsModePhaseEnabled() const {
  if (!HasDataHeader()) return false;
  const uint8_t mode = DataHeader().Mode();
  return mode < 2 || mode == 6;
}

bool TQVSessionItem::IsModePhaseDiffEnabled() const {
  if (!HasDataHeader()) return false;
  const uint8_t mode = DataHeader().Mode();
  return mode < 2 || (mode >= 4 && mode <= 6);
}

bool TQVSessionItem::IsModeRawDataEnabled() const { return HasDataHeader() && DataHeader().Mode() == 6; }

bool TQVSessionItem::IsModeIVCdiffEnabled() const { return FIVC_DM->ChannelCount() > 1; }

bool TQVSessionItem::GetHasZCT() const {
  const TQVSessionStatus status = Status();
  if (status.IVConly) return false;
  if (status.ZCTonly) return true;
  return FZCT_DM->ChannelCount() > 0;
}

bool TQVSessionItem::GetHasIVC() const {
  const TQVSessionStatus status = Status();
  if (status.ZCTonly) return false;
  if (status.IVConly) return true;
  return FIVC_DM->ChannelCount() > 0;
}

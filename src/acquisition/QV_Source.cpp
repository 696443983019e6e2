#include "acquisition/QV_Source.h"

#include "acquisition/QV_ArchiveItem.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <system_error>
#include <utility>

#include "acquisition/ConnectionKinds.h"
#include "acquisition/IQV_SourceDataServer.h"
#include "acquisition/QV_ArchiveItem.h"
#include "acquisition/QV_CommandAcceptance.h"
#include "acquisition/QV_RemoteLogin.h"
#include "acquisition/QV_SourceResult.h"
#include "core/AppPaths.h"
#include "core/Clock.h"
#include "core/LogUnit.h"
#include "core/QV_NumberText.h"
#include "devices/QV_BaseDevice.h"
#include "devices/QV_FileDevices.h"
#include "devices/QV_Simulator.h"
#include "devices/QV_ReportCodes.h"
#include "protocol/QV_Commands.h"
#include "protocol/QV_Header.h"
#include "protocol/QV_ProcessReport.h"
#include "protocol/QV_Report.h"
#include "protocol/QV_ReportDevice.h"

namespace fs = std::filesystem;

// The open device and its decoder. Commands hold their own reference, so a connection closed while
// a command is on its way is freed only after the command is done. The decoder goes first.
struct TSourceItem::TConnection {
  std::unique_ptr<TQV_BaseDevice> Device;
  std::unique_ptr<TQV_ReportDevice> Decoder;
};

namespace {

bool RegularFileExists(const std::string& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

std::string ExceptionText(const std::exception& e) {
  return "EXCEP(" + ExceptionClassName(e) + ") " + e.what();
}

std::string BigEndianBytes(uint32_t value) {
  return {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
          static_cast<char>(value)};
}

// The first free name "<id>_<kind>", "<id>_2_<kind>", ... in the folder: a recording never
// overwrites an earlier one.
std::string UniqueFileName(const std::string& folder, const std::string& id, const std::string& kind) {
  std::string name = folder + id + "_" + kind;
  for (int n = 2; fs::exists(name); ++n) name = folder + id + "_" + std::to_string(n) + "_" + kind;
  return name;
}

}  // namespace

TSourceItem::TSourceItem(int32_t aMultiId, std::shared_ptr<TEvent> aReceiveEvent, bool aDoResetEvent,
                         TQV_DeviceInfoList* aInfoList)
    : FMultiId(aMultiId),
      FReceiveEvent(std::move(aReceiveEvent)),
      FDoResetEvent(aDoResetEvent),
      FInfoList(aInfoList),
      FLogId(CreateLogger()),
      FLogIdStream(CreateLogger()),
      FLogIdStreamDbg(CreateLogger()),
      FDbgTag("TSourceItem[" + std::to_string(aMultiId) + "]"),
      FOutputPath(TAppPaths::FromEnvironment().DefaultDebugRoot()),
      FSimulatorClock(&SystemClock()) {
  // Devices and decoders write the report stream to the logger after the source's own.
  if (FLogIdStream != FLogId + 1) LogWarn(FLogId, FDbgTag + ".Create: stream logger is not the next logger");
  FState.FLogId = FLogId;
  FState.FDbgTag = FDbgTag;
  FState.Host = this;
  HeaderLines(FLogId, {"QV-DLL Version: " + std::string(MultiDllInfo()) + ", ReportLog=" + BoolText(false) +
                           ", LowLevelLog=" + BoolText(false)});
  HeaderLines(FLogIdStream, {"QV-DLL Version: " + std::string(MultiDllInfo()), "Report stream"});
}

TSourceItem::~TSourceItem() {
  StopSaveReportData();
  CloseConnection();
  LogFileName(FLogId, "", false);
  LogFileName(FLogIdStream, "", false);
}

// ---- Connection ----

TQV_Result TSourceItem::SplitConnectionString(const std::string& s, uint8_t& UserID, std::string& Port,
                                              std::string& Baud) {
  TConnectionString split = ::SplitConnectionString(s, RegularFileExists, FDbgTag);
  WriteSourceLogLines(FLogId, split.Log);
  UserID = split.UserID;
  Port = split.Port;
  Baud = split.Baud;
  std::lock_guard lock(FLock);
  FState.FileDataLoopForEver = split.FileDataLoopForEver;
  const TQV_Result result = split.Result;
  FSplit = std::move(split);
  return result;
}

TQV_Result TSourceItem::Open(const std::string& openString, bool BlockingIO, bool ContextMode, std::string& reply) {
  uint8_t userID = 255;
  std::string port, baud;
  if (SplitConnectionString(openString, userID, port, baud) == QV_Err_BadFormat) {
    reply = InvalidConnectionStringText(openString);
    LogWarn(FLogId, "SplitConnectionString: " + reply);
    return QV_Err_BadFormat;
  }
  LogIt(FLogId, "Multi_OpenConnection_i: UserID=" + std::to_string(userID) + ", Port=" + port + ", Baud=" + baud);
  CloseConnection();
  const TQV_Result result = OpenConnection(userID, port, baud, BlockingIO, ContextMode);
  if (result != QV_No_Err) {
    reply = OpenFailureReply(result, ErrorMessage(), openString);
    LogWarn(FLogId, "Multi_OpenConnection_i: " + reply);
  }
  return result;
}

TQV_Result TSourceItem::OpenConnection(uint8_t UserID, const std::string& Port, const std::string& Baud,
                                       bool BlockingIO, bool ContextMode) {
  std::lock_guard lock(FLock);
  FState.ResetTimestampDataCounter();
  FState.FIVCReceived = false;
  FState.FdasSindMessdaten = false;
  FState.FdasSindGepackteDaten = false;
  FErrorMessage.clear();
  FProcessStringReceived_ASCII.clear();
  try {
    TConnectionString split = FSplit;
    split.UserID = UserID;
    split.Port = Port;
    split.Baud = Baud;
    const TOpenTarget target = ClassifyOpenTarget(split, FindAttachedDevice, RegularFileExists);
    if (target.Result != QV_No_Err) {
      FErrorMessage = target.ErrorMessage;
      return target.Result;
    }
    std::unique_ptr<TQV_BaseDevice> device;
    const TQV_Result result = OpenTarget(target, device);
    if (result != QV_No_Err) return result;
    SetActualDevice(std::move(device));
    FState.ResetPhaseData();
    LogIt(FLogId, FDbgTag + ".OpenConnection END");
    return QV_No_Err;
  } catch (const std::exception& e) {
    LogException(FLogId, FDbgTag + ".OpenConnection failed", e);
    FErrorMessage = "Open connection failed: " + ExceptionText(e);
    return QV_Err_Exception;
  }
}

TQV_Result TSourceItem::OpenTarget(const TOpenTarget& target, std::unique_ptr<TQV_BaseDevice>& device) {
  if (target.IsNone) {
    FErrorMessage = "Connection \"none\" is never opened";
    return QV_DeviceNotFound;
  }
  const TConnectionKind* kind = FindConnectionKind(target.Kind);
  if (!kind || !kind->Available()) {
    // The transports of these kinds join later; the string itself was checked completely.
    FErrorMessage = "Connection kind " + ConnectionKindName(target.Kind) + " is not available yet";
    LogWarn(FLogId, FDbgTag + ".OpenConnection: " + FErrorMessage);
    return QV_System_Err;
  }
  std::string error;
  const TQV_Result made = kind->Open(target,
                                     {FLogId, FMultiId, FReceiveEvent, FDoResetEvent, FSimulatorClock,
                                      FSimulatorWorker, FSplit.FileDataLoopForEver},
                                     device, error);
  if (made != QV_No_Err) {
    FErrorMessage = error;
    return made;
  }
  if (device->OpenPort(error)) return QV_No_Err;
  const TQV_Result result = device->ErrorCode() == QV_No_Err ? QV_DeviceNotFound : device->ErrorCode();
  FErrorMessage = error.empty() ? device->ErrorMessage() : error;
  LogWarn(FLogId, FDbgTag + ".OpenConnection failed " + QV_ResultName(result) + ": " + FErrorMessage);
  device.reset();
  return result;
}

void TSourceItem::SetActualDevice(std::unique_ptr<TQV_BaseDevice> device) {
  LogIt(FLogId, FDbgTag + ".SetActualDevice " + device->ToString());
  device->SetOpt7019(FOpt7019);
  device->SetLowLevelLog(FLowLevelLog);
  device->SetCalibFactorFloatToInt(FState.FCalibFactorFloatToInt);
  auto connection = std::make_shared<TConnection>();
  connection->Device = std::move(device);
  connection->Decoder = std::make_unique<TQV_ReportDevice>(connection->Device.get(), FInfoList);
  connection->Decoder->LogReport = FState.FReportLog;
  // Network-module records carry packed values; the report processing restores them.
  TQV_BaseDevice* raw = connection->Device.get();
  connection->Decoder->SetMeasurementValueDecoder(
      [this, raw](uint16_t header, std::string_view values, TQV_ReportStruct& record) {
        record.SetDoubles(header, values.size() - values.size() % 8, values.data());
        if (raw->PeerType() == ptESP) ProcessESPreport(FState, record);
      });
  FState.Device = raw;
  std::lock_guard lock(FConnLock);
  FActualDevice = std::move(connection);
}

void TSourceItem::CloseConnection() {
  std::lock_guard lock(FLock);
  CloseLocked();
}

void TSourceItem::CloseLocked() {
  TConnectionPtr connection;
  {
    std::lock_guard lock(FConnLock);
    connection = std::move(FActualDevice);
  }
  FState.Device = nullptr;
  FState.PackCount = 0;
  FState.PackedString.clear();
  if (!connection) return;
  LogIt(FLogId, FDbgTag + ".CloseConnection");
  try {
    if (!connection->Device->ClosePort()) LogWarn(FLogId, FDbgTag + ".CloseConnection" + " FActualDevice.Device.ClosePort failed");
  } catch (const std::exception& e) {
    LogException(FLogId, FDbgTag + ".CloseConnection failed", e);
  }
  LogIt(FLogId, FDbgTag + ".SetActualDevice nil");
}

TSourceItem::TConnectionPtr TSourceItem::Connection() const {
  std::lock_guard lock(FConnLock);
  return FActualDevice;
}

bool TSourceItem::IsOpen() const {
  const TConnectionPtr connection = Connection();
  return connection && connection->Device->PortIsOpened();
}

std::string TSourceItem::ErrorMessage() const {
  std::lock_guard lock(FLock);
  return FErrorMessage;
}

// ---- Text reports ----

void TSourceItem::GetReport(TGetReportItem& rItem) {
  std::lock_guard lock(FLock);
  rItem.report.clear();
  rItem.deviceMs = -1;
  const TConnectionPtr connection = Connection();
  rItem.qvRes = ReadText(connection.get(), rItem.report);
  if (connection) rItem.deviceMs = connection->Decoder->DeviceMs();
}

TQV_Result TSourceItem::ReadText(TConnection* connection, std::string& report) {
  if (const std::string appData = TakeAppData(); !appData.empty()) {
    report = "7F40; " + appData;
    LogIt(FLogId, FDbgTag + ".GetReport AppData " + report);
    return QV_No_Err;
  }
  // A kept count-check failure goes out before the next report.
  if (!FProcessStringReceived_ASCII.empty()) {
    report = std::exchange(FProcessStringReceived_ASCII, {});
    return QV_No_Err;
  }
  if (!connection || !connection->Device->PortIsOpened()) return QV_No_Err;
  if (FState.PackCount > 0) {
    ProcessPackedReport(FState, report);
  } else {
    std::string raw;
    TQV_Result result;
    try {
      result = connection->Decoder->DeviceGetReport(raw);
    } catch (const std::exception& e) {
      LogException(FLogId, FDbgTag + ".GetReport ProcessString failed", e);
      report = "ProcessString failed: " + ExceptionText(e);
      return QV_Err_Exception;
    }
    if (result == QV_Err_ReceiveBufferCleared || result == QV_Err_ReceiveBufferOverflow) {
      LogWarn(FLogId, FDbgTag + ".GetReport " + QV_ResultName(result) + ": " + raw);
      return QV_No_Err;
    }
    const TQV_DeviceType type = connection->Device->DevType();
    if (result == QV_No_Err_ASCII || type == QV_TxtFile || type == QV_TCP_Device) {
      // Ready text lines: passed on as they are, counted for the checks.
      report = raw;
      if (result == QV_No_Err_ASCII) result = QV_No_Err;
      else if (result == QV_No_Err && !report.empty()) ProcessTxtReport(FState, report);
    } else {
      result = CloseOnFatal(*connection, result, raw);
      if (result != QV_No_Err || raw.empty()) {
        report = raw;
        return result;
      }
      if (type == QV_Simul) {
        ProcessDemoReport(FState, raw, report);
      } else {
        ProcessBinReport(FState, raw, report);
        Archive(raw);
      }
    }
    if (result != QV_No_Err) return result;
  }
  PaceFile(*connection);
  if (!report.empty()) AfterTextReport(*connection, report);
  return QV_No_Err;
}

TQV_Result TSourceItem::CloseOnFatal(TConnection& connection, TQV_Result result, std::string& text) {
  const auto close = [&](const std::string& reply, const char* reason) {
    text = reply;
    LogWarn(FLogId, FDbgTag + ".GetReport: " + reason);
    CloseLocked();
  };
  switch (result) {
    case QV_WriteError:
      close("No connection to device. Port closed", "Port closed because of WriteError");
      break;
    case QV_DeviceNotConnected:
      if (connection.Device->IsUSBDevice()) {
        text = "No connection to USB device. Please check connector";
        LogWarn(FLogId, FDbgTag + ".GetReport: USB DeviceNotConnectedError -> try again");
      } else {
        close("No connection to device. Port closed", "Port closed because of DeviceNotConnectedError");
      }
      break;
    case QV_HardwareFault: close(text + " Connection closed", "Port closed because of HardwareFault"); break;
    case QV_Err_ServerDown:
      close("No connection to server. Please check if server is running", "PortClosed because of ServerDownError");
      break;
    case QV_Err_Reconnected:
      LogWarn(FLogId, FDbgTag + ".GetReport: Reconnected" + " -> clear IVCData received, reset data/timestamp checks");
      FState.FIVCReceived = false;
      FState.ResetTimestampDataCounter();
      break;
    case QV_Err_Disconnected:
      close("No connection to device. Port closed", "Port closed because of DisconnectedError");
      break;
    default: break;
  }
  return result;
}

void TSourceItem::AfterTextReport(TConnection& connection, const std::string& report) {
  Forward(report);
  WriteReport(report);
  if (report.starts_with("7001")) {
    TakeDeviceVersion(report);
  } else if (report.starts_with("7015;")) {
    KeepCountCheck(FState.CheckDataPerSecondCounter(), ".GetReport - Fehlermeldung aufbewahren: ");
  } else if (report.starts_with("7900;")) {
    FState.FIVCReceived = true;
  } else if (FState.FdasSindMessdaten && connection.Device->PeerType() == ptColdfire) {
    connection.Device->SetZCTChannelCount(static_cast<int32_t>(std::count(report.begin(), report.end(), ';')));
  }
}

void TSourceItem::KeepCountCheck(const std::string& failure, const std::string& logText) {
  if (failure.empty()) return;
  LogIt(FLogId, FDbgTag + logText + failure);
  FProcessStringReceived_ASCII = failure;
}

void TSourceItem::TakeDeviceVersion(const std::string& version) {
  if (version == FDeviceVersion) return;
  FDeviceVersion = version;
  const std::string header = "QV-DLL Version: " + std::string(MultiDllInfo()) + ", ReportLog=" +
                             BoolText(FState.FReportLog) + ", LowLevelLog=" + BoolText(FLowLevelLog);
  HeaderLines(FLogId, {header, version});
  HeaderLines(FLogIdStream, {header, version});
}

void TSourceItem::PaceFile(TConnection& connection) {
  auto* file = dynamic_cast<TQV_FileDeviceItem*>(connection.Device.get());
  if (file && FSplit.FileDataWait && FState.FFirstDataReceived) file->SetWaitMs(GetHeaderMs());
}

void TSourceItem::Forward(const std::string& line) {
  if (FDataServer && !line.empty()) FDataServer->TakeDllData(line);
}

void TSourceItem::Archive(const std::string& record) {
  if (!FArchiveEnabled.load() || !FDataServer) return;
  if (const std::optional<std::string> item = ArchiveItem(record)) FDataServer->ArchiveData(*item);
}

std::string TSourceItem::TakeAppData() { return FDataServer ? FDataServer->GetAppData() : std::string(); }

void TSourceItem::WriteReport(const std::string& line) {
  std::lock_guard lock(FRecordLock);
  if (FReportStream.is_open()) FReportStream << line << "\r\n" << std::flush;
}

// ---- Structured reports ----

bool TSourceItem::HasStructuredReports() const {
  const TConnectionPtr connection = Connection();
  if (!connection) return false;
  return connection->Device->DevType() == QV_Simul || connection->Device->PeerType() == ptESP;
}

void TSourceItem::GetReportStruct(TGetReportItemStruct& rItem) {
  std::lock_guard lock(FLock);
  const TConnectionPtr connection = Connection();
  ReadStruct(connection.get(), rItem.report);
}

TQV_Result TSourceItem::ReadStruct(TConnection* connection, TQV_ReportStruct& record) {
  record.Clear();
  if (const std::string appData = TakeAppData(); !appData.empty()) {
    record.SetMessage(rc_AppData, appData);
    LogIt(FLogId, FDbgTag + ".GetReportStruct AppData " + appData);
    return QV_No_Err;
  }
  if (!FProcessStringReceived_ASCII.empty()) {
    const std::string text = std::exchange(FProcessStringReceived_ASCII, {});
    record.SetMessage(rc_CountFailure, std::string_view(text).substr(std::min<size_t>(text.size(), 6)));
    return QV_No_Err;
  }
  if (!connection || !connection->Device->PortIsOpened()) return QV_No_Err;
  const TQV_DeviceType type = connection->Device->DevType();
  if (type != QV_Simul && connection->Device->PeerType() != ptESP) {
    record.SetError(QV_DLL_internalError, "Structured reports are not available for " + QV_DeviceTypeName(type));
    return QV_DLL_internalError;
  }
  TQV_Result result;
  try {
    result = connection->Decoder->GetReportStruct(record);
  } catch (const std::exception& e) {
    LogException(FLogId, FDbgTag + ".GetReportStruct failed", e);
    record.SetError(QV_Err_Exception, "GetReportStruct failed: " + ExceptionText(e));
    return QV_Err_Exception;
  }
  if (result != QV_No_Err) {
    std::string text = record.GetErrorText();
    result = CloseOnFatal(*connection, result, text);
    record.SetError(result, text);
    return result;
  }
  if (record.GetReportType() == rt_None || record.GetReportType() == rt_Error) return result;
  if (!AfterStructReport(*connection, record)) {
    record.Clear();
    return result;
  }
  if (record.GetHeader() != rc_AppData) {
    std::string line;
    ReportStructToLine(FState, record, line);
    Forward(line);
    WriteReport(line);
  }
  return result;
}

bool TSourceItem::AfterStructReport(TConnection& connection, TQV_ReportStruct& record) {
  const int32_t header = record.GetHeader();
  if ((header & 0x7FFF) < QV_FirstReportCode) {
    FState.FHeader = header;
    FState.FdasSindMessdaten = true;
    FState.FDataHeader = header & 0x7FFF;
    FState.FLastZctHeader = FState.FDataHeader;
    FState.CountMeasurement(".GetReportStruct: FirstDataReceived");
    return true;
  }
  FState.FdasSindMessdaten = false;
  switch (header) {
    case rc_Version: {
      std::string text = record.GetContent();
      if (connection.Device->PeerType() == ptColdfire) {
        const size_t user = text.find("User");
        if (user != std::string::npos) text.resize(std::min(text.size(), user + 5));
      }
      text += " / SW: ";
      text += MultiDllInfo();
      record.SetMessage(rc_Version, text);
      TakeDeviceVersion("7001" + text);
      FIsIVConly = connection.Decoder->IsIVConly();
      return true;
    }
    case rc_Second:
    case rc_TenthSecond: {
      FState.FHeader = header;
      FState.TakeTimestamp(true, ".GetReportStruct: FirstTimestampReceived");
      const bool tenths = header == rc_TenthSecond;
      KeepCountCheck(FState.CheckDataPerSecondCounter(), tenths ? ".GetReportStruct 7016 - Fehlerreport 7F22 aufbewahren: "
                                                                : ".GetReportStruct 7015 - Fehlerreport 7F22 aufbewahren: ");
      if (!tenths) return true;
      FState.FLastZctHeader = rc_TenthSecond;
      const int64_t value = record.GetTimeStamp();
      if (value % 10 == 0) {
        record.SetMessage(rc_Second, BigEndianBytes(static_cast<uint32_t>(value / 10)));
        return true;
      }
      return FState.Fsend7016;
    }
    case rc_IntervalCounter: FState.FIVCReceived = true; return true;
    default: return true;
  }
}

// ---- Commands ----

TQV_Result TSourceItem::SendCommand(std::string& Cmd) {
  const TConnectionPtr connection = Connection();
  if (!connection || !connection->Device->PortIsOpened()) {
    Cmd = "No connection, Command ignored: " + AnsiToHex(Cmd);
    LogWarn(FLogId, FDbgTag + ".SendCommand " + Cmd);
    return QV_DeviceNotConnected;
  }
  try {
    const TQV_BaseDevice& device = *connection->Device;
    TCommandContext context;
    context.ConnectionOpen = true;
    context.PendingCommands = static_cast<uint32_t>(std::max(0, connection->Decoder->GetPendingCmdsCount()));
    context.CmdLimit = FCmdLimit;
    context.PeerType = device.PeerType();
    context.HardFeature = device.HardFeature();
    context.FirmwareVersionNumber = device.FirmwareVersionNumber();
    context.DeviceType = device.DevType();
    context.SerialConnection = device.IsSerialDevice();
    context.CounterChannelCount = device.ZCTChannelCount();
    context.RawDataOption = FOptRawData;
    const TCommandAcceptance acceptance = CheckCommand(Cmd, context, FDbgTag);
    WriteSourceLogLines(FLogId, acceptance.Log);
    if (!acceptance.Accepted) {
      Cmd = acceptance.Command;
      LogWarn(FLogId, FDbgTag + ".SendCommand failed: " + Cmd);
      return acceptance.Result;
    }
    std::string reply;
    const TQV_Result result = connection->Decoder->SendCommand(acceptance.Command, reply);
    Cmd = reply;
    return result;
  } catch (const std::exception& e) {
    LogException(FLogId, FDbgTag + ".SendCommand failed", e);
    Cmd = "Command failed: " + ExceptionText(e);
    return QV_Err_Exception;
  }
}

TQV_Result TSourceItem::RemoteLogin(uint32_t Password, std::string& err) {
  const TConnectionPtr connection = Connection();
  if (!connection || !connection->Device->IsNetworkDevice()) {
    LogIt(FLogId, FDbgTag + ".RemoteLogin ignored, no network connection");
    return QV_No_Err;
  }
  std::string cmd = RemoteLoginCommand(Password, static_cast<uint32_t>(std::rand()));
  const TQV_Result result = SendCommand(cmd);
  if (result != QV_No_Err) err = cmd;
  return result;
}

TQV_Result TSourceItem::RequestConnectedUser() {
  std::string cmd{static_cast<char>(QVCmd::Extended), static_cast<char>(QVCmd::ExReadUsers), '\x01'};
  return SendCommand(cmd);
}

TQV_Result TSourceItem::ResetDevice() {
  const TConnectionPtr connection = Connection();
  const bool esp = connection && connection->Device->PeerType() == ptESP;
  std::string cmd{static_cast<char>(QVCmd::Extended),
                  static_cast<char>(esp ? QVCmd::ExResetESP : QVCmd::ExResetColdfire)};
  return SendCommand(cmd);
}

int32_t TSourceItem::GetPendingCmdsCount() const {
  const TConnectionPtr connection = Connection();
  return connection ? connection->Decoder->GetPendingCmdsCount() : 0;
}

// ---- Count check and decoding state ----

std::string TSourceItem::CheckDataPerSecondCounter() {
  std::lock_guard lock(FLock);
  return FState.CheckDataPerSecondCounter();
}

void TSourceItem::IncTimestampCounter() {
  std::lock_guard lock(FLock);
  FState.IncTimestampCounter();
}

void TSourceItem::ResetTimestampDataCounter() {
  std::lock_guard lock(FLock);
  FState.ResetTimestampDataCounter();
}

// Called by the report processing during a read (FLock held).
void TSourceItem::ReSync() {
  LogIt(FLogId, "TSourceItem.ReSync");
  if (const TConnectionPtr connection = Connection()) connection->Decoder->ReSync();
}

void TSourceItem::TakeIsIVConly() {
  if (const TConnectionPtr connection = Connection()) FIsIVConly = connection->Decoder->IsIVConly();
}

std::string TSourceItem::ServerIPAndPort() const { return {}; }

uint32_t TSourceItem::GetHeaderMs() const {
  if (FState.FDataHeader == QV_NoHeader) return 0;
  const TQVHeader header(static_cast<uint16_t>(FState.FDataHeader));
  return header.IntervalIndexValid() ? TQVHeader::IntervalIndexToMs(header.IntervalIndex()) : 0;
}

// ---- Settings ----

void TSourceItem::SetOptRawData(bool Value) {
  FOptRawData = Value;
  std::lock_guard lock(FLock);
  FState.FOptRawData = Value;
}

void TSourceItem::SetOpt7019(bool Value) {
  std::lock_guard lock(FLock);
  FOpt7019 = Value;
  if (FState.Device) FState.Device->SetOpt7019(Value);
}

void TSourceItem::SetSend7016(bool Value) {
  std::lock_guard lock(FLock);
  FState.Fsend7016 = Value;
}

void TSourceItem::SetDecimalSeparator(char Value) {
  std::lock_guard lock(FLock);
  FState.DecimalSeparator = Value;
}

bool TSourceItem::SetCalibFactorFloatToInt(int32_t Value) {
  std::lock_guard lock(FLock);
  if (Value <= 0) {
    LogWarn(FLogId, FDbgTag + ".SetCalibFactorFloatToInt" + " invalid " + std::to_string(Value));
    return false;
  }
  if (Value != FState.FCalibFactorFloatToInt)
    LogIt(FLogId, FDbgTag + ".SetCalibFactorFloatToInt" + " old=" + std::to_string(FState.FCalibFactorFloatToInt) +
                      ", new=" + std::to_string(Value));
  FState.FCalibFactorFloatToInt = Value;
  if (FState.Device) FState.Device->SetCalibFactorFloatToInt(Value);
  return true;
}

int32_t TSourceItem::GetCalibFactorFloatToInt() const {
  std::lock_guard lock(FLock);
  return FState.FCalibFactorFloatToInt;
}

void TSourceItem::SetLowLevelLog(bool Value) {
  std::lock_guard lock(FLock);
  FLowLevelLog = Value;
  if (FState.Device) FState.Device->SetLowLevelLog(Value);
}

void TSourceItem::SetReportLog(bool Value) {
  std::lock_guard lock(FLock);
  FState.FReportLog = Value;
  if (const TConnectionPtr connection = Connection()) connection->Decoder->LogReport = Value;
}

void TSourceItem::SetIVC(int32_t Value) {
  std::lock_guard lock(FLock);
  FState.FIVC = Value;
}

void TSourceItem::SetCmdLimit(uint32_t Value) { FCmdLimit = Value; }

void TSourceItem::SetSimulatorDriving(const TClock& clock, bool runWorker) {
  std::lock_guard lock(FLock);
  FSimulatorClock = &clock;
  FSimulatorWorker = runWorker;
}

bool TSourceItem::ConfigSimulatorChannel(int32_t k, double base, double stdDev) {
  const TConnectionPtr connection = Connection();
  auto* simulator = connection ? dynamic_cast<TQV_SimulDevice*>(connection->Device.get()) : nullptr;
  if (!simulator) return false;
  simulator->ConfigChannel(k, base, stdDev);
  return true;
}

void TSourceItem::SetDataServer(IQV_SourceDataServer* server) {
  std::lock_guard lock(FLock);
  FDataServer = server;
}

// ---- Device queries ----

bool TSourceItem::WithDevice(const std::function<void(TQV_BaseDevice&, TQV_ReportDevice&)>& use) const {
  const TConnectionPtr connection = Connection();
  if (!connection) return false;
  use(*connection->Device, *connection->Decoder);
  return true;
}

bool TSourceItem::IsFileDevice() const {
  const TConnectionPtr connection = Connection();
  return connection && dynamic_cast<TQV_FileDeviceItem*>(connection->Device.get()) != nullptr;
}

bool TSourceItem::IsRelayed() const {
  const TConnectionPtr connection = Connection();
  if (!connection) return false;
  const TQV_DeviceType type = connection->Device->DevType();
  return type == QV_TCP_Device || type == QV_TCP_Archive;
}

bool TSourceItem::IsPacedFile() const {
  if (!IsFileDevice()) return false;
  std::lock_guard lock(FLock);
  return FSplit.FileDataWait;
}

std::string TSourceItem::DeviceVersion() const {
  std::lock_guard lock(FLock);
  return FDeviceVersion;
}

// ---- Diagnostics and recording ----

std::string TSourceItem::SetOutputPath(const std::string& Path) {
  std::string folder = Path;
  if (!folder.empty() && folder.back() != '/') folder += '/';
  try {
    std::error_code ec;
    fs::create_directories(folder, ec);
    const std::string probe = folder + "test.txt";
    bool ok = !folder.empty() && std::ofstream(probe).good();
    ok = ok && fs::remove(probe, ec);
    if (!ok) {
      LogWarn(FLogId, FDbgTag + ".SetOutputPath: path invalid " + Path);
      return "Invalid path: " + Path;
    }
  } catch (const std::exception& e) {
    LogException(FLogId, FDbgTag + ".SetOutputPath(" + Path + ") failed", e);
    return "Invalid path(" + Path + "): " + e.what();
  }
  std::lock_guard lock(FLock);
  FOutputPath = folder;
  return {};
}

std::string TSourceItem::FileName(const std::string& DbgID, const std::string& kind) const {
  std::lock_guard lock(FLock);
  return FOutputPath + kind + "_" + DbgID + ".txt";
}

std::string TSourceItem::SetDebugLog(bool DbgOn, const std::string& DbgID, bool errorOnly) {
  LogFileName(FLogId, DbgOn ? FileName(DbgID, "QV_Source") : "", errorOnly);
  return ErrorMsg(FLogId);
}

std::string TSourceItem::SetDebugLogStream(bool DbgOn, const std::string& DbgID, bool errorOnly) {
  LogFileName(FLogIdStream, DbgOn ? FileName(DbgID, "QV_Stream") : "", errorOnly);
  return ErrorMsg(FLogIdStream);
}

std::string TSourceItem::GetDebugFilename() const { return GetLogFileName(FLogId); }

void TSourceItem::SetDebugLimit(TLogLimitType LogType, uint32_t aSize) {
  SetLimit(FLogId, LogType, aSize);
  SetLimit(FLogIdStream, LogType, aSize);
}

void TSourceItem::DebugFlags(bool ReportLog, bool LowLevelLog) {
  LogIt(FLogId, "Multi_DebugFlags(" + std::to_string(FMultiId) + "): ReportLog=" + BoolText(ReportLog) +
                    ", LowLevelLog=" + BoolText(LowLevelLog));
  SetReportLog(ReportLog);
  SetLowLevelLog(LowLevelLog);
}

std::string TSourceItem::StartSaveBinaryData(const std::string& DbgID) {
  const TConnectionPtr connection = Connection();
  if (!connection) return "No connection";
  std::string folder;
  {
    std::lock_guard lock(FLock);
    folder = FOutputPath;
  }
  const std::string name = UniqueFileName(folder, DbgID, "QV_RawData.bin");
  if (!connection->Device->StartSaveBinaryData(name)) return "Cannot create " + name;
  return {};
}

void TSourceItem::StopSaveBinaryData() {
  if (const TConnectionPtr connection = Connection()) connection->Device->StopSaveBinaryData();
}

std::string TSourceItem::StartSaveReportData(const std::string& DbgID) {
  std::string folder;
  {
    std::lock_guard lock(FLock);
    folder = FOutputPath;
  }
  std::lock_guard lock(FRecordLock);
  if (FReportStream.is_open()) FReportStream.close();
  const std::string name = UniqueFileName(folder, DbgID, "QV_ReportData.txt");
  FReportStream.open(name, std::ios::binary);
  if (!FReportStream) {
    FReportStream = std::ofstream();
    return "Cannot create " + name;
  }
  LogIt(FLogId, FDbgTag + ".StartSaveReportData " + name);
  return {};
}

void TSourceItem::StopSaveReportData() {
  std::lock_guard lock(FRecordLock);
  if (FReportStream.is_open()) FReportStream.close();
}

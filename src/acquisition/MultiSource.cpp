#include "acquisition/MultiSource.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "acquisition/ConnectionKinds.h"
#include "acquisition/MultiState.h"
#include "acquisition/QV_Source.h"
#include "acquisition/QV_SourceResult.h"
#include "acquisition/SourceHandle.h"
#include "core/NamedEvent.h"
#include "devices/QV_DeviceInfo.h"
#include "protocol/QV_Report.h"

// The procedural interface for outside callers: every function is a source handle's call with
// the texts copied into caller buffers.

namespace {

constexpr int32_t OptionRawData = 4711;
constexpr int32_t Option7019 = 0x7019;

std::string Text(const char* text) { return text ? std::string(text) : std::string(); }
std::string BufferText(const char* buffer) { return std::string(buffer, strnlen(buffer, MultiBufferSize)); }

// The reply's text into the caller's buffer; its code.
int32_t Reply(const TSourceReply& reply, char* buffer) {
  CopyToCallerBuffer(reply.Text, buffer);
  return reply.Code;
}

// A read: a text that did not fit turns success into mrOkTextCut.
int32_t ReadReply(const TSourceReply& reply, char* buffer) {
  return CutResult(static_cast<TMultiResult>(reply.Code), CopyToCallerBuffer(reply.Text, buffer));
}

}  // namespace

// ============================== Source list and options ==============================

int32_t Multi_AddSource(void) {
  TMultiState& state = State();
  std::lock_guard lock(state.Lock);
  const auto id = static_cast<int32_t>(state.Sources.size());
  auto source = std::make_shared<TSourceItem>(id, NamedEvent(state.EventName), state.DoResetEvent, &state.DeviceInfos);
  source->SetOptRawData(state.OptRawData);
  source->SetOpt7019(state.Opt7019);
  state.Sources.push_back(std::move(source));
  return id;
}

void Multi_Init(void) {
  bool empty;
  {
    std::lock_guard lock(State().Lock);
    empty = State().Sources.empty();
  }
  if (empty) Multi_AddSource();
}

void Multi_SetReceiveEvent(const char* eventName, int32_t doResetEvent) {
  std::lock_guard lock(State().Lock);
  const std::string name = Text(eventName);
  State().EventName = name.empty() ? "BaseReceiveEvent" : name;
  State().DoResetEvent = doResetEvent != 0;
}

void Multi_SetOption(int32_t option) {
  if (option != OptionRawData && option != Option7019) return;
  std::vector<std::shared_ptr<TSourceItem>> sources;
  {
    std::lock_guard lock(State().Lock);
    (option == OptionRawData ? State().OptRawData : State().Opt7019) = true;
    sources = State().Sources;
  }
  for (const auto& source : sources) {
    if (option == OptionRawData)
      source->SetOptRawData(true);
    else
      source->SetOpt7019(true);
  }
}

void Multi_Done(void) {
  std::vector<std::shared_ptr<TSourceItem>> sources;
  {
    std::lock_guard lock(State().Lock);
    sources.swap(State().Sources);
  }
  for (const auto& source : sources) source->CloseConnection();
}

// ============================== Interface information ==============================

int32_t Multi_EnumerateDevices(char* buffer, int32_t flags) {
  const std::vector<TAttachedDevice> devices = AttachedDevices();
  std::lock_guard lock(State().Lock);
  State().LastError.clear();
  if (CopyToCallerBuffer(DeviceListText(devices), buffer)) State().LastError = "Buffer too small";
  return static_cast<int32_t>(devices.size());
}

int32_t Multi_GetLastError(char* buffer) {
  std::lock_guard lock(State().Lock);
  CopyToCallerBuffer(State().LastError, buffer);
  return State().LastError.empty() ? 0 : 1;
}

int32_t Multi_GetDllInfo(char* buffer) {
  CopyToCallerBuffer(MultiDllInfo(), buffer);
  return mrOk;
}

// ============================== Connection ==============================

int32_t Multi_OpenConnectionEx(int32_t id, char* buffer, int32_t blockingIO, int32_t contextMode) {
  if (!buffer) return mrError;
  return Reply(TSourceHandle(id).Open(BufferText(buffer), blockingIO != 0, contextMode != 0), buffer);
}

int32_t Multi_CloseConnection(int32_t id) { return TSourceHandle(id).Close(); }
int32_t Multi_IsOpen(int32_t id) { return TSourceHandle(id).IsOpen() ? 1 : 0; }

// ============================== Reports ==============================

int32_t Multi_GetReportEx(int32_t id, char* buffer, int64_t* deviceMs) {
  return ReadReply(TSourceHandle(id).GetReport(deviceMs), buffer);
}

int32_t Multi_GetReportStruct(TQV_ReportStruct& record, int32_t id) { return TSourceHandle(id).GetReportStruct(record); }

int32_t Multi_GetReportStruct(void* record, int32_t id) {
  TQV_ReportStruct report;
  const int32_t code = Multi_GetReportStruct(report, id);
  if (record) std::memcpy(record, report.Buffer(), MULTI_REPORT_RECORD_SIZE);
  return code;
}

// ============================== Commands ==============================

int32_t Multi_SendCommand(int32_t id, char* buffer, int32_t length) {
  if (!buffer) return mrError;
  // Never read beyond the caller's buffer: a longer length is refused by the length rule anyway.
  const size_t size = length < 0 ? 0 : std::min<size_t>(static_cast<size_t>(length), MultiBufferSize);
  return Reply(TSourceHandle(id).SendCommand(std::string(buffer, size)), buffer);
}

int32_t Multi_GetPendingCmdsCount(int32_t id) { return TSourceHandle(id).PendingCmdsCount(); }
int32_t Multi_RequestConnectedUser(int32_t id) { return TSourceHandle(id).RequestConnectedUser(); }
int32_t Multi_ResetDevice(int32_t id) { return TSourceHandle(id).ResetDevice(); }
int32_t Multi_RemoteLogin(int32_t id, uint32_t password, char* buffer) {
  return Reply(TSourceHandle(id).RemoteLogin(password), buffer);
}

// ============================== Settings ==============================

int32_t Multi_SetDecimalSeparator(int32_t id, char separator) { return TSourceHandle(id).SetDecimalSeparator(separator); }
int32_t Multi_SetSend7016(int32_t id, int32_t flag) { return TSourceHandle(id).SetSend7016(flag != 0); }
int32_t Multi_SetCalibFactorFloatToInt(int32_t id, int32_t value) {
  return TSourceHandle(id).SetCalibFactorFloatToInt(value);
}
int32_t Multi_GetCalibFactorFloatToInt(int32_t id) { return TSourceHandle(id).CalibFactorFloatToInt(); }
int32_t Multi_SetCalibrationData(int32_t id, const char* text) { return TSourceHandle(id).SetCalibrationData(Text(text)); }
int32_t Multi_ReadHRQData(int32_t id) { return TSourceHandle(id).ReadHRQData(); }
int32_t Multi_SetHRQData(int32_t id, const char* text) { return TSourceHandle(id).SetHRQData(Text(text)); }
int32_t Multi_ConfigSimulatorChannel(int32_t id, int32_t channel, double base, double stdDev) {
  return TSourceHandle(id).ConfigSimulatorChannel(channel, base, stdDev);
}

// ============================== Device queries ==============================

uint32_t Multi_GetBufferAmount(int32_t id) { return TSourceHandle(id).BufferAmount(); }

int32_t Multi_GetBufferAmounts(int32_t id, uint32_t* amount, uint32_t* highAmount) {
  uint32_t a = 0, high = 0;
  const int32_t code = TSourceHandle(id).BufferAmounts(a, high);
  if (amount) *amount = a;
  if (highAmount) *highAmount = high;
  return code;
}

uint32_t Multi_GetTransmitBufferAmount(int32_t id) { return TSourceHandle(id).TransmitBufferAmount(); }
int32_t Multi_GetUserID(int32_t id) { return TSourceHandle(id).UserID(); }
uint32_t Multi_GetHardFeature(int32_t id) { return TSourceHandle(id).HardFeature(); }
int32_t Multi_GetFirmwareVersion(int32_t id) { return TSourceHandle(id).FirmwareVersion(); }
uint32_t Multi_GetSerialNumber(int32_t id) { return TSourceHandle(id).SerialNumber(); }
int32_t Multi_GetDeviceStartState(int32_t id) { return TSourceHandle(id).DeviceStartState(); }
int32_t Multi_IsFileDevice(int32_t id) { return TSourceHandle(id).IsFileDevice() ? 1 : 0; }

int32_t Multi_GetToolsData(int32_t id, char* buffer) {
  const std::string data = TSourceHandle(id).ToolsData();
  CopyToCallerBuffer(data, buffer);
  return static_cast<int32_t>(std::min(data.size(), MultiBufferSize - 1));
}

int32_t Multi_GetToolsDataString(int32_t id, char* buffer) {
  return ReadReply({mrOk, TSourceHandle(id).ToolsDataString()}, buffer);
}

// ============================== Diagnostics and recording ==============================

int32_t Multi_SetOutputPath(int32_t id, char* buffer) {
  if (!buffer) return mrError;
  return Reply(TSourceHandle(id).SetOutputPath(BufferText(buffer)), buffer);
}

int32_t Multi_SetDebugLog(int32_t id, int32_t on, const char* fileId, int32_t errorOnly, char* buffer) {
  return Reply(TSourceHandle(id).SetDebugLog(on != 0, Text(fileId), errorOnly != 0), buffer);
}

int32_t Multi_SetDebugLogStream(int32_t id, int32_t on, const char* fileId, int32_t errorOnly, char* buffer) {
  return Reply(TSourceHandle(id).SetDebugLogStream(on != 0, Text(fileId), errorOnly != 0), buffer);
}

int32_t Multi_GetDebugFilename(int32_t id, char* buffer) { return ReadReply(TSourceHandle(id).DebugFilename(), buffer); }

int32_t Multi_SetDebugLimit(int32_t id, int32_t limitType, uint32_t size) {
  if (limitType < logUnlimited || limitType > logCreateNew) return mrError;
  return TSourceHandle(id).SetDebugLimit(static_cast<TLogLimitType>(limitType), size);
}

int32_t Multi_DebugFlags(int32_t id, int32_t reportLog, int32_t lowLevelLog) {
  return TSourceHandle(id).DebugFlags(reportLog != 0, lowLevelLog != 0);
}

int32_t Multi_StartSaveBinaryData(int32_t id, const char* fileId, char* buffer) {
  return Reply(TSourceHandle(id).StartSaveBinaryData(Text(fileId)), buffer);
}
int32_t Multi_StopSaveBinaryData(int32_t id) { return TSourceHandle(id).StopSaveBinaryData(); }
int32_t Multi_StartSaveReportData(int32_t id, const char* fileId, char* buffer) {
  return Reply(TSourceHandle(id).StartSaveReportData(Text(fileId)), buffer);
}
int32_t Multi_StopSaveReportData(int32_t id) { return TSourceHandle(id).StopSaveReportData(); }

// ============================== Local TCP data server ==============================

int32_t Multi_StartTcpServer(int32_t id, int32_t* port) {
  int32_t chosen = port ? *port : 0;
  const int32_t code = TSourceHandle(id).StartTcpServer(chosen).Code;
  if (port) *port = chosen;
  return code;
}
int32_t Multi_StopTcpServer(int32_t id) { return TSourceHandle(id).StopTcpServer(); }
int32_t Multi_GetTcpServerError(int32_t id, char* buffer) { return Reply(TSourceHandle(id).TcpServerError(), buffer); }
int32_t Multi_GetTcpServerDataPort(int32_t id) { return TSourceHandle(id).TcpServerDataPort(); }
int32_t Multi_GetTcpServerIPAndPort(int32_t id, char* buffer) {
  return Reply(TSourceHandle(id).TcpServerIPAndPort(), buffer);
}
int32_t Multi_GetTcpServerClientsRemainingDataCounts(int32_t id, char* buffer) {
  return Reply(TSourceHandle(id).TcpServerClientsRemainingDataCounts(), buffer);
}
int32_t Multi_TcpReportLog(int32_t id, const char* data, int32_t logType) {
  return TSourceHandle(id).TcpReportLog(Text(data), logType);
}
int32_t Multi_SetTcpAppDataCallback(int32_t id, void (*callback)(int32_t, const char*)) {
  return TSourceHandle(id).SetTcpAppDataCallback(callback);
}

// ============================== In-program accessors ==============================

TSourceItem* Multi_GetSource(int32_t id) { return FindSource(id).get(); }

std::optional<TQV_DeviceInfo> Multi_GetDeviceInfo(uint32_t serialNumber) {
  return State().DeviceInfos.GetInfo(serialNumber);
}

bool Multi_HasStructuredReports(int32_t id) { return TSourceHandle(id).HasStructuredReports(); }

std::vector<uint32_t> Multi_DeviceSerialNumbers() { return State().DeviceInfos.SerialNumbers(); }

bool Multi_UpdateDeviceInfo(uint32_t serialNumber, const std::function<void(TQV_DeviceInfo&)>& change) {
  return State().DeviceInfos.Update(serialNumber, change);
}

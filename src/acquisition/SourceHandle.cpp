#include "acquisition/SourceHandle.h"

#include <exception>
#include <functional>
#include <memory>

#include "acquisition/MultiState.h"
#include "acquisition/QV_CommandAcceptance.h"
#include "devices/QV_BaseDevice.h"
#include "protocol/QV_Report.h"
#include "protocol/QV_ReportDevice.h"

namespace {

// A small number per thread for the orders (the thread that places an order serves it).
uint32_t CurrentThreadId() {
  static std::atomic<uint32_t> next{0};
  thread_local const uint32_t id = ++next;
  return id;
}

// Calls `use` with the source outside the list's lock (the source guards itself), or gives
// `unknown` for an id outside the list.
template <class R, class F>
R WithSource(int32_t id, R unknown, F use) {
  const std::shared_ptr<TSourceItem> source = FindSource(id);
  if (!source) return unknown;
  return use(*source);
}

// Like WithSource, with the open device and its decoder; `closed` without a connection.
template <class R, class F>
R WithDevice(int32_t id, R unknown, R closed, F use) {
  return WithSource(id, unknown, [&](TSourceItem& source) {
    R result = closed;
    source.WithDevice([&](TQV_BaseDevice& device, TQV_ReportDevice& decoder) { result = use(device, decoder); });
    return result;
  });
}

TSourceReply Unknown(int32_t id) { return {mrUnknownSource, SourceNotFoundText(id)}; }

// "" means success; a reason is an error.
TSourceReply Reason(std::string reason) {
  return {reason.empty() ? int32_t{mrOk} : int32_t{mrError}, std::move(reason)};
}

struct TOrderTexts {
  std::string Full;
  const char* Running;
  const char* ServeException;
  const char* IgnoreException;
  const char* CollectException;
};

// Places an order for the source, serves it on this thread outside the lock and collects it under
// the lock again. `finish` runs under the lock: with the served item, or with none (and the code
// and text of what happened instead).
template <class TItem, class R>
R RunOrder(TOrderTable<TItem> TMultiState::*tableOf, const TOrderTexts& texts, int32_t id,
           const std::function<void(TSourceItem&, TItem&)>& serve,
           const std::function<R(const TItem*, int32_t code, const std::string& text)>& finish) {
  TMultiState& state = State();
  std::shared_ptr<TSourceItem> source;
  TItem* item = nullptr;
  int slot = -1;
  int count = 0;
  {
    std::lock_guard lock(state.Lock);
    TOrderTable<TItem>& table = state.*tableOf;
    table.FreeCollected();
    source = FindLocked(id);
    if (!source) return finish(nullptr, mrUnknownSource, SourceNotFoundText(id));
    if (table.Count >= CmaxOrder) {
      LogWarn(source->LogId(), texts.Full);
      return finish(nullptr, mrOk, {});
    }
    if (table.HasOrderFor(id)) {
      LogWarn(source->LogId(), texts.Running);
      return finish(nullptr, mrOk, {});
    }
    auto order = std::make_unique<TItem>();
    order->ThreadId = CurrentThreadId();
    order->Source = source.get();
    order->MultiId = id;
    order->state = grs_Serving;
    item = order.get();
    slot = table.Place(std::move(order));
    count = table.Count;
  }
  int32_t code = mrOk;
  std::string text;
  try {
    serve(*source, *item);
  } catch (const std::exception& e) {
    if (source->IsOpen()) {
      LogException(source->LogId(), texts.ServeException + std::to_string(slot) + ", count=" + std::to_string(count), e);
      code = mrException;
      text = "EXCEP(" + ExceptionClassName(e) + ") " + e.what();
    } else {
      LogWarn(source->LogId(), texts.IgnoreException + ExceptionClassName(e) + " " + e.what());
    }
  }
  std::lock_guard lock(state.Lock);
  item->state = grs_Done;
  try {
    R result = code == mrOk ? finish(item, code, text) : finish(nullptr, code, text);
    item->state = grs_Collected;
    return result;
  } catch (const std::exception& e) {
    item->state = grs_Collected;
    LogException(source->LogId(), texts.CollectException, e);
    return finish(nullptr, mrException, "EXCEP(" + ExceptionClassName(e) + ") " + e.what());
  }
}

const TOrderTexts& TextOrderTexts() {
  static const TOrderTexts texts{"GetReportEx OrderCount = CmaxOrder " + std::to_string(CmaxOrder),
                                 "GetReportEx is running yet", "Multi_GetReportEx Exception bei GetReport: i=",
                                 "Multi_GetReportEx ignore exception(connection closed): ",
                                 "Multi_GetReport Exception bei Ergebnis-Rückgabe"};
  return texts;
}

const TOrderTexts& StructOrderTexts() {
  static const TOrderTexts texts{"Multi_GetReportStruct OrderCount=CmaxOrder=" + std::to_string(CmaxOrder),
                                 "Multi_GetReportStruct is running yet",
                                 "Multi_GetReportStruct Exception bei GetReportStruct: i=",
                                 "Multi_GetReportStruct ignore exception(connection closed): ",
                                 "Multi_GetReportStruct Exception bei Ergebnis-Rückgabe"};
  return texts;
}

// The source's local data server; with `create` made (and attached to the source) on first use.
std::shared_ptr<TQV_TcpServer> TcpServerOf(int32_t id, bool create) {
  std::shared_ptr<TSourceItem> source;
  std::shared_ptr<TQV_TcpServer> server;
  {
    TMultiState& state = State();
    std::lock_guard lock(state.Lock);
    source = FindLocked(id);
    if (!source) return nullptr;
    if (const auto it = state.TcpServers.find(id); it != state.TcpServers.end()) return it->second;
    if (!create) return nullptr;
    server = std::make_shared<TQV_TcpServer>(source->LogId(), SystemClock(), state.ArchiveStoreFactory);
    state.TcpServers.emplace(id, server);
  }
  // Attached outside the list's lock: the source takes its own lock for it.
  source->SetDataServer(server.get());
  return server;
}

// Runs `use` on a running server: mrOk, mrUnknownSource, or mrError when none runs.
template <class F>
int32_t WithTcpServer(int32_t id, F use) {
  if (!FindSource(id)) return mrUnknownSource;
  const std::shared_ptr<TQV_TcpServer> server = TcpServerOf(id, false);
  if (!server || !server->IsRunning()) return mrError;
  use(*server);
  return mrOk;
}

}  // namespace

// ---------------------------------------------------------------- connection

TSourceReply TSourceHandle::Open(const std::string& openString, bool blockingIO, bool contextMode) const {
  return WithSource(FId, Unknown(FId), [&](TSourceItem& source) {
    std::string reply;
    if (source.Open(openString, blockingIO, contextMode, reply) != QV_No_Err) {
      LogWarn(source.LogId(), "Multi_OpenConnectionEx(" + std::to_string(FId) + "): " + reply);
      return TSourceReply{mrError, reply};
    }
    source.WithDevice([](TQV_BaseDevice& device, TQV_ReportDevice&) {
      if (auto info = device.GetDeviceInfo()) State().DeviceInfos.AddInfo(std::move(info));
    });
    return TSourceReply{};
  });
}

int32_t TSourceHandle::Close() const {
  return WithSource(FId, int32_t{mrUnknownSource}, [&](TSourceItem& source) {
    LogIt(source.LogId(), "Multi_CloseConnection(" + std::to_string(FId) + ")");
    source.CloseConnection();
    return int32_t{mrOk};
  });
}

bool TSourceHandle::IsOpen() const {
  return WithSource(FId, false, [](TSourceItem& source) { return source.IsOpen(); });
}

bool TSourceHandle::IsFileDevice() const {
  return WithSource(FId, false, [](TSourceItem& source) { return source.IsFileDevice(); });
}

bool TSourceHandle::HasStructuredReports() const {
  return WithSource(FId, false, [](TSourceItem& source) { return source.HasStructuredReports(); });
}

// ---------------------------------------------------------------- reports

TSourceReply TSourceHandle::GetReport(int64_t* deviceMs) const {
  if (deviceMs) *deviceMs = -1;
  return RunOrder<TGetReportItem, TSourceReply>(
      &TMultiState::Orders, TextOrderTexts(), FId,
      [](TSourceItem& source, TGetReportItem& item) { source.GetReport(item); },
      [&](const TGetReportItem* item, int32_t code, const std::string& text) {
        if (!item) return TSourceReply{code, text};
        if (deviceMs) *deviceMs = item->deviceMs;
        return TSourceReply{MultiResultFromQV(item->qvRes), item->report};
      });
}

int32_t TSourceHandle::GetReportStruct(TQV_ReportStruct& record) const {
  return RunOrder<TGetReportItemStruct, int32_t>(
      &TMultiState::OrdersStruct, StructOrderTexts(), FId,
      [](TSourceItem& source, TGetReportItemStruct& item) { source.GetReportStruct(item); },
      [&](const TGetReportItemStruct* item, int32_t code, const std::string& text) -> int32_t {
        if (item) {
          record = item->report;
          return MultiResultFromQV(record.GetErrorCode());
        }
        record.Clear();
        if (code == mrUnknownSource) record.SetError(QV_Err_SourceNotFound, text);
        if (code == mrException) record.SetError(QV_Err_Exception, text);
        return code;
      });
}

// ---------------------------------------------------------------- commands

TSourceReply TSourceHandle::SendCommand(const std::string& command) const {
  return WithSource(FId, Unknown(FId), [&](TSourceItem& source) {
    if (const auto refusal = CheckCommandLength(command)) {
      LogWarn(source.LogId(), source.DbgTag() + ".SendCommand failed: " + *refusal);
      return TSourceReply{mrUnknownSource, *refusal};
    }
    std::string cmd = command;
    const TQV_Result result = source.SendCommand(cmd);
    return TSourceReply{MultiResultFromQV(result), cmd};
  });
}

int32_t TSourceHandle::PendingCmdsCount() const {
  return WithSource(FId, 0, [](TSourceItem& source) { return source.GetPendingCmdsCount(); });
}

int32_t TSourceHandle::RequestConnectedUser() const {
  return WithSource(FId, int32_t{mrUnknownSource},
                    [](TSourceItem& source) { return int32_t{MultiResultFromQV(source.RequestConnectedUser())}; });
}

int32_t TSourceHandle::ResetDevice() const {
  return WithSource(FId, int32_t{mrUnknownSource},
                    [](TSourceItem& source) { return int32_t{MultiResultFromQV(source.ResetDevice())}; });
}

TSourceReply TSourceHandle::RemoteLogin(uint32_t password) const {
  return WithSource(FId, Unknown(FId), [&](TSourceItem& source) {
    std::string reason;
    const TQV_Result result = source.RemoteLogin(password, reason);
    return TSourceReply{MultiResultFromQV(result), reason};
  });
}

// ---------------------------------------------------------------- settings

int32_t TSourceHandle::SetDecimalSeparator(char separator) const {
  return WithSource(FId, int32_t{mrUnknownSource}, [&](TSourceItem& source) {
    source.SetDecimalSeparator(separator);
    return int32_t{mrOk};
  });
}

int32_t TSourceHandle::SetSend7016(bool flag) const {
  return WithSource(FId, int32_t{mrUnknownSource}, [&](TSourceItem& source) {
    source.SetSend7016(flag);
    return int32_t{mrOk};
  });
}

int32_t TSourceHandle::SetCalibFactorFloatToInt(int32_t value) const {
  return WithSource(FId, int32_t{mrUnknownSource}, [&](TSourceItem& source) {
    return int32_t{source.SetCalibFactorFloatToInt(value) ? mrOk : mrError};
  });
}

int32_t TSourceHandle::CalibFactorFloatToInt() const {
  return WithSource(FId, 0, [](TSourceItem& source) { return source.GetCalibFactorFloatToInt(); });
}

int32_t TSourceHandle::SetCalibrationData(const std::string& text) const {
  return WithDevice(FId, int32_t{mrUnknownSource}, int32_t{mrUnknownSource},
                    [&](TQV_BaseDevice& device, TQV_ReportDevice&) {
                      const int32_t firmware = device.FirmwareVersionNumber();
                      if (device.DevType() == QV_Simul || device.IsSerialDevice() ||
                          (device.PeerType() == ptColdfire && firmware < 62) ||
                          (device.PeerType() == ptESP && firmware < 109))
                        return int32_t{mrNotSupported};
                      return int32_t{device.SetCalibrationDataString(text) ? mrOk : mrError};
                    });
}

int32_t TSourceHandle::ReadHRQData() const {
  return WithDevice(FId, int32_t{mrUnknownSource}, int32_t{mrUnknownSource},
                    [&](TQV_BaseDevice& device, TQV_ReportDevice& decoder) {
                      const int32_t firmware = device.FirmwareVersionNumber();
                      if ((device.PeerType() == ptColdfire && firmware < 67) ||
                          (device.PeerType() == ptESP && firmware < 109))
                        return int32_t{mrNotSupported};
                      return int32_t{device.ReadHRQData(&decoder) ? mrOk : mrError};
                    });
}

int32_t TSourceHandle::SetHRQData(const std::string& text) const {
  return WithDevice(FId, int32_t{mrUnknownSource}, int32_t{mrUnknownSource},
                    [&](TQV_BaseDevice& device, TQV_ReportDevice&) {
                      return int32_t{device.SetHRQDataString(text) ? mrOk : mrError};
                    });
}

int32_t TSourceHandle::ConfigSimulatorChannel(int32_t channel, double base, double stdDev) const {
  return WithSource(FId, int32_t{mrUnknownSource}, [&](TSourceItem& source) {
    return int32_t{source.ConfigSimulatorChannel(channel, base, stdDev) ? mrOk : mrNotSupported};
  });
}

// ---------------------------------------------------------------- device queries

uint32_t TSourceHandle::BufferAmount() const {
  return WithDevice(FId, 0u, 0u, [](TQV_BaseDevice& device, TQV_ReportDevice&) { return device.BufferAmount(); });
}

int32_t TSourceHandle::BufferAmounts(uint32_t& amount, uint32_t& highAmount) const {
  amount = highAmount = 0;
  return WithDevice(FId, int32_t{mrUnknownSource}, int32_t{mrOk}, [&](TQV_BaseDevice& device, TQV_ReportDevice&) {
    device.GetBufferAmounts(amount, highAmount);
    return int32_t{mrOk};
  });
}

uint32_t TSourceHandle::TransmitBufferAmount() const {
  return WithDevice(FId, 0u, 0u, [](TQV_BaseDevice&, TQV_ReportDevice& decoder) {
    return static_cast<uint32_t>(std::max(0, decoder.GetPendingCmdsCount()));
  });
}

int32_t TSourceHandle::UserID() const {
  return WithDevice(FId, 255, 255, [](TQV_BaseDevice& device, TQV_ReportDevice&) { return int32_t{device.UserID()}; });
}

uint32_t TSourceHandle::HardFeature() const {
  return WithDevice(FId, 0u, 0u,
                    [](TQV_BaseDevice& device, TQV_ReportDevice&) { return uint32_t{device.HardFeature()}; });
}

int32_t TSourceHandle::FirmwareVersion() const {
  return WithDevice(FId, 0, 0, [](TQV_BaseDevice& device, TQV_ReportDevice&) { return device.FirmwareVersionNumber(); });
}

uint32_t TSourceHandle::SerialNumber() const {
  return WithDevice(FId, TQV_BaseDevice::UnknownSerialNumber, TQV_BaseDevice::UnknownSerialNumber,
                    [](TQV_BaseDevice& device, TQV_ReportDevice&) { return device.SerialNumberValue(); });
}

int32_t TSourceHandle::DeviceStartState() const {
  return WithDevice(FId, 0, 0, [](TQV_BaseDevice& device, TQV_ReportDevice&) {
    return static_cast<int32_t>(device.DeviceStartState());
  });
}

std::string TSourceHandle::ToolsData() const {
  return WithDevice(FId, std::string(), std::string(),
                    [](TQV_BaseDevice& device, TQV_ReportDevice&) { return device.ToolsReadAll(); });
}

std::string TSourceHandle::ToolsDataString() const {
  return WithDevice(FId, std::string(), std::string(),
                    [](TQV_BaseDevice& device, TQV_ReportDevice&) { return device.ToolsReadAllAnsi(); });
}

// ---------------------------------------------------------------- diagnostics and recording

TSourceReply TSourceHandle::SetOutputPath(const std::string& path) const {
  return WithSource(FId, Unknown(FId), [&](TSourceItem& source) { return Reason(source.SetOutputPath(path)); });
}

TSourceReply TSourceHandle::SetDebugLog(bool on, const std::string& fileId, bool errorOnly) const {
  return WithSource(FId, Unknown(FId),
                    [&](TSourceItem& source) { return Reason(source.SetDebugLog(on, fileId, errorOnly)); });
}

TSourceReply TSourceHandle::SetDebugLogStream(bool on, const std::string& fileId, bool errorOnly) const {
  return WithSource(FId, Unknown(FId),
                    [&](TSourceItem& source) { return Reason(source.SetDebugLogStream(on, fileId, errorOnly)); });
}

TSourceReply TSourceHandle::DebugFilename() const {
  return WithSource(FId, Unknown(FId), [](TSourceItem& source) { return TSourceReply{mrOk, source.GetDebugFilename()}; });
}

int32_t TSourceHandle::SetDebugLimit(TLogLimitType limitType, uint32_t size) const {
  return WithSource(FId, int32_t{mrUnknownSource}, [&](TSourceItem& source) {
    source.SetDebugLimit(limitType, size);
    return int32_t{mrOk};
  });
}

int32_t TSourceHandle::DebugFlags(bool reportLog, bool lowLevelLog) const {
  return WithSource(FId, int32_t{mrUnknownSource}, [&](TSourceItem& source) {
    source.DebugFlags(reportLog, lowLevelLog);
    return int32_t{mrOk};
  });
}

TSourceReply TSourceHandle::StartSaveBinaryData(const std::string& fileId) const {
  return WithSource(FId, Unknown(FId), [&](TSourceItem& source) { return Reason(source.StartSaveBinaryData(fileId)); });
}

int32_t TSourceHandle::StopSaveBinaryData() const {
  return WithSource(FId, int32_t{mrUnknownSource}, [](TSourceItem& source) {
    source.StopSaveBinaryData();
    return int32_t{mrOk};
  });
}

TSourceReply TSourceHandle::StartSaveReportData(const std::string& fileId) const {
  return WithSource(FId, Unknown(FId), [&](TSourceItem& source) { return Reason(source.StartSaveReportData(fileId)); });
}

int32_t TSourceHandle::StopSaveReportData() const {
  return WithSource(FId, int32_t{mrUnknownSource}, [](TSourceItem& source) {
    source.StopSaveReportData();
    return int32_t{mrOk};
  });
}

// ---------------------------------------------------------------- local TCP data server

void SetTcpArchiveStoreFactory(TArchiveStoreFactory factory) {
  std::lock_guard lock(State().Lock);
  State().ArchiveStoreFactory = std::move(factory);
}

int32_t TSourceHandle::SetTcpServerOptions(const TTcpServerOptions& options) const {
  const std::shared_ptr<TQV_TcpServer> server = TcpServerOf(FId, true);
  if (!server) return mrUnknownSource;
  server->SetOptions(options);
  return mrOk;
}

TSourceReply TSourceHandle::StartTcpServer(int32_t& port) const {
  const std::shared_ptr<TQV_TcpServer> server = TcpServerOf(FId, true);
  if (!server) return Unknown(FId);
  if (port < 0 || port > 65535 || !server->StartServer(static_cast<uint16_t>(port)))
    return {mrError, port < 0 || port > 65535 ? "Invalid port: " + std::to_string(port) : server->ErrorMessage()};
  port = server->Port();
  return {};
}

int32_t TSourceHandle::EnableArchive(bool value) const {
  const std::shared_ptr<TSourceItem> source = FindSource(FId);
  const std::shared_ptr<TQV_TcpServer> server = TcpServerOf(FId, true);
  if (!source || !server) return mrUnknownSource;
  server->SetStorageEnabled(value);
  source->SetArchiveEnabled(value);
  return mrOk;
}

TSourceReply TSourceHandle::SetArchivePath(const std::string& path) const {
  const std::shared_ptr<TQV_TcpServer> server = TcpServerOf(FId, true);
  if (!server) return Unknown(FId);
  const std::string refusal = server->SetStorageRoot(path);
  return refusal.empty() ? TSourceReply{} : TSourceReply{mrError, refusal};
}

int32_t TSourceHandle::StopTcpServer() const {
  if (!FindSource(FId)) return mrUnknownSource;
  const std::shared_ptr<TQV_TcpServer> server = TcpServerOf(FId, false);
  return !server || server->StopServer() ? mrOk : mrError;
}

TSourceReply TSourceHandle::TcpServerError() const {
  if (!FindSource(FId)) return Unknown(FId);
  const std::shared_ptr<TQV_TcpServer> server = TcpServerOf(FId, false);
  return {mrOk, server ? server->ErrorMessage() : std::string()};
}

int32_t TSourceHandle::TcpServerDataPort() const {
  const std::shared_ptr<TQV_TcpServer> server = TcpServerOf(FId, false);
  return server && server->IsRunning() ? server->Port() : 0;
}

TSourceReply TSourceHandle::TcpServerIPAndPort() const {
  if (!FindSource(FId)) return Unknown(FId);
  const std::shared_ptr<TQV_TcpServer> server = TcpServerOf(FId, false);
  if (!server || !server->IsRunning()) return {mrError, "Local TCP data server is not running"};
  return {mrOk, server->ListenAddress() + ":" + std::to_string(server->Port())};
}

TSourceReply TSourceHandle::TcpServerClientsRemainingDataCounts() const {
  if (!FindSource(FId)) return Unknown(FId);
  const std::shared_ptr<TQV_TcpServer> server = TcpServerOf(FId, false);
  return {mrOk, server ? server->GetClientsRemainingDataCount() : std::string()};
}

int32_t TSourceHandle::TcpServerClientCount() const {
  const std::shared_ptr<TQV_TcpServer> server = TcpServerOf(FId, false);
  return server ? server->GetClientCount() : 0;
}

int32_t TSourceHandle::TcpReportLog(const std::string& data, int32_t logType) const {
  return WithTcpServer(FId, [&](TQV_TcpServer& server) { server.TakeLogData(data, logType); });
}

int32_t TSourceHandle::TcpSaveLogData(const std::string& data, int32_t logType, int32_t code, int32_t subCode) const {
  return WithTcpServer(FId, [&](TQV_TcpServer& server) { server.SaveLogData(data, logType, code, subCode); });
}

int32_t TSourceHandle::TcpClearLogData(int32_t logType, int32_t code, int32_t subCode) const {
  return WithTcpServer(FId, [&](TQV_TcpServer& server) { server.ClearLogData(logType, code, subCode); });
}

int32_t TSourceHandle::SetTcpAppDataCallback(void (*callback)(int32_t id, const char* data)) const {
  const int32_t id = FId;
  return WithTcpServer(FId, [&](TQV_TcpServer& server) {
    if (!callback) return server.SetOnAppData({});
    server.SetOnAppData([callback, id](const std::string& command, std::string& response) {
      callback(id, command.c_str());
      response = "OK";
      return true;
    });
  });
}

#include "acquisition/MultiSource.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "acquisition/QV_CommandAcceptance.h"
#include "acquisition/QV_Source.h"
#include "acquisition/QV_SourceResult.h"
#include "core/LogUnit.h"
#include "core/NamedEvent.h"
#include "devices/QV_BaseDevice.h"
#include "devices/QV_DeviceInfo.h"
#include "protocol/QV_Report.h"
#include "protocol/QV_ReportDevice.h"
#include "protocol/QV_ReportOrders.h"

namespace {

constexpr int CmaxOrder = 100;
constexpr int32_t OptionRawData = 4711;
constexpr int32_t Option7019 = 0x7019;
const char* const TcpServerNotAvailable = "Local TCP data server is not available yet";

// A small number per thread for the orders (the thread that places an order serves it).
uint32_t CurrentThreadId() {
  static std::atomic<uint32_t> next{0};
  thread_local const uint32_t id = ++next;
  return id;
}

// One kind of report orders: 100 slots. Items are allocated so that the thread serving one outside
// the lock keeps a stable address; only collected items are freed.
template <class TItem>
struct TOrderTable {
  std::array<std::unique_ptr<TItem>, CmaxOrder> Slots{};
  int Count = 0;

  void FreeCollected() {
    for (auto& slot : Slots)
      if (slot && slot->state == grs_Collected) {
        slot.reset();
        --Count;
      }
  }
  bool HasOrderFor(int32_t id) const {
    return std::any_of(Slots.begin(), Slots.end(), [id](const auto& slot) { return slot && slot->MultiId == id; });
  }
  // The slot of the new order.
  int Place(std::unique_ptr<TItem> item) {
    const auto free = std::find(Slots.begin(), Slots.end(), nullptr);
    *free = std::move(item);
    ++Count;
    return static_cast<int>(free - Slots.begin());
  }
};

struct TOrderTexts {
  std::string Full;
  const char* Running;
  const char* ServeException;
  const char* IgnoreException;
  const char* CollectException;
};

struct TMultiState {
  std::mutex Lock;
  std::vector<std::shared_ptr<TSourceItem>> Sources;
  std::string EventName = "BaseReceiveEvent";
  bool DoResetEvent = false;
  bool OptRawData = false;
  bool Opt7019 = false;
  TQV_DeviceInfoList DeviceInfos;
  std::string LastError;
  TOrderTable<TGetReportItem> Orders;
  TOrderTable<TGetReportItemStruct> OrdersStruct;
};

// Never destroyed: sources may still be reached from threads while the program ends.
TMultiState& State() {
  static TMultiState* state = new TMultiState;
  return *state;
}

std::shared_ptr<TSourceItem> FindLocked(int32_t id) {
  const auto& sources = State().Sources;
  if (id < 0 || static_cast<size_t>(id) >= sources.size()) return nullptr;
  return sources[static_cast<size_t>(id)];
}

std::shared_ptr<TSourceItem> Find(int32_t id) {
  std::lock_guard lock(State().Lock);
  return FindLocked(id);
}

// Calls `use` with the source outside the global lock (the source guards itself), or gives
// `unknown` for an id outside the list.
template <class R, class F>
R WithSource(int32_t id, R unknown, F use) {
  const std::shared_ptr<TSourceItem> source = Find(id);
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

int32_t UnknownId(int32_t id, char* buffer) {
  CopyToCallerBuffer(SourceNotFoundText(id), buffer);
  return mrUnknownSource;
}

// "" means success (1); a reason goes into the buffer (0).
int32_t ReasonResult(const std::string& reason, char* buffer) {
  CopyToCallerBuffer(reason, buffer);
  return reason.empty() ? mrOk : mrError;
}

std::string Text(const char* text) { return text ? std::string(text) : std::string(); }

// Places an order for the source, serves it on this thread outside the lock and collects it under
// the lock again. `finish` runs under the lock: with the served item, or with none (and the code
// and text of what happened instead).
template <class TItem>
int32_t RunOrder(TOrderTable<TItem> TMultiState::*tableOf, const TOrderTexts& texts, int32_t id,
                 const std::function<void(TSourceItem&, TItem&)>& serve,
                 const std::function<int32_t(const TItem*, int32_t code, const std::string& text)>& finish) {
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
    const int32_t result = code == mrOk ? finish(item, code, text) : finish(nullptr, code, text);
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
  std::lock_guard lock(State().Lock);
  State().LastError = "Device enumeration is not available yet";
  CopyToCallerBuffer("", buffer);
  return 0;
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
  const std::string openString(buffer, strnlen(buffer, MultiBufferSize));
  return WithSource(id, UnknownId(id, buffer), [&](TSourceItem& source) {
    std::string reply;
    if (source.Open(openString, blockingIO != 0, contextMode != 0, reply) != QV_No_Err) {
      LogWarn(source.LogId(), "Multi_OpenConnectionEx(" + std::to_string(id) + "): " + reply);
      CopyToCallerBuffer(reply, buffer);
      return static_cast<int32_t>(mrError);
    }
    CopyToCallerBuffer("", buffer);
    source.WithDevice([](TQV_BaseDevice& device, TQV_ReportDevice&) {
      if (auto info = device.GetDeviceInfo()) State().DeviceInfos.AddInfo(std::move(info));
    });
    return static_cast<int32_t>(mrOk);
  });
}

int32_t Multi_CloseConnection(int32_t id) {
  return WithSource(id, static_cast<int32_t>(mrUnknownSource), [&](TSourceItem& source) {
    LogIt(source.LogId(), "Multi_CloseConnection(" + std::to_string(id) + ")");
    source.CloseConnection();
    return static_cast<int32_t>(mrOk);
  });
}

int32_t Multi_IsOpen(int32_t id) {
  return WithSource(id, 0, [](TSourceItem& source) { return source.IsOpen() ? 1 : 0; });
}

// ============================== Reports ==============================

int32_t Multi_GetReportEx(int32_t id, char* buffer, int64_t* deviceMs) {
  if (deviceMs) *deviceMs = -1;
  return RunOrder<TGetReportItem>(
      &TMultiState::Orders, TextOrderTexts(), id,
      [](TSourceItem& source, TGetReportItem& item) { source.GetReport(item); },
      [&](const TGetReportItem* item, int32_t code, const std::string& text) -> int32_t {
        if (!item) return CutResult(static_cast<TMultiResult>(code), CopyToCallerBuffer(text, buffer));
        if (deviceMs) *deviceMs = item->deviceMs;
        return CutResult(MultiResultFromQV(item->qvRes), CopyToCallerBuffer(item->report, buffer));
      });
}

int32_t Multi_GetReportStruct(TQV_ReportStruct& record, int32_t id) {
  return RunOrder<TGetReportItemStruct>(
      &TMultiState::OrdersStruct, StructOrderTexts(), id,
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
  std::string cmd(buffer, size);
  return WithSource(id, UnknownId(id, buffer), [&](TSourceItem& source) {
    if (const auto refusal = CheckCommandLength(cmd)) {
      LogWarn(source.LogId(), source.DbgTag() + ".SendCommand failed: " + *refusal);
      CopyToCallerBuffer(*refusal, buffer);
      return static_cast<int32_t>(mrUnknownSource);
    }
    const TQV_Result result = source.SendCommand(cmd);
    CopyToCallerBuffer(cmd, buffer);
    return static_cast<int32_t>(MultiResultFromQV(result));
  });
}

int32_t Multi_GetPendingCmdsCount(int32_t id) {
  return WithSource(id, 0, [](TSourceItem& source) { return source.GetPendingCmdsCount(); });
}

int32_t Multi_RequestConnectedUser(int32_t id) {
  return WithSource(id, static_cast<int32_t>(mrUnknownSource),
                    [](TSourceItem& source) { return static_cast<int32_t>(MultiResultFromQV(source.RequestConnectedUser())); });
}

int32_t Multi_ResetDevice(int32_t id) {
  return WithSource(id, static_cast<int32_t>(mrUnknownSource),
                    [](TSourceItem& source) { return static_cast<int32_t>(MultiResultFromQV(source.ResetDevice())); });
}

int32_t Multi_RemoteLogin(int32_t id, uint32_t password, char* buffer) {
  return WithSource(id, UnknownId(id, buffer), [&](TSourceItem& source) {
    std::string reason;
    const TQV_Result result = source.RemoteLogin(password, reason);
    CopyToCallerBuffer(reason, buffer);
    return static_cast<int32_t>(MultiResultFromQV(result));
  });
}

// ============================== Settings ==============================

int32_t Multi_SetDecimalSeparator(int32_t id, char separator) {
  return WithSource(id, static_cast<int32_t>(mrUnknownSource), [&](TSourceItem& source) {
    source.SetDecimalSeparator(separator);
    return static_cast<int32_t>(mrOk);
  });
}

int32_t Multi_SetSend7016(int32_t id, int32_t flag) {
  return WithSource(id, static_cast<int32_t>(mrUnknownSource), [&](TSourceItem& source) {
    source.SetSend7016(flag != 0);
    return static_cast<int32_t>(mrOk);
  });
}

int32_t Multi_SetCalibFactorFloatToInt(int32_t id, int32_t value) {
  return WithSource(id, static_cast<int32_t>(mrUnknownSource), [&](TSourceItem& source) {
    return static_cast<int32_t>(source.SetCalibFactorFloatToInt(value) ? mrOk : mrError);
  });
}

int32_t Multi_GetCalibFactorFloatToInt(int32_t id) {
  return WithSource(id, 0, [](TSourceItem& source) { return source.GetCalibFactorFloatToInt(); });
}

int32_t Multi_SetCalibrationData(int32_t id, const char* text) {
  const std::string data = Text(text);
  return WithDevice(id, static_cast<int32_t>(mrUnknownSource), static_cast<int32_t>(mrUnknownSource),
                    [&](TQV_BaseDevice& device, TQV_ReportDevice&) {
                      const int32_t firmware = device.FirmwareVersionNumber();
                      if (device.DevType() == QV_Simul || device.IsSerialDevice() ||
                          (device.PeerType() == ptColdfire && firmware < 62) ||
                          (device.PeerType() == ptESP && firmware < 109))
                        return static_cast<int32_t>(mrNotSupported);
                      return static_cast<int32_t>(device.SetCalibrationDataString(data) ? mrOk : mrError);
                    });
}

int32_t Multi_ReadHRQData(int32_t id) {
  return WithDevice(id, static_cast<int32_t>(mrUnknownSource), static_cast<int32_t>(mrUnknownSource),
                    [&](TQV_BaseDevice& device, TQV_ReportDevice& decoder) {
                      const int32_t firmware = device.FirmwareVersionNumber();
                      if ((device.PeerType() == ptColdfire && firmware < 67) ||
                          (device.PeerType() == ptESP && firmware < 109))
                        return static_cast<int32_t>(mrNotSupported);
                      return static_cast<int32_t>(device.ReadHRQData(&decoder) ? mrOk : mrError);
                    });
}

int32_t Multi_SetHRQData(int32_t id, const char* text) {
  const std::string data = Text(text);
  return WithDevice(id, static_cast<int32_t>(mrUnknownSource), static_cast<int32_t>(mrUnknownSource),
                    [&](TQV_BaseDevice& device, TQV_ReportDevice&) {
                      return static_cast<int32_t>(device.SetHRQDataString(data) ? mrOk : mrError);
                    });
}

int32_t Multi_ConfigSimulatorChannel(int32_t id, int32_t channel, double base, double stdDev) {
  return WithSource(id, static_cast<int32_t>(mrUnknownSource), [&](TSourceItem& source) {
    return static_cast<int32_t>(source.ConfigSimulatorChannel(channel, base, stdDev) ? mrOk : mrNotSupported);
  });
}

// ============================== Device queries ==============================

uint32_t Multi_GetBufferAmount(int32_t id) {
  return WithDevice(id, 0u, 0u, [](TQV_BaseDevice& device, TQV_ReportDevice&) { return device.BufferAmount(); });
}

int32_t Multi_GetBufferAmounts(int32_t id, uint32_t* amount, uint32_t* highAmount) {
  uint32_t a = 0, high = 0;
  const int32_t code = WithDevice(id, static_cast<int32_t>(mrUnknownSource), static_cast<int32_t>(mrOk),
                                  [&](TQV_BaseDevice& device, TQV_ReportDevice&) {
                                    device.GetBufferAmounts(a, high);
                                    return static_cast<int32_t>(mrOk);
                                  });
  if (amount) *amount = a;
  if (highAmount) *highAmount = high;
  return code;
}

uint32_t Multi_GetTransmitBufferAmount(int32_t id) {
  return WithDevice(id, 0u, 0u, [](TQV_BaseDevice&, TQV_ReportDevice& decoder) {
    return static_cast<uint32_t>(std::max(0, decoder.GetPendingCmdsCount()));
  });
}

int32_t Multi_GetUserID(int32_t id) {
  return WithDevice(id, 255, 255, [](TQV_BaseDevice& device, TQV_ReportDevice&) { return int32_t{device.UserID()}; });
}

uint32_t Multi_GetHardFeature(int32_t id) {
  return WithDevice(id, 0u, 0u, [](TQV_BaseDevice& device, TQV_ReportDevice&) { return uint32_t{device.HardFeature()}; });
}

int32_t Multi_GetFirmwareVersion(int32_t id) {
  return WithDevice(id, 0, 0, [](TQV_BaseDevice& device, TQV_ReportDevice&) { return device.FirmwareVersionNumber(); });
}

uint32_t Multi_GetSerialNumber(int32_t id) {
  return WithDevice(id, TQV_BaseDevice::UnknownSerialNumber, TQV_BaseDevice::UnknownSerialNumber,
                    [](TQV_BaseDevice& device, TQV_ReportDevice&) { return device.SerialNumberValue(); });
}

int32_t Multi_GetDeviceStartState(int32_t id) {
  return WithDevice(id, 0, 0, [](TQV_BaseDevice& device, TQV_ReportDevice&) {
    return static_cast<int32_t>(device.DeviceStartState());
  });
}

int32_t Multi_IsFileDevice(int32_t id) {
  return WithSource(id, 0, [](TSourceItem& source) { return source.IsFileDevice() ? 1 : 0; });
}

int32_t Multi_GetToolsData(int32_t id, char* buffer) {
  const std::string data = WithDevice(id, std::string(), std::string(), [](TQV_BaseDevice& device, TQV_ReportDevice&) {
    return device.ToolsReadAll();
  });
  CopyToCallerBuffer(data, buffer);
  return static_cast<int32_t>(std::min(data.size(), MultiBufferSize - 1));
}

int32_t Multi_GetToolsDataString(int32_t id, char* buffer) {
  const std::string data = WithDevice(id, std::string(), std::string(), [](TQV_BaseDevice& device, TQV_ReportDevice&) {
    return device.ToolsReadAllAnsi();
  });
  return CutResult(mrOk, CopyToCallerBuffer(data, buffer));
}

// ============================== Diagnostics and recording ==============================

int32_t Multi_SetOutputPath(int32_t id, char* buffer) {
  if (!buffer) return mrError;
  const std::string path(buffer, strnlen(buffer, MultiBufferSize));
  return WithSource(id, UnknownId(id, buffer),
                    [&](TSourceItem& source) { return ReasonResult(source.SetOutputPath(path), buffer); });
}

int32_t Multi_SetDebugLog(int32_t id, int32_t on, const char* fileId, int32_t errorOnly, char* buffer) {
  return WithSource(id, UnknownId(id, buffer), [&](TSourceItem& source) {
    return ReasonResult(source.SetDebugLog(on != 0, Text(fileId), errorOnly != 0), buffer);
  });
}

int32_t Multi_SetDebugLogStream(int32_t id, int32_t on, const char* fileId, int32_t errorOnly, char* buffer) {
  return WithSource(id, UnknownId(id, buffer), [&](TSourceItem& source) {
    return ReasonResult(source.SetDebugLogStream(on != 0, Text(fileId), errorOnly != 0), buffer);
  });
}

int32_t Multi_GetDebugFilename(int32_t id, char* buffer) {
  return WithSource(id, UnknownId(id, buffer), [&](TSourceItem& source) {
    return static_cast<int32_t>(CutResult(mrOk, CopyToCallerBuffer(source.GetDebugFilename(), buffer)));
  });
}

int32_t Multi_SetDebugLimit(int32_t id, int32_t limitType, uint32_t size) {
  if (limitType < logUnlimited || limitType > logCreateNew) return mrError;
  return WithSource(id, static_cast<int32_t>(mrUnknownSource), [&](TSourceItem& source) {
    source.SetDebugLimit(static_cast<TLogLimitType>(limitType), size);
    return static_cast<int32_t>(mrOk);
  });
}

int32_t Multi_DebugFlags(int32_t id, int32_t reportLog, int32_t lowLevelLog) {
  return WithSource(id, static_cast<int32_t>(mrUnknownSource), [&](TSourceItem& source) {
    source.DebugFlags(reportLog != 0, lowLevelLog != 0);
    return static_cast<int32_t>(mrOk);
  });
}

int32_t Multi_StartSaveBinaryData(int32_t id, const char* fileId, char* buffer) {
  return WithSource(id, UnknownId(id, buffer),
                    [&](TSourceItem& source) { return ReasonResult(source.StartSaveBinaryData(Text(fileId)), buffer); });
}

int32_t Multi_StopSaveBinaryData(int32_t id) {
  return WithSource(id, static_cast<int32_t>(mrUnknownSource), [](TSourceItem& source) {
    source.StopSaveBinaryData();
    return static_cast<int32_t>(mrOk);
  });
}

int32_t Multi_StartSaveReportData(int32_t id, const char* fileId, char* buffer) {
  return WithSource(id, UnknownId(id, buffer),
                    [&](TSourceItem& source) { return ReasonResult(source.StartSaveReportData(Text(fileId)), buffer); });
}

int32_t Multi_StopSaveReportData(int32_t id) {
  return WithSource(id, static_cast<int32_t>(mrUnknownSource), [](TSourceItem& source) {
    source.StopSaveReportData();
    return static_cast<int32_t>(mrOk);
  });
}

// ============================== Local TCP data server ==============================

namespace {
int32_t TcpServerNotAvailableResult(int32_t id, char* buffer) {
  if (!Find(id)) return UnknownId(id, buffer);
  CopyToCallerBuffer(TcpServerNotAvailable, buffer);
  return mrError;
}
}  // namespace

int32_t Multi_StartTcpServer(int32_t id, int32_t* port) { return TcpServerNotAvailableResult(id, nullptr); }
int32_t Multi_StopTcpServer(int32_t id) { return Find(id) ? mrOk : mrUnknownSource; }
int32_t Multi_GetTcpServerError(int32_t id, char* buffer) { return TcpServerNotAvailableResult(id, buffer); }
int32_t Multi_GetTcpServerDataPort(int32_t id) { return 0; }
int32_t Multi_GetTcpServerIPAndPort(int32_t id, char* buffer) { return TcpServerNotAvailableResult(id, buffer); }
int32_t Multi_GetTcpServerClientsRemainingDataCounts(int32_t id, char* buffer) {
  return TcpServerNotAvailableResult(id, buffer);
}
int32_t Multi_TcpReportLog(int32_t id, const char* data, int32_t logType) { return TcpServerNotAvailableResult(id, nullptr); }
int32_t Multi_SetTcpAppDataCallback(int32_t id, void (*callback)(int32_t, const char*)) {
  return TcpServerNotAvailableResult(id, nullptr);
}

// ============================== In-program accessors ==============================

TSourceItem* Multi_GetSource(int32_t id) { return Find(id).get(); }

std::optional<TQV_DeviceInfo> Multi_GetDeviceInfo(uint32_t serialNumber) {
  return State().DeviceInfos.GetInfo(serialNumber);
}

bool Multi_HasStructuredReports(int32_t id) {
  return WithSource(id, false, [](TSourceItem& source) { return source.HasStructuredReports(); });
}

std::vector<uint32_t> Multi_DeviceSerialNumbers() { return State().DeviceInfos.SerialNumbers(); }

bool Multi_UpdateDeviceInfo(uint32_t serialNumber, const std::function<void(TQV_DeviceInfo&)>& change) {
  return State().DeviceInfos.Update(serialNumber, change);
}

#pragma once
#include <atomic>
#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "acquisition/QV_ConnectionString.h"
#include "core/LogUnit.h"
#include "devices/QV_CommonTypes.h"
#include "protocol/QV_ProcessState.h"
#include "protocol/QV_ReportOrders.h"

class IQV_SourceDataServer;
class TClock;
class TEvent;
class TQV_BaseDevice;
class TQV_DeviceInfoList;
class TQV_ReportDevice;
class TQV_ReportStruct;

// One live connection to an instrument or a data stream: the device of the transport, the report
// decoder bound to it, the per-channel state of the report processing and the source's own
// diagnostics and recordings. Sources are reached through the procedural interface (MultiSource.h)
// by their id, the index in the source list.
//
// Threads: the report thread reads (GetReport, GetReportStruct), the window thread opens, closes,
// sends commands and changes settings. FLock is held by every read and by open, close and changes
// of the reading state, so a source is never closed under a running read. Commands do not wait for
// a read: they take their own reference to the connection, which stays alive until they are done.
class TSourceItem : public IQV_ProcessHost {
 public:
  TSourceItem(int32_t aMultiId, std::shared_ptr<TEvent> aReceiveEvent, bool aDoResetEvent,
              TQV_DeviceInfoList* aInfoList = nullptr);
  ~TSourceItem() override;
  TSourceItem(const TSourceItem&) = delete;
  TSourceItem& operator=(const TSourceItem&) = delete;

  // ---- Connection ----
  // Takes the open string apart and keeps its flags (ZCT2, host name, structured reports, file
  // looping and pacing) for the next OpenConnection.
  TQV_Result SplitConnectionString(const std::string& s, uint8_t& UserID, std::string& Port, std::string& Baud);
  // Opens what the last split string names; on failure ErrorMessage() says why.
  TQV_Result OpenConnection(uint8_t UserID, const std::string& Port, const std::string& Baud, bool BlockingIO,
                            bool ContextMode);
  void CloseConnection();
  // The whole open of the interface: split, close what is open, open. `reply` receives the reason
  // of a failure (for a format error followed by the open string).
  TQV_Result Open(const std::string& openString, bool BlockingIO, bool ContextMode, std::string& reply);
  bool IsOpen() const;
  std::string ErrorMessage() const;

  // ---- Reports ----
  // The next text report line into rItem.report (empty: nothing yet) with its result and device time.
  void GetReport(TGetReportItem& rItem);
  // The next structured report into rItem.report (type none: nothing yet).
  void GetReportStruct(TGetReportItemStruct& rItem);
  // Whether this connection delivers structured reports (text sources deliver lines only).
  bool HasStructuredReports() const;

  // ---- Commands ----
  // Cmd: the command bytes; on return the reply or the reason of a refusal.
  TQV_Result SendCommand(std::string& Cmd);
  TQV_Result RemoteLogin(uint32_t Password, std::string& err);
  TQV_Result RequestConnectedUser();
  TQV_Result ResetDevice();
  int32_t GetPendingCmdsCount() const;

  // ---- Count check and decoding state ----
  std::string CheckDataPerSecondCounter();
  void IncTimestampCounter();
  void ResetTimestampDataCounter();
  void ReSync() override;
  void TakeIsIVConly() override;
  std::string ServerIPAndPort() const override;
  // Interval of the last measurement header in ms (0 when none is known).
  uint32_t GetHeaderMs() const;

  // ---- Settings ----
  void SetOptRawData(bool Value);
  void SetOpt7019(bool Value);
  void SetSend7016(bool Value);
  void SetDecimalSeparator(char Value);
  // A value <= 0 is refused (false).
  bool SetCalibFactorFloatToInt(int32_t Value);
  int32_t GetCalibFactorFloatToInt() const;
  void SetLowLevelLog(bool Value);
  void SetReportLog(bool Value);
  void SetIVC(int32_t Value);
  void SetCmdLimit(uint32_t Value);
  // The simulator of a "DemoData" source: the clock it runs on and whether it runs its own worker
  // (without, the owner steps it through the device). Taken at the next open.
  void SetSimulatorDriving(const TClock& clock, bool runWorker);
  // False when no simulator is open.
  bool ConfigSimulatorChannel(int32_t k, double base, double stdDev);
  // The local data server that receives every good report line and hands out the subscribers'
  // application data (none: nullptr). It must outlive the source's reads.
  void SetDataServer(IQV_SourceDataServer* server);
  // Binary report records go to the data server's archive while this is on.
  void SetArchiveEnabled(bool value) { FArchiveEnabled.store(value); }
  bool ArchiveEnabled() const { return FArchiveEnabled.load(); }

  // ---- Device queries (defaults while closed) ----
  bool WithDevice(const std::function<void(TQV_BaseDevice&, TQV_ReportDevice&)>& use) const;
  bool IsFileDevice() const;
  // A file device played back in real time (" WAIT_INTERVAL"): its reads wait out the intervals.
  bool IsPacedFile() const;
  // Another instance's stream or archive: it carries no commands back to the instrument.
  bool IsRelayed() const;
  std::string DeviceVersion() const;

  // ---- Diagnostics and recording ----
  // "" on success, else the reason.
  std::string SetOutputPath(const std::string& Path);
  const std::string& OutputPath() const { return FOutputPath; }
  std::string SetDebugLog(bool DbgOn, const std::string& DbgID, bool errorOnly);
  std::string SetDebugLogStream(bool DbgOn, const std::string& DbgID, bool errorOnly);
  std::string GetDebugFilename() const;
  void SetDebugLimit(TLogLimitType LogType, uint32_t aSize);
  void DebugFlags(bool ReportLog, bool LowLevelLog);
  // Raw bytes of the device ("<id>_QV_RawData.bin") and report lines ("<id>_QV_ReportData.txt",
  // playable as a text file) in the output folder; "" on success, else the reason.
  std::string StartSaveBinaryData(const std::string& DbgID);
  void StopSaveBinaryData();
  std::string StartSaveReportData(const std::string& DbgID);
  void StopSaveReportData();

  int32_t MultiId() const { return FMultiId; }
  int32_t LogId() const { return FLogId; }
  const std::string& DbgTag() const { return FDbgTag; }

 private:
  struct TConnection;
  using TConnectionPtr = std::shared_ptr<TConnection>;

  // Everything below that names "Locked" or reads runs with FLock held.
  TConnectionPtr Connection() const;
  void SetActualDevice(std::unique_ptr<TQV_BaseDevice> device);
  void CloseLocked();
  TQV_Result OpenTarget(const TOpenTarget& target, std::unique_ptr<TQV_BaseDevice>& device);
  TQV_Result ReadText(TConnection* connection, std::string& report);
  // Closes the connection on the results that end it; `text` becomes the reply for the caller.
  TQV_Result CloseOnFatal(TConnection& connection, TQV_Result result, std::string& text);
  void AfterTextReport(TConnection& connection, const std::string& report);
  TQV_Result ReadStruct(TConnection* connection, TQV_ReportStruct& record);
  // False when the record is dropped.
  bool AfterStructReport(TConnection& connection, TQV_ReportStruct& record);
  void KeepCountCheck(const std::string& failure, const std::string& logText);
  void TakeDeviceVersion(const std::string& version);
  void PaceFile(TConnection& connection);
  void Forward(const std::string& line);
  void Archive(const std::string& record);
  // Application data a subscriber of the data server sent, empty when none waits.
  std::string TakeAppData();
  void WriteReport(const std::string& line);
  std::string FileName(const std::string& DbgID, const std::string& kind) const;

  const int32_t FMultiId;
  std::shared_ptr<TEvent> FReceiveEvent;
  bool FDoResetEvent;
  TQV_DeviceInfoList* FInfoList;
  int32_t FLogId;
  int32_t FLogIdStream;
  int32_t FLogIdStreamDbg;
  std::string FDbgTag;
  std::string FOutputPath;

  mutable std::mutex FLock;      // reads, open, close, reading state
  mutable std::mutex FConnLock;  // the connection pointer
  TConnectionPtr FActualDevice;  // none while closed
  TConnectionString FSplit;      // flags of the last split open string
  TQV_ProcessState FState;
  std::string FErrorMessage;
  std::string FDeviceVersion = "Device Version not received yet";
  std::string FProcessStringReceived_ASCII;
  bool FOpt7019 = false;
  bool FLowLevelLog = false;
  bool FIsIVConly = false;
  std::atomic<bool> FOptRawData = false;
  std::atomic<uint32_t> FCmdLimit = 0;
  const TClock* FSimulatorClock;
  bool FSimulatorWorker = true;
  IQV_SourceDataServer* FDataServer = nullptr;
  std::atomic<bool> FArchiveEnabled{false};
  std::mutex FRecordLock;
  std::ofstream FReportStream;
};

#pragma once
#include <cstdint>
#include <string>

#include "core/IQV_ArchiveStore.h"
#include "acquisition/QV_SourceResult.h"
#include "core/LogUnit.h"

class TQV_ReportStruct;
struct TTcpServerOptions;

// A result code of the source interface with its text: a reason, a reply or a report line.
struct TSourceReply {
  int32_t Code = mrOk;
  std::string Text;
  bool Ok() const { return Code == mrOk; }
};

// The program's own way to one source of the source list: typed calls on the same source objects
// that the procedural Multi_ interface serves by id, with whole texts instead of caller buffers.
// An id outside the list answers every call with mrUnknownSource (or the closed-device default).
class TSourceHandle {
 public:
  explicit TSourceHandle(int32_t id = -1) : FId(id) {}
  int32_t Id() const { return FId; }

  // ---- Connection ----
  // Ok, or the reason of the failure (for a format error followed by the open string).
  TSourceReply Open(const std::string& openString, bool blockingIO = false, bool contextMode = false) const;
  int32_t Close() const;
  bool IsOpen() const;
  bool IsFileDevice() const;
  // Whether the device delivers structured reports (the simulator and network-module instruments).
  bool HasStructuredReports() const;

  // ---- Reports ----
  // The next text report line (empty: nothing yet); deviceMs (may be null) its device time.
  TSourceReply GetReport(int64_t* deviceMs) const;
  int32_t GetReportStruct(TQV_ReportStruct& record) const;

  // ---- Commands ----
  // The reply, or the reason of a refusal (mrUnknownSource for a length outside 1..127).
  TSourceReply SendCommand(const std::string& command) const;
  int32_t PendingCmdsCount() const;
  int32_t RequestConnectedUser() const;
  int32_t ResetDevice() const;
  TSourceReply RemoteLogin(uint32_t password) const;

  // ---- Settings ----
  int32_t SetDecimalSeparator(char separator) const;
  int32_t SetSend7016(bool flag) const;
  int32_t SetCalibFactorFloatToInt(int32_t value) const;
  int32_t CalibFactorFloatToInt() const;
  int32_t SetCalibrationData(const std::string& text) const;
  int32_t ReadHRQData() const;
  int32_t SetHRQData(const std::string& text) const;
  int32_t ConfigSimulatorChannel(int32_t channel, double base, double stdDev) const;

  // ---- Device queries (defaults while closed) ----
  uint32_t BufferAmount() const;
  int32_t BufferAmounts(uint32_t& amount, uint32_t& highAmount) const;
  uint32_t TransmitBufferAmount() const;
  int32_t UserID() const;
  uint32_t HardFeature() const;
  int32_t FirmwareVersion() const;
  uint32_t SerialNumber() const;
  int32_t DeviceStartState() const;
  // The tools buffer as raw bytes, or as text.
  std::string ToolsData() const;
  std::string ToolsDataString() const;

  // ---- Diagnostics and recording ----
  TSourceReply SetOutputPath(const std::string& path) const;
  // fileId names the files (a session letter).
  TSourceReply SetDebugLog(bool on, const std::string& fileId, bool errorOnly) const;
  TSourceReply SetDebugLogStream(bool on, const std::string& fileId, bool errorOnly) const;
  TSourceReply DebugFilename() const;
  int32_t SetDebugLimit(TLogLimitType limitType, uint32_t size) const;
  int32_t DebugFlags(bool reportLog, bool lowLevelLog) const;
  TSourceReply StartSaveBinaryData(const std::string& fileId) const;
  int32_t StopSaveBinaryData() const;
  TSourceReply StartSaveReportData(const std::string& fileId) const;
  int32_t StopSaveReportData() const;

  // ---- Local TCP data server ----
  // Listening address, allowed clients and limits for the next start.
  int32_t SetTcpServerOptions(const TTcpServerOptions& options) const;
  // port: the wanted port (0: any), on success the port in use; the reason of a failure.
  TSourceReply StartTcpServer(int32_t& port) const;
  // mrOk when stopped or none runs, mrError when it still runs.
  int32_t StopTcpServer() const;
  // Binary records of the source are filed in the local data server's archive while on.
  int32_t EnableArchive(bool value) const;
  // The archive's root folder (the server's port is a folder below it); refused while in use.
  TSourceReply SetArchivePath(const std::string& path) const;
  TSourceReply TcpServerError() const;
  // The port the server listens on, 0 when none runs.
  int32_t TcpServerDataPort() const;
  // Listening address ":" port.
  TSourceReply TcpServerIPAndPort() const;
  TSourceReply TcpServerClientsRemainingDataCounts() const;
  int32_t TcpServerClientCount() const;
  int32_t TcpReportLog(const std::string& data, int32_t logType) const;
  int32_t TcpSaveLogData(const std::string& data, int32_t logType, int32_t code, int32_t subCode) const;
  int32_t TcpClearLogData(int32_t logType, int32_t code, int32_t subCode) const;
  // A callback receives every application-data text (and the server answers "OK"); none restores
  // the default handling, which turns the texts into "7F40; " reports of the source.
  int32_t SetTcpAppDataCallback(void (*callback)(int32_t id, const char* data)) const;

 private:
  int32_t FId;
};

// The archive store that every local data server made from now on files into (none: no archive).
void SetTcpArchiveStoreFactory(TArchiveStoreFactory factory);

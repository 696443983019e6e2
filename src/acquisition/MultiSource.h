#pragma once
// The procedural source interface. Sources are addressed by their id (the index in the source list);
// every function runs under one global lock, takes plain types, returns numeric result codes
// (TMultiResult: 1 = success, 10 = unknown source id, ...) and hands texts out through caller
// buffers of MULTI_BUFFER_SIZE bytes (a longer text is cut; a report read then gives 6). Report
// reads are served outside the lock, so a slow device does not hold up calls for other sources.
#include <stdint.h>

#define MULTI_BUFFER_SIZE 1024
// Size of the record image that Multi_GetReportStruct fills (the report record's 520 bytes).
#define MULTI_REPORT_RECORD_SIZE 520

#ifdef __cplusplus
extern "C" {
#endif

// ---- Source list and options ----
int32_t Multi_AddSource(void);
void Multi_Init(void);
// Sources created afterwards signal the named data-arrival event ("" = "BaseReceiveEvent").
void Multi_SetReceiveEvent(const char* eventName, int32_t doResetEvent);
// 4711: raw-data mode commands; 28697 (0x7019): option 0x7019. Other values are ignored.
void Multi_SetOption(int32_t option);
// Closes and frees every source (program end). Ids become unknown.
void Multi_Done(void);

// ---- Interface information ----
// The device list as text into buffer; the count of devices.
int32_t Multi_EnumerateDevices(char* buffer, int32_t flags);
// The last enumeration error into buffer; 1 when there is one, 0 when none.
int32_t Multi_GetLastError(char* buffer);
// "20.2.7 25-01-07" into buffer; 1.
int32_t Multi_GetDllInfo(char* buffer);

// ---- Connection ----
// buffer: in the open string, out the reason of a failure. 1 = open, 0 = failed, 10 = unknown id.
int32_t Multi_OpenConnectionEx(int32_t id, char* buffer, int32_t blockingIO, int32_t contextMode);
int32_t Multi_CloseConnection(int32_t id);
// 1 while a connection is open (a file that has reached its end is no longer open), else 0.
int32_t Multi_IsOpen(int32_t id);

// ---- Reports ----
// The next text report into buffer (empty: nothing yet); deviceMs (may be null) its device time.
int32_t Multi_GetReportEx(int32_t id, char* buffer, int64_t* deviceMs);
// The next structured report as the 520-byte record image.
int32_t Multi_GetReportStruct(void* record, int32_t id);

// ---- Commands ----
// buffer: in `length` command bytes, out the reply or the reason of a refusal (10 for a length
// outside 1..127, else the source's result).
int32_t Multi_SendCommand(int32_t id, char* buffer, int32_t length);
int32_t Multi_GetPendingCmdsCount(int32_t id);
int32_t Multi_RequestConnectedUser(int32_t id);
int32_t Multi_ResetDevice(int32_t id);
int32_t Multi_RemoteLogin(int32_t id, uint32_t password, char* buffer);

// ---- Settings ----
int32_t Multi_SetDecimalSeparator(int32_t id, char separator);
int32_t Multi_SetSend7016(int32_t id, int32_t flag);
int32_t Multi_SetCalibFactorFloatToInt(int32_t id, int32_t value);
int32_t Multi_GetCalibFactorFloatToInt(int32_t id);
int32_t Multi_SetCalibrationData(int32_t id, const char* text);
int32_t Multi_ReadHRQData(int32_t id);
int32_t Multi_SetHRQData(int32_t id, const char* text);
int32_t Multi_ConfigSimulatorChannel(int32_t id, int32_t channel, double base, double stdDev);

// ---- Device queries (defaults while closed) ----
uint32_t Multi_GetBufferAmount(int32_t id);
int32_t Multi_GetBufferAmounts(int32_t id, uint32_t* amount, uint32_t* highAmount);
uint32_t Multi_GetTransmitBufferAmount(int32_t id);
int32_t Multi_GetUserID(int32_t id);
uint32_t Multi_GetHardFeature(int32_t id);
int32_t Multi_GetFirmwareVersion(int32_t id);
uint32_t Multi_GetSerialNumber(int32_t id);
int32_t Multi_GetDeviceStartState(int32_t id);
int32_t Multi_IsFileDevice(int32_t id);
// The tools buffer: raw bytes (count returned) or as text into buffer.
int32_t Multi_GetToolsData(int32_t id, char* buffer);
int32_t Multi_GetToolsDataString(int32_t id, char* buffer);

// ---- Diagnostics and recording ----
// buffer: in the folder, out the reason of a failure. 1 = set.
int32_t Multi_SetOutputPath(int32_t id, char* buffer);
// fileId names the files (a session letter); buffer receives the reason of a failure.
int32_t Multi_SetDebugLog(int32_t id, int32_t on, const char* fileId, int32_t errorOnly, char* buffer);
int32_t Multi_SetDebugLogStream(int32_t id, int32_t on, const char* fileId, int32_t errorOnly, char* buffer);
int32_t Multi_GetDebugFilename(int32_t id, char* buffer);
// limitType: 0 unlimited, 1 overwrite, 2 create new.
int32_t Multi_SetDebugLimit(int32_t id, int32_t limitType, uint32_t size);
int32_t Multi_DebugFlags(int32_t id, int32_t reportLog, int32_t lowLevelLog);
int32_t Multi_StartSaveBinaryData(int32_t id, const char* fileId, char* buffer);
int32_t Multi_StopSaveBinaryData(int32_t id);
int32_t Multi_StartSaveReportData(int32_t id, const char* fileId, char* buffer);
int32_t Multi_StopSaveReportData(int32_t id);

// ---- Local TCP data server: 1 = done (started, stopped or none to stop), 0 = failed (the reason
// through Multi_GetTcpServerError), 10 = unknown id. Multi_StartTcpServer: *port 0 asks for any free
// port and receives the port in use; Multi_GetTcpServerDataPort is 0 while none runs. ----
int32_t Multi_StartTcpServer(int32_t id, int32_t* port);
int32_t Multi_StopTcpServer(int32_t id);
int32_t Multi_GetTcpServerError(int32_t id, char* buffer);
int32_t Multi_GetTcpServerDataPort(int32_t id);
int32_t Multi_GetTcpServerIPAndPort(int32_t id, char* buffer);
int32_t Multi_GetTcpServerClientsRemainingDataCounts(int32_t id, char* buffer);
int32_t Multi_TcpReportLog(int32_t id, const char* data, int32_t logType);
int32_t Multi_SetTcpAppDataCallback(int32_t id, void (*callback)(int32_t id, const char* data));

#ifdef __cplusplus
}

#include <functional>
#include <optional>
#include <vector>

class TSourceItem;
class TQV_DeviceInfo;
class TQV_ReportStruct;

// For callers inside the program only: the source of that id, or none. Sources live until
// Multi_Done, which the program calls after its report thread has ended.
TSourceItem* Multi_GetSource(int32_t id);
// The structured read into a record object.
int32_t Multi_GetReportStruct(TQV_ReportStruct& record, int32_t id);
// What the program knows about the instrument with that serial number.
std::optional<TQV_DeviceInfo> Multi_GetDeviceInfo(uint32_t serialNumber);
// Whether the source's device delivers structured reports (the simulator and network-module
// instruments); other devices give text reports only.
bool Multi_HasStructuredReports(int32_t id);
// The serial numbers of the instruments seen so far, in the order they were first seen.
std::vector<uint32_t> Multi_DeviceSerialNumbers();
// Changes what the program knows about that instrument; false when it is not listed.
bool Multi_UpdateDeviceInfo(uint32_t serialNumber, const std::function<void(TQV_DeviceInfo&)>& change);
#endif

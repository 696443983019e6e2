#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "acquisition/App_Sessions.h"
#include "acquisition/QV_LocalServerSettings.h"
#include "acquisition/QV_SessionOptions.h"
#include "acquisition/QV_SessionStatus.h"
#include "acquisition/QV_StartupWaits.h"
#include "acquisition/ReportLineTap.h"
#include "acquisition/SourceHandle.h"
#include "core/CalendarTime.h"
#include "data/IReportLogSink.h"
#include "devices/QV_CommonTypes.h"
#include "devices/QV_HRQSettings.h"
#include "protocol/QV_Header.h"

class TAppSettings;
class TClockAlarmDefs;
class TIVC_DataManagement;
class TQV_ReportStruct;
class TZCT_DataManagement;

// The counter session (session type 0): one counter instrument reached through one source of the
// source interface. It turns the source's reports into calls on its two data stores (counter and
// interval counter), follows the instrument's state (mode, interval, scrambler, PPI, reference
// clock, PLL), posts notices for the window thread, raises user messages and sends the commands
// that bring the instrument into the state the settings want.
//
// Threads: the window thread creates, opens, closes, commands and configures the session; the
// report thread calls GetReport, from which all report processing runs (including the commands the
// processing sends). The fields the window thread shows (mode, interval, flags, texts) are atomic
// or guarded. Open and close never run while the report thread is inside GetReport of the same
// session (the session lists keep them apart).
//
// A counter session has a companion copy for its interval-counter part (CopyIVCPart): it shares
// the source and both data stores and is listed only among the copies.
class TQVSessionItem : public TSessionItem, private IReportLogSink {
 public:
  static constexpr int32_t NoHeader = 0x10000;
  static constexpr uint8_t UnknownMode = 255;
  static constexpr uint8_t UnknownScrambler = 255;
  static constexpr uint8_t AnyUser = 255;
  static constexpr int32_t DGICards = 8;
  static constexpr int32_t DGISignals = 32;

  // A new session with a source of its own.
  static std::unique_ptr<TQVSessionItem> Make(int32_t aLogId, int32_t aIndex, TSessionHandlers aHandlers,
                                              TQVSessionEnv aEnv = {});
  // The interval-counter copy of a session: the same source and stores, "IVC only", 1000 ms.
  static std::unique_ptr<TQVSessionItem> CopyIVCPart(TQVSessionItem& qvSession);
  ~TQVSessionItem() override;

  // ---- Session operations ----
  void SetChannelData(const TQV_ChannelData& Value) override;
  std::shared_ptr<TDataManagement> CreateDatamanager() override;
  uint32_t GetSerialNumber() override;
  void AddError(int32_t Code, int32_t SubCode, const std::string& text) override;
  void AddInfo(int32_t Code, int32_t SubCode, const std::string& text) override;
  void AddWarning(int32_t Code, int32_t SubCode, const std::string& text) override;
  void UpdateOptions(int32_t what) override;
  void SetCommand(const std::string& Cmd, const std::string& CmdText) override;
  std::string Debug(bool Value) override;
  void DebugFlags(bool Report, bool LowLevel) override;
  std::string SetDebugPath(const std::string& Value) override;
  void SetOpenParams(const std::string& aOpenString, int32_t aConnectionType, uint32_t aColor,
                     const std::string& friendly) override;
  std::string OpenDevice() override;
  void CloseDevice(bool stopServer) override;
  bool GetReport() override;
  void ReadSettings(TAppSettings& Settings, const std::string& SettingsPrefix) override;
  void SaveSettings(TAppSettings& Settings, const std::string& SettingsPrefix) override;
  bool IsDirectSerial() const override;

  // ---- Commands and the source ----
  virtual void SendCommandText(const std::string& text);
  // Sends the command bytes; false (with user error 76 or 77) when the source refused them.
  virtual bool SendCommand(const std::string& data);
  void SetDebugStream(bool Value);
  void SetDecimalSeparator(char Separator);
  // A USB device arrived: a closed session whose open string names it opens again.
  void CheckUsbAttached(const std::string& serialNumberString);
  // False when a new port cannot take effect before the next start of the server.
  bool UpdateLocalServer(bool Run, uint16_t Port);
  // Where the local server listens ("0.0.0.0" all IPv4 interfaces, "127.0.0.1" this machine only)
  // and which client addresses it serves (a list; empty: all). Taken at the next start.
  void SetLocalServerAccess(const std::string& listenAddress, const std::string& allowedClients);
  bool RequestConnectedUsers();
  bool ResetDevice();
  int32_t GetUserId() const;
  uint32_t GetBufferAmount() const;
  void GetBufferAmounts(uint32_t& amount, uint32_t& highAmount) const;
  int32_t GetFirmwareVersion() const;
  uint32_t GetTransmitBufferAmount() const;
  int32_t GetConnectionType() const { return ConnectionType(); }

  // ---- Start-up wishes (the connection dialog and the main window set them) ----
  // The mode, interval and scrambler the instrument is to be brought into after opening.
  void SetExpectedHeader(std::optional<TQVHeader> value);
  // Commands sent one per report after opening; a re-sync command among them makes measurements
  // wait for the re-sync report.
  void SetAddedOpenCommands(std::vector<std::string> value);
  void SetClearBufferOnStart(bool value) { FClearBufferOnStart = value; }
  bool ClearBufferOnStart() const { return FClearBufferOnStart; }

  // ---- Configuration ----
  const TQV_ChannelData& IVCChannelData() const { return FIVCChannelData; }
  void SetIVCChannelData(const TQV_ChannelData& Value);
  const TQV_ChannelData& VirtualIVCChannelData() const { return FVirtualIVCChannelData; }
  void SetVirtualIVCChannelData(const TQV_ChannelData& Value);
  const std::string& VirtualIVCDescription() const { return FvirtualIVCDescription; }
  void SetVirtualIVCDescription(const std::string& value) { FvirtualIVCDescription = value; }
  int32_t VirtualIVCChannelCount() const;
  TChannelFactors VirtualIVCFactors(int32_t k) const;
  void SetVirtualIVCFactors(int32_t k, const TChannelFactors& value);
  // Channel 1..24 in Hz; 0 outside.
  double NomFreq(int32_t Kanal) const;
  void SetNomFreq(int32_t Kanal, double Value);
  // Exchanges the nominal frequencies with what the program remembers of the instrument.
  void UpdateNominalFrequencies();
  THRQSetting HRQSetting(int32_t Kanal) const;
  bool GetHRQSettingsChanged(const THRQSettings& Value) const;
  // Hands changed HRQ settings to the instrument, which reports them back (AddDeviceHRQData).
  virtual void SetHRQSettings(const THRQSettings& Value);
  // A complete "7902; " + settings report line.
  void AddDeviceHRQData(const std::string& line);
  void ReadDeviceCalibration();
  void SetCalibrationData(const TCalibrationData& data);
  bool UseDeviceCalibration() const { return FUseDeviceCalibration; }
  void SetUseDeviceCalibration(bool Value);
  void UserChangedDeviceCalibration(const TCalibrationData& data);
  // The error text, empty on success.
  std::string TransmitDeviceCalibrationData(const TCalibrationData& data);
  bool CheckCalibrationRange(double& Value);
  int32_t CalibFactorFloatToInt();
  void SetCalibFactorFloatToInt(int32_t Value);
  bool Ref20MHz() const { return FRef20MHz; }
  void SetRef20MHz(bool Value);
  void BeginUpdate();
  void EndUpdate();
  // Turns the two linear combinations of older settings files (under "Session_" + index + "_LC")
  // into virtual channels; true when anything was converted.
  bool TransformLinComb(TAppSettings& Settings, int32_t& virtLC1, int32_t& virtLC2);
  // Card 1..8, signal 1..32; empty outside.
  std::string DGIName(int32_t card, int32_t signal) const;
  void SetDGIName(int32_t card, int32_t signal, const std::string& name);
  TClockAlarmDefs& ClockAlarm() { return *FClockAlarm; }

  // ---- State ----
  int32_t MultiId() const { return FMultiId; }
  // The session's own source, in-process.
  TSourceHandle Source() const { return TSourceHandle(FMultiId); }
  TZCT_DataManagement& ZCT_DM() const { return *FZCT_DM; }
  TIVC_DataManagement& IVC_DM() const { return *FIVC_DM; }
  // The last report lines processed, for the debug view.
  const TReportLineTap& ReportLines() const { return FReportLines; }
  TQVSessionItem* LinkedSession() const;
  // The shown state as one copy; the single queries below read one field of it each.
  TQVSessionStatus Status() const;
  bool HasDataHeader() const;
  TQVHeader DataHeader() const;
  uint8_t Mode() const { return FMode.load(); }
  int32_t IntervalIndex() const { return FIntervalIndex.load(); }
  uint8_t Scrambler() const { return FScrambler.load(); }
  uint8_t PPI() const { return FPPI.load(); }
  std::string PPIText() const;
  std::string ScramblerText() const;
  std::string VersionString() const;
  // The last seconds time stamp ("Sync: " in the status bar) and the last status report.
  std::string BufNo7015() const;
  std::string BufNo7000() const;
  bool IsESP() const { return StatusField(&TQVSessionStatus::IsESP); }
  bool HasPPI() const { return StatusField(&TQVSessionStatus::HasPPI); }
  bool ReferenceClockError() const { return FReferenceClockError.load(); }
  bool PLLError() const { return FPLLError.load(); }
  bool ZCTonly() const { return StatusField(&TQVSessionStatus::ZCTonly); }
  bool IVConly() const { return StatusField(&TQVSessionStatus::IVConly); }
  uint16_t HardFeature() const { return FHardFeature.load(); }
  bool SerialNumberOk() const { return FSerialNumberOk.load(); }
  bool DeviceInterruptedError() const { return FDeviceInterruptedError.load(); }
  int64_t DeviceMs() const { return FDeviceMs.load(); }
  TDateTime ZCTDateTime() const { return FZCTDateTime.load(); }
  TDateTime ZCTDateTimeStart() const { return FZCTDateTimeStart.load(); }
  TQV_DeviceStartState DeviceStartState() const { return FDeviceStartState.load(); }
  bool RawAvg() const { return StatusField(&TQVSessionStatus::RawAvg); }
  int32_t RawIntervalIndex() const { return FRawIntervalIndex; }
  uint8_t UserIdINI() const { return FUserIdINI.load(); }
  uint16_t DataPortINI() const { return FDataPortINI; }
  bool ReportStruct() const { return FReportStruct; }
  char DecSep() const { return FDecSep.load(); }
  // The local server's settings as one value; the queries below read one field each.
  const TLocalServerSettings& LocalServer() const { return FLocalServer; }
  bool RunLocalTcpServer() const { return FLocalServer.Run; }
  uint16_t LocalTcpServerPort() const { return FLocalServer.Port; }
  const std::string& LocalTcpServerAddress() const { return FLocalServer.ListenAddress; }
  const std::string& LocalTcpServerAllowedClients() const { return FLocalServer.AllowedClients; }
  // The local server keeps an archive of the binary records (in its root folder's port folder;
  // empty path: the server's default root), from which other instances replay periods.
  bool LocalTcpServerArchive() const { return FLocalServer.Archive; }
  const std::string& LocalTcpServerArchivePath() const { return FLocalServer.ArchivePath; }
  void SetLocalServerArchive(bool archive, const std::string& path);
  bool DebugStream() const { return FDebugStream; }
  bool WaitBufferCleared() const { return FWaits.BufferCleared; }
  bool WaitExpectedHeader() const { return FWaits.ExpectedHeader; }
  bool WaitHRQData() const { return FWaits.HRQData; }
  bool Wait7F51() const { return FWaits.ReSync; }
  bool WaitRawTimestamp() const { return FWaitRawTimestamp; }
  int32_t OverflowCounter() const { return FOverflowCounter; }
  double RemainTime() const { return FRemainTime; }
  int32_t TransmittedIVCs() const { return StatusField(&TQVSessionStatus::TransmittedIVCs); }
  int32_t TransmittedDGIs() const { return StatusField(&TQVSessionStatus::TransmittedDGIs); }
  const THRQSettings& HRQSettingsValue() const { return HRQSettings; }
  bool HRQSettingsAreSet() const { return HRQSettingsSet; }
  bool IVCCalibrationSet() const { return FIVCCalibrationSet; }
  bool DemoDGI() const { return FDemoDGI; }
  bool DemoIVC() const { return FDemoIVC; }
  int32_t DemoChannels() const { return FDemoChannels; }
  uint8_t DemoMode() const { return FDemoMode; }
  int32_t DemoRate() const { return FDemoRate; }

  // Mode queries on the current data header (false without one).
  bool IsModeAverage() const;
  bool IsModeFrequencyEnabled() const;
  bool IsModePhaseEnabled() const;
  bool IsModePhaseDiffEnabled() const;
  bool IsModeRawDataEnabled() const;
  bool IsModeIVCdiffEnabled() const;
  bool GetHasZCT() const;
  bool GetHasIVC() const;

 private:
  // Per-report diagnostic lines: only while the session has its own debug log and logs reports.
  bool ReportDetails() const;
  void ApplyReportDetails();
  friend class TSessionItem;
  struct TLink;
  // How a failed read is handled; the text and the structured path lead to the same cases.
  enum class TReadFailure {
    Nothing,
    Error,              // user error 21
    WriteOrServerDown,  // user error 22 unless the device opens again at once
    FileEnd,            // info 71, close
    NetworkClosed,      // user error 22, close
    HardwareFault,      // user error 22, close
    CmdIgnored,         // user error 76
    Reconnected,        // user error 31
    Recovered,          // info 23
    Exception,          // user error 21
  };

  TQVSessionItem(int32_t aLogId, int32_t aIndex, TSessionHandlers aHandlers, TQVSessionEnv aEnv);
  TQVSessionItem(TQVSessionItem& original, std::shared_ptr<TLink> link);

  const TClock& Clock() const;
  TQVSessionOptions Options() const;
  template <typename T>
  T StatusField(T TQVSessionStatus::*field) const {
    std::lock_guard lock(FStatusLock);
    return FStatus.*field;
  }
  void UpdateStatus(const std::function<void(TQVSessionStatus&)>& change);
  std::string Letter() const { return std::string(1, SessionLetter(Index())); }
  void Log(const std::string& text) const;
  void Warn(const std::string& text) const;
  void SamplerUpdate(bool copy, int32_t what, const std::string& text = {}) const;
  void WithLinked(const std::function<void(TQVSessionItem&)>& use) const;
  void TcpReportLog(const std::string& Data, int32_t logType) override;
  bool IsFileConnection() const;
  bool IsTcpClientConnection() const;

  // Opening (QV_SessionItem.cpp).
  std::string BuildOpenString();
  void StartupCommands();
  void StartLocalTcpServer();
  void StopLocalTcpServer();

  // The report pipeline (QV_SessionReports.cpp).
  void ReadReport(std::string& line, int32_t& code);
  bool ReadReportStruct(TQV_ReportStruct& record);
  void TakeDeviceMs(int64_t deviceMs, const char* operation, bool hasReport);
  TReadFailure FailureOfCode(int32_t code) const;
  TReadFailure FailureOfResult(TQV_Result result) const;
  void HandleFailure(TReadFailure failure, const std::string& text);
  void ThreadEvent_GetReportError(int32_t code, const std::string& text, bool reopen);
  // header: the line's header word, read once by the caller (from the record or the text).
  void ReportAuswerten(uint16_t header, std::string line, const TQV_ReportStruct* record);
  bool CheckExpectedHeader(uint16_t code);
  void SendAddedOpenCommand();
  bool IgnoreWhileWaiting(uint16_t code, const std::string& line, const std::string& data);
  void CheckHRQTimeout();
  uint16_t TakeOverflowBit(uint16_t header, std::string& line);
  void FixTimeBase(uint16_t code);
  void ZCTtimePlausibilityCheck();
  bool EvaluateByHeader(uint16_t code, const std::string& line, const std::string& data,
                        const TQV_ReportStruct* record);
  void EvaluateSeconds(uint16_t code, const std::string& data);
  void CheckRawTimestamp(const std::string& prefix);
  void EvaluateHeaderReport(const std::string& data);
  void EvaluateConnectedUsers(const std::string& data);
  void EvaluateMeasurement(uint16_t code, const std::string& line, const TQV_ReportStruct* record);
  void CountMeasurement();
  void SetDataHeader(uint16_t header, bool notify, bool headerReport);
  void SetDataMode(const TQVHeader& header, bool notify);
  uint16_t SetDataInterval(const TQVHeader& header, bool notify);
  void SetDataPPIAndScrambler(const TQVHeader& header, bool notify);
  void ThreadEvent_Report(int32_t header, const std::string& line);
  void EvaluateVersion(const std::string& line);
  void InterpretHardFeature(uint16_t value, const char* operation);
  void ReadDeviceDataAfterVersion(bool demo, int32_t firmware);
  void StartHRQRead(const char* operation);
  void EvaluateErrorReport(uint16_t code, const std::string& line);
  void ResetWaitBufferCleared();
  void ResetWaitExpectedHeader();
  void ResetWaitHRQData();
  void ResetWait7F51();
  void EnableLogStrings(const char* operation);
  std::string DeviceTimeText() const;

  // Configuration (QV_SessionConfig.cpp).
  void ReadDemoSettings(TAppSettings& Settings, const std::string& P);
  void ReadDGINames(TAppSettings& Settings, const std::string& P);
  void ReadNominalFrequencies(TAppSettings& Settings, const std::string& P);
  void ReadIVCSettings(TAppSettings& Settings, const std::string& P);
  void SaveDemoSettings(TAppSettings& Settings, const std::string& P);
  void SaveNominalFrequencies(TAppSettings& Settings, const std::string& P);
  void SaveIVCSettings(TAppSettings& Settings, const std::string& P);
  bool IVCCarrierIsCopy() const;

  // Fields in declaration order of the design (text buffers for the source are locals of the
  // calls that use them, since both threads reach the source).
  int32_t FMultiId;
  std::atomic<int32_t> FCalibFactorFloatToInt{-1};
  std::shared_ptr<TClockAlarmDefs> FClockAlarm;
  std::atomic<bool> FPPIcmdSent{false};
  std::shared_ptr<TLink> FLink;  // the copy for the interval-counter part, or (in the copy) its original
  bool FDebugStream = false;
  bool FClearBufferOnStart = true;
  std::atomic<int64_t> FDeviceMs{-1};
  std::atomic<TQV_DeviceStartState> FDeviceStartState{ds_unknown};
  bool FDeviceStartStateTaken = false;
  bool FRef20MHz = false;
  std::atomic<bool> FSerialNumberOk{false};
  std::atomic<bool> FDeviceInterruptedError{false};
  std::atomic<uint16_t> FHardFeature{0};
  int32_t FDemoChannels = 4;
  uint8_t FDemoMode = 1;
  int32_t FDemoRate = 9;
  bool FDemoDGI = true;
  bool FDemoIVC = true;
  std::atomic<TDateTime> FZCTDateTime;
  std::atomic<TDateTime> FZCTDateTimeStart;
  bool FZCTtimeCheckNeeded = false;
  TDateTime FiniDateTime;
  mutable std::mutex FStatusLock;
  TQVSessionStatus FStatus;  // guarded by FStatusLock
  int32_t FHeader = NoHeader;
  int32_t FOldHeader = NoHeader;
  TLocalServerSettings FLocalServer;
  TQV_ChannelData FIVCChannelData;
  TQV_ChannelData FVirtualIVCChannelData;
  std::string FvirtualIVCDescription;
  std::atomic<bool> FUseDeviceCalibration{false};
  bool FIVCCalibrationSet = false;
  int32_t FOverflowCounter = 0;
  double FRemainTime = 0;
  std::atomic<bool> FReferenceClockError{false};
  bool FReportDataDuringReferenceClockError = true;
  std::atomic<bool> FPLLError{false};
  int32_t FPLLokCount = 0;
  std::atomic<int32_t> FIntervalIndex{-1};
  std::atomic<uint8_t> FMode{UnknownMode};
  std::atomic<uint8_t> FPPI{0};
  std::atomic<uint8_t> FScrambler{UnknownScrambler};
  int32_t FRawIntervalIndex = -1;
  uint16_t FDataPortINI = 0;
  int32_t FUpdateCounter = 0;
  std::atomic<uint8_t> FUserIdINI{AnyUser};
  int32_t FZMCount = 0;
  TSteadyTime FZMStart{};
  int32_t FZMSum = 0;
  TSteadyTime::duration FZMSumTime{};
  std::shared_ptr<TZCT_DataManagement> FZCT_DM;
  std::shared_ptr<TIVC_DataManagement> FIVC_DM;
  THRQSettings HRQSettings;
  bool HRQSettingsSet = false;
  std::optional<TQVHeader> FExpectedHeader;
  std::optional<std::pair<uint16_t, std::string>> FLastCorrection;  // reported header and the command sent
  std::vector<std::string> FAddedOpenCommands;
  size_t FOpenCommandIndex = 0;
  std::atomic<char> FDecSep{','};
  bool FReportStruct = false;
  TQVStartupWaits FWaits;
  std::atomic<bool> FWaitRawTimestamp{false};
  std::string FignoredTimestamp;
  bool PhaDiffReset = false;
  std::array<std::array<std::string, DGISignals>, DGICards> DGIs;

  std::atomic<bool> FFileDevice{false};  // the open connection plays a recording
  std::atomic<bool> FStructuredReports{false};  // the open connection is read as structured reports
  TQVSessionEnv FEnv;
  mutable std::mutex FOptionsLock;
  TQVSessionOptions FOptions;  // guarded by FOptionsLock
  TReportLineTap FReportLines;
};

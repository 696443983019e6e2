#pragma once
#include <atomic>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "core/App_Settings.h"
#include "core/Clock.h"
#include "devices/QV_CommonTypes.h"
#include "devices/QV_HRQSettings.h"

class IQV_CommandSender;
class TCircularBuffer;
class TEvent;
class TQV_DeviceInfo;

// The abstract byte-stream device. A transport fills the receive buffer from its own reader and
// sends commands through DeviceWrite; the report decoder peeks, confirms, writes and asks about the
// device's state. The base keeps what is learnt about the instrument, the command delay of the
// command queue, the last error and the maintenance exchanges every transport shares (flash
// identity, HRQ settings, calibration data).
class TQV_BaseDevice {
 public:
  static constexpr uint32_t UnknownSerialNumber = 0xFFFFFFFF;
  static constexpr uint8_t NoUser = 255;
  static constexpr uint8_t FlashBlockSize = 76;
  static constexpr uint32_t FlashWaitMs = 1000;
  // How long a Coldfire instrument may take beyond an elapsed command delay to confirm the command
  // with report 7901. Its slowest confirmation (a memory write) comes well within a second; after
  // this the confirmation counts as lost, so that the command queue does not stall for good.
  static constexpr int32_t ColdfireConfirmLimitMs = 5000;
  // States of the flash identity read.
  enum : int32_t { rfSend = 0, rfCheck = 1, rfWait = 2, rfDone = 3 };

  // Without aReceiveEvent the device takes the process-wide event "BaseReceiveEvent".
  TQV_BaseDevice(int32_t aLogId, int32_t aMultiId, std::shared_ptr<TEvent> aReceiveEvent, bool aDoResetEvent,
                 const TClock& clock = SystemClock());
  virtual ~TQV_BaseDevice();
  TQV_BaseDevice(const TQV_BaseDevice&) = delete;
  TQV_BaseDevice& operator=(const TQV_BaseDevice&) = delete;

  // ---- Virtual operations (slot order) ----
  virtual uint32_t BufferAmount() const;
  virtual uint32_t BufferHighAmount() const;
  virtual std::string DeviceHost() const { return {}; }
  virtual std::string DeviceIP() const { return {}; }
  virtual void SetDeviceStartState(TQV_DeviceStartState Value);
  virtual void SetReceivedSec(uint32_t Value) { FReceivedSec = Value; }
  virtual void SetReferenceClockError(bool Value) { FReferenceClockError = Value; }
  virtual uint32_t SerialNumberValue() const { return FSerialNumberValue; }
  virtual void SetLowLevelLog(bool Value);
  // True (with ErrorCode and ErrorMessage set) when the device has gone.
  virtual bool CheckDeviceClosed() = 0;
  virtual int32_t PendingCmdsCount() const { return 0; }
  // Taken only while the port is closed.
  virtual void SetBlockingIO(bool Value);
  virtual void SetReadTimeoutMs(uint32_t Value);
  virtual int32_t GetDelayNextCmdMs();
  virtual void SetDelayNextCmdMs(int32_t ms);
  virtual void DeleteCommands() {}
  virtual void ResetDevice() {}
  virtual void QuitError();
  // Asks the decoder for HRQ slice HRQReadCount + 1; false when the count is beyond the last slice
  // or the command could not be sent.
  virtual bool ReadHRQData(IQV_CommandSender* Sender);
  virtual bool ClosePort() = 0;
  virtual bool OpenPort(std::string& ErrorMsg) = 0;
  virtual std::string DeviceRead(uint8_t len);
  // The received bytes at hand, up to maxLen, taken in one go; waits and checks like DeviceRead
  // when there are none. Byte-stream readers use it instead of reading byte by byte.
  virtual std::string DeviceReadAvailable(uint32_t maxLen);
  // Sends the bytes; false on failure with ErrorCode set.
  virtual bool DeviceWrite(const std::string& Data) = 0;
  virtual std::string ToolsRead(uint8_t len);
  virtual std::string ToolsReadAnsi(uint8_t len);
  virtual bool ConfirmPeekedData(uint16_t len);
  virtual std::string PeekAnsi(uint32_t len);
  virtual bool PeekChar(uint8_t& Zeichen);
  virtual void GetBufferAmounts(uint32_t& amount, uint32_t& highAmount) const;
  virtual bool IsEqual(const TQV_BaseDevice* item) const { return item == this; }
  // One line describing the device for diagnostics.
  virtual std::string ToString() const;

  // ---- Reading ----
  // The whole tools buffer, read in pieces of at most 255 bytes.
  std::string ToolsReadAll();
  std::string ToolsReadAllAnsi() { return ToolsReadAll(); }
  // Waits up to ReadTimeoutMs for the receive event; true when it was signalled.
  bool WaitReceiveEvent();
  // Lets the time pass on the device's clock without blocking the processor for long.
  void WaitSleep(uint32_t ms);

  // ---- Queries ----
  // A new info with serial number, peer type and the 32-bit features; none while the serial number
  // is unknown.
  std::unique_ptr<TQV_DeviceInfo> GetDeviceInfo() const;
  void IncReportCounter() { ++FReportCounter; }
  bool IsCANDevice() const { return FDevType == QV_CAN_Menlo; }
  bool IsNetworkDevice() const { return FDevType == QV_Remote; }
  bool IsSerialDevice() const { return FDevType == QV_Serial; }
  bool IsUSBDevice() const { return FDevType == QV_HID || FDevType == QV_CDC; }

  // ---- Command classification ----
  // One byte whose low 7 bits are 10, 32..47 or 64..95 (commands that change the settings report).
  static bool Is7020Cmd(std::string_view cmd);
  static bool Is7020Cmd(std::u16string_view cmd);
  // One byte "0".."0"+11, or two bytes starting with "?".
  static bool IsChannelCmd(std::string_view cmd);
  static bool IsChannelCmd(std::u16string_view cmd);
  // Starts with 0x85 "E".
  static bool IsReadNVSCmd(std::string_view cmd);
  static bool IsReadNVSCmd(std::u16string_view cmd);

  // Decides the start state once, from the first timestamp report (08 70 16 + counter) in the data.
  void CheckTimeStampBytes(std::string_view ansi);

  // ---- Errors ----
  void SetSystemError(uint32_t LastError, const std::string& TextHeader, const std::string& TextContent);
  // Takes the calling thread's last system error (errno) and its text.
  void SetSystemError(const std::string& Text);
  TQV_Result ErrorCode() const;
  std::string ErrorMessage() const;
  uint32_t SystemLastError() const;

  // ---- Raw-data recording ----
  bool StartSaveBinaryData(const std::string& filename);
  // Appends while recording; transports call it with every received block. Any thread.
  void SaveBinaryData(const void* buffer, size_t count);
  bool StopSaveBinaryData();
  bool BinSaveRawData() const { return FBinSaveRawData; }

  // ---- Maintenance exchanges ----
  bool SetCalibrationDataString(const std::string& Data);
  bool SetHRQDataString(const std::string& Data);
  // Takes a 7902 reply; returns its report line, empty while more slices follow.
  std::string Check7902Report(const std::string& BinaryString);
  // One step of the flash identity read; the owner calls it until StatusReadFlash is rfDone.
  void ReadFlash();
  void SetUserConnected(const std::string& ansi);
  // "  1: ---  2: 10.0.0.1 (me)..." for the four 4-byte user slots.
  std::string ConvertConnectedUsersBinToAnsi(const std::string& BinString, const std::string& ServerIPAndPort) const;
  void SetFFPGAVersion(const std::string& Value);
  void SetFirmwareVersionNumber(int32_t Value);
  void GetESPFirmwareVersion(int32_t& aMajor, int32_t& aMinor) const;
  void SetESPFirmwareVersion(int32_t aMajor, int32_t aMinor);
  void SetSerialNumberValue(uint32_t Value);
  void SetCFUserID(uint8_t Value);
  void SetHardFeature(uint16_t Value);
  void SetHardFeature32(uint32_t Value);

  // ---- Properties ----
  int32_t LogId() const { return FLogId; }
  void SetLogId(int32_t Value) { FLogId = Value; }
  uint8_t BlobNumber() const { return FBlobNumber; }
  TCmdResponseType CmdResponse() const { return FCmdResponse; }
  void SetCmdResponse(TCmdResponseType Value);
  // A copy: the writer of a line thread sets it while the readers of blocks look at it.
  std::string LastCommand() const;
  void SetLastCommand(const std::string& Value);
  int32_t ZCTChannelCount() const { return FZCTChannelCount; }
  void SetZCTChannelCount(int32_t Value) { FZCTChannelCount = Value; }
  uint16_t ZCTReportHeader() const { return FZCTReportHeader; }
  void SetZCTReportHeader(uint16_t Value);
  bool ResetCmdSent() const { return FResetCmdSent; }
  void SetResetCmdSent(bool Value) { FResetCmdSent = Value; }
  int32_t CalibFactorFloatToInt() const { return FCalibFactorFloatToInt; }
  void SetCalibFactorFloatToInt(int32_t Value);
  uint32_t CFBufferAmount() const { return FCFBufferAmount; }
  void SetCFBufferAmount(uint32_t Value) { FCFBufferAmount = Value; }
  uint32_t PeerRepeatAddr() const { return FPeerRepeatAddr; }
  void SetPeerRepeatAddr(uint32_t Value) { FPeerRepeatAddr = Value; }
  // The part of DevicePath from the first "COM" on, else empty.
  std::string COMName() const;
  bool ContextTool() const { return FContextTool; }
  void SetContextTool(bool Value);
  const std::string& DevicePath() const { return FDevicePath; }
  void SetDevicePath(const std::string& Value) { FDevicePath = Value; }
  TQV_DeviceType DevType() const { return FDevType; }
  bool DoResetEvent() const { return FDoResetEvent; }
  void SetDoResetEvent(bool Value);
  int32_t FirmwareVersionNumber() const { return FFirmwareVersionNumber; }
  uint8_t FlagVersion() const { return FFlagVersion; }
  bool ForcedClose() const { return FForcedClose; }
  void SetForcedClose(bool Value) { FForcedClose = Value; }
  TQV_FPGAType FPGAtype() const { return FFPGAtype; }
  const std::string& FPGAVersion() const { return FFPGAVersion; }
  uint16_t HardFeature() const { return FHardFeature; }
  uint32_t HardFeature32() const { return FHardFeature32; }
  int32_t MultiId() const { return FMultiId; }
  void SetMultiId(int32_t Value) { FMultiId = Value; }
  bool Opt7019() const { return FOpt7019; }
  void SetOpt7019(bool Value) { FOpt7019 = Value; }
  TQV_PeerType PeerType() const { return FPeerType; }
  // Only file devices take a peer type from outside (the decoder recognises the recorded data);
  // other transports set it themselves.
  void SetPeerType(TQV_PeerType Value);
  bool ReferenceClockError() const { return FReferenceClockError; }
  const std::string& UserConnected() const { return FUserConnected; }
  bool DemoData() const { return FDemoData; }
  void SetDemoData(bool Value);
  const std::string& FlashVariables() const { return FFlashVariables; }
  int32_t StatusReadFlash() const { return FStatusReadFlash; }
  const TFormatSettings& FormatSettings() const { return FFormatSettings; }
  // True while the port is open or unread data remain in the receive buffer.
  bool PortIsOpened() const;
  bool HasCommandList() const { return FHasCommandList; }
  TCircularBuffer& ReceiveBuffer() { return *FReceiveBuffer; }
  TCircularBuffer& ToolsBuffer() { return *FToolsBuffer; }
  // Read-and-reset flag of the receive buffer.
  bool ReceiveBufferCleared();
  bool SerialNumberRead() const { return FSerialNumberRead; }
  uint8_t RegisterID() const { return FUserID; }
  uint8_t UserID() const { return FCFuserID; }
  // Stores a requested user slot 1..4; anything else means none (255).
  void SetUserID(uint8_t Value);
  TQV_DeviceStartState DeviceStartState() const { return FDeviceStartState; }
  bool LowLevelLog() const { return FLowLevelLog; }
  bool BlockingIO() const { return FBlockingIO; }
  uint32_t ReadTimeoutMs() const { return FReadTimeoutMs; }
  uint32_t ReceivedSec() const { return FReceivedSec; }
  uint32_t ReportCounter() const { return FReportCounter; }

  // State of the HRQ settings read, shared with the session that starts it.
  IQV_CommandSender* HRQSender = nullptr;
  int32_t HRQReadCount = 0;
  int32_t HRQReadCountLast = -1;
  THRQSettings HRQReadSettings;

 protected:
  void SetError(TQV_Result code, const std::string& message);
  // Tries `read` once; when it gives nothing, checks the device and, with blocking I/O and no error,
  // waits once for the receive event and tries again.
  template <typename Read>
  auto ReadOrWait(Read read) -> decltype(read());
  // Memory-write command of the Coldfire firmware: 0x85 "#" + 4-byte address.
  static std::string MemoryWriteCommand(uint32_t address, std::string_view data);
  void TakeFlashVariables();
  void CheckFlashWait();
  void SetFPGATypeFromVersion(int year);

  int32_t FLogId;
  int32_t FCalibFactorFloatToInt = 1000;
  std::atomic<TCmdResponseType> FCmdResponse = crt_none;
  // The delay is set by the writer and cleared by the reader: one word each, no lock.
  std::atomic<int32_t> FDelayNextCmdMs = 0;
  std::atomic<uint64_t> FDelayNextCmdStartTime = 0;  // tick ms of the clock
  std::atomic<uint16_t> FZCTReportHeader = 0xFFFF;
  std::string FLastCommand;
  mutable std::mutex FLastCommandLock;
  uint8_t FBlobNumber = 255;
  bool FContextTool = false;
  std::atomic<TQV_DeviceStartState> FDeviceStartState = ds_unknown;  // USB and network readers decide it
  bool FReferenceClockError = false;
  uint8_t FUserID = NoUser;
  int32_t FFirmwareVersionMajor = -1;
  int32_t FFirmwareVersionMinor = -1;
  int32_t FFirmwareVersionNumber = 0;
  uint8_t FFlagVersion = 0;
  int32_t FMultiId;
  uint16_t FHardFeature = 0;
  uint32_t FHardFeature32 = 0;
  bool FOpt7019 = false;
  std::string FUserConnected;
  bool FDemoData = false;
  bool FLowLevelLog = false;
  uint8_t FReadFlashBlockSize = FlashBlockSize;
  int32_t FStatusReadFlash = rfSend;
  uint32_t FTickReadFlash = 0;
  TFormatSettings FFormatSettings;
  TQV_FPGAType FFPGAtype = ft_unknown;
  std::string FFPGAVersion;
  bool FDoResetEvent;
  bool FFreeReceiveEvent;
  std::shared_ptr<TEvent> FReceiveEvent;
  std::atomic<uint32_t> FReceivedSec = 0;
  std::unique_ptr<TCircularBuffer> FReceiveBuffer;
  bool FSerialNumberRead = false;
  std::unique_ptr<TCircularBuffer> FToolsBuffer;
  std::mutex FBinLock;
  std::unique_ptr<std::ofstream> FBinDataStream;
  bool FBinSaveRawData = false;
  // Written by the USB line and network readers while the decoder reads them.
  std::atomic<uint32_t> FCFBufferAmount = 0;
  std::atomic<uint8_t> FCFuserID = NoUser;
  std::string FDevicePath;
  TQV_DeviceType FDevType = QV_Serial;
  // Learnt from the blocks on a reader thread while commands read it.
  std::atomic<int32_t> FZCTChannelCount = 0;
  std::atomic<uint32_t> FPeerRepeatAddr = 0;
  // The network device learns the peer on its data server's thread while others read it.
  std::atomic<TQV_PeerType> FPeerType = ptUnknown;
  uint32_t FReportCounter = 0;
  std::atomic<bool> FResetCmdSent = false;
  uint32_t FSerialNumberValue = UnknownSerialNumber;
  mutable std::mutex FErrorLock;
  std::string FErrorMessage;
  TQV_Result FErrorCode = QV_No_Err;
  uint32_t FSystemLastError = 0;
  std::string FFlashVariables;
  std::atomic<bool> FPortIsOpened = false;
  bool FForcedClose = false;
  bool FBlockingIO = false;
  bool FHasCommandList = false;
  uint32_t FReadTimeoutMs = 200;
  const TClock& FClock;
};

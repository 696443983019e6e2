#pragma once
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Clock.h"
#include "devices/IQV_CommandSender.h"
#include "devices/QV_CommonTypes.h"
#include "protocol/QV_Commands.h"
#include "protocol/QV_Report.h"

class TQV_BaseDevice;
class TQV_DeviceInfoList;
struct TQV_TransmitBlock;

enum TReadModes : uint8_t { rxCommand = 0, rxData = 1 };

// Decodes measurement values of a structured record. The report processing owns the value formats;
// until it installs its decoder the records carry the instrument's raw 8-byte values unchanged.
using TQV_MeasurementValueDecoder =
    std::function<void(uint16_t header, std::string_view rawValues, TQV_ReportStruct& record)>;

// Turns one device's byte stream into reports, one per call: binary report strings (two header
// bytes, most significant first, then the payload) or TQV_ReportStruct records. Knows the framing of
// every transport, checks lengths and checksums, resynchronises after damage, keeps the device time,
// takes the instrument's identity from its version report and alternates queued commands with the
// reading of reports. Called from the report thread; SendCommand also from the window thread.
class TQV_ReportDevice : public IQV_CommandSender {
 public:
  static constexpr int32_t SavedReportSlots = 16;
  static constexpr uint32_t HeartbeatMs = 5000;
  static constexpr uint32_t SerialWakeUpMs = 1000;
  static constexpr size_t MaxSerialFrame = 260;
  // Bytes the serial reader takes from the device at once.
  static constexpr uint32_t SerialBlockSize = 4096;
  static constexpr size_t MaxTcpPayload = 8192;

  // aInfoList: the program-wide device-information list (may be null).
  explicit TQV_ReportDevice(TQV_BaseDevice* aDevice, TQV_DeviceInfoList* aInfoList = nullptr,
                            const TClock& clock = SystemClock());
  ~TQV_ReportDevice() override;
  TQV_ReportDevice(const TQV_ReportDevice&) = delete;
  TQV_ReportDevice& operator=(const TQV_ReportDevice&) = delete;

  // ---- Reading ----
  // QV_No_Err with an empty report: nothing was complete.
  TQV_Result DeviceGetReport(std::string& report);
  // No structured reader for the device type: a cleared record and QV_DLL_internalError.
  TQV_Result GetReportStruct(TQV_ReportStruct& record);
  // The command sender of the current reader (the readers call it in rxCommand mode).
  TQV_Result DeviceProcessCommand(std::string& report);

  // ---- Commands ----
  TQV_Result SendCommand(const std::string& cmd) override;
  // A failed write leaves the device's message in `reply`.
  TQV_Result SendCommand(const std::string& cmd, std::string& reply);
  int32_t GetPendingCmdsCount() const;
  void DeleteCommands();

  // ---- Maintenance ----
  void ReSync();
  void ResetLastFPGA();
  // "VERSION" text split on " / ": the third part in hexadecimal.
  bool ExtractSerialNumber(std::string_view s, uint32_t& serialNumber) const;
  // "VERSION" text with "User": the digit right after "User".
  bool ExtractUserID(std::string_view s, uint8_t& userID) const;
  std::string GetFWVersionNumberString() const;
  // Appends a record to the held-back records (delivered oldest first before new ones).
  void SetSavedReport(const TQV_ReportStruct& Value);
  // The oldest held-back record, or false (and a cleared record) when there is none.
  bool GetSavedReport(TQV_ReportStruct& Value);
  void SetMeasurementValueDecoder(TQV_MeasurementValueDecoder decoder) { FValueDecoder = std::move(decoder); }

  // ---- Properties ----
  TQV_BaseDevice* Device() const { return FDevice; }
  const std::string& DbgTag() const { return FDbgTag; }
  int64_t DeviceMs() const { return FDeviceMs; }
  uint32_t Device100ms() const { return FDevice100ms; }
  // Serial bytes taken from the device and not decoded yet.
  size_t SerialBytesPending() const { return FSerialBlock.size() - FSerialBlockPos; }
  const std::string& FirmwareDate() const { return FFirmwareDate; }
  int32_t FirmwareVersion() const { return FVersion; }
  const std::string& FPGAVersion() const { return FFPGAVersion; }
  int32_t FWMajor() const { return FMajor; }
  int32_t FWMinor() const { return FMinor; }
  const std::string& FWVersionString() const { return FFWVersionString; }
  uint16_t HardFeature() const { return FHardFeature; }
  const std::string& HardFeatureString() const { return FHardFeatureString; }
  bool IsIVConly() const { return (FHardFeature & 0x02) && !(FHardFeature & 0x01); }
  int32_t PendingCmdsCount() const { return GetPendingCmdsCount(); }
  // Read-and-reset.
  bool SerialBufferCleared();
  const std::string& VersionIP() const { return FVersionIP; }
  uint32_t VersionSerialNumber() const { return FVersionSerialNumber; }
  const std::string& VersionString() const { return FVersionString; }
  uint8_t VersionUser() const { return FVersionUser; }
  bool VersionReceived() const { return FVersionReceived; }
  bool RefClockError() const { return FRefClockError; }
  int32_t LastFPGA() const { return FLastFPGA; }
  TReadModes RxMode() const { return FRxMode; }

  // Write every report into the device's logger.
  bool LogReport = false;

 private:
  using TReader = TQV_Result (TQV_ReportDevice::*)(std::string&);
  using TStructReader = TQV_Result (TQV_ReportDevice::*)(TQV_ReportStruct&);

  // ---- Common (QV_ReportDevice.cpp) ----
  void ChooseHandlers();
  TQV_Result CheckDeviceError(std::string& report);
  // rxCommand after a read when commands wait, so that commands and reports alternate.
  void FinishRead();
  void UpdateDeviceTime(std::string_view binaryReport);
  void UpdateDeviceTimeFromText(std::string_view line);
  void AdvanceMeasurementTime(uint16_t header);
  // Peeks what is there, at most maxLen bytes (at least one when anything arrives).
  std::string PeekAvailable(uint32_t maxLen);
  void LogLine(const std::string& text) const;
  void LogErr(const std::string& text) const;
  // Applies a parsed Coldfire version to the decoder and the device; false when it did not parse.
  bool ApplyColdfireVersion(std::string_view text, const std::string& logPrefix);
  TQV_Result BaseProcessCommand(std::string& report);
  TQV_Result BaseProcessCommandStruct(TQV_ReportStruct& record);
  TQV_Result SendQueuedCommand(std::string& report, const char* senderName);
  TQV_Result FileProcessCommand(std::string& report);
  TQV_Result UnknownGetReportStruct(TQV_ReportStruct& record);
  // A binary report as a record: measurements through the value decoder, timestamps, calibration,
  // HRQ slices and the version as messages. False when nothing is to be delivered.
  bool BinaryToRecord(const std::string& binary, TQV_ReportStruct& record);
  void CalibrationRecord(std::string_view payload, TQV_ReportStruct& record) const;

  // ---- Formats 1 and 2: USB, CAN and serial frames (QV_ReportDeviceUsb.cpp) ----
  TQV_Result USBGetReport(std::string& report);
  TQV_Result CANGetReport(std::string& report);
  TQV_Result USBReadFrame(std::string& report);
  bool USBSkipToDelimiter();
  TQV_Result USBFormatError(std::string& report, const std::string& message);
  // Version, user id and 7901 handling of a Coldfire report; false when the report is dropped.
  bool TakeColdfireReport(std::string& report, const char* readerName);
  TQV_Result SerialGetReport(std::string& report);
  TQV_Result SerialProcessCommand(std::string& report);
  TQV_Result SerialEndByte(uint8_t endByte, std::string& report, bool& done);
  void SerialResetFrame();
  // The next byte of the serial stream, from the block taken last; a new block is taken from the
  // device when that one is used up. False when the device has none.
  bool SerialNextByte(uint8_t& c) {
    if (FSerialBlockPos == FSerialBlock.size() && !SerialTakeBlock()) return false;
    c = static_cast<uint8_t>(FSerialBlock[FSerialBlockPos++]);
    return true;
  }
  // Takes the received bytes at hand from the device, with one clock read.
  bool SerialTakeBlock();
  // Sends one protocol byte; `logText` makes its diagnostic line, only when a logger takes it.
  template <typename LogText>
  bool SerialWrite(uint8_t byte, LogText logText);
  // The result of a failed protocol write, as the caller sees it.
  TQV_Result SerialWriteFailure(std::string& report);

  // ---- Format 3: network-module transmit blocks (QV_ReportDeviceEsp.cpp) ----
  TQV_Result ESPGetReport(std::string& report);
  TQV_Result ESPGetReportStruct(TQV_ReportStruct& record);
  // Reads and converts one block into reports in delivery order (empty: nothing to deliver).
  TQV_Result ESPReadReports(std::vector<std::string>& reports, std::string& errorText);
  TQV_Result ReadTransmitBlock(TQV_TransmitBlock& block, std::string& errorText);
  std::string ConvertTransmitBlock(const TQV_TransmitBlock& block);
  void CheckESPTimestamp(const TQV_TransmitBlock& block, std::string& report);
  void CheckESPMeasurement(const TQV_TransmitBlock& block, std::vector<std::string>& reports);
  void CheckESPVersion(std::string& report, std::string_view text);
  void CheckESPMessageCodes(uint16_t code);
  void CheckHeartbeat(std::vector<std::string>& reports);
  void ResetHeartbeatTicks();

  // ---- Formats 4 to 7: TCP, archive, demo and files (QV_ReportDeviceStream.cpp) ----
  TQV_Result TCPGetReport(std::string& report);
  TQV_Result TCPFormatError(std::string& report, const std::string& message);
  TQV_Result ArchiveGetReport(std::string& report);
  TQV_Result DemoGetReport(std::string& report);
  TQV_Result DemoGetReportStruct(TQV_ReportStruct& record);
  TQV_Result DemoReadFrame(std::string& binary, std::string& errorText);
  bool DemoFindIdentifier();
  TQV_Result DemoProcessCommand(std::string& report);
  TQV_Result DemoProcessCommandStruct(TQV_ReportStruct& record);
  TQV_Result FileGetBinReport(std::string& report);
  TQV_Result FileGetTextReport(std::string& report);

  std::string FDbgTag;
  int32_t FLogId;
  bool FMissingKennung = false;
  TQV_CommandQueue FCmdList;
  TQV_BaseDevice* FDevice;
  TQV_DeviceInfoList* FInfoList;
  const TClock& FClock;
  TQV_ReplyWaitGuard FReplyWaitGuard;
  TReader FGetReport = nullptr;
  bool FIgnoreNextFormatError = false;
  TReader FProcessCommand = nullptr;
  TStructReader FGetReportStruct = nullptr;
  TStructReader FProcessCommandStruct = nullptr;
  std::atomic<TReadModes> FRxMode = rxData;
  std::atomic<bool> FVersionReceived = false;
  bool FZCTMeasIntervalEnd = false;
  int32_t FLastFPGA = -1;
  uint8_t FLastMeasMode = 255;
  int32_t FOffsetFPGA = 0;
  bool FRefClockError = false;
  std::deque<std::string> FSaveData;
  std::deque<TQV_ReportStruct> FSavedReports;
  uint64_t FFirstReceiveTicks = 0;
  uint64_t FReceiveTicksTimestamp = 0;
  uint64_t FReceiveTicksMeasuremnt = 0;
  bool FFirstTimestamp = true;
  bool FPowerUpNoReference = false;
  bool FRefClockErrorSend = false;
  // Serial protocol state.
  int32_t FCheckSum = 0;
  std::string FCmdStringSerial;
  std::string FCMDEcho;
  uint8_t FLastChar = ' ';
  uint8_t FLastEOL = 0xFF;
  uint8_t FLastAckn = 0xFE;
  std::string FReceivedString;
  int32_t FCmdCharCount = 0;
  int32_t FOffset = 0;
  int32_t FRecIndex = 0;
  int32_t FEchoErrors = 0;
  uint64_t FRxDTime = 0;
  std::string FSerialBlock;   // bytes taken from the device and not yet decoded
  size_t FSerialBlockPos = 0;
  uint64_t FSerialBlockTime = 0;  // tick when the block was taken
  std::atomic<bool> FSerialBufferCleared = false;
  // Device time.
  int64_t FDeviceMs = -1;
  int32_t FDeviceMsCount = 0;
  uint32_t FDevice100ms = 0;
  bool FmissingBF = false;
  bool FignoreNextBF = false;
  // Playback detection of the automatic binary reader.
  bool FBinDetectionLogged = false;
  // Identity from the version report.
  std::string FFirmwareDate;
  std::string FFPGAVersion;
  std::string FFWVersionString;
  uint16_t FHardFeature = 0;
  std::string FHardFeatureString;
  std::string FMajorMinorStr;
  int32_t FMajor = -1;
  int32_t FMinor = -1;
  int32_t FVersion = -1;
  std::string FVersionIP;
  std::string FVersionString;
  uint32_t FVersionSerialNumber = 0xFFFFFFFF;
  uint8_t FVersionUser = 255;
  TQV_MeasurementValueDecoder FValueDecoder;
};

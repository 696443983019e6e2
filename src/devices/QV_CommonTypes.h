#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/QV_NumberText.h"

// Result of every device, decoder and source operation; stored as one byte.
enum TQV_Result : uint8_t {
  QV_No_Err = 0,
  QV_No_Err_ASCII = 1,
  QV_No_Err_Recovered = 2,
  QV_System_Err = 3,
  QV_Err_BadFormat = 4,
  QV_Err_BadFormatIgnore = 5,
  QV_Err_ReceiveBufferCleared = 6,
  QV_Err_ReceiveBufferOverflow = 7,
  QV_Err_DataTransferInterrupted = 8,
  QV_DLL_internalError = 9,
  QV_CmdIgnored = 10,
  QV_WriteError = 11,
  QV_DeviceNotConnected = 12,
  QV_DeviceNotFound = 13,
  QV_TooManyUser = 14,
  QV_HardwareFault = 15,
  QV_Err_Exception = 16,
  QV_Err_SourceNotFound = 17,
  QV_Err_DeviceResetted = 18,
  QV_CAN_Err = 19,
  QV_Err_EndOfFile = 20,
  QV_FTDI_ConfigError = 21,
  QV_FTDI_LoadError = 22,
  QV_FTDI_ReadError = 23,
  QV_FTDI_VCPError = 24,
  QV_Err_ServerDown = 25,
  QV_RpcCallFailed = 26,
  QV_RpcCallDenied = 27,
  QV_RpcResponseBadFormat = 28,
  QV_ServerNotConnected = 29,
  QV_NetworkNotConnected = 30,
  QV_SocketError = 31,
  QV_Err_CreateServerFailed = 32,
  QV_Err_StartServerFailed = 33,
  QV_Err_StopServerFailed = 34,
  QV_Err_ConnectFailed = 35,
  QV_Err_RequestTimeout = 36,
  QV_Err_RequestDenied = 37,
  QV_Err_RequestFailed = 38,
  QV_Err_ReceiveServerFailed = 39,
  QV_Err_RepeatRequest = 40,
  QV_Err_PingFailed = 41,
  QV_Err_Reconnected = 42,
  QV_Err_Disconnected = 43,
  QV_Err_AlreadyConnected = 44,
  QV_Err_NoWatch = 45,
  QV_Err_WatchErrorMsg = 46,
};

// Name of a result as diagnostics print it. Only the low 7 bits count: 0 and 1 read "QV_No_Err",
// 2..46 their own name, 47..127 "kein QV_Result".
std::string QV_ResultName(TQV_Result result);

// How an instrument is reached.
enum TQV_DeviceType : uint8_t {
  QV_Serial = 0,
  QV_HID = 1,
  QV_CDC = 2,
  QV_Remote = 3,  // network device
  QV_BinFile = 4,
  QV_TxtFile = 5,
  QV_RawFile = 6,
  QV_CAN_Menlo = 7,
  QV_TCP_Device = 8,
  QV_TCP_Archive = 9,
  QV_Simul = 10,
  QV_FPGAUSB = 11,
  QV_FPGANet = 12,
};
// "QV_Serial" and so on; the decimal number for values outside the enumeration.
std::string QV_DeviceTypeName(TQV_DeviceType type);

// The processor that speaks for the instrument; it decides the report and command dialect.
enum TQV_PeerType : uint8_t { ptUnknown = 0, ptColdfire = 1, ptESP = 2 };
std::string QV_PeerTypeName(TQV_PeerType type);  // "unknown", "Coldfire", "ESP"

enum TQV_DeviceStartState : uint8_t { ds_unknown = 0, ds_ColdStart = 1, ds_WarmStart = 2 };
std::string QV_DeviceStartStateName(TQV_DeviceStartState state);  // "unknown", "ColdStart", "WarmStart"

enum TQV_FPGAType : uint8_t { ft_unknown = 0, ft_Altera = 1, ft_MicroSemi = 2 };
std::string QV_FPGATypeName(TQV_FPGAType type);  // "unknown", "Altera", "MicroSemi"

// The reply a sent command waits for before the next command may go out.
enum TCmdResponseType : uint8_t {
  crt_none = 0,
  crt_interval = 1,
  crt_mode = 2,
  crt_scrambler = 3,
  crt_channel = 4,
  crt_phaseReset = 5,
  crt_login = 6,
  crt_ReadNVS = 7,
};
// "none", "interval", ..., "readNVS"; other values "unknown " + number.
std::string CmdResponseTypeName(TCmdResponseType type);

// Connection kind of a session as the connection dialog offers it.
enum TConnectionType : uint8_t {
  ctUSB = 0,
  ctSerial = 1,
  ctNetwork = 2,
  ctTCPServer = 3,
  ctFile = 4,
  ctCAN = 5,
  ctArchive = 6,
  ctBlueTooth = 7,
  ctDemoNone = 8,
};
// "ctUSB" and so on; the decimal number for values outside the enumeration.
std::string ConnectionTypeName(TConnectionType type);

// Hardware-feature word: the low byte carries the flags; the Coldfire and the network-module
// firmware give some bits different meanings.
constexpr uint16_t HardFeatureUnknown = 0xFFFF;
inline bool IsHardZCT(uint16_t value) { return value & 0x01; }
inline bool IsHardU(uint16_t value) { return value & 0x02; }
inline bool IsHardS(uint16_t value) { return value & 0x04; }
inline bool IsHardMRT9(uint16_t value) { return value & 0x08; }
inline bool IsHardESPserial(uint16_t value) { return value & 0x08; }
inline bool IsHardBit4(uint16_t value) { return value & 0x10; }
inline bool IsHardESPnotOR(uint16_t value) { return value & 0x10; }
inline bool IsHardBit5(uint16_t value) { return value & 0x20; }
inline bool IsHardESPCAN(uint16_t value) { return value & 0x20; }
inline bool IsHardBit6(uint16_t value) { return value & 0x40; }
inline bool IsHardESPstaticIP(uint16_t value) { return value & 0x40; }
inline bool IsHardBit7(uint16_t value) { return value & 0x80; }
// Set by the firmware: an all-0xFF HRQ slice is to be read again instead of taken as empty.
inline bool IsHardRepeatEmptyHRQ(uint16_t value) { return value & 0x4000; }
// Only 1..255 is a usable feature word.
inline bool HardFeatureValid(uint16_t value) { return value >= 1 && value <= 255; }
// "ZCT, U, S" style text in the dialect of the peer (the Coldfire form for any peer but ptESP);
// "unknown" for 0xFFFF.
std::string HardFeatureToString(uint16_t value, TQV_PeerType peer);

// The 32-bit hardware-feature word of newer firmware.
struct THardFeature32 {
  uint32_t Value = 0;
  uint8_t Hard0_7() const { return Value & 0xFF; }
  uint16_t Hard8_23() const { return (Value >> 8) & 0xFFFF; }
  uint8_t Hard24_31() const { return Value >> 24; }
  // Bits 16-17; the value 3 reads as 1.
  uint8_t HardRefError() const;
  std::string ToString() const;  // 8 hexadecimal digits
};

// Calibration value per channel 1..24 (index 0..23).
using TCalibrationData = std::array<double, 24>;

// Diagnostic switches of one source, stored as four "1"/"0" characters in field order.
struct TDebugSettings {
  bool OwnLogFile = false;
  bool DebugLog = false;
  bool LowLevelLog = false;
  bool ReportLog = false;
  std::string ToString() const;
  // A text shorter than four characters leaves the values unchanged.
  void FromString(std::string_view text);
};


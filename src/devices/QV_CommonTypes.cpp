#include "devices/QV_CommonTypes.h"

#include <array>
#include <cstdio>

namespace {

constexpr std::array<const char*, QV_Err_WatchErrorMsg + 1> ResultNames = {
    "QV_No_Err",
    "QV_No_Err",
    "QV_No_Err_Recovered",
    "QV_System_Err",
    "QV_Err_BadFormat",
    "QV_Err_BadFormatIgnore",
    "QV_Err_ReceiveBufferCleared",
    "QV_Err_ReceiveBufferOverflow",
    "QV_Err_DataTransferInterrupted",
    "QV_DLL_internalError",
    "QV_CmdIgnored",
    "QV_WriteError",
    "QV_DeviceNotConnected",
    "QV_DeviceNotFound",
    "QV_TooManyUser",
    "QV_HardwareFault",
    "QV_Err_Exception",
    "QV_Err_SourceNotFound",
    "QV_Err_DeviceResetted",
    "QV_CAN_Err",
    "QV_Err_EndOfFile",
    "QV_FTDI_ConfigError",
    "QV_FTDI_LoadError",
    "QV_FTDI_ReadError",
    "QV_FTDI_VCPError",
    "QV_Err_ServerDown",
    "QV_RpcCallFailed",
    "QV_RpcCallDenied",
    "QV_RpcResponseBadFormat",
    "QV_ServerNotConnected",
    "QV_NetworkNotConnected",
    "QV_SocketError",
    "QV_Err_CreateServerFailed",
    "QV_Err_StartServerFailed",
    "QV_Err_StopServerFailed",
    "QV_Err_ConnectFailed",
    "QV_Err_RequestTimeout",
    "QV_Err_RequestDenied",
    "QV_Err_RequestFailed",
    "QV_Err_ReceiveServerFailed",
    "QV_Err_RepeatRequest",
    "QV_Err_PingFailed",
    "QV_Err_Reconnected",
    "QV_Err_Disconnected",
    "QV_Err_AlreadyConnected",
    "QV_Err_NoWatch",
    "QV_Err_WatchErrorMsg",
};

}  // namespace

std::string QV_ResultName(TQV_Result result) {
  const unsigned index = result & 0x7F;
  return index < ResultNames.size() ? ResultNames[index] : "kein QV_Result";
}

namespace {

template <size_t N>
std::string NameOrNumber(const std::array<const char*, N>& names, unsigned value) {
  return value < N ? names[value] : std::to_string(value);
}

constexpr std::array<const char*, 13> DeviceTypeNames = {
    "QV_Serial", "QV_HID",        "QV_CDC",         "QV_Remote", "QV_BinFile", "QV_TxtFile", "QV_RawFile",
    "QV_CAN_Menlo", "QV_TCP_Device", "QV_TCP_Archive", "QV_Simul",  "QV_FPGAUSB", "QV_FPGANet"};
constexpr std::array<const char*, 3> PeerTypeNames = {"unknown", "Coldfire", "ESP"};
constexpr std::array<const char*, 3> StartStateNames = {"unknown", "ColdStart", "WarmStart"};
constexpr std::array<const char*, 3> FPGATypeNames = {"unknown", "Altera", "MicroSemi"};
constexpr std::array<const char*, 8> CmdResponseNames = {"none",       "interval", "mode",  "scrambler",
                                                         "channel",    "PhaseReset", "Login", "readNVS"};
constexpr std::array<const char*, 9> ConnectionTypeNames = {"ctUSB",     "ctSerial",  "ctNetwork",
                                                            "ctTCPServer", "ctFile",  "ctCAN",
                                                            "ctArchive", "ctBlueTooth", "ctDemoNone"};

std::string ColdfireFeatureText(uint16_t value) {
  std::string text;
  if (IsHardZCT(value))
    text = "ZCT";
  else if (IsHardMRT9(value))
    text = "MRT9";
  else if (IsHardU(value))
    text = "IVC";
  // Bit 1 is named once: as the first word of an IVC-only counter, else as the U option.
  if (IsHardU(value) && (IsHardZCT(value) || IsHardMRT9(value))) text += ", U";
  if (IsHardS(value)) text += ", S";
  if (IsHardBit4(value)) text += ", Bit4";
  if (IsHardBit5(value)) text += ", Bit5";
  if (IsHardBit6(value)) text += ", Bit6";
  if (IsHardBit7(value)) text += ", Bit7";
  return text;
}

std::string ESPFeatureText(uint16_t value) {
  std::string text;
  if (IsHardZCT(value))
    text = "ZCT";
  else if (IsHardU(value))
    text = "IVC";
  if (IsHardU(value) && IsHardZCT(value)) text += ", IVC";
  if (IsHardS(value)) text += ", SWC";
  if (IsHardESPserial(value)) text += ", serial";
  if (IsHardESPnotOR(value)) text += ", analog";
  if (IsHardESPCAN(value)) text += ", CAN";
  if (IsHardESPstaticIP(value)) text += ", static IP";
  if (IsHardBit7(value)) text += ", Bit7";
  return text;
}

}  // namespace

std::string QV_DeviceTypeName(TQV_DeviceType type) { return NameOrNumber(DeviceTypeNames, type); }
std::string QV_PeerTypeName(TQV_PeerType type) { return NameOrNumber(PeerTypeNames, type); }
std::string QV_DeviceStartStateName(TQV_DeviceStartState state) { return NameOrNumber(StartStateNames, state); }
std::string QV_FPGATypeName(TQV_FPGAType type) { return NameOrNumber(FPGATypeNames, type); }
std::string ConnectionTypeName(TConnectionType type) { return NameOrNumber(ConnectionTypeNames, type); }

std::string CmdResponseTypeName(TCmdResponseType type) {
  return type < CmdResponseNames.size() ? CmdResponseNames[type] : "unknown " + std::to_string(type);
}

std::string HardFeatureToString(uint16_t value, TQV_PeerType peer) {
  if (value == HardFeatureUnknown) return "unknown";
  return peer == ptESP ? ESPFeatureText(value) : ColdfireFeatureText(value);
}

uint8_t THardFeature32::HardRefError() const {
  const uint8_t bits = (Value >> 16) & 0x03;
  return bits == 3 ? 1 : bits;
}

std::string THardFeature32::ToString() const { return IntToHex(Value, 8); }

std::string TDebugSettings::ToString() const {
  std::string text;
  for (bool flag : {OwnLogFile, DebugLog, LowLevelLog, ReportLog}) text += flag ? '1' : '0';
  return text;
}

void TDebugSettings::FromString(std::string_view text) {
  if (text.size() < 4) return;
  OwnLogFile = text[0] == '1';
  DebugLog = text[1] == '1';
  LowLevelLog = text[2] == '1';
  ReportLog = text[3] == '1';
}


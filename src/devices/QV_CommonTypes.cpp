#include "devices/QV_CommonTypes.h"

#include <array>

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

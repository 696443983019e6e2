#include "devices/QV_UsbDevice.h"

#include <sstream>

#include "core/CircularBuffer.h"
#include "core/LogUnit.h"
#include "core/QV_NumberText.h"
#include "devices/HIDThread.h"
#include "devices/IHidApi.h"
#include "devices/QV_UsbFrames.h"
#include "devices/QV_UsbThread.h"

using namespace QV_UsbFrames;

namespace {

const std::string NoDataText = "UsbDevice does not send measurement data: Please check measurement hardware!";
const std::string InterruptedText = "UsbDevice: Data transfer interrupted. Please wait...";
const std::string ResettedText = "Device resetted!";
const std::string OverflowText = "UsbDevice: Receive buffer overflow, buffer cleared";
const std::string DataLostText = "Data lost! Data transfer restarted";
constexpr uint32_t MaxCDCCommandLength = 255;
constexpr int32_t ColdfireUserRepeatFirmware = 64;

std::string Address4(uint32_t address) {
  return {char(address >> 24), char(address >> 16), char(address >> 8), char(address)};
}

}  // namespace

std::string LoginStateName(TLoginState state) {
  switch (state) {
    case ls_waitBufferCleared: return "ls_waitBufferCleared";
    case ls_waitVersion: return "ls_waitVersion";
    case ls_registered: return "ls_registered";
  }
  return std::to_string(int(state));
}

TQV_UsbDevice::TQV_UsbDevice(int32_t aLogId, int32_t aMultiId, std::shared_ptr<TEvent> aReceiveEvent,
                             bool aDoResetEvent, const TUsbInstrument& instrument, IHidApi* hidApi,
                             const TUsbTimings& timings, const TClock& clock)
    : TQV_BaseDevice(aLogId, aMultiId, std::move(aReceiveEvent), aDoResetEvent, clock),
      FIdentity(instrument.Identity),
      FHidApi(hidApi),
      FTimings(timings),
      FNickName(instrument.NickName),
      FSerialNumber(instrument.Interface.SerialNumber),
      FProductString(instrument.Interface.Product),
      FManufacturerString(instrument.Interface.Manufacturer),
      FPid(instrument.Interface.Pid),
      FVid(instrument.Interface.Vid) {
  FDevType = FIdentity.Type;
  FDevicePath = instrument.Interface.Node;
  FPeerType = FIdentity.Peer;
  FMultiUSB = FIdentity.Shared;
  FReadTimeoutMs = FIdentity.ReadTimeoutMs;
}

TQV_UsbDevice::~TQV_UsbDevice() { ClosePort(); }

std::string TQV_UsbDevice::ToString() const {
  return "TQV_UsbDevice " + FDevicePath + " " + QV_DeviceTypeName(FDevType) + " VID=" + IntToHex(FVid, 4) +
         " PID=" + IntToHex(FPid, 4) + " SN=" + FSerialNumber;
}

std::string TQV_UsbDevice::ToUserString() const {
  return "Q+V USB device " + (FNickName.empty() ? FSerialNumber : FNickName);
}

void TQV_UsbDevice::SetLoginState(TLoginState state) {
  LogIt(FLogId, "TQV_UsbDevice.SetLoginState " + LoginStateName(state));
  FLoginState = state;
}

void TQV_UsbDevice::SetTooManyUsers(bool value) {
  if (value != FTooManyUsers) LogIt(FLogId, "TQV_UsbDevice.SetTooManyUsers " + BoolText(value));
  FTooManyUsers = value;
}

void TQV_UsbDevice::SetMultiUSB(bool value) {
  if (value != FMultiUSB) LogIt(FLogId, "TQV_UsbDevice.SetMultiUSB " + BoolText(value));
  FMultiUSB = value;
}

uint32_t TQV_UsbDevice::GetMaxCommandLength() const {
  if (IsCDC()) return MaxCDCCommandLength;
  return FHid && FHid->OutputReportLength() > 2 ? FHid->OutputReportLength() - 2 : 0;
}

// ============================== Open and close ==============================

bool TQV_UsbDevice::OpenPort(std::string& ErrorMsg) {
  ClosePort();
  LogIt(FLogId, "TQV_UsbDevice.OpenPort " + ToString() + (FBlockingIO ? " (BlockingIO)" : ""));
  FCFuserID = NoUser;
  FCFBufferAmount = 0;
  SetZCTReportHeader(0xFFFF);
  FZCTChannelCount = 0;
  SetCmdResponse(crt_none);
  SetResetCmdSent(false);
  FTooManyUsers = false;
  FStopSent = false;
  FCloseRequested = false;
  FRecoverNeeded = false;
  FisReconnected = false;
  FDataReceived = false;
  FIgnoreData = false;
  FLoginState = ls_waitBufferCleared;
  FFirstCommand = FIdentity.FirstCommandDropped;
  if (!(IsCDC() ? OpenCDC(ErrorMsg) : OpenHID(ErrorMsg))) return false;
  FPortIsOpened = true;
  LogIt(FLogId, "### Device opened " + ToString() + " ###");
  return true;
}

std::string TQV_UsbDevice::LogOnCommand() const {
  if (FContextTool && (IsCDC() ? FPeerType == ptColdfire : true)) return "\x85\x10";
  if (!IsCDC()) return FIdentity.BootLoader ? std::string() : std::string("\x01");
  // A requested user is sent as its slot index; none (255) asks the instrument for any free slot.
  return IsUserSlot(FUserID) ? std::string{'\xBE', static_cast<char>(FUserID - 1)} : std::string("\xBE");
}

std::string TQV_UsbDevice::RestartLogOnCommand() const {
  if (FContextTool || !IsCDC() || !IsUserSlot(FCFuserID)) return LogOnCommand();
  return std::string{'\xBE', static_cast<char>(FCFuserID - 1)};
}

bool TQV_UsbDevice::OpenCDC(std::string& ErrorMsg) {
  FReceiveBuffer->Clear();
  if (FPeerType == ptESP) FReceiveBuffer->SetNoEOL();
  TQV_Result code = QV_No_Err;
  FUsbThread = TQV_UsbThread::GetThread(*this, code, ErrorMsg);
  if (!FUsbThread) {
    LogError(FLogId, "TQV_UsbDevice.CDCOpen " + ErrorMsg);
    SetError(code, ErrorMsg);
    return false;
  }
  FHasCommandList = true;
  // The wait is set before the log-on goes out, so that an early answer is not missed.
  if (FPeerType == ptESP) SetCmdResponse(crt_login);
  return WriteLogOn(LogOnCommand(), ErrorMsg);
}

bool TQV_UsbDevice::OpenHID(std::string& ErrorMsg) {
  if (!FHidApi) {
    ErrorMsg = "Error open Q+V device \"" + FDevicePath + "\": HID access is not available";
    SetError(QV_System_Err, ErrorMsg);
    return false;
  }
  std::string reason;
  bool inUse = false;
  FHid = FHidApi->Open(FDevicePath, reason, inUse);
  if (!FHid) {
    ErrorMsg = "Error open Q+V device \"" + FDevicePath + "\": " + (inUse ? "USB device is already in use" : reason);
    LogError(FLogId, "TQV_UsbDevice.OpenPort " + ErrorMsg);
    SetError(inUse ? QV_TooManyUser : QV_System_Err, ErrorMsg);
    return false;
  }
  FHasCommandList = false;
  FHIDThread = std::make_unique<THIDThread>(*FHid, *FReceiveBuffer, FLogId, FTimings.HidReadTimeoutMs);
  FHIDThread->Start();
  if (WriteLogOn(LogOnCommand(), ErrorMsg)) return true;
  FHIDThread.reset();
  FHid.reset();
  return false;
}

bool TQV_UsbDevice::WriteLogOn(const std::string& cmd, std::string& ErrorMsg) {
  if (cmd.empty()) return true;
  LogIt(FLogId, "TQV_UsbDevice.OpenPort send openCmd " + AnsiToHex(cmd));
  if (IsCDC()) {
    FUsbThread->AddCommand(cmd, *this);
    return true;
  }
  if (FHIDThread->AddCommand(cmd)) return true;
  ErrorMsg = "Can not write to device";
  SetError(QV_WriteError, ErrorMsg);
  return false;
}

bool TQV_UsbDevice::ClosePort() {
  if (!FPortIsOpened && !FUsbThread && !FHIDThread) return true;
  LogIt(FLogId, "### Close Device " + ToString() + " ###");
  FCloseRequested = true;
  if (FUsbThread && !FUsbThread->Terminated()) {
    SendStopCmd();
    // The line is left only once the stop has gone out: the instrument would stream on otherwise.
    const uint32_t tries = std::max<uint32_t>(1, FReadTimeoutMs / 100 * 10) * (FPeerType == ptESP ? 1 : 2);
    for (uint32_t n = 0; n < tries && !FStopSent && !FUsbThread->Terminated(); ++n) {
      LogIt(FLogId, "TQV_UsbDevice.CDCClose MultiUSB wait StopSent, retry(" + std::to_string(n) + ")");
      WaitSleep(FTimings.CloseStepMs);
    }
  }
  LeaveLine();
  if (FHIDThread) {
    if (!FIdentity.BootLoader && !FHIDThread->Suspended()) SendStopCmd();
    FHIDThread->Stop();
    FHIDThread.reset();
  }
  FHid.reset();
  FLoginState = ls_waitBufferCleared;
  FRecoverNeeded = false;
  FPortIsOpened = false;
  std::ostringstream self;
  self << static_cast<const void*>(this);
  LogIt(FLogId, "### Device Closed " + ToString() + ", Self=" + self.str() + " ###");
  return true;
}

void TQV_UsbDevice::LeaveLine() {
  if (!FUsbThread) return;
  FUsbThread->RemoveDevice(*this);
  // The last user's reset ends and joins the line thread.
  FUsbThread.reset();
}

void TQV_UsbDevice::SendStopCmd() {
  LogIt(FLogId, "TQV_UsbDevice.SendStopCmd: clear CmdResponse=" + CmdResponseTypeName(CmdResponse()));
  SetCmdResponse(crt_none);
  const std::string stop("\x85\x60");
  if (FUsbThread) {
    FUsbThread->DeleteCommands(*this);
    if (FContextTool) FUsbThread->AddCommand("\x85\x11", *this);
    FUsbThread->AddCommand(stop, *this);
  } else if (FHIDThread) {
    if (FContextTool) FHIDThread->AddCommand("\x85\x11");
    FHIDThread->AddCommand(stop);
  }
}

// ============================== Commands ==============================

bool TQV_UsbDevice::DeviceWrite(const std::string& Data) {
  if (FFirstCommand.exchange(false) && QV_UsbFrames::IsFirstVersionCmd(Data)) {
    LogIt(FLogId, "TQV_UsbDevice.CDCWrite(" + AnsiToHex(Data) + "): ignore first version command");
    return true;
  }
  if (Data.size() > GetMaxCommandLength()) {
    SetError(QV_WriteError, "CMD too long (" + std::to_string(Data.size()) + ")");
    return false;
  }
  if (FUsbThread && !FUsbThread->Terminated()) {
    FUsbThread->AddCommand(Data, *this);
    return true;
  }
  if (FHIDThread && !FHIDThread->Suspended() && FHIDThread->AddCommand(Data)) return true;
  SetError(QV_DeviceNotConnected, "Can not write to device");
  return false;
}

int32_t TQV_UsbDevice::PendingCmdsCount() const {
  if (FUsbThread) return FUsbThread->PendingCount(*this);
  return FHIDThread ? static_cast<int32_t>(FHIDThread->PendingCount()) : 0;
}

void TQV_UsbDevice::DeleteCommands() {
  if (FUsbThread) FUsbThread->DeleteCommands(*this);
  if (FHIDThread) FHIDThread->ClearCommands();
}

int32_t TQV_UsbDevice::GetDelayNextCmdMs() {
  return FUsbThread ? FUsbThread->GetDelayNextCmdMs() : TQV_BaseDevice::GetDelayNextCmdMs();
}

void TQV_UsbDevice::SetDelayNextCmdMs(int32_t ms) {
  if (FUsbThread) FUsbThread->SetDelayNextCmdMs(ms);
  else TQV_BaseDevice::SetDelayNextCmdMs(ms);
}

// ============================== Supervision and recovery ==============================

bool TQV_UsbDevice::CheckDeviceClosed() {
  if (FCloseRequested) return false;
  return IsCDC() ? CheckLineEnded() : CheckHIDEnded();
}

bool TQV_UsbDevice::CheckLineEnded() {
  if (!FUsbThread) {
    if (FRecoverNeeded) RecoverFromUSBError();
    return false;
  }
  if (FUsbThread->Terminated()) {
    if (FUsbThread->SystemError() == TQV_UsbThread::ErrWriteTimeout)
      SetError(QV_WriteError, "Writing to USB device failed: timeout");
    // Every user resumes from the last position of the whole line.
    if (FUsbThread->RepeatAddrKnown()) SetPeerRepeatAddr(FUsbThread->RepeatAddr());
    LeaveLine();
    if (FTooManyUsers) return true;
    if (!FDataReceived && !ResetCmdSent() && !FContextTool) {
      LogError(FLogId, "TQV_UsbDevice.CDCCheckThreadEnd: " + NoDataText);
      SetError(QV_HardwareFault, NoDataText);
      return true;
    }
    if (ResetCmdSent()) SetError(QV_Err_DeviceResetted, ResettedText);
    else SetError(QV_Err_DataTransferInterrupted, InterruptedText);
    FRecoverNeeded = true;
    FInterruptedTime = FClock.Steady();
    return false;
  }
  if (FisReconnected && FClock.Steady() - FReconnectedTime > std::chrono::milliseconds(FTimings.ReconnectTimeoutMs)) {
    LogIt(FLogId, "TQV_UsbDevice.CDCCheckThreadEnd isReconnected timed out (" +
                      std::to_string(FTimings.ReconnectTimeoutMs) + ") -> recover");
    FisReconnected = false;
    LeaveLine();
    FRecoverNeeded = true;
    FInterruptedTime = FClock.Steady();
    return false;
  }
  if (FBufferOverflow.exchange(false)) SetError(QV_Err_ReceiveBufferOverflow, OverflowText);
  return false;
}

std::string TQV_UsbDevice::RecoverLogOnCommand(bool lineOwner) const {
  if (FContextTool) return "\x85\x10";
  if (FPeerType == ptESP) {
    // One resumption serves the whole line: its other users send nothing.
    return lineOwner ? std::string("\x04\x73", 2) + Address4(FPeerRepeatAddr) : std::string();
  }
  if (FPeerRepeatAddr != 0) {
    if (FFirmwareVersionNumber < ColdfireUserRepeatFirmware || !IsUserSlot(FCFuserID))
      return std::string("\x85\x73") + Address4(FPeerRepeatAddr);
    return std::string{'\x85', static_cast<char>(0x73 + FCFuserID)} + Address4(FPeerRepeatAddr);
  }
  return std::string{'\x85', '\x72', static_cast<char>(FReceivedSec & 0xFF)};
}

void TQV_UsbDevice::RecoverFromUSBError() {
  if (FClock.Steady() - FInterruptedTime < std::chrono::milliseconds(FTimings.RecoverPauseMs)) return;
  const bool restart = ResetCmdSent();
  FisReconnected = !restart;
  TQV_Result code = QV_No_Err;
  std::string error;
  FUsbThread = TQV_UsbThread::GetThread(*this, code, error);
  if (!FUsbThread) {
    // The instrument is not back yet: try again after the pause.
    FisReconnected = false;
    FInterruptedTime = FClock.Steady();
    return;
  }
  LogIt(FLogId, "TQV_UsbDevice.RecoverFromUSBError: reopened USB:" + FDevicePath);
  std::string cmd;
  if (restart) {
    FReceiveBuffer->Clear();
    SetPeerRepeatAddr(0);
    FLoginState = ls_waitBufferCleared;
    if (FPeerType == ptESP) SetCmdResponse(crt_login);
    cmd = RestartLogOnCommand();
  } else {
    // The instrument knows this user: its blocks are taken at once.
    FLoginState = ls_registered;
    FReconnectedTime = FClock.Steady();
    cmd = RecoverLogOnCommand(FUsbThread->IsOwner(*this));
  }
  std::string ignored;
  WriteLogOn(cmd, ignored);
  SetResetCmdSent(false);
  FRecoverNeeded = false;
}

bool TQV_UsbDevice::CheckHIDEnded() {
  if (FRecoverNeeded) {
    if (FClock.Steady() - FInterruptedTime < std::chrono::milliseconds(FTimings.RecoverPauseMs)) return false;
    std::string error;
    if (OpenHID(error)) {
      LogIt(FLogId, "TQV_UsbDevice.RecoverFromUSBError: reopened USB:" + FDevicePath);
      QuitError();
      FRecoverNeeded = false;
    } else {
      QuitError();
      FInterruptedTime = FClock.Steady();
    }
    return false;
  }
  if (!FHIDThread) return false;
  if (FHIDThread->TakeBufferOverflow()) SetError(QV_Err_ReceiveBufferOverflow, OverflowText);
  if (!FHIDThread->Suspended()) return false;
  const bool dataReceived = FHIDThread->DataReceived();
  FHIDThread.reset();
  FHid.reset();
  if (!dataReceived) {
    LogError(FLogId, "TQV_UsbDevice.CheckDeviceClosed: " + NoDataText);
    SetError(QV_HardwareFault, NoDataText);
    return true;
  }
  SetError(QV_Err_DataTransferInterrupted, InterruptedText);
  FRecoverNeeded = true;
  FInterruptedTime = FClock.Steady();
  return false;
}

// ============================== From the line thread ==============================

void TQV_UsbDevice::TakeReceived(std::string_view bytes) {
  const std::string s(bytes);
  FDataReceived = true;
  SaveBinaryData(s.data(), s.size());
  if (FReceiveBuffer->WriteAnsiString(s)) return;
  LogError(FLogId, "ReadCDCBlock Buffer overflow -> Buffer cleared");
  FReceiveBuffer->Clear();
  FReceiveBuffer->WriteAnsiString(s);
  FBufferOverflow = true;
}

void TQV_UsbDevice::ReconnectFailed() {
  LogError(FLogId, "TQV_UsbDevice after reconnect: " + DataLostText);
  FisReconnected = false;
  FReceiveBuffer->Clear();
  FReceiveBuffer->SetReceivedDataIgnored();
  SetError(QV_Err_Reconnected, DataLostText);
}

#include "devices/QV_CANDevice.h"

#include <cctype>
#include <thread>
#include <utility>

#include "core/CircularBuffer.h"
#include "core/LogUnit.h"
#include "core/NamedEvent.h"
#include "core/QV_NumberText.h"
#include "devices/QV_CANDeviceMenloItem.h"

namespace {

constexpr uint8_t kLogOn = 0xBE;
const std::string kStop("\x85\x60", 2);
constexpr size_t kFrameSize = 8;
const std::string kNotResponding = "Open device via CAN failed. Q+V device is not responding";

std::string Upper(std::string s) {
  for (char& c : s) c = char(std::toupper(uint8_t(c)));
  return s;
}

}  // namespace

TQV_CANDeviceItem::TQV_CANDeviceItem(int32_t aLogId, int32_t aMultiId, std::shared_ptr<TEvent> aReceiveEvent,
                                     bool aDoResetEvent, uint8_t type, uint8_t channel, uint8_t node,
                                     const std::string& protocolName, const TClock& clock)
    : TQV_BaseDevice(aLogId, aMultiId, std::move(aReceiveEvent), aDoResetEvent, clock),
      FType(type),
      FChannel(channel),
      FNode(node) {
  if (Upper(protocolName) != "MENLO") throw ECANDevice("Unknown CAN device: " + protocolName);
  if (node > 15) throw ECANDevice("Menlo-CAN device invalid node " + std::to_string(node));
  if (channel > 3) throw ECANDevice("Menlo-CAN device invalid channel " + std::to_string(channel));
  FDevType = QV_CAN_Menlo;
  FName = "Menlo " + IntToHex(node, 1) + "/" + std::to_string(channel);
  FDevicePath = FName;
  FCommandId = CommandId(type, node, channel);
  FReceiveId = ReceiveId(type, node, channel);
  FHeartbeatId = HeartbeatId(type, node);
}

TQV_CANDeviceItem::~TQV_CANDeviceItem() { Disconnect(); }

uint32_t TQV_CANDeviceItem::CommandId(uint8_t type, uint8_t node, uint8_t channel) {
  return (0x3000FC0 + uint32_t(type) * 0x10000) | uint32_t(node) << 12 | channel;
}

uint32_t TQV_CANDeviceItem::ReceiveId(uint8_t type, uint8_t node, uint8_t channel) {
  return (0x8000FC0 + uint32_t(type) * 0x10000) | uint32_t(node) << 12 | channel;
}

uint32_t TQV_CANDeviceItem::HeartbeatId(uint8_t type, uint8_t node) {
  return (0x9000010 + uint32_t(type) * 0x10000) | uint32_t(node) << 12;
}

std::vector<std::string> TQV_CANDeviceItem::CommandFrames(const std::string& command) {
  const std::string framed = char(uint8_t(command.size())) + command;
  std::vector<std::string> frames;
  for (size_t at = 0; at < framed.size(); at += kFrameSize) frames.push_back(framed.substr(at, kFrameSize));
  return frames;
}

std::string TQV_CANDeviceItem::CheckCAN() { return TMenloItem::AdapterCondition(); }

TQV_Result TQV_CANDeviceItem::Connect(std::string& error) {
  if (FMenlo) return QV_No_Err;
  FMenlo = TMenloItem::Acquire(FLogId, error);
  if (!FMenlo) return QV_CAN_Err;
  if (FMenlo->Connect(*this, error) < 0) {
    FMenlo.reset();
    if (error.find("already in use") != std::string::npos) return QV_CAN_Err;
    LogError(FLogId, FDbgTag + ".Create " + error);
    error = kNotResponding;
    return QV_DeviceNotConnected;
  }
  // Another host that reads this node and channel makes the instrument talk before we asked.
  std::this_thread::sleep_for(FMenlo->Limits().Settle);
  if (FReceiveBuffer->Amount() > 0) {
    error = "CAN-Channel " + std::to_string(FChannel) + " already in use";
    Disconnect();
    return QV_CAN_Err;
  }
  LogIt(FLogId, FDbgTag + ".Create CAN-Channel " + std::to_string(FChannel) + " ok");
  return QV_No_Err;
}

void TQV_CANDeviceItem::Disconnect() {
  if (!FMenlo) return;
  FMenlo->Disconnect(*this);
  FPortIsOpened = false;
  if (FMenlo.use_count() == 1) LogIt(FLogId, FDbgTag + ".ClosePort: free PCanItem");
  FMenlo.reset();
}

bool TQV_CANDeviceItem::Fail(const std::string& message, std::string& ErrorMsg) {
  ErrorMsg = message;
  LogError(FLogId, FDbgTag + ".OpenPort " + FName + " failed: " + message);
  Disconnect();
  return false;
}

bool TQV_CANDeviceItem::OpenPort(std::string& ErrorMsg) {
  LogIt(FLogId, FDbgTag + ".OpenPort " + FName + " ###");
  QuitError();
  std::string error;
  const TQV_Result connected = Connect(error);
  if (connected != QV_No_Err) {
    SetError(connected, error);
    return Fail(error, ErrorMsg);
  }
  LogOn();
  std::this_thread::sleep_for(FMenlo->Limits().Settle);
  if (FMenlo->ThreadFinished()) return Fail(FMenlo->ThreadMessage(), ErrorMsg);
  if (ErrorCode() == QV_TooManyUser) return Fail(ErrorMessage(), ErrorMsg);
  if (ErrorCode() != QV_No_Err) {
    SetError(QV_DeviceNotConnected, kNotResponding);
    return Fail(kNotResponding, ErrorMsg);
  }
  QuitError();
  FFirstCommand = PeerType() == ptESP;
  FPortIsOpened = true;
  FMenlo->MarkOpen(*this, true);
  LogIt(FLogId, FDbgTag + ".OpenPort Opened " + FName);
  return true;
}

bool TQV_CANDeviceItem::LogOn() {
  std::string command(1, char(kLogOn));
  if (FUserID != NoUser) command += char(FUserID - 1);
  return WriteFrames(command);
}

bool TQV_CANDeviceItem::ClosePort() {
  LogIt(FLogId, FDbgTag + ".ClosePort " + FName + " ###");
  if (FMenlo) WriteFrames(kStop);
  Disconnect();
  return true;
}

bool TQV_CANDeviceItem::WriteFrames(const std::string& Data) {
  if (!FMenlo) return false;
  for (const std::string& piece : CommandFrames(Data)) {
    TCanFrame frame{FCommandId, TCanAdapter::MsgExtended, piece};
    if (FLowLevelLog) LogIt(FLogId, "WriteCANFrames(ID=0x" + IntToHex(FCommandId, 8) + "): " + AnsiToHex(piece));
    std::string error;
    if (!FMenlo->Write(frame, error)) {
      SetSystemError(0, "WriteCANFrames", error);
      return false;
    }
  }
  return true;
}

bool TQV_CANDeviceItem::DeviceWrite(const std::string& Data) {
  const uint8_t first = Data.empty() ? 0 : uint8_t(Data[0]);
  // A network-module instrument reports its version by itself when a connection starts.
  if (std::exchange(FFirstCommand, false) && (first == 0x01 || first == 0x80 || first == 0x81)) {
    LogIt(FLogId, FDbgTag + ".DeviceWrite(" + AnsiToHex(Data) + "): ignore first version command");
    return true;
  }
  if (!FMenlo || FMenlo->ThreadFinished()) {
    LogError(FLogId, "TQV_CANDeviceItem.DeviceWrite(" + FName + ") failed : no connection");
    const std::string reason = FMenlo ? FMenlo->ThreadMessage() : std::string("no connection");
    Disconnect();
    SetError(QV_DeviceNotConnected, reason);
    return false;
  }
  if (!WriteFrames(Data)) return false;
  LogIt(FLogId, "{" + AnsiToHex(Data) + "}");
  return true;
}

// Silence closes the device only when it lasts: after the start-up grace period, once more than the
// no-data limit has passed without a frame. An empty poll alone says nothing on a bus where frames
// come every few hundred milliseconds.
bool TQV_CANDeviceItem::CheckDeviceClosed() {
  if (!FMenlo) return ErrorCode() != QV_No_Err;
  if (FMenlo->ThreadFinished()) {
    if (ErrorCode() == QV_No_Err) SetError(QV_DeviceNotConnected, FMenlo->ThreadMessage());
    return true;
  }
  TMenloInfo info;
  if (!FMenlo->Info(*this, info) || !info.Open) return false;
  const TSteadyTime now = FMenlo->Clock().Steady();
  const TMenloLimits& limits = FMenlo->Limits();
  if (now - info.OpenTime <= limits.StartGrace) return false;
  const TSteadyTime last = info.DataReceived ? info.LastReceived : info.OpenTime;
  if (now - last <= limits.NoData) return false;
  if (!info.DataReceived) {
    SetError(QV_HardwareFault, "Nothing received, please check CAN-IDs, CAN node!");
  } else if (FMenlo->RefClockTurnedBad(*this, ReferenceClockError())) {
    SetError(QV_HardwareFault, "Nothing received, please check device reference clock!");
  } else if (!info.Interrupted) {
    SetError(QV_Err_DataTransferInterrupted, "Nothing received, please check PCAN-USB device!");
    FMenlo->SetInterrupted(*this);
  }
  std::this_thread::sleep_for(limits.Settle);
  return true;
}

void TQV_CANDeviceItem::TakeBytes(const std::string& bytes) {
  if (!FReceiveBuffer->WriteAnsiString(bytes)) {
    FReceiveBuffer->Clear();
    FReceiveBuffer->WriteAnsiString(bytes);
    SetError(QV_Err_ReceiveBufferOverflow, "CAN device: Receive buffer overflow, buffer cleared");
  }
  if (FReceiveEvent) FReceiveEvent->Set();
}

void TQV_CANDeviceItem::ClearStream() { FReceiveBuffer->Clear(); }

// A network module's transmit blocks have no frame delimiters.
void TQV_CANDeviceItem::LearnPeer(TQV_PeerType peer) {
  if (peer == ptESP) FReceiveBuffer->SetNoEOL();
  FPeerType = peer;
}

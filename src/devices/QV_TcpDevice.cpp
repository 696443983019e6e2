#include "devices/QV_TcpDevice.h"

#include <atomic>

#include "core/CircularBuffer.h"
#include "core/LogUnit.h"
#include "core/NamedEvent.h"
#include "core/QV_NumberText.h"

namespace {

// Serial numbers of TCP devices, program-wide: 1, 2, ...
std::atomic<uint32_t> TcpDeviceCount = 0;

}  // namespace

TQV_TcpDevice::TQV_TcpDevice(int32_t aLogId, int32_t aMultiId, std::shared_ptr<TEvent> aReceiveEvent,
                             bool aDoResetEvent, const std::string& aIP, uint16_t aPort,
                             const TTcpReceiverTimings& timings, const TClock& clock)
    : TQV_BaseDevice(aLogId, aMultiId, std::move(aReceiveEvent), aDoResetEvent, clock),
      FReceiver(std::make_unique<TQV_TcpReceiver>(
          aLogId, aIP, aPort, [this](const std::string& data) { ReceiverCallBack(data); }, timings, clock)) {
  FDevType = QV_TCP_Device;
  FHasCommandList = true;
  SetSerialNumberValue(++TcpDeviceCount);
  LogIt(FLogId, "Created TcpDevice: " + ToString());
}

std::unique_ptr<TQV_TcpDevice> TQV_TcpDevice::CreateArchive(int32_t aLogId, int32_t aMultiId,
                                                            std::shared_ptr<TEvent> aReceiveEvent, bool aDoResetEvent,
                                                            const std::string& aIP, uint16_t aPort,
                                                            TArchiveTime startTime,
                                                            std::optional<TArchiveTime> endTime,
                                                            const TTcpReceiverTimings& timings, const TClock& clock) {
  auto device = std::make_unique<TQV_TcpDevice>(aLogId, aMultiId, std::move(aReceiveEvent), aDoResetEvent, aIP, aPort,
                                                timings, clock);
  device->FDevType = QV_TCP_Archive;
  device->FArchiveStart = startTime;
  device->FArchiveEnd = endTime;
  device->FReceiveBuffer->SetNoEOL();
  LogIt(device->FLogId, "Created TcpArchive: " + device->ToString());
  return device;
}

TQV_TcpDevice::~TQV_TcpDevice() {
  // The receiver's threads call back into this device: they end before it goes.
  FReceiver.reset();
}

std::string TQV_TcpDevice::ToString() const {
  return QV_DeviceTypeName(FDevType) + ": Receiver=" + FReceiver->ToString();
}

void TQV_TcpDevice::SetLowLevelLog(bool Value) {
  TQV_BaseDevice::SetLowLevelLog(Value);
  FReceiver->SetLowLevelLog(Value);
}

void TQV_TcpDevice::TakeReceiverError() { SetError(FReceiver->ErrorCode(), FReceiver->ErrorMessage()); }

bool TQV_TcpDevice::OpenPort(std::string& ErrorMsg) {
  if (FPortIsOpened) return true;
  LogIt(FLogId, "### Open " + ToString() + " ###");
  SetCFUserID(NoUser);
  SetCFBufferAmount(0);
  SetReceivedSec(0);
  const bool ok = FDevType == QV_TCP_Archive
                      ? FReceiver->OpenArchive(FArchiveStart, FArchiveEnd,
                                               [this] { return FReceiveBuffer->AvailableSpace(); })
                      : FReceiver->OpenPort("", false, "");
  if (!ok) {
    TakeReceiverError();
    LogError(FLogId, "### Failed Open " + ToString() + " ###");
    ErrorMsg = ErrorMessage();
    return false;
  }
  FPortIsOpened = true;
  QuitError();
  return true;
}

bool TQV_TcpDevice::ClosePort() {
  if (!FPortIsOpened) return true;
  const bool ok = FReceiver->ClosePort();
  FPortIsOpened = false;
  return ok;
}

bool TQV_TcpDevice::DeviceWrite(const std::string& Data) {
  LogError(FLogId, "TcpDevice do not send cmd to TCP server: " + AnsiToHex(Data));
  return false;
}

bool TQV_TcpDevice::CheckDeviceClosed() {
  if (!FPortIsOpened || !FReceiver->CheckDataTransferInterrupted()) return false;
  LogIt(FLogId, "TQV_TcpDevice.CheckDeviceClosed: close connection");
  ClosePort();
  TakeReceiverError();
  return true;
}

void TQV_TcpDevice::ReceiverCallBack(const std::string& data) {
  if (data.empty()) {
    TakeReceiverError();
    LogError(FLogId, "TcpDevice.ReceiverCallBack (" + QV_ResultName(ErrorCode()) + "): " + ErrorMessage());
    return;
  }
  const std::string frame =
      FDevType == QV_TCP_Archive ? data : "\x01" + std::to_string(data.size()) + "\x02" + data;
  if (!FReceiveBuffer->WriteAnsiString(frame)) {
    FReceiveBuffer->Clear();
    FReceiveBuffer->WriteAnsiString(frame);
    SetError(QV_Err_ReceiveBufferOverflow, "TcpDevice: Receive buffer overflow, buffer cleared");
  }
  if (FReceiveEvent) FReceiveEvent->Set();
}

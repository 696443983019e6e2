#include "support/QV_TestDevice.h"

#include "core/CircularBuffer.h"
#include "core/NamedEvent.h"

TQV_TestDevice::TQV_TestDevice(const TClock& clock, int32_t logId, std::shared_ptr<TEvent> receiveEvent)
    : TQV_BaseDevice(logId, 0, receiveEvent ? std::move(receiveEvent) : std::make_shared<TEvent>(), true, clock) {}

void TQV_TestDevice::Feed(const std::string& bytes) { FReceiveBuffer->WriteAnsiString(bytes); }

void TQV_TestDevice::FeedTools(const std::string& bytes) { FToolsBuffer->WriteAnsiString(bytes); }

bool TQV_TestDevice::OpenPort(std::string& ErrorMsg) {
  ErrorMsg.clear();
  ++OpenCount;
  FPortIsOpened = true;
  return true;
}

bool TQV_TestDevice::ClosePort() {
  ++CloseCount;
  FPortIsOpened = false;
  return true;
}

bool TQV_TestDevice::CheckDeviceClosed() {
  if (FGone) SetError(QV_DeviceNotConnected, "TestDevice gone");
  return FGone;
}

bool TQV_TestDevice::DeviceWrite(const std::string& Data) {
  if (FFailWrites) {
    SetError(QV_WriteError, "write refused");
    return false;
  }
  FWrites.push_back(Data);
  return true;
}

#pragma once
#include <string>

#include "core/CircularBuffer.h"
#include "devices/QV_BaseDevice.h"

// A device without a transport: the benchmark fills its receive ring and the decoder reads it.
class TBenchDevice : public TQV_BaseDevice {
 public:
  TBenchDevice(TQV_DeviceType type, TQV_PeerType peer, int32_t logId = -1) : TQV_BaseDevice(logId, 0, nullptr, false) {
    FDevType = type;
    FPeerType = peer;
  }
  void Feed(const std::string& bytes) { FReceiveBuffer->WriteAnsiString(bytes); }
  bool CheckDeviceClosed() override { return false; }
  bool ClosePort() override { return true; }
  bool OpenPort(std::string&) override { return true; }
  bool DeviceWrite(const std::string&) override { return true; }
};

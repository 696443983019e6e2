#pragma once
#include <memory>
#include <string>
#include <vector>

#include "core/Clock.h"
#include "devices/QV_BaseDevice.h"

class TEvent;

// An in-memory device for tests: records every write in order, takes received bytes from the test,
// and can be told to refuse writes.
class TQV_TestDevice : public TQV_BaseDevice {
 public:
  explicit TQV_TestDevice(const TClock& clock = SystemClock(), int32_t logId = -1,
                          std::shared_ptr<TEvent> receiveEvent = nullptr);

  // Bytes as if the reader had received them (receive buffer) or a tools reply had arrived.
  void Feed(const std::string& bytes);
  void FeedTools(const std::string& bytes);
  // While set, DeviceWrite fails with QV_WriteError.
  void SetFailWrites(bool value) { FFailWrites = value; }
  // While set, CheckDeviceClosed reports the device as gone (QV_DeviceNotConnected).
  void SetGone(bool value) { FGone = value; }
  const std::vector<std::string>& Writes() const { return FWrites; }
  void ClearWrites() { FWrites.clear(); }

  // What a transport sets for itself.
  void SetDeviceType(TQV_DeviceType value) { FDevType = value; }
  void SetPeer(TQV_PeerType value) { FPeerType = value; }

  bool OpenPort(std::string& ErrorMsg) override;
  bool ClosePort() override;
  bool CheckDeviceClosed() override;
  bool DeviceWrite(const std::string& Data) override;
  std::string ToString() const override { return "TestDevice"; }

  int OpenCount = 0;
  int CloseCount = 0;

 private:
  std::vector<std::string> FWrites;
  bool FFailWrites = false;
  bool FGone = false;
};

#pragma once
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "devices/CanAdapter.h"

class QCanBusDevice;
class TCanAdapterThread;

// The kernel's SocketCAN driver of the adapter (peak_usb), reached through Qt SerialBus; any other
// plugin of it works the same way ("virtualcan" in the tests). The bit rate is the interface's
// (`ip link set can0 up type can bitrate 125000`). Qt's device lives on a thread of its own with an
// event loop (TCanAdapterThread); received frames wait in a queue here, so the adapter reads like a PCAN channel.
class TSocketCanAdapter : public TCanAdapter {
 public:
  static constexpr const char* DefaultPlugin = "socketcan";
  static constexpr const char* DefaultInterface = "can0";

  TSocketCanAdapter(int32_t logId, std::string interfaceName = DefaultInterface,
                    std::string plugin = DefaultPlugin);
  ~TSocketCanAdapter() override;
  TSocketCanAdapter(const TSocketCanAdapter&) = delete;
  TSocketCanAdapter& operator=(const TSocketCanAdapter&) = delete;

  std::string Name() const override { return "SocketCAN " + FInterface; }
  bool Initialize(std::string& error) override;
  void Uninitialize() override;
  TCanReadResult Read(TCanFrame& frame, std::string& error) override;
  bool Write(const TCanFrame& frame, std::string& error) override;
  bool WaitReceive(std::chrono::milliseconds timeout, std::string& error) override;
  std::string Condition() override;

 private:
  void TakeFrames();
  void CreateDevice(std::string& error);
  void DeviceError();

  int32_t FLogId;
  std::string FInterface;
  std::string FPlugin;
  std::unique_ptr<TCanAdapterThread> FThread;
  QCanBusDevice* FDevice = nullptr;  // made, used and freed on FThread
  bool FConnected = false;
  std::mutex FLock;
  std::condition_variable FArrived;
  std::deque<TCanFrame> FFrames;
  std::string FError;  // set when the bus device failed; reads fail with it
};

#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "core/ArchiveStamp.h"
#include "devices/QV_BaseDevice.h"
#include "devices/QV_TcpReceiver.h"

// The device of a source that reads another instance's local data server: its report lines
// (device type QV_TCP_Device, framed as 0x01 + decimal length + 0x02 + line in the receive buffer)
// or a replay of its archive (QV_TCP_Archive, the archive bytes as they come). Nothing is ever sent
// to the server as a command.
class TQV_TcpDevice : public TQV_BaseDevice {
 public:
  TQV_TcpDevice(int32_t aLogId, int32_t aMultiId, std::shared_ptr<TEvent> aReceiveEvent, bool aDoResetEvent,
                const std::string& aIP, uint16_t aPort, const TTcpReceiverTimings& timings = {},
                const TClock& clock = SystemClock());
  // The archive form: replays startTime .. endTime (none: open end).
  static std::unique_ptr<TQV_TcpDevice> CreateArchive(int32_t aLogId, int32_t aMultiId,
                                                      std::shared_ptr<TEvent> aReceiveEvent, bool aDoResetEvent,
                                                      const std::string& aIP, uint16_t aPort, TArchiveTime startTime,
                                                      std::optional<TArchiveTime> endTime,
                                                      const TTcpReceiverTimings& timings = {},
                                                      const TClock& clock = SystemClock());
  ~TQV_TcpDevice() override;

  bool OpenPort(std::string& ErrorMsg) override;
  bool ClosePort() override;
  bool DeviceWrite(const std::string& Data) override;
  bool CheckDeviceClosed() override;
  std::string ToString() const override;
  void SetLowLevelLog(bool Value) override;

  uint16_t DataPort() const { return FReceiver->DataPort(); }
  void SetDataPort(uint16_t Value) { FReceiver->SetDataPort(Value); }
  std::string DataServerIPAndPort() const { return FReceiver->DataServerIPAndPort(); }
  TQV_Result SendAppData(std::string& TcpData) { return FReceiver->SendAppData(TcpData); }

 private:
  void ReceiverCallBack(const std::string& data);
  void TakeReceiverError();

  std::unique_ptr<TQV_TcpReceiver> FReceiver;
  TArchiveTime FArchiveStart{};
  std::optional<TArchiveTime> FArchiveEnd;
};

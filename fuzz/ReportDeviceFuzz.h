#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/CircularBuffer.h"
#include "devices/QV_BaseDevice.h"
#include "protocol/QV_ReportDevice.h"

// An in-memory device: the fuzz input arrives in its receive buffer, writes are accepted.
class TFuzzDevice : public TQV_BaseDevice {
 public:
  TFuzzDevice(TQV_DeviceType type, TQV_PeerType peer) : TQV_BaseDevice(-1, 0, nullptr, false) {
    FDevType = type;
    FPeerType = peer;
  }
  void Feed(const uint8_t* data, size_t size) {
    FReceiveBuffer->Write(std::span<const uint8_t>(data, size));
  }
  void SetVersion(int32_t version) { SetFirmwareVersionNumber(version); }
  bool CheckDeviceClosed() override { return false; }
  bool ClosePort() override { return true; }
  bool OpenPort(std::string& ErrorMsg) override { return true; }
  bool DeviceWrite(const std::string&) override { return true; }
};

// Feeds the input in two pieces and reads (text and structured reports alternately) until the
// decoder stops making progress. A hang shows as a call count beyond any progress bound.
// maxPending: the longest partial frame that may wait for more bytes at the end.
inline void RunDecoder(TQV_DeviceType type, TQV_PeerType peer, bool demo, size_t maxPending, const uint8_t* data,
                       size_t size) {
  TFuzzDevice device(type, peer);
  if (demo) device.SetDemoData(true);
  TQV_ReportDevice decoder(&device);
  if (size > 0 && (data[0] & 1)) decoder.SendCommand("\x41");
  const size_t half = size / 2;
  device.Feed(data, half);
  size_t idle = 0;
  const size_t limit = 4 * size + 64;
  for (size_t call = 0; call < limit; ++call) {
    if (call == 8) device.Feed(data + half, size - half);
    const uint32_t before = device.BufferAmount();
    std::string report;
    TQV_ReportStruct record;
    const TQV_Result result = (call % 3 == 2 && type != QV_TCP_Device) ? decoder.GetReportStruct(record)
                                                                      : decoder.DeviceGetReport(report);
    if (report.size() > 65536) __builtin_trap();
    const bool progress = device.BufferAmount() != before || !report.empty() || result != QV_No_Err;
    idle = progress ? 0 : idle + 1;
    if (idle > 8 && call > 8) break;
  }
  if (device.BufferAmount() > maxPending) __builtin_trap();  // stuck with data left
}

#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/CircularBuffer.h"
#include "devices/QV_BaseDevice.h"
#include "protocol/QV_ReportDevice.h"

// Building a device allocates and clears two large ring buffers, which costs more than a whole
// run of the decoder: a fuzz process builds one device of each kind and restores its state for
// every input, so that nothing of one input reaches the next.
template <class TDevice>
class TFuzzRestartable : public TDevice {
 public:
  using TDevice::TDevice;

 protected:
  // Everything a decoder may change, back as a freshly built device has it; empty buffers.
  void RestoreBaseState() {
    this->FReceiveBuffer->Clear();
    this->FReceiveBuffer->BufferCleared();
    this->FToolsBuffer->Clear();
    this->FToolsBuffer->BufferCleared();
    this->QuitError();
    this->FCmdResponse = crt_none;
    this->FDelayNextCmdMs = 0;
    this->FDelayNextCmdStartTime = 0;
    this->FZCTReportHeader = 0xFFFF;
    this->FLastCommand.clear();
    this->FFirmwareVersionMajor = -1;
    this->FFirmwareVersionMinor = -1;
    this->FFirmwareVersionNumber = 0;
    this->FFlagVersion = 0;
    this->FHardFeature = 0;
    this->FHardFeature32 = 0;
    this->FFPGAtype = ft_unknown;
    this->FFPGAVersion.clear();
    this->FSerialNumberValue = TQV_BaseDevice::UnknownSerialNumber;
    this->FSerialNumberRead = false;
    this->FCFuserID = TQV_BaseDevice::NoUser;
    this->FReportCounter = 0;
    this->FReferenceClockError = false;
    this->FZCTChannelCount = 0;
    this->FReceivedSec = 0;
    this->HRQReadCount = 0;
    this->HRQReadCountLast = -1;
    this->HRQReadSettings.Clear();
  }
};

// An in-memory device: the fuzz input arrives in its receive buffer, writes are accepted.
class TFuzzDevice : public TFuzzRestartable<TQV_BaseDevice> {
 public:
  TFuzzDevice(TQV_DeviceType type, TQV_PeerType peer)
      : TFuzzRestartable<TQV_BaseDevice>(-1, 0, nullptr, false), FType(type), FPeer(peer) {
    Restart(false);
  }
  // Back to the state of a freshly built device, with empty buffers.
  void Restart(bool demo) {
    RestoreBaseState();
    FDevType = FType;
    FPeerType = FPeer;
    FDemoData = demo;
  }
  void Feed(const uint8_t* data, size_t size) {
    FReceiveBuffer->Write(std::span<const uint8_t>(data, size));
  }
  bool CheckDeviceClosed() override { return false; }
  bool ClosePort() override { return true; }
  bool OpenPort(std::string& ErrorMsg) override { return true; }
  bool DeviceWrite(const std::string&) override { return true; }

 private:
  const TQV_DeviceType FType;
  const TQV_PeerType FPeer;
};

// Feeds the input in two pieces and reads (text and structured reports alternately) until the
// decoder stops making progress. A hang shows as a call count beyond any progress bound.
// maxPending: the longest partial frame that may wait for more bytes at the end.
inline void RunDecoder(TFuzzDevice& device, bool demo, size_t maxPending, const uint8_t* data, size_t size) {
  device.Restart(demo);
  TQV_ReportDevice decoder(&device);
  if (size > 0 && (data[0] & 1)) decoder.SendCommand("\x41");
  const size_t half = size / 2;
  device.Feed(data, half);
  size_t idle = 0;
  const size_t limit = 4 * size + 64;
  for (size_t call = 0; call < limit; ++call) {
    if (call == 8) device.Feed(data + half, size - half);
    const uint32_t before = device.BufferAmount();
    const size_t pendingBefore = decoder.SerialBytesPending();
    std::string report;
    TQV_ReportStruct record;
    const TQV_Result result = (call % 3 == 2 && device.DevType() != QV_TCP_Device) ? decoder.GetReportStruct(record)
                                                                                   : decoder.DeviceGetReport(report);
    if (report.size() > 65536) __builtin_trap();
    // The serial decoder takes the bytes in blocks: working through a block it holds is progress.
    const bool progress = device.BufferAmount() != before || decoder.SerialBytesPending() != pendingBefore ||
                          !report.empty() || result != QV_No_Err;
    idle = progress ? 0 : idle + 1;
    if (idle > 8 && call > 8) break;
  }
  if (device.BufferAmount() + decoder.SerialBytesPending() > maxPending) __builtin_trap();  // stuck with data left
}

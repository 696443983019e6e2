#pragma once
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "core/Clock.h"
#include "devices/QV_DeviceInfo.h"
#include "protocol/QV_ReportDevice.h"
#include "support/FrameBuilder.h"
#include "support/LogCapture.h"
#include "support/QV_TestDevice.h"

// A test device that can also pretend to keep its own command list and raise device errors.
class TDecoderTestDevice : public TQV_TestDevice {
 public:
  using TQV_TestDevice::TQV_TestDevice;
  void SetHasCommandList(bool value) { FHasCommandList = value; }
  void RaiseError(TQV_Result code, const std::string& message) { SetError(code, message); }
  void ResetDevice() override { ++ResetCount; }
  // Writes fail without a new error, as on a line whose loss the device has reported already.
  bool DeviceWrite(const std::string& Data) override { return !FailWritesQuietly && TQV_TestDevice::DeviceWrite(Data); }
  int ResetCount = 0;
  bool FailWritesQuietly = false;
};

// One decoder on one test device with a manual clock and a captured log.
class ReportDeviceFixture : public ::testing::Test {
 protected:
  void Make(TQV_DeviceType type, TQV_PeerType peer) {
    clock.Advance(std::chrono::milliseconds(1000));  // tick 0 would read as "never"
    device = std::make_unique<TDecoderTestDevice>(clock, log.Id());
    device->SetDeviceType(type);
    device->SetPeer(peer);
    decoder = std::make_unique<TQV_ReportDevice>(device.get(), &infoList, clock);
  }
  std::string Next() {
    std::string report;
    result = decoder->DeviceGetReport(report);
    return report;
  }
  TQV_ReportStruct NextStruct() {
    TQV_ReportStruct record;
    result = decoder->GetReportStruct(record);
    return record;
  }
  bool HasLine(const std::string& text) const { return log.Contains(decoder->DbgTag() + text); }
  bool HasError(const std::string& text) const { return log.Contains("ERROR: " + decoder->DbgTag() + text); }
  void Advance(int ms) { clock.Advance(std::chrono::milliseconds(ms)); }

  TManualClock clock;
  TLogCapture log;
  TQV_DeviceInfoList infoList;
  std::unique_ptr<TDecoderTestDevice> device;
  std::unique_ptr<TQV_ReportDevice> decoder;
  TQV_Result result = QV_No_Err;
};

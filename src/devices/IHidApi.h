#pragma once
#include <cstdint>
#include <memory>
#include <string>

// One open HID interface: whole reports in and out. Reports are given without the report id byte
// that the instruments' single report carries (id 0): an input report is one count byte n and n
// data bytes, padded to the input length.
class IHidDevice {
 public:
  virtual ~IHidDevice() = default;
  // Report lengths including the report id byte, as the report descriptor gives them.
  virtual uint32_t InputReportLength() const = 0;
  virtual uint32_t OutputReportLength() const = 0;
  // One input report into `report`: its size, 0 when none came within timeoutMs, -1 when the
  // device failed (unplugged).
  virtual int Read(std::string& report, uint32_t timeoutMs) = 0;
  // One output report (without the report id byte); false when the device failed.
  virtual bool Write(const std::string& report) = 0;
};

// Opens HID interfaces by their node path.
class IHidApi {
 public:
  virtual ~IHidApi() = default;
  // The open interface, or nothing with the reason; inUse when another user holds it.
  virtual std::unique_ptr<IHidDevice> Open(const std::string& path, std::string& reason, bool& inUse) = 0;
};

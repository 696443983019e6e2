#pragma once
#include <cstdint>
#include <string>

#include "devices/IHidApi.h"

// Report lengths (including the report id byte) that a HID report descriptor declares: the largest
// input and output report over all report ids.
struct THidReportLengths {
  uint32_t Input = 0;
  uint32_t Output = 0;
  bool NumberedReports = false;  // the descriptor gives report ids
};
THidReportLengths ParseHidReportLengths(const std::string& descriptor);

// HID through hidapi's hidraw backend. The report lengths come from the report descriptor in sysfs;
// the node is locked (flock) while open, so that a second user, in this or another program, finds
// the instrument in use.
class THidApiLinux : public IHidApi {
 public:
  THidApiLinux();
  ~THidApiLinux() override;
  THidApiLinux(const THidApiLinux&) = delete;
  THidApiLinux& operator=(const THidApiLinux&) = delete;

  std::unique_ptr<IHidDevice> Open(const std::string& path, std::string& reason, bool& inUse) override;
};

// The program's HID access (hidapi is initialised once per process).
IHidApi& SystemHidApi();

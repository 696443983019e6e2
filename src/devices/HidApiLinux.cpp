#include "devices/HidApiLinux.h"

#include <hidapi/hidapi.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sys/file.h>
#include <unistd.h>

namespace {

// Item tags of the short items that decide report sizes.
constexpr uint8_t TagInput = 0x80, TagOutput = 0x90, TagReportSize = 0x74, TagReportId = 0x84,
                  TagReportCount = 0x94;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class THidDevice : public IHidDevice {
 public:
  THidDevice(hid_device* handle, int lockFd, const THidReportLengths& lengths)
      : FHandle(handle), FLockFd(lockFd), FLengths(lengths) {}
  ~THidDevice() override {
    hid_close(FHandle);
    ::close(FLockFd);
  }
  uint32_t InputReportLength() const override { return FLengths.Input; }
  uint32_t OutputReportLength() const override { return FLengths.Output; }

  int Read(std::string& report, uint32_t timeoutMs) override {
    report.assign(std::max<uint32_t>(FLengths.Input, 2), '\0');
    const int n = hid_read_timeout(FHandle, reinterpret_cast<unsigned char*>(report.data()), report.size(),
                                   static_cast<int>(timeoutMs));
    if (n <= 0) return n < 0 ? -1 : 0;
    report.resize(size_t(n));
    // With numbered reports hidraw hands the id byte over as well.
    if (FLengths.NumberedReports) report.erase(0, 1);
    return static_cast<int>(report.size());
  }

  bool Write(const std::string& report) override {
    const std::string withId = '\0' + report;
    return hid_write(FHandle, reinterpret_cast<const unsigned char*>(withId.data()), withId.size()) >= 0;
  }

 private:
  hid_device* FHandle;
  int FLockFd;
  THidReportLengths FLengths;
};

}  // namespace

THidReportLengths ParseHidReportLengths(const std::string& d) {
  uint32_t size = 0, count = 0;
  uint8_t id = 0;
  std::map<uint8_t, uint32_t> inputBits, outputBits;
  THidReportLengths lengths;
  for (size_t i = 0; i < d.size();) {
    const auto prefix = static_cast<uint8_t>(d[i]);
    if (prefix == 0xFE) {  // long item: size in the next byte
      i += 3 + (i + 1 < d.size() ? static_cast<uint8_t>(d[i + 1]) : 0);
      continue;
    }
    const size_t bytes = (prefix & 3) == 3 ? 4 : (prefix & 3);
    uint32_t value = 0;
    for (size_t k = 0; k < bytes && i + 1 + k < d.size(); ++k) value |= uint32_t(static_cast<uint8_t>(d[i + 1 + k])) << (8 * k);
    switch (prefix & 0xFC) {
      case TagReportSize: size = value; break;
      case TagReportCount: count = value; break;
      case TagReportId:
        id = static_cast<uint8_t>(value);
        lengths.NumberedReports = true;
        break;
      case TagInput: inputBits[id] += size * count; break;
      case TagOutput: outputBits[id] += size * count; break;
      default: break;
    }
    i += 1 + bytes;
  }
  for (const auto& [rid, bits] : inputBits) lengths.Input = std::max(lengths.Input, (bits + 7) / 8 + 1);
  for (const auto& [rid, bits] : outputBits) lengths.Output = std::max(lengths.Output, (bits + 7) / 8 + 1);
  return lengths;
}

THidApiLinux::THidApiLinux() { hid_init(); }
THidApiLinux::~THidApiLinux() { hid_exit(); }

std::unique_ptr<IHidDevice> THidApiLinux::Open(const std::string& path, std::string& reason, bool& inUse) {
  inUse = false;
  const int lockFd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (lockFd < 0) {
    reason = std::strerror(errno);
    return nullptr;
  }
  if (::flock(lockFd, LOCK_EX | LOCK_NB) != 0) {
    inUse = errno == EWOULDBLOCK;
    reason = std::strerror(errno);
    ::close(lockFd);
    return nullptr;
  }
  const std::string node = std::filesystem::path(path).filename().string();
  const THidReportLengths lengths = ParseHidReportLengths(ReadFile("/sys/class/hidraw/" + node + "/device/report_descriptor"));
  hid_device* handle = hid_open_path(path.c_str());
  if (!handle || lengths.Input < 2 || lengths.Output < 3) {
    reason = handle ? "no report lengths in the report descriptor" : "cannot open the HID device";
    if (handle) hid_close(handle);
    ::close(lockFd);
    return nullptr;
  }
  hid_set_nonblocking(handle, 0);
  return std::make_unique<THidDevice>(handle, lockFd, lengths);
}

IHidApi& SystemHidApi() {
  static THidApiLinux api;
  return api;
}

#pragma once
#include <functional>
#include <memory>
#include <string>

#include "devices/IUsbEnumerator.h"

struct udev;
struct udev_monitor;

// USB interfaces through libudev: every tty and hidraw node whose parents include a USB device.
class TUdevEnumerator : public IUsbEnumerator {
 public:
  TUdevEnumerator();
  ~TUdevEnumerator() override;
  TUdevEnumerator(const TUdevEnumerator&) = delete;
  TUdevEnumerator& operator=(const TUdevEnumerator&) = delete;

  std::vector<TUsbInterface> Enumerate() override;

 private:
  struct udev* FUdev;
};

// Arrival and removal of tty and hidraw nodes. The owner polls Fd() (readable when a notice is
// waiting) and takes the notices with TakeNotices; the node and whether it arrived.
class TUdevMonitor {
 public:
  TUdevMonitor();
  ~TUdevMonitor();
  TUdevMonitor(const TUdevMonitor&) = delete;
  TUdevMonitor& operator=(const TUdevMonitor&) = delete;

  // -1 when no monitor could be set up.
  int Fd() const;
  void TakeNotices(const std::function<void(const std::string& node, bool arrived)>& notice);

 private:
  struct udev* FUdev;
  struct udev_monitor* FMonitor = nullptr;
};

// The counters attached now, through the system's enumeration.
std::vector<TUsbInstrument> EnumerateUsbInstruments();

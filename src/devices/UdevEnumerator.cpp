#include "devices/UdevEnumerator.h"

#include <libudev.h>

#include <cstdlib>

namespace {

std::string Attr(udev_device* device, const char* name) {
  const char* value = udev_device_get_sysattr_value(device, name);
  return value ? value : "";
}

uint16_t HexAttr(udev_device* device, const char* name) {
  return static_cast<uint16_t>(std::strtoul(Attr(device, name).c_str(), nullptr, 16));
}

}  // namespace

TUdevEnumerator::TUdevEnumerator() : FUdev(udev_new()) {}
TUdevEnumerator::~TUdevEnumerator() {
  if (FUdev) udev_unref(FUdev);
}

std::vector<TUsbInterface> TUdevEnumerator::Enumerate() {
  std::vector<TUsbInterface> found;
  if (!FUdev) return found;
  udev_enumerate* e = udev_enumerate_new(FUdev);
  if (!e) return found;
  udev_enumerate_add_match_subsystem(e, "tty");
  udev_enumerate_add_match_subsystem(e, "hidraw");
  udev_enumerate_scan_devices(e);
  udev_list_entry* entry = nullptr;
  udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(e)) {
    udev_device* dev = udev_device_new_from_syspath(FUdev, udev_list_entry_get_name(entry));
    if (!dev) continue;
    // The USB device the node belongs to carries the ids and strings; it lives as long as dev.
    udev_device* usb = udev_device_get_parent_with_subsystem_devtype(dev, "usb", "usb_device");
    const char* node = udev_device_get_devnode(dev);
    if (usb && node) {
      TUsbInterface i;
      i.Node = node;
      i.Hid = std::string(udev_device_get_subsystem(dev)) == "hidraw";
      i.Vid = HexAttr(usb, "idVendor");
      i.Pid = HexAttr(usb, "idProduct");
      i.SerialNumber = Attr(usb, "serial");
      i.Product = Attr(usb, "product");
      i.Manufacturer = Attr(usb, "manufacturer");
      found.push_back(std::move(i));
    }
    udev_device_unref(dev);
  }
  udev_enumerate_unref(e);
  return found;
}

TUdevMonitor::TUdevMonitor() : FUdev(udev_new()) {
  if (!FUdev) return;
  FMonitor = udev_monitor_new_from_netlink(FUdev, "udev");
  if (!FMonitor) return;
  udev_monitor_filter_add_match_subsystem_devtype(FMonitor, "tty", nullptr);
  udev_monitor_filter_add_match_subsystem_devtype(FMonitor, "hidraw", nullptr);
  if (udev_monitor_enable_receiving(FMonitor) != 0) {
    udev_monitor_unref(FMonitor);
    FMonitor = nullptr;
  }
}

TUdevMonitor::~TUdevMonitor() {
  if (FMonitor) udev_monitor_unref(FMonitor);
  if (FUdev) udev_unref(FUdev);
}

int TUdevMonitor::Fd() const { return FMonitor ? udev_monitor_get_fd(FMonitor) : -1; }

void TUdevMonitor::TakeNotices(const std::function<void(const std::string& node, bool arrived)>& notice) {
  if (!FMonitor) return;
  while (udev_device* dev = udev_monitor_receive_device(FMonitor)) {
    const char* node = udev_device_get_devnode(dev);
    const char* action = udev_device_get_action(dev);
    if (node && action) {
      const std::string a = action;
      if (a == "add" || a == "remove") notice(node, a == "add");
    }
    udev_device_unref(dev);
  }
}

std::vector<TUsbInstrument> EnumerateUsbInstruments() {
  TUdevEnumerator enumerator;
  return SelectUsbInstruments(enumerator.Enumerate());
}

#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "devices/QV_CommonTypes.h"

// What the USB ids of an interface say about the instrument behind it.
struct TUsbIdentity {
  TQV_DeviceType Type = QV_HID;  // QV_HID or QV_CDC
  TQV_PeerType Peer = ptColdfire;
  bool BootLoader = false;
  // Network-module lines: several users share the line, the read time-out is shorter and the first
  // version command of a connection is dropped (the instrument reports its version by itself).
  bool Shared = false;
  uint32_t ReadTimeoutMs = 200;
  bool FirstCommandDropped = false;
};

// The instrument's identity for these ids, or nothing for a foreign device. The product string
// tells the boot loader of a 0x16D0/0x0611 instrument.
std::optional<TUsbIdentity> IdentifyUsb(uint16_t vid, uint16_t pid, const std::string& productString = {});
// Product 0x0004, or 0x0611 with "Bootloader" in the product string.
bool IsUsbBootLoader(uint16_t pid, const std::string& productString);

// One USB interface as the platform lists it: the node to open and the strings of its USB device.
struct TUsbInterface {
  std::string Node;  // "/dev/ttyACM0", "/dev/hidraw1"
  bool Hid = false;  // a hidraw node, else a tty
  uint16_t Vid = 0;
  uint16_t Pid = 0;
  std::string SerialNumber;
  std::string Product;
  std::string Manufacturer;
};

// An interface that is a counter of the maker's family, with what the ids say.
struct TUsbInstrument {
  TUsbInterface Interface;
  TUsbIdentity Identity;
  // The USB serial number after its first "_" (empty when it has none).
  std::string NickName;
  // The name the device list shows and connection strings carry: the node.
  const std::string& Name() const { return Interface.Node; }
};

// The counters among the interfaces, in node order. A HID row needs a hidraw node and a CDC row a
// tty node: the other interfaces of a composite device are not counters.
std::vector<TUsbInstrument> SelectUsbInstruments(const std::vector<TUsbInterface>& interfaces);
std::string UsbNickName(const std::string& serialNumber);
// What the device list shows of a counter: "Lab 3 (CDC, network module)".
std::string UsbDescription(const TUsbInstrument& instrument);

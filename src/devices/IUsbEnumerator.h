#pragma once
#include <functional>
#include <string>
#include <vector>

#include "devices/UsbIds.h"

// The USB interfaces of the system (tty and hidraw nodes with the ids and strings of their USB
// device), and arrival and removal notices for them.
class IUsbEnumerator {
 public:
  virtual ~IUsbEnumerator() = default;
  virtual std::vector<TUsbInterface> Enumerate() = 0;
};

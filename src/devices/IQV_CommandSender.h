#pragma once
#include <string>

#include "devices/QV_CommonTypes.h"

// What a device needs of the report decoder to send a command through its queue (the HRQ read
// asks for the next slice this way). The decoder implements it.
class IQV_CommandSender {
 public:
  virtual ~IQV_CommandSender() = default;
  virtual TQV_Result SendCommand(const std::string& cmd) = 0;
};

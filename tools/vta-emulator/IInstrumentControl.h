#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "InstrumentModel.h"

// What a transport asks of the instrument it belongs to.
class IInstrumentControl {
 public:
  virtual ~IInstrumentControl() = default;
  // Runs a command on the measuring part; a settings change puts its report into the ring.
  virtual TInstrumentModel::TCommandResult Execute(std::string_view command, const std::string& who) = 0;
  // A user logs on: the version and settings reports go into the ring; returns the index of the
  // first of them, where a new user starts reading.
  virtual uint64_t Announce() = 0;
};

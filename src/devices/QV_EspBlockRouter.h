#pragma once
#include <atomic>
#include <functional>
#include <string>
#include <string_view>

#include "devices/QV_TransmitBlock.h"

class TQV_BaseDevice;

// Sends each transmit block of a network-module instrument where it belongs, the same way on every
// transport that reads blocks itself (network, serial): replies to maintenance commands to the tools
// buffer, dumps to the debug log, the instrument's buffer-cleared status to the receive buffer's
// state, everything else whole to the receive buffer for the report decoder. It also catches the
// replies the device asked for: the hardware-feature word and the table of connected users.
class TQV_EspBlockRouter {
 public:
  // `write` appends bytes to the receive buffer (the device handles an overflow); `kind` names the
  // device in the log lines ("NetworkDevice", "SerialDevice"), `tag` prefixes the reply matching's
  // lines (for example "TQV_NetworkDevice.ServerExecute_ESP").
  using TWrite = std::function<void(std::string_view)>;
  TQV_EspBlockRouter(TQV_BaseDevice& device, std::string kind, std::string tag, TWrite write);

  void Route(const TQV_TransmitBlock& block);

  // A buffer-clearing command went out: its old stream is of no use until the instrument reports
  // its buffer cleared.
  std::atomic<bool> IgnoreDataUntilStreamInterrupted = false;
  // The hardware-feature word (0x85 "E" "i" 0x05) was asked for.
  std::atomic<bool> ReadHardFeatureRequested = false;
  // The connected-users table (0x85 "B" 0x01) was asked for: its 16-byte reply becomes report 0x7030.
  std::atomic<bool> ReadConnectedUsers = false;

  // Report 0x7030 with the four 4-byte user slots, as a message block the decoder reads.
  static std::string ConnectedUsersBlock(std::string_view table, uint32_t y);

 private:
  // True when the block is tools data; decides the hardware-feature and blob replies.
  bool IsToolsData(const TQV_TransmitBlock& block);
  void TakeToolsData(const TQV_TransmitBlock& block);
  void TakeUserId(const TQV_TransmitBlock& block);
  // Ends the device's reply wait when the block shows the effect of the last command.
  void MatchReply(const TQV_TransmitBlock& block);

  TQV_BaseDevice& FDevice;
  std::string FKind;
  std::string FTag;
  TWrite FWrite;
};

#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "acquisition/QV_SourceLogLine.h"
#include "devices/QV_CommonTypes.h"

// Which commands a source passes on to its instrument. The first byte is the opcode; 0x85 starts an
// extended command whose second byte is the sub-command. Free of I/O: the source hands in what it
// knows about its device and queues what is accepted.

// What the source knows about its connection when a command comes in.
struct TCommandContext {
  bool ConnectionOpen = false;   // a decoder over an open port
  uint32_t PendingCommands = 0;  // commands waiting in the decoder's queue
  uint32_t CmdLimit = 0;         // most pending commands; 0 = unlimited
  TQV_PeerType PeerType = ptUnknown;
  uint16_t HardFeature = 0;           // hardware-feature word
  int32_t FirmwareVersionNumber = 0;  // 0 = not known yet
  TQV_DeviceType DeviceType = QV_Serial;
  bool SerialConnection = false;  // reached through a serial port
  int CounterChannelCount = 0;    // 0 = not known (taken as 25)
  bool RawDataOption = false;     // option 4711
};

struct TCommandAcceptance {
  bool Accepted = false;
  TQV_Result Result = QV_No_Err;  // QV_CmdIgnored when refused
  // Accepted: the command to queue (an ESP peer gets the opcode without bit 7).
  // Refused: the reply text for the caller.
  std::string Command;
  TSourceLogLines Log;
};

// Checks one command; `dbgTag` leads every diagnostic line.
TCommandAcceptance CheckCommand(std::string_view cmd, const TCommandContext& context, const std::string& dbgTag);

// The length limit of the procedural interface: 1..127 bytes, except for commands whose own rule
// asks for more (the network module's NVS block write, 0x85 0x25 "b", 132 bytes). Nothing when the
// length is fine, else "Invalid command length = " + length + ", valid: 1..127".
std::optional<std::string> CheckCommandLength(std::string_view cmd);

// Lowest rate index a serial line can carry for that many counter channels (0 = not known).
int SerialMinimumRateIndex(TQV_PeerType peer, int counterChannelCount);

#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "devices/QV_CommonTypes.h"

class TQV_BaseDevice;

// The pacing rules every writer and reader of instrument commands follows: the delay after a
// written command, the reply wait it starts, and the received blocks that end that wait.

// Which writer puts a command on the wire; the delays differ.
enum class TCmdWriter : uint8_t { UsbLine, Network, Serial };

// The delay (ms) a writer starts after a successful write of `cmd`, 0 for none, and the text that
// explains it ("FRAM access", "NVS access", "switch partition", "ESP").
struct TCmdDelay {
  int32_t Ms = 0;
  std::string Reason;
};
TCmdDelay CommandDelayFor(std::string_view cmd, TQV_PeerType peer, TCmdWriter writer);

// The reply wait a written command starts on a network-module peer (nothing when it starts none or
// keeps the present one). `header` is the device's current measurement header (0xFFFF unknown).
struct TReplyWaitStart {
  std::optional<TCmdResponseType> Wait;
  // "Is7020Cmd", "IsChannelCmd", "IsReadNVSCmd"; "invalid scrambler" when a scrambler command meets a
  // header whose scrambler bits are both set.
  std::string Reason;
};
TReplyWaitStart ReplyWaitFor(std::string_view cmd, uint16_t header);

// Sets LastCommand and the reply wait after a successful write to a network-module peer, logging
// with the writer's prefix (for example "QV_UsbThread.SendCommandIntern").
void ApplyReplyWait(TQV_BaseDevice& device, const std::string& cmd, const std::string& logPrefix);

// The outcome of checking a received block against a pending reply wait.
struct TReplyMatch {
  bool Ended = false;
  // Diagnostic lines to follow the reader's prefix (each starts with a blank).
  std::vector<std::string> Lines;
};
// A settings-changed status ("s" below 240) ends every wait but crt_channel.
TReplyMatch MatchStatusBlock(TCmdResponseType wait);
// A measurement block with header `newHeader` while `wait` is pending; `oldHeader` is the device's
// header before the block (0xFFFF unknown), `cmdByte` the first byte of the last command (0xFF none).
TReplyMatch MatchMeasurement(TCmdResponseType wait, uint16_t oldHeader, uint16_t newHeader, uint8_t cmdByte);


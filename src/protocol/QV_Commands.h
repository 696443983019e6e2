#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Clock.h"
#include "devices/QV_CommonTypes.h"

class TQV_BaseDevice;

// Command bytes of the instruments. A single-byte opcode with bit 7 set (other than 0x85 and
// 0xBC..0xBF) first clears the instrument's transmit buffer, then does the low 7 bits.
namespace QVCmd {
constexpr uint8_t Nop = 0x00;
constexpr uint8_t Version = 0x01;
constexpr uint8_t Calibration = 0x02;
constexpr uint8_t HRQSlice = 0x03;
constexpr uint8_t RepeatESP = 0x04;  // 0x04 0x73 + 4-byte address
constexpr uint8_t Accepted05 = 0x05;
constexpr uint8_t PhaseReset = 0x0A;
constexpr uint8_t ReSync = 0x0F;
constexpr uint8_t SetDAC = 0x10;
constexpr uint8_t RateBase = 0x20;     // + rate index 0..13
constexpr uint8_t Channels24 = 0x30;   // 0x31..0x3B: 1..11 channels
constexpr uint8_t ChannelsN = 0x3F;    // + n = 12..23
constexpr uint8_t ModeBase = 0x40;     // + mode 0..7
constexpr uint8_t ScramblerOff = 0x50;
constexpr uint8_t ScramblerAuto = 0x5E;
constexpr uint8_t ScramblerTrim = 0x5F;
constexpr uint8_t PPI = 0x60;
constexpr uint8_t ClearBuffer = 0x80;
constexpr uint8_t Extended = 0x85;
constexpr uint8_t Login = 0xBE;
// Sub-commands after 0x85.
constexpr uint8_t ExToolsEnter = 0x10;
constexpr uint8_t ExToolsLeave = 0x11;
constexpr uint8_t ExRemoteLogin = 0x12;
constexpr uint8_t ExWriteMemory = 0x23;  // "#"
constexpr uint8_t ExWriteNVS = 0x25;     // "%"
constexpr uint8_t ExSwitchUser = 0x27;   // + user 1..4
constexpr uint8_t ExGoSilent = 0x30;     // "0"
constexpr uint8_t ExSwitchPartition = 0x32;  // "2"
constexpr uint8_t ExReadMemory = 0x40;
constexpr uint8_t ExReadUsers = 0x42;    // "B"
constexpr uint8_t ExReadBlock = 0x43;    // "C"
constexpr uint8_t ExReadNVS = 0x45;      // "E"
constexpr uint8_t ExResetColdfire = 0x50;  // "P"
constexpr uint8_t ExResetESP = 0x51;       // "Q"
constexpr uint8_t ExStop = 0x60;           // "`"
constexpr uint8_t ExResume = 0x72;         // "r"
constexpr uint8_t ExRepeat = 0x73;         // "s"
constexpr uint8_t ExRepeatUser1 = 0x74;    // "t".."w" for users 1..4
}  // namespace QVCmd

// ---- Classification ----
// One byte 0x01 or 0x81: asks for the version report.
bool IsVersionCmd(std::string_view cmd);
// The first command of a connection to a network-module peer that its writers drop: 0x01, 0x80, 0x81.
bool IsFirstVersionCmd(std::string_view cmd);
// First byte with bit 7 set that is neither 0x85 nor 0xBC..0xBF: clears the instrument's buffer.
bool IsBufferClearCmd(std::string_view cmd);
// 0x85 followed by 0x38..0x3E, 0x40..0x42 or 0x44: the reply comes as tools data.
bool IsToolsCmd(std::string_view cmd);
// 0x85 "P" or 0x85 "Q".
bool IsResetCmd(std::string_view cmd);
// 0x85 "`".
bool IsStopCmd(std::string_view cmd);
// Decoder queue entries hold every byte widened to one 16-bit character.
std::u16string WidenCommand(std::string_view cmd);
std::string NarrowCommand(std::u16string_view cmd);

// ---- Pacing rules ----
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

// How long a reply wait may last: three times the longer of the old and the new interval plus one
// second, because a rate change from or to 20 s shows only in the next measurement. An unknown
// header counts as the slowest rate.
int64_t ReplyWaitLimitMs(uint16_t header, std::string_view lastCommand);

// Ends a device's reply wait that has lasted beyond ReplyWaitLimitMs, so that a lost reply cannot
// block the queue for good. Each queue that honours the wait checks it on every turn.
class TQV_ReplyWaitGuard {
 public:
  explicit TQV_ReplyWaitGuard(const TClock& clock) : FClock(clock) {}
  // True when it ended an expired wait (logged as an error with `tag`).
  bool Check(TQV_BaseDevice& device, int32_t logId, const std::string& tag);

 private:
  const TClock& FClock;
  std::mutex FLock;
  TCmdResponseType FKind = crt_none;
  uint64_t FStartMs = 0;
  int64_t FLimitMs = 0;
};

// The decoder's command queue: filled from the window thread and the report thread, emptied by the
// report thread, so it locks itself. Entries keep the widened form of the commands.
class TQV_CommandQueue {
 public:
  void Add(std::string_view cmd);
  // The first command, removed; nothing when the queue is empty.
  std::optional<std::string> TakeFirst();
  // Removes every entry for which `match` holds; returns how many.
  int RemoveIf(const std::function<bool(const std::string&)>& match);
  void Clear();
  int Count() const;
  bool Empty() const { return Count() == 0; }

 private:
  mutable std::mutex FLock;
  std::deque<std::u16string> FItems;
};

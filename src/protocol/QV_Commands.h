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
#include "devices/QV_CmdBytes.h"
#include "devices/QV_CmdPacing.h"
#include "devices/QV_CommonTypes.h"

class TQV_BaseDevice;


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
// How long an NVS read may wait for its block: the instrument answers from its memory at once,
// whatever the measurement interval.
constexpr int64_t NvsReplyLimitMs = 3000;
// How long a reply wait of `kind` may last. A settings wait: three times the longer of the old and
// the new interval plus one second, because a rate change from or to 20 s shows only in the next
// measurement; an unknown header counts as the slowest rate. An NVS read: NvsReplyLimitMs.
int64_t ReplyWaitLimitMs(TCmdResponseType kind, uint16_t header, std::string_view lastCommand);

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

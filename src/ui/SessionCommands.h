#pragma once
#include <cstdint>
#include <optional>
#include <string>

// One command for a session's SetCommand: the bytes for the instrument and the text for the
// messages and logs.
struct TSessionCommand {
  std::string Cmd;
  std::string CmdText;
  bool operator==(const TSessionCommand&) const = default;
};

// The commands of the per-session menu items. `caption` is the menu item's caption without access
// keys ("Frequency", "20s", "Trim").
TSessionCommand ModeCommand(int32_t mode, const std::string& caption);       // 0x40 + mode
TSessionCommand IntervalCommand(int32_t rate, const std::string& caption);   // 0x20 + rate index
TSessionCommand ScramblerCommand(int32_t tag, const std::string& caption);   // 0x50 + tag
// "Use PPI" checked: 0x60, the interval and the offset as 16-bit little-endian numbers (a negative
// offset + 20000), text caption + " Offset " + offset.
TSessionCommand PPICommand(int32_t intervalMs, int32_t offsetMs, const std::string& caption);
// "Use PPI" unchecked: 0x60, 0xFFFF, 0xFFFF, text caption + " default".
TSessionCommand PPIDefaultCommand(const std::string& caption);
// Whether the PPI offset reaches the interval ("PPI offset larger than interval").
bool PPIOffsetTooLarge(int32_t intervalMs, int32_t offsetMs);

// The channels the instrument transmits: 24 (or any count outside 1..23) "Transmit all channels"
// 0x30; 1 "Transmit channel 1" 0x31; 2..11 0x30 + count, 12..23 0x3F count, "Transmit channels
// 1.." + count.
TSessionCommand TransmitChannelsCommand(int32_t count);

// One-byte commands of the "&Action" menu.
TSessionCommand VersionCommand();      // 1
TSessionCommand DiffResetCommand();    // 10
TSessionCommand SyncEnableCommand();   // 15
TSessionCommand ClearBufferCommand();  // 128

// A command typed as hexadecimal bytes ("85 42", "0x01,0x80"); none when a part is not a byte.
std::optional<std::string> ParseHexCommand(const std::string& text);

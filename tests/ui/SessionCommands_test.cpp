#include <gtest/gtest.h>

#include "ui/SessionCommands.h"

namespace {

TEST(SessionCommandsTest, OneByteCommandsOfTheMenus) {
  const std::vector<std::pair<TSessionCommand, TSessionCommand>> cases = {
      {ModeCommand(0, "Phase"), {"\x40", "Mode Phase"}},
      {ModeCommand(7, "Raw Data Average"), {"\x47", "Mode Raw Data Average"}},
      {IntervalCommand(0, "1ms"), {"\x20", "Interval 1ms"}},
      {IntervalCommand(13, "20s"), {"\x2D", "Interval 20s"}},
      {ScramblerCommand(0, "Off"), {"\x50", "Scrambler Off"}},
      {ScramblerCommand(14, "Auto"), {"\x5E", "Scrambler Auto"}},
      {ScramblerCommand(15, "Trim"), {"\x5F", "Scrambler Trim"}},
      {VersionCommand(), {"\x01", "Version"}},
      {DiffResetCommand(), {"\x0A", "Diff Reset"}},
      {SyncEnableCommand(), {"\x0F", "Sync Enable"}},
      {ClearBufferCommand(), {"\x80", "Clear Buffer"}},
  };
  for (const auto& [built, expected] : cases) EXPECT_EQ(built, expected) << expected.CmdText;
}

TEST(SessionCommandsTest, TransmitChannelsTakeOneOrTwoBytes) {
  const std::vector<std::pair<int32_t, TSessionCommand>> cases = {
      {24, {"\x30", "Transmit all channels"}},
      {0, {"\x30", "Transmit all channels"}},
      {1, {"\x31", "Transmit channel 1"}},
      {2, {"\x32", "Transmit channels 1..2"}},
      {11, {"\x3B", "Transmit channels 1..11"}},
      {12, {"\x3F\x0C", "Transmit channels 1..12"}},
      {23, {"\x3F\x17", "Transmit channels 1..23"}},
  };
  for (const auto& [count, expected] : cases) EXPECT_EQ(TransmitChannelsCommand(count), expected) << count;
}

TEST(SessionCommandsTest, PPICarriesIntervalAndOffsetLittleEndian) {
  EXPECT_EQ(PPICommand(100, -5, "Use PPI"), (TSessionCommand{std::string("\x60\x64\x00\x1B\x4E", 5), "Use PPI Offset -5"}));
  EXPECT_EQ(PPICommand(20000, 300, "Use PPI").Cmd, std::string("\x60\x20\x4E\x2C\x01", 5));
  EXPECT_EQ(PPIDefaultCommand("Use PPI"), (TSessionCommand{std::string("\x60\xFF\xFF\xFF\xFF", 5), "Use PPI default"}));
  EXPECT_FALSE(PPIOffsetTooLarge(100, -99));
  EXPECT_TRUE(PPIOffsetTooLarge(100, -100));
  EXPECT_TRUE(PPIOffsetTooLarge(100, 100));
}

TEST(SessionCommandsTest, HexCommandsOfTheFreeCommandEntry) {
  EXPECT_EQ(ParseHexCommand("01"), std::string("\x01"));
  EXPECT_EQ(ParseHexCommand("0x85, 42 ;e"), std::string("\x85\x42\x0E"));
  for (const char* bad : {"", "  ", "123", "0xZZ", "85 4G", "0x"}) EXPECT_EQ(ParseHexCommand(bad), std::nullopt) << bad;
}

}  // namespace

#include "devices/QV_CommandInterpreter.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "support/LogCapture.h"

namespace {

using namespace std::string_literals;

// Reads (and so resets) every request flag; returns the names of those that were raised.
std::set<std::string> RaisedFlags(TQV_CommandInterpreter& interp) {
  std::set<std::string> raised;
  const auto take = [&](bool flag, const char* name) {
    if (flag) raised.insert(name);
  };
  take(interp.ChannelCountCmd(), "ChannelCount");
  take(interp.ClearBuffer(), "ClearBuffer");
  take(interp.GetCalibCmd(), "GetCalib");
  take(interp.GetHRQCmd(), "GetHRQ");
  take(interp.IntervalCmd(), "Interval");
  take(interp.ModeCmd(), "Mode");
  take(interp.ResetPhaseDiffCmd(), "ResetPhaseDiff");
  take(interp.ReSyncCmd(), "ReSync");
  take(interp.ScramblerCmd(), "Scrambler");
  take(interp.SetDACCmd(), "SetDAC");
  take(interp.VersionCmd(), "Version");
  take(interp.WriteFRAMCmd(), "WriteFRAM");
  return raised;
}

std::string MemoryWrite(uint32_t address, size_t dataLength = 128) {
  std::string cmd = "\x85#";
  for (int shift = 24; shift >= 0; shift -= 8) cmd += static_cast<char>((address >> shift) & 0xFF);
  for (size_t i = 0; i < dataLength; ++i) cmd += static_cast<char>(i);
  return cmd;
}

struct TCommandCase {
  std::string cmd;
  std::set<std::string> flags;  // empty with an empty refusal text: accepted without effect
  std::string refusal;          // empty: accepted
};

const TCommandCase CommandCases[] = {
    {"\x00"s, {}, ""},
    {"\x05", {}, ""},
    {"\x85", {}, "Unknown command 85"},  // the extended prefix alone
    {"\x10", {}, ""},
    {"\x60", {}, ""},
    {"\x7F", {}, ""},
    {"\x80", {"ClearBuffer"}, ""},
    {"\x01", {"Version"}, ""},
    {"\x81", {"Version", "ClearBuffer"}, ""},
    {"\x02", {"GetCalib"}, ""},
    {"\x0A", {"ResetPhaseDiff"}, ""},
    {"\x0F", {"ReSync"}, ""},
    {"\x03", {}, "Unknown command 03"},
    {"\x04", {}, "Unknown command 04"},
    {"A", {"Mode"}, ""},
    {"\xC1", {"Mode", "ClearBuffer"}, ""},
    {"F", {"Mode"}, ""},
    {"G", {}, "Unknown command 47"},
    {"\xC7", {}, "Unknown command C7"},
    {"P", {"Scrambler"}, ""},
    {"^", {"Scrambler"}, ""},
    {"_", {"Scrambler"}, ""},
    {"Q", {}, "Unsupported scrambler command 51"},
    {"\xD3", {}, "Unsupported scrambler command D3"},
    {"0", {"ChannelCount"}, ""},
    {";", {"ChannelCount"}, ""},
    {"<", {}, "Unknown command 3C"},
    {" ", {"Interval"}, ""},
    {"-", {"Interval"}, ""},
    {".", {}, "Unknown command 2E"},
    {"\x03\x02", {"GetHRQ"}, ""},
    {"\x03\x05", {}, "Unknown command 0305"},
    {"\x03\x00"s, {}, "Unknown command 0300"},
    {"\x10\x12\x34\x56", {"SetDAC"}, ""},
    {"\x10\x12\x34", {}, "Unknown command 101234"},
    {"?\x0C", {"ChannelCount"}, ""},
    {"?\x17", {"ChannelCount"}, ""},
    {"?\x0B", {}, "Unknown command 3F0B"},
    {"?\x18", {}, "Unknown command 3F18"},
    {"! ", {}, "Unknown command 2120"},
    {MemoryWrite(0x7E000), {"WriteFRAM"}, ""},
    {MemoryWrite(0x7E200), {"WriteFRAM"}, ""},
    {"\x85" "Eb\x01", {}, "Unsupported command 85456201"},
    {"\x85\x50", {}, "Unsupported command 8550"},
};

TEST(QV_CommandInterpreter, AcceptsAndRefusesAsTheFirmware) {
  for (const auto& c : CommandCases) {
    SCOPED_TRACE("command " + AnsiToHex(c.cmd));
    TQV_CommandInterpreter interp(-1);
    const bool accepted = interp.CheckCommand(c.cmd);
    EXPECT_EQ(accepted, c.refusal.empty());
    EXPECT_EQ(interp.ErrorCode(), c.refusal.empty() ? QV_No_Err : QV_CmdIgnored);
    EXPECT_EQ(interp.ErrorMessage(), c.refusal);
    EXPECT_EQ(RaisedFlags(interp), c.flags);
    // Read-and-reset: a second look finds nothing.
    EXPECT_TRUE(RaisedFlags(interp).empty());
  }
}

TEST(QV_CommandInterpreter, MemoryWriteNeedsExactLengthAndAddressInRange) {
  const struct {
    uint32_t address;
    size_t length;
  } refused[] = {{0x7DFFF, 128}, {0x7E201, 128}, {0x7E080, 127}, {0x7E080, 129}};
  for (const auto& r : refused) {
    TQV_CommandInterpreter interp(-1);
    const std::string cmd = MemoryWrite(r.address, r.length);
    EXPECT_FALSE(interp.CheckCommand(cmd));
    EXPECT_EQ(interp.ErrorMessage(), "Unsupported command " + AnsiToHex(cmd));
    EXPECT_FALSE(interp.WriteFRAMCmd());
  }

  TQV_CommandInterpreter interp(-1);
  const std::string cmd = MemoryWrite(0x7E080);
  ASSERT_TRUE(interp.CheckCommand(cmd));
  EXPECT_EQ(interp.FRAMAdr(), 128);
  EXPECT_EQ(interp.FRAMContent(), cmd.substr(6));
  ASSERT_TRUE(interp.CheckCommand(MemoryWrite(0x7E000)));
  EXPECT_EQ(interp.FRAMAdr(), 0);
}

TEST(QV_CommandInterpreter, KeepsTheValuesOfAcceptedCommands) {
  TQV_CommandInterpreter interp(-1);
  const struct {
    char cmd;
    uint8_t rate;
    int32_t interval;
  } rates[] = {{' ', 0, 1}, {'#', 3, 10}, {'&', 6, 100}, {')', 9, 1000}, {'-', 13, 20000}};
  for (const auto& r : rates) {
    ASSERT_TRUE(interp.CheckCommand(std::string(1, r.cmd)));
    EXPECT_EQ(interp.Rate(), r.rate);
    EXPECT_EQ(interp.Interval(), r.interval);
  }
  ASSERT_TRUE(interp.CheckCommand("0"));
  EXPECT_EQ(interp.ChannelCount(), 24);
  ASSERT_TRUE(interp.CheckCommand("5"));
  EXPECT_EQ(interp.ChannelCount(), 5);
  ASSERT_TRUE(interp.CheckCommand("?\x0C"));
  EXPECT_EQ(interp.ChannelCount(), 12);
  ASSERT_TRUE(interp.CheckCommand("\xC4"));
  EXPECT_EQ(interp.Mode(), 4);
  EXPECT_TRUE(interp.ClearBuffer());
  ASSERT_TRUE(interp.CheckCommand("^"));
  EXPECT_EQ(interp.Scrambler(), 1);
  ASSERT_TRUE(interp.CheckCommand("\x10\x12\x34\x56"));
  EXPECT_EQ(interp.DAC(), 0x123456);
  ASSERT_TRUE(interp.CheckCommand("\x03\x04"));
  EXPECT_EQ(interp.HRQBlock(), 4);

  // A refused command leaves the values as they were.
  EXPECT_FALSE(interp.CheckCommand("G"));
  EXPECT_EQ(interp.Mode(), 4);
  EXPECT_FALSE(interp.CheckCommand("\xBF"));
  EXPECT_EQ(interp.ChannelCount(), 12);
  EXPECT_FALSE(interp.ClearBuffer());
  // The next command clears the error of the last.
  EXPECT_TRUE(interp.CheckCommand("\x00"s));
  EXPECT_EQ(interp.ErrorCode(), QV_No_Err);
  EXPECT_EQ(interp.ErrorMessage(), "");
}

TEST(QV_CommandInterpreter, MissingCommandIsRefusedAndLogged) {
  TLogCapture log;
  TQV_CommandInterpreter interp(log.Id());
  EXPECT_FALSE(interp.CheckCommand(std::string_view()));
  EXPECT_EQ(interp.ErrorCode(), QV_CmdIgnored);
  EXPECT_EQ(interp.ErrorMessage(), "command missing");
  EXPECT_TRUE(log.Contains("ERROR: TQV_CommandInterpreter.CheckCommand: no command"));
}

TEST(QV_CommandInterpreter, WideCommandsAreNarrowedBytewise) {
  TQV_CommandInterpreter interp(-1);
  EXPECT_TRUE(interp.CheckCommand(std::u16string(u"\u00C1")));
  EXPECT_EQ(interp.Mode(), 1);
  EXPECT_TRUE(interp.ClearBuffer());
  EXPECT_TRUE(interp.CheckCommand(std::u16string(u"\u0003\u0003")));
  EXPECT_EQ(interp.HRQBlock(), 3);
}

}  // namespace

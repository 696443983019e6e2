#include "acquisition/QV_CommandAcceptance.h"

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>

namespace {

const std::string Tag = "TSourceItem[1]";

std::string Bytes(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s += static_cast<char>(b);
  return s;
}

// An extended command: 0x85, sub-command, address in bytes 2..5, byte 6, zeros up to `length`.
std::string Ext(int sub, size_t length, uint32_t address = 0, int byte6 = 0) {
  std::string s = Bytes(
      {0x85, sub, int(address >> 24), int(address >> 16 & 0xFF), int(address >> 8 & 0xFF), int(address & 0xFF), byte6});
  s.resize(length, '\0');
  return s;
}

// The network module's NVS commands: 0x85 0x25 kind ...
std::string Nvs(char kind, size_t length) {
  std::string s = Bytes({0x85, 0x25, kind});
  s.resize(length, 'x');
  return s;
}

// A Coldfire ZCT counter on USB with the extended feature bits.
TCommandContext Coldfire() {
  TCommandContext c;
  c.ConnectionOpen = true;
  c.PeerType = ptColdfire;
  c.HardFeature = 0x2001;
  c.FirmwareVersionNumber = 70;
  c.DeviceType = QV_HID;
  c.CounterChannelCount = 24;
  return c;
}

// A second-generation counter behind its network module.
TCommandContext Esp() {
  TCommandContext c;
  c.ConnectionOpen = true;
  c.PeerType = ptESP;
  c.HardFeature = 0x0001;
  c.FirmwareVersionNumber = 120;
  c.DeviceType = QV_Remote;
  c.CounterChannelCount = 24;
  return c;
}

using TEdit = std::function<void(TCommandContext&)>;
const TEdit Same = [](TCommandContext&) {};
TEdit Features(uint16_t value) {
  return [value](TCommandContext& c) { c.HardFeature = value; };
}
TEdit Firmware(int32_t value) {
  return [value](TCommandContext& c) { c.FirmwareVersionNumber = value; };
}
TEdit Serial(int channels) {
  return [channels](TCommandContext& c) {
    c.SerialConnection = true;
    c.DeviceType = QV_Serial;
    c.CounterChannelCount = channels;
  };
}

const char* const Invalid = "Ignore invalid command";
const char* const Unknown = "Ignore unknown command";
const char* const NotEsp = "ZCT2: Command not supported";

struct TCase {
  const char* what;
  TCommandContext (*base)();
  TEdit edit;
  std::string cmd;
  const char* reason;     // nullptr = accepted
  std::string sent = "";  // the command as queued (or as quoted in the reply); empty = unchanged
  bool bare = false;      // the reply is the reason alone
};

void RunCases(const std::vector<TCase>& cases) {
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.what) + " " + AnsiToHex(c.cmd));
    TCommandContext context = c.base();
    c.edit(context);
    const TCommandAcceptance a = CheckCommand(c.cmd, context, Tag);
    const std::string sent = c.sent.empty() ? c.cmd : c.sent;
    if (!c.reason) {
      EXPECT_TRUE(a.Accepted) << a.Command;
      EXPECT_EQ(a.Result, QV_No_Err);
      EXPECT_EQ(AnsiToHex(a.Command), AnsiToHex(sent));
      continue;
    }
    EXPECT_FALSE(a.Accepted);
    EXPECT_EQ(a.Result, QV_CmdIgnored);
    const std::string reply = c.bare ? c.reason : std::string(c.reason) + ": " + AnsiToHex(sent);
    EXPECT_EQ(a.Command, reply);
    ASSERT_FALSE(a.Log.empty());
    EXPECT_EQ(a.Log.back(), (TSourceLogLine{true, Tag + ".SendCommand failed: " + reply}));
  }
}

}  // namespace

TEST(CommandAcceptance, OpcodeGroups) {
  RunCases({
      {"plain", Coldfire, Same, Bytes({0x00}), nullptr},
      {"plain", Coldfire, Same, Bytes({0x01}), nullptr},
      {"plain", Esp, Same, Bytes({0x0A}), nullptr},
      {"plain", Esp, Same, Bytes({0x0F}), nullptr},
      {"plain too long", Coldfire, Same, Bytes({0x0F, 0x00}), Invalid},
      {"empty", Coldfire, Same, "", Invalid},
      {"2/5 Coldfire", Coldfire, Same, Bytes({0x02}), nullptr},
      {"2/5 Coldfire", Coldfire, Same, Bytes({0x05}), nullptr},
      {"2/5 length", Coldfire, Same, Bytes({0x05, 0x01}), Invalid},
      {"2/5 ESP", Esp, Same, Bytes({0x02}), NotEsp},
      {"2/5 ESP", Esp, Same, Bytes({0x05}), NotEsp},
      {"3", Coldfire, Same, Bytes({0x03, 0x01}), nullptr},
      {"3", Coldfire, Same, Bytes({0x03, 0x04}), nullptr},
      {"3 value", Coldfire, Same, Bytes({0x03, 0x05}), Invalid},
      {"3 value", Coldfire, Same, Bytes({0x03, 0x00}), Invalid},
      {"3 length", Coldfire, Same, Bytes({0x03}), Invalid},
      {"3 ESP", Esp, Same, Bytes({0x03, 0x01}), NotEsp},
      {"ZCT features", Coldfire, Same, Bytes({0x08}), nullptr},
      {"ZCT features", Coldfire, Same, Bytes({0x0D}), nullptr},
      {"ZCT features", Coldfire, Same, Bytes({0x15}), nullptr},
      {"ZCT features", Coldfire, Same, Bytes({0x1F}), nullptr},
      {"ZCT features", Coldfire, Same, Bytes({0x47}), nullptr},
      {"ZCT features length", Coldfire, Same, Bytes({0x09, 0x00}), Invalid},
      {"without bit 13", Coldfire, Features(0x0001), Bytes({0x08}), Invalid},
      {"without bit 0", Coldfire, Features(0x2000), Bytes({0x47}), Invalid},
      {"ESP without bit 13", Esp, Same, Bytes({0x0B}), Invalid},
      {"14", Coldfire, Same, Bytes({0x0E}), nullptr},
      {"14 ESP", Esp, Same, Bytes({0x0E}), nullptr},
      {"14 without features", Coldfire, Features(0x0001), Bytes({0x0E}), Invalid},
      {"16 ZCT", Coldfire, Same, Bytes({0x10}), nullptr},
      {"16 ZCT length", Coldfire, Same, Bytes({0x10, 1, 2, 3}), Invalid},
      {"16 bit 2", Coldfire, Features(0x0004), Bytes({0x10, 1, 2, 3}), nullptr},
      {"16 bit 2 length", Coldfire, Features(0x2005), Bytes({0x10}), Invalid},
      {"16 text file", Coldfire,
       [](TCommandContext& c) {
         c.HardFeature = 0;
         c.DeviceType = QV_TxtFile;
       },
       Bytes({0x10, 1, 2, 3}), nullptr},
      {"16 binary file", Coldfire,
       [](TCommandContext& c) {
         c.HardFeature = 0;
         c.DeviceType = QV_BinFile;
       },
       Bytes({0x10, 1, 2, 3}), nullptr},
      {"16 no features", Coldfire, Features(0), Bytes({0x10}), Invalid},
      {"16 no features", Coldfire, Features(0), Bytes({0x10, 1, 2, 3}), Invalid},
      {"17..20 bit 2", Coldfire, Features(0x0004), Bytes({0x11}), nullptr},
      {"17..20 bit 2", Coldfire, Features(0x0004), Bytes({0x14}), nullptr},
      {"17..20 ZCT", Coldfire, Same, Bytes({0x12}), nullptr},
      {"17..20 none", Coldfire, Features(0x0001), Bytes({0x13}), Invalid},
      {"rate", Coldfire, Same, Bytes({0x20}), nullptr},
      {"rate", Coldfire, Same, Bytes({0x2D}), nullptr},
      {"rate length", Coldfire, Same, Bytes({0x20, 0x00}), Invalid},
      {"after rates", Coldfire, Same, Bytes({0x2E}), Unknown},
      {"after rates", Coldfire, Same, Bytes({0x2F}), Unknown},
      {"48..59", Coldfire, Same, Bytes({0x30}), nullptr},
      {"48..59", Esp, Same, Bytes({0x3B}), nullptr},
      {"48..59 length", Coldfire, Same, Bytes({0x30, 0x00}), Invalid},
      {"60..62", Coldfire, Same, Bytes({0x3C}), Unknown},
      {"60..62", Coldfire, Same, Bytes({0x3E}), Unknown},
      {"63", Coldfire, Same, Bytes({0x3F, 12}), nullptr},
      {"63", Coldfire, Same, Bytes({0x3F, 23}), nullptr},
      {"63 value", Coldfire, Same, Bytes({0x3F, 11}), Invalid},
      {"63 value", Coldfire, Same, Bytes({0x3F, 24}), Invalid},
      {"63 length", Coldfire, Same, Bytes({0x3F}), Invalid},
      {"64..69", Coldfire, Same, Bytes({0x40}), nullptr},
      {"64..69", Coldfire, Same, Bytes({0x45}), nullptr},
      {"raw mode off", Coldfire, Same, Bytes({0x46}), "Mode raw data not supported"},
      {"raw mode on", Coldfire, [](TCommandContext& c) { c.RawDataOption = true; }, Bytes({0x46}), nullptr},
      {"raw mode length", Coldfire, [](TCommandContext& c) { c.RawDataOption = true; }, Bytes({0x46, 0}),
       "Mode raw data not supported"},
      {"72..79", Coldfire, Same, Bytes({0x48}), Unknown},
      {"72..79", Coldfire, Same, Bytes({0x4F}), Unknown},
      {"80..95", Coldfire, Same, Bytes({0x50}), nullptr},
      {"80..95", Coldfire, Same, Bytes({0x5F}), nullptr},
      {"96 ESP", Esp, Same, Bytes({0x60, 1, 2, 3, 4}), nullptr},
      {"96 ESP 114", Esp, Firmware(114), Bytes({0x60, 1, 2, 3, 4}), nullptr},
      {"96 ESP old firmware", Esp, Firmware(113), Bytes({0x60, 1, 2, 3, 4}), "Command not supported, Firmware < 114"},
      {"96 ESP firmware unknown", Esp, Firmware(0), Bytes({0x60, 1, 2, 3, 4}), "Command not supported, Firmware < 114"},
      {"96 ESP length", Esp, Same, Bytes({0x60, 1, 2, 3}), Invalid},
      {"96 Coldfire", Coldfire, Same, Bytes({0x60, 1, 2, 3, 4}), Invalid},
      {"97", Esp, Same, Bytes({0x61}), Unknown},
      {"127", Coldfire, Same, Bytes({0x7F}), Unknown},
  });
}

TEST(CommandAcceptance, EspLosesBitSevenOthersKeepIt) {
  RunCases({
      {"ESP rate", Esp, Same, Bytes({0xA0}), nullptr, Bytes({0x20})},
      {"ESP plain", Esp, Same, Bytes({0x81}), nullptr, Bytes({0x01})},
      {"ESP bit 7 only", Esp, Same, Bytes({0x80}), nullptr, Bytes({0x00})},
      {"ESP then refused", Esp, Same, Bytes({0x82}), NotEsp, Bytes({0x02})},
      {"Coldfire keeps it", Coldfire, Same, Bytes({0xA0}), nullptr},
      {"Coldfire table by low bits", Coldfire, Same, Bytes({0xBF, 12}), nullptr},
      {"Coldfire unknown", Coldfire, Same, Bytes({0xFF}), Unknown},
  });
  const TCommandAcceptance a = CheckCommand(Bytes({0xA0}), Esp(), Tag);
  EXPECT_EQ(a.Log, (TSourceLogLines{{false, Tag + ".SendCommand ZCT2: omit MSB from A0"}}));
}

TEST(CommandAcceptance, SerialLineLimitsTheRate) {
  const std::string ms20 = "Command ignored: serial connection limited to 20ms";
  RunCases({
      {"24 channels 1 ms", Coldfire, Serial(24), Bytes({0x20}), ms20.c_str(), "", true},
      {"24 channels 10 ms", Coldfire, Serial(24), Bytes({0x23}), ms20.c_str(), "", true},
      {"24 channels 20 ms", Coldfire, Serial(24), Bytes({0x24}), nullptr},
      {"24 channels 20 s", Coldfire, Serial(24), Bytes({0x2D}), nullptr},
      {"unknown count", Coldfire, Serial(0), Bytes({0x23}), ms20.c_str(), "", true},
      {"14 channels", Coldfire, Serial(14), Bytes({0x22}), "Command ignored: serial connection limited to 10ms", "",
       true},
      {"14 channels", Coldfire, Serial(14), Bytes({0x23}), nullptr},
      {"6 channels", Coldfire, Serial(6), Bytes({0x21}), "Command ignored: serial connection limited to 5ms", "", true},
      {"6 channels", Coldfire, Serial(6), Bytes({0x22}), nullptr},
      {"ESP 24 channels", Esp, Serial(24), Bytes({0x20}), "Command ignored: serial connection limited to 5ms", "",
       true},
      {"ESP 24 channels", Esp, Serial(24), Bytes({0x22}), nullptr},
      {"ESP 11 channels", Esp, Serial(11), Bytes({0x20}), "Command ignored: serial connection limited to 2ms", "",
       true},
      {"ESP 5 channels", Esp, Serial(5), Bytes({0x20}), nullptr},
      {"ESP stripped rate", Esp, Serial(24), Bytes({0xA0}), "Command ignored: serial connection limited to 5ms",
       Bytes({0x20}), true},
      {"not a rate", Coldfire, Serial(24), Bytes({0x30}), nullptr},
  });
  TCommandContext c = Coldfire();
  Serial(24)(c);
  EXPECT_EQ(CheckCommand(Bytes({0x20}), c, Tag).Log,
            (TSourceLogLines{{false, Tag + ".SendCommand: serial min rate=04 cmd=20"},
                             {true, Tag + ".SendCommand failed: Command ignored: serial connection limited to 20ms"}}));
  EXPECT_EQ(SerialMinimumRateIndex(ptUnknown, 6), 2);
  EXPECT_EQ(SerialMinimumRateIndex(ptColdfire, 7), 3);
  EXPECT_EQ(SerialMinimumRateIndex(ptColdfire, 15), 4);
  EXPECT_EQ(SerialMinimumRateIndex(ptESP, 12), 2);
  EXPECT_EQ(SerialMinimumRateIndex(ptESP, 0), 2);
}

TEST(CommandAcceptance, ExtendedCommands) {
  RunCases({
      {"Coldfire serial", Coldfire, Serial(24), Ext(0x10, 2), "Serial connection: Command not supported"},
      {"ESP serial", Esp, Serial(24), Ext(0x10, 2), nullptr},
      {"no sub-command", Coldfire, Same, Bytes({0x85}), Invalid},
      {"0x10", Coldfire, Same, Ext(0x10, 2), nullptr},
      {"0x11", Esp, Same, Ext(0x11, 2), nullptr},
      {"0x10 length", Coldfire, Same, Ext(0x10, 3), Invalid},
      {"0x12 login", Esp, Same, Ext(0x12, 10), nullptr},
      {"0x12 length", Esp, Same, Ext(0x12, 9), Invalid},
      {"0x18", Coldfire, Same, Ext(0x18, 2), nullptr},
      {"0x1B", Coldfire, Same, Ext(0x1B, 2), nullptr},
      {"0x1C", Coldfire, Same, Ext(0x1C, 2), Invalid},
      {"0x20 low memory", Coldfire, Same, Ext(0x20, 7, 0x7FFFF), nullptr},
      {"0x20 above low memory", Coldfire, Same, Ext(0x20, 7, 0x80000), Invalid},
      {"0x20 RAM", Coldfire, Same, Ext(0x20, 7, 0x20000000), nullptr},
      {"0x20 RAM end", Coldfire, Same, Ext(0x20, 127, 0x2000FFFF), nullptr},
      {"0x20 after RAM", Coldfire, Same, Ext(0x20, 7, 0x20010000), Invalid},
      {"0x20 flash", Esp, Same, Ext(0x20, 7, 0x30000000), nullptr},
      {"0x20 flash end", Esp, Same, Ext(0x20, 7, 0x3007FFFF), nullptr},
      {"0x20 after flash", Esp, Same, Ext(0x20, 7, 0x30080000), Invalid},
      {"0x20 short", Coldfire, Same, Ext(0x20, 6, 0x100), Invalid},
      {"0x21", Coldfire, Same, Ext(0x21, 14), nullptr},
      {"0x21 length", Coldfire, Same, Ext(0x21, 13), Invalid},
      {"0x21 old firmware", Coldfire, Firmware(18), Ext(0x21, 14), "Command not supported, Firmware < 19"},
      {"0x21 firmware unknown", Coldfire, Firmware(0), Ext(0x21, 14), nullptr},
      {"0x21 invalid beats firmware", Coldfire, Firmware(18), Ext(0x21, 13), Invalid},
      {"0x22", Coldfire, Same, Ext(0x22, 3), nullptr},
      {"0x22", Coldfire, Same, Ext(0x22, 127), nullptr},
      {"0x22 short", Coldfire, Same, Ext(0x22, 2), Invalid},
      {"0x22 old firmware", Coldfire, Firmware(18), Ext(0x22, 3), "Command not supported, Firmware < 19"},
      {"0x23 calibration page", Coldfire, Same, Ext(0x23, 7, 0x7E000), nullptr},
      {"0x23 calibration page end", Coldfire, Same, Ext(0x23, 7, 0x7EFFF), nullptr},
      {"0x23 outside page", Coldfire, Same, Ext(0x23, 7, 0x7F000), Invalid},
      {"0x23 above 2047", Coldfire, Same, Ext(0x23, 7, 2048), Invalid},
      {"0x23 low without bit 14", Coldfire, Same, Ext(0x23, 7, 100), Invalid},
      {"0x23 low with bit 14", Coldfire, Features(0x6001), Ext(0x23, 7, 2047), nullptr},
      {"0x23 short", Coldfire, Same, Ext(0x23, 6, 0x7E000), Invalid},
      {"0x23 old firmware", Coldfire, Firmware(61), Ext(0x23, 7, 0x7E000), "Command not supported, Firmware < 62"},
      {"0x23 ESP", Esp, Same, Ext(0x23, 7, 0x7E000), NotEsp},
      {"NVS block", Esp, Same, Nvs('b', 132), nullptr},
      {"NVS block length", Esp, Same, Nvs('b', 131), Invalid},
      {"NVS integer", Esp, Same, Nvs('i', 8), nullptr},
      {"NVS integer length", Esp, Same, Nvs('i', 9), Invalid},
      {"NVS string", Esp, Same, Nvs('s', 44), nullptr},
      {"NVS string", Esp, Same, Nvs('s', 6), nullptr},
      {"NVS string too long", Esp, Same, Nvs('s', 45), Invalid},
      {"NVS string too short", Esp, Same, Nvs('s', 5), Invalid},
      {"NVS other kind", Esp, Same, Nvs('x', 8), Invalid},
      {"0x30", Coldfire, Same, Ext(0x30, 2), nullptr},
      {"0x32", Coldfire, Same, Ext(0x32, 2), nullptr},
      {"0x38", Coldfire, Same, Ext(0x38, 2), nullptr},
      {"0x31", Coldfire, Same, Ext(0x31, 2), Invalid},
      {"0x39", Coldfire, Same, Ext(0x39, 6), nullptr},
      {"0x39 length", Coldfire, Same, Ext(0x39, 7), Invalid},
      {"0x3A", Coldfire, Same, Ext(0x3A, 10), nullptr},
      {"0x3D", Coldfire, Same, Ext(0x3D, 10), nullptr},
      {"0x3D length", Coldfire, Same, Ext(0x3D, 11), Invalid},
      {"0x3E", Coldfire, Same, Ext(0x3E, 10), nullptr},
      {"0x3E", Coldfire, Same, Ext(0x3E, 127), nullptr},
      {"0x3E short", Coldfire, Same, Ext(0x3E, 9), Invalid},
      {"0x40", Coldfire, Same, Ext(0x40, 7, 0x20000000, 128), nullptr},
      {"0x40 count", Coldfire, Same, Ext(0x40, 7, 0x20000000, 129), Invalid},
      {"0x40 address", Coldfire, Same, Ext(0x40, 7, 0x80000, 1), Invalid},
      {"0x40 length", Coldfire, Same, Ext(0x40, 8, 0x100, 1), Invalid},
      {"0x41", Coldfire, Same, Ext(0x41, 2), nullptr},
      {"0x41 old firmware", Coldfire, Firmware(18), Ext(0x41, 2), "Command not supported, Firmware < 19"},
      {"0x42 Coldfire", Coldfire, Firmware(45), Bytes({0x85, 0x42, 1}), nullptr},
      {"0x42 Coldfire old", Coldfire, Firmware(44), Bytes({0x85, 0x42, 1}), "Command not supported, Firmware < 45"},
      {"0x42 ESP", Esp, Firmware(101), Bytes({0x85, 0x42, 1}), nullptr},
      {"0x42 ESP old", Esp, Firmware(100), Bytes({0x85, 0x42, 1}), "Command not supported, Firmware < 101"},
      {"0x42 value", Coldfire, Same, Bytes({0x85, 0x42, 2}), Invalid},
      {"0x43", Coldfire, Same, Ext(0x43, 7, 2047, 128), nullptr},
      {"0x43 address", Coldfire, Same, Ext(0x43, 7, 2048, 128), Invalid},
      {"0x43 count", Coldfire, Same, Ext(0x43, 7, 0, 127), Invalid},
      {"0x43 old firmware", Coldfire, Firmware(61), Ext(0x43, 7, 0, 128), "Command not supported, Firmware < 62"},
      {"0x44", Coldfire, Firmware(73), Ext(0x44, 3), nullptr},
      {"0x44 old firmware", Coldfire, Same, Ext(0x44, 3), "Command not supported, Firmware < 73"},
      {"0x45", Coldfire, Same, Ext(0x45, 4), nullptr},
      {"0x45 length", Coldfire, Same, Ext(0x45, 3), Invalid},
      {"0x48", Coldfire, Same, Ext(0x48, 11, 0x01000000), nullptr},
      {"0x48", Coldfire, Same, Ext(0x48, 11, 0x0A000000), nullptr},
      {"0x48 index", Coldfire, Same, Ext(0x48, 11, 0x0B000000), Invalid},
      {"0x48 index", Coldfire, Same, Ext(0x48, 11, 0), Invalid},
      {"0x49", Coldfire, Same, Bytes({0x85, 0x49, 5}), nullptr},
      {"0x49 index", Coldfire, Same, Bytes({0x85, 0x49, 11}), Invalid},
      {"0x50", Esp, Same, Ext(0x50, 2), nullptr},
      {"0x52", Esp, Same, Ext(0x52, 2), nullptr},
      {"0x53", Esp, Same, Ext(0x53, 2), Invalid},
      {"0x60", Esp, Same, Ext(0x60, 2), nullptr},
      {"0x72", Esp, Same, Ext(0x72, 3), nullptr},
      {"0x73", Esp, Same, Ext(0x73, 6, 0x30000000), nullptr},
      {"0x73 address", Esp, Same, Ext(0x73, 6, 0x20000000), Invalid},
      {"0x80", Esp, Same, Ext(0x80, 3), nullptr},
      {"0x81", Esp, Same, Ext(0x81, 3), Invalid},
  });
}

TEST(CommandAcceptance, ClosedConnectionAndFullQueue) {
  TCommandContext closed = Coldfire();
  closed.ConnectionOpen = false;
  TCommandAcceptance a = CheckCommand(Bytes({0x20}), closed, Tag);
  EXPECT_FALSE(a.Accepted);
  EXPECT_EQ(a.Result, QV_CmdIgnored);
  EXPECT_EQ(a.Command, "No connection, Command ignored: 20");
  EXPECT_EQ(a.Log, (TSourceLogLines{{true, Tag + ".SendCommand No connection, Command ignored: 20"}}));

  TCommandContext busy = Coldfire();
  busy.CmdLimit = 5;
  busy.PendingCommands = 6;
  a = CheckCommand(Bytes({0x85, 0x10}), busy, Tag);
  EXPECT_FALSE(a.Accepted);
  EXPECT_EQ(a.Command, "Command FiFo full, Command ignored: 8510");
  busy.PendingCommands = 5;
  EXPECT_TRUE(CheckCommand(Bytes({0x20}), busy, Tag).Accepted);
  busy.CmdLimit = 0;
  busy.PendingCommands = 1000;
  EXPECT_TRUE(CheckCommand(Bytes({0x20}), busy, Tag).Accepted);
}

TEST(CommandLength, NvsBlockWriteIsTheOnlyLongCommand) {
  EXPECT_FALSE(CheckCommandLength(Bytes({0x20})));
  EXPECT_FALSE(CheckCommandLength(Ext(0x20, 127)));
  EXPECT_FALSE(CheckCommandLength(Nvs('b', 132)));
  EXPECT_EQ(CheckCommandLength(""), "Invalid command length = 0, valid: 1..127");
  EXPECT_EQ(CheckCommandLength(Ext(0x20, 128)), "Invalid command length = 128, valid: 1..127");
  EXPECT_EQ(CheckCommandLength(Nvs('b', 133)), "Invalid command length = 133, valid: 1..127");
  EXPECT_EQ(CheckCommandLength(Nvs('i', 132)), "Invalid command length = 132, valid: 1..127");
  EXPECT_EQ(CheckCommandLength(std::string(132, '\x01')), "Invalid command length = 132, valid: 1..127");
  // The NVS write passes both checks on its way to the instrument.
  EXPECT_TRUE(CheckCommand(Nvs('b', 132), Esp(), Tag).Accepted);
}

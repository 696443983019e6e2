#include "InstrumentModel.h"

#include <gtest/gtest.h>

namespace {

TEmulatorSettings Settings(int intervalMs, int channels, int mode = 0) {
  TEmulatorSettings s;
  s.IntervalMs = intervalMs;
  s.Channels = channels;
  s.Mode = mode;
  return s;
}

std::vector<TEmulatedReport> OfKind(const std::vector<TEmulatedReport>& reports, TEmulatedReport::TKind kind) {
  std::vector<TEmulatedReport> out;
  for (const auto& r : reports)
    if (r.Kind == kind) out.push_back(r);
  return out;
}

TEST(InstrumentModelTest, MeasurementsAndTenthStampsFollowDeviceTime) {
  TInstrumentModel model(Settings(20, 3));
  const auto reports = model.AdvanceTo(1000);
  const auto measurements = OfKind(reports, TEmulatedReport::rkMeasurement);
  const auto stamps = OfKind(reports, TEmulatedReport::rkTimestamp);
  ASSERT_EQ(measurements.size(), 50u);
  ASSERT_EQ(stamps.size(), 10u);
  for (size_t i = 0; i < measurements.size(); ++i) {
    EXPECT_EQ(measurements[i].Sample, i);
    EXPECT_EQ(measurements[i].FpgaMs, 20 * (i + 1) - 1) << "stamped with the last millisecond of its interval";
    EXPECT_EQ(measurements[i].Header, 0x0400);
    ASSERT_EQ(measurements[i].Values.size(), 3u);
    EXPECT_EQ(measurements[i].Values[2], 3000 + i / 8.0);
  }
  for (size_t i = 0; i < stamps.size(); ++i) EXPECT_EQ(stamps[i].Tenths, i + 1);
  // The measurement that ends on a tenth comes before that tenth's stamp.
  EXPECT_EQ(reports[4].Kind, TEmulatedReport::rkMeasurement);
  EXPECT_EQ(reports[5].Kind, TEmulatedReport::rkTimestamp);
  EXPECT_EQ(model.NextEventMs(), 1020u);
}

TEST(InstrumentModelTest, FpgaTimeWrapsEveryTwentySeconds) {
  TInstrumentModel model(Settings(1000, 1));
  const auto m = OfKind(model.AdvanceTo(21000), TEmulatedReport::rkMeasurement);
  ASSERT_EQ(m.size(), 21u);
  EXPECT_EQ(m[18].FpgaMs, 18999);
  EXPECT_EQ(m[19].FpgaMs, 19999);
  EXPECT_EQ(m[20].FpgaMs, 999);
}

TEST(InstrumentModelTest, CommandsChangeRateModeChannelsAndScrambler) {
  struct TCase {
    std::string command;
    uint16_t header;
    int channels;
    bool settingsChanged;
  } cases[] = {
      {"\x29", 0x0900, 4, true},          // 1 s
      {"\x42", 0x2600, 4, true},          // frequency
      {"\x5E", 0x0610, 4, true},          // scrambler auto
      {"\x30", 0x0600, 24, false},        // 24 channels
      {"\x3B", 0x0600, 11, false},
      {"\x3F\x0C", 0x0600, 12, false},
      {"\xC4", 0x4600, 4, true},          // phase difference, buffer cleared first
  };
  for (const TCase& c : cases) {
    TInstrumentModel model(Settings(100, 4));
    const auto result = model.Execute(c.command);
    EXPECT_TRUE(result.Known) << c.command;
    EXPECT_EQ(model.Header(), c.header) << c.command;
    EXPECT_EQ(model.Channels(), c.channels) << c.command;
    EXPECT_EQ(result.SettingsChanged, c.settingsChanged) << c.command;
    EXPECT_EQ(result.ClearBuffer, static_cast<uint8_t>(c.command[0]) == 0xC4);
  }
}

TEST(InstrumentModelTest, RequestsAndUnknownCommands) {
  TInstrumentModel model(Settings(100, 4));
  EXPECT_TRUE(model.Execute("\x01").Version);
  EXPECT_TRUE(model.Execute(std::string("\x80", 1)).ClearBuffer);
  EXPECT_TRUE(model.Execute("\x85\x60").Stop);
  EXPECT_TRUE(model.Execute("\x85P").Reset);
  EXPECT_TRUE(model.Execute("\x85Q").Reset);
  EXPECT_TRUE(model.Execute(std::string("\x85\x42\x01", 3)).ConnectedUsers);
  EXPECT_EQ(model.Execute(std::string("\x85" "Ei\x05", 4)).NvsRead, 'i' | 5 << 8);
  EXPECT_EQ(model.Execute(std::string("\x85" "Eb\x00", 4)).NvsRead, 'b');
  EXPECT_EQ(model.Execute(std::string("\x85" "Eb\x04", 4)).NvsRead, 'b' | 4 << 8);
  EXPECT_EQ(model.Execute(std::string("\x85\x40\x00\x07\xE0\x00\x4C", 7)).MemoryRead, 76);
  for (std::string unknown : {std::string("\x2E"), std::string("\x3C"), std::string("\x3F\x0B"), std::string("\x51"),
                              std::string("\x85\x99"), std::string("\x85" "Eb\x05", 4), std::string("\x85" "Ei\x01", 4)})
    EXPECT_FALSE(model.Execute(unknown).Known) << static_cast<int>(static_cast<uint8_t>(unknown[0]));
  EXPECT_EQ(model.Header(), 0x0600) << "refused commands change nothing";
}

TEST(InstrumentModelTest, RateChangeStartsAtTheNextBoundaryOfTheNewInterval) {
  TInstrumentModel model(Settings(100, 1));
  model.AdvanceTo(250);  // last event at 200
  model.Execute("\x28");  // 500 ms
  const auto m = OfKind(model.AdvanceTo(1000), TEmulatedReport::rkMeasurement);
  ASSERT_EQ(m.size(), 2u);
  EXPECT_EQ(m[0].FpgaMs, 499);
  EXPECT_EQ(m[1].FpgaMs, 999);
  EXPECT_EQ(m[0].Header, 0x0800);
}

TEST(InstrumentModelTest, CommandLengthsOfTheSerialLine) {
  struct TCase {
    std::string prefix;
    size_t length;
  } cases[] = {{"\x29", 1}, {"\x3F", 2}, {"\x10", 4 + 1}, {std::string("\x85", 1), 0}, {"\x85\x60", 2},
               {"\x85#", 134}, {"\x85" "E", 4}, {"\x85" "B", 3}, {"\x04", 6}};
  for (const TCase& c : cases) EXPECT_EQ(TInstrumentModel::CommandLength(c.prefix), c.length) << c.prefix;
}

}  // namespace

#include "devices/QV_HRQSettings.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

std::string AllOff() {
  std::string text;
  for (int i = 0; i < 24; ++i) text += (i ? "/" : "") + std::string("0;0;0");
  return text;
}

double DoubleAt(const std::string& block, size_t offset) {
  double value;
  std::memcpy(&value, block.data() + offset, sizeof value);
  return value;
}

}  // namespace

TEST(THRQSetting, FactorNeedsTwoDifferentFrequencies) {
  const struct {
    double nom, lo;
    long double factor;
  } cases[] = {{10e6, 9e6, 10.0L}, {10e6, 10e6, 1}, {0, 9e6, 1}, {10e6, 0, 1}, {5e6, 10e6, -2.0L}};
  for (const auto& c : cases) {
    THRQSetting setting{c.nom, c.lo, 99, true};
    setting.Update();
    EXPECT_EQ(setting.Factor, c.factor) << c.nom << " " << c.lo;
  }
}

TEST(THRQSettings, TextFormRoundTrip) {
  THRQSettings settings;
  settings.HRQChannels[0] = {10000000.5, 9999000.25, 1, true};
  settings.HRQChannels[23] = {5e6, 4e6, 1, true};
  settings.HRQChannels[5] = {1e6, 0, 1, false};
  const std::string text = settings.ToString();
  EXPECT_EQ(text.substr(0, text.find('/')), "10000000.500000000000;9999000.250000000000;1");
  EXPECT_EQ(std::count(text.begin(), text.end(), '/'), 23);
  EXPECT_NE(text.find("/1000000.000000000000;0;0/"), std::string::npos);

  THRQSettings read;
  ASSERT_TRUE(read.FromString(text)) << read.ErrorStr;
  EXPECT_EQ(read.ToString(), text);
  EXPECT_EQ(read.HRQChannelCount, 2);
  EXPECT_EQ(read.HRQChannels[0].Factor, 10000000.0L / (10000000.5 - 9999000.25));
}

TEST(THRQSettings, CommaSeparatorAndEnableRules) {
  THRQSettings settings;
  settings.FormatSettings.DecimalSeparator = ',';
  // Points in the text are taken as the separator; channel 3 lacks a frequency, channel 4 says " 0 ".
  ASSERT_TRUE(settings.FromString("10.5;9.5;1/10,5;9,5;yes/10;0;1/10;9; 0 "));
  EXPECT_EQ(settings.HRQChannels[0].NomFreq, 10.5);
  EXPECT_TRUE(settings.HRQChannels[0].enabled);
  EXPECT_EQ(settings.HRQChannels[1].LOFreq, 9.5);
  EXPECT_TRUE(settings.HRQChannels[1].enabled);
  EXPECT_FALSE(settings.HRQChannels[2].enabled);
  EXPECT_FALSE(settings.HRQChannels[3].enabled);
  EXPECT_EQ(settings.HRQChannelCount, 2);
  EXPECT_EQ(settings.ToString().substr(0, 40), "10,500000000000;9,500000000000;1/10,5000");
}

TEST(THRQSettings, FromStringErrorsKeepTheChannels) {
  const struct {
    const char* text;
    const char* error;
  } cases[] = {
      {"", "Format error"},
      {"10;9;1/10;9", "Format error"},
      {"10;9;1/abc;9;1", "'abc' is not a valid floating point value"},
      {"10;9x;1", "'9x' is not a valid floating point value"},
  };
  for (const auto& c : cases) {
    THRQSettings settings;
    settings.HRQChannels[0] = {7, 6, 1, true};
    EXPECT_FALSE(settings.FromString(c.text)) << c.text;
    EXPECT_EQ(settings.ErrorStr, c.error) << c.text;
    EXPECT_EQ(settings.HRQChannels[0].NomFreq, 7) << c.text;
    EXPECT_EQ(settings.HRQChannels[1].NomFreq, 0) << c.text;
  }
}

TEST(THRQSettings, MoreThan24EntriesAreIgnored) {
  THRQSettings settings;
  ASSERT_TRUE(settings.FromString(AllOff() + "/1;2;1"));
  EXPECT_EQ(settings.HRQChannelCount, 0);
}

TEST(THRQSettings, GetBytesLayout) {
  THRQSettings settings;
  for (int i = 0; i < 24; ++i) settings.HRQChannels[i] = {1000.0 + i, 500.0 + i, 1, i % 2 == 0};
  const auto blocks = settings.GetBytes();
  for (int b = 0; b < 4; ++b) {
    const std::string& block = blocks[b];
    ASSERT_EQ(block.size(), 128u);
    EXPECT_EQ(block[0], b + 1);
    for (int k = 0; k < 6; ++k) {
      const int channel = 6 * b + k;
      const size_t offset = 1 + 17 * k;
      EXPECT_EQ(DoubleAt(block, offset), 1000.0 + channel);
      EXPECT_EQ(DoubleAt(block, offset + 8), 500.0 + channel);
      EXPECT_EQ(block[offset + 16], channel % 2 == 0 ? 1 : 0);
    }
    EXPECT_EQ(block.find_first_not_of('\0', 1 + 6 * 17), std::string::npos);
  }
  // The blocks read back into the same channels.
  THRQSettings read;
  for (int b = 0; b < 4; ++b) read.SetSlice(b + 1, std::string_view(blocks[b]).substr(1));
  EXPECT_EQ(read.ToString(), settings.ToString());
}

TEST(THRQSettings, SetSliceTakesOnlyWholeChannels) {
  THRQSettings settings;
  THRQSettings source;
  source.HRQChannels[6] = {3, 2, 1, true};
  source.HRQChannels[7] = {5, 4, 1, true};
  const std::string block = source.GetBytes()[1];
  settings.SetSlice(2, std::string_view(block).substr(1, 17 + 10));
  EXPECT_EQ(settings.HRQChannels[6].NomFreq, 3);
  EXPECT_TRUE(settings.HRQChannels[6].enabled);
  EXPECT_EQ(settings.HRQChannels[7].NomFreq, 0);
}

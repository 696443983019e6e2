#include "acquisition/QV_ChannelData.h"

#include <gtest/gtest.h>

#include "acquisition/ColorShade.h"
#include "core/App_Settings.h"

namespace {

struct TPaletteCase {
  int32_t Kind;
  uint32_t Channel1;
  uint32_t Channel24;
};

constexpr TPaletteCase kPaletteCases[] = {
    {0, 0x3F3F3F, 0x800080}, {1, 0x3F3F3F, 0x800080}, {7, 0x3F3F3F, 0x800080}, {-1, 0x3F3F3F, 0x800080},
    {2, 0xFFC90E, 0xFF00FF}, {3, 0x808000, 0xFF8000}, {4, 0xFFFF80, 0xFF80C0}, {5, 0xEFC4B0, 0xFF0080},
};

TEST(QV_ChannelData, PalettesAreTheBaseColoursRotated) {
  for (const TPaletteCase& c : kPaletteCases) {
    const TQV_ChannelData data(c.Kind);
    EXPECT_EQ(data.ChannelColor(1), c.Channel1) << c.Kind;
    EXPECT_EQ(data.ChannelColor(24), c.Channel24) << c.Kind;
  }
  // Rotation wraps: kind 2 starts at base entry 12, so its channel 13 is base channel 1.
  EXPECT_EQ(ChannelPaletteColor(2, 13), ChannelPaletteColor(0, 1));
  EXPECT_EQ(ChannelPaletteColor(5, 5), ChannelPaletteColor(0, 1));
}

TEST(QV_ChannelData, InitialisationGivesIdsNamesShadesAndAllChannelsEnabled) {
  const TQV_ChannelData lc(1);
  const TQV_ChannelData plain(3);
  for (int32_t ch = 1; ch <= 24; ++ch) {
    EXPECT_EQ(lc.ChannelName(ch), "LC_" + std::to_string(ch));
    EXPECT_EQ(plain.ChannelName(ch), "Channel_" + std::to_string(ch));
    EXPECT_EQ(plain.ChannelId(ch), std::to_string(ch));
    EXPECT_TRUE(plain.ChannelEnabled(ch));
    EXPECT_FALSE(plain.PersistEnabled(ch));
    EXPECT_EQ(plain.ChannelDarkColor(ch), DarkShade(plain.ChannelColor(ch)));
    EXPECT_EQ(plain.ChannelLightColor(ch), LightShade(plain.ChannelColor(ch)));
  }
  EXPECT_EQ(plain.MaxChannels(), 24);
  EXPECT_EQ(plain.Selected(), 0);
}

TEST(QV_ChannelData, SettingAColourRecomputesBothShades) {
  TQV_ChannelData data;
  data.SetChannelColor(7, 0x808080);
  EXPECT_EQ(data.ChannelColor(7), 0x808080u);
  EXPECT_EQ(data.ChannelLightColor(7), 0x949494u);
  EXPECT_EQ(data.ChannelDarkColor(7), ColorAdjustLuma(0x808080, -50));
}

TEST(QV_ChannelData, ChannelsOutsideOneToTwentyFourReadEmptyAndWriteNothing) {
  TQV_ChannelData data;
  const TQV_ChannelData before = data;
  for (int32_t ch : {0, 25, -3}) {
    data.SetChannelColor(ch, 0x123456);
    data.SetChannelName(ch, "x");
    data.SetChannelId(ch, "x");
    data.SetChannelEnabled(ch, false);
    data.SetPersistEnabled(ch, true);
    EXPECT_EQ(data.ChannelColor(ch), TQV_ChannelData::InvalidColor);
    EXPECT_EQ(data.ChannelDarkColor(ch), TQV_ChannelData::InvalidColor);
    EXPECT_EQ(data.ChannelName(ch), "");
    EXPECT_EQ(data.ChannelId(ch), "");
    EXPECT_FALSE(data.ChannelEnabled(ch));
    EXPECT_FALSE(data.PersistEnabled(ch));
  }
  EXPECT_EQ(data, before);
}

TEST(QV_ChannelData, NamesAndIdsAreCleanedOfTheListSeparator) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain", "plain"}, {"a, b", "a,b"}, {"a,  b", "a,b"}, {"a, , b", "a,,b"},
      {", x", ",x"},      {"x, ", "x,"},   {"a,b", "a,b"},   {"", ""},
  };
  TQV_ChannelData data;
  for (const auto& [entered, stored] : cases) {
    EXPECT_EQ(CleanChannelText(entered), stored);
    data.SetChannelName(3, entered);
    data.SetChannelId(4, entered);
    EXPECT_EQ(data.ChannelName(3), stored);
    EXPECT_EQ(data.ChannelId(4), stored);
  }
}

// Saves and loads the store the way the program does, so that "INI_Version" is written and read.
std::unique_ptr<TAppSettings> Reload(TAppSettings& settings) {
  settings.SaveSettings();
  auto fresh = std::make_unique<TAppSettings>();
  fresh->LoadFromBytes(settings.ToBytes());
  return fresh;
}

TEST(QV_ChannelData, RecordRoundTripKeepsEveryChannelEvenWithSeparatorsInNames) {
  TAppSettings settings;
  TQV_ChannelData saved(2);
  saved.SetChannelName(1, "Maser, H1");
  saved.SetChannelName(2, "Cs,  2, ");
  saved.SetChannelName(5, "");
  saved.SetChannelId(3, "V, 3");
  saved.SetChannelColor(24, 0x010203);
  SaveChannelRecord(settings, "P_", saved);

  auto loaded = Reload(settings);
  TQV_ChannelData read(0);
  ReadChannelRecord(*loaded, "P_", read);
  for (int32_t ch = 1; ch <= 24; ++ch) {
    EXPECT_EQ(read.ChannelName(ch), saved.ChannelName(ch)) << ch;
    EXPECT_EQ(read.ChannelId(ch), saved.ChannelId(ch)) << ch;
    EXPECT_EQ(read.ChannelColor(ch), saved.ChannelColor(ch)) << ch;
  }
  EXPECT_EQ(read.ChannelName(1), "Maser,H1");
  EXPECT_EQ(read.ChannelDarkColor(24), DarkShade(0x010203));
}

TEST(QV_ChannelData, ColoursAreSavedWhenNoChannelHasAName) {
  TAppSettings settings;
  TQV_ChannelData saved(0);
  for (int32_t ch = 1; ch <= 24; ++ch) saved.SetChannelName(ch, "");
  saved.SetChannelColor(2, 0x00AA00);
  SaveChannelRecord(settings, "P_", saved);

  auto loaded = Reload(settings);
  TQV_ChannelData read(0);
  ReadChannelRecord(*loaded, "P_", read);
  EXPECT_EQ(read.ChannelColor(2), 0x00AA00u);
  EXPECT_EQ(read.ChannelName(2), "");
}

TEST(QV_ChannelData, ReadingTakesAtMostTwentyFourPartsAndSkipsBadColours) {
  TAppSettings settings;
  std::string names, colors;
  for (int i = 1; i <= 26; ++i) names += "N" + std::to_string(i) + ", ";
  colors = "255, red, , 65280";
  settings.LoadFromBytes("INI_Version=1\r\nP_Names=" + names + "\r\nP_Colors=" + colors + "\r\nP_Ids=\r\n");
  TQV_ChannelData read(0);
  read.SetChannelId(5, "custom");
  ReadChannelRecord(settings, "P_", read);
  EXPECT_EQ(read.ChannelName(24), "N24");
  EXPECT_EQ(read.ChannelColor(1), 255u);
  EXPECT_EQ(read.ChannelColor(2), ChannelPaletteColor(0, 2));  // "red" is no number
  EXPECT_EQ(read.ChannelColor(3), ChannelPaletteColor(0, 3));  // empty part
  EXPECT_EQ(read.ChannelColor(4), 65280u);
  EXPECT_EQ(read.ChannelId(5), "5");  // ids are reset before reading; an empty key keeps that
}

TEST(QV_ChannelData, FormatZeroFilesKeepOneKeyPerChannel) {
  TAppSettings settings;
  settings.LoadFromBytes("P_Name_2=Old name\r\nP_Color_2=4660\r\nP_Color_3=bad\r\n");
  TQV_ChannelData read(0);
  ReadChannelRecord(settings, "P_", read);
  EXPECT_EQ(read.ChannelName(2), "Old name");
  EXPECT_EQ(read.ChannelColor(2), 4660u);
  EXPECT_EQ(read.ChannelColor(3), ChannelPaletteColor(0, 3));
  EXPECT_EQ(read.ChannelName(1), "Channel_1");
}

}  // namespace

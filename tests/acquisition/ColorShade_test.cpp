#include "acquisition/ColorShade.h"

#include <gtest/gtest.h>

#include "acquisition/QV_ChannelData.h"

namespace {

struct TShadeCase {
  uint32_t Color;
  int32_t Delta;
  uint32_t Expected;
};

// Values chosen away from rounding boundaries; colours are 0x00BBGGRR.
constexpr TShadeCase kShadeCases[] = {
    {0x000000, -50, 0x000000},  // black cannot get darker
    {0xFFFFFF, 80, 0xFFFFFF},   // nor white lighter
    {0xFFFFFF, -50, 0xF2F2F2},  // grey keeps no hue: 0.95 * 255
    {0x808080, 80, 0x949494},
    {0x3F3F3F, -50, 0x323232},
    {0x0000FF, 80, 0x2929FF},   // pure red: the other channels rise together
    {0x0080FF, 80, 0x2994FF},   // orange keeps its hue while it gets lighter
    {0xFF0000FF, 0, 0x0000FF},  // bits above the colour are ignored
    {0x0000FF, 5000, 0xFFFFFF}, // luminance is clamped to the scale
    {0x0000FF, -5000, 0x000000},
};

TEST(ColorShade, AdjustsLuminanceOnTheThousandScale) {
  for (const TShadeCase& c : kShadeCases)
    EXPECT_EQ(ColorAdjustLuma(c.Color, c.Delta), c.Expected) << std::hex << c.Color << " " << std::dec << c.Delta;
}

TEST(ColorShade, EveryPaletteColourSurvivesTheHlsRoundTripAndShadesOrderByLuminance) {
  const auto luminance = [](uint32_t c) { return (c & 0xFF) * 299 + ((c >> 8) & 0xFF) * 587 + ((c >> 16) & 0xFF) * 114; };
  for (int32_t kind : {0, 2, 3, 4, 5})
    for (int32_t ch = 1; ch <= TQV_ChannelData::ChannelCount; ++ch) {
      const uint32_t color = ChannelPaletteColor(kind, ch);
      EXPECT_EQ(ColorAdjustLuma(color, 0), color) << std::hex << color;
      EXPECT_LT(luminance(DarkShade(color)), luminance(color)) << std::hex << color;
      EXPECT_GT(luminance(LightShade(color)), luminance(color)) << std::hex << color;
    }
}

}  // namespace

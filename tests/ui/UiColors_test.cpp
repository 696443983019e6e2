#include "ui/UiColors.h"

#include <gtest/gtest.h>

namespace {

TEST(UiColors, TheCursorTakesANeutralColourNoChannelUses) {
  const QColor grey = ToQColor(0x7F7F7F), brown = ToQColor(0x13458B), olive = ToQColor(0x8B8B00);
  struct TCase {
    const char* Name;
    std::vector<uint32_t> Channels;
    QColor Expected;
  } cases[] = {
      {"no channels", {}, grey},
      {"bright channels", {0x00FF00, 0xFF0000, 0x0000FF}, grey},
      {"a grey channel", {0x3F3F3F, 0x808080}, brown},
      {"grey and brown channels", {0x707070, 0x10408A}, olive},
      {"every candidate taken", {0x7F7F7F, 0x13458B, 0x8B8B00, 0x7F007F}, grey},
  };
  for (const TCase& c : cases) EXPECT_EQ(CursorQColor(c.Channels), c.Expected) << c.Name;
}

}  // namespace

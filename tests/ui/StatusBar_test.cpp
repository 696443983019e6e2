#include "ui/StatusBar.h"

#include <gtest/gtest.h>

// Every panel of the status bar explains itself on hover.
namespace {

TEST(StatusBar, EachPanelHasItsOwnToolTip) {
  TVTA_StatusBar bar;
  bar.SetSlotCount(2);
  bar.SetHighRes("A:2");
  bar.SetDebugLogging(false, true);
  bar.resize(bar.sizeHint().width() + 200, bar.sizeHint().height());

  struct TCase {
    int32_t Slot;
    TVTA_StatusBar::TField Field;
    const char* Contains;
  };
  const TCase cases[] = {
      {0, TVTA_StatusBar::sfColor, "Session A: its colour"}, {0, TVTA_StatusBar::sfChannel, "Session A: the channels"},
      {0, TVTA_StatusBar::sfUser, "Session A: the user number"}, {0, TVTA_StatusBar::sfLost, "Session A: measurements lost"},
      {1, TVTA_StatusBar::sfSync, "Session B: the instrument's last seconds time stamp"},
  };
  for (const TCase& c : cases) {
    int x = 0;
    for (int32_t slot = 0; slot <= c.Slot; ++slot)
      for (int f = 0; f < TVTA_StatusBar::sfCount && !(slot == c.Slot && f == c.Field); ++f)
        x += bar.FieldWidth(slot, TVTA_StatusBar::TField(f));
    const int middle = x + bar.FieldWidth(c.Slot, c.Field) / 2;
    EXPECT_TRUE(bar.ToolTipAt({middle, 3}).startsWith(c.Contains)) << c.Contains << " got " << bar.ToolTipAt({middle, 3}).toStdString();
  }
  int panels = 0;
  for (int32_t slot = 0; slot < 2; ++slot)
    for (int f = 0; f < TVTA_StatusBar::sfCount; ++f) panels += bar.FieldWidth(slot, TVTA_StatusBar::TField(f));
  EXPECT_TRUE(bar.ToolTipAt({panels + 2, 3}).contains("high-resolution"));
  EXPECT_TRUE(bar.ToolTipAt({bar.width() - 3, 3}).contains("measurement logs"));
  EXPECT_TRUE(bar.ToolTipAt({panels + bar.HighResWidth() + 5, 3}).isEmpty());
}

}  // namespace

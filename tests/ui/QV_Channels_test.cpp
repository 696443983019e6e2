#include "ui/QV_Channels.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include "core/App_Settings.h"
#include "ui/UiColors.h"

namespace {

class ChannelStripTest : public ::testing::Test {
 protected:
  ChannelStripTest() {
    strip.SetCellSize(20);
    strip.resize(strip.sizeHint());
    strip.show();
  }
  void Click(int ch) { QTest::mouseClick(&strip, Qt::LeftButton, {}, strip.CellRect(ch).center()); }
  // The colour of a cell's corner (its 1-pixel border), inside the 4-pixel selection frame, and of
  // its fill.
  QColor BorderAt(const QImage& image, int ch) { return image.pixelColor(strip.CellRect(ch).topLeft()); }
  QColor FrameAt(const QImage& image, int ch) { return image.pixelColor(strip.CellRect(ch).topLeft() + QPoint(1, 1)); }
  QColor FillAt(const QImage& image, int ch) { return image.pixelColor(strip.CellRect(ch).topLeft() + QPoint(5, 5)); }

  TQV_Channels strip;
};

struct TState {
  bool Enabled;
  bool Persist;
  int Selected;
  bool operator==(const TState&) const = default;
};

TEST_F(ChannelStripTest, ClickActions) {
  struct Case {
    const char* what;
    TMouseClickAction action;
    TState before;
    bool onlyEnabled;  // channel 3 is the only enabled one, ForceOneEnabled on
    TState after;
    int enabledSignals, persistSignals, selectedSignals;
  } cases[] = {
      {"toggle enabled", mcaToggleEnabled, {true, false, 0}, false, {false, false, 0}, 1, 0, 0},
      {"toggle enabled back", mcaToggleEnabled, {false, false, 0}, false, {true, false, 0}, 1, 0, 0},
      {"force one enabled keeps the last one", mcaToggleEnabled, {true, false, 0}, true, {true, false, 0}, 0, 0, 0},
      {"toggle persist", mcaTogglePersist, {true, false, 0}, false, {true, true, 0}, 0, 1, 0},
      {"none", mcaNone, {true, false, 0}, false, {true, false, 0}, 0, 0, 0},
      {"selected: a disabled channel is enabled", mcaSelectedToggleEnabled, {false, false, 5}, false, {true, false, 5}, 1, 0, 0},
      {"selected: without selection it is disabled", mcaSelectedToggleEnabled, {true, false, 0}, false, {false, false, 0}, 1, 0, 0},
      {"selected: the selected one is disabled and unselected", mcaSelectedToggleEnabled, {true, false, 3}, false, {false, false, 0}, 1, 0, 1},
      {"selected: another enabled one becomes selected", mcaSelectedToggleEnabled, {true, false, 5}, false, {true, false, 3}, 0, 0, 1},
      {"selected: forced last one stays selected", mcaSelectedToggleEnabled, {true, false, 3}, true, {true, false, 3}, 0, 0, 0},
      {"cycle: disabled -> enabled", mcaToggleEnabledPersist, {false, false, 0}, false, {true, false, 0}, 1, 0, 0},
      {"cycle: enabled -> persist", mcaToggleEnabledPersist, {true, false, 0}, false, {true, true, 0}, 0, 1, 0},
      {"cycle: persist -> disabled", mcaToggleEnabledPersist, {true, true, 0}, false, {false, false, 0}, 1, 1, 0},
  };
  for (const Case& c : cases) {
    TQV_ChannelData data;
    for (int ch = 1; ch <= 24; ++ch) data.SetChannelEnabled(ch, !c.onlyEnabled);
    data.SetChannelEnabled(3, c.before.Enabled);
    data.SetPersistEnabled(3, c.before.Persist);
    data.SetSelected(c.before.Selected);
    strip.InitChannels(data);
    strip.SetMouseClickAction(c.action);
    strip.SetForceOneEnabled(c.onlyEnabled);
    QSignalSpy enabled(&strip, &TQV_Channels::OnChannelEnabled);
    QSignalSpy persist(&strip, &TQV_Channels::OnPersistEnabled);
    QSignalSpy selected(&strip, &TQV_Channels::OnChannelSelected);
    Click(3);
    EXPECT_EQ((TState{strip.ChannelEnabled(3), strip.PersistEnabled(3), strip.SelectedChannel()}), c.after) << c.what;
    EXPECT_EQ(enabled.count(), c.enabledSignals) << c.what;
    EXPECT_EQ(persist.count(), c.persistSignals) << c.what;
    EXPECT_EQ(selected.count(), c.selectedSignals) << c.what;
    if (enabled.count() == 1) {
      EXPECT_EQ(enabled[0][0].toInt(), 3) << c.what;
    }
  }
}

TEST_F(ChannelStripTest, ThreeClicksCycleAnEnabledChannelThroughPersistDisabledEnabled) {
  strip.SetMouseClickAction(mcaToggleEnabledPersist);
  std::vector<TState> seen;
  for (int i = 0; i < 3; ++i) {
    Click(7);
    seen.push_back({strip.ChannelEnabled(7), strip.PersistEnabled(7), 0});
  }
  EXPECT_EQ(seen, (std::vector<TState>{{true, true, 0}, {false, false, 0}, {true, false, 0}}));
}

TEST_F(ChannelStripTest, AClickCountsOnlyOnTheCellWhereItWasPressedAndOnAChannelInUse) {
  QSignalSpy enabled(&strip, &TQV_Channels::OnChannelEnabled);
  QTest::mousePress(&strip, Qt::LeftButton, {}, strip.CellRect(3).center());
  QTest::mouseRelease(&strip, Qt::LeftButton, {}, strip.CellRect(4).center());
  EXPECT_EQ(enabled.count(), 0);
  EXPECT_TRUE(strip.ChannelEnabled(3));

  strip.SetVisibleCount(8);
  Click(9);
  EXPECT_TRUE(strip.ChannelEnabled(9));
  strip.SetVisibleMask(0xFFFFFF & ~(1u << 4));
  Click(5);
  EXPECT_TRUE(strip.ChannelEnabled(5));
  EXPECT_EQ(enabled.count(), 0);
}

TEST_F(ChannelStripTest, CellsShowEnabledDisabledNotInUseAndTheSelectionFrame) {
  TQV_ChannelData data;
  data.SetChannelEnabled(2, false);
  data.SetChannelColor(4, TQV_Channels::kOrange);
  data.SetSelected(4);
  strip.InitChannels(data);
  strip.SetVisibleCount(10);
  QImage image = strip.grab().toImage();
  EXPECT_EQ(FillAt(image, 1), ToQColor(data.ChannelColor(1)));
  EXPECT_EQ(BorderAt(image, 1), QColor(Qt::white));
  EXPECT_EQ(FillAt(image, 2), ToQColor(TQV_Channels::kDisabledColor));
  EXPECT_EQ(FillAt(image, 11), ToQColor(TQV_Channels::kNotInUseColor));
  EXPECT_EQ(FrameAt(image, 4), ToQColor(strip.SelectedColor2()));  // orange cell: the second frame colour

  data.SetChannelColor(4, 0x00FF00);
  strip.InitChannels(data);
  image = strip.grab().toImage();
  EXPECT_EQ(FrameAt(image, 4), ToQColor(strip.SelectedColor1()));
}

TEST_F(ChannelStripTest, OrientationAndChannelCountDecideTheCells) {
  QSignalSpy dims(&strip, &TQV_Channels::OnDimChanged);
  strip.SetMaxChannels(6);
  EXPECT_EQ(strip.sizeHint(), QSize(120, 20));
  strip.SetOrientation(coVertical);
  EXPECT_EQ(strip.sizeHint(), QSize(20, 120));
  EXPECT_EQ(strip.CellRect(3), QRect(0, 40, 20, 20));
  strip.SetOrientation(coFixed);
  strip.resize(60, 60);
  EXPECT_EQ(strip.CellRect(4), QRect(0, 20, 20, 20));  // three per row
  strip.SetHorizontal(false);
  EXPECT_EQ(strip.CellRect(4), QRect(20, 0, 20, 20));  // three per column
  EXPECT_EQ(strip.CellRect(7), QRect());
  EXPECT_EQ(dims.count(), 4);
}

TEST_F(ChannelStripTest, ViewKeysRoundTrip) {
  strip.SetChannelEnabledString("101100000000000000000001");
  strip.SetPersistEnabled(3, true);
  strip.SetSelectedColor1(0x123456);
  TAppSettings settings;
  strip.SaveSettingsView(settings, "View_2_Channel1_");
  EXPECT_EQ(settings.TryGetValue("View_2_Channel1_"), "101100000000000000000001");
  EXPECT_EQ(settings.TryGetValue("View_2_Channel1_Persist"), "001000000000000000000000");

  TQV_Channels other;
  other.ReadSettingsView(settings, "View_2_Channel1_");
  EXPECT_EQ(other.ChannelEnabledString(), strip.ChannelEnabledString());
  EXPECT_EQ(other.PersistEnabledString(), strip.PersistEnabledString());
  EXPECT_EQ(other.SelectedColor1(), 0x123456u);

  TAppSettings empty;
  TQV_Channels fresh;
  fresh.ReadSettingsView(empty, "View_9_Channel1_");
  EXPECT_EQ(fresh.ChannelEnabledString(), std::string(24, '1'));
  EXPECT_EQ(fresh.PersistEnabledString(), std::string(24, '0'));
}

}  // namespace

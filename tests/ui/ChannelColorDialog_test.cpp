#include "ui/ChannelColorDialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QTableWidget>
#include <gtest/gtest.h>

#include "acquisition/ColorShade.h"

namespace {

std::vector<std::string> GroupTitles(const QWidget& dialog) {
  std::vector<std::string> titles;
  for (auto* group : dialog.findChildren<QGroupBox*>()) titles.push_back(group->title().toStdString());
  return titles;
}

TEST(ChannelColorDialog, CaptionsWithAndWithoutIntervalChannels) {
  TChannelColorDialog counter(nullptr, TQV_ChannelData(), 8);
  EXPECT_EQ(counter.windowTitle(), "Channel Color and Name");
  EXPECT_EQ(GroupTitles(counter), std::vector<std::string>{"Phase-/Frequency Counter ZCT"});
  EXPECT_EQ(counter.Grid(false)->rowCount(), 8);
  EXPECT_EQ(counter.LikeZCTBox(), nullptr);
  EXPECT_FALSE(counter.IVCData());

  TChannelColorDialog both(nullptr, TQV_ChannelData(), 4, TQV_ChannelData(2), 3);
  EXPECT_EQ(GroupTitles(both), (std::vector<std::string>{"Phase-/Frequency Counter ZCT", "Interval Counter IVC"}));
  EXPECT_EQ(both.LikeZCTBox()->text(), "Like ZCT");
  EXPECT_EQ(both.Grid(true)->rowCount(), 3);
}

TEST(ChannelColorDialog, EditsColoursIdsAndNames) {
  TChannelColorDialog dialog(nullptr, TQV_ChannelData(), 4, TQV_ChannelData(2), 4);
  std::vector<QString> captions;
  dialog.SetColorChooser([&captions](const QString& caption, uint32_t) -> std::optional<uint32_t> {
    captions.push_back(caption);
    return 0x123456;
  });
  dialog.ChooseColor(false, 2);
  dialog.Grid(false)->item(2, 1)->setText("H1");
  dialog.Grid(false)->item(2, 2)->setText("Maser, north");
  const TQV_ChannelData zct = dialog.ZCTData();
  EXPECT_EQ(captions, std::vector<QString>{"Select color for ZCT channel 2"});
  EXPECT_EQ(zct.ChannelColor(2), 0x123456u);
  EXPECT_EQ(zct.ChannelDarkColor(2), DarkShade(0x123456));
  EXPECT_EQ(zct.ChannelId(3), "H1");
  EXPECT_EQ(zct.ChannelName(3), "Maser,north");
  EXPECT_EQ(zct.ChannelColor(1), TQV_ChannelData().ChannelColor(1));

  dialog.ChooseColor(true, 1);
  EXPECT_EQ(captions.back(), "Select color for IVC channel 1");
  dialog.LikeZCTBox()->setChecked(true);
  const TQV_ChannelData ivc = *dialog.IVCData();
  for (int ch = 1; ch <= 4; ++ch) EXPECT_EQ(ivc.ChannelColor(ch), zct.ChannelColor(ch)) << ch;
  dialog.ChooseColor(true, 3);  // the interval colours follow the counter's while "Like ZCT" is on
  EXPECT_EQ(captions.size(), 2u);
}

}  // namespace

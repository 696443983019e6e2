#include "ui/VirtualChannelsDialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <gtest/gtest.h>

#include "ui/DialogTestSupport.h"

namespace {

const TFormatSettings kPoint{'.', ','};
const std::vector<std::string> kReal = {"Maser", "GPS", "Rb"};

TVirtualChannels OneDifference() {
  TVirtualChannels value;
  value.Factors[0] = {1, -1};
  value.Record.SetChannelId(1, "V1");
  value.Record.SetChannelName(1, "Maser-GPS");
  value.Record.SetMaxChannels(1);
  value.Description = "Differences";
  return value;
}

TEST(VirtualChannelsDialog, ShowsEachVirtualChannelAsARowOfFactors) {
  TVirtualChannelsDialog dialog(nullptr, "[A] Virtual ZCT Channels", kReal, OneDifference(), kPoint);
  EXPECT_EQ(dialog.windowTitle(), "[A] Virtual ZCT Channels");
  ASSERT_EQ(dialog.Grid()->rowCount(), 1 + TVirtualChannelsDialog::kSpareRows);
  ASSERT_EQ(dialog.Grid()->columnCount(), 5);
  EXPECT_EQ(dialog.Grid()->horizontalHeaderItem(2)->text(), "1\nMaser");
  EXPECT_EQ(dialog.Grid()->item(0, 0)->text(), "V1");
  EXPECT_EQ(dialog.Grid()->item(0, 1)->text(), "Maser-GPS");
  EXPECT_EQ(dialog.Grid()->item(0, 2)->text(), "1");
  EXPECT_EQ(dialog.Grid()->item(0, 3)->text(), "-1");
  EXPECT_EQ(dialog.Grid()->item(0, 4)->text(), "");
  EXPECT_EQ(dialog.DescriptionEdit()->text(), "Differences");
  EXPECT_EQ(dialog.Grid()->item(1, 0)->text(), "V2");  // a spare row for a new channel
}

TEST(VirtualChannelsDialog, EmptiedRowsGoAndTheRestMoveUp) {
  TVirtualChannelsDialog dialog(nullptr, "x", kReal, OneDifference(), kPoint);
  // Row 1 emptied, row 3 defined: it becomes virtual channel 1.
  dialog.Grid()->item(0, 2)->setText("");
  dialog.Grid()->item(0, 3)->setText("0");
  dialog.Grid()->item(2, 1)->setText("Mean, all");
  for (int column = 2; column < 5; ++column) dialog.Grid()->item(2, column)->setText("0.333");
  dialog.DescriptionEdit()->setText(" Mean ");
  dialog.accept();
  ASSERT_EQ(dialog.result(), QDialog::Accepted);
  const TVirtualChannels value = dialog.Value();
  EXPECT_EQ(value.Record.MaxChannels(), 1);
  EXPECT_EQ(value.Record.ChannelId(1), "V3");
  EXPECT_EQ(value.Record.ChannelName(1), "Mean,all");
  EXPECT_EQ(value.Factors[0], (TChannelFactors{0.333, 0.333, 0.333}));
  EXPECT_EQ(value.Factors[1], TChannelFactors{});
  EXPECT_EQ(value.Description, "Mean");
}

TEST(VirtualChannelsDialog, RefusesUnusableFactors) {
  for (const char* text : {"x", "1,5.5", "inf"}) {
    TVirtualChannelsDialog dialog(nullptr, "x", kReal, OneDifference(), kPoint);
    dialog.Grid()->item(1, 4)->setText(text);
    dialog.accept();
    EXPECT_NE(dialog.result(), QDialog::Accepted) << text;
    EXPECT_EQ(dialog.ErrorLabel()->text().toStdString(),
              std::string("Virtual channel 2, channel 3: Invalid floating point input = ") + text);
  }
}

TEST(VirtualChannelsDialog, Screenshot) {
  TVirtualChannelsDialog dialog(nullptr, "[A] Virtual ZCT Channels", kReal, OneDifference(), kPoint);
  SaveDialogScreenshot(dialog, "virtual_channels_dialog");
}

}  // namespace

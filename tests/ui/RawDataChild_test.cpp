#include "ui/RawDataChild.h"

#include <QCoreApplication>
#include <QDir>
#include <gtest/gtest.h>

#include "UiTestSessions.h"
#include "ui/QV_Channels.h"
#include "ui/TextGrid.h"
#include "ui/TextSelectionDialog.h"

namespace {

using zcttest::Hex4;
using zcttest::kRaw1ms;
using zcttest::RawField;

class RawDataChildTest : public ::testing::Test {
 protected:
  std::unique_ptr<TRawDataChild> MakeView() {
    auto view = std::make_unique<TRawDataChild>(nullptr, 4, session.get(), nullptr, TestEnvironment());
    view->resize(420, 200);
    view->show();
    QCoreApplication::processEvents();
    return view;
  }
  // One millisecond of raw readings of three channels.
  void Raw(uint16_t t3, int64_t ms) {
    ASSERT_TRUE(session->Store().ExtractRawData(
        Hex4(kRaw1ms) + RawField(0x0100, 0x0200, t3) + RawField(0x0101, 0x0201, t3 + 1) + RawField(0x0102, 0x0202, t3 + 2),
        ms));
  }

  std::unique_ptr<TTestCounterSession> session = TTestCounterSession::Make(0);
};

TEST_F(RawDataChildTest, ShowsTheLastReadingsOfEachEnabledChannel) {
  auto view = MakeView();
  view->UpdateDisplay();
  EXPECT_EQ(view->Status(), TRawDataChild::kNoData);
  session->Store().SetRawMode(1, false);
  Raw(0x0010, 0);
  Raw(0x0020, 1);
  view->UpdateDisplay();
  EXPECT_EQ(view->Status(), "");
  TTextGrid& grid = *view->Grid();
  EXPECT_EQ(grid.Cell(0, 1), "T1   T2   T3");
  ASSERT_EQ(grid.RowCount(), 4);
  EXPECT_EQ(grid.Cell(1, 1), "  0100 0200 0020");
  EXPECT_EQ(grid.Cell(3, 1), "  0102 0202 0022");
  EXPECT_EQ(view->ChildTitle(), "[A] Raw Data");

  view->Channels()->SetChannelEnabled(2, false);
  Raw(0x0030, 2);
  view->UpdateDisplay();
  ASSERT_EQ(grid.RowCount(), 3);
  EXPECT_EQ(grid.Cell(2, 1), "  0102 0202 0032");
}

TEST_F(RawDataChildTest, SaysWhenThereIsNoRawDataOrNoConnection) {
  auto view = MakeView();
  ASSERT_TRUE(session->AddPhases({Phase{1, 0.25}, Phase{2, 0.5}}));
  ASSERT_TRUE(session->AddPhases({Phase{2, 0.25}, Phase{3, 0.5}}));
  view->UpdateDisplay();
  EXPECT_EQ(view->Status(), TRawDataChild::kNoRawMode);
  session->SetOpenParams(kOpenStringNone, 0, 0, "");
  view->UpdateDisplay();
  EXPECT_EQ(view->Status(), TRawDataChild::kNoConnection);
}

TEST_F(RawDataChildTest, SelectionSetsChannelsAndTitle) {
  auto view = MakeView();
  TTextViewSelection selection;
  selection.Type = TTextViewType::RawData;
  selection.Channels = "101" + std::string(21, '0');
  selection.Title = "Raw A";
  view->ApplySelection(selection);
  EXPECT_EQ(view->Title(), "Raw A");
  EXPECT_TRUE(view->Channels()->ChannelEnabled(3));
  EXPECT_FALSE(view->Channels()->ChannelEnabled(2));
}

// A picture for a look at the view; written only when VTA_SCREENSHOT_DIR names a folder.
TEST_F(RawDataChildTest, Screenshot) {
  const QString folder = qEnvironmentVariable("VTA_SCREENSHOT_DIR");
  if (folder.isEmpty()) GTEST_SKIP() << "VTA_SCREENSHOT_DIR not set";
  auto view = MakeView();
  session->Store().SetRawMode(1, false);
  Raw(0x0010, 0);
  Raw(0x0020, 1);
  view->UpdateDisplay();
  QCoreApplication::processEvents();
  QDir().mkpath(folder);
  EXPECT_TRUE(view->grab().save(folder + "/raw_data_view.png"));
}

}  // namespace

#include "ui/SensorTextChild.h"

#include <QCoreApplication>
#include <QDir>
#include <QPointer>
#include <cmath>
#include <gtest/gtest.h>

#include "SensorTestSession.h"
#include "UiTestSessions.h"
#include "ui/QV_Channels.h"
#include "ui/TextGrid.h"
#include "ui/TextSelectionDialog.h"

namespace {

TEST(SensorRangeMark, MarksAWatchedChannelOutsideItsRange) {
  const TSensorRangeInfo watched{18, 24, true};
  const struct {
    double value;
    TSensorRangeInfo range;
    const char* mark;
  } cases[] = {
      {17.99, watched, "< Min"}, {18, watched, ""},   {24, watched, ""},
      {24.01, watched, "> Max"}, {30, {18, 24, false}, ""}, {std::nan(""), watched, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(SensorRangeMark(c.value, c.range), c.mark) << c.value;
}

class SensorTextChildTest : public ::testing::Test {
 protected:
  std::unique_ptr<TSensorTextChild> MakeView() {
    auto view = std::make_unique<TSensorTextChild>(nullptr, 7, sensor.Session.get(), nullptr, TestEnvironment());
    view->resize(480, 240);
    view->show();
    QCoreApplication::processEvents();
    return view;
  }
  static std::vector<std::string> Row(const TSensorTextChild& view, int row) {
    std::vector<std::string> cells;
    for (int col = 0; col < TSensorTextChild::colCount; ++col) cells.push_back(view.Grid()->Cell(row, col));
    return cells;
  }

  TTestSensorSession sensor;
};

TEST_F(SensorTextChildTest, ShowsEachEnabledChannelsSignalValueAndRangeMark) {
  auto view = MakeView();
  EXPECT_EQ(view->ChildTitle(), "[B] Sensor data");
  view->UpdateDisplay();
  EXPECT_EQ(view->Status(), TSensorTextChild::kNoData);

  sensor.Add(2);
  sensor.Session->SetRangeInfo(3, {18, 21.5, true});  // 22 °C is too warm
  sensor.Session->SetRangeInfo(4, {48, 60, true});    // 48 % is just right
  view->UpdateDisplay();
  EXPECT_EQ(view->Status(), "");
  ASSERT_EQ(view->Grid()->RowCount(), 7);
  EXPECT_EQ(Row(*view, 0), (std::vector<std::string>{"+", "Name", "Signal", "Value", "Range"}));
  const TQV_ChannelData& names = view->Channels()->Data();
  EXPECT_EQ(Row(*view, 1), (std::vector<std::string>{names.ChannelId(1), names.ChannelName(1), "Voltage", "8.50 V", ""}));
  EXPECT_EQ(Row(*view, 3),
            (std::vector<std::string>{names.ChannelId(3), names.ChannelName(3), "Temperature", "22.00 °C", "> Max"}));
  EXPECT_EQ(Row(*view, 4), (std::vector<std::string>{names.ChannelId(4), names.ChannelName(4), "Humidity", "48.00 %", ""}));
  EXPECT_EQ(Row(*view, 5)[4], "") << "channel 5 is not watched";
  EXPECT_EQ(view->Grid()->RowColor(3), names.ChannelColor(3));

  // A disabled channel leaves its row; a range that fits clears the mark.
  view->Channels()->SetChannelEnabled(2, false);
  sensor.Session->SetRangeInfo(3, {18, 22.5, true});
  sensor.Add(1);
  view->UpdateDisplay();
  ASSERT_EQ(view->Grid()->RowCount(), 6);
  EXPECT_EQ(Row(*view, 2)[2], "Temperature");
  EXPECT_EQ(Row(*view, 2)[4], "");
}

TEST_F(SensorTextChildTest, SaysWhenThereIsNoConnection) {
  auto view = MakeView();
  sensor.Add(1);
  sensor.Session->SetOpenParams(kOpenStringNone, 0, 0, "");
  view->UpdateDisplay();
  EXPECT_EQ(view->Status(), TSensorTextChild::kNoConnection);
}

TEST_F(SensorTextChildTest, SelectionSetsChannelsAndTitle) {
  auto view = MakeView();
  TTextViewSelection selection;
  selection.Type = TTextViewType::Sensor;
  selection.Channels = "001010" + std::string(18, '0');
  selection.Title = "Room";
  view->ApplySelection(selection);
  EXPECT_EQ(view->Title(), "Room");
  sensor.Add(1);
  view->UpdateDisplay();
  ASSERT_EQ(view->Grid()->RowCount(), 3);
  EXPECT_EQ(view->Grid()->Cell(2, TSensorTextChild::colValue), "22.00 °C");
}

// A view of a counter session has nothing to show and closes.
TEST(SensorTextChild, ClosesOnACounterSession) {
  auto counter = TTestCounterSession::Make(0);
  QPointer<TSensorTextChild> view = new TSensorTextChild(nullptr, 7, counter.get(), nullptr, TestEnvironment());
  view->UpdateSession(1);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(view.isNull());
  delete view.data();
}

// A picture for a look at the view; written only when VTA_SCREENSHOT_DIR names a folder.
TEST_F(SensorTextChildTest, Screenshot) {
  const QString folder = qEnvironmentVariable("VTA_SCREENSHOT_DIR");
  if (folder.isEmpty()) GTEST_SKIP() << "VTA_SCREENSHOT_DIR not set";
  auto view = MakeView();
  sensor.Session->SetRangeInfo(3, {18, 21.5, true});
  sensor.Add(3);
  view->UpdateDisplay();
  QCoreApplication::processEvents();
  QDir().mkpath(folder);
  EXPECT_TRUE(view->grab().save(folder + "/sensor_text_view.png"));
}

}  // namespace

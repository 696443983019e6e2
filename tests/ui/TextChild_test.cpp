#include "ui/TextChild.h"

#include <QCoreApplication>
#include <QDir>
#include <QPointer>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

#include "UiTestSessions.h"
#include "acquisition/QVSessionTestSupport.h"
#include "ui/QV_Channels.h"
#include "ui/FontFit.h"
#include "ui/TextGrid.h"

using namespace zcttest;

namespace {

constexpr int kCols = TQV_ChannelData::ChannelCount;

class TextChildTest : public ::testing::Test {
 protected:
  std::unique_ptr<TTextChild> MakeView(const std::string& columns, TTextSourceKind kind = TTextSourceKind::ZCT) {
    auto view = std::make_unique<TTextChild>(nullptr, 4, session.get(), nullptr, TestEnvironment(), kind);
    view->SetColumnEnabled(columns);
    view->resize(700, 400);
    view->show();
    return view;
  }
  // Two samples, so that the frequencies exist: channel k advances by steps[k - 1] cycles.
  void TwoSamples(const std::vector<Phase>& start, const std::vector<Phase>& steps) {
    std::vector<Phase> next;
    for (size_t i = 0; i < start.size(); ++i) next.push_back(start[i] + steps[i]);
    ASSERT_TRUE(session->AddPhases(start));
    ASSERT_TRUE(session->AddPhases(next));
  }
  static void DeleteClosedViews() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

  std::unique_ptr<TTestCounterSession> session = TTestCounterSession::Make(0);
};

TEST_F(TextChildTest, ShowsTheStoreValuesInTheirCells) {
  TwoSamples({{1'000'000, 0}, {2'000'000, 0}, {3'000'000, 0.25}}, {{10'000, 0.5}, {5'000, 0.25}, {123'456'789, 0.125}});
  auto view = MakeView("101000");
  view->UpdateDisplay();
  const TTextGrid& grid = *view->Grid();
  ASSERT_EQ(grid.RowCount(), 4);
  ASSERT_EQ(grid.ColumnCount(), 3);
  EXPECT_EQ(view->ColumnIndex(tmPhase), 1);
  EXPECT_EQ(view->ColumnIndex(tmFreqAbs), 2);
  EXPECT_EQ(view->ColumnIndex(tmPhaseDiff), 0);
  EXPECT_EQ(grid.Cell(0, 0), "+");
  EXPECT_EQ(grid.Cell(0, 1), "Phase [Pd]");
  EXPECT_EQ(grid.Cell(0, 2), "Absolute Frequency [Hz]");
  const std::vector<std::vector<std::string>> rows = {
      {"1", "1010000.50000000000", " 10000.50000000000"},
      {"2", "2005000.25000000000", " 5000.25000000000"},
      {"3", "126456789.37500000000", " 123456789.12500000000"},
  };
  for (int row = 1; row <= 3; ++row) {
    for (int col = 0; col < 3; ++col) EXPECT_EQ(grid.Cell(row, col), rows[size_t(row - 1)][size_t(col)]) << row << "/" << col;
    EXPECT_EQ(grid.RowColor(row), session->ChannelData().ChannelColor(row));
  }
  EXPECT_EQ(view->ChildTitle(), "[A] Text: Phase [Pd], Absolute Frequency [Hz]");
}

TEST_F(TextChildTest, SeparatorsOfEveryColumnShareOneLine) {
  TwoSamples({{1'000, 0}, {2'000'000'000, 0}, {7, 0.75}}, {{10'000, 0.5}, {5'000, 0.25}, {123'456'789, 0.125}});
  auto view = MakeView("101101");
  view->UpdateDisplay();
  const TTextGrid& grid = *view->Grid();
  QFont font = grid.font();
  font.setPointSize(grid.FontPointSize());
  const QFontMetrics fm(font);
  for (int col = 1; col < grid.ColumnCount(); ++col) {
    for (int row = 1; row < grid.RowCount(); ++row) {
      const std::string& text = grid.Cell(row, col);
      const std::string_view lead = SplitDecimal(text, '.').Lead;
      const int separator = grid.TextX(row, col) + fm.horizontalAdvance(QString::fromStdString(std::string(lead)));
      EXPECT_EQ(separator, grid.SeparatorX(col)) << text;
      EXPECT_LE(grid.TextX(row, col) + fm.horizontalAdvance(QString::fromStdString(text)),
                grid.CellRect(row, col).right()) << text;
      EXPECT_GE(grid.TextX(row, col), grid.CellRect(row, col).left()) << text;
    }
  }
}

TEST_F(TextChildTest, AnActiveClockWarningMarksTheFrequencies) {
  TFakeClockAlarm alarm;
  alarm.Limit = 10'001;
  session->Store().SetClockAlarmSink(&alarm);
  TwoSamples({{1'000'000, 0}, {2'000'000, 0}}, {{10'000, 0.5}, {20'000, 0}});
  auto view = MakeView("001100");
  view->UpdateDisplay();
  EXPECT_EQ(view->Grid()->Cell(1, 1), " 10000.50000000000");
  EXPECT_EQ(view->Grid()->Cell(2, 1), "A20000.00000000000");
  EXPECT_EQ(view->Grid()->Cell(1, 2).front(), ' ');
  EXPECT_EQ(view->Grid()->Cell(2, 2).front(), 'A');
  session->Store().SetClockAlarmSink(nullptr);
}

TEST_F(TextChildTest, DisabledChannelsLoseTheirRows) {
  TwoSamples({{1, 0}, {2, 0}, {3, 0}}, {{10'000, 0}, {20'000, 0}, {30'000, 0}});
  auto view = MakeView("100000");
  view->UpdateDisplay();
  QTest::mouseClick(view->Channels(), Qt::LeftButton, {}, view->Channels()->CellRect(2).center());
  EXPECT_FALSE(view->ChannelData().ChannelEnabled(2));
  ASSERT_EQ(view->Grid()->RowCount(), 3);
  EXPECT_EQ(view->Grid()->Cell(2, 0), "3");
  EXPECT_EQ(view->Grid()->Cell(2, 1), "30003.00000000000");
  EXPECT_EQ(view->Grid()->RowColor(2), session->ChannelData().ChannelColor(3));
  for (int ch : {1, 3}) view->ChannelEnable(ch, false);
  EXPECT_EQ(view->Grid()->RowCount(), 1);
}

TEST_F(TextChildTest, BeforeAnyDataTheFirstRowSaysWhy) {
  auto view = MakeView("001000");
  view->UpdateDisplay();
  EXPECT_EQ(view->Grid()->RowCount(), 2);
  EXPECT_EQ(view->Grid()->Cell(1, 0), "1");
  EXPECT_EQ(view->Grid()->Cell(1, 1), " no data");
  session->SetOpenParams(kOpenStringNone, 0, 0, "");
  view->UpdateDisplay();
  EXPECT_EQ(view->Grid()->Cell(1, 1), " no connection");

  TwoSamples({{1, 0}, {2, 0}}, {{10'000, 0}, {20'000, 0}});
  view->UpdateDisplay();
  EXPECT_EQ(view->Grid()->RowCount(), 3);
  EXPECT_EQ(view->Grid()->Cell(1, 1), " 10000.00000000000");
  EXPECT_EQ(view->Grid()->ColumnStatistics(1).LeadChars(), 6);  // the status text is not remembered
}

TEST_F(TextChildTest, HeadersMarkWhatTheModeDoesNotDeliver) {
  TwoSamples({{1, 0}}, {{10'000, 0}});
  auto view = MakeView("101000");
  view->UpdateDisplay();
  EXPECT_EQ(view->Grid()->Cell(0, 1), "Phase [Pd]");
  session->Store().SetNewHeader(kFreq1s);
  view->UpdateDisplay();
  EXPECT_EQ(view->Grid()->Cell(0, 1), "Phase [Pd] (-)");
  EXPECT_EQ(view->Grid()->Cell(0, 2), "Absolute Frequency [Hz]");
  EXPECT_EQ(view->ChildTitle(), "[A] Text: Phase [Pd], Absolute Frequency [Hz]");
}

TEST_F(TextChildTest, CaptionFollowsNameTitleAndNumber) {
  auto view = MakeView("001000");
  view->UpdateDisplay();
  EXPECT_EQ(view->windowTitle().toStdString(), "[A] Text: Absolute Frequency [Hz]");
  session->SetOpenParams("DemoData", 0, 0, "Lab");
  view->UpdateSession(1);
  EXPECT_EQ(view->ChildTitle(), "[A: Lab] Text: Absolute Frequency [Hz]");
  view->SetSameCaptionNumber(2);
  EXPECT_EQ(view->ChildTitle(), "[A: Lab] Text: Absolute Frequency [Hz]   (2)");
  view->SetTitle("Maser");
  EXPECT_EQ(view->ChildTitle(), "Maser   (2)");
}

TEST_F(TextChildTest, WindowDecimalSeparatorApplies) {
  char separator = '.';
  TViewEnvironment env = TestEnvironment();
  env.FormatWin = [&separator] { return TFormatSettings{separator, ','}; };
  TwoSamples({{1, 0}}, {{10'000, 0.5}});
  TTextChild view(nullptr, 1, session.get(), nullptr, env);
  view.SetColumnEnabled("001001");
  view.UpdateDisplay();
  EXPECT_EQ(view.Grid()->Cell(1, 1), " 10000.50000000000");
  separator = ',';
  view.UpdateOptions(ocDecSepWin);
  view.UpdateDisplay();
  EXPECT_EQ(view.Grid()->Cell(1, 1), " 10000,50000000000");
  EXPECT_EQ(view.Grid()->DecimalSeparator(), ',');
}

TEST_F(TextChildTest, FontSettlesInOnePassAndFollowsTheWidth) {
  std::vector<Phase> start, steps;
  for (int ch = 1; ch <= kCols; ++ch) {
    start.push_back({ch * 1'000'000, 0});
    steps.push_back({ch * 10'000 + 3, 0.125 * ch});
  }
  TwoSamples(start, steps);
  auto view = MakeView("111111");
  view->UpdateDisplay();
  const int size = view->Grid()->FontPointSize();
  for (int i = 0; i < 3; ++i) {
    view->UpdateDisplay();
    EXPECT_FALSE(view->Grid()->LayoutPending());
    EXPECT_EQ(view->Grid()->FontPointSize(), size);
  }
  view->resize(2400, 400);
  view->UpdateDisplay();
  EXPECT_GE(view->Grid()->FontPointSize(), size);
  view->resize(200, 400);
  view->UpdateDisplay();
  EXPECT_EQ(view->Grid()->FontPointSize(), 8);  // the lower bound; the grid scrolls instead
  EXPECT_GT(view->Grid()->horizontalScrollBar()->maximum(), 0);
}

TEST_F(TextChildTest, PlusCellShowsAndHidesTheChannelStrip) {
  auto view = MakeView("001000");
  view->UpdateDisplay();
  ASSERT_TRUE(view->BottomPanelVisible());
  const int height = view->height();
  const QRect plus = view->Grid()->CellRect(0, 0);
  QTest::mouseClick(view->Grid()->viewport(), Qt::LeftButton, {}, plus.center());
  EXPECT_FALSE(view->BottomPanelVisible());
  EXPECT_LT(view->height(), height);
  QTest::mouseClick(view->Grid()->viewport(), Qt::LeftButton, {}, plus.center());
  EXPECT_TRUE(view->BottomPanelVisible());
  EXPECT_EQ(view->height(), height);
}

TEST_F(TextChildTest, SettingsRoundTrip) {
  TwoSamples({{1, 0}, {2, 0}, {3, 0}}, {{10'000, 0}, {20'000, 0}, {30'000, 0}});
  auto view = MakeView("100001");
  view->ChannelEnable(2, false);
  view->SetTitle("Mine");
  view->SetBottomPanelVisible(false);
  view->setGeometry(30, 40, 640, 360);
  TAppSettings settings;
  view->SaveSettings(settings, "View_3_");
  EXPECT_EQ(settings.TryGetValue("View_3_Columns"), "100001");
  EXPECT_EQ(settings.TryGetValue("View_3_DefaultSettings"), "False");
  EXPECT_EQ(settings.TryGetValue("View_3_Channel1_"), "101111111111111111111111");
  EXPECT_EQ(settings.TryGetValue("View_3_BottomVis"), "False");

  auto copy = MakeView("001000");
  EXPECT_TRUE(copy->DefaultSettings());
  copy->ReadSettings(settings, "View_3_");
  EXPECT_FALSE(copy->DefaultSettings());
  EXPECT_EQ(copy->GetColumnEnabled(), "100001");
  EXPECT_EQ(copy->Title(), "Mine");
  EXPECT_EQ(copy->ChannelData().ChannelEnabled(2), false);
  EXPECT_FALSE(copy->BottomPanelVisible());
  EXPECT_EQ(copy->geometry(), QRect(30, 40, 640, 360));
  EXPECT_EQ(copy->ChildTitle(), "Mine");
}

TEST_F(TextChildTest, ColumnsKeyAndOldPerColumnKeys) {
  TAppSettings settings;
  settings.SetValue("View_1_Columns", "101000");
  settings.SetValue("INI_Version", "5");
  auto view = MakeView("000001");
  view->ReadSettings(settings, "View_1_");
  EXPECT_EQ(view->GetColumnEnabled(), "101000");

  TAppSettings old;
  old.SetValue("INI_Version", "4");
  for (int n = 1; n <= 6; ++n) old.SetValue("View_1_Column" + std::to_string(n), n == 2 || n == 6);
  view->ReadSettings(old, "View_1_");
  EXPECT_EQ(view->GetColumnEnabled(), "010001");
}

TEST_F(TextChildTest, IntervalCounterViewShowsItsColumns) {
  ASSERT_TRUE(session->AddIntervals({100.25, 103.5, -10.0}));
  auto view = MakeView("1100", TTextSourceKind::IVC);
  EXPECT_TRUE(view->IsIVCView(1));
  view->UpdateDisplay();
  const TTextGrid& grid = *view->Grid();
  ASSERT_EQ(grid.RowCount(), 4);
  EXPECT_EQ(grid.Cell(0, 1), "Time Interval [ns]");
  EXPECT_EQ(grid.Cell(0, 2), "Interval Difference [ns]");
  EXPECT_EQ(grid.Cell(1, 1), "100.25");
  EXPECT_EQ(grid.Cell(2, 2), "3.25");
  EXPECT_EQ(grid.Cell(3, 1), "---");  // invalid value
  EXPECT_EQ(view->GetColumnEnabled(), "1100");
}

TEST_F(TextChildTest, ReplacedSessionIsLetGoAndTheSuccessorBound) {
  TwoSamples({{1, 0}}, {{10'000, 0}});
  auto view = MakeView("001000");
  view->UpdateDisplay();
  view->PrepareSessionChange(session.get());
  session.reset();
  EXPECT_EQ(view->Session(), nullptr);
  view->UpdateDisplay();
  EXPECT_EQ(view->Grid()->Cell(1, 1), " no connection");

  session = TTestCounterSession::Make(0);
  TwoSamples({{1, 0}}, {{20'000, 0}});
  view->SessionChanged(session.get());
  EXPECT_EQ(view->Session(), session.get());
  view->UpdateDisplay();
  EXPECT_EQ(view->Grid()->Cell(1, 1), " 20000.00000000000");

  auto other = TTestCounterSession::Make(1);
  view->PrepareSessionChange(other.get());
  view->SessionChanged(other.get());
  EXPECT_EQ(view->Session(), session.get());
}

TEST_F(TextChildTest, ClosesWhenItsSessionCannotFeedIt) {
  struct Case {
    const char* what;
    int32_t sessionType;
    bool ivcOnly;
    bool zctOnly;
    bool virtualChannels;
    TTextSourceKind kind;
    bool closes;
  } cases[] = {
      {"sensor session", kSessionTypeSensor, false, false, false, TTextSourceKind::ZCT, true},
      {"interval counter only", kSessionTypeCounter, true, false, false, TTextSourceKind::ZCT, true},
      {"interval view of an interval-only counter", kSessionTypeCounter, true, false, false, TTextSourceKind::IVC, false},
      {"interval view of a counter-only instrument", kSessionTypeCounter, false, true, false, TTextSourceKind::IVC, true},
      {"counter view of a counter-only instrument", kSessionTypeCounter, false, true, false, TTextSourceKind::ZCT, false},
      {"no virtual channels left", kSessionTypeCounter, false, false, true, TTextSourceKind::ZCT, true},
      {"counter session", kSessionTypeCounter, false, false, false, TTextSourceKind::ZCT, false},
  };
  for (const Case& c : cases) {
    TViewEnvironment env = TestEnvironment();
    env.IVCOnly = [&c](const TSessionItem&) { return c.ivcOnly; };
    env.ZCTOnly = [&c](const TSessionItem&) { return c.zctOnly; };
    QPointer<TTextChild> view = new TTextChild(nullptr, 2, session.get(), nullptr, env, c.kind);
    view->SetVirtualChannels(c.virtualChannels);
    session->SetType(c.sessionType);
    view->UpdateSession(1);
    DeleteClosedViews();
    EXPECT_EQ(view.isNull(), c.closes) << c.what;
    delete view.data();
    session->SetType(kSessionTypeCounter);
  }
}

// A picture of a full 24-channel view for a look at alignment and legibility; written only when
// VTA_SCREENSHOT_DIR names a folder.
TEST_F(TextChildTest, Screenshot) {
  const QString folder = qEnvironmentVariable("VTA_SCREENSHOT_DIR");
  if (folder.isEmpty()) GTEST_SKIP() << "VTA_SCREENSHOT_DIR not set";
  TFakeClockAlarm alarm;
  alarm.Limit = 240'000;
  session->Store().SetClockAlarmSink(&alarm);
  for (int ch = 1; ch <= kCols; ++ch) session->Store().SetNomFreq(ch, 10'000.0 * ch);
  std::vector<Phase> start, steps;
  for (int ch = 1; ch <= kCols; ++ch) {
    start.push_back({int64_t(ch) * 1'234'567, 0.5 / ch});
    steps.push_back({int64_t(ch) * 10'000 + (ch % 3), 0.001 * ch});
  }
  TwoSamples(start, steps);
  auto view = MakeView("111111");
  view->resize(1400, 560);
  view->UpdateDisplay();
  QCoreApplication::processEvents();
  QDir().mkpath(folder);
  EXPECT_TRUE(view->grab().save(folder + "/text_view_24.png"));
  view->resize(700, 560);
  view->UpdateDisplay();
  QCoreApplication::processEvents();
  EXPECT_TRUE(view->grab().save(folder + "/text_view_24_narrow.png"));
  session->Store().SetClockAlarmSink(nullptr);
}

// The font grows with the window until the grid fills its width or its height; a maximised view of
// the simulator's four channels takes a large part of its area instead of a strip at the top.
TEST(TextChildSimulator, FontFillsTheWidthOrTheHeightOfANormalAndAMaximisedView) {
  QVSessionFixture fixture;
  TAppSettings settings;
  fixture.session->ReadSettings(settings, "Session_0_");
  fixture.OpenDemo();
  ASSERT_EQ(fixture.opened, "");
  fixture.RunSteps(30);
  TTextChild view(nullptr, 1, fixture.session.get(), nullptr, TestEnvironment());
  view.UpdateDisplay();
  fixture.RunSteps(100);
  view.SetColumnEnabled(TTextChild::GetStdColumnFreqAbs());
  const QString folder = qEnvironmentVariable("VTA_SCREENSHOT_DIR");
  const struct {
    QSize size;
    const char* file;
  } windows[] = {{{700, 300}, "text_view_simulator.png"}, {{1900, 1000}, "text_view_simulator_maximised.png"}};
  int previous = 0;
  for (const auto& w : windows) {
    view.resize(w.size);
    view.show();
    view.UpdateDisplay();
    QCoreApplication::processEvents();
    const TTextGrid& grid = *view.Grid();
    ASSERT_EQ(grid.RowCount(), 5);
    ASSERT_NE(grid.Cell(1, 1), "-") << "values arrived";
    EXPECT_GT(grid.FontPointSize(), previous) << "a larger window gets a larger font";
    previous = grid.FontPointSize();
    const QRect last = grid.CellRect(grid.RowCount() - 1, grid.ColumnCount() - 1);
    const QSize area = grid.viewport()->size();
    EXPECT_LE(last.right(), area.width()) << "no horizontal scrolling";
    EXPECT_LE(last.bottom(), area.height()) << "no vertical scrolling";
    const bool fillsWidth = last.right() >= area.width() * 8 / 10;
    const bool fillsHeight = last.bottom() >= area.height() * 8 / 10;
    EXPECT_TRUE(fillsWidth || fillsHeight || grid.FontPointSize() == kFontFitMaxSize)
        << last.right() << "x" << last.bottom() << " of " << area.width() << "x" << area.height();
    if (!folder.isEmpty()) {
      QDir().mkpath(folder);
      EXPECT_TRUE(view.grab().save(folder + "/" + w.file));
    }
  }
}

}  // namespace

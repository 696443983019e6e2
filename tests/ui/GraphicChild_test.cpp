#include "ui/GraphicChild.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QPrinter>
#include <QToolButton>
#include <gtest/gtest.h>

#include "DialogTestSupport.h"
#include "SensorTestSession.h"
#include "UiTestSessions.h"
#include "core/Clock.h"
#include "support/TempDir.h"
#include "ui/QV_Channels.h"
#include "ui/UiColors.h"

using namespace zcttest;

namespace {

constexpr int64_t kNominal = 10'000;

class GraphicChildTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int ch = 1; ch <= 3; ++ch) session->Store().SetNomFreq(ch, double(kNominal));
  }
  std::unique_ptr<TGraphicChild> MakeView(TGraphicMode mode = gmFreqAbs) {
    auto view = std::make_unique<TGraphicChild>(nullptr, 3, session.get(), nullptr, TestEnvironment(), mode);
    view->SetAutoScale(false);  // the cases below check rows at fixed scales
    view->resize(700, 420);
    view->show();
    QCoreApplication::processEvents();
    return view;
  }
  // One sample per call; channel k advances by the nominal cycles plus offsets[k - 1] cycles, so
  // its absolute frequency offset is that many Hz.
  void Samples(int n, const std::vector<double>& offsets, uint16_t header = kPhase1s) {
    for (int i = 0; i < n; ++i) {
      std::vector<Phase> phases;
      for (size_t k = 0; k < offsets.size(); ++k) {
        phases.push_back(fPhase[k]);
        fPhase[k] = fPhase[k] + Phase{kNominal, offsets[k]};
      }
      ASSERT_TRUE(session->AddPhases(phases, header));
    }
  }
  static QRgb Color(const TGraphicChild& view, int ch) { return ToQColor(view.ChannelData().ChannelColor(ch)).rgb(); }

  std::unique_ptr<TTestCounterSession> session = TTestCounterSession::Make(0);
  std::vector<Phase> fPhase = std::vector<Phase>(3, Phase{1'000'000, 0});
};

TEST_F(GraphicChildTest, DrawsTheStoredPageThenOnlyNewValuesAtTheirRowsInTheChannelColour) {
  Samples(2, {0.001, -0.0005, 0.0});
  auto view = MakeView();
  view->UpdateDisplay();  // a new view starts with what the store holds
  EXPECT_EQ(view->PlotX(), 2);
  Samples(3, {0.001, -0.0005, 0.0});
  view->UpdateDisplay();
  EXPECT_EQ(view->PlotX(), 5);
  EXPECT_EQ(view->DataX(), session->Store().LaufX(hsNone));

  const QImage& graph = view->Plot()->Graph();
  const int mitte = view->Plot()->Mitte();
  // The store's first sample starts the phase and has no offset of its own; the second joins it.
  for (int x = 2; x < 5; ++x) {
    EXPECT_EQ(graph.pixel(x, mitte - 100), Color(*view, 1)) << x;  // +1 mHz: one division up
    EXPECT_EQ(graph.pixel(x, mitte + 50), Color(*view, 2)) << x;   // -0.5 mHz
    EXPECT_EQ(graph.pixel(x, mitte), Color(*view, 3)) << x;
  }
  EXPECT_NE(graph.pixel(5, mitte - 100), Color(*view, 1));

  // The next refresh continues at the cursor, and a disabled channel is not drawn.
  view->ChannelEnable(2, false);
  Samples(2, {0.0015, -0.0005, 0.0});
  view->UpdateDisplay();
  EXPECT_EQ(view->PlotX(), 7);
  ASSERT_GT(mitte, 150);
  EXPECT_EQ(graph.pixel(6, mitte - 150), Color(*view, 1));
  EXPECT_EQ(graph.pixel(6, mitte - 125), Color(*view, 1));  // the trace joins the two rows
  EXPECT_NE(graph.pixel(6, mitte + 50), Color(*view, 2));
}

TEST_F(GraphicChildTest, CursorWrapsAndAFullPageRedrawsTheWidth) {
  auto view = MakeView();
  view->UpdateDisplay();
  const int width = view->Plot()->GraphWidth();
  Samples(width + 7, {0.001, 0, 0});
  view->UpdateDisplay();
  EXPECT_EQ(view->PlotX(), 7);  // the gap ahead of the cursor stays empty
  const QImage& graph = view->Plot()->Graph();
  const int row = view->Plot()->Mitte() - 100;
  for (int x : {0, 6, 7 + TGraphicChild::kSweepGap, width / 2, width - 1}) EXPECT_EQ(graph.pixel(x, row), Color(*view, 1)) << x;
  for (int x = 7; x < 7 + TGraphicChild::kSweepGap; ++x) EXPECT_NE(graph.pixel(x, row), Color(*view, 1)) << x;
}

TEST_F(GraphicChildTest, AutoFitsTheTracesOnTheFirstValuesAndRangeHandsTheScaleBack) {
  auto view = MakeView();
  view->SetAutoScale(true);
  for (int ch : {2, 3}) view->ChannelEnable(ch, false);  // hidden channels keep their scales
  Samples(20, {5.0, -2.0, 0.0});  // far beyond the default 1 mHz per division
  view->UpdateDisplay();
  const int mitte = view->Plot()->Mitte();
  const double half = double(mitte) / TQV_Plot::kPixelsPerDiv;
  // The store's first sample starts the phase: its offset of minus the nominal frequency is a
  // spike that the fit leaves out.
  const TChannelScale& scale = view->Scale(1);
  EXPECT_FALSE(AutoScaleNeedsFit(gmFreqAbs, scale, 5.0, 5.0, half));
  EXPECT_NEAR(scale.Center, 5.0, 1e-6);
  EXPECT_EQ(view->Scale(2), DefaultChannelScale(gmFreqAbs));
  // The fitted trace is drawn from the stored values.
  EXPECT_EQ(view->Plot()->Graph().pixel(10, ValueToRow(gmFreqAbs, 5.0, scale, mitte, 1)), Color(*view, 1));

  view->DoRange(0, +1);
  EXPECT_FALSE(view->AutoScale());
  EXPECT_FALSE(view->findChild<QToolButton*>("Auto")->isChecked());
}

TEST_F(GraphicChildTest, AScaleChangeRedrawsTheStoredTraceAtOnce) {
  auto view = MakeView();
  Samples(30, {0.001, 0, 0});
  view->UpdateDisplay();
  const int mitte = view->Plot()->Mitte();
  const QImage& graph = view->Plot()->Graph();
  EXPECT_EQ(graph.pixel(20, mitte - 100), Color(*view, 1));
  view->DoRange(+1, 0);  // 2 mHz per division: the same values half a division up
  view->UpdateDisplay();  // no new values: the history is drawn again
  EXPECT_EQ(graph.pixel(20, mitte - 50), Color(*view, 1));
  EXPECT_NE(graph.pixel(20, mitte - 100), Color(*view, 1));
  EXPECT_EQ(view->PlotX(), 30);
}

TEST_F(GraphicChildTest, ValuesBeyondTheEdgeAreMarkedNotTraced) {
  auto view = MakeView();
  for (int ch : {2, 3}) view->ChannelEnable(ch, false);
  Samples(1, {0.0, 0, 0});
  view->UpdateDisplay();
  Samples(12, {-0.0005, 0, 0});  // inside
  Samples(12, {0.5, 0, 0});     // 500 divisions up
  view->UpdateDisplay();
  const QImage& graph = view->Plot()->Graph();
  const int mitte = view->Plot()->Mitte();
  const QRgb c1 = Color(*view, 1);
  EXPECT_EQ(graph.pixel(6, mitte + 50), c1);
  // Beyond the top from column 14 on: arrows from channel 1's edge row inwards where the run
  // starts and at every sixth column, nothing between them, and no trace joining the last value
  // inside to the edge.
  for (int x : {14, 18, 24})
    for (int y = 1; y <= 6; ++y) EXPECT_EQ(graph.pixel(x, y), c1) << x << "," << y;
  for (int x : {16, 22}) EXPECT_NE(graph.pixel(x, 1), c1) << x;
  EXPECT_EQ(graph.pixel(17, 2), c1);  // the head of the arrow at column 18
  EXPECT_EQ(graph.pixel(19, 2), c1);
  EXPECT_NE(graph.pixel(13, 5), c1);  // the last value inside has no tick
  for (int y = 7; y < mitte + 40; ++y) EXPECT_NE(graph.pixel(14, y), c1) << y;
}

TEST_F(GraphicChildTest, RangeActsOnTheSelectedChannelOrOnAll) {
  auto view = MakeView(gmPhase);
  view->LeftChannels()->SetSelectedChannel(2);
  view->DoRange(+1, 0);
  EXPECT_EQ(view->Scale(2).Step, 2);
  EXPECT_EQ(view->Scale(1).Step, 1);
  EXPECT_DOUBLE_EQ(view->Plot()->YInfo(0).UnitsPerDiv, 2e-9);
  view->LeftChannels()->SetSelectedChannel(0);
  view->DoRange(0, +1);
  for (int ch : {1, 3, 24}) EXPECT_EQ(view->Scale(ch).Exponent, -8) << ch;
}

TEST_F(GraphicChildTest, CenterTakesTheNewestValues) {
  Samples(3, {0.004, -0.002, 0.0});
  auto view = MakeView();
  for (int ch : {2, 3}) view->ChannelEnable(ch, false);
  view->DoCenterValues();
  EXPECT_NEAR(view->Scale(1).Center, 0.004, 1e-9);
  EXPECT_NEAR(view->Scale(2).Center, -0.002, 1e-9);
  view->UpdateDisplay();
  Samples(2, {0.004, -0.002, 0.0});
  view->UpdateDisplay();
  EXPECT_EQ(view->Plot()->Graph().pixel(1, view->Plot()->Mitte()), Color(*view, 1));
}

TEST_F(GraphicChildTest, CaptionNamesSessionAndModeInItsAverageForm) {
  auto view = MakeView(gmFreqAbs);
  EXPECT_EQ(view->ChildTitle(), "[A] Absolute Frequency Offset");
  Samples(2, {0.001, 0, 0}, kPhaseAvg1s);
  view->UpdateCaption();
  EXPECT_EQ(view->ChildTitle(), "[A] Absolute Frequency Avg. Offset");
  view->SetGraphicMode(gmPhaseTheo);
  EXPECT_EQ(view->ChildTitle(), "[A] Phase Residual Average");
}

TEST_F(GraphicChildTest, HorizontalScaleSetsThePlotInterval) {
  session->SetIntervalMs(10);
  session->Store().SetScaleFactor(hsLong, 100);
  auto view = MakeView();
  view->SetHorizontalScale(2);
  EXPECT_EQ(view->Plot()->IntervalMs(), 1000);
  view->SetHorizontalScale(0);
  EXPECT_EQ(view->Plot()->IntervalMs(), 10);
  auto ivc = MakeView(gmIVCdiff);
  EXPECT_EQ(ivc->Plot()->IntervalMs(), 0);
  EXPECT_FALSE(ivc->ChannelData().ChannelEnabled(1));  // the reference channel
  EXPECT_TRUE(ivc->IsIVCView(1));
}

TEST_F(GraphicChildTest, SettingsRoundTrip) {
  auto view = MakeView(gmFreqRel);
  TChannelScale scale = view->Scale(3);
  scale.Step = 5;
  scale.Exponent = -6;
  scale.Center = 1.25e-7;
  view->SetScale(3, scale);
  view->LeftChannels()->SetSelectedChannel(3);
  view->SetHorizontalScale(1);
  view->ChannelEnable(2, false);
  TAppSettings settings;
  view->SaveSettings(settings, "View_4_");
  EXPECT_EQ(settings.TryGetValue("View_4_GraphicMode1"), "2");
  EXPECT_EQ(settings.TryGetValue("View_4_Scale_1_3"), "5, -6, 1.25e-07, 0");
  EXPECT_EQ(settings.TryGetValue("View_4_HScale"), "1");

  auto copy = MakeView(gmFreqAbs);
  copy->ReadSettings(settings, "View_4_");
  EXPECT_EQ(copy->GraphicMode(), gmFreqRel);
  EXPECT_EQ(copy->Scale(3), view->Scale(3));
  EXPECT_EQ(copy->Scale(1), view->Scale(1));
  EXPECT_EQ(copy->SelectedChannel(), 3);
  EXPECT_EQ(copy->HorizontalScale(), 1);
  EXPECT_FALSE(copy->ChannelData().ChannelEnabled(2));
  EXPECT_EQ(copy->ChildTitle(), "[A] Relative Frequency Offset");

  TAppSettings bad;
  bad.SetValue("View_1_GraphicMode1", int32_t(99));
  bad.SetValue("View_1_Scale_1_1", "7, 40, x, 0");
  bad.SetValue("View_1_Scale_1_2", "2, -1e300, 0, 0");
  auto third = MakeView(gmPhase);
  third->ReadSettings(bad, "View_1_");
  EXPECT_EQ(third->GraphicMode(), gmFreqAbs);
  EXPECT_EQ(third->Scale(1).Step, 5);
  EXPECT_EQ(third->Scale(1).Exponent, 8);
  EXPECT_EQ(third->Scale(2).Exponent, -15);
}

// Files before format version 3 kept each part of a channel's scale in a key of its own.
TEST_F(GraphicChildTest, ReadsTheScalesOfOlderSettingsFiles) {
  TAppSettings older;
  older.SetValue("INI_Version", int32_t(2));
  older.SetValue("View_1_GraphicMode1", int32_t(gmPhase));
  const auto set = [&](const char* key, int ch, const std::string& value) {
    older.SetValue("View_1_" + std::string(key) + "_1_" + std::to_string(ch), value);
  };
  set("RangeDiff", 2, "1");  // step index 1: step 2
  set("RangeFaktor", 2, "-7");
  set("AvgValue", 2, "1,5E-3");  // written with the decimal comma of the user's locale
  set("OffsetDiv", 2, "0.5");
  set("RangeDiff", 3, "2");
  set("RangeFaktor", 3, "30");  // above the mode's range
  set("RangeDiff", 5, "0");
  set("RangeFaktor", 5, "-12");
  set("AvgValue", 5, "x");  // unreadable: keeps the centre
  older.SetValue("View_1_Scale_1_6", "2, -10, 0, 0");  // the newer key wins over the older ones
  set("RangeFaktor", 6, "-3");

  struct Expected {
    int channel, step, exponent;
    double center, offset;
  };
  const Expected expected[] = {
      {2, 2, -7, 1.5e-3, 0.5}, {3, 5, 8, 0, 0}, {4, 1, -9, 0, 0}, {5, 1, -12, 0, 0}, {6, 2, -10, 0, 0},
  };
  auto view = MakeView(gmFreqAbs);
  view->ReadSettings(older, "View_1_");
  EXPECT_EQ(view->GraphicMode(), gmPhase);
  for (const Expected& e : expected) {
    EXPECT_EQ(view->Scale(e.channel).Step, e.step) << e.channel;
    EXPECT_EQ(view->Scale(e.channel).Exponent, e.exponent) << e.channel;
    EXPECT_DOUBLE_EQ(view->Scale(e.channel).Center, e.center) << e.channel;
    EXPECT_DOUBLE_EQ(view->Scale(e.channel).OffsetDiv, e.offset) << e.channel;
  }
  EXPECT_FALSE(older.TryGetValue("View_1_RangeDiff_1_4"));  // reading adds no older keys

  // From format version 3 on only the newer keys count.
  older.SetValue("INI_Version", int32_t(3));
  auto newer = MakeView(gmPhase);
  newer->ReadSettings(older, "View_1_");
  EXPECT_EQ(newer->Scale(2), DefaultChannelScale(gmPhase));
}

TEST_F(GraphicChildTest, NoConnectionIsShown) {
  session->SetOpenParams(kOpenStringNone, 0, 0, "");
  auto view = MakeView();
  view->UpdateDisplay();
  EXPECT_EQ(view->Plot()->ErrorText(), "no connection");
}

// Whether a view stays open after its session turned out to be of a kind or to carry data that
// the view's mode cannot show.
TEST_F(GraphicChildTest, ClosesWhenItsSessionCannotFeedIt) {
  struct Case {
    TGraphicMode mode;
    int32_t sessionType;
    bool ivcOnly, zctOnly;
    bool closes;
  };
  const Case cases[] = {
      {gmFreqAbs, kSessionTypeSensor, false, false, true},  // not a counter session
      {gmFreqAbs, kSessionTypeCounter, true, false, true},  // interval-counter data only
      {gmFreqAbs, kSessionTypeCounter, false, true, false},
      {gmPhase, kSessionTypeCounter, false, false, false},
      {gmIVCdiff, kSessionTypeCounter, false, true, true},  // counter data only
      {gmIVCdiff, kSessionTypeCounter, true, false, false},
      {gmIVCdiff, kSessionTypeCounter, false, false, false},
  };
  for (const Case& c : cases) {
    TViewEnvironment env = TestEnvironment();
    env.IVCOnly = [&](const TSessionItem&) { return c.ivcOnly; };
    env.ZCTOnly = [&](const TSessionItem&) { return c.zctOnly; };
    QPointer<TGraphicChild> view = new TGraphicChild(nullptr, 2, session.get(), nullptr, env, c.mode);
    session->SetType(c.sessionType);
    view->UpdateSession(1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(view.isNull(), c.closes) << "mode " << c.mode << ", type " << c.sessionType << ", IVC only " << c.ivcOnly
                                       << ", ZCT only " << c.zctOnly;
    delete view.data();
    session->SetType(kSessionTypeCounter);
  }
}

TEST_F(GraphicChildTest, SavedImageIsAJpegWithTitleAndLegend) {
  TTempDir dir;
  Samples(3, {0.001, -0.0005, 0.0});
  auto view = MakeView();
  view->UpdateDisplay();
  const std::string name = view->SaveImage(dir.Path());
  ASSERT_FALSE(name.empty());
  EXPECT_TRUE(QString::fromStdString(name).endsWith(".jpg"));
  QImage image(QString::fromStdString(name));
  ASSERT_FALSE(image.isNull());
  EXPECT_GT(image.height(), view->Plot()->height());
}

TEST_F(GraphicChildTest, SavesWithinOneSecondKeepEveryPicture) {
  TManualClock clock;  // stands still: every save falls into the same second
  TViewEnvironment env = TestEnvironment();
  env.Clock = &clock;
  TGraphicChild view(nullptr, 3, session.get(), nullptr, env, gmFreqAbs);
  TTempDir dir;
  std::vector<std::string> names;
  for (int i = 0; i < 3; ++i) names.push_back(view.SaveImage(dir.Path()));
  const std::string stem = names[0].substr(0, names[0].size() - 4);
  EXPECT_EQ(QFileInfo(QString::fromStdString(stem)).fileName().size(), QString("Graphic_YYMMDD_HHNNSS").size());
  EXPECT_EQ(names[1], stem + "_1.jpg");
  EXPECT_EQ(names[2], stem + "_2.jpg");
  EXPECT_EQ(QDir(QString::fromStdString(dir.Path())).entryList(QDir::Files).size(), 3);
}

// Two counters on one plot: base 1 at one value per second gives the columns, a second session at
// 4 values per second puts four values into each column, one at 2 s holds each value for two.
class SecondSessionTest : public GraphicChildTest {
 protected:
  void SetUp() override {
    GraphicChildTest::SetUp();
    session->SetIntervalMs(1000);
    second->Store().SetNomFreq(1, double(kNominal));
  }
  std::unique_ptr<TGraphicChild> MakeTwoSessionView(int32_t secondIntervalMs) {
    second->SetIntervalMs(secondIntervalMs);
    auto view = MakeView();
    view->SetSecondSession(second.get());
    for (int ch = 2; ch <= 3; ++ch) view->ChannelEnable(ch, false);
    view->RightChannels()->SetChannelEnabled(1, true);
    for (int ch = 2; ch <= TGraphicChild::kChannels; ++ch) view->RightChannels()->SetChannelEnabled(ch, false);
    return view;
  }
  // Base 1's channel 1 one division above the centre line; base 2's one division below, but for
  // the values whose positions `spikes` names (half a division above).
  void First(int n) { Samples(n, {0.001, 0, 0}); }
  void Second(int n, const std::vector<int>& spikes = {}) {
    for (int i = 0; i < n; ++i, ++fSecondCount) {
      const bool spike = std::find(spikes.begin(), spikes.end(), fSecondCount) != spikes.end();
      ASSERT_TRUE(second->AddPhases({fSecondPhase}));
      fSecondPhase = fSecondPhase + Phase{kNominal, spike ? 0.0005 : -0.001};
    }
  }
  // The columns of row y that hold channel 1's colour.
  static std::vector<int> Columns(const TGraphicChild& view, int y) {
    const QImage& graph = view.Plot()->Graph();
    std::vector<int> columns;
    for (int x = 0; x < graph.width(); ++x)
      if (graph.pixel(x, y) == Color(view, 1)) columns.push_back(x);
    return columns;
  }

  std::unique_ptr<TTestCounterSession> second = TTestCounterSession::Make(1, "DemoData", "Second");
  Phase fSecondPhase{2'000'000, 0};
  int fSecondCount = 0;
};

TEST_F(SecondSessionTest, AFasterSecondSessionKeepsTimeWithBaseOneAndItsSpikes) {
  auto view = MakeTwoSessionView(250);
  EXPECT_DOUBLE_EQ(view->ColumnsPerValue2(), 0.25);
  EXPECT_TRUE(view->Plot()->UseY2());
  First(11);  // ten frequencies
  Second(41, {22});
  view->UpdateDisplay();
  const int mitte = view->Plot()->Mitte();
  const std::vector<int> first = Columns(*view, mitte - 100), below = Columns(*view, mitte + 100);
  ASSERT_FALSE(first.empty());
  ASSERT_FALSE(below.empty());
  // Both end at the cursor: ten seconds of each.
  EXPECT_EQ(first.back(), view->PlotX() - 1);
  EXPECT_EQ(below.back(), view->PlotX() - 1);
  // The one spike among forty values is drawn in its column: both series end at the cursor (column
  // 11), the spike is the 23rd of 41 values, 18 × 0.25 = 4.5 columns before the last one (10.75).
  EXPECT_EQ(Columns(*view, mitte - 50), std::vector<int>{6});

  // New values of the second session wait for base 1's columns; both go on together.
  Second(20);
  view->UpdateDisplay();
  EXPECT_EQ(Columns(*view, mitte + 100).back(), view->PlotX() - 1);
  First(5);
  view->UpdateDisplay();
  EXPECT_EQ(Columns(*view, mitte + 100).back(), view->PlotX() - 1);
  EXPECT_EQ(view->DataX(2), view->DataX(2) & DM_HistoryMask);
  EXPECT_EQ(second->Store().GetNewCount(view->DataX(2), hsNone), 0);
}

TEST_F(SecondSessionTest, ANewIntervalOfTheSecondSessionStartsBothAgain) {
  auto view = MakeTwoSessionView(250);
  First(5);
  Second(17, {0, 1, 2, 3, 4, 5});  // the first values stand out
  view->UpdateDisplay();
  const int mitte = view->Plot()->Mitte();
  ASSERT_FALSE(Columns(*view, mitte - 50).empty());
  second->SetIntervalMs(500);
  view->UpdateDisplay();
  EXPECT_DOUBLE_EQ(view->ColumnsPerValue2(), 0.5);
  // Drawn anew at the new rate: only the last ten values (five seconds) fit, ending at the cursor.
  EXPECT_TRUE(Columns(*view, mitte - 50).empty());
  const std::vector<int> below = Columns(*view, mitte + 100);
  ASSERT_FALSE(below.empty());
  EXPECT_EQ(below.back(), view->PlotX() - 1);
  EXPECT_EQ(below.front(), 0);
  EXPECT_EQ(second->Store().GetNewCount(view->DataX(2), hsNone), 0);
}

TEST_F(SecondSessionTest, ASlowerSecondSessionHoldsItsValues) {
  auto view = MakeTwoSessionView(2000);
  First(11);
  Second(6);  // five frequencies over ten seconds
  view->UpdateDisplay();
  const int mitte = view->Plot()->Mitte();
  const std::vector<int> below = Columns(*view, mitte + 100);
  ASSERT_GE(below.size(), 8u);  // each value spans two columns
  EXPECT_EQ(below.back() - below.front() + 1, int(below.size()));  // no holes
}

TEST_F(SecondSessionTest, FallingBehindRestartsBothBases) {
  auto view = MakeTwoSessionView(250);
  First(3);
  Second(9);
  view->UpdateDisplay();
  // Base 1 stands still while the second session runs on for far longer than 5 s.
  Second(40);
  view->UpdateDisplay();
  EXPECT_EQ(view->DataX(2), -1);  // restarted: started again at the next refresh with base 1
  view->UpdateDisplay();
  EXPECT_GE(view->DataX(2), 0);
}

TEST_F(SecondSessionTest, KeysOfBothBasesRoundTrip) {
  auto view = MakeTwoSessionView(250);
  view->SetGraphicModeRight(gmPhase);
  TChannelScale scale = view->Scale(2, 2);
  scale.Step = 2;
  scale.Exponent = -11;
  scale.Center = 3.5;
  view->SetScale(2, scale, 2);
  view->SelectChannel(2, 2);
  view->RightChannels()->SetPersistEnabled(2, true);
  EXPECT_EQ(view->SelectedChannel(), 0);  // one selection over both strips
  EXPECT_EQ(view->SelectedBase(), 2);
  TAppSettings settings;
  view->SaveSettings(settings, "View_5_");
  EXPECT_EQ(settings.TryGetValue("View_5_GraphicMode2"), "0");
  EXPECT_EQ(settings.TryGetValue("View_5_Scale_2_2"), "2, -11, 3.5, 0");
  EXPECT_EQ(settings.TryGetValue("View_5_Selected2"), "2");
  EXPECT_EQ(settings.TryGetValue("View_5_RangeChannels2"), "24");

  second->SetIntervalMs(250);
  auto copy = MakeView();
  copy->SetSecondSession(second.get());
  copy->ReadSettings(settings, "View_5_");
  EXPECT_EQ(copy->GraphicModeRight(), gmPhase);
  EXPECT_EQ(copy->Scale(2, 2), view->Scale(2, 2));
  EXPECT_EQ(copy->RightChannels()->SelectedChannel(), 2);
  EXPECT_EQ(copy->SelectedBase(), 2);
  EXPECT_TRUE(copy->RightChannels()->PersistEnabled(2));
  EXPECT_EQ(copy->ChildTitle(), "[A] Absolute Frequency Offset + [B: Second] Phase");

  // The range buttons act on the selected base.
  copy->DoRange(1, 0);
  EXPECT_EQ(copy->Scale(2, 2).Step, 5);
  EXPECT_EQ(copy->Scale(2, 1), copy->Scale(2, 1));
  EXPECT_EQ(copy->Scale(2), DefaultChannelScale(gmFreqAbs));
}

TEST_F(SecondSessionTest, ClosesWhenTheSecondSessionCannotFeedItsMode) {
  struct Case {
    TGraphicMode mode;
    int32_t sessionType;
    bool ivcOnly;
    bool closes;
  } cases[] = {
      {gmPhase, kSessionTypeSensor, false, true},
      {gmPhase, kSessionTypeCounter, true, true},
      {gmPhase, kSessionTypeCounter, false, false},
      {gmIVCdiff, kSessionTypeCounter, true, false},
  };
  for (const Case& c : cases) {
    TViewEnvironment env = TestEnvironment();
    env.IVCOnly = [&](const TSessionItem& s) { return &s == second.get() && c.ivcOnly; };
    QPointer<TGraphicChild> view = new TGraphicChild(nullptr, 2, session.get(), nullptr, env, c.mode);
    view->SetSecondSession(second.get());
    second->SetType(c.sessionType);
    view->UpdateSession(2);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(view.isNull(), c.closes) << "mode " << c.mode << ", type " << c.sessionType << ", IVC only " << c.ivcOnly;
    delete view.data();
    second->SetType(kSessionTypeCounter);
  }
}

TEST_F(SecondSessionTest, PersistChoiceAndPrintedPicture) {
  auto view = MakeTwoSessionView(250);
  First(11);
  Second(41);
  TPersistChoice choice;
  choice.Persist[0] = {true, false};
  choice.Persist[1] = {true};
  view->ApplyPersistChoice(choice);
  view->UpdateDisplay();
  EXPECT_TRUE(view->LeftChannels()->PersistEnabled(1));
  EXPECT_FALSE(view->LeftChannels()->PersistEnabled(2));
  EXPECT_TRUE(view->RightChannels()->PersistEnabled(1));
  const int mitte = view->Plot()->Mitte();
  EXPECT_TRUE(view->Persist(1, 2).Test(5, mitte + 100));
  choice.Clear = true;
  view->ApplyPersistChoice(choice);
  EXPECT_TRUE(view->Persist(1, 2).IsEmpty());

  TTempDir dir;
  const QString pdf = QString::fromStdString(dir.File("graph.pdf"));
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(pdf);
  ASSERT_TRUE(view->Print(printer));
  QFile file(pdf);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_TRUE(file.read(5) == "%PDF-");
  EXPECT_GT(file.size(), 1000);
  // The picture carries a legend line per shown channel of both sessions.
  EXPECT_GT(view->Picture().height(), view->Plot()->Picture().height() + 2 * QFontMetrics(view->font()).height());
}

TEST_F(SecondSessionTest, Screenshot) {
  const QString folder = qEnvironmentVariable("VTA_SCREENSHOT_DIR");
  if (folder.isEmpty()) GTEST_SKIP() << "VTA_SCREENSHOT_DIR not set";
  second->Store().SetNomFreq(2, double(kNominal) * 1.0000001);  // 1 mHz below
  auto view = MakeTwoSessionView(250);
  view->resize(900, 500);
  view->RightChannels()->SetChannelEnabled(2, true);
  QCoreApplication::processEvents();
  view->UpdateDisplay();
  for (int i = 0; i < 200; ++i) {
    Samples(1, {0.0008 * std::sin(i / 20.0), 0, 0});
    for (int k = 0; k < 4; ++k) {
      const double t = (4 * i + k) / 25.0;
      ASSERT_TRUE(second->AddPhases({fSecondPhase, fSecondPhase}));
      fSecondPhase = fSecondPhase + Phase{kNominal, -0.0005 + 0.0004 * std::cos(t) + ((4 * i + k) % 97 == 0 ? 0.0012 : 0)};
    }
    if (i % 20 == 0) view->UpdateDisplay();
  }
  view->UpdateDisplay();
  QCoreApplication::processEvents();
  QDir().mkpath(folder);
  EXPECT_TRUE(view->grab().save(folder + "/graphic_view_two_sessions.png"));
  TPersistDialog persist(view.get(), view->LeftChannels()->Data(), &view->RightChannels()->Data());
  SaveDialogScreenshot(persist, "persist_dialog");
}

// A picture for a look at the plot; written only when VTA_SCREENSHOT_DIR names a folder.
TEST_F(GraphicChildTest, Screenshot) {
  const QString folder = qEnvironmentVariable("VTA_SCREENSHOT_DIR");
  if (folder.isEmpty()) GTEST_SKIP() << "VTA_SCREENSHOT_DIR not set";
  Samples(1, {0, 0, 0});
  auto view = MakeView();
  view->resize(900, 500);
  QCoreApplication::processEvents();
  view->UpdateDisplay();
  for (int i = 0; i < 400; ++i) {
    Samples(1, {0.002 * std::sin(i / 30.0), -0.001 + 0.0004 * std::cos(i / 11.0), 0.0035});
    if (i % 40 == 0) view->UpdateDisplay();
  }
  view->UpdateDisplay();
  QCoreApplication::processEvents();
  QDir().mkpath(folder);
  EXPECT_TRUE(view->grab().save(folder + "/graphic_view.png"));
}

// ---- Sensor mode ----

class GraphicChildSensorTest : public ::testing::Test {
 protected:
  std::unique_ptr<TGraphicChild> MakeView() {
    auto view = std::make_unique<TGraphicChild>(nullptr, 3, sensor.Session.get(), nullptr, TestEnvironment(), gmSensor);
    view->resize(700, 420);
    view->show();
    QCoreApplication::processEvents();
    return view;
  }
  static QRgb Color(const TGraphicChild& view, int ch) { return ToQColor(view.ChannelData().ChannelColor(ch)).rgb(); }

  TTestSensorSession sensor;
};

// Once the device has described its signals, each channel takes its signal's centre, scale and
// unit, and the values are drawn from that centre.
TEST_F(GraphicChildSensorTest, TakesEachSignalsCentreScaleAndUnitAndDrawsTheValues) {
  auto view = MakeView();
  EXPECT_FALSE(view->AutoScale());
  sensor.Add(3);
  view->ChannelEnable(5, false);  // channel 5 would be drawn over channel 3
  view->UpdateDisplay();
  const struct {
    int ch;
    const char* unit;
    double centre;
    int step, exponent;
  } cases[] = {{1, "V", 11, 5, -1}, {2, "V", 11, 5, -1}, {3, "°C", 21, 2, 0}, {4, "%", 50, 5, -1}};
  for (const auto& c : cases) {
    const TChannelScale& scale = view->Scale(c.ch);
    EXPECT_EQ(scale.Unit, c.unit) << c.ch;
    EXPECT_DOUBLE_EQ(scale.Center, c.centre) << c.ch;
    EXPECT_EQ(scale.Step, c.step) << c.ch;
    EXPECT_EQ(scale.Exponent, c.exponent) << c.ch;
  }
  EXPECT_EQ(view->PlotX(), 3);
  const QImage& graph = view->Plot()->Graph();
  const int mitte = view->Plot()->Mitte();
  for (int x = 0; x < 3; ++x) EXPECT_EQ(graph.pixel(x, mitte - 50), Color(*view, 3)) << x;  // 22 °C: 1 °C over 2 °C/div

  EXPECT_EQ(view->Plot()->YInfo(0).UnitText, "V") << "no channel selected: channel 1's axis";
}

// "Range" on a selected sensor channel changes every channel of its signal.
TEST_F(GraphicChildSensorTest, RangeActsOnTheChannelsOfTheSelectedSignal) {
  auto view = MakeView();
  sensor.Add(1);
  view->UpdateDisplay();
  std::vector<TChannelScale> before;
  for (int ch = 1; ch <= 6; ++ch) before.push_back(view->Scale(ch));
  view->LeftChannels()->SetSelectedChannel(3);
  view->DoRange(+1, 0);
  for (int ch = 1; ch <= 6; ++ch) {
    const bool temperature = ch == 3 || ch == 5;
    EXPECT_EQ(view->Scale(ch).Step, temperature ? 5 : before[size_t(ch - 1)].Step) << ch;
  }
  EXPECT_EQ(view->Plot()->YInfo(0).UnitText, "°C");
  EXPECT_DOUBLE_EQ(view->Plot()->YInfo(0).UnitsPerDiv, 5);
  EXPECT_EQ(view->Plot()->DivisionLabel(0, 1), "26 °C") << "the axis counts from the centre, 21 °C";
  view->DoCenterValues();
  EXPECT_DOUBLE_EQ(view->Scale(5).Center, 22);
  EXPECT_EQ(view->Plot()->DivisionLabel(0, 0), "22 °C");
}

// Scales the user stored stay when the signals arrive after a restart.
TEST_F(GraphicChildSensorTest, StoredScalesStayWhenTheSignalsArrive) {
  TAppSettings settings;
  {
    auto view = MakeView();
    sensor.Add(1);
    view->UpdateDisplay();
    TChannelScale scale = view->Scale(3);
    scale.Center = 25;
    scale.Step = 1;
    view->SetScale(3, scale);
    view->SaveSettings(settings, "View_1_");
  }
  sensor.Store().Reset();
  auto view = MakeView();
  view->ReadSettings(settings, "View_1_");
  sensor.Add(1);
  view->UpdateDisplay();
  EXPECT_DOUBLE_EQ(view->Scale(3).Center, 25);
  EXPECT_EQ(view->Scale(3).Step, 1);
  EXPECT_EQ(view->Scale(3).Unit, "°C");
}

// "Set center value": one centre per signal, which every channel of that signal takes; an empty
// entry leaves its signal's channels as they are.
TEST_F(GraphicChildSensorTest, SignalCentresApplyToEveryChannelOfTheSignal) {
  auto view = MakeView();
  sensor.Add(1);
  view->UpdateDisplay();
  const TVTA_SensorDM& store = sensor.Store();
  const auto before = view->SignalCenters();
  ASSERT_EQ(before.size(), size_t(store.SignalTypeCount()));
  ASSERT_GE(before.size(), 2u);
  for (size_t i = 0; i < before.size(); ++i) {
    EXPECT_EQ(before[i].first, store.SignalInfo(int32_t(i + 1)).SignalName);
    EXPECT_DOUBLE_EQ(before[i].second, store.SignalInfo(int32_t(i + 1)).NullValue);
  }
  std::vector<double> wanted(before.size(), std::nan(""));
  wanted[0] = 1.5;
  wanted[1] = -30;
  std::vector<double> old;
  for (int ch = 1; ch <= TGraphicChild::kChannels; ++ch) old.push_back(view->Scale(ch).Center);
  view->SetSignalCenterValues(wanted);
  for (int ch = 1; ch <= TGraphicChild::kChannels; ++ch) {
    const int32_t signal = store.ChannelToSignal(ch);
    const double expected = signal == 1 ? 1.5 : signal == 2 ? -30 : old[size_t(ch - 1)];
    EXPECT_DOUBLE_EQ(view->Scale(ch).Center, expected) << "channel " << ch << " signal " << signal;
  }
  EXPECT_DOUBLE_EQ(view->SignalCenters()[0].second, 1.5);
  EXPECT_DOUBLE_EQ(view->SignalCenters()[1].second, -30);
}

// A picture of the demo sensor's graph; written only when VTA_SCREENSHOT_DIR names a folder.
TEST_F(GraphicChildSensorTest, Screenshot) {
  const QString folder = qEnvironmentVariable("VTA_SCREENSHOT_DIR");
  if (folder.isEmpty()) GTEST_SKIP() << "VTA_SCREENSHOT_DIR not set";
  auto view = MakeView();
  view->resize(900, 500);
  QCoreApplication::processEvents();
  double phase = 0;
  sensor.Random = [&phase] { return 0.5 + 0.45 * std::sin(phase += 0.07); };
  view->LeftChannels()->SetSelectedChannel(3);
  sensor.Add(300);
  view->UpdateDisplay();
  QCoreApplication::processEvents();
  QDir().mkpath(folder);
  EXPECT_TRUE(view->grab().save(folder + "/sensor_graphic_view.png"));
}

}  // namespace

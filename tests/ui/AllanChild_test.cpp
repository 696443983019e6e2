#include "ui/AllanChild.h"

#include <QCoreApplication>
#include <QDir>
#include <QTest>
#include <fstream>
#include <gtest/gtest.h>

#include "UiTestSessions.h"
#include "core/Clock.h"
#include "support/TempDir.h"
#include "ui/QV_Channels.h"
#include "ui/TextAllanChild.h"
#include "ui/TextGrid.h"
#include "ui/UiColors.h"

using namespace zcttest;

namespace {

constexpr int64_t kNominal = 10'000;

// A counter session fed with alternating frequency offsets: channel k swings by ±amplitude[k - 1]
// Hz around the nominal frequency, so its σ(1 sample) is about amplitude × √2 / nominal.
class AllanViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int ch = 1; ch <= 3; ++ch) session->Store().SetNomFreq(ch, double(kNominal));
  }
  void Samples(int n, const std::vector<double>& amplitude) {
    for (int i = 0; i < n; ++i, ++fCount) {
      std::vector<Phase> phases;
      for (size_t k = 0; k < amplitude.size(); ++k) {
        phases.push_back(fPhase[k]);
        fPhase[k] = fPhase[k] + Phase{kNominal, fCount % 2 ? -amplitude[k] : amplitude[k]};
      }
      ASSERT_TRUE(session->AddPhases(phases));
    }
  }
  template <class View>
  std::unique_ptr<View> Make(TAllanMode mode = amFreq) {
    TViewEnvironment env = TestEnvironment();
    env.Clock = &fClock;  // stands still: every save falls into the same second
    auto view = std::make_unique<View>(nullptr, 5, session.get(), nullptr, env, mode);
    view->resize(690, 460);
    view->show();
    QCoreApplication::processEvents();
    return view;
  }
  // Whether a pixel of the colour lies within 4 pixels of a point.
  static bool ColourNear(const QImage& image, int x, int y, QRgb colour) {
    for (int dy = -4; dy <= 4; ++dy)
      for (int dx = -4; dx <= 4; ++dx)
        if (image.valid(x + dx, y + dy) && image.pixel(x + dx, y + dy) == colour) return true;
    return false;
  }

  TManualClock fClock;
  std::unique_ptr<TTestCounterSession> session = TTestCounterSession::Make(0);
  std::vector<Phase> fPhase = std::vector<Phase>(3, Phase{1'000'000, 0});
  int fCount = 0;
};

std::string ReadAll(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST_F(AllanViewTest, TextViewShowsTheCalculatorsDeviationsUnderTheirTau) {
  Samples(40, {0.001, 0.002, 0.0});
  auto view = Make<TTextAllanChild>();
  EXPECT_EQ(view->ChildTitle(), "[A] Text: Allan Deviation");
  view->SetColumnEnabled("1110000000000000000");
  view->UpdateDisplay();
  EXPECT_EQ(view->ChildTitle(), "[A] Text: ADEV[Freq]");
  const TTextGrid& grid = *view->Grid();
  ASSERT_EQ(grid.RowCount(), 4);
  ASSERT_EQ(grid.ColumnCount(), 4);
  EXPECT_EQ(grid.Cell(0, 1), "1 s");
  EXPECT_EQ(grid.Cell(0, 2), "2 s");
  EXPECT_EQ(grid.Cell(0, 3), "5 s");
  EXPECT_EQ(grid.Cell(1, 1), "1.414E-07");  // ±1 mHz on 10 kHz: √½ × 2e-7
  EXPECT_EQ(grid.Cell(2, 1), "2.828E-07");
  EXPECT_EQ(grid.Cell(3, 1), "0");
  for (int ch = 1; ch <= 3; ++ch) {
    const std::vector<double> sigmas = session->Store().GetAllanTextValues(amFreq, ch);
    for (int t = 0; t < 3; ++t) EXPECT_EQ(grid.Cell(ch, t + 1), AllanValueText(sigmas[size_t(t)])) << ch << "/" << t;
  }
  // A disabled channel loses its row; the window decimal separator follows the options.
  view->ChannelEnable(2, false);
  EXPECT_EQ(grid.RowCount(), 3);
  EXPECT_EQ(grid.Cell(2, 0), "3");
}

TEST_F(AllanViewTest, TextViewBeforeDataAndInOtherModes) {
  auto view = Make<TTextAllanChild>(amPhaseRes);
  view->UpdateDisplay();
  EXPECT_EQ(view->Grid()->Cell(1, 1), TTextAllanChild::kNoData);
  EXPECT_EQ(view->ChildTitle(), "[A] Text: ADEV[PhaseRes]");
  session->SetIntervalMs(100);
  Samples(3, {0.001, 0.0, 0.0});
  view->UpdateDisplay();
  EXPECT_EQ(view->Grid()->Cell(0, 1), "100 ms");  // the session's interval names the columns
  EXPECT_EQ(view->Grid()->Cell(0, 2), "1 s");
}

TEST_F(AllanViewTest, SettingsRoundTrip) {
  TAppSettings settings;
  {
    auto graph = Make<TAllanChild>(amPhaseDiff);
    graph->SetManualRange(-14, -10);
    graph->SetScaleType(stManual);
    graph->Channels()->SetPersistEnabled(2, true);
    graph->SaveSettings(settings, "View_1_");
    auto text = Make<TTextAllanChild>(amPhaseRes);
    text->SetColumnEnabled("0101000000000000001");
    text->SaveSettings(settings, "View_2_");
  }
  EXPECT_EQ(settings.GetValue("View_1_ScaleMin", 0), -14);
  EXPECT_EQ(settings.GetValue("View_1_ScaleMax", 0), -10);
  EXPECT_EQ(settings.GetValue("View_1_Scale", 0), 1);
  EXPECT_EQ(settings.GetValue("View_1_AllanMode", 0), 2);
  auto graph = Make<TAllanChild>();
  graph->ReadSettings(settings, "View_1_");
  EXPECT_EQ(graph->AllanMode(), amPhaseDiff);
  EXPECT_EQ(graph->Plot()->ScaleType(), stManual);
  EXPECT_EQ(graph->Plot()->Scale().PowerMin, -14);
  EXPECT_EQ(graph->Plot()->Scale().PowerMax, -10);
  EXPECT_TRUE(graph->PersistOn());
  EXPECT_EQ(graph->ChildTitle(), "[A] ADEV[PhaseDiff]");
  auto text = Make<TTextAllanChild>();
  text->ReadSettings(settings, "View_2_");
  EXPECT_EQ(text->AllanMode(), amPhaseRes);
  EXPECT_EQ(text->GetColumnEnabled(), "0101000000000000001");
  EXPECT_EQ(Make<TTextAllanChild>()->GetColumnEnabled(), TTextAllanChild::kDefaultColumns);
}

TEST_F(AllanViewTest, GraphDrawsEachChannelInItsColourOnTheAutomaticScale) {
  Samples(40, {0.001, 0.01, 0.0});
  auto view = Make<TAllanChild>();
  view->UpdateDisplay();
  TQV_AllanPlot& plot = *view->Plot();
  ASSERT_GE(plot.LastTau(), 2);
  EXPECT_FALSE(plot.Scale().Empty());
  EXPECT_LE(plot.Scale().PowerMin, -8);
  const QImage& image = plot.Picture();
  for (int ch = 1; ch <= 2; ++ch) {
    const std::vector<double> sigmas = session->Store().GetAllanTextValues(amFreq, ch);
    const QRgb colour = ToQColor(view->ChannelData().ChannelColor(ch)).rgb();
    int points = 0;
    for (int t = 0; t <= plot.LastTau(); ++t) {
      if (sigmas[size_t(t)] == 0) continue;  // τ = 2 averages the swing away: no point
      ++points;
      const auto y = AllanLogToY(std::log10(sigmas[size_t(t)]), plot.Scale(), plot.Geometry());
      ASSERT_TRUE(y.has_value());
      EXPECT_TRUE(ColourNear(image, plot.XPixels()[size_t(t)], *y, colour)) << ch << "/" << t;
    }
    EXPECT_GE(points, 2) << ch;
  }
  // Channel 3 has σ = 0 everywhere: no point of its colour anywhere in the plot area.
  const QRgb colour3 = ToQColor(view->ChannelData().ChannelColor(3)).rgb();
  const TAllanGeometry& g = plot.Geometry();
  int found = 0;
  for (int y = g.Oben; y <= g.Unten; ++y)
    for (int x = g.Links; x <= g.Rechts; ++x) found += image.pixel(x, y) == colour3;
  EXPECT_EQ(found, 0);
}

TEST_F(AllanViewTest, ManualRangeRefusesAnEmptyRangeAndCaptionShowsTheModeError) {
  auto view = Make<TAllanChild>(amPhaseRes);
  EXPECT_FALSE(view->SetManualRange(-9, -9));
  EXPECT_TRUE(view->SetManualRange(-12, -9));
  view->SetScaleType(stManual);
  EXPECT_EQ(view->Plot()->Scale().AnzDekaden, 3);
  ASSERT_TRUE(session->AddPhases({{1'000'000, 0}}, kFreq1s));  // a frequency report mode
  view->UpdateCaption();
  EXPECT_EQ(view->Plot()->ErrorText(), "Phase residual values only for report modes Phase");
}

TEST_F(AllanViewTest, SaveWritesPictureAndTable) {
#if defined(__SANITIZE_ADDRESS__)
  // gcc 12's LeakSanitizer crashes at process exit on a bogus dynamic-TLS entry after this save
  // (no leak report, a crash of the checker itself); the dev build runs this test.
  GTEST_SKIP() << "LeakSanitizer crashes at exit after this save";
#endif
  Samples(12, {0.001, 0.002, 0.0});
  auto view = Make<TAllanChild>();
  view->UpdateDisplay();
  TTempDir dir;
  const std::string picture = view->Save(dir.Path());
  ASSERT_FALSE(picture.empty());
  EXPECT_TRUE(QFile::exists(QString::fromStdString(picture)));
  std::string table = picture.substr(0, picture.size() - 4) + ".txt";
  EXPECT_NE(picture.find("ADEV_A_"), std::string::npos);
  std::ifstream in(table);
  std::string header, first;
  std::getline(in, header);
  std::getline(in, first);
  EXPECT_EQ(header.rfind("Channel/Tau        1 s        2 s", 0), 0u) << header;
  EXPECT_EQ(first.rfind("Channel  1:  1.414E-07", 0), 0u) << first;
}

// Two saves within one second keep both pictures and both tables; each table stays with its
// picture under one name.
TEST_F(AllanViewTest, SavesWithinOneSecondKeepEveryFile) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "LeakSanitizer crashes at exit after this save";
#endif
  Samples(12, {0.001, 0.002, 0.0});
  auto view = Make<TAllanChild>();
  view->UpdateDisplay();
  TTempDir dir;
  const std::string first = view->Save(dir.Path());
  const std::string firstTable = first.substr(0, first.size() - 4) + ".txt";
  const std::string firstText = ReadAll(firstTable);
  Samples(12, {0.004, 0.002, 0.0});
  view->UpdateDisplay();
  const std::string second = view->Save(dir.Path());
  ASSERT_FALSE(first.empty());
  ASSERT_FALSE(second.empty());
  EXPECT_EQ(second, first.substr(0, first.size() - 4) + "_1.jpg");
  const std::string secondTable = second.substr(0, second.size() - 4) + ".txt";
  EXPECT_EQ(ReadAll(firstTable), firstText);  // the first table is untouched
  EXPECT_NE(ReadAll(secondTable), firstText);
  EXPECT_TRUE(QFile::exists(QString::fromStdString(first)));
  EXPECT_TRUE(QFile::exists(QString::fromStdString(second)));
  EXPECT_EQ(QDir(QString::fromStdString(dir.Path())).entryList(QDir::Files).size(), 4);
}

// A young run: the τ axis spans the decades that hold data plus one, not six.
TEST_F(AllanViewTest, AYoungRunFillsThePlotAndTheSpanGrows) {
  auto view = Make<TAllanChild>();
  Samples(30, {0.001, 0.002, 0.004});
  view->UpdateDisplay();
  const int32_t young = view->Plot()->TauDecades();
  EXPECT_LE(young, 3);
  Samples(600, {0.001, 0.002, 0.004});
  view->UpdateDisplay();
  EXPECT_GT(view->Plot()->TauDecades(), young);
  EXPECT_LT(view->Plot()->TauDecades(), 6);
  const QString folder = qEnvironmentVariable("VTA_SCREENSHOT_DIR");
  if (folder.isEmpty()) return;
  QDir().mkpath(folder);
  EXPECT_TRUE(view->grab().save(folder + "/allan_graph_young.png"));
}

// The legend above the plot area names the enabled channels in their colours and follows the
// channel strip.
TEST_F(AllanViewTest, TheLegendNamesTheEnabledChannelsInTheirColoursAboveThePlotArea) {
  Samples(12, {0.001, 0.002, 0.004});
  session->Channels().SetChannelName(2, "Maser");
  auto view = Make<TAllanChild>();
  view->UpdateSession(1);
  view->UpdateDisplay();
  TQV_AllanPlot& plot = *view->Plot();
  const auto texts = [&] {
    std::vector<std::string> shown;
    for (const TAllanLegendEntry& e : plot.Legend()) shown.push_back(e.Text);
    return shown;
  };
  ASSERT_EQ(texts(), (std::vector<std::string>{"1 Channel_A1", "2 Maser", "3 Channel_A3"}));
  const QImage& image = plot.Picture();
  for (size_t i = 0; i < 3; ++i) {
    const QRect r = plot.LegendRect(i);
    EXPECT_LT(r.bottom(), plot.Geometry().Oben - 4) << "above the grid lines of the plot area";
    const QRgb colour = ToQColor(view->ChannelData().ChannelColor(int(i) + 1)).rgb();
    EXPECT_TRUE(ColourNear(image, r.left() + 6, r.center().y(), colour)) << i;
  }
  // The strip cycles enabled -> with min/max -> disabled -> enabled.
  const auto click = [&](int ch) { QTest::mouseClick(view->Channels(), Qt::LeftButton, {}, view->Channels()->CellRect(ch).center()); };
  click(2);
  click(2);
  view->UpdateDisplay();
  EXPECT_EQ(texts(), (std::vector<std::string>{"1 Channel_A1", "3 Channel_A3"}));
  click(2);
  view->UpdateDisplay();
  EXPECT_EQ(texts().size(), 3u);
  if (const QString folder = qEnvironmentVariable("VTA_SCREENSHOT_DIR"); !folder.isEmpty()) {
    QDir().mkpath(folder);
    EXPECT_TRUE(view->grab().save(folder + "/allan_graph_legend.png"));
  }
}

// Many channels: the legend takes more rows and the plot area moves down instead of being covered.
TEST_F(AllanViewTest, ALongLegendMovesThePlotAreaDown) {
  for (int ch = 1; ch <= 3; ++ch) session->Channels().SetChannelName(ch, "Hydrogen maser of the second laboratory " + std::to_string(ch));
  Samples(12, {0.001, 0.002, 0.004});
  auto view = Make<TAllanChild>();
  view->UpdateSession(1);
  view->UpdateDisplay();
  const TQV_AllanPlot& plot = *view->Plot();
  ASSERT_EQ(plot.Legend().size(), 3u);
  const QRect last = plot.LegendRect(2);
  EXPECT_GT(last.top(), plot.LegendRect(0).top());
  EXPECT_LT(last.bottom(), plot.Geometry().Oben - 4);
  EXPECT_LE(plot.LegendRect(0).right(), plot.Geometry().Rechts);
}

// The saved picture tells what it shows: title with the source, the date, and the plot with its
// legend of the shown channels in their colours.
TEST_F(AllanViewTest, TheSavedPictureCarriesTitleSourceDateAndLegend) {
  Samples(12, {0.001, 0.002, 0.0});
  auto view = Make<TAllanChild>();
  view->UpdateDisplay();
  const QImage picture = view->SavedPicture();
  const QImage& plot = view->Plot()->Picture();
  ASSERT_GT(picture.height(), plot.height());
  EXPECT_EQ(picture.width(), plot.width());
  const int top = picture.height() - plot.height();  // title and date lines above
  EXPECT_EQ(picture.copy(0, top, plot.width(), plot.height()), plot);
  const auto hasColour = [&](QRgb colour, int y0, int y1) {
    for (int y = y0; y < y1; ++y)
      for (int x = 0; x < picture.width(); ++x)
        if (picture.pixel(x, y) == colour) return true;
    return false;
  };
  const int legendBottom = top + view->Plot()->Geometry().Oben;
  for (int ch : {1, 2}) EXPECT_TRUE(hasColour(ToQColor(view->ChannelData().ChannelColor(ch)).rgb(), top, legendBottom)) << ch;
  EXPECT_TRUE(hasColour(QColor(Qt::black).rgb(), 0, top / 2));  // the title
  if (const QString folder = qEnvironmentVariable("VTA_SCREENSHOT_DIR"); !folder.isEmpty()) {
    QDir().mkpath(folder);
    EXPECT_TRUE(picture.save(folder + "/allan_saved_picture.png"));
  }
}

}  // namespace

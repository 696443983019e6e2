#include "ui/QV_Plot.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// The picture as drawn pixel by pixel with QImage::setPixel: each column holds the vertical run
// from the channel's previous row to its own (no run across the wrap, -1 breaks the trace), and
// a persistence buffer paints every pixel it marks.
class PixelReference {
 public:
  explicit PixelReference(QImage background) : FImage(std::move(background)) {}

  void Measurement(const std::vector<int32_t>& rows, int startX, QColor color, int32_t& yOld) {
    const int w = FImage.width();
    int x = startX % w;
    for (const int32_t y : rows) {
      if (x == 0) yOld = -1;
      if (y >= 0) Run(x, yOld >= 0 ? yOld : y, y, color.rgb());
      yOld = y;
      x = (x + 1) % w;
    }
  }
  void Persist(const TPersistBuffer& persist, int startX, int count, QColor color) {
    const int w = FImage.width();
    for (int i = 0; i < count; ++i) {
      const int x = (startX + i) % w;
      for (int y = 0; y < FImage.height(); ++y)
        if (persist.Test(x, y)) FImage.setPixel(x, y, color.rgb());
    }
  }
  const QImage& Image() const { return FImage; }

 private:
  void Run(int x, int y0, int y1, QRgb color) {
    for (int y = std::min(y0, y1); y <= std::max(y0, y1); ++y)
      if (y >= 0 && y < FImage.height()) FImage.setPixel(x, y, color);
  }
  QImage FImage;
};

class PlotDrawingTest : public ::testing::Test {
 protected:
  PlotDrawingTest() { plot.resize(437, 251); }  // neither width nor height a multiple of 64
  TQV_Plot plot;
};

TEST_F(PlotDrawingTest, BackgroundHasTheDottedGridAndCentreLine) {
  const QImage& graph = plot.Graph();
  QImage reference(graph.size(), QImage::Format_RGB32);
  reference.fill(qRgb(255, 255, 255));
  for (int y = plot.Mitte() % 100; y < reference.height(); y += 100)
    for (int x = 0; x < reference.width(); x += 2)
      reference.setPixel(x, y, y == plot.Mitte() ? qRgb(160, 160, 160) : qRgb(215, 215, 215));
  for (int x = 100; x < reference.width(); x += 100)
    for (int y = 0; y < reference.height(); y += 2) reference.setPixel(x, y, qRgb(215, 215, 215));
  EXPECT_EQ(graph, reference);
}

TEST_F(PlotDrawingTest, TracesAndPersistenceGiveThePixelByPixelPicture) {
  const int w = plot.GraphWidth();
  const int h = plot.GraphHeight();
  struct Case {
    const char* name;
    int startX;
    std::vector<int32_t> rows;
  };
  std::vector<int32_t> sweep;
  for (int x = 0; x < w + 40; ++x) sweep.push_back((x * 37) % (h + 30) - 10);  // steep, beyond both edges
  const Case cases[] = {
      {"flat", 5, {100, 100, 100, 101}},
      {"steps both ways", 20, {10, 200, 3, h - 1, 0, 64, 63, 127, 128}},
      {"breaks", 60, {50, -1, 70, 80, -1, -1, 90}},
      {"clipped below", 90, {h + 5, h + 50, h - 2}},
      {"wraps at the right edge", w - 3, {30, 40, 50, 60, 70, 80}},
      {"longer than the width", 7, sweep},
  };
  for (const Case& c : cases) {
    plot.ClearBitmaps();
    PixelReference reference(plot.Graph().copy());
    int32_t yOld = -1;
    plot.DrawMeasurement(0, c.rows, c.startX, 3, QColor(10, 120, 230));
    reference.Measurement(c.rows, c.startX, QColor(10, 120, 230), yOld);
    EXPECT_EQ(plot.YOld(0, 3), yOld) << c.name;

    TPersistBuffer persist;
    persist.Resize(w, h);
    for (size_t i = 1; i < c.rows.size(); ++i)
      persist.MarkColumn(int((c.startX + i) % size_t(w)), c.rows[i - 1] + 7, c.rows[i] + 7);
    plot.DrawPersist(0, persist, c.startX, int(c.rows.size()), QColor(200, 200, 40));
    reference.Persist(persist, c.startX, std::min(int(c.rows.size()), w), QColor(200, 200, 40));
    EXPECT_EQ(plot.Graph(), reference.Image()) << c.name;
  }
}

// The picture copies only the columns drawn since the last composition; whatever the sequence of
// draws, clears, edge marks and cursor moves, its graph area must equal the graph but for the cursor.
TEST_F(PlotDrawingTest, ThePictureFollowsTheGraphThroughPartialCompositions) {
  const int w = plot.GraphWidth();
  const int h = plot.GraphHeight();
  const auto expectPictureShowsGraph = [&](const char* step) {
    const int cursor = plot.CursorX() % w;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if (x != cursor && plot.Picture().pixel(x, y) != plot.Graph().pixel(x, y)) {
          ADD_FAILURE() << step << ": pixel " << x << "," << y << " differs";
          return;
        }
  };
  int startX = 0;
  for (int round = 0; round < 12; ++round) {
    std::vector<int32_t> rows;
    for (int i = 0; i < 45; ++i) rows.push_back((round * 31 + i * 7) % h);
    rows.front() = -1;  // a break: the column the cursor leaves gets no trace
    plot.DrawMeasurement(0, rows, startX, 2, QColor(200, 0, 0));
    std::vector<int8_t> edges(rows.size(), round % 2 ? 1 : -1);
    edges.front() = edges[1] = edges[2] = 0;  // nor a mark near it
    plot.DrawEdgeMarks(edges, startX, 2, QColor(0, 0, 200));
    startX = (startX + int(rows.size())) % w;
    plot.DrawCursor(startX);
    plot.DrawBitmaps();
    expectPictureShowsGraph("after a sweep step");
    if (round == 4) plot.ClearRange(startX, 60);
    if (round == 7) {
      plot.DrawErrorText(0, "no data");
      plot.DrawBitmaps();
      plot.DrawErrorText(0, "");
    }
    if (round == 9) plot.ClearBitmaps();
  }
  plot.DrawBitmaps();
  expectPictureShowsGraph("at the end");
}

}  // namespace

namespace {

TEST(QV_Plot, TheTimeAxisLabelsEachDivisionWithItsClockTime) {
  const QDateTime cursor(QDate(2026, 12, 10), QTime(14, 30, 0));
  // 1 s per value, 100 s per division, cursor at column 250 of 500.
  const auto ticks = TQV_Plot::TimeTicks(500, 250, cursor, 1000);
  ASSERT_EQ(ticks.size(), 4u);
  const std::pair<int, const char*> expected[] = {
      {100, "14:27:30"},  // 150 columns before the cursor
      {200, "14:29:10"},
      {300, "14:22:30"},  // right of the cursor: the sweep before, 450 columns back
      {400, "14:24:10"},
  };
  for (size_t i = 0; i < ticks.size(); ++i) {
    EXPECT_EQ(ticks[i].X, expected[i].first);
    EXPECT_EQ(ticks[i].Text.toStdString(), expected[i].second) << i;
  }
  // Divisions shorter than a second show milliseconds.
  EXPECT_EQ(TQV_Plot::TimeTicks(300, 200, cursor, 1)[0].Text.toStdString(), "14:29:59.900");
  EXPECT_TRUE(TQV_Plot::TimeTicks(500, 250, QDateTime(), 1000).empty());
  EXPECT_TRUE(TQV_Plot::TimeTicks(500, 250, cursor, 0).empty());
}

// Offsets from the centre line by default; an origin makes the labels absolute values.
TEST(QV_Plot, DivisionLabelsCountFromTheOrigin) {
  TQV_Plot plot;
  plot.SetUnitsPerDiv(0, 0.5);
  plot.SetUnitText(0, "°C");
  EXPECT_EQ(plot.DivisionLabel(0, 2), "1 °C");
  EXPECT_EQ(plot.DivisionLabel(0, 0), "0 °C");
  plot.SetOrigin(0, 21);
  EXPECT_EQ(plot.DivisionLabel(0, 2), "22 °C");
  EXPECT_EQ(plot.DivisionLabel(0, -3), "19.5 °C");
  plot.SetOrigin(0, 0.5);
  EXPECT_EQ(plot.DivisionLabel(0, -1), "0 °C");
}

}  // namespace

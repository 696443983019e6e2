#include "ui/StabilityWindow.h"

#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QTableWidget>
#include <gtest/gtest.h>

#include <random>

#include "DialogTestSupport.h"
#include "support/TempDir.h"
#include "ui/StabilityPlot.h"

// The window on a white-FM frequency file: table, plot with error bars, exports and errors.
namespace {

class StabilityWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    std::mt19937_64 random(7);
    std::normal_distribution<double> normal(0, 1e-11);
    std::string text = "# fractional frequency\n";
    for (int i = 0; i < 4000; ++i) text += QString::number(normal(random), 'e', 9).toStdString() + "\n";
    file = dir.File("y.txt");
    WriteWholeFile(file, text);
    window.FileEdit()->setText(QString::fromStdString(file));
    window.DataBox()->setCurrentIndex(1);  // fractional frequency
  }
  // Pixels in the blue of the points and error bars (antialiased, so blue-dominated).
  static int BluePixels(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) {
        const QColor c = image.pixelColor(x, y);
        count += c.blue() > c.red() + 40 && c.blue() > c.green() + 40;
      }
    return count;
  }
  TTempDir dir;
  std::string file;
  TStabilityWindow window;
};

TEST_F(StabilityWindow, AnalysesIntoTableAndPlot) {
  ASSERT_TRUE(window.Analyse()) << window.ErrorText().toStdString();
  EXPECT_EQ(window.windowTitle(), "Stability Analysis");
  const auto& points = window.Points();
  ASSERT_FALSE(points.empty());
  ASSERT_EQ(window.Table()->rowCount(), static_cast<int>(points.size()));
  EXPECT_EQ(window.Table()->item(0, 0)->text(), "1");
  EXPECT_EQ(window.Table()->item(0, 2)->text(), "3999");  // OADEV terms at 1: N - 2 phase points
  EXPECT_EQ(window.Table()->item(0, 3)->text(), "0 W FM");
  ASSERT_TRUE(points[0].MinSigma && points[0].MaxSigma);
  EXPECT_LT(*points[0].MinSigma, points[0].Sigma);
  // Error bars and markers make a blue picture; an empty plot has none.
  const int withPoints = BluePixels(window.Plot()->Picture(QSize(500, 350)));
  TStabilityPlot empty;
  EXPECT_EQ(BluePixels(empty.Picture(QSize(500, 350))), 0);
  EXPECT_GT(withPoints, 20 * static_cast<int>(points.size()));
}

TEST_F(StabilityWindow, ExportsTableAndPlot) {
  window.StatisticBox()->setCurrentIndex(2);  // modified Allan
  ASSERT_TRUE(window.Analyse());
  const QString table = QString::fromStdString(dir.File("table.txt"));
  ASSERT_TRUE(window.ExportTable(table));
  QFile written(table);
  ASSERT_TRUE(written.open(QIODevice::ReadOnly));
  const QString text = written.readAll();
  EXPECT_TRUE(text.contains("# Sigma Type: Modified Allan\n"));
  EXPECT_TRUE(text.contains("#  AF        Tau         #    Alpha  Min Sigma     Mod Sigma      Max Sigma\n"));
  EXPECT_EQ(text.count('\n'), 6 + static_cast<int>(window.Points().size()));
  const QString png = QString::fromStdString(dir.File("plot.png"));
  ASSERT_TRUE(window.SavePlot(png));
  QImage image;
  ASSERT_TRUE(image.load(png, "PNG"));
  EXPECT_EQ(image.size(), QSize(1000, 700));
  EXPECT_FALSE(window.ExportTable(QString::fromStdString(dir.File("missing/table.txt"))));
  EXPECT_TRUE(window.ErrorText().startsWith("Cannot write "));
}

TEST_F(StabilityWindow, RefusesUnusableInput) {
  const struct {
    QLineEdit* Edit;
    const char* Text;
    const char* Error;
  } cases[] = {
      {window.ConfidenceEdit(), "1", "The confidence must lie between 0 and 1"},
      {window.Tau0Edit(), "-1", "Tau0 must be a positive number of seconds"},
      {window.ColumnEdit(), "Frequency [Hz] 1:1", "no column line"},
      {window.FileEdit(), "/nonexistent/y.txt", "cannot open /nonexistent/y.txt"},
  };
  for (const auto& c : cases) {
    const QString kept = c.Edit->text();
    c.Edit->setText(c.Text);
    EXPECT_FALSE(window.Analyse());
    EXPECT_TRUE(window.ErrorText().contains(c.Error)) << window.ErrorText().toStdString();
    c.Edit->setText(kept);
  }
  EXPECT_TRUE(window.Analyse());
  EXPECT_EQ(window.ErrorText(), "");
}

TEST_F(StabilityWindow, Screenshot) {
  ASSERT_TRUE(window.Analyse()) << window.ErrorText().toStdString();
  window.resize(1000, 560);
  SaveDialogScreenshot(window, "stability_window");
}

}  // namespace

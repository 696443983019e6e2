#pragma once
#include <QImage>
#include <QString>
#include <QWidget>
#include <vector>

#include "data/StabilityAnalysis.h"

class QPainter;

// The sigma-tau plot of a stability analysis: log-log axes in whole decades, one marker per point
// with its confidence bounds as an error bar and its noise type written above it.
class TStabilityPlot : public QWidget {
  Q_OBJECT

 public:
  explicit TStabilityPlot(QWidget* parent = nullptr);

  void SetPoints(const std::vector<TStabilityPoint>& points, TStabilityStatistic statistic);
  // The plot drawn into a picture of the given size, for saving.
  QImage Picture(QSize size) const;

  // "W PM", "F PM", "W FM", "F FM", "RW FM", "FW FM", "RR FM" for alpha 2 .. -4.
  static QString NoiseName(int alpha);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void Render(QPainter& painter, QRect area) const;

  std::vector<TStabilityPoint> FPoints;
  TStabilityStatistic FStatistic = TStabilityStatistic::Oadev;
};

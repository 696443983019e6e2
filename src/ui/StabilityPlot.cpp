#include "ui/StabilityPlot.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace {

// Whole decades around [low, high] (log10 values), at least one decade wide.
std::pair<int, int> Decades(double low, double high) {
  int first = static_cast<int>(std::floor(low)), last = static_cast<int>(std::ceil(high));
  if (last <= first) last = first + 1;
  return {first, last};
}

}  // namespace

TStabilityPlot::TStabilityPlot(QWidget* parent) : QWidget(parent) {
  setMinimumSize(320, 240);
  setAutoFillBackground(true);
}

void TStabilityPlot::SetPoints(const std::vector<TStabilityPoint>& points, TStabilityStatistic statistic) {
  FPoints = points;
  FStatistic = statistic;
  update();
}

QString TStabilityPlot::NoiseName(int alpha) {
  static const char* const kNames[] = {"RR FM", "FW FM", "RW FM", "F FM", "W FM", "F PM", "W PM"};
  return alpha >= -4 && alpha <= 2 ? kNames[alpha + 4] : QString();
}

QImage TStabilityPlot::Picture(QSize size) const {
  QImage image(size, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  Render(painter, image.rect());
  return image;
}

void TStabilityPlot::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  Render(painter, rect());
}

void TStabilityPlot::Render(QPainter& painter, QRect area) const {
  const QRect frame = area.adjusted(70, 26, -20, -45);
  painter.setPen(Qt::black);
  painter.drawRect(frame);
  painter.drawText(QRect(frame.left(), frame.bottom() + 22, frame.width(), 20), Qt::AlignCenter, "Tau [s]");
  painter.drawText(QRect(area.left() + 4, area.top(), 200, 18), Qt::AlignLeft, StabilitySigmaType(FStatistic));
  std::vector<const TStabilityPoint*> shown;
  for (const TStabilityPoint& point : FPoints)
    if (point.Tau > 0 && point.Sigma > 0 && std::isfinite(point.Sigma)) shown.push_back(&point);
  if (shown.empty()) return;
  double tauLow = INFINITY, tauHigh = -INFINITY, sigmaLow = INFINITY, sigmaHigh = -INFINITY;
  for (const TStabilityPoint* point : shown) {
    tauLow = std::min(tauLow, std::log10(point->Tau));
    tauHigh = std::max(tauHigh, std::log10(point->Tau));
    sigmaLow = std::min(sigmaLow, std::log10(point->MinSigma.value_or(point->Sigma)));
    sigmaHigh = std::max(sigmaHigh, std::log10(point->MaxSigma.value_or(point->Sigma)));
  }
  const auto [tauFirst, tauLast] = Decades(tauLow, tauHigh);
  const auto [sigmaFirst, sigmaLast] = Decades(sigmaLow, sigmaHigh);
  const auto x = [&](double tau) {
    return frame.left() + (std::log10(tau) - tauFirst) / (tauLast - tauFirst) * frame.width();
  };
  const auto y = [&](double sigma) {
    return frame.bottom() - (std::log10(sigma) - sigmaFirst) / (sigmaLast - sigmaFirst) * frame.height();
  };
  // Decade grid with its labels.
  const QPen grid(Qt::lightGray, 0, Qt::DotLine);
  for (int d = tauFirst; d <= tauLast; ++d) {
    const double px = x(std::pow(10.0, d));
    painter.setPen(grid);
    painter.drawLine(QPointF(px, frame.top()), QPointF(px, frame.bottom()));
    painter.setPen(Qt::black);
    painter.drawText(QRectF(px - 30, frame.bottom() + 4, 60, 16), Qt::AlignCenter, QString("1e%1").arg(d));
  }
  for (int d = sigmaFirst; d <= sigmaLast; ++d) {
    const double py = y(std::pow(10.0, d));
    painter.setPen(grid);
    painter.drawLine(QPointF(frame.left(), py), QPointF(frame.right(), py));
    painter.setPen(Qt::black);
    painter.drawText(QRectF(area.left(), py - 8, 64, 16), Qt::AlignRight | Qt::AlignVCenter, QString("1e%1").arg(d));
  }
  // Points, error bars and noise types.
  painter.setRenderHint(QPainter::Antialiasing);
  for (const TStabilityPoint* point : shown) {
    const double px = x(point->Tau), py = y(point->Sigma);
    painter.setPen(QPen(Qt::darkBlue, 1));
    if (point->MinSigma && point->MaxSigma) {
      const double top = y(*point->MaxSigma), bottom = y(*point->MinSigma);
      painter.drawLine(QPointF(px, top), QPointF(px, bottom));
      painter.drawLine(QPointF(px - 4, top), QPointF(px + 4, top));
      painter.drawLine(QPointF(px - 4, bottom), QPointF(px + 4, bottom));
    }
    painter.setBrush(Qt::darkBlue);
    painter.drawEllipse(QPointF(px, py), 3, 3);
    if (point->Alpha) {
      painter.setPen(Qt::darkGray);
      const double top = point->MaxSigma ? y(*point->MaxSigma) : py;
      painter.drawText(QRectF(px - 30, top - 18, 60, 14), Qt::AlignCenter, NoiseName(*point->Alpha));
    }
  }
}

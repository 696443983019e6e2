#include "ui/QV_AllanPlot.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPolygon>
#include <QResizeEvent>

#include <algorithm>
#include <cmath>

namespace {

const QColor kLightGrey(0xC0, 0xC0, 0xC0);
const QColor kDecadeGrey(0x90, 0x90, 0x90);
constexpr int kCircleRadius = 3;

QFont SizedFont(const QFont& base, int points, bool bold = false) {
  QFont font = base;
  font.setPointSize(points);
  font.setBold(bold);
  return font;
}

std::string RangeText(const TScaleInfo& s) { return std::to_string(s.PowerMin) + ".." + std::to_string(s.PowerMax); }

}  // namespace

TQV_AllanPlot::TQV_AllanPlot(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(200, 150);
  SetIntervalMs(1000);
  DoPlotResize();
}

void TQV_AllanPlot::Log(const std::string& text) const {
  if (OnLog) OnLog(text);
}

// ---- Geometry ----

void TQV_AllanPlot::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  DoPlotResize();
  Paint();
}

void TQV_AllanPlot::DoPlotResize() {
  const int w = std::max(width(), 1);
  const int h = std::max(height(), 1);
  Log(".DoPlotResize Bitmap: w=" + std::to_string(w) + ", h=" + std::to_string(h));
  FBitmap = QImage(w, h, QImage::Format_RGB32);
  LayoutGeometry();
}

// The plot area below the legend's rows, and everything placed in it.
void TQV_AllanPlot::LayoutGeometry() {
  const int w = FBitmap.width(), h = FBitmap.height();
  const TAllanGeometry plain = AllanGeometry(w, h);
  FLegendPlaces = AllanLegendLayout(FLegendWidths, plain.Links, plain.Rechts);
  FGeom = AllanGeometry(w, h, AllanLegendRows(FLegendPlaces), LegendRowHeight());
  FxPixel = AllanXPixels(FGeom, FDecades);
  CalculateScalePixels(FyScale, FGeom);
  CalculateScalePixels(FyScaleManual, FGeom);
  CalculateScalePixels(FyScaleAutoUsed, FGeom);
  FyPixel = AllanYPixels(FyScale, FGeom);
  FLimitPoints.clear();
}

void TQV_AllanPlot::UseScale(const TScaleInfo& scale) {
  FyScale = scale;
  CalculateScalePixels(FyScale, FGeom);
  FyPixel = AllanYPixels(FyScale, FGeom);
  FLimitPoints.clear();
}

// ---- Scale ----

void TQV_AllanPlot::BeginMinMax() {
  FyScaleAuto = TScaleInfo{};
  FCollectLastTau = -1;
}

void TQV_AllanPlot::SetMinMax(const TAllanMinMax& minMax) {
  if (FScaleType == stAuto && minMax.yMin > minMax.yMax) ResetDraw();
  FCollectLastTau = std::max(FCollectLastTau, minMax.xLastTau);
  FLastTau = FCollectLastTau;
  if (minMax.yMin <= minMax.yMax) {
    FyScaleAuto.PowerMin = std::min(FyScaleAuto.PowerMin, minMax.yMin);
    FyScaleAuto.PowerMax = std::max(FyScaleAuto.PowerMax, minMax.yMax);
  }
}

void TQV_AllanPlot::EndMinMax() {
  // The τ axis spans the decades that hold data, so that a young run fills the plot.
  if (const int32_t decades = AllanTauDecades(FLastTau); decades != FDecades) {
    FDecades = decades;
    FxPixel = AllanXPixels(FGeom, FDecades);
    CalculateLimits();
  }
  if (FScaleType != stAuto || FyScaleAuto.SameRange(FyScaleAutoUsed)) return;
  if (!AllanScaleChangeIsReal(FyScaleAutoUsed, FyScaleAuto)) {
    Log(".EndMinMax yScale change ignore: alt=" + RangeText(FyScaleAutoUsed) + " neu=" + RangeText(FyScaleAuto));
    return;
  }
  Log(".EndMinMax yScale changed");
  FyScaleAutoUsed = FyScaleAuto;
  CalculateScalePixels(FyScaleAutoUsed, FGeom);
  UseScale(FyScaleAutoUsed);
}

void TQV_AllanPlot::SetManualScale(int32_t minPower, int32_t maxPower) {
  FyScaleManual = MakeScale(minPower, maxPower, FGeom);
  if (FScaleType == stManual) UseScale(FyScaleManual);
}

void TQV_AllanPlot::SetScaleType(TAllanScaleType value) {
  FScaleType = value == stManual ? stManual : stAuto;
  Log(std::string(".SetScale ") + (FScaleType == stAuto ? "auto" : "manual"));
  UseScale(FScaleType == stAuto ? FyScaleAutoUsed : FyScaleManual);
}

// ---- Labels ----

void TQV_AllanPlot::SetIntervalMs(int32_t value) {
  if (value == FIntervalMs) return;
  FIntervalMs = value;
  for (int i = 0; i < kAllanTauCount; ++i) FTimeMilliString[size_t(i)] = AllanTauLabel(FIntervalMs, i, FSeparator);
}

void TQV_AllanPlot::SetDecimalSeparator(char value) {
  if (value == FSeparator) return;
  FSeparator = value;
  for (int i = 0; i < kAllanTauCount; ++i) FTimeMilliString[size_t(i)] = AllanTauLabel(FIntervalMs, i, FSeparator);
}

// ---- Legend ----

namespace {
constexpr int kLegendMark = 14;  // the colour line in front of a channel's text
constexpr int kLegendGap = 12;   // between two entries
}  // namespace

QFont TQV_AllanPlot::LegendFont() const { return SizedFont(font(), 8); }

int TQV_AllanPlot::LegendRowHeight() const { return QFontMetrics(LegendFont()).height() + 2; }

void TQV_AllanPlot::SetLegend(std::vector<TAllanLegendEntry> entries) {
  if (entries == FLegend) return;
  FLegend = std::move(entries);
  const QFontMetrics metrics(LegendFont());
  FLegendWidths.clear();
  for (const TAllanLegendEntry& e : FLegend)
    FLegendWidths.push_back(kLegendMark + 4 + metrics.horizontalAdvance(QString::fromStdString(e.Text)) + kLegendGap);
  const int32_t oldTop = FGeom.Oben;
  LayoutGeometry();
  if (FGeom.Oben != oldTop) Log(".SetLegend rows=" + std::to_string(AllanLegendRows(FLegendPlaces)));
}

QRect TQV_AllanPlot::LegendRect(size_t index) const {
  if (index >= FLegendPlaces.size()) return {};
  const TAllanLegendPlace& place = FLegendPlaces[index];
  return {place.X, kAllanLegendTop + place.Row * LegendRowHeight(), FLegendWidths[index] - kLegendGap, LegendRowHeight()};
}

void TQV_AllanPlot::DrawLegend(QPainter& p) {
  p.setFont(LegendFont());
  for (size_t i = 0; i < FLegend.size(); ++i) {
    const QRect r = LegendRect(i);
    const int middle = r.top() + r.height() / 2;
    p.setPen(QPen(FLegend[i].Color, 3));
    p.drawLine(r.left(), middle, r.left() + kLegendMark, middle);
    p.setPen(FLegend[i].Color);
    p.drawText(r.adjusted(kLegendMark + 4, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, QString::fromStdString(FLegend[i].Text));
  }
}

// ---- Limits ----

void TQV_AllanPlot::SetLimits(const std::vector<double>& values, QColor aColPen, QColor aColBrush) {
  FLimitValues.assign(values.begin(), values.begin() + std::min<ptrdiff_t>(ptrdiff_t(values.size()), kAllanTauCount));
  FLimitColPen = aColPen;
  FLimitColBrush = aColBrush;
  FLimitPoints.clear();
}

void TQV_AllanPlot::ClearLimits() {
  FLimitValues.clear();
  FLimitPoints.clear();
}

void TQV_AllanPlot::CalculateLimits() {
  FLimitPoints.clear();
  if (FLimitValues.empty() || FyScale.AnzDekaden <= 0) return;
  const size_t last = std::min(FLimitValues.size(), size_t(AllanVisibleTaus(FDecades))) - 1;
  FLimitPoints.emplace_back(FxPixel[0] + 1, FGeom.Oben);
  for (size_t i = 0; i <= last; ++i) {
    int x = FxPixel[i];
    if (i == 0) x += 1;
    if (i == last) x -= 1;
    FLimitPoints.emplace_back(x, FGeom.Unten - int(std::lround((FLimitValues[i] - FyScale.PowerMin) * FyScale.PixelPerDekade)));
  }
  FLimitPoints.emplace_back(FxPixel[last] - 1, FGeom.Oben);
}

// ---- Drawing ----

void TQV_AllanPlot::Clear() {
  ResetDraw();
  update();
}

void TQV_AllanPlot::ResetDraw() {
  FLastTau = -1;
  DrawAxes(false);
}

void TQV_AllanPlot::BeginDraw(const std::vector<int64_t>& tauCounts) {
  FTauCounts = tauCounts;
  DrawAxes(FDisplayCountLine);
}

void TQV_AllanPlot::DrawAxes(bool countLine) {
  FBitmap.fill(Qt::white);
  QPainter p(&FBitmap);
  if (!FLimitValues.empty()) {
    if (FLimitPoints.empty()) CalculateLimits();
    if (!FLimitPoints.empty()) {
      p.setPen(FLimitColPen);
      p.setBrush(FLimitColBrush);
      p.drawPolygon(QPolygon(QList<QPoint>(FLimitPoints.begin(), FLimitPoints.end())));
      p.setBrush(Qt::NoBrush);
    }
  }
  p.setPen(Qt::black);
  p.setFont(SizedFont(font(), 12, true));
  const int titleHeight = QFontMetrics(p.font()).height();
  p.drawText(QRect(5, 3, 200, titleHeight), Qt::AlignLeft | Qt::AlignTop, QString::fromUtf8("σ (τ)"));
  p.drawText(QRect(5, FGeom.Unten + 11, 200, titleHeight), Qt::AlignLeft | Qt::AlignTop, QString::fromUtf8("τ(s)"));
  if (countLine) p.drawText(QRect(5, FGeom.Unten + 35, 200, titleHeight), Qt::AlignLeft | Qt::AlignTop, "Count");
  p.setFont(SizedFont(font(), 8));
  p.drawText(QRect(15, 13, 50, 20), Qt::AlignLeft | Qt::AlignTop, "y");
  DrawLegend(p);
  DrawXGrid(p);
  DrawYGrid(p);
  if (countLine) DrawCounts(p);
}

int TQV_AllanPlot::TitleRight(const QString& title) const {
  return 5 + QFontMetrics(SizedFont(font(), 12, true)).horizontalAdvance(title) + 4;
}

void TQV_AllanPlot::DrawXGrid(QPainter& p) {
  const QFont small = SizedFont(font(), 8);
  const QFont normal = SizedFont(font(), 9);
  int previousRight = std::numeric_limits<int>::min();
  for (int i = 0; i < AllanVisibleTaus(FDecades); ++i) {
    const int x = FxPixel[size_t(i)];
    const bool decade = i % 3 == 0;
    // Decade lines in a grey that a dark trace (channel 1) stands out against.
    p.setPen(decade ? QPen(kDecadeGrey, 1, Qt::SolidLine) : QPen(kLightGrey, 1, Qt::DotLine));
    p.drawLine(x, FGeom.Unten + 5, x, decade ? FGeom.Oben - 5 : FGeom.Oben);
    const QString label = QString::fromStdString(FTimeMilliString[size_t(i)]);
    p.setPen(Qt::black);
    if (decade) {
      p.setFont(normal);
      const int w = QFontMetrics(normal).horizontalAdvance(label);
      // The first label moves right of the axis title instead of running into it.
      const int left = std::max(x - w / 2, TitleRight(QString::fromUtf8("τ(s)")));
      p.drawText(QRect(left, FGeom.Unten + 15, w + 2, QFontMetrics(normal).height()), Qt::AlignLeft | Qt::AlignTop, label);
    } else {
      p.setFont(small);
      const int w = QFontMetrics(small).horizontalAdvance(label);
      if (x - w / 2 < previousRight + 3) continue;
      p.drawText(QRect(x - w / 2, FGeom.Unten + 2, w + 2, QFontMetrics(small).height()), Qt::AlignLeft | Qt::AlignTop, label);
      previousRight = x - w / 2 + w;
    }
  }
}

void TQV_AllanPlot::DrawYGrid(QPainter& p) {
  if (FyScale.AnzDekaden <= 0) {
    // No scale yet: the bottom, the top and the middle line.
    p.setPen(Qt::black);
    for (const int y : {FGeom.Unten - 5, FGeom.Oben, (FGeom.Oben + FGeom.Unten) / 2}) p.drawLine(FGeom.Links, y, FGeom.Rechts, y);
    return;
  }
  const QFont small = SizedFont(font(), 8);
  const QFont normal = SizedFont(font(), 9);
  const int smallHeight = QFontMetrics(small).height();
  int labelTop = std::numeric_limits<int>::max();  // top of the label below the current line
  for (size_t i = 0; i < FyPixel.size(); ++i) {
    const int y = FyPixel[i];
    const bool decade = i % 3 == 0;
    // Decade lines in a grey that a dark trace (channel 1) stands out against.
    p.setPen(decade ? QPen(kDecadeGrey, 1, Qt::SolidLine) : QPen(kLightGrey, 1, Qt::DotLine));
    p.drawLine(FGeom.Links, y, FGeom.Rechts, y);
    p.setPen(Qt::black);
    if (decade) {
      p.setFont(normal);
      const int h = QFontMetrics(normal).height();
      const double power = std::pow(10.0, FyScale.PowerMin + int(i / 3));
      p.drawText(QRect(5, y - h / 2, FGeom.Links - 8, h), Qt::AlignLeft | Qt::AlignVCenter,
                 QString::fromStdString(AllanExpText(power, 1, 1, FSeparator)));
      labelTop = y - h / 2;
    } else {
      const int top = y - smallHeight / 2;
      if (top + smallHeight > labelTop) continue;  // would overlap the label below
      p.setFont(small);
      p.drawText(QRect(FGeom.Links - 10, top, 10, smallHeight), Qt::AlignLeft | Qt::AlignVCenter, i % 3 == 1 ? "2" : "5");
      labelTop = top;
    }
  }
}

void TQV_AllanPlot::DrawCounts(QPainter& p) {
  const QFont small = SizedFont(font(), 8);
  p.setFont(small);
  p.setPen(Qt::black);
  const QFontMetrics metrics(small);
  // Counts start right of the "Count" title.
  int previousRight = 5 + QFontMetrics(SizedFont(font(), 12, true)).horizontalAdvance("Count");
  for (size_t i = 0; i < FTauCounts.size() && i < size_t(AllanVisibleTaus(FDecades)); ++i) {
    const QString text = QString::number(FTauCounts[i]);
    const int w = metrics.horizontalAdvance(text);
    const int left = FxPixel[i] - w / 2;
    if (left < previousRight + 3) continue;
    p.drawText(QRect(left, FGeom.Unten + 35, w + 2, metrics.height()), Qt::AlignLeft | Qt::AlignTop, text);
    previousRight = left + w;
  }
}

// Points inside the plot area get a circle and are joined; a point outside (or none) breaks the
// curve.
void TQV_AllanPlot::DrawPolyline(const std::vector<double>& values, QColor aColor, Qt::PenStyle style, bool circles) {
  if (FLastTau < 0 || FyScale.AnzDekaden <= 0) return;
  QPainter p(&FBitmap);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(QPen(aColor, 1, style));
  p.setBrush(Qt::NoBrush);
  bool penDown = false;
  QPoint last;
  const int count = std::min({FLastTau + 1, int(values.size()), AllanVisibleTaus(FDecades)});
  for (int i = 0; i < count; ++i) {
    const auto y = AllanLogToY(values[size_t(i)], FyScale, FGeom);
    if (!y || !AllanInsideArea(*y, FGeom)) {
      if (y) Log(".DrawMeasurement value outside, tau=" + std::to_string(i) + ", y=" + std::to_string(*y));
      penDown = false;
      continue;
    }
    const QPoint point(FxPixel[size_t(i)], *y);
    if (penDown) p.drawLine(last, point);
    if (circles) {
      p.setPen(QPen(aColor, 1, Qt::SolidLine));
      p.drawEllipse(point, kCircleRadius, kCircleRadius);
      p.setPen(QPen(aColor, 1, style));
    }
    last = point;
    penDown = true;
  }
}

void TQV_AllanPlot::DrawMeasurement(const std::vector<double>& values, QColor aColor) {
  DrawPolyline(values, aColor, Qt::SolidLine, true);
}

void TQV_AllanPlot::DrawPersist(const std::vector<TAllanPersistEntry>& values, QColor aColor) {
  // The calculators keep log10 σ with 0 for a deviation of 0: that is no point of the curve.
  auto pick = [&](bool minimum) {
    std::vector<double> logs;
    for (const TAllanPersistEntry& e : values) {
      const double v = minimum ? e.Min() : e.Max();
      logs.push_back(e.HasValue() && v != 0 ? v : std::nan(""));
    }
    return logs;
  };
  DrawPolyline(pick(true), aColor, Qt::DashLine, false);
  DrawPolyline(pick(false), aColor, Qt::DashLine, false);
}

void TQV_AllanPlot::EndDraw() {
  DrawErrorTextOnPicture();
  update();
}

void TQV_AllanPlot::DrawErrorText(const std::string& text) {
  if (text == FErrorText) return;
  FErrorText = text;
  Paint();
}

void TQV_AllanPlot::DrawErrorTextOnPicture() {
  if (FErrorText.empty()) return;
  QPainter p(&FBitmap);
  p.setPen(Qt::red);
  p.setFont(SizedFont(font(), 12, true));
  p.drawText(QRect(FGeom.Links, FGeom.Oben, FGeom.Rechts - FGeom.Links, FGeom.Unten - FGeom.Oben),
             Qt::AlignCenter | Qt::TextWordWrap, QString::fromStdString(FErrorText));
}

void TQV_AllanPlot::Paint() {
  DrawAxes(false);
  if (OnDrawMeasurement) OnDrawMeasurement();
  DrawErrorTextOnPicture();
  update();
}

void TQV_AllanPlot::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawImage(0, 0, FBitmap);
}

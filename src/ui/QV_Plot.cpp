#include "ui/QV_Plot.h"

#include <QPainter>
#include <QResizeEvent>

#include <algorithm>
#include <bit>
#include <cmath>

#include "core/QV_NumberText.h"

namespace {

const QRgb kBackground = qRgb(255, 255, 255);
const QRgb kGrid = qRgb(215, 215, 215);
const QRgb kCentreLine = qRgb(160, 160, 160);
constexpr int kTrimBlock = 256;

}  // namespace

// ---------------------------------------------------------------- TPersistBuffer

void TPersistBuffer::Resize(int width, int height) {
  FWidth = std::max(width, 0);
  FHeight = std::max(height, 0);
  FWordsPerColumn = (FHeight + 63) / 64;
  FBits.assign(size_t(FWidth) * size_t(FWordsPerColumn), 0);
  FEmpty = true;
}

void TPersistBuffer::Clear() {
  std::fill(FBits.begin(), FBits.end(), 0);
  FEmpty = true;
}

void TPersistBuffer::MarkColumn(int x, int y0, int y1) {
  if (x < 0 || x >= FWidth) return;
  if (y0 > y1) std::swap(y0, y1);
  y0 = std::max(y0, 0);
  y1 = std::min(y1, FHeight - 1);
  for (int y = y0; y <= y1; ++y) FBits[size_t(x) * size_t(FWordsPerColumn) + size_t(y / 64)] |= uint64_t(1) << (y % 64);
  if (y0 <= y1) FEmpty = false;
}

bool TPersistBuffer::Test(int x, int y) const {
  if (x < 0 || x >= FWidth || y < 0 || y >= FHeight) return false;
  return (FBits[size_t(x) * size_t(FWordsPerColumn) + size_t(y / 64)] >> (y % 64) & 1) != 0;
}

// ---------------------------------------------------------------- TQV_Plot

TQV_Plot::TQV_Plot(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(200, 120);
  for (auto& base : FYOld) base.fill(-1);
  ResizeBitmaps();
}

void TQV_Plot::SetAdjustWidth(bool value) {
  if (value == FAdjustWidth) return;
  FAdjustWidth = value;
  ResizeBitmaps();
  Q_EMIT OnResized();
}

void TQV_Plot::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  ResizeBitmaps();
  Q_EMIT OnResized();
}

void TQV_Plot::ResizeBitmaps() {
  const int total = std::max(width() - FRechts, 16);
  const int graphWidth = FAdjustWidth && total >= kTrimBlock ? total / kTrimBlock * kTrimBlock : total;
  FRechtsGrid = total - graphWidth;
  const int graphHeight = std::max(height() - FUnten, 16);
  FMitte = graphHeight / 2;
  FBitmapBack = QImage(graphWidth, graphHeight, QImage::Format_RGB32);
  DrawBackground();
  FBitmapGraph = FBitmapBack.copy();
  FBitmap = QImage(std::max(width(), 1), std::max(height(), 1), QImage::Format_RGB32);
  FCursorX = 0;
  MarkAllDirty();
  ResetYOld();
  DrawBitmaps();
}

void TQV_Plot::DrawBackground() {
  FBitmapBack.fill(kBackground);
  const int w = FBitmapBack.width();
  const int h = FBitmapBack.height();
  for (int y = FMitte % kPixelsPerDiv; y < h; y += kPixelsPerDiv) {
    QRgb* line = reinterpret_cast<QRgb*>(FBitmapBack.scanLine(y));
    for (int x = 0; x < w; x += 2) line[x] = y == FMitte ? kCentreLine : kGrid;
  }
  for (int y = 0; y < h; y += 2) {
    QRgb* line = reinterpret_cast<QRgb*>(FBitmapBack.scanLine(y));
    for (int x = kPixelsPerDiv; x < w; x += kPixelsPerDiv) line[x] = kGrid;
  }
}

void TQV_Plot::ClearBitmaps() {
  FBitmapGraph = FBitmapBack.copy();
  FCursorX = 0;
  MarkAllDirty();
  ResetYOld();
}

void TQV_Plot::MarkAllDirty() {
  FAllDirty = true;
  FDirtyColumns.assign(size_t(std::max(GraphWidth(), 0)), 0);
}

void TQV_Plot::ClearRange(int startX, int len) {
  const int w = GraphWidth();
  if (w <= 0 || len <= 0) return;
  len = std::min(len, w);
  QPainter p(&FBitmapGraph);
  p.setCompositionMode(QPainter::CompositionMode_Source);
  int x = ((startX % w) + w) % w;
  while (len > 0) {
    const int n = std::min(len, w - x);
    p.drawImage(QPoint(x, 0), FBitmapBack, QRect(x, 0, n, FBitmapBack.height()));
    std::fill_n(FDirtyColumns.begin() + x, n, uint8_t(1));
    len -= n;
    x = 0;
  }
}

void TQV_Plot::SetPixelColumn(int x, int y0, int y1, QRgb color) {
  if (y0 > y1) std::swap(y0, y1);
  y0 = std::max(y0, 0);
  y1 = std::min(y1, GraphHeight() - 1);
  if (y0 > y1) return;
  MarkDirty(x);
  uchar* bits = FBitmapGraph.bits();
  const qsizetype stride = FBitmapGraph.bytesPerLine() / qsizetype(sizeof(QRgb));
  QRgb* pixel = GraphPixel(bits, x, y0);
  for (int y = y0; y <= y1; ++y, pixel += stride) *pixel = color;
}

// Each column gets the vertical run from the previous row to its own, so that steep traces stay
// connected and one column never holds more than one value of a channel.
void TQV_Plot::DrawMeasurement(int index, const std::vector<int32_t>& rows, int startX, int kanal, QColor aColor) {
  std::vector<TColumnSpan> spans(rows.size());
  for (size_t i = 0; i < rows.size(); ++i) spans[i] = {rows[i], rows[i], rows[i]};
  DrawSpans(index, spans, startX, kanal, aColor);
}

void TQV_Plot::DrawSpans(int index, const std::vector<TColumnSpan>& spans, int startX, int kanal, QColor aColor) {
  const int w = GraphWidth();
  if (w <= 0 || kanal < 0 || kanal > kMaxChannels || index < 0 || index >= kBases) return;
  int32_t& yOld = FYOld[size_t(index)][size_t(kanal)];
  const QRgb color = 0xFF000000u | aColor.rgb();  // the graph has no alpha: always opaque
  int x = ((startX % w) + w) % w;
  for (const TColumnSpan& span : spans) {
    if (x == 0) yOld = -1;  // no line across the wrap
    if (span.Low >= 0) {
      // The column's range, joined to the row where the trace left the column before.
      SetPixelColumn(x, yOld >= 0 ? std::min(yOld, span.Low) : span.Low, yOld >= 0 ? std::max(yOld, span.High) : span.High, color);
    }
    yOld = span.Last;
    x = x + 1 == w ? 0 : x + 1;
  }
}

void TQV_Plot::DrawEdgeMarks(const std::vector<int8_t>& edges, int startX, int kanal, QColor aColor) {
  constexpr int kTick = 6, kArrowEvery = 6;
  const int w = GraphWidth(), h = GraphHeight();
  if (w <= 0 || h <= 2 * kTick) return;
  const QRgb color = 0xFF000000u | aColor.rgb();
  uchar* bits = FBitmapGraph.bits();
  // The edge rows of ValueToRow: channel k stops k rows inside, so that channels stay apart.
  const int top = std::clamp(kanal, 0, h - 1), bottom = std::clamp(2 * FMitte - kanal, 0, h - 1);
  int x = ((startX % w) + w) % w;
  int8_t previous = 0;
  for (const int8_t edge : edges) {
    // An arrow where a run beyond the edge starts and every few columns along it.
    if (edge != 0 && (edge != previous || x % kArrowEvery == 0)) {
      const int tip = edge > 0 ? top : bottom, inward = edge > 0 ? 1 : -1;
      SetPixelColumn(x, tip, tip + inward * (kTick - 1), color);
      for (int d = 1; d <= 2; ++d)
        for (const int side : {x - d, x + d})
          if (side >= 0 && side < w) {
            *GraphPixel(bits, side, tip + inward * d) = color;
            MarkDirty(side);
          }
    }
    previous = edge;
    x = x + 1 == w ? 0 : x + 1;
  }
}

void TQV_Plot::DrawPersist(int, const TPersistBuffer& aPersist, int startX, int anz, QColor aColor) {
  const int w = std::min(GraphWidth(), aPersist.Width());
  if (w <= 0 || aPersist.IsEmpty()) return;
  const QRgb color = 0xFF000000u | aColor.rgb();
  const int h = std::min(GraphHeight(), aPersist.Height());
  uchar* bits = FBitmapGraph.bits();
  int x = ((startX % w) + w) % w;
  // Only the set bits of each column are visited, word by word.
  for (int i = 0; i < std::min(anz, w); ++i) {
    const uint64_t* column = aPersist.Column(x);
    MarkDirty(x);
    for (int word = 0; word < aPersist.WordsPerColumn(); ++word) {
      for (uint64_t marks = column[word]; marks != 0; marks &= marks - 1) {
        const int y = word * 64 + std::countr_zero(marks);
        if (y >= h) break;
        *GraphPixel(bits, x, y) = color;
      }
    }
    x = x + 1 == w ? 0 : x + 1;
  }
}

void TQV_Plot::ResetYOld() {
  for (auto& base : FYOld) base.fill(-1);
}

void TQV_Plot::ResetYOld(int index, int kanal) {
  if (index >= 0 && index < kBases && kanal >= 0 && kanal <= kMaxChannels) FYOld[size_t(index)][size_t(kanal)] = -1;
}

void TQV_Plot::DrawErrorText(int, const std::string& aText) { FErrorText = aText; }

void TQV_Plot::DrawCursor(int startX) { DrawColoredCursor(startX, FCursorColor); }

void TQV_Plot::DrawColoredCursor(int startX, QColor aColor) {
  FCursorX = startX;
  FCursorColor = aColor;
}

// ---------------------------------------------------------------- axes

void TQV_Plot::SetUnitsPerDiv(int axis, double value) { FY_Info[size_t(axis)].UnitsPerDiv = value; }
void TQV_Plot::SetUnitText(int axis, const std::string& value) { FY_Info[size_t(axis)].UnitText = value; }
void TQV_Plot::SetUnitColor(int axis, QColor value) { FY_Info[size_t(axis)].UnitColor = value; }
void TQV_Plot::SetAbsNotation(int axis, bool value) { FY_Info[size_t(axis)].AbsNotation = value; }
void TQV_Plot::SetOrigin(int axis, double value) { FY_Info[size_t(axis)].Origin = value; }

std::string TQV_Plot::DivisionLabel(int axis, int divisions) const {
  const TYInfo& info = FY_Info[size_t(axis)];
  return AxisText(info.Origin + divisions * info.UnitsPerDiv, info.UnitText, info.AbsNotation,
                  FormatSettings.DecimalSeparator);
}
// A second axis gets a label column of its own: the graph narrows and starts anew.
void TQV_Plot::SetUseY2(bool value) {
  if (value == FUseY2) return;
  FUseY2 = value;
  FRechts = value ? 2 * kAxisWidth : kAxisWidth;
  ResizeBitmaps();
  Q_EMIT OnResized();
}
void TQV_Plot::SetIntervalMs(int32_t value) { FIntervalMs = value; }

std::string TQV_Plot::AxisText(double value, const std::string& unit, bool absNotation, char separator) {
  if (value == 0 || !std::isfinite(value)) return "0 " + unit;
  const int exponent = int(std::floor(std::log10(std::fabs(value)) + 1e-9));
  if (!absNotation) {
    const double mantissa = value / std::pow(10.0, exponent);
    std::string m = FloatToShortest(std::round(mantissa * 1000) / 1000);
    std::replace(m.begin(), m.end(), '.', separator);
    return m + "E" + std::to_string(exponent) + (unit.empty() ? "" : " " + unit);
  }
  static const char* const kPrefixes[] = {"f", "p", "n", "\xC2\xB5", "m", "", "k", "M", "G"};
  const int group = std::clamp(int(std::floor(exponent / 3.0)), -5, 3);
  double scaled = value / std::pow(10.0, group * 3);
  scaled = std::round(scaled * 1000) / 1000;
  std::string text = FloatToShortest(scaled);
  std::replace(text.begin(), text.end(), '.', separator);
  return text + " " + kPrefixes[group + 5] + unit;
}

// ---------------------------------------------------------------- picture

void TQV_Plot::ComposeGraph(QPainter& p) {
  const int w = GraphWidth();
  const bool error = !FErrorText.empty();
  if (FAllDirty || error || FComposedError || size_t(w) != FDirtyColumns.size()) {
    p.drawImage(0, 0, FBitmapGraph);
    FDirtyColumns.assign(size_t(w), 0);
  } else {
    if (FComposedCursorX >= 0 && w > 0) MarkDirty(FComposedCursorX % w);
    for (int x = 0; x < w;) {
      if (!FDirtyColumns[size_t(x)]) {
        ++x;
        continue;
      }
      int end = x;
      while (end < w && FDirtyColumns[size_t(end)]) FDirtyColumns[size_t(end++)] = 0;
      p.drawImage(QPoint(x, 0), FBitmapGraph, QRect(x, 0, end - x, FBitmapGraph.height()));
      x = end;
    }
  }
  FAllDirty = false;
  FComposedError = error;
  FComposedCursorX = FCursorX;
}

void TQV_Plot::DrawBitmaps() {
  QPainter p(&FBitmap);
  ComposeGraph(p);
  const int w = GraphWidth();
  const int h = GraphHeight();
  // The graph covers the rest: only the margins need the background.
  const QColor window = palette().color(QPalette::Window);
  p.fillRect(w, 0, FBitmap.width() - w, FBitmap.height(), window);
  p.fillRect(0, h, w, FBitmap.height() - h, window);
  if (!FErrorText.empty()) {
    p.setPen(Qt::black);
    p.drawText(QRect(0, 0, w, h), Qt::AlignCenter, QString::fromStdString(FErrorText));
  }
  if (w > 0) {
    // Dashed, so that it is never taken for a trace.
    p.setPen(QPen(FCursorColor, 1, Qt::DashLine));
    p.drawLine(FCursorX % w, 0, FCursorX % w, h - 1);
  }
  // Labels of the division lines: base 1 on the right, base 2 beside it when used.
  QFont font = p.font();
  font.setPointSize(8);
  p.setFont(font);
  const int labelX = w + FRechtsGrid + 3;
  const int axes = FUseY2 ? 2 : 1;
  const int labelWidth = (FRechts - 3) / axes;  // kAxisWidth each
  for (int axis = 0; axis < axes; ++axis) {
    const TYInfo& info = FY_Info[size_t(axis)];
    for (int y = FMitte % kPixelsPerDiv; y < h; y += kPixelsPerDiv) {
      const QString text = QString::fromStdString(DivisionLabel(axis, (FMitte - y) / kPixelsPerDiv));
      DrawLabel(p, QPoint(labelX + axis * labelWidth, y), text, info.UnitColor);
    }
  }
  p.setPen(Qt::black);
  if (FIntervalMs > 0) {
    const QString perDiv = QString::fromStdString(
        AxisText(FIntervalMs * 1e-3 * kPixelsPerDiv, "s", true, FormatSettings.DecimalSeparator) + "/div");
    DrawLabel(p, QPoint(0, h + FUnten / 2), perDiv, Qt::black);
    // Clock times under the division lines, clear of the caption and of each other.
    const QFontMetrics fm = p.fontMetrics();
    int free = fm.horizontalAdvance(perDiv) + 6;
    const std::vector<TTimeTick> ticks = TimeTicks(w, FCursorX, FCursorTime, FIntervalMs);
    // Every clock time has the same format and digits of one width: one measure fits all.
    const int textWidth = ticks.empty() ? 0 : fm.horizontalAdvance(ticks.front().Text);
    const int baseline = h + 2 + (FUnten - 2 + fm.ascent() - fm.descent()) / 2;
    for (const TTimeTick& tick : ticks) {
      const int left = tick.X - textWidth / 2;
      p.drawLine(tick.X, h, tick.X, h + 3);
      if (left < free || left + textWidth > w) continue;
      p.drawText(QPoint(left, baseline), tick.Text);
      free = left + textWidth + 6;
    }
  }
  p.end();
  update();
}

// The axis labels are rendered once and kept: they change only with the scale, and drawing their
// glyphs anew for every view and refresh costs more than the traces. (Clock times change with
// every refresh and are drawn directly.)
void TQV_Plot::DrawLabel(QPainter& p, QPoint anchor, const QString& text, QColor color) {
  const QString key = text + QChar(0) + QString::number(color.rgba(), 16);
  auto it = FLabels.find(key);
  if (it == FLabels.end()) {
    if (FLabels.size() >= kMaxLabels) FLabels.clear();
    const QFontMetrics fm(p.font());
    QImage image(std::max(fm.horizontalAdvance(text), 1), fm.height(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter label(&image);
    label.setFont(p.font());
    label.setPen(color);
    label.drawText(image.rect(), Qt::AlignLeft | Qt::AlignVCenter, text);
    label.end();
    it = FLabels.emplace(key, std::move(image)).first;
  }
  const QImage& image = it->second;
  p.drawImage(anchor.x(), anchor.y() - image.height() / 2, image);
}

std::vector<TQV_Plot::TTimeTick> TQV_Plot::TimeTicks(int width, int cursorX, const QDateTime& cursorTime,
                                                     int32_t intervalMs) {
  std::vector<TTimeTick> ticks;
  if (width <= 0 || intervalMs <= 0 || !cursorTime.isValid()) return ticks;
  const QString format = intervalMs * kPixelsPerDiv < 1000 ? "hh:mm:ss.zzz" : "hh:mm:ss";
  const int cursor = ((cursorX % width) + width) % width;
  for (int x = kPixelsPerDiv; x < width; x += kPixelsPerDiv) {
    const int age = (cursor - x + width) % width;  // columns since that column was drawn
    ticks.push_back({x, cursorTime.addMSecs(-int64_t(age) * intervalMs).toString(format)});
  }
  return ticks;
}

void TQV_Plot::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawImage(0, 0, FBitmap);
}

#include "ui/TextGrid.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>

#include <algorithm>

#include "ui/FontFit.h"
#include "ui/UiColors.h"

namespace {

constexpr int kLine = 1;  // grid line width

QString Q(std::string_view text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

// Rows are 1.6 x the font size high, and never lower than the font's line.
int RowHeightAt(const QFontMetrics& metrics, int pointSize) { return std::max(GridRowHeight(pointSize), metrics.height()); }

}  // namespace

TTextGrid::TTextGrid(QWidget* parent) : QAbstractScrollArea(parent) {
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  FCells.assign(1, std::vector<std::string>(1));
  FRowColors.assign(1, std::nullopt);
  FStats.resize(1);
  FLayouts.resize(1);
}

// ---- Cells ----

void TTextGrid::SetRowCount(int rows) {
  rows = std::max(rows, 1);
  if (rows == RowCount()) return;
  FCells.resize(size_t(rows), std::vector<std::string>(size_t(FColumnCount)));
  FRowColors.resize(size_t(rows));
  FLayoutPending = true;
  UpdateScrollBars();
  viewport()->update();
}

void TTextGrid::SetColumnCount(int columns) {
  columns = std::max(columns, 1);
  if (columns == FColumnCount) return;
  FColumnCount = columns;
  for (auto& row : FCells) row.resize(size_t(columns));
  FStats.resize(size_t(columns));
  FLayouts.resize(size_t(columns));
  FWidths.resize(size_t(columns), 0);
  FLayoutPending = true;
  viewport()->update();
}

bool TTextGrid::SetCell(int row, int col, const std::string& text) {
  if (row < 0 || row >= RowCount() || col < 0 || col >= FColumnCount) return false;
  std::string& cell = FCells[size_t(row)][size_t(col)];
  if (cell == text) return false;
  cell = text;
  if (row == 0) {
    FLayoutPending = true;  // header widths take part in the fitting
  } else if (col == 0) {
    if (TextWidth(FPointSize, text) > FWidths[0]) FLayoutPending = true;
  } else if (FStats[size_t(col)].Take(text, FSeparator) ||
             !FitsDecimalLayout(text, FSeparator, FLayouts[size_t(col)], WidthAt(FPointSize))) {
    FLayoutPending = true;
  }
  UpdateCell(row, col);
  return true;
}

const std::string& TTextGrid::Cell(int row, int col) const {
  static const std::string none;
  if (row < 0 || row >= RowCount() || col < 0 || col >= FColumnCount) return none;
  return FCells[size_t(row)][size_t(col)];
}

void TTextGrid::ClearValues() {
  for (size_t row = 1; row < FCells.size(); ++row)
    for (size_t col = 1; col < FCells[row].size(); ++col) FCells[row][col].clear();
  viewport()->update();
}

void TTextGrid::SetRowColor(int row, uint32_t color) {
  if (row <= 0 || row >= RowCount() || FRowColors[size_t(row)] == color) return;
  FRowColors[size_t(row)] = color;
  viewport()->update();
}

void TTextGrid::ClearRowColor(int row) {
  if (row <= 0 || row >= RowCount() || !FRowColors[size_t(row)]) return;
  FRowColors[size_t(row)].reset();
  viewport()->update();
}

std::optional<uint32_t> TTextGrid::RowColor(int row) const {
  if (row < 0 || row >= RowCount()) return std::nullopt;
  return FRowColors[size_t(row)];
}

void TTextGrid::SetDecimalSeparator(char value) {
  if (value == FSeparator) return;
  FSeparator = value;
  ResetColumnStatistics();
}

void TTextGrid::ResetColumnStatistics() {
  for (auto& stats : FStats) stats.Reset();
  FLayoutPending = true;
}

void TTextGrid::ShowStatusRow(const std::string& text) {
  SetAutoFit(false);
  SetRowCount(2);
  SetColumnCount(std::max(ColumnCount(), 2));
  ClearRowColor(1);
  SetCell(1, 0, "1");
  for (int col = 2; col < ColumnCount(); ++col) SetCell(1, col, "");
  SetCell(1, 1, text);
  FitLayout();
}

void TTextGrid::EndStatusRow() {
  ClearValues();
  ResetColumnStatistics();
  SetAutoFit(true);
}

void TTextGrid::SetAutoFit(bool value) {
  if (value == FAutoFit) return;
  FAutoFit = value;
  FLayoutPending = true;
}

// ---- Measuring ----

const QFontMetrics& TTextGrid::Metrics(int pointSize) const {
  auto found = FMetrics.find(pointSize);
  if (found == FMetrics.end()) {
    QFont f = font();
    f.setPointSize(pointSize);
    found = FMetrics.emplace(pointSize, QFontMetrics(f)).first;
  }
  return found->second;
}

int TTextGrid::TextWidth(int pointSize, std::string_view text) const {
  return Metrics(pointSize).horizontalAdvance(Q(text));
}

TTextWidth TTextGrid::WidthAt(int pointSize) const {
  return [this, pointSize](std::string_view text) { return TextWidth(pointSize, text); };
}

std::vector<std::string> TTextGrid::ColumnTexts(int col) const {
  std::vector<std::string> texts;
  for (size_t row = 1; row < FCells.size(); ++row) texts.push_back(FCells[row][size_t(col)]);
  return texts;
}

// At least the proportion of the font size, and wide enough for the ids the rows show.
int TTextGrid::FirstColumnWidth(int pointSize) const {
  int width = GridFirstColumnWidth(pointSize);
  const int margin = TextWidth(pointSize, "0");
  for (const auto& row : FCells) width = std::max(width, TextWidth(pointSize, row[0]) + margin);
  return width;
}

// The column's reference zeros, but never narrower than its aligned texts need.
int TTextGrid::ValueColumnWidth(int col, int pointSize) const {
  const TDecimalColumn& stats = FStats[size_t(col)];
  const TDecimalLayout layout = LayoutDecimalColumn(stats, ColumnTexts(col), FSeparator, WidthAt(pointSize));
  return std::max(TextWidth(pointSize, stats.ReferenceText()), layout.Width + TextWidth(pointSize, "0"));
}

int TTextGrid::HeaderWidth(int col, int pointSize) const {
  return TextWidth(pointSize, FCells[0][size_t(col)]) + TextWidth(pointSize, "0");
}

int TTextGrid::ContentHeight(int pointSize) const {
  return RowCount() * (RowHeightAt(Metrics(pointSize), pointSize) + kLine) + kLine;
}

// The viewport width at a size: a vertical scroll bar takes its part when the rows do not fit.
int TTextGrid::ViewportWidthAt(int pointSize) const {
  const QSize max = maximumViewportSize();
  if (ContentHeight(pointSize) <= max.height()) return max.width();
  return max.width() - verticalScrollBar()->sizeHint().width();
}

// ---- Layout ----

void TTextGrid::FitLayout() {
  if (FFitting || !FLayoutPending) return;
  FFitting = true;
  const int valueColumns = FColumnCount - 1;
  int size = kDefaultPointSize;
  std::vector<int> widths;
  if (FAutoFit && valueColumns > 0) {
    TFontFitMetrics metrics;
    metrics.ColumnWidth = [this](int col, int s) { return ValueColumnWidth(col + 1, s); };
    metrics.HeaderWidth = [this](int col, int s) { return HeaderWidth(col + 1, s); };
    metrics.AvailableWidth = [this](int s) {
      return ViewportWidthAt(s) - FirstColumnWidth(s) - (FColumnCount + 1) * kLine;
    };
    metrics.ContentHeight = [this](int s) { return ContentHeight(s); };
    metrics.AvailableHeight = maximumViewportSize().height();
    TFontFit fit = FitFont(valueColumns, metrics);
    size = fit.PointSize;
    widths = std::move(fit.ColumnWidths);
  } else {
    for (int col = 1; col < FColumnCount; ++col)
      widths.push_back(FittedColumnWidth(ValueColumnWidth(col, size), HeaderWidth(col, size)));
  }
  ApplyFontSize(size, widths);
  FLayoutPending = false;
  FFitting = false;
}

void TTextGrid::ApplyFontSize(int pointSize, const std::vector<int>& valueWidths) {
  FPointSize = pointSize;
  FRowHeight = RowHeightAt(Metrics(pointSize), pointSize);
  FWidths.assign(size_t(FColumnCount), 0);
  FWidths[0] = FirstColumnWidth(pointSize);
  for (int col = 1; col < FColumnCount; ++col) {
    FWidths[size_t(col)] = valueWidths[size_t(col - 1)];
    FLayouts[size_t(col)] = LayoutDecimalColumn(FStats[size_t(col)], ColumnTexts(col), FSeparator, WidthAt(pointSize));
  }
  UpdateScrollBars();
  viewport()->update();
}

void TTextGrid::UpdateScrollBars() {
  int contentWidth = kLine;
  for (int w : FWidths) contentWidth += w + kLine;
  const int contentHeight = RowCount() * (FRowHeight + kLine) + kLine;
  // A grid that fits the whole area needs no scroll bar; measured against the viewport left by
  // bars shown before, it would keep them (each bar narrowing the other's room).
  const QSize whole = maximumViewportSize();
  const bool fits = contentWidth <= whole.width() && contentHeight <= whole.height();
  horizontalScrollBar()->setRange(0, fits ? 0 : std::max(0, contentWidth - viewport()->width()));
  horizontalScrollBar()->setPageStep(viewport()->width());
  verticalScrollBar()->setRange(0, fits ? 0 : std::max(0, contentHeight - viewport()->height()));
  verticalScrollBar()->setPageStep(viewport()->height());
  verticalScrollBar()->setSingleStep(FRowHeight + kLine);
}

void TTextGrid::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  FLayoutPending = true;
  FitLayout();
  UpdateScrollBars();
}

void TTextGrid::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange) {
    FMetrics.clear();
    FLayoutPending = true;
  }
  QAbstractScrollArea::changeEvent(event);
}

void TTextGrid::scrollContentsBy(int, int) { viewport()->update(); }

// ---- Geometry ----

int TTextGrid::ColumnLeft(int col) const {
  int x = kLine - horizontalScrollBar()->value();
  for (int c = 0; c < col; ++c) x += FWidths[size_t(c)] + kLine;
  return x;
}

// The header row stays at the top; the data rows scroll under it.
int TTextGrid::RowTop(int row) const {
  if (row == 0) return kLine;
  return kLine + row * (FRowHeight + kLine) - verticalScrollBar()->value();
}

QRect TTextGrid::CellRect(int row, int col) const {
  if (row < 0 || row >= RowCount() || col < 0 || col >= FColumnCount) return {};
  return {ColumnLeft(col), RowTop(row), FWidths[size_t(col)], FRowHeight};
}

// Values are right-aligned in their column, half a digit from its right edge.
int TTextGrid::ContentLeft(int col) const {
  const int pad = TextWidth(FPointSize, "0") / 2;
  return ColumnLeft(col) + FWidths[size_t(col)] - pad - FLayouts[size_t(col)].Width;
}

int TTextGrid::SeparatorX(int col) const {
  if (col <= 0 || col >= FColumnCount) return 0;
  return ContentLeft(col) + FLayouts[size_t(col)].SeparatorX;
}

int TTextGrid::TextX(int row, int col) const {
  const std::string& text = Cell(row, col);
  if (row >= 1 && col >= 1) return ContentLeft(col) + DecimalTextX(text, FSeparator, FLayouts[size_t(col)], WidthAt(FPointSize));
  const QRect cell = CellRect(row, col);
  return cell.left() + (cell.width() - TextWidth(FPointSize, text)) / 2;
}

std::pair<int, int> TTextGrid::CellAt(const QPoint& pos) const {
  for (int row = 0; row < RowCount(); ++row)
    for (int col = 0; col < FColumnCount; ++col)
      if (CellRect(row, col).contains(pos)) return {row, col};
  return {-1, -1};
}

void TTextGrid::UpdateCell(int row, int col) { viewport()->update(CellRect(row, col)); }

QString TTextGrid::ToolTipAt(const QPoint& pos) const {
  const auto [row, col] = CellAt(pos);
  if (row < 0) return {};
  const std::string& text = Cell(row, col);
  if (TextWidth(FPointSize, text) <= FWidths[size_t(col)]) return {};
  return QString::fromStdString(text);
}

bool TTextGrid::viewportEvent(QEvent* event) {
  if (event->type() != QEvent::ToolTip) return QAbstractScrollArea::viewportEvent(event);
  auto* help = static_cast<QHelpEvent*>(event);
  const QString text = ToolTipAt(help->pos());
  if (text.isEmpty())
    QToolTip::hideText();
  else
    QToolTip::showText(help->globalPos(), text, viewport());
  return true;
}

// ---- Drawing and clicks ----

void TTextGrid::paintEvent(QPaintEvent* event) {
  QPainter p(viewport());
  QFont f = font();
  f.setPointSize(FPointSize);
  p.setFont(f);
  const QFontMetrics& fm = Metrics(FPointSize);
  const int baseline = (FRowHeight - fm.height()) / 2 + fm.ascent();
  const int pad = fm.horizontalAdvance('0') / 2;

  p.fillRect(viewport()->rect(), palette().base());
  const QRect content(ColumnLeft(0) - kLine, 0, ColumnLeft(FColumnCount) - ColumnLeft(0) + kLine,
                      RowTop(RowCount() - 1) + FRowHeight + kLine);
  p.fillRect(content, palette().mid());

  const QRect header(0, 0, viewport()->width(), RowTop(0) + FRowHeight + kLine);
  for (int row = RowCount() - 1; row >= 0; --row) {
    const QRect rowRect(0, RowTop(row), viewport()->width(), FRowHeight);
    if (!rowRect.intersects(event->rect())) continue;
    const std::optional<uint32_t> color = FRowColors[size_t(row)];
    const QBrush background = row == 0 ? palette().button() : color ? QBrush(ToQColor(*color)) : palette().base();
    const QColor textColor = row == 0 ? palette().buttonText().color() : color ? ContrastQColor(*color) : palette().text().color();
    for (int col = 0; col < FColumnCount; ++col) {
      const QRect cell = CellRect(row, col);
      QRegion clip(cell);
      if (row > 0) clip -= header;
      if (clip.isEmpty()) continue;
      p.setClipRegion(clip);
      p.fillRect(cell, background);
      p.setPen(textColor);
      const std::string& text = FCells[size_t(row)][size_t(col)];
      if (row == 0 && col > 0) {
        const QString full = Q(text);
        const QString shown = fm.horizontalAdvance(full) <= cell.width() ? full : fm.elidedText(full, Qt::ElideRight, cell.width() - 2 * pad);
        p.drawText(cell.left() + (cell.width() - fm.horizontalAdvance(shown)) / 2, cell.top() + baseline, shown);
      } else {
        p.drawText(TextX(row, col), cell.top() + baseline, Q(text));
      }
    }
  }
}

void TTextGrid::mouseReleaseEvent(QMouseEvent* event) {
  const auto [row, col] = CellAt(event->position().toPoint());
  if (row >= 0 && event->button() == Qt::LeftButton) Q_EMIT CellClicked(row, col);
  QAbstractScrollArea::mouseReleaseEvent(event);
}

#pragma once
#include <QAbstractScrollArea>
#include <QFontMetrics>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ui/DecimalAlign.h"

// The grid of the text views: row 0 holds the headers, column 0 the channel ids, the other cells
// the values. Value cells are drawn with their decimal separators on one line per column, rows take
// their channel's colour, and the font grows until the grid fills its width or its height
// (FitLayout). The header row stays in place when the rows scroll.
//
// Cells keep their texts; writing the text a cell already holds changes nothing, so a refresh
// repaints only what changed.
class TTextGrid : public QAbstractScrollArea {
  Q_OBJECT

 public:
  static constexpr int kDefaultPointSize = 10;

  explicit TTextGrid(QWidget* parent = nullptr);

  int RowCount() const { return static_cast<int>(FCells.size()); }
  int ColumnCount() const { return FColumnCount; }
  // Both keep the texts of the cells that remain; new cells are empty.
  void SetRowCount(int rows);
  void SetColumnCount(int columns);
  // Writes a cell; false when it held that text already.
  bool SetCell(int row, int col, const std::string& text);
  const std::string& Cell(int row, int col) const;
  // Empties the value cells (rows and columns from 1 on).
  void ClearValues();
  // The background of a data row (0x00BBGGRR); its text takes the contrasting colour.
  void SetRowColor(int row, uint32_t color);
  void ClearRowColor(int row);
  std::optional<uint32_t> RowColor(int row) const;

  // The separator the value cells are aligned on.
  char DecimalSeparator() const { return FSeparator; }
  void SetDecimalSeparator(char value);
  // Forgets the widest texts seen in the value columns.
  void ResetColumnStatistics();
  const TDecimalColumn& ColumnStatistics(int col) const { return FStats.at(size_t(col)); }

  // With automatic fitting the font follows the grid's size; without, it keeps the default size.
  void SetAutoFit(bool value);
  // Before any data: row "1" with the reason in the first value column, automatic fitting off.
  void ShowStatusRow(const std::string& text);
  // Back from a status row to values: values and column statistics cleared, fitting on again.
  void EndStatusRow();
  // True when a column's widest text grew or the size changed since the last fitting.
  bool LayoutPending() const { return FLayoutPending; }
  // Fits font and column widths to the contents and the width, if anything asks for it.
  void FitLayout();
  int FontPointSize() const { return FPointSize; }
  int ColumnWidth(int col) const { return FWidths.at(size_t(col)); }
  int RowHeight() const { return FRowHeight; }

  // Geometry in viewport coordinates: a cell, the x of a value column's separator line, and the x
  // where a cell's text starts.
  QRect CellRect(int row, int col) const;
  int SeparatorX(int col) const;
  int TextX(int row, int col) const;
  // The cell at a viewport point; (-1, -1) for none.
  std::pair<int, int> CellAt(const QPoint& pos) const;
  // The whole text of a cell that its column cuts (a long header), for its tooltip; else empty.
  QString ToolTipAt(const QPoint& pos) const;

 Q_SIGNALS:
  void CellClicked(int row, int col);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void changeEvent(QEvent* event) override;
  bool viewportEvent(QEvent* event) override;

 private:
  const QFontMetrics& Metrics(int pointSize) const;
  int TextWidth(int pointSize, std::string_view text) const;
  TTextWidth WidthAt(int pointSize) const;
  std::vector<std::string> ColumnTexts(int col) const;
  int FirstColumnWidth(int pointSize) const;
  int ValueColumnWidth(int col, int pointSize) const;
  int HeaderWidth(int col, int pointSize) const;
  int ContentHeight(int pointSize) const;
  int ViewportWidthAt(int pointSize) const;
  void ApplyFontSize(int pointSize, const std::vector<int>& valueWidths);
  void UpdateScrollBars();
  void UpdateCell(int row, int col);
  int ColumnLeft(int col) const;
  int RowTop(int row) const;
  int ContentLeft(int col) const;

  std::vector<std::vector<std::string>> FCells;  // [row][col]
  std::vector<std::optional<uint32_t>> FRowColors;
  int FColumnCount = 1;
  std::vector<TDecimalColumn> FStats;    // per column; column 0 unused
  std::vector<TDecimalLayout> FLayouts;  // per column at the current font
  std::vector<int> FWidths{0};           // per column
  char FSeparator = '.';
  bool FAutoFit = true;
  bool FLayoutPending = true;
  bool FFitting = false;
  int FPointSize = kDefaultPointSize;
  int FRowHeight = 16;
  mutable std::map<int, QFontMetrics> FMetrics;
};

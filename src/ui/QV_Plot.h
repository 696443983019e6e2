#pragma once
#include <QColor>
#include <QDateTime>
#include <QImage>
#include <QWidget>

class QPainter;
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/App_Settings.h"
#include "ui/GraphicScale.h"

// Which pixels a trace has touched: per x position a bit set of the y pixels, one bit per pixel.
class TPersistBuffer {
 public:
  void Resize(int width, int height);
  void Clear();
  bool IsEmpty() const { return FEmpty; }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  // Marks the pixels of column x from row y0 to row y1 (either order); rows outside are cut off.
  void MarkColumn(int x, int y0, int y1);
  bool Test(int x, int y) const;
  // The bits of column x, rows 0 to 63 in the first word; WordsPerColumn() words.
  const uint64_t* Column(int x) const { return FBits.data() + size_t(x) * size_t(FWordsPerColumn); }
  int WordsPerColumn() const { return FWordsPerColumn; }

 private:
  int FWidth = 0;
  int FHeight = 0;
  int FWordsPerColumn = 0;
  bool FEmpty = true;
  std::vector<uint64_t> FBits;
};

// The recorder plot: an off-screen graph that traces are drawn into column by column at a sweeping
// cursor, a background with the grid to erase columns ahead of the cursor, and a composed picture
// with the cursor and the axis labels that is copied to the screen once per refresh.
//
// One division is 100 pixels in both directions; the centre line is row FMitte of the graph.
// Up to two y axes (base 1 on the right, base 2 when UseY2 is set) carry the units per division of
// the selected channel in its colour.
class TQV_Plot : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kPixelsPerDiv = 100;
  static constexpr int kMaxChannels = 24;
  static constexpr int kBases = 2;

  struct TYInfo {
    double UnitsPerDiv = 1e-9;
    std::string UnitText = "s";
    QColor UnitColor = Qt::black;
    bool AbsNotation = true;  // engineering prefixes; otherwise exponent notation
    double Origin = 0;        // the value of the centre line: sensors label absolute values
  };

  explicit TQV_Plot(QWidget* parent = nullptr);

  // ---- Geometry ----
  // Columns and rows of the graph (without the margins), and the centre line.
  int GraphWidth() const { return FBitmapGraph.width(); }
  int GraphHeight() const { return FBitmapGraph.height(); }
  int Mitte() const { return FMitte; }
  int CursorX() const { return FCursorX; }
  // Keeps the graph width a multiple of 256 pixels (the phase trim blocks).
  bool AdjustWidth() const { return FAdjustWidth; }
  void SetAdjustWidth(bool value);

  // ---- Drawing into the graph ----
  void ClearBitmaps();
  // Restores the background of `len` columns from startX on, wrapping at the right edge.
  void ClearRange(int startX, int len);
  // Draws the rows of one channel from column startX on (wrapping), joined to the channel's
  // previous row when it has one; a row of -1 breaks the trace.
  void DrawMeasurement(int index, const std::vector<int32_t>& rows, int startX, int kanal, QColor aColor);
  // Draws one span per column from startX on (wrapping): the column's lowest to highest row, joined
  // to the row the trace left the column before on; an empty span breaks the trace.
  void DrawSpans(int index, const std::vector<TColumnSpan>& spans, int startX, int kanal, QColor aColor);
  // Marks the values beyond the top (+1) or bottom (-1) edge, one entry per column from startX on
  // (0: none), as small arrows at the channel's edge row where a run starts and every few columns
  // along it, so that they are not taken for values on the edge.
  void DrawEdgeMarks(const std::vector<int8_t>& edges, int startX, int kanal, QColor aColor);
  // Draws the pixels of `anz` columns from startX on that the buffer marks.
  void DrawPersist(int index, const TPersistBuffer& aPersist, int startX, int anz, QColor aColor);
  // The traces start anew: no channel is joined to its previous row.
  void ResetYOld();
  void ResetYOld(int index, int kanal);
  int YOld(int index, int kanal) const { return FYOld[size_t(index)][size_t(kanal)]; }
  // A text in the middle of the graph instead of traces (index 0), or none when empty.
  void DrawErrorText(int index, const std::string& aText);
  const std::string& ErrorText() const { return FErrorText; }

  // ---- The picture ----
  // The cursor at startX in the colour last given (DrawColoredCursor), grey at first.
  void DrawCursor(int startX);
  void DrawColoredCursor(int startX, QColor aColor);
  // Composes graph, cursor, grid labels and texts into the picture and repaints.
  void DrawBitmaps();
  // The composed picture, for the saved image.
  const QImage& Picture() const { return FBitmap; }
  const QImage& Graph() const { return FBitmapGraph; }

  // ---- Axes ----
  TYInfo& YInfo(int axis) { return FY_Info[size_t(axis)]; }
  const TYInfo& YInfo(int axis) const { return FY_Info[size_t(axis)]; }
  void SetUnitsPerDiv(int axis, double value);
  void SetUnitText(int axis, const std::string& value);
  void SetUnitColor(int axis, QColor value);
  void SetAbsNotation(int axis, bool value);
  void SetOrigin(int axis, double value);
  // The label of the division line `divisions` above the centre line (below when negative).
  std::string DivisionLabel(int axis, int divisions) const;
  bool UseY2() const { return FUseY2; }
  void SetUseY2(bool value);
  // The time of one value in ms; 0 shows no time scale (interval counter data).
  int32_t IntervalMs() const { return FIntervalMs; }
  void SetIntervalMs(int32_t value);
  // The local time of the value at the cursor; the time axis labels its divisions from it. An
  // invalid time shows no clock times.
  void SetCursorTime(const QDateTime& value) { FCursorTime = value; }

  struct TTimeTick {
    int X;
    QString Text;
  };
  // The clock times of the vertical division lines of a swept plot: columns left of the cursor are
  // from this sweep, those right of it from the sweep before. "hh:mm:ss", with milliseconds when a
  // division is shorter than a second.
  static std::vector<TTimeTick> TimeTicks(int width, int cursorX, const QDateTime& cursorTime, int32_t intervalMs);
  void SetFormatSettings(const TFormatSettings& value) { FormatSettings = value; }

  // A value with an engineering prefix ("2 ns", "500 mHz") or in exponent notation ("1E-9").
  static std::string AxisText(double value, const std::string& unit, bool absNotation, char separator = '.');

 Q_SIGNALS:
  // The graph was resized and cleared: the owner redraws what it keeps.
  void OnResized();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void ResizeBitmaps();
  void DrawBackground();
  void SetPixelColumn(int x, int y0, int y1, QRgb color);
  // Copies into the picture only the graph columns drawn since the last time (and the column the
  // cursor left), or the whole graph after a clear, a resize or with an error text.
  void ComposeGraph(QPainter& p);
  void MarkAllDirty();
  void MarkDirty(int x) { FDirtyColumns[size_t(x)] = 1; }
  // A label in the painter's font, its left edge at anchor.x() and its middle at anchor.y().
  void DrawLabel(QPainter& p, QPoint anchor, const QString& text, QColor color);
  // The pixel (x, y) of the graph, written in place: drawing goes straight into the scan lines.
  QRgb* GraphPixel(uchar* bits, int x, int y) const {
    return reinterpret_cast<QRgb*>(bits + qsizetype(y) * FBitmapGraph.bytesPerLine()) + x;
  }

  TFormatSettings FormatSettings;
  int32_t FIntervalMs = 1000;
  std::array<TYInfo, kBases> FY_Info;
  bool FUseY2 = false;
  QImage FBitmap;       // the composed picture
  QImage FBitmapGraph;  // the traces on the background
  QImage FBitmapBack;   // the background with the grid
  int FUnten = 20;      // bottom margin (time scale)
  static constexpr int kAxisWidth = 80;
  int FRechts = kAxisWidth;  // right margin (y axis labels)
  int FRechtsGrid = 0;  // columns right of the graph that belong to neither
  int FMitte = 0;
  bool FAdjustWidth = false;
  int FCursorX = 0;
  QColor FCursorColor = QColor(127, 127, 127);
  QDateTime FCursorTime;
  std::string FErrorText;
  std::vector<uint8_t> FDirtyColumns;  // per graph column: changed since the last composition
  bool FAllDirty = true;
  int FComposedCursorX = -1;
  bool FComposedError = false;
  std::array<std::array<int32_t, kMaxChannels + 1>, kBases> FYOld{};
  static constexpr size_t kMaxLabels = 256;
  std::unordered_map<QString, QImage> FLabels;  // rendered labels by text and colour
};

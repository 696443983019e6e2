#pragma once
#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ui/AllanScale.h"

class QPainter;

enum TAllanScaleType : int32_t { stAuto = 0, stManual = 1 };

// One channel of the legend: its id and name, drawn in its colour.
struct TAllanLegendEntry {
  std::string Text;
  QColor Color;
  bool operator==(const TAllanLegendEntry&) const = default;
};

// The Allan plot: σ(τ) of several channels on log-log axes, drawn into an off-screen picture that
// is copied to the screen. τ spans the decades that hold data across, σ the decades of the scale
// in use: collected from the channels' ranges (automatic) or set by the user (manual). A legend of
// the shown channels stands above the plot area, so that it never covers a curve.
//
// A refresh brackets the curves: BeginMinMax, SetMinMax per channel, EndMinMax, BeginDraw,
// DrawPersist/DrawMeasurement per channel, EndDraw. A resize rebuilds the picture with the axes
// and asks the owner (OnDrawMeasurement) to draw its curves again.
class TQV_AllanPlot : public QWidget {
  Q_OBJECT

 public:
  explicit TQV_AllanPlot(QWidget* parent = nullptr);

  void Clear();
  // No curves: the picture shows the axes only and FLastTau is -1.
  void ResetDraw();
  void BeginMinMax();
  void SetMinMax(const TAllanMinMax& minMax);
  void EndMinMax();
  // Starts a new picture with the axes; tauCounts are the updates per τ for the count line.
  void BeginDraw(const std::vector<int64_t>& tauCounts);
  // values: log10 σ per τ index, NaN where there is none.
  void DrawMeasurement(const std::vector<double>& values, QColor aColor);
  // The minimum and maximum curves of the persist entries, dashed.
  void DrawPersist(const std::vector<TAllanPersistEntry>& values, QColor aColor);
  void EndDraw();

  void SetManualScale(int32_t minPower, int32_t maxPower);
  TAllanScaleType ScaleType() const { return FScaleType; }
  void SetScaleType(TAllanScaleType value);
  int32_t IntervalMs() const { return FIntervalMs; }
  void SetIntervalMs(int32_t value);
  // A limit curve of log10 values per τ index, filled with the brush colour.
  void SetLimits(const std::vector<double>& values, QColor aColPen, QColor aColBrush);
  void ClearLimits();
  void DrawErrorText(const std::string& text);
  void ClearErrorText() { DrawErrorText(""); }
  const std::string& ErrorText() const { return FErrorText; }
  bool DisplayCountLine() const { return FDisplayCountLine; }
  void SetDisplayCountLine(bool value) { FDisplayCountLine = value; }
  void SetDecimalSeparator(char value);
  // The channels the legend names, in their order; takes effect with the next picture.
  void SetLegend(std::vector<TAllanLegendEntry> entries);
  const std::vector<TAllanLegendEntry>& Legend() const { return FLegend; }
  // Where an entry's colour mark and text are drawn.
  QRect LegendRect(size_t index) const;
  // Redraws the axes without the count line, lets the owner draw its curves and shows the picture.
  void Paint();

  // ---- State for the owner and the tests ----
  const QImage& Picture() const { return FBitmap; }
  const TAllanGeometry& Geometry() const { return FGeom; }
  const std::array<int32_t, kAllanTauCount>& XPixels() const { return FxPixel; }
  int32_t TauDecades() const { return FDecades; }
  const std::vector<int32_t>& YPixels() const { return FyPixel; }
  const TScaleInfo& Scale() const { return FyScale; }
  const TScaleInfo& ManualScale() const { return FyScaleManual; }
  int32_t LastTau() const { return FLastTau; }
  const std::string& TauLabel(int index) const { return FTimeMilliString[size_t(index)]; }

  std::function<void()> OnDrawMeasurement;
  std::function<void(const std::string&)> OnLog;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void DoPlotResize();
  void LayoutGeometry();
  QFont LegendFont() const;
  int LegendRowHeight() const;
  void DrawLegend(QPainter& p);
  void UseScale(const TScaleInfo& scale);
  void DrawAxes(bool countLine);
  void DrawYGrid(QPainter& p);
  // x just right of an axis title drawn at the left margin.
  int TitleRight(const QString& title) const;
  void DrawXGrid(QPainter& p);
  void DrawCounts(QPainter& p);
  void CalculateLimits();
  void DrawErrorTextOnPicture();
  void DrawPolyline(const std::vector<double>& values, QColor aColor, Qt::PenStyle style, bool circles);
  void Log(const std::string& text) const;

  QImage FBitmap;
  TAllanGeometry FGeom;
  std::array<int32_t, kAllanTauCount> FxPixel{};
  int32_t FDecades = 1;  // decades of τ across the plot, following the data
  std::vector<int32_t> FyPixel;
  TScaleInfo FyScale;
  TScaleInfo FyScaleAuto;      // collected between BeginMinMax and EndMinMax
  TScaleInfo FyScaleAutoUsed;  // the automatic scale last adopted
  TScaleInfo FyScaleManual;
  TAllanScaleType FScaleType = stAuto;
  int32_t FLastTau = -1;
  int32_t FCollectLastTau = -1;
  std::vector<double> FLimitValues;
  std::vector<QPoint> FLimitPoints;
  QColor FLimitColPen = Qt::red;
  QColor FLimitColBrush = QColor(255, 220, 220);
  int32_t FIntervalMs = 0;
  std::array<std::string, kAllanTauCount> FTimeMilliString;
  std::vector<int64_t> FTauCounts;
  std::string FErrorText;
  std::vector<TAllanLegendEntry> FLegend;
  std::vector<TAllanLegendPlace> FLegendPlaces;
  std::vector<int32_t> FLegendWidths;
  bool FDisplayCountLine = true;
  char FSeparator = '.';
};

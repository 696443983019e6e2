#pragma once
// The arithmetic of the Allan views, free of widgets: the log-log geometry of the Allan plot
// (the decades of τ that hold data across, decades of σ up), the automatic scale that does not flicker, and the
// texts of deviations and averaging times.
#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "data/App_VirtAllanData.h"

// The τ grid of the plot: the first 19 values of the calculators' ladder, 1 to 1 000 000 samples.
constexpr int kAllanTauCount = 19;
int32_t AllanTauSamples(int index);

// The decades shown on the y axis. The empty scale shows none.
struct TScaleInfo {
  int32_t AnzDekaden = 0;
  int32_t PowerMin = std::numeric_limits<int32_t>::max();
  int32_t PowerMax = std::numeric_limits<int32_t>::min();
  int32_t PixelPerDekade = 0;

  bool Empty() const { return PowerMin > PowerMax; }
  bool SameRange(const TScaleInfo& other) const { return PowerMin == other.PowerMin && PowerMax == other.PowerMax; }
};

// The plot area of a control of that size: top 40, bottom height - 50, left 60, right so that the
// six decades of τ span whole multiples of 6 pixels. Legend rows beyond the two that the top
// margin holds move the top down by a row height each.
struct TAllanGeometry {
  int32_t Oben = 40;
  int32_t Unten = 0;
  int32_t Links = 60;
  int32_t Rechts = 0;
};
TAllanGeometry AllanGeometry(int width, int height, int32_t legendRows = 0, int32_t legendRowHeight = 0);

// The legend above the plot area: entries side by side from the left of the plot area, a new row
// when the next would pass its right; an entry wider than a row gets a row of its own.
constexpr int32_t kAllanLegendTop = 3;
constexpr int32_t kAllanLegendRowsInMargin = 2;
struct TAllanLegendPlace {
  int32_t X = 0;
  int32_t Row = 0;
  bool operator==(const TAllanLegendPlace&) const = default;
};
std::vector<TAllanLegendPlace> AllanLegendLayout(const std::vector<int32_t>& widths, int32_t left, int32_t right);
int32_t AllanLegendRows(const std::vector<TAllanLegendPlace>& places);

// The decades of τ the plot spans: those that hold data up to the last τ index, plus one to grow
// into; 1 to 6 (1 without data).
int32_t AllanTauDecades(int32_t lastTau);
// The τ grid lines within that span (3 per decade and the last one).
int32_t AllanVisibleTaus(int32_t decades);

// x of each τ grid line when `decades` decades of τ span the plot; lines beyond lie right of it.
std::array<int32_t, kAllanTauCount> AllanXPixels(const TAllanGeometry& g, int32_t decades = 6);

// A scale over the decades minPower..maxPower with its pixels per decade for the geometry.
TScaleInfo MakeScale(int32_t minPower, int32_t maxPower, const TAllanGeometry& g);
// Fills AnzDekaden and PixelPerDekade of a scale for the geometry.
void CalculateScalePixels(TScaleInfo& scale, const TAllanGeometry& g);

// y of the horizontal grid lines: for each decade the lines of 1, 2 and 5, then the top line.
std::vector<int32_t> AllanYPixels(const TScaleInfo& scale, const TAllanGeometry& g);

// y of a log10 value; none for NaN or infinite values and for a scale without decades.
std::optional<int32_t> AllanLogToY(double logValue, const TScaleInfo& scale, const TAllanGeometry& g);
// A point is drawn only inside the plot area; outside, the curve breaks.
bool AllanInsideArea(int32_t y, const TAllanGeometry& g);

// log10 of each deviation; NaN where there is none (0, negative or not a number), so that a
// missing deviation is never drawn as σ = 1.
std::vector<double> AllanLogValues(const std::vector<double>& sigmas);

// Whether the automatic scale adopts a new range: only when it differs and is not a change of a
// single decade inward at either end (that would make the scale flicker).
bool AllanScaleChangeIsReal(const TScaleInfo& oldScale, const TScaleInfo& newScale);

// Exponent notation: `precision` significant digits, the exponent signed with at least `digits`
// digits ("1.414E-09" for 4 and 2, "1.0E+0" for 2 and 1, "1E-9" for 1 and 1).
std::string AllanExpText(double value, int precision, int digits, char separator = '.');
// A deviation in the text view and the saved table: 4 significant digits, 2 exponent digits;
// "0" for a deviation of 0.
std::string AllanValueText(double sigma, char separator = '.');
// An averaging time of `ms` milliseconds: below one second in " ms", else in " s" with the
// fraction when there is one ("2.5 s").
std::string AllanTauText(int64_t ms, char separator = '.');

// The label of a τ grid line: τ in seconds in the σ axis's format ("1E+0", "5E-1"), with a
// second digit only where τ needs it ("2.5E-1").
std::string AllanTauLabel(int32_t intervalMs, int index, char separator = '.');

// The lines of the saved table: "Channel/Tau" + the calculator's τ caption, then per channel
// "Channel  k:" and each deviation right-aligned in 11 characters.
struct TAllanTableRow {
  int32_t Channel;
  std::vector<double> Sigmas;  // τ index 0..last τ
};
std::vector<std::string> AllanTableLines(const std::string& tauCaption, const std::vector<TAllanTableRow>& rows,
                                         char separator);

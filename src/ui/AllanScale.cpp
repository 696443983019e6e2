#include "ui/AllanScale.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

int32_t AllanTauSamples(int index) {
  // 1, 2, 5, 10, 20, 50, ...: alternately ×2, ×2.5, ×2 as the calculators build their ladder.
  static constexpr int32_t kSteps[] = {1, 2, 5};
  if (index < 0 || index >= kAllanTauCount) return 0;
  int32_t decade = 1;
  for (int i = 0; i < index / 3; ++i) decade *= 10;
  return kSteps[index % 3] * decade;
}

TAllanGeometry AllanGeometry(int width, int height, int32_t legendRows, int32_t legendRowHeight) {
  TAllanGeometry g;
  g.Oben += std::max(0, legendRows - kAllanLegendRowsInMargin) * legendRowHeight;
  g.Unten = height - 50;
  g.Rechts = g.Links + std::max(0, (width - 90) / 6) * 6;
  return g;
}

std::vector<TAllanLegendPlace> AllanLegendLayout(const std::vector<int32_t>& widths, int32_t left, int32_t right) {
  std::vector<TAllanLegendPlace> places;
  TAllanLegendPlace next{left, 0};
  for (const int32_t width : widths) {
    if (next.X > left && next.X + width > right) next = {left, next.Row + 1};
    places.push_back(next);
    next.X += width;
  }
  return places;
}

int32_t AllanLegendRows(const std::vector<TAllanLegendPlace>& places) { return places.empty() ? 0 : places.back().Row + 1; }

int32_t AllanTauDecades(int32_t lastTau) {
  if (lastTau < 0) return 1;
  return std::clamp((std::min(lastTau, kAllanTauCount - 1) + 2) / 3 + 1, 1, 6);
}

int32_t AllanVisibleTaus(int32_t decades) { return std::clamp(3 * decades + 1, 1, kAllanTauCount); }

std::array<int32_t, kAllanTauCount> AllanXPixels(const TAllanGeometry& g, int32_t decades) {
  std::array<int32_t, kAllanTauCount> x{};
  const double perDecade = double(g.Rechts - g.Links) / std::clamp(decades, 1, 6);
  for (int i = 0; i < kAllanTauCount; ++i)
    x[size_t(i)] = g.Links + int32_t(std::lround(std::log10(double(AllanTauSamples(i))) * perDecade));
  return x;
}

void CalculateScalePixels(TScaleInfo& scale, const TAllanGeometry& g) {
  scale.AnzDekaden = scale.Empty() ? 0 : scale.PowerMax - scale.PowerMin;
  scale.PixelPerDekade = scale.AnzDekaden > 0 ? std::max(0, g.Unten - g.Oben) / scale.AnzDekaden : 0;
}

TScaleInfo MakeScale(int32_t minPower, int32_t maxPower, const TAllanGeometry& g) {
  TScaleInfo scale;
  scale.PowerMin = minPower;
  scale.PowerMax = maxPower;
  CalculateScalePixels(scale, g);
  return scale;
}

std::vector<int32_t> AllanYPixels(const TScaleInfo& scale, const TAllanGeometry& g) {
  std::vector<int32_t> y;
  if (scale.AnzDekaden <= 0) return y;
  for (int d = 0; d < scale.AnzDekaden; ++d)
    for (const int m : {1, 2, 5})
      y.push_back(g.Unten - int32_t(std::lround(scale.PixelPerDekade * (std::log10(double(m)) + d))));
  y.push_back(g.Unten - scale.AnzDekaden * scale.PixelPerDekade);
  return y;
}

std::optional<int32_t> AllanLogToY(double logValue, const TScaleInfo& scale, const TAllanGeometry& g) {
  if (!std::isfinite(logValue) || scale.AnzDekaden <= 0) return std::nullopt;
  const double y = g.Unten - std::round((logValue - scale.PowerMin) * scale.PixelPerDekade);
  return int32_t(std::clamp(y, -1e6, 1e6));
}

bool AllanInsideArea(int32_t y, const TAllanGeometry& g) { return y >= g.Oben && y <= g.Unten; }

std::vector<double> AllanLogValues(const std::vector<double>& sigmas) {
  std::vector<double> logs;
  logs.reserve(sigmas.size());
  for (const double s : sigmas) logs.push_back(s > 0 && std::isfinite(s) ? std::log10(s) : std::nan(""));
  return logs;
}

bool AllanScaleChangeIsReal(const TScaleInfo& oldScale, const TScaleInfo& newScale) {
  if (oldScale.SameRange(newScale)) return false;
  if (oldScale.Empty() || newScale.Empty()) return true;
  const int64_t oldMin = oldScale.PowerMin, oldMax = oldScale.PowerMax;
  const int64_t newMin = newScale.PowerMin, newMax = newScale.PowerMax;
  return newMin < oldMin || newMin > oldMin + 1 || newMax > oldMax || newMax < oldMax - 1;
}

std::string AllanExpText(double value, int precision, int digits, char separator) {
  if (!std::isfinite(value)) return value != value ? "NAN" : (value > 0 ? "INF" : "-INF");
  precision = std::clamp(precision, 1, 17);
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*E", precision - 1, value);
  std::string text = buffer;
  const size_t e = text.find('E');
  std::string mantissa = text.substr(0, e);
  if (const size_t dot = mantissa.find('.'); dot != std::string::npos) mantissa[dot] = separator;
  const int exponent = std::stoi(text.substr(e + 1));
  std::string exp = std::to_string(std::abs(exponent));
  if (int(exp.size()) < digits) exp.insert(0, size_t(digits) - exp.size(), '0');
  return mantissa + "E" + (exponent < 0 ? "-" : "+") + exp;
}

std::string AllanValueText(double sigma, char separator) {
  if (sigma == 0) return "0";
  return AllanExpText(sigma, 4, 2, separator);
}

std::string AllanTauText(int64_t ms, char separator) {
  if (ms < 1000) return std::to_string(ms) + " ms";
  std::string text = std::to_string(ms / 1000);
  if (int64_t rest = ms % 1000; rest != 0) {
    std::string fraction = std::to_string(rest + 1000).substr(1);  // three digits
    while (fraction.back() == '0') fraction.pop_back();
    text += separator + fraction;
  }
  return text + " s";
}

std::string AllanTauLabel(int32_t intervalMs, int index, char separator) {
  const double tau = double(intervalMs) * AllanTauSamples(index) * 0.001;
  const std::string one = AllanExpText(tau, 1, 1, '.');
  const bool exact = std::abs(std::strtod(one.c_str(), nullptr) - tau) <= 1e-9 * std::abs(tau);
  return AllanExpText(tau, exact ? 1 : 2, 1, separator);
}

std::vector<std::string> AllanTableLines(const std::string& tauCaption, const std::vector<TAllanTableRow>& rows,
                                         char separator) {
  std::vector<std::string> lines{"Channel/Tau" + tauCaption};
  for (const TAllanTableRow& row : rows) {
    std::string line = "Channel" + std::string(row.Channel <= 9 ? "  " : " ") + std::to_string(row.Channel) + ":";
    for (const double sigma : row.Sigmas) {
      const std::string text = AllanExpText(sigma, 4, 2, separator);
      line += std::string(text.size() < 11 ? 11 - text.size() : 0, ' ') + text;
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

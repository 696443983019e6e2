#include "data/PhaseSeries.h"

#include <algorithm>
#include <cmath>

TPhaseSeries TPhaseSeries::FromPhase(std::span<const double> x, double tau0) {
  return FromPhase(std::vector<double>(x.begin(), x.end()), tau0);
}

TPhaseSeries TPhaseSeries::FromPhase(std::vector<double>&& values, double tau0) {
  TPhaseSeries series(tau0, false);
  series.FX = std::move(values);
  const std::vector<double>& x = series.FX;
  const bool gaps = std::any_of(x.begin(), x.end(), [](double v) { return std::isnan(v); });
  if (gaps) {
    std::vector<bool> badPoint(x.size());
    for (size_t i = 0; i < x.size(); ++i) {
      badPoint[i] = std::isnan(x[i]);
      if (badPoint[i]) series.FX[i] = 0;
    }
    series.CountGaps(badPoint, std::vector<bool>(x.size()));
  }
  return series;
}

TPhaseSeries TPhaseSeries::FromFrequency(std::span<const double> y, double tau0) {
  TPhaseSeries series(tau0, true);
  if (y.empty()) return series;
  series.FX.resize(y.size() + 1);
  std::vector<bool> badStep(y.size() + 1);
  bool gaps = false;
  // A missing frequency adds nothing: the points after it keep an unknown offset that no clean span sees.
  double x = 0;
  series.FX[0] = 0;
  for (size_t i = 0; i < y.size(); ++i) {
    if (std::isnan(y[i])) {
      badStep[i] = gaps = true;
    } else {
      x += y[i] * tau0;
    }
    series.FX[i + 1] = x;
  }
  if (gaps) series.CountGaps(std::vector<bool>(series.FX.size()), badStep);
  return series;
}

void TPhaseSeries::CountGaps(const std::vector<bool>& badPoint, const std::vector<bool>& badStep) {
  const size_t n = FX.size();
  FBadPoints.assign(n + 1, 0);
  FBadSteps.assign(n, 0);
  for (size_t i = 0; i < n; ++i) {
    FBadPoints[i + 1] = FBadPoints[i] + (badPoint[i] ? 1 : 0);
    if (i + 1 < n) FBadSteps[i + 1] = FBadSteps[i] + (badStep[i] ? 1 : 0);
  }
}

#pragma once
#include <cstdint>
#include <span>
#include <vector>

// A phase series x (seconds) at a fixed interval tau0, made from phase data or from fractional
// frequencies (x summed up, tau0 per value), with the gaps of its source: a missing phase value (NaN)
// spoils that point, a missing frequency spoils the step between two points. A statistic skips every
// term whose span of points is not clean, as the running calculators skip gaps.
class TPhaseSeries {
 public:
  static TPhaseSeries FromPhase(std::span<const double> x, double tau0);
  // Takes the values over instead of copying them.
  static TPhaseSeries FromPhase(std::vector<double>&& x, double tau0);
  static TPhaseSeries FromFrequency(std::span<const double> y, double tau0);

  int64_t Size() const { return static_cast<int64_t>(FX.size()); }
  double Tau0() const { return FTau0; }
  bool FromFrequency() const { return FFromFrequency; }
  // Point i; 0 at a missing point (never used by a clean span).
  double operator[](int64_t i) const { return FX[static_cast<size_t>(i)]; }
  const std::vector<double>& Values() const { return FX; }
  bool HasGaps() const { return !FBadPoints.empty(); }
  // Points first..last (inclusive) and the steps between them are all present.
  bool Clean(int64_t first, int64_t last) const {
    return FBadPoints.empty() || (FBadPoints[static_cast<size_t>(last + 1)] == FBadPoints[static_cast<size_t>(first)] &&
                                  FBadSteps[static_cast<size_t>(last)] == FBadSteps[static_cast<size_t>(first)]);
  }

 private:
  TPhaseSeries(double tau0, bool fromFrequency) : FTau0(tau0), FFromFrequency(fromFrequency) {}
  // Counts of missing points before point i (size N + 1) and of missing steps before point i (size N).
  void CountGaps(const std::vector<bool>& badPoint, const std::vector<bool>& badStep);

  std::vector<double> FX;
  double FTau0;
  bool FFromFrequency;
  std::vector<int64_t> FBadPoints, FBadSteps;  // empty without gaps
};

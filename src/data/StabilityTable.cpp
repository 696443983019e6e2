#include "data/StabilityTable.h"

#include <cstdio>

std::string StabilityTableRow(const TStabilityPoint& point, bool timeError) {
  char line[160];
  const auto factor = static_cast<long long>(point.Factor), terms = static_cast<long long>(point.Terms);
  if (timeError) {
    std::snprintf(line, sizeof line, "%5lld   %.4e%9lld   %.4e\n", factor, point.Tau, terms, point.Sigma);
  } else {
    std::snprintf(line, sizeof line, "%5lld   %.4e%9lld%6d   %.4e    %.4e     %.4e\n", factor, point.Tau, terms,
                  point.Alpha.value_or(0), point.MinSigma.value_or(0), point.Sigma, point.MaxSigma.value_or(0));
  }
  return line;
}

std::string StabilityTableText(const TStabilityTableInfo& info, const std::vector<TStabilityPoint>& points) {
  const bool timeError = IsTimeIntervalError(info.Statistic);
  const std::string count = std::to_string(info.ValueCount);
  std::string text = "# STATISTICS FOR FILE: " + info.File + "\n# " + (info.Frequency ? "Frequency" : "Phase") +
                     " Data Points 1 thru " + count + " of " + count + "\n# Sigma Type: " +
                     StabilitySigmaType(info.Statistic) + "\n";
  if (!timeError) {
    char confidence[64];
    std::snprintf(confidence, sizeof confidence, "# Confidence Factor = %.3f\n", info.Confidence);
    text += confidence;
  }
  text += "#\n" + std::string(StabilityTableHeader(info.Statistic)) + "\n";
  for (const TStabilityPoint& point : points) text += StabilityTableRow(point, timeError);
  return text;
}

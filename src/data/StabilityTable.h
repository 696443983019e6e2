#pragma once
#include <string>
#include <vector>

#include "data/StabilityAnalysis.h"

// A stability table as text in the layout of the field's reference program: a few "#" lines naming
// the file, the data kind and count, the statistic and the confidence factor, the column header and
// one row per point (AF Tau # Alpha MinSigma Sigma MaxSigma; AF Tau # Value for MTIE and TIE rms;
// 0 where a noise type or bound is absent).
struct TStabilityTableInfo {
  std::string File;
  bool Frequency = false;
  size_t ValueCount = 0;
  TStabilityStatistic Statistic = TStabilityStatistic::Oadev;
  double Confidence = kDefaultConfidence;
};

std::string StabilityTableText(const TStabilityTableInfo& info, const std::vector<TStabilityPoint>& points);
// One row with its line end.
std::string StabilityTableRow(const TStabilityPoint& point, bool timeError);

#include "data/StabilityStatistic.h"

#include <array>

namespace {

struct TStatisticInfo {
  TStabilityStatistic Statistic;
  const char* Name;
  const char* SigmaType;
  const char* Header;
};

constexpr const char* kSigma = "#  AF        Tau        #    Alpha  Min Sigma      Sigma         Max Sigma";
constexpr const char* kHadamard = "#  AF        Tau         #    Alpha  Min Sigma   Hadamard Sig     Max Sigma";

constexpr std::array<TStatisticInfo, 9> kStatistics{{
    {TStabilityStatistic::Adev, "adev", "Allan", kSigma},
    {TStabilityStatistic::Oadev, "oadev", "Overlapping Allan", kSigma},
    {TStabilityStatistic::Mdev, "mdev", "Modified Allan", "#  AF        Tau         #    Alpha  Min Sigma     Mod Sigma      Max Sigma"},
    {TStabilityStatistic::Tdev, "tdev", "Time", "#  AF        Tau         #    Alpha  Min Sigma    Time Sigma      Max Sigma"},
    {TStabilityStatistic::Hdev, "hdev", "Hadamard", kHadamard},
    {TStabilityStatistic::Ohdev, "ohdev", "Overlapping Hadamard", kHadamard},
    {TStabilityStatistic::Totdev, "totdev", "Total", "#  AF        Tau         #    Alpha  Min Sigma    Total Sigma     Max Sigma"},
    {TStabilityStatistic::Mtie, "mtie", "MTIE", "#  AF      Tau           #       MTIE"},
    {TStabilityStatistic::TieRms, "tierms", "TIE rms", "#  AF      Tau           #      TIE rms"},
}};

const TStatisticInfo& Info(TStabilityStatistic statistic) { return kStatistics[static_cast<size_t>(statistic)]; }

}  // namespace

std::optional<TStabilityStatistic> ParseStabilityStatistic(std::string_view name) {
  for (const TStatisticInfo& info : kStatistics)
    if (name == info.Name) return info.Statistic;
  return std::nullopt;
}

const char* StabilityStatisticName(TStabilityStatistic statistic) { return Info(statistic).Name; }

const char* StabilitySigmaType(TStabilityStatistic statistic) { return Info(statistic).SigmaType; }

const char* StabilityTableHeader(TStabilityStatistic statistic) { return Info(statistic).Header; }

bool IsTimeIntervalError(TStabilityStatistic statistic) {
  return statistic == TStabilityStatistic::Mtie || statistic == TStabilityStatistic::TieRms;
}

int64_t MaxAveragingFactor(TStabilityStatistic statistic, int64_t pointsCount) {
  switch (statistic) {
    case TStabilityStatistic::Adev:
    case TStabilityStatistic::Hdev:
      return pointsCount / 5;
    case TStabilityStatistic::Totdev:
      return pointsCount / 2;
    case TStabilityStatistic::Mtie:
      return pointsCount - 1;
    default:
      return pointsCount / 4;
  }
}

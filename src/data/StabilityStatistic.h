#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

// The statistics of a stability analysis, by their command-line names.
enum class TStabilityStatistic { Adev, Oadev, Mdev, Tdev, Hdev, Ohdev, Totdev, Mtie, TieRms };

std::optional<TStabilityStatistic> ParseStabilityStatistic(std::string_view name);
// "adev", "oadev", ..., "tierms".
const char* StabilityStatisticName(TStabilityStatistic statistic);
// The field's name of the statistic ("Modified Allan", "MTIE", ...) and the column header line of its
// table as the field's reference program prints it.
const char* StabilitySigmaType(TStabilityStatistic statistic);
const char* StabilityTableHeader(TStabilityStatistic statistic);
// MTIE and TIE rms are time errors: no noise type and no confidence bounds.
bool IsTimeIntervalError(TStabilityStatistic statistic);
// Largest averaging factor analysed for pointsCount phase points: beyond it the few terms left say
// little (non-overlapping N/5, overlapping N/4, total N/2, MTIE N-1).
int64_t MaxAveragingFactor(TStabilityStatistic statistic, int64_t pointsCount);

#include "logging/LogTypes.h"

#include <array>

namespace {
const std::array<TLogTypeInfo, kLogTypeCount> kLogTypes{{
    {0, "Phase", false, "Phase [Pd]", 26, "Phase", 0},
    {1, "Frequency", false, "Frequency [Hz]", 22, "Freq", 1},
    {2, "Phase Difference ( \xCE\x94 Chan. 1)", false, "Phase Difference", 26, "PhaseDiff", 2},
    {3, "Raw Data 1ms", false, "RawData 1ms", 16, "Raw1ms", 3},
    {4, "Time Interval", false, "IVC", 15, "IVC", 0},
    {5, "Interval Difference", false, "IVCDiff", 15, "IVCdiff", 1},
    {6, "Phase Difference ( \xCE\x94 Chan. n-1)", false, "Phase Difference", 26, "PhaseDiff", 6},
    {7, "ADEV", true, "", 0, "ADEV", 7},
    {8, "", true, "Short avg", 26, "AvgShort", 0},
    {9, "", true, "Long avg", 26, "AvgLong", 0},
    {10, "Phase Residual", false, "V Phase Residual [ns]", 26, "PhaseResV", 0},
    {11, "Frequency", false, "V FreqAbs", 22, "FreqAbsV", 1},
    {12, "Relative Frequency", false, "V FreqRel", 22, "FreqRelV", 2},
    {13, "ADEV", true, "", 0, "ADEVV", 3},
    {14, "Time Interval", false, "V IVC", 15, "IVCV", 0},
    {15, "Phase Residual", false, "Phase Residual [ns]", 26, "PhaseRes", 8},
    {16, "Phase Difference ( \xCE\x94 Chan. 1)", false, "V Phase Difference", 26, "PhaseDiffV", 4},
    {17, "Phase Difference ( \xCE\x94 Chan. n-1)", false, "V Phase Difference", 26, "PhaseDiffV", 5},
}};

constexpr int kIntervalAverageWidth = 15;
constexpr int kSensorWidth = 26;
}  // namespace

std::string SamplerStringClassName(TSamplerStringClass aClass) {
  switch (aClass) {
    case sscStandard: return "Standard";
    case sscAvgShort: return "AvgShort";
    case sscAvgLong: return "AvgLong";
    case sscVirtual: return "Virtual";
    case sscSpecial: return "Special";
  }
  return "Unknown";
}

const TLogTypeInfo* FindLogType(int bit) {
  if (bit < 0 || bit >= kLogTypeCount) return nullptr;
  return &kLogTypes[static_cast<size_t>(bit)];
}

bool IsVirtualLogType(int bit) {
  return bit >= 0 && bit < 32 && ((kVirtualCounterLogTypes | (1u << 14)) >> bit & 1u);
}

uint32_t SourceLogTypes(TLogSourceKind kind, TSamplerStringClass aClass) {
  constexpr uint32_t kShortAverage = 1u << 8;
  constexpr uint32_t kLongAverage = 1u << 9;
  constexpr uint32_t kVirtualInterval = 1u << 14;
  if (kind == TLogSourceKind::Sensor) return 0xFFFFFFFF;
  const bool interval = kind == TLogSourceKind::IntervalCounter;
  switch (aClass) {
    case sscStandard: return interval ? kIntervalLogTypes : kCounterLogTypes;
    case sscAvgShort: return kShortAverage;
    case sscAvgLong: return kLongAverage;
    case sscVirtual: return interval ? kVirtualInterval : kVirtualCounterLogTypes;
    case sscSpecial: return interval ? 0 : kCounterLogTypes;
  }
  return 0;
}

TLogColumnType LogColumnType(int bit, TLogSourceKind kind) {
  if (kind == TLogSourceKind::Sensor) return {-1, "Sensor", kSensorWidth, "Sensor", 0, false};
  const TLogTypeInfo* info = FindLogType(bit);
  if (!info) return {bit, "", 0, "", -1, false};
  TLogColumnType type{bit, info->HeaderCaption, info->Width, info->NamePart, info->Slot,
                      IsVirtualLogType(bit)};
  const bool average = bit == 8 || bit == 9;
  if (average && kind == TLogSourceKind::IntervalCounter) {
    type.Width = kIntervalAverageWidth;
    type.NamePart = "IVC" + type.NamePart;
  }
  return type;
}

std::vector<TLogColumnType> LogColumnTypes(uint32_t types, TLogSourceKind kind) {
  if (kind == TLogSourceKind::Sensor) {
    if (types == 0) return {};
    return {LogColumnType(-1, kind)};
  }
  std::vector<TLogColumnType> columns;
  for (int bit = 0; bit < kLogTypeCount; ++bit)
    if (types >> bit & 1u) columns.push_back(LogColumnType(bit, kind));
  return columns;
}

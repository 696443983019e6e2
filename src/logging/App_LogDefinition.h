#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "logging/LogTypes.h"

class TAppSettings;

constexpr int kLogEnabledRows = 4;
constexpr int kLogChannels = 24;
// Row 1: channels to write; row 2: old linear-combination marks; row 3: DGI cards; row 4: unused.
// Indexed [row - 1][channel - 1].
using TLogEnabledArray = std::array<std::array<bool, kLogChannels>, kLogEnabledRows>;

// One source of a log file: which session, which string class, which quantities and channels.
class TSimpleLogDefinition {
 public:
  int32_t SessionIndex() const { return FSource; }
  void SetSessionIndex(int32_t Value) { FSource = Value; }
  bool SourceCopy() const { return FSourceCopy; }
  void SetSourceCopy(bool Value) { FSourceCopy = Value; }
  uint32_t LogTypes() const { return FTypes; }
  void SetLogTypes(uint32_t Value) { FTypes = Value; }
  // Bits 0..31; other bits read false and are not set. Setting only adds.
  bool HasLogType(int bit) const;
  void SetHasLogType(int bit);
  TSamplerStringClass StringClass() const { return FStringClass; }
  void SetStringClass(TSamplerStringClass Value) { FStringClass = Value; }
  const TLogEnabledArray& Enabled() const { return FEnabled; }
  void SetEnabled(const TLogEnabledArray& Value) { FEnabled = Value; }
  // Rows 1..4, channels 1..24; outside: false and ignored.
  bool IsEnabled(int row, int channel) const;
  void SetIsEnabled(int row, int channel, bool Value);
  // 24 characters "0"/"1"; setting takes "1" as enabled, anything else (or a missing character)
  // as not enabled.
  std::string LogEnabledString(int row) const;
  void SetLogEnabledString(int row, const std::string& Value);
  double ReportFactor() const { return FReportFactor; }
  void SetReportFactor(double Value) { FReportFactor = Value; }

  std::string ToString() const;

  // Keys prefix + name; LogTypes from format version 4 on, the single "LogType" bit before.
  void ReadSettings(TAppSettings& settings, const std::string& prefix, int32_t versionFormat);
  void SaveSettings(TAppSettings& settings, const std::string& prefix) const;

 private:
  int32_t FSource = 0;
  bool FSourceCopy = false;
  uint32_t FTypes = 0;
  TSamplerStringClass FStringClass = sscStandard;
  TLogEnabledArray FEnabled{};
  double FReportFactor = 1.0;
};

// One log file: its name pattern, options and the simple definitions it combines (the first is
// the main one, which sets the pace and the file's date).
class TLogDefinition {
 public:
  TLogDefinition() = default;
  TLogDefinition(const TLogDefinition& other);
  TLogDefinition& operator=(const TLogDefinition& other);

  int Count() const { return static_cast<int>(FDefinitionList.size()); }
  // index 0..Count-1; throws std::out_of_range otherwise.
  TSimpleLogDefinition& Definition(int index);
  const TSimpleLogDefinition& Definition(int index) const;
  TSimpleLogDefinition& AddDefinition(const TSimpleLogDefinition& simple = {});
  void RemoveDefinition(int index);

  const std::string& FileName() const { return FFileName; }
  void SetFileName(const std::string& Value) { FFileName = Value; }
  bool PrependDate() const { return FPrependDate; }
  void SetPrependDate(bool Value) { FPrependDate = Value; }
  bool AddHeader() const { return FAddHeader; }
  void SetAddHeader(bool Value) { FAddHeader = Value; }
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value) { FEnabled = Value; }
  int64_t FileSize() const { return FFileSize; }
  // A negative limit is stored as 0 (none).
  void SetFileSize(int64_t Value) { FFileSize = Value < 0 ? 0 : Value; }
  bool DifferentDevices() const { return FDifferentDevices; }
  void SetDifferentDevices(bool Value) { FDifferentDevices = Value; }
  // "Sync Time": the sync column shows the session's sync time instead of the sync marker.
  bool Option() const { return FOption; }
  void SetOption(bool Value) { FOption = Value; }

  // A simple definition of the source has the type bit aTypes (-1 = any) and, for cType 1..4, an
  // enabled entry in that row of Enabled.
  bool HasDefinition(int32_t sIndex, bool sCopy, int aTypes, int cType) const;
  bool HasDefinitionMask(int32_t sIndex, bool sCopy, uint32_t aMask) const;
  bool HasStringClass(int32_t sIndex, bool sCopy, TSamplerStringClass aStringClass) const;
  // Renumbers the sources with index oldIndex.
  void UpdateSessionIndex(int32_t oldIndex, int32_t newIndex);

  // Keys prefix + name, prefix being "Log_" + d + "_".
  void ReadSettings(TAppSettings& settings, const std::string& prefix, int32_t versionFormat);
  void SaveSettings(TAppSettings& settings, const std::string& prefix) const;

 private:
  std::vector<std::unique_ptr<TSimpleLogDefinition>> FDefinitionList;
  std::string FFileName;
  bool FPrependDate = false;
  bool FAddHeader = true;
  bool FEnabled = true;
  int64_t FFileSize = 0;
  bool FDifferentDevices = false;
  bool FOption = false;
};

// Most definitions, and simple definitions per definition, a settings file may hold; a larger
// count is a damaged file (ESettingsCountError).
inline constexpr int32_t kMaxLogDefinitions = 1000;
inline constexpr int32_t kMaxSimpleDefinitions = 1000;

// All log definitions from "Log_DefsCount" and the "Log_" + d + "_" keys.
std::vector<std::unique_ptr<TLogDefinition>> ReadLogDefinitions(TAppSettings& settings);
// Removes every key starting with "Log_", then writes the definitions that exist (null entries
// are empty slots), numbered from 1 without gaps.
void SaveLogDefinitions(TAppSettings& settings, const std::vector<const TLogDefinition*>& definitions);

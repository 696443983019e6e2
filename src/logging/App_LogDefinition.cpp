#include "logging/App_LogDefinition.h"

#include <charconv>
#include <stdexcept>

#include "core/App_Settings.h"
#include "core/QV_NumberText.h"
#include "core/SettingsCount.h"

namespace {
// The first format version that stores the types as a bit set.
constexpr int32_t kVersionLogTypeSet = 4;
const std::string kNoneEnabled(kLogChannels, '0');

bool ValidRow(int row) { return row >= 1 && row <= kLogEnabledRows; }

// A byte count as stored; anything but a whole number reads as 0 (no limit).
int64_t ParseFileSize(const std::string& text) {
  const std::string_view trimmed = TrimBlanks(text);
  int64_t value = 0;
  const auto [end, ec] = std::from_chars(trimmed.data(), trimmed.data() + trimmed.size(), value);
  if (ec != std::errc() || end != trimmed.data() + trimmed.size()) return 0;
  return value;
}
}  // namespace

bool TSimpleLogDefinition::HasLogType(int bit) const {
  return bit >= 0 && bit < 32 && (FTypes >> bit & 1u);
}

void TSimpleLogDefinition::SetHasLogType(int bit) {
  if (bit >= 0 && bit < 32) FTypes |= 1u << bit;
}

bool TSimpleLogDefinition::IsEnabled(int row, int channel) const {
  if (!ValidRow(row) || channel < 1 || channel > kLogChannels) return false;
  return FEnabled[static_cast<size_t>(row - 1)][static_cast<size_t>(channel - 1)];
}

void TSimpleLogDefinition::SetIsEnabled(int row, int channel, bool Value) {
  if (!ValidRow(row) || channel < 1 || channel > kLogChannels) return;
  FEnabled[static_cast<size_t>(row - 1)][static_cast<size_t>(channel - 1)] = Value;
}

std::string TSimpleLogDefinition::LogEnabledString(int row) const {
  std::string text;
  for (int channel = 1; channel <= kLogChannels; ++channel) text += IsEnabled(row, channel) ? '1' : '0';
  return text;
}

void TSimpleLogDefinition::SetLogEnabledString(int row, const std::string& Value) {
  for (int channel = 1; channel <= kLogChannels; ++channel)
    SetIsEnabled(row, channel, static_cast<size_t>(channel) <= Value.size() && Value[channel - 1] == '1');
}

std::string TSimpleLogDefinition::ToString() const {
  std::string text = "Session=" + std::to_string(FSource) + "/" + BoolText(FSourceCopy) +
                     " StringClass=" + SamplerStringClassName(FStringClass) +
                     " Types=" + IntToHex(FTypes, 8) + " ReportFactor=" + FloatToShortest(FReportFactor);
  for (int row = 1; row <= kLogEnabledRows; ++row)
    text += " Enabled[" + std::to_string(row) + "]=" + LogEnabledString(row);
  return text;
}

void TSimpleLogDefinition::ReadSettings(TAppSettings& settings, const std::string& prefix,
                                        int32_t versionFormat) {
  FSource = settings.GetValue(prefix + "SessionIndex", int32_t{0});
  FSourceCopy = settings.GetValue(prefix + "SourceCopy", false);
  const int32_t stringClass = settings.GetValue(prefix + "StringClass", int32_t{0});
  FStringClass = stringClass >= 0 && stringClass < kSamplerStringClassCount
                     ? static_cast<TSamplerStringClass>(stringClass)
                     : sscStandard;
  FTypes = 0;
  if (versionFormat >= kVersionLogTypeSet)
    FTypes = settings.GetUValue(prefix + "LogTypes", 0u);
  else
    SetHasLogType(settings.GetValue(prefix + "LogType", int32_t{0}));
  for (int row = 1; row <= kLogEnabledRows; ++row)
    SetLogEnabledString(row, settings.GetValue(prefix + "Enabled" + std::to_string(row), kNoneEnabled));
}

void TSimpleLogDefinition::SaveSettings(TAppSettings& settings, const std::string& prefix) const {
  settings.SetValue(prefix + "SessionIndex", FSource);
  settings.SetValue(prefix + "SourceCopy", FSourceCopy);
  settings.SetValue(prefix + "StringClass", static_cast<int32_t>(FStringClass));
  settings.SetUValue(prefix + "LogTypes", FTypes);
  settings.SetVersionFormat(kVersionLogTypeSet);
  for (int row = 1; row <= kLogEnabledRows; ++row)
    settings.SetValue(prefix + "Enabled" + std::to_string(row), LogEnabledString(row));
}

TLogDefinition::TLogDefinition(const TLogDefinition& other) { *this = other; }

TLogDefinition& TLogDefinition::operator=(const TLogDefinition& other) {
  if (this == &other) return *this;
  FDefinitionList.clear();
  for (const auto& simple : other.FDefinitionList)
    FDefinitionList.push_back(std::make_unique<TSimpleLogDefinition>(*simple));
  FFileName = other.FFileName;
  FPrependDate = other.FPrependDate;
  FAddHeader = other.FAddHeader;
  FEnabled = other.FEnabled;
  FFileSize = other.FFileSize;
  FDifferentDevices = other.FDifferentDevices;
  FOption = other.FOption;
  return *this;
}

TSimpleLogDefinition& TLogDefinition::Definition(int index) {
  if (index < 0 || index >= Count()) throw std::out_of_range("TLogDefinition.Definition " + std::to_string(index));
  return *FDefinitionList[static_cast<size_t>(index)];
}

const TSimpleLogDefinition& TLogDefinition::Definition(int index) const {
  return const_cast<TLogDefinition*>(this)->Definition(index);
}

TSimpleLogDefinition& TLogDefinition::AddDefinition(const TSimpleLogDefinition& simple) {
  FDefinitionList.push_back(std::make_unique<TSimpleLogDefinition>(simple));
  return *FDefinitionList.back();
}

void TLogDefinition::RemoveDefinition(int index) {
  if (index < 0 || index >= Count()) return;
  FDefinitionList.erase(FDefinitionList.begin() + index);
}

bool TLogDefinition::HasDefinition(int32_t sIndex, bool sCopy, int aTypes, int cType) const {
  for (const auto& simple : FDefinitionList) {
    if (simple->SessionIndex() != sIndex || simple->SourceCopy() != sCopy) continue;
    if (aTypes != -1 && !simple->HasLogType(aTypes)) continue;
    if (!ValidRow(cType)) return true;
    for (int channel = 1; channel <= kLogChannels; ++channel)
      if (simple->IsEnabled(cType, channel)) return true;
  }
  return false;
}

bool TLogDefinition::HasDefinitionMask(int32_t sIndex, bool sCopy, uint32_t aMask) const {
  for (const auto& simple : FDefinitionList)
    if (simple->SessionIndex() == sIndex && simple->SourceCopy() == sCopy && (simple->LogTypes() & aMask))
      return true;
  return false;
}

bool TLogDefinition::HasStringClass(int32_t sIndex, bool sCopy, TSamplerStringClass aStringClass) const {
  for (const auto& simple : FDefinitionList)
    if (simple->SessionIndex() == sIndex && simple->SourceCopy() == sCopy &&
        simple->StringClass() == aStringClass)
      return true;
  return false;
}

void TLogDefinition::UpdateSessionIndex(int32_t oldIndex, int32_t newIndex) {
  for (auto& simple : FDefinitionList)
    if (simple->SessionIndex() == oldIndex) simple->SetSessionIndex(newIndex);
}

void TLogDefinition::ReadSettings(TAppSettings& settings, const std::string& prefix, int32_t versionFormat) {
  FAddHeader = settings.GetValue(prefix + "AddHeader", true);
  FEnabled = settings.GetValue(prefix + "Enabled", true);
  FFileName = settings.GetValue(prefix + "FileName", std::string());
  FDifferentDevices = settings.GetValue(prefix + "DifferentDevices", false);
  SetFileSize(ParseFileSize(settings.GetValue(prefix + "FileSize", std::string("0"))));
  FPrependDate = settings.GetValue(prefix + "PrependDate", false);
  FOption = settings.GetValue(prefix + "Option", false);
  const int32_t count =
      CheckedCount(settings, prefix + "Count", settings.GetValue(prefix + "Count", int32_t{0}), kMaxSimpleDefinitions);
  FDefinitionList.clear();
  for (int32_t i = 1; i <= count; ++i)
    AddDefinition().ReadSettings(settings, prefix + "Simple" + std::to_string(i) + "_", versionFormat);
}

void TLogDefinition::SaveSettings(TAppSettings& settings, const std::string& prefix) const {
  settings.SetValue(prefix + "AddHeader", FAddHeader);
  settings.SetValue(prefix + "Enabled", FEnabled);
  settings.SetValue(prefix + "FileName", FFileName);
  settings.SetValue(prefix + "DifferentDevices", FDifferentDevices);
  settings.SetValue(prefix + "FileSize", std::to_string(FFileSize));
  settings.SetValue(prefix + "PrependDate", FPrependDate);
  settings.SetValue(prefix + "Option", FOption);
  settings.SetValue(prefix + "Count", static_cast<int32_t>(FDefinitionList.size()));
  for (size_t i = 0; i < FDefinitionList.size(); ++i)
    FDefinitionList[i]->SaveSettings(settings, prefix + "Simple" + std::to_string(i + 1) + "_");
}

std::vector<std::unique_ptr<TLogDefinition>> ReadLogDefinitions(TAppSettings& settings) {
  const auto lock = settings.Lock();
  const int32_t version = settings.VersionFormat();
  const int32_t count =
      CheckedCount(settings, "Log_DefsCount", settings.GetValue("Log_DefsCount", int32_t{0}), kMaxLogDefinitions);
  std::vector<std::unique_ptr<TLogDefinition>> definitions;
  for (int32_t d = 1; d <= count; ++d) {
    auto definition = std::make_unique<TLogDefinition>();
    definition->ReadSettings(settings, "Log_" + std::to_string(d) + "_", version);
    definitions.push_back(std::move(definition));
  }
  return definitions;
}

void SaveLogDefinitions(TAppSettings& settings, const std::vector<const TLogDefinition*>& definitions) {
  const auto lock = settings.Lock();
  settings.RemoveKeys("Log_");
  int32_t count = 0;
  for (const TLogDefinition* definition : definitions) count += definition ? 1 : 0;
  settings.SetValue("Log_DefsCount", count);
  int32_t d = 0;
  for (const TLogDefinition* definition : definitions)
    if (definition) definition->SaveSettings(settings, "Log_" + std::to_string(++d) + "_");
}

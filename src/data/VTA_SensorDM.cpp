#include "data/VTA_SensorDM.h"

#include <cmath>
#include <limits>

#include "core/LogUnit.h"
#include "core/QV_NumberText.h"
#include "data/ISamplerSink.h"

namespace {

constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();
constexpr int32_t kSensorWarningCode = 42;

std::string ValueField(double value, int width, char separator) {
  if (!std::isfinite(value)) return std::string(static_cast<size_t>(std::max(width - 1, 0)), ' ') + "-";
  return FormatFloatFixed(value, width, 2, separator);
}

}  // namespace

std::string SensorLogLine(std::span<const double> values, char decimalSeparator) {
  std::string line;
  line.reserve(values.size() * kSensorFieldWidth);
  for (const double value : values) line += ValueField(value, kSensorFieldWidth, decimalSeparator);
  return line;
}

TVTA_SensorDM::TVTA_SensorDM(int32_t aLogID, int32_t aSessId, bool aSessIsCopy)
    : TDataManagement(aLogID, aSessId, aSessIsCopy, "TVTA_SensorDM"), FHistory(DM_MaxChannels) {}

TVTA_SensorDM::~TVTA_SensorDM() = default;

void TVTA_SensorDM::SetNumberFormats(const TFormatSettings& win, const TFormatSettings& log) {
  std::lock_guard lock(FLockObj);
  FFormatWin = win;
  FFormatLog = log;
}

void TVTA_SensorDM::SetSignals(std::vector<TSensorSignalInfo> signals, std::vector<int32_t> channelToSignal) {
  const auto count = static_cast<int32_t>(std::min<size_t>(channelToSignal.size(), DM_MaxChannels));
  {
    std::lock_guard lock(FLockObj);
    FSignals = std::move(signals);
    FChannelToSignal = std::move(channelToSignal);
  }
  SetChannelCount(count);
}

void TVTA_SensorDM::AddValues(std::span<const double> values, TWallTime time) {
  std::lock_guard lock(FLockObj);
  const auto count = static_cast<int32_t>(std::min<size_t>(values.size(), DM_MaxChannels));
  if (count != ChannelCount()) SetChannelCount(count);
  FCurrent.assign(values.begin(), values.begin() + count);
  FLastTime = time;
  ++FSetCount;
  const int32_t x = LaufX(hsNone);
  for (int32_t k = 0; k < DM_MaxChannels; ++k) FHistory[static_cast<size_t>(k)][static_cast<size_t>(x)] = k < count ? values[static_cast<size_t>(k)] : kNoValue;
  AdvanceX(hsNone);

  const TSensorWarning warning = FCheck ? FCheck(FCurrent) : TSensorWarning{};
  if (!warning.Text.empty()) AddWarning(kSensorWarningCode, warning.Text);
  if (!FSampler) return;
  FSampler->AddString(SessId(), SessIsCopy(), SensorLogLine(FCurrent, FFormatLog.DecimalSeparator));
  if (!warning.Text.empty() && warning.LogAlarm) FSampler->AddWarning(SessId(), SessIsCopy(), warning.Text);
}

double TVTA_SensorDM::CurrentValue(int32_t kanal) const {
  std::lock_guard lock(FLockObj);
  return kanal >= 1 && static_cast<size_t>(kanal) <= FCurrent.size() ? FCurrent[static_cast<size_t>(kanal - 1)] : kNoValue;
}

std::vector<double> TVTA_SensorDM::CurrentValues() const {
  std::lock_guard lock(FLockObj);
  return FCurrent;
}

TWallTime TVTA_SensorDM::LastTime() const {
  std::lock_guard lock(FLockObj);
  return FLastTime;
}

int64_t TVTA_SensorDM::SetCount() const {
  std::lock_guard lock(FLockObj);
  return FSetCount;
}

std::vector<double> TVTA_SensorDM::GetValues(int32_t kanal, int32_t startX, int32_t count) const {
  if (kanal < 1 || kanal > DM_MaxChannels || count <= 0) return {};
  std::lock_guard lock(FLockObj);
  const THistory& history = FHistory[static_cast<size_t>(kanal - 1)];
  std::vector<double> values(static_cast<size_t>(std::min(count, DM_HistoryLength)));
  for (size_t i = 0; i < values.size(); ++i) values[i] = history[static_cast<size_t>((startX + int32_t(i)) & DM_HistoryMask)];
  return values;
}

std::string TVTA_SensorDM::ValueText(double value) const {
  std::lock_guard lock(FLockObj);
  return ValueField(value, 0, FFormatWin.DecimalSeparator);
}

int32_t TVTA_SensorDM::SignalTypeCount() const {
  std::lock_guard lock(FLockObj);
  return static_cast<int32_t>(FSignals.size());
}

TSensorSignalInfo TVTA_SensorDM::SignalInfo(int32_t signal) const {
  std::lock_guard lock(FLockObj);
  return signal >= 1 && static_cast<size_t>(signal) <= FSignals.size() ? FSignals[static_cast<size_t>(signal - 1)]
                                                                      : TSensorSignalInfo{};
}

int32_t TVTA_SensorDM::ChannelToSignal(int32_t kanal) const {
  std::lock_guard lock(FLockObj);
  return kanal >= 1 && static_cast<size_t>(kanal) <= FChannelToSignal.size()
             ? FChannelToSignal[static_cast<size_t>(kanal - 1)]
             : 0;
}

void TVTA_SensorDM::Reset() {
  {
    std::lock_guard lock(FLockObj);
    FCurrent.clear();
    FLastTime = {};
    FSetCount = 0;
    for (THistory& history : FHistory) history.fill(kNoValue);
  }
  TDataManagement::Reset();
}

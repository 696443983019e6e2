#include "alarms/SensorAlarm.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "core/Clock.h"
#include "core/QV_NumberText.h"

namespace {

// The value with thousands separators and 2 decimals ("1,234.50").
std::string GroupedText(double value, const TFormatSettings& fs) {
  if (!std::isfinite(value)) return FloatToShortest(value);
  std::string digits = FormatFloatFixed(std::fabs(value), 0, 2, fs.DecimalSeparator);
  for (size_t i = digits.size() - 3; i > 3; i -= 3) digits.insert(i - 3, 1, fs.ThousandSeparator);
  return (std::signbit(value) && digits.find_first_not_of("0.,") != std::string::npos ? "-" : "") + digits;
}

std::optional<int32_t> IntPart(const std::string& text) {
  const std::string_view part = TrimBlanks(text);
  int32_t value = 0;
  const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), value);
  if (part.empty() || error != std::errc{} || end != part.data() + part.size()) return std::nullopt;
  return value;
}

}  // namespace

std::string SensorRangeInfoText(const TSensorRangeInfo& value) {
  const TFormatSettings fs;
  return FloatToText(value.Min, fs) + ", " + FloatToText(value.Max, fs) + ", " + BoolText(value.Warn);
}

std::optional<TSensorRangeInfo> ParseSensorRangeInfo(const std::string& text) {
  const std::vector<std::string> parts = SplitText(text, ", ");
  if (parts.size() != 3) return std::nullopt;
  const TFormatSettings fs;
  const auto min = TextToFloat(NormaliseDecimalSeparator(parts[0], fs.DecimalSeparator), fs);
  const auto max = TextToFloat(NormaliseDecimalSeparator(parts[1], fs.DecimalSeparator), fs);
  const std::string_view warn = TrimBlanks(parts[2]);
  if (!min || !max || (warn != "True" && warn != "False")) return std::nullopt;
  return TSensorRangeInfo{*min, *max, warn == "True"};
}

std::string SensorAlarmText(const TSensorAlarm& value) {
  return std::to_string(value.RepeatCount) + ", " + std::to_string(value.IdleTime) + ", " + BoolText(value.LogAlarm);
}

std::optional<TSensorAlarm> ParseSensorAlarm(const std::string& text) {
  const std::vector<std::string> parts = SplitText(text, ", ");
  if (parts.size() != 3) return std::nullopt;
  const auto repeat = IntPart(parts[0]);
  const auto idle = IntPart(parts[1]);
  const std::string_view log = TrimBlanks(parts[2]);
  if (!repeat || !idle || (log != "True" && log != "False")) return std::nullopt;
  return TSensorAlarm{*repeat, *idle, log == "True"};
}

TSensorAlarmCheck::TSensorAlarmCheck(const TClock& clock, TFormatSettings format)
    : FClock(&clock), FFormat(format) {}

void TSensorAlarmCheck::SetRangeInfo(int32_t kanal, const TSensorRangeInfo& range) {
  if (kanal < 1) return;
  if (FRanges.size() < static_cast<size_t>(kanal)) FRanges.resize(kanal);
  FRanges[kanal - 1] = range;
}

TSensorRangeInfo TSensorAlarmCheck::RangeInfo(int32_t kanal) const {
  return kanal >= 1 && static_cast<size_t>(kanal) <= FRanges.size() ? FRanges[kanal - 1] : TSensorRangeInfo{};
}

void TSensorAlarmCheck::SetSensorAlarm(const TSensorAlarm& value) {
  FSensorAlarm = value;
  FAlarmViolationCount = 0;
  FLastAlarmTick.reset();
}

// The shared count counts consecutive sets in which a watched channel is out of range, so that one
// channel out of range raises its warning while the others are fine. A warning names every watched
// channel out of range in its set.
void TSensorAlarmCheck::CheckAlarm(std::span<const double> values, std::string& text) {
  text.clear();
  std::string named;
  const size_t channels = std::min(values.size(), FRanges.size());
  for (size_t i = 0; i < channels; ++i) {
    const TSensorRangeInfo& range = FRanges[i];
    const double value = values[i];
    if (!range.Warn || (value >= range.Min && !(value > range.Max))) continue;
    named += (named.empty() ? "Sensor warning on channel " : ", ") + std::to_string(i + 1) + ": " +
             GroupedText(value, FFormat);
  }
  if (named.empty()) {
    FAlarmViolationCount = 0;
    return;
  }
  ++FAlarmViolationCount;
  const uint64_t now = FClock->TickMs();
  const uint64_t idleMs = static_cast<uint64_t>(std::max(FSensorAlarm.IdleTime, 0)) * 60000;
  if (FAlarmViolationCount < std::max(FSensorAlarm.RepeatCount, 1)) return;
  if (FLastAlarmTick && now - *FLastAlarmTick < idleMs) return;
  FAlarmViolationCount = 0;
  FLastAlarmTick = now;
  text = named;
}

#include "protocol/QV_ProcessState.h"

#include <algorithm>
#include <charconv>
#include <climits>

#include "core/LogUnit.h"
#include "core/QV_NumberText.h"
#include "devices/QV_CommonTypes.h"
#include "protocol/QV_Header.h"
#include "devices/QV_ReportCodes.h"

const char* const QV_InterfaceVersion = "20.2.7 25-01-07";

namespace {

// Expected counts per data-header interval index 0..13: measurements per timestamp up to the
// timestamp's own interval, timestamps per measurement beyond it.
constexpr uint32_t Expected7016[14] = {100, 50, 20, 10, 5, 2, 1, 2, 5, 10, 20, 50, 100, 200};
constexpr uint32_t Expected7015[14] = {1000, 500, 200, 100, 50, 20, 10, 5, 2, 1, 2, 5, 10, 20};
constexpr int LastManyPerTimestamp7016 = 6;
constexpr int LastManyPerTimestamp7015 = 9;

// Time since the last good check: t tenth seconds ("300ms", "1.5s") or t seconds ("3s").
std::string ElapsedText(uint32_t t, bool tenths) {
  if (!tenths) return std::to_string(t) + "s";
  if (t < 10) return std::to_string(t * 100) + "ms";
  return FormatFloatFixed(t / 10.0, 0, 1) + "s";
}

}  // namespace

TQV_ProcessState::TQV_ProcessState() = default;

void TQV_ProcessState::ResetPhaseData() { Channels.fill(TQV_ChannelState{}); }

void TQV_ProcessState::ResetTimestampDataCounter() {
  FFirstTimestampReceived = false;
  FTimestampCounter = 0;
  FFirstDataReceived = false;
  dataPerSecondCounter = 0;
  FFirstCheckDataPerSecondCounter = true;
}

void TQV_ProcessState::ResetChecks(std::string_view reason) {
  Log(reason);
  ResetTimestampDataCounter();
}

void TQV_ProcessState::TakeTimestamp(bool countTimestamp, std::string_view firstLogText) {
  if (FFirstDataReceived && countTimestamp) IncTimestampCounter();
  if (!FFirstTimestampReceived) {
    FFirstTimestampReceived = true;
    Log(firstLogText);
  }
  dataPerSecondCounter_copy = dataPerSecondCounter;
  if (dataPerSecondCounter != 0) dataPerSecondCounterReset = dataPerSecondCounter;
  dataPerSecondCounter = 0;
}

void TQV_ProcessState::CountMeasurement(std::string_view firstLogText) {
  if (!FFirstDataReceived) {
    FFirstDataReceived = true;
    Log(firstLogText);
  }
  if (FFirstTimestampReceived) ++dataPerSecondCounter;
}

int32_t MissingMeasurements(std::string_view failureText) {
  constexpr std::string_view lead = "Measurement missing: expected ";
  const size_t at = failureText.find(lead);
  if (at == std::string_view::npos) return 0;
  const char* p = failureText.data() + at + lead.size();
  const char* end = failureText.data() + failureText.size();
  int64_t expected = 0, found = 0;
  auto [afterExpected, ec1] = std::from_chars(p, end, expected);
  constexpr std::string_view mid = ", found ";
  if (ec1 != std::errc() || std::string_view(afterExpected, end - afterExpected).substr(0, mid.size()) != mid) return 0;
  if (std::from_chars(afterExpected + mid.size(), end, found).ec != std::errc()) return 0;
  return found < expected ? static_cast<int32_t>(std::min<int64_t>(expected - found, INT32_MAX)) : 0;
}

std::string TQV_ProcessState::CheckDataPerSecondCounter() {
  const bool tenths = FHeader == rc_TenthSecond;
  if (!FFirstDataReceived || !FFirstTimestampReceived || (FHeader != rc_Second && !tenths)) {
    Log(".CheckDataPerSecondCounter NO data/timestamp checks: FirstDataReceived=" + std::string(BoolText(FFirstDataReceived)) +
        ", FirstTimestampReceived=" + BoolText(FFirstTimestampReceived) + ", Header=" +
        IntToHex(static_cast<uint32_t>(FHeader) & 0xFFFF, 4));
    return {};
  }
  const TQVHeader dataHeader(FDataHeader == QV_NoHeader ? 0xFFFF : static_cast<uint16_t>(FDataHeader));
  const int k = dataHeader.IntervalIndex();
  if (FDataHeader == QV_NoHeader || !dataHeader.IntervalIndexValid() || k < 0 || k > 13) {
    Log(".CheckDataPerSecondCounter NO data/timestamp checks:  invalid DataHeader");
    return {};
  }

  const uint32_t expected = tenths ? Expected7016[k] : Expected7015[k];
  const bool manyPerTimestamp = k <= (tenths ? LastManyPerTimestamp7016 : LastManyPerTimestamp7015);
  const uint32_t m = dataPerSecondCounter_copy;
  uint32_t& t = FTimestampCounter;
  std::string text;
  if (manyPerTimestamp) {
    if (expected != m) {
      text = std::string(expected < m ? "Timestamp" : "Measurement") + " missing: expected " + std::to_string(expected) +
             ", found " + std::to_string(m);
      t = 0;
    }
  } else if (t < expected) {
    if (m != 0)
      text = "Timestamp missing: " + std::to_string(m) +
             (tenths ? " measurements, found after " : " measurements found after ") + ElapsedText(t, tenths);
  } else if (m != 1) {
    text = "Measurement missing: expected 1, found " + std::to_string(m) + " after " + ElapsedText(t, tenths);
    t = 0;
  }
  if (!manyPerTimestamp && m == 1) t = 0;

  if (!text.empty()) {
    const std::string logText =
        tenths ? Tagged(".CheckDataPerSecondCounter failed: " + text) : "CheckDataPerSecondCounter failed: " + text;
    if (FFirstCheckDataPerSecondCounter)
      LogIt(FLogId, logText);
    else
      LogWarn(FLogId, logText);
  }
  if (FFirstCheckDataPerSecondCounter) {
    if (FLastZctHeader != QV_NoHeader && FLastZctHeader < QV_FirstReportCode) {
      if (FileDataLoopForEver) {
        Log("CheckDataPerSecondCounter: FileData with LoopForEver -> NO reset");
      } else {
        dataPerSecondCounter = 0;
        FTimestampCounter = 0;
        FFirstCheckDataPerSecondCounter = false;
        Log("CheckDataPerSecondCounter reset FirstCheckFlag and counter");
      }
    }
    if (!text.empty()) Log("CheckDataPerSecondCounter ignore error message");
    text.clear();
  }
  if (!tenths) FLastZctHeader = rc_Second;
  return text.empty() ? std::string() : "7F22: " + text;
}

std::string TQV_ProcessState::Tagged(std::string_view text) const {
  std::string line = FDbgTag;
  if (!text.starts_with('.')) line += '.';
  line += text;
  return line;
}

void TQV_ProcessState::LogReportLine(std::string_view line) const {
  if (FReportLog && !line.empty()) LogIt(FLogId, "         " + std::string(line));
}

void TQV_ProcessState::Log(std::string_view text) const { LogIt(FLogId, Tagged(text)); }
void TQV_ProcessState::Warn(std::string_view text) const { LogWarn(FLogId, Tagged(text)); }
void TQV_ProcessState::Error(std::string_view text) const { LogError(FLogId, Tagged(text)); }

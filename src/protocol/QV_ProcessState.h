#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

class TQV_BaseDevice;

// Measurements that a count-failure text reports as missing: "Measurement missing: expected E,
// found M" gives E - M when M < E; any other text (timestamp failures, surplus) gives 0.
int32_t MissingMeasurements(std::string_view failureText);

// Version text of the source interface; report processing appends it to device versions.
extern const char* const QV_InterfaceVersion;

// "No header seen yet" for FDataHeader and FLastZctHeader.
constexpr int32_t QV_NoHeader = 0x10000;

// What report processing needs from the source that owns the state. The source lives in a higher
// layer, so it implements this and hands it down.
class IQV_ProcessHost {
 public:
  virtual ~IQV_ProcessHost() = default;
  // A 7F51 report: the decoder re-synchronises.
  virtual void ReSync() = 0;
  // A version report arrived: the source takes the interval-counter-only flag from the decoder.
  virtual void TakeIsIVConly() = 0;
  // Address and port of the source's own data server ("" without one), to mark "(me)" in the
  // connected-users list.
  virtual std::string ServerIPAndPort() const = 0;
};

// Decoding state of one channel, carried from report to report.
struct TQV_ChannelState {
  int64_t High = 0;           // accumulated phase wraps (integral cycles)
  double Low = 0;             // last decoded value: phase within the wrap, frequency or |difference|
  int32_t ExpoAlt = 0;        // exponent of the last packed value
  int32_t NumAlt = 0;         // phases: top nibble of the last mantissa; differences: its low word
  double PhaseDoubleOld = 0;  // network module: last phase double
  double IVCDoubles = 0;      // last interval-counter value
  // Decimals of the last value's range; the record formatter shows a channel with them.
  int32_t Decimals = 11;
  bool Negative = false;      // phase difference: sign of the last value
};

// The per-source state of report processing: channel state, the header of the report being
// processed, the packed block being handed out and the tallies of the timestamp/measurement count
// check. A source owns one; report processing (QV_ProcessReport) works on it.
class TQV_ProcessState {
 public:
  TQV_ProcessState();

  // Clears the channel state (on opening a connection and when the source asks for it).
  void ResetPhaseData();
  // Clears the count-check tallies; the next check starts over with its grace period.
  void ResetTimestampDataCounter();
  // Logs FDbgTag + reason (a leading "." is added when missing) and resets the tallies.
  void ResetChecks(std::string_view reason);
  void IncTimestampCounter() { ++FTimestampCounter; }
  // The count check for the timestamp report in FHeader (0x7015 or 0x7016): empty, or
  // "7F22: " + the failure text.
  std::string CheckDataPerSecondCounter();

  // Takes the tallies of a timestamp (second or tenth-second counter): the measurement count of the
  // interval just ended moves to the copy, the timestamp counter runs once data have come.
  void TakeTimestamp(bool countTimestamp, std::string_view firstLogText);
  // One more measurement (first-data flag, per-interval count once timestamps have started).
  void CountMeasurement(std::string_view firstLogText);

  // Writes a line to the source log with nine leading blanks while FReportLog is on.
  void LogReportLine(std::string_view line) const;
  // Logs FDbgTag + text ("." added when the text has none).
  void Log(std::string_view text) const;
  void Warn(std::string_view text) const;
  void Error(std::string_view text) const;

  std::array<TQV_ChannelState, 24> Channels;

  int32_t FHeader = QV_NoHeader;        // header of the report being processed (lost bit kept)
  int32_t FDataHeader = QV_NoHeader;    // last measurement header without the lost bit
  int32_t FLastZctHeader = QV_NoHeader; // last timestamp or measurement header
  bool FdasSindMessdaten = false;       // the report being processed is a measurement
  bool FdasSindGepackteDaten = false;   // a packed block is being handed out

  // Packed block: the reports not yet handed out, their count and the length of one.
  std::string PackedString;
  int32_t PackCount = 0;
  int32_t PackLen = 0;

  bool FIVCReceived = false;
  bool FFirstDataReceived = false;
  bool FFirstTimestampReceived = false;
  bool FFirstCheckDataPerSecondCounter = true;
  uint32_t FTimestampCounter = 0;
  uint32_t dataPerSecondCounter = 0;
  uint32_t dataPerSecondCounter_copy = 0;
  // The last non-zero measurement count of an interval: how many to skip after a repeated second
  // that arrives right after a timestamp.
  uint32_t dataPerSecondCounterReset = 0;
  uint32_t ignoreDataPerSecondCounter = 0;

  // Settings of the source.
  bool Fsend7016 = false;
  bool FOptRawData = false;
  int32_t FCalibFactorFloatToInt = 1000;
  char DecimalSeparator = '.';
  bool FReportLog = false;
  int32_t FIVC = 0;                     // interval-counter format: 0 by length, 1 single, 2 groups
  bool FileDataLoopForEver = false;     // looping file playback: the first count check never passes
  std::string OwnVersion = QV_InterfaceVersion;
  int32_t FLogId = -1;
  std::string FDbgTag = "TSourceItem[0]";

  TQV_BaseDevice* Device = nullptr;     // the open device, none while closed (not owned)
  IQV_ProcessHost* Host = nullptr;      // the owning source (not owned)

  // A value too wide for its column has been logged (once per source).
  bool FColumnOverflowLogged = false;

 private:
  std::string Tagged(std::string_view text) const;
};

#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/App_Settings.h"
#include "data/App_DataManagement.h"
#include "data/App_VirtAllanData.h"
#include "data/ISamplerSink.h"
#include "data/ZCT_ValueText.h"
#include "protocol/Phase.h"

class IClockAlarmSink;
class IReportLogSink;
class ISamplerSink;
class TClock;
class TQV_RawData;
class TQV_ReportStruct;

// One high-resolution (HRQ) channel as the counter store takes it from the device's HRQ settings.
struct TZCT_HRQChannel {
  double NomFreq = 0;  // Hz
  double Factor = 1;
  bool enabled = false;
};
using TZCT_HRQChannels = std::array<TZCT_HRQChannel, DM_MaxChannels>;

using TNotifyEvent = std::function<void()>;

// The data store of a counter session. It takes what the session decodes from the device (text
// measurement lines, raw-data lines, report records, header changes, heartbeats, digital inputs,
// HRQ settings, time stamps), derives per channel the phase, frequency, relative frequency, phase
// differences to channel 1 and to the preceding channel, the phase residual against the ideal phase
// of the nominal frequency and the virtual channels, feeds the three Allan calculators, hands the
// value strings to the multi-sampler and the local data server, and keeps 2048 samples of history.
//
// Phases stay whole cycles plus a fraction (Phase) through every step, so a residual after days of
// a 10 MHz signal is still exact to far below a picosecond.
//
// Threads: the report thread calls the extraction operations; each holds the store's lock over the
// whole sample. Every getter takes the lock for the values it copies, so it never sees half a sample.
class TZCT_DataManagement : public TDataManagement {
 public:
  static constexpr int32_t TextFieldWidth = 27;  // ";" + 26 value characters
  static constexpr int32_t RawFieldWidth = 16;   // "; " + "T1 T2 T3" in 14 characters
  static constexpr int32_t MaxDGICards = 8;
  static constexpr int32_t MaxHeartbeatWords = 12;
  static constexpr int32_t AllanTauMax = 19;

  ~TZCT_DataManagement() override;

  // The clock supervision above the data layer; null = not connected. Like the output sinks of the
  // base, it must outlive the store or be set back to null (under no sample).
  void SetClockAlarmSink(IClockAlarmSink* value);

  // --- Extraction (report thread) ---
  bool ExtractData(const std::string& BufCopy, int64_t aDeviceMs);
  // The same for a line whose header word (its first four characters) the caller has already read.
  bool ExtractData(uint16_t header, const std::string& BufCopy, int64_t aDeviceMs);
  bool ExtractRawData(const std::string& BufCopy, int64_t aDeviceMs);
  bool ExtractReport(const TQV_ReportStruct& report);
  void SetNewHeader(uint16_t value);
  void AddHeartbeat(const std::string& s, int64_t aDeviceMs);
  void AddHeartbeat(const TQV_ReportStruct& report);
  bool AddDGI(const std::string& BufCopy);
  bool AddHRQData(const TZCT_HRQChannels& Value);
  virtual void AddTimeStamp(int64_t time100ms);
  void BufferCleared(uint16_t header);
  void DeviceOpened();
  void IncLost();
  // Measurements the count check found missing: they add to the lost count without the reset and
  // log closing of a device-reported loss, since the data before and after them are sound.
  void AddMissing(int32_t count);
  void ReSync(const std::string& text);
  void PhaseDiffResetted();
  void SetRawMode(int32_t rawMs, bool avg);
  void BeginUpdate();
  void EndUpdate();

  void Reset() override;
  bool SetChannelCount(int32_t n) override;

  // --- Nominal frequencies ---
  // kanal 1..24 and Value not 0, else nothing. A changed value resets the Allan calculators and the
  // raw calculator (at EndUpdate inside BeginUpdate/EndUpdate).
  void SetNomFreq(int32_t kanal, double Value);
  double NomFreq(int32_t kanal) const;
  double NomFreqUser(int32_t kanal) const;
  double NomFreqCalculated(int32_t kanal) const;

  // --- Properties ---
  int32_t DGICount() const;
  uint32_t GetDGI(int32_t karte) const;
  bool DeviceHRQSet() const;
  int32_t TimeCount() const;
  int32_t TimeIndex() const;
  bool IsPhaseDiffResetted() const;
  bool ScramblerTrim() const;
  void SetScramblerTrim(bool value);
  int32_t Lost() const;
  bool LocalServerRunning() const;
  void SetLocalServerRunning(bool value);
  bool PLLError() const;
  void SetPLLError(bool value);
  bool Ref20MHz() const;
  void SetRef20MHz(bool value);
  void SetOnDGICount(TOnInt value) { FOnDGICount = std::move(value); }
  void SetOnShortAverage(TNotifyEvent value) { FOnShortAverage = std::move(value); }
  void SetOnLongAverage(TNotifyEvent value) { FOnLongAverage = std::move(value); }

  // --- Device time ---
  int64_t GetZCTTimeGraphic(int32_t xkoord) const;
  // Device ms of the newest position; -1 when empty.
  int64_t LastZCTTime() const;
  // LastZCTTime in seconds; -1 when empty.
  int64_t LastTimeStamp() const;
  int32_t GetNewCountTimeStamp(int32_t startX) const;
  // The last heartbeat as text; taking it empties it.
  std::string HeartbeatString();
  int64_t GetESPTransmitBufferAmount() const;
  int64_t GetESPTransmitBufferHighAmount();

  // --- Derived values for the views (each takes the lock for its copy) ---
  bool IsTextModeEnabled(TTextModeZCT aMode) const;
  bool IsTextRawDataEnabled() const;
  // anz values for positions startX, startX + 1, ... (wrapping); empty for kanal outside 1..24,
  // anz <= 0 or when the mode (tested on physical channel kanal) has no such value.
  std::vector<double> GetFrequDiff(bool virtualChannel, int32_t kanal, int32_t startX, int32_t anz) const;
  std::vector<double> GetFrequDiffRelative(bool virtualChannel, int32_t kanal, int32_t startX, int32_t anz) const;
  std::vector<double> GetPhaDiffPs(bool virtualChannel, int32_t kanal, int32_t startX, int32_t anz) const;
  std::vector<double> GetPhaPredecessorPs(bool virtualChannel, int32_t kanal, int32_t startX, int32_t anz) const;
  std::vector<double> GetTheoPhaseDiffPs(bool virtualChannel, int32_t kanal, int32_t startX, int32_t anz) const;
  // Positions of the hsShort / hsLong scale.
  std::vector<double> GetAvgShort(bool virtualChannel, int32_t kanal, int32_t startX, int32_t anz) const;
  std::vector<double> GetAvgLong(bool virtualChannel, int32_t kanal, int32_t startX, int32_t anz) const;
  // Newest value per channel 1..ChannelCount (virtual: 1..VirtualChannelCount); NaN where the
  // channel has none.
  std::vector<double> GetLastFrequDiff(bool virtualChannel);
  std::vector<double> GetLastFrequDiffRelative(bool virtualChannel);
  std::vector<double> GetLastPhaDiffPs(bool virtualChannel);
  std::vector<double> GetLastPhaPredecessorPs(bool virtualChannel);
  std::vector<double> GetLastTheoPhaseDiffPs(bool virtualChannel);
  std::vector<double> GetLastAvgShort();
  std::vector<double> GetLastAvgLong();
  // Phase against the ideal 10 MHz phase in blocks of 256 samples, in cycles.
  std::vector<double> GetPhaseTrim(int32_t kanal, int32_t startX, int32_t plotX, int32_t anz) const;
  std::vector<double> GetLastPhaseTrim(int32_t plotX) const;
  std::string GetFrequDiffNoData() const;
  std::string GetPhaDiffPsNoData(int32_t kanal) const;
  std::string GetTheoPhaseDiffPsNoData(int32_t kanal) const;

  // --- Text views (take the lock) ---
  std::string GetTextModeCaption(TTextModeZCT aMode) const;
  std::string GetTextModeVirtualCaption(TTextModeZCT aMode) const;
  std::string GetTextRawDataCaption() const { return "T1   T2   T3"; }
  std::string GetTextModeString(TTextModeZCT aMode, int32_t kanal) const;
  std::string GetTextModeVirtualString(TTextModeZCT aMode, int32_t kanal);
  std::string GetTextRawDataString(int32_t kanal) const;

  // --- Averages ---
  virtual void AddShort(std::span<const double> values, double divisor);
  virtual void AddLong(std::span<const double> values, double divisor);

  bool HasClockAlarm(int32_t kanal) const;

  // --- Allan hooks (take the lock) ---
  std::vector<int64_t> GetADEVCounts(TAllanMode am) const;
  std::vector<double> GetAllanGraphicValues(TAllanMode am, int32_t kanal) const;
  virtual int32_t GetAllanLastTau(TAllanMode am) const;
  std::vector<TAllanPersistEntry> GetAllanPersistValues(TAllanMode am, int32_t kanal) const;
  std::string GetAllanTauCaption(TAllanMode am, int32_t len, int32_t intervalMs) const;
  virtual std::vector<double> GetAllanTextValues(TAllanMode am, int32_t kanal) const;
  TAllanMinMax GetAllanActualYPowerMinMax(TAllanMode am, int32_t kanal) const;
  TAllanMinMax GetAllanYPowerMinMax(TAllanMode am, int32_t kanal) const;
  int32_t AllanDecay() const;
  void SetAllanDecay(int32_t value);
  virtual void ResetAllan();
  virtual void ResetAllanPersist(int32_t channel);
  // Why calculator am has no data in the current mode; "" when it has.
  std::string CheckAllanMode(TAllanMode am) const;
  // Whether calculator am waits for a sample in which every channel has its value.
  bool AllanIgnored(TAllanMode am) const;


 protected:
  // allanDebug: the Allan calculators write to the store's logger (debug category "AllanData").
  TZCT_DataManagement(int32_t aLogId, int32_t aSessId, bool aSessIsCopy, bool allanDebug = false,
                      TClock* allanClock = nullptr);

 private:
  friend class TDataManagement;
  template <typename T>
  using TChannels = std::array<T, DM_MaxChannels + 1>;  // index 0 unused
  template <typename T>
  using THistory = std::array<std::array<T, DM_HistoryLength>, DM_MaxChannels + 1>;
  struct THistories;

  // Helpers of the extraction.
  void Dbg(const std::string& text) const;
  // Whether the store's logger writes: hot paths check it before they build a text.
  bool DbgOn() const;
  void DbgError(const std::string& text) const;
  uint8_t Mode() const;
  int32_t X() const { return LaufX(hsNone); }
  void TakeTime(const char* operation, int64_t ms);
  void UpdateSession(int32_t what, const std::string& text);
  void ApplyLineHeader(uint16_t header);
  void ChannelCountFromSample(int32_t count);
  void PrepareSample(std::string_view rawLine);
  bool AfterExtractData();
  void AddValueString(std::string_view text, int32_t i, uint8_t mode);
  Phase ParsePhaseText(std::string_view text, int32_t i);
  void AddReportValues(const TQV_ReportStruct& report, int32_t count);
  void TakeRawWindow();
  void CalculateRawLine(const std::string& s, int32_t count);
  double HRQFactor(int32_t k) const;

  // Derived values (per channel, under the lock).
  void AddPhase(const Phase& value, int32_t k);
  void FrequencyStep(int32_t k);
  void AddFrequency(double value, int32_t k);
  void CalculateFrequencies(int32_t k);
  void PhaseDiffStep(int32_t k);
  void AddPhaseDifference(const Phase& value, int32_t k);
  void CalculateTheoPhaseOffset();
  void CalculateTheoPhaseOffset(int32_t k);
  void ClearTheoPhaseOffset(int32_t k);
  int32_t SampleIntervalMs() const;
  void CalculateVirtualChannels();
  void ScramblerTrimStep();
  bool AllFrequenciesNew() const;
  void CheckClockAlarm();
  std::span<const double> AllanValues(TAllanMode am);
  bool AllanFedInMode(TAllanMode am) const;
  void FeedAllan();
  void RequestAllanReset();
  void RequestRawDataReset();

  // Strings.
  char WinSep() const { return FOutput.FormatWin.DecimalSeparator; }
  char LogSep() const { return FOutput.FormatLog.DecimalSeparator; }
  std::string PhysicalText(TTextModeZCT aMode, int32_t k, char winSep, char logSep) const;
  std::string VirtualText(TTextModeZCT aMode, int32_t k, char winSep, char logSep);
  int32_t VirtualDecimals(int32_t k);
  bool SamplerStringNeeded(int bit) const;
  void GenerateSamplerStrings();
  void GenerateVirtualSamplerStrings();
  void AddSamplerStrings();
  void AddSamplerStringsRawData();
  void SendServerLines();
  void ClearSamplerStrings();
  void DashDGIs();

  // Graph helpers.
  bool ValidRange(int32_t kanal, int32_t anz) const;
  std::vector<double> Collect(int32_t startX, int32_t anz, const std::function<double(int32_t)>& value) const;
  double VirtualSum(int32_t k, const std::function<double(int32_t i)>& term) const;
  std::vector<double> LastValues(bool virtualChannel,
                                 std::vector<double> (TZCT_DataManagement::*getter)(bool, int32_t, int32_t, int32_t) const);
  double PhaseTrimValue(int32_t kanal, int32_t x, int32_t blockStart, int32_t plotX) const;

  std::unique_ptr<TQV_RawData> FRawData;
  std::array<std::unique_ptr<TVirtAllanData>, 3> FAllanData;
  bool FAllanIgnorePhase = true;      // phase-residual calculator waits for a complete sample
  bool FAllanIgnoreFrequ = true;      // frequency calculator waits for a complete sample
  bool FAllanIgnorePhaseDiff = true;  // phase-difference calculator waits for a complete sample
  std::array<uint32_t, MaxDGICards + 1> FDGI{};
  int32_t FDGICount = 0;
  bool FDeviceHRQSet = false;
  bool FEqualHRQSettings = true;
  TChannels<double> FFactorsHRQ{};
  int64_t FDeviceMs = -1;
  int32_t FTimeCount = 0;
  int32_t FTimeIndex = -1;
  bool FPhaseDiffResetted = true;
  bool FScramblerTrim = false;
  std::string FDGIs_HEX;
  std::string FSamplerPhaseValuesString;
  std::string FSamplerFrequencyValuesString;
  std::string FSamplerPhaseDiffValuesString;
  std::string FSamplerPhasePredecessorValuesString;
  std::string FSamplerPhaseResiduumValuesString;
  std::string FSamplerRawDataString;
  std::string FSamplerADEVValuesString;
  std::string FSamplerVirtualFreqAbsValuesString;
  std::string FSamplerVirtualFreqRelValuesString;
  std::string FSamplerVirtualPhaseResValuesString;
  std::string FSamplerVirtualADEVValuesString;
  std::string FSamplerVirtualPhaseDiffValuesString;
  std::string FSamplerVirtualPhasePrevValuesString;
  TMultiSamplerStrings FSamplerSet;
  int32_t FLost = 0;
  bool FLocalServerRunning = false;
  TOnInt FOnDGICount;
  TNotifyEvent FOnLongAverage;
  TNotifyEvent FOnShortAverage;
  bool FPLLError = false;
  int32_t FUpdateCounter = 0;
  bool FResetAllanNeeded = false;
  bool FResetRawDataNeeded = false;
  int32_t FLetzterKanal = 0;
  std::array<int64_t, DM_HistoryLength> FZCTTime{};
  std::string FSyncTime;
  bool FIgnoreFirstPhase = false;
  TChannels<bool> FSuppressFirstFrequency{};
  TChannels<Phase> PPhase{};
  TChannels<Phase> PPhaseOld{};
  TChannels<Phase> PPhaDiffZero{};
  TChannels<Phase> PPhaPredecessorZero{};
  TChannels<Phase> PPhaseDiff{};
  TChannels<Phase> PPhasePreDiff{};
  TChannels<int32_t> FPhaseDecimals{};
  TChannels<Phase> PVirtPhase{};
  TChannels<Phase> PVirtPhaseDiff{};
  TChannels<Phase> PVirtPhasePreDiff{};
  TChannels<double> FFrequency{};
  TChannels<double> FFrequencyRelative{};
  TChannels<double> FrequGltt{};
  TChannels<double> FNom_Frequ{};
  TChannels<bool> FNom_FrequUser{};
  TChannels<double> FVirtFrequency{};
  TChannels<double> FVirtFrequencyRelative{};
  std::unique_ptr<THistories> FHist;
  int32_t FIntervalMs = -1;
  TChannels<int64_t> FIntervalCount{};
  int64_t Ftheo10MHzPerInterval = 0;
  TChannels<Phase> FtheoNomFreqPerInterval{};
  TChannels<Phase> PPhaseZeroOffset{};
  // Whether PPhaseZeroOffset holds a reference; a phase below one cycle is a valid reference too.
  TChannels<bool> FZeroOffsetTaken{};
  TChannels<Phase> PPhaseRes{};
  TChannels<double> FPhaseRes_ns{};
  TChannels<double> FVirtPhaseRes_ns{};
  std::array<uint32_t, MaxHeartbeatWords + 1> FHeartbeat{};
  std::string FHeartbeatString;
  int64_t FhighAmount = 0;

  // Per sample: which channels got a new value of each quantity (the Allan readiness checks and
  // the clock check use them), whether a raw line completed the sample, and the kept alarm text.
  TChannels<bool> FFrequencyNew{};
  TChannels<bool> FPhaseDiffNew{};
  bool FRawSampleStored = false;
  std::string FKeptAlarmText;
  // The values of one sample for one Allan calculator.
  std::array<double, DM_MaxChannels> FAllanInputs{};

  IClockAlarmSink* FClockAlarm = nullptr;
};

#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "protocol/Phase.h"

// Turns the raw counter readings of the Raw Data modes (every millisecond and channel: the
// interpolator value T1, the reference-clock count T2 and the 16- or 17-bit cycle counter T3) into
// phases in cycles of the input signal, with a per-millisecond frequency, a residual against the
// nominal frequency and phase differences to channel 1 and to the preceding channel. Over a window of
// RawMs milliseconds it averages the phases or takes the last one.
//
// Owned by the counter store and used under its lock; no lock of its own. Channels are 1..24.
// Phases stay whole cycles plus a fraction throughout, so days of a 10 MHz signal keep sub-picosecond
// resolution.
class TQV_RawData {
 public:
  static constexpr int MaxChannels = 24;
  // Frequency of the signal an HRQ channel hands to the counter; the counted phase advances by
  // 10 000 cycles per millisecond.
  static constexpr double HRQCountedFrequency = 10'000'000.0;

  explicit TQV_RawData(int32_t logId);

  void Reset();

  int32_t RawMs() const { return FRawMs; }
  void SetRawMs(int32_t value);
  bool RawAvg() const { return FRawAvg; }
  void SetRawAvg(bool value);
  bool Ref20MHz() const { return FRef20MHz; }
  void SetRef20MHz(bool value);

  void SetNomFreq(int kanal, double Value);
  double HRQFactor(int k) const;
  // Writes outside 1..24 are ignored; a factor of 0 or one that is not finite means no conversion (1).
  void SetHRQFactor(int k, double value);
  void SetPhaseDiffResetted() { FPhaseDiffResetted = true; }

  // One raw line: BeginCalculation, Calculate for each channel in ascending order, EndCalculation.
  void BeginCalculation() { FCalculationFinished = false; }
  void Calculate(int Kanal, int32_t T1, int32_t T2, int32_t T3);
  void EndCalculation();
  bool CalculationFinished() const { return FCalculationFinished; }

  // True after the last millisecond of a window (and before the first calculation).
  bool IsPhaseValid() const { return FRawIndex == 0; }

  // Readers; a channel outside 1..24 gives a cleared phase, frequency 0 and "".
  Phase GetPhase(int kanal) const;
  Phase GetPhaseRes(int kanal) const;
  int GetPostDecDigits(int kanal) const;
  double FreqRaw(int k) const;
  Phase PhaseRaw(int k) const;
  Phase PhaseResRaw(int k) const;
  Phase PhaseRawDiff(int k) const;
  Phase PhaseRawPreDiff(int k) const;
  std::string T1T2T3(int k) const;

  // The phase at the reference-clock instant: the extended counter `counterCycles` less the time from
  // that instant to the latched edge (T2' reference periods less T1 interpolator steps) times
  // `frequency`. T2' is T2 without its flag bits.
  static Phase InterpolatedPhase(int64_t counterCycles, int32_t T1, int32_t T2, double frequency, bool ref20MHz);
  // `intervals` × `cyclesPerInterval`, exact to far below a picosecond for days of intervals.
  static Phase IdealPhase(int64_t intervals, const Phase& cyclesPerInterval);

 private:
  template <typename T>
  using TChannels = std::array<T, MaxChannels + 1>;  // index 0 unused

  static bool ValidChannel(int k) { return k >= 1 && k <= MaxChannels; }
  int64_t ExtendCounter(int k, int32_t T2, int32_t T3);
  double InterpolationFrequency(int k) const;
  void TakeIdealPhaseReference(int k, const Phase& p);
  void ClearIdealPhaseReference(int k);
  void AddPhase(const Phase& aPhase, int kanal, bool keepFrequency);
  void UpdateFrequency(const Phase& aPhase, int k);
  void AddToWindow(int k);
  void CompleteWindow(int k);
  void UpdateDifferences(int k);
  void SetAndReset(const std::string& change);

  int32_t FLogId;
  std::string FDbgTag = "TQV_RawData";
  TChannels<std::string> FT1T2T3;
  TChannels<int32_t> T3_last{};
  TChannels<int64_t> Phase_High{};
  bool FRaw_IsBit17 = false;
  TChannels<Phase> FPhaseRaw{};
  // The window sum is kept relative to the window's first phase so that long windows of long runs
  // cannot overflow the whole cycles; FWindowCount is the number of milliseconds in it.
  TChannels<Phase> FWindowBase{};
  TChannels<int32_t> FWindowCount{};
  TChannels<Phase> FSumPhaseRaw{};
  TChannels<Phase> FPhaseResRaw{};
  TChannels<Phase> FSumPhaseResRaw{};
  TChannels<bool> FSuppressFirstFrequency{};
  TChannels<double> FFreqRaw{};
  int32_t FRawIndex = 0;
  bool FCalculationFinished = true;
  int32_t FRawMs = 0;
  bool FRawAvg = false;
  TChannels<Phase> FPhase{};
  TChannels<Phase> FPhaseRes{};
  bool FPhaseDiffResetted = false;
  // A window has completed since the last reset, so FPhase holds phases to take zero references from.
  bool FHasWindowPhase = false;
  TChannels<Phase> PPhaDiffZero{};
  TChannels<Phase> PPhaPredecessorZero{};
  TChannels<Phase> PPhaseDiff{};
  TChannels<Phase> PPhasePreDiff{};
  TChannels<double> FFactorsHRQ{};
  TChannels<double> FNom_Frequ{};
  bool FRef20MHz = false;
  TChannels<int64_t> FIntervalCount{};
  TChannels<Phase> PPhaseZeroOffset{};
  // Whether PPhaseZeroOffset holds a reference: a phase of 0 is a valid reference.
  TChannels<bool> FZeroOffsetTaken{};
  TChannels<Phase> FtheoNomFreqPerInterval{};
};

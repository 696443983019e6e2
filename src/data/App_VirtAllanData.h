#pragma once
#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/Clock.h"
#include "data/AllanLadderPosition.h"
#include "data/ExactDivisor.h"

// Running non-overlapping Allan deviations of several channels over a fixed 1-2-5 ladder of
// averaging times. The counter store owns one calculator per mode and feeds it one sample (one value
// per channel) at a time; the Allan views read the results through the store. No lock of its own:
// the store's lock covers feeding and reading.

enum TAllanMode : uint8_t { amFreq = 0, amPhaseRes = 1, amPhaseDiff = 2 };

// "Freq", "PhaseRes", "PhaseDiff".
const char* AllanModeName(TAllanMode mode);

// Graph scaling of one channel: the largest τ index with data and the decades that bound the values.
struct TAllanMinMax {
  int32_t xLastTau = -1;
  int32_t yMin = std::numeric_limits<int32_t>::max();
  int32_t yMax = std::numeric_limits<int32_t>::min();
};

// Range of the log10 deviation at one τ index since the last persist reset.
class TAllanPersistEntry {
 public:
  explicit TAllanPersistEntry(int32_t tau = 0) : FTau(tau) {}
  void AddValue(double Data);
  // AddValue of log10(a), 0 for a = 0. A deviation inside the range already taken cannot move the
  // range (log10 is monotonic), so the logarithm is only computed for a new extreme.
  void AddDeviation(double a) {
    if (a > 0 && a >= FDevLow && a <= FDevHigh) return;
    AddNewDeviation(a);
  }
  bool HasValue() const { return FMin == FMin; }  // false while still NaN
  double Min() const { return FMin; }
  double Max() const { return FMax; }
  int32_t Tau() const { return FTau; }

 private:
  void AddNewDeviation(double a);
  friend class TVirtAllanData;  // reads the range of deviations taken for its quiet range

  double FMax = std::numeric_limits<double>::quiet_NaN();
  double FMin = std::numeric_limits<double>::quiet_NaN();
  double FDevLow = std::numeric_limits<double>::quiet_NaN();   // smallest positive deviation taken
  double FDevHigh = std::numeric_limits<double>::quiet_NaN();  // largest positive deviation taken
  int32_t FTau;
};

// A moment of the wall clock, or none (no value yet).
using TAllanTime = std::optional<TWallTime>;

class TVirtAllanData {
 public:
  // Builds the ladder τ = 1, 2, 5, 10, ... samples for τ indices 0..atauMax (limited to 0..27 so that
  // τ fits 32 bits). The channel count stays open (-1) until SetVirtualFactors or the first sample.
  TVirtAllanData(int aLogId, int atauMax, TAllanMode aMode, TClock& clock = SystemClock());

  // Sizes every per-channel array for aRealCount channels and restarts the calculation. The store
  // calls it while RealCount is -1: before the first sample and after every Reset.
  void SetVirtualFactors(int aRealCount);

  // One sample, values in channel order. Channels without a value in Data, and values that are NaN or
  // infinite, count as missing: that channel skips the sample (no block closes, no term is added), the
  // other channels go on. Without a prior SetVirtualFactors the first sample fixes the channel count.
  void AddData(std::span<const double> Data);

  // Restarts the calculation; the decay constant and the interval stay, the channel count is opened
  // again so that the next SetVirtualFactors (or sample) may change it.
  void Reset();
  void ResetMinimumMaximum(int v);
  void ResetPersist(int v);

  int32_t DecayConst() const { return FDecayConst; }
  void SetDecayConst(int32_t value);
  // Measurement interval in ms; fractions allowed. Values that are not positive are ignored.
  double IntervalMs() const { return FIntervalMs; }
  void SetIntervalMs(double value);

  TAllanMode Mode() const { return FMode; }
  bool Running() const { return FRunning; }
  TAllanTime StartTime() const { return FStartTime; }
  int32_t LastTau() const { return FLastTau; }
  int32_t TauMax() const { return FtauMax; }
  int32_t RealCount() const { return FRealCount; }

  // Readers; k is a 1-based channel number. Out-of-range channels give zeros (empty lists).
  std::vector<double> GetTextValues(int k) const;
  std::vector<double> GetGraphicValues(int k) const;
  std::vector<TAllanPersistEntry> GetGraphicPersistValues(int k) const;
  TAllanMinMax GetGraphicActualScaleMinMax(int k) const;
  TAllanMinMax GetGraphicScaleMinMax(int k) const;
  std::vector<int64_t> GetADEVCounts() const;
  std::string GetTauCaption(int len, int intervalMs) const;

  // 0-based channel v and τ index t; out of range gives 0 (NaN for the minima/maxima, none for times).
  double Adev(int v, int t) const;
  double AdevMin(int v, int t) const;
  double AdevMax(int v, int t) const;
  TAllanTime AdevMinTime(int v, int t) const;
  TAllanTime AdevMaxTime(int v, int t) const;
  int32_t Tau(int t) const;
  // Squared differences that went into Adev(v, t) since the reset (not limited by the decay).
  int64_t TermCount(int v, int t) const;
  // Weight count of the running mean (stops at the decay constant).
  double TauQuadN(int v, int t) const;

 public:
  // Two lanes of doubles; GCC and Clang compile the arithmetic to one packed IEEE instruction each
  // (bit-identical to the scalar one), which halves the cost of the divisions.
  using TLanes = double __attribute__((vector_size(2 * sizeof(double))));

 private:
  // Per channel and τ, one flat array indexed by Cell(v, t), τ-major so that the cells every sample
  // visits (small τ) lie together; no allocation per sample. FSampleSum alone is channel-major: a
  // frequency value goes into the block sums of every τ of its channel.
  template <class T>
  using TPerChannelTau = std::vector<T>;
  using TTauMask = TAllanLadderPosition::TTauMask;

  size_t Cell(int v, int t) const { return static_cast<size_t>(t) * FCellRow + static_cast<size_t>(v); }
  bool ValidIndex(int v, int t) const;
  bool Logging() const;
  TAllanMinMax ScaleMinMax(const char* operation, int k, const TPerChannelTau<double>& lows,
                           const TPerChannelTau<double>& highs) const;
  // The terms of one τ that the current sample completed, in the channels listed in FRowChannels
  // (their differences in FRowD): running means and deviations, two cells at a time.
  void FinishRow(int t, size_t terms);
  struct TTermLanes {
    TLanes Mean, N, Adev;
  };
  [[gnu::always_inline]] TTermLanes Terms(TLanes d, TLanes n, TLanes quad, TLanes scale) const;
  void CalcADEVfrequency(bool logging);
  void CalcADEVphase(bool logging);
  void CalcADEVMinMax(bool logging);
  void MinMaxCell(int v, int t, bool logging, std::optional<TWallTime>& now);
  void MoveExtremes(int v, int t, bool logging, std::optional<TWallTime>& now);
  void UpdateQuietRange(size_t cell);
  // Mostly a new deviation lies inside every range kept: then nothing can move.
  bool Quiet(size_t cell) const { return FAdev[cell] >= FQuietLow[cell] && FAdev[cell] <= FQuietHigh[cell]; }
  void Log(const std::string& text) const;

  TPerChannelTau<double> FAdev;
  bool FRunning = false;
  TAllanTime FStartTime;
  TPerChannelTau<double> FADEVMin;
  TPerChannelTau<double> FADEVMax;
  TPerChannelTau<TAllanTime> FADEVMinTime;
  TPerChannelTau<TAllanTime> FADEVMaxTime;
  TPerChannelTau<TAllanPersistEntry> FPersistLists;
  double FIntervalMs = 1000;
  TAllanMode FMode;
  std::vector<double> FRealInputs;
  int32_t FRealCount = -1;
  int64_t FSampleCount = 0;
  std::vector<int64_t> FSampleCountPerTau;
  // Per channel: values taken since the reset; block ends are counted per channel so that a missing
  // value in one channel does not shift the blocks of the others.
  std::vector<TAllanLadderPosition> FPositions;
  size_t FCellRow = 0;  // cells per τ: the sized channel count
  // Per channel: the τ whose deviation changed in the current sample and left the quiet range of its
  // cell; only these can move a minimum, maximum or persist range.
  std::vector<TTauMask> FUpdatedTaus;
  // Per channel: minima, maxima or persist range were reset; the next sample takes every τ again.
  std::vector<bool> FMinMaxPending;
  // Frequency: the previous and the current block average ([1], [2]); phase: x0, x1, x2.
  TPerChannelTau<std::array<double, 3>> FSamples;
  // Completed blocks (frequency) or phase points taken (phase); replaces "0 means no value yet".
  TPerChannelTau<int64_t> FBlockCount;
  TPerChannelTau<double> FSampleSum;
  TPerChannelTau<double> FTauQuad;
  TPerChannelTau<double> FTauQuad_N;
  TPerChannelTau<int64_t> FTermCount;
  // Per channel: the blocks the current sample ends (0 for a missing value).
  std::vector<TTauMask> FChannelEnds;
  // The current τ row: the difference of each channel with a new term, and those channels in order.
  std::vector<double> FRowD;
  std::vector<int> FRowChannels;
  // Per cell: deviations inside this range move neither the minimum, the maximum nor the persist
  // range (the intersection of both ranges); NaN while any of them is open.
  TPerChannelTau<double> FQuietLow;
  TPerChannelTau<double> FQuietHigh;
  int32_t FLastTau = -1;
  int32_t FtauMax;
  std::vector<int32_t> Ftaus;
  std::vector<TExactDivisor> FTauDivisors;  // block average of τ samples
  std::vector<double> FPhaseScale;          // τ · 1e12: phase deviation per τ in ps
  TExactDivisor FIntervalDivisor{1000};
  int32_t FDecayConst = 0;
  std::string FDbgTag;
  int FLogId;
  TClock& FClock;
};

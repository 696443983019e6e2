#include "data/QV_RawData.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "core/LogUnit.h"
#include "core/QV_NumberText.h"

namespace {

constexpr double MinFrequency = 4'000.0;
constexpr double MaxFrequency = 131'072'000.0;
constexpr int64_t HRQCyclesPerInterval = 10'000;

// Shortest round-trip text in fixed notation: "10000000", "10000.00025".
std::string FixedText(double value) {
  char text[400];
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
  return std::string(text, result.ptr);
}

Phase Normalized(Phase p) {
  p.Normalize();
  return p;
}

}  // namespace

TQV_RawData::TQV_RawData(int32_t logId) : FLogId(logId) {
  // No HRQ conversion until the store says otherwise, and the state of a fresh reset.
  FFactorsHRQ.fill(1.0);
  FSuppressFirstFrequency.fill(true);
  FPhaseDiffResetted = true;
}

void TQV_RawData::Reset() {
  LogIt(FLogId, FDbgTag + ".Reset");
  FRaw_IsBit17 = false;
  T3_last.fill(0);
  Phase_High.fill(0);
  FFreqRaw.fill(0);
  FPhase.fill(Phase{});
  FPhaseRes.fill(Phase{});
  FRawIndex = 0;
  for (int k = 1; k <= MaxChannels; ++k) {
    FT1T2T3[k].clear();
    FSuppressFirstFrequency[k] = true;
    FPhaseRaw[k].Clear();
    FSumPhaseRaw[k].Clear();
    FPhaseResRaw[k].Clear();
    FSumPhaseResRaw[k].Clear();
    FWindowBase[k].Clear();
    FWindowCount[k] = 0;
    ClearIdealPhaseReference(k);
  }
  FPhaseDiffResetted = true;
  FHasWindowPhase = false;
}

void TQV_RawData::SetAndReset(const std::string& change) {
  LogIt(FLogId, FDbgTag + change);
  Reset();
}

void TQV_RawData::SetRawMs(int32_t value) {
  const int32_t old = FRawMs;
  FRawMs = value;
  SetAndReset(".SetRawMs: old=" + std::to_string(old) + " new=" + std::to_string(value));
}

void TQV_RawData::SetRawAvg(bool value) {
  const bool old = FRawAvg;
  FRawAvg = value;
  SetAndReset(".SetRawAvg: old=" + BoolText(old) + " new=" + BoolText(value));
}

void TQV_RawData::SetRef20MHz(bool value) {
  if (value == FRef20MHz) return;
  FRef20MHz = value;
  SetAndReset(".SetRef20MHz " + BoolText(value));
}

void TQV_RawData::SetNomFreq(int kanal, double Value) {
  if (!ValidChannel(kanal)) return;
  if (!std::isfinite(Value)) {
    LogError(FLogId, FDbgTag + ".SetNom_Frequ[" + std::to_string(kanal) + "] invalid value " + FixedText(Value));
    return;
  }
  FNom_Frequ[kanal] = Value;
  Phase frequency;
  frequency.FromDouble(Value);
  FtheoNomFreqPerInterval[kanal] = frequency / 1000.0;
  if (Value != 0) {
    LogIt(FLogId, FDbgTag + ".SetNom_Frequ[" + std::to_string(kanal) + "]=" + FixedText(Value) +
                      " FtheoNomFreqPerInterval=" + FixedText(FtheoNomFreqPerInterval[kanal].ToDouble()));
  }
  ClearIdealPhaseReference(kanal);
}

double TQV_RawData::HRQFactor(int k) const { return ValidChannel(k) ? FFactorsHRQ[k] : 1.0; }

void TQV_RawData::SetHRQFactor(int k, double value) {
  if (!ValidChannel(k)) return;
  if (value == 0 || !std::isfinite(value)) {
    LogWarn(FLogId, FDbgTag + ".SetHRQFactor[" + std::to_string(k) + "] invalid factor " + FloatToShortest(value) + " -> 1");
    value = 1.0;
  }
  FFactorsHRQ[k] = value;
}

Phase TQV_RawData::InterpolatedPhase(int64_t counterCycles, int32_t T1, int32_t T2, double frequency, bool ref20MHz) {
  const double interpolatorSteps = ref20MHz ? 4096.0 : 8192.0;
  const double clockHz = ref20MHz ? 20'000'000.0 : 10'000'000.0;
  const double referencePeriods = T2 - T1 / interpolatorSteps;
  return Normalized(Phase{counterCycles, -(referencePeriods * frequency / clockHz)});
}

Phase TQV_RawData::IdealPhase(int64_t intervals, const Phase& cyclesPerInterval) {
  // The whole cycles multiply exactly in 64 bits; the fraction's product keeps its rounding error
  // (fma), so only the fraction's own representation limits the result.
  const double n = static_cast<double>(intervals);
  const double product = cyclesPerInterval.Low * n;
  const double error = std::fma(cyclesPerInterval.Low, n, -product);
  const double whole = std::trunc(product);
  return Normalized(Phase{cyclesPerInterval.High * intervals + static_cast<int64_t>(whole), (product - whole) + error});
}

int64_t TQV_RawData::ExtendCounter(int k, int32_t T2, int32_t T3) {
  int32_t counter = T3;
  int64_t range = 0x10000;
  if (FRaw_IsBit17) {
    counter = T3 | ((T2 & 0x2000) << 3);  // bit 13 of T2 is bit 16 of the counter
    range = 0x20000;
  }
  // One wrap at most per millisecond; an unchanged counter is a whole range.
  if (counter <= T3_last[k]) Phase_High[k] += range;
  T3_last[k] = counter;
  return Phase_High[k] + counter;
}

double TQV_RawData::InterpolationFrequency(int k) const {
  const double factor = FFactorsHRQ[k];
  if (factor == 1 || FFreqRaw[k] == 0) return FFreqRaw[k];
  // An HRQ channel counts a 10 MHz signal whose deviations are the input's times the factor: the
  // interpolation needs that signal's frequency, not the input's.
  return HRQCountedFrequency + (FFreqRaw[k] - FNom_Frequ[k]) * factor;
}

void TQV_RawData::TakeIdealPhaseReference(int k, const Phase& p) {
  PPhaseZeroOffset[k] = p;
  FZeroOffsetTaken[k] = true;
  FIntervalCount[k] = 0;
  LogIt(FLogId, FDbgTag + ".Calculate PPhaseZeroOffset[" + std::to_string(k) + "]=" + p.ToString());
}

void TQV_RawData::ClearIdealPhaseReference(int k) {
  FIntervalCount[k] = 0;
  PPhaseZeroOffset[k].Clear();
  FZeroOffsetTaken[k] = false;
}

void TQV_RawData::Calculate(int Kanal, int32_t T1, int32_t T2, int32_t T3) {
  if (!ValidChannel(Kanal)) {
    LogError(FLogId, FDbgTag + ".Calculate invalid Kanal=" + std::to_string(Kanal));
    return;
  }
  const int k = Kanal;
  FT1T2T3[k] = "  " + IntToHex(T1, 4) + " " + IntToHex(T2, 4) + " " + IntToHex(T3, 4);
  ++FIntervalCount[k];
  if ((k - 1) % 4 == 0) FRaw_IsBit17 = T2 > 0x7FFF;  // the first channel of a card tells its counter width

  const int64_t counter = ExtendCounter(k, T2, T3);
  Phase p = InterpolatedPhase(counter, T1, T2 & 0x1FFF, InterpolationFrequency(k), FRef20MHz);
  const bool referenceTaken = FFreqRaw[k] != 0 && !FZeroOffsetTaken[k];
  if (referenceTaken) TakeIdealPhaseReference(k, p);

  const Phase ideal = IdealPhase(FIntervalCount[k], FtheoNomFreqPerInterval[k]);
  const Phase sinceReference = p - PPhaseZeroOffset[k];
  const double factor = FFactorsHRQ[k];
  Phase residual;
  if (factor == 1) {
    residual = Normalized(sinceReference - ideal);
  } else {
    residual = (sinceReference - Phase{FIntervalCount[k] * HRQCyclesPerInterval, 0}) / factor;
    p = ideal + residual;
  }
  // Without a reference the difference to the ideal phase is the absolute phase, not a residual.
  FPhaseResRaw[k] = FZeroOffsetTaken[k] ? residual : Phase{};
  // The HRQ phase restarts at the reference: no frequency across that step.
  AddPhase(Normalized(p), k, referenceTaken && factor != 1);
}

void TQV_RawData::AddPhase(const Phase& aPhase, int kanal, bool keepFrequency) {
  const int k = kanal;
  if (!keepFrequency) UpdateFrequency(aPhase, k);
  FPhaseRaw[k] = Normalized(aPhase);
  // A window length below 1 never completes a window.
  if (FRawMs >= 1) {
    AddToWindow(k);
    if (FRawIndex == FRawMs - 1) CompleteWindow(k);
  }
  UpdateDifferences(k);
}

void TQV_RawData::UpdateFrequency(const Phase& aPhase, int k) {
  if (FSuppressFirstFrequency[k] && FRawIndex == 0) {
    FFreqRaw[k] = 0;
    return;
  }
  const double cycles = (aPhase - FPhaseRaw[k]).ToDouble();
  if (!std::isfinite(cycles)) {
    LogError(FLogId, FDbgTag + ".AddPhase PhaseDiff failed");
    LogError(FLogId, FDbgTag + ".AddPhase Kanal=" + std::to_string(k) + ", aPhase=" + aPhase.ToString() +
                         ", prev.Phase=" + FPhaseRaw[k].ToString());
    return;
  }
  double f = cycles * 1000.0;
  if (FFactorsHRQ[k] == 1) f = std::max(std::min(f, MaxFrequency), MinFrequency);
  FFreqRaw[k] = f;
}

void TQV_RawData::AddToWindow(int k) {
  if (FWindowCount[k] == 0) FWindowBase[k] = FPhaseRaw[k];
  ++FWindowCount[k];
  FSumPhaseRaw[k] = FSumPhaseRaw[k] + (FPhaseRaw[k] - FWindowBase[k]);
  FSumPhaseResRaw[k] = FSumPhaseResRaw[k] + FPhaseResRaw[k];
}

void TQV_RawData::CompleteWindow(int k) {
  // Divided by the milliseconds the channel actually had: RawMs unless it joined mid-window.
  const double count = FWindowCount[k];
  FPhase[k] = FRawAvg ? FWindowBase[k] + FSumPhaseRaw[k] / count : FPhaseRaw[k];
  FPhaseRes[k] = FRawAvg ? FSumPhaseResRaw[k] / count : FPhaseResRaw[k];
  FSuppressFirstFrequency[k] = false;
  FSumPhaseRaw[k].Clear();
  FSumPhaseResRaw[k].Clear();
  FWindowCount[k] = 0;
}

void TQV_RawData::UpdateDifferences(int k) {
  Phase d1;
  Phase d2;
  if (k > 1) {
    d1 = Normalized(FPhase[k] - FPhase[1]);
    d2 = Normalized(FPhase[k] - FPhase[k - 1]);
  }
  if (FPhaseDiffResetted) {
    PPhaDiffZero[k] = d1;
    PPhaPredecessorZero[k] = d2;
  }
  PPhaseDiff[k] = Normalized(d1 - PPhaDiffZero[k]);
  PPhasePreDiff[k] = Normalized(d2 - PPhaPredecessorZero[k]);
}

void TQV_RawData::EndCalculation() {
  const bool windowCompleted = FRawMs >= 1 && FRawIndex == FRawMs - 1;
  if (windowCompleted) {
    FRawIndex = 0;
    FHasWindowPhase = true;
  } else {
    // Without windows the index stays at 1: no phase becomes valid and nothing overflows.
    FRawIndex = FRawMs >= 1 ? FRawIndex + 1 : 1;
  }
  // After a reset the window phases are zero until the first window completes; the zero references
  // of the differences are taken again until then.
  if (FHasWindowPhase) FPhaseDiffResetted = false;
  FCalculationFinished = true;
}

Phase TQV_RawData::GetPhase(int kanal) const { return ValidChannel(kanal) ? FPhase[kanal] : Phase{}; }

Phase TQV_RawData::GetPhaseRes(int kanal) const { return ValidChannel(kanal) ? FPhaseRes[kanal] : Phase{}; }

int TQV_RawData::GetPostDecDigits(int kanal) const {
  const double f = FreqRaw(kanal);
  if (f >= 8'000'000) return 7;
  if (f >= 1'000'000) return 8;
  if (f >= 128'000) return 9;
  if (f >= 16'000) return 10;
  return 11;
}

double TQV_RawData::FreqRaw(int k) const { return ValidChannel(k) ? FFreqRaw[k] : 0.0; }

Phase TQV_RawData::PhaseRaw(int k) const { return ValidChannel(k) ? FPhaseRaw[k] : Phase{}; }

Phase TQV_RawData::PhaseResRaw(int k) const { return ValidChannel(k) ? FPhaseResRaw[k] : Phase{}; }

Phase TQV_RawData::PhaseRawDiff(int k) const { return ValidChannel(k) ? PPhaseDiff[k] : Phase{}; }

Phase TQV_RawData::PhaseRawPreDiff(int k) const { return ValidChannel(k) ? PPhasePreDiff[k] : Phase{}; }

std::string TQV_RawData::T1T2T3(int k) const { return ValidChannel(k) ? FT1T2T3[k] : std::string(); }

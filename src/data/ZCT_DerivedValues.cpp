// Derived values of the counter store: residuals against the ideal phase, frequencies, nominal
// frequencies, phase differences, virtual channels, the clock check and the Allan feeding.
#include <algorithm>
#include <cmath>
#include <limits>

#include "core/LogUnit.h"
#include "data/IClockAlarmSink.h"
#include "data/QV_RawData.h"
#include "data/ZCT_DataManagement.h"
#include "data/ZCT_Histories.h"
#include "core/QV_NumberText.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kMinFrequency = 4000.0;
constexpr double kMaxFrequency = 131'072'000.0;
constexpr int64_t k10MHzCyclesPerMs = 10'000;
constexpr double kScramblerTrimCycles = 25.0;

// Counter inputs run from 4 kHz to 131.072 MHz; anything else (or no number) is clamped.
double LimitFrequency(double value) {
  if (value > kMaxFrequency) return kMaxFrequency;
  if (!(value >= kMinFrequency)) return kMinFrequency;
  return value;
}

Phase Normalized(Phase p) {
  p.Normalize();
  return p;
}

}  // namespace

void TZCT_DataManagement::ClearTheoPhaseOffset(int32_t k) {
  FIntervalCount[k] = 0;
  PPhaseZeroOffset[k].Clear();
  FZeroOffsetTaken[k] = false;
  if (k == 1) Dbg(".ClearTheoPhaseOffset PPhaseZeroOffset=0 0");
}

void TZCT_DataManagement::CalculateTheoPhaseOffset() {
  if (FIntervalMs < 0) return;
  Ftheo10MHzPerInterval = static_cast<int64_t>(FIntervalMs) * k10MHzCyclesPerMs;
  Dbg(".CalculateTheoPhaseOffset: Ftheo10MHzPerInterval=" + std::to_string(Ftheo10MHzPerInterval));
  for (int32_t k = 1; k <= DM_MaxChannels; ++k) CalculateTheoPhaseOffset(k);
}

void TZCT_DataManagement::CalculateTheoPhaseOffset(int32_t k) {
  if (FIntervalMs < 0) return;
  ClearTheoPhaseOffset(k);
  // Cycles of the nominal frequency per interval, kept as whole cycles plus fraction so that the
  // ideal phase n × interval stays exact over days.
  Phase nominal;
  nominal.FromDouble(FNom_Frequ[k]);
  FtheoNomFreqPerInterval[k] = FNom_Frequ[k] != 0 ? nominal * static_cast<double>(FIntervalMs) / 1000.0 : Phase{};
  if (k == 1 && FNom_Frequ[k] != 0)
    Dbg(".CalculateTheoPhaseOffset[1] FtheoNomFreqPerInterval=" + FtheoNomFreqPerInterval[k].ToString());
}

void TZCT_DataManagement::AddPhase(const Phase& value, int32_t k) {
  if (!FZeroOffsetTaken[k]) {
    PPhaseZeroOffset[k] = value;
    FZeroOffsetTaken[k] = true;
    FIntervalCount[k] = 0;
    Dbg(".AddPhaseValueString PPhaseZeroOffset[" + std::to_string(k) + "]=" + value.ToString());
  }
  const Phase sinceOffset = value - PPhaseZeroOffset[k];
  const Phase idealNominal = TQV_RawData::IdealPhase(FIntervalCount[k], FtheoNomFreqPerInterval[k]);
  const double h = HRQFactor(k);
  Phase residual;
  if (h == 1) {
    residual = Normalized(sinceOffset - idealNominal);
    PPhase[k] = value;
  } else {
    const Phase ideal10MHz{FIntervalCount[k] * Ftheo10MHzPerInterval, 0};
    residual = (sinceOffset - ideal10MHz) / h;
    PPhase[k] = idealNominal + residual;
  }
  if (FNom_Frequ[k] != 0) PPhaseRes[k] = residual;
  FHist->PPhaseDLL[k][X()] = PPhase[k];
  FrequencyStep(k);
}

void TZCT_DataManagement::FrequencyStep(int32_t k) {
  const int32_t x = X();
  const double nominal = FNom_Frequ[k];
  if (nominal != 0) {
    FHist->FPhaseRes_ps[k][x] = PPhaseRes[k].ToDouble() / nominal * 1e12;
    FPhaseRes_ns[k] = FHist->FPhaseRes_ps[k][x] / 1000;
  } else {
    FHist->FPhaseRes_ps[k][x] = kNaN;
    FPhaseRes_ns[k] = kNaN;
  }
  const bool suppressed = FSuppressFirstFrequency[k];
  if (suppressed) {
    FFrequency[k] = 0;
  } else {
    // A phase-difference reset (or an interval of 0) gives no new frequency: the previous one stays.
    if (!FPhaseDiffResetted && FIntervalMs > 0) {
      double frequency = Normalized(PPhase[k] - PPhaseOld[k]).ToDouble() * 1000.0 / FIntervalMs;
      if (HRQFactor(k) == 1) frequency = LimitFrequency(frequency);
      FFrequency[k] = frequency;
      FFrequencyNew[k] = true;
    }
    CalculateFrequencies(k);
  }
  FHist->FFrequencies[k][x] = FFrequency[k];
  PPhaseOld[k] = PPhase[k];
  PhaseDiffStep(k);
  if (suppressed) {
    Dbg(".SuppressFirstFrequency[" + std::to_string(k) + "] = false");
    FSuppressFirstFrequency[k] = false;
  }
}

void TZCT_DataManagement::AddFrequency(double value, int32_t k) {
  double frequency = LimitFrequency(value);
  const double h = HRQFactor(k);
  if (h != 1) frequency = (frequency - FNom_Frequ[k]) / h + FNom_Frequ[k];
  FFrequency[k] = frequency;
  FHist->FFrequencies[k][X()] = frequency;
  FFrequencyNew[k] = true;
  CalculateFrequencies(k);
}

void TZCT_DataManagement::CalculateFrequencies(int32_t k) {
  if (FrequGltt[k] == 0) {
    FrequGltt[k] = FFrequency[k];
    Dbg(".FrequGltt[" + std::to_string(k) + "]=" + FloatToShortest(FrequGltt[k]));
  }
  if (FNom_Frequ[k] == 0) {
    FNom_Frequ[k] = FrequGltt[k];
    Dbg(".CalculateFrequencies.Nom_Frequ[" + std::to_string(k) + "]=" + ZCTFrequencyText(FNom_Frequ[k], LogSep()));
    FRawData->SetNomFreq(k, FNom_Frequ[k]);
    CalculateTheoPhaseOffset(k);
  } else if (!FPhaseDiffResetted) {
    FrequGltt[k] -= (FrequGltt[k] - FFrequency[k]) / 20;
  }
  if (FNom_Frequ[k] != 0) FFrequencyRelative[k] = (FFrequency[k] - FNom_Frequ[k]) / FNom_Frequ[k];
}

void TZCT_DataManagement::SetNomFreq(int32_t kanal, double Value) {
  if (kanal < 1 || kanal > DM_MaxChannels || Value == 0) return;
  std::lock_guard guard(FLockObj);
  if (Value != FNom_Frequ[kanal]) {
    RequestAllanReset();
    RequestRawDataReset();
  }
  FNom_Frequ[kanal] = Value;
  FNom_FrequUser[kanal] = true;
  Dbg(".SetNom_Frequ[" + std::to_string(kanal) + "]=" + FloatToShortest(Value) + ", UserInput=True");
  FRawData->SetNomFreq(kanal, Value);
  CalculateTheoPhaseOffset(kanal);
}

double TZCT_DataManagement::NomFreq(int32_t kanal) const {
  if (kanal < 1 || kanal > DM_MaxChannels) return 0;
  std::lock_guard guard(FLockObj);
  return FNom_Frequ[kanal];
}

double TZCT_DataManagement::NomFreqUser(int32_t kanal) const {
  if (kanal < 1 || kanal > DM_MaxChannels) return 0;
  std::lock_guard guard(FLockObj);
  return FNom_FrequUser[kanal] ? FNom_Frequ[kanal] : 0;
}

double TZCT_DataManagement::NomFreqCalculated(int32_t kanal) const {
  if (kanal < 1 || kanal > DM_MaxChannels) return 0;
  std::lock_guard guard(FLockObj);
  return FrequGltt[kanal];
}

void TZCT_DataManagement::PhaseDiffStep(int32_t k) {
  const Phase a = k == 1 ? Phase{} : PPhase[k] - PPhase[1];
  const Phase b = k == 1 ? Phase{} : PPhase[k] - PPhase[k - 1];
  if (FPhaseDiffResetted) {
    PPhaDiffZero[k] = Normalized(a);
    PPhaPredecessorZero[k] = Normalized(b);
  }
  const int32_t x = X();
  PPhaseDiff[k] = Normalized(a - PPhaDiffZero[k]);
  FHist->FPhaDiff[k][x] = PPhaseDiff[k].ToDouble();
  PPhasePreDiff[k] = Normalized(b - PPhaPredecessorZero[k]);
  FHist->FPhaPredecessor[k][x] = PPhasePreDiff[k].ToDouble();
  FPhaseDiffNew[k] = true;
}

void TZCT_DataManagement::AddPhaseDifference(const Phase& value, int32_t k) {
  const double h = HRQFactor(k);
  const Phase v = FEqualHRQSettings && h != 1 ? value / h : Normalized(value);
  const int32_t x = X();
  PPhaseDiff[k] = v;
  FHist->PPhaseDLL[k][x] = v;
  FHist->FPhaDiff[k][x] = v.ToDouble();
  PPhasePreDiff[k] = k == 1 ? Phase{} : Normalized(v - PPhaseDiff[k - 1]);
  FHist->FPhaPredecessor[k][x] = PPhasePreDiff[k].ToDouble();
  FPhaseDiffNew[k] = true;
}

// Keeps the phase differences to channel 1 within 25 cycles while the scrambler trims.
void TZCT_DataManagement::ScramblerTrimStep() {
  if (Mode() >= 2 && Mode() != 6) return;
  for (int32_t i = 1; i <= FLetzterKanal; ++i) {
    const Phase current = Normalized(PPhase[i] - PPhase[1]);
    if (std::fabs(Normalized(PPhaDiffZero[i] - current).ToDouble()) > kScramblerTrimCycles) PPhaDiffZero[i] = current;
  }
}

void TZCT_DataManagement::CalculateVirtualChannels() {
  const int32_t count = VirtualChannelCount();
  const int32_t x = X();
  for (int32_t k = 1; k <= count; ++k) {
    const TChannelFactors f = GetVirtualFactors(k);
    Phase phase, diff, preDiff;
    double residual = 0, frequency = 0, relative = 0;
    for (int32_t i = 1; i <= DM_MaxChannels; ++i) {
      const double factor = f[i - 1];
      if (factor == 0) continue;
      phase = phase + PPhase[i] * factor;
      diff = diff + PPhaseDiff[i] * factor;
      preDiff = preDiff + PPhasePreDiff[i] * factor;
      residual += factor * FPhaseRes_ns[i];  // NaN stays NaN
      frequency += factor * FFrequency[i];
      relative += factor * FFrequencyRelative[i];
    }
    PVirtPhase[k] = phase;
    PVirtPhaseDiff[k] = diff;
    PVirtPhasePreDiff[k] = preDiff;
    FVirtPhaseRes_ns[k] = residual;
    FHist->FVirtPhaseRes_ps[k][x] = residual * 1000;
    FVirtFrequency[k] = frequency;
    FHist->FVirtFrequencies[k][x] = frequency;
    FVirtFrequencyRelative[k] = relative;
  }
}

bool TZCT_DataManagement::AllFrequenciesNew() const {
  if (FLetzterKanal < 1) return false;
  for (int32_t i = 1; i <= FLetzterKanal; ++i)
    if (!FFrequencyNew[i]) return false;
  return true;
}

// Only a sample in which every channel measured a new frequency goes to the clock check.
void TZCT_DataManagement::CheckClockAlarm() {
  if (!FClockAlarm || !AllFrequenciesNew()) return;
  const std::vector<double> freqs(FFrequency.begin() + 1, FFrequency.begin() + 1 + FLetzterKanal);
  std::string alarmText, alarmOkText;
  FClockAlarm->CheckFrequencies(freqs, alarmText, alarmOkText);
  if (!alarmText.empty()) {
    AddWarning(41, alarmText);
    if (!FClockAlarm->LogAlarm()) alarmText.clear();
  }
  if (!alarmOkText.empty()) AddWarning(43, alarmOkText);
  FKeptAlarmText = alarmText;
}

bool TZCT_DataManagement::AllanFedInMode(TAllanMode am) const {
  const uint8_t mode = Mode();
  switch (am) {
    case amFreq: return mode <= 3 || mode == 6;
    case amPhaseRes: return mode <= 1 || mode == 6;
    case amPhaseDiff: return mode <= 1 || mode == 4 || mode == 5 || mode == 6;
  }
  return false;
}

// One value per channel 1..FLetzterKanal; NaN where the channel has no value in this sample. The
// values stay in the store's buffer until the next call.
std::span<const double> TZCT_DataManagement::AllanValues(TAllanMode am) {
  const int32_t x = X();
  std::span<double> values(FAllanInputs.data(), static_cast<size_t>(std::clamp(FLetzterKanal, 0, DM_MaxChannels)));
  std::fill(values.begin(), values.end(), kNaN);
  for (int32_t i = 1; i <= static_cast<int32_t>(values.size()); ++i) {
    const double nominal = FNom_Frequ[i];
    switch (am) {
      case amFreq:
        if (FFrequencyNew[i] && nominal != 0) values[i - 1] = FFrequencyRelative[i];
        break;
      case amPhaseRes: values[i - 1] = FHist->FPhaseRes_ps[i][x]; break;
      case amPhaseDiff:
        if (FPhaseDiffNew[i] && nominal != 0) values[i - 1] = FHist->FPhaDiff[i][x] / nominal * 1e12;
        break;
    }
  }
  return values;
}

// Each calculator starts with the first sample in which every channel has its value; from then on
// a channel without a value skips that sample (NaN).
void TZCT_DataManagement::FeedAllan() {
  static constexpr const char* names[] = {"AllanIgnoreFrequ", "AllanIgnorePhase", "AllanIgnorePhaseDiff"};
  static constexpr const char* values[] = {"FFrequencyRelative[", "PPhaseRes[", "PPhaseDiff["};
  bool* ignore[] = {&FAllanIgnoreFrequ, &FAllanIgnorePhase, &FAllanIgnorePhaseDiff};
  for (TAllanMode am : {amFreq, amPhaseRes, amPhaseDiff}) {
    if (!AllanFedInMode(am)) continue;
    const std::span<const double> data = AllanValues(am);
    if (*ignore[am]) {
      bool complete = !data.empty();
      for (size_t i = 0; i < data.size(); ++i) {
        if (std::isfinite(data[i])) continue;
        Dbg(std::string(".AfterExtractData ") + names[am] + " " + values[am] + std::to_string(i + 1) + "] missing");
        complete = false;
      }
      if (!complete) continue;
      *ignore[am] = false;
      Dbg(std::string(".AfterExtractData reset ") + names[am]);
    }
    FAllanData[am]->AddData(data);
  }
}

void TZCT_DataManagement::ResetAllan() {
  std::lock_guard guard(FLockObj);
  for (auto& allan : FAllanData) allan->Reset();
  FAllanIgnoreFrequ = true;
  FAllanIgnorePhase = true;
  FAllanIgnorePhaseDiff = true;
}

void TZCT_DataManagement::ResetAllanPersist(int32_t channel) {
  std::lock_guard guard(FLockObj);
  // Channels are 1..24 here, 0-based in the calculators.
  for (auto& allan : FAllanData) allan->ResetPersist(channel - 1);
}

bool TZCT_DataManagement::AllanIgnored(TAllanMode am) const {
  std::lock_guard guard(FLockObj);
  switch (am) {
    case amFreq: return FAllanIgnoreFrequ;
    case amPhaseRes: return FAllanIgnorePhase;
    case amPhaseDiff: return FAllanIgnorePhaseDiff;
  }
  return true;
}

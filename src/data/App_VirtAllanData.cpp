#include "data/App_VirtAllanData.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>

#include "core/LogUnit.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Two lanes of doubles; GCC and Clang compile the arithmetic to one packed IEEE instruction each
// (bit-identical to the scalar one), which halves the cost of the divisions.
using TLanes = double __attribute__((vector_size(2 * sizeof(double))));
constexpr size_t kLanes = 2;

TLanes Sqrt(TLanes x) {
#if defined(__SSE2__)
  return _mm_sqrt_pd(x);
#else
  return TLanes{std::sqrt(x[0]), std::sqrt(x[1])};
#endif
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// τ index 27 is 10^9 samples; index 28 would overflow 32 bits.
constexpr int kLargestTauIndex = 27;

// Shortest round-trip text, independent of the process locale.
std::string Num(double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::vector<int32_t> BuildLadder(int tauMax) {
  // 1, 2, 5, 10, 20, 50, ...: alternately ×2, ×2.5, ×2.
  std::vector<int32_t> taus(tauMax + 1);
  taus[0] = 1;
  for (int t = 1; t <= tauMax; ++t) taus[t] = (t % 3 == 2) ? taus[t - 1] / 2 * 5 : taus[t - 1] * 2;
  return taus;
}

int32_t RoundedDecade(double value, double offset) {
  return static_cast<int32_t>(std::lround(std::log10(value) + offset));
}

}  // namespace

const char* AllanModeName(TAllanMode mode) {
  switch (mode) {
    case amFreq: return "Freq";
    case amPhaseRes: return "PhaseRes";
    case amPhaseDiff: return "PhaseDiff";
  }
  return "";
}

void TAllanPersistEntry::AddNewDeviation(double a) {
  AddValue(a == 0 ? 0 : std::log10(a));
  if (!(a > 0)) return;
  if (!(a >= FDevLow)) FDevLow = a;
  if (!(a <= FDevHigh)) FDevHigh = a;
}

void TAllanPersistEntry::AddValue(double Data) {
  if (!HasValue()) {
    FMin = FMax = Data;
  } else if (Data < FMin) {
    FMin = Data;
  } else if (Data > FMax) {
    FMax = Data;
  }
}

TVirtAllanData::TVirtAllanData(int aLogId, int atauMax, TAllanMode aMode, TClock& clock)
    : FMode(aMode),
      FtauMax(std::clamp(atauMax, 0, kLargestTauIndex)),
      Ftaus(BuildLadder(FtauMax)),
      FDbgTag(std::string("TVirtAllanData-") + AllanModeName(aMode)),
      FLogId(aLogId),
      FClock(clock) {
  for (int32_t tau : Ftaus) {
    FTauDivisors.emplace_back(tau);
    FPhaseScale.push_back(tau * 1e12);
  }
  FSampleCountPerTau.assign(FtauMax + 1, 0);
  Log(".Create: TauMax=" + std::to_string(FtauMax));
}

void TVirtAllanData::Log(const std::string& text) const {
  if (FLogId >= 0) LogIt(FLogId, FDbgTag + text);
}

void TVirtAllanData::SetVirtualFactors(int aRealCount) {
  const size_t channels = static_cast<size_t>(std::max(aRealCount, 0));
  const size_t taus = Ftaus.size();
  const size_t cells = channels * taus;
  FRealCount = static_cast<int32_t>(channels);
  FRealInputs.assign(channels, kNaN);
  FPositions.assign(channels, TAllanLadderPosition(static_cast<int>(taus)));
  FCellRow = channels;
  FUpdatedTaus.assign(channels, 0);
  FMinMaxPending.assign(channels, false);
  FAdev.assign(cells, 0.0);
  FADEVMin.assign(cells, kNaN);
  FADEVMax.assign(cells, kNaN);
  FADEVMinTime.assign(cells, TAllanTime{});
  FADEVMaxTime.assign(cells, TAllanTime{});
  FSamples.assign(cells, std::array<double, 3>{});
  FBlockCount.assign(cells, 0);
  FSampleSum.assign(cells, 0.0);
  FTauQuad.assign(cells, 0.0);
  FTauQuad_N.assign(cells, 0.0);
  FTermCount.assign(cells, 0);
  FPendingTerms.resize(cells);
  FPendingCount = 0;
  FPersistLists.clear();
  FPersistLists.reserve(cells);
  for (size_t v = 0; v < channels; ++v)
    for (size_t t = 0; t < taus; ++t) FPersistLists.emplace_back(static_cast<int32_t>(t));
  FRunning = false;
  FStartTime.reset();
  FLastTau = -1;
  FSampleCount = 0;
  FSampleCountPerTau.assign(taus, 0);
}

void TVirtAllanData::Reset() {
  Log(".BaseReset, FtauMax=" + std::to_string(FtauMax) + ", FRealCount=" + std::to_string(FRealCount) +
      ", FVirtualCount=0");
  // Same sizes, all state cleared; the count is opened so that a restart may bring a new one.
  SetVirtualFactors(static_cast<int>(FPositions.size()));
  FRealCount = -1;
}

void TVirtAllanData::ResetMinimumMaximum(int v) {
  Log(".BaseResetMinimumMaximum, v=" + std::to_string(v));
  if (!ValidIndex(v, 0)) return;
  for (int t = 0; t <= FtauMax; ++t) {
    const size_t cell = Cell(v, t);
    FADEVMin[cell] = FADEVMax[cell] = kNaN;
    FADEVMinTime[cell] = FADEVMaxTime[cell] = TAllanTime{};
  }
  FMinMaxPending[v] = true;
}

void TVirtAllanData::ResetPersist(int v) {
  Log(".BaseResetPersist, v=" + std::to_string(v));
  if (!ValidIndex(v, 0)) return;
  for (int t = 0; t <= FtauMax; ++t) FPersistLists[Cell(v, t)] = TAllanPersistEntry(t);
  FMinMaxPending[v] = true;
}

void TVirtAllanData::SetDecayConst(int32_t value) {
  if (value == FDecayConst) return;
  FDecayConst = value;
  Log(".SetDecayConst " + std::to_string(value));
}

void TVirtAllanData::SetIntervalMs(double value) {
  if (!(value > 0) || !std::isfinite(value)) {
    Log(".SetIntervalMs ignored " + Num(value));
    return;
  }
  FIntervalMs = value;
  FIntervalDivisor = TExactDivisor(value);
}

bool TVirtAllanData::Logging() const { return FLogId >= 0 && LogEnabled(FLogId); }

void TVirtAllanData::AddData(std::span<const double> Data) {
  if (FRealCount < 0) {
    if (Data.empty()) return;
    SetVirtualFactors(static_cast<int>(Data.size()));
  }
  const bool logging = Logging();
  if (!FRunning) {
    FRunning = true;
    FStartTime = FClock.Wall();
  }
  ++FSampleCount;
  for (int v = 0; v < FRealCount; ++v) FRealInputs[v] = static_cast<size_t>(v) < Data.size() ? Data[v] : kNaN;
  if (logging) {
    std::string line = ".AddData sampleCount=" + std::to_string(FSampleCount) +
                       ", Kanalanz=" + std::to_string(FRealCount) + ", Data=";
    for (double value : FRealInputs) line += Num(value) + "; ";
    Log(line);
  }
  if (FMode == amFreq)
    CalcADEVfrequency(logging);
  else
    CalcADEVphase(logging);
  FinishTerms();
  TTauMask updated = 0;
  for (TTauMask mask : FUpdatedTaus) updated |= mask;
  for (; updated != 0; updated &= updated - 1) ++FSampleCountPerTau[std::countr_zero(updated)];
  CalcADEVMinMax(logging);
}

inline void TVirtAllanData::AddTerm(size_t cell, int t, double d) {
  FPendingTerms[FPendingCount++] = {cell, t, d};
  ++FTermCount[cell];
  FLastTau = std::max(FLastTau, static_cast<int32_t>(t));
}

// Running mean of the squared differences and the deviation of every term of the sample, two terms
// at a time; an odd last term is computed twice and stored once.
void TVirtAllanData::FinishTerms() {
  const size_t count = FPendingCount;
  for (size_t i = 0; i < count; i += kLanes) {
    const TPendingTerm& first = FPendingTerms[i];
    const TPendingTerm& second = FPendingTerms[std::min(i + 1, count - 1)];
    const TLanes d{first.d, second.d};
    const TLanes q = d * d;
    const TLanes n{FTauQuad_N[first.cell], FTauQuad_N[second.cell]};
    const TLanes averaged = (n * TLanes{FTauQuad[first.cell], FTauQuad[second.cell]} + q) / (n + 1);
    const TLanes mean{n[0] == 0 ? q[0] : averaged[0], n[1] == 0 ? q[1] : averaged[1]};
    TLanes adev = Sqrt(mean * 0.5);  // · 0.5 is exactly / 2
    if (FMode != amFreq)
      adev = FIntervalDivisor.Divide(adev / TLanes{FPhaseScale[first.t], FPhaseScale[second.t]} * 1000);
    StoreTerm(first.cell, n[0], mean[0], adev[0]);
    if (i + 1 < count) StoreTerm(second.cell, n[1], mean[1], adev[1]);
  }
  FPendingCount = 0;
}

inline void TVirtAllanData::StoreTerm(size_t cell, double n, double mean, double adev) {
  FTauQuad[cell] = mean;
  if (!(FDecayConst > 0 && n >= FDecayConst)) FTauQuad_N[cell] = n + 1;
  FAdev[cell] = adev;
}

void TVirtAllanData::CalcADEVfrequency(bool logging) {
  const size_t taus = Ftaus.size();
  for (int v = 0; v < FRealCount; ++v) {
    const double y = FRealInputs[v];
    FUpdatedTaus[v] = 0;
    if (logging) Log(".CalcADEVfrequency v=" + std::to_string(v) + " Input=" + Num(y));
    if (!std::isfinite(y)) continue;
    double* sums = &FSampleSum[static_cast<size_t>(v) * taus];
    for (size_t t = 0; t < taus; ++t) sums[t] += y;
    FPositions[v].Advance();
    for (TTauMask ends = FPositions[v].Ends(); ends != 0; ends &= ends - 1) {
      const int t = std::countr_zero(ends);
      const size_t cell = Cell(v, t);
      auto& s = FSamples[cell];
      s[1] = s[2];
      s[2] = FTauDivisors[t].Divide(sums[t]);
      sums[t] = 0;
      if (++FBlockCount[cell] < 2) continue;
      AddTerm(cell, t, s[2] - s[1]);
      FUpdatedTaus[v] |= TTauMask{1} << t;
    }
  }
  if (logging) Log(".CalcADEVfrequency LastTau=" + std::to_string(FLastTau));
}

void TVirtAllanData::CalcADEVphase(bool logging) {
  for (int v = 0; v < FRealCount; ++v) {
    const double x = FRealInputs[v];
    FUpdatedTaus[v] = 0;
    if (logging) Log(".CalcADEVphase v=" + std::to_string(v) + " Input=" + Num(x));
    if (!std::isfinite(x)) continue;
    // Phase points at samples 1, 1 + τ, 1 + 2τ, ...: the decimated series of the standard estimator.
    const TTauMask ends = FPositions[v].Ends();
    FPositions[v].Advance();
    for (TTauMask rest = ends; rest != 0; rest &= rest - 1) {
      const int t = std::countr_zero(rest);
      const size_t cell = Cell(v, t);
      auto& s = FSamples[cell];
      s = {s[1], s[2], x};
      if (++FBlockCount[cell] < 3) continue;
      AddTerm(cell, t, s[0] - 2 * s[1] + s[2]);
      FUpdatedTaus[v] |= TTauMask{1} << t;
    }
  }
  if (logging) Log(".CalcADEVphase LastTau=" + std::to_string(FLastTau));
}

// Minima, maxima and persist ranges can only move where a deviation changed (or after their reset),
// so only those cells are visited; the clock is read once, and only when an extreme moves.
void TVirtAllanData::CalcADEVMinMax(bool logging) {
  std::optional<TWallTime> now;
  for (int v = 0; v < FRealCount; ++v) {
    if (logging) Log(".CalcADEVMinMax[" + std::to_string(v) + "]");
    if (FLastTau < 0) continue;
    TTauMask taus = FUpdatedTaus[v];
    if (FMinMaxPending[v]) {
      taus = (TTauMask{2} << FLastTau) - 1;
      FMinMaxPending[v] = false;
    }
    for (; taus != 0; taus &= taus - 1) MinMaxCell(v, std::countr_zero(taus), logging, now);
  }
}

inline void TVirtAllanData::MinMaxCell(int v, int t, bool logging, std::optional<TWallTime>& now) {
  const size_t cell = Cell(v, t);
  if (FTermCount[cell] == 0) return;  // this channel has no deviation at t yet
  const double a = FAdev[cell];
  // Mostly the deviation lies inside the range kept; only a new extreme needs the clock and the log.
  if (!(FADEVMin[cell] <= a && a <= FADEVMax[cell])) MoveExtremes(v, t, logging, now);
  FPersistLists[cell].AddDeviation(a);
}

void TVirtAllanData::MoveExtremes(int v, int t, bool logging, std::optional<TWallTime>& now) {
  const size_t cell = Cell(v, t);
  const double a = FAdev[cell];
  const bool lower = std::isnan(FADEVMin[cell]) || FADEVMin[cell] > a;
  const bool higher = std::isnan(FADEVMax[cell]) || !(FADEVMax[cell] >= a);
  if ((lower || higher) && !now) now = FClock.Wall();
  if (lower) {
    FADEVMin[cell] = a;
    FADEVMinTime[cell] = now;
    if (logging) Log(".CalcADEVMinMax FADEVMin[" + std::to_string(v) + "," + std::to_string(t) + "]=" + Num(a));
  }
  if (higher) {
    FADEVMax[cell] = a;
    FADEVMaxTime[cell] = now;
    if (logging) Log(".CalcADEVMinMax FADEVMax[" + std::to_string(v) + "," + std::to_string(t) + "]=" + Num(a));
  }
}

bool TVirtAllanData::ValidIndex(int v, int t) const {
  return v >= 0 && static_cast<size_t>(v) < FPositions.size() && t >= 0 && static_cast<size_t>(t) < Ftaus.size();
}

std::vector<double> TVirtAllanData::GetTextValues(int k) const {
  std::vector<double> values(Ftaus.size(), 0.0);
  if (ValidIndex(k - 1, 0))
    for (int t = 0; t <= FtauMax; ++t) values[t] = FAdev[Cell(k - 1, t)];
  return values;
}

std::vector<double> TVirtAllanData::GetGraphicValues(int k) const {
  std::vector<double> values = GetTextValues(k);
  for (double& value : values) value = (value == 0) ? 0 : std::log10(value);
  return values;
}

std::vector<TAllanPersistEntry> TVirtAllanData::GetGraphicPersistValues(int k) const {
  std::vector<TAllanPersistEntry> entries;
  if (!ValidIndex(k - 1, 0)) return entries;
  for (int t = 0; t <= FLastTau; ++t) {
    const TAllanPersistEntry& entry = FPersistLists[Cell(k - 1, t)];
    if (!entry.HasValue()) break;
    entries.push_back(entry);
  }
  return entries;
}

TAllanMinMax TVirtAllanData::ScaleMinMax(const char* operation, int k, const TPerChannelTau<double>& lows,
                                          const TPerChannelTau<double>& highs) const {
  TAllanMinMax result;
  result.xLastTau = FLastTau;
  if (ValidIndex(k - 1, 0)) {
    // Zero (no value) and NaN (no extreme kept) have no decade and are left out.
    double smallest = 0, largest = 0;
    for (int t = 0; t <= FLastTau; ++t) {
      const double low = lows[Cell(k - 1, t)], high = highs[Cell(k - 1, t)];
      if (low > 0 && (smallest == 0 || low < smallest)) smallest = low;
      if (high > largest) largest = high;
    }
    if (smallest > 0) result.yMin = RoundedDecade(smallest, -1);
    if (largest > 0) result.yMax = RoundedDecade(largest, 1);
  }
  Log(std::string(".") + operation + " channel " + std::to_string(k - 1) + ":" + " LastTaus=" +
      std::to_string(result.xLastTau) + ", Min=" + std::to_string(result.yMin) + ", Max=" +
      std::to_string(result.yMax));
  return result;
}

TAllanMinMax TVirtAllanData::GetGraphicActualScaleMinMax(int k) const {
  return ScaleMinMax("GetGraphicActualScaleMinMax", k, FAdev, FAdev);
}

TAllanMinMax TVirtAllanData::GetGraphicScaleMinMax(int k) const {
  return ScaleMinMax("GetGraphicScaleMinMax", k, FADEVMin, FADEVMax);
}

std::vector<int64_t> TVirtAllanData::GetADEVCounts() const {
  return std::vector<int64_t>(FSampleCountPerTau.begin(), FSampleCountPerTau.begin() + (FLastTau + 1));
}

std::string TVirtAllanData::GetTauCaption(int len, int intervalMs) const {
  std::string caption;
  for (int t = 0; t <= FLastTau; ++t) {
    const int64_t ms = static_cast<int64_t>(intervalMs) * Ftaus[t];
    const std::string text = ms < 1000 ? std::to_string(ms) + " ms" : std::to_string(ms / 1000) + " s";
    if (static_cast<int>(text.size()) < len) caption.append(len - text.size(), ' ');
    caption += text;
  }
  return caption;
}

double TVirtAllanData::Adev(int v, int t) const { return ValidIndex(v, t) ? FAdev[Cell(v, t)] : 0; }
double TVirtAllanData::AdevMin(int v, int t) const { return ValidIndex(v, t) ? FADEVMin[Cell(v, t)] : kNaN; }
double TVirtAllanData::AdevMax(int v, int t) const { return ValidIndex(v, t) ? FADEVMax[Cell(v, t)] : kNaN; }
TAllanTime TVirtAllanData::AdevMinTime(int v, int t) const {
  return ValidIndex(v, t) ? FADEVMinTime[Cell(v, t)] : TAllanTime{};
}
TAllanTime TVirtAllanData::AdevMaxTime(int v, int t) const {
  return ValidIndex(v, t) ? FADEVMaxTime[Cell(v, t)] : TAllanTime{};
}
int32_t TVirtAllanData::Tau(int t) const {
  return (t >= 0 && static_cast<size_t>(t) < Ftaus.size()) ? Ftaus[t] : 0;
}
int64_t TVirtAllanData::TermCount(int v, int t) const { return ValidIndex(v, t) ? FTermCount[Cell(v, t)] : 0; }
double TVirtAllanData::TauQuadN(int v, int t) const { return ValidIndex(v, t) ? FTauQuad_N[Cell(v, t)] : 0; }

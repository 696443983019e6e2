#include "data/App_VirtAllanData.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

#include "core/LogUnit.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

using TLanes = TVirtAllanData::TLanes;
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

TLanes Load(const double* p) {
  TLanes x;
  std::memcpy(&x, p, sizeof x);
  return x;
}

void Store(double* p, TLanes x) { std::memcpy(p, &x, sizeof x); }

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
  FChannelEnds.assign(channels, 0);
  FRowD.assign(channels, 0.0);
  FRowChannels.assign(channels, 0);
  FQuietLow.assign(cells, kNaN);
  FQuietHigh.assign(cells, kNaN);
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
    FQuietLow[cell] = FQuietHigh[cell] = kNaN;
  }
  FMinMaxPending[v] = true;
}

void TVirtAllanData::ResetPersist(int v) {
  Log(".BaseResetPersist, v=" + std::to_string(v));
  if (!ValidIndex(v, 0)) return;
  for (int t = 0; t <= FtauMax; ++t) {
    FPersistLists[Cell(v, t)] = TAllanPersistEntry(t);
    FQuietLow[Cell(v, t)] = FQuietHigh[Cell(v, t)] = kNaN;
  }
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
  CalcADEVMinMax(logging);
}

// The running mean of the squared differences and the deviation of two cells: every lane does the
// same IEEE operations as a single cell would, so the results do not depend on the pairing.
inline TVirtAllanData::TTermLanes TVirtAllanData::Terms(TLanes d, TLanes n, TLanes quad, TLanes scale) const {
  const TLanes q = d * d;
  const TLanes averaged = (n * quad + q) / (n + 1);
  TTermLanes out;
  out.Mean = n == 0 ? q : averaged;
  out.Adev = Sqrt(out.Mean * 0.5);  // · 0.5 is exactly / 2
  if (FMode != amFreq) out.Adev = FIntervalDivisor.Divide(out.Adev / scale * 1000);
  // The weight count stops at the decay constant.
  const TLanes decay = TLanes{1, 1} * FDecayConst;
  out.N = FDecayConst > 0 ? (n >= decay ? n : n + 1) : n + 1;
  return out;
}

// Two cells at a time; an odd last cell is computed in both lanes and stored once.
void TVirtAllanData::FinishRow(int t, size_t terms) {
  if (terms == 0) return;
  const size_t row = Cell(0, t);
  const TLanes scale = TLanes{1, 1} * FPhaseScale[t];
  const TTauMask bit = TTauMask{1} << t;
  if (terms == static_cast<size_t>(FRealCount)) {
    // Every channel has a term (no value missing): the cells lie side by side.
    double* quad = &FTauQuad[row];
    double* weights = &FTauQuad_N[row];
    double* adev = &FAdev[row];
    size_t v = 0;
    for (; v + kLanes <= terms; v += kLanes) {
      const TTermLanes out = Terms(Load(&FRowD[v]), Load(weights + v), Load(quad + v), scale);
      Store(quad + v, out.Mean);
      Store(weights + v, out.N);
      Store(adev + v, out.Adev);
    }
    if (v < terms) {
      const TTermLanes out = Terms(TLanes{1, 1} * FRowD[v], TLanes{1, 1} * weights[v], TLanes{1, 1} * quad[v], scale);
      quad[v] = out.Mean[0];
      weights[v] = out.N[0];
      adev[v] = out.Adev[0];
    }
    for (v = 0; v < terms; ++v) {
      ++FTermCount[row + v];
      if (!Quiet(row + v)) FUpdatedTaus[v] |= bit;
    }
  } else {
    for (size_t i = 0; i < terms; i += kLanes) {
      const int v0 = FRowChannels[i];
      const int v1 = FRowChannels[std::min(i + 1, terms - 1)];
      const size_t c0 = row + static_cast<size_t>(v0), c1 = row + static_cast<size_t>(v1);
      const TTermLanes out = Terms(TLanes{FRowD[v0], FRowD[v1]}, TLanes{FTauQuad_N[c0], FTauQuad_N[c1]},
                                   TLanes{FTauQuad[c0], FTauQuad[c1]}, scale);
      for (size_t k = 0; k < kLanes && i + k < terms; ++k) {
        const int v = FRowChannels[i + k];
        const size_t cell = row + static_cast<size_t>(v);
        FTauQuad[cell] = out.Mean[k];
        FTauQuad_N[cell] = out.N[k];
        FAdev[cell] = out.Adev[k];
        ++FTermCount[cell];
        if (!Quiet(cell)) FUpdatedTaus[v] |= bit;
      }
    }
  }
  ++FSampleCountPerTau[t];
  FLastTau = std::max(FLastTau, static_cast<int32_t>(t));
}

// The blocks a sample ends are found per channel; the terms are then worked τ by τ, so that the
// cells of one τ, which lie side by side, are visited together.
void TVirtAllanData::CalcADEVfrequency(bool logging) {
  const size_t taus = Ftaus.size();
  TTauMask any = 0;
  for (int v = 0; v < FRealCount; ++v) {
    const double y = FRealInputs[v];
    FUpdatedTaus[v] = 0;
    FChannelEnds[v] = 0;
    if (logging) Log(".CalcADEVfrequency v=" + std::to_string(v) + " Input=" + Num(y));
    if (!std::isfinite(y)) continue;
    double* sums = &FSampleSum[static_cast<size_t>(v) * taus];
    const TLanes ys = TLanes{1, 1} * y;
    size_t t = 0;
    for (; t + kLanes <= taus; t += kLanes) Store(sums + t, Load(sums + t) + ys);
    if (t < taus) sums[t] += y;
    FPositions[v].Advance();
    FChannelEnds[v] = FPositions[v].Ends();
    any |= FChannelEnds[v];
  }
  for (; any != 0; any &= any - 1) {
    const int t = std::countr_zero(any);
    size_t terms = 0;
    for (int v = 0; v < FRealCount; ++v) {
      if (!((FChannelEnds[v] >> t) & 1)) continue;
      const size_t cell = Cell(v, t);
      double& sum = FSampleSum[static_cast<size_t>(v) * taus + static_cast<size_t>(t)];
      auto& s = FSamples[cell];
      s[1] = s[2];
      s[2] = FTauDivisors[t].Divide(sum);
      sum = 0;
      if (++FBlockCount[cell] < 2) continue;
      FRowD[v] = s[2] - s[1];
      FRowChannels[terms++] = v;
    }
    FinishRow(t, terms);
  }
  if (logging) Log(".CalcADEVfrequency LastTau=" + std::to_string(FLastTau));
}

void TVirtAllanData::CalcADEVphase(bool logging) {
  TTauMask any = 0;
  for (int v = 0; v < FRealCount; ++v) {
    const double x = FRealInputs[v];
    FUpdatedTaus[v] = 0;
    FChannelEnds[v] = 0;
    if (logging) Log(".CalcADEVphase v=" + std::to_string(v) + " Input=" + Num(x));
    if (!std::isfinite(x)) continue;
    // Phase points at samples 1, 1 + τ, 1 + 2τ, ...: the decimated series of the standard estimator.
    FChannelEnds[v] = FPositions[v].Ends();
    FPositions[v].Advance();
    any |= FChannelEnds[v];
  }
  for (; any != 0; any &= any - 1) {
    const int t = std::countr_zero(any);
    size_t terms = 0;
    for (int v = 0; v < FRealCount; ++v) {
      if (!((FChannelEnds[v] >> t) & 1)) continue;
      const size_t cell = Cell(v, t);
      auto& s = FSamples[cell];
      s = {s[1], s[2], FRealInputs[v]};
      if (++FBlockCount[cell] < 3) continue;
      FRowD[v] = s[0] - 2 * s[1] + s[2];
      FRowChannels[terms++] = v;
    }
    FinishRow(t, terms);
  }
  if (logging) Log(".CalcADEVphase LastTau=" + std::to_string(FLastTau));
}

// Minima, maxima and persist ranges can only move where a new deviation left the quiet range of
// its cell (or after their reset), so only those cells are visited; the clock is read once, and
// only when an extreme moves.
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
  const double a = FAdev[cell];
  if (Quiet(cell)) return;
  if (FTermCount[cell] == 0) return;  // this channel has no deviation at t yet
  if (!(FADEVMin[cell] <= a && a <= FADEVMax[cell])) MoveExtremes(v, t, logging, now);
  FPersistLists[cell].AddDeviation(a);
  UpdateQuietRange(cell);
}

void TVirtAllanData::UpdateQuietRange(size_t cell) {
  const TAllanPersistEntry& persist = FPersistLists[cell];
  // NaN in any bound leaves the range empty (every comparison with it fails).
  FQuietLow[cell] = std::isnan(persist.FDevLow) ? kNaN : std::max(FADEVMin[cell], persist.FDevLow);
  FQuietHigh[cell] = std::isnan(persist.FDevHigh) ? kNaN : std::min(FADEVMax[cell], persist.FDevHigh);
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

#include "data/App_VirtAllanData.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "core/LogUnit.h"

namespace {

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

template <class T>
void Fill(std::vector<std::vector<T>>& table, size_t channels, size_t taus, const T& value) {
  table.assign(channels, std::vector<T>(taus, value));
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
  FSampleCountPerTau.assign(FtauMax + 1, 0);
  Log(".Create: TauMax=" + std::to_string(FtauMax));
}

void TVirtAllanData::Log(const std::string& text) const {
  if (FLogId >= 0) LogIt(FLogId, FDbgTag + text);
}

void TVirtAllanData::SetVirtualFactors(int aRealCount) {
  const size_t channels = static_cast<size_t>(std::max(aRealCount, 0));
  const size_t taus = Ftaus.size();
  FRealCount = static_cast<int32_t>(channels);
  FRealInputs.assign(channels, kNaN);
  FChannelSampleCount.assign(channels, 0);
  Fill(FAdev, channels, taus, 0.0);
  Fill(FADEVMin, channels, taus, kNaN);
  Fill(FADEVMax, channels, taus, kNaN);
  Fill(FADEVMinTime, channels, taus, TAllanTime{});
  Fill(FADEVMaxTime, channels, taus, TAllanTime{});
  Fill(FSamples, channels, taus, std::array<double, 3>{});
  Fill(FBlockCount, channels, taus, int64_t{0});
  Fill(FSampleSum, channels, taus, 0.0);
  Fill(FTauQuad, channels, taus, 0.0);
  Fill(FTauQuad_N, channels, taus, 0.0);
  Fill(FTermCount, channels, taus, int64_t{0});
  FPersistLists.assign(channels, {});
  for (auto& list : FPersistLists)
    for (size_t t = 0; t < taus; ++t) list.emplace_back(static_cast<int32_t>(t));
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
  SetVirtualFactors(static_cast<int>(FAdev.size()));
  FRealCount = -1;
}

void TVirtAllanData::ResetMinimumMaximum(int v) {
  Log(".BaseResetMinimumMaximum, v=" + std::to_string(v));
  if (!ValidIndex(v, 0)) return;
  std::fill(FADEVMin[v].begin(), FADEVMin[v].end(), kNaN);
  std::fill(FADEVMax[v].begin(), FADEVMax[v].end(), kNaN);
  std::fill(FADEVMinTime[v].begin(), FADEVMinTime[v].end(), TAllanTime{});
  std::fill(FADEVMaxTime[v].begin(), FADEVMaxTime[v].end(), TAllanTime{});
}

void TVirtAllanData::ResetPersist(int v) {
  Log(".BaseResetPersist, v=" + std::to_string(v));
  if (!ValidIndex(v, 0)) return;
  for (auto& entry : FPersistLists[v]) entry = TAllanPersistEntry(entry.Tau());
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
}

void TVirtAllanData::AddData(std::span<const double> Data) {
  if (FRealCount < 0) {
    if (Data.empty()) return;
    SetVirtualFactors(static_cast<int>(Data.size()));
  }
  const TWallTime now = FClock.Wall();
  if (!FRunning) {
    FRunning = true;
    FStartTime = now;
  }
  ++FSampleCount;
  for (int v = 0; v < FRealCount; ++v) FRealInputs[v] = static_cast<size_t>(v) < Data.size() ? Data[v] : kNaN;
  if (FLogId >= 0) {
    std::string line = ".AddData sampleCount=" + std::to_string(FSampleCount) +
                       ", Kanalanz=" + std::to_string(FRealCount) + ", Data=";
    for (double value : FRealInputs) line += Num(value) + "; ";
    Log(line);
  }
  std::vector<bool> updated(Ftaus.size(), false);
  if (FMode == amFreq)
    CalcADEVfrequency(updated);
  else
    CalcADEVphase(updated);
  for (size_t t = 0; t < updated.size(); ++t)
    if (updated[t]) ++FSampleCountPerTau[t];
  CalcADEVMinMax(now);
}

void TVirtAllanData::AddSquare(int v, int t, double d) {
  const double q = d * d;
  double& mean = FTauQuad[v][t];
  double& n = FTauQuad_N[v][t];
  mean = (n == 0) ? q : (n * mean + q) / (n + 1);
  if (!(FDecayConst > 0 && n >= FDecayConst)) n += 1;
  ++FTermCount[v][t];
  FLastTau = std::max(FLastTau, static_cast<int32_t>(t));
}

void TVirtAllanData::CalcADEVfrequency(std::vector<bool>& updated) {
  for (int v = 0; v < FRealCount; ++v) {
    const double y = FRealInputs[v];
    Log(".CalcADEVfrequency v=" + std::to_string(v) + " Input=" + Num(y));
    if (!std::isfinite(y)) continue;
    const int64_t n = ++FChannelSampleCount[v];
    for (size_t t = 0; t < Ftaus.size(); ++t) {
      FSampleSum[v][t] += y;
      if (n % Ftaus[t] != 0) continue;
      auto& s = FSamples[v][t];
      s[1] = s[2];
      s[2] = FSampleSum[v][t] / Ftaus[t];
      FSampleSum[v][t] = 0;
      if (++FBlockCount[v][t] < 2) continue;
      AddSquare(v, static_cast<int>(t), s[2] - s[1]);
      FAdev[v][t] = std::sqrt(FTauQuad[v][t] / 2);
      updated[t] = true;
    }
  }
  Log(".CalcADEVfrequency LastTau=" + std::to_string(FLastTau));
}

void TVirtAllanData::CalcADEVphase(std::vector<bool>& updated) {
  for (int v = 0; v < FRealCount; ++v) {
    const double x = FRealInputs[v];
    Log(".CalcADEVphase v=" + std::to_string(v) + " Input=" + Num(x));
    if (!std::isfinite(x)) continue;
    const int64_t n = ++FChannelSampleCount[v];
    for (size_t t = 0; t < Ftaus.size(); ++t) {
      // Phase points at samples 1, 1 + τ, 1 + 2τ, ...: the decimated series of the standard estimator.
      if ((n - 1) % Ftaus[t] != 0) continue;
      auto& s = FSamples[v][t];
      s = {s[1], s[2], x};
      if (++FBlockCount[v][t] < 3) continue;
      AddSquare(v, static_cast<int>(t), s[0] - 2 * s[1] + s[2]);
      FAdev[v][t] = std::sqrt(FTauQuad[v][t] / 2) / (Ftaus[t] * 1e12) * 1000 / FIntervalMs;
      updated[t] = true;
    }
  }
  Log(".CalcADEVphase LastTau=" + std::to_string(FLastTau));
}

void TVirtAllanData::CalcADEVMinMax(TWallTime now) {
  for (int v = 0; v < FRealCount; ++v) {
    Log(".CalcADEVMinMax[" + std::to_string(v) + "]");
    for (int t = 0; t <= FLastTau; ++t) {
      if (FTermCount[v][t] == 0) continue;  // this channel has no deviation at t yet
      const double a = FAdev[v][t];
      const std::string at = std::to_string(v) + "," + std::to_string(t) + "]=" + Num(a);
      if (std::isnan(FADEVMin[v][t]) || FADEVMin[v][t] > a) {
        FADEVMin[v][t] = a;
        FADEVMinTime[v][t] = now;
        Log(".CalcADEVMinMax FADEVMin[" + at);
      }
      if (std::isnan(FADEVMax[v][t]) || !(FADEVMax[v][t] >= a)) {
        FADEVMax[v][t] = a;
        FADEVMaxTime[v][t] = now;
        Log(".CalcADEVMinMax FADEVMax[" + at);
      }
      FPersistLists[v][t].AddValue(a == 0 ? 0 : std::log10(a));
    }
  }
}

bool TVirtAllanData::ValidIndex(int v, int t) const {
  return v >= 0 && static_cast<size_t>(v) < FAdev.size() && t >= 0 && static_cast<size_t>(t) < Ftaus.size();
}

std::vector<double> TVirtAllanData::GetTextValues(int k) const {
  std::vector<double> values(Ftaus.size(), 0.0);
  if (ValidIndex(k - 1, 0)) values = FAdev[k - 1];
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
    const TAllanPersistEntry& entry = FPersistLists[k - 1][t];
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
      const double low = lows[k - 1][t], high = highs[k - 1][t];
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

double TVirtAllanData::Adev(int v, int t) const { return ValidIndex(v, t) ? FAdev[v][t] : 0; }
double TVirtAllanData::AdevMin(int v, int t) const { return ValidIndex(v, t) ? FADEVMin[v][t] : kNaN; }
double TVirtAllanData::AdevMax(int v, int t) const { return ValidIndex(v, t) ? FADEVMax[v][t] : kNaN; }
TAllanTime TVirtAllanData::AdevMinTime(int v, int t) const {
  return ValidIndex(v, t) ? FADEVMinTime[v][t] : TAllanTime{};
}
TAllanTime TVirtAllanData::AdevMaxTime(int v, int t) const {
  return ValidIndex(v, t) ? FADEVMaxTime[v][t] : TAllanTime{};
}
int32_t TVirtAllanData::Tau(int t) const {
  return (t >= 0 && static_cast<size_t>(t) < Ftaus.size()) ? Ftaus[t] : 0;
}
int64_t TVirtAllanData::TermCount(int v, int t) const { return ValidIndex(v, t) ? FTermCount[v][t] : 0; }
double TVirtAllanData::TauQuadN(int v, int t) const { return ValidIndex(v, t) ? FTauQuad_N[v][t] : 0; }

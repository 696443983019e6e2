// What the counter store hands out: graph arrays, view texts, the log-file strings for the
// multi-sampler and the local data server, the averages and the Allan hooks.
#include <cmath>
#include <limits>

#include "core/LogUnit.h"
#include "core/QV_NumberText.h"
#include "data/IClockAlarmSink.h"
#include "data/IReportLogSink.h"
#include "data/ISamplerSink.h"
#include "data/QV_RawData.h"
#include "data/ZCT_DataManagement.h"
#include "data/ZCT_Histories.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// The residual field of a channel without a residual.
constexpr char kBlankPhaseField[] = "                          ";
static_assert(sizeof kBlankPhaseField - 1 == ZCT_PhaseWidth);

// Log types of the multi-sampler (bit numbers).
constexpr int LT_Phase = 0;
constexpr int LT_Frequency = 1;
constexpr int LT_PhaseDiff = 2;
constexpr int LT_RawData = 3;
constexpr int LT_PhasePredecessor = 6;
constexpr int LT_ADEV = 7;
constexpr int LT_VirtualPhaseRes = 10;
constexpr int LT_VirtualFreqAbs = 11;
constexpr int LT_VirtualFreqRel = 12;
constexpr int LT_VirtualADEV = 13;
constexpr int LT_PhaseResiduum = 15;
constexpr int LT_VirtualPhaseDiff = 16;
constexpr int LT_VirtualPhasePrev = 17;

// Log types of the local data server.
constexpr int32_t SL_Phase = 0;
constexpr int32_t SL_Frequency = 1;
constexpr int32_t SL_PhaseDiff = 2;
constexpr int32_t SL_PhasePredecessor = 5;

bool IsFrequencyMode(uint8_t mode) { return mode == 2 || mode == 3; }
bool IsDifferenceMode(uint8_t mode) { return mode == 4 || mode == 5; }

// A value text, or "-----" for a value that could not be formed.
template <typename TFormat>
std::string OrNoValue(double value, TFormat format) {
  return std::isnan(value) ? std::string(ZCT_NoValueText) : format(value);
}

}  // namespace

// --- Graph arrays ---

bool TZCT_DataManagement::ValidRange(int32_t kanal, int32_t anz) const {
  return kanal >= 1 && kanal <= DM_MaxChannels && anz > 0;
}

std::vector<double> TZCT_DataManagement::Collect(int32_t startX, int32_t anz, const std::function<double(int32_t)>& value) const {
  std::vector<double> result(anz);
  for (int32_t n = 0; n < anz; ++n) result[n] = value((startX + n) & DM_HistoryMask);
  return result;
}

// Σ f[i]·term(i) over the physical channels with a factor; NaN as soon as a term is NaN.
double TZCT_DataManagement::VirtualSum(int32_t k, const std::function<double(int32_t i)>& term) const {
  const TChannelFactors f = GetVirtualFactors(k);
  double sum = 0;
  for (int32_t i = 1; i <= DM_MaxChannels; ++i)
    if (f[i - 1] != 0) sum += f[i - 1] * term(i);
  return sum;
}

std::vector<double> TZCT_DataManagement::GetFrequDiff(bool virtualChannel, int32_t kanal, int32_t startX, int32_t anz) const {
  std::lock_guard guard(FLockObj);
  if (!ValidRange(kanal, anz) || IsDifferenceMode(Mode())) return {};
  const auto& f = FHist->FFrequencies;
  if (!virtualChannel) return Collect(startX, anz, [&](int32_t x) { return f[kanal][x] - FNom_Frequ[kanal]; });
  return Collect(startX, anz, [&](int32_t x) {
    return VirtualSum(kanal, [&](int32_t i) { return FNom_Frequ[i] != 0 ? f[i][x] - FNom_Frequ[i] : kNaN; });
  });
}

std::vector<double> TZCT_DataManagement::GetFrequDiffRelative(bool virtualChannel, int32_t kanal, int32_t startX, int32_t anz) const {
  std::lock_guard guard(FLockObj);
  if (!ValidRange(kanal, anz) || IsDifferenceMode(Mode())) return {};
  const auto& f = FHist->FFrequencies;
  const auto relative = [&](int32_t i, int32_t x) { return (f[i][x] - FNom_Frequ[i]) / FNom_Frequ[i]; };
  if (!virtualChannel)
    return Collect(startX, anz, [&](int32_t x) { return FNom_Frequ[kanal] != 0 ? relative(kanal, x) : 0.0; });
  return Collect(startX, anz, [&](int32_t x) {
    return VirtualSum(kanal, [&](int32_t i) { return FNom_Frequ[i] != 0 ? relative(i, x) : kNaN; });
  });
}

namespace {
// Phase differences in ps over the nominal frequency of each channel.
template <typename THist>
std::vector<double> PhaseDiffPs(const THist& hist, const std::array<double, DM_MaxChannels + 1>& nominal, bool isVirtual,
                                int32_t kanal, int32_t startX, int32_t anz,
                                const std::function<double(int32_t, const std::function<double(int32_t)>&)>& virtualSum) {
  std::vector<double> result(anz);
  for (int32_t n = 0; n < anz; ++n) {
    const int32_t x = (startX + n) & DM_HistoryMask;
    const auto ps = [&](int32_t i) { return nominal[i] != 0 ? hist[i][x] / nominal[i] * 1e12 : kNaN; };
    result[n] = isVirtual ? virtualSum(kanal, ps) : ps(kanal);
  }
  return result;
}
}  // namespace

std::vector<double> TZCT_DataManagement::GetPhaDiffPs(bool virtualChannel, int32_t kanal, int32_t startX, int32_t anz) const {
  std::lock_guard guard(FLockObj);
  if (!ValidRange(kanal, anz) || IsFrequencyMode(Mode()) || FNom_Frequ[kanal] == 0) return {};
  return PhaseDiffPs(FHist->FPhaDiff, FNom_Frequ, virtualChannel, kanal, startX, anz,
                     [this](int32_t k, const std::function<double(int32_t)>& t) { return VirtualSum(k, t); });
}

std::vector<double> TZCT_DataManagement::GetPhaPredecessorPs(bool virtualChannel, int32_t kanal, int32_t startX, int32_t anz) const {
  std::lock_guard guard(FLockObj);
  if (!ValidRange(kanal, anz) || IsFrequencyMode(Mode()) || FNom_Frequ[kanal] == 0) return {};
  return PhaseDiffPs(FHist->FPhaPredecessor, FNom_Frequ, virtualChannel, kanal, startX, anz,
                     [this](int32_t k, const std::function<double(int32_t)>& t) { return VirtualSum(k, t); });
}

std::vector<double> TZCT_DataManagement::GetTheoPhaseDiffPs(bool virtualChannel, int32_t kanal, int32_t startX, int32_t anz) const {
  std::lock_guard guard(FLockObj);
  const uint8_t mode = Mode();
  if (!ValidRange(kanal, anz) || (mode >= 2 && mode <= 5)) return {};
  const auto& hist = virtualChannel ? FHist->FVirtPhaseRes_ps : FHist->FPhaseRes_ps;
  std::vector<double> result = Collect(startX, anz, [&](int32_t x) { return hist[kanal][x]; });
  for (double value : result) {
    if (std::isnan(value)) {
      Dbg(".GetTheoPhaseDiffPs[" + std::to_string(kanal) + "]: NaN");
      return {};
    }
  }
  return result;
}

std::vector<double> TZCT_DataManagement::GetAvgShort(bool virtualChannel, int32_t kanal, int32_t startX, int32_t anz) const {
  std::lock_guard guard(FLockObj);
  if (!ValidRange(kanal, anz)) return {};
  const auto& hist = FHist->FAvgShort;
  if (!virtualChannel) return Collect(startX, anz, [&](int32_t x) { return hist[kanal][x]; });
  return Collect(startX, anz, [&](int32_t x) { return VirtualSum(kanal, [&](int32_t i) { return hist[i][x]; }); });
}

std::vector<double> TZCT_DataManagement::GetAvgLong(bool virtualChannel, int32_t kanal, int32_t startX, int32_t anz) const {
  std::lock_guard guard(FLockObj);
  if (!ValidRange(kanal, anz)) return {};
  const auto& hist = FHist->FAvgLong;
  if (!virtualChannel) return Collect(startX, anz, [&](int32_t x) { return hist[kanal][x]; });
  return Collect(startX, anz, [&](int32_t x) { return VirtualSum(kanal, [&](int32_t i) { return hist[i][x]; }); });
}

std::vector<double> TZCT_DataManagement::LastValues(
    bool virtualChannel, std::vector<double> (TZCT_DataManagement::*getter)(bool, int32_t, int32_t, int32_t) const) {
  const int32_t count = virtualChannel ? VirtualChannelCount() : ChannelCount();
  const int32_t x = (X() - 1) & DM_HistoryMask;
  std::vector<double> result(std::max(count, 0), kNaN);
  if (Count(hsNone) == 0) return result;
  for (int32_t k = 1; k <= count; ++k) {
    const std::vector<double> value = (this->*getter)(virtualChannel, k, x, 1);
    if (!value.empty()) result[k - 1] = value[0];
  }
  return result;
}

std::vector<double> TZCT_DataManagement::GetLastFrequDiff(bool virtualChannel) {
  return LastValues(virtualChannel, &TZCT_DataManagement::GetFrequDiff);
}

std::vector<double> TZCT_DataManagement::GetLastFrequDiffRelative(bool virtualChannel) {
  return LastValues(virtualChannel, &TZCT_DataManagement::GetFrequDiffRelative);
}

std::vector<double> TZCT_DataManagement::GetLastPhaDiffPs(bool virtualChannel) {
  return LastValues(virtualChannel, &TZCT_DataManagement::GetPhaDiffPs);
}

std::vector<double> TZCT_DataManagement::GetLastPhaPredecessorPs(bool virtualChannel) {
  return LastValues(virtualChannel, &TZCT_DataManagement::GetPhaPredecessorPs);
}

std::vector<double> TZCT_DataManagement::GetLastTheoPhaseDiffPs(bool virtualChannel) {
  return LastValues(virtualChannel, &TZCT_DataManagement::GetTheoPhaseDiffPs);
}

namespace {
std::vector<double> LastOfScale(const TZCT_DataManagement& store, THorizontalScale h, int32_t count,
                                const std::function<double(int32_t k, int32_t x)>& value) {
  std::vector<double> result(std::max(count, 0), kNaN);
  if (store.Count(h) == 0) return result;
  const int32_t x = (store.LaufX(h) - 1) & DM_HistoryMask;
  for (int32_t k = 1; k <= count; ++k) result[k - 1] = value(k, x);
  return result;
}
}  // namespace

// The newest average of each channel, at the average's own scale.
std::vector<double> TZCT_DataManagement::GetLastAvgShort() {
  return LastOfScale(*this, hsShort, ChannelCount(), [&](int32_t k, int32_t x) { return FHist->FAvgShort[k][x]; });
}

std::vector<double> TZCT_DataManagement::GetLastAvgLong() {
  return LastOfScale(*this, hsLong, ChannelCount(), [&](int32_t k, int32_t x) { return FHist->FAvgLong[k][x]; });
}

// (phase at x - phase at the block start) - plotX intervals of the 10 MHz reference, in cycles.
double TZCT_DataManagement::PhaseTrimValue(int32_t kanal, int32_t x, int32_t blockStart, int32_t plotX) const {
  const int64_t whole = static_cast<int64_t>(FIntervalMs) * plotX * 10'000;
  const Phase ideal{whole, plotX / 256.0};
  Phase value = (FHist->PPhaseDLL[kanal][x] - FHist->PPhaseDLL[kanal][blockStart]) - ideal;
  value.Normalize();
  return value.ToDouble();
}

std::vector<double> TZCT_DataManagement::GetPhaseTrim(int32_t kanal, int32_t startX, int32_t plotX, int32_t anz) const {
  std::lock_guard guard(FLockObj);
  if (!ValidRange(kanal, anz)) return {};
  plotX %= 256;
  int32_t block = (startX - plotX) & DM_HistoryMask;
  Dbg(".GetPhaseTrim: kanal=" + std::to_string(kanal) + ", startX=" + std::to_string(startX) + ", plotX=" +
      std::to_string(plotX) + ", anz=" + std::to_string(anz) + ", indexPhase0=" + std::to_string(block) +
      ", Phase0=" + FHist->PPhaseDLL[kanal][block].ToString());
  std::vector<double> result(anz);
  int32_t x = startX & DM_HistoryMask;
  for (int32_t n = 0; n < anz; ++n) {
    result[n] = PhaseTrimValue(kanal, x, block, plotX);
    if (plotX == 255) {
      Dbg(".GetPhaseTrim: alt Phase0[" + std::to_string(block) + "]=" + FHist->PPhaseDLL[kanal][block].ToString());
      block = (block + 256) & DM_HistoryMask;
      Dbg(".GetPhaseTrim: neu Phase0[" + std::to_string(block) + "]=" + FHist->PPhaseDLL[kanal][block].ToString());
      plotX = 0;
    } else {
      ++plotX;
    }
    x = (x + 1) & DM_HistoryMask;
  }
  return result;
}

std::vector<double> TZCT_DataManagement::GetLastPhaseTrim(int32_t plotX) const {
  std::lock_guard guard(FLockObj);
  const int32_t p = plotX % 256;
  const int32_t newest = (X() - 1) & DM_HistoryMask;
  const int32_t block = (X() - p - 1) & DM_HistoryMask;
  std::vector<double> result(std::max(ChannelCount(), 0));
  for (int32_t i = 1; i <= ChannelCount(); ++i) result[i - 1] = PhaseTrimValue(i, newest, block, p);
  return result;
}

std::string TZCT_DataManagement::GetFrequDiffNoData() const {
  return IsDifferenceMode(Mode()) ? "No frequency value in phase difference report mode" : "";
}

std::string TZCT_DataManagement::GetPhaDiffPsNoData(int32_t kanal) const {
  if (IsFrequencyMode(Mode())) return "No phase difference value in frequency report mode";
  return NomFreq(kanal) != 0 ? "" : "Nominal frequency missing";
}

std::string TZCT_DataManagement::GetTheoPhaseDiffPsNoData(int32_t kanal) const {
  if (IsFrequencyMode(Mode())) return "No ideal phase value in frequency report mode";
  if (IsDifferenceMode(Mode())) return "No ideal phase value in phase Difference report mode";
  return NomFreq(kanal) != 0 ? "" : "Nominal frequency missing";
}

// --- Text views ---

bool TZCT_DataManagement::IsTextModeEnabled(TTextModeZCT aMode) const {
  const uint8_t mode = Mode();
  if (mode == 6 || mode <= 1) return true;
  if (IsFrequencyMode(mode)) return aMode == tmFreqAbs || aMode == tmFreqRel;
  if (IsDifferenceMode(mode)) return aMode == tmPhaseDiff || aMode == tmPhasePredecessor;
  return false;
}

bool TZCT_DataManagement::IsTextRawDataEnabled() const { return Mode() == 6; }

std::string TZCT_DataManagement::GetTextModeCaption(TTextModeZCT aMode) const {
  std::lock_guard guard(FLockObj);
  const uint8_t mode = Mode();
  const bool average = mode == 1 || mode == 3 || mode == 5 || (mode == 6 && FRawData->RawAvg());
  return ZCTTextModeCaption(aMode, average, false);
}

std::string TZCT_DataManagement::GetTextModeVirtualCaption(TTextModeZCT aMode) const {
  std::lock_guard guard(FLockObj);
  const uint8_t mode = Mode();
  const bool average = mode == 1 || mode == 3 || mode == 5 || (mode == 6 && FRawData->RawAvg());
  return ZCTTextModeCaption(aMode, average, true);
}

// Window separator for phase, difference and frequency texts; log separator for the predecessor
// and residual texts.
std::string TZCT_DataManagement::PhysicalText(TTextModeZCT aMode, int32_t k, char winSep, char logSep) const {
  const double nominal = FNom_Frequ[k];
  switch (aMode) {
    case tmPhase: return ZCTPhaseText(PPhase[k], FPhaseDecimals[k], winSep);
    case tmPhaseDiff: return IsFrequencyMode(Mode()) ? "" : ZCTPhaseText(PPhaseDiff[k], FPhaseDecimals[k], winSep);
    case tmFreqAbs: return FFrequency[k] == 0 ? "" : ZCTFrequencyText(FFrequency[k], winSep);
    case tmFreqRel:
      if (nominal == 0 || FFrequency[k] == 0) return "";
      return ZCTRelativeText((FFrequency[k] - nominal) / nominal, winSep);
    case tmPhasePredecessor: return ZCTPhaseText(PPhasePreDiff[k], FPhaseDecimals[k], logSep);
    case tmPhaseResiduum: return std::isnan(FPhaseRes_ns[k]) ? "" : ZCTResidualText(FPhaseRes_ns[k], logSep);
  }
  return {};
}

// The fewest decimals among the channels that make up virtual channel k.
int32_t TZCT_DataManagement::VirtualDecimals(int32_t k) {
  const TChannelFactors f = GetVirtualFactors(k);
  int32_t decimals = 11;
  bool any = false;
  for (int32_t i = 1; i <= DM_MaxChannels; ++i) {
    if (f[i - 1] == 0) continue;
    decimals = any ? std::min(decimals, FPhaseDecimals[i]) : FPhaseDecimals[i];
    any = true;
  }
  return decimals;
}

std::string TZCT_DataManagement::VirtualText(TTextModeZCT aMode, int32_t k, char winSep, char logSep) {
  switch (aMode) {
    case tmPhase: return ZCTPhaseText(PVirtPhase[k], VirtualDecimals(k), winSep);
    case tmPhaseDiff: return IsFrequencyMode(Mode()) ? "" : ZCTPhaseText(PVirtPhaseDiff[k], VirtualDecimals(k), winSep);
    case tmFreqAbs: return OrNoValue(FVirtFrequency[k], [&](double v) { return ZCTFrequencyText(v, winSep); });
    case tmFreqRel: return OrNoValue(FVirtFrequencyRelative[k], [&](double v) { return ZCTRelativeText(v, winSep); });
    case tmPhasePredecessor: return ZCTPhaseText(PVirtPhasePreDiff[k], VirtualDecimals(k), logSep);
    case tmPhaseResiduum: return OrNoValue(FVirtPhaseRes_ns[k], [&](double v) { return ZCTResidualText(v, logSep); });
  }
  return {};
}

std::string TZCT_DataManagement::GetTextModeString(TTextModeZCT aMode, int32_t kanal) const {
  std::lock_guard guard(FLockObj);
  if (kanal < 1 || kanal > ChannelCount()) return "";
  return PhysicalText(aMode, kanal, WinSep(), LogSep());
}

std::string TZCT_DataManagement::GetTextModeVirtualString(TTextModeZCT aMode, int32_t kanal) {
  std::lock_guard guard(FLockObj);
  if (kanal < 1 || kanal > VirtualChannelCount()) return "";
  return VirtualText(aMode, kanal, WinSep(), LogSep());
}

std::string TZCT_DataManagement::GetTextRawDataString(int32_t kanal) const {
  std::lock_guard guard(FLockObj);
  if (kanal < 1 || kanal > ChannelCount()) return "";
  return FRawData->T1T2T3(kanal);
}

// --- Log-file strings ---

bool TZCT_DataManagement::SamplerStringNeeded(int bit) const { return IsLogTypeNeeded(bit) || FLocalServerRunning; }

void TZCT_DataManagement::ClearSamplerStrings() {
  for (std::string* s : {&FSamplerPhaseValuesString, &FSamplerFrequencyValuesString, &FSamplerPhaseDiffValuesString,
                         &FSamplerPhasePredecessorValuesString, &FSamplerPhaseResiduumValuesString, &FSamplerRawDataString,
                         &FSamplerADEVValuesString, &FSamplerVirtualFreqAbsValuesString, &FSamplerVirtualFreqRelValuesString,
                         &FSamplerVirtualPhaseResValuesString, &FSamplerVirtualADEVValuesString,
                         &FSamplerVirtualPhaseDiffValuesString, &FSamplerVirtualPhasePrevValuesString})
    s->clear();
}

void TZCT_DataManagement::GenerateSamplerStrings() {
  try {
    const uint8_t mode = Mode();
    const char sep = LogSep();
    const int32_t last = FLetzterKanal;
    // Each line is built in place in its member string, whose capacity stays from line to line.
    char phase[PhaseColumnWidth];
    TFixedTextBuffer number;
    const auto build = [&](std::string& line, int bit, bool empty, size_t width, const auto& text) {
      line.clear();
      if (!SamplerStringNeeded(bit) || empty) return;
      for (int32_t i = 1; i <= last; ++i) ZCTAppendSamplerField(line, text(i), width);
    };
    const auto phaseText = [&](const Phase& value, int32_t i) {
      value.FormatColumn(FPhaseDecimals[i], sep, phase);
      return std::string_view(phase, PhaseColumnWidth);
    };
    build(FSamplerPhaseValuesString, LT_Phase, mode >= 2, ZCT_PhaseWidth, [&](int32_t i) { return phaseText(PPhase[i], i); });
    build(FSamplerFrequencyValuesString, LT_Frequency, FFrequency[1] == 0, ZCT_FrequencyWidth, [&](int32_t i) {
      return FormatFloatFixed(FFrequency[i], static_cast<int>(ZCT_FrequencyWidth), 11, sep, number);
    });
    build(FSamplerPhaseDiffValuesString, LT_PhaseDiff, IsFrequencyMode(mode), ZCT_PhaseWidth,
          [&](int32_t i) { return phaseText(PPhaseDiff[i], i); });
    build(FSamplerPhasePredecessorValuesString, LT_PhasePredecessor, IsFrequencyMode(mode), ZCT_PhaseWidth,
          [&](int32_t i) { return phaseText(PPhasePreDiff[i], i); });
    build(FSamplerPhaseResiduumValuesString, LT_PhaseResiduum, mode >= 2, ZCT_PhaseWidth, [&](int32_t i) {
      if (std::isnan(FPhaseRes_ns[i])) return std::string_view(kBlankPhaseField, ZCT_PhaseWidth);
      return FormatFloatFixed(FPhaseRes_ns[i], static_cast<int>(ZCT_PhaseWidth), 5, sep, number);
    });
    const size_t rawWidth = FRawData->T1T2T3(1).size();
    std::string raw;
    build(FSamplerRawDataString, LT_RawData, rawWidth == 0, rawWidth, [&](int32_t i) -> std::string_view {
      raw = FRawData->T1T2T3(i);
      return raw;
    });
    FSamplerADEVValuesString.clear();
  } catch (const std::exception& e) {
    LogException(LogId(), DbgTag() + ".GenerateSamplerStrings failed: ", e);
    throw;
  }
  GenerateVirtualSamplerStrings();
}

void TZCT_DataManagement::GenerateVirtualSamplerStrings() {
  try {
    const int32_t count = VirtualChannelCount();
    if (count == 0) return;
    const char sep = LogSep();
    const auto build = [&](int bit, const char* name, size_t width, TTextModeZCT aMode) {
      std::string line;
      if (!SamplerStringNeeded(bit)) return line;
      for (int32_t k = 1; k <= count; ++k) line += ZCTVirtualSamplerField(VirtualText(aMode, k, sep, sep), width);
      Dbg(std::string(".") + name + "=" + line);
      return line;
    };
    FSamplerVirtualFreqAbsValuesString = build(LT_VirtualFreqAbs, "GenerateSamplerVirtualStringFreqAbs", ZCT_FrequencyWidth, tmFreqAbs);
    FSamplerVirtualFreqRelValuesString = build(LT_VirtualFreqRel, "GenerateSamplerVirtualStringFreqRel", ZCT_FrequencyWidth, tmFreqRel);
    FSamplerVirtualPhaseResValuesString =
        build(LT_VirtualPhaseRes, "GenerateSamplerVirtualStringPhaseRes", ZCT_PhaseWidth, tmPhaseResiduum);
    FSamplerVirtualADEVValuesString.clear();
    FSamplerVirtualPhaseDiffValuesString =
        build(LT_VirtualPhaseDiff, "GenerateSamplerVirtualStringPhaseDiff", ZCT_PhaseWidth, tmPhaseDiff);
    FSamplerVirtualPhasePrevValuesString =
        build(LT_VirtualPhasePrev, "GenerateSamplerVirtualStringPhasePrev", ZCT_PhaseWidth, tmPhasePredecessor);
  } catch (const std::exception& e) {
    LogException(LogId(), DbgTag() + ".GenerateSamplerStrings virtual sampler strings failed: ", e);
    throw;
  }
}

void TZCT_DataManagement::AddSamplerStrings() {
  if (!FOutput.Sampler) return;
  const int32_t sid = SessId();
  const bool copy = SessIsCopy();
  try {
    if (!FSyncTime.empty() && DbgOn()) Dbg(".AddSamplerStrings FSyncTime=" + FSyncTime);
    FOutput.Sampler->SetSessionSyncTime(sid, copy, FSyncTime);
    // One set reused from line to line: assigning keeps the capacity of its strings.
    TMultiSamplerStrings& strings = FSamplerSet;
    strings[0] = Sync();
    strings[0] += FSamplerPhaseValuesString;
    strings[1] = FSamplerFrequencyValuesString;
    strings[2] = FSamplerPhaseDiffValuesString;
    strings[3] = FSamplerRawDataString;
    strings[4].clear();
    strings[5] = FDGIs_HEX;
    strings[6] = FSamplerPhasePredecessorValuesString;
    strings[7] = FSamplerADEVValuesString;
    strings[8] = FSamplerPhaseResiduumValuesString;
    strings[9] = FZCTtimeString;
    FOutput.Sampler->AddStrings(sid, copy, strings);
    if (!FKeptAlarmText.empty()) FOutput.Sampler->AddWarning(sid, copy, FKeptAlarmText);
  } catch (const std::exception& e) {
    LogException(LogId(), DbgTag() + ".AddSamplerStrings failed", e);
    throw;
  }
  if (VirtualChannelCount() == 0) return;
  try {
    const TMultiSamplerStrings strings{Sync() + FSamplerVirtualPhaseResValuesString,
                                       FSamplerVirtualFreqAbsValuesString,
                                       FSamplerVirtualFreqRelValuesString,
                                       FSamplerVirtualADEVValuesString,
                                       FSamplerVirtualPhaseDiffValuesString,
                                       FSamplerVirtualPhasePrevValuesString,
                                       "",
                                       "",
                                       "",
                                       FZCTtimeString};
    FOutput.Sampler->AddStringsVirtual(sid, copy, strings);
  } catch (const std::exception& e) {
    LogException(LogId(), DbgTag() + ".AddSamplerStrings virtual failed", e);
    throw;
  }
}

void TZCT_DataManagement::AddSamplerStringsRawData() {
  if (!FOutput.Sampler) return;
  const char sep = LogSep();
  const int32_t last = FLetzterKanal;
  const auto build = [&](int bit, const char* name, size_t width, const std::function<std::string(int32_t)>& text) {
    std::string line;
    if (!IsLogTypeNeeded(bit)) return line;
    for (int32_t i = 1; i <= last; ++i) line += ZCTSamplerField(text(i), width);
    if (name) Dbg(std::string(".") + name + "=" + line);
    return line;
  };
  const auto residualNs = [&](int32_t i) {
    const double nominal = FNom_Frequ[i];
    if (nominal == 0) return std::string(ZCT_PhaseWidth, ' ');
    return ZCTResidualText(FRawData->PhaseResRaw(i).ToDouble() / nominal * 1e9, sep);
  };
  Dbg(".AddSamplerStringsRawData FSyncTime=" + FSyncTime);
  FOutput.Sampler->SetSessionSyncTime(SessId(), SessIsCopy(), FSyncTime);
  TMultiSamplerStrings strings;
  strings[0] = Sync() + build(LT_Phase, "GenerateSamplerStringRawPhase", ZCT_PhaseWidth, [&](int32_t i) {
                 return ZCTPhaseText(FRawData->PhaseRaw(i), FRawData->GetPostDecDigits(i), sep);
               });
  strings[1] = build(LT_Frequency, "GenerateSamplerStringRawFrequency", ZCT_FrequencyWidth,
                     [&](int32_t i) { return ZCTFrequencyText(FRawData->FreqRaw(i), sep); });
  strings[2] = build(LT_PhaseDiff, "GenerateSamplerStringRawPhaseDiff", ZCT_PhaseWidth, [&](int32_t i) {
    return ZCTPhaseText(FRawData->PhaseRawDiff(i), FRawData->GetPostDecDigits(i), sep);
  });
  const size_t rawWidth = FRawData->T1T2T3(1).size();
  if (rawWidth > 0) strings[3] = build(LT_RawData, nullptr, rawWidth, [&](int32_t i) { return FRawData->T1T2T3(i); });
  strings[5] = FDGIs_HEX;
  strings[6] = build(LT_PhasePredecessor, "GenerateSamplerStringRawPhasePre", ZCT_PhaseWidth, [&](int32_t i) {
    return ZCTPhaseText(FRawData->PhaseRawPreDiff(i), FRawData->GetPostDecDigits(i), sep);
  });
  strings[8] = build(LT_PhaseResiduum, "GenerateSamplerStringRawPhaseRes", ZCT_PhaseWidth, residualNs);
  strings[9] = FZCTtimeString;
  FOutput.Sampler->AddStringsSpecial(SessId(), SessIsCopy(), strings);
}

void TZCT_DataManagement::SendServerLines() {
  if (!FOutput.ReportLog || !FLocalServerRunning) return;
  const std::string prefix = Sync() + FDGIs_HEX;
  const std::pair<const std::string*, int32_t> lines[] = {{&FSamplerPhaseValuesString, SL_Phase},
                                                          {&FSamplerFrequencyValuesString, SL_Frequency},
                                                          {&FSamplerPhaseDiffValuesString, SL_PhaseDiff},
                                                          {&FSamplerPhasePredecessorValuesString, SL_PhasePredecessor}};
  for (const auto& [line, logType] : lines)
    if (!line->empty()) FOutput.ReportLog->TcpReportLog(prefix + *line, logType);
}

// --- Averages ---

void TZCT_DataManagement::AddShort(std::span<const double> values, double divisor) {
  {
    std::lock_guard guard(FLockObj);
    const int32_t x = LaufX(hsShort);
    for (size_t i = 0; i < values.size() && i < DM_MaxChannels; ++i) FHist->FAvgShort[i + 1][x] = values[i] / divisor;
    AdvanceX(hsShort);
  }
  if (FOnShortAverage) RaiseEvent("AddShort", [&] { FOnShortAverage(); });
}

void TZCT_DataManagement::AddLong(std::span<const double> values, double divisor) {
  {
    std::lock_guard guard(FLockObj);
    const int32_t x = LaufX(hsLong);
    for (size_t i = 0; i < values.size() && i < DM_MaxChannels; ++i) FHist->FAvgLong[i + 1][x] = values[i] / divisor;
    AdvanceX(hsLong);
  }
  if (FOnLongAverage) RaiseEvent("AddLong", [&] { FOnLongAverage(); });
}

bool TZCT_DataManagement::HasClockAlarm(int32_t kanal) const {
  std::lock_guard guard(FLockObj);
  if (!FClockAlarm || kanal < 1 || kanal > FLetzterKanal) return false;
  return FClockAlarm->CheckFrequency(FFrequency[kanal], kanal);
}

// --- Allan hooks ---

std::vector<int64_t> TZCT_DataManagement::GetADEVCounts(TAllanMode am) const {
  std::lock_guard guard(FLockObj);
  return FAllanData[am]->GetADEVCounts();
}

std::vector<double> TZCT_DataManagement::GetAllanGraphicValues(TAllanMode am, int32_t kanal) const {
  std::lock_guard guard(FLockObj);
  return FAllanData[am]->GetGraphicValues(kanal);
}

int32_t TZCT_DataManagement::GetAllanLastTau(TAllanMode am) const {
  std::lock_guard guard(FLockObj);
  return FAllanData[am]->LastTau();
}

std::vector<TAllanPersistEntry> TZCT_DataManagement::GetAllanPersistValues(TAllanMode am, int32_t kanal) const {
  std::lock_guard guard(FLockObj);
  return FAllanData[am]->GetGraphicPersistValues(kanal);
}

std::string TZCT_DataManagement::GetAllanTauCaption(TAllanMode am, int32_t len, int32_t intervalMs) const {
  return FAllanData[am]->GetTauCaption(len, intervalMs);
}

std::vector<double> TZCT_DataManagement::GetAllanTextValues(TAllanMode am, int32_t kanal) const {
  std::lock_guard guard(FLockObj);
  return FAllanData[am]->GetTextValues(kanal);
}

TAllanMinMax TZCT_DataManagement::GetAllanActualYPowerMinMax(TAllanMode am, int32_t kanal) const {
  std::lock_guard guard(FLockObj);
  return FAllanData[am]->GetGraphicActualScaleMinMax(kanal);
}

TAllanMinMax TZCT_DataManagement::GetAllanYPowerMinMax(TAllanMode am, int32_t kanal) const {
  std::lock_guard guard(FLockObj);
  return FAllanData[am]->GetGraphicScaleMinMax(kanal);
}

int32_t TZCT_DataManagement::AllanDecay() const {
  std::lock_guard guard(FLockObj);
  return FAllanData[amFreq]->DecayConst();
}

void TZCT_DataManagement::SetAllanDecay(int32_t value) {
  std::lock_guard guard(FLockObj);
  for (auto& allan : FAllanData) allan->SetDecayConst(value);
}

std::string TZCT_DataManagement::CheckAllanMode(TAllanMode am) const {
  const uint8_t mode = Mode();
  switch (am) {
    case amFreq: return IsDifferenceMode(mode) ? "No Frequency values for Phase Difference report modes" : "";
    case amPhaseRes: return mode >= 2 && mode <= 5 ? "Phase residual values only for report modes Phase" : "";
    case amPhaseDiff: return IsFrequencyMode(mode) ? "No Phase difference values for Frequency report modes" : "";
  }
  return {};
}

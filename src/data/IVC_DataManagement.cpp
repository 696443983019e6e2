#include "data/IVC_DataManagement.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/LogUnit.h"
#include "core/QV_NumberText.h"
#include "data/IReportLogSink.h"
#include "data/ISamplerSink.h"
#include "devices/QV_ReportCodes.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr int32_t kCodeTransfer = 31;
constexpr int32_t kLogTypeValues = 3;
constexpr int32_t kLogTypeDifferences = 4;
// Weight of a new difference in the running offset to channel 1.
constexpr double kCalibrationWeight = 30;
constexpr const char* kNoValueText = "---";

// A column the report processing filled with '#' because its value did not fit.
bool IsOverflowColumn(std::string_view text) {
  return !text.empty() && text.find_first_not_of('#') == std::string_view::npos;
}

// The history scale a quantity is kept at.
THorizontalScale ScaleOf(TTextModeIVC aMode) {
  switch (aMode) {
    case tmIVCShortAvg: return hsShort;
    case tmIVCLongAvg: return hsLong;
    default: return hsNone;
  }
}

std::string JoinValues(const TCalibrationData& values) {
  std::string text;
  for (size_t i = 0; i < values.size(); ++i) text += (i == 0 ? "" : " ") + FloatToShortest(values[i]);
  return text;
}

}  // namespace

struct TIVC_DataManagement::THistories {
  using THistory = std::array<std::array<double, DM_HistoryLength>, DM_MaxChannels + 1>;
  THistory FIVCValues{};
  THistory FAvgShort{};
  THistory FAvgLong{};
};

TIVC_DataManagement::TIVC_DataManagement(int32_t aLogID, int32_t aSessId, bool aSessIsCopy)
    : TDataManagement(aLogID, aSessId, aSessIsCopy, "TIVC_DataManagement"), FHist(std::make_unique<THistories>()) {
  Dbg(".Create");
  FHardwareOffsetNs = GetHardwareOffsetNs();
}

TIVC_DataManagement::~TIVC_DataManagement() { Dbg(".Destroy"); }

void TIVC_DataManagement::Dbg(const std::string& text) const { LogIt(LogId(), DbgTag() + text); }

void TIVC_DataManagement::UpdateSession(int32_t what, const std::string& text) {
  if (FOutput.Sampler) FOutput.Sampler->UpdateSession(SessId(), SessIsCopy(), what, text);
}

// --- Taking reports ---

bool TIVC_DataManagement::AddIVC(const std::string& BufCopy) {
  std::string s = BufCopy.size() > 5 ? BufCopy.substr(5) : std::string();
  if (s.size() > MaxReportLength) {
    AddError(kCodeTransfer, "IVC data too long! Truncated to " + std::to_string(MaxReportLength) + " Bytes!");
    s.resize(MaxReportLength);
  }
  const int32_t n = static_cast<int32_t>(s.size()) / ColumnWidth;
  if (n == 0) {
    // Nothing to store: handing on the strings of the previous report would log it twice.
    AddError(kCodeTransfer, "Transfer error. Data lost: %" + BufCopy + "%");
    return false;
  }
  std::lock_guard guard(FLockObj);
  // All columns are read before anything changes, so a column that is no number leaves no half sample.
  const std::vector<double> values = ReadColumns(s, n);
  FAverageShortValueString[1].clear();
  FAverageLongValueString[1].clear();
  // Taken under the store's lock: a calibration applied meanwhile resets the store after this sample.
  const TCalibrationData fixed = CalibrationValues();
  for (int32_t i = 1; i <= n; ++i) {
    FLetzterKanal = i;
    StoreValue(i, values[i - 1], fixed);
  }
  TakeChannelCount(n);
  HandOnStrings();
  AdvanceX(hsNone);
  return true;
}

// Column i is the i-th ";"-terminated field. For the grouped layout this is exactly the 13
// characters at 14 (i - 1); the single-value layout puts a blank in front of its column, which
// fixed positions would read one character short.
std::vector<double> TIVC_DataManagement::ReadColumns(const std::string& s, int32_t n) const {
  const std::vector<std::string> fields = SplitTextList(s, ";");
  std::vector<double> values(n, FinvalidIVCValue);
  for (int32_t i = 0; i < n; ++i) {
    const std::string text(TrimBlanks(i < static_cast<int32_t>(fields.size()) ? fields[i] : std::string()));
    if (IsOverflowColumn(text)) {
      Dbg(".AddIVC[" + std::to_string(i + 1) + "] unreadable column " + text + " -> invalid value");
      continue;
    }
    const auto x = TextToFloat(NormaliseDecimalSeparator(text, LogSep()), FOutput.FormatLog);
    if (!x) throw EConvertError("'" + text + "' is not a valid floating point value");
    if (std::isfinite(*x)) values[i] = *x;
  }
  return values;
}

void TIVC_DataManagement::StoreValue(int32_t i, double x, const TCalibrationData& fixed) {
  double value = FinvalidIVCValue;
  if (IsValid(x)) {
    const double b = x + FHardwareOffsetNs;
    LearnCalibration(i, b);
    value = CorrectIVC(b - fixed[i - 1]);
  }
  FIVC[i] = value;
  FHist->FIVCValues[i][X()] = value;
}

// Channel 1 of the same report is stored first; without a valid channel 1 there is no difference.
void TIVC_DataManagement::LearnCalibration(int32_t i, double b) {
  if (i == 1 || !IsValid(b) || !IsValid(FHist->FIVCValues[1][X()])) return;
  const double c = CalcIVCDiff(i, b);
  FCalibrate[i] = FCalibrateTaken[i] ? FCalibrate[i] - (FCalibrate[i] - c) / kCalibrationWeight : c;
  FCalibrateTaken[i] = true;
}

double TIVC_DataManagement::CalcIVCDiff(int32_t kanal, double value) const {
  std::lock_guard guard(FLockObj);
  if (kanal <= 1 || kanal > DM_MaxChannels || !IsValid(value)) return 0;
  const double first = FHist->FIVCValues[1][X()];
  return IsValid(first) ? value - first : 0;
}

void TIVC_DataManagement::TakeChannelCount(int32_t n) {
  const int32_t old = ChannelCount();
  if (n == old) return;
  Dbg(": IVCCount=" + std::to_string(n));
  if (SetChannelCount(n) && old > 0) UpdateSession(SE_IVCChannelsChanged, "");
}

void TIVC_DataManagement::HandOnStrings() {
  if (!FOutput.AddLogStrings) {
    Dbg(": FAddLogStrings=False");
    return;
  }
  const std::string values = GenerateSamplerStringIVC();
  const std::string differences = GenerateSamplerStringIVCDiff();
  if (FOutput.Sampler) {
    TMultiSamplerStrings standard;
    standard[0] = values;
    standard[1] = differences;
    standard[9] = FZCTtimeString;
    FOutput.Sampler->AddStrings(SessId(), SessIsCopy(), standard);
    if (VirtualChannelCount() > 0) {
      TMultiSamplerStrings virtuals;
      virtuals[0] = GenerateSamplerVirtualStringIVC();
      virtuals[9] = FZCTtimeString;
      FOutput.Sampler->AddStringsVirtual(SessId(), SessIsCopy(), virtuals);
    }
  }
  if (FOutput.ReportLog) {
    if (!values.empty()) FOutput.ReportLog->TcpReportLog(values, kLogTypeValues);
    if (!differences.empty()) FOutput.ReportLog->TcpReportLog(differences, kLogTypeDifferences);
  }
}

// --- Calibration ---

double TIVC_DataManagement::ReadCalibrationItem(const std::string& item) const {
  // The report's separator may differ from the log format's, as with the values.
  const std::string text(TrimBlanks(item));
  const auto value = TextToFloat(NormaliseDecimalSeparator(text, LogSep()), FOutput.FormatLog);
  return value && std::isfinite(*value) ? *value : 0.0;
}

bool TIVC_DataManagement::AddCalibration(const std::string& BufCopy) {
  std::lock_guard guard(FLockObj);
  const std::vector<std::string> items = SplitTextList(BufCopy, ";");
  bool changed = false;
  if (FCalibChannel1Disabled) FDeviceCalibration[0] = 0;
  const int32_t first = FCalibChannel1Disabled ? 2 : 1;
  for (int32_t ch = first; ch <= DM_MaxChannels && ch < static_cast<int32_t>(items.size()); ++ch) {
    const double value = ReadCalibrationItem(items[ch]);
    if (value != FDeviceCalibration[ch - 1]) changed = true;
    FDeviceCalibration[ch - 1] = value;
  }
  FDeviceCalibrationSet = true;
  Dbg(".AddCalibration " + JoinValues(FDeviceCalibration) + ", changed=" + BoolText(changed));
  return changed;
}

bool TIVC_DataManagement::SetCalibrationData(const TCalibrationData& data) {
  bool changed = false;
  TCalibrationData applied;
  {
    std::lock_guard calib(FLockCalib);
    for (int32_t ch = 1; ch <= DM_MaxChannels; ++ch) {
      double value = std::isfinite(data[ch - 1]) ? data[ch - 1] : 0.0;
      if (ch == 1 && FCalibChannel1Disabled) value = 0;
      if (value != FCalibrateFixed[ch - 1]) changed = true;
      FCalibrateFixed[ch - 1] = value;
    }
    applied = FCalibrateFixed;
  }
  Dbg(".SetCalibrationData " + JoinValues(applied) + ", changed=" + BoolText(changed));
  if (changed) Reset();
  return changed;
}

TCalibrationData TIVC_DataManagement::CalibrationValues() const {
  std::lock_guard calib(FLockCalib);
  return FCalibrateFixed;
}

TCalibrationData TIVC_DataManagement::DeviceCalibration() const {
  std::lock_guard guard(FLockObj);
  return FDeviceCalibration;
}

bool TIVC_DataManagement::DeviceCalibrationSet() const {
  std::lock_guard guard(FLockObj);
  return FDeviceCalibrationSet;
}

double TIVC_DataManagement::CalibrateCalculated(int32_t kanal) const {
  std::lock_guard guard(FLockObj);
  return kanal >= 1 && kanal <= DM_MaxChannels ? FCalibrate[kanal] : 0.0;
}

// --- Lifecycle ---

void TIVC_DataManagement::Reset() {
  Dbg(".Reset");
  {
    std::lock_guard guard(FLockObj);
    FIVC.fill(0);
    for (auto& channel : FHist->FIVCValues) channel.fill(0);
    for (auto& channel : FHist->FAvgShort) channel.fill(kNaN);
    for (auto& channel : FHist->FAvgLong) channel.fill(kNaN);
    FCalibrate.fill(0);
    FCalibrateTaken.fill(false);
    FAvgLongLast.fill(kNaN);
    FAvgShortLast.fill(kNaN);
    for (auto& text : FAverageShortValueString) text.clear();
    for (auto& text : FAverageLongValueString) text.clear();
  }
  TDataManagement::Reset();
}

void TIVC_DataManagement::DeviceOpened() {
  Dbg(".DeviceOpened");
  Reset();
}

void TIVC_DataManagement::BufferCleared(uint16_t header) {
  std::lock_guard guard(FLockObj);
  Dbg(".BufferCleared header=" + IntToHex(header, 4));
  Reset();
  if (header == rc_OverflowCleared) {
    const std::string letter(1, static_cast<char>('A' + SessId()));
    UpdateSession(SE_ReSyncOrLinesLost, "Source " + letter + " One or more lines lost due to receive buffer overflow");
  }
}

// --- Properties ---

// --- Averages ---

void TIVC_DataManagement::AddShort(std::span<const double> values, int32_t count) {
  AddAverage("AddShort", hsShort, values, count);
}

void TIVC_DataManagement::AddLong(std::span<const double> values, int32_t count) {
  AddAverage("AddLong", hsLong, values, count);
}

void TIVC_DataManagement::AddAverage(const char* operation, THorizontalScale hScale, std::span<const double> values,
                                     int32_t count) {
  const std::string op = std::string(".") + operation;
  Dbg(op + " count=" + std::to_string(count));
  if (count < 1) {
    Dbg(op + " no samples -> ignored");
    return;
  }
  std::lock_guard guard(FLockObj);
  const bool isShort = hScale == hsShort;
  auto& history = isShort ? FHist->FAvgShort : FHist->FAvgLong;
  auto& last = isShort ? FAvgShortLast : FAvgLongLast;
  auto& texts = isShort ? FAverageShortValueString : FAverageLongValueString;
  const int32_t x = LaufX(hScale);
  const size_t channels = std::min<size_t>(values.size(), DM_MaxChannels);
  for (size_t i = 0; i < channels; ++i) {
    const int32_t ch = static_cast<int32_t>(i) + 1;
    const double value = values[i] / count;
    history[ch][x] = value;
    last[ch] = value;
    texts[ch] = FormatFloatFixed(value, AverageTextWidth, 3, LogSep());
    Dbg(op + "[" + std::to_string(ch) + "]=" + texts[ch]);
  }
  AdvanceX(hScale);
}

std::string TIVC_DataManagement::AverageString(const TChannels<std::string>& texts) const {
  std::lock_guard guard(FLockObj);
  if (texts[1].empty()) return {};
  std::string result;
  for (int32_t i = 1; i <= FLetzterKanal; ++i) result += NormaliseDecimalSeparator(texts[i], LogSep());
  return result;
}

std::string TIVC_DataManagement::GetAvgLongString() const { return AverageString(FAverageLongValueString); }

std::string TIVC_DataManagement::GetAvgShortString() const { return AverageString(FAverageShortValueString); }

// --- Strings for the multi-sampler ---

std::string TIVC_DataManagement::GenerateSamplerStringIVC() const {
  std::lock_guard guard(FLockObj);
  std::string result;
  for (int32_t i = 1; i <= FLetzterKanal; ++i) result += FormatFloatFixed(FIVC[i], SamplerFieldWidth, 2, LogSep());
  if (ReportDetails()) Dbg(".GenerateSamplerStringIVC=" + result);
  return result;
}

std::string TIVC_DataManagement::GenerateSamplerStringIVCDiff() const {
  std::lock_guard guard(FLockObj);
  std::string result;
  for (int32_t i = 1; i <= FLetzterKanal; ++i) {
    // Without a valid channel 1 there is no difference: the invalid value is written instead.
    const double value = !IsValid(FIVC[i]) ? FIVC[i] : IsValid(FIVC[1]) ? FIVC[i] - FIVC[1] : FinvalidIVCValue;
    result += FormatFloatFixed(value, SamplerFieldWidth, 2, LogSep());
  }
  return result;
}

std::string TIVC_DataManagement::GenerateSamplerVirtualStringIVC() {
  std::lock_guard guard(FLockObj);
  std::string result;
  const int32_t count = VirtualChannelCount();
  for (int32_t k = 1; k <= count; ++k) {
    const double value = GetVirtual(tmIVC, k, X());
    result += std::isnan(value) ? std::string(SamplerFieldWidth, ' ') : FormatFloatFixed(value, SamplerFieldWidth, 2, LogSep());
  }
  Dbg(".GenerateSamplerVirtualStringIVC=" + result);
  return result;
}

// --- Values per position ---

double TIVC_DataManagement::DiffValue(int32_t kanal, int32_t x) const {
  const double value = FHist->FIVCValues[kanal][x];
  const double first = FHist->FIVCValues[1][x];
  return IsValid(value) && IsValid(first) ? value - first : kNaN;
}

double TIVC_DataManagement::PhysicalValue(TTextModeIVC aMode, int32_t i, int32_t index) const {
  const int32_t x = index & DM_HistoryMask;
  switch (aMode) {
    case tmIVC: {
      const double value = FHist->FIVCValues[i][x];
      return IsValid(value) ? value : kNaN;
    }
    case tmIVCDiff: return DiffValue(i, x);
    case tmIVCShortAvg: return FHist->FAvgShort[i][x];
    case tmIVCLongAvg: return FHist->FAvgLong[i][x];
  }
  return kNaN;
}

double TIVC_DataManagement::GetVirtual(TTextModeIVC aMode, int32_t kanal, int32_t index) const {
  std::lock_guard guard(FLockObj);
  const TChannelFactors f = GetVirtualFactors(kanal);
  double sum = 0;
  for (int32_t i = 1; i <= DM_MaxChannels; ++i) {
    if (f[i - 1] == 0) continue;
    const double value = PhysicalValue(aMode, i, index);
    if (std::isnan(value)) return kNaN;
    sum += f[i - 1] * value;
  }
  return sum;
}

std::vector<double> TIVC_DataManagement::Collect(bool virtualChannel, TTextModeIVC aMode, int32_t kanal, int32_t startX,
                                                 int32_t anz) const {
  if (kanal < 1 || kanal > DM_MaxChannels || anz <= 0) return {};
  std::lock_guard guard(FLockObj);
  std::vector<double> result(anz);
  for (int32_t n = 0; n < anz; ++n) {
    const int32_t x = (startX + n) & DM_HistoryMask;
    result[n] = virtualChannel ? GetVirtual(aMode, kanal, x) : PhysicalValue(aMode, kanal, x);
  }
  return result;
}

std::vector<double> TIVC_DataManagement::GetAvgLong(bool virtualChannel, int32_t kanal, int32_t startX, int32_t anz) const {
  return Collect(virtualChannel, tmIVCLongAvg, kanal, startX, anz);
}

std::vector<double> TIVC_DataManagement::GetAvgShort(bool virtualChannel, int32_t kanal, int32_t startX, int32_t anz) const {
  return Collect(virtualChannel, tmIVCShortAvg, kanal, startX, anz);
}

std::vector<double> TIVC_DataManagement::GetIVCDiff(bool virtualChannel, int32_t kanal, int32_t startX, int32_t anz) const {
  return Collect(virtualChannel, tmIVCDiff, kanal, startX, anz);
}

// The newest position of the quantity's own scale; NaN for every channel while the scale is empty.
std::vector<double> TIVC_DataManagement::LastValues(bool virtualChannel, TTextModeIVC aMode) {
  std::lock_guard guard(FLockObj);
  const int32_t count = virtualChannel ? VirtualChannelCount() : ChannelCount();
  std::vector<double> result(std::max(count, 0), kNaN);
  const THorizontalScale h = ScaleOf(aMode);
  if (Count(h) == 0) return result;
  const int32_t x = (LaufX(h) - 1) & DM_HistoryMask;
  for (int32_t k = 1; k <= count; ++k)
    result[k - 1] = virtualChannel ? GetVirtual(aMode, k, x) : PhysicalValue(aMode, k, x);
  return result;
}

std::vector<double> TIVC_DataManagement::GetLastIVCDiff(bool virtualChannel) { return LastValues(virtualChannel, tmIVCDiff); }

std::vector<double> TIVC_DataManagement::GetLastAvgShort(bool virtualChannel) {
  return LastValues(virtualChannel, tmIVCShortAvg);
}

std::vector<double> TIVC_DataManagement::GetLastAvgLong(bool virtualChannel) {
  return LastValues(virtualChannel, tmIVCLongAvg);
}

// --- Text views ---

std::string TIVC_DataManagement::GetTextModeCaption(TTextModeIVC aMode) const {
  switch (aMode) {
    case tmIVC: return "Time Interval [ns]";
    case tmIVCDiff: return "Interval Difference [ns]";
    case tmIVCShortAvg: return "Interval Diff. Short Average [ns]";
    case tmIVCLongAvg: return "Interval Diff. Long Average [ns]";
  }
  return {};
}

bool TIVC_DataManagement::IsTextModeEnabled(TTextModeIVC aMode) const {
  switch (aMode) {
    case tmIVC: return ChannelCount() > 0;
    case tmIVCDiff:
    case tmIVCShortAvg:
    case tmIVCLongAvg: return ChannelCount() > 1;
  }
  return false;
}

std::string TIVC_DataManagement::GetTextModeString(TTextModeIVC aMode, int32_t kanal) const {
  std::lock_guard guard(FLockObj);
  if (kanal < 1 || kanal > ChannelCount()) return {};
  double value = kNaN;
  switch (aMode) {
    case tmIVC: value = IsValid(FIVC[kanal]) ? FIVC[kanal] : kNaN; break;
    case tmIVCDiff: value = IsValid(FIVC[kanal]) && IsValid(FIVC[1]) ? FIVC[kanal] - FIVC[1] : kNaN; break;
    case tmIVCShortAvg: value = FAvgShortLast[kanal]; break;
    case tmIVCLongAvg: value = FAvgLongLast[kanal]; break;
  }
  return std::isnan(value) ? kNoValueText : FormatFloatFixed(value, 0, 2, WinSep());
}

std::string TIVC_DataManagement::GetTextModeVirtualString(TTextModeIVC aMode, int32_t kanal) {
  std::lock_guard guard(FLockObj);
  if (kanal < 1 || kanal > VirtualChannelCount()) return {};
  const THorizontalScale h = ScaleOf(aMode);
  const double value = Count(h) == 0 ? kNaN : GetVirtual(aMode, kanal, LaufX(h) - 1);
  return std::isnan(value) ? kNoValueText : FormatFloatFixed(value, 0, 2, WinSep());
}

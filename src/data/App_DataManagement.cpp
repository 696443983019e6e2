#include "data/App_DataManagement.h"
#include "core/QV_NumberText.h"

#include <algorithm>

#include "core/LogUnit.h"

namespace {
constexpr uint16_t kNoHeader = 0x7FFF;  // 15-bit word of a header that carries no mode yet
constexpr int32_t kCodeChannelCount = 2;
constexpr int32_t kCodeReset = 3;
}  // namespace

std::string HorizontalScaleName(THorizontalScale hScale) {
  switch (hScale) {
    case hsNone: return "hsNone";
    case hsShort: return "hsShort";
    case hsLong: return "hsLong";
  }
  return std::to_string(static_cast<int>(hScale));
}

TDataManagement::TDataManagement(int32_t aLogID, int32_t aSessId, bool aSessIsCopy, const std::string& aClassName)
    : FLogId(aLogID),
      FSessId(aSessId),
      FSessIsCopy(aSessIsCopy),
      FDbgTag(aClassName + "[" + std::to_string(aSessId) + "/" + BoolText(aSessIsCopy) + "]") {
  LogIt(LogId(), DbgTag() + ".BaseCreate");
  for (auto& factor : FScaleFactor) factor.store(1);
  FSync = FSyncReset;
}

TDataManagement::~TDataManagement() { LogIt(LogId(), DbgTag() + ".BaseDestroy"); }

std::string TDataManagement::DbgTag() const {
  std::lock_guard guard(FTagLock);
  return FDbgTag;
}

void TDataManagement::RaiseEvent(const std::string& operation, const std::function<void()>& call) {
  if (FSynchronizedNeeded.load() && FSyncDispatcher) {
    LogIt(LogId(), DbgTag() + "." + operation + " Synchronize");
    FSyncDispatcher(call);
  } else {
    call();
  }
}

bool TDataManagement::SetChannelCount(int32_t n) {
  {
    std::lock_guard guard(FLockObj);
    if (n == FChannelCount.load()) return false;
    LogIt(LogId(), DbgTag() + ".BaseSetChannelCount " + std::to_string(n));
    FChannelCount.store(n, std::memory_order_release);
  }
  if (FOnChannelCount) {
    const TSyncData data{kCodeChannelCount, n, {}, nullptr};
    RaiseEvent("BaseSetChannelCount", [&] { FOnChannelCount(data.Code, data.aInt); });
  }
  return true;
}

void TDataManagement::SetSessIsCopy(bool value) {
  LogIt(LogId(), DbgTag() + ".BaseSetSessIsCopy " + BoolText(value));
  FSessIsCopy.store(value);
  std::lock_guard guard(FTagLock);
  const size_t slash = FDbgTag.find('/');
  if (slash != std::string::npos) FDbgTag = FDbgTag.substr(0, slash + 1) + BoolText(value) + "]";
}

TChannelFactors TDataManagement::GetVirtualFactors(int32_t k) const {
  if (k < 1 || k > DM_MaxChannels) return {};
  std::lock_guard guard(FLockObj);
  return FVirtualFactors[k - 1];
}

void TDataManagement::SetVirtualFactors(int32_t k, const TChannelFactors& value) {
  if (k < 1 || k > DM_MaxChannels) {
    LogError(LogId(), DbgTag() + ".BaseSetVirtualFactors invalid channel " + std::to_string(k));
    return;
  }
  std::lock_guard guard(FLockObj);
  FVirtualFactors[k - 1] = value;
  FVirtualChannelCount = -1;
}

int32_t TDataManagement::VirtualChannelCount() {
  std::lock_guard guard(FLockObj);
  if (FVirtualChannelCount != -1) return FVirtualChannelCount;
  FVirtualChannelCount = static_cast<int32_t>(std::count_if(FVirtualFactors.begin(), FVirtualFactors.end(), [](const TChannelFactors& row) {
    return std::any_of(row.begin(), row.end(), [](double f) { return f != 0; });
  }));
  LogIt(LogId(), DbgTag() + ".Base GetVirtualChannelCount=" + std::to_string(FVirtualChannelCount));
  return FVirtualChannelCount;
}

void TDataManagement::AdvanceX(THorizontalScale hScale) {
  std::lock_guard guard(FLockObj);
  if (FCount[hScale].load() >= DM_HistoryLength)
    FFirstX[hScale].store((FFirstX[hScale].load() + 1) & DM_HistoryMask, std::memory_order_release);
  else
    FCount[hScale].store(FCount[hScale].load() + 1, std::memory_order_release);
  FlaufX[hScale].store((FlaufX[hScale].load() + 1) & DM_HistoryMask, std::memory_order_release);
  if (hScale == hsNone) FSync = FSyncReset;
}

void TDataManagement::Reset() {
  LogIt(LogId(), DbgTag() + ".BaseReset");
  bool heldData = false;
  {
    std::lock_guard guard(FLockObj);
    for (int h = 0; h < DM_ScaleCount; ++h) {
      heldData = heldData || FCount[h].load() != 0;
      FCount[h].store(0, std::memory_order_release);
      FFirstX[h].store(0, std::memory_order_release);
      FlaufX[h].store(0, std::memory_order_release);
    }
    FSync = FSyncReset;
    SetChannelCount(0);
  }
  if (heldData && FOnReset) {
    const TSyncData data{kCodeReset, 0, {}, this};
    RaiseEvent("BaseReset", [&] { FOnReset(data.Code, data.Sender); });
  }
}

int32_t TDataManagement::GetNewCount(int32_t startX, THorizontalScale hScale) const {
  const int32_t count = Count(hScale);
  if (startX == -1) return count;
  if (count < DM_HistoryLength) return count - startX;
  const int32_t diff = FirstX(hScale) - startX;
  return diff < 0 ? diff + DM_HistoryLength : diff;
}

int32_t TDataManagement::GetNewX(int32_t anz, THorizontalScale hScale) const {
  const int32_t count = Count(hScale);
  const int32_t x = LaufX(hScale) - std::clamp(anz, 0, count);
  return x < 0 ? x + count : x;
}

int32_t TDataManagement::GetNewX(int32_t& anz, int32_t startX, THorizontalScale hScale) const {
  const int32_t count = Count(hScale);
  if (count < anz) {
    anz = count;
    return 0;
  }
  const int32_t x = startX - anz;
  if (x >= 0) return x;
  // Only a full ring wraps; before that, nothing is stored ahead of position 0.
  return count < DM_HistoryLength ? 0 : x + count;
}

std::string TDataManagement::Sync() const {
  std::lock_guard guard(FLockObj);
  return FSync;
}

void TDataManagement::SetSync(const std::string& value) {
  std::lock_guard guard(FLockObj);
  FSync = value;
}

std::string TDataManagement::SyncReset() const {
  std::lock_guard guard(FLockObj);
  return FSyncReset;
}

void TDataManagement::SetSyncReset(const std::string& value) {
  std::lock_guard guard(FLockObj);
  if (value == FSyncReset) return;
  if (FSync == FSyncReset) FSync = value;
  FSyncReset = value;
}

bool TDataManagement::IsLogTypeNeeded(int bit) const {
  const uint32_t types = FSamplerLogTypes.load();
  return types != 0 && bit >= 0 && bit < 32 && (types >> bit & 1u) != 0;
}

void TDataManagement::SetScaleFactor(THorizontalScale hScale, int32_t value) {
  if (FScaleFactor[hScale].exchange(value) == value) return;
  LogIt(LogId(), DbgTag() + ".BaseSetScaleFactor[" + HorizontalScaleName(hScale) + "]=" + std::to_string(value));
  if (FOnScaleFactor) {
    const TSyncData data{static_cast<int32_t>(hScale), value, {}, nullptr};
    RaiseEvent("BaseSetScaleFactor", [&] { FOnScaleFactor(data.Code, data.aInt); });
  }
}

TQVHeader TDataManagement::ValueHeader() const {
  std::lock_guard guard(FLockObj);
  return FValueHeader;
}

void TDataManagement::AddError(int32_t code, const std::string& text) {
  LogError(LogId(), DbgTag() + ".BaseAddError: " + text);
  if (FOnError) {
    const TSyncData data{code, 0, text, nullptr};
    RaiseEvent("BaseAddError", [&] { FOnError(data.Code, data.aInt, data.Text); });
  }
}

void TDataManagement::AddWarning(int32_t code, const std::string& text) {
  LogIt(LogId(), DbgTag() + ".BaseAddWarning: " + text);
  if (FOnWarning) {
    const TSyncData data{code, 0, text, nullptr};
    RaiseEvent("BaseAddWarning", [&] { FOnWarning(data.Code, data.aInt, data.Text); });
  }
}

bool TDataManagement::ApplyHeader(uint16_t value) {
  std::lock_guard guard(FLockObj);
  const uint16_t oldWord = FValueHeader.Header();
  FValueHeader.SetHeader(value);
  const uint16_t newWord = FValueHeader.Header();
  if (oldWord == kNoHeader || oldWord == newWord) return false;
  LogIt(LogId(), DbgTag() + ".Base Header changed: old=" + IntToHex(oldWord, 4) + ", new=" + IntToHex(newWord, 4));
  Reset();
  return true;
}

// --- Output configuration ---

TStoreOutput TDataManagement::Output() const {
  std::lock_guard guard(FLockObj);
  return FOutput;
}

void TDataManagement::SetOutput(const TStoreOutput& value) {
  std::lock_guard guard(FLockObj);
  if (value.AddLogStrings != FOutput.AddLogStrings) LogIt(LogId(), DbgTag() + ".SetAddLogStrings " + BoolText(value.AddLogStrings));
  FOutput = value;
}

void TDataManagement::SetSamplerSink(ISamplerSink* value) {
  std::lock_guard guard(FLockObj);
  FOutput.Sampler = value;
}

void TDataManagement::SetReportLogSink(IReportLogSink* value) {
  std::lock_guard guard(FLockObj);
  FOutput.ReportLog = value;
}

void TDataManagement::SetNumberFormats(const TFormatSettings& win, const TFormatSettings& log) {
  std::lock_guard guard(FLockObj);
  FOutput.FormatWin = win;
  FOutput.FormatLog = log;
}

bool TDataManagement::AddLogStrings() const {
  std::lock_guard guard(FLockObj);
  return FOutput.AddLogStrings;
}

void TDataManagement::SetAddLogStrings(bool value) {
  std::lock_guard guard(FLockObj);
  TStoreOutput output = FOutput;
  output.AddLogStrings = value;
  SetOutput(output);
}

int32_t TDataManagement::MultiId() const {
  std::lock_guard guard(FLockObj);
  return FOutput.MultiId;
}

void TDataManagement::SetMultiId(int32_t value) {
  std::lock_guard guard(FLockObj);
  FOutput.MultiId = value;
}

std::string TDataManagement::ZCTtimeString() const {
  std::lock_guard guard(FLockObj);
  return FZCTtimeString;
}

void TDataManagement::SetZCTtimeString(const std::string& value) {
  std::lock_guard guard(FLockObj);
  FZCTtimeString = value;
}

// Extraction: taking lines, records and device messages into the store, and the store's lifecycle.
#include "data/ZCT_DataManagement.h"
#include "core/QV_NumberText.h"


#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <climits>
#include <cstdlib>
#include <stdexcept>
#include <typeinfo>

#include "core/LogUnit.h"
#include "data/IClockAlarmSink.h"
#include "data/IReportLogSink.h"
#include "data/ISamplerSink.h"
#include "data/QV_RawData.h"
#include "data/ZCT_Histories.h"
#include "core/QV_NumberText.h"
#include "protocol/QV_Report.h"

namespace {


// Hexadecimal digits only; nothing for any other text.
std::optional<uint32_t> ParseHex(std::string_view text) {
  uint32_t value = 0;
  if (text.empty()) return std::nullopt;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

bool IsHexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

uint32_t HexOrThrow(std::string_view text) {
  const auto value = ParseHex(text);
  if (!value) throw EConvertError("'" + std::string(text) + "' is not a valid hexadecimal value");
  return *value;
}

// The device ms of a heartbeat: dotted groups, left-padded with blanks to 9 characters.
std::string HeartbeatTime(int64_t ms) {
  if (ms == -1) return {};
  const std::string text = ZCTDottedNumber(ms);
  return text.size() < 9 ? std::string(9 - text.size(), ' ') + text : text;
}

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
  return s;
}

constexpr int32_t kCodeTransfer = 31;
constexpr int32_t kCodeException = 51;
constexpr int32_t kCodeDGICount = 5;
constexpr uint16_t kHeaderOverflowCleared = 0x7F23;
constexpr uint32_t kESPRingWords = 131072;

}  // namespace

TZCT_DataManagement::TZCT_DataManagement(int32_t aLogId, int32_t aSessId, bool aSessIsCopy, bool allanDebug,
                                         TClock* allanClock)
    : TDataManagement(aLogId, aSessId, aSessIsCopy, "TZCT_DataManagement"),
      FRawData(std::make_unique<TQV_RawData>(aLogId)),
      FHist(std::make_unique<THistories>()) {
  Dbg(".Create");
  const int allanLog = allanDebug ? aLogId : -1;
  TClock& clock = allanClock ? *allanClock : SystemClock();
  for (TAllanMode am : {amFreq, amPhaseRes, amPhaseDiff})
    FAllanData[am] = std::make_unique<TVirtAllanData>(allanLog, AllanTauMax, am, clock);
  for (int k = 1; k <= DM_MaxChannels; ++k) {
    FFactorsHRQ[k] = 1.0;
    FRawData->SetNomFreq(k, 0);
    FPhaseRes_ns[k] = std::nan("");
    FVirtPhaseRes_ns[k] = std::nan("");
  }
  FZCTTime.fill(-1);
  for (auto* hist : {&FHist->FPhaseRes_ps, &FHist->FVirtPhaseRes_ps})
    for (auto& channel : *hist) channel.fill(std::nan(""));
}

TZCT_DataManagement::~TZCT_DataManagement() = default;

void TZCT_DataManagement::Dbg(const std::string& text) const { LogIt(LogId(), DbgTag() + text); }

bool TZCT_DataManagement::DbgOn() const { return ReportDetails() && LogId() >= 0 && LogEnabled(LogId()); }

void TZCT_DataManagement::DbgError(const std::string& text) const { LogError(LogId(), DbgTag() + text); }

void TZCT_DataManagement::SetClockAlarmSink(IClockAlarmSink* value) {
  std::lock_guard guard(FLockObj);
  FClockAlarm = value;
}

uint8_t TZCT_DataManagement::Mode() const {
  std::lock_guard guard(FLockObj);
  return FValueHeader.Mode();
}

void TZCT_DataManagement::UpdateSession(int32_t what, const std::string& text) {
  if (FOutput.Sampler) FOutput.Sampler->UpdateSession(SessId(), SessIsCopy(), what, text);
}

// Device time of the sample, the "Sync Time" text every 100 ms and the sync marker every second.
void TZCT_DataManagement::TakeTime(const char* operation, int64_t ms) {
  FDeviceMs = ms;
  FZCTTime[X()] = ms;
  if (ms >= 0 && ms % 100 == 0) {
    FSyncTime = std::to_string(ms / 1000) + LogSep() + std::to_string(ms % 1000 / 100);
    if (ms % 1000 == 0) SetSync("1");
  }
  if (DbgOn())
    Dbg(std::string(".") + operation + " DeviceMs=" + std::to_string(ms) + " Sync=" + Sync() + ", SyncTime=" + FSyncTime);
}

void TZCT_DataManagement::ApplyLineHeader(uint16_t header) {
  if (ApplyHeader(header)) UpdateSession(SE_HeaderChanged, "");
}

void TZCT_DataManagement::ChannelCountFromSample(int32_t count) {
  const int32_t old = ChannelCount();
  if (SetChannelCount(count) && old != 0) UpdateSession(SE_ChannelCountChanged, "");
}

bool TZCT_DataManagement::SetChannelCount(int32_t n) {
  std::lock_guard guard(FLockObj);
  const bool changed = TDataManagement::SetChannelCount(n);
  // The calculators size their channels at the first sample after a reset.
  if (changed && n != 0) RequestAllanReset();
  return changed;
}

int32_t TZCT_DataManagement::SampleIntervalMs() const {
  // A raw-data sample is one window of RawMs lines of 1 ms each.
  if (Mode() == 6 && FRawData->RawMs() > 0) return FRawData->RawMs();
  return FValueHeader.IntervalIndexValid() ? static_cast<int32_t>(FValueHeader.GateTime()) : 0;
}

void TZCT_DataManagement::PrepareSample(std::string_view rawLine) {
  const int32_t interval = SampleIntervalMs();
  if (interval != FIntervalMs) {
    FIntervalMs = interval;
    for (auto& allan : FAllanData) allan->SetIntervalMs(interval);
    CalculateTheoPhaseOffset();
  }
  ClearSamplerStrings();
  if (Mode() == 6) FSamplerPhaseValuesString.append("  ").append(rawLine);
  FLetzterKanal = 0;
  FFrequencyNew.fill(false);
  FPhaseDiffNew.fill(false);
  FRawSampleStored = false;
  FKeptAlarmText.clear();
}

bool TZCT_DataManagement::ExtractData(const std::string& BufCopy, int64_t aDeviceMs) {
  const auto header = BufCopy.size() < 4 ? std::nullopt : ParseHex(std::string_view(BufCopy).substr(0, 4));
  if (!header) {
    std::lock_guard guard(FLockObj);
    TakeTime("ExtractData", aDeviceMs);
    AddError(kCodeTransfer, "Transfer error. Data lost: %" + BufCopy + "%");
    return false;
  }
  return ExtractData(static_cast<uint16_t>(*header), BufCopy, aDeviceMs);
}

bool TZCT_DataManagement::ExtractData(uint16_t header, const std::string& BufCopy, int64_t aDeviceMs) {
  std::lock_guard guard(FLockObj);
  TakeTime("ExtractData", aDeviceMs);
  // The header was read by the caller; the line must still begin with its four digits.
  if (BufCopy.size() < 4 || !std::all_of(BufCopy.begin(), BufCopy.begin() + 4, IsHexDigit)) {
    AddError(kCodeTransfer, "Transfer error. Data lost: %" + BufCopy + "%");
    return false;
  }
  ApplyLineHeader(header);
  std::string_view s = TrimRight(std::string_view(BufCopy).substr(4));
  if (FPLLError) {
    if (s.size() % TextFieldWidth != 0) {
      DbgError(".ExtractData invalid data length" + std::to_string(s.size()) + " -> ignore during PLL error");
      return false;
    }
    const int32_t count = static_cast<int32_t>(s.size()) / TextFieldWidth;
    if (ChannelCount() != 0 && count != ChannelCount()) {
      DbgError(".ExtractData invalid channel count old=" + std::to_string(ChannelCount()) + ", new=" +
               std::to_string(count) + " -> ignore during PLL error");
      return false;
    }
  }
  constexpr size_t maxLength = DM_MaxChannels * TextFieldWidth;
  if (s.size() > maxLength) {
    AddError(kCodeTransfer, "Measurement data too long! Truncated to " + std::to_string(maxLength) + " Bytes!");
    s = s.substr(0, maxLength);
  }
  if (s.size() < static_cast<size_t>(TextFieldWidth)) {
    AddError(kCodeTransfer, "Transfer error. Data lost: %" + BufCopy + "%");
    return false;
  }
  const int32_t count = static_cast<int32_t>(s.size()) / TextFieldWidth;
  try {
    PrepareSample(s);
    if (FIgnoreFirstPhase) {
      Dbg(".ExtractData ignore first phase " + BufCopy);
    } else {
      const uint8_t mode = Mode();
      for (int32_t i = 1; i <= count; ++i) AddValueString(s.substr(1 + (i - 1) * TextFieldWidth, 26), i, mode);
    }
    ChannelCountFromSample(count);
    return AfterExtractData();
  } catch (const std::exception& e) {
    LogException(LogId(), DbgTag() + ".ExtractData failed", e);
    AddError(kCodeException, "Internal Exception ExtractData(" + ExceptionClassName(e) + "): " + e.what());
    return false;
  }
}

Phase TZCT_DataManagement::ParsePhaseText(std::string_view text, int32_t i) {
  // Either separator is taken; the first character may be a sign, never a separator.
  const size_t pos = text.find_first_of(".,", 1);
  const char separator = pos == std::string_view::npos ? '.' : text[pos];
  int precision = 0;
  const auto value = Phase::Parse(text, separator, &precision);
  if (!value) throw EConvertError("'" + std::string(TrimBlanks(text)) + "' is not a valid phase value");
  FPhaseDecimals[i] = precision;
  return *value;
}

namespace {
// A kHz text with "." or "," as separator in Hz; unreadable text gives 0. The separator moves
// three places in the text, so a decimal value is not disturbed by a multiplication.
double ParseFrequencyText(std::string_view text) {
  text = TrimBlanks(text);
  std::string digits(text);
  const size_t pos = digits.find_first_of(".,");
  std::string fraction = pos == std::string::npos ? std::string() : digits.substr(pos + 1);
  if (pos != std::string::npos) digits.resize(pos);
  fraction.resize(std::max<size_t>(fraction.size(), 3), '0');
  const std::string hz = digits + fraction.substr(0, 3) + "." + fraction.substr(3) + "0";
  double value = 0;
  const auto [end, ec] = std::from_chars(hz.data(), hz.data() + hz.size(), value);
  return ec == std::errc() && end == hz.data() + hz.size() ? value : 0.0;
}
}  // namespace

void TZCT_DataManagement::AddValueString(std::string_view text, int32_t i, uint8_t mode) {
  try {
    FIntervalCount[i] += 1;
    switch (mode) {
      case 0:
      case 1: AddPhase(ParsePhaseText(text, i), i); break;
      case 2:
      case 3: AddFrequency(ParseFrequencyText(text), i); break;
      case 4:
      case 5: AddPhaseDifference(ParsePhaseText(text, i), i); break;
      default: break;
    }
    FLetzterKanal = i;
  } catch (const std::exception& e) {
    LogException(LogId(), DbgTag() + ".AddValueString failed", e);
    Dbg("aValue=" + std::string(text) + ", Kanal=" + std::to_string(i));
    Dbg(" ValueHeader.Mode=" + std::to_string(mode));
    throw;
  }
}

bool TZCT_DataManagement::ExtractRawData(const std::string& BufCopy, int64_t aDeviceMs) {
  std::lock_guard guard(FLockObj);
  TakeTime("ExtractRawData", aDeviceMs);
  const auto header = ParseHex(std::string_view(BufCopy).substr(0, 4));
  if (BufCopy.size() < 4 || !header) {
    AddError(kCodeTransfer, "Transfer error. Data lost: %" + BufCopy + "%");
    return false;
  }
  ApplyLineHeader(static_cast<uint16_t>(*header));
  std::string s(TrimRight(std::string_view(BufCopy).substr(4)));
  if (FPLLError) {
    if (s.size() % RawFieldWidth != 0) {
      DbgError(".ExtractRawData invalid data length" + std::to_string(s.size()) + " -> ignore during PLL error");
      return false;
    }
    const int32_t count = static_cast<int32_t>(s.size()) / RawFieldWidth;
    if (count != ChannelCount()) {
      DbgError(".ExtractRawData invalid channel count old=" + std::to_string(ChannelCount()) + ", new=" +
               std::to_string(count) + " -> ignore during PLL error");
      return false;
    }
  }
  constexpr size_t maxLength = DM_MaxChannels * RawFieldWidth;
  if (s.size() > maxLength) {
    AddError(kCodeTransfer, "Raw data too long! Truncated to " + std::to_string(maxLength) + " Bytes!");
    s.resize(maxLength);
  }
  if (s.size() < static_cast<size_t>(RawFieldWidth)) {
    AddError(kCodeTransfer, "Transfer error. Data lost: %" + BufCopy + "%");
    return false;
  }
  const int32_t count = static_cast<int32_t>(s.size()) / RawFieldWidth;
  try {
    PrepareSample(BufCopy);
    if (ChannelCount() == 0) {
      Dbg(".ExtractRawData skip no channels");
    } else if (FRawData->IsPhaseValid()) {
      Dbg(".ExtractRawData FRawData.IsPhaseValid");
      TakeRawWindow();
    } else {
      Dbg(".ExtractRawData NOT PhaseValid");
    }
    CalculateRawLine(s, count);
    ChannelCountFromSample(count);
    return AfterExtractData();
  } catch (const std::exception& e) {
    LogException(LogId(), DbgTag() + ".ExtractRawData failed", e);
    AddError(kCodeException, "Internal Exception ExtractRawData(" + ExceptionClassName(e) + "): " + e.what());
    return false;
  }
}

// The window that the previous lines completed becomes the sample at the current position.
void TZCT_DataManagement::TakeRawWindow() {
  const int32_t count = ChannelCount();
  for (int32_t i = 1; i <= count; ++i) {
    PPhase[i] = FRawData->GetPhase(i);
    PPhaseRes[i] = FRawData->GetPhaseRes(i);
    FHist->PPhaseDLL[i][X()] = PPhase[i];
    FrequencyStep(i);
  }
  FLetzterKanal = count;
  FRawSampleStored = true;
}

void TZCT_DataManagement::CalculateRawLine(const std::string& s, int32_t count) {
  FRawData->BeginCalculation();
  for (int32_t i = 1; i <= count; ++i) {
    const std::string_view field = std::string_view(s).substr(2 + (i - 1) * RawFieldWidth, 14);
    const auto t1 = static_cast<int32_t>(HexOrThrow(field.substr(0, 4)));
    const auto t2 = static_cast<int32_t>(HexOrThrow(field.substr(5, 4)));
    const auto t3 = static_cast<int32_t>(HexOrThrow(field.substr(10, 4)));
    FIntervalCount[i] += 1;
    FLetzterKanal = i;
    FRawData->Calculate(i, t1, t2, t3);
    FPhaseDecimals[i] = FRawData->GetPostDecDigits(i);
  }
  FRawData->EndCalculation();
}

bool TZCT_DataManagement::ExtractReport(const TQV_ReportStruct& report) {
  std::lock_guard guard(FLockObj);
  TakeTime("ExtractReport", report.GetDeviceMs());
  const int32_t header = report.GetHeader();
  int32_t count = report.GetChannelCount();
  const bool values = report.GetReportType() == rt_Phase || report.GetReportType() == rt_Double;
  if (header < 0 || !values || count < 1) {
    AddError(kCodeTransfer, "Transfer error. Data lost: %" + report.ToDbgString() + "%");
    return false;
  }
  ApplyLineHeader(static_cast<uint16_t>(header));
  if (FPLLError && (count > DM_MaxChannels || (ChannelCount() >= 1 && count != ChannelCount()))) {
    DbgError(".ExtractReport invalid channel count old=" + std::to_string(ChannelCount()) + ", new=" +
             std::to_string(count) + " -> ignore during PLL error");
    return false;
  }
  if (count > DM_MaxChannels) {
    AddError(kCodeTransfer, "Measurement data too long! Ignore last " + std::to_string(count - DM_MaxChannels) + " channels!");
    count = DM_MaxChannels;
  }
  try {
    PrepareSample({});
    if (FIgnoreFirstPhase)
      Dbg(".ExtractReport ignore first phase " + report.ToDbgString());
    else
      AddReportValues(report, count);
    ChannelCountFromSample(count);
    return AfterExtractData();
  } catch (const std::exception& e) {
    LogException(LogId(), DbgTag() + ".ExtractReport failed", e);
    AddError(kCodeException, "Internal Exception ExtractData(" + ExceptionClassName(e) + "): " + e.what());
    return false;
  }
}

void TZCT_DataManagement::AddReportValues(const TQV_ReportStruct& report, int32_t count) {
  const bool phases = report.GetReportType() == rt_Phase;
  const TQV_ReportPhases phaseValues = phases ? report.GetPhases() : TQV_ReportPhases{};
  const TQV_Doubles doubleValues = phases ? TQV_Doubles{} : report.GetDoubles();
  for (int32_t i = 1; i <= count; ++i) {
    try {
      FIntervalCount[i] += 1;
      Phase value = phaseValues[i - 1];
      if (!phases) value.FromDouble(doubleValues[i - 1]);
      switch (Mode()) {
        case 0:
        case 1: AddPhase(value, i); break;
        case 2:
        case 3:
          if (!phases) AddFrequency(doubleValues[i - 1], i);
          break;
        case 4:
        case 5: AddPhaseDifference(value, i); break;
        default: break;
      }
      FLetzterKanal = i;
    } catch (const std::exception& e) {
      LogException(LogId(), DbgTag() + (phases ? ".AddReportPhase failed" : ".AddReportDouble failed"), e);
      Dbg("report=" + report.ToDbgString() + ", Kanal=" + std::to_string(i) + " ValueHeader.Mode=" + std::to_string(Mode()));
      throw;
    }
  }
}

bool TZCT_DataManagement::AfterExtractData() {
  if (FIgnoreFirstPhase) {
    FIgnoreFirstPhase = false;
    Dbg(".AfterExtractData reset ignore first phase");
    return true;
  }
  // A raw line completes a sample only when it took a finished window.
  const bool sampleComplete = Mode() != 6 || FRawSampleStored;
  if (sampleComplete) {
    try {
      CheckClockAlarm();
    } catch (const std::exception& e) {
      LogException(LogId(), DbgTag() + ".AfterExtractData - clock alarm failed", e);
      throw;
    }
    FeedAllan();
  }
  try {
    CalculateVirtualChannels();
  } catch (const std::exception& e) {
    LogException(LogId(), DbgTag() + ".AfterExtractData - virtual channels failed", e);
    throw;
  }
  if (FOutput.AddLogStrings && FDeviceMs >= 0) {
    try {
      if (Mode() <= 5) {
        GenerateSamplerStrings();
        AddSamplerStrings();
      } else if (sampleComplete) {
        AddSamplerStringsRawData();
      }
    } catch (const std::exception& e) {
      // Logging trouble must not cost the data server its lines.
      LogException(LogId(), DbgTag() + ".AfterExtractData - MultiSampler failed", e);
    }
    try {
      SendServerLines();
    } catch (const std::exception& e) {
      LogException(LogId(), DbgTag() + ".AfterExtractData - server failed", e);
      throw;
    }
  } else if (DbgOn()) {
    Dbg(std::string(".AfterExtraceData: FAddLogStrings=") + BoolText(FOutput.AddLogStrings) + " DeviceMs=" + std::to_string(FDeviceMs));
  }
  try {
    if (sampleComplete) FPhaseDiffResetted = false;
    SetSync(SyncReset());
    FSyncTime.clear();
    DashDGIs();
    if (sampleComplete) {
      AdvanceX(hsNone);
      if (X() == 0 && FScramblerTrim) ScramblerTrimStep();
    }
  } catch (const std::exception& e) {
    LogException(LogId(), DbgTag() + ".AfterExtractData - end failed", e);
    throw;
  }
  return true;
}

void TZCT_DataManagement::DashDGIs() {
  for (size_t j = 0; j < FDGIs_HEX.size(); ++j) FDGIs_HEX[j] = j % 9 == 0 ? ' ' : '-';
}

void TZCT_DataManagement::SetNewHeader(uint16_t value) {
  std::lock_guard guard(FLockObj);
  Dbg(".SetNewHeader " + IntToHex(value, 4));
  if (!ApplyHeader(value)) return;
  UpdateSession(SE_HeaderChanged, "");
  if (Mode() <= 1) {
    FIgnoreFirstPhase = true;
    Dbg(".SetNewHeader Umschaltung Phasenmodus -> erste Phase ignorieren");
  }
  FRawData->Reset();
}

void TZCT_DataManagement::AddHeartbeat(const std::string& s, int64_t aDeviceMs) {
  std::lock_guard guard(FLockObj);
  FDeviceMs = aDeviceMs;
  FHeartbeatString = HeartbeatTime(aDeviceMs);
  const std::string_view words = s.size() > 4 ? std::string_view(s).substr(4) : std::string_view();
  for (int j = 1; j <= MaxHeartbeatWords && static_cast<size_t>(j * 9) <= words.size(); ++j) {
    const auto word = ParseHex(words.substr((j - 1) * 9 + 1, 8));
    if (!word) {
      DbgError(".AddHeartbeat invalid word " + std::string(words.substr((j - 1) * 9, 9)));
      break;
    }
    FHeartbeat[j] = *word;
    FHeartbeatString += ";" + IntToHex(*word, 8);
  }
}

void TZCT_DataManagement::AddHeartbeat(const TQV_ReportStruct& report) {
  std::lock_guard guard(FLockObj);
  FDeviceMs = report.GetDeviceMs();
  FHeartbeatString = HeartbeatTime(FDeviceMs);
  const int count = report.GetReportType() == rt_Int32 ? std::min(report.GetChannelCount(), MaxHeartbeatWords) : 0;
  const TQV_Int32 words = report.GetInts32();
  for (int j = 1; j <= count; ++j) {
    FHeartbeat[j] = words[j - 1];
    FHeartbeatString += ";" + IntToHex(words[j - 1], 8);
  }
}

std::string TZCT_DataManagement::HeartbeatString() {
  std::lock_guard guard(FLockObj);
  return std::exchange(FHeartbeatString, std::string());
}

int64_t TZCT_DataManagement::GetESPTransmitBufferAmount() const {
  std::lock_guard guard(FLockObj);
  return static_cast<int64_t>((FHeartbeat[5] - FHeartbeat[6]) % kESPRingWords) * 4;
}

int64_t TZCT_DataManagement::GetESPTransmitBufferHighAmount() {
  const int64_t amount = GetESPTransmitBufferAmount();
  std::lock_guard guard(FLockObj);
  FhighAmount = std::max(FhighAmount, amount);
  return FhighAmount;
}

bool TZCT_DataManagement::AddDGI(const std::string& BufCopy) {
  std::lock_guard guard(FLockObj);
  std::string cards = BufCopy.size() > 5 ? BufCopy.substr(5) : std::string();
  int32_t n = static_cast<int32_t>(cards.size() / 9);
  if (n > MaxDGICards) {
    if (FPLLError) {
      DbgError(".AddDGI invalid DGICount" + std::to_string(n) + " -> ignore during PLL error");
      return false;
    }
    DbgError(".AddDGI invalid DGICount" + std::to_string(n) + " -> " + std::to_string(MaxDGICards));
    n = MaxDGICards;
    cards.resize(n * 9);
  }
  if (n != FDGICount && FPLLError) {
    DbgError(".AddDGI invalid DGICount" + std::to_string(n) + " -> ignore during PLL error");
    return false;
  }
  FDGIs_HEX = cards;
  for (int32_t i = 1; i <= n; ++i) {
    const auto word = ParseHex(std::string_view(cards).substr(9 * (i - 1) + 1, 8));
    if (!word) DbgError(".AddDGI invalid card " + std::to_string(i) + ": " + cards.substr(9 * (i - 1), 9));
    FDGI[i] = word.value_or(0);
  }
  if (n != FDGICount) {
    Dbg(".AddDGI: DGICount=" + std::to_string(n));
    FDGICount = n;
    if (FOnDGICount) RaiseEvent("AddDGI", [&] { FOnDGICount(kCodeDGICount, n); });
  }
  return true;
}

bool TZCT_DataManagement::AddHRQData(const TZCT_HRQChannels& Value) {
  bool changed = false;
  {
    std::lock_guard guard(FLockObj);
    FDeviceHRQSet = true;
    FEqualHRQSettings = true;
    BeginUpdate();
    const auto reference = std::find_if(Value.begin(), Value.end(), [](const TZCT_HRQChannel& c) { return c.enabled; });
    for (int32_t i = 1; i <= DM_MaxChannels; ++i) {
      const TZCT_HRQChannel& channel = Value[i - 1];
      if (channel.enabled) {
        if (channel.Factor != reference->Factor || channel.NomFreq != reference->NomFreq) FEqualHRQSettings = false;
        if (channel.Factor != FFactorsHRQ[i]) {
          FFactorsHRQ[i] = channel.Factor;
          FRawData->SetHRQFactor(i, channel.Factor);
          Dbg(".AddHRQData ZCT-Channel " + std::to_string(i) + ", HRQ-Factor=" + FloatToShortest(channel.Factor));
          changed = true;
        }
        if (channel.NomFreq != FNom_Frequ[i] && channel.NomFreq != 0) {
          SetNomFreq(i, channel.NomFreq);
          FrequGltt[i] = 0;
          changed = true;
        }
      } else if (FFactorsHRQ[i] != 1) {
        FFactorsHRQ[i] = 1.0;
        FRawData->SetHRQFactor(i, 1.0);
        Dbg(".AddHRQData ZCT-Channel " + std::to_string(i) + ", HRQ-Factor=1.0");
        changed = true;
      }
    }
    EndUpdate();
    if (changed) {
      Dbg(".AddHRQData changed -> reset");
      Reset();
    }
  }
  return changed;
}

double TZCT_DataManagement::HRQFactor(int32_t k) const { return k >= 1 && k <= DM_MaxChannels ? FFactorsHRQ[k] : 1.0; }

void TZCT_DataManagement::AddTimeStamp(int64_t time100ms) {
  std::lock_guard guard(FLockObj);
  if (time100ms % 10 == 0) {
    ++FTimeCount;
    FTimeIndex = X();
  }
  if (DbgOn())
    Dbg(".AddTimeStamp " + std::to_string(time100ms) + ", laufX=" + std::to_string(X()) + " Index=" +
        std::to_string(FTimeIndex) + ", Anzahl=" + std::to_string(FTimeCount));
}

int32_t TZCT_DataManagement::GetNewCountTimeStamp(int32_t startX) const {
  std::lock_guard guard(FLockObj);
  if (FTimeIndex == -1) {
    Dbg(".GetNewCountTimeStamp keine TimeStamps da -> 0");
    return 0;
  }
  const int32_t n = GetNewCount(startX, hsNone);
  if (n == 0) return 0;
  const int32_t a = (n + FirstX(hsNone) - 1) & DM_HistoryMask;
  if (a < FTimeIndex) {
    Dbg(".GetNewCountTimeStamp TimeStamp da aber Messwert nicht  -> 0");
    return 0;
  }
  const int32_t result = a - FTimeIndex + 1;
  Dbg(".GetNewCountTimeStamp=" + std::to_string(result) + ", x=" + std::to_string(a) + ", timeX=" + std::to_string(FTimeIndex));
  return result;
}

void TZCT_DataManagement::BufferCleared(uint16_t header) {
  std::lock_guard guard(FLockObj);
  Dbg(".BufferCleared header=" + IntToHex(header, 4));
  Reset();
  if (header == kHeaderOverflowCleared) {
    const std::string letter(1, static_cast<char>('A' + SessId()));
    UpdateSession(SE_ReSyncOrLinesLost, "Source " + letter + " One or more lines lost due to receive buffer overflow");
  }
}

void TZCT_DataManagement::DeviceOpened() {
  std::lock_guard guard(FLockObj);
  FLost = 0;
  FDeviceHRQSet = false;
  FEqualHRQSettings = true;
  for (int32_t k = 1; k <= DM_MaxChannels; ++k) {
    FFactorsHRQ[k] = 1.0;
    FRawData->SetHRQFactor(k, 1.0);
  }
  FDeviceMs = -1;
  Reset();
}

void TZCT_DataManagement::IncLost() {
  std::lock_guard guard(FLockObj);
  ++FLost;
  Dbg(".Lost: " + std::to_string(FLost));
  UpdateSession(SE_DataLost, "");
  Reset();
}

void TZCT_DataManagement::AddMissing(int32_t count) {
  if (count <= 0) return;
  std::lock_guard guard(FLockObj);
  FLost = count > INT32_MAX - FLost ? INT32_MAX : FLost + count;
}

void TZCT_DataManagement::ReSync(const std::string& text) {
  std::lock_guard guard(FLockObj);
  for (int32_t k = 1; k <= DM_MaxChannels; ++k) FSuppressFirstFrequency[k] = true;
  UpdateSession(SE_ReSyncOrLinesLost, text);
}

void TZCT_DataManagement::PhaseDiffResetted() {
  std::lock_guard guard(FLockObj);
  FPhaseDiffResetted = true;
  FRawData->SetPhaseDiffResetted();
}

void TZCT_DataManagement::SetRawMode(int32_t rawMs, bool avg) {
  std::lock_guard guard(FLockObj);
  if (FRawData->RawMs() != rawMs) FRawData->SetRawMs(rawMs);
  if (FRawData->RawAvg() != avg) FRawData->SetRawAvg(avg);
}

void TZCT_DataManagement::BeginUpdate() {
  std::lock_guard guard(FLockObj);
  ++FUpdateCounter;
  Dbg(".BeginUpdate Counter=" + std::to_string(FUpdateCounter));
}

void TZCT_DataManagement::EndUpdate() {
  std::lock_guard guard(FLockObj);
  if (FUpdateCounter == 0) return;
  --FUpdateCounter;
  Dbg(".EndUpdate Counter=" + std::to_string(FUpdateCounter));
  if (FUpdateCounter != 0) return;
  Dbg(".EndUpdate Changes done -> react");
  if (std::exchange(FResetAllanNeeded, false)) ResetAllan();
  if (std::exchange(FResetRawDataNeeded, false)) FRawData->Reset();
}

void TZCT_DataManagement::RequestAllanReset() {
  if (FUpdateCounter > 0)
    FResetAllanNeeded = true;
  else
    ResetAllan();
}

void TZCT_DataManagement::RequestRawDataReset() {
  if (FUpdateCounter > 0)
    FResetRawDataNeeded = true;
  else
    FRawData->Reset();
}

void TZCT_DataManagement::Reset() {
  Dbg(".Reset");
  {
    std::lock_guard guard(FLockObj);
    FPhaseDiffResetted = true;
    for (int32_t k = 1; k <= DM_MaxChannels; ++k) {
      PPhaseOld[k].Clear();
      PPhaseRes[k].Clear();
      FPhaseDecimals[k] = 11;
      FSuppressFirstFrequency[k] = true;
      FFrequency[k] = 0;
      FFrequencyRelative[k] = 0;
      FPhaseRes_ns[k] = std::nan("");
      ClearTheoPhaseOffset(k);
    }
    FDGICount = 0;
    FTimeIndex = -1;
    FTimeCount = 0;
    FIntervalMs = -1;
    FZCTTime.fill(-1);
    FPLLError = false;
    FRawData->Reset();
    ResetAllan();
  }
  TDataManagement::Reset();
}

// --- Properties ---

int32_t TZCT_DataManagement::DGICount() const {
  std::lock_guard guard(FLockObj);
  return FDGICount;
}

uint32_t TZCT_DataManagement::GetDGI(int32_t karte) const {
  std::lock_guard guard(FLockObj);
  return karte >= 1 && karte <= MaxDGICards ? FDGI[karte] : 0;
}

bool TZCT_DataManagement::DeviceHRQSet() const {
  std::lock_guard guard(FLockObj);
  return FDeviceHRQSet;
}

int32_t TZCT_DataManagement::TimeCount() const {
  std::lock_guard guard(FLockObj);
  return FTimeCount;
}

int32_t TZCT_DataManagement::TimeIndex() const {
  std::lock_guard guard(FLockObj);
  return FTimeIndex;
}

bool TZCT_DataManagement::IsPhaseDiffResetted() const {
  std::lock_guard guard(FLockObj);
  return FPhaseDiffResetted;
}

bool TZCT_DataManagement::ScramblerTrim() const {
  std::lock_guard guard(FLockObj);
  return FScramblerTrim;
}

void TZCT_DataManagement::SetScramblerTrim(bool value) {
  std::lock_guard guard(FLockObj);
  FScramblerTrim = value;
}

int32_t TZCT_DataManagement::Lost() const {
  std::lock_guard guard(FLockObj);
  return FLost;
}

bool TZCT_DataManagement::LocalServerRunning() const {
  std::lock_guard guard(FLockObj);
  return FLocalServerRunning;
}

void TZCT_DataManagement::SetLocalServerRunning(bool value) {
  std::lock_guard guard(FLockObj);
  FLocalServerRunning = value;
}

bool TZCT_DataManagement::PLLError() const {
  std::lock_guard guard(FLockObj);
  return FPLLError;
}

void TZCT_DataManagement::SetPLLError(bool value) {
  std::lock_guard guard(FLockObj);
  FPLLError = value;
}

bool TZCT_DataManagement::Ref20MHz() const {
  std::lock_guard guard(FLockObj);
  return FRawData->Ref20MHz();
}

void TZCT_DataManagement::SetRef20MHz(bool value) {
  std::lock_guard guard(FLockObj);
  if (value == FRawData->Ref20MHz()) return;
  Dbg(std::string(".SetRef20MHz ") + BoolText(value));
  FRawData->SetRef20MHz(value);
  Reset();
}

int64_t TZCT_DataManagement::GetZCTTimeGraphic(int32_t xkoord) const {
  std::lock_guard guard(FLockObj);
  return FZCTTime[xkoord & DM_HistoryMask];
}

int64_t TZCT_DataManagement::LastZCTTime() const {
  std::lock_guard guard(FLockObj);
  if (Count(hsNone) == 0) return -1;
  return FZCTTime[(X() - 1) & DM_HistoryMask];
}

int64_t TZCT_DataManagement::LastTimeStamp() const {
  const int64_t ms = LastZCTTime();
  return ms < 0 ? -1 : ms / 1000;
}

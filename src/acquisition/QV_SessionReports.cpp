// The counter session's report pipeline: reading reports from the source, acting on message
// reports, following the instrument's header and feeding the two data stores. Runs on the report
// thread, except where the window thread opens the session.
#include <charconv>
#include <cmath>
#include <cstring>
#include <exception>

#include "acquisition/MultiSource.h"
#include "acquisition/QV_SessionItem.h"
#include "acquisition/QV_SourceResult.h"
#include "core/LogUnit.h"
#include "core/QV_NumberText.h"
#include "data/ISamplerSink.h"
#include "data/IVC_DataManagement.h"
#include "data/ZCT_DataManagement.h"
#include "devices/QV_DeviceInfo.h"
#include "devices/QV_ReportCodes.h"
#include "protocol/QV_Commands.h"
#include "protocol/QV_ProcessReport.h"
#include "protocol/QV_ProcessState.h"
#include "protocol/QV_Report.h"

namespace {

constexpr int32_t StatisticsBlock = 10000;
constexpr int32_t StatisticsBlocks = 10;

// Hexadecimal, with or without a "$" or "0x" in front (the text reports write words as "$1900").
std::optional<uint32_t> ParseHex(std::string_view text) {
  text = TrimBlanks(text);
  if (text.starts_with('$')) text.remove_prefix(1);
  else if (text.starts_with("0x") || text.starts_with("0X")) text.remove_prefix(2);
  uint32_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<int64_t> ParseDecimal(std::string_view text) {
  text = TrimBlanks(text);
  int64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

bool IsRawHeader(uint32_t header) { return (header & 0xF000) == 0x6000; }

// "hh:mm:ss.zzz" of a duration.
std::string DurationText(TSteadyTime::duration d) {
  const int64_t ms = std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
  char text[32];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%03lld", static_cast<long long>(ms / 3600000),
                static_cast<long long>(ms / 60000 % 60), static_cast<long long>(ms / 1000 % 60),
                static_cast<long long>(ms % 1000));
  return text;
}

}  // namespace

// ============================== Reading ==============================

bool TQVSessionItem::GetReport() {
  if (FStructuredReports) {
    TQV_ReportStruct record;
    if (!ReadReportStruct(record)) return false;
    if (record.GetReportType() == rt_Error) {
      HandleFailure(FailureOfResult(record.GetErrorCode()), record.GetErrorText());
      return true;
    }
    TQV_ProcessState state;
    state.DecimalSeparator = FDecSep;
    std::string line;
    ReportStructToLine(state, record, line);
    ReportAuswerten(static_cast<uint16_t>(record.GetHeader()), line, &record);
    return true;
  }
  std::string line;
  int32_t code = mrOk;
  ReadReport(line, code);
  if (code == mrOk && line.empty()) return false;
  if (code != mrOk) {
    HandleFailure(FailureOfCode(code), line);
    return true;
  }
  // The header is read here once; the evaluation and the stores take it from here.
  const auto header = line.size() >= 4 ? ParseHex(std::string_view(line).substr(0, 4)) : std::nullopt;
  if (header)
    ReportAuswerten(static_cast<uint16_t>(*header), line, nullptr);
  else
    Warn(".ReportAuswerten: no report header: " + line);
  return true;
}

void TQVSessionItem::ReadReport(std::string& line, int32_t& code) {
  int64_t deviceMs = -1;
  TSourceReply report = Source().GetReport(&deviceMs);
  code = report.Code;
  line = std::move(report.Text);
  // A failed read carries no report and so no device time.
  if (code == mrOk) TakeDeviceMs(deviceMs, ".ReadReport", !line.empty());
}

bool TQVSessionItem::ReadReportStruct(TQV_ReportStruct& record) {
  Source().GetReportStruct(record);
  const TQV_ReportType type = record.GetReportType();
  if (type == rt_None) return false;
  TakeDeviceMs(type == rt_Error ? -1 : record.GetDeviceMs(), ".ReadReportStruct", type != rt_Error);
  return true;
}

void TQVSessionItem::TakeDeviceMs(int64_t deviceMs, const char* operation, bool hasReport) {
  if (deviceMs != -1)
    FDeviceMs = deviceMs;
  else if (hasReport)
    Log(std::string(operation) + " FDeviceMs = -1");
  const TDateTime start = FZCTDateTimeStart.load();
  int64_t ms = FDeviceMs.load();
  if (ms < 0 || !DateTimeKnown(start)) return;
  const int32_t interval = IntervalMs();
  if (interval > 1) ms -= ms % interval;
  FZCTDateTime = start + static_cast<double>(ms) / MsPerDay;
  if (FZCTtimeCheckNeeded) ZCTtimePlausibilityCheck();
}

// ============================== Failed reads ==============================

TQVSessionItem::TReadFailure TQVSessionItem::FailureOfCode(int32_t code) const {
  switch (code) {
    case mrWriteError:
    case mrServerDown: return TReadFailure::WriteOrServerDown;
    case mrNotConnected:
      if (IsFileConnection()) return TReadFailure::FileEnd;
      return ConnectionType() == ctNetwork ? TReadFailure::NetworkClosed : TReadFailure::Error;
    case mrHardwareFault: return TReadFailure::HardwareFault;
    case mrCmdIgnored: return TReadFailure::CmdIgnored;
    case mrReconnected: return TReadFailure::Reconnected;
    case mrRecovered: return TReadFailure::Recovered;
    case mrException: return TReadFailure::Exception;
    case mrOkTextCut:
    case mrBufferOverflow:
    case mrUnknownSource:
    case mrNotSupported: return TReadFailure::Nothing;
    default: return TReadFailure::Error;
  }
}

TQVSessionItem::TReadFailure TQVSessionItem::FailureOfResult(TQV_Result result) const {
  switch (result) {
    case QV_No_Err:
    case QV_No_Err_ASCII: return TReadFailure::Nothing;
    case QV_No_Err_Recovered: return TReadFailure::Recovered;
    case QV_CmdIgnored: return TReadFailure::CmdIgnored;
    case QV_WriteError:
    case QV_Err_ServerDown: return TReadFailure::WriteOrServerDown;
    case QV_HardwareFault: return TReadFailure::HardwareFault;
    case QV_Err_Exception: return TReadFailure::Exception;
    case QV_Err_EndOfFile: return TReadFailure::FileEnd;
    case QV_Err_Reconnected: return TReadFailure::Reconnected;
    case QV_Err_Disconnected: return TReadFailure::NetworkClosed;
    default: return TReadFailure::Error;
  }
}

void TQVSessionItem::HandleFailure(TReadFailure failure, const std::string& text) {
  switch (failure) {
    case TReadFailure::Nothing: return;
    case TReadFailure::Error:
      if (FReferenceClockError) {
        // A device without a valid reference clock stops sending; that is no new error.
        if (Contains(text, "Data transfer interrupted")) {
          Warn(".GetReport: State ReferenceClockError -> ignore " + text);
          return;
        }
        Warn(".GetReport: State ReferenceClockError");
      }
      return ThreadEvent_GetReportError(21, text, false);
    case TReadFailure::WriteOrServerDown: return ThreadEvent_GetReportError(22, text, true);
    case TReadFailure::FileEnd:
      AddInfo(71, 0, text);
      Log(".GetReport: FileDevice closed -> CloseDevice");
      return CloseDevice(true);
    case TReadFailure::NetworkClosed:
      ThreadEvent_GetReportError(22, text, false);
      Warn(".GetReport: NetworkDevice closed -> CloseDevice");
      return CloseDevice(true);
    case TReadFailure::HardwareFault:
      ThreadEvent_GetReportError(22, text, false);
      Warn(".GetReport: CloseDevice");
      return CloseDevice(true);
    case TReadFailure::CmdIgnored: return ThreadEvent_GetReportError(76, text, false);
    case TReadFailure::Reconnected:
      Warn(".GetReport: Reconnected");
      ThreadEvent_GetReportError(31, text, false);
      SamplerUpdate(IsCopy(), 16, text);
      if (FReferenceClockError) {
        FReferenceClockError = false;
        Warn(".GetReport: Reconnected -> clear ReferenceClockError");
      }
      return;
    case TReadFailure::Recovered:
      Log(".GetReport: interrupted connection recovered " + text);
      return ThreadEvent_GetReportError(23, text, false);
    case TReadFailure::Exception:
      Warn(".GetReport Exception: " + text);
      return ThreadEvent_GetReportError(21, text, false);
  }
}

// `reopen`: the source closed the connection after a write error or a server-down report. The
// device is opened again at once; when that works the connection stays and the error counts as a
// failed read (21), else as a read that closed the connection (22).
void TQVSessionItem::ThreadEvent_GetReportError(int32_t code, const std::string& text, bool reopen) {
  if (reopen) {
    Warn(".GetReport: CloseDevice");
    CloseDevice(false);
    if (OpenDevice().empty())
      code = 21;
    else
      StopLocalTcpServer();
  }
  if (code == 23) return AddInfo(23, 0, text);
  if (text.empty()) return;
  if (Contains(text, "Data transfer interrupted")) {
    Log(".ThreadEvent_GetReportError Data transfer interrupted");
    FDeviceInterruptedError = true;
  }
  AddError(code, 0, text);
}

// ============================== Evaluation ==============================

void TQVSessionItem::ReportAuswerten(uint16_t header, std::string line, const TQV_ReportStruct* record) {
  FReportLines.Add(line);
  try {
    FHeader = header;
    std::string data(TrimBlanks(std::string_view(line).substr(4)));
    if (data.starts_with(';')) data = std::string(TrimBlanks(std::string_view(data).substr(1)));
    if (!FDeviceStartStateTaken) {
      FDeviceStartState = static_cast<TQV_DeviceStartState>(Source().DeviceStartState());
      FDeviceStartStateTaken = true;
    }
    const uint16_t code = header & 0x7FFF;
    if (FWaits.ChecksExpectedHeader(code)) CheckExpectedHeader(code);
    if (!FWaits.BufferCleared) SendAddedOpenCommand();
    if (IgnoreWhileWaiting(code, line, data)) return;
    if (ReportDetails() && header != rc_Empty)
      Log(".ReportAuswerten: ms=" + std::to_string(FDeviceMs.load()) + ", Data=" + line);
    header = TakeOverflowBit(header, line);
    FixTimeBase(header);
    const bool special = EvaluateByHeader(header, line, data, record);
    if (header < QV_FirstReportCode) CountMeasurement();
    if (special) ThreadEvent_Report(header, line);
  } catch (const std::exception& e) {
    LogException(LogId(), DbgTag() + ".ReportAuswerten failed", e);
    throw;
  }
}

// Brings the instrument into the mode, interval and scrambler the settings want. A correction
// goes out once per reported header: at short intervals many reports arrive before the
// instrument has switched, and each would queue the same command again.
bool TQVSessionItem::CheckExpectedHeader(uint16_t code) {
  if (!FExpectedHeader) {
    ResetWaitExpectedHeader();
    return true;
  }
  const TQVHeader reported(code);
  const TQVHeader& expected = *FExpectedHeader;
  std::string command;
  if (reported.IntervalIndex() != expected.IntervalIndex()) {
    Log(".ReportAuswerten: Set Interval");
    command = std::string(1, static_cast<char>(QVCmd::RateBase + expected.IntervalIndex()));
  } else if (reported.Mode() != expected.Mode()) {
    Log(".ReportAuswerten: Set Mode");
    command = std::string(1, static_cast<char>(QVCmd::ModeBase + expected.Mode()));
  } else if (reported.ScramblerIndex() != 3 && expected.ScramblerIndex() != 0 &&
             reported.ScramblerIndex() != expected.ScramblerIndex()) {
    Log(".ReportAuswerten: Set Scrambler");
    command = expected.ScramblerIndex() == 1 ? "^" : "_";
  } else {
    Log(".ReportAuswerten: ResetWaitExpectedHeader");
    ResetWaitExpectedHeader();
    FLastCorrection.reset();
    return true;
  }
  if (FLastCorrection != std::make_pair(code, command)) {
    FLastCorrection = std::make_pair(code, command);
    SendCommand(command);
  }
  return false;
}

void TQVSessionItem::SendAddedOpenCommand() {
  if (FOpenCommandIndex >= FAddedOpenCommands.size()) return;
  Log(".ReportAuswerten: Send AddedOpenCommand " + std::to_string(FOpenCommandIndex));
  SendCommand(FAddedOpenCommands[FOpenCommandIndex++]);
}

bool TQVSessionItem::IgnoreWhileWaiting(uint16_t code, const std::string& line, const std::string& data) {
  if (!FWaits.Ignores(code)) return false;
  if (code == rc_Second) FignoredTimestamp = data;
  if (code < QV_FirstReportCode) {
    const bool known = HasDataHeader();
    const uint16_t old = DataHeader().Header();
    if (!known || old != code) {
      Log(".ReportAuswerten: " + IntToHex(code, 4) +
          (known ? " change DataHeader" + std::string(" old=") + IntToHex(old, 4) : " new DataHeader"));
      SetDataHeader(code, false, false);
      if (IsRawHeader(code)) FWaitRawTimestamp = true;
    }
  }
  Log(".ReportAuswerten: ignore(" + FWaits.FlagText() + ") Data=" + line + " FDeviceMs=" + std::to_string(FDeviceMs.load()));
  CheckHRQTimeout();
  return true;
}

void TQVSessionItem::CheckHRQTimeout() {
  if (!FWaits.HRQData) return;
  const TQVStartupWaits::THRQCheck check = FWaits.CheckHRQ(Clock().Steady());
  if (check == TQVStartupWaits::THRQCheck::Waiting) return;
  Warn(".ReportAuswerten: timeout wait for HRQ data" + std::string(" repeat count=") + std::to_string(FWaits.HRQTimeouts()));
  if (check == TQVStartupWaits::THRQCheck::GiveUp) {
    AddError(102, 0, "Failed to read HRQ data from device with timeout");
    ResetWaitHRQData();
    return;
  }
  Log(".ReportAuswerten Multi_ReadHRQData: start time monitoring");
  Source().ReadHRQData();
}

uint16_t TQVSessionItem::TakeOverflowBit(uint16_t header, std::string& line) {
  if (header & QV_LostBit) {
    if (FOverflowCounter == 0) {
      FZCT_DM->IncLost();
      AddError(31, 0, "Device reports transmit buffer overflow. Data lost!");
    } else {
      Log(".ReportAuswerten: Ignore Overflow Header=" + IntToHex(header, 4));
    }
    ++FOverflowCounter;
    header &= 0x7FFF;
    line.replace(0, 4, IntToHex(header, 4));
  } else if (FOverflowCounter > 0) {
    Log(".ReportAuswerten: Reihe der OverflowBits beendet, Counter=" + std::to_string(FOverflowCounter));
    FOverflowCounter = 0;
  }
  return header;
}

void TQVSessionItem::FixTimeBase(uint16_t code) {
  const int64_t deviceMs = FDeviceMs.load();
  if (DateTimeKnown(FZCTDateTimeStart.load()) || deviceMs < 0) return;
  if (code != rc_Second && code != rc_TenthSecond && code >= QV_FirstReportCode) return;
  const TQVSessionOptions options = Options();
  Log(".ReportAuswerten: ZCTDateTimeStart berechnen " + std::string(" FDeviceMs=") + std::to_string(deviceMs));
  TDateTime start = WallToDateTime(Clock().Wall(), options.LogTimeZoneSystem) - static_cast<double>(deviceMs) / MsPerDay;
  if (MillisecondOf(start) > 499) {
    start += 1000.0 / MsPerDay;
    Log(".ReportAuswerten: ZCTDateTimeStart aufrunden " + FormatLogTime(options.LogTimeFormat, start));
  }
  start = TruncateToSecond(start);
  FZCTDateTimeStart = start;
  FZCTDateTime = start + static_cast<double>(deviceMs) / MsPerDay;
  Log(".ReportAuswerten: ZCTDateTimeStart=" + FormatLogTime(options.LogTimeFormat, start) +
      " ZCTDateTime=" + FormatLogTime(options.LogTimeFormat, FZCTDateTime.load()));
  if (FZCTtimeCheckNeeded) ZCTtimePlausibilityCheck();
}

void TQVSessionItem::ZCTtimePlausibilityCheck() {
  const TDateTime start = FZCTDateTimeStart.load();
  if (!FZCTtimeCheckNeeded || !DateTimeKnown(start)) return;
  FZCTtimeCheckNeeded = false;
  const TQVSessionOptions options = Options();
  const std::string stored = FormatLogTime(options.LogTimeFormat, FiniDateTime);
  const std::string current = FormatLogTime(options.LogTimeFormat, start);
  if (stored == current) {
    Log(".ZCTtimePlausibilityCheck: ok");
    return;
  }
  Warn(".ZCTtimePlausibilityCheck failed" + std::string(" DateTimeStart: INI=") + stored + " jetzt=" + current);
  if (!options.LogTimeSourceZCT) return;
  Log(".ZCTtimePlausibilityCheck Warning ZCT time recalculated");
  AddWarning(45, 0, "ZCT Time recalculated, plausibility check failed");
}

std::string TQVSessionItem::DeviceTimeText() const {
  const TQVSessionOptions options = Options();
  return options.LogTimeSourceZCT ? FormatLogTime(options.LogTimeFormat, FZCTDateTime.load()) : std::string();
}

// Returns whether the report is one of the special reports that ThreadEvent_Report handles last.
bool TQVSessionItem::EvaluateByHeader(uint16_t code, const std::string& line, const std::string& data,
                                      const TQV_ReportStruct* record) {
  if (code < QV_FirstReportCode) {
    EvaluateMeasurement(code, line, record);
    return false;
  }
  switch (code) {
    case rc_Empty: return false;
    case rc_Version:
    case rc_Value24:
    case rc_OptionWord:
    case rc_Calibration:
    case rc_HRQSettings:
    case rc_AppData:
    case rc_Error1:
    case rc_Error2:
    case rc_Error3: return true;
    case rc_Second:
    case rc_TenthSecond: EvaluateSeconds(code, data); return false;
    case rc_SettingsChanged: EvaluateHeaderReport(data); return true;
    case rc_ChannelSelection: AddInfo(code, 0, line); return false;
    case rc_BufferCleared:
      ResetWaitBufferCleared();
      FZCT_DM->BufferCleared(code);
      FIVC_DM->BufferCleared(code);
      return false;
    case rc_ConnectedUsers:
      EvaluateConnectedUsers(data);
      AddSync(swDevices);
      AddInfo(code, 0, line);
      return false;
    case rc_DigitalInputs: FZCT_DM->AddDGI(line); return false;
    case rc_IntervalCounter: FIVC_DM->AddIVC(line); return false;
    case rc_ESPText:
      if (record)
        FZCT_DM->AddHeartbeat(*record);
      else
        FZCT_DM->AddHeartbeat(line, FDeviceMs);
      return false;
    case 0x7F21: AddError(31, 0, data); return false;
    case rc_CountFailure:
      FZCT_DM->AddMissing(MissingMeasurements(line));
      AddWarning(code, 0, line);
      return false;
    case rc_OverflowCleared:
      FZCT_DM->BufferCleared(code);
      FIVC_DM->BufferCleared(code);
      AddError(31, 0, data);
      return false;
    case rc_ReSync:
      FZCT_DM->ReSync(data);
      ResetWait7F51();
      FZCTDateTime = NAN;
      FZCTDateTimeStart = NAN;
      FDeviceMs = -1;
      FZCTtimeCheckNeeded = false;
      if (Options().LogTimeSourceZCT) AddWarning(45, 0, "Re sync, ZCT time resetted");
      return true;
    default: EvaluateErrorReport(code, line); return false;
  }
}

// Reference clock, PLL and the other status and error reports.
void TQVSessionItem::EvaluateErrorReport(uint16_t code, const std::string& line) {
  switch (code) {
    case rc_RefClockOk:
      Log(".ReportAuswerten: clear ReferenceClockError");
      FReferenceClockError = false;
      FPLLError = false;
      FPLLokCount = 0;
      FZCT_DM->SetPLLError(false);
      FZCT_DM->Reset();
      AddInfo(code, 0, line);
      return;
    case rc_RefClockInvalid:
      Warn(".ReportAuswerten: set ReferenceClockError");
      FReferenceClockError = true;
      FPLLError = false;
      FZCT_DM->SetPLLError(false);
      SamplerUpdate(IsCopy(), 13, line.size() > 5 ? std::string(TrimBlanks(line.substr(5))) : std::string());
      AddError(code, 0, line);
      return;
    case rc_PllUnlockedMain:
      Warn(".ReportAuswerten: " + line);
      SamplerUpdate(IsCopy(), 9, line);
      FPLLError = true;
      FZCT_DM->SetPLLError(true);
      FPLLokCount = 0;
      AddError(code, 0, line);
      return;
    default:
      if (code >= 0x7F00) {
        Warn(".ReportAuswerten: " + line);
        SamplerUpdate(IsCopy(), 9, line);
        AddError(code, 0, line);
      } else {
        AddInfo(code, 0, line);
      }
  }
}

void TQVSessionItem::EvaluateSeconds(uint16_t code, const std::string& data) {
  const int64_t value = ParseDecimal(data).value_or(0);
  if (code == rc_Second) {
    if (FReferenceClockError) {
      Warn(".ReportAuswerten:" + std::string(" during ReferenceClockError ignore Seconds: ") + data);
      return;
    }
    UpdateStatus([&](TQVSessionStatus& s) { s.BufNo7015 = data; });
    if (ReportDetails()) Log(".ReportAuswerten: Seconds: " + data + " FDeviceMs=" + std::to_string(FDeviceMs.load()));
    if (FEnv.Sampler) FEnv.Sampler->AddTimeStamp(Index(), IsCopy(), value * 10);
    FZCT_DM->AddTimeStamp(value * 10);
    CheckRawTimestamp(".ReportAuswerten: Seconds: " + data);
    return;
  }
  if (ReportDetails()) Log(".ReportAuswerten: 100ms: " + data + " FDeviceMs=" + std::to_string(FDeviceMs.load()));
  if (FEnv.Sampler) FEnv.Sampler->AddTimeStamp(Index(), IsCopy(), value);
  FZCT_DM->AddTimeStamp(value);
  CheckRawTimestamp(".ReportAuswerten: 100ms: " + data);
}

// In raw-data mode the lines are grouped from a time stamp on the interval's grid.
void TQVSessionItem::CheckRawTimestamp(const std::string& prefix) {
  if (!FWaitRawTimestamp) return;
  const int64_t deviceMs = FDeviceMs.load();
  const int32_t interval = IntervalMs();
  const std::string text = prefix + " FDeviceMs=" + std::to_string(deviceMs) + " FIntervalMs=" + std::to_string(interval);
  if (deviceMs >= 0 && interval > 0 && deviceMs % interval == 0) {
    FWaitRawTimestamp = false;
    Log(text + " WaitRawTimestamp -> passt");
  } else {
    Log(text + " WaitRawTimestamp -> passt NICHT");
  }
}

void TQVSessionItem::EvaluateHeaderReport(const std::string& data) {
  const auto header = ParseHex(data);
  if (!header) {
    Warn(".ReportAuswerten: invalid header report " + data);
    return;
  }
  const auto value = static_cast<uint16_t>(*header & 0xFFFF);
  SetDataHeader(value, FOldHeader != NoHeader, true);
  if (IsRawHeader(value)) {
    FWaitRawTimestamp = true;
    Log(".ReportAuswerten 7020 6000 -> WaitTimestamp");
  }
  FRemainTime = 2.0 * DataHeader().GateTime() / 1000.0;
}

// "1: " .. "4: " entries; the text of a user runs to the next entry.
void TQVSessionItem::EvaluateConnectedUsers(const std::string& data) {
  std::array<size_t, 4> starts{};
  for (int user = 1; user <= 4; ++user) starts[user - 1] = data.find(std::to_string(user) + ": ");
  std::array<std::string, 4> users;
  for (int user = 1; user <= 4; ++user) {
    const size_t start = starts[user - 1];
    if (start == std::string::npos) {
      users[user - 1] = "unknown";
      continue;
    }
    size_t end = data.size();
    for (size_t other : starts)
      if (other != std::string::npos && other > start) end = std::min(end, other);
    users[user - 1] = std::string(TrimBlanks(std::string_view(data).substr(start + 3, end - start - 3)));
  }
  const bool secondSet = IsESP() && ConnectionType() == ctUSB;
  Multi_UpdateDeviceInfo(FSerialNumber.load(), [&](TQV_DeviceInfo& info) {
    for (int user = 1; user <= 4; ++user) {
      if (secondSet)
        info.SetConnectedUserU2(user, users[user - 1]);
      else
        info.SetConnectedUser(user, users[user - 1]);
    }
  });
}

void TQVSessionItem::EvaluateMeasurement(uint16_t code, const std::string& line, const TQV_ReportStruct* record) {
  if (FReferenceClockError && !FReportDataDuringReferenceClockError) return;
  if (!FignoredTimestamp.empty()) {
    const std::string seconds = std::exchange(FignoredTimestamp, {});
    Log(".ReportAuswerten: repeat ignored time stamp");
    Log(".ReportAuswerten: Seconds: " + seconds);
    UpdateStatus([&](TQVSessionStatus& s) { s.BufNo7015 = seconds; });
    if (FEnv.Sampler) FEnv.Sampler->AddTimeStamp(Index(), IsCopy(), ParseDecimal(seconds).value_or(0) * 10);
    Log(".ReportAuswerten: repeat ignored time stamp END");
  }
  if (code != FOldHeader) {
    SetDataHeader(code, FOldHeader != NoHeader, false);
  } else if (FPPIcmdSent && DataHeader().PPIindex() == 1) {
    AddSync(swPPI, 1);
  }
  FPPIcmdSent = false;
  const uint32_t gateMs = DataHeader().GateTime();
  FRemainTime = gateMs / 1000.0;
  if (DateTimeKnown(FZCTDateTime.load())) {
    const std::string time = DeviceTimeText();
    FZCT_DM->SetZCTtimeString(time);
    FIVC_DM->SetZCTtimeString(time);
  }
  bool ok;
  if (IsRawHeader(code)) {
    if (FWaitRawTimestamp) {
      Log(".ReportAuswerten ignore (WaitTimestamp)" + std::string(" Data=") + line + " FDeviceMs=" +
          std::to_string(FDeviceMs.load()));
      return;
    }
    // The instrument measures 1 ms; the store groups the lines by the session's raw interval.
    std::string rawLine = line;
    rawLine.replace(0, 4, IntToHex(0x6000 + 256 * std::max(FIntervalIndex.load(), 0), 4));
    ok = FZCT_DM->ExtractRawData(rawLine, FDeviceMs);
  } else {
    ok = record ? FZCT_DM->ExtractReport(*record) : FZCT_DM->ExtractData(code, line, FDeviceMs);
  }
  if (!ok) {
    FPLLokCount = 0;
  } else if (FPLLError) {
    ++FPLLokCount;
    if (gateMs > 0 && FPLLokCount > 4 * (1000 / static_cast<int32_t>(gateMs))) {
      Log(".ReportAuswerten: clear PLL error, okCount=" + std::to_string(FPLLokCount));
      FPLLError = false;
      FZCT_DM->SetPLLError(false);
    }
  }
}

void TQVSessionItem::CountMeasurement() {
  const TSteadyTime now = Clock().Steady();
  if (FZMCount == 0 && FZMSum == 0 && FZMStart == TSteadyTime{}) FZMStart = now;
  if (++FZMCount < StatisticsBlock) return;
  const auto elapsed = now - FZMStart;
  FZMStart = now;
  FZMCount = 0;
  AddInfo(0, 0, "Zeitdauer 10000 Messungen " + DurationText(elapsed));
  FZMSumTime += elapsed;
  if (++FZMSum < StatisticsBlocks) return;
  AddInfo(0, 0, "Zeitdauer 10000 Messungen im Durchschnitt " + DurationText(FZMSumTime / StatisticsBlocks));
  FZMSum = 0;
  FZMSumTime = {};
}

// ============================== Data header ==============================

void TQVSessionItem::SetDataHeader(uint16_t header, bool notify, bool headerReport) {
  const TQVHeader h(header);
  const uint8_t oldMode = FMode;
  UpdateStatus([&](TQVSessionStatus& s) { s.DataHeader = h; });
  if (!h.ModeValid()) AddError(12, 0, "Device reports invalid mode");
  if (!h.IntervalIndexValid()) AddError(12, 0, "Device reports invalid interval");
  if (h.ModeValid()) SetDataMode(h, notify);
  uint16_t effective = h.Header();
  if (h.IntervalIndexValid()) effective = SetDataInterval(h, notify);
  SetDataPPIAndScrambler(h, notify);
  if (headerReport && PhaDiffReset) {
    FZCT_DM->PhaseDiffResetted();
    PhaDiffReset = false;
    if (notify)
      AddInfo(16, 0, "Phase difference resetted");
    else
      Log(".SetDataHeader Phase difference resetted");
    AddSync(swPhaseDiffReset);
  }
  const bool rawModeChanged = (oldMode == 6 || oldMode == 7) && (FMode == 6 || FMode == 7) && oldMode != FMode;
  if (h.ModeValid() && h.IntervalIndexValid() && effective != FZCT_DM->ValueHeader().Header()) {
    FZCT_DM->SetNewHeader(effective);
  } else if (rawModeChanged) {
    Log(".SetDataHeader RawMode changed -> re-open logfiles");
    SamplerUpdate(IsCopy(), 3);
  }
  FOldHeader = h.Header();
}

void TQVSessionItem::SetDataMode(const TQVHeader& header, bool notify) {
  uint8_t mode = header.Mode();
  if (mode == 6 && RawAvg()) mode = 7;
  const uint8_t old = FMode.exchange(mode);
  Log(" SetMode: " + std::to_string(mode));
  AddSync(swMode, mode);
  if (notify && mode != old)
    AddInfo(13, 0, "Mode setting changed to " + (mode == 7 ? std::string("Raw Data Avg.") : header.ModeText()));
}

// Returns the header the counter store works with: in raw-data mode the instrument measures 1 ms
// and the session's raw interval groups the lines.
uint16_t TQVSessionItem::SetDataInterval(const TQVHeader& header, bool notify) {
  int32_t index = header.IntervalIndex();
  uint16_t effective = header.Header();
  if (header.ModeValid() && header.Mode() == 6) {
    if (FRawIntervalIndex >= 0) index = FRawIntervalIndex;
    const auto ms = static_cast<int32_t>(TQVHeader::IntervalIndexToMs(index));
    effective = static_cast<uint16_t>(0x6000 + 256 * index);
    Log(".SetDataHeader RawMode set FIntervalIndex=" + std::to_string(index));
    Log(".SetDataHeader RawMode set FIntervalMs=" + std::to_string(ms));
    Log(".SetDataHeader RawMode Header" + std::string(" Device=") + IntToHex(header.Header(), 4) +
        " App=" + IntToHex(effective, 4));
    FZCT_DM->SetRawMode(ms, RawAvg());
  } else {
    Log(" SetRateIndex: " + std::to_string(index) + ", FIntervalMs=" +
        std::to_string(TQVHeader::IntervalIndexToMs(index)));
  }
  const auto ms = static_cast<int32_t>(TQVHeader::IntervalIndexToMs(index));
  const int32_t old = FIntervalIndex.exchange(index);
  if (ms > 0) SetIntervalMs(ms);
  AddSync(swRateIndex, index, ms);
  if (notify && index != old) AddInfo(13, 0, "Interval setting changed to " + TQVHeader::IntervalIndexToText(index));
  return effective;
}

void TQVSessionItem::SetDataPPIAndScrambler(const TQVHeader& header, bool notify) {
  const uint8_t ppi = header.PPIindex();
  const std::string ppiText = header.PPItext();
  const uint8_t oldPPI = FPPI.exchange(ppi);
  const uint8_t scrambler = header.ScramblerIndex();
  const std::string scramblerText = scrambler <= 3 ? header.ScramblerText() : std::to_string(scrambler);
  const uint8_t oldScrambler = FScrambler.exchange(scrambler);
  UpdateStatus([&](TQVSessionStatus& s) {
    s.PPIText = ppiText;
    s.ScramblerText = scramblerText;
  });
  Log(" SetPPI: " + ppiText);
  AddSync(swPPI, ppi);
  if (notify && ppi != oldPPI) AddInfo(15, 0, "PPI setting changed to " + ppiText);
  Log(" SetScrambler: " + scramblerText);
  AddSync(swScrambler, scrambler);
  if (notify && scrambler != oldScrambler) AddInfo(14, 0, "Scrambler setting changed to " + scramblerText);
}

// ============================== Special reports ==============================

void TQVSessionItem::ThreadEvent_Report(int32_t header, const std::string& line) {
  Log(".ThreadEvent_Report: " + line);
  const std::string data(TrimBlanks(std::string_view(line).substr(std::min<size_t>(line.size(), line.starts_with("7001") ? 4 : 5))));
  if (header > rc_Empty && header != rc_Second) UpdateStatus([&](TQVSessionStatus& s) { s.BufNo7000 = line; });
  switch (header) {
    case rc_Version: return EvaluateVersion(line);
    case rc_OptionWord: {
      if (ExpertMode()) AddInfo(header, 0, line);
      const auto value = ParseHex(data);
      if (value && static_cast<uint16_t>(*value) != FHardFeature) {
        const auto feature = static_cast<uint16_t>(*value);
        FHardFeature = feature;
        WithLinked([feature](TQVSessionItem& copy) { copy.FHardFeature = feature; });
        InterpretHardFeature(feature, "7019");
      }
      return;
    }
    case rc_Calibration: {
      if (ExpertMode()) AddInfo(header, 0, line);
      const bool changed = FIVC_DM->AddCalibration(line);
      if ((changed || !FIVCCalibrationSet) && FUseDeviceCalibration) {
        SetCalibrationData(FIVC_DM->DeviceCalibration());
        FIVC_DM->SetAddLogStrings(true);
      }
      return;
    }
    case rc_HRQSettings:
      if (ExpertMode()) AddInfo(header, 0, line);
      return AddDeviceHRQData(line);
    case rc_AppData:
      Log(".ThreadEvent_Report: TCP-AppData received: " + line);
      return AddInfo(header, 0, line);
    case rc_ReSync:
      Log(".ThreadEvent_Report Re-Sync: " + line);
      AddInfo(header, 0, line);
      return AddSync(swReSync);
    case rc_Error1: {
      const int32_t k = Contains(line, "ZCT: T2 underflow") ? 1 : Contains(line, "ZCT: T2 d4>=2") ? 2 : 0;
      return AddError(16 * rc_Error1 + k, 0, line);
    }
    case rc_Error2: {
      const int32_t k = Contains(line, "Input Data Overrun Error")   ? 1
                        : Contains(line, "Raw Data Reception Error") ? 2
                        : Contains(line, "Scrambler in use")         ? 3
                                                                     : 0;
      return AddError(16 * rc_Error2 + k, 0, line);
    }
    case rc_Error3:
      AddError(header, 0, line);
      if (FOldHeader != NoHeader) SetDataHeader(static_cast<uint16_t>(FOldHeader), true, false);
      return;
    default: return;
  }
}

void TQVSessionItem::EvaluateVersion(const std::string& line) {
  AddInfo(rc_Version, 0, line);
  const std::string version = line.substr(std::min<size_t>(line.size(), 4));
  const bool demo = Contains(version, "Simulator");
  const bool esp = Contains(version, "VERSION ZCT2");
  const int32_t firmware = Source().FirmwareVersion();
  const bool hasPPI = esp && firmware >= 114;
  UpdateStatus([&](TQVSessionStatus& s) {
    s.VersionString = version;
    s.IsESP = esp;
    s.HasPPI = hasPPI;
  });
  Log(".ThreadEvent_Report 7001:" + std::string(" is Demo=") + BoolText(demo) + ", is ZCT2=" + BoolText(esp) +
      ", has PPI=" + BoolText(hasPPI));
  if (esp) ResetWaitBufferCleared();
  AddSync(swPeer, esp ? 1 : 0);
  const auto feature = static_cast<uint16_t>(Source().HardFeature());
  FHardFeature = feature;
  WithLinked([feature](TQVSessionItem& copy) { copy.FHardFeature = feature; });
  InterpretHardFeature(feature, "7001");
  ReadDeviceDataAfterVersion(demo, firmware);
  AddSync(swDevices);
}

void TQVSessionItem::InterpretHardFeature(uint16_t value, const char* operation) {
  const bool counter = IsHardZCT(value);
  const bool intervalCounter = IsHardU(value);
  if (!counter && intervalCounter) {
    UpdateStatus([](TQVSessionStatus& s) { s.IVConly = true; });
    AddSync(swIVConly);
  } else if (counter && !intervalCounter) {
    UpdateStatus([](TQVSessionStatus& s) { s.ZCTonly = true; });
    AddSync(swZCTonly);
  } else if (!counter && !intervalCounter) {
    Log(".ThreadEvent_Report " + std::string(operation) + ": unknown HardFeature " + IntToHex(value, 4));
  }
}

void TQVSessionItem::ReadDeviceDataAfterVersion(bool demo, int32_t firmware) {
  const uint16_t feature = FHardFeature;
  const bool esp = IsESP();
  if (!FIVC_DM->DeviceCalibrationSet() && (demo || esp || (firmware > 61 && IsHardU(feature)))) {
    Log(".ThreadEvent_Report 7001: -> ReadDeviceCalibration");
    ReadDeviceCalibration();
  }
  if (!FZCT_DM->DeviceHRQSet() && (demo || esp || (firmware > 66 && IsHardZCT(feature)))) {
    Log(".ThreadEvent_Report 7001: -> Multi_ReadHRQData");
    StartHRQRead("7001");
  } else if (firmware < 67) {
    ResetWaitHRQData();
  }
}

void TQVSessionItem::StartHRQRead(const char* operation) {
  const int32_t code = Source().ReadHRQData();
  if (code != mrOk) {
    Warn(".ThreadEvent_Report " + std::string(operation) + ": Multi_ReadHRQData failed " + std::to_string(code));
    ResetWaitHRQData();
    return;
  }
  if (!FWaits.HRQData) return;
  FWaits.StartHRQ(Clock().Steady());
  Log(".ThreadEvent_Report Multi_ReadHRQData: start time monitoring");
}

// ============================== Start-up waits ==============================

void TQVSessionItem::EnableLogStrings(const char* operation) {
  if (FWaits.Any() || FZCT_DM->AddLogStrings()) return;
  Log(std::string(operation) + " -> enable ZCT.AddLogStrings");
  FZCT_DM->SetAddLogStrings(true);
}

void TQVSessionItem::ResetWaitBufferCleared() {
  FWaits.BufferCleared = false;
  EnableLogStrings(".ResetWaitBufferCleared");
}

void TQVSessionItem::ResetWaitExpectedHeader() {
  FWaits.ExpectedHeader = false;
  EnableLogStrings(".ResetWaitExpectedHeader");
}

void TQVSessionItem::ResetWaitHRQData() {
  FWaits.EndHRQ();
  EnableLogStrings(".ResetWaitHRQData");
}

void TQVSessionItem::ResetWait7F51() {
  FWaits.ReSync = false;
  EnableLogStrings(".ResetWait7F51");
}

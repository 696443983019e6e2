#include "protocol/QV_ReportDevice.h"

#include <algorithm>
#include <exception>

#include "core/LogUnit.h"
#include "core/QV_NumberText.h"
#include "devices/QV_BaseDevice.h"
#include "protocol/QV_Header.h"
#include "devices/QV_ReportCodes.h"
#include "protocol/QV_VersionText.h"

namespace {

uint32_t BigEndian32(std::string_view bytes) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4 && i < bytes.size(); ++i) value = (value << 8) | static_cast<uint8_t>(bytes[i]);
  return value;
}

uint16_t HeaderOf(std::string_view binary) {
  return static_cast<uint16_t>(static_cast<uint8_t>(binary[0]) << 8 | static_cast<uint8_t>(binary[1]));
}

bool IsMeasurementHeader(uint16_t header) { return (header & ~QV_LostBit & 0xFFFF) < QV_FirstReportCode; }

}  // namespace

TQV_ReportDevice::TQV_ReportDevice(TQV_BaseDevice* aDevice, TQV_DeviceInfoList* aInfoList, const TClock& clock)
    : FDbgTag("TQV_ReportDevice[" + std::to_string(aDevice->MultiId()) + "]"),
      FLogId(aDevice->LogId()),
      FDevice(aDevice),
      FInfoList(aInfoList),
      FClock(clock),
      FReplyWaitGuard(clock) {
  ChooseHandlers();
}

TQV_ReportDevice::~TQV_ReportDevice() = default;

void TQV_ReportDevice::ChooseHandlers() {
  const bool esp = FDevice->PeerType() == ptESP;
  FProcessCommand = &TQV_ReportDevice::BaseProcessCommand;
  FProcessCommandStruct = &TQV_ReportDevice::BaseProcessCommandStruct;
  FGetReportStruct = nullptr;
  switch (FDevice->DevType()) {
    case QV_Serial:
      FGetReport = esp ? &TQV_ReportDevice::ESPGetReport : &TQV_ReportDevice::SerialGetReport;
      if (!esp) FProcessCommand = &TQV_ReportDevice::SerialProcessCommand;
      FGetReportStruct = esp ? &TQV_ReportDevice::ESPGetReportStruct : &TQV_ReportDevice::UnknownGetReportStruct;
      break;
    case QV_HID:
    case QV_CDC:
    case QV_Remote:
      FGetReport = esp ? &TQV_ReportDevice::ESPGetReport : &TQV_ReportDevice::USBGetReport;
      FGetReportStruct = esp ? &TQV_ReportDevice::ESPGetReportStruct : &TQV_ReportDevice::UnknownGetReportStruct;
      FIgnoreNextFormatError = true;
      break;
    case QV_BinFile:
      FGetReport = &TQV_ReportDevice::FileGetBinReport;
      FProcessCommand = &TQV_ReportDevice::FileProcessCommand;
      break;
    case QV_TxtFile:
      FGetReport = &TQV_ReportDevice::FileGetTextReport;
      FProcessCommand = &TQV_ReportDevice::FileProcessCommand;
      break;
    case QV_CAN_Menlo: FGetReport = &TQV_ReportDevice::CANGetReport; break;
    case QV_TCP_Device: FGetReport = &TQV_ReportDevice::TCPGetReport; break;
    case QV_TCP_Archive: FGetReport = &TQV_ReportDevice::ArchiveGetReport; break;
    case QV_Simul:
      FGetReport = &TQV_ReportDevice::DemoGetReport;
      FProcessCommand = &TQV_ReportDevice::DemoProcessCommand;
      FGetReportStruct = &TQV_ReportDevice::DemoGetReportStruct;
      FProcessCommandStruct = &TQV_ReportDevice::DemoProcessCommandStruct;
      break;
    default: FGetReport = &TQV_ReportDevice::USBGetReport; break;
  }
}

// ---- Reading ----

TQV_Result TQV_ReportDevice::DeviceGetReport(std::string& report) {
  report.clear();
  FReplyWaitGuard.Check(*FDevice, FLogId, FDbgTag);
  try {
    return (this->*FGetReport)(report);
  } catch (const std::exception& e) {
    LogException(FLogId, FDbgTag + ".DeviceGetReport failed", e);
    throw;
  }
}

TQV_Result TQV_ReportDevice::GetReportStruct(TQV_ReportStruct& record) {
  record.Clear();
  FReplyWaitGuard.Check(*FDevice, FLogId, FDbgTag);
  if (!FGetReportStruct) {
    record.SetError(QV_DLL_internalError, "GetReportStruct: not supported for " + QV_DeviceTypeName(FDevice->DevType()));
    return QV_DLL_internalError;
  }
  try {
    return (this->*FGetReportStruct)(record);
  } catch (const std::exception& e) {
    LogException(FLogId, FDbgTag + ".GetReportStruct failed", e);
    throw;
  }
}

TQV_Result TQV_ReportDevice::DeviceProcessCommand(std::string& report) { return (this->*FProcessCommand)(report); }

TQV_Result TQV_ReportDevice::CheckDeviceError(std::string& report) {
  try {
    const TQV_Result code = FDevice->ErrorCode();
    if (code == QV_No_Err) return QV_No_Err;
    report = FDevice->ErrorMessage();
    FDevice->QuitError();
    if (code == QV_Err_ReceiveBufferOverflow || code == QV_Err_Reconnected) FIgnoreNextFormatError = true;
    return code;
  } catch (const std::exception& e) {
    report = "check device error failed: EXCEP(" + ExceptionClassName(e) + ") " + e.what();
    return QV_Err_Exception;
  }
}

void TQV_ReportDevice::FinishRead() {
  if (!FCmdList.Empty()) FRxMode = rxCommand;
}

std::string TQV_ReportDevice::PeekAvailable(uint32_t maxLen) {
  uint32_t n = std::min(FDevice->BufferAmount(), maxLen);
  if (n == 0) {
    uint8_t c;
    if (!FDevice->PeekChar(c)) return {};
    n = std::max<uint32_t>(1, std::min(FDevice->BufferAmount(), maxLen));
  }
  return FDevice->PeekAnsi(n);
}

void TQV_ReportDevice::LogLine(const std::string& text) const { LogIt(FLogId, FDbgTag + text); }

void TQV_ReportDevice::LogErr(const std::string& text) const { LogError(FLogId, FDbgTag + text); }

// ---- Device time ----

void TQV_ReportDevice::UpdateDeviceTime(std::string_view binaryReport) {
  if (binaryReport.size() < 2) return;
  const uint16_t header = HeaderOf(binaryReport);
  const std::string_view payload = binaryReport.substr(2);
  if ((header == rc_TenthSecond || header == rc_Second) && payload.size() >= 4) {
    const uint32_t counter = BigEndian32(payload);
    const bool tenths = header == rc_TenthSecond;
    FDevice100ms = tenths ? counter : 10 * counter;
    FDeviceMs = int64_t{counter} * (tenths ? 100 : 1000);
    FDeviceMsCount = 0;
  } else if (IsMeasurementHeader(header)) {
    AdvanceMeasurementTime(header);
  }
}

void TQV_ReportDevice::AdvanceMeasurementTime(uint16_t header) {
  constexpr int SlowestRate = 13;
  const int index = (header >> 8) & 0x0F;
  if (FDeviceMs >= 0 && FDeviceMsCount > 0 && index <= SlowestRate) FDeviceMs += TQVHeader::IntervalIndexToMs(index);
  ++FDeviceMsCount;
}

void TQV_ReportDevice::UpdateDeviceTimeFromText(std::string_view line) {
  const auto header = ParseHex32(line.substr(0, 4));
  if (line.size() < 4 || !header) return;
  const size_t semicolon = line.find(';');
  const auto counter = semicolon == std::string_view::npos ? std::nullopt : ParseDecimal(line.substr(semicolon + 1));
  if ((*header == rc_TenthSecond || *header == rc_Second) && counter) {
    // The instrument's counter is 32 bits wide, as in binary reports: it wraps the same way.
    const uint32_t value = static_cast<uint32_t>(*counter);
    const bool tenths = *header == rc_TenthSecond;
    FDevice100ms = tenths ? value : 10 * value;
    FDeviceMs = int64_t{value} * (tenths ? 100 : 1000);
    FDeviceMsCount = 0;
  } else if (*header < QV_FirstReportCode) {
    AdvanceMeasurementTime(static_cast<uint16_t>(*header));
  } else {
    return;
  }
  if (FDevice->LowLevelLog()) {
    const std::string what = *header == rc_TenthSecond ? "7016=" : *header == rc_Second ? "7015=" : "Measurement ms=";
    LogLine(".CheckTimestampsTextReport " + what + " FDeviceMs=" + std::to_string(FDeviceMs));
  }
}

// ---- Version and identity ----

bool TQV_ReportDevice::ApplyColdfireVersion(std::string_view text, const std::string& logPrefix) {
  const auto version = ParseColdfireVersion(text);
  if (!version) return false;
  FVersionString = version->VersionString;
  LogLine(".GetReport: VERSION" + FVersionString);
  FHardFeature = version->HardFeature;
  FDevice->SetHardFeature(FHardFeature);
  if (!version->Ok) return false;
  FVersion = version->Version;
  FFirmwareDate = version->Date;
  FFPGAVersion = version->FPGAVersion;
  FVersionIP = version->IP;
  FDevice->SetFirmwareVersionNumber(FVersion);
  if (!FFPGAVersion.empty()) FDevice->SetFFPGAVersion(FFPGAVersion);
  if (version->SerialNumber) {
    FVersionSerialNumber = *version->SerialNumber;
    FDevice->SetSerialNumberValue(FVersionSerialNumber);
  }
  LogLine(logPrefix + "Version: " + std::to_string(FVersion) + " Date: " + FFirmwareDate);
  LogLine(logPrefix + "FPGAVersion: " + FFPGAVersion);
  LogLine(logPrefix + "SerialNumber: " + IntToHex(FVersionSerialNumber, 8));
  FVersionReceived = true;
  return true;
}

bool TQV_ReportDevice::ExtractSerialNumber(std::string_view s, uint32_t& serialNumber) const {
  if (s.find("VERSION") == std::string_view::npos) return false;
  size_t start = 0;
  for (int part = 0; part < 2; ++part) {
    const size_t pos = s.find(" / ", start);
    if (pos == std::string_view::npos) return false;
    start = pos + 3;
  }
  const size_t end = s.find(" / ", start);
  const auto number = ParseHex32(s.substr(start, end == std::string_view::npos ? end : end - start));
  if (!number) return false;
  serialNumber = *number;
  return true;
}

bool TQV_ReportDevice::ExtractUserID(std::string_view s, uint8_t& userID) const {
  const size_t user = s.find("User");
  if (s.find("VERSION") == std::string_view::npos || user == std::string_view::npos) return false;
  const auto digit = user + 4 < s.size() ? ParseDecimal(s.substr(user + 4, 1)) : std::nullopt;
  if (!digit) {
    LogLine(".ExtractUserID failed");
    return false;
  }
  userID = static_cast<uint8_t>(*digit);
  LogLine(".ExtractUserID: " + std::to_string(userID));
  return true;
}

std::string TQV_ReportDevice::GetFWVersionNumberString() const {
  return FDevice->PeerType() == ptESP ? FMajorMinorStr : std::to_string(FVersion);
}

bool TQV_ReportDevice::SerialBufferCleared() { return FSerialBufferCleared.exchange(false); }

void TQV_ReportDevice::ReSync() {
  LogLine(".ReSync");
  FDeviceMs = 0;
  FDeviceMsCount = 0;
}

void TQV_ReportDevice::ResetLastFPGA() {
  LogLine(".ResetLastFPGA " + std::to_string(FLastFPGA) + " -> -1");
  FLastFPGA = -1;
}

// ---- Held-back records ----

void TQV_ReportDevice::SetSavedReport(const TQV_ReportStruct& Value) {
  FSavedReports.push_back(Value);
  // The ring grows instead of overwriting: a held-back record is a report the caller has not seen.
  if (FSavedReports.size() == SavedReportSlots + 1)
    LogWarn(FLogId, FDbgTag + ".SetSavedReport: more than " + std::to_string(SavedReportSlots) +
                        " held-back records -> ring grows");
}

bool TQV_ReportDevice::GetSavedReport(TQV_ReportStruct& Value) {
  if (FSavedReports.empty()) {
    Value.Clear();
    return false;
  }
  Value = FSavedReports.front();
  FSavedReports.pop_front();
  return true;
}

bool TQV_ReportDevice::BinaryToRecord(const std::string& binary, TQV_ReportStruct& record) {
  if (binary.size() < 2) return false;
  const uint16_t header = HeaderOf(binary);
  const std::string_view payload = std::string_view(binary).substr(2);
  if (IsMeasurementHeader(header)) {
    if (FValueDecoder) FValueDecoder(header, payload, record);
    else record.SetDoubles(header, payload.size() - payload.size() % 8, payload.data());
  } else if (header == rc_TenthSecond && payload.size() >= 4) {
    record.SetTimestamp(BigEndian32(payload));
  } else if (header == rc_Calibration) {
    CalibrationRecord(payload, record);
  } else if (header == rc_HRQSettings) {
    std::string text = FDevice->Check7902Report(std::string(payload));
    if (text.empty()) return false;
    const std::string_view prefix = text.starts_with("7902; ") ? "7902; " : text.starts_with("7902;") ? "7902;" : "";
    record.SetMessage(header, std::string_view(text).substr(prefix.size()));
  } else if (header == rc_Version) {
    const size_t start = std::min(payload.find_first_not_of(' '), payload.size());
    record.SetMessage(header, payload.substr(start));
  } else {
    record.SetMessage(header, payload);
  }
  record.SetDeviceMs(FDeviceMs);
  return true;
}

void TQV_ReportDevice::CalibrationRecord(std::string_view payload, TQV_ReportStruct& record) const {
  TQV_Doubles values{};
  const double factor = FDevice->CalibFactorFloatToInt();
  for (size_t i = 0; i < values.size() && 4 * i + 4 <= payload.size(); ++i)
    values[i] = static_cast<int32_t>(BigEndian32(payload.substr(4 * i))) / factor;
  record.SetDoubles(rc_Calibration, QV_MaxChannels, values);
}

TQV_Result TQV_ReportDevice::UnknownGetReportStruct(TQV_ReportStruct& record) {
  if (FDevice->PeerType() != ptESP) return QV_No_Err;
  LogLine(".UnknownGetReportStruct umhängen auf ESP");
  FGetReportStruct = &TQV_ReportDevice::ESPGetReportStruct;
  FProcessCommandStruct = &TQV_ReportDevice::BaseProcessCommandStruct;
  return ESPGetReportStruct(record);
}

// ---- Commands ----

TQV_Result TQV_ReportDevice::SendCommand(const std::string& cmd) {
  std::string reply;
  return SendCommand(cmd, reply);
}

TQV_Result TQV_ReportDevice::SendCommand(const std::string& cmd, std::string& reply) {
  try {
    FReplyWaitGuard.Check(*FDevice, FLogId, FDbgTag);
    const std::string hex = AnsiToHex(cmd);
    int32_t delay = FDevice->GetDelayNextCmdMs();
    if (delay == 1 && FDevice->PeerType() == ptESP && FDevice->CmdResponse() == crt_none) {
      FDevice->SetDelayNextCmdMs(0);
      delay = 0;
    }
    if (delay > 0) {
      FCmdList.Add(cmd);
      LogLine(".SendCommand: delay cmd for " + std::to_string(delay) + " -> add to CmdList=" + hex);
    } else if (FRxMode == rxCommand) {
      FCmdList.Add(cmd);
      LogLine(".SendCommand: Command is running -> add to CmdList=" + hex);
    } else if (const TCmdResponseType wait = FDevice->CmdResponse(); wait != crt_none) {
      FCmdList.Add(cmd);
      LogLine(".SendCommand: Wait CmdResponse " + CmdResponseTypeName(wait) + " -> add to CmdList=" + hex);
    } else if (!FDevice->HasCommandList() || !FCmdList.Empty()) {
      FCmdList.Add(cmd);
      LogLine(".SendCommand: add to CmdList=" + hex);
    } else {
      LogLine(".SendCommand: " + hex);
      if (!FDevice->DeviceWrite(cmd)) {
        const TQV_Result code = FDevice->ErrorCode();
        reply = FDevice->ErrorMessage();
        FDevice->QuitError();
        return code == QV_No_Err ? QV_WriteError : code;
      }
    }
    if (IsVersionCmd(cmd)) {
      FVersionReceived = false;
      LogLine(".SendCommand: version command");
    }
    return QV_No_Err;
  } catch (const std::exception& e) {
    LogException(FLogId, FDbgTag + ".SendCommand failed", e);
    throw;
  }
}

int32_t TQV_ReportDevice::GetPendingCmdsCount() const { return FCmdList.Count() + FDevice->PendingCmdsCount(); }

void TQV_ReportDevice::DeleteCommands() { FCmdList.Clear(); }

TQV_Result TQV_ReportDevice::SendQueuedCommand(std::string& report, const char* senderName) {
  TQV_Result result = QV_No_Err;
  const std::string sender = FDbgTag + "." + senderName;
  int32_t delay = FDevice->GetDelayNextCmdMs();
  if (delay == 1 && FDevice->PeerType() == ptESP) {
    FDevice->SetDelayNextCmdMs(0);
    delay = 0;
  }
  if (delay > 0) {
    LogIt(FLogId, sender + ": delay cmd for " + std::to_string(delay));
  } else if (const TCmdResponseType wait = FDevice->CmdResponse(); wait != crt_none) {
    LogIt(FLogId, sender + ": Wait CmdResponse " + CmdResponseTypeName(wait));
  } else if (const auto cmd = FCmdList.TakeFirst()) {
    const std::string hex = AnsiToHex(*cmd);
    LogLine(".BaseProcessCommand: cmd=" + hex);
    if (FDevice->DeviceWrite(*cmd)) {
      const TQV_DeviceType type = FDevice->DevType();
      const bool writerLogs = type == QV_CDC || type == QV_Remote || type == QV_CAN_Menlo || type == QV_Simul ||
                              (type == QV_Serial && FDevice->PeerType() == ptESP);
      if (!writerLogs) {
        LogIt(FLogId, "{" + hex + "}");
        if (FLogId >= 0) LogIt(FLogId + 1, "{" + hex + "}");
      }
    } else {
      result = FDevice->ErrorCode() == QV_No_Err ? QV_WriteError : FDevice->ErrorCode();
      report = FDevice->ErrorMessage();
      FDevice->QuitError();
      LogErr(".BaseProcessCommand: " + hex + " failed(" + QV_ResultName(result) + ")=" + report);
    }
  }
  FRxMode = rxData;
  return result;
}

TQV_Result TQV_ReportDevice::BaseProcessCommand(std::string& report) {
  return SendQueuedCommand(report, "BaseProcessCommand");
}

TQV_Result TQV_ReportDevice::BaseProcessCommandStruct(TQV_ReportStruct& record) {
  record.Clear();
  std::string text;
  const TQV_Result result = SendQueuedCommand(text, "BaseProcessCommandStruct");
  if (result != QV_No_Err) record.SetError(result, text);
  return result;
}

TQV_Result TQV_ReportDevice::FileProcessCommand(std::string& report) {
  while (const auto cmd = FCmdList.TakeFirst()) LogLine(".FileProcessCommand: ignore " + AnsiToHex(*cmd));
  FRxMode = rxData;
  return QV_No_Err;
}

// Format 3: the transmit blocks of the network-module firmware, for every transport of such a peer.
#include <limits>

#include "core/LogUnit.h"
#include "devices/QV_BaseDevice.h"
#include "devices/QV_DeviceInfo.h"
#include "protocol/QV_Header.h"
#include "devices/QV_ReportCodes.h"
#include "protocol/QV_ReportDevice.h"
#include "devices/QV_TransmitBlock.h"
#include "protocol/QV_VersionText.h"

namespace {

constexpr int32_t FPGACycleMs = 20000;
constexpr int SlowestRate = 13;
constexpr uint64_t NoTick = 0;

std::string Code(uint16_t code) { return {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)}; }

std::string BigEndianBytes(uint32_t value) {
  return {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
          static_cast<char>(value)};
}

uint32_t LittleEndian32(std::string_view bytes) {
  uint32_t value = 0;
  for (size_t i = 4; i-- > 0;) value = (value << 8) | static_cast<uint8_t>(bytes[i]);
  return value;
}

int32_t WrapFPGA(int32_t value) { return ((value % FPGACycleMs) + FPGACycleMs) % FPGACycleMs; }

// Each 8-byte value as `separator` + 8 hex digits of its first word, and optionally of its second.
std::string WordTexts(std::string_view values, const char* separator, bool both) {
  std::string text;
  for (size_t i = 0; i + TQV_TransmitBlock::ValueSize <= values.size(); i += TQV_TransmitBlock::ValueSize) {
    text += separator + IntToHex(LittleEndian32(values.substr(i)), 8);
    if (both) text += separator + IntToHex(LittleEndian32(values.substr(i + 4)), 8);
  }
  return text;
}

}  // namespace

TQV_Result TQV_ReportDevice::ESPGetReport(std::string& report) {
  if (FRxMode == rxCommand) return DeviceProcessCommand(report);
  if (FDevice->DemoData()) {
    LogLine(".ESPGetReport umschalten auf Demodaten");
    FGetReport = &TQV_ReportDevice::DemoGetReport;
    FProcessCommand = &TQV_ReportDevice::DemoProcessCommand;
    return DemoGetReport(report);
  }
  if (!FSaveData.empty()) {
    report = std::move(FSaveData.front());
    FSaveData.pop_front();
    if (FDevice->LowLevelLog()) LogLine(".ESPGetReport saved data=" + AnsiToHex(report));
    FinishRead();
    return QV_No_Err;
  }
  std::vector<std::string> reports;
  const TQV_Result result = ESPReadReports(reports, report);
  if (result == QV_No_Err && !reports.empty()) {
    report = std::move(reports.front());
    FSaveData.insert(FSaveData.end(), std::make_move_iterator(reports.begin() + 1),
                     std::make_move_iterator(reports.end()));
  }
  FinishRead();
  if (result != QV_No_Err || FDevice->ErrorCode() != QV_No_Err_Recovered) return result;
  // The data are delivered on the next call; this one tells of the recovery.
  if (!report.empty()) FSaveData.push_front(report);
  report = FDevice->ErrorMessage();
  FDevice->QuitError();
  return QV_No_Err_Recovered;
}

TQV_Result TQV_ReportDevice::ESPGetReportStruct(TQV_ReportStruct& record) {
  if (FRxMode == rxCommand) return (this->*FProcessCommandStruct)(record);
  if (FDevice->DemoData()) {
    LogLine(".ESPGetReport umschalten auf Demodaten");
    FGetReportStruct = &TQV_ReportDevice::DemoGetReportStruct;
    FProcessCommandStruct = &TQV_ReportDevice::DemoProcessCommandStruct;
    return DemoGetReportStruct(record);
  }
  if (GetSavedReport(record)) {
    FinishRead();
    return QV_No_Err;
  }
  std::vector<std::string> reports;
  std::string errorText;
  const TQV_Result result = ESPReadReports(reports, errorText);
  FinishRead();
  if (result != QV_No_Err) {
    record.SetError(result, errorText);
    return result;
  }
  bool delivered = false;
  for (const std::string& binary : reports) {
    TQV_ReportStruct converted;
    if (!BinaryToRecord(binary, converted)) continue;
    if (delivered) SetSavedReport(converted);
    else record = converted;
    delivered = true;
  }
  if (FDevice->ErrorCode() != QV_No_Err_Recovered) return QV_No_Err;
  if (delivered) FSavedReports.push_front(record);
  record.SetError(QV_No_Err_Recovered, FDevice->ErrorMessage());
  FDevice->QuitError();
  return QV_No_Err_Recovered;
}

TQV_Result TQV_ReportDevice::ReadTransmitBlock(TQV_TransmitBlock& block, std::string& errorText) {
  const std::string head = FDevice->PeekAnsi(TQV_TransmitBlock::HeaderSize);
  if (head.size() < TQV_TransmitBlock::HeaderSize) {
    const TQV_Result result = CheckDeviceError(errorText);
    if (result == QV_Err_ReceiveBufferOverflow) {
      ResetLastFPGA();
      errorText = "Buffer cleared after buffer overflow";
    } else if (result == QV_DeviceNotConnected) {
      ResetHeartbeatTicks();
    }
    return result;
  }
  const size_t size = TransmitBlockSize(head);
  if (size == 0) {
    // No block starts here: drop everything up to the next magic (keeping a partial one at the end).
    const std::string bytes = PeekAvailable(4096);
    const size_t next = bytes.find(TQV_TransmitBlock::Magic, 1);
    const size_t drop = next != std::string::npos ? next : std::max<size_t>(1, bytes.size() - 3);
    LogErr(".ReadTransmitReport no transmit block, skipped (" + std::to_string(drop) + "): " + AnsiToHex(head));
    FDevice->ConfirmPeekedData(static_cast<uint16_t>(drop));
    ResetLastFPGA();
    errorText = "GetReport: Format error, no transmit block: " + AnsiToHex(head);
    return QV_Err_BadFormat;
  }
  const std::string raw = FDevice->PeekAnsi(static_cast<uint32_t>(size));
  if (raw.size() < size) {
    const TQV_Result result = CheckDeviceError(errorText);
    if (result != QV_No_Err) LogErr(".ReadTransmitReport Header=" + AnsiToHex(head));
    return result;
  }
  FDevice->ConfirmPeekedData(static_cast<uint16_t>(size));
  const uint8_t sum = TransmitBlockSum(raw);
  ParseTransmitBlock(raw, block);
  if (sum != 0) {
    LogErr(".ReadTransmitReport CheckSum: " + IntToHex(block.CheckSum(), 2) + " Sum: " + IntToHex(sum, 2));
    block = {};
    ResetLastFPGA();
    errorText = "GetReport: CheckSum error";
    return QV_Err_BadFormat;
  }
  return QV_No_Err;
}

TQV_Result TQV_ReportDevice::ESPReadReports(std::vector<std::string>& reports, std::string& errorText) {
  TQV_TransmitBlock block;
  const TQV_Result result = ReadTransmitBlock(block, errorText);
  if (result != QV_No_Err || block.Raw.empty()) return result;
  const uint64_t now = std::max<uint64_t>(1, FClock.TickMs());
  if (FFirstReceiveTicks == NoTick) FFirstReceiveTicks = now;
  if (FDevice->DevType() == QV_BinFile && FLogId >= 0) LogIt(FLogId + 1, block.Dump());
  std::string report = ConvertTransmitBlock(block);
  if (report.empty()) return QV_No_Err;
  if (block.Type == TQV_TransmitBlock::btTimestamp) {
    CheckESPTimestamp(block, report);
  } else if (block.IsMeasurement()) {
    reports.push_back(std::move(report));
    CheckESPMeasurement(block, reports);
    return QV_No_Err;
  } else if (block.Type == TQV_TransmitBlock::btMessage && block.W == rc_Version) {
    CheckESPVersion(report, block.Payload());
  }
  if (report.empty()) return QV_No_Err;
  CheckESPMessageCodes(static_cast<uint16_t>(static_cast<uint8_t>(report[0]) << 8 | static_cast<uint8_t>(report[1])));
  reports.push_back(std::move(report));
  if (block.Type == TQV_TransmitBlock::btStatusDump) CheckHeartbeat(reports);
  return QV_No_Err;
}

std::string TQV_ReportDevice::ConvertTransmitBlock(const TQV_TransmitBlock& block) {
  const bool flagVersion = FDevice->FlagVersion() != 0;
  if (block.IsMeasurement()) return Code(block.MeasurementHeader(flagVersion)) + block.Values;
  const std::string other = Code(0x7F20) + AnsiToHex(std::string_view(block.Raw).substr(4));
  switch (block.Type) {
    case TQV_TransmitBlock::btNVSRead: {
      const std::string payload = block.Payload();
      if (payload.size() == 4) return Code(rc_OptionWord) + payload;
      return Code(FDevice->BlobNumber() != 0 ? rc_HRQSettings : rc_Calibration) + payload;
    }
    case TQV_TransmitBlock::btIntervalCounter: return Code(rc_IntervalCounter) + block.Values;
    case TQV_TransmitBlock::btTimestamp: return Code(rc_TenthSecond) + BigEndianBytes(block.X);
    case TQV_TransmitBlock::btMessage: return Code(block.W) + block.Payload();
    case TQV_TransmitBlock::btNVSBlock: {
      const uint8_t id = block.W & 0xFF;
      const uint8_t number = block.W >> 8;
      if (id == 'b' && number == 0) return Code(rc_Calibration) + block.Values;
      if (id == 'b' && number >= 1 && number <= 4) return Code(rc_HRQSettings) + block.Values;
      if (id == 'i' && number == 5) return Code(rc_OptionWord) + block.Values;
      return other;
    }
    case TQV_TransmitBlock::btStatus:
      if (block.W < 240)
        return Code(rc_SettingsChanged) + static_cast<char>(block.W) +
               static_cast<char>(block.MeasurementHeader(flagVersion) & 0xFF);
      if (block.W == 255) return Code(rc_BufferCleared);
      if (block.W == 254) return Code(rc_TooManyUsers) + "  Too many users";
      if (block.W == 253) return Code(0x7EFE);
      return other;
    case TQV_TransmitBlock::btDigitalInputs: return Code(rc_DigitalInputs) + WordTexts(block.Values, " ", false);
    case TQV_TransmitBlock::btStatusDump: return Code(rc_ESPText) + WordTexts(block.Values, ";", true);
    case TQV_TransmitBlock::btEmpty: return {};
    default: return other;
  }
}

void TQV_ReportDevice::CheckESPTimestamp(const TQV_TransmitBlock& block, std::string& report) {
  FDevice100ms = block.X;
  FDeviceMs = block.W % 100 + 100 * int64_t{block.X};
  FDeviceMsCount = 0;
  if (block.W % 100 != 0) {
    LogLine(".CheckESP_Timestamp ersten timestamp ignorieren: W=" + std::to_string(block.W) +
            " X=" + std::to_string(block.X));
    ResetLastFPGA();
    report.clear();
    return;
  }
  if (FFirstTimestamp && block.X == 0) FPowerUpNoReference = true;
  else FReceiveTicksTimestamp = std::max<uint64_t>(1, FClock.TickMs());
  FFirstTimestamp = false;
}

void TQV_ReportDevice::CheckESPMeasurement(const TQV_TransmitBlock& block, std::vector<std::string>& reports) {
  const bool playback = FDevice->DevType() == QV_BinFile;
  if (!FVersionReceived && !playback) {
    LogLine(".ESPGetReport no version string -> ignore measurement");
    reports.clear();
    return;
  }
  FReceiveTicksMeasuremnt = std::max<uint64_t>(1, FClock.TickMs());
  FRefClockErrorSend = false;
  if (block.Type != FLastMeasMode) {
    LogLine(".ESPGetReport ModeRate changed old=" + IntToHex(FLastMeasMode, 2) + " new=" + IntToHex(block.Type, 2));
    FLastMeasMode = block.Type;
    ResetLastFPGA();
  }
  const int rateIndex = block.Type & 0x0F;
  int32_t t = block.W;
  if (block.Type == 0x60) t = t == 0 ? FPGACycleMs - 1 : t - 1;
  if (rateIndex > SlowestRate) {
    FDeviceMs = t % 100 + 100 * int64_t{FDevice100ms};
    return;
  }
  const auto interval = static_cast<int32_t>(TQVHeader::IntervalIndexToMs(rateIndex));
  if (playback && !FVersionReceived && FVersion < 0) {
    // A recording without its version report: the measurement times tell the convention.
    if ((t + 1) % interval == 0) FVersion = 114;
    else if (t % interval == 0) FVersion = 110;
    FZCTMeasIntervalEnd = FVersion > 110;
  }
  std::optional<int32_t> expected;
  if (FLastFPGA < 0) {
    if (FZCTMeasIntervalEnd && (t + 1) % interval != 0) expected = WrapFPGA(t + 1 - interval - (t + 1) % interval);
    else if (!FZCTMeasIntervalEnd && t % interval != 0) expected = t - t % interval;
  } else if (const int32_t next = (interval + FLastFPGA) % FPGACycleMs; next != t) {
    expected = next;
  }
  FLastFPGA = t;

  std::string timestamp;
  bool timestampFirst = false;
  if (FVersion >= 0 && FVersion < 114 && interval <= 100) {
    if (!FZCTMeasIntervalEnd) {
      FDevice100ms += static_cast<uint32_t>(WrapFPGA(t - FOffsetFPGA) / 100);
      FOffsetFPGA = t - t % 100;
      timestampFirst = t % 100 == 0;
      if (timestampFirst) timestamp = Code(rc_TenthSecond) + BigEndianBytes(FDevice100ms);
    }
  }
  FDeviceMs = t % 100 + 100 * int64_t{FDevice100ms};
  if (FVersion >= 0 && FVersion < 114 && interval <= 100 && FZCTMeasIntervalEnd && (t + 1) % 100 == 0) {
    ++FDevice100ms;
    timestamp = Code(rc_TenthSecond) + BigEndianBytes(FDevice100ms);
  }
  if (!timestamp.empty()) LogLine(".ESPGetReport create QVtimestampReport=" + AnsiToHex(timestamp));

  std::string measurement = std::move(reports.front());
  reports.clear();
  if (expected)
    reports.push_back(Code(rc_FpgaFormatError) + "FPGA time Error, expected=" + std::to_string(*expected) +
                      " found=" + std::to_string(t));
  if (timestampFirst) reports.push_back(timestamp);
  reports.push_back(std::move(measurement));
  if (!timestampFirst && !timestamp.empty()) reports.push_back(timestamp);
}

void TQV_ReportDevice::CheckESPVersion(std::string& report, std::string_view text) {
  if (FCmdList.RemoveIf([](const std::string& cmd) { return IsVersionCmd(cmd); }) > 0)
    LogLine(".ESPGetReport version received -> delete version cmd");
  if (FVersionReceived) {
    LogLine(".ESPGetReport Ignore multiple version string: " + std::string(text));
    report.clear();
    return;
  }
  const TESPVersion version = ParseESPVersion(text);
  for (const TVersionDiag& diag : version.Diagnostics) diag.IsError ? LogErr(diag.Text) : LogLine(diag.Text);
  if (!version.Ok) {
    LogLine(".ESPGetReport invalid version string -> send cmd");
    FDevice->DeviceWrite(std::string(1, static_cast<char>(QVCmd::Version)));
    report.clear();
    return;
  }
  FHardFeature = 0x8000;
  FHardFeatureString = version.HardwareText;
  FVersionUser = version.UserID >= 0 && version.UserID < 255 ? static_cast<uint8_t>(version.UserID) : 255;
  FMajor = version.Major;
  FMinor = version.Minor;
  FVersion = version.Version;
  FMajorMinorStr = std::to_string(FMajor) + "." + std::to_string(FMinor);
  FFirmwareDate = version.Date;
  FFWVersionString = version.FirmwareText;
  FFPGAVersion = version.FPGAVersion;
  FVersionSerialNumber = version.SerialNumber;
  FVersionIP = version.IP;
  FDevice->SetCFUserID(FVersionUser);
  FDevice->SetESPFirmwareVersion(FMajor, FMinor);
  FDevice->SetFirmwareVersionNumber(FVersion);
  if (!FFPGAVersion.empty()) FDevice->SetFFPGAVersion(FFPGAVersion);
  if (FVersionSerialNumber != 0xFFFFFFFF) FDevice->SetSerialNumberValue(FVersionSerialNumber);
  if (FInfoList) {
    if (auto info = FDevice->GetDeviceInfo()) {
      info->SetIPAddress(FVersionIP);
      FInfoList->AddInfo(std::move(info));
      LogLine(".ESPGetReport add DeviceInfo");
    }
  }
  FZCTMeasIntervalEnd = FVersion > 110;
  const std::string user = std::to_string(version.UserID);
  LogLine(".ESPGetReport FirmwareVersion=" + FMajorMinorStr + " -> " + std::to_string(FVersion) + " Date=" +
          FFirmwareDate + " Feature=" + IntToHex(FDevice->HardFeature(), 4) + " FPGAVersion=" + FFPGAVersion +
          " SerialNumber=0x" + IntToHex(FVersionSerialNumber, 8) + " IP=" + FVersionIP + " User-ID=" + user);
  FVersionString = "VERSION " + FHardFeatureString + " / # " + IntToHex(FVersionSerialNumber, 8) + " User " + user +
                   " / " + FFWVersionString + " / HW: " + FFPGAVersion + " / IP: " + FVersionIP;
  report = Code(rc_Version) + "  " + FVersionString;
  FVersionReceived = true;
}

void TQV_ReportDevice::CheckESPMessageCodes(uint16_t code) {
  switch (code) {
    case rc_SettingsChanged:
    case rc_BufferCleared:
    case rc_ReSync:
    case rc_Error2: ResetLastFPGA(); break;
    case rc_RefClockOk:
      ResetLastFPGA();
      FRefClockError = false;
      break;
    case rc_RefClockInvalid:
      ResetLastFPGA();
      FRefClockError = true;
      break;
    default: break;
  }
}

void TQV_ReportDevice::CheckHeartbeat(std::vector<std::string>& reports) {
  if (FRefClockError || FRefClockErrorSend) return;
  const uint64_t now = FClock.TickMs();
  const auto age = [now](uint64_t tick) {
    return tick == NoTick ? std::numeric_limits<uint64_t>::max() : now - tick;
  };
  const bool seen = FReceiveTicksTimestamp != NoTick || FReceiveTicksMeasuremnt != NoTick;
  const bool silent = seen ? age(FReceiveTicksTimestamp) > HeartbeatMs && age(FReceiveTicksMeasuremnt) > HeartbeatMs
                           : FFirstReceiveTicks != NoTick && age(FFirstReceiveTicks) > HeartbeatMs;
  if (!silent) return;
  LogLine(".ESPGetReport.Heartbeat: no measurement/timestamp received -> 7FF7");
  const char* text = FPowerUpNoReference
                         ? "Device does not send measurement data: Please check reference clock and re-power!"
                         : "Device does not send measurement data: Please check reference!";
  reports.insert(reports.begin(), Code(rc_NoMeasurements) + text);
  ResetHeartbeatTicks();
  FRefClockErrorSend = true;
}

void TQV_ReportDevice::ResetHeartbeatTicks() {
  FFirstReceiveTicks = NoTick;
  FReceiveTicksTimestamp = NoTick;
  FReceiveTicksMeasuremnt = NoTick;
}

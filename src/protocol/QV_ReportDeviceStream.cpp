// Formats 4 to 7: the TCP client and archive frames, the simulator's demo frames and the playback
// files.
#include <optional>

#include "core/LogUnit.h"
#include "devices/QV_BaseDevice.h"
#include "devices/QV_ReportCodes.h"
#include "protocol/QV_ReportDevice.h"
#include "protocol/QV_VersionText.h"

namespace {

constexpr char TcpStart = 0x01;
constexpr char TcpLengthEnd = 0x02;
constexpr size_t TcpHeaderPeek = 8;
constexpr uint8_t DemoMark = 0xFB;
constexpr uint8_t DemoMessageMark = 0xFC;
constexpr size_t DemoHeaderSize = 7;
constexpr uint32_t DemoSearchWindow = 260;
constexpr int DetectionAttempts = 2;

bool IsDemoIdentifier(std::string_view bytes, size_t at) {
  if (at + 4 > bytes.size()) return false;
  for (size_t i = at; i < at + 3; ++i)
    if (static_cast<uint8_t>(bytes[i]) != DemoMark) return false;
  const auto last = static_cast<uint8_t>(bytes[at + 3]);
  return last == DemoMark || last == DemoMessageMark;
}

uint16_t HeaderOf(std::string_view binary) {
  return static_cast<uint16_t>(static_cast<uint8_t>(binary[0]) << 8 | static_cast<uint8_t>(binary[1]));
}

}  // namespace

// ---- Format 4: TCP client of another instance ----

TQV_Result TQV_ReportDevice::TCPFormatError(std::string& report, const std::string& message) {
  // Step over the start byte so that the search for the next frame makes progress.
  FDevice->ConfirmPeekedData(1);
  FmissingBF = true;
  report = message;
  return QV_Err_BadFormat;
}

TQV_Result TQV_ReportDevice::TCPGetReport(std::string& report) {
  if (FRxMode == rxCommand) return DeviceProcessCommand(report);
  const TQV_Result result = [&]() -> TQV_Result {
    if (FmissingBF) {
      const std::string bytes = PeekAvailable(4096);
      const size_t start = bytes.find(TcpStart);
      const size_t skip = start == std::string::npos ? bytes.size() : start;
      if (skip > 0) {
        FDevice->ConfirmPeekedData(static_cast<uint16_t>(skip));
        LogLine(".TCPGetReport.missingBF überlesen (" + std::to_string(skip) + "): " + bytes.substr(0, skip));
      }
      if (start == std::string::npos) return CheckDeviceError(report);
      FmissingBF = false;
    }
    const std::string head = PeekAvailable(TcpHeaderPeek);
    if (head.empty()) return CheckDeviceError(report);
    const size_t lengthEnd = head.find(TcpLengthEnd);
    if (head[0] != TcpStart || (lengthEnd == std::string::npos && head.size() == TcpHeaderPeek) || lengthEnd == 1) {
      LogErr(".TCPGetReport.FormatError i01=" + std::to_string(head.find(TcpStart)) +
             ", i02=" + std::to_string(static_cast<int64_t>(lengthEnd)) + ", s=" + AnsiToHex(head));
      return TCPFormatError(report, "GetReport: Format error, no TCP string: " + head);
    }
    if (lengthEnd == std::string::npos) return QV_No_Err;  // the length is still arriving
    const auto length = ParseDecimal(std::string_view(head).substr(1, lengthEnd - 1));
    if (!length || *length == 0 || static_cast<size_t>(*length) > MaxTcpPayload) {
      LogErr(".TCPGetReport.FormatError sub(len)=" + head.substr(1, lengthEnd - 1));
      return TCPFormatError(report, "GetReport: Format error, no TCP string: " + head);
    }
    const size_t total = lengthEnd + 1 + static_cast<size_t>(*length);
    const std::string frame = FDevice->PeekAnsi(static_cast<uint32_t>(total));
    if (frame.size() < total) return CheckDeviceError(report);
    FDevice->ConfirmPeekedData(static_cast<uint16_t>(total));
    report = frame.substr(lengthEnd + 1);
    UpdateDeviceTimeFromText(report);
    if (LogReport) LogIt(FLogId, report);
    return QV_No_Err;
  }();
  FinishRead();
  return result;
}

// ---- Format 5: TCP archive ----

TQV_Result TQV_ReportDevice::ArchiveGetReport(std::string& report) {
  if (FRxMode == rxCommand) return DeviceProcessCommand(report);
  const TQV_Result result = [&]() -> TQV_Result {
    uint8_t length;
    if (!FDevice->PeekChar(length)) return CheckDeviceError(report);
    const std::string frame = FDevice->PeekAnsi(length + 1u);
    if (frame.size() < length + 1u) {
      report = "GetReport: Format error, not enough bytes. Expected: " + std::to_string(length);
      return QV_Err_BadFormat;
    }
    FDevice->ConfirmPeekedData(static_cast<uint16_t>(length + 1u));
    report = frame.substr(1);
    return QV_No_Err;
  }();
  FinishRead();
  return result;
}

// ---- Format 6: demo frames of the simulator ----

bool TQV_ReportDevice::DemoFindIdentifier() {
  const std::string bytes = PeekAvailable(DemoSearchWindow);
  if (bytes.size() < 4) return false;
  // The identifier is the end of the first run of 0xFB bytes that another byte follows: its last
  // three bytes before 0xFC, or its last four.
  std::optional<size_t> start;
  for (size_t at = 0; at < bytes.size() && !start;) {
    if (static_cast<uint8_t>(bytes[at]) != DemoMark) {
      ++at;
      continue;
    }
    size_t end = at;
    while (end < bytes.size() && static_cast<uint8_t>(bytes[end]) == DemoMark) ++end;
    if (end == bytes.size()) break;
    const size_t marks = static_cast<uint8_t>(bytes[end]) == DemoMessageMark ? 3 : 4;
    if (end - at >= marks) start = end - marks;
    at = end;
  }
  // Without an identifier the last three bytes may still begin one.
  const size_t drop = start ? *start : bytes.size() - 3;
  if (drop > 0 && !FDevice->ConfirmPeekedData(static_cast<uint16_t>(drop))) LogErr(".DemoGetReport confirmPeekedData failed!");
  if (start) {
    FMissingKennung = false;
    LogLine(".DemoGetReport missingKennung überlesen (" + std::to_string(drop) + "): " + AnsiToHex(bytes.substr(0, drop)));
  }
  return start.has_value();
}

TQV_Result TQV_ReportDevice::DemoReadFrame(std::string& binary, std::string& errorText) {
  if (FMissingKennung && !DemoFindIdentifier()) return CheckDeviceError(errorText);
  const std::string head = FDevice->PeekAnsi(DemoHeaderSize);
  if (head.size() < DemoHeaderSize) return CheckDeviceError(errorText);
  const auto count = static_cast<uint8_t>(head[6]);
  const bool measurement = IsDemoIdentifier(head, 0) && static_cast<uint8_t>(head[3]) == DemoMark;
  if (!IsDemoIdentifier(head, 0) || (measurement && count > QV_MaxChannels)) {
    LogErr(".DemoGetReport falsche Kennung: " + AnsiToHex(head.substr(0, 4)));
    // A valid identifier with a bad count is stepped over, so that the search moves on.
    if (IsDemoIdentifier(head, 0)) FDevice->ConfirmPeekedData(4);
    FMissingKennung = true;
    errorText = "missing demo ID";
    return QV_Err_BadFormat;
  }
  const size_t size = DemoHeaderSize + (measurement ? 8u * count : count);
  const std::string frame = FDevice->PeekAnsi(static_cast<uint32_t>(size));
  if (frame.size() < size) return CheckDeviceError(errorText);
  FDevice->ConfirmPeekedData(static_cast<uint16_t>(size));
  binary = frame.substr(4, 2) + frame.substr(DemoHeaderSize);
  UpdateDeviceTime(binary);
  const uint16_t header = HeaderOf(binary);
  if (header == rc_Version) {
    FHardFeature = 0x4001 | (binary.find("IVC") != std::string::npos ? 0x0002 : 0);
    FDevice->SetHardFeature(FHardFeature);
  }
  return QV_No_Err;
}

TQV_Result TQV_ReportDevice::DemoGetReport(std::string& report) {
  if (!FDevice->DemoData()) {
    LogLine(".DemoGetReport umschalten auf CDC-Daten");
    FGetReport = &TQV_ReportDevice::USBGetReport;
    FProcessCommand = &TQV_ReportDevice::BaseProcessCommand;
    return USBGetReport(report);
  }
  if (FRxMode == rxCommand) return DeviceProcessCommand(report);
  std::string binary;
  TQV_Result result = DemoReadFrame(binary, report);
  if (result == QV_No_Err && !binary.empty()) {
    report = binary;
    if (HeaderOf(binary) == rc_HRQSettings) {
      report = FDevice->Check7902Report(binary.substr(2));
      LogLine(".DemoGetReport -> 7902=" + report);
    }
    if (LogReport) LogIt(FLogId, AnsiToHex(report));
  }
  FinishRead();
  return result;
}

TQV_Result TQV_ReportDevice::DemoGetReportStruct(TQV_ReportStruct& record) {
  if (FRxMode == rxCommand) return (this->*FProcessCommandStruct)(record);
  std::string binary;
  std::string errorText;
  const TQV_Result result = DemoReadFrame(binary, errorText);
  FinishRead();
  if (result != QV_No_Err) {
    record.SetError(result, errorText);
    return result;
  }
  if (binary.empty()) return QV_No_Err;
  const uint16_t header = HeaderOf(binary);
  if (header < QV_FirstReportCode || header == rc_IntervalCounter) {
    // Demo values are already doubles in the processor's order.
    record.SetDoubles(header, binary.size() - 2 - (binary.size() - 2) % 8, binary.data() + 2);
    record.SetDeviceMs(FDeviceMs);
  } else if (!BinaryToRecord(binary, record)) {
    record.Clear();
  }
  return QV_No_Err;
}

TQV_Result TQV_ReportDevice::DemoProcessCommand(std::string& report) {
  if (FDevice->DevType() == QV_Simul) return BaseProcessCommand(report);
  FCmdList.Clear();
  FRxMode = rxData;
  report = "Commands not supported";
  return QV_DLL_internalError;
}

TQV_Result TQV_ReportDevice::DemoProcessCommandStruct(TQV_ReportStruct& record) {
  if (FDevice->DevType() == QV_Simul) return BaseProcessCommandStruct(record);
  std::string text;
  const TQV_Result result = DemoProcessCommand(text);
  record.SetError(result, text);
  return result;
}

// ---- Playback files ----

TQV_Result TQV_ReportDevice::FileGetBinReport(std::string& report) {
  if (FRxMode == rxCommand) return DeviceProcessCommand(report);
  LogLine(".FileGetBinReport: Binärdaten von ESP, USB oder seriell?");
  FDevice->SetPeerType(ptESP);
  for (int i = 0; i < DetectionAttempts; ++i) {
    if (ESPGetReport(report) == QV_No_Err && !report.empty()) {
      LogLine(".FileGetBinReport: Umschalten auf ESP-Binärdaten");
      FGetReport = &TQV_ReportDevice::ESPGetReport;
      return QV_No_Err;
    }
  }
  FSaveData.clear();
  FDevice->ResetDevice();
  FDevice->SetPeerType(ptColdfire);
  for (int i = 0; i < DetectionAttempts; ++i) {
    if (USBGetReport(report) == QV_No_Err && !report.empty()) {
      LogLine(".FileGetBinReport: Umschalten auf USB-Binärdaten");
      FGetReport = &TQV_ReportDevice::USBGetReport;
      return QV_No_Err;
    }
  }
  FDevice->ResetDevice();
  FmissingBF = false;
  FignoreNextBF = false;
  LogLine(".FileGetBinReport: Umschalten auf serielle Binärdaten");
  FGetReport = &TQV_ReportDevice::SerialGetReport;
  return SerialGetReport(report);
}

TQV_Result TQV_ReportDevice::FileGetTextReport(std::string& report) {
  if (FRxMode == rxCommand) return DeviceProcessCommand(report);
  const TQV_Result result = [&]() -> TQV_Result {
    report = FDevice->DeviceRead(255);
    while (!report.empty() && (report.back() == '\r' || report.back() == '\n')) report.pop_back();
    if (report.empty()) return CheckDeviceError(report);
    if (report.starts_with("7001VERSION") || (report.starts_with("7001") && report.find("VERSION") != std::string::npos)) {
      if (ApplyColdfireVersion(std::string_view(report).substr(4), ".ExtractFirmware "))
        LogLine(".FileGetTextReport FirmwareVersion=" + std::to_string(FVersion) +
                ", Feature=" + IntToHex(FHardFeature, 4) + ", Date=" + FFirmwareDate);
    } else {
      UpdateDeviceTimeFromText(report);
    }
    return QV_No_Err;
  }();
  FinishRead();
  return result;
}

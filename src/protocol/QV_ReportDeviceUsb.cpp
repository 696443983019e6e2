// Frame formats of the Coldfire firmware: delimited USB, CDC, network and CAN frames, and the serial
// byte protocol with acknowledgements.
#include "core/LogUnit.h"
#include "devices/QV_BaseDevice.h"
#include "protocol/QV_ReportDevice.h"

namespace {

constexpr uint8_t EscapeByte = 0xBC;
constexpr uint8_t IllegalByte = 0xBE;
constexpr int MaxEchoErrors = 3;

bool IsDelimiter(uint8_t c) { return c == 0xBD || c == 0xBF; }

std::string Hex2(uint8_t value) { return IntToHex(value, 2); }

// L plus all unescaped body bytes is 0 modulo 256; only the low 7 bits count when the first report
// byte has bit 7 set.
bool ChecksumOk(uint8_t sum, std::string_view body) {
  if (body.empty()) return false;
  return (static_cast<uint8_t>(body[0]) & 0x80) ? (sum & 0x7F) == 0 : sum == 0;
}

bool IsVersionReport(std::string_view report) {
  return report.size() >= 2 && static_cast<uint8_t>(report[0]) == 0x70 && report[1] == 0x01;
}

}  // namespace

// ---- Format 1 ----

TQV_Result TQV_ReportDevice::USBGetReport(std::string& report) {
  if (FRxMode == rxCommand) return DeviceProcessCommand(report);
  if (FDevice->DemoData()) {
    LogLine(".USBGetReport umschalten auf Demodaten");
    FGetReport = &TQV_ReportDevice::DemoGetReport;
    FProcessCommand = &TQV_ReportDevice::DemoProcessCommand;
    FGetReportStruct = &TQV_ReportDevice::DemoGetReportStruct;
    FProcessCommandStruct = &TQV_ReportDevice::DemoProcessCommandStruct;
    return DemoGetReport(report);
  }
  if (FDevice->PeerType() == ptESP) {
    LogLine(".USBGetReport umschalten auf ESP");
    FGetReport = &TQV_ReportDevice::ESPGetReport;
    FGetReportStruct = &TQV_ReportDevice::ESPGetReportStruct;
    return ESPGetReport(report);
  }
  const TQV_Result result = USBReadFrame(report);
  FinishRead();
  return result;
}

TQV_Result TQV_ReportDevice::CANGetReport(std::string& report) {
  const TQV_Result result = USBGetReport(report);
  uint32_t serialNumber;
  if (report.find("VERSION") != std::string::npos && ExtractSerialNumber(report, serialNumber))
    FDevice->SetSerialNumberValue(serialNumber);
  return result;
}

bool TQV_ReportDevice::USBSkipToDelimiter() {
  const std::string bytes = PeekAvailable(4096);
  if (bytes.empty()) return false;
  size_t pos = 0;
  while (pos < bytes.size() && !IsDelimiter(static_cast<uint8_t>(bytes[pos]))) ++pos;
  const bool found = pos < bytes.size();
  FDevice->ConfirmPeekedData(static_cast<uint16_t>(found ? pos + 1 : pos));
  if (found) FmissingBF = false;
  LogLine(".USBGetReport.missingBF überlesen (" + std::to_string(pos) + "): " + AnsiToHex(bytes.substr(0, pos)));
  return found;
}

TQV_Result TQV_ReportDevice::USBFormatError(std::string& report, const std::string& message) {
  if (FIgnoreNextFormatError) {
    FIgnoreNextFormatError = false;
    report.clear();
    return QV_No_Err;  // QV_Err_BadFormatIgnore: the caller takes it as no report
  }
  report = message;
  return QV_Err_BadFormat;
}

TQV_Result TQV_ReportDevice::USBReadFrame(std::string& report) {
  uint8_t c;
  if (FignoreNextBF) {
    if (!FDevice->PeekChar(c)) return CheckDeviceError(report);
    FignoreNextBF = false;
    if (IsDelimiter(c)) FDevice->ConfirmPeekedData(1);
    else if (LogReport) LogLine(".USBGetReport.ignoreNextBF: NICHT überlesen=" + Hex2(c));
  }
  if (FmissingBF && !USBSkipToDelimiter()) return CheckDeviceError(report);
  const std::string head = FDevice->PeekAnsi(2);
  if (head.size() < 2) return CheckDeviceError(report);
  const uint32_t escapes = static_cast<uint8_t>(head[0]);
  const uint8_t lengthCode = static_cast<uint8_t>(head[1]);
  const uint32_t n = lengthCode > 3 ? lengthCode : lengthCode + 256u;
  // Every escape stands for one of the n - 1 body bytes; more cannot be a frame.
  if (escapes > n - 1) {
    LogErr(".USBGetReport.escLenStr(" + AnsiToHex(head) + ") invalid: escapes=" + std::to_string(escapes) +
           " Len=" + std::to_string(n));
    FmissingBF = true;
    return USBFormatError(report, "GetReport: CheckSum error");
  }
  const uint32_t size = n + escapes + 1;
  const std::string frame = FDevice->PeekAnsi(size);
  if (frame.size() < size) return CheckDeviceError(report);
  if (frame.compare(0, 2, head) != 0) {
    LogLine(".USBGetReport.escLenStr(" + AnsiToHex(head) + ") stimmt nicht mehr. Wurde Puffer gelöscht? s=" +
            IntToHex(size, 4));
    return QV_No_Err;
  }
  // Unescaped into place: the body is never longer than its escaped bytes.
  std::string body(size - 2, '\0');
  const auto* in = reinterpret_cast<const uint8_t*>(frame.data());
  auto* out = reinterpret_cast<uint8_t*>(body.data());
  size_t length = 0;
  uint8_t sum = lengthCode;
  for (uint32_t i = 2; i < size; ++i) {
    uint8_t raw = in[i];
    const bool escaped = raw == EscapeByte && i + 1 < size;
    if (escaped) raw = in[++i];
    if (IsDelimiter(raw)) {
      LogErr(".USBGetReport.USB unerwartetes $BF, $BD empfangen ! ############### " + AnsiToHex(frame.substr(0, i)));
      // The delimiter begins the next frame: keep it and step over it on the next call.
      FDevice->ConfirmPeekedData(static_cast<uint16_t>(i));
      FignoreNextBF = true;
      return USBFormatError(report, "GetReport: unexpected end character received");
    }
    if (raw == IllegalByte) {
      LogErr(".USBGetReport.unerlaubtes $BE empfangen ! ####");
      FDevice->ConfirmPeekedData(static_cast<uint16_t>(i + 1));
      FmissingBF = true;
      return USBFormatError(report, "GetReport: received illegal $BE");
    }
    const uint8_t b = escaped ? static_cast<uint8_t>(raw - 4) : raw;
    out[length++] = b;
    sum = static_cast<uint8_t>(sum + b);
  }
  body.resize(length);
  FDevice->ConfirmPeekedData(static_cast<uint16_t>(size));
  if (body.size() != n - 1 || !ChecksumOk(sum, body)) {
    LogErr(".USBGetReport.CHK error: Len=" + std::to_string(n) + " ChkFound=" + Hex2(sum) +
           " ChkClaimed=" + Hex2(body.empty() ? 0 : static_cast<uint8_t>(body.back())));
    FmissingBF = true;
    return USBFormatError(report, "GetReport: CheckSum error");
  }
  body.pop_back();  // the checksum
  report = std::move(body);
  FIgnoreNextFormatError = false;
  if (FDevice->BufferAmount() > 0 && FDevice->PeekChar(c)) {
    FignoreNextBF = false;
    if (IsDelimiter(c)) FDevice->ConfirmPeekedData(1);
    else LogLine(".USBGetReport nächstes Zeichen kein BF: " + Hex2(c));
  } else {
    FignoreNextBF = true;
  }
  if (!TakeColdfireReport(report, ".USBGetReport")) report.clear();
  return QV_No_Err;
}

bool TQV_ReportDevice::TakeColdfireReport(std::string& report, const char* readerName) {
  if (IsVersionReport(report)) {
    uint8_t user;
    if (ExtractUserID(report, user)) FVersionUser = user;
    if (FVersionReceived) {
      LogLine(std::string(readerName) + " Ignore multiple version string: " + report.substr(2));
      return false;
    }
    ApplyColdfireVersion(std::string_view(report).substr(2), ".ExtractFirmware ");
  } else if (report.size() >= 2 && static_cast<uint8_t>(report[0]) == 0x79 && report[1] == 0x01) {
    FDevice->SetDelayNextCmdMs(0);
    LogLine(std::string(readerName) + " 7901 -> reset cmd delay");
  }
  UpdateDeviceTime(report);
  if (LogReport) LogIt(FLogId, AnsiToHex(report));
  return true;
}

// ---- Format 2: the serial byte protocol ----

void TQV_ReportDevice::SerialResetFrame() {
  FReceivedString.clear();
  FRecIndex = 0;
  FCheckSum = 0;
  FOffset = 0;
}

bool TQV_ReportDevice::SerialTakeBlock() {
  FSerialBlock = FDevice->DeviceReadAvailable(SerialBlockSize);
  FSerialBlockPos = 0;
  FSerialBlockTime = FClock.TickMs();
  return !FSerialBlock.empty();
}

template <typename LogText>
bool TQV_ReportDevice::SerialWrite(uint8_t byte, LogText logText) {
  if (!FDevice->DeviceWrite(std::string(1, static_cast<char>(byte)))) return false;
  // An acknowledgement goes out with every report: its text is built only for a logger that is on.
  const bool streamLog = FLogId >= 0 && LogEnabled(FLogId + 1);
  if (!streamLog && !LogEnabled(FLogId)) return true;
  const std::string text = logText();
  LogIt(FLogId, text);
  if (streamLog) LogIt(FLogId + 1, text);
  return true;
}

namespace {

// The diagnostic text of a protocol byte: the tag, the byte in hex and "}".
auto Tagged(const char* tag, uint8_t byte) {
  return [tag, byte] { return tag + Hex2(byte) + "}"; };
}

}  // namespace

TQV_Result TQV_ReportDevice::SerialWriteFailure(std::string& report) {
  const TQV_Result code = FDevice->ErrorCode();
  // No error: the device has reported this failure already (a line that is still down), and the
  // report read before the write stays valid.
  if (code == QV_No_Err) return QV_No_Err;
  report = FDevice->ErrorMessage();
  FDevice->QuitError();
  return code == QV_Err_DataTransferInterrupted ? code : QV_WriteError;
}

TQV_Result TQV_ReportDevice::SerialGetReport(std::string& report) {
  if (FRxMode == rxCommand) return DeviceProcessCommand(report);
  if (FDevice->PeerType() == ptESP) {
    LogLine(".SerialGetReport umschalten auf ESP");
    FGetReport = &TQV_ReportDevice::ESPGetReport;
    FProcessCommand = &TQV_ReportDevice::BaseProcessCommand;
    FGetReportStruct = &TQV_ReportDevice::ESPGetReportStruct;
    return ESPGetReport(report);
  }
  for (;;) {
    uint8_t c;
    if (!SerialNextByte(c)) {
      const TQV_Result result = CheckDeviceError(report);
      if (result != QV_No_Err || FSerialBlockTime - FRxDTime <= SerialWakeUpMs) return result;
      // The instrument may wait for an acknowledgement that got lost: wake it up.
      SerialResetFrame();
      FRxDTime = FSerialBlockTime;
      return SerialWrite(EscapeByte, [] { return std::string("<BC>"); }) ? QV_No_Err : SerialWriteFailure(report);
    }
    FRxDTime = FSerialBlockTime;
    FLastChar = c;
    if (c == EscapeByte) {
      FOffset = -4;
    } else if (c == IllegalByte) {
      SerialResetFrame();
      report = "SerialGetReport: received illegal $BE";
      return QV_Err_BadFormat;
    } else if (IsDelimiter(c)) {
      bool done = false;
      const TQV_Result result = SerialEndByte(c, report, done);
      if (done) return result;
    } else if (FReceivedString.size() >= MaxSerialFrame) {
      LogErr(".SerialGetReport too many bytes received: " + std::to_string(FReceivedString.size() + 1) +
             ", maximal length: " + std::to_string(MaxSerialFrame));
      SerialResetFrame();  // the end byte then meets an empty frame and asks for a repeat
    } else {
      const auto value = static_cast<uint8_t>(c + FOffset);
      FOffset = 0;
      FReceivedString.push_back(static_cast<char>(value));
      FCheckSum = (FCheckSum + value) & 0xFF;
      ++FRecIndex;
    }
  }
}

TQV_Result TQV_ReportDevice::SerialEndByte(uint8_t endByte, std::string& report, bool& done) {
  if (FRecIndex == 0) {
    done = false;
    const bool repeat = endByte == FLastEOL;
    const uint8_t answer = repeat ? FLastAckn : static_cast<uint8_t>(endByte & 0xFE);
    if (SerialWrite(answer, Tagged(repeat ? "{lA" : "{of", answer))) return QV_No_Err;
    done = true;
    return SerialWriteFailure(report);
  }
  done = true;
  const uint8_t claimed = static_cast<uint8_t>(FReceivedString[0]);
  const int32_t lenClaimed = claimed <= 3 ? claimed + 256 : claimed;
  const std::string_view body = std::string_view(FReceivedString).substr(1);
  const auto sum = static_cast<uint8_t>(FCheckSum);
  if (lenClaimed != FRecIndex || !ChecksumOk(sum, body)) {
    const uint8_t repeatRequest = endByte & 0xFE;
    LogErr(".SerialGetReport LEN or CHK error: LenFound=" + std::to_string(FRecIndex) + " LenClaimed=" +
           std::to_string(lenClaimed) + " ChkFound=" + Hex2(sum) +
           " ChkClaimed=" + Hex2(body.empty() ? 0 : static_cast<uint8_t>(body.back())));
    SerialResetFrame();
    return SerialWrite(repeatRequest, Tagged("{LA", repeatRequest)) ? QV_No_Err : SerialWriteFailure(report);
  }
  FLastEOL = endByte;
  FLastAckn = endByte;
  report.assign(body.substr(0, body.size() - 1));
  SerialResetFrame();
  if (!TakeColdfireReport(report, ".SerialGetReport")) report.clear();
  FDevice->IncReportCounter();
  const auto cmd = FDevice->GetDelayNextCmdMs() > 0 ? std::nullopt : FCmdList.TakeFirst();
  if (!cmd || cmd->empty())
    return SerialWrite(FLastAckn, Tagged("{La", FLastAckn)) ? QV_No_Err : SerialWriteFailure(report);
  // The first command byte replaces the acknowledgement; the echo drives the rest.
  FCmdStringSerial = *cmd;
  FCMDEcho.clear();
  FCmdCharCount = 1;
  FEchoErrors = 0;
  FRxMode = rxCommand;
  const auto first = static_cast<uint8_t>(FCmdStringSerial[0]);
  return SerialWrite(first, Tagged("{Cs", first)) ? QV_No_Err : SerialWriteFailure(report);
}

TQV_Result TQV_ReportDevice::SerialProcessCommand(std::string& report) {
  if (FCmdStringSerial.empty()) {
    FRxMode = rxData;
    return QV_No_Err;
  }
  for (;;) {
    uint8_t c;
    if (!SerialNextByte(c)) return CheckDeviceError(report);
    if (c == FLastEOL) {
      LogLine(".ProcessCommandSerial Ignore LastEOL [" + Hex2(c) + "]");
      continue;
    }
    FCMDEcho.push_back(static_cast<char>(c));
    if (FCMDEcho.size() < FCmdStringSerial.size()) {
      const auto next = static_cast<uint8_t>(FCmdStringSerial[FCmdCharCount++]);
      if (!SerialWrite(next, Tagged("{cs", next))) return SerialWriteFailure(report);
      continue;
    }
    const bool echoOk = FCMDEcho == FCmdStringSerial;
    if (!echoOk && ++FEchoErrors <= MaxEchoErrors) {
      LogErr(".ProcessCommandSerial EchoErr->{" + AnsiToHex(FCMDEcho) + "}");
      FCMDEcho.clear();
      FCmdCharCount = 1;
      const auto first = static_cast<uint8_t>(FCmdStringSerial[0]);
      return SerialWrite(first, Tagged("{Cs", first)) ? QV_No_Err : SerialWriteFailure(report);
    }
    FRxMode = rxData;
    TQV_Result result = QV_No_Err;
    if (!echoOk) {
      // The line keeps garbling this command: give it up instead of repeating it for ever.
      LogErr(".ProcessCommandSerial EchoErr, command dropped: " + AnsiToHex(FCmdStringSerial));
      report = "Sending command failed: " + AnsiToHex(FCmdStringSerial);
      result = QV_WriteError;
    } else if (IsBufferClearCmd(FCmdStringSerial)) {
      FSerialBufferCleared = true;
    }
    FCmdStringSerial.clear();
    if (!SerialWrite(FLastAckn, Tagged("{la", FLastAckn))) return SerialWriteFailure(report);
    return result;
  }
}

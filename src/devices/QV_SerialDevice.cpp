#include "devices/QV_SerialDevice.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QSerialPort>
#include <QThread>
#include <QTimer>
#include <functional>
#include <thread>
#include <utility>

#include "core/CircularBuffer.h"
#include "core/LogUnit.h"
#include "core/QV_NumberText.h"
#include "devices/QV_UsbFrames.h"

namespace {

const std::string InterruptedText = "Data transfer interrupted. Please check connection cable";
const std::string RecoveredText = "Data transmission recovered";
const std::string NoDataText =
    "Serial device does not send measurement data: Please check measurement hardware and baud rate settings!";
const std::string WriteFailedText = "SerialWrite: WriteFile failed";
const std::string OverflowText = "SerialDevice: Receive buffer overflow, buffer cleared";
const std::string ResettedText = "Device resetted!";
constexpr int TurnMs = 5;

bool IsEndByte(uint8_t c) { return c == 0xBD || c == 0xBF; }

// The bytes of a serial frame (length byte, body, checksum) without its escapes.
std::string Unescaped(std::string_view escaped) {
  std::string bytes;
  for (size_t i = 0; i < escaped.size(); ++i) {
    const auto c = static_cast<uint8_t>(escaped[i]);
    if (c == 0xBC && i + 1 < escaped.size())
      bytes.push_back(static_cast<char>(static_cast<uint8_t>(escaped[++i]) - 4));
    else
      bytes.push_back(static_cast<char>(c));
  }
  return bytes;
}

// One whole Coldfire frame without its end byte: the length byte counts the unescaped bytes.
bool IsColdfireFrame(std::string_view escaped) {
  const std::string bytes = Unescaped(escaped);
  return !bytes.empty() && static_cast<uint8_t>(bytes[0]) == bytes.size();
}

// Errors after which the port is of no further use: the adapter or the far end went away.
bool IsLineLost(QSerialPort::SerialPortError error) {
  switch (error) {
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
    case QSerialPort::DeviceNotFoundError:
    case QSerialPort::PermissionError: return true;
    default: return false;
  }
}

}  // namespace

// The open port and the thread it lives in. The thread's event loop delivers what arrives to
// onData and a lost line to onGone; writes run in that thread too, so the port is used by one
// thread only. The destructor closes the port and joins the thread.
class TQV_SerialDevice::TLine {
 public:
  using TData = std::function<void(TLine&, const std::string&)>;
  using TGone = std::function<void(const std::string&)>;
  using TTurn = std::function<void(TLine&)>;

  // onTurn runs every few milliseconds in the line's thread.
  TLine(TData onData, TGone onGone, TTurn onTurn)
      : FOnData(std::move(onData)), FOnGone(std::move(onGone)), FOnTurn(std::move(onTurn)) {
    FThread.setObjectName("TQV_SerialDevice reader");
    FPort = new QSerialPort;
    FPort->moveToThread(&FThread);
    QObject::connect(&FThread, &QThread::finished, FPort, &QObject::deleteLater);
    QObject::connect(FPort, &QSerialPort::readyRead, FPort, [this] {
      const QByteArray bytes = FPort->readAll();
      if (!bytes.isEmpty()) FOnData(*this, bytes.toStdString());
    });
    QObject::connect(FPort, &QSerialPort::errorOccurred, FPort, [this](QSerialPort::SerialPortError error) {
      if (!FPort->isOpen() || !IsLineLost(error)) return;
      const std::string reason = FPort->errorString().toStdString();
      FPort->close();
      FOnGone(reason);
    });
    FThread.start();
    Run([this] {
      auto* timer = new QTimer(FPort);
      QObject::connect(timer, &QTimer::timeout, FPort, [this] { FOnTurn(*this); });
      timer->start(TurnMs);
    });
  }

  ~TLine() {
    Run([this] {
      if (!FPort->isOpen()) return;
      FPort->setRequestToSend(false);
      FPort->close();
    });
    FThread.quit();
    FThread.wait();
  }

  TLine(const TLine&) = delete;
  TLine& operator=(const TLine&) = delete;

  // Opens the port 8N1 without flow control. On failure: the header of the error text and the
  // port's reason.
  bool Open(const std::string& path, uint32_t baud, std::string& header, std::string& reason) {
    bool ok = false;
    Run([&] {
      FPort->setPortName(QString::fromStdString(path));
      if (!FPort->open(QIODevice::ReadWrite)) {
        header = "Error open Serial Device ";
        reason = FPort->errorString().toStdString();
        return;
      }
      if (!FPort->setBaudRate(static_cast<qint32>(baud)) || !FPort->setDataBits(QSerialPort::Data8) ||
          !FPort->setParity(QSerialPort::NoParity) || !FPort->setStopBits(QSerialPort::OneStop) ||
          !FPort->setFlowControl(QSerialPort::NoFlowControl)) {
        header = "Error SetCommState ";
        reason = FPort->errorString().toStdString();
        FPort->close();
        return;
      }
      ok = true;
    });
    return ok;
  }

  bool Write(const std::string& data, std::string& reason) {
    bool ok = false;
    Run([&] { ok = WriteHere(data, reason); });
    return ok;
  }

  // In the line's own thread only.
  bool WriteHere(const std::string& data, std::string& reason) {
    if (!FPort->isOpen()) {
      reason = "port closed";
      return false;
    }
    const qint64 written = FPort->write(data.data(), static_cast<qint64>(data.size()));
    if (written == static_cast<qint64>(data.size()) && FPort->isOpen()) FPort->flush();
    const bool ok = written == static_cast<qint64>(data.size()) && FPort->isOpen();
    if (!ok) reason = FPort->errorString().toStdString();
    return ok;
  }

 private:
  template <typename F>
  void Run(F&& work) {
    QMetaObject::invokeMethod(FPort, std::forward<F>(work), Qt::BlockingQueuedConnection);
  }

  TData FOnData;
  TGone FOnGone;
  TTurn FOnTurn;
  QThread FThread;
  QSerialPort* FPort;  // lives in FThread; deleted there when the thread finishes
};

TQV_SerialDevice::TQV_SerialDevice(int32_t aLogId, int32_t aMultiId, std::shared_ptr<TEvent> aReceiveEvent,
                                   bool aDoResetEvent, uint32_t aBaudRate, const std::string& aDevicePath,
                                   const TClock& clock)
    : TQV_BaseDevice(aLogId, aMultiId, std::move(aReceiveEvent), aDoResetEvent, clock),
      FBaud(aBaudRate == 0 ? DefaultBaud : aBaudRate),
      FEspRouter(*this, "SerialDevice", FDbgTag + ".ESPRead", [this](std::string_view bytes) { WriteReceived(bytes); }) {
  FDevType = QV_Serial;
  FDevicePath = aDevicePath;
}

TQV_SerialDevice::~TQV_SerialDevice() { ClosePort(); }

std::string TQV_SerialDevice::ToString() const {
  return "TQV_SerialDevice " + FDevicePath + " Baud=" + std::to_string(FBaud);
}

// ---- Open and close ----

bool TQV_SerialDevice::OpenPort(std::string& ErrorMsg) {
  ClosePort();
  LogIt(FLogId, FDbgTag + ".OpenPort " + ToString() + (FBlockingIO ? " (BlockingIO)" : ""));
  FCFuserID = NoUser;
  FCFBufferAmount = 0;
  SetZCTReportHeader(0xFFFF);
  SetCmdResponse(crt_none);
  FZCTChannelCount = 0;
  FPeerType = ptUnknown;
  FEspPeer = false;
  FEspPending.clear();
  FEspStream.Clear();
  FCommands.Clear();
  FFirstBlockSeen = false;
  FResuming = false;
  FResumptionDue = false;
  FLineEndedAfterReset = false;
  FRecoverAfterReset = false;
  FRestartDue = false;
  FRecoverNeeded = false;
  FReOpened = false;
  FSuppressErrorDisconnected = false;
  FCloseRequested = false;
  if (!OpenLine(ErrorMsg)) {
    SetError(QV_System_Err, ErrorMsg);
    return false;
  }
  const std::string openCmd("\x01\xBE", 2);
  LogIt(FLogId, FDbgTag + ".OpenPort send openCmd " + AnsiToHex(openCmd));
  if (!DeviceWrite(openCmd)) {
    ErrorMsg = ErrorMessage();
    CloseLine();
    return false;
  }
  ArmNoDataCheck();
  FPortIsOpened = true;
  return true;
}

bool TQV_SerialDevice::OpenLine(std::string& ErrorMsg) {
  // The reader's event loop needs the application object; without it every port call would hang.
  if (!QCoreApplication::instance()) {
    ErrorMsg = "Error open Serial Device " + FDevicePath + ": no application object";
    return false;
  }
  auto line = std::make_unique<TLine>([this](TLine& l, const std::string& bytes) { TakeReceived(l, bytes); },
                                      [this](const std::string& reason) { LineGone(reason); },
                                      [this](TLine& l) { ESPTurn(l); });
  std::string header, reason;
  if (!line->Open(FDevicePath, FBaud, header, reason)) {
    ErrorMsg = header + FDevicePath + ": " + reason;
    if (!FSuppressErrorOpen) LogError(FLogId, FDbgTag + ".SerialOpen " + ErrorMsg);
    FSuppressErrorOpen = true;
    return false;
  }
  FSuppressErrorOpen = false;
  std::lock_guard lock(FLineLock);
  FLine = std::move(line);
  return true;
}

void TQV_SerialDevice::CloseLine() {
  std::unique_ptr<TLine> line;
  {
    std::lock_guard lock(FLineLock);
    line = std::move(FLine);
  }
  line.reset();
}

bool TQV_SerialDevice::ClosePort() {
  if (!FPortIsOpened && !FLine) return true;
  LogIt(FLogId, "### Close Device " + ToString() + " ###");
  // From here on a silent instrument is no break to recover from.
  FCloseRequested = true;
  SendStopCmd();
  CloseLine();
  FRecoverNeeded = false;
  FReOpened = false;
  FRecoverAfterReset = false;
  FLineEndedAfterReset = false;
  FRestartDue = false;
  FSuppressErrorDisconnected = false;
  FPortIsOpened = false;
  LogIt(FLogId, "### Device Closed " + ToString() + " ###");
  return true;
}

// ---- Reader thread ----

void TQV_SerialDevice::TakeReceived(TLine& line, const std::string& bytes) {
  SaveBinaryData(bytes.data(), bytes.size());
  std::string data;
  {
    std::lock_guard lock(FEspLock);
    if (!FEspPeer) {
      WriteReceived(bytes);
      return;
    }
    // What the peer check looked at comes first.
    data.swap(FEspPending);
  }
  data += bytes;
  // What a resetting instrument still sends belongs to the stream it gives up.
  if (FLineEndedAfterReset) return;
  ESPRead(line, data);
}

void TQV_SerialDevice::WriteReceived(std::string_view bytes) {
  const std::string data(bytes);
  if (FReceiveBuffer->WriteAnsiString(data)) return;
  // Older bytes are given up rather than the newest: the protocol asks again for a broken frame.
  LogError(FLogId, OverflowText);
  FReceiveBuffer->Clear();
  FReceiveBuffer->WriteAnsiString(data);
  SetError(QV_Err_ReceiveBufferOverflow, OverflowText);
}

void TQV_SerialDevice::LineGone(const std::string& reason) {
  if (FCloseRequested) return;
  // Also a reopened line that goes again before its first byte: it is closed and reopened in turn.
  FReOpened = false;
  FRecoverNeeded = true;
  LogError(FLogId, "TQV_SerialDevice.SerialReadAnsi -> recover needed RepeatAddr=" + IntToHex(FPeerRepeatAddr, 5) +
                       " (" + reason + ")");
  ReportInterruption();
}

bool TQV_SerialDevice::ReportInterruption() {
  if (FSuppressErrorDisconnected.exchange(true)) return false;
  SetError(QV_Err_DataTransferInterrupted, InterruptedText);
  return true;
}

// ---- Reading ----

std::string TQV_SerialDevice::DeviceRead(uint8_t len) {
  if (!PeerKnown()) return {};
  return Delivered(TQV_BaseDevice::DeviceRead(len));
}

std::string TQV_SerialDevice::DeviceReadAvailable(uint32_t maxLen) {
  if (!PeerKnown()) return {};
  return Delivered(TQV_BaseDevice::DeviceReadAvailable(maxLen));
}

bool TQV_SerialDevice::PeerKnown() {
  if (FPeerType != ptUnknown || CheckPeer()) return true;
  CheckDeviceClosed();
  return false;
}

std::string TQV_SerialDevice::Delivered(std::string bytes) {
  if (bytes.empty() || !FRecoverNeeded || !FReOpened) return bytes;
  FRecoverNeeded = false;
  FReOpened = false;
  FSuppressErrorDisconnected = false;
  LogIt(FLogId, FDbgTag + ".DeviceRead: " + RecoveredText);
  SetError(QV_No_Err_Recovered, RecoveredText);
  return bytes;
}

bool TQV_SerialDevice::CheckPeer() {
  const uint32_t amount = std::min(FReceiveBuffer->Amount(), PeerCheckSize);
  if (amount == 0) return false;
  const std::string bytes = FReceiveBuffer->PeekAnsiString(amount);
  size_t end = 0;
  while (end < bytes.size() && !IsEndByte(static_cast<uint8_t>(bytes[end]))) ++end;
  if (end < bytes.size()) {
    const std::string_view frame = std::string_view(bytes).substr(0, end);
    if (frame.size() > 1 && frame[0] == '\x01' && IsColdfireFrame(frame.substr(1))) {
      FReceiveBuffer->ConfirmPeekedData(1);
      LogIt(FLogId, FDbgTag + ".CheckPeer: Coldfire delete first Byte -> " + AnsiToHex(bytes.substr(0, end + 1)));
    } else if (!IsColdfireFrame(frame)) {
      FReceiveBuffer->ConfirmPeekedData(static_cast<uint16_t>(end + 1));
      LogError(FLogId, FDbgTag + ".CheckPeer: no valid Coldfire report " + AnsiToHex(bytes.substr(0, end + 1)));
      return false;
    }
  } else if (bytes.size() < PeerCheckSize) {
    return false;
  } else if (bytes.find("ZCT2") != std::string::npos) {
    TakeESPPeer();
    return true;
  }
  LogIt(FLogId, FDbgTag + ".CheckPeer: Coldfire");
  FPeerType = ptColdfire;
  FHasCommandList = false;
  return true;
}

// ---- Writing ----

bool TQV_SerialDevice::DeviceWrite(const std::string& Data) {
  if (FEspPeer) {
    // A network-module instrument reports its version by itself when the line opens.
    if (FFirstCommand.exchange(false) && QV_UsbFrames::IsFirstVersionCmd(Data)) {
      LogIt(FLogId, FDbgTag + ".DeviceWrite(" + AnsiToHex(Data) + "): ignore first version command");
      return true;
    }
    if (Data == std::string("\x85\x42\x01", 3)) {
      LogIt(FLogId, FDbgTag + ".DeviceWrite -> ReadConnectedUsers");
      FEspRouter.ReadConnectedUsers = true;
    }
    if (QV_UsbFrames::IsBufferClearCmd(Data)) {
      LogIt(FLogId, FDbgTag + ".DeviceWrite(" + AnsiToHex(Data) + "): IgnoreDataUntilStreamInterrupted ###");
      FEspRouter.IgnoreDataUntilStreamInterrupted = true;
      FReceiveBuffer->Clear();
    }
    FCommands.Add(Data, FLogId);
    return true;
  }
  // Acknowledgement and wake-up bytes belong to the Coldfire protocol. Before the first answer after
  // the open they could reach a network-module instrument, which would take one for the length of a
  // command and swallow every command after it. (A Coldfire instrument takes the open command's 0xBE
  // as its wake-up; a line that comes back keeps waking the instrument it had.)
  if (FPeerType == ptUnknown && !FRecoverNeeded && Data.size() == 1 && static_cast<uint8_t>(Data[0]) >= 0xBC) {
    LogIt(FLogId, FDbgTag + ".DeviceWrite(" + AnsiToHex(Data) + "): peer unknown -> not sent");
    return true;
  }
  std::lock_guard lock(FLineLock);
  std::string reason = "invalid handle";
  // A reopened line takes writes before its first byte: the decoder's wake-up asks the instrument
  // to send again.
  if (FLine && (!FRecoverNeeded || FReOpened) && FLine->Write(Data, reason)) return true;
  if (FRecoverNeeded) {
    // Reported once per interruption; later failed writes return false with no new error.
    if (ReportInterruption())
      LogError(FLogId, "TQV_SerialDevice.SerialWrite -> recover needed RepeatAddr=" + IntToHex(FPeerRepeatAddr, 5));
  } else {
    LogError(FLogId, FDbgTag + ".SerialWrite failed " + reason);
    SetError(QV_WriteError, WriteFailedText);
  }
  return false;
}

// ---- Supervision ----

bool TQV_SerialDevice::CheckDeviceClosed() {
  if (FLineEndedAfterReset) {
    if (!FRecoverAfterReset) ReportReset();
    else if (FClock.Steady() - FSleepStart >= std::chrono::milliseconds(ResetRestartMs)) FRestartDue = true;
    return false;
  }
  // A reopened line waits for its first bytes under the same no-data check as after the open.
  if (FRecoverNeeded && !FReOpened) {
    TryReOpen();
    return false;
  }
  return CheckNoData();
}

void TQV_SerialDevice::ReportReset() {
  LogIt(FLogId, "TQV_SerialDevice.CheckDeviceClosed device resetted");
  SetError(QV_Err_DeviceResetted, ResettedText);
  SetResetCmdSent(false);
  FSleepStart = FClock.Steady();
  FRecoverAfterReset = true;
}

// Line thread: the instrument starts afresh, so does everything learnt about its stream.
void TQV_SerialDevice::RestartAfterReset(TLine& line) {
  FFirstBlockSeen = false;
  FEspStream.Clear();
  FResuming = false;
  FResumptionDue = false;
  SetZCTReportHeader(0xFFFF);
  SetCmdResponse(crt_none);
  FZCTChannelCount = 0;
  std::string openCmd = FCFuserID == NoUser ? std::string("\xBE") : std::string{'\xBE', char(FCFuserID - 1)};
  openCmd.insert(openCmd.begin(), static_cast<char>(openCmd.size()));
  LogIt(FLogId, FDbgTag + ".CheckDeviceClosed RecoverAfterRest -> send openCmd " + AnsiToHex(openCmd));
  FLineEndedAfterReset = false;
  WriteOnLine(line, openCmd);
}

// While the line is lost: close what is left of it, pause, try to open the port again. The
// interruption has been reported when it began; a failed reopen keeps it.
void TQV_SerialDevice::TryReOpen() {
  const TSteadyTime now = FClock.Steady();
  if (FLine) {
    CloseLine();
    FSleepStart = now;
    FSleepMs = ReOpenPauseMs;
  }
  if (now - FSleepStart < std::chrono::milliseconds(FSleepMs)) return;
  if (!FSuppressErrorReOpen) LogIt(FLogId, "TQV_SerialDevice.CheckDeviceClosed -> ReOpen");
  std::string error;
  if (OpenLine(error)) {
    LogIt(FLogId, "TQV_SerialDevice.CheckDeviceClosed ReOpen ok");
    FSuppressErrorReOpen = false;
    FReOpened = true;
    if (FEspPeer) {
      // The instrument resends from the last good block; others are dropped until it does.
      FResuming = true;
      FResumptionDue = true;
    }
    ArmNoDataCheck();
  } else {
    FSuppressErrorReOpen = true;
    FSleepStart = now;
  }
}

void TQV_SerialDevice::ArmNoDataCheck() {
  FPortOpenedTime = FClock.Steady();
  FNoDataCheckDone = false;
  FReportCounter = 0;
  FReceivedSecAtOpen = FReceivedSec;
}

bool TQV_SerialDevice::CheckNoData() {
  // A network-module line watches its stream itself.
  if (!FLine || FNoDataCheckDone || FEspPeer) return false;
  if (FClock.Steady() - FPortOpenedTime < std::chrono::milliseconds(NoDataLimitMs)) return false;
  if (ReportCounter() == 0 && ReceivedSec() == FReceivedSecAtOpen) {
    LogError(FLogId, FDbgTag + ".CheckDeviceClosed: " + NoDataText);
    SetError(QV_HardwareFault, NoDataText);
    return true;
  }
  // Data came: the instrument talks at this baud rate.
  FNoDataCheckDone = true;
  return false;
}

// ---- Settings ----

void TQV_SerialDevice::SetBlockingIO(bool Value) {
  LogIt(FLogId, "TQV_SerialDevice.SetBlockingIO " + BoolText(Value));
  FBlockingIO = Value;
}

void TQV_SerialDevice::SetReceivedSec(uint32_t Value) {
  FReceivedSec = Value;
  FReportCounter = 0;
  if (Value != 0) return;
  LogIt(FLogId, "SerialDevice.ReceivedSec = 0");
  ArmNoDataCheck();
}

// The interruption stays suppressed until the line is back: the decoder quits every error it takes.
void TQV_SerialDevice::QuitError() {
  TQV_BaseDevice::QuitError();
  FSuppressErrorOpen = false;
  FSuppressErrorReOpen = false;
}

// ---- Network-module peer ----

void TQV_SerialDevice::TakeESPPeer() {
  LogIt(FLogId, FDbgTag + ".CheckPeer: ESP");
  FPeerType = ptESP;
  FFirstCommand = true;
  FReceiveBuffer->SetNoEOL();
  LogIt(FLogId, FDbgTag + ".CheckPeer BlockingIO needed");
  {
    // From here on the line thread reads the blocks; what came so far goes to it first.
    std::lock_guard lock(FEspLock);
    std::string bytes = FReceiveBuffer->ReadAvailable(FReceiveBuffer->Amount());
    FReceiveBuffer->Clear();
    const size_t magic = bytes.find("ZCT2");
    if (magic > 0 && magic != std::string::npos)
      LogIt(FLogId, FDbgTag + ".CheckPeer: ESP delete " + std::to_string(magic) + " byte(s) leading magic ");
    FEspPending = bytes.substr(std::min(magic, bytes.size()));
    FEspPeer = true;
  }
  if (FContextTool) return;
  LogIt(FLogId, FDbgTag + ".CheckPeer ESP -> read hard feature");
  FEspRouter.ReadHardFeatureRequested = true;
  FCommands.Add(std::string("\x85" "Ei\x05", 4), FLogId);
}

void TQV_SerialDevice::ESPTurn(TLine& line) {
  if (!FEspPeer) return;
  if (FRestartDue.exchange(false)) RestartAfterReset(line);
  if (FLineEndedAfterReset) return;
  std::string pending;
  {
    std::lock_guard lock(FEspLock);
    pending.swap(FEspPending);
  }
  if (!pending.empty()) ESPRead(line, pending);
  FCommands.SendNext(*this, FDbgTag, [&](const std::string& bytes) { return WriteOnLine(line, bytes); });
  const TSteadyTime now = FClock.Steady();
  if (FFirstBlockSeen && !FCloseRequested && now - FLastDataTime > std::chrono::milliseconds(ESPSilenceMs)) {
    if (ResetCmdSent()) {
      // The instrument restarts: there is nothing to resend.
      LogIt(FLogId, "TQV_SerialDevice.SerialReadAnsi Timeout -> no recover after reset");
      FLineEndedAfterReset = true;
      return;
    }
    LogError(FLogId, "TQV_SerialDevice.SerialReadAnsi Timeout -> recover needed RepeatAddr=" +
                         IntToHex(PeerRepeatAddr(), 5));
    if (FLogId >= 0) LogIt(FLogId + 1, "ERROR timeout");
    StartResumption();
    // A resumption that went unanswered is asked for again.
    FResumptionDue = true;
    FLastDataTime = now;
  }
  if (FResumptionDue.exchange(false)) WriteResumption(line);
}

void TQV_SerialDevice::ESPRead(TLine& line, std::string_view bytes) {
  FLastDataTime = FClock.Steady();
  FEspStream.Feed(bytes, *this);
  if (FResumptionDue.exchange(false)) WriteResumption(line);
}

void TQV_SerialDevice::Block(std::string_view bytes) {
  TQV_TransmitBlock block;
  ParseTransmitBlock(bytes, block);
  if (TransmitBlockSum(bytes) != 0) {
    LogError(FLogId, FDbgTag + ".ESPRead CheckSum failed " + AnsiToHex(bytes.substr(0, TQV_TransmitBlock::HeaderSize)));
    if (FLogId >= 0) LogIt(FLogId + 1, "ERROR CheckSum ignored: " + AnsiToHex(bytes));
    if (FResuming && block.BufferPointer() == PeerRepeatAddr()) {
      // The resent block broke again: ask once more.
      LogIt(FLogId, FDbgTag + ".ESPRead: BufferPtr=RepeatAddr -> repeat resumption address");
      FResumptionDue = true;
    }
    StartResumption();
    return;
  }
  FFirstBlockSeen = true;
  if (FRecoverAfterReset.exchange(false)) LogIt(FLogId, "TQV_SerialDevice.ESPRead ok -> clear RecoverAfterReset");
  const uint32_t address = block.BufferPointer();
  if (FResuming) {
    if (address != PeerRepeatAddr()) {
      LogIt(FLogId, FDbgTag + ".ESPRead: ignore report(" + std::to_string(bytes.size()) + "): " +
                        AnsiToHex(bytes.substr(0, TQV_TransmitBlock::HeaderSize)));
      return;
    }
    LogIt(FLogId, FDbgTag + ".ESPRead: resumption address reached");
    EndInterruption();
  }
  SetPeerRepeatAddr((address + 2u * block.ValueCount + 4) & 0x1FFFF);
  FEspRouter.Route(block);
}

void TQV_SerialDevice::Skipped(std::string_view bytes, bool broken) {
  if (!FFirstBlockSeen && !broken) {
    LogIt(FLogId, FDbgTag + ".ESPRead first receive: -> skip " + std::to_string(bytes.size()) +
                      " bytes before magic: " + AnsiToHex(bytes));
    return;
  }
  LogError(FLogId, FDbgTag + ".ESPRead: bytes without block ignored: " + AnsiToHex(bytes));
  StartResumption();
}

void TQV_SerialDevice::StartResumption() {
  if (FResuming.exchange(true)) return;
  FResumptionDue = true;
  LogError(FLogId, FDbgTag + ".ESPRead: " + InterruptedText);
  SetError(QV_Err_DataTransferInterrupted, InterruptedText);
}

void TQV_SerialDevice::WriteResumption(TLine& line) {
  const uint32_t address = PeerRepeatAddr();
  LogIt(FLogId, FDbgTag + ".ESPRead: set resumption address " + IntToHex(address, 5));
  // Bytes kept from the broken stream belong to no block that will come.
  FEspStream.Clear();
  WriteOnLine(line, std::string{'\x04', '\x73', char(address >> 24), char(address >> 16), char(address >> 8),
                                char(address)});
}

void TQV_SerialDevice::EndInterruption() {
  FResuming = false;
  FRecoverNeeded = false;
  FReOpened = false;
  FSuppressErrorDisconnected = false;
  LogIt(FLogId, FDbgTag + ".ESPRead: " + RecoveredText);
  SetError(QV_No_Err_Recovered, RecoveredText);
}

bool TQV_SerialDevice::WriteOnLine(TLine& line, const std::string& bytes) {
  std::string reason;
  if (FLogId >= 0) LogIt(FLogId, "{" + AnsiToHex(bytes) + "}");
  if (line.WriteHere(bytes, reason)) return true;
  LogError(FLogId, FDbgTag + ".SerialWrite failed " + reason);
  SetError(QV_WriteError, WriteFailedText);
  return false;
}

void TQV_SerialDevice::SendStopCmd() {
  if (!FEspPeer || !FLine) return;
  LogIt(FLogId, "TQV_SerialDevice.ClosePort ESP -> send stop cmd");
  if (FContextTool) {
    FCommands.Add("\x85\x11", FLogId);
    WaitCommandsSent("TQV_SerialDevice.SendStopCmd wait CmdColdfireDownloadEnd");
  }
  FCommands.Add("\x85\x60", FLogId);
  WaitCommandsSent("TQV_SerialDevice.SendStopCmd wait CmdColdfireStop");
}

void TQV_SerialDevice::WaitCommandsSent(const std::string& what) {
  LogIt(FLogId, what);
  for (uint32_t i = 0; i < StopWaitSteps && !FCommands.Empty(); ++i) {
    // No reply is worth keeping the instrument sending to a line that closes.
    if (CmdResponse() != crt_none) {
      LogIt(FLogId, "TQV_SerialDevice.SendStopCmd: clear CmdResponse=" + CmdResponseTypeName(CmdResponse()));
      SetCmdResponse(crt_none);
    }
    // Real time: the line thread sends, whatever clock the device reads.
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

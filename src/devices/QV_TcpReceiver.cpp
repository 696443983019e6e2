#include "devices/QV_TcpReceiver.h"

#include <sys/socket.h>
#include <unistd.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/LogUnit.h"
#include "core/QV_NumberText.h"
#include "core/StoreDataRecord.h"
#include "devices/TcpSocket.h"

namespace {

using namespace std::chrono_literals;

const std::string AuthLine = "AUTH=QV-TCP-Server";
// A management answer is one short line; anything longer is no answer of the server.
constexpr size_t MaxAnswerLength = 4096;

const char* TrueFalse(bool value) { return value ? "True" : "False"; }

std::string Endpoints(int fd, const char* localName) {
  uint16_t peerPort = 0, localPort = 0;
  const std::string peer = TcpSocket::PeerAddress(fd, &peerPort);
  const std::string local = TcpSocket::LocalAddress(fd, &localPort);
  return "Peer=" + peer + ":" + std::to_string(peerPort) + localName + local + ":" + std::to_string(localPort);
}

}  // namespace

TQV_TcpReceiver::TQV_TcpReceiver(int32_t aLogId, const std::string& aIP, uint16_t aPort, TQV_TcpReceived callback,
                                 const TTcpReceiverTimings& timings, const TClock& clock)
    : FLogId(aLogId),
      FServerIP(aIP),
      FServerPort(aPort),
      FOnReceived(std::move(callback)),
      FTimings(timings),
      FClock(clock) {
  LogIt(FLogId, "TcpReceiver.CreateManagementClient, Peer=" + FServerIP + ":" + std::to_string(FServerPort));
  LogIt(FLogId, "Created TcpReceiver: " + ToString());
}

TQV_TcpReceiver::~TQV_TcpReceiver() {
  ClosePort();
  StopServer();
  JoinThread(FTryThread);
  JoinThread(FGetThread);
}

// ---- Properties ----

std::string TQV_TcpReceiver::ToString() const {
  std::string text = "QV_TcpReceiver: Peer=" + FServerIP + ":" + std::to_string(FServerPort);
  if (FListenFd >= 0)
    text += ", DataServer=" + DataServerIPAndPort() + ", active=" + TrueFalse(FServerThread.joinable());
  if (FIsArchive) text += ", ARCHIVE " + StampString();
  return text;
}

std::string TQV_TcpReceiver::StampString() const {
  std::lock_guard lock(FLock);
  return FStampString;
}

void TQV_TcpReceiver::SetDataPort(uint16_t Value) {
  LogIt(FLogId, "TcpReceiver.SetDataPort: old=" + std::to_string(FDataPort) + ", new=" + std::to_string(Value));
  if (FPortIsOpened) {
    LogWarn(FLogId, "TcpReceiver: DataPort kann im laufenden Betrieb nicht geändert werden");
    return;
  }
  FDataPort = Value;
}

std::string TQV_TcpReceiver::DataServerIPAndPort() const {
  std::lock_guard lock(FLock);
  return (FDataServerIP.empty() ? "0.0.0.0" : FDataServerIP) + ":" + std::to_string(FDataPort);
}

TQV_Result TQV_TcpReceiver::ErrorCode() const {
  std::lock_guard lock(FLock);
  return FErrorCode;
}

std::string TQV_TcpReceiver::ErrorMessage() const {
  std::lock_guard lock(FLock);
  return FErrorMessage;
}

void TQV_TcpReceiver::SetError(TQV_Result code, const std::string& message) {
  std::lock_guard lock(FLock);
  FErrorCode = code;
  FErrorMessage = message;
}

void TQV_TcpReceiver::QuitError() { SetError(QV_No_Err, ""); }

void TQV_TcpReceiver::Touch() { FLastReceivedMs = int64_t(FClock.TickMs()); }

bool TQV_TcpReceiver::IsReceiveTimeExceeded() const {
  const int64_t last = FLastReceivedMs;
  if (last < 0 || int64_t(FClock.TickMs()) - last <= int64_t(FTimings.NoDataLimitMs)) return false;
  LogIt(FLogId, "### TcpReceiver: ReceiveTimeExceeded ###");
  return true;
}

// ---- Opening and closing ----

bool TQV_TcpReceiver::OpenPort(const std::string& aReportMode, bool withTimeStamp, const std::string& FormatStr) {
  if (FPortIsOpened) return true;
  FReportMode = aReportMode;
  FwithTimeStamp = withTimeStamp;
  FFormatStr = FormatStr;
  FIsArchive = false;
  return Open();
}

bool TQV_TcpReceiver::OpenArchive(TArchiveTime startTime, std::optional<TArchiveTime> endTime,
                                  TRingFreeSpace freeSpace) {
  if (FPortIsOpened) return true;
  FFreeSpace = std::move(freeSpace);
  FIsArchive = true;
  FArchiveStart = startTime;
  FArchiveEnd = endTime;
  FArchiveEndReached = false;
  FAllHoursRequested = false;
  {
    std::lock_guard lock(FLock);
    FStampString = ArchiveStampText(startTime);
  }
  FReportMode.clear();
  return Open();
}

bool TQV_TcpReceiver::Open() {
  LogIt(FLogId, "### Open TcpReceiver " + ToString() + " ###");
  FLastReceivedMs = -1;
  bool ok = StartServer();
  if (ok && !StartData()) {
    StopServer();
    ok = false;
  }
  FPortIsOpened = ok;
  if (ok) {
    QuitError();
    LogIt(FLogId, "### Opened TcpReceiver " + ToString() + " ###");
  } else {
    LogWarn(FLogId, "### Failed Open TcpReceiver " + ToString() + " ###");
  }
  return ok;
}

bool TQV_TcpReceiver::ClosePort() {
  if (!FPortIsOpened) return true;
  LogIt(FLogId, "### Close TcpReceiver " + ToString() + " ###");
  FClosePortRequested = true;
  if (StopData()) {
    for (int i = 0; i < 20 && FDataFd >= 0; ++i) {
      LogIt(FLogId, "### TcpReceiver.ClosePort: " + std::to_string(i) + ". Sleep 10 ms");
      std::this_thread::sleep_for(std::chrono::milliseconds(FTimings.CloseWaitStepMs));
    }
    if (FDataFd < 0) LogIt(FLogId, "### TcpReceiver.ClosePort: TCP-Server hat Datenverbindung geschlossen");
  }
  // A server that could not be told is not asked again while the data server stops.
  FConnected = false;
  const bool ok = StopServer();
  JoinThread(FTryThread);
  JoinThread(FGetThread);
  FTryResults.State = reqCleared;
  FGetResults.State = reqCleared;
  FGetRequestNeeded = false;
  FPortIsOpened = false;
  FClosePortRequested = false;
  return ok;
}

// ---- Management requests ----

std::string TQV_TcpReceiver::SocketText(int error) const {
  const std::string text = error == ECONNREFUSED || error == ETIMEDOUT || error == ECONNRESET
                               ? "No connection to TCP-Server"
                           : error == ENETUNREACH || error == EHOSTUNREACH
                               ? "No connection to network"
                               : "TcpReceiver.SocketError(" + std::to_string(error) + "): " + std::strerror(error);
  LogWarn(FLogId, "TcpReceiver.SocketError=" + std::to_string(error) + " -> " + text);
  return text;
}

TQV_TcpReceiver::TExchange TQV_TcpReceiver::Exchange(const std::function<std::string()>& build, std::string& request,
                                                     std::string& answer, std::string& reason) {
  answer.clear();
  int fd = TcpSocket::Connect(FServerIP, FServerPort, FTimings.RequestLimitMs);
  if (fd < 0) {
    reason = SocketText(errno);
    return TExchange::ConnectFailed;
  }
  const std::string local = TcpSocket::LocalAddress(fd);
  {
    // The server connects back to the address by which it sees this host.
    std::lock_guard lock(FLock);
    FDataServerIP = local;
  }
  request = build();
  // A request is one line whatever texts it carries: a line end inside would start another request.
  std::replace_if(request.begin(), request.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  LogIt(FLogId, request + "  -> Warte auf Antwort");
  TExchange result = TExchange::Answered;
  if (!TcpSocket::SendAll(fd, request + "\r\n")) {
    result = TExchange::Closed;
  } else {
    const TcpSocket::TLineRead read = TcpSocket::ReadLine(fd, FTimings.RequestLimitMs, MaxAnswerLength, answer);
    if (read == TcpSocket::TLineRead::Closed) result = TExchange::Closed;
    if (read == TcpSocket::TLineRead::TimedOut) answer.clear();
  }
  LogIt(FLogId, "Antwort=" + answer);
  TcpSocket::Close(fd);
  return result;
}

TQV_Result TQV_TcpReceiver::Request(const std::function<std::string()>& build, const TRequestTexts& texts,
                                    std::string& request, std::string& answer, std::string& message) {
  LogIt(FLogId, std::string(texts.Tag) + ": Peer=" + FServerIP + ":" + std::to_string(FServerPort));
  std::string reason;
  switch (Exchange(build, request, answer, reason)) {
    case TExchange::ConnectFailed:
      message = reason;
      LogWarn(FLogId, std::string(texts.Tag) + ".Connect failed: " + message);
      return QV_Err_ConnectFailed;
    case TExchange::Closed:
      message = texts.ServerClosed;
      LogWarn(FLogId, std::string(texts.Tag) + " failed: " + message);
      return QV_Err_RequestFailed;
    case TExchange::Answered: break;
  }
  if (answer == "OK") {
    LogIt(FLogId, std::string(texts.Tag) + " successful");
    return QV_No_Err;
  }
  const bool empty = answer.empty();
  message = !empty ? "Request " + request + " failed: " + answer
            : texts.TimedOut.empty() ? "Request " + request + " timed out"
                                     : texts.TimedOut;
  LogWarn(FLogId, std::string(texts.Tag) + " " + message);
  return empty ? QV_Err_RequestTimeout : QV_Err_RequestDenied;
}

std::string TQV_TcpReceiver::ConnectRequest() const {
  std::string request =
      FIsArchive ? "ARCHIVE " + DataServerIPAndPort() + " " + StampString() : "CONNECT " + DataServerIPAndPort();
  if (!FReportMode.empty()) request += " " + FReportMode;
  if (FwithTimeStamp) request += " UTC-Time=" + FFormatStr;
  return request;
}

bool TQV_TcpReceiver::StartData() {
  FAuthentificationNeeded = true;
  std::string request, answer, message;
  const TQV_Result code =
      Request([this] { return ConnectRequest(); },
              {"TcpReceiver.StartData", FIsArchive ? "ARCHIVE-Request timed out" : "CONNECT-Request timed out",
               "Start Data failed: TCP-Server closed connection"},
              request, answer, message);
  if (code != QV_No_Err) {
    SetError(code, message);
    return false;
  }
  FConnected = true;
  Touch();
  return true;
}

bool TQV_TcpReceiver::StopData() {
  if (!FConnected) return true;
  std::string request, answer, message;
  const TQV_Result code = Request([this] { return "DISCONN " + DataServerIPAndPort(); },
                                  {"TcpReceiver.StopData", "", "Stop Data failed: TCP-Server closed connection"},
                                  request, answer, message);
  if (code != QV_Err_ConnectFailed) {
    FConnected = false;
    LogIt(FLogId, "TcpReceiver.StopData connection closed");
  }
  if (code == QV_No_Err) return true;
  SetError(code, message);
  return false;
}

TQV_Result TQV_TcpReceiver::SendAppData(std::string& TcpData) {
  std::string request, answer, message;
  const TQV_Result code = Request([&] { return "APPDATA " + DataServerIPAndPort() + " " + TcpData; },
                                  {"TcpReceiver.SendAppData", "APPDATA-Request timed out",
                                   "SendAppData failed: TCP-Server closed connection"},
                                  request, answer, message);
  // Whatever the server answers is the application's answer.
  if (code == QV_No_Err || code == QV_Err_RequestDenied) {
    TcpData = answer;
    LogIt(FLogId, "TcpReceiver.SendAppData successful, TcpData=: " + answer);
    return QV_No_Err;
  }
  TcpData = message;
  return code;
}

void TQV_TcpReceiver::TestDataConnected() {
  std::string request, answer;
  FTryResults.ErrorCode = Request([this] { return "TRYBABY " + DataServerIPAndPort(); },
                                  {"TcpReceiver.TestDataConnected", "",
                                   "Test Data Connected failed: TCP-Server closed connection"},
                                  request, answer, FTryResults.ErrorMessage);
  FTryResults.Result = FTryResults.ErrorCode == QV_No_Err;
  FTryResults.State = reqFinished;
}

void TQV_TcpReceiver::GetArchiveData() {
  std::string request, answer;
  FGetResults.ErrorCode = Request(
      [this] { return "GETDATA " + DataServerIPAndPort() + " " + StampString(); },
      {"TcpReceiver.GetArchiveData", "GET-Request timed out", "GetArchiveData failed: TCP-Server closed connection"},
      request, answer, FGetResults.ErrorMessage);
  FGetResults.Result = FGetResults.ErrorCode == QV_No_Err;
  FGetResults.State = reqFinished;
}

void TQV_TcpReceiver::StartRequestThread(std::thread& thread, TRequestResults& results,
                                         void (TQV_TcpReceiver::*request)()) {
  JoinThread(thread);
  results.ErrorCode = QV_No_Err;
  results.ErrorMessage.clear();
  results.Result = false;
  results.State = reqRunning;
  thread = std::thread([this, request] { (this->*request)(); });
}

void TQV_TcpReceiver::JoinThread(std::thread& thread) {
  if (thread.joinable()) thread.join();
}

// ---- Watching the stream ----

bool TQV_TcpReceiver::CheckDataTransferInterrupted() {
  LogIt(FLogId, "TQV_TcpReceiver.CheckDataTransferInterrupted");
  if (FGetResults.State == reqFinished) {
    JoinThread(FGetThread);
    FGetResults.State = reqCleared;
    const TArchiveTime next = HourStart(FArchiveStart) + 1h;
    if (FGetResults.Result && (!FArchiveEnd || next < *FArchiveEnd)) {
      FArchiveStart = next;
      std::lock_guard lock(FLock);
      FStampString = ArchiveStampText(next);
      LogIt(FLogId, "TcpReceiver.GetArchiveData next time stamp=" + FStampString);
      FGetRequestNeeded = true;
    } else {
      // The last hour was asked for, or the server has no further hour: once its records are in,
      // the replay is over.
      FAllHoursRequested = true;
    }
  }
  if (FGetRequestNeeded.exchange(false)) {
    StartRequestThread(FGetThread, FGetResults, &TQV_TcpReceiver::GetArchiveData);
    return false;
  }
  const bool timedOut = IsReceiveTimeExceeded();
  // A replay ends with a record beyond its end, or when the stream has gone quiet after the last
  // hour instead of probing a server that has nothing more to send.
  if (FIsArchive && (FArchiveEndReached || (FAllHoursRequested && timedOut))) {
    LogIt(FLogId, "TcpReceiver all archive data received");
    SetError(QV_Err_EndOfFile, "End of archive data");
    return true;
  }
  if (!timedOut) return false;
  if (FConnected) return !RecoverFromTCPError();
  return true;
}

bool TQV_TcpReceiver::RecoverFromTCPError() {
  LogIt(FLogId, "##### RecoverFromTCPError #####");
  switch (FTryResults.State) {
    case reqCleared:
      if (FNoAnswerCounter == 0) {
        SetError(QV_Err_DataTransferInterrupted, "TcpReceiver data transfer interrupted. Please wait...");
        LogIt(FLogId, "### TCP-Server antwortet nicht -> 1. TRY-Request ausführen");
      }
      StartRequestThread(FTryThread, FTryResults, &TQV_TcpReceiver::TestDataConnected);
      Touch();
      return true;
    case reqRunning:
      Touch();
      LogIt(FLogId, "##### RecoverFromTCPError END, TryIsRunning #####");
      return true;
    default: break;
  }
  JoinThread(FTryThread);
  FTryResults.State = reqCleared;
  if (FTryResults.Result) {
    FNoAnswerCounter = 0;
    Touch();
    QuitError();
    LogIt(FLogId, "##### RecoverFromTCPError END, Verbindung besteht noch #####");
    return true;
  }
  const TQV_Result code = FTryResults.ErrorCode;
  if (code == QV_Err_ConnectFailed || code == QV_Err_RequestTimeout || code == QV_Err_RequestFailed) {
    ++FNoAnswerCounter;
    SetError(code, "TcpReceiver data transfer interrupted (" + std::to_string(FNoAnswerCounter) + "). " +
                       (FNoAnswerCounter < 4 ? "Please wait..." : "Please check device and network."));
    LogIt(FLogId, "### TCP-Server antwortet nicht (" + std::to_string(FNoAnswerCounter) + ") -> weiter warten ###");
    LogWarn(FLogId, "(" + QV_ResultName(code) + ") " + ErrorMessage());
    return false;
  }
  // The server answered but no longer knows this subscriber: subscribe again.
  FConnected = false;
  LogIt(FLogId, "### Close Device ");
  ClosePort();
  FNoAnswerCounter = 0;
  // A replay cannot be resumed where it broke off; only live data are subscribed again.
  const bool reopened = !FIsArchive && OpenPort(FReportMode, FwithTimeStamp, FFormatStr);
  if (reopened) {
    LogIt(FLogId, "##### RecoverFromTCPError: reopened  #####################");
    QuitError();
  } else {
    SetError(ErrorCode(), "TCP-Server lost, connection closed!");
  }
  LogIt(FLogId, "(" + QV_ResultName(ErrorCode()) + ") " + ErrorMessage());
  return reopened;
}

// ---- Data server ----

bool TQV_TcpReceiver::StartServer() {
  if (FServerThread.joinable()) return true;
  LogIt(FLogId, "TcpReceiver.StartServer");
  uint16_t actual = 0;
  FListenFd = TcpSocket::Listen(FDataPort, actual);
  if (FListenFd < 0 || ::pipe(FWakePipe) != 0) {
    const std::string reason = std::strerror(errno);
    TcpSocket::Close(FListenFd);
    SetError(QV_Err_StartServerFailed, reason);
    LogWarn(FLogId, "TcpReceiver.StartServer failed (ESocketError): " + reason);
    return false;
  }
  FSystemDataPort = FDataPort == 0;
  FDataPort = actual;
  LogIt(FLogId, "TcpReceiver.Server started on port: " + std::to_string(actual) + " = 0x" + IntToHex(actual, 4));
  FLineBuffer.clear();
  FRecordHead.clear();
  FRecordRemaining = 0;
  FRecordDropped = false;
  FStopServer = false;
  FServerThread = std::thread([this] { ServerLoop(); });
  return true;
}

bool TQV_TcpReceiver::StopServer() {
  if (!FServerThread.joinable()) return true;
  LogIt(FLogId, "TcpReceiver.StopServer");
  StopData();
  FStopServer = true;
  const char wake = 0;
  if (::write(FWakePipe[1], &wake, 1) < 0) LogWarn(FLogId, "TcpReceiver.StopServer: wake failed");
  FServerThread.join();
  int fd = FDataFd.exchange(-1);
  TcpSocket::Close(fd);
  TcpSocket::Close(FListenFd);
  TcpSocket::Close(FWakePipe[0]);
  TcpSocket::Close(FWakePipe[1]);
  LogIt(FLogId, "TcpReceiver.StopServer: Server stopped: " + DataServerIPAndPort());
  // A port the system chose is chosen afresh at the next start.
  if (FSystemDataPort) FDataPort = 0;
  return true;
}

void TQV_TcpReceiver::ServerLoop() {
  while (!FStopServer) {
    const int dataFd = FDataFd;
    int timeout = -1;
    bool readData = dataFd >= 0;
    if (readData && FIsArchive && !FAuthentificationNeeded && ArchiveWanted() == 0) {
      // The owner's ring is full: the server waits (TCP flow control) until the reader made room.
      LogIt(FLogId, "TQV_TcpReceiver.ServerExecuteArchive.Sleep(" + std::to_string(FTimings.RingPauseMs) +
                        "), freeSpace=" + std::to_string(FFreeSpace ? FFreeSpace() : 0));
      readData = false;
      timeout = int(FTimings.RingPauseMs);
    }
    pollfd p[3] = {{FWakePipe[0], POLLIN, 0}, {FListenFd, POLLIN, 0}, {readData ? dataFd : -1, POLLIN, 0}};
    if (::poll(p, 3, timeout) < 0 && errno != EINTR) break;
    if (FStopServer) break;
    if (p[1].revents & POLLIN) AcceptConnection();
    if (p[2].fd >= 0 && p[2].revents) ReadDataConnection();
  }
}

bool TQV_TcpReceiver::CheckPeer(int fd) const {
  const std::string peer = TcpSocket::PeerAddress(fd);
  if (peer == FServerIP || (peer == "127.0.0.1" && peer == TcpSocket::LocalAddress(fd))) return true;
  LogWarn(FLogId, "TcpReceiver.CheckPeer FALSE, socket=" + Endpoints(fd, ", IP=") + ", TCP-Server-IP=" + FServerIP);
  return false;
}

void TQV_TcpReceiver::AcceptConnection() {
  int fd = ::accept4(FListenFd, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return;
  // Only the server this receiver subscribed at may deliver data.
  if (!CheckPeer(fd)) {
    TcpSocket::Close(fd);
    return;
  }
  LogIt(FLogId, "TcpReceiver.ServerConnect: " + Endpoints(fd, ", Local="));
  int old = FDataFd.exchange(fd);
  TcpSocket::Close(old);
  FAuthentificationNeeded = true;
  FLineBuffer.clear();
  FRecordHead.clear();
  FRecordRemaining = 0;
  FRecordDropped = false;
}

void TQV_TcpReceiver::ReadDataConnection() {
  const int fd = FDataFd;
  char buffer[65536];
  const bool archive = FIsArchive && !FAuthentificationNeeded;
  const size_t wanted = archive ? std::min(ArchiveWanted(), sizeof buffer) : sizeof buffer;
  if (wanted == 0) return;  // no room in the owner's ring: the bytes wait in the socket
  // Before the authentication line only that line is taken, so that an archive stream after it
  // is read at the pace of the owner's ring.
  const int flags = FAuthentificationNeeded ? MSG_PEEK : 0;
  ssize_t n = ::recv(fd, buffer, wanted, flags);
  if (n > 0 && flags) {
    const char* end = static_cast<const char*>(std::memchr(buffer, '\n', size_t(n)));
    n = ::recv(fd, buffer, end ? size_t(end - buffer + 1) : size_t(n), 0);
  }
  if (n <= 0) {
    if (n < 0 && errno == EINTR) return;
    DataConnectionEnded(n == 0 ? "" : std::strerror(errno));
    return;
  }
  const std::string_view bytes(buffer, size_t(n));
  if (archive) {
    ServerExecuteArchive(bytes);
    return;
  }
  FLineBuffer.append(bytes);
  size_t start = 0;
  for (size_t lf; (lf = FLineBuffer.find('\n', start)) != std::string::npos; start = lf + 1) {
    std::string line = FLineBuffer.substr(start, lf - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    ServerExecuteLine(line);
  }
  FLineBuffer.erase(0, start);
  if (FLineBuffer.size() > MaxLineLength) {
    LogWarn(FLogId, "TcpReceiver.ServerExecuteLine: line too long, " + std::to_string(FLineBuffer.size()) +
                        " bytes dropped");
    FLineBuffer.clear();
  }
}

void TQV_TcpReceiver::ServerExecuteLine(const std::string& line) {
  if (line.empty()) {
    LogWarn(FLogId, "TcpReceiver.ServerExecuteLine: empty data, Timeout=False");
    return;
  }
  if (FAuthentificationNeeded) {
    if (line.rfind(AuthLine, 0) != 0) {
      LogWarn(FLogId, "TcpReceiver.ServerExecuteLine: not an AUTH-String=" + line);
      return;
    }
    LogIt(FLogId, "TcpReceiver.ServerExecuteLine: AUTH-String received");
    FAuthentificationNeeded = false;
    Touch();
    FGetRequestNeeded = FIsArchive;
    return;
  }
  if (FLowLevelLog) LogIt(FLogId, "TcpReceiver.ServerExecuteLine Received: " + line);
  Touch();
  Deliver(line);
}

size_t TQV_TcpReceiver::ArchiveWanted() const {
  if (FRecordHead.size() < StoreDataHeadSize) return StoreDataHeadSize - FRecordHead.size();
  const size_t chunk = std::min<size_t>(FRecordRemaining, ArchiveChunkSize);
  // Records beyond the end are read and dropped without waiting for the ring.
  if (FRecordDropped || !FFreeSpace) return chunk;
  return std::min<size_t>(chunk, FFreeSpace());
}

void TQV_TcpReceiver::ServerExecuteArchive(std::string_view bytes) {
  if (FRecordHead.size() < StoreDataHeadSize) {
    FRecordHead.append(bytes);
    if (FRecordHead.size() < StoreDataHeadSize) return;
    const TStoreDataHead head = ParseStoreDataHead(FRecordHead);
    LogIt(FLogId, "TQV_TcpReceiver.ServerExecuteArchive startTime=" + ArchiveStampText(DateTimeToArchive(head.StartTime)) +
                      ", endTime=" + ArchiveStampText(DateTimeToArchive(head.EndTime)) +
                      ", dataLen=" + std::to_string(head.DataLength));
    FRecordRemaining = head.DataLength;
    FRecordDropped = FArchiveEnd && DateTimeToArchive(head.StartTime) > *FArchiveEnd;
    if (FRecordDropped) {
      LogIt(FLogId, "TcpReceiver ignore received data; end time stamp reached");
      FArchiveEndReached = true;
    }
    Touch();
  } else {
    FRecordRemaining -= uint32_t(bytes.size());
    if (FLowLevelLog) LogIt(FLogId, "TcpReceiver Received(" + std::to_string(bytes.size()) + ")");
    Touch();
    if (!FRecordDropped) Deliver(std::string(bytes));
  }
  if (FRecordRemaining == 0) {
    FRecordHead.clear();
    FRecordDropped = false;
  }
}

void TQV_TcpReceiver::DataConnectionEnded(const std::string& reason) {
  int fd = FDataFd.exchange(-1);
  TcpSocket::Close(fd);
  LogIt(FLogId, "TcpReceiver.ServerDisconnect: DataConnection closed");
  FConnected = false;
  if (FClosePortRequested) return;
  if (reason.empty()) {
    SetError(QV_Err_ServerDown, "TCP-Server has closed");
    LogWarn(FLogId, "TcpReceiver.ServerDisconnect TCP-Server has closed");
  } else {
    SetError(QV_Err_ReceiveServerFailed, "TcpReceiver.ServerExecuteLine.SocketException: " + reason);
    LogWarn(FLogId, ErrorMessage());
  }
  Deliver("");
}

void TQV_TcpReceiver::Deliver(const std::string& data) {
  if (FOnReceived) FOnReceived(data);
}

#include "devices/QV_NetworkDevice.h"

#include <arpa/inet.h>
#include <cerrno>
#include <algorithm>
#include <cstring>
#include <sys/time.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "core/CircularBuffer.h"
#include "core/LogUnit.h"
#include "core/NamedEvent.h"
#include "core/QV_NumberText.h"
#include "devices/QV_CmdPacing.h"
#include "devices/QV_MissingDisconnects.h"
#include "devices/QV_ReportCodes.h"
#include "devices/QV_UsbFrames.h"

namespace {

const std::string CDCMagic("\xBF\xBF\xBF\xBF", 4);
const std::string BusyText = "Command execution denied (busy), please repeat CMD";

uint32_t Word(std::string_view s, size_t at) {
  return uint32_t(uint8_t(s[at])) << 24 | uint32_t(uint8_t(s[at + 1])) << 16 | uint32_t(uint8_t(s[at + 2])) << 8 |
         uint32_t(uint8_t(s[at + 3]));
}

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

void CloseFd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

// Waits until fd is readable; false when the time is up.
bool WaitReadable(int fd, uint32_t ms) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, int(ms)) > 0;
}

}  // namespace

TQV_NetworkDevice::TQV_NetworkDevice(int32_t aLogId, int32_t aMultiId, std::shared_ptr<TEvent> aReceiveEvent,
                                     bool aDoResetEvent, const std::string& deviceIP, const std::string& host,
                                     uint16_t managementPort, uint16_t serverPort, const TNetworkTimings& timings,
                                     const TClock& clock, TNetworkReachability reachability)
    : TQV_BaseDevice(aLogId, aMultiId, std::move(aReceiveEvent), aDoResetEvent, clock),
      FDeviceHost(host),
      FDeviceIP(deviceIP),
      FDeviceIPAndPort(deviceIP + ":" + std::to_string(managementPort)),
      FDeviceManagementPort(managementPort),
      FServerPort(serverPort),
      FTimings(timings),
      FReachability(reachability),
      FEspRouter(*this, "NetworkDevice", FDbgTag + ".ServerExecute_ESP", [this](std::string_view bytes) { WriteReceived(bytes); }) {
  FDevType = QV_Remote;
  FHasCommandList = true;
  LogIt(FLogId, FDbgTag + ".Created: " + ToString());
}

TQV_NetworkDevice::~TQV_NetworkDevice() {
  if (FPortIsOpened && !ClosePort()) LogError(FLogId, FDbgTag + ".Destroy: ClosePort failed");
  ForceClose();
  JoinTry();
}

// ---- Properties ----

void TQV_NetworkDevice::SetServerPort(uint16_t Value) {
  LogIt(FLogId, FDbgTag + ".SetServerPort: old=" + std::to_string(FServerPort) + ", new=" + std::to_string(Value));
  if (FServerPort != 0 && FServerPort != Value) {
    LogError(FLogId, FDbgTag + ".SetServerPort failed, already running");
    return;
  }
  FServerPort = Value;
}

std::string TQV_NetworkDevice::ServerIPAndPort() const {
  return (FServerIP.empty() ? std::string("0.0.0.0") : FServerIP) + ":" + std::to_string(FServerPort);
}

std::string TQV_NetworkDevice::ToString() const {
  std::string s = "QV_Network: Device=" + FDeviceIPAndPort;
  if (ServerIsRunning()) s += ", Server=" + ServerIPAndPort() + ", active=" + (DataConnected() ? "true" : "false");
  s += std::string(", PeerType=") + (FPeerType == ptColdfire ? "Coldfire" : FPeerType == ptESP ? "ESP" : "unknown");
  if (FPeerType == ptESP && !FDeviceHost.empty()) s += ", Host=" + FDeviceHost;
  return s;
}

// ---- Requests ----

std::string TQV_NetworkDevice::UserDigit(uint8_t user) const {
  return user >= 1 && user <= 4 ? std::string(1, char('0' + user - 1)) : std::string(" ");
}

std::string TQV_NetworkDevice::BuildRequest(TRequestKind kind) const {
  const uint8_t user = kind == rkLogOn ? (FOldUserId != NoUser ? FOldUserId : RegisterID()) : UserID();
  return BuildRequest(kind, user, FServerPort);
}

std::string TQV_NetworkDevice::BuildRequest(TRequestKind kind, uint8_t user, uint16_t port) const {
  static const char* const names[] = {"CONNECT", "DISCONN", "TRYBABY"};
  std::string r = names[kind] + UserDigit(user) + FServerIP_CFformat + ":";
  r += char(port >> 8);
  r += char(port & 0xFF);
  return r + "\r\n";
}

std::string TQV_NetworkDevice::BuildCommandRequest(const std::string& command) const {
  std::string r = "CMD.... " + FServerIP_CFformat + ":";
  r += char(FServerPort >> 8);
  r += char(FServerPort & 0xFF);
  r += ' ';
  r += char(command.size());
  return r + command;
}

std::string TQV_NetworkDevice::AnswerText(const std::string& answer) {
  return answer.substr(0, answer.find("\r\n"));
}

TQV_NetworkDevice::TExchange TQV_NetworkDevice::Exchange(const std::function<std::string()>& build,
                                                         std::string& request, std::string& answer,
                                                         std::string& reason) {
  answer.clear();
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(FDeviceManagementPort);
  inet_pton(AF_INET, FDeviceIP.c_str(), &addr.sin_addr);
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  // An address that swallows the connection attempt fails within the request limit.
  const timeval limit{time_t(FTimings.RequestLimitMs / 1000), suseconds_t(FTimings.RequestLimitMs % 1000 * 1000)};
  if (fd >= 0) setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    reason = errno == ECONNREFUSED || errno == ETIMEDOUT || errno == ECONNRESET
                 ? "No connection to network device"
                 : "NetworkDevice.SocketError(" + std::to_string(errno) + "): " + std::strerror(errno);
    CloseFd(fd);
    return TExchange::ConnectFailed;
  }
  sockaddr_in local{};
  socklen_t len = sizeof local;
  getsockname(fd, reinterpret_cast<sockaddr*>(&local), &len);
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &local.sin_addr, text, sizeof text);
  {
    // The liveness test asks from its own thread while the report thread may send a command.
    std::lock_guard lock(FServerIPLock);
    FServerIP = text;
    FServerIP_CFformat.assign(reinterpret_cast<const char*>(&local.sin_addr), 4);
    // The request names the host address the instrument sees, known only now.
    request = build();
  }
  send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  // A real LAN may take long for the first byte; after that a short silence ends the answer.
  uint32_t wait = FTimings.RequestLimitMs;
  TExchange result = TExchange::Answered;
  char buf[256];
  while (WaitReadable(fd, wait)) {
    const ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n <= 0) {
      if (answer.empty()) result = TExchange::Closed;
      break;
    }
    answer.append(buf, size_t(n));
    wait = FTimings.SilenceMs;
  }
  CloseFd(fd);
  return result;
}

TQV_Result TQV_NetworkDevice::StartData() {
  std::string request, answer, reason;
  const TExchange ex = Exchange([this] { return BuildRequest(rkLogOn); }, request, answer, reason);
  if (ex == TExchange::ConnectFailed) {
    SetError(QV_Err_ConnectFailed, reason);
    return QV_Err_ConnectFailed;
  }
  if (ex == TExchange::Closed) {
    SetError(QV_Err_RequestFailed, "CONNECT-Request failed: TCP-connection closed");
    return QV_Err_RequestFailed;
  }
  const std::string text = AnswerText(answer);
  LogIt(FLogId, FDbgTag + ".StartData Antwort=" + text);
  if (text == "ok") {
    LogIt(FLogId, FDbgTag + ".StartData successful");
    FLastReceivedMs = int64_t(FClock.TickMs());
    return QV_No_Err;
  }
  if (answer.empty()) {
    SetError(QV_Err_RequestTimeout, "CONNECT-Request timed out");
    return QV_Err_RequestTimeout;
  }
  if (text == "sv") {
    LogError(FLogId, FDbgTag + ".StartData failed: already connected");
    FDeviceDisconnectNeccessary = true;
    SetError(QV_Err_AlreadyConnected, "Already connected");
    return QV_Err_AlreadyConnected;
  }
  if (text == "ta" || StartsWith(text, "fe")) {
    SetError(QV_Err_RepeatRequest, "Please repeat CONNECT-Request(" + text + ")");
    return QV_Err_RepeatRequest;
  }
  const std::string prefix = "CONNECT-Request to " + FDeviceIPAndPort + " failed: ";
  if (StartsWith(text, "ab")) {
    std::string message = RegisterID() != NoUser ? "UserID " + std::to_string(RegisterID()) + " already in use"
                                                  : std::string("Too many users");
    const uint8_t user = FOldUserId != NoUser ? FOldUserId : RegisterID();
    const auto entry = TQV_MissingDisconnects::Instance().Take(user);
    if (entry) LogIt(FLogId, FDbgTag + ".StartData found misssing disconnect " + *entry);
    if (answer.size() >= 20) {
      SetUserConnected(answer.substr(4, 16));
      message += ". " + UserConnected();
      // The slot still names another address: the registration is a stale one of this host.
      if (entry && user >= 1 && user <= 4 && answer.substr(4 + 4 * (user - 1), 4) != FServerIP_CFformat) {
        FDeviceDisconnectNeccessary = true;
        FDeviceDisconnectString = *entry;
        LogIt(FLogId, FDbgTag + ".StartData Abmeldung zu missingDisconnect=" + *entry + " wiederholen");
      }
    }
    SetError(QV_TooManyUser, prefix + message);
    return QV_TooManyUser;
  }
  SetError(QV_Err_RequestDenied, prefix + text);
  return QV_Err_RequestDenied;
}

TQV_Result TQV_NetworkDevice::StopData() {
  if (!DataConnected() && !FPortIsOpened && !FDeviceDisconnectNeccessary) return QV_No_Err;
  FDeviceDisconnectRequested = true;
  // A stale registration is logged off with the server port it was made with.
  uint16_t port = FServerPort;
  uint8_t user = UserID();
  if (!FDeviceDisconnectString.empty()) {
    port = TQV_MissingDisconnects::PortOf(FDeviceDisconnectString);
    user = uint8_t(FDeviceDisconnectString[7] - '0');
    FDeviceDisconnectString.clear();
  }
  std::string request, answer, reason;
  const TExchange ex = Exchange([&] { return BuildRequest(rkLogOff, user, port); }, request, answer, reason);
  FDeviceDisconnectNeccessary = ex == TExchange::Answered && StartsWith(AnswerText(answer), "fe");
  const std::string text = AnswerText(answer);
  if (ex == TExchange::ConnectFailed) {
    SetError(QV_Err_ConnectFailed, reason);
    return QV_Err_ConnectFailed;
  }
  if (ex == TExchange::Closed) {
    SetError(QV_Err_RequestFailed, "DISCONN-Request failed: TCP connection closed");
    return QV_Err_RequestFailed;
  }
  LogIt(FLogId, FDbgTag + ".StopData Antwort=" + text);
  if (text == "ok") {
    LogIt(FLogId, FDbgTag + ".StopData successful");
    return QV_No_Err;
  }
  const std::string printable = AnswerText(request);
  if (StartsWith(text, "fe")) {
    SetError(QV_Err_RepeatRequest, "repeat DISCONN-Request(" + text + ")");
    return QV_Err_RepeatRequest;
  }
  if (answer.empty()) {
    SetError(QV_Err_RequestTimeout, "Request " + printable + " timed out");
    return QV_Err_RequestTimeout;
  }
  SetError(QV_Err_RequestDenied, "Request " + printable + " failed: " + text);
  return QV_Err_RequestDenied;
}

bool TQV_NetworkDevice::Reachable() {
  FPingError.clear();
  if (FReachability.Check(FDeviceIP, FDeviceManagementPort, FTimings.PingLimitMs, FPingError)) return true;
  LogError(FLogId, FDbgTag + ".CheckIP(" + FDeviceIP + "): Ping failed (" + FPingError + ")");
  SetError(QV_Err_ConnectFailed, "No connection to network device " + FDeviceIP + ": " + FPingError);
  return false;
}

TQV_Result TQV_NetworkDevice::SendServerCmd(const std::string& command) {
  if (command.size() > MaxCommandSize) {
    SetError(QV_Err_BadFormat, "CMD too long (" + std::to_string(command.size()) + ")");
    return QV_Err_BadFormat;
  }
  if (FPingNeeded && !Reachable()) return QV_Err_ConnectFailed;
  WaitCommandDelay();
  const TCmdResponseType previousWait = CmdResponse();
  if (IsReadNVSCmd(command)) SetCmdResponse(crt_ReadNVS);
  std::string request, answer, reason;
  const TExchange ex = Exchange([&] { return BuildCommandRequest(command); }, request, answer, reason);
  const std::string text = AnswerText(answer);
  if (ex == TExchange::Answered && text == "ok") {
    QuitError();
    StartCommandPacing(command);
    return QV_No_Err;
  }
  SetCmdResponse(previousWait);
  if (ex == TExchange::ConnectFailed) {
    FPingNeeded = true;
    SetError(QV_Err_ConnectFailed, reason);
    return QV_Err_ConnectFailed;
  }
  if (ex == TExchange::Closed) {
    SetError(QV_Err_RequestFailed, "Command (" + AnsiToHex(command) + ") failed: TCP connection closed");
    return QV_Err_RequestFailed;
  }
  LogIt(FLogId, FDbgTag + ".SendServerCmd Antwort=" + text);
  if (answer.empty()) {
    FPingNeeded = true;
    SetError(QV_Err_RequestTimeout, "Request " + AnsiToHex(request) + " timed out -> PingNeeded");
    return QV_Err_RequestTimeout;
  }
  if (text == "bu" || StartsWith(text, "fe")) {
    SetError(QV_Err_RepeatRequest, BusyText);
    return QV_Err_RepeatRequest;
  }
  SetError(QV_Err_RequestDenied, "Request " + AnsiToHex(request) + " failed: " + text);
  return QV_Err_RequestDenied;
}

void TQV_NetworkDevice::WaitCommandDelay() {
  const int32_t delay = GetDelayNextCmdMs();
  // A network-module instrument needs no confirmation report: the last millisecond is over.
  if (delay == 1 && FPeerType == ptESP) {
    SetDelayNextCmdMs(0);
    return;
  }
  if (delay <= 0) return;
  LogIt(FLogId, FDbgTag + ".SendServerCommand: delay cmd [ms] " + std::to_string(delay));
  WaitSleep(uint32_t(delay));
}

void TQV_NetworkDevice::StartCommandPacing(const std::string& command) {
  const TCmdDelay delay = CommandDelayFor(command, FPeerType, TCmdWriter::Network);
  if (delay.Ms > 0) {
    LogIt(FLogId, FDbgTag + ".SendServerCmd: " + delay.Reason + " -> delay next command");
    SetDelayNextCmdMs(delay.Ms);
  }
  if (FPeerType != ptESP) return;
  // The wait for an NVS reply began before the request: the reply may come before the "ok".
  if (IsReadNVSCmd(command))
    SetLastCommand(command);
  else
    ApplyReplyWait(*this, command, FDbgTag + ".SendServerCmd");
}

bool TQV_NetworkDevice::DeviceWrite(const std::string& Data) {
  // A network-module instrument reports its version by itself when a connection starts.
  if (FFirstCommand.exchange(false) && QV_UsbFrames::IsFirstVersionCmd(Data)) {
    LogIt(FLogId, FDbgTag + ".DeviceWrite(" + AnsiToHex(Data) + "): ignore first version command");
    return true;
  }
  if (Data == std::string("\x85\x42\x01", 3)) {
    LogIt(FLogId, FDbgTag + ".DeviceWrite -> ReadConnectedUsers");
    FEspRouter.ReadConnectedUsers = true;
  }
  const bool clearing = QV_UsbFrames::IsBufferClearCmd(Data);
  const bool previousIgnore = FEspRouter.IgnoreDataUntilStreamInterrupted;
  if (clearing) {
    FEspRouter.IgnoreDataUntilStreamInterrupted = true;
    LogIt(FLogId, FDbgTag + ".DeviceWrite(" + AnsiToHex(Data) + "): IgnoreDataUntilStreamInterrupted ###");
  }
  TQV_Result result = SendServerCmd(Data);
  for (int repeat = 0; repeat < 3 && result == QV_Err_RepeatRequest; ++repeat) {
    LogIt(FLogId, FDbgTag + ".DeviceWrite: Repeat");
    WaitSleep(FTimings.RepeatPauseMs);
    result = SendServerCmd(Data);
  }
  if (result != QV_No_Err) {
    if (clearing) {
      FEspRouter.IgnoreDataUntilStreamInterrupted = previousIgnore;
      LogIt(FLogId, FDbgTag + ".DeviceWrite(" + AnsiToHex(Data) + ") failed -> restore IgnoreDataUntilStreamInterrupted ");
    }
    if (result == QV_Err_RequestDenied && StartsWith(Data, "\x85\x12")) SetError(result, "Login failed: invalid password");
    return false;
  }
  LogIt(FLogId, FDbgTag + ".DeviceWrite {" + AnsiToHex(Data) + "}");
  if (clearing) FReceiveBuffer->Clear();
  if (Data == "\x85P" || Data == "\x85Q") {
    SetResetCmdSent(true);
    LogIt(FLogId, FDbgTag + ".DeviceWrite ResetCmdSent");
  }
  return true;
}

// ---- Open and close ----

bool TQV_NetworkDevice::OpenPort(std::string& ErrorMsg) {
  if (FPortIsOpened) return true;
  LogIt(FLogId, FDbgTag + ".OpenPort " + FDeviceIPAndPort + (FBlockingIO ? " (BlockingIO)" : ""));
  if (!Reachable()) {
    LogError(FLogId, FDbgTag + ".OpenPort failed " + FDeviceIPAndPort);
    ErrorMsg = ErrorMessage();
    return false;
  }
  SetCFUserID(NoUser);
  SetCFBufferAmount(0);
  SetZCTChannelCount(0);
  FDataConnectionLost = false;
  FDeviceDisconnectRequested = false;
  if (!StartServer()) {
    ErrorMsg = ErrorMessage();
    return false;
  }
  TQV_Result result = QV_Err_RepeatRequest;
  for (int attempt = 0; attempt < 4 && result == QV_Err_RepeatRequest; ++attempt) {
    if (attempt > 0) WaitSleep(FTimings.LogOnPauseMs);
    result = StartData();
    if (result != QV_No_Err && FDeviceDisconnectNeccessary) {
      if (result == QV_TooManyUser) LogIt(FLogId, FDbgTag + ".OpenPort fehlende Abmeldung wiederholen");
      WaitSleep(50);
      StopData();
      if (attempt < 3 && (result == QV_TooManyUser || result == QV_Err_AlreadyConnected)) {
        LogIt(FLogId, FDbgTag + ".OpenPort Too many user/ Already connected -> retry");
        result = QV_Err_RepeatRequest;
      }
    }
    if (result != QV_No_Err) continue;
    if (!WaitDataConnection()) {
      result = QV_Err_RequestFailed;
      SetError(result, "No Data connection to " + FDeviceIP + ". Please check firewall settings");
    }
  }
  if (result == QV_No_Err && FContextTool && !EnterToolsMode()) result = ErrorCode();
  if (result != QV_No_Err) {
    StopServer();
    LogError(FLogId, FDbgTag + ".OpenPort failed " + FDeviceIPAndPort);
    if (result == QV_Err_RepeatRequest)
      SetError(result, "Connect to " + FDeviceIPAndPort + " failed - command execution denied");
    ErrorMsg = ErrorMessage();
    return false;
  }
  FPortIsOpened = true;
  FOpenTicks = FClock.TickMs();
  FFirstCommand = FPeerType != ptColdfire;
  QuitError();
  LogIt(FLogId, FDbgTag + ".OpenPort ok " + FDeviceIPAndPort);
  return true;
}

bool TQV_NetworkDevice::EnterToolsMode() {
  if (FPeerType == ptColdfire) {
    LogIt(FLogId, FDbgTag + ".OpenPort ToolsMode -> send ClearBuffer cmd");
    if (!DeviceWrite("\x80")) return false;
  }
  return DeviceWrite("\x85\x10");
}

bool TQV_NetworkDevice::WaitDataConnection() {
  for (uint32_t i = 0; i < FTimings.DataWaitSteps; ++i) {
    if (DataConnected()) {
      LogIt(FLogId, FDbgTag + ".OpenPort DataConnection connected");
      return true;
    }
    WaitSleep(FTimings.DataWaitStepMs);
  }
  return DataConnected();
}

bool TQV_NetworkDevice::ClosePort() {
  if (!FPortIsOpened) return true;
  LogIt(FLogId, "### Close NetworkDevice " + FDeviceIPAndPort + " ###");
  bool ok = true;
  if (FReachability.Check(FDeviceIP, FDeviceManagementPort, FTimings.PingLimitMs, FPingError)) {
    if (CmdResponse() != crt_none) {
      LogIt(FLogId, "TQV_NetworkDevice.ClosePort: clear CmdResponse=" + std::to_string(int(CmdResponse())));
      SetCmdResponse(crt_none);
    }
    if (FContextTool) SendServerCmd("\x85\x11");
    if (ForcedClose()) {
      LogIt(FLogId, "TQV_NetworkDevice.ClosePort ForcedClose -> DeviceDisconnectNeccessary");
      FDeviceDisconnectNeccessary = true;
    }
    TQV_Result result = QV_Err_RepeatRequest;
    for (int attempt = 0; attempt < 4 && result == QV_Err_RepeatRequest; ++attempt) result = StopData();
    ok = result == QV_No_Err;
    for (int i = 0; ok && i < 20 && DataConnected(); ++i) {
      LogIt(FLogId, "### NetworkDevice.ClosePort: " + std::to_string(i) + ". Sleep 10 ms");
      WaitSleep(10);
    }
  } else {
    LogError(FLogId, "TQV_NetworkDevice.ClosePort " + FDeviceIPAndPort + ": no connection -> do not send DISCONNECT");
    if (!ResetCmdSent()) {
      const std::string entry = TQV_MissingDisconnects::Entry(UserID(), FServerPort);
      TQV_MissingDisconnects::Instance().Add(entry);
      LogIt(FLogId, "TQV_NetworkDevice.ClosePort added missing disconnect " + entry);
    }
    ok = false;
  }
  StopServer();
  FPortIsOpened = false;
  return ok;
}

void TQV_NetworkDevice::ForceClose() {
  StopServer();
  FPortIsOpened = false;
}

// ---- Data server ----

bool TQV_NetworkDevice::StartServer() {
  if (FServerThread.joinable()) return true;
  FListenFd = socket(AF_INET, SOCK_STREAM, 0);
  const int on = 1;
  setsockopt(FListenFd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(FServerPort);
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  if (FListenFd < 0 || bind(FListenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(FListenFd, 4) != 0 || pipe(FWakePipe) != 0) {
    const std::string reason = std::strerror(errno);
    LogError(FLogId, FDbgTag + ".StartServer.activate failed: " + reason);
    SetError(QV_Err_StartServerFailed, FDbgTag + ".StartServer.activate failed: " + reason);
    CloseFd(FListenFd);
    return false;
  }
  socklen_t len = sizeof addr;
  getsockname(FListenFd, reinterpret_cast<sockaddr*>(&addr), &len);
  FSystemServerPort = FServerPort == 0;
  FServerPort = ntohs(addr.sin_port);
  LogIt(FLogId, " Server started on port: " + std::to_string(FServerPort) + " = 0x" + IntToHex(FServerPort, 4));
  FStopServer = false;
  FServerThread = std::thread([this] { ServerLoop(); });
  return true;
}

void TQV_NetworkDevice::StopServer() {
  if (!FServerThread.joinable()) return;
  LogIt(FLogId, FDbgTag + ".StopServer");
  FStopServer = true;
  const char wake = 0;
  if (write(FWakePipe[1], &wake, 1) < 0) LogError(FLogId, FDbgTag + ".StopServer: wake failed");
  FServerThread.join();
  int fd = FDataFd.exchange(-1);
  CloseFd(fd);
  CloseFd(FListenFd);
  CloseFd(FWakePipe[0]);
  CloseFd(FWakePipe[1]);
  // A system-chosen port is chosen afresh at the next start.
  if (FSystemServerPort) FServerPort = 0;
  LogIt(FLogId, FDbgTag + ".StopServer: Server stopped: " + FDeviceIPAndPort);
}

void TQV_NetworkDevice::ServerLoop() {
  while (!FStopServer) {
    pollfd p[3] = {{FWakePipe[0], POLLIN, 0}, {FListenFd, POLLIN, 0}, {FDataFd.load(), POLLIN, 0}};
    if (poll(p, FDataFd.load() >= 0 ? 3 : 2, -1) < 0 && errno != EINTR) break;
    if (FStopServer) break;
    if (p[1].revents & POLLIN) AcceptConnection();
    if (p[2].fd >= 0 && p[2].revents) ReadDataConnection();
  }
}

void TQV_NetworkDevice::AcceptConnection() {
  sockaddr_in peer{};
  socklen_t len = sizeof peer;
  int fd = accept(FListenFd, reinterpret_cast<sockaddr*>(&peer), &len);
  if (fd < 0) return;
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
  // Only the instrument may deliver measurement data; any other host is turned away.
  if (FDeviceIP != text) {
    LogError(FLogId, FDbgTag + ".ServerConnect: connection from " + text + " refused");
    CloseFd(fd);
    return;
  }
  int old = FDataFd.exchange(fd);
  if (old >= 0) {
    LogError(FLogId, FDbgTag + ".ServerConnect: another DeviceDataConnection");
    CloseFd(old);
  }
  FremainingData.clear();
  FEspStream.Clear();
  LogIt(FLogId, FDbgTag + ".ServerConnect: Peer=" + text);
}

void TQV_NetworkDevice::ReadDataConnection() {
  char buf[65536];
  const ssize_t n = recv(FDataFd.load(), buf, sizeof buf, 0);
  if (n > 0) {
    ServerExecute(std::string(buf, size_t(n)));
    return;
  }
  // The connection ended; the owner stops the server, never this thread itself.
  int fd = FDataFd.exchange(-1);
  CloseFd(fd);
  LogIt(FLogId, FDbgTag + ".ServerDisconnect");
  if (FDeviceDisconnectRequested) return;
  if (ResetCmdSent()) {
    // The instrument restarts: the no-data check takes over at once and reconnects.
    LogIt(FLogId, FDbgTag + ".ServerExecute: device resetted");
    FLastReceivedMs = int64_t(FClock.TickMs()) - int64_t(FTimings.NoDataLimitMs) - 1;
    return;
  }
  FDataConnectionLost = true;
}

bool TQV_NetworkDevice::CheckDeviceClosed() {
  if (FHardFeatureReadDue.exchange(false)) ReadHardFeature();
  if (FDataConnectionLost.exchange(false)) {
    DataConnectionDropped();
    return false;
  }
  const int64_t last = FLastReceivedMs.load();
  if (FContextTool || last < 0 || int64_t(FClock.TickMs()) - last <= int64_t(FTimings.NoDataLimitMs)) return false;
  LogError(FLogId, "NetworkDevice: ReceiveTimeExceeded");
  if (ReceivedSec() == 0)
    SetError(QV_HardwareFault, "NetworkDevice does not send measurement data: Please check measurement hardware!");
  else
    RecoverFromTCPError();
  return false;
}

// ---- Received data ----

void TQV_NetworkDevice::ServerExecute(const std::string& received) {
  FLastReceivedMs = int64_t(FClock.TickMs());
  FDataDuringTry = true;
  SaveBinaryData(received.data(), received.size());
  std::string data = received;
  if (FPeerType == ptUnknown) {
    // The peer shows itself by the first block magic: CDC header or transmit block.
    data = FremainingData + received;
    FremainingData.clear();
    const size_t cdc = data.find(CDCMagic), esp = data.find("ZCT2");
    if (cdc == std::string::npos && esp == std::string::npos) {
      FremainingData = data.substr(data.size() > 3 ? data.size() - 3 : 0);
      return;
    }
    FPeerType = cdc < esp ? ptColdfire : ptESP;
    FFirstCommand = FPeerType == ptESP;
    LogIt(FLogId, FDbgTag + (FPeerType == ptColdfire ? ".CheckPeer: Coldfire" : ".CheckPeer: ESP"));
    data.erase(0, std::min(cdc, esp));
    if (FPeerType == ptESP) {
      if (FLogId >= 0) LogIt(FLogId + 1, "Magic    t  c  FPGA  Flags   Chk U S Ptr   Values");
      FReceiveBuffer->SetNoEOL();
      // The request goes out on the report thread, which owns the management requests.
      FHardFeatureReadDue = !FContextTool;
    }
  }
  if (FPeerType == ptColdfire)
    ServerExecuteCDC(data);
  else
    ServerExecute_ESP(data);
}

void TQV_NetworkDevice::ServerExecute_ESP(const std::string& data) { FEspStream.Feed(data, *this); }

void TQV_NetworkDevice::Block(std::string_view bytes) {
  TQV_TransmitBlock block;
  ParseTransmitBlock(bytes, block);
  FErrorFlags = 0;
  FEspRouter.Route(block);
}

void TQV_NetworkDevice::Skipped(std::string_view bytes, bool broken) {
  if (FLogId >= 0) LogIt(FLogId + 1, AnsiToHex(bytes));
  if (!broken) {
    LogError(FLogId, "### NetworkDevice: TransmitReport Magic missing found=" + AnsiToHex(bytes.substr(0, 4)) +
                         " expected=ZCT2, skipped " + std::to_string(bytes.size()) + " bytes");
    return;
  }
  // A value count beyond the largest block: the header is broken, not a length to wait for.
  LogError(FLogId, "### NetworkDevice: TransmitReport invalid block header " +
                       AnsiToHex(bytes.substr(0, TQV_TransmitBlock::HeaderSize)));
  SetError(QV_Err_ReceiveServerFailed, "Network device: invalid data block dropped");
}

void TQV_NetworkDevice::ReadHardFeature() {
  LogIt(FLogId, FDbgTag + ".ReadHardFeature: Peer=" + FDeviceIPAndPort);
  FEspRouter.ReadHardFeatureRequested = true;
  if (SendServerCmd(std::string("\x85" "Ei\x05", 4)) == QV_No_Err) {
    LogIt(FLogId, FDbgTag + ".ReadHardFeature successful");
    SetLastCommand(std::string("\x85" "Ei\x05", 4));
    return;
  }
  FEspRouter.ReadHardFeatureRequested = false;
  LogError(FLogId, FDbgTag + ".ReadHardFeature failed: " + ErrorMessage());
}

void TQV_NetworkDevice::ServerExecuteCDC(const std::string& data) {
  // An incomplete block, even a header split across two receptions, waits for the rest.
  FremainingData += data;
  size_t pos = 0;
  while (true) {
    const size_t magic = FremainingData.find(CDCMagic, pos);
    if (magic == std::string::npos) {
      pos = FremainingData.size() > 3 ? FremainingData.size() - 3 : 0;
      break;
    }
    pos = magic;
    if (FremainingData.size() - pos < CDCHeaderSize) break;
    const std::string_view rest(FremainingData.data() + pos, FremainingData.size() - pos);
    const uint32_t size = Word(rest, 4);
    const uint64_t byteCount = Word(rest, 8);
    const uint64_t offset = Word(rest, 12) & (size - 1);
    if (size > MaxCDCBlockSize || byteCount + offset > size) {
      LogError(FLogId, FDbgTag + ".ServerExecuteCDC: invalid block header " + AnsiToHex(rest.substr(0, CDCHeaderSize)));
      SetError(QV_Err_ReceiveServerFailed, "Network device: invalid data block dropped");
      pos += 1;
      continue;
    }
    if (rest.size() < CDCHeaderSize + size) break;
    TakeCDCBlock(std::string(rest.substr(0, CDCHeaderSize)),
                 rest.substr(CDCHeaderSize + offset, size_t(byteCount)));
    pos += CDCHeaderSize + size;
  }
  FremainingData.erase(0, pos);
}

void TQV_NetworkDevice::TakeCDCBlock(const std::string& header, std::string_view block) {
  std::string text;
  for (size_t i = 0; i < CDCHeaderSize; i += 4) text += (i ? ", " : "") + IntToHex(Word(header, i), 8);
  if (!FCDCTitleLogged) {
    LogIt(FLogId, "Magic     Size      ByteCount Offset    Flags     WritePtr  ReadPtr   Reserved");
    FCDCTitleLogged = true;
  }
  LogIt(FLogId, text);
  const uint32_t flags = Word(header, 16);
  const uint32_t writePtr = Word(header, 20), readPtr = Word(header, 24);
  const bool bigRing = writePtr > 0x6FFFFFFF;
  const uint32_t ringMask = bigRing ? 0x7FFFF : 0x1FFFF;
  SetCFUserID(uint8_t(((writePtr >> (bigRing ? 19 : 17)) & 3) + 1));
  const uint32_t w = writePtr & ringMask, r = readPtr & ringMask;
  SetCFBufferAmount(w >= r ? w - r : w + ringMask + 1 - r);
  const uint32_t repeatAddr = readPtr & 0x300FFFFF;
  const bool fits = !FisReconnected.exchange(false) ||
                    ContinuesAfterReconnect(repeatAddr, Word(header, 8), ringMask, flags);
  SetPeerRepeatAddr(repeatAddr);
  if (!fits) return;
  if (flags & 1) {
    LogIt(FLogId, "### NetworkDevice Buffer cleared ###");
    FReceiveBuffer->Clear();
    if (FEspRouter.IgnoreDataUntilStreamInterrupted.exchange(false))
      LogIt(FLogId, "### NetworkDevice Reset IgnoreDataUntilStreamInterrupted");
    FReceiveBuffer->SetReceivedDataIgnored();
  }
  if (flags & 4) InsertChannelSelection(flags);
  // The instrument repeats a block it is not sure arrived: its data are here already.
  if (text == FLastCDCBlockString) {
    LogIt(FLogId, "### NetworkDevice: received same block -> ignore it");
    FErrorFlags |= 1;
    return;
  }
  FLastCDCBlockString = text;
  if (!block.empty()) FErrorFlags = 0;
  if (flags & 2) {
    if (block.size() == 16 && FEspRouter.ReadConnectedUsers.exchange(false)) {
      LogIt(FLogId, "NetworkDevice ConnectedUsers Received 0x" + AnsiToHex(block));
      WriteReceived(QV_UsbFrames::UsbFrame(std::string("\x70\x30", 2) + std::string(block)));
      return;
    }
    FToolsBuffer->WriteAnsiString(std::string(block));
    return;
  }
  // After a buffer-clearing command the old stream is of no use until the instrument restarts it.
  if (FEspRouter.IgnoreDataUntilStreamInterrupted) {
    LogIt(FLogId, "NetworkDevice: IgnoreDataUntilStreamInterrupted (" + std::to_string(block.size()) + "): " +
                      AnsiToHex(block));
    return;
  }
  WriteReceived(block);
}

void TQV_NetworkDevice::InsertChannelSelection(uint32_t flags) {
  const uint32_t selection = flags >> 8;
  const std::string report{'\x70', '\x21', char(selection >> 16), char(selection >> 8), char(selection)};
  LogIt(FLogId, "### NetworkDevice ChannelSelectionData added: " + AnsiToHex(report.substr(2)));
  FReceiveBuffer->InsertAnsiString(QV_UsbFrames::UsbFrame(report));
}

void TQV_NetworkDevice::WriteReceived(std::string_view bytes) {
  if (bytes.empty()) return;
  const std::string s(bytes);
  if (!FReceiveBuffer->WriteAnsiString(s)) {
    FReceiveBuffer->Clear();
    FReceiveBuffer->WriteAnsiString(s);
    SetError(QV_Err_ReceiveBufferOverflow, "NetworkDevice: Receive buffer overflow, buffer cleared");
  }
  if (FReceiveEvent) FReceiveEvent->Set();
}

bool TQV_NetworkDevice::ContinuesAfterReconnect(uint32_t repeatAddr, uint32_t byteCount, uint32_t ringMask,
                                                uint32_t flags) {
  LogIt(FLogId, "### CDC-Header-Block after reconnect ");
  // Positions are ring positions: the stream may wrap between the two blocks.
  if (((PeerRepeatAddr() + byteCount - repeatAddr) & ringMask) == 0) {
    LogIt(FLogId, "### CDC-Header-Block fits");
    return true;
  }
  if (((PeerRepeatAddr() - repeatAddr) & ringMask) == 0) {
    LogIt(FLogId, "### CDC-Header-Block repeated -> ignore");
    return false;
  }
  const std::string message = "Data lost! Data transfer restarted";
  LogError(FLogId, "### NetworkDevice after reconnect: " + message);
  SetError(QV_Err_Reconnected, message);
  FReceiveBuffer->Clear();
  if ((flags & 1) == 0) LogIt(FLogId, "############################ BUFFER CLEARED ############################");
  return true;
}

// ---- Recovery ----

void TQV_NetworkDevice::JoinTry() {
  if (FTryThread.joinable()) FTryThread.join();
}

void TQV_NetworkDevice::TestDataConnected() {
  std::string request, answer, reason;
  FTryResult = false;
  if (!FReachability.Check(FDeviceIP, FDeviceManagementPort, FTimings.PingLimitMs, reason)) {
    FTryErrorCode = QV_Err_PingFailed;
    FTryErrorMessage = "No connection to " + FDeviceIPAndPort;
  } else {
    const TExchange ex = Exchange([this] { return BuildRequest(rkTry); }, request, answer, reason);
    const std::string text = AnswerText(answer);
    FTryResult = ex == TExchange::Answered && text == "ok";
    FTryErrorCode = FTryResult                       ? QV_No_Err
                    : ex == TExchange::ConnectFailed ? QV_Err_ConnectFailed
                    : ex == TExchange::Closed        ? QV_Err_RequestFailed
                    : answer.empty()                 ? QV_Err_RequestTimeout
                    : StartsWith(text, "fe")         ? QV_Err_RepeatRequest
                                                     : QV_Err_RequestDenied;
    FTryErrorMessage = ex == TExchange::ConnectFailed ? reason
                       : ex == TExchange::Closed      ? "Test Data Connected failed: TCP connection closed"
                       : StartsWith(text, "fe")       ? "repeat TRYBABY-Request(" + text + ")"
                                                      : "Request " + AnsiToHex(request) + " failed: " + text;
  }
  FTryState = tryFinished;
}

void TQV_NetworkDevice::RecoverFromTCPError() {
  if (FContextTool) return;
  if (ResetCmdSent()) {
    SetError(QV_Err_DeviceResetted, "Device Resetted");
    // The first check only reports the reset; the next one reconnects.
    if (FErrorFlags == 0) {
      FErrorFlags |= 2;
      LogIt(FLogId, FDbgTag + ".RecoverFromTCPError device resetted");
      return;
    }
    Reconnect();
    return;
  }
  FErrorFlags |= 2;
  LogError(FLogId, FDbgTag + ".RecoverFromTCPError FErrorFlags=" + IntToHex(FErrorFlags, 2) + " #####");
  if (!DataConnected()) {
    LogIt(FLogId, FDbgTag + ".RecoverFromTCPError connection for measurement data already closed");
    Reconnect();
    return;
  }
  const int64_t now = int64_t(FClock.TickMs());
  switch (FTryState.load()) {
    case tryCleared:
      if (FNoAnswerCounter == 0)
        SetError(QV_Err_DataTransferInterrupted, "Network device: Data transfer interrupted. Please wait...");
      JoinTry();
      FDataDuringTry = false;
      FTryState = tryRunning;
      FTryThread = std::thread([this] { TestDataConnected(); });
      FLastReceivedMs = now;
      return;
    case tryRunning:
      FLastReceivedMs = now;
      return;
    default:
      break;
  }
  JoinTry();
  FTryState = tryCleared;
  const TQV_Result code = FTryErrorCode;
  if (FTryResult && (FErrorFlags & 4) == 0) {
    FErrorFlags |= 4;
    FNoAnswerCounter = 0;
    QuitError();
    LogIt(FLogId, "##### RecoverFromTCPError END, Verbindung besteht noch #####");
  } else if (!FTryResult && (code == QV_Err_ConnectFailed || code == QV_Err_RequestTimeout ||
                             code == QV_Err_RequestFailed || code == QV_Err_RepeatRequest ||
                             code == QV_Err_PingFailed)) {
    FErrorFlags &= ~4;
    if (FDataDuringTry) {
      FNoAnswerCounter = 0;
      QuitError();
      LogIt(FLogId, "##### RecoverFromTCPError END, Messdaten empfangen #####");
      return;
    }
    ++FNoAnswerCounter;
    SetError(code, "Network device: Data transfer interrupted (" + std::to_string(FNoAnswerCounter) + "). " +
                       (FNoAnswerCounter <= 3 ? "Please wait..." : "Please check device and network."));
    FLastReceivedMs = now;
  } else {
    if (!FTryResult) LogError(FLogId, "##### RecoverFromTCPError TRY-Request failed -> CF lost connection");
    Reconnect();
  }
}

void TQV_NetworkDevice::Reconnect() {
  LogError(FLogId, FDbgTag + ".RecoverFromTCPError connection lost");
  ForceClose();
  if (ResetCmdSent()) {
    WaitSleep(FPeerType == ptColdfire ? FTimings.ResetWaitColdfireMs : FTimings.ResetWaitMs);
    SetResetCmdSent(false);
  }
  FOldUserId = UserID();
  std::string error;
  bool opened = false;
  for (int attempt = 0; attempt < 4 && !opened; ++attempt) {
    if (attempt > 0) {
      if (ErrorCode() != QV_Err_RepeatRequest) break;
      LogIt(FLogId, "#### RecoverFromTCPError: retry reopen");
    }
    opened = OpenPort(error);
  }
  if (!opened) {
    SetError(QV_Err_Disconnected, "Network device lost, connection closed!");
    return;
  }
  LogIt(FLogId, "##### RecoverFromTCPError: reopened  #####################");
  QuitError();
  FisReconnected = true;
}

void TQV_NetworkDevice::DataConnectionDropped() {
  LogError(FLogId, FDbgTag + ".ServerDisconnect: unexpected -> StopData");
  FDeviceDisconnectNeccessary = true;
  const bool loggedOff = StopData() == QV_No_Err;
  LogIt(FLogId, FDbgTag + ".ServerDisconnect: unexpected -> StopServer");
  const uint16_t port = FServerPort;
  StopServer();
  FPortIsOpened = false;
  if (!loggedOff) {
    const std::string entry = TQV_MissingDisconnects::Entry(UserID(), port);
    TQV_MissingDisconnects::Instance().Add(entry);
    LogIt(FLogId, "TQV_NetworkDevice.ServerDisconnect added missing disconnect " + entry);
  }
  LogError(FLogId, FDbgTag + ".ServerDisconnect -> QV_Err_Disconnected");
  SetError(QV_Err_Disconnected, "Network device: connection closed by the device");
}

std::string TQV_NetworkDevice::DeviceRead(uint8_t len) {
  CheckReconnect();
  return TQV_BaseDevice::DeviceRead(len);
}

std::string TQV_NetworkDevice::DeviceReadAvailable(uint32_t maxLen) {
  CheckReconnect();
  return TQV_BaseDevice::DeviceReadAvailable(maxLen);
}

void TQV_NetworkDevice::CheckReconnect() {
  if (!FPortIsOpened || FClock.TickMs() - FOpenTicks <= FTimings.DailyReconnectMs) return;
  LogIt(FLogId, "CheckReconnect: more than one day elapsed");
  FOldUserId = UserID();
  if (!ClosePort()) LogError(FLogId, "CheckReconnect: close failed");
  std::string error;
  if (!OpenPort(error)) {
    LogError(FLogId, "CheckReconnect: open failed " + error);
    return;
  }
  // The stream goes on where it stopped unless the instrument lost data meanwhile.
  FisReconnected = true;
}

#include "acquisition/QV_TcpServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "acquisition/QV_TcpRequest.h"
#include "core/AppPaths.h"
#include "core/LogUnit.h"
#include "core/QV_NumberText.h"
#include "core/ThreadName.h"

namespace {

constexpr size_t MaxAppDataTexts = 100;  // the list holds at most one more
constexpr uint8_t NoFamily = 0;

// Measurement family of a report line by the top hexadecimal digit of its header: 1 phase,
// 2 frequency, 4 phase difference.
uint8_t FamilyOf(char first) {
  switch (first) {
    case '0': case '1': case '8': case '9': return 1;
    case '2': case '3': case 'A': case 'B': return 2;
    case '4': case '5': case 'C': case 'D': return 4;
    default: return NoFamily;
  }
}

std::string OneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\r', ' ');
  std::replace(text.begin(), text.end(), '\n', ' ');
  return text;
}

void CloseFd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

// A refusal for a connection that is not served; the peer may be gone already, so nothing waits.
void Refuse(int fd, const std::string& answer) {
  const std::string line = answer + "\r\n";
  [[maybe_unused]] const ssize_t n = send(fd, line.data(), line.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
}

enum class TLineState { None, Line, TooLong };

// Cuts the next request line (without CR LF) off the front of `buffer`.
TLineState TakeLine(std::string& buffer, size_t limit, std::string& line) {
  const size_t end = buffer.find('\n');
  if (end == std::string::npos) return buffer.size() > limit ? TLineState::TooLong : TLineState::None;
  if (end > limit + 1) return TLineState::TooLong;
  line = buffer.substr(0, end);
  buffer.erase(0, end + 1);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line.size() > limit ? TLineState::TooLong : TLineState::Line;
}

std::string Indexed(size_t i, const std::string& text) { return std::to_string(i) + ": " + text + " "; }

}  // namespace

TQV_TcpServer::TQV_TcpServer(int32_t logId, const TClock& clock, TArchiveStoreFactory storeFactory)
    : FLogId(logId), FClock(clock), FStoreFactory(std::move(storeFactory)) {}

TQV_TcpServer::~TQV_TcpServer() { StopServer(); }

void TQV_TcpServer::SetOptions(const TTcpServerOptions& options) {
  std::lock_guard lock(FRunLock);
  FOptions = options;
}

std::string TQV_TcpServer::ListenAddress() const {
  std::lock_guard lock(FRunLock);
  return FActive.ListenAddress;
}

bool TQV_TcpServer::IsRunning() const { return FRunning.load(); }

void TQV_TcpServer::SetError(TQV_Result code, const std::string& message) {
  std::lock_guard lock(FErrorLock);
  FErrorCode = code;
  FErrorMessage = OneLine(message);
}

std::string TQV_TcpServer::ErrorMessage() const {
  std::lock_guard lock(FErrorLock);
  return FErrorMessage;
}

TQV_Result TQV_TcpServer::ErrorCode() const {
  std::lock_guard lock(FErrorLock);
  return FErrorCode;
}

// ---------------------------------------------------------------- start and stop

bool TQV_TcpServer::StartServer(uint16_t aPort) {
  std::lock_guard lock(FRunLock);
  if (FRunning) {
    if (aPort == 0 || aPort == FPort) return true;
    StopLocked();
  }
  LogIt(FLogId, "TQV_TcpServer.StartServer aPort=" + std::to_string(aPort));
  FActive = FOptions;
  std::string reason;
  if (!Listen(aPort, reason)) {
    SetError(QV_Err_StartServerFailed, reason);
    LogWarn(FLogId, "TQV_TcpServer.StartServer failed: " + reason);
    FListen.Close();
    CloseFd(FWakePipe[0]);
    CloseFd(FWakePipe[1]);
    return false;
  }
  LogIt(FLogId, "TCP-Server started on port: " + std::to_string(FPort));
  OpenStore();
  FStop = false;
  FListener = std::thread([this] { ListenLoop(); });
  FRunning = true;
  return true;
}

bool TQV_TcpServer::Listen(uint16_t aPort, std::string& reason) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(aPort);
  if (inet_pton(AF_INET, FActive.ListenAddress.c_str(), &addr.sin_addr) != 1) {
    reason = "Invalid listening address: " + FActive.ListenAddress;
    return false;
  }
  FListen = TSocketFd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  const int on = 1;
  if (FListen.Valid()) setsockopt(FListen.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (!FListen.Valid() || bind(FListen.Get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(FListen.Get(), SOMAXCONN) != 0 || pipe2(FWakePipe, O_CLOEXEC) != 0) {
    reason = FActive.ListenAddress + ":" + std::to_string(aPort) + ": " + std::strerror(errno);
    return false;
  }
  socklen_t len = sizeof addr;
  getsockname(FListen.Get(), reinterpret_cast<sockaddr*>(&addr), &len);
  FPort = ntohs(addr.sin_port);
  return true;
}

void TQV_TcpServer::OpenStore() {
  std::lock_guard lock(FStoreLock);
  if (FStorageRoot.empty()) FStorageRoot = TAppPaths::FromEnvironment().CommonDocumentsFolder() + "Q+V";
  if (!FStorageRoot.ends_with('/')) FStorageRoot += '/';
  const std::string path = FStorageRoot + std::to_string(FPort) + "/";
  try {
    if (FStoreFactory) FStore = FStoreFactory(FLogId, path);
    if (FStore) FStore->SetStorageEnabled(FStorageEnabled);
  } catch (const std::exception& e) {
    // The server runs on without archive; ARCHIVE and GETDATA then answer "ERR no archive".
    LogException(FLogId, "TCP-Server-Archiv failed on path " + path, e);
    FStore.reset();
  }
}

bool TQV_TcpServer::StopServer() {
  std::lock_guard lock(FRunLock);
  return StopLocked();
}

bool TQV_TcpServer::StopLocked() {
  if (!FRunning) return true;
  LogIt(FLogId, "TQV_TcpServer.StopServer");
  FRunning = false;
  FStop = true;
  const char wake = 0;
  if (write(FWakePipe[1], &wake, 1) < 0) LogWarn(FLogId, "TQV_TcpServer.StopServer: wake failed");
  FListener.join();
  // Subscribers first: that also ends a replay that waits for room in a subscriber's queue. A
  // subscriber that a request was adding meanwhile is stopped after the requests ended.
  bool ok = StopClients();
  ReapConnections(true);
  ok = StopClients() && ok;
  FListen.Close();
  CloseFd(FWakePipe[0]);
  CloseFd(FWakePipe[1]);
  LogIt(FLogId, "TQV_TcpServer.StopServer: Server stopped on port: " + std::to_string(FPort));
  std::lock_guard storeLock(FStoreLock);
  FStore.reset();
  return ok;
}

bool TQV_TcpServer::StopClients() {
  std::vector<TClientPtr> clients;
  {
    std::lock_guard clientLock(FLock);
    clients.swap(FClientList);
  }
  bool ok = true;
  for (auto it = clients.rbegin(); it != clients.rend(); ++it) {
    std::string response;
    LogIt(FLogId, "TCP-Server.StopData: " + (*it)->ToString());
    ok = (*it)->StopData(response) == QV_No_Err && ok;
  }
  return ok;
}

// ---------------------------------------------------------------- management connections

void TQV_TcpServer::ListenLoop() {
  NameThisThread("vta-tcp-listen");
  while (!FStop) {
    pollfd p[2] = {{FWakePipe[0], POLLIN, 0}, {FListen.Get(), POLLIN, 0}};
    if (poll(p, 2, -1) < 0 && errno != EINTR) break;
    if (p[0].revents & POLLIN) {
      char drain[64];
      [[maybe_unused]] const ssize_t n = read(FWakePipe[0], drain, sizeof drain);
      ReapConnections(false);
    }
    if (FStop) break;
    if (p[1].revents & POLLIN) Accept();
  }
}

void TQV_TcpServer::Accept() {
  TSocketFd fd(accept4(FListen.Get(), nullptr, nullptr, SOCK_CLOEXEC));
  if (!fd.Valid()) {
    // Out of descriptors the pending connection stays ready: pause instead of spinning on it.
    if (errno == EMFILE || errno == ENFILE) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return;
  }
  const std::string peer = PeerAddress(fd.Get());
  const std::string socketText = "Peer=" + SocketAddressText(fd.Get(), true) + ", Local=" + SocketAddressText(fd.Get(), false);
  if (!ClientAllowed(peer)) {
    LogWarn(FLogId, "TCP-Server.ServerConnect: client not allowed, " + socketText);
    Refuse(fd.Get(), "ERR client not allowed: " + peer);
    return;
  }
  const auto active = std::count_if(FConnections.begin(), FConnections.end(), [](const TConnection& c) { return !c.Done; });
  if (active >= FActive.MaxConnections) {
    LogWarn(FLogId, "TCP-Server.ServerConnect: too many connections, " + socketText);
    Refuse(fd.Get(), "ERR too many connections");
    return;
  }
  LogIt(FLogId, "TCP-Server.ServerConnect: " + socketText);
  TConnection& connection = FConnections.emplace_back();
  connection.Socket = std::move(fd);
  SetSendLimit(connection.Socket.Get(), FActive.SendLimitMs);
  connection.Thread = std::thread([this, &connection, peer] { ServeConnection(connection, peer); });
}

bool TQV_TcpServer::ClientAllowed(const std::string& address) const {
  const auto& allowed = FActive.AllowedClients;
  return allowed.empty() || std::find(allowed.begin(), allowed.end(), address) != allowed.end();
}

void TQV_TcpServer::ReapConnections(bool all) {
  for (auto it = FConnections.begin(); it != FConnections.end();) {
    if (!all && !it->Done) {
      ++it;
      continue;
    }
    it->Socket.Shutdown();
    if (it->Thread.joinable()) it->Thread.join();
    it = FConnections.erase(it);
  }
}

void TQV_TcpServer::ServeConnection(TConnection& connection, const std::string& peer) {
  NameThisThread("vta-tcp-request");
  const int fd = connection.Socket.Get();
  std::string buffer;
  char chunk[4096];
  while (!FStop) {
    pollfd p{fd, POLLIN, 0};
    const int ready = poll(&p, 1, int(FActive.IdleLimitMs));
    if (ready < 0 && errno == EINTR) continue;
    if (ready == 0) {
      LogWarn(FLogId, "TCP-Server.ServerExecute: empty request, Timeout=True");
      LogWarn(FLogId, "TCP-Server.ServerExecute: close connection");
      break;
    }
    const ssize_t n = ready < 0 ? -1 : recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) break;
    buffer.append(chunk, size_t(n));
    if (!ServeLines(fd, buffer, peer)) break;
  }
  LogIt(FLogId, "TCP-Server.ServerDisconnect: Peer=" + peer);
  connection.Done = true;
  const char wake = 0;
  [[maybe_unused]] const ssize_t n = write(FWakePipe[1], &wake, 1);
}

bool TQV_TcpServer::ServeLines(int fd, std::string& buffer, const std::string& peer) {
  std::string line;
  while (true) {
    switch (TakeLine(buffer, FActive.MaxRequestBytes, line)) {
      case TLineState::None: return true;
      case TLineState::TooLong:
        LogWarn(FLogId, "TCP-Server.ServerExecute: request longer than " + std::to_string(FActive.MaxRequestBytes) +
                            " bytes from " + peer + ", close connection");
        Refuse(fd, "ERR request too long");
        return false;
      case TLineState::Line: break;
    }
    if (line.empty()) {
      LogWarn(FLogId, "TCP-Server.ServerExecute: empty request, Timeout=False");
      continue;
    }
    std::string reason;
    if (!SendAll(fd, DoRequest(line, peer) + "\r\n", reason)) return false;
  }
}

// ---------------------------------------------------------------- requests

std::string TQV_TcpServer::DoRequest(const std::string& line, const std::string& peer) {
  LogIt(FLogId, "TCP-Server.ServerExecute: request=" + line);
  std::string response;
  const std::optional<TTcpRequest> request = ParseTcpRequest(line, response);
  if (request) {
    const std::string& command = request->Command;
    if (command != "CONNECT" && command != "DISCONN" && command != "TRYBABY" && command != "ARCHIVE" &&
        command != "GETDATA" && command != "APPDATA")
      response = "ERR request not supported: " + command;
    // Data goes only back to the host that asks, and a host manages only its own subscriptions.
    else if (request->Address != peer)
      response = "ERR address is not the requesting host: " + request->Address;
    else if (command == "CONNECT") response = DoConnect(*request);
    else if (command == "DISCONN") response = DoDisconnect(*request);
    else if (command == "TRYBABY") response = DoTry(*request);
    else if (command == "ARCHIVE") response = DoArchive(*request);
    else if (command == "GETDATA") response = DoGet(*request);
    else response = DoAppData(*request);
  }
  LogIt(FLogId, "TCP-Server.ServerExecute: response=" + response);
  return response;
}

std::string TQV_TcpServer::DoConnect(const TTcpRequest& request) {
  static constexpr std::string_view StampTag = " UTC-Time=";
  TTcpSubscription subscription;
  subscription.Address = request.Address;
  subscription.Port = request.Port;
  std::string modeText = request.Data;
  if (const size_t tag = request.Data.find(StampTag); tag != std::string::npos) {
    modeText = request.Data.substr(0, tag);
    subscription.FormatStr = request.Data.substr(tag + StampTag.size());
    subscription.WithTimeStamp = true;
  }
  const std::optional<uint8_t> mode = TcpModeFromName(modeText);
  if (!mode) return "ERR bad format (MODE=): " + modeText;
  subscription.Mode = *mode;
  if (*mode >= tcmFirstLog) {
    std::lock_guard lock(FLock);
    if (!(FReceivedLogs & (1u << (*mode - tcmFirstLog)))) return "ERR mode not available: " + modeText;
  }
  return StartData(subscription);
}

std::string TQV_TcpServer::StartData(const TTcpSubscription& subscription) {
  {
    std::lock_guard lock(FLock);
    if (FClientList.size() >= FActive.MaxClients) return "ERR Connect to data server failed: Too many subscribers";
  }
  auto client = std::make_shared<TTcpDataClient>(FLogId, subscription, FActive.QueueLimitBytes,
                                                 std::chrono::milliseconds(FActive.GatherMs), FClock);
  LogIt(FLogId, "TCP-Server.StartData: Client created" + client->ToString());
  std::string response;
  const TQV_Result result = client->StartData(FActive.ConnectLimitMs, FActive.SendLimitMs, response);
  if (result != QV_No_Err) {
    SetError(result, client->ErrorMessage());
    return response;
  }
  std::lock_guard lock(FLock);
  FClientList.push_back(std::move(client));
  return response;
}

std::string TQV_TcpServer::DoDisconnect(const TTcpRequest& request) {
  TClientPtr client;
  {
    std::lock_guard lock(FLock);
    const auto it = std::find_if(FClientList.begin(), FClientList.end(),
                                 [&](const TClientPtr& c) { return c->Is(request.Address, request.Port); });
    if (it == FClientList.end()) return {};
    client = *it;
    FClientList.erase(it);
  }
  LogIt(FLogId, "TCP-Server.StopData: " + client->ToString());
  std::string response;
  const TQV_Result result = client->StopData(response);
  if (result != QV_No_Err) SetError(result, client->ErrorMessage());
  return response;
}

std::string TQV_TcpServer::DoTry(const TTcpRequest& request) {
  std::lock_guard lock(FLock);
  const bool known = std::any_of(FClientList.begin(), FClientList.end(),
                                 [&](const TClientPtr& c) { return c->Is(request.Address, request.Port); });
  return known ? "OK" : "Unknown client: " + request.Address + ":" + std::to_string(request.Port);
}

std::string TQV_TcpServer::DoAppData(const TTcpRequest& request) {
  std::string response;
  bool known;
  {
    std::lock_guard lock(FLock);
    known = std::any_of(FClientList.begin(), FClientList.end(),
                        [&](const TClientPtr& c) { return c->Is(request.Address, request.Port); });
  }
  if (known) {
    TQV_OnAppData handler;
    {
      std::lock_guard lock(FAppLock);
      handler = FOnAppData;
    }
    if (!handler || !handler(request.Data, response)) DefaultAppData(request.Data, response);
  }
  if (response.empty()) {
    response = "ERR: Unknown client: " + request.Address + ":" + std::to_string(request.Port);
    LogWarn(FLogId, "TQV_TcpServer.DoAppData: " + response);
  }
  return response;
}

bool TQV_TcpServer::DefaultAppData(const std::string& text, std::string& response) {
  LogIt(FLogId, "TQV_TcpServer.DefaultAppData " + text);
  {
    std::lock_guard lock(FAppLock);
    if (FAppDataList.size() <= MaxAppDataTexts) {
      FAppDataList.push_back(text);
      LogIt(FLogId, "TQV_TcpServer.AddAppData " + text);
      response = "OK";
    } else {
      response = "ERR: Too many strings";
    }
  }
  LogWarn(FLogId, "TQV_TcpServer.DefaultAppData: " + response);
  return true;
}

void TQV_TcpServer::SetOnAppData(TQV_OnAppData handler) {
  LogIt(FLogId, handler ? "TQV_TcpServer.SetOnAppData user defined handling" : "TQV_TcpServer.SetOnAppData default handling");
  std::lock_guard lock(FAppLock);
  FOnAppData = std::move(handler);
}

std::string TQV_TcpServer::GetAppData() {
  std::lock_guard lock(FAppLock);
  if (FAppDataList.empty()) return {};
  std::string text = std::move(FAppDataList.front());
  FAppDataList.pop_front();
  LogIt(FLogId, "TQV_TcpServer.GetAppData " + text);
  return text;
}

// ---------------------------------------------------------------- archive

std::shared_ptr<IQV_ArchiveStore> TQV_TcpServer::Store() const {
  std::lock_guard lock(FStoreLock);
  return FStore;
}

void TQV_TcpServer::SetStorageEnabled(bool value) {
  std::lock_guard lock(FStoreLock);
  if (value == FStorageEnabled) return;
  LogIt(FLogId, std::string("TQV_TcpServer.SetStorageEnabled ") + (value ? "True" : "False"));
  FStorageEnabled = value;
  if (FStore) FStore->SetStorageEnabled(value);
}

std::string TQV_TcpServer::SetStorageRoot(const std::string& value) {
  std::lock_guard lock(FStoreLock);
  if (value == FStorageRoot) return {};
  if (FStore) {
    const std::string refusal = "Can't change archiv path. Archiv path in use: " + FStorageRoot;
    LogWarn(FLogId, refusal);
    return refusal;
  }
  FStorageRoot = value;
  return {};
}

std::string TQV_TcpServer::StorageRootPath() const {
  std::lock_guard lock(FStoreLock);
  return FStorageRoot;
}

void TQV_TcpServer::ArchiveData(const std::string& data) {
  std::lock_guard lock(FStoreLock);
  if (FStore) FStore->TakeData(data);
}

std::optional<TDateTime> TQV_TcpServer::ArchiveStamp(const TTcpRequest& request, const char* who, std::string& response) {
  const std::optional<TDateTime> stamp = ParseArchiveStampDays(request.Data);
  if (!stamp) {
    response = "ERR bad format (StartTime): " + request.Data;
    LogWarn(FLogId, std::string(who) + "Invalid archiv data time string: " + request.Data);
  }
  return stamp;
}

std::string TQV_TcpServer::DoArchive(const TTcpRequest& request) {
  const std::shared_ptr<IQV_ArchiveStore> store = Store();
  std::string response = "ERR no archive";
  if (!store) {
    LogWarn(FLogId, "TQV_TcpServer.DoArchive: " + response);
    return response;
  }
  const std::optional<TDateTime> stamp = ArchiveStamp(request, "TQV_TcpServer.DoArchive: ", response);
  if (!stamp) return response;
  if (!store->IsArchiveData(*stamp)) {
    response = "ERR no archive data";
    LogWarn(FLogId, "TQV_TcpServer.DoArchive: " + response);
    return response;
  }
  LogIt(FLogId, "TQV_TcpServer.DoArchive: start=" + request.Data);
  return StartData({request.Address, request.Port, tcmArchive, false, std::string()});
}

std::string TQV_TcpServer::DoGet(const TTcpRequest& request) {
  const std::shared_ptr<IQV_ArchiveStore> store = Store();
  std::string response = "ERR no archive";
  if (!store) return response;
  const std::optional<TDateTime> stamp = ArchiveStamp(request, "TQV_TcpServer.DoGet: ", response);
  if (!stamp) return response;
  if (!store->IsArchiveData(*stamp)) {
    response = "ERR no archive data";
    LogWarn(FLogId, "TQV_TcpServer.DoGet: " + response + ", UTC=" + request.Data);
    return response;
  }
  TClientPtr client;
  {
    // Only archive subscribers replay: a live subscriber's stream must not get records mixed in.
    std::lock_guard lock(FLock);
    const auto it = std::find_if(FClientList.begin(), FClientList.end(), [&](const TClientPtr& c) {
      return c->Is(request.Address, request.Port) && c->Mode() == tcmArchive;
    });
    if (it != FClientList.end()) client = *it;
  }
  if (!client) {
    response = "ERR unknown client: " + request.Address + ":" + std::to_string(request.Port);
    LogWarn(FLogId, "TQV_TcpServer.DoGet: " + response);
    return response;
  }
  std::string failure;
  if (SendArchive(*client, *store, *stamp, failure)) return "OK";
  response = "ERR sending archive data failed: " + failure;
  LogWarn(FLogId, "TQV_TcpServer.DoGet: " + response);
  // An archive subscriber gets no live lines, so no delivery would ever drop it.
  std::vector<TClientPtr> failed;
  {
    std::lock_guard lock(FLock);
    const auto it = std::find(FClientList.begin(), FClientList.end(), client);
    if (it != FClientList.end()) {
      failed.push_back(*it);
      FClientList.erase(it);
    }
  }
  DropClients(std::move(failed), "TQV_TcpServer.DoGet: lösche Client ");
  return response;
}

bool TQV_TcpServer::SendArchive(TTcpDataClient& client, const IQV_ArchiveStore& store, TDateTime stamp,
                                std::string& failure) {
  const std::unique_ptr<IQV_ArchiveReader> reader = store.OpenHour(stamp);
  if (!reader) {
    failure = "Archive hour " + ArchiveStampText(stamp) + " cannot be read";
    return false;
  }
  TStoreDataRecord record;
  while (reader->Next(record)) {
    if (record.EndTime < stamp) continue;
    if (!client.SendArchiv(record, std::chrono::milliseconds(FActive.ArchiveWaitMs))) {
      LogWarn(FLogId, "TQV_TcpServer.SendArchive break after error");
      failure = client.ErrorMessage();
      return false;
    }
  }
  if (reader->Failed()) failure = "Archive hour " + ArchiveStampText(stamp) + " is damaged";
  return !reader->Failed();
}

// ---------------------------------------------------------------- feeding

void TQV_TcpServer::TakeDllData(const std::string& data) {
  std::vector<TClientPtr> failed;
  {
    std::lock_guard lock(FLock);
    CheckSavedDataLocked();
    if (data.empty()) return;
    if (data.starts_with("7901")) F7901 = data;
    if (data.starts_with("7902")) F7902 = data;
    const uint8_t family = FamilyOf(data.front());
    if (family != NoFamily && family != FReceivedModeZCT) {
      // Log lines of the old family no longer flow: log modes wait for their next line.
      FReceivedLogs &= ~uint8_t{7};
      FReceivedModeZCT = family;
    }
    for (const TClientPtr& client : FClientList) {
      if (client->Mode() != tcmAllReports) continue;
      if (!F7901.empty() && data != F7901 && !client->Is7901Send && SendLocked(*client, F7901)) client->Is7901Send = true;
      if (!F7902.empty() && data != F7902 && !client->Is7902Send && SendLocked(*client, F7902)) client->Is7902Send = true;
      if (!SendLocked(*client, data)) continue;
      if (data == F7901) client->Is7901Send = true;
      if (data == F7902) client->Is7902Send = true;
    }
    failed = TakeFailedLocked();
  }
  DropClients(std::move(failed), "TcpServer.TakeDllData: lösche Client ");
}

void TQV_TcpServer::TakeLogData(const std::string& data, int32_t logType) {
  if (logType < 0 || logType > 7) {
    LogWarn(FLogId, "TQV_TcpServer.TakeLogData logType(" + std::to_string(logType) + ") abgewiesen");
    return;
  }
  std::vector<TClientPtr> failed;
  {
    std::lock_guard lock(FLock);
    CheckSavedDataLocked();
    if (data.empty()) return;
    if (FLowLevelLog) LogIt(FLogId, "TQV_TcpServer.TakeLogData(" + std::to_string(logType) + "): " + data);
    FReceivedLogs |= uint8_t(1u << logType);
    for (const TClientPtr& client : FClientList)
      if (client->Mode() == tcmFirstLog + logType) SendLocked(*client, data);
    failed = TakeFailedLocked();
  }
  DropClients(std::move(failed), "TQV_TcpServer.TakeLogData: lösche Client ");
}

void TQV_TcpServer::SaveLogData(const std::string& data, int32_t logType, int32_t code, int32_t subCode) {
  if (logType < 0 || logType > 7) {
    LogWarn(FLogId, "TQV_TcpServer.SaveLogData logType(" + std::to_string(logType) + ") abgewiesen");
    return;
  }
  if (FLowLevelLog)
    LogIt(FLogId, "TQV_TcpServer.SaveLogData(" + std::to_string(logType) + "): " + data + ", code=" + std::to_string(code) +
                      "=$" + IntToHex(uint32_t(code), 4) + ", subCode=" + std::to_string(subCode));
  const TSaveLogKey key{tcmFirstLog + logType, code, subCode};
  std::lock_guard lock(FLock);
  const auto it = std::find_if(FSavedLogs.begin(), FSavedLogs.end(), [&](const TSaveLogItem& i) { return i.Key == key; });
  if (it != FSavedLogs.end()) it->Data = data;
  else FSavedLogs.push_back({key, data});
  // Subscribers already connected get the line itself; only later ones need the kept copy.
  for (const TClientPtr& client : FClientList)
    if (client->Mode() == std::get<0>(key)) client->AddSavedLog(key);
}

void TQV_TcpServer::ClearLogData(int32_t logType, int32_t code, int32_t subCode) {
  const TSaveLogKey key{tcmFirstLog + logType, code, subCode};
  std::lock_guard lock(FLock);
  const auto it = std::find_if(FSavedLogs.begin(), FSavedLogs.end(), [&](const TSaveLogItem& i) { return i.Key == key; });
  if (it == FSavedLogs.end()) return;
  for (const TClientPtr& client : FClientList) client->ClearSavedLog(key);
  FSavedLogs.erase(it);
}

void TQV_TcpServer::CheckSavedDataLocked() {
  for (const TSaveLogItem& item : FSavedLogs)
    for (const TClientPtr& client : FClientList) {
      if (client->Mode() != std::get<0>(item.Key) || client->HasSavedLog(item.Key)) continue;
      LogIt(FLogId, "TcpServer.CheckSavedData: send to client " + client->ToString() + ", data=" + item.Data);
      if (SendLocked(*client, item.Data)) client->AddSavedLog(item.Key);
    }
}

bool TQV_TcpServer::SendLocked(TTcpDataClient& client, const std::string& content) {
  if (client.NotConnected()) return false;
  if (FLowLevelLog) LogIt(FLogId, "TcpServer.SendData=" + content + " to client=" + client.ToString());
  if (client.SendData(content)) return true;
  SetError(QV_WriteError, client.ErrorMessage());
  LogWarn(FLogId, "TcpServer.SendData meldet " + client.ErrorMessage());
  return false;
}

std::vector<TQV_TcpServer::TClientPtr> TQV_TcpServer::TakeFailedLocked() {
  std::vector<TClientPtr> failed;
  for (auto it = FClientList.begin(); it != FClientList.end();) {
    if (!(*it)->NotConnected()) {
      ++it;
      continue;
    }
    failed.push_back(std::move(*it));
    it = FClientList.erase(it);
  }
  return failed;
}

void TQV_TcpServer::DropClients(std::vector<TClientPtr> failed, const char* who) {
  // From the last to the first, outside the lock: ending a writer must not hold up the others.
  for (auto it = failed.rbegin(); it != failed.rend(); ++it) {
    LogWarn(FLogId, who + (*it)->ToString() + " (" + (*it)->ErrorMessage() + ")");
    (*it)->Abort();
  }
}

// ---------------------------------------------------------------- diagnostics

int32_t TQV_TcpServer::GetClientCount() const {
  std::lock_guard lock(FLock);
  return int32_t(FClientList.size());
}

std::string TQV_TcpServer::GetClientsRemainingDataCount() const {
  std::lock_guard lock(FLock);
  std::string text;
  for (size_t i = 0; i < FClientList.size(); ++i) text += Indexed(i, std::to_string(FClientList[i]->GetRemainingDataCount()));
  return text;
}

std::string TQV_TcpServer::GetClientsSendCount() const {
  std::lock_guard lock(FLock);
  std::string text;
  for (size_t i = 0; i < FClientList.size(); ++i) text += Indexed(i, std::to_string(FClientList[i]->SendCount()));
  return text;
}

std::string TQV_TcpServer::GetClientString() const {
  std::lock_guard lock(FLock);
  std::string text;
  for (size_t i = 0; i < FClientList.size(); ++i) text += Indexed(i, FClientList[i]->ToString());
  return text;
}

std::string TQV_TcpServer::GetClientsTimeString() const {
  std::lock_guard lock(FLock);
  std::string text;
  for (size_t i = 0; i < FClientList.size(); ++i)
    text += std::to_string(i) + ": per string=" + std::to_string(FClientList[i]->TimeMikro()) + " ";
  return text;
}

size_t TQV_TcpServer::QueuedBytes() const {
  std::lock_guard lock(FLock);
  size_t bytes = 0;
  for (const TClientPtr& client : FClientList) bytes += client->QueuedBytes();
  return bytes;
}

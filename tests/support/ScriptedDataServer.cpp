#include "support/ScriptedDataServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "devices/TcpSocket.h"

namespace {

template <typename Condition>
bool WaitFor(int ms, Condition done) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

}  // namespace

TScriptedDataServer::TScriptedDataServer(std::string connectFrom) : FConnectFrom(std::move(connectFrom)) {
  FListenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  inet_pton(AF_INET, "127.0.0.1", &addr.sin_addr);
  socklen_t len = sizeof addr;
  ::bind(FListenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  ::listen(FListenFd, 8);
  ::getsockname(FListenFd, reinterpret_cast<sockaddr*>(&addr), &len);
  FPort = ntohs(addr.sin_port);
  FThread = std::thread([this] { Serve(); });
}

TScriptedDataServer::~TScriptedDataServer() {
  FStop = true;
  FThread.join();
  int fd = FDataFd.exchange(-1);
  TcpSocket::Close(fd);
  TcpSocket::Close(FListenFd);
}

void TScriptedDataServer::Script(std::vector<std::optional<std::string>> answers) {
  std::lock_guard lock(FLock);
  FAnswers.assign(answers.begin(), answers.end());
}

void TScriptedDataServer::Archive(const std::string& stamp, const std::string& bytes) {
  std::lock_guard lock(FLock);
  FArchive[stamp] = bytes;
}

std::vector<std::string> TScriptedDataServer::Requests() const {
  std::lock_guard lock(FLock);
  return FRequests;
}

bool TScriptedDataServer::WaitRequests(size_t count, int ms) const {
  return WaitFor(ms, [&] { return Requests().size() >= count; });
}

bool TScriptedDataServer::WaitDataConnected(int ms) const {
  return WaitFor(ms, [&] { return FDataFd.load() >= 0; });
}

bool TScriptedDataServer::SendData(const std::string& bytes) { return TcpSocket::SendAll(FDataFd, bytes); }

void TScriptedDataServer::DropData() {
  int fd = FDataFd.exchange(-1);
  TcpSocket::Close(fd);
}

void TScriptedDataServer::Serve() {
  while (!FStop) {
    if (!TcpSocket::WaitReadable(FListenFd, 20)) continue;
    int fd = ::accept4(FListenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    ++FConnections;
    Answer(fd);
    TcpSocket::Close(fd);
  }
}

// The requests of one management connection, until the subscriber closes it.
void TScriptedDataServer::Answer(int fd) {
  std::string line;
  while (!FStop) {
    const TcpSocket::TLineRead read = TcpSocket::ReadLine(fd, 20, 4096, line);
    if (read == TcpSocket::TLineRead::TimedOut) continue;
    if (read != TcpSocket::TLineRead::Line) return;
    {
      std::lock_guard lock(FLock);
      FRequests.push_back(line);
    }
    if (const std::optional<std::string> answer = Respond(line)) TcpSocket::SendAll(fd, *answer + "\r\n");
  }
}

std::optional<std::string> TScriptedDataServer::Respond(const std::string& request) {
  std::optional<std::string> answer = "OK";
  std::optional<std::string> archive;
  {
    std::lock_guard lock(FLock);
    if (!FAnswers.empty()) {
      answer = FAnswers.front();
      FAnswers.pop_front();
    } else if (request.starts_with("GETDATA")) {
      const auto found = FArchive.find(request.substr(request.rfind(' ') + 1));
      if (found == FArchive.end()) answer = "ERR no archive data";
      else archive = found->second;
    }
  }
  if (answer == "OK" && (request.starts_with("CONNECT") || request.starts_with("ARCHIVE"))) ConnectBack(request);
  if (answer == "OK" && request.starts_with("DISCONN")) DropData();
  if (archive) SendData(*archive);
  return answer;
}

void TScriptedDataServer::ConnectBack(const std::string& request) {
  const std::string target = request.substr(8, request.find(' ', 8) - 8);
  const size_t colon = target.find(':');
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in from{};
  from.sin_family = AF_INET;
  inet_pton(AF_INET, FConnectFrom.c_str(), &from.sin_addr);
  ::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(uint16_t(std::stoi(target.substr(colon + 1))));
  inet_pton(AF_INET, target.substr(0, colon).c_str(), &to.sin_addr);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
    TcpSocket::Close(fd);
    return;
  }
  int old = FDataFd.exchange(fd);
  TcpSocket::Close(old);
  TcpSocket::SendAll(fd, "AUTH=QV-TCP-Server\r\n");
}

#include "support/ScriptedInstrument.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

sockaddr_in Address(const std::string& ip, uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  inet_pton(AF_INET, ip.c_str(), &a.sin_addr);
  return a;
}

int ConnectFrom(const std::string& fromIp, const sockaddr_in& to) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in from = Address(fromIp, 0);
  if (bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0 ||
      connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

bool Readable(int fd, int ms) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, ms) > 0;
}

}  // namespace

TScriptedInstrument::TScriptedInstrument(const std::string& ip, uint16_t port) : FIp(ip) {
  FListenFd = socket(AF_INET, SOCK_STREAM, 0);
  const int on = 1;
  setsockopt(FListenFd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in a = Address(ip, port);
  if (bind(FListenFd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(FListenFd, 8) != 0)
    throw std::runtime_error("TScriptedInstrument: cannot listen on " + ip);
  FThread = std::thread([this] { Serve(); });
}

TScriptedInstrument::~TScriptedInstrument() {
  FStop = true;
  FThread.join();
  DropData();
  close(FListenFd);
}

void TScriptedInstrument::Script(std::vector<std::optional<std::string>> answers) {
  std::lock_guard lock(FLock);
  FAnswers.assign(answers.begin(), answers.end());
}

std::vector<std::string> TScriptedInstrument::Requests() const {
  std::lock_guard lock(FLock);
  return FRequests;
}

std::vector<std::string> TScriptedInstrument::Requests(const std::string& prefix) const {
  std::vector<std::string> result;
  for (const auto& r : Requests())
    if (r.rfind(prefix, 0) == 0) result.push_back(r);
  return result;
}

bool TScriptedInstrument::WaitDataConnected(int ms) const {
  for (int i = 0; i < ms / 5 && FDataFd < 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return FDataFd >= 0;
}

bool TScriptedInstrument::SendData(const std::string& bytes) {
  return FDataFd >= 0 && send(FDataFd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == ssize_t(bytes.size());
}

void TScriptedInstrument::DropData() {
  const int fd = FDataFd.exchange(-1);
  if (fd >= 0) close(fd);
}

bool TScriptedInstrument::ConnectionKept(const std::string& fromIp, const std::string& ip, uint16_t port) {
  const int fd = ConnectFrom(fromIp, Address(ip, port));
  if (fd < 0) return false;
  char c;
  const bool closed = Readable(fd, 200) && recv(fd, &c, 1, 0) <= 0;
  close(fd);
  return !closed;
}

void TScriptedInstrument::Serve() {
  while (!FStop) {
    if (!Readable(FListenFd, 10)) continue;
    const int fd = accept(FListenFd, nullptr, nullptr);
    if (fd < 0) continue;
    Answer(fd);
    close(fd);
  }
}

void TScriptedInstrument::Answer(int fd) {
  std::string request;
  char buf[512];
  for (int wait = 1000; Readable(fd, wait); wait = 20) {
    const ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    request.append(buf, size_t(n));
  }
  // A reachability probe connects and leaves without asking anything.
  if (request.empty()) return;
  std::optional<std::string> answer = std::string("ok\r\n");
  {
    std::lock_guard lock(FLock);
    FRequests.push_back(request);
    if (!FAnswers.empty()) {
      answer = FAnswers.front();
      FAnswers.pop_front();
    }
  }
  if (!answer) {
    // Silence: keep the connection until the host gives up.
    while (!FStop && Readable(fd, 3000) && recv(fd, buf, sizeof buf, 0) > 0) {
    }
    return;
  }
  if (request.rfind("CONNECT", 0) == 0 && answer->rfind("ok", 0) == 0) ConnectBack(request);
  std::this_thread::sleep_for(std::chrono::milliseconds(FAnswerDelayMs.load()));
  send(fd, answer->data(), answer->size(), MSG_NOSIGNAL);
}

void TScriptedInstrument::ConnectBack(const std::string& request) {
  if (request.size() < 15) return;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  std::memcpy(&to.sin_addr, request.data() + 8, 4);
  to.sin_port = htons(uint16_t(uint8_t(request[13]) << 8 | uint8_t(request[14])));
  const int old = FDataFd.exchange(ConnectFrom(FIp, to));
  if (old >= 0) close(old);
}

#include "support/TcpTestPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "acquisition/QV_TcpRequest.h"

namespace {

using std::chrono::milliseconds;

// Reads what arrives within the limit and appends it; false when the connection ended or nothing came.
bool Receive(int fd, std::string& buffer, milliseconds limit) {
  pollfd p{fd, POLLIN, 0};
  if (poll(&p, 1, int(limit.count())) <= 0) return false;
  char chunk[65536];
  const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
  if (n <= 0) return false;
  buffer.append(chunk, size_t(n));
  return true;
}

bool CutLine(std::string& buffer, std::string& line) {
  const size_t end = buffer.find("\r\n");
  if (end == std::string::npos) return false;
  line = buffer.substr(0, end);
  buffer.erase(0, end + 2);
  return true;
}

bool Ended(int fd, std::string& buffer, milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < until) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 20) <= 0) continue;
    char chunk[65536];
    const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) return true;
    buffer.clear();
  }
  return false;
}

sockaddr_in SocketAddress(const std::string& host, uint16_t port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  inet_pton(AF_INET, host.c_str(), &addr.sin_addr);
  return addr;
}

}  // namespace

TTcpTestClient::TTcpTestClient(const std::string& host, uint16_t port, const std::string& from)
    : FSocket(socket(AF_INET, SOCK_STREAM, 0)) {
  sockaddr_in local = SocketAddress(from, 0);
  sockaddr_in addr = SocketAddress(host, port);
  if (bind(FSocket.Get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
      connect(FSocket.Get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
    FSocket.Close();
}

bool TTcpTestClient::Write(const std::string& bytes) {
  std::string reason;
  return FSocket.Valid() && SendAll(FSocket.Get(), bytes, reason);
}

bool TTcpTestClient::ReadLine(std::string& line, milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!CutLine(FBuffer, line)) {
    const auto left = std::chrono::duration_cast<milliseconds>(until - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !Receive(FSocket.Get(), FBuffer, left)) return false;
  }
  return true;
}

std::string TTcpTestClient::Ask(const std::string& request) {
  std::string line;
  if (!Write(request + "\r\n") || !ReadLine(line)) return "<closed>";
  return line;
}

bool TTcpTestClient::ClosedWithin(milliseconds limit) { return Ended(FSocket.Get(), FBuffer, limit); }

TTcpTestSubscriber::TTcpTestSubscriber(const std::string& address)
    : FAddress(address), FListen(socket(AF_INET, SOCK_STREAM, 0)) {
  sockaddr_in addr = SocketAddress(address, 0);
  bind(FListen.Get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  listen(FListen.Get(), 4);
  socklen_t len = sizeof addr;
  getsockname(FListen.Get(), reinterpret_cast<sockaddr*>(&addr), &len);
  FPort = ntohs(addr.sin_port);
}

bool TTcpTestSubscriber::Accept(milliseconds limit) {
  pollfd p{FListen.Get(), POLLIN, 0};
  if (poll(&p, 1, int(limit.count())) <= 0) return false;
  FData = TSocketFd(accept(FListen.Get(), nullptr, nullptr));
  return FData.Valid();
}

bool TTcpTestSubscriber::Fill(milliseconds limit) { return FData.Valid() && Receive(FData.Get(), FBuffer, limit); }

bool TTcpTestSubscriber::ReadLine(std::string& line, milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!CutLine(FBuffer, line)) {
    const auto left = std::chrono::duration_cast<milliseconds>(until - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !Fill(left)) return false;
  }
  return true;
}

size_t TTcpTestSubscriber::CountLines(milliseconds limit) {
  if (!Fill(limit)) return 0;
  size_t lines = 0;
  size_t end = 0;
  for (size_t at; (at = FBuffer.find("\r\n", end)) != std::string::npos; end = at + 2) ++lines;
  FBuffer.erase(0, end);
  return lines;
}

bool TTcpTestSubscriber::ReadBytes(std::string& bytes, size_t n, milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (FBuffer.size() < n) {
    const auto left = std::chrono::duration_cast<milliseconds>(until - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !Fill(left)) return false;
  }
  bytes = FBuffer.substr(0, n);
  FBuffer.erase(0, n);
  return true;
}

bool TTcpTestSubscriber::ClosedWithin(milliseconds limit) { return FData.Valid() && Ended(FData.Get(), FBuffer, limit); }

std::string TTcpTestSubscriber::Request(const std::string& command, const std::string& data) const {
  return BuildTcpRequest(command, FAddress, FPort, data);
}

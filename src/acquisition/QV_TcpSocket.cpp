#include "acquisition/QV_TcpSocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

bool Address(const std::string& text, uint16_t port, sockaddr_in& addr) {
  addr = {};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  return inet_pton(AF_INET, text.c_str(), &addr.sin_addr) == 1;
}

int ConnectError(int fd) {
  int error = 0;
  socklen_t len = sizeof error;
  getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len);
  return error;
}

}  // namespace

TSocketFd& TSocketFd::operator=(TSocketFd&& other) noexcept {
  if (this != &other) {
    Close();
    FFd = other.Release();
  }
  return *this;
}

int TSocketFd::Release() {
  const int fd = FFd;
  FFd = -1;
  return fd;
}

void TSocketFd::Close() {
  if (FFd >= 0) close(FFd);
  FFd = -1;
}

void TSocketFd::Shutdown() const {
  if (FFd >= 0) shutdown(FFd, SHUT_RDWR);
}

std::string TcpSocketErrorText(int error) {
  switch (error) {
    case ECONNRESET:
    case ETIMEDOUT:
    case ECONNREFUSED: return "No connection to data server";
    case ENETUNREACH: return "No connection to network";
    default: return "SocketError(" + std::to_string(error) + "): " + std::strerror(error);
  }
}

TSocketFd ConnectTcp(const std::string& address, uint16_t port, uint32_t limitMs, std::string& reason) {
  sockaddr_in addr{};
  if (!Address(address, port, addr)) {
    reason = TcpSocketErrorText(EINVAL);
    return {};
  }
  TSocketFd fd(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!fd.Valid()) {
    reason = TcpSocketErrorText(errno);
    return {};
  }
  int error = connect(fd.Get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 ? 0 : errno;
  if (error == EINPROGRESS) {
    pollfd p{fd.Get(), POLLOUT, 0};
    const int ready = poll(&p, 1, int(limitMs));
    error = ready > 0 ? ConnectError(fd.Get()) : ready == 0 ? ETIMEDOUT : errno;
  }
  if (error != 0) {
    reason = TcpSocketErrorText(error);
    return {};
  }
  fcntl(fd.Get(), F_SETFL, fcntl(fd.Get(), F_GETFL) & ~O_NONBLOCK);
  return fd;
}

bool SetSendLimit(int fd, uint32_t limitMs) {
  const timeval limit{time_t(limitMs / 1000), suseconds_t(limitMs % 1000 * 1000)};
  return setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) == 0;
}

bool SendAll(int fd, std::string_view bytes, std::string& reason) {
  while (!bytes.empty()) {
    const ssize_t n = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n <= 0) {
      const int error = n < 0 ? errno : EPIPE;
      if (error == EINTR) continue;
      // A send time-out leaves the line cut: the subscriber's stream cannot be trusted any more.
      reason = TcpSocketErrorText(error == EAGAIN || error == EWOULDBLOCK ? ETIMEDOUT : error);
      return false;
    }
    bytes.remove_prefix(size_t(n));
  }
  return true;
}

std::string SocketAddressText(int fd, bool remote) {
  sockaddr_in addr{};
  socklen_t len = sizeof addr;
  const int ok = remote ? getpeername(fd, reinterpret_cast<sockaddr*>(&addr), &len)
                        : getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  if (ok != 0) return {};
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &addr.sin_addr, text, sizeof text);
  return std::string(text) + ":" + std::to_string(ntohs(addr.sin_port));
}

std::string PeerAddress(int fd) {
  const std::string text = SocketAddressText(fd, true);
  return text.substr(0, text.rfind(':'));
}

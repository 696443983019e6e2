#include "devices/TcpSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace TcpSocket {

namespace {

sockaddr_in Address(const std::string& ip, uint16_t port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  inet_pton(AF_INET, ip.c_str(), &addr.sin_addr);
  return addr;
}

std::string Text(const sockaddr_in& addr, uint16_t* port) {
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &addr.sin_addr, text, sizeof text);
  if (port) *port = ntohs(addr.sin_port);
  return text;
}

}  // namespace

void Close(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

int Connect(const std::string& ip, uint16_t port, uint32_t limitMs) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return -1;
  const sockaddr_in addr = Address(ip, port);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
    if (errno != EINPROGRESS) {
      const int error = errno;
      Close(fd);
      errno = error;
      return -1;
    }
    pollfd p{fd, POLLOUT, 0};
    int error = ETIMEDOUT;
    socklen_t len = sizeof error;
    if (::poll(&p, 1, int(limitMs)) > 0) ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len);
    if (error != 0) {
      Close(fd);
      errno = error;
      return -1;
    }
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

int Listen(uint16_t port, uint16_t& actual) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  const int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in addr = Address("0.0.0.0", port);
  socklen_t len = sizeof addr;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 4) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    const int error = errno;
    Close(fd);
    errno = error;
    return -1;
  }
  actual = ntohs(addr.sin_port);
  return fd;
}

bool SendAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(size_t(n));
  }
  return true;
}

bool WaitReadable(int fd, uint32_t ms) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, int(ms)) > 0;
}

std::string LocalAddress(int fd, uint16_t* port) {
  sockaddr_in addr{};
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  return Text(addr, port);
}

std::string PeerAddress(int fd, uint16_t* port) {
  sockaddr_in addr{};
  socklen_t len = sizeof addr;
  ::getpeername(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  return Text(addr, port);
}

TLineRead ReadLine(int fd, uint32_t limitMs, size_t maxLength, std::string& line) {
  using namespace std::chrono;
  line.clear();
  const auto deadline = steady_clock::now() + milliseconds(limitMs);
  for (;;) {
    const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
    if (left <= 0 || !WaitReadable(fd, uint32_t(left))) return TLineRead::TimedOut;
    char c;
    const ssize_t n = ::recv(fd, &c, 1, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return line.empty() ? TLineRead::Closed : TLineRead::Line;
    if (c == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return TLineRead::Line;
    }
    if (line.size() >= maxLength) return TLineRead::TooLong;
    line += c;
  }
}

}  // namespace TcpSocket

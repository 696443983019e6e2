#include "devices/NetworkReachability.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

struct TFd {
  int fd;
  explicit TFd(int f) : fd(f) {}
  ~TFd() {
    if (fd >= 0) close(fd);
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
};

bool ToAddress(const std::string& ip, uint16_t port, sockaddr_in& addr) {
  std::memset(&addr, 0, sizeof addr);
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  return inet_pton(AF_INET, ip.c_str(), &addr.sin_addr) == 1;
}

uint16_t Checksum(const uint8_t* data, size_t len) {
  uint32_t sum = 0;
  for (size_t i = 0; i + 1 < len; i += 2) sum += (uint32_t(data[i]) << 8) | data[i + 1];
  if (len & 1) sum += uint32_t(data[len - 1]) << 8;
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return uint16_t(~sum);
}

int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

bool TNetworkReachability::Check(const std::string& ip, uint16_t managementPort, uint32_t timeoutMs,
                                 std::string& error) const {
  sockaddr_in addr{};
  if (!ToAddress(ip, managementPort, addr)) {
    error = "invalid address " + ip;
    return false;
  }
  if (FMethod == TMethod::Auto) {
    const int echo = IcmpEcho(ip, timeoutMs, error);
    if (echo >= 0) return echo == 1;
  }
  return TcpProbe(ip, managementPort, timeoutMs, error);
}

int TNetworkReachability::IcmpEcho(const std::string& ip, uint32_t timeoutMs, std::string& error) {
  bool raw = true;
  TFd sock(socket(AF_INET, SOCK_RAW, IPPROTO_ICMP));
  if (sock.fd < 0) {
    raw = false;
    sock.fd = socket(AF_INET, SOCK_DGRAM, IPPROTO_ICMP);
  }
  if (sock.fd < 0) return -1;
  sockaddr_in addr{};
  ToAddress(ip, 0, addr);
  const uint16_t id = uint16_t(getpid());
  uint8_t packet[16] = {8, 0, 0, 0, uint8_t(id >> 8), uint8_t(id), 0, 1, 'V', 'T', 'A', 'p', 'i', 'n', 'g', 0};
  const uint16_t sum = Checksum(packet, sizeof packet);
  packet[2] = uint8_t(sum >> 8);
  packet[3] = uint8_t(sum);
  if (sendto(sock.fd, packet, sizeof packet, 0, reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0) {
    error = std::strerror(errno);
    return 0;
  }
  const int64_t end = NowMs() + timeoutMs;
  for (int64_t left = timeoutMs; left > 0; left = end - NowMs()) {
    pollfd p{sock.fd, POLLIN, 0};
    if (poll(&p, 1, int(left)) <= 0) break;
    uint8_t reply[1500];
    sockaddr_in from{};
    socklen_t fromLen = sizeof from;
    const ssize_t n = recvfrom(sock.fd, reply, sizeof reply, 0, reinterpret_cast<sockaddr*>(&from), &fromLen);
    if (n <= 0 || from.sin_addr.s_addr != addr.sin_addr.s_addr) continue;
    // A raw socket delivers the IP header too; a datagram socket only the ICMP message.
    const size_t start = raw ? size_t(reply[0] & 0x0F) * 4 : 0;
    if (size_t(n) > start && reply[start] == ICMP_ECHOREPLY) return 1;
  }
  error = "timeout";
  return 0;
}

bool TNetworkReachability::TcpProbe(const std::string& ip, uint16_t port, uint32_t timeoutMs, std::string& error) {
  sockaddr_in addr{};
  ToAddress(ip, port, addr);
  TFd sock(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
  if (sock.fd < 0) {
    error = std::strerror(errno);
    return false;
  }
  int rc = connect(sock.fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  int err = rc == 0 ? 0 : errno;
  if (err == EINPROGRESS) {
    pollfd p{sock.fd, POLLOUT, 0};
    if (poll(&p, 1, int(timeoutMs)) <= 0) {
      error = "timeout";
      return false;
    }
    socklen_t len = sizeof err;
    getsockopt(sock.fd, SOL_SOCKET, SO_ERROR, &err, &len);
  }
  // A refused connection comes from the host itself: it is there, only the port is closed.
  if (err == 0 || err == ECONNREFUSED) return true;
  error = std::strerror(err);
  return false;
}

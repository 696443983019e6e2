#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// Thin blocking IPv4 TCP helpers shared by the local data server and its subscribers' writers.

// Owns one socket descriptor.
class TSocketFd {
 public:
  TSocketFd() = default;
  explicit TSocketFd(int fd) : FFd(fd) {}
  ~TSocketFd() { Close(); }
  TSocketFd(TSocketFd&& other) noexcept : FFd(other.Release()) {}
  TSocketFd& operator=(TSocketFd&& other) noexcept;
  TSocketFd(const TSocketFd&) = delete;
  TSocketFd& operator=(const TSocketFd&) = delete;

  int Get() const { return FFd; }
  bool Valid() const { return FFd >= 0; }
  int Release();
  void Close();
  // Ends both directions so that a thread blocked on the socket returns at once.
  void Shutdown() const;

 private:
  int FFd = -1;
};

// The socket texts of the data server: reset, time-out and refusal give "No connection to data
// server", an unreachable network "No connection to network", else "SocketError(n): message".
std::string TcpSocketErrorText(int error);

// Connects to address:port within `limitMs`; on failure `reason` gets the socket text.
TSocketFd ConnectTcp(const std::string& address, uint16_t port, uint32_t limitMs, std::string& reason);
// Every write on the socket gives up after `limitMs`.
bool SetSendLimit(int fd, uint32_t limitMs);
// Writes all bytes; false when a write fails or stops short (the socket text in `reason`).
bool SendAll(int fd, std::string_view bytes, std::string& reason);
// "address:port" of the local or the remote end; empty when unknown.
std::string SocketAddressText(int fd, bool remote);
// The dotted IPv4 address of the remote end.
std::string PeerAddress(int fd);

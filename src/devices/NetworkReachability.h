#pragma once
#include <cstdint>
#include <string>

// Tells whether an instrument's address answers. An ICMP echo is tried first, on a raw socket
// where the process may open one, else on a datagram ICMP socket; a user with neither right falls
// back to a TCP connect to the management port, where a refusal also proves the host is there.
class TNetworkReachability {
 public:
  enum class TMethod { Auto, TcpOnly };

  explicit TNetworkReachability(TMethod method = TMethod::Auto) : FMethod(method) {}

  // True when ip answers within timeoutMs; otherwise false with the reason in error.
  bool Check(const std::string& ip, uint16_t managementPort, uint32_t timeoutMs, std::string& error) const;

 private:
  // -1: no ICMP socket could be opened; 0: no answer; 1: answered.
  static int IcmpEcho(const std::string& ip, uint32_t timeoutMs, std::string& error);
  static bool TcpProbe(const std::string& ip, uint16_t port, uint32_t timeoutMs, std::string& error);

  TMethod FMethod;
};

#pragma once
#include <chrono>
#include <cstdint>
#include <string>

#include "acquisition/QV_TcpSocket.h"

// The subscriber's side of the local data server in tests: a management client that sends request
// lines and reads the answers, and a data server of its own that the server connects back to.

// One management connection to host:port.
class TTcpTestClient {
 public:
  TTcpTestClient(const std::string& host, uint16_t port, const std::string& from = "127.0.0.1");
  bool Connected() const { return FSocket.Valid(); }
  // Sends raw bytes as they are.
  bool Write(const std::string& bytes);
  // The next line without CR LF; nothing when the connection ended or the time ran out.
  bool ReadLine(std::string& line, std::chrono::milliseconds limit = std::chrono::seconds(5));
  // Sends request + CR LF and reads the answer ("<closed>" when none came).
  std::string Ask(const std::string& request);
  // Whether the server closed the connection within the time.
  bool ClosedWithin(std::chrono::milliseconds limit);

 private:
  TSocketFd FSocket;
  std::string FBuffer;
};

// A subscriber's data server on address:0 that accepts one data connection.
class TTcpTestSubscriber {
 public:
  explicit TTcpTestSubscriber(const std::string& address = "127.0.0.1");
  uint16_t Port() const { return FPort; }
  const std::string& Address() const { return FAddress; }
  // Waits for the server's data connection.
  bool Accept(std::chrono::milliseconds limit = std::chrono::seconds(5));
  bool ReadLine(std::string& line, std::chrono::milliseconds limit = std::chrono::seconds(5));
  // Reads what arrives within the limit and returns how many lines it completed (cheap counting for
  // benchmarks; the lines themselves are dropped).
  size_t CountLines(std::chrono::milliseconds limit);
  // Exactly n bytes.
  bool ReadBytes(std::string& bytes, size_t n, std::chrono::milliseconds limit = std::chrono::seconds(5));
  // Whether the server ended the data connection within the time (what arrives before is skipped).
  bool ClosedWithin(std::chrono::milliseconds limit);
  // Drops the data connection (a subscriber that went away).
  void CloseData() { FData.Close(); }
  // The request line that subscribes this data server.
  std::string Request(const std::string& command, const std::string& data = {}) const;

 private:
  bool Fill(std::chrono::milliseconds limit);

  std::string FAddress;
  TSocketFd FListen;
  TSocketFd FData;
  uint16_t FPort = 0;
  std::string FBuffer;
};

#pragma once
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A tiny SMTP server on 127.0.0.1 with an ephemeral port for tests: it answers 220, EHLO/HELO 250,
// MAIL/RCPT 250, DATA 354, "." 250, QUIT 221 and records what it received. `silent` makes it accept
// connections and never answer (a server that hangs).
class TSmtpTestServer {
 public:
  struct TMail {
    std::string From;
    std::vector<std::string> Recipients;
    std::string Data;  // the message as received, CR LF lines, without the final "."
  };

  explicit TSmtpTestServer(bool silent = false);
  ~TSmtpTestServer();

  uint16_t Port() const { return FPort; }
  std::string Host() const { return "127.0.0.1:" + std::to_string(FPort); }
  // Waits (at most a few seconds) until `count` mails were received; returns them.
  std::vector<TMail> WaitForMails(size_t count);
  // Waits until a client connected.
  bool WaitForConnection();

 private:
  void Run();
  void Serve(int fd);

  bool FSilent;
  int FListenFd = -1;
  uint16_t FPort = 0;
  std::mutex FLock;
  std::condition_variable FChanged;
  std::vector<TMail> FMails;
  int FConnections = 0;
  bool FStop = false;
  std::thread FThread;
};

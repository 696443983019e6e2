#pragma once
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <set>
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
  // How the server misbehaves. It never offers STARTTLS.
  struct TOptions {
    bool Silent = false;
    std::set<std::string> RefusedRecipients;  // RCPT answered "550 5.1.1 <address>: Recipient address rejected"
    int TransientRefusals = 0;                // the first MAIL commands answered "451 4.3.0 Try again later"
    bool OfferAuth = false;                   // EHLO offers "AUTH PLAIN" and AUTH is accepted
  };

  explicit TSmtpTestServer(bool silent = false);
  explicit TSmtpTestServer(TOptions options);
  ~TSmtpTestServer();

  uint16_t Port() const { return FPort; }
  std::string Host() const { return "127.0.0.1:" + std::to_string(FPort); }
  // Waits (at most a few seconds) until `count` mails were received; returns them.
  std::vector<TMail> WaitForMails(size_t count);
  // Waits until a client connected.
  bool WaitForConnection();
  int Connections();
  // The AUTH commands and credential lines received.
  std::vector<std::string> AuthLines();

 private:
  void Run();
  void Serve(int fd);

  std::string Reply(const std::string& line, TMail& mail, bool& inData, bool& authPending);

  TOptions FOptions;
  int FListenFd = -1;
  uint16_t FPort = 0;
  std::mutex FLock;
  std::condition_variable FChanged;
  std::vector<TMail> FMails;
  int FConnections = 0;
  std::vector<std::string> FAuthLines;
  bool FStop = false;
  std::thread FThread;
};

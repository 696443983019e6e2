#include "support/SmtpTestServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace {
constexpr auto kWaitLimit = std::chrono::seconds(20);

bool SendLine(int fd, const std::string& line) {
  const std::string text = line + "\r\n";
  return ::send(fd, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
}

std::string Between(const std::string& text, char open, char close) {
  const size_t a = text.find(open);
  const size_t b = text.find(close, a == std::string::npos ? 0 : a + 1);
  return a == std::string::npos || b == std::string::npos ? text : text.substr(a + 1, b - a - 1);
}
}  // namespace

TSmtpTestServer::TSmtpTestServer(bool silent) : TSmtpTestServer(TOptions{silent, {}, 0, false}) {}

TSmtpTestServer::TSmtpTestServer(TOptions options) : FOptions(std::move(options)) {
  FListenFd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  if (FListenFd < 0 || ::bind(FListenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(FListenFd, 4) != 0)
    throw std::runtime_error("SMTP test server: cannot listen");
  socklen_t len = sizeof addr;
  ::getsockname(FListenFd, reinterpret_cast<sockaddr*>(&addr), &len);
  FPort = ntohs(addr.sin_port);
  FThread = std::thread([this] { Run(); });
}

TSmtpTestServer::~TSmtpTestServer() {
  {
    std::lock_guard lock(FLock);
    FStop = true;
  }
  FThread.join();
  ::close(FListenFd);
}

std::vector<TSmtpTestServer::TMail> TSmtpTestServer::WaitForMails(size_t count) {
  std::unique_lock lock(FLock);
  FChanged.wait_for(lock, kWaitLimit, [&] { return FMails.size() >= count; });
  return FMails;
}

bool TSmtpTestServer::WaitForConnection() {
  std::unique_lock lock(FLock);
  return FChanged.wait_for(lock, kWaitLimit, [&] { return FConnections > 0; });
}

int TSmtpTestServer::Connections() {
  std::lock_guard lock(FLock);
  return FConnections;
}

std::vector<std::string> TSmtpTestServer::AuthLines() {
  std::lock_guard lock(FLock);
  return FAuthLines;
}

// Polls in short steps so that the destructor ends the thread promptly.
void TSmtpTestServer::Run() {
  std::vector<int> open;
  while (true) {
    {
      std::lock_guard lock(FLock);
      if (FStop) break;
    }
    pollfd p{FListenFd, POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0) continue;
    const int fd = ::accept(FListenFd, nullptr, nullptr);
    if (fd < 0) continue;
    {
      std::lock_guard lock(FLock);
      ++FConnections;
    }
    FChanged.notify_all();
    if (FOptions.Silent) {
      open.push_back(fd);
      continue;
    }
    Serve(fd);
    ::close(fd);
  }
  for (int fd : open) ::close(fd);
}

void TSmtpTestServer::Serve(int fd) {
  SendLine(fd, "220 test ESMTP");
  std::string buffer;
  TMail mail;
  bool inData = false;
  bool authPending = false;
  while (true) {
    size_t eol;
    while ((eol = buffer.find("\r\n")) == std::string::npos) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 5000) <= 0) return;
      char chunk[1024];
      const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
      if (n <= 0) return;
      buffer.append(chunk, static_cast<size_t>(n));
    }
    const std::string line = buffer.substr(0, eol);
    buffer.erase(0, eol + 2);
    if (inData) {
      if (line == ".") {
        inData = false;
        {
          std::lock_guard lock(FLock);
          FMails.push_back(mail);
        }
        FChanged.notify_all();
        mail = TMail();
        SendLine(fd, "250 OK queued");
      } else {
        mail.Data += (line.rfind("..", 0) == 0 ? line.substr(1) : line) + "\r\n";
      }
      continue;
    }
    const std::string reply = Reply(line, mail, inData, authPending);
    if (!SendLine(fd, reply) || reply.rfind("221", 0) == 0) return;
  }
}

// The answer to one command line outside DATA; "354" starts the data, "221" ends the session.
std::string TSmtpTestServer::Reply(const std::string& line, TMail& mail, bool& inData, bool& authPending) {
  const std::string verb = line.substr(0, 4);
  if (authPending || verb == "AUTH") {
    {
      std::lock_guard lock(FLock);
      FAuthLines.push_back(line);
    }
    if (!FOptions.OfferAuth) return "502 not implemented";
    authPending = line == "AUTH PLAIN";
    return authPending ? "334 " : "235 2.7.0 Authentication successful";
  }
  if (verb == "EHLO") return FOptions.OfferAuth ? "250-test\r\n250 AUTH PLAIN" : "250 test";
  if (verb == "HELO") return "250 test";
  if (verb == "MAIL") {
    mail = TMail();
    std::lock_guard lock(FLock);
    if (FOptions.TransientRefusals > 0) {
      --FOptions.TransientRefusals;
      return "451 4.3.0 Try again later";
    }
    mail.From = Between(line, '<', '>');
    return "250 OK";
  }
  if (verb == "RCPT") {
    const std::string address = Between(line, '<', '>');
    if (FOptions.RefusedRecipients.count(address)) return "550 5.1.1 <" + address + ">: Recipient address rejected";
    mail.Recipients.push_back(address);
    return "250 OK";
  }
  if (verb == "DATA") {
    inData = true;
    return "354 go ahead";
  }
  if (verb == "RSET") return "250 OK";
  if (verb == "QUIT") return "221 bye";
  return "502 not implemented";
}

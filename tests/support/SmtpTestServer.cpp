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

TSmtpTestServer::TSmtpTestServer(bool silent) : FSilent(silent) {
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
    if (FSilent) {
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
    const std::string verb = line.substr(0, 4);
    if (verb == "EHLO" || verb == "HELO") {
      SendLine(fd, "250 test");
    } else if (verb == "MAIL") {
      mail.From = Between(line, '<', '>');
      SendLine(fd, "250 OK");
    } else if (verb == "RCPT") {
      mail.Recipients.push_back(Between(line, '<', '>'));
      SendLine(fd, "250 OK");
    } else if (verb == "DATA") {
      inData = true;
      SendLine(fd, "354 go ahead");
    } else if (verb == "QUIT") {
      SendLine(fd, "221 bye");
      return;
    } else {
      SendLine(fd, "502 not implemented");
    }
  }
}

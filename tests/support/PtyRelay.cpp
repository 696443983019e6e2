#include "support/PtyRelay.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>

TPtyRelay::TPtyRelay(const std::string& hostLink) {
  for (int i = 0; i < 2; ++i) {
    if (::openpty(&FMaster[i], &FSlave[i], nullptr, nullptr, nullptr) != 0) {
      FError = std::string("openpty failed: ") + std::strerror(errno);
      return;
    }
    termios tio{};
    ::tcgetattr(FSlave[i], &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(FSlave[i], TCSANOW, &tio);
  }
  FInstrumentPath = ::ttyname(FSlave[0]);
  FHostPath = ::ttyname(FSlave[1]);
  if (!hostLink.empty()) {
    std::error_code ec;
    std::filesystem::remove(hostLink, ec);
    std::filesystem::create_symlink(FHostPath, hostLink, ec);
    if (ec) FError = "cannot link " + hostLink + ": " + ec.message();
    FHostPath = hostLink;
  }
  FThread = std::thread([this] { Run(); });
}

TPtyRelay::~TPtyRelay() { Unplug(); }

void TPtyRelay::Run() {
  char buffer[4096];
  while (!FStop) {
    pollfd p[2] = {{FMaster[0], POLLIN, 0}, {FMaster[1], POLLIN, 0}};
    if (::poll(p, 2, 5) <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (!(p[i].revents & POLLIN)) continue;
      const ssize_t n = ::read(FMaster[i], buffer, sizeof buffer);
      for (ssize_t done = 0; n > 0 && done < n && !FStop;) {
        const ssize_t w = ::write(FMaster[1 - i], buffer + done, size_t(n - done));
        if (w > 0) done += w;
        else if (errno != EAGAIN && errno != EINTR) break;
      }
    }
  }
}

void TPtyRelay::Unplug() {
  FStop = true;
  if (FThread.joinable()) FThread.join();
  for (int i = 0; i < 2; ++i) {
    if (FMaster[i] >= 0) ::close(FMaster[i]);
    if (FSlave[i] >= 0) ::close(FSlave[i]);
    FMaster[i] = FSlave[i] = -1;
  }
}

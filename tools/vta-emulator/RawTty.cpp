#include "RawTty.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

std::string TRawTty::Open(const std::string& path) {
  FFd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (FFd < 0) return "Cannot open " + path + ": " + std::strerror(errno);
  termios tio{};
  if (tcgetattr(FFd, &tio) == 0) {
    cfmakeraw(&tio);
    tcsetattr(FFd, TCSANOW, &tio);
  }
  return {};
}

void TRawTty::Close() {
  if (FFd >= 0) ::close(FFd);
  FFd = -1;
}

void TRawTty::Write(std::string_view bytes, const std::atomic<bool>& stop) {
  constexpr int kWaitMs = 2;
  while (!bytes.empty() && !stop) {
    const ssize_t n = ::write(FFd, bytes.data(), bytes.size());
    if (n > 0) {
      bytes.remove_prefix(static_cast<size_t>(n));
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
      return;
    } else {
      pollfd p{FFd, POLLOUT, 0};
      ::poll(&p, 1, kWaitMs);
    }
  }
}

std::string TRawTty::Read(int waitMs) {
  pollfd p{FFd, POLLIN, 0};
  if (::poll(&p, 1, waitMs) <= 0 || !(p.revents & POLLIN)) return {};
  char buffer[512];
  const ssize_t n = ::read(FFd, buffer, sizeof buffer);
  return n > 0 ? std::string(buffer, size_t(n)) : std::string();
}

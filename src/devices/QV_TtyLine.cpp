#include "devices/QV_TtyLine.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

namespace {

int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int RemainingMs(int64_t deadlineMs) { return static_cast<int>(std::max<int64_t>(0, deadlineMs - NowMs())); }

}  // namespace

TQV_TtyLine::~TQV_TtyLine() { Close(); }

bool TQV_TtyLine::Open(const std::string& path, std::string& reason, bool& inUse) {
  Close();
  inUse = false;
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    reason = std::strerror(errno);
    return false;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    inUse = errno == EWOULDBLOCK;
    reason = std::strerror(errno);
    ::close(fd);
    return false;
  }
  termios tio{};
  if (::tcgetattr(fd, &tio) == 0) {
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    ::cfsetspeed(&tio, B115200);
    ::tcsetattr(fd, TCSANOW, &tio);
  }
  FFd = fd;
  return true;
}

void TQV_TtyLine::Close() {
  if (FFd < 0) return;
  ::close(FFd);  // releases the lock too
  FFd = -1;
}

TQV_TtyLine::TRead TQV_TtyLine::WaitReadable(int64_t deadlineMs) {
  pollfd p{FFd, POLLIN, 0};
  const int n = ::poll(&p, 1, RemainingMs(deadlineMs));
  if (n < 0 && errno != EINTR) {
    FLastError = std::strerror(errno);
    return TRead::Failed;
  }
  if (n <= 0) return TRead::Timeout;
  // A vanished line (unplugged, the far end of a pty closed) reads as an error or hang-up.
  if ((p.revents & (POLLERR | POLLNVAL)) || ((p.revents & POLLHUP) && !(p.revents & POLLIN))) {
    FLastError = "line hung up";
    return TRead::Failed;
  }
  return TRead::Data;
}

TQV_TtyLine::TRead TQV_TtyLine::ReadExact(size_t count, uint32_t timeoutMs, std::string& out) {
  const int64_t deadline = NowMs() + timeoutMs;
  size_t missing = count;
  while (missing > 0) {
    const size_t before = out.size();
    const TRead r = ReadSome(missing, static_cast<uint32_t>(RemainingMs(deadline)), out);
    if (r != TRead::Data) return r;
    missing -= out.size() - before;
  }
  return TRead::Data;
}

TQV_TtyLine::TRead TQV_TtyLine::ReadSome(size_t maxCount, uint32_t timeoutMs, std::string& out) {
  if (FFd < 0) {
    FLastError = "line closed";
    return TRead::Failed;
  }
  const int64_t deadline = NowMs() + timeoutMs;
  while (true) {
    const TRead wait = WaitReadable(deadline);
    if (wait != TRead::Data) return wait;
    const size_t before = out.size();
    out.resize(before + maxCount);
    const ssize_t n = ::read(FFd, out.data() + before, maxCount);
    out.resize(before + (n > 0 ? size_t(n) : 0));
    if (n > 0) return TRead::Data;
    if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
      FLastError = n == 0 ? "end of line" : std::strerror(errno);
      return TRead::Failed;
    }
  }
}

bool TQV_TtyLine::Write(const std::string& data, uint32_t timeoutMs, size_t& written) {
  written = 0;
  if (FFd < 0) {
    FLastError = "line closed";
    return false;
  }
  const int64_t deadline = NowMs() + timeoutMs;
  while (written < data.size()) {
    const ssize_t n = ::write(FFd, data.data() + written, data.size() - written);
    if (n > 0) {
      written += size_t(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) {
      FLastError = std::strerror(errno);
      return false;
    }
    pollfd p{FFd, POLLOUT, 0};
    if (::poll(&p, 1, RemainingMs(deadline)) <= 0) {
      FLastError = "timeout";
      return false;
    }
  }
  return true;
}

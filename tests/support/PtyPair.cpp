#include "support/PtyPair.h"

#include <QStandardPaths>
#include <algorithm>
#include <chrono>
#include <vector>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The paths of the "N PTY is /dev/pts/M" lines socat writes with -d -d.
std::vector<std::string> PtyPaths(const std::string& log) {
  std::vector<std::string> paths;
  const std::string marker = "PTY is ";
  for (size_t pos = log.find(marker); pos != std::string::npos; pos = log.find(marker, pos)) {
    pos += marker.size();
    const size_t end = log.find_first_of("\r\n", pos);
    if (end == std::string::npos) break;
    paths.push_back(log.substr(pos, end - pos));
  }
  return paths;
}

}  // namespace

bool TPtyPair::SocatAvailable() { return !QStandardPaths::findExecutable("socat").isEmpty(); }

TPtyPair::TPtyPair(const std::string& hostLink) {
  const QString host = QString::fromStdString("pty,raw,echo=0" + (hostLink.empty() ? "" : ",link=" + hostLink));
  FSocat.start("socat", {"-d", "-d", "pty,raw,echo=0", host});
  if (!FSocat.waitForStarted(5000)) {
    FError = "socat did not start";
    return;
  }
  std::string log;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (log.find("starting data transfer loop") == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    FSocat.waitForReadyRead(100);
    log += FSocat.readAllStandardError().toStdString();
  }
  const auto paths = PtyPaths(log);
  if (paths.size() != 2) {
    FError = "socat gave no pty pair: " + log;
    return;
  }
  FInstrumentPath = paths[0];
  FHostPath = hostLink.empty() ? paths[1] : hostLink;
}

TPtyPair::~TPtyPair() { Unplug(); }

void TPtyPair::Unplug() {
  if (FSocat.state() == QProcess::NotRunning) return;
  FSocat.kill();
  FSocat.waitForFinished(5000);
}

TPtyEnd::TPtyEnd(const std::string& path) {
  FFd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (FFd < 0) return;
  termios tio{};
  tcgetattr(FFd, &tio);
  cfmakeraw(&tio);
  tcsetattr(FFd, TCSANOW, &tio);
}

TPtyEnd::~TPtyEnd() {
  if (FFd >= 0) ::close(FFd);
}

void TPtyEnd::Write(const std::string& bytes) {
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t n = ::write(FFd, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else {
      pollfd p{FFd, POLLOUT, 0};
      if (::poll(&p, 1, 1000) <= 0) return;
    }
  }
}

std::string TPtyEnd::Read(size_t count, int timeoutMs) {
  std::string bytes;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (bytes.size() < count) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{FFd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    char buffer[256];
    const ssize_t n = ::read(FFd, buffer, std::min(sizeof buffer, count - bytes.size()));
    if (n <= 0) break;
    bytes.append(buffer, static_cast<size_t>(n));
  }
  return bytes;
}

#include "app/VTA_SignalPipe.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <cstring>

namespace {

std::atomic<int> gWriteFd{-1};
std::atomic<int> gReceived{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler may only touch lock-free atomics");

void OnSignalHandler(int signal) {
  const int savedErrno = errno;
  const int fd = gWriteFd.load();
  const unsigned char byte = static_cast<unsigned char>(signal);
  gReceived.store(signal);
  if (fd >= 0) (void)!write(fd, &byte, 1);
  errno = savedErrno;
}

}  // namespace

TSignalPipe::TSignalPipe(std::function<void(int)> onSignal) : FOnSignal(std::move(onSignal)) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
    FError = std::string("signal pipe not created: ") + std::strerror(errno);
    return;
  }
  FReadFd = fds[0];
  FWriteFd = fds[1];
  int expected = -1;
  if (!gWriteFd.compare_exchange_strong(expected, FWriteFd)) {
    FError = "signal pipe already installed";
    return;
  }
  gReceived.store(0);
  FNotifier = std::make_unique<QSocketNotifier>(FReadFd, QSocketNotifier::Read);
  QObject::connect(FNotifier.get(), &QSocketNotifier::activated, [this] { Drain(); });

  struct sigaction action {};
  action.sa_handler = OnSignalHandler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, &FOldInt);
  sigaction(SIGTERM, &action, &FOldTerm);
  FInstalled = true;
}

TSignalPipe::~TSignalPipe() {
  if (FInstalled) {
    sigaction(SIGINT, &FOldInt, nullptr);
    sigaction(SIGTERM, &FOldTerm, nullptr);
    gWriteFd.store(-1);
  }
  FNotifier.reset();
  if (FReadFd >= 0) close(FReadFd);
  if (FWriteFd >= 0) close(FWriteFd);
}

int TSignalPipe::Received() const { return FInstalled ? gReceived.load() : 0; }

void TSignalPipe::Drain() {
  unsigned char bytes[16];
  ssize_t n;
  while ((n = read(FReadFd, bytes, sizeof bytes)) > 0)
    for (ssize_t i = 0; i < n; ++i)
      if (FOnSignal) FOnSignal(bytes[i]);
}

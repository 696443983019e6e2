#include "logging/StoreExclusiveLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

std::string ReadAll(int fd) {
  std::string text;
  char buffer[512];
  ::lseek(fd, 0, SEEK_SET);
  for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, size_t(n));
  return text;
}

// The lock is on the inode we opened; it counts only while that inode is still the named file
// (a holder that released in between deleted it).
bool StillNamed(int fd, const std::string& fileName) {
  struct stat opened{}, named{};
  return ::fstat(fd, &opened) == 0 && ::stat(fileName.c_str(), &named) == 0 && opened.st_ino == named.st_ino &&
         opened.st_dev == named.st_dev;
}

}  // namespace

TStoreExclusiveLock::TStoreExclusiveLock(std::string fileName, std::string owner)
    : FFileName(std::move(fileName)), FOwner(std::move(owner)) {}

TStoreExclusiveLock::~TStoreExclusiveLock() { Release(); }

bool TStoreExclusiveLock::Take(std::string& previous) {
  if (Held()) return true;
  for (int attempt = 0; attempt < 3; ++attempt) {
    const int fd = ::open(FFileName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
      previous = std::strerror(errno);
      return false;
    }
    previous = ReadAll(fd);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      if (errno != EWOULDBLOCK) previous = std::strerror(errno);
      ::close(fd);
      return false;
    }
    if (!StillNamed(fd, FFileName)) {
      ::close(fd);
      continue;
    }
    previous = ReadAll(fd);
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, FOwner.data(), FOwner.size(), 0) != ssize_t(FOwner.size())) {
      previous = std::strerror(errno);
      ::close(fd);
      return false;
    }
    FFd = fd;
    return true;
  }
  previous = "lock file keeps changing";
  return false;
}

bool TStoreExclusiveLock::Release() {
  if (!Held()) return false;
  ::unlink(FFileName.c_str());
  ::close(FFd);
  FFd = -1;
  return true;
}

std::string ProgramFilePath() {
  char path[4096];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  return n > 0 ? std::string(path, size_t(n)) : std::string("VTA_App");
}

#include "core/AtomicFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

namespace {

std::string Reason(const char* step) { return std::string(step) + ": " + std::strerror(errno); }

// Writes everything or fails: a short write (file size limit, full disk) is an error, not a success.
bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    bytes.remove_prefix(size_t(n));
  }
  return true;
}

mode_t NewFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

std::string WriteFileAtomically(const std::string& fileName, std::string_view bytes, TFileAccess access) {
  // Through a symbolic link the file it points to is replaced, not the link.
  std::filesystem::path target(fileName);
  std::error_code ec;
  if (std::filesystem::is_symlink(std::filesystem::symlink_status(target, ec))) {
    target = std::filesystem::canonical(target, ec);
    if (ec) return "cannot resolve link: " + ec.message();
  }

  struct stat old {};
  const bool exists = ::stat(target.c_str(), &old) == 0;
  if (exists && S_ISDIR(old.st_mode)) return "is a folder";

  std::string pattern = target.string() + ".XXXXXX";
  std::vector<char> tempName(pattern.begin(), pattern.end());
  tempName.push_back('\0');
  const int fd = ::mkstemp(tempName.data());
  if (fd < 0) return Reason("cannot create temporary file");

  std::string error;
  const mode_t mode = access == TFileAccess::kOwnerOnly ? 0600 : exists ? (old.st_mode & 07777) : NewFileMode();
  if (::fchmod(fd, mode) != 0)
    error = Reason("cannot set permissions");
  else if (!WriteAll(fd, bytes))
    error = Reason("write failed");
  else if (::fsync(fd) != 0)
    error = Reason("flush failed");
  if (::close(fd) != 0 && error.empty()) error = Reason("close failed");
  if (error.empty() && std::rename(tempName.data(), target.c_str()) != 0) error = Reason("rename failed");
  if (!error.empty()) {
    ::unlink(tempName.data());
    return error;
  }
  // Make the rename itself durable.
  const int dirFd = ::open(target.parent_path().empty() ? "." : target.parent_path().c_str(), O_RDONLY | O_DIRECTORY);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return {};
}

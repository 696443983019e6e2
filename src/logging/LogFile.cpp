#include "logging/LogFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

std::string SystemErrorText(int error) { return std::strerror(error); }

// A file descriptor opened with O_EXCL: the write loop keeps errno, which a short write would
// otherwise lose.
class TLogFile : public ILogFile {
 public:
  explicit TLogFile(int fd) : FFd(fd) {}
  ~TLogFile() override { ::close(FFd); }
  TLogFile(const TLogFile&) = delete;
  TLogFile& operator=(const TLogFile&) = delete;

  std::string Write(std::string_view text) override {
    while (!text.empty()) {
      const ssize_t n = ::write(FFd, text.data(), text.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return SystemErrorText(n < 0 ? errno : ENOSPC);
      FSize += n;
      text.remove_prefix(static_cast<size_t>(n));
    }
    return {};
  }

  int64_t Size() const override { return FSize; }

  void Truncate(int64_t size) override {
    if (::ftruncate(FFd, size) == 0 && ::lseek(FFd, size, SEEK_SET) == size) FSize = size;
  }

 private:
  int FFd;
  int64_t FSize = 0;
};

}  // namespace

TLogFileCreation CreateLogFile(const std::string& name) {
  const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  TLogFileCreation result;
  if (fd >= 0)
    result.File = std::make_unique<TLogFile>(fd);
  else if (errno == EEXIST)
    result.NameTaken = true;
  else
    result.Error = SystemErrorText(errno);
  return result;
}

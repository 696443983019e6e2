#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// The serial line of a CDC instrument (/dev/ttyACM*): raw 8N1, reads with a time-out and no
// interval time-out, writes with a time limit. The node is locked (flock) while open, so that a
// second program sees the instrument as in use instead of reading half of its stream.
class TQV_TtyLine {
 public:
  enum class TRead { Data, Timeout, Failed };

  TQV_TtyLine() = default;
  ~TQV_TtyLine();
  TQV_TtyLine(const TQV_TtyLine&) = delete;
  TQV_TtyLine& operator=(const TQV_TtyLine&) = delete;

  // False with the reason; inUse when another process holds the node.
  bool Open(const std::string& path, std::string& reason, bool& inUse);
  void Close();
  bool IsOpen() const { return FFd >= 0; }
  // Appends exactly count bytes to out unless the time-out passes first (Timeout, with what came)
  // or the line fails.
  TRead ReadExact(size_t count, uint32_t timeoutMs, std::string& out);
  // Appends what arrives within timeoutMs, at most maxCount bytes, returning at the first bytes.
  TRead ReadSome(size_t maxCount, uint32_t timeoutMs, std::string& out);
  // Writes all bytes within timeoutMs; written tells how many went out.
  bool Write(const std::string& data, uint32_t timeoutMs, size_t& written);
  // The text of the last failure.
  const std::string& LastError() const { return FLastError; }

 private:
  TRead WaitReadable(int64_t deadlineMs);

  int FFd = -1;
  std::string FLastError;
};

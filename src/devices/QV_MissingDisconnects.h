#pragma once
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// Log-offs that could not be sent, program-wide: the instrument keeps such a registration until the
// same user logs on again, so the next log-on of that user repeats the log-off first.
class TQV_MissingDisconnects {
 public:
  static TQV_MissingDisconnects& Instance();
  // "UserID=" + id + "Port=" + port in 4 hexadecimal digits.
  static std::string Entry(uint8_t userId, uint16_t serverPort);
  // The server port recorded in an entry.
  static uint16_t PortOf(const std::string& entry);

  void Add(const std::string& entry);
  // Takes the first entry of the user out of the list.
  std::optional<std::string> Take(uint8_t userId);
  std::vector<std::string> Entries() const;
  void Clear();

 private:
  mutable std::mutex FLock;
  std::vector<std::string> FEntries;
};

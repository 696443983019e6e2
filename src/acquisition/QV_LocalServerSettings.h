#pragma once
#include <cstdint>
#include <string>

// What the local TCP data server of a counter session is set to, kept, read and saved as one value.
struct TLocalServerSettings {
  bool Run = false;
  uint16_t Port = 0;  // 0: a free port of the system's choice
  std::string ListenAddress = "0.0.0.0";
  std::string AllowedClients;  // addresses separated by commas; empty: every client
  bool Archive = false;
  std::string ArchivePath;  // empty: the server's default folder
  bool operator==(const TLocalServerSettings&) const = default;
};

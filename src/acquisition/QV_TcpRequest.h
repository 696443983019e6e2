#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/CalendarTime.h"

// The text protocol between a local TCP data server and its subscribers: the request line on the
// management connection, the mode names, the archive stamp and the first line of a data
// connection. Free of I/O so that the server, the receiver and the fuzzer share one reading.

inline constexpr std::string_view TcpAuthLine = "AUTH=QV-TCP-Server";

// What a subscriber receives on its data connection.
enum TTcpClientMode : uint8_t {
  tcmAllReports = 7,
  tcmFirstLog = 16,  // 16 + log type 0..7
  tcmLastLog = 23,
  tcmArchive = 255,
};

// "CONNECT", "DISCONN", ... + " " + IPv4 + ":" + port [+ " " + data].
struct TTcpRequest {
  std::string Command;  // seven characters
  std::string Address;  // the subscriber's data address, trimmed
  uint16_t Port = 0;
  std::string Data;
};

// The request, or in `answer` the refusal ("ERR unknown request: ...", "ERR bad format (IP:Port): ...").
std::optional<TTcpRequest> ParseTcpRequest(std::string_view line, std::string& answer);
// The request line without its CR LF.
std::string BuildTcpRequest(std::string_view command, std::string_view address, uint16_t port,
                            std::string_view data = {});

// "MODE=PHASELOG" .. "MODE=USERLOG2" → 16..23; "" → 7; anything else: nothing.
std::optional<uint8_t> TcpModeFromName(std::string_view name);
// The mode name of a CONNECT request ("" for all reports).
std::string TcpModeRequestName(uint8_t mode);
// The mode as shown in client texts: "all Reports", "PHASELOG", ..., else two hexadecimal digits.
std::string TcpModeText(uint8_t mode);

// The entries of an address list as the settings keep it ("192.0.2.5, 192.0.2.6"), split at commas,
// semicolons and blanks. Entries are kept as written, so a mistyped one matches no client.
std::vector<std::string> SplitAddressList(std::string_view text);

// "YYYYMMDD_hhnnss" in UTC; nothing for any other text or an impossible date.
std::optional<TDateTime> ParseArchiveStampDays(std::string_view text);
std::string ArchiveStampText(TDateTime utc);

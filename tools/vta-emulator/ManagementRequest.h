#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// One request on the instrument's management port: "CONNECT", "DISCONN" or "TRYBABY" + user digit
// + A B C D ":" P1 P2 CR LF, or "CMD.... " + A B C D ":" P1 P2 " " L + L command bytes.
struct TManagementRequest {
  enum TKind { mrConnect, mrDisconnect, mrTry, mrCommand };
  TKind Kind = mrConnect;
  int UserId = 0;            // 1..4 from the digit "0".."3"; 0 for a blank (unknown)
  uint32_t HostAddress = 0;  // the host's data server, first octet most significant
  uint16_t HostPort = 0;
  std::string Command;

  static constexpr size_t FixedLength = 17;
  // Bytes the request that starts with `prefix` needs in all: 0 while that is not known yet,
  // std::string_view::npos when the bytes are no request.
  static size_t Length(std::string_view prefix);
  static std::optional<TManagementRequest> Parse(std::string_view bytes);

  std::string HostText() const;
};

// The instrument's answers: a text line; "ab" also carries the 16-byte user table.
namespace ManagementAnswer {
std::string Line(std::string_view text);
}

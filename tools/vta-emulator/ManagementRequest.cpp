#include "ManagementRequest.h"

namespace {

constexpr std::string_view CommandTag = "CMD.... ";

uint8_t Byte(std::string_view s, size_t i) { return static_cast<uint8_t>(s[i]); }

std::optional<TManagementRequest::TKind> KindOf(std::string_view tag) {
  if (tag == "CONNECT") return TManagementRequest::mrConnect;
  if (tag == "DISCONN") return TManagementRequest::mrDisconnect;
  if (tag == "TRYBABY") return TManagementRequest::mrTry;
  if (tag == CommandTag.substr(0, 7)) return TManagementRequest::mrCommand;
  return std::nullopt;
}

}  // namespace

size_t TManagementRequest::Length(std::string_view prefix) {
  if (prefix.size() < 7) return 0;
  const auto kind = KindOf(prefix.substr(0, 7));
  if (!kind) return std::string_view::npos;
  if (*kind != mrCommand) return FixedLength;
  return prefix.size() < FixedLength ? 0 : FixedLength + Byte(prefix, FixedLength - 1);
}

std::optional<TManagementRequest> TManagementRequest::Parse(std::string_view bytes) {
  const size_t length = Length(bytes);
  if (length == 0 || length == std::string_view::npos || bytes.size() != length) return std::nullopt;
  TManagementRequest r;
  r.Kind = *KindOf(bytes.substr(0, 7));
  // Both layouts put the address 8 bytes in; the user digit sits where the command tag has its blank.
  if (r.Kind == mrCommand) {
    if (bytes[7] != ' ' || bytes[12] != ':' || bytes[15] != ' ') return std::nullopt;
    r.Command = std::string(bytes.substr(FixedLength));
  } else {
    if (bytes[12] != ':' || bytes.substr(15, 2) != "\r\n") return std::nullopt;
    const char digit = bytes[7];
    if (digit >= '0' && digit <= '3') r.UserId = digit - '0' + 1;
    else if (digit != ' ') return std::nullopt;
  }
  r.HostAddress = uint32_t{Byte(bytes, 8)} << 24 | uint32_t{Byte(bytes, 9)} << 16 | uint32_t{Byte(bytes, 10)} << 8 | Byte(bytes, 11);
  r.HostPort = static_cast<uint16_t>(Byte(bytes, 13) << 8 | Byte(bytes, 14));
  return r;
}

std::string TManagementRequest::HostText() const {
  return std::to_string(HostAddress >> 24) + "." + std::to_string(HostAddress >> 16 & 0xFF) + "." +
         std::to_string(HostAddress >> 8 & 0xFF) + "." + std::to_string(HostAddress & 0xFF) + ":" +
         std::to_string(HostPort);
}

std::string ManagementAnswer::Line(std::string_view text) { return std::string(text) + "\r\n"; }

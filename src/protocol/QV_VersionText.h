#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The version texts of the two firmware families, parsed without side effects. The decoder applies
// the results to itself and the device and writes the diagnostic lines behind its own tag.

struct TVersionDiag {
  bool IsError = false;
  std::string Text;  // starts with "." and the parser's name
};

// Coldfire form: "VERSION ZCT: 63 USCF 230115 User1 / 230115.2A / 1234ABCD / 192.168.0.5 / ...".
struct TColdfireVersion {
  bool Ok = false;               // the version number converted
  std::string VersionString;     // text after "VERSION ", control characters at the end removed
  uint16_t HardFeature = 0x8000; // model tag and letters before "CF "
  int32_t Version = -1;
  std::string Date;              // text after "CF " up to the next blank
  std::string FPGAVersion;       // second "/" part, trimmed
  std::optional<uint32_t> SerialNumber;
  std::string IP;
};
// Nothing when the text lacks "VERSION" or ": ".
std::optional<TColdfireVersion> ParseColdfireVersion(std::string_view text);

// Network-module form: "ZCT2, IVC / 1234ABCD 2 / FW: ZCT2-1.14 2023-01-15 / HW: 230115.2A / IP: 0500A8C0".
struct TESPVersion {
  bool Ok = false;  // the minor number converted
  std::string HardwareText;
  uint32_t SerialNumber = 0xFFFFFFFF;
  int32_t UserID = -1;
  std::string FirmwareText;
  int32_t Major = -1;
  int32_t Minor = -1;
  int32_t Version = -1;  // 100 * major + minor
  std::string Date;
  std::string FPGAVersion;
  std::string IP;  // dotted, from the hexadecimal number least significant byte first
  std::vector<TVersionDiag> Diagnostics;
};
TESPVersion ParseESPVersion(std::string_view text);

// The whole text as a hexadecimal number of 1..8 digits (blanks around allowed).
std::optional<uint32_t> ParseHex32(std::string_view text);
// The whole text as a non-negative decimal number that fits int32.
std::optional<int32_t> ParseDecimal(std::string_view text);
// The text without control characters at its end.
std::string_view TrimTrailingControls(std::string_view text);

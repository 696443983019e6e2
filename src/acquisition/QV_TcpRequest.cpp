#include "acquisition/QV_TcpRequest.h"

#include "core/ArchiveStamp.h"

#include <array>
#include <chrono>

#include "acquisition/QV_ConnectionString.h"
#include "core/QV_NumberText.h"

namespace {

constexpr size_t CommandLength = 7;
constexpr double UnixEpochDays = 25569.0;  // 1970-01-01 as a day number since 1899-12-30

// Index = mode - 16.
constexpr std::array<std::string_view, 8> LogModeNames = {
    "PHASELOG", "FREQLOG", "PHASEDIFFLOG", "IVCLOG", "IVCDIFFLOG", "PHASEPREDECESSORLOG", "USERLOG1", "USERLOG2"};
constexpr std::string_view ModePrefix = "MODE=";

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool AllDigits(std::string_view s) {
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

int Number(std::string_view digits) {
  int value = 0;
  for (char c : digits) value = value * 10 + (c - '0');
  return value;
}

}  // namespace

std::optional<TTcpRequest> ParseTcpRequest(std::string_view line, std::string& answer) {
  answer = "ERR unknown request: " + std::string(line);
  if (line.find(' ') != CommandLength) return std::nullopt;
  TTcpRequest request;
  request.Command = std::string(line.substr(0, CommandLength));
  const std::string_view rest = line.substr(CommandLength + 1);
  answer = "ERR bad format (IP:Port): " + std::string(rest);
  // The shortest dotted address ("0.0.0.0") has seven characters.
  const size_t colon = rest.find(':');
  if (colon == std::string_view::npos || colon < 7) return std::nullopt;
  const std::string_view address = Trim(rest.substr(0, colon));
  if (!IsValidIPv4(address)) return std::nullopt;
  const size_t blank = rest.find(' ', colon);
  const std::optional<uint16_t> port = ParsePortNumber(rest.substr(colon + 1, blank - colon - 1));
  if (!port) return std::nullopt;
  request.Address = std::string(address);
  request.Port = *port;
  if (blank != std::string_view::npos) request.Data = std::string(rest.substr(blank + 1));
  answer.clear();
  return request;
}

std::string BuildTcpRequest(std::string_view command, std::string_view address, uint16_t port, std::string_view data) {
  std::string line = std::string(command) + " " + std::string(address) + ":" + std::to_string(port);
  if (!data.empty()) line += " " + std::string(data);
  return line;
}

std::optional<uint8_t> TcpModeFromName(std::string_view name) {
  if (name.empty()) return uint8_t{tcmAllReports};
  if (!name.starts_with(ModePrefix)) return std::nullopt;
  name.remove_prefix(ModePrefix.size());
  for (size_t i = 0; i < LogModeNames.size(); ++i)
    if (name == LogModeNames[i]) return static_cast<uint8_t>(tcmFirstLog + i);
  return std::nullopt;
}

std::string TcpModeRequestName(uint8_t mode) {
  if (mode < tcmFirstLog || mode > tcmLastLog) return {};
  return std::string(ModePrefix) + std::string(LogModeNames[mode - tcmFirstLog]);
}

std::string TcpModeText(uint8_t mode) {
  switch (mode) {
    case tcmAllReports: return "all Reports";
    case 0: return "PHASE";
    case 2: return "FREQ";
    case 4: return "PHASEDIFF";
    default: break;
  }
  if (mode >= tcmFirstLog && mode <= tcmLastLog) return std::string(LogModeNames[mode - tcmFirstLog]);
  return IntToHex(mode, 2);
}

std::vector<std::string> SplitAddressList(std::string_view text) {
  std::vector<std::string> entries;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = std::min(text.find_first_of(",; \t", start), text.size());
    if (end > start) entries.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return entries;
}

std::optional<TDateTime> ParseArchiveStampDays(std::string_view text) {
  const std::optional<TArchiveTime> stamp = ParseArchiveStamp(std::string(text));
  if (!stamp) return std::nullopt;
  return ArchiveToDateTime(*stamp);
}

std::string ArchiveStampText(TDateTime utc) { return ArchiveStampText(DateTimeToArchive(utc)); }

#include "acquisition/QV_SourceResult.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <optional>

TMultiResult MultiResultFromQV(TQV_Result result) {
  switch (result) {
    case QV_No_Err:
      return mrOk;
    case QV_WriteError:
      return mrWriteError;
    case QV_Err_ServerDown:
      return mrServerDown;
    case QV_DeviceNotConnected:
    case QV_Err_EndOfFile:
    case QV_Err_Disconnected:
      return mrNotConnected;
    case QV_Err_ReceiveBufferOverflow:
      return mrBufferOverflow;
    case QV_HardwareFault:
      return mrHardwareFault;
    case QV_CmdIgnored:
      return mrCmdIgnored;
    case QV_Err_Reconnected:
      return mrReconnected;
    case QV_No_Err_Recovered:
      return mrRecovered;
    case QV_Err_Exception:
      return mrException;
    default:
      return mrError;
  }
}

bool CopyToCallerBuffer(std::string_view text, char* buffer, size_t bufferSize) {
  if (buffer == nullptr || bufferSize == 0) return !text.empty();
  const size_t count = std::min(text.size(), bufferSize - 1);
  std::memcpy(buffer, text.data(), count);
  buffer[count] = '\0';
  return count < text.size();
}

TMultiResult CutResult(TMultiResult code, bool cut) { return code == mrOk && cut ? mrOkTextCut : code; }

std::string SourceNotFoundText(int32_t id) { return "Source-ID " + std::to_string(id) + " not found"; }

const char* MultiDllInfo() { return "20.2.7 25-01-07"; }

namespace {

std::optional<uint32_t> TakeNumber(std::string_view& text) {
  const size_t end = std::min(text.find('.'), text.size());
  const std::string_view digits = text.substr(0, end);
  if (digits.empty() || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  uint32_t value = 0;
  if (std::from_chars(digits.data(), digits.data() + digits.size(), value).ec != std::errc()) return std::nullopt;
  text.remove_prefix(std::min(end + 1, text.size()));
  return value;
}

}  // namespace

bool MultiDllVersionAcceptable(std::string_view info) {
  // The version is the first word ("20.2.7 25-01-07"); a date or anything else may follow.
  std::string_view version = info.substr(0, info.find(' '));
  if (std::count(version.begin(), version.end(), '.') != 2) return false;
  const std::optional<uint32_t> major = TakeNumber(version), minor = TakeNumber(version), patch = TakeNumber(version);
  if (!major || !minor || !patch) return false;
  return *major > 20 || (*major == 20 && *minor >= 2);
}

// Arbitrary request lines of the local data server: parsing must never crash, every refusal must
// carry its answer, and a parsed request must build back into the same line.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "acquisition/QV_TcpRequest.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  std::string answer;
  const std::optional<TTcpRequest> request = ParseTcpRequest(line, answer);
  Check(request ? answer.empty() : answer.starts_with("ERR "));
  if (request) {
    Check(request->Command.size() == 7);
    const std::string built = BuildTcpRequest(request->Command, request->Address, request->Port, request->Data);
    std::string again;
    const std::optional<TTcpRequest> reparsed = ParseTcpRequest(built, again);
    Check(reparsed && reparsed->Address == request->Address && reparsed->Port == request->Port &&
          reparsed->Data == request->Data);
    if (const auto mode = TcpModeFromName(request->Data)) Check(TcpModeRequestName(*mode) == request->Data);
  }
  if (const auto stamp = ParseArchiveStampDays(line)) Check(ArchiveStampText(*stamp) == line);
  SplitAddressList(line);
  return 0;
}

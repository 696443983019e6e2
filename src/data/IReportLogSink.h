#pragma once
#include <cstdint>
#include <string>

// The local data server of the session's source, as far as the counter store feeds it: one log
// line per value kind and sample (logType 0 phase, 1 frequency, 2 phase difference, 5 phase
// predecessor). Called in the report thread under the store's lock.
class IReportLogSink {
 public:
  virtual ~IReportLogSink() = default;
  virtual void TcpReportLog(const std::string& Data, int32_t logType) = 0;
};

#pragma once
#include <cstdint>
#include <string>

// The local data server of the session's source, as far as the data stores feed it: one log
// line per value kind and sample (logType 0 phase, 1 frequency, 2 phase difference, 5 phase
// predecessor; interval counter: 3 values, 4 differences to channel 1). Called in the report thread
// under the store's lock.
class IReportLogSink {
 public:
  virtual ~IReportLogSink() = default;
  virtual void TcpReportLog(const std::string& Data, int32_t logType) = 0;
};

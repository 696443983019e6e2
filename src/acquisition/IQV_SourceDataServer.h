#pragma once
#include <string>

// Where a source forwards every good report line: the local TCP data server that serves this
// source's stream to other instances. The server lives above the source, so the source only knows
// this interface; without a server the source holds none.
class IQV_SourceDataServer {
 public:
  virtual ~IQV_SourceDataServer() = default;
  // One text report line as the source hands it out.
  virtual void TakeDllData(const std::string& reportLine) = 0;
  // One binary record for the archive: a length byte followed by the record, one character a byte.
  virtual void ArchiveData(const std::string& item) = 0;
  // The oldest application-data text a subscriber sent, empty when none waits.
  virtual std::string GetAppData() = 0;
};

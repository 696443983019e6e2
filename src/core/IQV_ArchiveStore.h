#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/CalendarTime.h"
#include "core/StoreDataRecord.h"

// The stored items of one clock hour, read in file order.
class IQV_ArchiveReader {
 public:
  virtual ~IQV_ArchiveReader() = default;
  // The next item; false at the end of the hour or when the file cannot be read further.
  virtual bool Next(TStoreDataRecord& record) = 0;
  // Whether reading stopped on a damaged or unreadable file rather than at its end.
  virtual bool Failed() const = 0;
};

// The archive behind a local data server: it files what the source archives and reads back the
// hours that subscribers ask for. Implemented by the archive store; the server only knows this.
class IQV_ArchiveStore {
 public:
  virtual ~IQV_ArchiveStore() = default;
  virtual void SetStorageEnabled(bool value) = 0;
  // One archive item (each character one byte); kept only while storage is enabled.
  virtual void TakeData(const std::string& item) = 0;
  // Whether the hour of that UTC time has a file.
  virtual bool IsArchiveData(TDateTime utc) const = 0;
  // The items of the hour of that UTC time, or none when that hour cannot be opened.
  virtual std::unique_ptr<IQV_ArchiveReader> OpenHour(TDateTime utc) const = 0;
};

// Makes the store of one server on its folder; throws when the folder cannot serve as an archive.
using TArchiveStoreFactory = std::function<std::unique_ptr<IQV_ArchiveStore>(int32_t logId, const std::string& path)>;

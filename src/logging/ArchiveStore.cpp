#include "logging/ArchiveStore.h"

#include <fstream>

#include "core/ArchiveStamp.h"

namespace {

// Reads one hour file record by record, so that replaying an hour holds one minute in memory. A
// length beyond the bytes left ends the reading as a damaged file, before anything is allocated.
class THourReader : public IQV_ArchiveReader {
 public:
  explicit THourReader(const std::string& file) : FIn(file, std::ios::binary) {
    FIn.seekg(0, std::ios::end);
    FLeft = FIn ? static_cast<uint64_t>(FIn.tellg()) : 0;
    FIn.seekg(0);
    FFailed = !FIn;
  }

  bool Next(TStoreDataRecord& record) override {
    if (FFailed || FLeft == 0) return false;
    std::string head(StoreDataHeadSize, '\0');
    if (FLeft < StoreDataHeadSize || !FIn.read(head.data(), std::streamsize(head.size()))) return Fail();
    FLeft -= StoreDataHeadSize;
    const TStoreDataHead parsed = ParseStoreDataHead(head);
    if (parsed.DataLength > FLeft) return Fail();
    record.StartTime = parsed.StartTime;
    record.EndTime = parsed.EndTime;
    record.Data.assign(parsed.DataLength, '\0');
    if (!FIn.read(record.Data.data(), std::streamsize(parsed.DataLength))) return Fail();
    FLeft -= parsed.DataLength;
    return true;
  }

  bool Failed() const override { return FFailed; }

 private:
  bool Fail() {
    FFailed = true;
    return false;
  }

  std::ifstream FIn;
  uint64_t FLeft = 0;
  bool FFailed = false;
};

}  // namespace

TArchiveStore::TArchiveStore(int32_t logId, const std::string& path, const TClock& clock) : FStore(logId, path, clock) {}

void TArchiveStore::SetStorageEnabled(bool value) {
  std::lock_guard lock(FLock);
  FStore.SetStorageEnabled(value);
}

void TArchiveStore::TakeData(const std::string& item) {
  std::lock_guard lock(FLock);
  FStore.TakeData(item);
}

bool TArchiveStore::IsArchiveData(TDateTime utc) const { return FStore.IsArchiveData(DateTimeToArchive(utc)); }

std::unique_ptr<IQV_ArchiveReader> TArchiveStore::OpenHour(TDateTime utc) const {
  if (!IsArchiveData(utc)) return nullptr;
  return std::make_unique<THourReader>(FStore.GetArchiveFilename(DateTimeToArchive(utc)));
}

TArchiveStoreFactory TArchiveStore::Factory() {
  return [](int32_t logId, const std::string& path) -> std::unique_ptr<IQV_ArchiveStore> {
    return std::make_unique<TArchiveStore>(logId, path, SystemClock());
  };
}

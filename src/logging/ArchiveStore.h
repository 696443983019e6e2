#pragma once
#include <memory>
#include <mutex>
#include <string>

#include "core/Clock.h"
#include "core/IQV_ArchiveStore.h"
#include "logging/StoreDataClass.h"

// The archive of a local data server on its folder: what the source archives is filed into minute
// and hour files, and the hours that subscribers ask for are read back from them.
class TArchiveStore : public IQV_ArchiveStore {
 public:
  // Throws EStoreDataLocked when another writer holds the folder.
  TArchiveStore(int32_t logId, const std::string& path, const TClock& clock);

  void SetStorageEnabled(bool value) override;
  void TakeData(const std::string& item) override;
  bool IsArchiveData(TDateTime utc) const override;
  std::unique_ptr<IQV_ArchiveReader> OpenHour(TDateTime utc) const override;

  // The factory the local data servers use: a store on the server's folder with the wall clock.
  static TArchiveStoreFactory Factory();

 private:
  std::mutex FLock;  // the switch is set by the server's thread, items come from the report thread
  TStoreDataClass FStore;
};

#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/StoreDataRecord.h"

// Receiver of the archive's error texts.
using TNotifyError = std::function<void(const std::string& text)>;

// Reads archive and minute files back. Every read error is reported as "Error on reading file: " +
// file + CR LF + the reason and makes the call return false; a damaged or truncated file never makes
// it allocate more than the file holds.
class TStoreDataLoader {
 public:
  explicit TStoreDataLoader(int aLogId);

  // The whole file as bytes.
  bool LoadFromFile(const std::string& filename, std::string& content) const;
  // Every record from the start; after a damaged record `records` holds those before it.
  bool LoadFromFile(const std::string& filename, std::vector<TStoreDataRecord>& records) const;
  // The number of records, walking the heads without reading the data.
  bool LoadRecordCountFromFile(const std::string& filename, uint32_t& count) const;

  void SetOnError(TNotifyError handler) { FOnError = std::move(handler); }

 private:
  void ReadError(const std::string& filename, const std::string& reason) const;

  int FLogId;
  TNotifyError FOnError;
};

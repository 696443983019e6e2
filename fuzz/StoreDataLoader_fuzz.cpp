#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "FuzzScratchFolder.h"
#include "logging/StoreDataLoader.h"

// Archive files as a server reads them for a replay: any bytes never crash or allocate beyond the
// file; the count agrees with the records read, and both fail together.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TFuzzScratchFolder folder;
  const std::string file = folder.Path() + "archive.dat";
  std::ofstream(file, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data), std::streamsize(size));

  TStoreDataLoader loader(-1);
  loader.SetOnError([](const std::string&) {});
  std::vector<TStoreDataRecord> records;
  const bool read = loader.LoadFromFile(file, records);
  uint32_t count = 0;
  const bool counted = loader.LoadRecordCountFromFile(file, count);
  if (read != counted || (read && count != records.size())) __builtin_trap();
  size_t bytes = 0;
  for (const TStoreDataRecord& rec : records) bytes += StoreDataHeadSize + rec.Data.size();
  if (bytes > size) __builtin_trap();
  return 0;
}

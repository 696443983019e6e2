#include "logging/StoreDataLoader.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string_view>

#include "core/LogUnit.h"

TStoreDataLoader::TStoreDataLoader(int aLogId) : FLogId(aLogId) {}

void TStoreDataLoader::ReadError(const std::string& filename, const std::string& reason) const {
  const std::string text = "Error on reading file: " + filename + "\r\n" + reason;
  if (FOnError)
    FOnError(text);
  else
    LogError(FLogId, "### StoreDataLoader " + text);
}

bool TStoreDataLoader::LoadFromFile(const std::string& filename, std::string& content) const {
  std::ifstream file(filename, std::ios::binary);
  if (!file) {
    ReadError(filename, std::strerror(errno));
    return false;
  }
  content.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  if (file.bad()) {
    ReadError(filename, "read failed");
    return false;
  }
  return true;
}

bool TStoreDataLoader::LoadFromFile(const std::string& filename, std::vector<TStoreDataRecord>& records) const {
  std::string content;
  if (!LoadFromFile(filename, content)) return false;
  std::string_view rest(content);
  while (!rest.empty()) {
    TStoreDataRecord rec;
    std::string error;
    if (!TakeStoreDataRecord(rest, rec, error)) {
      ReadError(filename, error + " at offset " + std::to_string(content.size() - rest.size()));
      return false;
    }
    records.push_back(std::move(rec));
  }
  return true;
}

bool TStoreDataLoader::LoadRecordCountFromFile(const std::string& filename, uint32_t& count) const {
  std::ifstream file(filename, std::ios::binary | std::ios::ate);
  if (!file) {
    ReadError(filename, std::strerror(errno));
    return false;
  }
  const uint64_t size = uint64_t(file.tellg());
  uint64_t at = 0;
  count = 0;
  char head[StoreDataHeadSize];
  while (at < size) {
    file.seekg(std::streamoff(at));
    if (size - at < StoreDataHeadSize || !file.read(head, StoreDataHeadSize)) {
      ReadError(filename, "Record head truncated at offset " + std::to_string(at));
      return false;
    }
    const uint64_t next = at + StoreDataHeadSize + ParseStoreDataHead(std::string_view(head, sizeof head)).DataLength;
    if (next > size) {
      ReadError(filename, "Record data truncated at offset " + std::to_string(at));
      return false;
    }
    at = next;
    ++count;
  }
  return true;
}

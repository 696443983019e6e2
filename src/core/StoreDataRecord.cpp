#include "core/StoreDataRecord.h"

#include <bit>
#include <cstring>

namespace {

static_assert(std::endian::native == std::endian::little, "archive records are written little-endian");

void AppendRaw(std::string& out, const void* value, size_t size) {
  out.append(static_cast<const char*>(value), size);
}

template <typename T>
T ReadRaw(std::string_view bytes, size_t at) {
  T value;
  std::memcpy(&value, bytes.data() + at, sizeof value);
  return value;
}

}  // namespace

void AppendStoreDataRecord(std::string& out, const TStoreDataRecord& rec) {
  const uint32_t length = static_cast<uint32_t>(rec.Data.size());
  AppendRaw(out, &rec.StartTime, 8);
  AppendRaw(out, &rec.EndTime, 8);
  AppendRaw(out, &length, 4);
  out += rec.Data;
}

std::string StoreDataRecordBytes(const TStoreDataRecord& rec) {
  std::string out;
  out.reserve(StoreDataHeadSize + rec.Data.size());
  AppendStoreDataRecord(out, rec);
  return out;
}

TStoreDataHead ParseStoreDataHead(std::string_view head) {
  return {ReadRaw<double>(head, 0), ReadRaw<double>(head, 8), ReadRaw<uint32_t>(head, 16)};
}

bool TakeStoreDataRecord(std::string_view& bytes, TStoreDataRecord& rec, std::string& error) {
  if (bytes.size() < StoreDataHeadSize) {
    error = "Record head truncated: " + std::to_string(bytes.size()) + " of 20 bytes";
    return false;
  }
  const TStoreDataHead head = ParseStoreDataHead(bytes);
  if (head.DataLength > bytes.size() - StoreDataHeadSize) {
    error = "Record data truncated: " + std::to_string(bytes.size() - StoreDataHeadSize) + " of " +
            std::to_string(head.DataLength) + " bytes";
    return false;
  }
  rec.StartTime = head.StartTime;
  rec.EndTime = head.EndTime;
  rec.Data.assign(bytes.substr(StoreDataHeadSize, head.DataLength));
  bytes.remove_prefix(StoreDataHeadSize + head.DataLength);
  return true;
}

#include "acquisition/QV_ArchiveItem.h"

#include <cstdint>

namespace {

uint32_t Value32(std::string_view record) {
  uint32_t value = 0;
  for (size_t i = 2; i < 6; ++i) value = (value << 8) | static_cast<uint8_t>(record[i]);
  return value;
}

void PutValue32(std::string& record, uint32_t value) {
  for (size_t i = 5; i >= 2; --i, value >>= 8) record[i] = static_cast<char>(value & 0xFF);
}

bool Archived(uint16_t header) {
  if (header < 0xF000) header &= 0x7FFF;
  return header < 0x7000 || header == 0x7015 || header == 0x7900 || header > 0x7EFF;
}

}  // namespace

std::optional<std::string> ArchiveItem(std::string_view record) {
  // The length byte holds up to 255; a record that does not fit or has no header is not archived.
  if (record.size() < 2 || record.size() > 255) return std::nullopt;
  std::string copy(record);
  uint16_t header = static_cast<uint16_t>((static_cast<uint8_t>(copy[0]) << 8) | static_cast<uint8_t>(copy[1]));
  if (header == 0x7016 && copy.size() >= 6 && Value32(copy) % 10 == 0) {
    header = 0x7015;
    copy[1] = 0x15;
    PutValue32(copy, Value32(copy) / 10);
  }
  if (!Archived(header)) return std::nullopt;
  return std::string(1, static_cast<char>(copy.size())) + copy;
}

#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "devices/QV_TransmitBlock.h"

// Cuts what arrived on a data connection into whole blocks, keeping an incomplete tail.
inline std::vector<TQV_TransmitBlock> TakeTransmitBlocks(std::string& bytes) {
  std::vector<TQV_TransmitBlock> blocks;
  for (;;) {
    const size_t size = TransmitBlockSize(bytes);
    if (size == 0 || bytes.size() < size) break;
    TQV_TransmitBlock block;
    if (ParseTransmitBlock(std::string_view(bytes).substr(0, size), block)) blocks.push_back(block);
    bytes.erase(0, size);
  }
  return blocks;
}

struct TCdcHeader {
  uint32_t Size = 0, ByteCount = 0, Offset = 0, Flags = 0, WritePtr = 0, ReadPtr = 0;
  std::string Data;  // the new bytes of the window
};

inline uint32_t BigEndianWord(const std::string& s, size_t at) {
  uint32_t v = 0;
  for (size_t i = 0; i < 4; ++i) v = v << 8 | static_cast<uint8_t>(s[at + i]);
  return v;
}

inline std::vector<TCdcHeader> TakeCdcBlocks(std::string& bytes) {
  std::vector<TCdcHeader> blocks;
  while (bytes.size() >= 32) {
    TCdcHeader h{BigEndianWord(bytes, 4), BigEndianWord(bytes, 8), BigEndianWord(bytes, 12),
                 BigEndianWord(bytes, 16), BigEndianWord(bytes, 20), BigEndianWord(bytes, 24), {}};
    if (bytes.size() < 32 + h.Size) break;
    h.Data = bytes.substr(32 + (h.Offset & (h.Size - 1)), h.ByteCount);
    bytes.erase(0, 32 + h.Size);
    blocks.push_back(h);
  }
  return blocks;
}

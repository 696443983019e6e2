#pragma once
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// A fixed number of the newest text lines; a new line overwrites the oldest when full.
// Every operation holds the buffer's lock, so one thread may add while another reads.
class TCircularStringBuffer {
 public:
  // Throws std::invalid_argument for a count below 1, which could hold nothing.
  TCircularStringBuffer(int32_t countOfStrings, int32_t aLogId);

  // Returns the slot that was written.
  int32_t Add(const std::string& value);
  void Clear();
  void ClearOldest(int32_t aCount);
  // Index 0 is the oldest entry; DefaultValue for an index outside the stored entries.
  std::string GetValue(int32_t index) const;
  int32_t AvailableSpace() const;
  int32_t Count() const;
  int32_t Size() const { return FSize; }

  std::string DefaultValue;

 private:
  int32_t Wrap(int64_t index) const;

  int32_t FLogId;
  mutable std::mutex FLockObj;
  std::vector<std::string> FBuffer;
  int32_t FSize;
  int32_t FFirstIndex = 0;
  int32_t FWriteIndex = 0;
  int32_t FAmount = 0;
};

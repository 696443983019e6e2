#include "core/CircularStringBuffer.h"

#include <algorithm>
#include <stdexcept>

namespace {
int32_t CheckedSize(int32_t countOfStrings) {
  if (countOfStrings < 1) {
    throw std::invalid_argument("TCircularStringBuffer: count of strings must be at least 1, got " +
                                std::to_string(countOfStrings));
  }
  return countOfStrings;
}
}  // namespace

TCircularStringBuffer::TCircularStringBuffer(int32_t countOfStrings, int32_t aLogId)
    : FLogId(aLogId), FBuffer(CheckedSize(countOfStrings)), FSize(countOfStrings) {}

int32_t TCircularStringBuffer::Wrap(int64_t index) const {
  const int64_t wrapped = index % FSize;
  return static_cast<int32_t>(wrapped < 0 ? wrapped + FSize : wrapped);
}

int32_t TCircularStringBuffer::Add(const std::string& value) {
  std::lock_guard lock(FLockObj);
  const int32_t slot = FWriteIndex;
  FBuffer[slot] = value;
  FWriteIndex = Wrap(int64_t{slot} + 1);
  if (FAmount == FSize) {
    FFirstIndex = Wrap(int64_t{FFirstIndex} + 1);
  } else {
    ++FAmount;
  }
  return slot;
}

void TCircularStringBuffer::Clear() {
  std::lock_guard lock(FLockObj);
  for (std::string& entry : FBuffer) entry.clear();
  FFirstIndex = 0;
  FWriteIndex = 0;
  FAmount = 0;
}

void TCircularStringBuffer::ClearOldest(int32_t aCount) {
  std::lock_guard lock(FLockObj);
  const int32_t count = std::clamp(aCount, 0, FAmount);
  for (int32_t i = 0; i < count; ++i) {
    FBuffer[FFirstIndex].clear();
    FFirstIndex = Wrap(int64_t{FFirstIndex} + 1);
  }
  FAmount -= count;
}

std::string TCircularStringBuffer::GetValue(int32_t index) const {
  std::lock_guard lock(FLockObj);
  if (index < 0 || index >= FAmount) return DefaultValue;
  return FBuffer[Wrap(int64_t{FFirstIndex} + index)];
}

int32_t TCircularStringBuffer::AvailableSpace() const {
  std::lock_guard lock(FLockObj);
  return FSize - FAmount;
}

int32_t TCircularStringBuffer::Count() const {
  std::lock_guard lock(FLockObj);
  return FAmount;
}

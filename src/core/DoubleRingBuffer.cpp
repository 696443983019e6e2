#include "core/DoubleRingBuffer.h"

#include <stdexcept>

TDoubleRingBuffer::TDoubleRingBuffer(uint16_t aSize) : FBuffer(aSize), FSize(aSize) {
  if (aSize == 0) throw std::invalid_argument("TDoubleRingBuffer: size must be at least 1");
}

void TDoubleRingBuffer::Add(double aValue) {
  FBuffer[FWriteIndex] = aValue;
  if (FAmount < FSize) ++FAmount;
  FWriteIndex = static_cast<uint16_t>((FWriteIndex + 1) % FSize);
}

double TDoubleRingBuffer::GetAverage() const {
  if (FAmount == 0) return 0.0;
  // When full the oldest value sits at the write slot; otherwise at slot 0.
  const uint16_t oldest = FAmount == FSize ? FWriteIndex : 0;
  double sum = 0.0;
  for (uint32_t i = 0; i < FAmount; ++i) sum += FBuffer[(oldest + i) % FSize];
  return sum / FAmount;
}

void TDoubleRingBuffer::Reset() {
  FAmount = 0;
  FWriteIndex = 0;
}

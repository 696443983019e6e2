#pragma once
#include <cstdint>
#include <vector>

// A fixed number of the newest values and their running mean. Used from one thread; no lock.
class TDoubleRingBuffer {
 public:
  // Throws std::invalid_argument for a size of 0, which could hold nothing.
  explicit TDoubleRingBuffer(uint16_t aSize);

  void Add(double aValue);
  // Mean of the stored values, summed from the oldest to the newest; 0 when empty.
  double GetAverage() const;
  // Forgets the values (they stay in the slots but no longer count).
  void Reset();
  uint16_t Amount() const { return FAmount; }

 private:
  uint16_t FAmount = 0;
  std::vector<double> FBuffer;
  uint16_t FSize;
  uint16_t FWriteIndex = 0;
};

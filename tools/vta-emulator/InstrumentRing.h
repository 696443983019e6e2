#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

#include "InstrumentModel.h"

// One report in the instrument's transmit ring, at its ring address.
struct TRingUnit {
  uint64_t Index = 0;    // running number since the start
  uint32_t Address = 0;  // ring position (bytes or 32-bit words, by transport), modulo RingSize
  uint32_t Size = 0;     // in the same units
  TEmulatedReport Report;
};

// The instrument's transmit ring: every report in order, each reader (user or line) keeps its own
// position in it. The oldest reports fall out when the ring is full, as they do on the instrument.
class TInstrumentRing {
 public:
  static constexpr uint32_t RingSize = 0x20000;

  void Append(const TEmulatedReport& report, uint32_t size);
  // Up to maxUnits reports from index on. An index that has fallen out of the ring moves to the
  // oldest report still there.
  std::vector<TRingUnit> From(uint64_t& index, size_t maxUnits) const;
  // Waits until a report at index or later is there, at most timeout; false when none came.
  bool WaitFor(uint64_t index, std::chrono::milliseconds timeout) const;
  uint64_t EndIndex() const;
  uint32_t EndAddress() const;
  std::optional<uint64_t> IndexOfAddress(uint32_t address) const;

 private:
  mutable std::mutex FMutex;
  mutable std::condition_variable FArrived;
  std::deque<TRingUnit> FUnits;
  uint64_t FEndIndex = 0;
  uint32_t FEndAddress = 0;
  uint64_t FHeld = 0;  // size of the reports held
};

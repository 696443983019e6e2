#include "InstrumentRing.h"

void TInstrumentRing::Append(const TEmulatedReport& report, uint32_t size) {
  {
    std::lock_guard lock(FMutex);
    FUnits.push_back({FEndIndex++, FEndAddress, size, report});
    FEndAddress = (FEndAddress + size) % RingSize;
    FHeld += size;
    while (FHeld > RingSize) {
      FHeld -= FUnits.front().Size;
      FUnits.pop_front();
    }
  }
  FArrived.notify_all();
}

std::vector<TRingUnit> TInstrumentRing::From(uint64_t& index, size_t maxUnits) const {
  std::lock_guard lock(FMutex);
  std::vector<TRingUnit> units;
  if (FUnits.empty()) return units;
  index = std::max(index, FUnits.front().Index);
  for (size_t i = index - FUnits.front().Index; i < FUnits.size() && units.size() < maxUnits; ++i)
    units.push_back(FUnits[i]);
  return units;
}

bool TInstrumentRing::WaitFor(uint64_t index, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(FMutex);
  return FArrived.wait_for(lock, timeout, [&] { return FEndIndex > index; });
}

uint64_t TInstrumentRing::EndIndex() const {
  std::lock_guard lock(FMutex);
  return FEndIndex;
}

uint32_t TInstrumentRing::EndAddress() const {
  std::lock_guard lock(FMutex);
  return FEndAddress;
}

std::optional<uint64_t> TInstrumentRing::IndexOfAddress(uint32_t address) const {
  std::lock_guard lock(FMutex);
  for (const TRingUnit& unit : FUnits)
    if (unit.Address == address % RingSize) return unit.Index;
  return std::nullopt;
}

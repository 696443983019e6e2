#include "acquisition/ReportLineTap.h"

#include <algorithm>

TReportLineTap::TReportLineTap(size_t capacity) : FRing(std::max<size_t>(capacity, 1)) {}

void TReportLineTap::Add(const std::string& line) {
  const std::lock_guard lock(FLock);
  // assign() reuses the slot's storage, so a full ring adds lines without allocating.
  FRing[FAdded % FRing.size()].assign(line);
  ++FAdded;
  if (FAdded - FFirstKept > FRing.size()) FFirstKept = FAdded - FRing.size();
}

TReportLineTap::TLines TReportLineTap::Since(uint64_t from) const {
  const std::lock_guard lock(FLock);
  TLines result;
  const uint64_t first = std::max(from, FFirstKept);
  result.Lines.reserve(FAdded > first ? FAdded - first : 0);
  for (uint64_t n = first; n < FAdded; ++n) result.Lines.push_back(FRing[n % FRing.size()]);
  result.Next = FAdded;
  return result;
}

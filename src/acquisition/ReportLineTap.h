#pragma once
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// The last report lines a session processed, for a window to show. The report thread adds each
// line; a window copies the lines it has not seen yet. Only the last Capacity lines are kept, so
// a window that looks seldom misses the oldest lines but the tap never grows, and the report
// thread never waits longer than one short copy under the lock.
class TReportLineTap {
 public:
  static constexpr size_t kDefaultCapacity = 256;

  explicit TReportLineTap(size_t capacity = kDefaultCapacity);

  // Report thread: one more line.
  void Add(const std::string& line);

  struct TLines {
    std::vector<std::string> Lines;  // oldest first
    uint64_t Next = 0;               // the position to ask for next time
  };
  // Window thread: the kept lines from position `from` on (0 = from the first line ever added).
  TLines Since(uint64_t from) const;

  size_t Capacity() const { return FRing.size(); }

 private:
  mutable std::mutex FLock;
  std::vector<std::string> FRing;  // line n sits at n % capacity
  uint64_t FAdded = 0;             // lines added in all
  uint64_t FFirstKept = 0;         // oldest position still in the ring
};

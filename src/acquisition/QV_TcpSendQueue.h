#pragma once
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

// The items waiting for one subscriber's writer, bounded by their bytes so that a subscriber that
// cannot keep up costs at most the bound. Producers never wait in Push; the writer sleeps on its
// own condition variable until something is queued or the queue is stopped. Between two batches the
// writer lets items gather for a while, so that a steady stream costs a few wake-ups per second
// instead of one per line; a queue half full ends the gathering early.
class TTcpSendQueue {
 public:
  explicit TTcpSendQueue(size_t limitBytes) : FLimitBytes(limitBytes) {}

  // False when the item does not fit under the bound or the queue is stopped.
  bool Push(std::string item);
  // Waits up to `limit` for room (for bulk senders that are not the report thread).
  bool PushWait(std::string item, std::chrono::milliseconds limit);
  // Lets items gather for up to `gather`, then waits for items and moves all of them into `batch`;
  // false once stopped and nothing is left.
  bool TakeAll(std::vector<std::string>& batch, std::chrono::milliseconds gather = {});
  // Wakes the writer and every waiting producer; later pushes are refused.
  void Stop();

  size_t Count() const;
  size_t Bytes() const;
  size_t LimitBytes() const { return FLimitBytes; }

 private:
  bool FitsLocked(const std::string& item) const { return FBytes + item.size() <= FLimitBytes; }
  bool HalfFullLocked() const { return FBytes >= FLimitBytes / 2; }
  // Adds the item; true when the writer must be woken for it.
  bool AddLocked(std::string item);

  const size_t FLimitBytes;
  mutable std::mutex FLock;
  std::condition_variable FFilled;
  std::condition_variable FDrained;
  std::deque<std::string> FItems;
  size_t FBytes = 0;
  bool FStopped = false;
  bool FTakerWaiting = false;  // the writer waits for a first item
};

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
// own condition variable until something is queued or the queue is stopped.
class TTcpSendQueue {
 public:
  explicit TTcpSendQueue(size_t limitBytes) : FLimitBytes(limitBytes) {}

  // False when the item does not fit under the bound or the queue is stopped.
  bool Push(std::string item);
  // Waits up to `limit` for room (for bulk senders that are not the report thread).
  bool PushWait(std::string item, std::chrono::milliseconds limit);
  // Waits for items and moves all of them into `batch`; false once stopped and nothing is left.
  bool TakeAll(std::vector<std::string>& batch);
  // Wakes the writer and every waiting producer; later pushes are refused.
  void Stop();

  size_t Count() const;
  size_t Bytes() const;
  size_t LimitBytes() const { return FLimitBytes; }

 private:
  bool FitsLocked(const std::string& item) const { return FBytes + item.size() <= FLimitBytes; }
  void AddLocked(std::string item);

  const size_t FLimitBytes;
  mutable std::mutex FLock;
  std::condition_variable FFilled;
  std::condition_variable FDrained;
  std::deque<std::string> FItems;
  size_t FBytes = 0;
  bool FStopped = false;
};

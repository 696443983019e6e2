#include "acquisition/QV_TcpSendQueue.h"

bool TTcpSendQueue::Push(std::string item) {
  bool wake;
  {
    std::lock_guard lock(FLock);
    if (FStopped || !FitsLocked(item)) return false;
    wake = AddLocked(std::move(item));
  }
  if (wake) FFilled.notify_one();
  return true;
}

bool TTcpSendQueue::PushWait(std::string item, std::chrono::milliseconds limit) {
  bool wake;
  {
    std::unique_lock lock(FLock);
    if (item.size() > FLimitBytes) return false;
    if (!FDrained.wait_for(lock, limit, [&] { return FStopped || FitsLocked(item); }) || FStopped) return false;
    wake = AddLocked(std::move(item));
  }
  if (wake) FFilled.notify_one();
  return true;
}

bool TTcpSendQueue::AddLocked(std::string item) {
  const bool wasHalfFull = HalfFullLocked();
  FBytes += item.size();
  FItems.push_back(std::move(item));
  return FTakerWaiting || (!wasHalfFull && HalfFullLocked());
}

bool TTcpSendQueue::TakeAll(std::vector<std::string>& batch, std::chrono::milliseconds gather) {
  batch.clear();
  {
    std::unique_lock lock(FLock);
    if (gather.count() > 0) FFilled.wait_for(lock, gather, [&] { return FStopped || HalfFullLocked(); });
    FTakerWaiting = true;
    FFilled.wait(lock, [&] { return FStopped || !FItems.empty(); });
    FTakerWaiting = false;
    if (FItems.empty()) return false;
    batch.assign(std::make_move_iterator(FItems.begin()), std::make_move_iterator(FItems.end()));
    FItems.clear();
    FBytes = 0;
  }
  FDrained.notify_all();
  return true;
}

void TTcpSendQueue::Stop() {
  {
    std::lock_guard lock(FLock);
    FStopped = true;
  }
  FFilled.notify_all();
  FDrained.notify_all();
}

size_t TTcpSendQueue::Count() const {
  std::lock_guard lock(FLock);
  return FItems.size();
}

size_t TTcpSendQueue::Bytes() const {
  std::lock_guard lock(FLock);
  return FBytes;
}

#include "devices/CanAdapterThread.h"

#include <QAbstractEventDispatcher>
#include <QEventLoop>

#include "core/ThreadName.h"

TCanAdapterThread::TCanAdapterThread(std::string name) : FName(std::move(name)) {
  FThread = std::thread([this] { Execute(); });
  std::unique_lock lock(FLock);
  FChanged.wait(lock, [this] { return FDispatcher != nullptr; });
}

TCanAdapterThread::~TCanAdapterThread() {
  {
    std::lock_guard lock(FLock);
    FStop = true;
  }
  WakeUp();
  FThread.join();
}

void TCanAdapterThread::WakeUp() {
  std::lock_guard lock(FLock);
  if (FDispatcher) FDispatcher->wakeUp();
}

void TCanAdapterThread::Run(const std::function<void()>& work) {
  TTask task{&work};
  {
    std::lock_guard lock(FLock);
    FTasks.push_back(&task);
  }
  WakeUp();
  std::unique_lock lock(FLock);
  FChanged.wait(lock, [&] { return task.Done; });
}

void TCanAdapterThread::Execute() {
  NameThisThread(FName.c_str());
  QEventLoop loop;  // gives this thread its event dispatcher
  {
    std::lock_guard lock(FLock);
    FDispatcher = QAbstractEventDispatcher::instance();
  }
  FChanged.notify_all();
  for (;;) {
    loop.processEvents(QEventLoop::WaitForMoreEvents);
    std::deque<TTask*> tasks;
    bool stop;
    {
      std::lock_guard lock(FLock);
      tasks.swap(FTasks);
      stop = FStop;
    }
    for (TTask* task : tasks) {
      (*task->Work)();
      std::lock_guard lock(FLock);
      task->Done = true;
    }
    if (!tasks.empty()) FChanged.notify_all();
    if (stop) break;
  }
  std::lock_guard lock(FLock);
  FDispatcher = nullptr;
}

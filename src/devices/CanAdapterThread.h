#pragma once
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class QAbstractEventDispatcher;

// A thread with a Qt event loop for the Qt SerialBus devices, which must be used on the thread that
// made them. Work reaches it through a queue under our own lock rather than through Qt's posted
// events, so that the thread sanitizer sees every hand-over.
class TCanAdapterThread {
 public:
  explicit TCanAdapterThread(std::string name);
  // Runs the remaining work, then ends and joins the thread.
  ~TCanAdapterThread();
  TCanAdapterThread(const TCanAdapterThread&) = delete;
  TCanAdapterThread& operator=(const TCanAdapterThread&) = delete;

  // Runs `work` on the thread and returns when it is done.
  void Run(const std::function<void()>& work);

 private:
  struct TTask {
    const std::function<void()>* Work;
    bool Done = false;
  };
  void Execute();
  void WakeUp();

  std::string FName;
  std::mutex FLock;
  std::condition_variable FChanged;
  std::deque<TTask*> FTasks;
  QAbstractEventDispatcher* FDispatcher = nullptr;  // the thread's, once its loop exists
  bool FStop = false;
  std::thread FThread;
};

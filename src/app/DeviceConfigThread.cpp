#include "app/DeviceConfigThread.h"

#include <cstdio>

#include "core/ThreadName.h"

TDeviceConfigThread::TDeviceConfigThread(TSend send, TProgress progress, TFinished finished,
                                         std::chrono::milliseconds stepLimit, std::chrono::milliseconds poll)
    : FSend(std::move(send)),
      FProgress(std::move(progress)),
      FFinished(std::move(finished)),
      FStepLimit(stepLimit),
      FPoll(poll) {}

TDeviceConfigThread::~TDeviceConfigThread() {
  Cancel();
  Join();
}

std::string TDeviceConfigThread::StepText(size_t index, size_t count, const std::string& cmdText) {
  return "Step " + std::to_string(index + 1) + " of " + std::to_string(count) + ": " + cmdText;
}

std::string TDeviceConfigThread::NotConfirmedText(const std::string& cmdText, std::chrono::milliseconds limit) {
  const auto seconds = std::chrono::duration<double>(limit).count();
  char text[32];
  std::snprintf(text, sizeof text, "%g", seconds);
  return cmdText + " not confirmed by the device within " + text + " s";
}

bool TDeviceConfigThread::Start(std::vector<TDeviceConfigStep> steps) {
  if (FRunning.load()) return false;
  Join();
  {
    std::lock_guard lock(FLock);
    FCancel = false;
  }
  FRunning = true;
  FThread = std::thread([this, steps = std::move(steps)]() mutable { Run(std::move(steps)); });
  return true;
}

void TDeviceConfigThread::Cancel() {
  {
    std::lock_guard lock(FLock);
    FCancel = true;
  }
  FWake.notify_all();
}

void TDeviceConfigThread::Join() {
  if (FThread.joinable()) FThread.join();
}

bool TDeviceConfigThread::Cancelled() {
  std::lock_guard lock(FLock);
  return FCancel;
}

void TDeviceConfigThread::Run(std::vector<TDeviceConfigStep> steps) {
  NameThisThread("DeviceConfig");
  bool ok = true;
  std::string result = steps.empty() ? kNothing : kDone;
  for (size_t i = 0; i < steps.size(); ++i) {
    if (Cancelled()) {
      ok = false;
      result = kCancelled;
      break;
    }
    if (FProgress) FProgress(i, steps.size(), StepText(i, steps.size(), steps[i].CmdText));
    FSend(steps[i].Cmd, steps[i].CmdText);
    if (!WaitConfirmed(steps[i])) {
      ok = false;
      result = Cancelled() ? kCancelled : NotConfirmedText(steps[i].CmdText, FStepLimit);
      break;
    }
  }
  if (ok && FProgress) FProgress(steps.size(), steps.size(), result);
  FRunning = false;
  if (FFinished) FFinished(ok, result);
}

bool TDeviceConfigThread::WaitConfirmed(const TDeviceConfigStep& step) {
  if (!step.Confirmed) return true;
  const auto end = std::chrono::steady_clock::now() + FStepLimit;
  std::unique_lock lock(FLock);
  while (!FCancel) {
    lock.unlock();
    const bool confirmed = step.Confirmed();
    lock.lock();
    if (confirmed) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    FWake.wait_for(lock, FPoll, [this] { return FCancel; });
  }
  return false;
}

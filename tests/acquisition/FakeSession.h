#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

#include "acquisition/App_Sessions.h"
#include "data/App_DataManagement.h"

// A data store with nothing of its own, for sessions under test.
class TFakeStore : public TDataManagement {
  friend class TDataManagement;

 protected:
  TFakeStore(int32_t logId, int32_t index, bool isCopy) : TDataManagement(logId, index, isCopy, "TFakeStore") {}
};

// What a fake session did, kept beyond the session's life. Everything here may be read while the
// report thread polls.
struct TFakeProbe {
  std::atomic<int> Polls{0};
  std::atomic<bool> InPoll{false};
  std::atomic<bool> Throw{false};
  std::atomic<bool> Busy{false};
  std::atomic<int> Closes{0};
  std::atomic<bool> Destroyed{false};
  std::atomic<bool> DestroyedDuringPoll{false};
  std::atomic<bool> ClosedDuringPoll{false};
  std::function<void()> OnPoll;  // runs inside each poll; set before polling starts
  std::string DebugError;        // returned by Debug

  // Every poll waits while blocked.
  void Block() {
    std::lock_guard lock(FLock);
    FBlocked = true;
  }
  // Notifies under the lock: once the poll may go on, the session (and this probe with it) may be
  // freed by the report thread, so nothing here may be touched after the unlock.
  void Release() {
    std::lock_guard lock(FLock);
    FBlocked = false;
    FChanged.notify_all();
  }
  // Bounded waits for what the report thread does.
  bool WaitForPolls(int n, std::chrono::seconds limit = std::chrono::seconds(10)) {
    std::unique_lock lock(FLock);
    return FChanged.wait_for(lock, limit, [&] { return Polls.load() >= n; });
  }
  bool WaitUntilInPoll(std::chrono::seconds limit = std::chrono::seconds(10)) {
    std::unique_lock lock(FLock);
    return FChanged.wait_for(lock, limit, [&] { return InPoll.load(); });
  }

  bool Poll() {
    {
      std::unique_lock lock(FLock);
      InPoll = true;
      ++Polls;
      FChanged.notify_all();
      FChanged.wait(lock, [&] { return !FBlocked; });
    }
    if (OnPoll) OnPoll();
    InPoll = false;
    if (Throw) throw std::runtime_error("poll failed");
    return Busy;
  }

 private:
  std::mutex FLock;
  std::condition_variable FChanged;
  bool FBlocked = false;
};

class TFakeSession : public TSessionItem {
 public:
  TFakeSession(int32_t index, std::shared_ptr<TFakeProbe> probe, TSessionHandlers handlers, int32_t logId)
      : TSessionItem(logId, index, std::move(handlers)), FProbe(std::move(probe)) {}
  TFakeSession(TFakeSession& original, std::shared_ptr<TFakeProbe> probe)
      : TSessionItem(TCopyOf{original}), FProbe(std::move(probe)) {}

  ~TFakeSession() override {
    BaseDestroy();
    if (FProbe->InPoll) FProbe->DestroyedDuringPoll = true;
    FProbe->Destroyed = true;
  }

  static std::unique_ptr<TFakeSession> Make(int32_t index, const std::string& openString,
                                            std::shared_ptr<TFakeProbe> probe = std::make_shared<TFakeProbe>(),
                                            TSessionHandlers handlers = {}, int32_t logId = -1) {
    auto session = Create<TFakeSession>(index, std::move(probe), std::move(handlers), logId);
    session->SetOpenParams(openString, 0, kDefaultSessionColor, "");
    return session;
  }
  static std::unique_ptr<TFakeSession> MakeCopy(TFakeSession& original) {
    return std::make_unique<TFakeSession>(original, std::make_shared<TFakeProbe>());
  }

  TFakeProbe& Probe() { return *FProbe; }
  void SetRunning(bool value) { SetDeviceOpened(value); }
  void SetType(int32_t type) { FSessionType = type; }
  void Notify(int32_t what, int32_t code) const { AddSync(what, code); }

  void SetChannelData(const TQV_ChannelData& Value) override {
    for (int32_t ch = 1; ch <= TQV_ChannelData::ChannelCount; ++ch) {
      FChannelData.SetChannelColor(ch, Value.ChannelColor(ch));
      FChannelData.SetChannelName(ch, Value.ChannelName(ch));
    }
  }
  std::shared_ptr<TDataManagement> CreateDatamanager() override {
    return TDataManagement::Create<TFakeStore>(LogId(), Index(), IsCopy());
  }
  void AddError(int32_t Code, int32_t SubCode, const std::string& text) override {
    DoMsg(mtError, Code, SubCode, text, true);
  }
  void AddInfo(int32_t Code, int32_t SubCode, const std::string& text) override {
    DoMsg(mtInfo, Code, SubCode, text, true);
  }
  void AddWarning(int32_t Code, int32_t SubCode, const std::string& text) override {
    DoMsg(mtWarning, Code, SubCode, text, true);
  }
  void UpdateOptions(int32_t) override {}
  void SetCommand(const std::string&, const std::string&) override {}
  std::string Debug(bool) override { return FProbe->DebugError; }
  void DebugFlags(bool, bool) override {}
  std::string OpenDevice() override {
    SetDeviceOpened(true);
    return {};
  }
  void CloseDevice(bool) override {
    if (FProbe->InPoll) FProbe->ClosedDuringPoll = true;
    ++FProbe->Closes;
    SetDeviceOpened(false);
  }
  bool GetReport() override { return FProbe->Poll(); }

 private:
  std::shared_ptr<TFakeProbe> FProbe;
};

#pragma once
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "SourceTestSupport.h"
#include "acquisition/QV_SessionItem.h"
#include "acquisition/VTA_Sync.h"
#include "core/Clock.h"
#include "core/VTA_Common.h"
#include "data/ISamplerSink.h"
#include "support/LogCapture.h"

// One user message as the session raised it.
struct TSessionMsg {
  int32_t Code;
  TMsgType Type;
  std::string Text;
  bool operator==(const TSessionMsg&) const = default;
};

// What the session handed to the multi-sampler.
class TRecordingSampler : public ISamplerSink {
 public:
  void SetSessionSyncTime(int32_t, bool, const std::string&) override {}
  void AddStrings(int32_t, bool, const TMultiSamplerStrings&) override { ++Sets; }
  void AddStringsVirtual(int32_t, bool, const TMultiSamplerStrings&) override {}
  void AddStringsSpecial(int32_t, bool, const TMultiSamplerStrings&) override {}
  void AddString(int32_t, bool, const std::string&) override {}
  void AddWarning(int32_t, bool, const std::string&) override {}
  void AddTimeStamp(int32_t, bool, int64_t aTimeStamp) override { TimeStamps.push_back(aTimeStamp); }
  void UpdateSession(int32_t, bool sCopy, int32_t what, const std::string& text) override {
    Updates.push_back({what, sCopy, text});
  }
  struct TUpdate {
    int32_t What;
    bool Copy;
    std::string Text;
  };
  int Sets = 0;
  std::vector<int64_t> TimeStamps;
  std::vector<TUpdate> Updates;
  bool Has(int32_t what) const {
    for (const auto& update : Updates)
      if (update.What == what) return true;
    return false;
  }
};

// A counter session with recording handlers, a manual clock and its own logger.
class QVSessionFixture {
 public:
  explicit QVSessionFixture(int32_t index = 0) { Make(index); }
  virtual ~QVSessionFixture() {
    if (session) session->CloseDevice(true);
  }

  void Make(int32_t index) {
    TSessionHandlers handlers;
    handlers.OnMsg = [this](int32_t, int32_t code, int32_t, TMsgType type, const std::string& text, bool) {
      messages.push_back({code, type, text});
    };
    handlers.OnUpdate = [this](TSessionItem&) { ++updates; };
    handlers.SyncList = &sync;
    TQVSessionEnv env;
    env.Sampler = &sampler;
    env.Options = [this] { return options; };
    env.Clock = &clock;
    session = TQVSessionItem::Make(log.Id(), index, handlers, env);
  }

  // Opens the simulator, which the test steps (100 ms of instrument time per step).
  void OpenDemo() {
    session->SetOpenParams("DemoData", ctDemoNone, kDefaultSessionColor, "");
    Multi_GetSource(session->MultiId())->SetSimulatorDriving(clock, false);
    opened = session->OpenDevice();
    if (auto* simulator = Simulator(session->MultiId())) simulator->SetRandomSeed(7);
  }

  // Opens a report text file. The connection type stays unset, as in older settings files: the
  // session learns from the source that it plays a recording.
  void OpenFile(const std::string& connection) {
    session->SetOpenParams(connection, -1, kDefaultSessionColor, "");
    opened = session->OpenDevice();
  }

  // Steps the simulator and lets the session read everything that is ready after each step.
  void RunSteps(int steps) {
    for (int i = 0; i < steps; ++i) {
      if (auto* simulator = Simulator(session->MultiId())) simulator->SimulThread()->Step();
      clock.Advance(std::chrono::milliseconds(100));
      Poll();
    }
  }

  // GetReport until the source has nothing left.
  void Poll() {
    for (int guard = 0; guard < 100000; ++guard)
      if (!session->GetReport() && Multi_GetBufferAmount(session->MultiId()) == 0) return;
  }

  bool HasMessage(int32_t code, TMsgType type, const std::string& text) const {
    for (const auto& m : messages)
      if (m == TSessionMsg{code, type, text}) return true;
    return false;
  }
  size_t CountCode(int32_t code) const {
    size_t n = 0;
    for (const auto& m : messages) n += m.Code == code;
    return n;
  }
  // The notices posted so far, taken from the list.
  std::vector<TMainSyncData> TakeNotices() {
    std::vector<TMainSyncData> notices;
    while (auto notice = sync.TakeFirst()) notices.push_back(*notice);
    return notices;
  }
  static bool HasNotice(const std::vector<TMainSyncData>& notices, int32_t what) {
    for (const auto& n : notices)
      if (n.What == what) return true;
    return false;
  }

  TLogCapture log;
  TManualClock clock;
  TSyncList sync;
  TRecordingSampler sampler;
  TQVSessionOptions options;
  std::vector<TSessionMsg> messages;
  int updates = 0;
  std::string opened = "not opened";
  std::unique_ptr<TQVSessionItem> session;
};

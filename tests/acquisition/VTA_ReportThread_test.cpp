#include "acquisition/VTA_ReportThread.h"

#include <gtest/gtest.h>

#include <future>

#include "FakeSession.h"
#include "acquisition/VTA_Sessions.h"
#include "core/VTA_Common.h"

namespace {

using namespace std::chrono_literals;

constexpr auto kLimit = 10s;

// Time-outs that never run out during a test: a pass after a wait comes only from the event.
constexpr TReportTimeouts kEndless{std::chrono::hours(1), std::chrono::hours(2), std::chrono::hours(3)};
// Time-outs that keep the thread passing.
constexpr TReportTimeouts kFast{1ms, 1ms, 1ms};

class ReportThreadTest : public ::testing::Test {
 protected:
  TFakeSession& Add(int32_t index, const std::string& openString, bool running = true) {
    auto session = TFakeSession::Make(index, openString);
    session->SetRunning(running);
    return static_cast<TFakeSession&>(lists.AddSession(std::move(session)));
  }
  void Start(TReportTimeouts timeouts, TReportWaiter wait = {}) {
    TReportThreadOptions options;
    options.Event = event;
    options.Timeouts = timeouts;
    options.Wait = std::move(wait);
    options.Messages = &messages;
    thread = std::make_unique<TVTA_ReportThread>(lists, std::move(options));
  }
  bool WaitForPasses(uint64_t n) {
    const auto end = std::chrono::steady_clock::now() + kLimit;
    while (thread->PassCount() < n) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(1ms);
    }
    return true;
  }
  size_t MessagesWithCode(int32_t code) const {
    size_t n = 0;
    for (const auto& item : messages.Snapshot()) n += item.Code == code ? item.Count : 0;
    return n;
  }

  // Declaration order is the shutdown order in reverse: the thread goes first.
  TMessageList messages{[](const std::string&) {}, [](int32_t) { return 0u; }};
  std::shared_ptr<TEvent> event = std::make_shared<TEvent>();
  TSessionLists lists;
  std::unique_ptr<TVTA_ReportThread> thread;
};

TEST(ChooseWaitTime, IdleWithoutOpenSessionsSerialWhenPresentElseReceive) {
  struct TCase {
    int32_t Slots, Opened;
    bool Serial;
    std::chrono::milliseconds Expected;
  };
  const TReportTimeouts t;
  const TCase cases[] = {
      {0, 0, false, 1000ms}, {0, 0, true, 1000ms}, {3, 0, true, 1000ms},
      {3, 1, false, 100ms},  {3, 2, true, 10ms},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(ChooseWaitTime(c.Slots, c.Opened, c.Serial, t), c.Expected) << c.Slots << c.Opened << c.Serial;
}

TEST_F(ReportThreadTest, PollsEverySessionButThoseWithoutConnection) {
  TFakeSession& open = Add(0, "DemoData");
  TFakeSession& none = Add(1, kOpenStringNone);
  TFakeSession& closed = Add(3, "COM4", false);
  TFakeSession& empty = Add(4, "");
  Start(kFast);
  EXPECT_TRUE(open.Probe().WaitForPolls(3));
  EXPECT_TRUE(closed.Probe().WaitForPolls(3));
  EXPECT_TRUE(empty.Probe().WaitForPolls(3));
  thread->Stop();
  EXPECT_EQ(none.Probe().Polls, 0);
}

TEST_F(ReportThreadTest, AThrowingSessionDoesNotStarveTheOthersAndIsReportedOnce) {
  TFakeSession& a = Add(0, "DemoData");
  TFakeSession& failing = Add(1, "DemoData");
  TFakeSession& c = Add(2, "DemoData");
  failing.Probe().Throw = true;
  Start(kFast);
  EXPECT_TRUE(failing.Probe().WaitForPolls(5));
  EXPECT_TRUE(a.Probe().WaitForPolls(5));
  EXPECT_TRUE(c.Probe().WaitForPolls(5));
  thread->Stop();

  const auto items = messages.Snapshot();
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].sIndex, 1);
  EXPECT_EQ(items[0].Code, kMsgCodeInternalException);
  EXPECT_EQ(items[0].MsgType, mtError);
  EXPECT_TRUE(items[0].ViaThread);
  EXPECT_EQ(items[0].Text, "Internal Exception ReportThread GetQVReport(std::runtime_error): poll failed");
}

TEST_F(ReportThreadTest, AFailureAfterRecoveryIsReportedAgain) {
  TFakeSession& failing = Add(0, "DemoData");
  failing.Probe().Throw = true;
  Start(kFast);
  ASSERT_TRUE(failing.Probe().WaitForPolls(2));
  failing.Probe().Throw = false;
  const int polls = failing.Probe().Polls;
  ASSERT_TRUE(failing.Probe().WaitForPolls(polls + 2));
  failing.Probe().Throw = true;
  // Counted after the flag: the poll after the next one starts and ends with it set.
  const int pollsAfter = failing.Probe().Polls;
  ASSERT_TRUE(failing.Probe().WaitForPolls(pollsAfter + 2));
  thread->Stop();
  EXPECT_EQ(MessagesWithCode(kMsgCodeInternalException), 2u);
}

struct TTimeoutCase {
  const char* Name;
  const char* OpenString;
  bool Running;
  int32_t ConnectionType;
  std::chrono::milliseconds Expected;
};

TEST_F(ReportThreadTest, WaitsWithTheTimeoutTheSessionsCallFor) {
  const TTimeoutCase cases[] = {
      {"no session", nullptr, false, 0, kEndless.Idle},
      {"only none", kOpenStringNone, true, 0, kEndless.Idle},
      {"closed", "USB:1", false, 0, kEndless.Idle},
      {"open", "USB:1", true, 0, kEndless.Receive},
      {"open serial", "COM1", true, 1, kEndless.Serial},
  };
  int32_t index = 0;
  for (const TTimeoutCase& c : cases) {
    std::promise<std::chrono::milliseconds> requested;
    bool first = true;
    if (c.OpenString) {
      TFakeSession& session = Add(index, c.OpenString, c.Running);
      session.SetOpenParams(c.OpenString, c.ConnectionType, kDefaultSessionColor, "");
    }
    Start(kEndless, [&](TEvent& e, std::chrono::milliseconds timeout) {
      if (std::exchange(first, false)) requested.set_value(timeout);
      e.WaitFor(timeout);
    });
    auto result = requested.get_future();
    ASSERT_EQ(result.wait_for(kLimit), std::future_status::ready) << c.Name;
    EXPECT_EQ(result.get(), c.Expected) << c.Name;
    thread.reset();
    if (c.OpenString) lists.RemoveSession(index++);
  }
}

TEST_F(ReportThreadTest, DataArrivingDuringAPassIsNotLost) {
  TFakeSession& session = Add(0, "DemoData");
  // The first poll finds nothing, but data arrive while the pass runs.
  session.Probe().OnPoll = [this, first = true]() mutable {
    if (std::exchange(first, false)) event->Set();
  };
  Start(kEndless);
  EXPECT_TRUE(session.Probe().WaitForPolls(2));
}

TEST_F(ReportThreadTest, BusySessionsArePolledAgainWithoutWaiting) {
  TFakeSession& session = Add(0, "DemoData");
  session.Probe().Busy = true;
  Start(kEndless);
  EXPECT_TRUE(session.Probe().WaitForPolls(50));
}

TEST_F(ReportThreadTest, RemovalWaitsUntilThePollEndsThenTheSlotIsPolledAgain) {
  TFakeSession& old = Add(1, "DemoData");
  TFakeProbe& probe = old.Probe();
  probe.Block();
  Start(kFast);
  ASSERT_TRUE(probe.WaitUntilInPoll());

  auto removal = std::async(std::launch::async, [this] {
    thread->RemoveSession(lists.GetSession(1));
    lists.GetSession(1)->CloseDevice(true);
    lists.RemoveSession(1);
  });
  EXPECT_NE(removal.wait_for(0ms), std::future_status::ready);
  EXPECT_EQ(probe.Closes, 0);
  probe.Release();
  ASSERT_EQ(removal.wait_for(kLimit), std::future_status::ready);
  removal.get();
  EXPECT_EQ(lists.GetSession(1), nullptr);

  TFakeSession& replacement = Add(lists.FirstFreeIndex(), "DemoData");
  EXPECT_EQ(replacement.Index(), 0);
  TFakeSession& sameSlot = Add(1, "DemoData");
  EXPECT_TRUE(sameSlot.Probe().WaitForPolls(2));
  EXPECT_TRUE(replacement.Probe().WaitForPolls(2));
}

TEST_F(ReportThreadTest, RemovalNeverFreesOrClosesASessionInsideItsPoll) {
  auto probe = std::make_shared<TFakeProbe>();
  probe->Busy = true;
  auto session = TFakeSession::Make(0, "DemoData", probe);
  session->SetRunning(true);
  lists.AddSession(std::move(session));
  Start(kFast);
  ASSERT_TRUE(probe->WaitForPolls(10));
  thread->RemoveSession(lists.GetSession(0));
  const int polls = probe->Polls;
  lists.GetSession(0)->CloseDevice(true);
  const uint64_t passes = thread->PassCount();
  ASSERT_TRUE(WaitForPasses(passes + 3));
  EXPECT_EQ(probe->Polls, polls);  // a marked session is left alone
  lists.RemoveSession(0);
  EXPECT_TRUE(probe->Destroyed);
  EXPECT_FALSE(probe->ClosedDuringPoll);
  EXPECT_FALSE(probe->DestroyedDuringPoll);
}

TEST_F(ReportThreadTest, ClearingTheMarkResumesPolling) {
  TFakeSession& session = Add(0, "DemoData");
  Start(kFast);
  ASSERT_TRUE(session.Probe().WaitForPolls(1));
  thread->RemoveSession(&session);
  const int polls = session.Probe().Polls;
  thread->RemoveSession(nullptr);
  EXPECT_TRUE(session.Probe().WaitForPolls(polls + 2));
}

TEST_F(ReportThreadTest, ShutdownStopsTheThreadBeforeDevicesCloseAndSessionsGo) {
  std::vector<std::shared_ptr<TFakeProbe>> probes;
  for (int32_t i = 0; i < 3; ++i) {
    probes.push_back(std::make_shared<TFakeProbe>());
    probes.back()->Busy = i != 1;
    auto session = TFakeSession::Make(i, "DemoData", probes.back());
    session->SetRunning(true);
    lists.AddSession(std::move(session));
  }
  Start(kFast);
  for (const auto& probe : probes) ASSERT_TRUE(probe->WaitForPolls(5));

  thread->Stop();
  thread->Stop();  // idempotent
  EXPECT_TRUE(thread->Stopped());
  EXPECT_FALSE(lists.PollerAttached());
  const int polls = probes[0]->Polls;
  lists.CloseAll(true);
  EXPECT_EQ(probes[0]->Polls, polls);
  for (const auto& probe : probes) {
    EXPECT_EQ(probe->Closes, 1);
    EXPECT_FALSE(probe->ClosedDuringPoll);
  }
}

TEST(ReportThreadShutdown, DestroyingTheListsUnderARunningThreadAborts) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        auto lists = std::make_unique<TSessionLists>();
        TReportThreadOptions options;
        options.Event = std::make_shared<TEvent>();
        TVTA_ReportThread thread(*lists, options);
        lists.reset();
      },
      "destroyed while the report thread still polls it");
}

TEST(ReportThreadShutdown, OnlyOneThreadPollsTheLists) {
  TSessionLists lists;
  TReportThreadOptions options;
  options.Event = std::make_shared<TEvent>();
  TVTA_ReportThread thread(lists, options);
  EXPECT_THROW(TVTA_ReportThread(lists, options), std::logic_error);
}

}  // namespace

#include "core/NamedEvent.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

TEST(Event, IsManualReset) {
  TEvent event;
  EXPECT_FALSE(event.IsSet());
  event.Set();
  EXPECT_EQ(event.WaitFor(0ms), TWaitResult::wrSignaled);
  EXPECT_EQ(event.WaitFor(0ms), TWaitResult::wrSignaled) << "a wait must not consume the signal";
  event.Reset();
  EXPECT_FALSE(event.IsSet());
  EXPECT_TRUE(TEvent(true).IsSet());
}

TEST(Event, WaitTimesOutWhenNotSet) {
  TEvent event;
  EXPECT_EQ(event.WaitFor(2ms), TWaitResult::wrTimeout);
}

TEST(Event, SetFromAnotherThreadWakesEveryWaiter) {
  TEvent event;
  std::vector<TWaitResult> results(2, TWaitResult::wrTimeout);
  std::vector<std::thread> waiters;
  for (TWaitResult& result : results) {
    waiters.emplace_back([&event, &result] { result = event.WaitFor(30s); });
  }
  event.Set();
  for (std::thread& waiter : waiters) waiter.join();
  for (TWaitResult result : results) EXPECT_EQ(result, TWaitResult::wrSignaled);
}

TEST(NamedEvent, SameNameGivesTheSameEvent) {
  const auto a = NamedEvent("NamedEventTest.Same");
  const auto b = NamedEvent("NamedEventTest.Same");
  const auto other = NamedEvent("NamedEventTest.Other");
  EXPECT_EQ(a.get(), b.get());
  EXPECT_NE(a.get(), other.get());
  a->Set();
  EXPECT_TRUE(b->IsSet());
  EXPECT_FALSE(other->IsSet());
}

TEST(NamedEvent, EmptyNameGivesAPrivateEvent) {
  EXPECT_NE(NamedEvent("").get(), NamedEvent("").get());
}

TEST(NamedEvent, LastHolderFreesTheEvent) {
  NamedEvent("NamedEventTest.Freed")->Set();  // dropped at once
  EXPECT_FALSE(NamedEvent("NamedEventTest.Freed")->IsSet()) << "a new event starts unset";

  const auto held = NamedEvent("NamedEventTest.Held");
  held->Set();
  EXPECT_TRUE(NamedEvent("NamedEventTest.Held")->IsSet()) << "a held event keeps its state";
}

TEST(NamedEvent, ThreadsLookingUpAtOnceShareOneEvent) {
  std::vector<std::shared_ptr<TEvent>> found(4);
  std::vector<std::thread> threads;
  for (auto& slot : found) {
    threads.emplace_back([&slot] { slot = NamedEvent("NamedEventTest.Race"); });
  }
  for (std::thread& thread : threads) thread.join();
  for (const auto& event : found) EXPECT_EQ(event.get(), found.front().get());
}

}  // namespace

#include "app/DeviceConfigThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

// An instrument that takes a setting a while after its command: `applied` counts the commands it
// has put in force; what the thread sent and reported is recorded.
class DeviceConfigThreadTest : public ::testing::Test {
 protected:
  TDeviceConfigThread::TSend Send() {
    return [this](const std::string& cmd, const std::string& text) {
      std::lock_guard lock(mutex);
      sent.push_back(cmd + "|" + text);
      // The instrument is only ready for a command when the one before is in force.
      ordered = ordered && applied.load() == int(sent.size()) - 1;
      if (answers) applied = int(sent.size());
    };
  }
  std::unique_ptr<TDeviceConfigThread> Make(std::chrono::milliseconds limit = 2s) {
    return std::make_unique<TDeviceConfigThread>(
        Send(),
        [this](size_t done, size_t count, const std::string& text) {
          std::lock_guard lock(mutex);
          progress.push_back(std::to_string(done) + "/" + std::to_string(count) + " " + text);
        },
        [this](bool ok, const std::string& text) {
          std::lock_guard lock(mutex);
          finished.push_back((ok ? "ok: " : "failed: ") + text);
        },
        limit, 1ms);
  }
  TDeviceConfigStep Step(int n) {
    return {std::string(1, char(0x40 + n)), "Mode " + std::to_string(n), [this, n] { return applied.load() >= n; }};
  }
  std::vector<std::string> Finished() {
    for (int i = 0; i < 5000; ++i) {
      {
        std::lock_guard lock(mutex);
        if (!finished.empty()) return finished;
      }
      std::this_thread::sleep_for(1ms);
    }
    return {};
  }

  std::mutex mutex;
  std::vector<std::string> sent, progress, finished;
  std::atomic<int> applied{0};
  bool answers = true;
  bool ordered = true;
};

TEST_F(DeviceConfigThreadTest, StepsGoOutOneAfterTheOtherAsEachIsConfirmed) {
  auto thread = Make();
  ASSERT_TRUE(thread->Start({Step(1), Step(2), Step(3)}));
  EXPECT_EQ(Finished(), std::vector<std::string>{"ok: " + TDeviceConfigThread::kDone});
  EXPECT_EQ(sent, (std::vector<std::string>{"A|Mode 1", "B|Mode 2", "C|Mode 3"}));
  EXPECT_TRUE(ordered);
  EXPECT_EQ(progress, (std::vector<std::string>{"0/3 Step 1 of 3: Mode 1", "1/3 Step 2 of 3: Mode 2",
                                                "2/3 Step 3 of 3: Mode 3", "3/3 " + TDeviceConfigThread::kDone}));
  EXPECT_FALSE(thread->Running());
}

TEST_F(DeviceConfigThreadTest, AStepTheInstrumentDoesNotConfirmEndsTheRunAfterItsTimeLimit) {
  answers = false;
  auto thread = Make(30ms);
  ASSERT_TRUE(thread->Start({Step(1), Step(2)}));
  EXPECT_EQ(Finished(), std::vector<std::string>{"failed: Mode 1 not confirmed by the device within 0.03 s"});
  EXPECT_EQ(sent, std::vector<std::string>{"A|Mode 1"}) << "nothing is sent after a setting that did not take";
}

TEST_F(DeviceConfigThreadTest, NothingToChangeAndCancelAndRestart) {
  auto thread = Make();
  ASSERT_TRUE(thread->Start({}));
  EXPECT_EQ(Finished(), std::vector<std::string>{"ok: " + TDeviceConfigThread::kNothing});
  EXPECT_TRUE(sent.empty());

  finished.clear();
  answers = false;
  auto waiting = Make(10s);
  ASSERT_TRUE(waiting->Start({Step(1)}));
  EXPECT_FALSE(waiting->Start({Step(1)})) << "one run at a time";
  waiting->Cancel();
  EXPECT_EQ(Finished(), std::vector<std::string>{"failed: " + TDeviceConfigThread::kCancelled});
}

TEST_F(DeviceConfigThreadTest, TheDestructorStopsAWaitingRun) {
  answers = false;
  const auto start = std::chrono::steady_clock::now();
  {
    auto thread = Make(10s);
    ASSERT_TRUE(thread->Start({Step(1)}));
    std::this_thread::sleep_for(5ms);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_EQ(Finished(), std::vector<std::string>{"failed: " + TDeviceConfigThread::kCancelled});
}

}  // namespace

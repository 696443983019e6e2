#include <gtest/gtest.h>

#include <thread>

#include "acquisition/QV_TcpSendQueue.h"

namespace {

using namespace std::chrono_literals;

TEST(TcpSendQueue, KeepsOrderAndRefusesWhatExceedsTheBound) {
  TTcpSendQueue queue(10);
  EXPECT_TRUE(queue.Push("abcd"));
  EXPECT_TRUE(queue.Push("efgh"));
  EXPECT_FALSE(queue.Push("ijk"));  // 11 bytes would lag behind more than the bound
  EXPECT_TRUE(queue.Push("ij"));
  EXPECT_EQ(queue.Bytes(), 10u);
  std::vector<std::string> batch;
  ASSERT_TRUE(queue.TakeAll(batch));
  EXPECT_EQ(batch, (std::vector<std::string>{"abcd", "efgh", "ij"}));
  EXPECT_EQ(queue.Bytes(), 0u);
  EXPECT_TRUE(queue.Push("ijk"));
}

TEST(TcpSendQueue, StopWakesTheWriterAfterItTookWhatIsLeft) {
  TTcpSendQueue queue(100);
  std::vector<std::vector<std::string>> batches;
  std::thread writer([&] {
    std::vector<std::string> batch;
    while (queue.TakeAll(batch)) batches.push_back(batch);
  });
  queue.Push("one");
  queue.Stop();
  writer.join();
  EXPECT_FALSE(queue.Push("late"));
  size_t items = 0;
  for (const auto& b : batches) items += b.size();
  EXPECT_EQ(items, 1u);
}

TEST(TcpSendQueue, ABulkSenderWaitsForRoomOrGivesUp) {
  TTcpSendQueue queue(8);
  ASSERT_TRUE(queue.Push("12345678"));
  EXPECT_FALSE(queue.PushWait("x", 20ms));
  EXPECT_FALSE(queue.PushWait("123456789", 1000ms));  // can never fit
  std::thread writer([&] {
    std::this_thread::sleep_for(20ms);
    std::vector<std::string> batch;
    queue.TakeAll(batch);
  });
  EXPECT_TRUE(queue.PushWait("x", 5000ms));
  writer.join();
}

}  // namespace

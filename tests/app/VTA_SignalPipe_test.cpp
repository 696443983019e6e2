#include "app/VTA_SignalPipe.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

namespace {

// Processes events until `done` or a generous limit.
bool ProcessUntil(const std::function<bool()>& done) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  return done();
}

TEST(SignalPipe, DeliversSignalsOnTheEventLoopOneInstanceAtATime) {
  std::vector<int> received;
  {
    TSignalPipe pipe([&](int signal) { received.push_back(signal); });
    ASSERT_EQ(pipe.Error(), "");
    TSignalPipe second([](int) {});
    EXPECT_EQ(second.Error(), "signal pipe already installed");
    EXPECT_EQ(pipe.Received(), 0);
    std::raise(SIGTERM);
    EXPECT_EQ(pipe.Received(), SIGTERM);  // known at once, for work that runs before the event loop
    std::raise(SIGINT);
    EXPECT_EQ(pipe.Received(), SIGINT);
    EXPECT_TRUE(received.empty());  // nothing runs inside the handler
    ASSERT_TRUE(ProcessUntil([&] { return received.size() == 2; }));
    EXPECT_EQ(received, (std::vector<int>{SIGTERM, SIGINT}));
  }
  TSignalPipe again([&](int signal) { received.push_back(signal); });
  EXPECT_EQ(again.Error(), "");
  EXPECT_EQ(again.Received(), 0);
}

}  // namespace

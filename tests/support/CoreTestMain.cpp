#include <QCoreApplication>
#include <gtest/gtest.h>

// Engine tests run inside a QCoreApplication so that Qt's sockets and timers have an event dispatcher.
int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

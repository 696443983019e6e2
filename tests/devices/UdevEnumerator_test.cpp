#include "devices/UdevEnumerator.h"

#include <gtest/gtest.h>

namespace {

// The real enumeration: these machines have no USB, so it must run and find no counter.
TEST(UdevEnumerator, TheSystemEnumerationRunsAndFindsNoCounterHere) {
  EXPECT_TRUE(EnumerateUsbInstruments().empty());
  TUdevEnumerator enumerator;
  for (const TUsbInterface& i : enumerator.Enumerate()) EXPECT_FALSE(i.Node.empty());
}

TEST(UdevEnumerator, TheMonitorCanBeSetUpAndHasNothingToTell) {
  TUdevMonitor monitor;
  int notices = 0;
  monitor.TakeNotices([&](const std::string&, bool) { ++notices; });
  EXPECT_EQ(notices, 0);
}

}  // namespace

#include "acquisition/VTA_Sync.h"

#include <gtest/gtest.h>

#include "core/VTA_DebugConf.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

namespace {

TEST(TMainSyncData, TextNamesTheKindAndTheSender) {
  const std::pair<TMainSyncData, std::string> cases[] = {
      {{swRateIndex, 9, 1000, "", {1, false, 7}}, "TMainSyncData RateIndex Code=9, aInt=1000, , Sender=Session 1/False"},
      {{swIVConly, 0, 0, "x", {0, true, 8}}, "TMainSyncData IVC only Code=0, aInt=0, x, Sender=Session 0/True"},
      {{swDevices, 0, 0, "", {}}, "TMainSyncData Devices Code=0, aInt=0, , Sender=nil"},
      {{99, 1, 2, "", {}}, "TMainSyncData Unknown what=99 Code=1, aInt=2, , Sender=nil"},
  };
  for (const auto& [data, text] : cases) EXPECT_EQ(data.ToString(), text);
  EXPECT_EQ(SyncWhatName(swHRQData), "HRQ Data");
  EXPECT_EQ(SyncWhatName(0), "Unknown what=0");
}

TEST(TSyncList, KeepsOrderAndPurgesOneSessionsNotices) {
  TSyncList list;
  list.AddSync({swMode, 1, 0, "", {0, false, 10}});
  list.AddSync({swMode, 2, 0, "", {1, false, 11}});
  list.AddSync({swPPI, 3, 0, "", {0, false, 10}});
  list.AddSync({swScrambler, 4, 0, "", {1, false, 11}});
  list.Purge(10);
  EXPECT_EQ(list.Count(), 2u);
  EXPECT_EQ(list.TakeFirst()->Code, 2);
  EXPECT_EQ(list.TakeFirst()->Code, 4);
  EXPECT_FALSE(list.TakeFirst());
}

TEST(TSyncList, LogsEachNoticeWhenTheSyncCategoryIsOn) {
  TTempDir dir;
  TLogCapture log;
  for (const bool on : {true, false}) {
    const std::string file = dir.File(on ? "on.ini" : "off.ini");
    WriteWholeFile(file, std::string("Sync=") + (on ? "True" : "False") + "\r\n");
    TDebugConf conf(file);
    conf.SetLogId(log.Id());
    TSyncList list(&conf);
    list.AddSync({swPeer, on ? 1 : 0, 0, "", {}});
  }
  EXPECT_TRUE(log.Contains("VTA_Sync.AddSync TMainSyncData Peer Code=1, aInt=0, , Sender=nil"));
  EXPECT_FALSE(log.Contains("VTA_Sync.AddSync TMainSyncData Peer Code=0, aInt=0, , Sender=nil"));
}

}  // namespace

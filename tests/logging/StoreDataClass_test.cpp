#include "logging/StoreDataClass.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono;

const std::string Program = "/opt/vta/VTA_App";

// 2024-01-01 at the given UTC time of day ("hh:mm:ss").
TWallTime At(const std::string& time) {
  return TWallTime{sys_days{year{2024} / January / 1} + hours{std::stoi(time.substr(0, 2))} +
                   minutes{std::stoi(time.substr(3, 2))} + seconds{std::stoi(time.substr(6, 2))} + milliseconds{370}};
}

std::string Item(const std::string& text) { return char(text.size()) + text; }

class StoreDataClassTest : public ::testing::Test {
 protected:
  void Open(const std::string& time) {
    clock.SetWall(At(time));
    store = std::make_unique<TStoreDataClass>(-1, dir.Path(), clock, Program);
    store->SetOnError([this](const std::string& text) { errors.push_back(text); });
    store->SetStorageEnabled(true);
  }
  void Take(const std::string& time, const std::string& item) {
    clock.SetWall(At(time));
    store->TakeData(item);
  }
  std::string Current(const std::string& stamp) const { return dir.Path() + "MeasuringData_Current/" + stamp + ".dat"; }
  std::string Archive(const std::string& stamp) const { return dir.Path() + "MeasuringData_Archive/" + stamp + ".dat"; }
  std::vector<TStoreDataRecord> Records(const std::string& file) const {
    std::vector<TStoreDataRecord> records;
    EXPECT_TRUE(TStoreDataLoader(-1).LoadFromFile(file, records)) << file;
    return records;
  }
  static std::vector<std::string> Data(const std::vector<TStoreDataRecord>& records) {
    std::vector<std::string> data;
    for (const auto& rec : records) data.push_back(rec.Data);
    return data;
  }
  size_t CurrentFolderFiles() const {
    return size_t(std::distance(fs::directory_iterator(dir.Path() + "MeasuringData_Current"), fs::directory_iterator{}));
  }

  TTempDir dir;
  TManualClock clock;
  std::unique_ptr<TStoreDataClass> store;
  std::vector<std::string> errors;
};

TEST_F(StoreDataClassTest, MinuteFileHoldsOneRecordOfItsItemsByteForByte) {
  Open("10:00:00");
  Take("10:00:05", Item("abc"));
  Take("10:00:40", Item("defg"));
  EXPECT_FALSE(fs::exists(Current("20240101_100000")));
  // The first item after the minute writes it and begins the next minute's file.
  Take("10:01:02", Item("hi"));
  const std::string expected(
      "\x40\xB2\xCE\x55\x8D\x1D\xE6\x40\xAE\x3C\x20\x59\x8D\x1D\xE6\x40\x09\x00\x00\x00\x03\x61\x62\x63\x04\x64\x65\x66\x67",
      29);
  EXPECT_EQ(ReadWholeFile(Current("20240101_100000")), expected);
  EXPECT_FALSE(fs::exists(Current("20240101_100100")));
  EXPECT_TRUE(errors.empty());
}

TEST_F(StoreDataClassTest, HourRollsWhenItChangesAlsoAcrossAGap) {
  Open("10:58:00");
  Take("10:58:10", Item("a"));
  Take("10:59:30", Item("b"));
  Take("11:02:10", Item("c"));  // nothing at 11:00 or 11:01
  EXPECT_EQ(Data(Records(Archive("20240101_100000"))), (std::vector<std::string>{Item("a"), Item("b")}));
  EXPECT_FALSE(fs::exists(Current("20240101_105800")));
  EXPECT_FALSE(fs::exists(Current("20240101_105900")));
  EXPECT_FALSE(fs::exists(Archive("20240101_110000")));
  EXPECT_TRUE(store->IsArchiveData(DateTimeToArchive(ArchiveToDateTime(ArchiveTimeOf(At("10:30:00"))))));
  EXPECT_FALSE(store->IsArchiveData(ArchiveTimeOf(At("11:30:00"))));

  Take("12:00:30", Item("d"));
  EXPECT_EQ(Data(Records(Archive("20240101_110000"))), std::vector<std::string>{Item("c")});
  EXPECT_TRUE(errors.empty());
}

TEST_F(StoreDataClassTest, RestartInTheSameHourContinuesTheMinuteAndAppendsToTheHour) {
  Open("10:05:00");
  Take("10:05:10", Item("a"));
  Take("10:06:20", Item("b"));
  clock.SetWall(At("10:06:30"));
  store.reset();
  EXPECT_EQ(Data(Records(Archive("20240101_100000"))), std::vector<std::string>{Item("a")});
  EXPECT_TRUE(fs::exists(dir.Path() + "MeasuringData_Current/StoreData.ini"));

  Open("10:06:50");
  EXPECT_FALSE(fs::exists(store->RestartFileName()));
  Take("10:06:55", Item("c"));
  Take("10:07:05", Item("d"));
  Take("11:00:10", Item("e"));
  const auto records = Records(Archive("20240101_100000"));
  EXPECT_EQ(Data(records), (std::vector<std::string>{Item("a"), Item("b") + Item("c"), Item("d")}));
  EXPECT_EQ(DateTimeToArchive(records[1].StartTime), ArchiveTimeOf(At("10:06:20")));
  EXPECT_EQ(DateTimeToArchive(records[1].EndTime), ArchiveTimeOf(At("10:06:55")));
  EXPECT_EQ(CurrentFolderFiles(), 0u);
  EXPECT_TRUE(errors.empty());
}

TEST_F(StoreDataClassTest, RestartInALaterHourFinishesTheOldHourAtOnce) {
  Open("10:05:00");
  Take("10:05:10", Item("a"));
  Take("10:06:20", Item("b"));
  clock.SetWall(At("10:06:30"));
  store.reset();
  Open("11:30:00");
  EXPECT_EQ(Data(Records(Archive("20240101_100000"))), (std::vector<std::string>{Item("a"), Item("b")}));
  EXPECT_EQ(CurrentFolderFiles(), 0u);
  // A second start finds no restart file and repeats nothing.
  store.reset();
  Open("11:31:00");
  EXPECT_EQ(Records(Archive("20240101_100000")).size(), 2u);
}

TEST_F(StoreDataClassTest, RestartFileNeverHandsOverFilesOutsideItsFolder) {
  const std::string foreign = dir.File("keep.dat");
  WriteWholeFile(foreign, StoreDataRecordBytes({1, 2, "x"}));
  fs::create_directories(dir.Path() + "MeasuringData_Current");
  WriteWholeFile(dir.Path() + "MeasuringData_Current/StoreData.ini",
                 "ArchivListCount=1\r\nCurrentFile1=" + foreign + "\r\nDataListCount=1\r\n");
  Open("11:30:00");
  EXPECT_TRUE(fs::exists(foreign));
  EXPECT_FALSE(fs::exists(Archive("20240101_100000")));
}

TEST_F(StoreDataClassTest, DamagedRestartFileIsDroppedAndTheStoreStarts) {
  fs::create_directories(dir.Path() + "MeasuringData_Current");
  WriteWholeFile(dir.Path() + "MeasuringData_Current/StoreData.ini",
                 "ArchivListCount=many\r\nDataListCount=x\r\nCurrentStartTime=2024\r\n");
  Open("10:00:00");
  EXPECT_FALSE(fs::exists(store->RestartFileName()));
  Take("10:00:05", Item("a"));
  Take("10:01:05", Item("b"));
  EXPECT_EQ(Data(Records(Current("20240101_100000"))), std::vector<std::string>{Item("a")});
}

TEST_F(StoreDataClassTest, RecordedPeriodReadsBackAsTheSameItems) {
  Open("10:50:00");
  std::string taken;
  for (seconds t = 0s; t < 20min; t += 7s) {
    clock.SetWall(At("10:50:00") + t);
    const std::string item = Item(std::to_string(t.count()));
    store->TakeData(item);
    taken += item;
  }
  store.reset();
  std::string read;
  for (const char* hour : {"20240101_100000", "20240101_110000"})
    for (const TStoreDataRecord& rec : Records(Archive(hour))) {
      EXPECT_EQ(MinuteStart(DateTimeToArchive(rec.StartTime)), MinuteStart(DateTimeToArchive(rec.EndTime)));
      read += rec.Data;
    }
  // The minute that was running at the end stays a minute file for the restart.
  for (const TStoreDataRecord& rec : Records(Current("20240101_110900"))) read += rec.Data;
  EXPECT_EQ(read, taken);
}

TEST_F(StoreDataClassTest, DisabledStorageKeepsNothing) {
  Open("10:00:00");
  store->SetStorageEnabled(false);
  Take("10:00:05", Item("a"));
  Take("10:01:05", Item("b"));
  EXPECT_EQ(CurrentFolderFiles(), 0u);
}

TEST_F(StoreDataClassTest, ASecondWriterIsRefusedWhileTheFolderIsHeld) {
  Open("10:00:00");
  try {
    TStoreDataClass second(-1, dir.Path(), clock, "/usr/bin/other");
    FAIL() << "second writer accepted";
  } catch (const EStoreDataLocked& e) {
    EXPECT_EQ(std::string(e.what()), "Storage Root Directory " + dir.Path() + " is already used by " + Program);
  }
  store.reset();
  EXPECT_FALSE(fs::exists(dir.Path() + "Measuring Data Write Access is exclusive"));
  EXPECT_NO_THROW(TStoreDataClass(-1, dir.Path(), clock, "/usr/bin/other"));
}

TEST_F(StoreDataClassTest, LockFileLeftByAWriterThatIsGoneIsTakenOver) {
  WriteWholeFile(dir.Path() + "Measuring Data Write Access is exclusive", "/usr/bin/crashed");
  Open("10:00:00");
  EXPECT_EQ(ReadWholeFile(dir.Path() + "Measuring Data Write Access is exclusive"), Program);
}

}  // namespace

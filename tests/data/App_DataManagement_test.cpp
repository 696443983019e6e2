#include "data/App_DataManagement.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <tuple>
#include <vector>

#include "core/LogUnit.h"
#include "support/TempDir.h"

namespace {

// A store with one double history per scale; every sample writes its value into all channels.
class TTestStore : public TDataManagement {
 public:
  void AddSample(double value, THorizontalScale h = hsNone) {
    std::lock_guard guard(FLockObj);
    for (auto& channel : (*FHistory)[h]) channel[LaufX(h)] = value;
    AdvanceX(h);
  }
  void AddSamples(int count, THorizontalScale h = hsNone) {
    for (int i = 0; i < count; ++i) AddSample(i, h);
  }
  // The newest value of channel 1, read under the lock as the copying readers do.
  double NewestValue(THorizontalScale h) const {
    std::lock_guard guard(FLockObj);
    return (*FHistory)[h][0][(LaufX(h) - 1) & DM_HistoryMask];
  }
  void Reset() override {
    ++ResetCalls;
    {
      std::lock_guard guard(FLockObj);
      for (auto& scale : *FHistory)
        for (auto& channel : scale) channel.fill(0);
    }
    TDataManagement::Reset();
  }
  using TDataManagement::AddError;
  using TDataManagement::AddWarning;
  using TDataManagement::ApplyHeader;

  int ResetCalls = 0;

 protected:
  TTestStore(int32_t aLogId, int32_t aSessId, bool aSessIsCopy)
      : TDataManagement(aLogId, aSessId, aSessIsCopy, "TTestStore") {}

 private:
  friend class TDataManagement;
  using THistory = std::array<std::array<double, DM_HistoryLength>, DM_MaxChannels>;
  std::unique_ptr<std::array<THistory, DM_ScaleCount>> FHistory = std::make_unique<std::array<THistory, DM_ScaleCount>>();
};

// What the session's handlers saw.
struct TEventRecord {
  std::vector<std::pair<int32_t, int32_t>> ChannelCount;
  std::vector<std::pair<int32_t, int32_t>> ScaleFactor;
  std::vector<std::tuple<int32_t, int32_t, std::string>> Error;
  std::vector<std::tuple<int32_t, int32_t, std::string>> Warning;
  std::vector<std::pair<int32_t, TDataManagement*>> Reset;
  std::vector<std::thread::id> Threads;
};

std::vector<std::string> LogTexts(const std::string& path) {
  std::vector<std::string> texts;
  const std::string text = ReadWholeFile(path);
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    texts.push_back(text.substr(start + 22, end - start - 22));
  return texts;
}

class DataManagementTest : public ::testing::Test {
 protected:
  DataManagementTest() {
    LogFileName(FLogId, dir.File("store.txt"), false);
    store = TDataManagement::Create<TTestStore>(FLogId, 2, false);
  }
  ~DataManagementTest() override { LogFileName(FLogId, "", false); }

  void RecordEvents() {
    store->SetOnChannelCount([this](int32_t code, int32_t n) { Note(events.ChannelCount, {code, n}); });
    store->SetOnScaleFactor([this](int32_t code, int32_t n) { Note(events.ScaleFactor, {code, n}); });
    store->SetOnError([this](int32_t code, int32_t sub, const std::string& t) { Note(events.Error, {code, sub, t}); });
    store->SetOnWarning([this](int32_t code, int32_t sub, const std::string& t) { Note(events.Warning, {code, sub, t}); });
    store->SetOnReset([this](int32_t code, TDataManagement* sender) { Note(events.Reset, {code, sender}); });
  }
  template <typename T>
  void Note(std::vector<T>& list, T entry) {
    list.push_back(std::move(entry));
    events.Threads.push_back(std::this_thread::get_id());
  }

  std::vector<std::string> Log() const { return LogTexts(InternLogFileName(FLogId)); }
  size_t LogCount(const std::string& text) const {
    const auto texts = Log();
    return std::count(texts.begin(), texts.end(), text);
  }

  TTempDir dir;
  const int FLogId = CreateLogger();
  std::unique_ptr<TTestStore> store;
  TEventRecord events;
};

TEST_F(DataManagementTest, FreshStoreIsEmptyAndResetOnce) {
  for (THorizontalScale h : {hsNone, hsShort, hsLong}) {
    EXPECT_EQ(store->GetNewCount(-1, h), 0) << HorizontalScaleName(h);
    EXPECT_EQ(store->LaufX(h), 0);
    EXPECT_EQ(store->GetScaleFactor(h), 1);
  }
  EXPECT_EQ(store->ChannelCount(), 0);
  EXPECT_EQ(store->Sync(), "0");
  EXPECT_EQ(store->SyncReset(), "0");
  EXPECT_EQ(store->ValueHeader().Header(), 0x7FFF);
  EXPECT_FALSE(store->ValueHeader().ModeValid());
  EXPECT_EQ(store->VirtualChannelCount(), 0);
  EXPECT_EQ(store->SessId(), 2);
  EXPECT_FALSE(store->SessIsCopy());
  EXPECT_EQ(store->LogId(), FLogId);
  EXPECT_EQ(store->ResetCalls, 1);
  const auto log = Log();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[log.size() - 3], "TTestStore[2/False].BaseCreate");
  EXPECT_EQ(log[log.size() - 2], "TTestStore[2/False].BaseReset");
  EXPECT_EQ(log.back(), "TTestStore[2/False].Base GetVirtualChannelCount=0");

  store.reset();
  EXPECT_EQ(Log().back(), "TTestStore[2/False].BaseDestroy");
}

TEST(HorizontalScale, Names) {
  EXPECT_EQ(HorizontalScaleName(hsNone), "hsNone");
  EXPECT_EQ(HorizontalScaleName(hsShort), "hsShort");
  EXPECT_EQ(HorizontalScaleName(hsLong), "hsLong");
  EXPECT_EQ(HorizontalScaleName(static_cast<THorizontalScale>(7)), "7");
}

struct TCursorCase {
  int samples;
  int32_t count, firstX, laufX;
};

class CursorTest : public DataManagementTest, public ::testing::WithParamInterface<TCursorCase> {};

TEST_P(CursorTest, AdvancesAndWrapsOnlyItsScale) {
  const TCursorCase c = GetParam();
  store->AddSamples(c.samples, hsShort);
  EXPECT_EQ(store->GetNewCount(-1, hsShort), c.count);
  EXPECT_EQ(store->Count(hsShort), c.count);
  EXPECT_EQ(store->FirstX(hsShort), c.firstX);
  EXPECT_EQ(store->LaufX(hsShort), c.laufX);
  EXPECT_EQ(store->NewestValue(hsShort), c.samples - 1);
  for (THorizontalScale other : {hsNone, hsLong}) EXPECT_EQ(store->GetNewCount(-1, other), 0);
}

INSTANTIATE_TEST_SUITE_P(DataManagement, CursorTest,
                         ::testing::Values(TCursorCase{1, 1, 0, 1}, TCursorCase{2047, 2047, 0, 2047},
                                           TCursorCase{2048, 2048, 0, 0}, TCursorCase{2049, 2048, 1, 1},
                                           TCursorCase{3000, 2048, 952, 952}, TCursorCase{4096, 2048, 0, 0}),
                         [](const auto& info) { return "Samples" + std::to_string(info.param.samples); });

TEST_F(DataManagementTest, GetNewCountFromAReadPosition) {
  struct TCase {
    int samples;
    int32_t startX, expected;
  };
  const TCase cases[] = {
      {100, -1, 100}, {100, 0, 100},   {100, 40, 60},   {100, 100, 0},  {3000, -1, 2048},
      {3000, 952, 0}, {3000, 951, 1}, {3000, 0, 952}, {3000, 953, 2047}, {3000, 2047, 953},
  };
  for (const TCase& c : cases) {
    store->Reset();
    store->AddSamples(c.samples);
    EXPECT_EQ(store->GetNewCount(c.startX, hsNone), c.expected) << c.samples << " samples, startX " << c.startX;
  }
}

TEST_F(DataManagementTest, GetNewXOfTheNewestPositions) {
  struct TCase {
    int samples;
    int32_t anz, expected;
  };
  const TCase cases[] = {
      {100, 10, 90},  {100, 500, 0},    {100, 0, 100},      {100, -5, 100},
      {3000, 10, 942}, {3000, 960, 2040}, {3000, 5000, 952},
  };
  for (const TCase& c : cases) {
    store->Reset();
    store->AddSamples(c.samples);
    EXPECT_EQ(store->GetNewX(c.anz, hsNone), c.expected) << c.samples << " samples, anz " << c.anz;
  }
}

TEST_F(DataManagementTest, GetNewXBeforeAReadPosition) {
  struct TCase {
    int samples;
    int32_t anz, startX, expected, expectedAnz;
  };
  const TCase cases[] = {
      {100, 150, 100, 0, 100},     // more than stored: all of it
      {100, 30, 100, 70, 30},
      {100, 30, 10, 0, 30},        // a ring that is not full does not wrap into unwritten positions
      {3000, 30, 10, 2028, 30},    // a full ring wraps
      {3000, 3000, 952, 0, 2048},
      {0, 1, 0, 0, 0},
  };
  for (const TCase& c : cases) {
    store->Reset();
    store->AddSamples(c.samples);
    int32_t anz = c.anz;
    EXPECT_EQ(store->GetNewX(anz, c.startX, hsNone), c.expected) << c.samples << " samples, anz " << c.anz;
    EXPECT_EQ(anz, c.expectedAnz) << c.samples << " samples, anz " << c.anz;
  }
}

TEST(DataManagementStatic, GetNextXWraps) {
  EXPECT_EQ(TDataManagement::GetNextX(2040, 10), 2);
  EXPECT_EQ(TDataManagement::GetNextX(0, 0), 0);
  EXPECT_EQ(TDataManagement::GetNextX(100, 2048), 100);
  EXPECT_EQ(TDataManagement::GetNextX(5000, 0), 5000 & 2047);
}

TEST_F(DataManagementTest, SetChannelCountRaisesOnlyOnChange) {
  RecordEvents();
  EXPECT_TRUE(store->SetChannelCount(3));
  EXPECT_FALSE(store->SetChannelCount(3));
  EXPECT_EQ(store->ChannelCount(), 3);
  EXPECT_EQ(events.ChannelCount, (std::vector<std::pair<int32_t, int32_t>>{{2, 3}}));
  EXPECT_EQ(LogCount("TTestStore[2/False].BaseSetChannelCount 3"), 1u);
}

// The output configuration is one value: replaced and read as a whole, or one field at a time
// without touching the others.
TEST_F(DataManagementTest, OutputConfigurationAsOneValue) {
  EXPECT_EQ(store->Output().Sampler, nullptr);
  EXPECT_EQ(store->MultiId(), -1);
  TStoreOutput output;
  output.FormatWin.DecimalSeparator = ',';
  output.FormatLog.DecimalSeparator = '.';
  output.AddLogStrings = true;
  output.MultiId = 3;
  store->SetOutput(output);
  store->SetMultiId(4);
  const TStoreOutput read = store->Output();
  EXPECT_EQ(read.FormatWin.DecimalSeparator, ',');
  EXPECT_EQ(read.FormatLog.DecimalSeparator, '.');
  EXPECT_TRUE(read.AddLogStrings);
  EXPECT_TRUE(store->AddLogStrings());
  EXPECT_EQ(read.MultiId, 4);
  store->SetAddLogStrings(false);
  EXPECT_FALSE(store->Output().AddLogStrings);
  EXPECT_EQ(store->Output().FormatWin.DecimalSeparator, ',');
}

TEST_F(DataManagementTest, SyncResetReplacesOnlyAPendingDefault) {
  struct TCase {
    std::string sync, newReset, expectedSync;
  };
  const TCase cases[] = {
      {"1", "0", "1"},  // same reset value: nothing changes
      {"0", "2", "2"},  // no marker pending: follows the new reset value
      {"1", "2", "1"},  // a pending marker stays
  };
  for (const TCase& c : cases) {
    store->SetSyncReset("0");
    store->SetSync(c.sync);
    store->SetSyncReset(c.newReset);
    EXPECT_EQ(store->Sync(), c.expectedSync) << c.sync << " -> " << c.newReset;
    EXPECT_EQ(store->SyncReset(), c.newReset);
  }
}

TEST_F(DataManagementTest, SampleOfTheFirstScaleEndsTheSyncMarker) {
  store->SetSyncReset("S");
  store->SetSync("1");
  store->AddSample(0, hsShort);
  store->AddSample(0, hsLong);
  EXPECT_EQ(store->Sync(), "1");
  store->AddSample(0, hsNone);
  EXPECT_EQ(store->Sync(), "S");
  store->SetSync("1");
  store->Reset();
  EXPECT_EQ(store->Sync(), "S");
}

TEST_F(DataManagementTest, ResetEmptiesEveryScaleAndReportsStoredData) {
  RecordEvents();
  store->Reset();
  EXPECT_TRUE(events.Reset.empty()) << "nothing was stored";

  store->SetChannelCount(4);
  store->AddSamples(5, hsLong);
  store->Reset();
  EXPECT_EQ(store->GetNewCount(-1, hsLong), 0);
  EXPECT_EQ(store->LaufX(hsLong), 0);
  EXPECT_EQ(store->ChannelCount(), 0);
  EXPECT_EQ(events.ChannelCount, (std::vector<std::pair<int32_t, int32_t>>{{2, 4}, {2, 0}}));
  EXPECT_EQ(events.Reset, (std::vector<std::pair<int32_t, TDataManagement*>>{{3, store.get()}}));
}

TEST_F(DataManagementTest, HeaderChangeResetsOnceAfterTheFirstHeader) {
  RecordEvents();
  const int resetsAfterCreate = store->ResetCalls;
  EXPECT_FALSE(store->ApplyHeader(0x1910)) << "first header";
  EXPECT_FALSE(store->ApplyHeader(0x9910)) << "only the lost flag differs";
  EXPECT_EQ(store->ResetCalls, resetsAfterCreate);
  EXPECT_TRUE(store->ValueHeader().Lost());

  EXPECT_TRUE(store->ApplyHeader(0x2910)) << "no data stored";
  EXPECT_EQ(store->ResetCalls, resetsAfterCreate + 1);
  EXPECT_TRUE(events.Reset.empty());

  store->AddSamples(3);
  EXPECT_TRUE(store->ApplyHeader(0x1910));
  EXPECT_EQ(store->ResetCalls, resetsAfterCreate + 2);
  EXPECT_EQ(events.Reset.size(), 1u);
  EXPECT_EQ(store->GetNewCount(-1, hsNone), 0);
  EXPECT_EQ(store->ValueHeader().Mode(), 1);
  EXPECT_EQ(LogCount("TTestStore[2/False].Base Header changed: old=2910, new=1910"), 1u);
}

TEST_F(DataManagementTest, HeaderResetWordMakesTheNextHeaderAFirstOne) {
  store->ApplyHeader(0x1910);
  EXPECT_TRUE(store->ApplyHeader(0xFFFF));
  const int resets = store->ResetCalls;
  EXPECT_FALSE(store->ApplyHeader(0x2A10));
  EXPECT_EQ(store->ResetCalls, resets);
}

TEST_F(DataManagementTest, LogTypeBits) {
  struct TCase {
    uint32_t types;
    int bit;
    bool expected;
  };
  const TCase cases[] = {
      {0, 0, false},          {0x1, 0, true},  {0x1, 5, false},  {0x8000, 15, true},
      {0x80000000, 31, true}, {0xFFFFFFFF, 32, false}, {0xFFFFFFFF, -1, false},
  };
  for (const TCase& c : cases) {
    store->SetSamplerLogTypes(c.types);
    EXPECT_EQ(store->IsLogTypeNeeded(c.bit), c.expected) << std::hex << c.types << " bit " << std::dec << c.bit;
  }
  EXPECT_EQ(store->SamplerLogTypes(), 0xFFFFFFFFu);
}

TEST_F(DataManagementTest, VirtualChannelCountIsCachedUntilFactorsChange) {
  TChannelFactors one{};
  one[4] = -0.5;
  store->SetVirtualFactors(3, one);
  EXPECT_EQ(store->VirtualChannelCount(), 1) << "rows 1 and 2 are empty, row 3 counts";
  EXPECT_EQ(store->VirtualChannelCount(), 1);
  EXPECT_EQ(LogCount("TTestStore[2/False].Base GetVirtualChannelCount=1"), 1u) << "counted once";
  EXPECT_EQ(store->GetVirtualFactors(3), one);

  TChannelFactors two{};
  two[0] = 1;
  two[1] = -1;
  store->SetVirtualFactors(1, two);
  EXPECT_EQ(store->VirtualChannelCount(), 2);
  store->SetVirtualFactors(3, TChannelFactors{});
  EXPECT_EQ(store->VirtualChannelCount(), 1);
  EXPECT_EQ(store->GetVirtualFactors(1), two);
}

TEST_F(DataManagementTest, VirtualFactorsOutsideTheChannelsAreRefused) {
  TChannelFactors one{};
  one[0] = 1;
  for (int32_t k : {0, 25, -1}) {
    store->SetVirtualFactors(k, one);
    EXPECT_EQ(store->GetVirtualFactors(k), TChannelFactors{});
  }
  EXPECT_EQ(store->VirtualChannelCount(), 0);
  EXPECT_EQ(LogCount("ERROR: TTestStore[2/False].BaseSetVirtualFactors invalid channel 25"), 1u);
}

TEST_F(DataManagementTest, SessIsCopyRewritesTheTag) {
  store->SetSessIsCopy(true);
  EXPECT_TRUE(store->SessIsCopy());
  store->AddWarning(41, "warm");
  store->SetSessIsCopy(false);
  store->AddWarning(41, "cold");
  const auto log = Log();
  const std::vector<std::string> tail(log.end() - 4, log.end());
  EXPECT_EQ(tail, (std::vector<std::string>{
                      "TTestStore[2/False].BaseSetSessIsCopy True",
                      "TTestStore[2/True].BaseAddWarning: warm",
                      "TTestStore[2/True].BaseSetSessIsCopy False",
                      "TTestStore[2/False].BaseAddWarning: cold",
                  }));
}

TEST_F(DataManagementTest, ScaleFactorRaisesOnChange) {
  RecordEvents();
  store->SetScaleFactor(hsLong, 100);
  store->SetScaleFactor(hsLong, 100);
  store->SetScaleFactor(hsShort, 1);
  EXPECT_EQ(store->GetScaleFactor(hsLong), 100);
  EXPECT_EQ(events.ScaleFactor, (std::vector<std::pair<int32_t, int32_t>>{{2, 100}}));
  EXPECT_EQ(LogCount("TTestStore[2/False].BaseSetScaleFactor[hsLong]=100"), 1u);
}

TEST_F(DataManagementTest, ErrorsAndWarningsAreLoggedAndRaised) {
  RecordEvents();
  store->AddError(31, "Transfer error. Data lost: %x%");
  store->AddWarning(43, "all clear");
  EXPECT_EQ(events.Error, (std::vector<std::tuple<int32_t, int32_t, std::string>>{{31, 0, "Transfer error. Data lost: %x%"}}));
  EXPECT_EQ(events.Warning, (std::vector<std::tuple<int32_t, int32_t, std::string>>{{43, 0, "all clear"}}));
  EXPECT_EQ(LogCount("ERROR: TTestStore[2/False].BaseAddError: Transfer error. Data lost: %x%"), 1u);
  EXPECT_EQ(LogCount("TTestStore[2/False].BaseAddWarning: all clear"), 1u);
}

// Each event, raised while SynchronizedNeeded is set, goes through the dispatcher into another thread.
TEST_F(DataManagementTest, SynchronizedEventsRunThroughTheDispatcher) {
  RecordEvents();
  int dispatched = 0;
  store->SetSyncDispatcher([&](const std::function<void()>& call) {
    ++dispatched;
    std::thread window(call);
    window.join();
  });
  store->SetSynchronizedNeeded(true);

  struct TCase {
    std::function<void(TTestStore&)> raise;
    std::string line;
  };
  const TCase cases[] = {
      {[](TTestStore& s) { s.SetChannelCount(2); }, "TTestStore[2/False].BaseSetChannelCount Synchronize"},
      {[](TTestStore& s) { s.SetScaleFactor(hsShort, 5); }, "TTestStore[2/False].BaseSetScaleFactor Synchronize"},
      {[](TTestStore& s) { s.AddError(51, "e"); }, "TTestStore[2/False].BaseAddError Synchronize"},
      {[](TTestStore& s) { s.AddWarning(41, "w"); }, "TTestStore[2/False].BaseAddWarning Synchronize"},
  };
  for (const TCase& c : cases) {
    const int before = dispatched;
    c.raise(*store);
    EXPECT_EQ(dispatched, before + 1) << c.line;
    EXPECT_EQ(LogCount(c.line), 1u);
  }
  // A reset with stored data raises the channel count and then the reset.
  store->AddSamples(1);
  store->Reset();
  EXPECT_EQ(LogCount("TTestStore[2/False].BaseReset Synchronize"), 1u);
  EXPECT_EQ(LogCount("TTestStore[2/False].BaseSetChannelCount Synchronize"), 2u);

  EXPECT_EQ(events.ChannelCount.size(), 2u);
  EXPECT_EQ(events.ScaleFactor.size(), 1u);
  EXPECT_EQ(events.Error.size(), 1u);
  EXPECT_EQ(events.Warning.size(), 1u);
  EXPECT_EQ(events.Reset.size(), 1u);
  for (std::thread::id id : events.Threads) EXPECT_NE(id, std::this_thread::get_id());
}

TEST_F(DataManagementTest, WithoutSynchronizeOrHandlerTheDispatcherIsIdle) {
  int dispatched = 0;
  store->SetSyncDispatcher([&](const std::function<void()>& call) {
    ++dispatched;
    call();
  });
  store->SetSynchronizedNeeded(true);
  store->SetChannelCount(5);  // no handler assigned
  RecordEvents();
  store->SetSynchronizedNeeded(false);
  store->SetChannelCount(6);
  EXPECT_EQ(dispatched, 0);
  EXPECT_EQ(events.ChannelCount.size(), 1u);
  EXPECT_EQ(events.Threads.front(), std::this_thread::get_id());
}

// The views poll the cursors without the lock while the report thread writes.
TEST_F(DataManagementTest, ReaderSeesMonotoneCursorsWhileTheWriterAdds) {
  constexpr int kSamples = 3000;
  std::atomic<bool> done{false};
  std::thread writer([&] {
    store->AddSamples(kSamples);
    done.store(true);
  });

  int32_t lastCount = 0;
  double lastValue = -1;
  int32_t readX = 0;
  int failures = 0;
  for (bool finished = false; !finished;) {
    finished = done.load();
    const int32_t count = store->GetNewCount(-1, hsNone);
    if (count < lastCount || count > DM_HistoryLength) ++failures;
    lastCount = count;

    const int32_t fresh = store->GetNewCount(readX, hsNone);
    if (fresh < 0 || fresh > DM_HistoryLength) ++failures;
    readX = TDataManagement::GetNextX(readX, fresh);

    int32_t anz = 16;
    const int32_t first = store->GetNewX(anz, store->LaufX(hsNone), hsNone);
    if (first < 0 || first >= DM_HistoryLength || anz < 0 || anz > 16) ++failures;
    const int32_t newest = store->GetNewX(1, hsNone);
    if (newest < 0 || newest >= DM_HistoryLength) ++failures;

    if (count > 0) {
      const double value = store->NewestValue(hsNone);
      if (value < lastValue) ++failures;
      lastValue = value;
    }
  }
  writer.join();
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(lastCount, DM_HistoryLength);
  EXPECT_EQ(lastValue, kSamples - 1);
  EXPECT_EQ(store->FirstX(hsNone), kSamples & DM_HistoryMask);
}

}  // namespace

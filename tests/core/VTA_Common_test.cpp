#include "core/VTA_Common.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <thread>

#include "core/IMessageNotifier.h"
#include "support/TempDir.h"

using namespace std::chrono_literals;

namespace {
TWallTime LocalTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;
  return std::chrono::system_clock::from_time_t(std::mktime(&tm));
}

TMessageItem Item(int32_t sIndex, TMsgType type, TWallTime time, const std::string& text) {
  TMessageItem item;
  item.sIndex = sIndex;
  item.MsgType = type;
  item.Time = time;
  item.Text = text;
  return item;
}

class MessageListTest : public ::testing::Test {
 protected:
  TManualClock clock{LocalTime(2024, 3, 5, 14, 7, 9)};
  std::vector<std::string> diagnostics;
  TMessageList list{[this](const std::string& line) { diagnostics.push_back(line); },
                    [](int32_t sIndex) { return 0x0000FFu + static_cast<uint32_t>(sIndex); }, clock};

  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const auto& item : list.Snapshot()) texts.push_back(item.Text);
    return texts;
  }
  bool Logged(const std::string& line) const {
    return std::find(diagnostics.begin(), diagnostics.end(), line) != diagnostics.end();
  }
};

class RecordingNotifier : public IMessageNotifier {
 public:
  bool NotifyMessage(TMessageItem& aMsg) override {
    seen.push_back(aMsg);
    aMsg.Link = reinterpret_cast<TNotification*>(&marker);
    return false;
  }
  std::vector<TMessageItem> seen;
  int marker = 0;
};
}  // namespace

TEST(MessageCatalogue, FourClassesWithTheirWildcardsFirst) {
  struct Case {
    int cls;
    size_t rows;
    int32_t wildcard;
    const char* wildcardText;
  };
  const Case cases[] = {{0, 15, -1, "E - All Errors, Warnings"},
                        {1, 18, -2, "I - All Infos"},
                        {2, 10, -3, "E - All Internal Hardware Errors"},
                        {3, 12, -4, "E - All Internal Software Errors"}};
  for (const Case& c : cases) {
    const TMessArray& list = MessageCodeList(c.cls);
    ASSERT_EQ(list.size(), c.rows) << c.cls;
    EXPECT_EQ(list[0].Code, c.wildcard);
    EXPECT_EQ(list[0].Text, c.wildcardText);
    for (size_t i = 0; i < list.size(); ++i) {
      EXPECT_EQ(list[i].ItemIndex, static_cast<int32_t>(i));
      const char tag = list[i].MsgType == mtWarning ? 'W' : list[i].MsgType == mtError ? 'E' : list[i].Text[0];
      EXPECT_EQ(list[i].Text.substr(0, 4), std::string(1, tag) + " - ") << list[i].Text;
    }
  }
  EXPECT_TRUE(MessageCodeList(4).empty());
  EXPECT_EQ(MessageCodeList(1)[15].Text, "I - Device Version ");
  EXPECT_EQ(MessageCodeList(2)[8].Text, "E - ZCT: T2 d4>=2");
}

TEST(MessageColours, DarkSessionColoursGetWhiteText) {
  for (uint32_t dark : {0x000000u, 0x0000FFu, 0x1E69D2u, 0xA4A0A0u, 0xFF80C0u})
    EXPECT_EQ(ContrastTextColor(dark), kColorWhite) << std::hex << dark;
  for (uint32_t light : {0xFFFFFFu, 0x00FFFFu, 0x808081u, 0xC0C0C0u})
    EXPECT_EQ(ContrastTextColor(light), kColorBlack) << std::hex << light;
}

TEST(MessageLine, FieldsEqualToThePreviousItemAreBlanked) {
  const TWallTime t = LocalTime(2024, 3, 5, 14, 7, 9);
  TMessageItem base = Item(0, mtError, t, "PLL unlocked");
  TMessageItem viaThread = base;
  viaThread.ViaThread = true;
  TMessageItem counted = base;
  counted.Count = 3;
  TMessageItem general = Item(kNoSession, mtInfo, t, "Logfile opened");
  const TMessageItem otherDay = Item(1, mtWarning, t - 25h, "x");
  const TMessageItem laterSameDay = Item(1, mtWarning, t + 1s, "x");
  struct Case {
    const TMessageItem* item;
    const TMessageItem* last;
    std::string expected;
  };
  const Case cases[] = {
      {&base, nullptr, "05.03.2024 14:07:09 ERR   A PLL unlocked"},
      {&base, &base, std::string(28, ' ') + "PLL unlocked"},
      {&viaThread, nullptr, "05.03.2024 14:07:09 ERR   via thread A PLL unlocked"},
      {&counted, &otherDay, "05.03.2024 14:07:09 ERR   A PLL unlocked (3)"},
      {&base, &laterSameDay, "           14:07:09 ERR   A PLL unlocked"},
      {&general, nullptr, "05.03.2024 14:07:09 INFO    Logfile opened"},
      {&general, &base, "                    INFO    Logfile opened"},
  };
  for (const Case& c : cases) EXPECT_EQ(ItemToString(*c.item, c.last), c.expected);
  EXPECT_EQ(SessionLetter(2), 'C');
}

TEST_F(MessageListTest, DuplicateRules) {
  struct Case {
    const char* name;
    TMsgType type;
    int32_t code;
    int32_t secondSession;
    int32_t secondSubCode;
    const char* secondText;
    std::chrono::milliseconds gap;
    size_t items;
  };
  const Case cases[] = {
      {"error within a minute", mtError, 21, 0, 1, "same", 59999ms, 1},
      {"error after a minute", mtError, 21, 0, 1, "same", 60000ms, 2},
      {"error other text", mtError, 21, 0, 1, "other", 1s, 2},
      {"error other sub-code", mtError, 21, 0, 2, "same", 1s, 2},
      {"error other session", mtError, 21, 1, 1, "same", 1s, 2},
      {"FPGA format error ignores text", mtError, 32756, 0, 1, "other", 1s, 1},
      {"warning never merged", mtWarning, 41, 0, 1, "same", 1s, 2},
      {"info 23 merged", mtInfo, 23, 0, 1, "same", 1s, 1},
      {"info 32760 merged", mtInfo, 32760, 0, 1, "same", 1s, 1},
      {"other info not merged", mtInfo, 13, 0, 1, "same", 1s, 2},
  };
  for (const Case& c : cases) {
    list.Clear();
    list.Add(c.type, 0, c.code, 1, "same", true);
    clock.Advance(c.gap);
    list.Add(c.type, c.secondSession, c.code, c.secondSubCode, c.secondText, true);
    const auto items = list.Snapshot();
    ASSERT_EQ(items.size(), c.items) << c.name;
    EXPECT_EQ(items.back().Text, c.secondText) << c.name;
    EXPECT_EQ(items.back().Count, c.items == 1 ? 2 : 1) << c.name;
  }
}

TEST_F(MessageListTest, RepeatedErrorCountsUpAndMovesToTheEnd) {
  list.AddErrorThread(0, 21, 0, "Reading Report Failed");
  list.AddInfoThread(0, 13, 0, "Mode changed");
  clock.Advance(10s);
  list.AddErrorThread(0, 21, 0, "Reading Report Failed");
  clock.Advance(10s);
  list.AddErrorThread(0, 21, 0, "Reading Report Failed");
  const auto items = list.Snapshot();
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].Text, "Mode changed");
  EXPECT_EQ(items[1].Count, 3);
  EXPECT_EQ(ItemToString(items[1], &items[0]).substr(19), " ERR   via thread   Reading Report Failed (3)");
  EXPECT_TRUE(Logged("TMainForm.AddErrorIntern delete duplicate msg(1: 05.03.2024 14:07:19 ERR   via thread A "
                     "Reading Report Failed (2))"));
}

TEST_F(MessageListTest, ReferenceClockErrorRemovesRecentPllAndTransferErrorsOfItsSession) {
  struct Case {
    const char* name;
    int32_t session;
    int32_t code;
    const char* text;
    std::chrono::milliseconds age;
    bool removed;
  };
  const Case cases[] = {
      {"PLL 3 s before", 0, 32767, "PLL unlocked", 3s, true},
      {"PLL 5 s before", 0, 32767, "PLL unlocked", 5s, false},
      {"PLL 6 s before", 0, 32767, "PLL unlocked", 6s, false},
      {"PLL of another session", 1, 32767, "PLL unlocked", 3s, false},
      {"transfer interrupted", 0, 22, "Data transfer interrupted (USB)", 2s, true},
      {"unrelated error", 0, 21, "Reading Report Failed", 2s, false},
  };
  for (const Case& c : cases) {
    list.Clear();
    diagnostics.clear();
    list.AddErrorThread(c.session, c.code, 0, c.text);
    clock.Advance(c.age);
    list.AddErrorThread(0, 32761, 0, "10MHz Reference Invalid");
    EXPECT_EQ(list.Count(), c.removed ? 1u : 2u) << c.name;
    EXPECT_EQ(list.Snapshot().back().Code, 32761) << c.name;
    const bool logged = Logged("TMainForm.AddErrorIntern delete PLL error") ||
                        Logged("TMainForm.AddErrorIntern delete Data transfer interrupted error");
    EXPECT_EQ(logged, c.removed) << c.name;
  }
}

TEST_F(MessageListTest, ReferenceClockWalkStopsAtTheFirstOldItemOfTheSession) {
  list.AddErrorThread(0, 32767, 0, "PLL unlocked");  // behind the old item: kept
  clock.Advance(1s);
  list.AddInfoThread(0, 13, 0, "Mode changed");
  clock.Advance(5s);
  list.AddErrorThread(1, 32767, 0, "PLL unlocked");  // other session: skipped
  list.AddErrorThread(0, 32767, 1, "PLL unlocked");  // recent: removed
  list.AddErrorThread(0, 32761, 0, "10MHz Reference Invalid");
  const auto items = list.Snapshot();
  ASSERT_EQ(items.size(), 4u);
  EXPECT_EQ(items[0].Code, 32767);
  EXPECT_EQ(items[2].sIndex, 1);
}

TEST_F(MessageListTest, DiagnosticLinesNameTheOperation) {
  list.AddError(0, 21, 0, "a");
  list.AddErrorThread(-2, 92, 0, "b");
  list.AddWarning(1, 17, 0, "c");
  list.AddWarningThread(1, 41, 0, "d");
  list.AddInfo(-2, 91, 0, "e");
  list.AddInfoThread(3, 32760, 0, "f");
  const std::vector<std::string> expected = {
      "TMainForm.AddError[0]: (21) a",          "TMainForm.AddErrorThread[-2]: (92) b",
      "TMainForm.AddWarning[1]: (17=0x11) c",   "TMainForm.AddWarningThread[1]: (41=0x29) d",
      "TMainForm.AddInfo[-2]: (91=0x5B) e",     "TMainForm.AddInfoThread[3]: (32760=0x7FF8) f",
  };
  EXPECT_EQ(diagnostics, expected);
}

TEST_F(MessageListTest, ItemsCarrySessionColourTypeAndThreadMark) {
  list.AddWarningThread(2, 41, 7, "warn");
  list.AddInfo(kNoSession, 91, 0, "general");
  const auto items = list.Snapshot();
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].sColor, 0x000101u);
  EXPECT_EQ(items[0].MsgType, mtWarning);
  EXPECT_EQ(items[0].SubCode, 7);
  EXPECT_TRUE(items[0].ViaThread);
  EXPECT_EQ(items[0].Time, clock.Wall());
  EXPECT_EQ(items[1].sIndex, kNoSession);
  EXPECT_EQ(items[1].sColor, kColorWhite);
  EXPECT_FALSE(items[1].ViaThread);
}

TEST_F(MessageListTest, WorkerThreadVariantsRaiseTheUpdateFlags) {
  struct Case {
    TMsgType type;
    bool viaThread;
    bool updateNeeded;
    bool updateInfoNeeded;
  };
  const Case cases[] = {
      {mtError, false, false, false}, {mtError, true, true, false},  {mtWarning, false, false, false},
      {mtWarning, true, true, false}, {mtInfo, false, false, false}, {mtInfo, true, false, true},
  };
  for (const Case& c : cases) {
    list.Add(c.type, 0, 1, 0, "x", c.viaThread);
    EXPECT_EQ(list.UpdateNeeded(), c.updateNeeded);
    EXPECT_EQ(list.UpdateInfoNeeded(), c.updateInfoNeeded);
    const TMessageUpdateFlags flags = list.TakeUpdateFlags();
    EXPECT_EQ(flags.UpdateNeeded, c.updateNeeded);
    EXPECT_EQ(flags.UpdateInfoNeeded, c.updateInfoNeeded);
    EXPECT_FALSE(list.UpdateNeeded() || list.UpdateInfoNeeded());
  }
}

TEST_F(MessageListTest, NewItemsAreOfferedToTheNotifierAndKeepItsLink) {
  RecordingNotifier notifier;
  list.SetNotifier(&notifier);
  list.AddErrorThread(0, 21, 0, "a");
  list.AddErrorThread(0, 21, 0, "a");
  list.AddInfo(1, 13, 0, "b");
  ASSERT_EQ(notifier.seen.size(), 3u);
  EXPECT_EQ(notifier.seen[1].Count, 2) << "offered after de-duplication";
  for (const auto& item : list.Snapshot()) EXPECT_EQ(item.Link, reinterpret_cast<TNotification*>(&notifier.marker));

  const auto pending = list.TakeViaThreadMessages();
  ASSERT_EQ(pending.size(), 1u);
  EXPECT_EQ(pending[0].Text, "a");
  EXPECT_NE(pending[0].Link, nullptr);
  EXPECT_TRUE(list.TakeViaThreadMessages().empty());
  EXPECT_FALSE(list.Snapshot()[0].ViaThread);
  list.SetNotifier(nullptr);
}

TEST_F(MessageListTest, SaveWritesEveryLineOldestFirst) {
  TTempDir dir;
  const std::string file = dir.File("Messages.txt");
  EXPECT_EQ(list.SaveToFile(file).Result, TMessageSaveResult::NoMessage);
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_STREQ(kNoMessageToSave, "No message to save");

  list.AddError(0, 21, 0, "first");
  clock.Advance(1s);
  list.AddWarning(0, 41, 0, "second");
  list.AddInfo(kNoSession, 91, 0, "third");
  const auto items = list.Snapshot();
  EXPECT_EQ(list.SaveToFile(file).Result, TMessageSaveResult::Saved);
  EXPECT_EQ(ReadWholeFile(file), ItemToString(items[0], nullptr) + "\r\n" + ItemToString(items[1], &items[0]) +
                                     "\r\n" + ItemToString(items[2], &items[1]) + "\r\n");

  const TMessageSaveOutcome failed = list.SaveToFile(dir.File("no/such/folder/m.txt"));
  EXPECT_EQ(failed.Result, TMessageSaveResult::WriteFailed);
  EXPECT_FALSE(failed.Error.empty());

  list.Clear();
  EXPECT_EQ(list.Count(), 0u);
}

TEST(MessageListConcurrency, AddsFromSeveralThreadsLoseNothing) {
  TMessageList list(nullptr, nullptr, SystemClock());
  constexpr int kThreads = 4;
  constexpr int kPerThread = 250;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&list, t] {
      for (int i = 0; i < kPerThread; ++i) {
        list.AddErrorThread(t, 21, i, "error " + std::to_string(i));
        if (i % 50 == 0) (void)list.Snapshot();
      }
    });
  for (auto& thread : threads) thread.join();
  const auto items = list.Snapshot();
  ASSERT_EQ(items.size(), static_cast<size_t>(kThreads * kPerThread));
  for (int t = 0; t < kThreads; ++t) {
    int expected = 0;
    for (const auto& item : items)
      if (item.sIndex == t) EXPECT_EQ(item.SubCode, expected++);
    EXPECT_EQ(expected, kPerThread);
  }
}

namespace {
class BoundedMessageListTest : public ::testing::Test {
 protected:
  static constexpr size_t kLimit = 4;
  TManualClock clock;
  std::vector<std::string> diagnostics;
  TMessageList list{[this](const std::string& line) { diagnostics.push_back(line); }, nullptr, clock, kLimit};

  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const auto& item : list.Snapshot()) texts.push_back(item.Text + (item.Count > 1 ? "*" + std::to_string(item.Count) : ""));
    return texts;
  }
  // Adds one message a second: "W..." warnings, "E..." errors, "I..." infos of code 23.
  void AddEach(std::initializer_list<const char*> texts, bool viaThread = false) {
    for (const char* text : texts) {
      clock.Advance(1s);
      const TMsgType type = text[0] == 'W' ? mtWarning : text[0] == 'E' ? mtError : mtInfo;
      list.Add(type, 0, type == mtInfo ? kMsgCodeConnectionRunningAgain : 21, 0, text, viaThread);
    }
  }
};
}  // namespace

TEST_F(BoundedMessageListTest, KeepsTheNewestAndMergesWithinTheMinuteAsBefore) {
  struct Case {
    const char* name;
    std::initializer_list<const char*> added;
    std::vector<std::string> kept;
  };
  const Case cases[] = {
      {"oldest go beyond the limit", {"W1", "W2", "W3", "W4", "W5", "W6"}, {"W3", "W4", "W5", "W6"}},
      {"twin merged across warnings", {"E1", "W1", "W2", "E1"}, {"W1", "W2", "E1*2"}},
      {"merged twice", {"E1", "W1", "E1", "W2", "E1"}, {"W1", "W2", "E1*3"}},
      {"twin already gone: not merged", {"E1", "W1", "W2", "W3", "W4", "E1"}, {"W2", "W3", "W4", "E1"}},
      {"infos of code 23 merge too", {"I1", "W1", "I1"}, {"W1", "I1*2"}},
      {"merging frees room", {"E1", "E1", "E1", "W1", "W2", "W3"}, {"E1*3", "W1", "W2", "W3"}},
  };
  for (const Case& c : cases) {
    list.Clear();
    AddEach(c.added);
    EXPECT_EQ(Texts(), c.kept) << c.name;
  }
}

TEST_F(BoundedMessageListTest, TwinOlderThanAMinuteStaysAndTheNewOneCountsFromOne) {
  AddEach({"E1"});
  clock.Advance(60s);
  AddEach({"E1", "E1"});
  EXPECT_EQ(Texts(), (std::vector<std::string>{"E1", "E1*2"}));
}

TEST_F(BoundedMessageListTest, MergeLineNamesTheTwinsIndexInTheBoundedList) {
  AddEach({"W1", "W2", "W3", "E1", "W4", "E1"});  // W1 went when W4 came: E1 was at index 2
  ASSERT_FALSE(diagnostics.empty());
  EXPECT_EQ(diagnostics.back().rfind("TMainForm.AddErrorIntern delete duplicate msg(2: ", 0), 0u) << diagnostics.back();
}

TEST_F(BoundedMessageListTest, AFloodStaysBoundedAndItsNewestPopupsAreStillShown) {
  for (int i = 0; i < 1000; ++i) {
    clock.Advance(1ms);
    list.AddWarningThread(0, 41, 0, "W" + std::to_string(i));
    list.AddErrorThread(0, 21, i, "E" + std::to_string(i));  // all different: nothing merges
  }
  EXPECT_EQ(list.Count(), kLimit);
  std::vector<std::string> popups;
  for (const auto& item : list.TakeViaThreadMessages()) popups.push_back(item.Text);
  EXPECT_EQ(popups, (std::vector<std::string>{"W998", "E998", "W999", "E999"}));
  EXPECT_TRUE(list.TakeViaThreadMessages().empty());
}

TEST_F(BoundedMessageListTest, TailAndItemsAfterHandOutTheNewestInOrder) {
  AddEach({"W1", "E1", "W2", "E1", "W3"});
  TMessageTail tail = list.Tail(2);
  ASSERT_EQ(tail.Items.size(), 2u);
  EXPECT_EQ(tail.Items[0].Text, "E1");
  EXPECT_EQ(tail.Items[1].Text, "W3");
  EXPECT_LT(tail.Seqs[0], tail.Seqs[1]);
  EXPECT_EQ(tail.UnboundedCount, 4u) << "the merged E1 replaced its twin";
  uint64_t last = 0;
  EXPECT_EQ(list.ItemsAfter(tail.Seqs[0], last).size(), 1u);
  EXPECT_EQ(last, tail.Seqs[1]);
  const uint64_t generation = tail.Generation;
  EXPECT_EQ(list.Tail(2).Generation, generation) << "nothing changed";
  list.Clear();
  tail = list.Tail(2);
  EXPECT_NE(tail.Generation, generation);
  EXPECT_EQ(tail.UnboundedCount, 0u);
  EXPECT_TRUE(list.ItemsAfter(0, last).empty());
}

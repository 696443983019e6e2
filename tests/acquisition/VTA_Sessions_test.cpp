#include "acquisition/VTA_Sessions.h"

#include <gtest/gtest.h>

#include "FakeSession.h"
#include "core/App_Settings.h"
#include "core/SessionIndexMap.h"

namespace {

class SessionListsTest : public ::testing::Test {
 protected:
  TFakeSession& Add(int32_t index, const std::string& openString = "DemoData", const std::string& friendly = "") {
    auto session = TFakeSession::Make(index, openString, std::make_shared<TFakeProbe>(), Handlers());
    session->SetOpenParams(openString, 0, kDefaultSessionColor, friendly);
    return static_cast<TFakeSession&>(lists.AddSession(std::move(session)));
  }
  TSessionHandlers Handlers() {
    TSessionHandlers handlers;
    handlers.SyncList = &lists.SyncList();
    return handlers;
  }
  std::vector<int32_t> CopyListIndexes() const {
    std::vector<int32_t> indexes;
    for (TSessionItem* item : lists.CopyList()) indexes.push_back(item->IsCopy() ? 100 + item->Index() : item->Index());
    return indexes;
  }

  TSessionLists lists;
};

TEST_F(SessionListsTest, RemovingASessionKeepsTheOthersAndFreesItsLetter) {
  Add(0);
  Add(1);
  TFakeSession& c = Add(2);
  const auto probeB = lists.GetSession(1) ? &static_cast<TFakeSession*>(lists.GetSession(1))->Probe() : nullptr;
  ASSERT_NE(probeB, nullptr);
  lists.RemoveSession(1);
  EXPECT_EQ(lists.GetSession(1), nullptr);
  EXPECT_EQ(lists.GetSession(2), &c);
  EXPECT_EQ(c.Icon().Letter, 'C');
  EXPECT_EQ(lists.SlotCount(), 3);

  ASSERT_EQ(lists.FirstFreeIndex(), 1);
  TFakeSession& again = Add(lists.FirstFreeIndex());
  EXPECT_EQ(again.Icon().Letter, 'B');
  EXPECT_EQ(lists.FirstFreeIndex(), 3);
  EXPECT_THROW(Add(2), std::logic_error);
}

TEST_F(SessionListsTest, LookupsRefuseMissingSlotsAndWrongTypes) {
  Add(0);
  TFakeSession& sensor = Add(2);
  sensor.SetType(kSessionTypeLabJack);
  for (int32_t index : {-1, 1, 3, 100}) EXPECT_EQ(lists.GetSession(index), nullptr) << index;
  EXPECT_NE(lists.GetQVSession(0), nullptr);
  EXPECT_EQ(lists.GetSensorSession(0), nullptr);
  EXPECT_EQ(lists.GetQVSession(2), nullptr);
  EXPECT_EQ(lists.GetSensorSession(2), &sensor);
}

TEST_F(SessionListsTest, NamesInLongAndShortForm) {
  Add(0, "x", "Maser");
  Add(1, "x", "");
  EXPECT_EQ(lists.GetSessionName(0, true), "Source A: Maser");
  EXPECT_EQ(lists.GetSessionName(0, false), "Source Maser");
  EXPECT_EQ(lists.GetSessionName(1, true), "Source B");
  EXPECT_EQ(lists.GetSessionName(1, false), "Source B");
  EXPECT_EQ(lists.GetSessionName(2, true), "");
}

TEST_F(SessionListsTest, CopyListIsInIndexOrderWithEachCopyBehindItsSession) {
  Add(2);
  TFakeSession& a = Add(0);
  Add(1);
  lists.AddCopy(TFakeSession::MakeCopy(a));
  EXPECT_EQ(CopyListIndexes(), (std::vector<int32_t>{0, 100, 1, 2}));
  ASSERT_NE(lists.GetSessionCopy(0), nullptr);
  EXPECT_TRUE(lists.GetSessionCopy(0)->IsCopy());
  EXPECT_EQ(lists.GetSessionCopy(1), nullptr);

  lists.RemoveCopy(0);
  EXPECT_EQ(CopyListIndexes(), (std::vector<int32_t>{0, 1, 2}));
  lists.AddCopy(TFakeSession::MakeCopy(a));
  lists.RemoveSession(0);
  EXPECT_EQ(CopyListIndexes(), (std::vector<int32_t>{1, 2}));
}

TEST_F(SessionListsTest, NoticesOfARemovedSessionAreDroppedAndNoLongerResolve) {
  TFakeSession& a = Add(0);
  TFakeSession& b = Add(1);
  auto& copyOfA = static_cast<TFakeSession&>(lists.AddCopy(TFakeSession::MakeCopy(a)));
  a.Notify(swMode, 1);
  b.Notify(swMode, 2);
  copyOfA.Notify(swIVCChannels, 3);
  a.Notify(swMode, 4);
  const TSessionRef refA = a.Ref();
  EXPECT_EQ(lists.Resolve(refA), &a);
  EXPECT_EQ(lists.Resolve(copyOfA.Ref()), &copyOfA);

  lists.RemoveSession(0);
  EXPECT_EQ(lists.Resolve(refA), nullptr);
  ASSERT_EQ(lists.SyncList().Count(), 1u);
  EXPECT_EQ(lists.SyncList().TakeFirst()->Code, 2);

  // A new session in the same slot is not mistaken for the old one.
  TFakeSession& newA = Add(0);
  EXPECT_EQ(lists.Resolve(refA), nullptr);
  EXPECT_EQ(lists.Resolve(newA.Ref()), &newA);
}

TEST_F(SessionListsTest, CloseAllClosesEveryDevice) {
  TFakeSession& a = Add(0);
  TFakeSession& b = Add(3);
  a.SetRunning(true);
  b.SetRunning(true);
  lists.CloseAll(true);
  EXPECT_FALSE(a.IsRunning());
  EXPECT_FALSE(b.IsRunning());
  EXPECT_FALSE(lists.IsMarkedRemoved(&a));
  EXPECT_FALSE(lists.IsMarkedRemoved(&b));
}

TEST(TextColorFor, WhiteOnDarkColoursOnly) {
  for (uint32_t dark : {0x000000u, 0x0000A0u, 0x3F3F3Fu, 0xFF80C0u, 0x22B14Cu}) EXPECT_EQ(TextColorFor(dark), 0xFFFFFFu);
  for (uint32_t light : {0xFFFF00u, 0xFFFFFFu, 0x00FF00u, 0x3F3F3Eu}) EXPECT_EQ(TextColorFor(light), 0u);
}

std::unique_ptr<TAppSettings> Reload(TAppSettings& settings) {
  settings.SaveSettings();
  auto fresh = std::make_unique<TAppSettings>();
  fresh->LoadFromBytes(settings.ToBytes());
  return fresh;
}

TEST_F(SessionListsTest, SavingRenumbersWithoutGapsAndReadsBack) {
  Add(0, "DemoData", "first");
  Add(1, "COM1", "second");
  Add(2, "TCP:1.2.3.4", "third");
  lists.RemoveSession(1);
  TAppSettings settings;
  settings.LoadFromBytes("Session_5_OpenString=stale\r\nSessionCount=6\r\n");

  const TSessionIndexMap map = lists.SaveSessions(settings, /*closing=*/false);
  EXPECT_EQ(map.Map(0), 0);
  EXPECT_EQ(map.Map(2), 1);
  EXPECT_EQ(map.Map(1), -1);
  EXPECT_EQ(lists.GetSession(2)->Index(), 2);  // a save while running keeps the indexes
  EXPECT_EQ(settings.TryGetValue("SessionCount"), "2");
  EXPECT_FALSE(settings.TestKeys("Session_5_"));
  EXPECT_FALSE(settings.TestKeys("Session_2_"));

  auto loaded = Reload(settings);
  TSessionLists reloaded;
  const TSessionFactory factory = [](int32_t type, int32_t index) -> std::unique_ptr<TSessionItem> {
    if (type != kSessionTypeCounter) return nullptr;
    return TFakeSession::Make(index, "");
  };
  for (int i = 0; i < 2; ++i) {
    const int32_t index = reloaded.FirstFreeIndex();
    auto session = CreateSession(factory, StoredSessionType(*loaded, index), index, *loaded, "");
    ASSERT_TRUE(session);
    reloaded.AddSession(std::move(session));
  }
  EXPECT_EQ(reloaded.GetSession(0)->FriendlyName(), "first");
  EXPECT_EQ(reloaded.GetSession(1)->FriendlyName(), "third");
  EXPECT_EQ(reloaded.GetSession(1)->OpenString(), "TCP:1.2.3.4");
  EXPECT_EQ(reloaded.GetSession(1)->Icon().Letter, 'B');
}

TEST_F(SessionListsTest, SavingWhenClosingRenumbersSessionsAndCopies) {
  Add(0);
  TFakeSession& c = Add(2);
  lists.AddCopy(TFakeSession::MakeCopy(c));
  TAppSettings settings;
  lists.SaveSessions(settings, /*closing=*/true);
  EXPECT_EQ(c.Index(), 1);
  EXPECT_EQ(lists.GetSession(1), &c);
  EXPECT_EQ(lists.GetSessionCopy(1)->Index(), 1);
  EXPECT_EQ(lists.SlotCount(), 2);
}

TEST_F(SessionListsTest, NoSessionsSaveACountOfMinusOne) {
  TAppSettings settings;
  lists.SaveSessions(settings, true);
  EXPECT_EQ(settings.TryGetValue("SessionCount"), "-1");
}

TEST(CreateSession, UnknownTypesGiveNothingAndSettingErrorsBecomeUserError61) {
  TAppSettings settings;
  std::vector<std::pair<int32_t, std::string>> errors;
  TSessionHandlers handlers;
  handlers.OnMsg = [&](int32_t, int32_t Code, int32_t, TMsgType type, const std::string& text, bool) {
    if (type == mtError) errors.emplace_back(Code, text);
  };
  const TSessionFactory factory = [&](int32_t type, int32_t index) -> std::unique_ptr<TSessionItem> {
    if (type != kSessionTypeCounter) return nullptr;
    auto probe = std::make_shared<TFakeProbe>();
    probe->DebugError = "Debug file not created";
    return TFakeSession::Make(index, "", probe, handlers);
  };
  EXPECT_EQ(CreateSession(factory, 7, 0, settings, ""), nullptr);
  auto session = CreateSession(factory, kSessionTypeCounter, 0, settings, "");
  ASSERT_TRUE(session);
  EXPECT_EQ(errors, (std::vector<std::pair<int32_t, std::string>>{{61, "Debug file not created"}}));
}

}  // namespace

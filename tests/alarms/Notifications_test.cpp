#include "alarms/Notifications.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "alarms/App_eMail.h"
#include "core/App_Settings.h"
#include "core/DateTimeText.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

namespace {

TMessageItem Msg(TMsgType type, int32_t sIndex, int32_t code, const std::string& text = "text", bool viaThread = false) {
  TMessageItem m;
  m.MsgType = type;
  m.sIndex = sIndex;
  m.Code = code;
  m.Text = text;
  m.ViaThread = viaThread;
  m.Time = TWallTime{} + std::chrono::hours(24 * 365 * 50) + std::chrono::milliseconds(123);
  return m;
}

std::unique_ptr<TNotification> MailNotification(TNotifyType type, int32_t source, TNotifyClass cls,
                                                std::vector<int32_t> codes) {
  auto n = std::make_unique<TNotification>();
  n->Notify = type;
  n->SourceIndex = source;
  n->NotifyClass = cls;
  n->Codes = std::move(codes);
  n->EmailAddress = "ops@lab.example";
  n->Subject = kDefaultSubject;
  n->SetDisplayText();
  return n;
}

struct TMatchCase {
  const char* Name;
  TNotifyClass Class;
  int32_t Source;
  std::vector<int32_t> Codes;
  TMessageItem Message;
  std::vector<int32_t> Expected;
};

TEST(NotificationMatching, ClassSessionAndCodeFilters) {
  const std::vector<TMatchCase> cases = {
      {"specific code", ncErrorWarning, -1, {92, 102}, Msg(mtError, 0, 92), {92}},
      {"wildcard takes any code of the class", ncErrorWarning, -1, {-1}, Msg(mtWarning, 1, 45), {-1}},
      {"code not in the class list", ncErrorWarning, -1, {-1}, Msg(mtError, 0, 4711), {}},
      {"other session", ncErrorWarning, 1, {-1}, Msg(mtError, 0, 92), {}},
      {"own session", ncErrorWarning, 1, {92}, Msg(mtError, 1, 92), {92}},
      {"info class needs an info", ncInfo, -1, {-2}, Msg(mtError, 0, 13), {}},
      {"info class takes any info", ncInfo, -1, {-2}, Msg(mtInfo, 0, 4711), {-2}},
      {"wildcard and specific code both match", ncInfo, -1, {-2, 13}, Msg(mtInfo, 0, 13), {-2, 13}},
      {"general message, all sessions", ncErrorWarning, -1, {92}, Msg(mtError, -2, 92), {92}},
      {"general message, one session", ncErrorWarning, 0, {92}, Msg(mtError, -2, 92), {}},
  };
  for (const TMatchCase& c : cases) {
    auto n = MailNotification(ntAlways, c.Source, c.Class, c.Codes);
    EXPECT_THAT(MatchingCodes(*n, c.Message), ElementsAreArray(c.Expected)) << c.Name;
  }
}

TEST(NotificationMail, DefaultSubjectAndBody) {
  auto n = MailNotification(ntOnce, -1, ncErrorWarning, {92});
  n->Lines = {"Lab 3", "call Bob"};
  const TMessageItem msg = Msg(mtError, 0, 92, "Data Loss");
  const std::string source = MailSourceText(0, "Lab");
  EXPECT_EQ(source, " Source A Lab");
  EXPECT_EQ(MailSourceText(1, ""), " Source B");
  EXPECT_EQ(MailSourceText(-2, "ignored"), " Logger");
  EXPECT_EQ(MailSubject(*n, msg, "PC1", source), "PC1 Source A Lab Data Loss");
  n->Subject = "Own subject";
  EXPECT_EQ(MailSubject(*n, msg, "PC1", source), "Own subject");
  EXPECT_THAT(MailBody(*n, msg, source),
              ElementsAre("Data Loss", "Lab 3", "call Bob",
                          IsoDateTimeMsText(msg.Time) + " Notification(92=0x5C) Source A Lab"));
  EXPECT_EQ(MailBody(*n, Msg(mtInfo, -2, 13), " Logger").back(),
            IsoDateTimeMsText(msg.Time) + " Notification(13=0x0D) Logger");
}

class NotificationListTest : public ::testing::Test {
 protected:
  NotificationListTest() : list([this](TEMail m) { mails.push_back(std::move(m)); }, "PC1", log.Id()) {
    list.SetSessionName([](int32_t s) { return s == 0 ? std::string("Lab") : std::string(); });
    list.SetShowPopup([this](const TMessageItem& m) { popups.push_back(m); });
    list.SetSenderName("vta@lab.example");
    list.UpdateSessionList(2);
  }
  bool Notify(TMessageItem m) { return list.NotifyMessage(m); }

  TLogCapture log;
  std::vector<TEMail> mails;
  std::vector<TMessageItem> popups;
  TNotificationList list;
};

TEST_F(NotificationListTest, OnceForAllSessionsMailsOncePerSessionThenStops) {
  list.Add(MailNotification(ntOnce, -1, ncErrorWarning, {92}));
  for (int i = 0; i < 2; ++i) {
    Notify(Msg(mtError, 0, 92, "Logfile closed"));
    Notify(Msg(mtError, 1, 92, "Logfile closed"));
  }
  ASSERT_EQ(mails.size(), 2u);
  EXPECT_EQ(mails[0].Subject, "PC1 Source A Lab Logfile closed");
  EXPECT_EQ(mails[1].Subject, "PC1 Source B Logfile closed");
  EXPECT_EQ(mails[0].Sender, "vta@lab.example");
  EXPECT_THAT(mails[0].Recipients, ElementsAre("ops@lab.example"));
  EXPECT_FALSE(list.GetItem(0).enabled);
}

TEST_F(NotificationListTest, OnceWithWildcardEndsWhenEveryCodeOfTheClassWasMailed) {
  list.Add(MailNotification(ntOnce, 1, ncErrorWarning, {-1}));
  const TMessArray& codes = MessageCodeList(ncErrorWarning);
  for (size_t i = 1; i < codes.size(); ++i) {
    EXPECT_TRUE(list.GetItem(0).enabled);
    Notify(Msg(codes[i].MsgType, 1, codes[i].Code));
    Notify(Msg(codes[i].MsgType, 1, codes[i].Code));
  }
  EXPECT_EQ(mails.size(), codes.size() - 1);
  EXPECT_FALSE(list.GetItem(0).enabled);
  EXPECT_TRUE(log.Contains("Notification Once: einfache Source, alle Codes: fertig " + list.GetItem(0).ToString()));
}

// A "once" notification ends only when every session and code it names was mailed.
TEST(NotificationOnce, CompleteWhenEverySessionAndCodeIsDone) {
  using TPairs = std::set<std::pair<int32_t, int32_t>>;
  const int32_t classCodes = static_cast<int32_t>(MessageCodeList(ncErrorWarning).size()) - 1;
  TPairs allOfSession1;
  for (size_t i = 1; i < MessageCodeList(ncErrorWarning).size(); ++i)
    allOfSession1.insert({1, MessageCodeList(ncErrorWarning)[i].Code});
  ASSERT_EQ(static_cast<int32_t>(allOfSession1.size()), classCodes);
  struct TCase {
    const char* Name;
    int32_t Source;
    std::vector<int32_t> Codes;
    TPairs Sent;
    bool Complete;
  };
  const std::vector<TCase> cases = {
      {"one session, one code", 1, {41}, {{1, 41}}, true},
      {"one session, first of two codes", 1, {41, 43}, {{1, 41}}, false},
      {"one session, both codes", 1, {41, 43}, {{1, 41}, {1, 43}}, true},
      {"all sessions, one code, one session done", -1, {92}, {{0, 92}}, false},
      {"all sessions, one code, both sessions", -1, {92}, {{0, 92}, {1, 92}}, true},
      {"all sessions, two codes, one code everywhere", -1, {41, 43}, {{0, 41}, {1, 41}, {0, 43}}, false},
      {"all sessions, two codes, all done", -1, {41, 43}, {{0, 41}, {1, 41}, {0, 43}, {1, 43}}, true},
      {"one session, wildcard, one code", 1, {-1}, {{1, 41}}, false},
      {"one session, wildcard, every code", 1, {-1}, allOfSession1, true},
      {"all sessions, wildcard, one session", -1, {-1}, allOfSession1, false},
      {"wildcard and a code, every code", 1, {-1, 41}, allOfSession1, true},
  };
  for (const TCase& c : cases) {
    TNotification n;
    n.SourceIndex = c.Source;
    n.Codes = c.Codes;
    n.FSendMsg = c.Sent;
    EXPECT_EQ(OnceComplete(n, 2), c.Complete) << c.Name;
  }
}

TEST_F(NotificationListTest, OnceWithSeveralCodesMailsEachCodeBeforeItStops) {
  list.Add(MailNotification(ntOnce, 0, ncErrorWarning, {41, 43}));
  Notify(Msg(mtWarning, 0, 41, "Clock Supervisor Warning"));
  Notify(Msg(mtWarning, 0, 41, "Clock Supervisor Warning"));
  EXPECT_TRUE(list.GetItem(0).enabled);
  Notify(Msg(mtWarning, 0, 43, "Clock Supervisor End Warning"));
  ASSERT_EQ(mails.size(), 2u);
  EXPECT_EQ(mails[1].Subject, "PC1 Source A Lab Clock Supervisor End Warning");
  EXPECT_FALSE(list.GetItem(0).enabled);
}

TEST(NotificationMails, OneMailPerNotificationAndMessageWhenSeveralCodesMatch) {
  for (TNotifyType type : {ntAlways, ntOnce}) {
    size_t mails = 0;
    TNotificationList list([&mails](TEMail) { ++mails; }, "PC1");
    list.UpdateSessionList(1);
    list.Add(MailNotification(type, -1, ncInfo, {-2, 13}));
    TMessageItem m = Msg(mtInfo, 0, 13, "Mode changed");
    list.NotifyMessage(m);
    EXPECT_EQ(mails, 1u) << NotifyTypeText(type);
  }
}

// A mail that was given up is reported to the user; that report must never start another mail.
TEST(NotificationMatching, ReportOfAFailedMailMatchesNoClass) {
  for (TNotifyClass cls : {ncErrorWarning, ncInfo, ncHW, ncSW}) {
    auto n = MailNotification(ntAlways, -1, cls, {-1, -2, -3, -4});
    EXPECT_THAT(MatchingCodes(*n, Msg(mtError, kNoSession, kMsgCodeMailNotSent)), IsEmpty()) << NotifyClassText(cls);
  }
}

TEST_F(NotificationListTest, AlwaysForInfosMailsEveryInfo) {
  list.Add(MailNotification(ntAlways, -1, ncInfo, {-2}));
  for (int i = 0; i < 3; ++i) Notify(Msg(mtInfo, 0, 13));
  Notify(Msg(mtError, 0, 92));
  EXPECT_EQ(mails.size(), 3u);
  EXPECT_TRUE(list.GetItem(0).enabled);
}

TEST_F(NotificationListTest, ErrorPopupShownUntilSwitchedOffAndSavedWhileOff) {
  EXPECT_TRUE(Notify(Msg(mtError, 0, 32761, "10MHz Reference Invalid")));
  ASSERT_EQ(popups.size(), 1u);
  ASSERT_EQ(list.Count(), 1u);
  TMessageItem again = Msg(mtError, 0, 32761, "10MHz Reference Invalid");
  EXPECT_TRUE(list.NotifyMessage(again));
  ASSERT_EQ(list.Count(), 1u);  // the old popup notification was replaced
  list.SetPopupEnabled(again.Link, false);  // "Don't Show This Message Again"
  EXPECT_FALSE(Notify(Msg(mtError, 0, 32761, "10MHz Reference Invalid")));
  EXPECT_EQ(popups.size(), 2u);

  TAppSettings settings;
  settings.SetValue("INI_Version", 2);
  list.SaveSettings(settings);
  TNotificationList read(nullptr, "PC1");
  read.ReadSettings(settings, 2);
  ASSERT_EQ(read.Count(), 1u);
  EXPECT_EQ(read.GetItem(0).Notify, ntBig);
  EXPECT_FALSE(read.GetItem(0).enabled);
  EXPECT_THAT(read.GetItem(0).Codes, ElementsAre(32761));
}

TEST_F(NotificationListTest, PopupDecisionPerTypeAndCode) {
  struct TCase {
    TMsgType Type;
    int32_t Code;
    bool Enabled;
  };
  for (const TCase& c : {TCase{mtWarning, 45, false}, TCase{mtWarning, 41, true}, TCase{mtInfo, 13, false},
                         TCase{mtInfo, 32760, true}, TCase{mtError, 4711, true}}) {
    TMessageItem m = Msg(c.Type, 0, c.Code);
    list.NotifyMessage(m);
    ASSERT_NE(m.Link, nullptr);
    EXPECT_EQ(m.Link->enabled, c.Enabled) << c.Code;
  }
  EXPECT_EQ(popups.size(), 3u);
}

TEST_F(NotificationListTest, WorkerThreadPopupWaitsForTheDisplayCycle) {
  TMessageItem m = Msg(mtError, 1, 92, "Logfile closed", true);
  EXPECT_FALSE(list.NotifyMessage(m));
  EXPECT_THAT(popups, IsEmpty());
  EXPECT_TRUE(list.TakePendingPopup(m.Link));
  EXPECT_FALSE(list.TakePendingPopup(m.Link));  // shown once
  TMessageItem warning = Msg(mtWarning, 1, 45, "ZCT time resetted", true);
  list.NotifyMessage(warning);
  EXPECT_FALSE(list.TakePendingPopup(warning.Link));
}

TEST_F(NotificationListTest, CleaningDropsGoneSessionsIncompleteMailsAndForeignCodes) {
  list.Add(MailNotification(ntAlways, 1, ncErrorWarning, {92}));
  auto noAddress = MailNotification(ntAlways, -1, ncErrorWarning, {92});
  noAddress->EmailAddress.clear();
  list.Add(std::move(noAddress));
  list.Add(MailNotification(ntAlways, -1, ncInfo, {13, 4711}));
  list.Add(MailNotification(ntAlways, -1, ncInfo, {4711}));
  list.UpdateSessionList(2);
  ASSERT_EQ(list.Count(), 2u);
  EXPECT_THAT(list.GetItem(1).Codes, ElementsAre(13));
  list.UpdateSessionList(1);
  ASSERT_EQ(list.Count(), 1u);
  EXPECT_EQ(list.GetItem(0).NotifyClass, ncInfo);
}

TEST(NotificationSettings, RoundTripKeepsEveryField) {
  TNotificationList list(nullptr, "PC1");
  auto n = MailNotification(ntAlways, 1, ncInfo, {-2, 13});
  n->Subject = "Lab 3, bench 2";
  n->EmailAddress = "a@x.org;b@y.org";
  n->Lines = {"first", "second"};
  list.Add(std::move(n));
  list.Add(MailNotification(ntOnce, -1, ncErrorWarning, {92}));
  TAppSettings settings;
  settings.SetValue("Notification_Stale", "x");
  list.SaveSettings(settings);
  EXPECT_FALSE(settings.TryGetValue("Notification_Stale"));
  EXPECT_EQ(settings.TryGetValue("Notification_1").value_or(""),
            "True, Always, 1, 0, a@x.org;b@y.org, Lab 3, bench 2, Info");
  EXPECT_EQ(settings.TryGetValue("Notification_1_Codes").value_or(""), "-2, 13");

  // Through the file, which carries the format version.
  TTempDir dir;
  settings.SaveSettings(dir.File("VTA_App.ini"));
  TAppSettings stored;
  stored.LoadFromFile(dir.File("VTA_App.ini"));
  TNotificationList read(nullptr, "PC1");
  read.ReadSettings(stored, 2);
  ASSERT_EQ(read.Count(), 2u);
  const TNotification a = read.GetItem(0);
  EXPECT_EQ(a.ToString(), list.GetItem(0).ToString());
  EXPECT_EQ(a.Subject, "Lab 3, bench 2");
  EXPECT_THAT(a.Lines, ElementsAre("first", "second"));
  EXPECT_EQ(a.Text, "I - All Infos...");
  EXPECT_EQ(read.GetItem(1).ToString(), list.GetItem(1).ToString());
}

TEST(NotificationSettings, OlderFormatsAndShortEntries) {
  TAppSettings settings;
  settings.LoadFromBytes(
      "INI_Version=1\r\nNotification_Count=2\r\n"
      "Notification_1=True, Always, 0, 0, a@x.org, Subj\r\nNotification_1_Codes=-3, 92\r\n"
      "Notification_2=False, Always, 0\r\nNotification_2_Codes=92\r\n");
  TNotificationList read(nullptr, "PC1");
  read.ReadSettings(settings, 1);
  ASSERT_EQ(read.Count(), 1u);  // the short entry has no address
  EXPECT_EQ(read.GetItem(0).NotifyClass, ncErrorWarning);
  EXPECT_THAT(read.GetItem(0).Codes, ElementsAre(-1, 92));

  TNotification shortOne;
  shortOne.ReadSettings(settings, "Notification_2", 1);
  EXPECT_TRUE(shortOne.enabled);
  EXPECT_EQ(shortOne.Notify, ntOnce);
  EXPECT_EQ(shortOne.SourceIndex, -1);
}

}  // namespace

namespace {

// The e-mail notifications dialog replaces the mail notifications; popups keep their objects, so a
// message that links to one still finds it.
TEST(NotificationListEdit, ReplacingTheMailNotificationsKeepsThePopups) {
  TNotificationList list(nullptr, "host");
  auto popup = std::make_unique<TNotification>();
  popup->Notify = ntBig;
  const TNotification* popupLink = popup.get();
  list.Add(std::move(popup));
  auto mail = std::make_unique<TNotification>();
  mail->EmailAddress = "old@lab.example";
  list.Add(std::move(mail));

  TNotification fresh;
  fresh.Notify = ntAlways;
  fresh.EmailAddress = "new@lab.example";
  list.ReplaceMailNotifications({fresh, fresh});
  ASSERT_EQ(list.Count(), 3u);
  EXPECT_EQ(list.GetItem(0).Notify, ntBig);
  const std::vector<TNotification> mails = list.MailNotifications();
  ASSERT_EQ(mails.size(), 2u);
  EXPECT_EQ(mails[0].EmailAddress, "new@lab.example");
  list.SetPopupEnabled(popupLink, false);
  EXPECT_FALSE(list.GetItem(0).enabled);
}

}  // namespace

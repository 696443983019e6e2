#include "app/VTA_Notifications.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <thread>

#include "app/AppTestSupport.h"
#include "core/VTA_Common.h"
#include "support/SmtpTestServer.h"

using ::testing::HasSubstr;

namespace {

class NotificationsApp : public AppTest {
 protected:
  std::unique_ptr<TVTA_Application> Start(const std::string& extraIni = "") {
    WriteIni("INI_Version=6\n" + StoredSessions(1) + extraIni);
    TVTA_AppOptions options = Options();
    options.Notifications = true;
    auto app = MakeApp(std::move(options));
    EXPECT_TRUE(app->LosGehts());
    EXPECT_NE(app->Notifications(), nullptr);
    return app;
  }
};

TEST_F(NotificationsApp, PopupsReachTheUserInterfaceAtOnceOrThroughTheDisplayCycle) {
  auto app = Start();
  app->AddError(0, kMsgCodeReferenceInvalid, 0, "10MHz Reference Invalid");
  EXPECT_EQ(ui.Count("ShowPopup 10MHz Reference Invalid"), 1u);

  app->Messages().AddErrorThread(0, 92, 0, "Logfile closed");
  app->Messages().AddWarningThread(0, 45, 0, "ZCT time resetted");
  app->Messages().AddWarningThread(0, 41, 0, "Clock Supervisor Warning");
  EXPECT_EQ(ui.Count("ShowPopup Logfile closed"), 0u);
  app->DisplayTimerTimer();
  EXPECT_EQ(ui.Count("ShowPopup Logfile closed"), 1u);
  EXPECT_EQ(ui.Count("ShowPopup Clock Supervisor Warning"), 1u);
  EXPECT_EQ(ui.Count("ShowPopup ZCT time resetted"), 0u);
  app->DisplayTimerTimer();
  EXPECT_EQ(ui.Count("ShowPopup Logfile closed"), 1u);  // shown once
}

TEST_F(NotificationsApp, MatchingMessageIsMailedThroughTheConfiguredServerAndTheListIsSaved) {
  TSmtpTestServer server;
  auto app = Start("eMail_isDefault=False\neMail_Config_Host=" + server.Host() +
                   "\neMail_Config_Sender=vta@lab.example\nNotification_Count=1\n"
                   "Notification_1=True, Always, -1, 0, ops@lab.example, <VTA Default Notification>, ErrorWarning\n"
                   "Notification_1_Codes=92\n");
  app->Messages().AddErrorThread(0, 92, 0, "Logfile closed");
  const auto mails = server.WaitForMails(1);
  ASSERT_EQ(mails.size(), 1u);
  EXPECT_EQ(mails[0].From, "vta@lab.example");
  EXPECT_THAT(mails[0].Data, HasSubstr("Subject: " + LocalHostName() + " Source A Logfile closed\r\n"));
  EXPECT_THAT(mails[0].Data, HasSubstr("Notification(92=0x5C) Source A\r\n"));
  app->FormClose();
  EXPECT_THAT(Ini(), HasSubstr("Notification_1=True, Always, -1, 0, ops@lab.example, <VTA Default Notification>, ErrorWarning"));
}

// The report of a refused mail is an error for the user; it matches no notification class, so a
// notification for every error does not mail it again to the address that was refused.
TEST_F(NotificationsApp, RefusedMailReachesTheUserWithTheServersReasonAndIsNotMailedAgain) {
  TSmtpTestServer server(TSmtpTestServer::TOptions{false, {"nobody@lab.example"}, 0, false});
  auto app = Start("eMail_isDefault=False\neMail_Config_Host=" + server.Host() +
                   "\neMail_Config_Sender=vta@lab.example\nNotification_Count=1\n"
                   "Notification_1=True, Always, -1, 0, nobody@lab.example, Lab, ErrorWarning\n"
                   "Notification_1_Codes=-1\n");
  app->Messages().AddErrorThread(0, 92, 0, "Logfile closed");
  auto refusal = [&app]() -> std::optional<TMessageItem> {
    for (const TMessageItem& item : app->Messages().Snapshot())
      if (item.Code == kMsgCodeMailNotSent) return item;
    return std::nullopt;
  };
  for (int i = 0; i < 20000 && !refusal(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_TRUE(refusal());
  EXPECT_EQ(refusal()->MsgType, mtError);
  EXPECT_EQ(refusal()->sIndex, kNoSession);
  EXPECT_EQ(refusal()->Text,
            "eMail \"Lab\" to nobody@lab.example not sent: 550 5.1.1 <nobody@lab.example>: Recipient address rejected");
  // A probe behind anything the refusal may have queued: only the refused mail and the probe went out.
  std::string error;
  TEMailSender& sender = app->Notifications()->MailSender();
  EXPECT_TRUE(sender.SendAndWait(sender.GeneratePlainEmail("vta@lab.example", "ops@lab.example", {"p"}, "probe"), error))
      << error;
  EXPECT_EQ(server.Connections(), 2);
}

}  // namespace

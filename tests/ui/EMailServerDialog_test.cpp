#include "ui/EMailServerDialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <chrono>
#include <thread>

#include "alarms/App_eMail.h"
#include "core/App_Settings.h"
#include "DialogTestSupport.h"
#include "support/SmtpTestServer.h"

namespace {

using namespace std::chrono_literals;

TEMailServerDialog::TTestSend NoTest() {
  return [](const std::optional<TEMailServerLogin>&, const std::string&) { return std::string(); };
}

// Waits, handling the window's events, until the test answer shows.
QString WaitForAnswer(TEMailServerDialog& dialog) {
  for (int i = 0; i < 300 && dialog.TestRunning(); ++i) {
    QApplication::processEvents();
    std::this_thread::sleep_for(20ms);
  }
  QApplication::processEvents();
  return dialog.StatusLabel()->text();
}

TEST(EMailServerDialog, ShowsTheStoredLoginWithItsPasswordDeciphered) {
  const TEMailServerLogin stored =
      TEMailServerLogin::WithPlainPassword("lab", true, "vta@lab.example", "s3cret", "smtp.lab.example:587");
  TEMailServerDialog dialog(nullptr, false, stored, NoTest());
  EXPECT_EQ(dialog.windowTitle(), "Configure Email Server");
  EXPECT_FALSE(dialog.DefaultBox()->isChecked());
  EXPECT_EQ(dialog.HostEdit()->text(), "smtp.lab.example:587");
  EXPECT_EQ(dialog.UserEdit()->text(), "lab");
  EXPECT_EQ(dialog.PasswordEdit()->text(), "s3cret");
  EXPECT_EQ(dialog.PasswordEdit()->echoMode(), QLineEdit::Password);
  dialog.ShowPasswordBox()->setChecked(true);
  EXPECT_EQ(dialog.PasswordEdit()->echoMode(), QLineEdit::Normal);
  EXPECT_EQ(dialog.Choice().Login, stored);

  dialog.DefaultBox()->setChecked(true);
  EXPECT_FALSE(dialog.HostEdit()->isEnabled());
  EXPECT_TRUE(dialog.Choice().UseDefault);
  EXPECT_FALSE(dialog.Choice().Login);
}

TEST(EMailServerDialog, TestMailNeedsAHostAndARecipient) {
  const struct {
    bool useDefault;
    const char* host;
    const char* recipient;
    const char* refusal;
  } cases[] = {
      {false, "", "ops@lab.example", "SMTP Host name missing"},
      {false, "smtp.lab.example", "", "Email Address missing"},
      {true, "", "", "Email Address missing"},
      {true, "", "ops@lab.example", ""},
  };
  for (const auto& c : cases) {
    TEMailServerDialog dialog(nullptr, c.useDefault, std::nullopt, NoTest());
    dialog.HostEdit()->setText(c.host);
    dialog.TestRecipientEdit()->setText(c.recipient);
    EXPECT_EQ(dialog.CheckTest().toStdString(), c.refusal) << c.host << " / " << c.recipient;
  }
}

// The password typed in clear is stored enciphered, and the test mail logs in with it.
TEST(EMailServerDialog, TypedPasswordIsStoredEncipheredAndTheTestMailLogsInWithIt) {
  TSmtpTestServer::TOptions options;
  options.OfferAuth = true;
  TSmtpTestServer server(options);
  TEMailServerDialog dialog(nullptr, true, std::nullopt, [](const std::optional<TEMailServerLogin>& login,
                                                              const std::string& recipient) {
    return login ? SendTestMail(*login, recipient, -1) : std::string("no login");
  });
  dialog.DefaultBox()->setChecked(false);
  dialog.HostEdit()->setText(QString::fromStdString(server.Host()));
  dialog.UserEdit()->setText("lab");
  dialog.PasswordEdit()->setText("s3cret");
  dialog.AuthBox()->setChecked(true);
  dialog.SenderEdit()->setText("vta@lab.example");
  dialog.TestRecipientEdit()->setText("ops@lab.example");
  dialog.StartTest();
  EXPECT_TRUE(dialog.StatusLabel()->text().startsWith("Sending test email"));
  EXPECT_EQ(WaitForAnswer(dialog), "Test Email Server Configuration: Ok");

  const std::vector<TSmtpTestServer::TMail> mails = server.WaitForMails(1);
  ASSERT_EQ(mails.size(), 1u);
  EXPECT_NE(mails[0].Data.find("Subject: Test EMail"), std::string::npos);
  EXPECT_NE(mails[0].Data.find("Test outgoing email server configuration"), std::string::npos);
  std::string credentials;
  for (const std::string& line : server.AuthLines()) credentials += line + "\n";
  // PLAIN credentials: base64 of "\0lab\0s3cret".
  EXPECT_NE(credentials.find(QByteArray("\0lab\0s3cret", 11).toBase64().toStdString()), std::string::npos)
      << credentials;

  TAppSettings settings;
  dialog.Choice().Login->SaveSettings(settings, "eMail_Config_");
  const std::string stored = settings.GetValue("eMail_Config_Pass", std::string());
  EXPECT_FALSE(stored.empty());
  EXPECT_EQ(stored.find("s3cret"), std::string::npos);
  EXPECT_EQ(TEMailServerLogin(settings, "eMail_Config_", "").GetPassword(), "s3cret");
}

TEST(EMailServerDialog, AFailedTestShowsTheReason) {
  TEMailServerDialog dialog(nullptr, false, std::nullopt, [](const std::optional<TEMailServerLogin>&,
                                                              const std::string&) {
    return std::string("send eMail failed: connection refused");
  });
  dialog.HostEdit()->setText("127.0.0.1:1");
  dialog.TestRecipientEdit()->setText("ops@lab.example");
  dialog.StartTest();
  EXPECT_EQ(WaitForAnswer(dialog), "send eMail failed: connection refused");
  EXPECT_TRUE(dialog.SendButton()->isEnabled());
}

}  // namespace

namespace {

TEST(EMailServerDialog, Screenshot) {
  const TEMailServerLogin stored =
      TEMailServerLogin::WithPlainPassword("lab", true, "vta@lab.example", "s3cret", "smtp.lab.example:587");
  TEMailServerDialog dialog(nullptr, false, stored, NoTest());
  dialog.TestRecipientEdit()->setText("ops@lab.example");
  SaveDialogScreenshot(dialog, "email_server_dialog");
}

}  // namespace

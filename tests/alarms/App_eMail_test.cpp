#include "alarms/App_eMail.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "support/LogCapture.h"
#include "support/SmtpTestServer.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

TSmtpLogin LoginTo(const std::string& host) {
  TSmtpLogin login;
  login.Host = host;
  login.Sender = "vta@lab.example";
  return login;
}

// A loopback port on which nothing listens.
uint16_t ClosedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(fd);
  return ntohs(addr.sin_port);
}

TEST(MailPayload, HeadersAndBodyInCrLfLines) {
  const TEMail mail{"vta@lab.example", {"a@x.org", "b@y.org"}, "Subject", {"line 1", "line 2"}};
  EXPECT_EQ(MailPayload(mail),
            "From: vta@lab.example\r\nTo: a@x.org, b@y.org\r\nSubject: Subject\r\nMIME-Version: 1.0\r\n"
            "Content-Type: text/plain; charset=UTF-8\r\n\r\nline 1\r\nline 2\r\n");
}

TEST(MailPayload, LineBreaksInTextsAddNoHeaders) {
  const TEMail mail{"s@x.org", {"a@x.org"}, "Data Loss\r\nBcc: evil@x.org", {"text\nBcc: more"}};
  const std::string payload = MailPayload(mail);
  EXPECT_THAT(payload, HasSubstr("Subject: Data Loss  Bcc: evil@x.org\r\n"));
  EXPECT_THAT(payload, Not(HasSubstr("\r\nBcc:")));
}

TEST(MailAddresses, SplitAtSemicolonsCommasAndBlanks) {
  EXPECT_THAT(SplitAddresses("a@x.org; b@y.org,c@z.org  "), ElementsAre("a@x.org", "b@y.org", "c@z.org"));
  EXPECT_TRUE(SplitAddresses(" ; ").empty());
  EXPECT_EQ(SmtpUrl("mail.lab:2525"), "smtp://mail.lab:2525");
  EXPECT_EQ(SmtpUrl("smtps://mail.lab"), "smtps://mail.lab");
}

TEST(EMailSender, DeliversEnvelopeSubjectAndBodyToTheServer) {
  TSmtpTestServer server;
  TEMailSender sender;
  sender.SetLogin(LoginTo(server.Host()));
  ASSERT_TRUE(sender.Send(sender.GeneratePlainEmail(sender.SenderAddress(), "ops@lab.example; boss@lab.example",
                                                    {"Data Loss", ".starts with a dot"}, "PC1 Source A Data Loss")));
  const auto mails = server.WaitForMails(1);
  ASSERT_EQ(mails.size(), 1u);
  EXPECT_EQ(mails[0].From, "vta@lab.example");
  EXPECT_THAT(mails[0].Recipients, ElementsAre("ops@lab.example", "boss@lab.example"));
  EXPECT_THAT(mails[0].Data, HasSubstr("Subject: PC1 Source A Data Loss\r\n"));
  EXPECT_THAT(mails[0].Data, HasSubstr("Content-Type: text/plain"));
  EXPECT_THAT(mails[0].Data, HasSubstr("\r\n\r\nData Loss\r\n.starts with a dot\r\n"));
}

TEST(EMailSender, SendAndWaitReportsSuccessAndSendsQueuedMailsInOrder) {
  TSmtpTestServer server;
  TEMailSender sender;
  sender.SetLogin(LoginTo(server.Host()));
  sender.Send(TEMail{"s@x.org", {"a@x.org"}, "first", {"1"}});
  std::string error;
  EXPECT_TRUE(sender.SendAndWait(TEMail{"s@x.org", {"a@x.org"}, "second", {"2"}}, error)) << error;
  const auto mails = server.WaitForMails(2);
  ASSERT_EQ(mails.size(), 2u);
  EXPECT_THAT(mails[0].Data, HasSubstr("Subject: first"));
  EXPECT_THAT(mails[1].Data, HasSubstr("Subject: second"));
  EXPECT_EQ(sender.GetStatus(), TEMailSender::esDone);
}

TEST(EMailSender, RefusedServerFailsWithTheErrorAndKeepsTheMailForTheNextSend) {
  TLogCapture log;
  TEMailSender sender(log.Id());
  sender.SetLogin(LoginTo("127.0.0.1:" + std::to_string(ClosedPort())));
  std::string error;
  EXPECT_FALSE(sender.SendAndWait(TEMail{"s@x.org", {"a@x.org"}, "lost?", {"x"}}, error));
  EXPECT_THAT(error, StartsWith("send eMail failed: "));
  EXPECT_EQ(sender.SendError(), error);
  EXPECT_EQ(sender.GetStatus(), TEMailSender::esFailed);
  EXPECT_EQ(sender.QueuedCount(), 1u);
  EXPECT_TRUE(log.Contains("ERROR: TEMailThread.Execute " + error));

  // The next mail goes to a working server and takes the kept one along.
  TSmtpTestServer server;
  sender.SetLogin(LoginTo(server.Host()));
  EXPECT_TRUE(sender.SendAndWait(TEMail{"s@x.org", {"a@x.org"}, "next", {"y"}}, error)) << error;
  EXPECT_EQ(server.WaitForMails(2).size(), 2u);
}

TEST(EMailSender, StopAbandonsAHangingServerAndDropsPendingMails) {
  TSmtpTestServer server(true);
  TLogCapture log;
  TEMailSender sender(log.Id());
  sender.SetLogin(LoginTo(server.Host()));
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(sender.Send(TEMail{"s@x.org", {"a@x.org"}, "m", {"x"}}));
  ASSERT_TRUE(server.WaitForConnection());
  sender.Stop();
  EXPECT_EQ(sender.QueuedCount(), 0u);
  EXPECT_TRUE(log.Contains("WARN:  TEMailSender.Stop 3 mails not sent"));
  EXPECT_FALSE(sender.Send(TEMail{"s@x.org", {"a@x.org"}, "late", {"x"}}));
  for (const std::string& line : log.Lines()) EXPECT_THAT(line, Not(HasSubstr("TEMailThread.Execute")));
}

TEST(EMailSender, QueueIsBounded) {
  TSmtpTestServer server(true);
  TEMailSender sender;
  sender.SetLogin(LoginTo(server.Host()));
  for (size_t i = 0; i < TEMailSender::kMaxQueued; ++i) sender.Send(TEMail{"s@x.org", {"a@x.org"}, "m", {"x"}});
  EXPECT_FALSE(sender.Send(TEMail{"s@x.org", {"a@x.org"}, "one too many", {"x"}}));
}

}  // namespace

#include "alarms/App_eMail.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <QByteArray>
#include <QString>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "support/LogCapture.h"
#include "support/SmtpTestServer.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::MatchesRegex;
using ::testing::StartsWith;

namespace {

TSmtpLogin LoginTo(const std::string& host) {
  TSmtpLogin login;
  login.Host = host;
  login.Sender = "vta@lab.example";
  return login;
}

// Collects the reports of mails that were given up; they arrive on the sender's thread.
class TDropped {
 public:
  TEMailSender::TMailDropped Sink() {
    return [this](const std::string& text) {
      std::lock_guard lock(FLock);
      FTexts.push_back(text);
      FChanged.notify_all();
    };
  }
  std::vector<std::string> WaitFor(size_t count) {
    std::unique_lock lock(FLock);
    FChanged.wait_for(lock, std::chrono::seconds(20), [&] { return FTexts.size() >= count; });
    return FTexts;
  }

 private:
  std::mutex FLock;
  std::condition_variable FChanged;
  std::vector<std::string> FTexts;
};

// Retries in milliseconds instead of minutes.
TMailRetry QuickRetry(int attempts) { return TMailRetry{attempts, std::chrono::milliseconds(5), std::chrono::milliseconds(20)}; }

// The subject text an encoded header value stands for.
std::string DecodedSubject(const std::string& value) {
  std::string text;
  size_t pos = 0;
  while ((pos = value.find("=?UTF-8?B?", pos)) != std::string::npos) {
    const size_t end = value.find("?=", pos + 10);
    text += QByteArray::fromBase64(QByteArray::fromStdString(value.substr(pos + 10, end - pos - 10))).toStdString();
    pos = end + 2;
  }
  return text;
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

TEST(MailPayload, DateAndMessageIdHeadersWhenSet) {
  TEMail mail{"s@x.org", {"a@x.org"}, "S", {"b"}};
  mail.Date = "Thu, 10 Dec 2026 16:11:35 +0000";
  mail.MessageId = "<1@x.org>";
  EXPECT_THAT(MailPayload(mail), HasSubstr("Subject: S\r\nDate: Thu, 10 Dec 2026 16:11:35 +0000\r\n"
                                           "Message-ID: <1@x.org>\r\nMIME-Version: 1.0\r\n"));
  mail.Body = {"Fréquence"};
  EXPECT_THAT(MailPayload(mail), HasSubstr("Content-Transfer-Encoding: 8bit\r\n\r\nFréquence\r\n"));
}

TEST(MailPayload, DateIsUtcInInternetFormat) {
  using namespace std::chrono;
  const TWallTime time = sys_days{2026y / December / 10} + 16h + 11min + 35s + 999ms;
  EXPECT_EQ(MailDateText(time), "Thu, 10 Dec 2026 16:11:35 +0000");
  EXPECT_EQ(MailDateText(sys_days{2024y / February / 29}), "Thu, 29 Feb 2024 00:00:00 +0000");
}

TEST(MailPayload, MessageIdsAreUniqueAndNameTheSendersDomain) {
  const TWallTime now = std::chrono::system_clock::now();
  const std::string a = NewMessageId("vta@lab.example", now);
  EXPECT_THAT(a, MatchesRegex("<[0-9a-f.]+@lab\\.example>"));
  EXPECT_NE(NewMessageId("vta@lab.example", now), a);
  EXPECT_THAT(NewMessageId("no address", now), MatchesRegex("<[0-9a-f.]+@localhost>"));
}

TEST(MailPayload, SubjectsThatAreNotAsciiBecomeEncodedWords) {
  const std::vector<std::string> subjects = {
      "PC1 Source A Messplatz Süd Data Loss",
      "Fréquence " + std::string(60, 'x') + " ÄÖÜ äöü ß € 频率 警告 " + std::string(40, 'y'),
      std::string(30, 'x') + "€€€€€€€€€€€€€€€€€€€€",  // three-byte characters across the word limit
      "tab\there",
  };
  for (const std::string& subject : subjects) {
    const std::string value = EncodedSubject(subject);
    EXPECT_EQ(DecodedSubject(value), subject) << value;
    std::string header = "Subject: " + value;
    size_t start = 0;
    while (start <= header.size()) {
      const size_t end = std::min(header.find("\r\n", start), header.size());
      EXPECT_LE(end - start, 76u) << header;
      const std::string line = header.substr(start, end - start);
      const std::string word = DecodedSubject(line);
      // Each word is whole UTF-8 on its own: no character is cut between two words.
      EXPECT_EQ(QString::fromUtf8(word).toUtf8().toStdString(), word) << line;
      start = end + 2;
    }
  }
  EXPECT_EQ(EncodedSubject("PC1 Source A Data Loss"), "PC1 Source A Data Loss");
}

TEST(MailAddresses, SplitAtSemicolonsCommasAndBlanks) {
  EXPECT_THAT(SplitAddresses("a@x.org; b@y.org,c@z.org  "), ElementsAre("a@x.org", "b@y.org", "c@z.org"));
  EXPECT_TRUE(SplitAddresses(" ; ").empty());
  EXPECT_EQ(SmtpUrl("mail.lab:2525"), "smtp://mail.lab:2525");
  EXPECT_EQ(SmtpUrl("smtps://mail.lab"), "smtps://mail.lab");
}

TEST(MailLogin, PasswordsLeaveTheMachineOnlyThroughTls) {
  struct TCase {
    const char* Host;
    const char* Name;
    bool Loopback;
  };
  const std::vector<TCase> cases = {
      {"127.0.0.1:2525", "127.0.0.1", true},  {"smtp://localhost", "localhost", true},
      {"[::1]:25", "::1", true},              {"127.8.9.10", "127.8.9.10", true},
      {"mail.LAB.example:587", "mail.lab.example", false},
      {"smtps://mail.lab.example:465/", "mail.lab.example", false},
      {"0.0.0.0:25", "0.0.0.0", false},       {"128.0.0.1", "128.0.0.1", false},
      {"localhost.lab.example", "localhost.lab.example", false},
      {"2001:db8::1", "2001:db8::1", false},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(SmtpHostName(c.Host), c.Name) << c.Host;
    EXPECT_EQ(IsLoopbackHost(SmtpHostName(c.Host)), c.Loopback) << c.Host;
    TSmtpLogin login = LoginTo(c.Host);
    login.Auth = true;
    EXPECT_EQ(LoginNeedsTls(login), !c.Loopback) << c.Host;
    login.Auth = false;
    EXPECT_FALSE(LoginNeedsTls(login)) << c.Host;
  }
}

TEST(MailRetry, DelayDoublesUpToTheLimit) {
  const TMailRetry retry;
  std::vector<long> seconds;
  for (int attempts = 1; attempts <= 7; ++attempts)
    seconds.push_back(std::chrono::duration_cast<std::chrono::seconds>(retry.DelayAfter(attempts)).count());
  EXPECT_THAT(seconds, ElementsAre(30, 60, 120, 240, 480, 900, 900));
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

TEST(EMailSender, SentMailCarriesDateMessageIdAndAnEncodedSubject) {
  TSmtpTestServer server;
  TEMailSender sender;
  sender.SetLogin(LoginTo(server.Host()));
  sender.Send(TEMail{"vta@lab.example", {"a@x.org"}, "PC1 Source A Süd Data Loss", {"x"}});
  sender.Send(TEMail{"vta@lab.example", {"a@x.org"}, "second", {"y"}});
  const auto mails = server.WaitForMails(2);
  ASSERT_EQ(mails.size(), 2u);
  EXPECT_THAT(mails[0].Data, MatchesRegex("(.|\r|\n)*\r\nDate: [A-Z][a-z]{2}, [0-9]{2} [A-Z][a-z]{2} [0-9]{4} "
                                          "[0-9]{2}:[0-9]{2}:[0-9]{2} \\+0000\r\n(.|\r|\n)*"));
  EXPECT_THAT(mails[0].Data, HasSubstr("Subject: =?UTF-8?B?"));
  EXPECT_EQ(DecodedSubject(mails[0].Data.substr(0, mails[0].Data.find("\r\nDate:"))), "PC1 Source A Süd Data Loss");
  auto messageId = [](const std::string& data) {
    const size_t pos = data.find("Message-ID: <");
    return pos == std::string::npos ? std::string() : data.substr(pos, data.find("\r\n", pos) - pos);
  };
  EXPECT_THAT(messageId(mails[0].Data), MatchesRegex("Message-ID: <[0-9a-f.]+@lab\\.example>"));
  EXPECT_NE(messageId(mails[0].Data), messageId(mails[1].Data));
}

TEST(EMailSender, RefusedRecipientDropsThatMailWithTheServersReasonAndLaterMailsGoOut) {
  TSmtpTestServer server(TSmtpTestServer::TOptions{false, {"nobody@lab.example"}, 0, false});
  TLogCapture log;
  TDropped dropped;
  TEMailSender sender(log.Id(), QuickRetry(3), dropped.Sink());
  sender.SetLogin(LoginTo(server.Host()));
  const std::string reason = "550 5.1.1 <nobody@lab.example>: Recipient address rejected";
  std::string error;
  EXPECT_FALSE(sender.SendAndWait(TEMail{"s@x.org", {"nobody@lab.example"}, "refused", {"x"}}, error));
  EXPECT_EQ(error, "send eMail failed: " + reason);
  ASSERT_TRUE(sender.Send(TEMail{"s@x.org", {"nobody@lab.example"}, "refused again", {"x"}}));
  EXPECT_TRUE(sender.SendAndWait(TEMail{"s@x.org", {"ops@lab.example"}, "good", {"y"}}, error)) << error;

  EXPECT_THAT(dropped.WaitFor(2), ElementsAre("eMail \"refused\" to nobody@lab.example not sent: " + reason,
                                              "eMail \"refused again\" to nobody@lab.example not sent: " + reason));
  const auto mails = server.WaitForMails(1);
  ASSERT_EQ(mails.size(), 1u);
  EXPECT_THAT(mails[0].Recipients, ElementsAre("ops@lab.example"));
  EXPECT_EQ(sender.QueuedCount(), 0u);
  EXPECT_EQ(server.Connections(), 3);  // a refusal is final: no second try
  EXPECT_TRUE(log.Contains("ERROR: TEMailSender eMail \"refused\" to nobody@lab.example not sent: " + reason));
}

TEST(EMailSender, TransientRefusalsAreTriedAgainUntilTheMailGoesOut) {
  TSmtpTestServer server(TSmtpTestServer::TOptions{false, {}, 2, false});
  TDropped dropped;
  TEMailSender sender(1, QuickRetry(3), dropped.Sink());
  sender.SetLogin(LoginTo(server.Host()));
  ASSERT_TRUE(sender.Send(TEMail{"s@x.org", {"ops@lab.example"}, "greylisted", {"x"}}));
  ASSERT_EQ(server.WaitForMails(1).size(), 1u);
  EXPECT_EQ(server.Connections(), 3);
  // The server has the mail before the sender has its answer.
  for (int i = 0; i < 20000 && sender.QueuedCount() > 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(sender.QueuedCount(), 0u);
  EXPECT_EQ(sender.GetStatus(), TEMailSender::esDone);
  EXPECT_THAT(dropped.WaitFor(0), IsEmpty());
}

TEST(EMailSender, TransientRefusalsGiveUpAfterTheLastAttempt) {
  TSmtpTestServer server(TSmtpTestServer::TOptions{false, {}, 1000, false});
  TDropped dropped;
  TEMailSender sender(1, QuickRetry(3), dropped.Sink());
  sender.SetLogin(LoginTo(server.Host()));
  ASSERT_TRUE(sender.Send(TEMail{"s@x.org", {"ops@lab.example"}, "never", {"x"}}));
  EXPECT_THAT(dropped.WaitFor(1),
              ElementsAre("eMail \"never\" to ops@lab.example not sent after 3 attempts: 451 4.3.0 Try again later"));
  EXPECT_EQ(server.Connections(), 3);
  EXPECT_EQ(sender.QueuedCount(), 0u);
  EXPECT_EQ(sender.GetStatus(), TEMailSender::esFailed);
}

// 0.0.0.0 reaches this machine as well, but is not a loopback name: it stands for a remote server.
TEST(EMailSender, LoginIsNotSentToARemoteServerWithoutStartTls) {
  TSmtpTestServer server(TSmtpTestServer::TOptions{false, {}, 0, true});
  TDropped dropped;
  TEMailSender sender(1, QuickRetry(3), dropped.Sink());
  TSmtpLogin login = LoginTo("0.0.0.0:" + std::to_string(server.Port()));
  login.User = "vta";
  login.Password = "secret";
  login.Auth = true;
  sender.SetLogin(login);
  std::string error;
  EXPECT_FALSE(sender.SendAndWait(TEMail{"s@x.org", {"ops@lab.example"}, "secret", {"x"}}, error));
  EXPECT_EQ(error, "send eMail failed: the server offers no STARTTLS; the login is not sent without TLS "
                   "(use a server with STARTTLS or smtps://)");
  EXPECT_EQ(server.Connections(), 1);
  EXPECT_THAT(server.AuthLines(), IsEmpty());
  EXPECT_EQ(dropped.WaitFor(1).size(), 1u);
  EXPECT_EQ(sender.QueuedCount(), 0u);

  // On this machine's own loopback the login may go in clear.
  login.Host = server.Host();
  sender.SetLogin(login);
  EXPECT_TRUE(sender.SendAndWait(TEMail{"s@x.org", {"ops@lab.example"}, "local", {"y"}}, error)) << error;
  EXPECT_THAT(server.AuthLines(), Not(IsEmpty()));
}

TEST(EMailSender, QueueIsBounded) {
  TSmtpTestServer server(true);
  TEMailSender sender;
  sender.SetLogin(LoginTo(server.Host()));
  for (size_t i = 0; i < TEMailSender::kMaxQueued; ++i) sender.Send(TEMail{"s@x.org", {"a@x.org"}, "m", {"x"}});
  EXPECT_FALSE(sender.Send(TEMail{"s@x.org", {"a@x.org"}, "one too many", {"x"}}));
}

}  // namespace

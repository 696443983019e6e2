#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/Clock.h"
#include "core/EMailServerLogin.h"

// Code of the user message that tells about a mail that was given up. It is in no notification
// class on purpose: a failed mail must never cause another mail.
constexpr int32_t kMsgCodeMailNotSent = 88;

// One prepared plain-text mail.
struct TEMail {
  std::string Sender;
  std::vector<std::string> Recipients;
  std::string Subject;
  std::vector<std::string> Body;  // lines
  std::string Date = {};          // "Date:" header; stamped when the mail is queued
  std::string MessageId = {};     // "Message-ID:" header with its angle brackets; stamped when queued
};

// Recipients from an address list separated by ";", "," or blanks.
std::vector<std::string> SplitAddresses(const std::string& list);
// The message as sent: headers (From, To, Subject, Date and Message-ID where set, Content-Type
// "text/plain") and the body lines, CR LF throughout. Line breaks in header fields are turned into
// blanks, so that no text of a message can add headers.
std::string MailPayload(const TEMail& mail);
// The subject as a header value: unchanged when it is printable ASCII, otherwise UTF-8 encoded
// words (base64) short enough that every header line stays within 76 characters.
std::string EncodedSubject(const std::string& subject);
// "Thu, 10 Dec 2026 16:11:35 +0000" (UTC).
std::string MailDateText(TWallTime time);
// "<unique@domain>", the domain taken from the sender address.
std::string NewMessageId(const std::string& sender, TWallTime time);

// Where and as whom mails are sent. A host may carry a port ("host:2525") or a scheme: "smtps://"
// is TLS from the start; without one, plain SMTP that switches to TLS when the server offers it.
struct TSmtpLogin {
  std::string Host;
  std::string User;
  std::string Password;
  bool Auth = false;
  std::string Sender;
};
std::string SmtpUrl(const std::string& host);
// The server name of a host text ("smtp://[::1]:25" -> "::1"), in lower case.
std::string SmtpHostName(const std::string& host);
bool IsLoopbackHost(const std::string& hostName);
// A password goes to another machine only through TLS: STARTTLS is then required, not optional.
bool LoginNeedsTls(const TSmtpLogin& login);

// How often and how patiently a mail is tried again after a transient failure (no answer, 4xx).
struct TMailRetry {
  int MaxAttempts = 5;
  std::chrono::milliseconds FirstDelay = std::chrono::seconds(30);  // doubled after every attempt
  std::chrono::milliseconds MaxDelay = std::chrono::minutes(15);
  std::chrono::milliseconds DelayAfter(int attempts) const;
};

// Sends mails in the background through one SMTP server. One thread, started with the sender and
// joined by Stop (or the destructor), takes mails from a bounded queue; callers never wait on the
// network. A mail the server refuses for good (5xx) is dropped; one that failed for the moment
// waits and is tried again with growing delays, or at once when the next mail is queued, until
// its attempts are used up. Every dropped mail is logged and reported with the reason.
class TEMailSender {
 public:
  enum TStatus : int32_t { esIdle = 0, esSending = 1, esDone = 2, esFailed = 3 };
  static constexpr size_t kMaxQueued = 100;
  // Told (on the sender's thread, no lock held) about every mail that was given up.
  using TMailDropped = std::function<void(const std::string& text)>;

  explicit TEMailSender(int logId = 1, TMailRetry retry = {}, TMailDropped onDropped = {});
  ~TEMailSender();
  TEMailSender(const TEMailSender&) = delete;
  TEMailSender& operator=(const TEMailSender&) = delete;

  // Host, account and password of the login; authentication when it names an account or a password
  // and asks for it. The sender address becomes the login's.
  void SetLogin(const TEMailServerLogin& aLogin);
  void SetLogin(const TSmtpLogin& aLogin);
  TSmtpLogin Login() const;
  const std::string& SenderAddress() const { return FeMailSender; }

  TEMail GeneratePlainEmail(const std::string& aAbsender, const std::string& aEmpfaenger,
                            const std::vector<std::string>& aTextBody, const std::string& aSubject) const;
  // Queues the mail; false (and a log line) when the queue is full or the sender stopped.
  bool Send(TEMail aEMail);
  // Queues the mail and waits until it was sent or its first try failed, at most `timeout`.
  // False with the error ("2 Minutes Timeout" or the thread's error) when not sent.
  bool SendAndWait(TEMail aEMail, std::string& error,
                   std::chrono::milliseconds timeout = std::chrono::minutes(2));
  TStatus GetStatus() const;
  std::string SendError() const;
  size_t QueuedCount() const;
  // Ends the thread: a transfer in progress is abandoned, queued mails are dropped (logged).
  void Stop();

 private:
  struct TQueued {
    uint64_t Id;
    TEMail Mail;
    int Attempts = 0;
    TSteadyTime Due{};  // not tried before this time unless a new mail arrives
  };
  struct TTransferResult {
    bool Sent = false;
    bool Permanent = false;  // the server refused for good, or the login must not be sent
    std::string Reason;
  };

  void Execute();
  // Tries every mail that is due; the lock is released during each transfer.
  void SendDueMails(std::unique_lock<std::mutex>& lock);
  // Records the result of one try; the text to report when the mail was given up.
  std::optional<std::string> Settle(std::list<TQueued>::iterator it, const TTransferResult& result);
  uint64_t Enqueue(TEMail mail);
  TTransferResult Transfer(const TEMail& mail, const TSmtpLogin& login);

  const int LogId;
  const TMailRetry FRetryPolicy;
  const TMailDropped FOnDropped;
  mutable std::mutex FLock;
  std::condition_variable FWake;  // a mail was queued or Stop was called
  std::condition_variable FIdle;  // a mail someone waits for was settled
  std::list<TQueued> FeMails;     // a list: the thread keeps its place while Send appends
  uint64_t FNextId = 0;
  std::map<uint64_t, std::optional<std::string>> FWaits;  // SendAndWait: id -> error ("" = sent)
  TSmtpLogin FLogin;
  std::string FeMailSender;
  TStatus FStatus = esIdle;
  std::string FSendError;
  bool FRetry = false;  // the queue holds mails newly worth a try
  bool FStop = false;
  std::atomic<bool> FAbort = false;  // read by a running transfer, which Stop abandons
  std::thread FThread;  // declared last: starts after every field it uses
};

// The test mail of the e-mail server configuration ("Test EMail"), sent through a sender of its own
// with that login; waits for the answer (at most two minutes): "" when sent, else the reason.
std::string SendTestMail(const TEMailServerLogin& login, const std::string& recipient, int logId);

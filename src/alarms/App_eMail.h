#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/EMailServerLogin.h"

// One prepared plain-text mail.
struct TEMail {
  std::string Sender;
  std::vector<std::string> Recipients;
  std::string Subject;
  std::vector<std::string> Body;  // lines
};

// Recipients from an address list separated by ";", "," or blanks.
std::vector<std::string> SplitAddresses(const std::string& list);
// The message as sent: headers (From, To, Subject, Content-Type "text/plain") and the body lines,
// CR LF throughout. Line breaks in header fields are turned into blanks, so that no text of a
// message can add headers.
std::string MailPayload(const TEMail& mail);

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

// Sends mails in the background through one SMTP server. One thread, started with the sender and
// joined by Stop (or the destructor), takes mails from a bounded queue; callers never wait on the
// network. A failed mail stays queued and is tried again when the next mail is queued.
class TEMailSender {
 public:
  enum TStatus : int32_t { esIdle = 0, esSending = 1, esDone = 2, esFailed = 3 };
  static constexpr size_t kMaxQueued = 100;

  explicit TEMailSender(int logId = 1);
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
  // Queues the mail and waits until the queue is sent or a send failed, at most `timeout`.
  // False with the error ("2 Minutes Timeout" or the thread's error) when not sent.
  bool SendAndWait(TEMail aEMail, std::string& error,
                   std::chrono::milliseconds timeout = std::chrono::minutes(2));
  TStatus GetStatus() const;
  std::string SendError() const;
  size_t QueuedCount() const;
  // Ends the thread: a transfer in progress is abandoned, queued mails are dropped (logged).
  void Stop();

 private:
  void Execute();
  // Sends one mail; the error text on failure, empty on success.
  std::string Transfer(const TEMail& mail, const TSmtpLogin& login);

  const int LogId;
  mutable std::mutex FLock;
  std::condition_variable FWake;  // a mail was queued or Stop was called
  std::condition_variable FIdle;  // a pass over the queue ended
  std::deque<TEMail> FeMails;
  TSmtpLogin FLogin;
  std::string FeMailSender;
  TStatus FStatus = esIdle;
  std::string FSendError;
  bool FRetry = false;  // the queue holds mails newly worth a try
  bool FStop = false;
  std::atomic<bool> FAbort = false;  // read by a running transfer, which Stop abandons
  std::thread FThread;  // declared last: starts after every field it uses
};

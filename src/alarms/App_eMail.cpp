#include "alarms/App_eMail.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "core/LogUnit.h"

namespace {
constexpr long kConnectTimeoutS = 30;
constexpr long kTransferTimeoutS = 120;

std::string OneLine(std::string text) {
  std::replace_if(text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  return text;
}

std::string Joined(const std::vector<std::string>& parts, const std::string& separator) {
  std::string text;
  for (const std::string& part : parts) text += (text.empty() ? "" : separator) + part;
  return text;
}

struct TUpload {
  std::string Data;
  size_t Pos = 0;
};

size_t ReadPayload(char* buffer, size_t size, size_t count, void* user) {
  auto* upload = static_cast<TUpload*>(user);
  const size_t n = std::min(size * count, upload->Data.size() - upload->Pos);
  std::memcpy(buffer, upload->Data.data() + upload->Pos, n);
  upload->Pos += n;
  return n;
}

// Lets Stop abandon a transfer that waits on a silent server.
int AbortOnStop(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto* stop = static_cast<const std::atomic<bool>*>(user);
  return stop->load() ? 1 : 0;
}
}  // namespace

std::vector<std::string> SplitAddresses(const std::string& list) {
  std::vector<std::string> addresses;
  std::string current;
  for (char c : list + ";") {
    if (c == ';' || c == ',' || c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      if (!current.empty()) addresses.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  return addresses;
}

std::string MailPayload(const TEMail& mail) {
  std::string text = "From: " + OneLine(mail.Sender) + "\r\n";
  text += "To: " + OneLine(Joined(mail.Recipients, ", ")) + "\r\n";
  text += "Subject: " + OneLine(mail.Subject) + "\r\n";
  text += "MIME-Version: 1.0\r\n";
  text += "Content-Type: text/plain; charset=UTF-8\r\n";
  text += "\r\n";
  for (const std::string& line : mail.Body) text += OneLine(line) + "\r\n";
  return text;
}

std::string SmtpUrl(const std::string& host) {
  if (host.rfind("smtp://", 0) == 0 || host.rfind("smtps://", 0) == 0) return host;
  return "smtp://" + host;
}

TEMailSender::TEMailSender(int logId) : LogId(logId), FThread([this] { Execute(); }) {}

TEMailSender::~TEMailSender() { Stop(); }

void TEMailSender::SetLogin(const TEMailServerLogin& aLogin) {
  TSmtpLogin login;
  login.Host = aLogin.Host();
  login.User = aLogin.User();
  login.Password = aLogin.GetPassword();
  login.Auth = aLogin.AuthNeeded();
  login.Sender = aLogin.Sender();
  SetLogin(login);
}

void TEMailSender::SetLogin(const TSmtpLogin& aLogin) {
  std::lock_guard lock(FLock);
  FLogin = aLogin;
  FLogin.Auth = aLogin.Auth && (!aLogin.User.empty() || !aLogin.Password.empty());
  FeMailSender = aLogin.Sender;
}

TSmtpLogin TEMailSender::Login() const {
  std::lock_guard lock(FLock);
  return FLogin;
}

TEMail TEMailSender::GeneratePlainEmail(const std::string& aAbsender, const std::string& aEmpfaenger,
                                        const std::vector<std::string>& aTextBody,
                                        const std::string& aSubject) const {
  return TEMail{aAbsender, SplitAddresses(aEmpfaenger), aSubject, aTextBody};
}

bool TEMailSender::Send(TEMail aEMail) {
  {
    std::lock_guard lock(FLock);
    if (FStop) return false;
    if (FeMails.size() >= kMaxQueued) {
      LogError(LogId, "TEMailSender.Send queue full, mail dropped: " + aEMail.Subject);
      return false;
    }
    FeMails.push_back(std::move(aEMail));
    FRetry = true;
  }
  FWake.notify_one();
  return true;
}

bool TEMailSender::SendAndWait(TEMail aEMail, std::string& error, std::chrono::milliseconds timeout) {
  std::unique_lock lock(FLock);
  if (FStop) {
    error = "send eMail failed: sender stopped";
    return false;
  }
  FeMails.push_back(std::move(aEMail));
  FRetry = true;
  FStatus = esSending;
  FWake.notify_one();
  const bool ended = FIdle.wait_for(lock, timeout, [this] { return FStop || (!FRetry && FStatus != esSending); });
  if (!ended) {
    error = "2 Minutes Timeout";
    return false;
  }
  if (FStatus == esFailed) {
    error = FSendError;
    return false;
  }
  return FeMails.empty();
}

TEMailSender::TStatus TEMailSender::GetStatus() const {
  std::lock_guard lock(FLock);
  return FStatus;
}

std::string TEMailSender::SendError() const {
  std::lock_guard lock(FLock);
  return FSendError;
}

size_t TEMailSender::QueuedCount() const {
  std::lock_guard lock(FLock);
  return FeMails.size();
}

void TEMailSender::Stop() {
  {
    std::lock_guard lock(FLock);
    FStop = true;
    FAbort = true;
  }
  FWake.notify_all();
  if (FThread.joinable()) FThread.join();
  std::lock_guard lock(FLock);
  if (!FeMails.empty()) LogWarn(LogId, "TEMailSender.Stop " + std::to_string(FeMails.size()) + " mails not sent");
  FeMails.clear();
  FIdle.notify_all();
}

// One pass per wake-up: the queue is sent mail by mail, each removed once it went out; the first
// failure ends the pass and leaves the rest for the next Send.
void TEMailSender::Execute() {
  std::unique_lock lock(FLock);
  while (true) {
    FWake.wait(lock, [this] { return FStop || FRetry; });
    if (FStop) return;
    FRetry = false;
    FStatus = esSending;
    while (!FeMails.empty() && !FStop) {
      const TEMail mail = FeMails.front();
      const TSmtpLogin login = FLogin;
      lock.unlock();
      const std::string error = Transfer(mail, login);
      lock.lock();
      if (FStop) break;  // abandoned by Stop, not a failure of the server
      if (!error.empty()) {
        FSendError = "send eMail failed: " + error;
        FStatus = esFailed;
        LogError(LogId, "TEMailThread.Execute " + FSendError);
        break;
      }
      FeMails.pop_front();
      FStatus = esDone;
    }
    if (FStatus == esSending) FStatus = esDone;
    FIdle.notify_all();
  }
}

std::string TEMailSender::Transfer(const TEMail& mail, const TSmtpLogin& login) {
  if (login.Host.empty()) return "no SMTP host";
  if (mail.Recipients.empty()) return "no recipient";
  CURL* curl = curl_easy_init();
  if (!curl) return "curl_easy_init failed";
  TUpload upload{MailPayload(mail)};
  struct curl_slist* recipients = nullptr;
  for (const std::string& address : mail.Recipients) recipients = curl_slist_append(recipients, ("<" + address + ">").c_str());
  const std::string url = SmtpUrl(login.Host);
  const std::string from = "<" + mail.Sender + ">";
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_TRY));
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutS);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, kTransferTimeoutS);
  if (login.Auth) {
    curl_easy_setopt(curl, CURLOPT_USERNAME, login.User.c_str());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, login.Password.c_str());
  }
  curl_easy_setopt(curl, CURLOPT_MAIL_FROM, from.c_str());
  curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, recipients);
  curl_easy_setopt(curl, CURLOPT_READFUNCTION, ReadPayload);
  curl_easy_setopt(curl, CURLOPT_READDATA, &upload);
  curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, AbortOnStop);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &FAbort);
  const CURLcode rc = curl_easy_perform(curl);
  curl_slist_free_all(recipients);
  curl_easy_cleanup(curl);
  return rc == CURLE_OK ? std::string() : std::string(curl_easy_strerror(rc));
}

#include "alarms/App_eMail.h"

#include <arpa/inet.h>
#include <curl/curl.h>

#include <QByteArray>
#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <ctime>
#include <random>

#include "core/LogUnit.h"

namespace {
constexpr long kConnectTimeoutS = 30;
constexpr long kTransferTimeoutS = 120;
// Bytes of subject text per encoded word: 48 base64 characters, so that "Subject: " and one word
// stay within the 76 characters a header line with encoded words may have.
constexpr size_t kEncodedWordBytes = 36;
constexpr char kNoTlsForLogin[] =
    "the server offers no STARTTLS; the login is not sent without TLS (use a server with STARTTLS or smtps://)";

std::string OneLine(std::string text) {
  std::replace_if(text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  return text;
}

std::string Joined(const std::vector<std::string>& parts, const std::string& separator) {
  std::string text;
  for (const std::string& part : parts) text += (text.empty() ? "" : separator) + part;
  return text;
}

bool IsPlainAscii(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

// Number of leading bytes of `text` up to `limit` that end on a UTF-8 character boundary.
size_t Utf8Prefix(const std::string& text, size_t limit) {
  if (text.size() <= limit) return text.size();
  size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return end > 0 ? end : limit;  // no boundary at all: bytes that are no UTF-8 are cut anywhere
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

// The server's last refusal ("550 5.1.1 <x@y>: Recipient address rejected"), kept so that the
// user reads the server's own reason instead of the client library's summary.
struct TServerReplies {
  std::string Partial;
  std::string LastRefusal;
};

int WatchReplies(CURL*, curl_infotype type, char* data, size_t size, void* user) {
  if (type != CURLINFO_HEADER_IN) return 0;
  auto* replies = static_cast<TServerReplies*>(user);
  replies->Partial.append(data, size);
  size_t eol;
  while ((eol = replies->Partial.find('\n')) != std::string::npos) {
    std::string line = replies->Partial.substr(0, eol);
    replies->Partial.erase(0, eol + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() >= 3 && (line[0] == '4' || line[0] == '5') && std::isdigit(static_cast<unsigned char>(line[1])))
      replies->LastRefusal = line;
  }
  return 0;
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
  text += "Subject: " + EncodedSubject(OneLine(mail.Subject)) + "\r\n";
  if (!mail.Date.empty()) text += "Date: " + OneLine(mail.Date) + "\r\n";
  if (!mail.MessageId.empty()) text += "Message-ID: " + OneLine(mail.MessageId) + "\r\n";
  text += "MIME-Version: 1.0\r\n";
  text += "Content-Type: text/plain; charset=UTF-8\r\n";
  const bool eightBit = std::any_of(mail.Body.begin(), mail.Body.end(), [](const std::string& line) {
    return std::any_of(line.begin(), line.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
  });
  if (eightBit) text += "Content-Transfer-Encoding: 8bit\r\n";
  text += "\r\n";
  for (const std::string& line : mail.Body) text += OneLine(line) + "\r\n";
  return text;
}

std::string EncodedSubject(const std::string& subject) {
  if (IsPlainAscii(subject)) return subject;
  std::string encoded;
  for (size_t pos = 0; pos < subject.size();) {
    const size_t n = Utf8Prefix(subject.substr(pos), kEncodedWordBytes);
    const QByteArray bytes(subject.data() + pos, static_cast<qsizetype>(n));
    encoded += (encoded.empty() ? "" : "\r\n ") + std::string("=?UTF-8?B?") + bytes.toBase64().toStdString() + "?=";
    pos += n;
  }
  return encoded;
}

std::string MailDateText(TWallTime time) {
  const std::time_t t = std::chrono::system_clock::to_time_t(time);
  std::tm utc{};
  gmtime_r(&t, &utc);
  static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char text[40];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d +0000", days[utc.tm_wday], utc.tm_mday,
                months[utc.tm_mon], utc.tm_year + 1900, utc.tm_hour, utc.tm_min, utc.tm_sec);
  return text;
}

std::string NewMessageId(const std::string& sender, TWallTime time) {
  static std::atomic<uint64_t> counter{0};
  static const uint64_t process = std::random_device{}() * 0x100000000ull + std::random_device{}();
  const size_t at = sender.rfind('@');
  std::string domain = at == std::string::npos ? "" : sender.substr(at + 1);
  domain.erase(std::remove_if(domain.begin(), domain.end(), [](char c) { return c == '>' || c == ' '; }), domain.end());
  if (domain.empty()) domain = "localhost";
  const long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
  char unique[64];
  std::snprintf(unique, sizeof unique, "%llx.%llx.%llx", ms, static_cast<unsigned long long>(process),
                static_cast<unsigned long long>(++counter));
  return "<" + std::string(unique) + "@" + domain + ">";
}

std::string SmtpUrl(const std::string& host) {
  if (host.rfind("smtp://", 0) == 0 || host.rfind("smtps://", 0) == 0) return host;
  return "smtp://" + host;
}

std::string SmtpHostName(const std::string& host) {
  std::string name = host;
  if (const size_t scheme = name.find("://"); scheme != std::string::npos) name.erase(0, scheme + 3);
  name = name.substr(0, name.find('/'));
  if (!name.empty() && name[0] == '[') {
    name = name.substr(1, name.find(']') - 1);
  } else if (std::count(name.begin(), name.end(), ':') == 1) {
    name = name.substr(0, name.find(':'));
  }
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
  return name;
}

bool IsLoopbackHost(const std::string& hostName) {
  if (hostName == "localhost" || hostName.ends_with(".localhost")) return true;
  in_addr v4{};
  if (::inet_pton(AF_INET, hostName.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
  in6_addr v6{};
  return ::inet_pton(AF_INET6, hostName.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

bool LoginNeedsTls(const TSmtpLogin& login) { return login.Auth && !IsLoopbackHost(SmtpHostName(login.Host)); }

std::chrono::milliseconds TMailRetry::DelayAfter(int attempts) const {
  std::chrono::milliseconds delay = FirstDelay;
  for (int i = 1; i < attempts && delay < MaxDelay; ++i) delay *= 2;
  return std::min(delay, MaxDelay);
}

// ---------------------------------------------------------------- TEMailSender

TEMailSender::TEMailSender(int logId, TMailRetry retry, TMailDropped onDropped)
    : LogId(logId), FRetryPolicy(retry), FOnDropped(std::move(onDropped)), FThread([this] { Execute(); }) {}

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

// Called with the lock held. A new mail also makes the waiting ones due.
uint64_t TEMailSender::Enqueue(TEMail mail) {
  const TWallTime now = std::chrono::system_clock::now();
  if (mail.Date.empty()) mail.Date = MailDateText(now);
  if (mail.MessageId.empty()) mail.MessageId = NewMessageId(mail.Sender, now);
  const uint64_t id = ++FNextId;
  FeMails.push_back(TQueued{id, std::move(mail)});
  FRetry = true;
  return id;
}

bool TEMailSender::Send(TEMail aEMail) {
  {
    std::lock_guard lock(FLock);
    if (FStop) return false;
    if (FeMails.size() >= kMaxQueued) {
      LogError(LogId, "TEMailSender.Send queue full, mail dropped: " + aEMail.Subject);
      return false;
    }
    Enqueue(std::move(aEMail));
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
  const uint64_t id = Enqueue(std::move(aEMail));
  FWaits[id];
  FStatus = esSending;
  FWake.notify_one();
  const bool settled = FIdle.wait_for(lock, timeout, [&] { return FStop || FWaits[id].has_value(); });
  const std::optional<std::string> outcome = FWaits[id];
  FWaits.erase(id);
  if (!settled) {
    error = "2 Minutes Timeout";
    return false;
  }
  if (!outcome) {
    error = "send eMail failed: sender stopped";
    return false;
  }
  error = *outcome;
  return error.empty();
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

// Sleeps until a mail arrives, a waiting mail is due, or Stop; then tries what is due.
void TEMailSender::Execute() {
  std::unique_lock lock(FLock);
  while (!FStop) {
    if (FeMails.empty()) {
      FWake.wait(lock, [this] { return FStop || FRetry; });
    } else {
      const auto next = std::min_element(FeMails.begin(), FeMails.end(),
                                         [](const TQueued& a, const TQueued& b) { return a.Due < b.Due; });
      FWake.wait_until(lock, next->Due, [this] { return FStop || FRetry; });
    }
    if (FStop) return;
    if (FRetry) {
      for (TQueued& queued : FeMails) queued.Due = {};
      FRetry = false;
    }
    SendDueMails(lock);
  }
}

void TEMailSender::SendDueMails(std::unique_lock<std::mutex>& lock) {
  for (auto it = FeMails.begin(); it != FeMails.end() && !FStop;) {
    if (it->Due > std::chrono::steady_clock::now()) {
      ++it;
      continue;
    }
    const TEMail mail = it->Mail;
    const TSmtpLogin login = FLogin;
    FStatus = esSending;
    lock.unlock();
    const TTransferResult result = Transfer(mail, login);
    lock.lock();
    if (FStop) return;  // abandoned by Stop, not a failure of the server
    const auto current = it++;
    const std::optional<std::string> dropped = Settle(current, result);
    FIdle.notify_all();
    if (dropped && FOnDropped) {
      // Without the lock: the report may come back here through a notification that queues a mail.
      lock.unlock();
      FOnDropped(*dropped);
      lock.lock();
    }
  }
}

std::optional<std::string> TEMailSender::Settle(std::list<TQueued>::iterator it, const TTransferResult& result) {
  TQueued& queued = *it;
  if (const auto wait = FWaits.find(queued.Id); wait != FWaits.end())
    wait->second = result.Sent ? "" : "send eMail failed: " + result.Reason;
  if (result.Sent) {
    FStatus = esDone;
    FeMails.erase(it);
    return std::nullopt;
  }
  FSendError = "send eMail failed: " + result.Reason;
  FStatus = esFailed;
  LogError(LogId, "TEMailThread.Execute " + FSendError);
  ++queued.Attempts;
  std::string dropped = "eMail \"" + queued.Mail.Subject + "\" to " + Joined(queued.Mail.Recipients, ", ");
  if (result.Permanent) {
    dropped += " not sent: " + result.Reason;
  } else if (queued.Attempts >= FRetryPolicy.MaxAttempts) {
    dropped += " not sent after " + std::to_string(queued.Attempts) + " attempts: " + result.Reason;
  } else {
    queued.Due = std::chrono::steady_clock::now() + FRetryPolicy.DelayAfter(queued.Attempts);
    return std::nullopt;
  }
  LogError(LogId, "TEMailSender " + dropped);
  FeMails.erase(it);
  return dropped;
}

TEMailSender::TTransferResult TEMailSender::Transfer(const TEMail& mail, const TSmtpLogin& login) {
  if (login.Host.empty()) return {false, true, "no SMTP host"};
  if (mail.Recipients.empty()) return {false, true, "no recipient"};
  CURL* curl = curl_easy_init();
  if (!curl) return {false, false, "curl_easy_init failed"};
  TUpload upload{MailPayload(mail)};
  TServerReplies replies;
  struct curl_slist* recipients = nullptr;
  for (const std::string& address : mail.Recipients) recipients = curl_slist_append(recipients, ("<" + address + ">").c_str());
  const std::string url = SmtpUrl(login.Host);
  const std::string from = "<" + mail.Sender + ">";
  const bool needsTls = LoginNeedsTls(login);
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(needsTls ? CURLUSESSL_ALL : CURLUSESSL_TRY));
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
  curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, WatchReplies);
  curl_easy_setopt(curl, CURLOPT_DEBUGDATA, &replies);
  curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
  const CURLcode rc = curl_easy_perform(curl);
  curl_slist_free_all(recipients);
  curl_easy_cleanup(curl);
  if (rc == CURLE_OK) return {true, false, ""};
  if (rc == CURLE_USE_SSL_FAILED && needsTls) return {false, true, kNoTlsForLogin};
  if (!replies.LastRefusal.empty()) return {false, replies.LastRefusal[0] == '5', replies.LastRefusal};
  return {false, false, curl_easy_strerror(rc)};
}

std::string SendTestMail(const TEMailServerLogin& login, const std::string& recipient, int logId) {
  TEMailSender sender(logId);
  sender.SetLogin(login);
  const TEMail mail = sender.GeneratePlainEmail(sender.SenderAddress(), recipient,
                                                {"Test email", "Test outgoing email server configuration"}, "Test EMail");
  std::string error;
  return sender.SendAndWait(mail, error) ? std::string() : error;
}

#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/IMessageNotifier.h"
#include "core/VTA_Common.h"

class TAppSettings;
struct TEMail;

enum TNotifyType : int32_t { ntOnce = 0, ntAlways = 1, ntBig = 2 };
enum TNotifyClass : int32_t { ncErrorWarning = 0, ncInfo = 1, ncHW = 2, ncSW = 3 };

inline constexpr char kDefaultSubject[] = "<VTA Default Notification>";
constexpr int32_t kAllSessions = -1;
constexpr int32_t kNotificationFormatVersion = 2;

const char* NotifyTypeText(TNotifyType type);   // "Once", "Always", "Big"
const char* NotifyClassText(TNotifyClass cls);  // "ErrorWarning", "Info", "HW", "SW"
bool IsWildcardCode(int32_t code);              // -4 .. -1
bool IsBigWarning(int32_t code);
bool IsBigInfo(int32_t code);

// Most notifications, and additional lines per notification, a settings file may hold; a larger
// count is a damaged file (ESettingsCountError).
inline constexpr int32_t kMaxNotifications = 10000;
inline constexpr int32_t kMaxNotificationLines = 1000;

// A popup (ntBig) or an e-mail notification (ntOnce, ntAlways).
class TNotification {
 public:
  std::set<std::pair<int32_t, int32_t>> FSendMsg;  // (session, code) already mailed (ntOnce)
  bool enabled = true;
  TNotifyType Notify = ntOnce;
  int32_t SourceIndex = kAllSessions;
  int32_t BigMsgType = mtError;
  TNotifyClass NotifyClass = ncErrorWarning;
  std::vector<int32_t> Codes;
  std::vector<std::string> Lines;
  std::string EmailAddress;
  std::string Subject;
  std::string Text;
  bool ViaThread = false;

  // The catalogue text of the first code, followed by "..." when there are more.
  std::string GetNotifyText() const;
  void SetDisplayText() { Text = GetNotifyText(); }
  std::string ToString() const;
  // `version`: the "INI_Version" of the file read.
  void ReadSettings(TAppSettings& settings, const std::string& prefix, int32_t version);
  void SaveSettings(TAppSettings& settings, const std::string& prefix) const;
};

// ---- What a notification does with a message, as pure functions ----

// Class, session and code filters of an e-mail notification; the matching codes of the
// notification in its order (wildcards included).
std::vector<int32_t> MatchingCodes(const TNotification& n, const TMessageItem& msg);
// " Logger" for a general message, else " Source " + letter (+ " " + friendly name).
std::string MailSourceText(int32_t sIndex, const std::string& friendlyName);
std::vector<std::string> MailBody(const TNotification& n, const TMessageItem& msg, const std::string& sourceText);
std::string MailSubject(const TNotification& n, const TMessageItem& msg, const std::string& host,
                        const std::string& sourceText);
// After a mail of an ntOnce notification: whether every session and code it names was mailed.
bool OnceComplete(const TNotification& n, int32_t sessionCount);

// The popups and the e-mail notifications. Safe for the report thread (NotifyMessage) and the
// window thread (everything else) alike: one lock guards the list. It is never held while the
// settings store is used, so the store's lock always comes first.
class TNotificationList : public IMessageNotifier {
 public:
  using TSessionName = std::function<std::string(int32_t sIndex)>;
  using TShowPopup = std::function<void(const TMessageItem& msg)>;
  // Queues a mail (the mail sender's Send); must not wait on the network.
  using TSendMail = std::function<void(TEMail mail)>;

  // `send` may be none (no mails). `host` is this computer's host name.
  TNotificationList(TSendMail send, std::string host, int logId = -1);
  ~TNotificationList() override;

  void SetSessionName(TSessionName name) { FSessionName = std::move(name); }
  // Shows a popup at once (messages not from a worker thread); none = no popups at once.
  void SetShowPopup(TShowPopup show) { FShowPopup = std::move(show); }

  void Add(std::unique_ptr<TNotification> Value);
  size_t Count() const;
  TNotification GetItem(size_t Index) const;
  void SetItem(size_t Index, const TNotification& Value);
  // The e-mail notifications (once, always) as the dialog left them; popups stay as they are, so
  // messages that point at them keep their link.
  std::vector<TNotification> MailNotifications() const;
  void ReplaceMailNotifications(const std::vector<TNotification>& mails);

  bool NotifyMessage(TMessageItem& aMsg) override;
  // The display cycle's part: true (and the mark cleared) when the notification a worker-thread
  // message links to is an enabled popup still to be shown.
  bool TakePendingPopup(const TNotification* link);
  void SetPopupEnabled(const TNotification* link, bool enabled);

  void UpdateSessionList(int32_t sessionCount);
  void ReadSettings(TAppSettings& settings, int32_t sessionCount);
  void SaveSettings(TAppSettings& settings) const;

  const std::string& SenderName() const { return FSenderName; }
  void SetSenderName(const std::string& name) { FSenderName = name; }

 private:
  bool NotifyBigMessage(TMessageItem& aMsg);
  void NotifyMails(const TMessageItem& aMsg);
  void CleanUp();

  TSendMail FSendMail;
  int32_t FCountAllSessions = 0;
  std::string FHost;
  std::string FSenderName;
  int FLogId;
  TSessionName FSessionName;
  TShowPopup FShowPopup;
  mutable std::recursive_mutex FLock;
  std::vector<std::unique_ptr<TNotification>> FList;
};

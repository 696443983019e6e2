#include "alarms/Notifications.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "alarms/App_eMail.h"
#include "core/App_Settings.h"
#include "core/DateTimeText.h"
#include "core/LogUnit.h"
#include "core/SettingsCount.h"

namespace {
constexpr char kPrefix[] = "Notification";

std::vector<std::string> SplitFields(const std::string& text) {
  std::vector<std::string> fields;
  size_t start = 0;
  while (true) {
    const size_t pos = text.find(", ", start);
    fields.push_back(text.substr(start, pos == std::string::npos ? std::string::npos : pos - start));
    if (pos == std::string::npos) return fields;
    start = pos + 2;
  }
}

std::optional<int32_t> ToInt(const std::string& text) {
  try {
    size_t used = 0;
    const int value = std::stoi(text, &used);
    if (used == text.size()) return value;
  } catch (const std::exception&) {
  }
  return std::nullopt;
}

bool InList(const TMessArray& list, int32_t code) {
  return std::any_of(list.begin(), list.end(), [code](const TMessageRecord& r) { return r.Code == code; });
}

bool InAnyList(int32_t code) {
  for (int i = 0; i < kMessageClassCount; ++i)
    if (InList(MessageCodeList(i), code)) return true;
  return false;
}

int32_t ClassCodeCount(TNotifyClass cls) { return static_cast<int32_t>(MessageCodeList(cls).size()) - 1; }

TNotifyClass ClassOfText(const std::string& text) {
  for (TNotifyClass cls : {ncErrorWarning, ncInfo, ncHW, ncSW})
    if (text == NotifyClassText(cls)) return cls;
  return ncErrorWarning;
}

std::string Joined(const std::vector<std::string>& parts) {
  std::string text;
  for (const std::string& part : parts) text += (text.empty() ? "" : ", ") + part;
  return text;
}
}  // namespace

const char* NotifyTypeText(TNotifyType type) {
  switch (type) {
    case ntAlways: return "Always";
    case ntBig: return "Big";
    default: return "Once";
  }
}

const char* NotifyClassText(TNotifyClass cls) {
  switch (cls) {
    case ncInfo: return "Info";
    case ncHW: return "HW";
    case ncSW: return "SW";
    default: return "ErrorWarning";
  }
}

bool IsWildcardCode(int32_t code) { return code >= -4 && code <= -1; }

bool IsBigWarning(int32_t code) { return code == 41 || code == 42 || code == 43 || code == 114 || code == 115; }

bool IsBigInfo(int32_t code) {
  static const std::set<int32_t> codes = {23, 43, 115, 151, 28673, 32593, 32760};
  return codes.count(code) > 0;
}

// ---------------------------------------------------------------- TNotification

std::string TNotification::GetNotifyText() const {
  if (Codes.empty()) return "";
  std::string text;
  const TMessArray& list = MessageCodeList(NotifyClass);
  const auto row = std::find_if(list.begin(), list.end(), [this](const TMessageRecord& r) { return r.Code == Codes[0]; });
  if (row != list.end()) text = row->Text;
  return Codes.size() > 1 ? text + "..." : text;
}

std::string TNotification::ToString() const {
  std::vector<std::string> parts = {enabled ? "True" : "False", NotifyTypeText(Notify), std::to_string(SourceIndex),
                                    NotifyClassText(NotifyClass), EmailAddress, Subject};
  for (int32_t code : Codes) parts.push_back(std::to_string(code));
  parts.insert(parts.end(), Lines.begin(), Lines.end());
  return Joined(parts);
}

// The subject is the only free text among the fields: it is taken as everything between the
// address and the class, so that a subject holding ", " survives saving and reading.
void TNotification::ReadSettings(TAppSettings& settings, const std::string& prefix, int32_t version) {
  const std::vector<std::string> fields = SplitFields(settings.TryGetValue(prefix).value_or(""));
  const size_t required = version >= kNotificationFormatVersion ? 7 : 6;
  *this = TNotification();
  if (fields.size() >= required) {
    enabled = fields[0] == "True";
    Notify = fields[1] == "Always" ? ntAlways : fields[1] == "Big" ? ntBig : ntOnce;
    SourceIndex = ToInt(fields[2]).value_or(kAllSessions);
    BigMsgType = std::clamp(ToInt(fields[3]).value_or(mtError), 0, 2);
    EmailAddress = fields[4];
    const size_t subjectEnd = version >= kNotificationFormatVersion ? fields.size() - 1 : fields.size();
    Subject = fields[5];
    for (size_t i = 6; i < subjectEnd; ++i) Subject += ", " + fields[i];
    if (version >= kNotificationFormatVersion) NotifyClass = ClassOfText(fields.back());
  }
  for (const std::string& field : SplitFields(settings.TryGetValue(prefix + "_Codes").value_or(""))) {
    std::optional<int32_t> code = ToInt(field);
    if (!code) continue;
    if (version < kNotificationFormatVersion && *code == -3) code = -1;
    if (version < kNotificationFormatVersion && *code == -5) code = -2;
    Codes.push_back(*code);
  }
  const int32_t lines = CheckedCount(settings, prefix + "_LinesCount",
                                     ToInt(settings.TryGetValue(prefix + "_LinesCount").value_or("0")).value_or(0),
                                     kMaxNotificationLines);
  for (int32_t k = 1; k <= lines; ++k) Lines.push_back(settings.TryGetValue(prefix + "_Line" + std::to_string(k)).value_or(""));
  SetDisplayText();
}

void TNotification::SaveSettings(TAppSettings& settings, const std::string& prefix) const {
  settings.SetValue(prefix, Joined({enabled ? "True" : "False", NotifyTypeText(Notify), std::to_string(SourceIndex),
                                    std::to_string(BigMsgType), EmailAddress, Subject, NotifyClassText(NotifyClass)}));
  std::vector<std::string> codes;
  for (int32_t code : Codes) codes.push_back(std::to_string(code));
  settings.SetValue(prefix + "_Codes", Joined(codes));
  settings.SetValue(prefix + "_LinesCount", static_cast<int32_t>(Lines.size()));
  for (size_t k = 0; k < Lines.size(); ++k) settings.SetValue(prefix + "_Line" + std::to_string(k + 1), Lines[k]);
}

// ---------------------------------------------------------------- pure parts

std::vector<int32_t> MatchingCodes(const TNotification& n, const TMessageItem& msg) {
  const bool classFits = n.NotifyClass == ncInfo ? msg.MsgType == mtInfo : InList(MessageCodeList(n.NotifyClass), msg.Code);
  if (!classFits) return {};
  if (n.SourceIndex != kAllSessions && n.SourceIndex != msg.sIndex) return {};
  std::vector<int32_t> codes;
  for (int32_t code : n.Codes)
    if (IsWildcardCode(code) || code == msg.Code) codes.push_back(code);
  return codes;
}

std::string MailSourceText(int32_t sIndex, const std::string& friendlyName) {
  if (sIndex < 0) return " Logger";
  std::string text = std::string(" Source ") + SessionLetter(sIndex);
  return friendlyName.empty() ? text : text + " " + friendlyName;
}

std::vector<std::string> MailBody(const TNotification& n, const TMessageItem& msg, const std::string& sourceText) {
  std::vector<std::string> body = {msg.Text};
  body.insert(body.end(), n.Lines.begin(), n.Lines.end());
  char hex[16];
  std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned>(msg.Code));
  body.push_back(IsoDateTimeMsText(msg.Time) + " Notification(" + std::to_string(msg.Code) + "=0x" + hex + ")" +
                 sourceText);
  return body;
}

// The source text starts with a blank of its own, which joins it to the host name.
std::string MailSubject(const TNotification& n, const TMessageItem& msg, const std::string& host,
                        const std::string& sourceText) {
  if (n.Subject != kDefaultSubject) return n.Subject;
  return host + sourceText + " " + msg.Text;
}

// Every code the notification names must be done for every session it names; a wildcard is done
// for a session when every code of the class was mailed for it.
bool OnceComplete(const TNotification& n, int32_t sessionCount) {
  auto pairsOf = [&n](auto pred) {
    return static_cast<int32_t>(std::count_if(n.FSendMsg.begin(), n.FSendMsg.end(), pred));
  };
  const int32_t classCodes = ClassCodeCount(n.NotifyClass);
  auto sessionDone = [&](int32_t s) { return pairsOf([s](const auto& p) { return p.first == s; }) >= classCodes; };
  auto codeDone = [&](int32_t code) {
    if (IsWildcardCode(code)) {
      if (n.SourceIndex != kAllSessions) return sessionDone(n.SourceIndex);
      for (int32_t s = 0; s < sessionCount; ++s)
        if (!sessionDone(s)) return false;
      return true;
    }
    if (n.SourceIndex != kAllSessions) return n.FSendMsg.count({n.SourceIndex, code}) > 0;
    return pairsOf([code](const auto& p) { return p.second == code; }) >= sessionCount;
  };
  return std::all_of(n.Codes.begin(), n.Codes.end(), codeDone);
}

// ---------------------------------------------------------------- TNotificationList

TNotificationList::TNotificationList(TSendMail send, std::string host, int logId)
    : FSendMail(std::move(send)), FHost(std::move(host)), FLogId(logId) {}

TNotificationList::~TNotificationList() = default;

void TNotificationList::Add(std::unique_ptr<TNotification> Value) {
  std::lock_guard lock(FLock);
  FList.push_back(std::move(Value));
}

size_t TNotificationList::Count() const {
  std::lock_guard lock(FLock);
  return FList.size();
}

TNotification TNotificationList::GetItem(size_t Index) const {
  std::lock_guard lock(FLock);
  return *FList.at(Index);
}

void TNotificationList::SetItem(size_t Index, const TNotification& Value) {
  std::lock_guard lock(FLock);
  *FList.at(Index) = Value;
}

std::vector<TNotification> TNotificationList::MailNotifications() const {
  std::lock_guard lock(FLock);
  std::vector<TNotification> mails;
  for (const auto& n : FList)
    if (n->Notify != ntBig) mails.push_back(*n);
  return mails;
}

void TNotificationList::ReplaceMailNotifications(const std::vector<TNotification>& mails) {
  std::lock_guard lock(FLock);
  std::erase_if(FList, [](const auto& n) { return n->Notify != ntBig; });
  for (const TNotification& mail : mails) FList.push_back(std::make_unique<TNotification>(mail));
}

bool TNotificationList::NotifyMessage(TMessageItem& aMsg) {
  bool shown = false;
  try {
    shown = NotifyBigMessage(aMsg);
  } catch (const std::exception& e) {
    LogException(FLogId, "TNotificationList.NotifyBigMessage failed", e);
  }
  NotifyMails(aMsg);
  return shown;
}

bool TNotificationList::NotifyBigMessage(TMessageItem& aMsg) {
  std::unique_lock lock(FLock);
  bool wasDisabled = false;
  const auto old = std::find_if(FList.begin(), FList.end(), [&aMsg](const auto& n) {
    return n->Notify == ntBig && n->BigMsgType == aMsg.MsgType && n->SourceIndex == aMsg.sIndex &&
           !n->Codes.empty() && n->Codes[0] == aMsg.Code;
  });
  if (old != FList.end()) {
    wasDisabled = !(*old)->enabled;
    FList.erase(old);
  }
  auto popup = std::make_unique<TNotification>();
  popup->Notify = ntBig;
  popup->SourceIndex = aMsg.sIndex;
  popup->BigMsgType = aMsg.MsgType;
  popup->NotifyClass = aMsg.MsgType == mtInfo ? ncInfo : ncErrorWarning;
  popup->Codes = {aMsg.Code};
  popup->Lines = {aMsg.Text};
  popup->EmailAddress = "-";
  popup->Subject = "-";
  popup->enabled = aMsg.MsgType == mtError || (aMsg.MsgType == mtWarning && IsBigWarning(aMsg.Code)) ||
                   (aMsg.MsgType == mtInfo && IsBigInfo(aMsg.Code));
  if (wasDisabled) popup->enabled = false;
  popup->ViaThread = aMsg.ViaThread;
  popup->SetDisplayText();
  aMsg.Link = popup.get();
  const bool showNow = popup->enabled && !aMsg.ViaThread && FShowPopup;
  FList.push_back(std::move(popup));
  lock.unlock();
  // Shown outside the lock: the popup may run a modal loop that lets the display cycle in.
  if (showNow) FShowPopup(aMsg);
  return showNow;
}

// One mail at most per notification and message, however many of its codes match.
void TNotificationList::NotifyMails(const TMessageItem& aMsg) {
  std::lock_guard lock(FLock);
  for (auto& item : FList) {
    TNotification& n = *item;
    if (!n.enabled || n.Notify == ntBig) continue;
    try {
      if (MatchingCodes(n, aMsg).empty()) continue;
      const std::pair<int32_t, int32_t> pair{aMsg.sIndex, aMsg.Code};
      if (n.Notify == ntOnce && n.FSendMsg.count(pair)) continue;
      const std::string source = MailSourceText(aMsg.sIndex, FSessionName ? FSessionName(aMsg.sIndex) : "");
      if (FSendMail)
        FSendMail(TEMail{FSenderName, SplitAddresses(n.EmailAddress), MailSubject(n, aMsg, FHost, source),
                         MailBody(n, aMsg, source)});
      if (n.Notify != ntOnce) continue;
      n.FSendMsg.insert(pair);
      if (!OnceComplete(n, FCountAllSessions)) continue;
      n.enabled = false;
      if (std::any_of(n.Codes.begin(), n.Codes.end(), IsWildcardCode))
        LogIt(FLogId, std::string(n.SourceIndex == kAllSessions ? "Notification Once: alle Sourcen, alle Codes: fertig "
                                                                : "Notification Once: einfache Source, alle Codes: fertig ") +
                          n.ToString());
    } catch (const std::exception& e) {
      LogException(FLogId, "TNotificationList.NotifyMessage failed", e);
    }
  }
}

bool TNotificationList::TakePendingPopup(const TNotification* link) {
  std::lock_guard lock(FLock);
  for (auto& n : FList) {
    if (n.get() != link) continue;
    const bool pending = n->ViaThread && n->enabled;
    n->ViaThread = false;
    return pending;
  }
  return false;
}

void TNotificationList::SetPopupEnabled(const TNotification* link, bool enabled) {
  std::lock_guard lock(FLock);
  for (auto& n : FList)
    if (n.get() == link) n->enabled = enabled;
}

void TNotificationList::UpdateSessionList(int32_t sessionCount) {
  std::lock_guard lock(FLock);
  FCountAllSessions = sessionCount;
  CleanUp();
}

void TNotificationList::CleanUp() {
  std::erase_if(FList, [this](const std::unique_ptr<TNotification>& n) {
    if (n->SourceIndex != kNoSession && n->SourceIndex >= FCountAllSessions) return true;
    if (n->Notify != ntBig && (n->EmailAddress.empty() || n->Subject.empty())) return true;
    std::erase_if(n->Codes, [&n](int32_t code) {
      return n->Notify == ntBig ? !InAnyList(code) : !InList(MessageCodeList(n->NotifyClass), code);
    });
    return n->Codes.empty();
  });
}

// The settings store has a lock of its own, which its callers may hold around this call: the
// list's lock is therefore never held while the store is read or written.
void TNotificationList::ReadSettings(TAppSettings& settings, int32_t sessionCount) {
  const int32_t version = settings.VersionFormat();
  const std::string prefix = std::string(kPrefix) + "_";
  const int32_t count = CheckedCount(settings, prefix + "Count",
                                     ToInt(settings.TryGetValue(prefix + "Count").value_or("0")).value_or(0),
                                     kMaxNotifications);
  std::vector<std::unique_ptr<TNotification>> read;
  for (int32_t n = 1; n <= count; ++n) {
    auto item = std::make_unique<TNotification>();
    item->ReadSettings(settings, prefix + std::to_string(n), version);
    read.push_back(std::move(item));
  }
  std::lock_guard lock(FLock);
  FList = std::move(read);
  FCountAllSessions = sessionCount;
  CleanUp();
}

// Popups are kept only where the operator switched them off, and important warnings always.
void TNotificationList::SaveSettings(TAppSettings& settings) const {
  std::vector<TNotification> kept;
  {
    std::lock_guard lock(FLock);
    for (const auto& item : FList)
      if (item->Notify != ntBig || item->BigMsgType == mtWarning || !item->enabled) kept.push_back(*item);
  }
  settings.RemoveKeys(kPrefix);
  settings.SetVersionFormat(kNotificationFormatVersion);
  int32_t n = 0;
  for (const TNotification& item : kept) item.SaveSettings(settings, std::string(kPrefix) + "_" + std::to_string(++n));
  settings.SetValue(std::string(kPrefix) + "_Count", n);
}

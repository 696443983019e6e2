#include "app/VTA_Notifications.h"

#include <QString>
#include <QSysInfo>

#include "acquisition/VTA_Sessions.h"
#include "app/IVTA_UserInterface.h"
#include "core/LogUnit.h"
#include "core/VTA_Common.h"
#include "core/VTA_Settings.h"

std::string LocalHostName() { return QSysInfo::machineHostName().toStdString(); }

TVTA_Notifications::TVTA_Notifications(TMessageList& messages, IVTA_UserInterface& ui, std::string host, int logId,
                                       int mailLogId)
    : FMessages(messages),
      FLogId(logId),
      FSender(mailLogId, TMailRetry{},
              [this](const std::string& text) { FMessages.AddErrorThread(kNoSession, kMsgCodeMailNotSent, 0, text); }),
      FList([this](TEMail mail) { FSender.Send(std::move(mail)); }, std::move(host), logId) {
  FList.SetSessionName([this](int32_t sIndex) { return SessionName(sIndex); });
  // Only messages of the window thread show their popup at once; the hook belongs to that thread.
  FList.SetShowPopup([&ui](const TMessageItem& msg) { ui.ShowPopup(msg); });
  FMessages.SetNotifier(&FList);
}

TVTA_Notifications::~TVTA_Notifications() { Stop(); }

// The default login unless the configured one is chosen; without a configured one the default
// again, and that choice is stored.
void TVTA_Notifications::ReadSettings(TVTASettings& settings, const TSessionLists& lists) {
  std::optional<TEMailServerLogin> login;
  if (!settings.MailIsDefault()) login = settings.MailConfigLogin();
  if (!login) {
    settings.SetMailIsDefault(true);
    login = settings.MailDefaultLogin();
  }
  UseLogin(*login);
  TakeSessionNames(lists);
  FList.ReadSettings(settings, static_cast<int32_t>(lists.Sessions().size()));
}

void TVTA_Notifications::UseLogin(const TEMailServerLogin& login) {
  FSender.SetLogin(login);
  FList.SetSenderName(login.Sender());
}

void TVTA_Notifications::SessionListChanged(const TSessionLists& lists) {
  TakeSessionNames(lists);
  FList.UpdateSessionList(static_cast<int32_t>(lists.Sessions().size()));
}

void TVTA_Notifications::SaveSettings(TVTASettings& settings, const TSessionIndexMap&) { FList.SaveSettings(settings); }

void TVTA_Notifications::Stop() {
  FMessages.SetNotifier(nullptr);
  FSender.Stop();
}

void TVTA_Notifications::TakeSessionNames(const TSessionLists& lists) {
  std::map<int32_t, std::string> names;
  for (const TSessionItem* session : lists.Sessions()) names[session->Index()] = session->FriendlyName();
  std::lock_guard lock(FNamesLock);
  FNames = std::move(names);
}

std::string TVTA_Notifications::SessionName(int32_t sIndex) const {
  std::lock_guard lock(FNamesLock);
  const auto it = FNames.find(sIndex);
  return it == FNames.end() ? std::string() : it->second;
}

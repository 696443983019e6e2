#pragma once
#include <map>
#include <mutex>
#include <string>

#include "alarms/App_eMail.h"
#include "alarms/Notifications.h"
#include "app/IVTA_AppComponent.h"

class IVTA_UserInterface;
class TMessageList;

// The notification list and the mail sender as a part of the application: every user message is
// offered to the list, popups go to the user interface (at once on the window thread, through the
// display cycle for worker-thread messages), mails to the sender's thread; a mail that is given up
// comes back as an error message with the reason. Reads and saves the "Notification_" keys and
// chooses the mail login.
class TVTA_Notifications : public IVTA_AppComponent {
 public:
  // `messages` and `ui` must outlive the component. `host`: this computer's host name.
  TVTA_Notifications(TMessageList& messages, IVTA_UserInterface& ui, std::string host, int logId, int mailLogId);
  ~TVTA_Notifications() override;

  TNotificationList& List() { return FList; }
  TEMailSender& MailSender() { return FSender; }
  // Mails go out through this login from now on, with its sender address.
  void UseLogin(const TEMailServerLogin& login);
  int LogId() const { return FLogId; }
  // For the display cycle: whether the message's popup is still to be shown (then it is taken).
  bool TakePendingPopup(const TMessageItem& item) { return FList.TakePendingPopup(item.Link); }

  void ReadSettings(TVTASettings& settings, const TSessionLists& lists) override;
  void SessionListChanged(const TSessionLists& lists) override;
  void SessionRemoving(TSessionItem&) override {}
  void SaveSettings(TVTASettings& settings, const TSessionIndexMap& map) override;
  bool LogFileActive() const override { return false; }
  void Stop() override;

 private:
  void TakeSessionNames(const TSessionLists& lists);
  std::string SessionName(int32_t sIndex) const;

  TMessageList& FMessages;
  int FLogId;
  mutable std::mutex FNamesLock;  // the names are read by the report thread
  std::map<int32_t, std::string> FNames;
  TEMailSender FSender;
  TNotificationList FList;  // declared after the sender it sends through
};

// This computer's network host name.
std::string LocalHostName();

#pragma once
#include <QDialog>
#include <string>
#include <utility>
#include <vector>

#include "alarms/Notifications.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QTableWidget;

// "Email Notifications": the configured e-mail notifications, and fields to add, change or remove
// one (source, once or always, the message class with its messages to tick, additional text,
// address, subject). "Ok" hands back the whole list as the dialog leaves it.
class TEmailNotificationsDialog : public QDialog {
  Q_OBJECT

 public:
  // sessions: index and friendly name of each session.
  TEmailNotificationsDialog(QWidget* parent, std::vector<TNotification> notifications,
                            std::vector<std::pair<int32_t, std::string>> sessions);

  const std::vector<TNotification>& Notifications() const { return FNotifications; }
  // The notification of the fields; empty text when it is complete, else the refusal.
  TNotification FieldNotification() const;
  QString CheckFields() const;
  // Add, Change (the selected row), Remove (the selected row); false with the refusal shown.
  bool AddFromFields();
  bool ChangeSelected();
  void RemoveSelected();

  QTableWidget* Table() const { return FTable; }
  QComboBox* SourceBox() const { return FSource; }
  QComboBox* NotifyBox() const { return FNotify; }
  QComboBox* ClassBox() const { return FClass; }
  QListWidget* MessageList() const { return FMessages; }
  QPlainTextEdit* AdditionalEdit() const { return FAdditional; }
  QLineEdit* AddressEdit() const { return FAddress; }
  QLineEdit* SubjectEdit() const { return FSubject; }
  QLabel* ErrorLabel() const { return FError; }

 private:
  void FillMessages(const std::vector<int32_t>& ticked);
  void ShowInFields(const TNotification& n);
  void FillTable();

  std::vector<TNotification> FNotifications;
  std::vector<std::pair<int32_t, std::string>> FSessions;
  QTableWidget* FTable = nullptr;
  QComboBox* FSource = nullptr;
  QComboBox* FNotify = nullptr;
  QComboBox* FClass = nullptr;
  QListWidget* FMessages = nullptr;
  QPlainTextEdit* FAdditional = nullptr;
  QLineEdit* FAddress = nullptr;
  QLineEdit* FSubject = nullptr;
  QLabel* FError = nullptr;
};

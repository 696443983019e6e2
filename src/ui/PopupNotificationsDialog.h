#pragma once
#include <QDialog>
#include <string>
#include <vector>

class QTableWidget;

// One popup notification as the dialog lists it.
struct TPopupNotificationRow {
  size_t Index = 0;         // its place in the notification list
  bool Enabled = true;
  int32_t SourceIndex = -1;  // -1: every session
  int32_t MsgType = 0;       // the message type it pops up for
  std::string Text;
};

// "Enable Popup Message Notifications": every popup notification with a check box (enabled), its
// session ("All" or the letter), its type ("E", "W", "I") and its message text.
class TPopupNotificationsDialog : public QDialog {
  Q_OBJECT

 public:
  TPopupNotificationsDialog(QWidget* parent, std::vector<TPopupNotificationRow> rows);

  // The rows with the check boxes as they stand.
  std::vector<TPopupNotificationRow> Rows() const;
  QTableWidget* Table() const { return FTable; }

 private:
  std::vector<TPopupNotificationRow> FRows;
  QTableWidget* FTable = nullptr;
};

#include "ui/EmailNotificationsDialog.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTableWidget>

#include "DialogTestSupport.h"

namespace {

TNotification Stored() {
  TNotification n;
  n.Notify = ntAlways;
  n.SourceIndex = 1;
  n.NotifyClass = ncErrorWarning;
  n.Codes = {MessageCodeList(ncErrorWarning).at(1).Code};
  n.EmailAddress = "ops@lab.example";
  n.Subject = "Maser";
  n.Lines = {"call the lab"};
  n.SetDisplayText();
  return n;
}

const std::vector<std::pair<int32_t, std::string>> kSessions = {{0, "Maser H3"}, {1, "GPS"}};

TEST(EmailNotificationsDialog, ShowsTheListAndASelectedNotificationInTheFields) {
  TEmailNotificationsDialog dialog(nullptr, {Stored()}, kSessions);
  EXPECT_EQ(dialog.windowTitle(), "Email Notifications");
  ASSERT_EQ(dialog.Table()->rowCount(), 1);
  EXPECT_EQ(dialog.Table()->item(0, 0)->text(), "Always");
  EXPECT_EQ(dialog.Table()->item(0, 1)->text(), "B");
  EXPECT_EQ(dialog.Table()->item(0, 4)->text(), "ops@lab.example");
  dialog.Table()->setCurrentCell(0, 0);
  EXPECT_EQ(dialog.SourceBox()->currentText(), "B: GPS");
  EXPECT_EQ(dialog.NotifyBox()->currentText(), "Always");
  EXPECT_EQ(dialog.AdditionalEdit()->toPlainText(), "call the lab");
  EXPECT_EQ(dialog.MessageList()->item(1)->checkState(), Qt::Checked);
  EXPECT_EQ(dialog.FieldNotification().Codes, Stored().Codes);
}

TEST(EmailNotificationsDialog, AddChangeAndRemoveNeedAnAddressAndASubject) {
  TEmailNotificationsDialog dialog(nullptr, {}, kSessions);
  EXPECT_EQ(dialog.SubjectEdit()->text().toStdString(), kDefaultSubject);
  EXPECT_FALSE(dialog.AddFromFields());
  EXPECT_EQ(dialog.ErrorLabel()->text(), "Email Address missing");
  dialog.AddressEdit()->setText("ops@lab.example");
  dialog.SubjectEdit()->setText("");
  EXPECT_FALSE(dialog.AddFromFields());
  EXPECT_EQ(dialog.ErrorLabel()->text(), "Email Subject missing");

  dialog.SubjectEdit()->setText("Clock");
  dialog.ClassBox()->setCurrentIndex(ncInfo);
  dialog.MessageList()->item(0)->setCheckState(Qt::Checked);
  ASSERT_TRUE(dialog.AddFromFields());
  ASSERT_EQ(dialog.Notifications().size(), 1u);
  EXPECT_EQ(dialog.Notifications()[0].NotifyClass, ncInfo);
  EXPECT_EQ(dialog.Notifications()[0].Codes, std::vector<int32_t>{MessageCodeList(ncInfo).at(0).Code});
  EXPECT_EQ(dialog.Notifications()[0].SourceIndex, kAllSessions);

  dialog.Table()->setCurrentCell(0, 0);
  dialog.AddressEdit()->setText("lab@lab.example");
  ASSERT_TRUE(dialog.ChangeSelected());
  EXPECT_EQ(dialog.Notifications()[0].EmailAddress, "lab@lab.example");
  dialog.RemoveSelected();
  EXPECT_TRUE(dialog.Notifications().empty());
}

TEST(EmailNotificationsDialog, Screenshot) {
  TEmailNotificationsDialog dialog(nullptr, {Stored()}, kSessions);
  dialog.Table()->setCurrentCell(0, 0);
  SaveDialogScreenshot(dialog, "email_notifications_dialog");
}

}  // namespace

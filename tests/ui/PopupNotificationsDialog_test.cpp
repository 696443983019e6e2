#include "ui/PopupNotificationsDialog.h"

#include <gtest/gtest.h>

#include <QTableWidget>

#include "DialogTestSupport.h"
#include "core/VTA_Common.h"

namespace {

std::vector<TPopupNotificationRow> Rows() {
  return {{0, true, -1, mtError, "Reference clock error"}, {3, false, 1, mtWarning, "Frequency warning"},
          {4, true, 0, mtInfo, "Log opened"}};
}

TEST(PopupNotificationsDialog, ListsEachPopupAndTakesItsCheckBox) {
  TPopupNotificationsDialog dialog(nullptr, Rows());
  EXPECT_EQ(dialog.windowTitle(), "Enable Popup Message Notifications");
  QTableWidget* table = dialog.Table();
  ASSERT_EQ(table->rowCount(), 3);
  const char* expected[3][3] = {{"All", "E", "Reference clock error"}, {"B", "W", "Frequency warning"},
                                {"A", "I", "Log opened"}};
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) EXPECT_EQ(table->item(r, c + 1)->text().toStdString(), expected[r][c]) << r << "/" << c;
  EXPECT_EQ(table->item(1, 0)->checkState(), Qt::Unchecked);

  table->item(0, 0)->setCheckState(Qt::Unchecked);
  table->item(1, 0)->setCheckState(Qt::Checked);
  const std::vector<TPopupNotificationRow> rows = dialog.Rows();
  EXPECT_FALSE(rows[0].Enabled);
  EXPECT_TRUE(rows[1].Enabled);
  EXPECT_TRUE(rows[2].Enabled);
  EXPECT_EQ(rows[1].Index, 3u);  // the place in the notification list travels with the row
}

TEST(PopupNotificationsDialog, Screenshot) {
  TPopupNotificationsDialog dialog(nullptr, Rows());
  SaveDialogScreenshot(dialog, "popup_notifications_dialog");
}

}  // namespace

#include "ui/AllanConfigDialog.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include "ui/DialogTestSupport.h"

namespace {

TEST(AllanConfigDialog, ShowsTheDecayWithItsTexts) {
  TAllanConfigDialog dialog(nullptr, 10);
  EXPECT_EQ(dialog.windowTitle(), "Configure Allan Calculation");
  EXPECT_EQ(dialog.findChild<QGroupBox*>()->title(), "Decay");
  QStringList texts;
  for (auto* label : dialog.findChildren<QLabel*>()) texts << label->text();
  EXPECT_EQ(texts, (QStringList{"Input value between 0 and 99", "0: no decay"}));
  EXPECT_EQ(dialog.Edit()->text(), "10");
  EXPECT_EQ(dialog.Decay(), 10);
  // A stored value outside 0..99 is not shown.
  EXPECT_EQ(TAllanConfigDialog(nullptr, 250).Edit()->text(), "");
}

TEST(AllanConfigDialog, TakesDigitsOnlyAndRefusesValuesFrom100) {
  TAllanConfigDialog dialog(nullptr, 0);
  dialog.Edit()->clear();
  QSignalSpy rejected(dialog.Edit(), &QLineEdit::inputRejected);
  QTest::keyClicks(dialog.Edit(), "4a-2 ");
  EXPECT_EQ(dialog.Edit()->text(), "42");
  EXPECT_EQ(rejected.count(), 3);

  struct Case {
    const char* text;
    bool accepted;
  };
  for (const Case& c : {Case{"0", true}, Case{"99", true}, Case{"100", false}, Case{"", false},
                        Case{"99999999999", false}}) {
    TAllanConfigDialog d(nullptr, 5);
    d.Edit()->setText(c.text);
    d.accept();
    EXPECT_EQ(d.result() == QDialog::Accepted, c.accepted) << c.text;
    EXPECT_EQ(d.Decay().has_value(), c.accepted) << c.text;
  }
}

TEST(AllanConfigDialog, Screenshot) {
  TAllanConfigDialog dialog(nullptr, 10);
  SaveDialogScreenshot(dialog, "allan_configuration_dialog");
}

}  // namespace

#include <QLineEdit>
#include <gtest/gtest.h>

#include "data/ZCT_DataManagement.h"
#include "ui/AllanConfigDialog.h"
#include "ui/MainFormTestSupport.h"

namespace {

using MainSettingsDialogsTest = MainFormTest;

TZCT_DataManagement& Store(TSessionItem& session) { return dynamic_cast<TZCT_DataManagement&>(*session.DataManagement()); }

TEST_F(MainSettingsDialogsTest, AllanConfigurationShowsAndSetsTheSessionsDecay) {
  Started(2);
  Store(Session(1)).SetAllanDecay(7);
  QString shown;
  QString entered = "12";
  settingsDialog = [&](QDialog& dialog) {
    auto& allan = dynamic_cast<TAllanConfigDialog&>(dialog);
    shown = allan.Edit()->text();
    allan.Edit()->setText(entered);
    allan.accept();
    return allan.result() == QDialog::Accepted;
  };
  Action("SourceAllanConfig", 1)->trigger();
  EXPECT_EQ(shown, "7");
  EXPECT_EQ(Store(Session(1)).AllanDecay(), 12);
  EXPECT_EQ(Store(Session(0)).AllanDecay(), 0);
  EXPECT_TRUE(LogHas("TMainForm.SourceAllanConfigExecute[1]: Id=0"));

  entered = "100";  // refused: the dialog stays open, the test's runner sees it not accepted
  Action("SourceAllanConfig", 1)->trigger();
  EXPECT_EQ(Store(Session(1)).AllanDecay(), 12);
}

}  // namespace

#include "ui/DGINamesDialog.h"

#include <QHeaderView>
#include <QTableWidget>
#include <gtest/gtest.h>

#include "acquisition/QV_SessionItem.h"
#include "core/App_Settings.h"
#include "ui/DialogTestSupport.h"

namespace {

class DGINamesDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TAppSettings settings;
    settings.SetValue("INI_Version", 6);
    session->ReadSettings(settings, "Session_0_");
  }
  std::unique_ptr<TQVSessionItem> session = TQVSessionItem::Make(-1, 0, {});
};

TEST_F(DGINamesDialogTest, ShowsTheNamesOfEachTransmittedCard) {
  session->SetDGIName(1, 3, "Door");
  TDGINamesDialog dialog(nullptr, "[A] Digital-Input Names", 0x00FFFF, TDGINamesDialog::Read(*session), 2);
  EXPECT_EQ(dialog.windowTitle(), "[A] Digital-Input Names");
  ASSERT_EQ(dialog.Grid()->columnCount(), 2);
  ASSERT_EQ(dialog.Grid()->rowCount(), 32);
  EXPECT_EQ(dialog.Grid()->horizontalHeaderItem(1)->text(), "Card 2");
  EXPECT_EQ(dialog.Grid()->verticalHeaderItem(31)->text(), "Bit 31");
  EXPECT_EQ(dialog.Grid()->item(2, 0)->text(), "Door");
  EXPECT_EQ(dialog.Grid()->item(0, 1)->text(), "DGI2_Bit0");
  // Without transmitted cards the first card is still offered.
  EXPECT_EQ(TDGINamesDialog(nullptr, "x", 0, TDGINamesDialog::Read(*session), 0).Grid()->columnCount(), 1);
}

TEST_F(DGINamesDialogTest, WritesTheNamesBackEmptyOnesAsDefaultsAndKeepsTheListSeparatorOut) {
  TDGINamesDialog dialog(nullptr, "x", 0, TDGINamesDialog::Read(*session), 2);
  struct Case {
    int card, signal;
    const char* typed;
    const char* stored;
  };
  const Case cases[] = {{1, 1, "Pump on", "Pump on"},
                        {1, 2, "  ", "DGI1_Bit1"},
                        {2, 32, "", "DGI2_Bit31"},
                        {2, 5, "Valve, left", "Valve,left"}};
  for (const Case& c : cases) dialog.Grid()->item(c.signal - 1, c.card - 1)->setText(c.typed);
  TDGINamesDialog::Apply(dialog.Names(), *session);
  for (const Case& c : cases) EXPECT_EQ(session->DGIName(c.card, c.signal), c.stored) << c.typed;
  EXPECT_EQ(session->DGIName(3, 1), "DGI3_Bit0");  // cards not shown keep their names

  TAppSettings saved;
  session->SaveSettings(saved, "Session_0_");
  EXPECT_EQ(saved.GetValue("Session_0_DGI2_SigNames", std::string()).substr(0, 44),
            "DGI2_Bit0, DGI2_Bit1, DGI2_Bit2, DGI2_Bit3, ");
  EXPECT_EQ(saved.GetValue("Session_0_DGI1_SigNames", std::string()).substr(0, 20), "Pump on, DGI1_Bit1, ");
}

TEST_F(DGINamesDialogTest, Screenshot) {
  session->SetDGIName(1, 1, "Door");
  TDGINamesDialog dialog(nullptr, "[A] Digital-Input Names", 0x00FFFF, TDGINamesDialog::Read(*session), 2);
  SaveDialogScreenshot(dialog, "digital_input_names_dialog");
}

}  // namespace

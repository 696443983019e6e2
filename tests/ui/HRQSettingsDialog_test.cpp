#include "ui/HRQSettingsDialog.h"

#include <QLabel>
#include <QTableWidget>
#include <gtest/gtest.h>

#include "acquisition/QV_SessionItem.h"
#include "support/LogCapture.h"
#include "ui/DialogTestSupport.h"

namespace {

enum { colEnabled = 2, colNom = 3, colLO = 4, colFactor = 5 };
const TFormatSettings kPoint{'.', ','};

std::vector<std::string> Names(int count) { return std::vector<std::string>(size_t(count), "Ch"); }

THRQSettings OneChannel() {
  THRQSettings settings;
  settings.HRQChannels[1] = {10e6, 9.9e6, 1, true};
  settings.Update();
  return settings;
}

TEST(HRQSettingsDialog, ShowsEachChannelWithItsFactor) {
  THRQSettingsDialog dialog(nullptr, "[A] ZCT High Resolution Channels", Names(4), OneChannel(), kPoint);
  EXPECT_EQ(dialog.windowTitle(), "[A] ZCT High Resolution Channels");
  ASSERT_EQ(dialog.Grid()->rowCount(), 4);
  EXPECT_EQ(dialog.Grid()->item(1, colEnabled)->checkState(), Qt::Checked);
  EXPECT_EQ(dialog.Grid()->item(0, colEnabled)->checkState(), Qt::Unchecked);
  EXPECT_EQ(dialog.Grid()->item(1, colNom)->text(), "10000000");
  EXPECT_EQ(dialog.Grid()->item(1, colLO)->text(), "9900000");
  EXPECT_EQ(dialog.Grid()->item(1, colFactor)->text(), "100");
  EXPECT_EQ(dialog.Grid()->item(0, colFactor)->text(), "1");
  // The factor follows the edits.
  dialog.Grid()->item(1, colLO)->setText("9000000");
  EXPECT_EQ(dialog.Grid()->item(1, colFactor)->text(), "10");
  EXPECT_EQ(dialog.Settings().ToString(), [] {
    THRQSettings expected = OneChannel();
    expected.HRQChannels[1].LOFreq = 9e6;
    return expected.ToString();
  }());
  EXPECT_EQ(dialog.Settings().HRQChannelCount, 1);
}

TEST(HRQSettingsDialog, RefusesUnusableRows) {
  struct Case {
    bool enabled;
    const char* nom;
    const char* lo;
    const char* error;
  };
  const Case cases[] = {
      {false, "abc", "", "Channel 1: Invalid frequency input = abc"},
      {false, "", "-5", "Channel 1: Invalid frequency input = -5"},
      {true, "10000000", "", "Channel 1: Nominal and LO frequency needed for a high resolution channel"},
      {true, "5", "5", "Channel 1: Nominal and LO frequency must differ"},
  };
  for (const Case& c : cases) {
    THRQSettingsDialog dialog(nullptr, "x", Names(2), THRQSettings(), kPoint);
    dialog.Grid()->item(0, colEnabled)->setCheckState(c.enabled ? Qt::Checked : Qt::Unchecked);
    dialog.Grid()->item(0, colNom)->setText(c.nom);
    dialog.Grid()->item(0, colLO)->setText(c.lo);
    dialog.accept();
    EXPECT_NE(dialog.result(), QDialog::Accepted) << c.error;
    EXPECT_EQ(dialog.ErrorLabel()->text().toStdString(), c.error);
  }
}

// The settings go to the instrument only when they differ from the session's.
TEST(HRQSettingsDialog, ChangedSettingsAreHandedToTheInstrument) {
  TLogCapture log;
  auto session = TQVSessionItem::Make(log.Id(), 0, {});
  THRQSettingsDialog same(nullptr, "x", Names(2), session->HRQSettingsValue(), kPoint);
  session->SetHRQSettings(same.Settings());
  EXPECT_EQ(log.Count("TQVSessionItem[0/False].SetHRQSettings no changes"), 1u);

  THRQSettingsDialog changed(nullptr, "x", Names(2), session->HRQSettingsValue(), kPoint);
  changed.Grid()->item(1, colEnabled)->setCheckState(Qt::Checked);
  changed.Grid()->item(1, colNom)->setText("10000000");
  changed.Grid()->item(1, colLO)->setText("9900000");
  changed.accept();
  ASSERT_EQ(changed.result(), QDialog::Accepted);
  session->SetHRQSettings(changed.Settings());
  EXPECT_TRUE(log.Contains("TQVSessionItem[0/False].SetHRQSettings changed -> transmit to device=" + changed.Settings().ToString()));
}

TEST(HRQSettingsDialog, Screenshot) {
  THRQSettingsDialog dialog(nullptr, "[A] ZCT High Resolution Channels", Names(4), OneChannel(), kPoint);
  SaveDialogScreenshot(dialog, "hrq_settings_dialog");
}

}  // namespace

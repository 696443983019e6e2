#include "ui/NomFreqDialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QTableWidget>
#include <gtest/gtest.h>

#include "acquisition/QV_SessionItem.h"
#include "data/ZCT_DataManagement.h"
#include "core/QV_NumberText.h"
#include "ui/DialogInput.h"
#include "ui/DialogTestSupport.h"

namespace {

const TFormatSettings kComma{',', '.'};

std::vector<std::string> Names(int count) {
  std::vector<std::string> names;
  for (int k = 1; k <= count; ++k) names.push_back("Ch" + std::to_string(k));
  return names;
}

class NomFreqDialogTest : public ::testing::Test {
 protected:
  std::unique_ptr<TQVSessionItem> session = TQVSessionItem::Make(-1, 0, {});
  TDialogSettings files;
  TVTASettings& settings = files.settings;
};

TEST_F(NomFreqDialogTest, ShowsTheSessionsFrequenciesInTheWindowFormat) {
  session->SetNomFreq(1, 10e6);
  session->SetNomFreq(3, 5.5);
  const TNomFreqValues values = TNomFreqDialog::Read(*session, settings);
  TNomFreqDialog dialog(nullptr, "[A] Nominal Frequencies", Names(4), values, false, kComma);
  EXPECT_EQ(dialog.windowTitle(), "[A] Nominal Frequencies");
  ASSERT_EQ(dialog.Grid()->rowCount(), 4);
  EXPECT_EQ(dialog.Grid()->item(0, 2)->text(), "10000000");
  EXPECT_EQ(dialog.Grid()->item(1, 2)->text(), "");
  EXPECT_EQ(dialog.Grid()->item(2, 2)->text(), "5,5");
  EXPECT_EQ(dialog.Grid()->item(3, 1)->text(), "Ch4");
  EXPECT_EQ(dialog.GlobalBox(), nullptr);  // the global choice is an expert option
  EXPECT_EQ(dialog.Values(), values);
}

TEST_F(NomFreqDialogTest, RefusesUnusableInputsAndStaysOpen) {
  struct Case {
    const char* text;
    const char* error;
  };
  const Case cases[] = {
      {"abc", "Channel 2: Invalid floating point input = abc"},
      {"1,5,5", "Channel 2: Invalid floating point input = 1,5,5"},
      {"inf", "Channel 2: Invalid floating point input = inf"},
      {"-10", "Channel 2: Negative nominal frequency = -10"},
  };
  for (const Case& c : cases) {
    TNomFreqDialog dialog(nullptr, "x", Names(3), {}, false, kComma);
    dialog.Grid()->item(1, 2)->setText(c.text);
    dialog.accept();
    EXPECT_EQ(dialog.ErrorLabel()->text().toStdString(), c.error) << c.text;
    EXPECT_NE(dialog.result(), QDialog::Accepted) << c.text;
  }
  TNomFreqDialog good(nullptr, "x", Names(3), {}, false, kComma);
  good.Grid()->item(0, 2)->setText(" 10.5 ");  // the other separator is taken too
  good.Grid()->item(1, 2)->setText("1e7");
  good.accept();
  EXPECT_EQ(good.result(), QDialog::Accepted);
  EXPECT_EQ(good.Values().Hz[0], 10.5);
  EXPECT_EQ(good.Values().Hz[1], 1e7);
  EXPECT_EQ(good.Values().Hz[2], 0);
}

TEST_F(NomFreqDialogTest, ApplyingSetsTheSessionInOneBracketAndKeepsEmptyChannels) {
  session->SetNomFreq(2, 1000);
  TNomFreqValues values;
  values.Hz[0] = 10e6;  // channel 2 left empty: it keeps its 1000 Hz
  values.Hz[23] = 2.5;
  TNomFreqDialog::Apply(values, *session, settings);
  EXPECT_EQ(session->NomFreq(1), 10e6);
  EXPECT_EQ(session->NomFreq(2), 1000);
  EXPECT_EQ(session->NomFreq(24), 2.5);
  EXPECT_EQ(session->ZCT_DM().NomFreqUser(1), 10e6);
  EXPECT_FALSE(settings.GlobalNomFrequ());
  EXPECT_EQ(settings.GetNomFreq(1), 0);

  TAppSettings saved;
  session->SaveSettings(saved, "Session_0_");
  const std::string key = saved.GetValue("Session_0_NomFreq1_4", std::string());
  const std::vector<std::string> parts = SplitTextList(key, "; ");
  ASSERT_EQ(parts.size(), 4u) << key;
  EXPECT_EQ(FloatOfText(QString::fromStdString(parts[0]), kComma), 10e6) << key;
  EXPECT_EQ(FloatOfText(QString::fromStdString(parts[1]), kComma), 1000) << key;
}

TEST_F(NomFreqDialogTest, GlobalValuesGoToTheSettingsInExpertMode) {
  session->SetNomFreq(2, 1000);
  TNomFreqDialog dialog(nullptr, "x", Names(2), TNomFreqDialog::Read(*session, settings), true, kComma);
  ASSERT_NE(dialog.GlobalBox(), nullptr);
  EXPECT_EQ(dialog.GlobalBox()->text(), "Use for all devices");
  EXPECT_FALSE(dialog.GlobalBox()->isChecked());
  dialog.Grid()->item(0, 2)->setText("5000000");
  dialog.GlobalBox()->setChecked(true);
  TNomFreqDialog::Apply(dialog.Values(), *session, settings);
  EXPECT_TRUE(settings.GlobalNomFrequ());
  EXPECT_EQ(settings.GetValue("GlobalNomFrequ", false), true);
  EXPECT_EQ(settings.GetNomFreq(1), 5e6);
  EXPECT_EQ(settings.GetNomFreq(2), 1000);
  EXPECT_EQ(settings.GetNomFreq(3), 0);
}

TEST_F(NomFreqDialogTest, Screenshot) {
  session->SetNomFreq(1, 10e6);
  session->SetNomFreq(2, 5e6);
  TNomFreqDialog dialog(nullptr, "[A] Nominal Frequencies", Names(4), TNomFreqDialog::Read(*session, settings), true,
                        kComma);
  dialog.Grid()->item(2, 2)->setText("abc");
  dialog.accept();
  SaveDialogScreenshot(dialog, "nominal_frequencies_dialog");
}

}  // namespace

#include "ui/LogDefinitionDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace {

TLogDialogSource Counter(int32_t index, uint32_t serial = 0) {
  TLogDialogSource source;
  source.Index = index;
  source.Caption = std::string("Source ") + char('A' + index);
  source.HasIVC = true;
  source.SerialNumber = serial;
  source.ChannelCount = 4;
  source.VirtualChannelCount = 2;
  source.IVCChannelCount = 3;
  source.DGICards = 2;
  return source;
}

TLogDialogSource Sensor(int32_t index) {
  TLogDialogSource source;
  source.Index = index;
  source.Caption = std::string("Source ") + char('A' + index);
  source.Sensor = true;
  source.ChannelCount = 2;
  return source;
}

std::vector<std::string> Items(const QComboBox* box) {
  std::vector<std::string> items;
  for (int i = 0; i < box->count(); ++i) items.push_back(box->itemText(i).toStdString());
  return items;
}

class LogDefinitionDialogTest : public ::testing::Test {
 protected:
  void Make(std::vector<TLogDialogSource> sources, int defIndex = 0) {
    dialog = std::make_unique<TLogDefinitionDialog>(nullptr, std::move(sources), defIndex, root);
    dialog->SetMessageHook([this](const QString& caption, const QString& text) {
      messages.push_back(caption.toStdString() + ": " + text.toStdString());
    });
  }
  void Choose(int32_t sourcePosition, std::initializer_list<TLogPanelKind> kinds) {
    dialog->SourceBox()->setCurrentIndex(sourcePosition);
    for (TLogPanelKind kind : {TLogPanelKind::ZCT, TLogPanelKind::ZCTVirtual, TLogPanelKind::IVC, TLogPanelKind::IVCVirtual})
      dialog->KindBox(kind)->setChecked(std::find(kinds.begin(), kinds.end(), kind) != kinds.end());
    dialog->AddButton()->click();
  }
  std::vector<std::string> TypeCaptions(int panel) const {
    std::vector<std::string> captions;
    for (auto* box : dialog->PanelBox(panel)->findChildren<QCheckBox*>())
      if (!box->text().at(0).isDigit() && !box->text().startsWith("DGI")) captions.push_back(box->text().toStdString());
    return captions;
  }

  TTempDir dir;
  std::string root = dir.File("logs/");
  std::unique_ptr<TLogDefinitionDialog> dialog;
  std::vector<std::string> messages;
};

TEST_F(LogDefinitionDialogTest, CaptionsChoicesAndPanels) {
  Make({Counter(0), Sensor(2)});
  EXPECT_EQ(dialog->windowTitle(), "Define Log Configuration");
  EXPECT_EQ(Items(dialog->SourceBox()), (std::vector<std::string>{"Source A", "Source C"}));
  EXPECT_EQ(dialog->KindBox(TLogPanelKind::ZCT)->text(), "Phase+Frequency ZCT");
  EXPECT_EQ(dialog->KindBox(TLogPanelKind::ZCTVirtual)->text(), "ZCT Virtual");
  EXPECT_EQ(dialog->KindBox(TLogPanelKind::IVC)->text(), "Interval IVC");
  EXPECT_EQ(dialog->KindBox(TLogPanelKind::IVCVirtual)->text(), "IVC Virtual");
  EXPECT_EQ(Items(dialog->FileSizeBox()),
            (std::vector<std::string>{"unlimited", "128 MB", "256 MB", "512 MB", "1 GB", "2 GB"}));
  EXPECT_EQ(dialog->NameFormatButton(false)->text(), "Name_Date");
  EXPECT_TRUE(dialog->NameFormatButton(false)->isChecked());
  EXPECT_EQ(dialog->NameFormatButton(true)->text(), "Date_Name");
  EXPECT_EQ(dialog->GenerateBox()->text(), "Generate file name automatically");
  EXPECT_TRUE(dialog->AddHeaderBox()->isChecked());
  EXPECT_EQ(dialog->OpenBox()->text(), "Open immediately");
  EXPECT_TRUE(dialog->OpenBox()->isChecked());
  EXPECT_EQ(dialog->SyncTimeBox()->text(), "Sync Time");
  EXPECT_FALSE(dialog->SyncTimeBox()->isChecked());

  Choose(0, {TLogPanelKind::ZCT, TLogPanelKind::ZCTVirtual, TLogPanelKind::IVC, TLogPanelKind::IVCVirtual});
  Choose(1, {});  // a sensor adds its one panel whatever the counter choices say
  ASSERT_EQ(dialog->PanelCount(), 5);
  EXPECT_EQ(dialog->PanelBox(0)->title(), "Source A - Phase+Frequency ZCT");
  EXPECT_EQ(TypeCaptions(0), (std::vector<std::string>{"Phase", "Frequency", "Phase Difference ( Δ Chan. 1)", "Raw Data 1ms",
                                                       "Phase Difference ( Δ Chan. n-1)", "Phase Residual"}));
  EXPECT_EQ(dialog->PanelBox(1)->title(), "Source A - ZCT Virtual");
  EXPECT_EQ(TypeCaptions(1), (std::vector<std::string>{"Phase Residual", "Frequency", "Relative Frequency",
                                                       "Phase Difference ( Δ Chan. 1)", "Phase Difference ( Δ Chan. n-1)"}));
  EXPECT_EQ(dialog->PanelBox(2)->title(), "Source A - Interval IVC");
  EXPECT_EQ(TypeCaptions(2), (std::vector<std::string>{"Time Interval", "Interval Difference"}));
  EXPECT_EQ(TypeCaptions(3), (std::vector<std::string>{"Time Interval"}));
  EXPECT_EQ(dialog->PanelBox(4)->title(), "Source C - Sensor");
  EXPECT_EQ(TypeCaptions(4), (std::vector<std::string>{"Sensor"}));

  // Channels per data kind; DGI cards only as many as the device transmits, on the counter panel.
  EXPECT_NE(dialog->ChannelBox(0, 4), nullptr);
  EXPECT_EQ(dialog->ChannelBox(0, 5), nullptr);
  EXPECT_EQ(dialog->ChannelBox(1, 3), nullptr);
  EXPECT_NE(dialog->ChannelBox(2, 3), nullptr);
  EXPECT_EQ(dialog->DGIBox(0, 1)->text(), "DGI card 1");
  EXPECT_FALSE(dialog->DGIBox(0, 2)->isHidden());
  EXPECT_TRUE(dialog->DGIBox(0, 3)->isHidden());
  EXPECT_EQ(dialog->DGIBox(2, 1), nullptr);
  dialog->SelectButton(0, false)->click();
  EXPECT_FALSE(dialog->ChannelBox(0, 1)->isChecked());
  dialog->SelectButton(0, true)->click();
  EXPECT_TRUE(dialog->ChannelBox(0, 4)->isChecked());

  // Adding again adds nothing twice; Remove takes all panels of the chosen source.
  Choose(0, {TLogPanelKind::ZCT});
  EXPECT_EQ(dialog->PanelCount(), 5);
  dialog->SourceBox()->setCurrentIndex(0);
  dialog->RemoveButton()->click();
  ASSERT_EQ(dialog->PanelCount(), 1);
  EXPECT_EQ(dialog->PanelBox(0)->title(), "Source C - Sensor");
}

TEST_F(LogDefinitionDialogTest, GeneratedNameFollowsTheFirstPanelAndTheSources) {
  Make({Counter(0), Counter(1)}, 2);
  Choose(0, {TLogPanelKind::ZCT});
  Choose(1, {TLogPanelKind::ZCT});
  dialog->TypeBox(0, 0)->setChecked(true);
  dialog->TypeBox(0, 1)->setChecked(true);
  EXPECT_EQ(dialog->FileNameEdit()->text().toStdString(), root + "PhaseFreq_AB_3.txt");
  EXPECT_TRUE(dialog->FileNameEdit()->isReadOnly());
  dialog->GenerateBox()->setChecked(false);
  dialog->FileNameEdit()->setText("mine.txt");
  dialog->TypeBox(0, 15)->setChecked(true);
  EXPECT_EQ(dialog->FileNameEdit()->text(), "mine.txt");
}

TEST_F(LogDefinitionDialogTest, DefinitionCarriesEveryChoiceAndReadsBackTheSame) {
  Make({Counter(0), Sensor(1)});
  Choose(0, {TLogPanelKind::ZCT, TLogPanelKind::IVC});
  Choose(1, {});
  dialog->TypeBox(0, 1)->setChecked(true);
  dialog->TypeBox(0, 6)->setChecked(true);
  dialog->ChannelBox(0, 2)->setChecked(false);
  dialog->DGIBox(0, 2)->setChecked(true);
  dialog->TypeBox(1, 5)->setChecked(true);
  dialog->NameFormatButton(true)->setChecked(true);
  dialog->FileSizeBox()->setCurrentIndex(1);
  dialog->AddHeaderBox()->setChecked(false);
  dialog->OpenBox()->setChecked(false);
  dialog->SyncTimeBox()->setChecked(true);

  const TLogDefinition def = dialog->Definition();
  ASSERT_EQ(def.Count(), 3);
  const TSimpleLogDefinition& zct = def.Definition(0);
  EXPECT_EQ(zct.SessionIndex(), 0);
  EXPECT_FALSE(zct.SourceCopy());
  EXPECT_EQ(zct.StringClass(), sscStandard);
  EXPECT_EQ(zct.LogTypes(), (1u << 1) | (1u << 6));
  EXPECT_EQ(zct.LogEnabledString(1), "101100000000000000000000");
  EXPECT_EQ(zct.LogEnabledString(3), "010000000000000000000000");
  const TSimpleLogDefinition& ivc = def.Definition(1);
  EXPECT_TRUE(ivc.SourceCopy());
  EXPECT_EQ(ivc.LogTypes(), 1u << 5);
  EXPECT_EQ(ivc.LogEnabledString(1), "111000000000000000000000");
  const TSimpleLogDefinition& sensor = def.Definition(2);
  EXPECT_EQ(sensor.SessionIndex(), 1);
  EXPECT_NE(sensor.LogTypes(), 0u);
  EXPECT_EQ(def.FileName(), root + "FreqPhaseDiff_AB_1.txt");
  EXPECT_TRUE(def.PrependDate());
  EXPECT_EQ(def.FileSize(), 134217728);
  EXPECT_FALSE(def.AddHeader());
  EXPECT_FALSE(def.Enabled());
  EXPECT_TRUE(def.Option());
  EXPECT_FALSE(def.DifferentDevices());

  // Editing shows the same definition again.
  Make({Counter(0), Sensor(1)});
  dialog->SetDefinition(def);
  const TLogDefinition again = dialog->Definition();
  ASSERT_EQ(again.Count(), def.Count());
  for (int i = 0; i < def.Count(); ++i) EXPECT_EQ(again.Definition(i).ToString(), def.Definition(i).ToString());
  EXPECT_EQ(again.FileName(), def.FileName());
  EXPECT_FALSE(dialog->GenerateBox()->isChecked());
  EXPECT_EQ(again.FileSize(), def.FileSize());
  EXPECT_EQ(again.PrependDate(), def.PrependDate());
  EXPECT_EQ(again.AddHeader(), def.AddHeader());
  EXPECT_EQ(again.Enabled(), def.Enabled());
  EXPECT_EQ(again.Option(), def.Option());
}

TEST_F(LogDefinitionDialogTest, DifferentCountersAreWarned) {
  Make({Counter(0, 0x1111), Counter(1, 0x2222), Counter(2, 0x1111)});
  Choose(0, {TLogPanelKind::ZCT});
  Choose(2, {TLogPanelKind::ZCT});
  EXPECT_TRUE(dialog->DifferentDevicesLabel()->isHidden());
  Choose(1, {TLogPanelKind::ZCT});
  EXPECT_FALSE(dialog->DifferentDevicesLabel()->isHidden());
  EXPECT_EQ(dialog->DifferentDevicesLabel()->text(), "Warning: Different ZCT Devices");
  EXPECT_TRUE(dialog->Definition().DifferentDevices());
}

struct TValidationCase {
  const char* Name;
  std::function<void(TLogDefinitionDialog&, const TTempDir&)> Spoil;
  std::string Error;  // "%" stands for the temporary folder
};

TEST_F(LogDefinitionDialogTest, OkRefusesIncompleteInputWithAClearText) {
  WriteWholeFile(dir.File("plain"), "x");
  const std::vector<TValidationCase> cases = {
      {"no source", [](TLogDefinitionDialog& d, const TTempDir&) { d.RemoveButton()->click(); },
       "No source added: choose a source and press Add"},
      {"no type", [](TLogDefinitionDialog& d, const TTempDir&) { d.TypeBox(0, 1)->setChecked(false); },
       "No log type selected in Source A - Phase+Frequency ZCT"},
      {"no channel", [](TLogDefinitionDialog& d, const TTempDir&) { d.SelectButton(0, false)->click(); },
       "No channel selected in Source A - Phase+Frequency ZCT"},
      {"no file name",
       [](TLogDefinitionDialog& d, const TTempDir&) {
         d.GenerateBox()->setChecked(false);
         d.FileNameEdit()->setText("  ");
       },
       "No file name given"},
      {"folder under a file",
       [](TLogDefinitionDialog& d, const TTempDir& t) {
         d.GenerateBox()->setChecked(false);
         d.FileNameEdit()->setText(QString::fromStdString(t.File("plain/sub/x.txt")));
       },
       "Invalid path %plain/sub/"},
  };
  for (const TValidationCase& c : cases) {
    SCOPED_TRACE(c.Name);
    messages.clear();
    Make({Counter(0)});
    Choose(0, {TLogPanelKind::ZCT});
    dialog->TypeBox(0, 1)->setChecked(true);
    c.Spoil(*dialog, dir);
    dialog->OkButton()->click();
    std::string error = c.Error;
    if (const size_t at = error.find('%'); at != std::string::npos) error.replace(at, 1, dir.Path());
    EXPECT_NE(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(dialog->LastError(), error);
    EXPECT_EQ(messages, std::vector<std::string>{"Define Log Configuration: " + error});
  }

  // Complete input is taken, and a missing folder is made.
  messages.clear();
  Make({Counter(0)});
  Choose(0, {TLogPanelKind::ZCT});
  dialog->TypeBox(0, 1)->setChecked(true);
  dialog->OkButton()->click();
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  EXPECT_TRUE(messages.empty());
  EXPECT_TRUE(QDir(QString::fromStdString(root)).exists());
}

}  // namespace

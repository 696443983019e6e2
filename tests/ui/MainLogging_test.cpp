#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "core/CalendarTime.h"
#include "core/VTA_Settings.h"
#include "logging/MultiSampler.h"
#include "ui/LogDefinitionDialog.h"
#include "ui/MainFormTestSupport.h"
#include "ui/StatusBar.h"
#include "ui/TimeSettingsDialog.h"

namespace {

// A window with a multi-sampler whose log definition dialog is driven by `drive` and then Ok'd.
class MainLoggingTest : public MainFormTest {
 protected:
  TMainForm& StartedWithSampler(int count, const std::string& extraIni = "") {
    WriteIni(StoredSessions(count) + "ChildCount=0\nLogRootFolder=" + root + "\n" + extraIni);
    TMainFormOptions options = Options();
    options.App.MultiSampler = true;
    options.Dialogs.LogDefinition = [this](TLogDefinitionDialog& dialog) {
      ++dialogs;
      if (drive) drive(dialog);
      dialog.OkButton()->click();
      return dialog.result() == QDialog::Accepted;
    };
    options.Dialogs.Folder = [this](QWidget*, const QString& caption, const QString& start) {
      folderRequests.push_back(caption.toStdString() + " | " + start.toStdString());
      return folderAnswer;
    };
    MakeForm(std::move(options));
    EXPECT_TRUE(form->FormActivate());
    return *form;
  }
  TMultiSampler& Sampler() { return *form->Sampler(); }
  QAction* LoggingItem(const QString& text) {
    for (QAction* action : TopMenu(*form, "&Logging")->actions())
      if (action->text() == text) return action;
    return nullptr;
  }
  QAction* SubmenuItem(const QString& submenu, const QString& text) {
    QAction* menu = LoggingItem(submenu);
    if (!menu || !menu->menu()) return nullptr;
    for (QAction* action : menu->menu()->actions())
      if (action->text() == text) return action;
    return nullptr;
  }
  static void Settle() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
  QCheckBox* InfoSwitch(int number) { return form->InfoView(0)->findChild<QCheckBox*>(QString("CheckLog%1").arg(number)); }
  // Frequency of channels 1..4 of source A.
  static void FrequencyOfA(TLogDefinitionDialog& dialog) {
    dialog.AddButton()->click();
    dialog.TypeBox(0, 1)->setChecked(true);
  }

  std::string root = dir.File("config/logs/");  // within the program's own folder
  std::function<void(TLogDefinitionDialog&)> drive = FrequencyOfA;
  int dialogs = 0;
  std::vector<std::string> folderRequests;
  QString folderAnswer;
};

const std::vector<std::string> kFixedItems = {"New Log Configuration...", "Source A", "Root Folder...",
                                              "Time settings...", "Debug Files...", "-"};

std::vector<std::string> WithDefinitionMenu(const std::string& caption, bool enabled) {
  std::vector<std::string> lines = kFixedItems;
  for (const std::string& line :
       {caption, std::string("  ") + (enabled ? "Close Log File" : "Open Log File"), std::string("  Change Log Configuration..."),
        std::string("  Remove Log Configuration")})
    lines.push_back(line);
  return lines;
}

TEST_F(MainLoggingTest, NewLogConfigurationAddsADefinitionItsSubmenuAndItsSwitch) {
  StartedWithSampler(1);
  EXPECT_EQ(MenuLines(TopMenu(*form, "&Logging")), kFixedItems);
  EXPECT_FALSE(form->InfoView(0)->findChild<QLabel*>("LabelNoLog")->isHidden());
  EXPECT_EQ(form->StatusPanels().LoggingText(), "");

  LoggingItem("New Log Configuration...")->trigger();
  Settle();
  ASSERT_EQ(Sampler().DefinitionCount(), 1);
  const std::unique_ptr<TLogDefinition> def = Sampler().Definition(0);
  ASSERT_NE(def, nullptr);
  EXPECT_EQ(def->FileName(), root + "Freq_A_1.txt");
  EXPECT_EQ(def->Definition(0).LogTypes(), 1u << 1);
  EXPECT_TRUE(def->Enabled());
  EXPECT_TRUE(Sampler().LogFileActive());

  // The file name is shown relative to the program's folder.
  EXPECT_EQ(MenuLines(TopMenu(*form, "&Logging")), WithDefinitionMenu("&1 Log logs/Freq_A_1.txt", true));
  EXPECT_TRUE(LoggingItem("&1 Log logs/Freq_A_1.txt")->isChecked());
  ASSERT_NE(InfoSwitch(1), nullptr);
  EXPECT_EQ(InfoSwitch(1)->text(), "Log 1");
  EXPECT_TRUE(InfoSwitch(1)->isChecked());
  EXPECT_TRUE(form->InfoView(0)->findChild<QLabel*>("LabelNoLog")->isHidden());
  EXPECT_EQ(form->StatusPanels().LoggingText(), "Logging       ");
}

TEST_F(MainLoggingTest, SubmenuAndInfoSwitchCloseAndOpenTheFileAndFollowEachOther) {
  StartedWithSampler(1);
  LoggingItem("New Log Configuration...")->trigger();
  Settle();
  const QString caption = "&1 Log logs/Freq_A_1.txt";

  SubmenuItem(caption, "Close Log File")->trigger();
  Settle();
  EXPECT_FALSE(Sampler().Definition(0)->Enabled());
  EXPECT_FALSE(Sampler().LogFileActive());
  EXPECT_EQ(Sampler().FileName(0), "");
  EXPECT_EQ(MenuLines(TopMenu(*form, "&Logging")), WithDefinitionMenu(caption.toStdString(), false));
  EXPECT_FALSE(LoggingItem(caption)->isChecked());
  EXPECT_FALSE(InfoSwitch(1)->isChecked());
  EXPECT_EQ(form->StatusPanels().LoggingText(), "");

  InfoSwitch(1)->click();
  Settle();
  EXPECT_TRUE(Sampler().Definition(0)->Enabled());
  EXPECT_TRUE(LoggingItem(caption)->isChecked());
  EXPECT_NE(SubmenuItem(caption, "Close Log File"), nullptr);
  EXPECT_TRUE(InfoSwitch(1)->isChecked());
  EXPECT_EQ(form->StatusPanels().LoggingText(), "Logging       ");

  InfoSwitch(1)->click();
  Settle();
  EXPECT_FALSE(Sampler().LogFileActive());
  EXPECT_NE(SubmenuItem(caption, "Open Log File"), nullptr);
  EXPECT_FALSE(InfoSwitch(1)->isChecked());
}

TEST_F(MainLoggingTest, ChangeAndRemoveEditTheDefinition) {
  StartedWithSampler(1);
  LoggingItem("New Log Configuration...")->trigger();
  Settle();
  const QString caption = "&1 Log logs/Freq_A_1.txt";

  // The dialog shows the definition as it is; the change goes to the multi-sampler.
  drive = [](TLogDefinitionDialog& dialog) {
    ASSERT_EQ(dialog.PanelCount(), 1);
    EXPECT_TRUE(dialog.TypeBox(0, 1)->isChecked());
    dialog.NameFormatButton(true)->setChecked(true);
  };
  SubmenuItem(caption, "Change Log Configuration...")->trigger();
  Settle();
  EXPECT_TRUE(Sampler().Definition(0)->PrependDate());
  EXPECT_EQ(Sampler().Definition(0)->FileName(), root + "Freq_A_1.txt");

  SubmenuItem(caption, "Remove Log Configuration")->trigger();
  Settle();
  EXPECT_EQ(Sampler().Definition(0), nullptr);
  EXPECT_EQ(MenuLines(TopMenu(*form, "&Logging")), kFixedItems);
  EXPECT_EQ(InfoSwitch(1), nullptr);
  EXPECT_FALSE(form->InfoView(0)->findChild<QLabel*>("LabelNoLog")->isHidden());
  EXPECT_EQ(form->StatusPanels().LoggingText(), "");
}

TEST_F(MainLoggingTest, RefusedOrCancelledDialogAddsNothing) {
  StartedWithSampler(1);
  drive = [](TLogDefinitionDialog&) {};  // Ok without a source
  LoggingItem("New Log Configuration...")->trigger();
  EXPECT_EQ(dialogs, 1);
  EXPECT_EQ(messages, std::vector<std::string>{"Define Log Configuration: No source added: choose a source and press Add"});
  EXPECT_EQ(Sampler().DefinitionCount(), 0);
  EXPECT_EQ(MenuLines(TopMenu(*form, "&Logging")), kFixedItems);
}

TEST_F(MainLoggingTest, StoredDefinitionsGetTheirSubmenusAtStartUp) {
  StartedWithSampler(1, "Log_DefsCount=1\nLog_1_FileName=" + root + "Stored.txt\nLog_1_Enabled=0\nLog_1_Count=1\n" +
                            "Log_1_Simple1_LogTypes=2\nLog_1_Simple1_Enabled1=1100\n");
  Settle();
  EXPECT_EQ(MenuLines(TopMenu(*form, "&Logging")), WithDefinitionMenu("&1 Log logs/Stored.txt", false));
  ASSERT_NE(InfoSwitch(1), nullptr);
  EXPECT_FALSE(InfoSwitch(1)->isChecked());
}

TEST_F(MainLoggingTest, RootFolderIsAskedStoredAndLogged) {
  StartedWithSampler(1);
  folderAnswer = QString::fromStdString(dir.File("other"));
  LoggingItem("Root Folder...")->trigger();
  EXPECT_EQ(folderRequests, std::vector<std::string>{"Select root folder for logging files | " + root});
  EXPECT_EQ(form->App().Settings().LogRootFolder(), dir.File("other/"));
  EXPECT_TRUE(LogHas("Change root folder for logging files to " + dir.File("other/")));

  // A new definition's generated name goes to the new root folder.
  LoggingItem("New Log Configuration...")->trigger();
  EXPECT_EQ(Sampler().Definition(0)->FileName(), dir.File("other/Freq_A_1.txt"));

  // Cancel keeps the folder.
  folderAnswer.clear();
  LoggingItem("Root Folder...")->trigger();
  EXPECT_EQ(form->App().Settings().LogRootFolder(), dir.File("other/"));
}

// The time settings are stored, logged and taken by the multi-sampler at once: its lines carry the
// new format.
TEST_F(MainLoggingTest, TimeSettingsAreStoredAndTakenByTheMultiSampler) {
  StartedWithSampler(1);
  std::vector<std::string> shown;
  std::function<void(TTimeSettingsDialog&)> edit = [](TTimeSettingsDialog& dialog) {
    dialog.UTCButton()->setChecked(true);
    dialog.FormatEdit()->setText("HHNNSS");
  };
  settingsDialog = [&](QDialog& dialog) {
    auto& time = dynamic_cast<TTimeSettingsDialog&>(dialog);
    shown.push_back(time.Value().Format);
    edit(time);
    dialog.accept();
    return dialog.result() == QDialog::Accepted;
  };
  const TDateTime noon = 46085.5;
  EXPECT_EQ(Sampler().FormatLineTime(noon), FormatLogTime("YYMMDD HHNNSS.ZZZ", noon));
  LoggingItem("Time settings...")->trigger();
  EXPECT_EQ(shown, std::vector<std::string>{"YYMMDD HHNNSS.ZZZ"});
  EXPECT_TRUE(form->App().Settings().LogTimeZoneSystem());
  EXPECT_EQ(form->App().Settings().LogTimeFormat(), "HHNNSS");
  EXPECT_TRUE(LogHas("Change time settings for logging files to format=HHNNSS ZCTTime=False, UTC=True"));
  EXPECT_TRUE(LogHas("TMainForm.UpdateOptions what=40"));
  EXPECT_EQ(Sampler().FormatLineTime(noon), FormatLogTime("HHNNSS", noon));
  EXPECT_NE(FormatLogTime("HHNNSS", noon), FormatLogTime("YYMMDD HHNNSS.ZZZ", noon));

  // Unchanged settings are not announced.
  edit = [](TTimeSettingsDialog&) {};
  LoggingItem("Time settings...")->trigger();
  EXPECT_EQ(shown.back(), "HHNNSS");
  EXPECT_FALSE(LogHas("TMainForm.UpdateOptions what=0"));
}

}  // namespace

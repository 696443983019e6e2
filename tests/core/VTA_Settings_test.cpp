#include "core/VTA_Settings.h"

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace {

using TLines = std::vector<std::string>;

class VTASettingsTest : public ::testing::Test {
 protected:
  std::unique_ptr<TVTASettings> Open(const std::string& content, bool expert = false) {
    WriteWholeFile(File(), content);
    return std::make_unique<TVTASettings>(File(), paths_, expert);
  }
  std::string File() const { return dir_.File("VTA_App.ini"); }

  TTempDir dir_;
  TAppPaths paths_ = TAppPaths::Resolve(dir_.Path() + "config", "", dir_.Path() + "data", "/home/nobody");
};

TEST_F(VTASettingsTest, NewFileReceivesTheGlobalKeysInOrder) {
  auto s = Open("", true);
  const std::string sep(1, LocaleFormatSettings().DecimalSeparator);
  TLines expected{"INI_Version=0",
                  "DecSepWin=" + sep,
                  "DecSepLog=" + sep,
                  "TempUnit=0",
                  "eMail_isDefault=True",
                  "eMail_Default_Host=mail.example.invalid",
                  "eMail_Default_Auth=True",
                  "eMail_Default_User=vta",
                  "eMail_Default_Pass=000000000000000000",
                  "eMail_Default_Sender=vta@example.invalid",
                  "GlobalNomFrequ=False",
                  "NomFreq1_4=",
                  "NomFreq5_8=",
                  "NomFreq9_12=",
                  "NomFreq13_16=",
                  "NomFreq17_20=",
                  "NomFreq21_24=",
                  "TestOptions=00000000"};
  EXPECT_EQ(s->Lines(), expected);

  // The later keys arrive when first read.
  EXPECT_TRUE(s->AppDebugLog());
  EXPECT_EQ(s->DebugRootFolder(), dir_.Path() + "data/VTA_App/Debug/");
  EXPECT_EQ(s->LogRootFolder(), dir_.Path() + "data/VTA_App/Logs/");
  EXPECT_EQ(s->LogTimeFormat(), "YYMMDD HHNNSS" + sep + "ZZZ");
  EXPECT_FALSE(s->LogTimeSourceZCT());
  EXPECT_FALSE(s->LogTimeZoneSystem());
  EXPECT_FALSE(s->MailConfigLogin());
  EXPECT_EQ(s->SessionCount(), -1);
  EXPECT_EQ(s->MainPlacement({10, 20, 800, 600}), (TMainPlacement{10, 20, 800, 600}));
  EXPECT_EQ(s->ChildCount(), 0);
  const TLines later{"Debug_LogMain=True",
                    "DebugRootFolder=" + dir_.Path() + "data/VTA_App/Debug/",
                    "LogRootFolder=" + dir_.Path() + "data/VTA_App/Logs/",
                    "LogTimeFormat=YYMMDD HHNNSS" + sep + "ZZZ",
                    "LogTimeSourceZCT=False",
                    "LogTimeZoneSystem=False",
                    "SessionCount=-1",
                    "Main_DefaultSettings=False",
                    "Main_Left=10",
                    "Main_Top=20",
                    "Main_Width=800",
                    "Main_Height=600",
                    "ChildCount=0"};
  expected.insert(expected.end(), later.begin(), later.end());
  EXPECT_EQ(s->Lines(), expected);

  s->SaveSettings();
  EXPECT_EQ(s->TryGetValue("INI_Version"), "6");
  EXPECT_EQ(s->ExePath(), dir_.Path() + "config/");
}

TEST_F(VTASettingsTest, ExpertModeIsTheDefaultOfTheDebugLog) {
  for (bool expert : {false, true}) EXPECT_EQ(Open("", expert)->AppDebugLog(), expert);
  EXPECT_TRUE(Open("Debug_LogMain=True\r\n", false)->AppDebugLog());
}

TEST_F(VTASettingsTest, ExistingVersionIsKept) {
  auto s = Open("INI_Version=3\r\n");
  s->SetVersionFormat(5);
  s->SaveSettings();
  EXPECT_EQ(s->TryGetValue("INI_Version"), "5");
}

TEST_F(VTASettingsTest, DefaultMailAccountIsRewrittenButTheSenderKept) {
  auto s = Open("eMail_Default_Host=old.host\r\neMail_Default_Auth=False\r\neMail_Default_Sender=me@lab\r\n");
  EXPECT_EQ(s->TryGetValue("eMail_Default_Host"), "mail.example.invalid");
  EXPECT_EQ(s->TryGetValue("eMail_Default_Auth"), "True");
  const TEMailServerLogin login = s->MailDefaultLogin();
  EXPECT_EQ(login.Host(), "mail.example.invalid");
  EXPECT_EQ(login.User(), "vta");
  EXPECT_EQ(login.PasswordText(), "000000000000000000");
  EXPECT_TRUE(login.AuthNeeded());
  EXPECT_EQ(login.Sender(), "me@lab");
}

TEST_F(VTASettingsTest, ConfigLoginIsReadOnceAndWrittenWithAllKeys) {
  auto s = Open("eMail_Config_User=bob\r\n");
  EXPECT_FALSE(s->MailConfigLogin());  // no host
  EXPECT_FALSE(s->TryGetValue("eMail_Config_Host"));

  s->SetMailConfigLogin(TEMailServerLogin("alice", false, "alice@lab", "ABCDEF", "smtp.lab"));
  s->SetMailIsDefault(false);
  s->SaveSettings();
  TVTASettings again(File(), paths_, false);
  EXPECT_FALSE(again.MailIsDefault());
  const auto login = again.MailConfigLogin();
  ASSERT_TRUE(login);
  EXPECT_EQ(*login, TEMailServerLogin("alice", false, "alice@lab", "ABCDEF", "smtp.lab"));
}

TEST_F(VTASettingsTest, NominalFrequenciesReadPieceByPiece) {
  auto s = Open("DecSepLog=.\r\n"
                "NomFreq1_4=  10000000.00000000000;       5000000,50000000000; garbage; ; \r\n"
                "NomFreq5_8=1.5; 2.5; \r\n"
                "NomFreq9_12=7\r\n"
                "NomFreq13_16=; ; ; 4e3; 99\r\n"
                "NomFreq17_20=nan; inf\r\n");
  struct TCase {
    int Channel;
    double Expected;
  };
  const TCase cases[] = {{1, 10e6}, {2, 5000000.5}, {3, 0},  {4, 0},  {5, 1.5}, {6, 2.5}, {7, 0},
                         {8, 0},    {9, 7},         {10, 0}, {16, 4e3}, {17, 0}, {18, 0},  {24, 0},
                         {0, 0},    {25, 0},        {-1, 0}};
  for (const auto& c : cases) EXPECT_EQ(s->GetNomFreq(c.Channel), c.Expected) << "channel " << c.Channel;
}

TEST_F(VTASettingsTest, SettingANominalFrequencyWritesAllKeysInFixedFormat) {
  auto s = Open("DecSepWin=,\r\nDecSepLog=.\r\n");
  s->SetNomFreq(2, 10e6);
  s->SetNomFreq(24, -0.25);
  const std::string zero = "         0,00000000000; ";
  EXPECT_EQ(s->TryGetValue("NomFreq1_4"), zero + "  10000000,00000000000; " + zero + zero);
  EXPECT_EQ(s->TryGetValue("NomFreq21_24"), zero + zero + zero + "        -0,25000000000; ");
  EXPECT_EQ(s->TryGetValue("NomFreq5_8"), zero + zero + zero + zero);

  const auto before = s->Lines();
  s->SetNomFreq(0, 1);
  s->SetNomFreq(25, 1);
  EXPECT_EQ(s->Lines(), before);

  s->SaveSettings();
  TVTASettings again(File(), paths_, false);
  EXPECT_EQ(again.GetNomFreq(2), 10e6);
  EXPECT_EQ(again.GetNomFreq(24), -0.25);
}

TEST_F(VTASettingsTest, LogSeparatorMovesIntoTheTimeFormat) {
  auto s = Open("DecSepLog=.\r\nLogTimeFormat=YYMMDD HHNNSS.ZZZ\r\n");
  struct TCase {
    char Sep;
    bool FormatChanged;
    const char* Format;
    char StoredSep;
  };
  const TCase steps[] = {
      {',', true, "YYMMDD HHNNSS,ZZZ", ','},
      {',', false, "YYMMDD HHNNSS,ZZZ", ','},
      {'x', false, "YYMMDD HHNNSS,ZZZ", ','},
      {'.', true, "YYMMDD HHNNSS.ZZZ", '.'},
  };
  for (const auto& step : steps) {
    EXPECT_EQ(s->SetDecSepLog(step.Sep), step.FormatChanged) << step.Sep;
    EXPECT_EQ(s->LogTimeFormat(), step.Format) << step.Sep;
    EXPECT_EQ(s->FormatSettingsLog().DecimalSeparator, step.StoredSep);
    EXPECT_EQ(s->FormatSettings().DecimalSeparator, step.StoredSep);
    EXPECT_EQ(s->TryGetValue("DecSepLog"), std::string(1, step.StoredSep));
  }
  // A format without the separator stays, the separator is still stored.
  s->SetLogTimeFormat("YYMMDD HHNNSS");
  EXPECT_FALSE(s->SetDecSepLog(','));
  EXPECT_EQ(s->LogTimeFormat(), "YYMMDD HHNNSS");
  EXPECT_EQ(s->FormatSettingsLog(), (TFormatSettings{',', '.'}));
}

TEST_F(VTASettingsTest, WindowSeparatorTakesOnlyPointOrComma) {
  auto s = Open("DecSepWin=.\r\n");
  const auto before = s->Lines();
  for (char c : {'x', ';', ' ', '\0'}) s->SetDecSepWin(c);
  EXPECT_EQ(s->Lines(), before);
  EXPECT_EQ(s->FormatSettingsWin(), (TFormatSettings{'.', ','}));
  s->SetDecSepWin(',');
  EXPECT_EQ(s->FormatSettingsWin(), (TFormatSettings{',', '.'}));
  EXPECT_EQ(s->TryGetValue("DecSepWin"), ",");
  // A stored separator that is neither falls back to the locale's.
  EXPECT_EQ(Open("DecSepWin=;\r\n")->FormatSettingsWin().DecimalSeparator, LocaleFormatSettings().DecimalSeparator);
}

TEST_F(VTASettingsTest, TemperatureUnitAndTestOptions) {
  auto s = Open("TempUnit=1\r\nTestOptions=10100\r\n");
  EXPECT_EQ(s->TempUnitString(), "\xC2\xB0" "F");
  s->SetTempUnit(0);
  EXPECT_EQ(s->TempUnitString(), "\xC2\xB0" "C");
  EXPECT_EQ(s->TryGetValue("TempUnit"), "0");
  EXPECT_EQ(s->TestOptions(), 0x05);
  s->SetTestOptions(0x81);
  EXPECT_EQ(s->TryGetValue("TestOptions"), "10000001");
  // A broken unit does not stop the start.
  EXPECT_EQ(Open("TempUnit=abc\r\n")->TempUnit(), 0);
}

}  // namespace

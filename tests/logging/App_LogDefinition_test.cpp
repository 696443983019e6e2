#include "logging/App_LogDefinition.h"

#include <gtest/gtest.h>

#include "core/App_Settings.h"

namespace {

using TLines = std::vector<std::string>;

TLogDefinition SampleDefinition() {
  TLogDefinition def;
  def.SetFileName("/data/logs/PhaseFreq_A_1.txt");
  def.SetPrependDate(true);
  def.SetAddHeader(false);
  def.SetEnabled(false);
  def.SetFileSize(2147483648LL);
  def.SetDifferentDevices(true);
  def.SetOption(true);
  TSimpleLogDefinition& main = def.AddDefinition();
  main.SetSessionIndex(0);
  main.SetLogTypes(0x3);
  main.SetLogEnabledString(1, "110000000000000000000001");
  main.SetLogEnabledString(3, "1");
  TSimpleLogDefinition& copy = def.AddDefinition();
  copy.SetSessionIndex(2);
  copy.SetSourceCopy(true);
  copy.SetStringClass(sscVirtual);
  copy.SetLogTypes(0x33C00);
  copy.SetLogEnabledString(2, "01");
  return def;
}

TEST(LogDefinitionSettings, MissingKeysAreAppendedWithTheirDefaults) {
  TAppSettings settings;
  settings.LoadFromBytes("INI_Version=6\r\nLog_DefsCount=1\r\nLog_1_Count=1\r\n");
  const auto defs = ReadLogDefinitions(settings);
  ASSERT_EQ(defs.size(), 1u);
  const std::string zeros(24, '0');
  const TLines expected{"INI_Version=6", "Log_DefsCount=1", "Log_1_Count=1",
                        "Log_1_AddHeader=True", "Log_1_Enabled=True", "Log_1_FileName=",
                        "Log_1_DifferentDevices=False", "Log_1_FileSize=0", "Log_1_PrependDate=False",
                        "Log_1_Option=False", "Log_1_Simple1_SessionIndex=0", "Log_1_Simple1_SourceCopy=False",
                        "Log_1_Simple1_StringClass=0", "Log_1_Simple1_LogTypes=0",
                        "Log_1_Simple1_Enabled1=" + zeros, "Log_1_Simple1_Enabled2=" + zeros,
                        "Log_1_Simple1_Enabled3=" + zeros, "Log_1_Simple1_Enabled4=" + zeros};
  EXPECT_EQ(settings.Lines(), expected);
  const TLogDefinition& def = *defs[0];
  EXPECT_TRUE(def.AddHeader());
  EXPECT_TRUE(def.Enabled());
  EXPECT_FALSE(def.PrependDate());
  EXPECT_FALSE(def.Option());
  EXPECT_FALSE(def.DifferentDevices());
  EXPECT_EQ(def.FileSize(), 0);
  ASSERT_EQ(def.Count(), 1);
  EXPECT_EQ(def.Definition(0).ToString(),
            "Session=0/False StringClass=Standard Types=00000000 ReportFactor=1 Enabled[1]=" + zeros +
                " Enabled[2]=" + zeros + " Enabled[3]=" + zeros + " Enabled[4]=" + zeros);
}

TEST(LogDefinitionSettings, SavedDefinitionsReadBackAlikeRenumberedWithoutGaps) {
  const TLogDefinition def = SampleDefinition();
  TAppSettings settings;
  settings.LoadFromBytes("Log_7_FileName=stale\r\nLogTimeFormat=YYMMDD\r\n");
  SaveLogDefinitions(settings, {nullptr, &def});
  EXPECT_FALSE(settings.TryGetValue("Log_7_FileName"));
  EXPECT_EQ(settings.TryGetValue("LogTimeFormat"), "YYMMDD");  // not a "Log_" key
  EXPECT_EQ(settings.TryGetValue("Log_DefsCount"), "1");
  EXPECT_EQ(settings.TryGetValue("Log_1_FileSize"), "2147483648");
  EXPECT_EQ(settings.TryGetValue("Log_1_Simple2_LogTypes"), "211968");
  settings.SaveSettings();  // no file name: only the version to save is written
  EXPECT_EQ(settings.TryGetValue("INI_Version"), "4");  // the type sets need format 4

  const auto read = ReadLogDefinitions(settings);
  ASSERT_EQ(read.size(), 1u);
  const TLogDefinition& back = *read[0];
  EXPECT_EQ(back.FileName(), def.FileName());
  EXPECT_EQ(back.PrependDate(), true);
  EXPECT_EQ(back.AddHeader(), false);
  EXPECT_EQ(back.Enabled(), false);
  EXPECT_EQ(back.FileSize(), 2147483648LL);
  EXPECT_EQ(back.DifferentDevices(), true);
  EXPECT_EQ(back.Option(), true);
  ASSERT_EQ(back.Count(), 2);
  for (int i = 0; i < 2; ++i) EXPECT_EQ(back.Definition(i).ToString(), def.Definition(i).ToString());
}

TEST(LogDefinitionSettings, OldFormatsReadTheSingleTypeBit) {
  TAppSettings settings;
  settings.LoadFromBytes(
      "INI_Version=3\r\nLog_DefsCount=1\r\nLog_1_Count=1\r\nLog_1_Simple1_LogType=15\r\n"
      "Log_1_Simple1_LogTypes=3\r\nLog_1_FileSize=-5\r\n");
  const auto defs = ReadLogDefinitions(settings);
  EXPECT_EQ(defs[0]->Definition(0).LogTypes(), 1u << 15);
  EXPECT_EQ(defs[0]->FileSize(), 0);  // a negative limit means none
}

TEST(LogDefinitionSettings, UnreadableNumbersFallBackToNone) {
  TAppSettings settings;
  settings.LoadFromBytes(
      "INI_Version=6\r\nLog_DefsCount=1\r\nLog_1_FileSize=1 GB\r\nLog_1_Count=1\r\n"
      "Log_1_Simple1_StringClass=9\r\nLog_1_Simple1_Enabled1=1x1\r\n");
  const auto defs = ReadLogDefinitions(settings);
  EXPECT_EQ(defs[0]->FileSize(), 0);
  EXPECT_EQ(defs[0]->Definition(0).StringClass(), sscStandard);
  EXPECT_EQ(defs[0]->Definition(0).LogEnabledString(1), "101000000000000000000000");
}

TEST(SimpleLogDefinition, ToStringNamesEveryField) {
  TSimpleLogDefinition simple;
  simple.SetSessionIndex(1);
  simple.SetSourceCopy(true);
  simple.SetStringClass(sscSpecial);
  simple.SetHasLogType(3);
  simple.SetHasLogType(31);
  simple.SetHasLogType(32);  // outside the set: ignored
  simple.SetReportFactor(0.25);
  simple.SetIsEnabled(1, 24, true);
  const std::string zeros(24, '0');
  EXPECT_EQ(simple.ToString(), "Session=1/True StringClass=Special Types=80000008 ReportFactor=0.25 Enabled[1]=" +
                                   std::string(23, '0') + "1 Enabled[2]=" + zeros + " Enabled[3]=" + zeros +
                                   " Enabled[4]=" + zeros);
}

TEST(LogDefinition, QueriesMatchSourceTypesAndRows) {
  const TLogDefinition def = SampleDefinition();
  struct Case {
    int32_t sIndex;
    bool sCopy;
    int aTypes;
    int cType;
    bool expected;
  };
  const Case cases[] = {
      {0, false, -1, 0, true},  {0, true, -1, 0, false}, {0, false, 1, 0, true},  {0, false, 2, 0, false},
      {0, false, -1, 1, true},  {0, false, -1, 2, false}, {0, false, -1, 3, true}, {2, true, 10, 2, true},
      {2, true, 10, 1, false},  {1, false, -1, 0, false}, {2, true, -1, 7, true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(def.HasDefinition(c.sIndex, c.sCopy, c.aTypes, c.cType), c.expected)
        << c.sIndex << "/" << c.sCopy << " types " << c.aTypes << " row " << c.cType;
  EXPECT_TRUE(def.HasDefinitionMask(0, false, kCounterLogTypes));
  EXPECT_FALSE(def.HasDefinitionMask(0, false, kVirtualCounterLogTypes));
  EXPECT_TRUE(def.HasStringClass(2, true, sscVirtual));
  EXPECT_FALSE(def.HasStringClass(2, false, sscVirtual));
}

TEST(LogDefinition, RenumbersSourcesAndCopiesDeeply) {
  TLogDefinition def = SampleDefinition();
  TLogDefinition copy = def;
  def.UpdateSessionIndex(2, 1);
  EXPECT_EQ(def.Definition(1).SessionIndex(), 1);
  EXPECT_EQ(copy.Definition(1).SessionIndex(), 2);
  def.RemoveDefinition(0);
  EXPECT_EQ(def.Count(), 1);
  EXPECT_EQ(copy.Count(), 2);
  EXPECT_THROW(def.Definition(1), std::out_of_range);
}

}  // namespace

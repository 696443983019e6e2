#include "core/App_Settings.h"

#include <QDir>
#include <QFile>
#include <cmath>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace {

using TLines = std::vector<std::string>;

// A store loaded from the given file content, with the given decimal separator.
class AppSettingsTest : public ::testing::Test {
 protected:
  void Load(const std::string& content, char decSep = '.') {
    WriteWholeFile(File(), content);
    store_.LoadFromFile(File());
    store_.SetFormatSettings({decSep, decSep == '.' ? ',' : '.'});
  }
  std::string File() const { return dir_.File("test.ini"); }

  TTempDir dir_;
  TAppSettings store_;
};

TEST_F(AppSettingsTest, SavesLinesInOrderWithCrLfAndReadsThemBack) {
  Load("B=2\nA=1\r\nC=x=y\r\n");
  EXPECT_TRUE(store_.ValuesLoaded());
  EXPECT_EQ(store_.GetValue("C", ""), "x=y");  // the value is everything after the first '='
  store_.SetValue("D", "  spaced  ");
  store_.SaveSettings();
  EXPECT_EQ(ReadWholeFile(File()), "B=2\r\nA=1\r\nC=x=y\r\nD=  spaced  \r\nINI_Version=0\r\n");

  TAppSettings again;
  again.LoadFromFile(File());
  EXPECT_EQ(again.Lines(), (TLines{"B=2", "A=1", "C=x=y", "D=  spaced  ", "INI_Version=0"}));
  EXPECT_EQ(again.GetValue("D", ""), "  spaced  ");
}

// The file may hold mail passwords: nobody but its owner reads it, whatever it was before.
TEST_F(AppSettingsTest, SavedFileIsReadableByTheOwnerAlone) {
  auto modeOf = [](const std::string& file) {
    struct stat st {};
    return ::stat(file.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0u;
  };
  Load("eMail_Config_Pass=00AA\r\n");
  ASSERT_EQ(::chmod(File().c_str(), 0644), 0);
  store_.SaveSettings();
  EXPECT_EQ(modeOf(File()), 0600u);
  TAppSettings fresh;
  fresh.SetValue("A", "1");
  fresh.SaveSettings(dir_.File("fresh.ini"));
  EXPECT_EQ(modeOf(dir_.File("fresh.ini")), 0600u);
}

TEST_F(AppSettingsTest, MissingFileIsCreatedEmpty) {
  const std::string file = dir_.File("new.ini");
  store_.LoadFromFile(file);
  EXPECT_TRUE(QFile::exists(QString::fromStdString(file)));
  EXPECT_FALSE(store_.ValuesLoaded());
  EXPECT_EQ(store_.Filename(), file);
  EXPECT_TRUE(store_.Lines().empty());
}

TEST_F(AppSettingsTest, UnreadableFileRaisesWithItsName) {
  const std::string folder = dir_.File("folder.ini");
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
  try {
    store_.LoadFromFile(folder);
    FAIL() << "no error";
  } catch (const ESettingsFileError& e) {
    EXPECT_NE(std::string(e.what()).find(folder), std::string::npos) << e.what();
  }
}

TEST_F(AppSettingsTest, FileWithBinaryDataIsUnreadableAndStaysAsItIs) {
  for (const std::string& content : {std::string("SessionCount=1\r\n\0\x01\x02garbage", 22), std::string("A=\x1B[1m\r\n")}) {
    WriteWholeFile(File(), content);
    try {
      store_.LoadFromFile(File());
      FAIL() << "no error";
    } catch (const ESettingsFileError& e) {
      EXPECT_EQ(std::string(e.what()), "The settings file " + File() + " is unreadable: it holds binary data");
    }
    EXPECT_EQ(ReadWholeFile(File()), content);
  }
}

TEST_F(AppSettingsTest, ControlCharactersInValuesBecomeBlanksSoTheFileReadsAgain) {
  Load("");
  store_.SetValue("Subject", std::string("a\x01" "b\tc\x7F", 6));
  store_.SaveSettings();
  TAppSettings again;
  again.LoadFromFile(File());
  EXPECT_EQ(again.TryGetValue("Subject"), "a b\tc ");
}

TEST_F(AppSettingsTest, LookupsFollowLinesThatMovedWhenOthersWereRemoved) {
  Load("Session_0_A=1\r\nSession_1_A=2\r\nKeep=3\r\nLater=4\r\n");
  store_.RemoveKeys("Session_");
  store_.SetValue("KEEP", "5");
  store_.SetValue("Keep", "");
  EXPECT_EQ(store_.GetValue("later", int32_t(0)), 4);
  store_.SetValue("Session_0_A", "6");
  EXPECT_EQ(store_.Lines(), (TLines{"Later=4", "Session_0_A=6"}));
  EXPECT_EQ(store_.TryGetValue("session_0_a"), "6");
}

TEST_F(AppSettingsTest, NamesIgnoreCaseAndTheFirstOccurrenceCounts) {
  Load("Key=1\r\nKEY=2\r\nOther=3\r\n");
  EXPECT_EQ(store_.GetValue("kEy", int32_t(0)), 1);
  store_.SetValue("key", int32_t(5));
  EXPECT_EQ(store_.Lines(), (TLines{"key=5", "KEY=2", "Other=3"}));
  // Clearing the key must not bring the stale duplicate back.
  store_.SetValue("Key", "");
  EXPECT_EQ(store_.Lines(), (TLines{"Other=3"}));
  EXPECT_EQ(store_.GetValue("Key", int32_t(7)), 7);
}

TEST_F(AppSettingsTest, GettersAppendMissingKeysWithTheirDefaultsInCallOrder) {
  Load("Existing=abc\r\n");
  EXPECT_TRUE(store_.GetValue("B", true));
  EXPECT_FALSE(store_.IsEnabled("B2", false));
  EXPECT_EQ(store_.GetValue("I", int32_t(-42)), -42);
  EXPECT_EQ(store_.GetUValue("U", 4000000000u), 4000000000u);
  EXPECT_EQ(store_.GetValue("C", 'x'), 'x');
  EXPECT_EQ(store_.GetValue("S", "text"), "text");
  EXPECT_EQ(store_.GetValue("D", 1234.5), 1234.5);
  EXPECT_TRUE(std::isnan(store_.GetValue("N", std::nan(""))));
  EXPECT_EQ(store_.GetValue("Existing", "other"), "abc");
  const TLines expected{"Existing=abc", "B=True", "B2=False", "I=-42", "U=4000000000",
                        "C=x", "S=text", "D=1234.5", "N="};
  EXPECT_EQ(store_.Lines(), expected);
  // Reading again changes nothing.
  store_.GetValue("B", false);
  store_.GetValue("S", "changed");
  EXPECT_EQ(store_.Lines(), expected);
}

TEST_F(AppSettingsTest, BooleansAreTrueOnlyForTheExactText) {
  Load("A=True\r\nB=true\r\nC=1\r\nD=\r\n");
  EXPECT_TRUE(store_.GetValue("A", false));
  EXPECT_FALSE(store_.GetValue("B", true));
  EXPECT_FALSE(store_.GetValue("C", true));
  EXPECT_FALSE(store_.GetValue("D", true));
}

TEST_F(AppSettingsTest, IntegersConvertOrRaiseNamingKeyAndText) {
  Load("Good= -17 \r\nPlus=+3\r\nBad=12x\r\nEmpty=\r\nBig=2147483648\r\n");
  EXPECT_EQ(store_.GetValue("Good", int32_t(0)), -17);
  EXPECT_EQ(store_.GetValue("Plus", int32_t(0)), 3);
  for (const char* key : {"Bad", "Empty", "Big"}) {
    try {
      store_.GetValue(key, int32_t(0));
      ADD_FAILURE() << key << " converted";
    } catch (const EConvertError& e) {
      EXPECT_NE(std::string(e.what()).find(key), std::string::npos) << e.what();
    }
  }
  EXPECT_THROW(store_.GetValue("Bad", 0.0), EConvertError);
}

TEST_F(AppSettingsTest, UnsignedValuesNeverWrap) {
  struct TCase {
    const char* Text;
    uint32_t Expected;
  };
  const TCase cases[] = {
      {"-1", 0xFFFFFFFFu},      // the "none" several keys store
      {"0", 0u},
      {"4294967295", 4294967295u},
      {"4294967296", 77u},      // too large: default
      {"-2", 77u},              // negative: default
      {"abc", 77u},             // not a number: default
      {"", 77u},
  };
  std::string content;
  for (size_t i = 0; i < std::size(cases); ++i) content += "U" + std::to_string(i) + "=" + cases[i].Text + "\r\n";
  Load(content);
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(store_.GetUValue("U" + std::to_string(i), 77u), cases[i].Expected) << cases[i].Text;
  EXPECT_EQ(store_.Lines().size(), std::size(cases));  // bad values are reported, not rewritten
  store_.SetUValue("W", 4294967295u);
  EXPECT_EQ(store_.GetValue("W", ""), "4294967295");
}

TEST_F(AppSettingsTest, CharacterIsTheFirstCharacter) {
  Load("Sep=,;\r\nEmpty=\r\n");
  EXPECT_EQ(store_.GetValue("Sep", '.'), ',');
  EXPECT_EQ(store_.GetValue("Empty", '.'), '.');
  store_.SetValue("Sep", '.');
  EXPECT_EQ(store_.GetValue("Sep", ""), ".");
}

TEST_F(AppSettingsTest, FloatsReadWithEitherSeparator) {
  struct TCase {
    const char* Text;
    char StoreSep;
    std::optional<double> Expected;  // nullopt: conversion error
  };
  const TCase cases[] = {
      {"1234.5", '.', 1234.5},  {"1234.5", ',', 1234.5},  {"1234,5", '.', 1234.5},
      {"1234,5", ',', 1234.5},  {".5", '.', 0.5},         {".5", ',', std::nullopt},
      {",5", ',', 0.5},         {",5", '.', std::nullopt}, {"-0,25", '.', -0.25},
      {"1e3", '.', 1000.0},     {"2,5E-3", '.', 0.0025},  {" 7.5 ", ',', 7.5},
      {"1.234.5", '.', std::nullopt}, {"1,234.5", '.', std::nullopt}, {"abc", '.', std::nullopt},
      {"1.5x", '.', std::nullopt}, {"INF", '.', HUGE_VAL},
  };
  for (const auto& c : cases) {
    Load(std::string("F=") + c.Text + "\r\n", c.StoreSep);
    if (c.Expected) {
      EXPECT_EQ(store_.GetValue("F", 0.0), *c.Expected) << c.Text << " with " << c.StoreSep;
    } else {
      EXPECT_THROW(store_.GetValue("F", 0.0), EConvertError) << c.Text << " with " << c.StoreSep;
    }
  }
  Load("F=\r\n");
  EXPECT_TRUE(std::isnan(store_.GetValue("F", 1.0)));
}

TEST_F(AppSettingsTest, FloatsAreWrittenShortestAndExact) {
  struct TCase {
    double Value;
    char StoreSep;
    const char* Text;
  };
  const TCase cases[] = {
      {1234.5, '.', "1234.5"}, {1234.5, ',', "1234,5"}, {0.1, '.', "0.1"},        {-0.25, ',', "-0,25"},
      {10e6, '.', "10000000"}, {0, '.', "0"},           {1e20, '.', "1e+20"},     {1.5e-7, ',', "1,5e-07"},
      {HUGE_VAL, '.', "INF"},
  };
  for (const auto& c : cases) {
    Load("", c.StoreSep);
    store_.SetValue("F", c.Value);
    EXPECT_EQ(store_.GetValue("F", ""), c.Text);
    EXPECT_EQ(store_.GetValue("F", 0.0), c.Value) << c.Text;
  }
  Load("", ',');
  for (double v : {1.0 / 3.0, 299792458.123456789, -6.02214076e23, 5e-324}) {
    store_.SetValue("F", v);
    EXPECT_EQ(store_.GetValue("F", 0.0), v) << store_.GetValue("F", "");
  }
  store_.SetValue("F", std::nan(""));
  EXPECT_FALSE(store_.TryGetValue("F"));
}

TEST(DecimalSeparator, NormalisationOnlyReplacesAfterTheFirstCharacter) {
  struct TCase {
    const char* In;
    char Sep;
    const char* Out;
  };
  const TCase cases[] = {
      {"1234.5", ',', "1234,5"}, {"1234,5", '.', "1234.5"}, {".5", ',', ".5"},  {",5", '.', ",5"},
      {"1.2.3", ',', "1,2,3"},   {"-.5", ',', "-,5"},       {"12", ',', "12"}, {"1,5", ',', "1,5"},
  };
  for (const auto& c : cases) EXPECT_EQ(NormaliseDecimalSeparator(c.In, c.Sep), c.Out) << c.In;
}

TEST_F(AppSettingsTest, SettingChangesOnlyWhatDiffers) {
  Load("A=1\r\nB=2\r\nC=3\r\n");
  store_.SetValue("B", "2");
  EXPECT_EQ(store_.Lines(), (TLines{"A=1", "B=2", "C=3"}));
  store_.SetValue("B", "two");
  EXPECT_EQ(store_.Lines(), (TLines{"A=1", "B=two", "C=3"}));
  store_.SetValue("B", "");
  EXPECT_EQ(store_.Lines(), (TLines{"A=1", "C=3"}));
  store_.SetValue("Missing", "");
  EXPECT_EQ(store_.Lines(), (TLines{"A=1", "C=3"}));
  EXPECT_EQ(store_.GetValue("B", "again"), "again");
  EXPECT_EQ(store_.Lines(), (TLines{"A=1", "C=3", "B=again"}));
}

TEST_F(AppSettingsTest, LineBreaksInValuesCannotInjectKeys) {
  Load("");
  store_.SetValue("A", "x\r\nINI_Version=99");
  store_.SaveSettings();
  TAppSettings again;
  again.LoadFromFile(File());
  EXPECT_EQ(again.Lines(), (TLines{"A=x  INI_Version=99", "INI_Version=0"}));
}

TEST_F(AppSettingsTest, PrefixesRemoveAndTestCaseSensitively) {
  Load("View_1_Left=1\r\nViewMessage_Visible=True\r\nSession_0_Name=a\r\nSessionCount=1\r\n"
       "view_2_Top=3\r\nNoEquals\r\n");
  EXPECT_TRUE(store_.TestKeys("View_"));
  EXPECT_TRUE(store_.TestKeys("ViewMessage_"));
  EXPECT_FALSE(store_.TestKeys("Info_"));
  store_.RemoveKeys("View_");
  store_.RemoveKeys("Session_");
  EXPECT_EQ(store_.Lines(),
            (TLines{"ViewMessage_Visible=True", "SessionCount=1", "view_2_Top=3", "NoEquals"}));
  EXPECT_FALSE(store_.TestKeys("View_"));
  EXPECT_FALSE(store_.TestKeys("NoEquals"));  // a line without '=' has no name
}

TEST_F(AppSettingsTest, VersionIsOnlyRaised) {
  struct TCase {
    const char* Content;
    std::vector<int32_t> Raises;
    const char* Saved;
  };
  const TCase cases[] = {
      {"INI_Version=3\r\n", {2, 3, 5}, "INI_Version=5"},
      {"INI_Version=6\r\n", {2, 3, 5}, "INI_Version=6"},
      {"", {}, "INI_Version=0"},
      {"", {4}, "INI_Version=4"},
  };
  for (const auto& c : cases) {
    TAppSettings store;
    WriteWholeFile(File(), c.Content);
    store.LoadFromFile(File());
    const int32_t read = store.VersionFormat();
    for (int32_t v : c.Raises) store.SetVersionFormat(v);
    // A reader after a writer sees the file's version but does not take the raise back.
    EXPECT_EQ(store.VersionFormat(), read);
    store.SaveSettings();
    EXPECT_EQ(store.TryGetValue("INI_Version"), std::string(c.Saved).substr(12)) << c.Content;
    EXPECT_NE(ReadWholeFile(File()).find(std::string(c.Saved) + "\r\n"), std::string::npos);
  }
}

TEST_F(AppSettingsTest, ByteOrderMarksSurviveARoundTrip) {
  struct TCase {
    const char* Name;
    std::string Bom;
    TTextEncoding Encoding;
  };
  const TCase cases[] = {
      {"none", "", teUtf8},
      {"utf8", "\xEF\xBB\xBF", teUtf8Bom},
      {"utf16le", "\xFF\xFE", teUtf16LE},
      {"utf16be", "\xFE\xFF", teUtf16BE},
  };
  const std::string text = "Name=M\xC3\xBCller\r\n";
  for (const auto& c : cases) {
    const std::string original = EncodeText(text, c.Encoding);
    ASSERT_EQ(original.substr(0, c.Bom.size()), c.Bom) << c.Name;
    TAppSettings store;
    WriteWholeFile(File(), original);
    store.LoadFromFile(File());
    EXPECT_EQ(store.Encoding(), c.Encoding) << c.Name;
    EXPECT_EQ(store.GetValue("Name", ""), "M\xC3\xBCller") << c.Name;
    store.SaveSettings();
    EXPECT_EQ(ReadWholeFile(File()), EncodeText(text + "INI_Version=0\r\n", c.Encoding)) << c.Name;
  }
}

TEST_F(AppSettingsTest, Windows1252FileIsReadAndSavedAsUtf8) {
  Load("Name=M\xFCller\r\nPrice=5\x80\r\n");
  EXPECT_EQ(store_.GetValue("Name", ""), "M\xC3\xBCller");
  EXPECT_EQ(store_.GetValue("Price", ""), "5\xE2\x82\xAC");
  store_.SaveSettings();
  EXPECT_EQ(ReadWholeFile(File()), "Name=M\xC3\xBCller\r\nPrice=5\xE2\x82\xAC\r\nINI_Version=0\r\n");
}

TEST_F(AppSettingsTest, FailedSaveReportsAndKeepsTheOldFile) {
  // The target is a folder: nothing can be renamed onto it.
  const std::string folder = dir_.File("target.ini");
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
  Load("A=1\r\n");
  try {
    store_.SaveSettings(folder);
    FAIL() << "no error";
  } catch (const ESettingsFileError& e) {
    EXPECT_NE(std::string(e.what()).find(folder), std::string::npos) << e.what();
  }
  EXPECT_TRUE(QDir(QString::fromStdString(folder)).exists());
}

TEST_F(AppSettingsTest, SaveIntoReadOnlyFolderLeavesTheOldFileWhole) {
  if (geteuid() == 0) GTEST_SKIP() << "root may write into read-only folders";
  Load("A=1\r\n");
  store_.SetValue("B", "2");
  const QString folder = QString::fromStdString(dir_.Path());
  QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
  EXPECT_THROW(store_.SaveSettings(), ESettingsFileError);
  QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  EXPECT_EQ(ReadWholeFile(File()), "A=1\r\n");
}

TEST_F(AppSettingsTest, SaveThatCannotCompleteLeavesTheOldFileWhole) {
  // A file size limit makes the write fail half way, like a full disk, even for root.
  Load("A=1\r\n");
  store_.SetValue("Long", std::string(4096, 'x'));
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit oldLimit{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &oldLimit), 0);
  rlimit small = oldLimit;
  small.rlim_cur = 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  EXPECT_THROW(store_.SaveSettings(), ESettingsFileError);
  setrlimit(RLIMIT_FSIZE, &oldLimit);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(ReadWholeFile(File()), "A=1\r\n");
  EXPECT_EQ(QDir(QString::fromStdString(dir_.Path())).entryList(QDir::Files).size(), 1);  // no temporary left
}

TEST(AppSettings, SaveWithoutFileNameWritesNothing) {
  TAppSettings store;
  store.SetValue("A", "1");
  EXPECT_NO_THROW(store.SaveSettings());
  EXPECT_EQ(store.Lines(), (TLines{"A=1", "INI_Version=0"}));
}

TEST(AppSettings, ConcurrentReadersAndWritersKeepEveryKeyOnce) {
  TAppSettings store;
  constexpr int kThreads = 4, kKeys = 50, kRounds = 20;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&store, t] {
      for (int round = 0; round < kRounds; ++round) {
        for (int k = 0; k < kKeys; ++k) {
          store.GetValue("Shared" + std::to_string(k), int32_t(k));
          store.SetValue("Own" + std::to_string(t) + "_" + std::to_string(k), int32_t(round));
          store.GetValue("Float" + std::to_string(k), 0.5);
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  const TLines lines = store.Lines();
  EXPECT_EQ(lines.size(), size_t(kKeys * (2 + kThreads)));
  for (int k = 0; k < kKeys; ++k) {
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Shared" + std::to_string(k) + "=" + std::to_string(k)), 1);
    for (int t = 0; t < kThreads; ++t)
      EXPECT_EQ(store.GetValue("Own" + std::to_string(t) + "_" + std::to_string(k), int32_t(-1)), kRounds - 1);
  }
}

}  // namespace

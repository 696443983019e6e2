#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>

#include "AppTestSupport.h"
#include "acquisition/VTA_Sessions.h"

// Start-up against damaged settings files, stale temporaries of killed saves and stop requests.
namespace {

std::string RandomBytes(size_t count) {
  std::mt19937 generator(28);
  std::string bytes(count, '\0');
  for (char& c : bytes) c = static_cast<char>(generator() & 0xFF);
  return bytes;
}

struct TDamagedFile {
  const char* Name;
  std::string Content;
  std::string Message;  // part of the error the user gets
};

class DamagedSettingsTest : public AppTest {
 protected:
  // The error of creating and starting the application, empty when both went through.
  std::string StartError() {
    TVTA_AppOptions options = Options();
    options.MultiSampler = true;
    options.Notifications = true;
    try {
      auto app = MakeApp(std::move(options));
      try {
        app->LosGehts();
      } catch (...) {
        app->FormClose();
        throw;
      }
      app->FormClose();
    } catch (const std::exception& e) {
      return e.what();
    }
    return {};
  }
};

TEST_F(DamagedSettingsTest, CountsBeyondWhatTheProgramHoldsStopTheStartAndNameTheKey) {
  const std::string oneSession = StoredSessions(1);
  const std::string notification = "Notification_Count=1\nNotification_1=True, Once, -1, 0, a@b.c, s, ErrorWarning\n";
  const std::vector<TDamagedFile> cases = {
      {"sessions far beyond", "SessionCount=1000000\n", "SessionCount=1000000 is out of range (0 to 26)"},
      {"one session too many", "SessionCount=27\n", "SessionCount=27 is out of range (0 to 26)"},
      {"negative sessions", "SessionCount=-2\n", "SessionCount=-2 is out of range"},
      {"sessions not a number", "SessionCount=many\n", "for the key SessionCount"},
      {"log definitions", oneSession + "Log_DefsCount=1000000\n", "Log_DefsCount=1000000 is out of range (0 to 1000)"},
      {"simple definitions", oneSession + "Log_DefsCount=1\nLog_1_Count=1000000\n",
       "Log_1_Count=1000000 is out of range (0 to 1000)"},
      {"notifications", oneSession + "Notification_Count=1000000\n",
       "Notification_Count=1000000 is out of range (0 to 10000)"},
      {"notification lines", oneSession + notification + "Notification_1_LinesCount=2000000000\n",
       "Notification_1_LinesCount=2000000000 is out of range (0 to 1000)"},
      {"random bytes", RandomBytes(4096), "is unreadable: it holds binary data"},
  };
  for (const TDamagedFile& damaged : cases) {
    SCOPED_TRACE(damaged.Name);
    WriteIni(damaged.Content);
    const std::string error = StartError();
    EXPECT_NE(error.find(damaged.Message), std::string::npos) << error;
    EXPECT_NE(error.find(IniFile()), std::string::npos) << error;
    EXPECT_TRUE(Ini() == damaged.Content) << "the file changed";
  }
}

TEST_F(DamagedSettingsTest, FolderInPlaceOfTheFileIsReportedAndLeftAlone) {
  std::filesystem::create_directories(IniFile() + "/inside");
  const std::string error = StartError();
  EXPECT_NE(error.find(IniFile() + " is unreadable: it is a folder"), std::string::npos) << error;
  EXPECT_TRUE(std::filesystem::is_directory(IniFile() + "/inside"));
}

TEST_F(DamagedSettingsTest, CountsAtTheirLimitsStillStart) {
  WriteIni(StoredSessions(TSessionLists::MaxSessions) + "Log_DefsCount=0\nNotification_Count=0\n");
  EXPECT_EQ(StartError(), "");
  EXPECT_NE(Ini().find("SessionCount=26\r\n"), std::string::npos);
}

TEST_F(AppTest, NoSessionBeyondTheLastSlot) {
  WriteIni(StoredSessions(TSessionLists::MaxSessions));
  auto app = MakeApp();
  ASSERT_TRUE(app->LosGehts());
  EXPECT_EQ(app->SourceNew(), nullptr);
  EXPECT_EQ(ui.Count("MessageBox All 26 sources are in use: remove one first"), 1u);
  EXPECT_EQ(ui.Count("AskConnection 26"), 0u);
}

TEST_F(AppTest, StaleTemporariesOfKilledSavesGoAtStart) {
  WriteIni(StoredSessions(1));
  const std::string folder = Paths().ConfigDir();
  const auto old = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
  for (const char* name : {"VTA_App.ini.a1B2c3", "VTA_DebugConf.ini.Zz9yY8", "VTA_App.ini.fresh1", "VTA_App.ini.bak",
                           "VTA_App.ini.toolong7", "Other.ini.a1B2c3"}) {
    WriteWholeFile(folder + name, "x");
    if (std::string(name) != "VTA_App.ini.fresh1") std::filesystem::last_write_time(folder + name, old);
  }
  auto app = MakeApp();
  const auto exists = [&](const char* name) { return std::filesystem::exists(folder + name); };
  EXPECT_FALSE(exists("VTA_App.ini.a1B2c3"));
  EXPECT_FALSE(exists("VTA_DebugConf.ini.Zz9yY8"));
  EXPECT_TRUE(exists("VTA_App.ini.fresh1")) << "a save of another instance may be running";
  EXPECT_TRUE(exists("VTA_App.ini.bak"));
  EXPECT_TRUE(exists("VTA_App.ini.toolong7"));
  EXPECT_TRUE(exists("Other.ini.a1B2c3"));
  EXPECT_TRUE(LogHas(*app, "TMainForm.FormCreate removed stale temporary file " + folder + "VTA_App.ini.a1B2c3"));
}

TEST_F(AppTest, StopRequestDuringStartUpEndsItWithoutSaving) {
  WriteIni(StoredSessions(5));
  TVTA_AppOptions options = Options();
  int checks = 0;
  options.StopRequested = [&checks] { return ++checks > 2; };
  auto app = MakeApp(std::move(options));
  EXPECT_FALSE(app->LosGehts());
  EXPECT_TRUE(app->AppCanceled());
  EXPECT_EQ(app->Lists().Sessions().size(), 2u);
  EXPECT_EQ(app->ReportThread(), nullptr);
  EXPECT_EQ(ui.Count("MessageBox Please choose a connection or app will be canceled"), 0u);
  EXPECT_TRUE(LogHas(*app, "TMainForm.LosGehts: stopped by signal"));
  app->FormClose();
  app.reset();
  EXPECT_EQ(Ini(), StoredSessions(5));
}

}  // namespace

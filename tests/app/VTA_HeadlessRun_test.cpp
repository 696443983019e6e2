#include "app/VTA_HeadlessRun.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <optional>
#include <sstream>

#include "AppTestSupport.h"

namespace {

// The run resolves its data folder from the environment: keep it inside the test folder.
class HeadlessRunTest : public AppTest {
 protected:
  void SetUp() override {
    FOldDataHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dir.File("data")));
  }
  void TearDown() override {
    if (FOldDataHome.isNull())
      qunsetenv("XDG_DATA_HOME");
    else
      qputenv("XDG_DATA_HOME", FOldDataHome);
  }

  struct TRun {
    int Code;
    std::string Out, Err;
  };
  // Runs until the first round of status lines, then sends itself SIGINT.
  TRun Run(std::vector<std::string> args, bool withFactory = true, std::function<void()> afterStatus = {}) {
    THeadlessRunOptions options;
    if (withFactory) options.App = Options();
    options.StatusIntervalMs = 5;
    options.AfterStatus = [afterStatus] {
      if (afterStatus) afterStatus();
      std::raise(SIGINT);
    };
    if (signalAtSession) {
      // The signal comes while the stored sessions are being recreated, before any event loop.
      TSessionFactoryMaker maker = options.App.MakeSessionFactory;
      options.App.MakeSessionFactory = [this, maker](const TSessionHandlers& h, TDebugConf& c, TVTASettings& s) {
        TSessionFactory factory = maker(h, c, s);
        return [this, factory](int32_t type, int32_t index) {
          if (index == *signalAtSession) std::raise(SIGTERM);
          return factory(type, index);
        };
      };
    }
    std::ostringstream out, err;
    const int code = RunHeadless(args, out, err, std::move(options));
    return {code, out.str(), err.str()};
  }
  std::vector<std::string> ConfigArgs() const { return {"--config-dir", Paths().ConfigDir()}; }

  std::optional<int32_t> signalAtSession;

 private:
  QByteArray FOldDataHome;
};

TEST_F(HeadlessRunTest, RefusesBadArgumentsAndAMissingFactory) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{"--bogus"}, {"--connect"}, {"x"}}) {
    const TRun run = Run(args);
    EXPECT_EQ(run.Code, 2);
    EXPECT_NE(run.Err.find(RunUsage()), std::string::npos) << run.Err;
  }
  const TRun run = Run(ConfigArgs(), false);
  EXPECT_EQ(run.Code, 2);
  EXPECT_EQ(run.Err, "vta-cli run: no session kinds are available in this build\n");
}

TEST_F(HeadlessRunTest, FirstStartWithoutConnectEndsWithoutSaving) {
  const TRun run = Run(ConfigArgs());
  EXPECT_EQ(run.Code, 2);
  EXPECT_NE(run.Err.find("give one with --connect CONNECTION"), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find("Please choose a connection or app will be canceled"), std::string::npos);
  EXPECT_NE(run.Err.find("vta-cli run: no connection, nothing to run"), std::string::npos);
  EXPECT_EQ(Ini().find("SessionCount"), std::string::npos);
}

TEST_F(HeadlessRunTest, SignalSavesAndTheNextRunRestartsTheStoredSession) {
  std::vector<std::string> args = ConfigArgs();
  args.insert(args.end(), {"--connect", "fake:A"});
  const TRun first = Run(args);
  ASSERT_EQ(first.Code, 0) << first.Err;
  EXPECT_NE(first.Out.find("Session A added: fake:A"), std::string::npos) << first.Out;
  EXPECT_NE(first.Out.find("Status Source A | open\n"), std::string::npos) << first.Out;
  EXPECT_NE(first.Out.find("vta-cli run: signal 2, closing"), std::string::npos);
  std::string ini = Ini();
  EXPECT_NE(ini.find("SessionCount=1\r\n"), std::string::npos) << ini;
  EXPECT_NE(ini.find("Session_0_OpenString=fake:A\r\n"), std::string::npos);
  EXPECT_FALSE(Control(0)->Probe->DestroyedDuringPoll);

  // Keys of the desktop program's windows survive a run without windows.
  WriteWholeFile(IniFile(), ini + "View_1_Id=3\r\nView_1_Session=0\r\nInfo_0_Left=5\r\nChildCount=1\r\n");
  const TRun second = Run(ConfigArgs());
  ASSERT_EQ(second.Code, 0) << second.Err;
  const size_t added = second.Out.find("Session A added: fake:A");
  ASSERT_NE(added, std::string::npos) << second.Out;
  EXPECT_EQ(second.Out.find(" added", added + 16), std::string::npos) << second.Out;
  EXPECT_NE(second.Out.find("Status Source A | open\n"), std::string::npos) << second.Out;
  EXPECT_EQ(Control(0)->Opens, 2);
  ini = Ini();
  for (const char* key : {"View_1_Id=3\r\n", "View_1_Session=0\r\n", "Info_0_Left=5\r\n", "SessionCount=1\r\n"})
    EXPECT_NE(ini.find(key), std::string::npos) << key;
}

TEST_F(HeadlessRunTest, SignalDuringStartUpEndsItAtOnceWithoutSaving) {
  WriteIni(StoredSessions(5));
  signalAtSession = 1;
  const TRun run = Run(ConfigArgs());
  EXPECT_EQ(run.Code, 0) << run.Err;
  EXPECT_NE(run.Out.find("vta-cli run: signal 15 during start-up, nothing saved"), std::string::npos) << run.Out;
  EXPECT_EQ(run.Out.find("Status Source"), std::string::npos) << run.Out;
  EXPECT_EQ(Control(0)->Opens, 0);  // stopped before the stored sessions were opened
  EXPECT_EQ(Control(3)->Opens, 0);
  EXPECT_EQ(Ini(), StoredSessions(5));
}

TEST_F(HeadlessRunTest, FailedSaveAtTheEndGivesANonZeroExit) {
  WriteIni(StoredSessions(1));
  // A folder in place of the file: the rename at the end of the save cannot replace it.
  const auto blockSave = [this] {
    std::filesystem::remove(IniFile());
    std::filesystem::create_directories(IniFile() + "/kept");
  };
  const TRun run = Run(ConfigArgs(), true, blockSave);
  EXPECT_EQ(run.Code, 2);
  EXPECT_NE(run.Err.find("not saved"), std::string::npos) << run.Err;
}

}  // namespace

#include "ui/DeviceConfigDialog.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "EmulatedInstrument.h"
#include "acquisition/QVSessionTestSupport.h"
#include "core/App_Settings.h"
#include "data/ZCT_DataManagement.h"

namespace {

std::vector<std::string> Commands(const std::vector<TDeviceConfigStep>& steps) {
  std::vector<std::string> lines;
  for (const TDeviceConfigStep& s : steps) {
    std::string hex;
    for (const char c : s.Cmd) hex += QString::asprintf("%02X", unsigned(uint8_t(c))).toStdString();
    lines.push_back(hex + " " + s.CmdText);
  }
  return lines;
}

TEST(DeviceConfigSteps, OnlyWhatDiffersChannelsFirstThenModeIntervalScrambler) {
  const TDeviceSettings now{2, 9, 0, 4};
  const auto with = [&](auto change) {
    TDeviceSettings s = now;
    change(s);
    return s;
  };
  const struct {
    const char* what;
    TDeviceSettings wanted;
    std::vector<std::string> commands;
  } cases[] = {
      {"nothing changed", now, {}},
      {"mode", with([](auto& s) { s.Mode = 3; }), {"43 Mode Frequency Average"}},
      {"interval", with([](auto& s) { s.RateIndex = 12; }), {"2C Interval 10s"}},
      {"scrambler auto", with([](auto& s) { s.Scrambler = 1; }), {"5E Scrambler Auto"}},
      {"scrambler trim", with([](auto& s) { s.Scrambler = 2; }), {"5F Scrambler Trim"}},
      {"a scrambler in use is never written", with([](auto& s) { s.Scrambler = 3; }), {}},
      {"one channel", with([](auto& s) { s.Channels = 1; }), {"31 Transmit channel 1"}},
      {"twelve channels", with([](auto& s) { s.Channels = 12; }), {"3F0C Transmit channels 1..12"}},
      {"all channels", with([](auto& s) { s.Channels = 24; }), {"30 Transmit all channels"}},
      {"an unknown channel count is never written", with([](auto& s) { s.Channels = 0; }), {}},
      {"everything, in order",
       TDeviceSettings{0, 0, 2, 8},
       {"38 Transmit channels 1..8", "40 Mode Phase", "20 Interval 1ms", "5F Scrambler Trim"}},
  };
  for (const auto& c : cases) EXPECT_EQ(Commands(DeviceConfigSteps(now, c.wanted, [&] { return now; })), c.commands) << c.what;
}

TEST(DeviceConfigSteps, EachStepIsConfirmedByItsOwnValueInTheReports) {
  const TDeviceSettings now{2, 9, 0, 4}, wanted{0, 10, 1, 6};
  TDeviceSettings reported = now;
  const std::vector<TDeviceConfigStep> steps = DeviceConfigSteps(now, wanted, [&] { return reported; });
  ASSERT_EQ(steps.size(), 4u);
  for (const TDeviceConfigStep& s : steps) EXPECT_FALSE(s.Confirmed()) << s.CmdText;
  reported.Channels = 6;
  reported.RateIndex = 10;
  const std::vector<bool> confirmed = {true, false, true, false};  // channels, mode, interval, scrambler
  for (size_t i = 0; i < steps.size(); ++i) EXPECT_EQ(steps[i].Confirmed(), confirmed[i]) << steps[i].CmdText;
  reported = wanted;
  for (const TDeviceConfigStep& s : steps) EXPECT_TRUE(s.Confirmed()) << s.CmdText;
}

// What the lists do not offer is shown as it is and never written unasked.
TEST(DeviceConfigDialog, SettingsOutsideTheListsAreShownAndKept) {
  const struct {
    const char* what;
    TDeviceSettings settings;
    TRange rates;
  } cases[] = {
      {"raw data mode outside expert mode", {7, 0, 0, 4}, {}},
      {"rate outside the session's range", {2, 3, 0, 4}, {9, 13}},
      {"scrambler set by other means", {2, 9, 3, 4}, {}},
      {"channel count not known yet", {2, 9, 0, 0}, {}},
  };
  for (const auto& c : cases) {
    TDeviceConfigFacts facts;
    facts.Settings = c.settings;
    facts.Rates = c.rates;
    TDeviceConfigDialog dialog(nullptr, facts, [&] { return c.settings; }, {});
    EXPECT_EQ(dialog.Wanted(), c.settings) << c.what;
    EXPECT_TRUE(DeviceConfigSteps(c.settings, dialog.Wanted(), [&] { return c.settings; }).empty()) << c.what;
  }
}

// The dialog on the simulator: the configuration thread's commands reach the session on this
// (the window) thread, the test steps the instrument, and its reports confirm every setting.
class DeviceConfigSimulatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TAppSettings settings;
    fixture.session->ReadSettings(settings, "Session_0_");
  }
  TDeviceConfigThread::TSend Send() {
    return [this](const std::string& cmd, const std::string& text) {
      EXPECT_EQ(QThread::currentThread(), qApp->thread());
      fixture.session->SetCommand(cmd, text);
    };
  }
  // Runs the instrument until the dialog shows an outcome, at most 30 s.
  void RunUntilFinished(TDeviceConfigDialog& dialog) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < end) {
      QCoreApplication::processEvents();
      fixture.RunSteps(1);
      if (dialog.ApplyButton()->isEnabled() && !dialog.StatusText().startsWith("Step")) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  std::unique_ptr<TDeviceConfigDialog> MakeDialog() {
    TQVSessionItem& session = *fixture.session;
    return std::make_unique<TDeviceConfigDialog>(nullptr, DeviceConfigFacts(session, false),
                                                 [&session] { return ReadDeviceSettings(session); }, Send(),
                                                 std::chrono::seconds(20));
  }

  QVSessionFixture fixture;
};

TEST_F(DeviceConfigSimulatorTest, RefusedUntilTheInstrumentAnswers) {
  EXPECT_EQ(DeviceConfigRefusal(*fixture.session), "Device is not responding, no device configuration available");
  fixture.OpenDemo();
  ASSERT_EQ(fixture.opened, "");
  fixture.RunSteps(12);
  EXPECT_EQ(DeviceConfigRefusal(*fixture.session), "");
}

TEST_F(DeviceConfigSimulatorTest, ShowsTheInstrumentsSettingsAndWritesTheChangedOnes) {
  fixture.OpenDemo();
  ASSERT_EQ(fixture.opened, "");
  fixture.RunSteps(30);
  const TDeviceSettings before = ReadDeviceSettings(*fixture.session);
  ASSERT_GT(before.Channels, 1);
  auto dialog = MakeDialog();
  EXPECT_EQ(dialog->Wanted(), before) << "the dialog starts from what the instrument reports";
  EXPECT_EQ(dialog->windowTitle(), "Device Configuration - Source A");

  const TDeviceSettings wanted{before.Mode == 0 ? 2 : 0, 8, 2, before.Channels - 1};
  dialog->SetWanted(wanted);
  ASSERT_EQ(dialog->Wanted(), wanted);
  ASSERT_TRUE(dialog->Apply());
  EXPECT_FALSE(dialog->ApplyButton()->isEnabled()) << "no second run while one goes on";
  RunUntilFinished(*dialog);
  EXPECT_EQ(dialog->StatusText().toStdString(), TDeviceConfigThread::kDone);
  EXPECT_EQ(ReadDeviceSettings(*fixture.session), wanted);
  EXPECT_EQ(dialog->Wanted(), wanted);
  EXPECT_EQ(dialog->Progress()->value(), dialog->Progress()->maximum());

  if (const QString folder = qEnvironmentVariable("VTA_SCREENSHOT_DIR"); !folder.isEmpty()) {
    dialog->show();
    dialog->adjustSize();
    QCoreApplication::processEvents();
    QDir().mkpath(folder);
    EXPECT_TRUE(dialog->grab().save(folder + "/device_configuration_dialog.png"));
  }
}

TEST_F(DeviceConfigSimulatorTest, ASettingTheInstrumentRefusesEndsTheRunWithItsName) {
  fixture.OpenDemo();
  ASSERT_EQ(fixture.opened, "");
  fixture.RunSteps(12);
  TQVSessionItem& session = *fixture.session;
  // The simulator refuses the raw data mode: the step is never confirmed.
  TDeviceConfigDialog dialog(nullptr, DeviceConfigFacts(session, true), [&session] { return ReadDeviceSettings(session); },
                             Send(), std::chrono::milliseconds(300));
  TDeviceSettings wanted = dialog.Wanted();
  wanted.Mode = 6;
  dialog.SetWanted(wanted);
  ASSERT_TRUE(dialog.Apply());
  RunUntilFinished(dialog);
  EXPECT_EQ(dialog.StatusText().toStdString(), "Mode Raw Data not confirmed by the device within 0.3 s");
  EXPECT_TRUE(dialog.ApplyButton()->isEnabled());
  EXPECT_NE(dialog.Wanted().Mode, 6) << "the dialog shows what the instrument has";
}

// A network-module counter played by the emulator on a loopback address of its own; the session
// is polled in real time, its clock following (the network device's connection steps wait on it).
class DeviceConfigEmulatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TEmulatorSettings s;
    s.Peer = TEmulatorSettings::TPeer::NetworkModule;
    s.ListenAddress = "127.0.0.47";
    s.IntervalMs = 100;
    s.Channels = 4;
    s.Mode = 2;
    instrument = std::make_unique<TEmulatedInstrument>(s);
    ASSERT_EQ(instrument->Start(), "");
    TAppSettings settings;
    fixture.session->ReadSettings(settings, "Session_0_");
    fixture.session->SetOpenParams(s.ListenAddress, ctNetwork, kDefaultSessionColor, "");
    ASSERT_EQ(fixture.session->OpenDevice(), "");
    ASSERT_TRUE(PollUntil([&] { return fixture.session->HasDataHeader() && fixture.session->ZCT_DM().ChannelCount() > 0; }))
        << (fixture.messages.empty() ? "no message" : fixture.messages.back().Text);
  }
  bool PollUntil(const std::function<bool()>& done) {
    for (const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20); std::chrono::steady_clock::now() < end;) {
      QCoreApplication::processEvents();
      fixture.Poll();
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      fixture.clock.Advance(std::chrono::milliseconds(2));
    }
    return false;
  }

  std::unique_ptr<TEmulatedInstrument> instrument;
  QVSessionFixture fixture;  // closes its session before the instrument stops
};

TEST_F(DeviceConfigEmulatorTest, ANetworkCounterMayBeConfigured) {
  EXPECT_TRUE(fixture.session->IsESP());
  EXPECT_EQ(DeviceConfigRefusal(*fixture.session), "");
  const TDeviceConfigFacts facts = DeviceConfigFacts(*fixture.session, false);
  EXPECT_EQ(facts.Settings.Channels, 4);
  EXPECT_EQ(facts.Settings.Mode, 2);
  const std::pair<std::string, std::string> peer{"Peer", "network module (ESP)"};
  EXPECT_NE(std::find(facts.Lines.begin(), facts.Lines.end(), peer), facts.Lines.end());
}

// A real run against the counter: the session's calibration read is answered, so the queued
// commands go out and the instrument's reports confirm each of them.
TEST_F(DeviceConfigEmulatorTest, ModeAndChannelChangesAreConfirmedByTheCounter) {
  TQVSessionItem& session = *fixture.session;
  TDeviceConfigDialog dialog(
      nullptr, DeviceConfigFacts(session, false), [&session] { return ReadDeviceSettings(session); },
      [&session](const std::string& cmd, const std::string& text) { session.SetCommand(cmd, text); },
      std::chrono::seconds(15));
  TDeviceSettings wanted = dialog.Wanted();
  wanted.Mode = 0;
  wanted.Channels = 3;
  dialog.SetWanted(wanted);
  ASSERT_TRUE(dialog.Apply());
  ASSERT_TRUE(PollUntil([&] { return dialog.ApplyButton()->isEnabled() && !dialog.StatusText().startsWith("Step"); }));
  EXPECT_EQ(dialog.StatusText().toStdString(), TDeviceConfigThread::kDone);
  // The mode change restarts the store; its channel count returns with the next measurement.
  EXPECT_TRUE(PollUntil([&] { return ReadDeviceSettings(session) == wanted; }))
      << ::testing::PrintToString(ReadDeviceSettings(session));
}

}  // namespace

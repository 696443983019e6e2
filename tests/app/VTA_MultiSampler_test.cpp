#include "app/VTA_MultiSampler.h"

#include <gtest/gtest.h>

#include "core/QV_NumberText.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <tuple>

#include "../acquisition/QVSessionTestSupport.h"
#include "acquisition/VTA_SensorSession.h"
#include "acquisition/VTA_Sessions.h"
#include "core/AppPaths.h"
#include "core/SessionIndexMap.h"
#include "core/VTA_Settings.h"
#include "data/VTA_SensorDM.h"
#include "data/ZCT_DataManagement.h"
#include "logging/LogFileName.h"
#include "support/HandFedSensor.h"
#include "support/TempDir.h"

namespace {

std::vector<std::string> SplitLines(const std::string& text) { return SplitTextList(text, "\r\n"); }

// The last `count` fields of a data line, as numbers.
std::vector<std::optional<double>> Values(const std::string& line, size_t count, size_t width) {
  std::vector<std::optional<double>> values;
  if (line.size() < count * width) return values;
  for (size_t pos = line.size() - count * width; pos < line.size(); pos += width) {
    std::string field = line.substr(pos, width);
    std::replace(field.begin(), field.end(), ',', '.');
    // A channel without a value yet shows dashes.
    values.push_back(field.find_first_of("0123456789") == std::string::npos ? std::nullopt
                                                                            : std::optional(std::stod(field)));
  }
  return values;
}

// A counter session on the stepped simulator feeding the application's multi-sampler, whose
// definitions come from the "Log_" keys of the settings file.
class MultiSamplerDemo : public ::testing::Test {
 protected:
  MultiSamplerDemo()
      : paths_(TAppPaths::Resolve(dir_.Path(), "", "", "")),
        settings_(dir_.File("VTA_App.ini"), paths_, false),
        component_(Config()) {
    settings_.SetValue("INI_Version", TVTASettings::kCurrentVersionFormat);
    TSessionHandlers handlers;
    handlers.OnMsg = [this](int32_t id, int32_t code, int32_t, TMsgType type, const std::string& text, bool) {
      if (id == -2) logMessages_.push_back({code, type, text});
    };
    handlers.SyncList = &sync;
    TQVSessionEnv env;
    env.Sampler = &component_.Sink();
    env.Clock = &clock;
    env.Options = [this] { return options_; };
    auto made = TQVSessionItem::Make(log.Id(), 0, handlers, env);
    counter_ = made.get();
    lists_.AddSession(std::move(made));
  }
  ~MultiSamplerDemo() override {
    if (counter_) counter_->CloseDevice(true);
    component_.Stop();  // before the sessions go
  }

  TMultiSamplerConfig Config() {
    TMultiSamplerConfig config;
    config.Clock = &clock;
    config.ProgramFolder = dir_.Path();
    config.OnMsg = [this](TMsgType type, int32_t code, const std::string& text) {
      logMessages_.push_back({code, type, text});
    };
    return config;
  }

  // The simulator steps 100 ms of instrument time per step; the session reads what is ready.
  void Open() {
    counter_->SetOpenParams("DemoData", ctDemoNone, kDefaultSessionColor, "");
    Multi_GetSource(counter_->MultiId())->SetSimulatorDriving(clock, false);
    ASSERT_EQ(counter_->OpenDevice(), "");
    if (auto* simulator = Simulator(counter_->MultiId())) simulator->SetRandomSeed(7);
  }
  void RunSteps(int steps) {
    for (int i = 0; i < steps; ++i) {
      if (auto* simulator = Simulator(counter_->MultiId())) simulator->SimulThread()->Step();
      clock.Advance(std::chrono::milliseconds(100));
      for (int guard = 0; guard < 100000; ++guard)
        if (!counter_->GetReport() && Multi_GetBufferAmount(counter_->MultiId()) == 0) break;
    }
  }

  TLogCapture log;
  TManualClock clock;
  TSyncList sync;
  TTempDir dir_;
  TAppPaths paths_;
  TVTASettings settings_;
  TVTA_MultiSampler component_;
  TSessionLists lists_;
  TQVSessionItem* counter_ = nullptr;
  std::vector<TSessionMsg> logMessages_;
  TQVSessionOptions options_;
};

TEST_F(MultiSamplerDemo, ALogDefinitionFromTheSettingsWritesTheStoresFrequencies) {
  settings_.SetValue("Log_DefsCount", int32_t{1});
  settings_.SetValue("Log_1_Count", int32_t{1});
  settings_.SetValue("Log_1_FileName", dir_.File("logs/Demo.txt"));
  settings_.SetValue("Log_1_Simple1_SessionIndex", int32_t{0});
  settings_.SetValue("Log_1_Simple1_LogTypes", int32_t{2});
  settings_.SetValue("Log_1_Simple1_Enabled1", std::string("1111") + std::string(20, '0'));
  component_.ReadSettings(settings_, lists_);
  EXPECT_TRUE(component_.LogFileActive());

  Open();
  std::vector<std::vector<double>> storeRows;
  int32_t seen = 0;
  for (int step = 0; step < 80; ++step) {
    RunSteps(1);
    const int32_t count = counter_->ZCT_DM().Count(hsNone);
    if (count == seen) continue;
    seen = count;
    std::vector<double> row = counter_->ZCT_DM().GetLastFrequDiff(false);
    for (size_t k = 0; k < row.size(); ++k) row[k] += counter_->ZCT_DM().NomFreq(static_cast<int32_t>(k + 1));
    storeRows.push_back(row);
  }

  const std::string file = component_.Sampler().FileName(0);
  ASSERT_FALSE(file.empty());
  EXPECT_EQ(file.rfind(dir_.File("logs/Demo_"), 0), 0u);
  EXPECT_NE(std::find(logMessages_.begin(), logMessages_.end(), TSessionMsg{91, mtInfo, "Log opened " + file}),
            logMessages_.end());

  std::vector<std::string> data;
  for (const std::string& line : SplitLines(ReadWholeFile(file)))
    if (!line.empty() && line[0] != '#') data.push_back(line);
  ASSERT_GE(data.size(), 3u);
  ASSERT_LE(data.size(), storeRows.size());
  // Each report gave one line; the last lines are the last reports of the store.
  const size_t offset = storeRows.size() - data.size();
  int compared = 0;
  for (size_t i = 0; i < data.size(); ++i) {
    const std::vector<std::optional<double>> logged = Values(data[i], 4, ZCT_FrequencyWidth);
    const std::vector<double>& stored = storeRows[offset + i];
    ASSERT_EQ(logged.size(), 4u) << data[i];
    for (size_t k = 0; k < 4; ++k) {
      if (!logged[k]) continue;  // no frequency yet
      EXPECT_NEAR(*logged[k], stored[k], 1e-6) << "line " << i << " channel " << k + 1;
      ++compared;
    }
  }
  EXPECT_GE(compared, 8);

  TVTASettings saved(dir_.File("saved.ini"), paths_, false);
  component_.SaveSettings(saved, TSessionIndexMap({0}));
  EXPECT_EQ(saved.GetValue("Log_DefsCount", int32_t{0}), 1);
  EXPECT_EQ(saved.GetValue("Log_1_FileName", ""), dir_.File("logs/Demo.txt"));
}

// A sensor beside the counter: each line carries the sensor's newest values, and a range warning
// that is to be logged becomes a message line of the file while the user is warned too.
TEST_F(MultiSamplerDemo, ASensorsValuesAndItsLoggedWarningJoinTheCountersFile) {
  std::vector<TSessionMsg> sensorMessages;
  TSessionHandlers handlers;
  handlers.OnMsg = [&](int32_t, int32_t code, int32_t, TMsgType type, const std::string& text, bool) {
    sensorMessages.push_back({code, type, text});
  };
  handlers.SyncList = &sync;
  TQVSessionEnv env;
  env.Sampler = &component_.Sink();
  env.Clock = &clock;
  env.Options = [this] { return options_; };
  auto made = TSensorSessionItem::Make(-1, 1, handlers, env);
  THandFedSensor* device = nullptr;
  made->SetDeviceMaker([&](bool, const std::string&, int32_t logId, const TClock& c, std::string&) {
    auto fed = std::make_unique<THandFedSensor>(logId, c);
    device = fed.get();
    return fed;
  });
  made->SetOpenParams("TCW122B-CM: 192.0.2.7", 0, kDefaultSessionColor, "");
  ASSERT_EQ(made->OpenDevice(), "");
  made->SetRangeInfo(1, {0, 30, true});
  made->SetSensorAlarm({1, 0, true});
  TSensorSessionItem& sensor = *made;
  lists_.AddSession(std::move(made));

  settings_.SetValue("Log_DefsCount", int32_t{1});
  settings_.SetValue("Log_1_Count", int32_t{2});
  settings_.SetValue("Log_1_AddHeader", false);
  settings_.SetValue("Log_1_FileName", dir_.File("logs/Room.txt"));
  settings_.SetValue("Log_1_Simple1_SessionIndex", int32_t{0});
  settings_.SetValue("Log_1_Simple1_LogTypes", int32_t{2});
  settings_.SetValue("Log_1_Simple1_Enabled1", std::string("1111"));
  settings_.SetValue("Log_1_Simple2_SessionIndex", int32_t{1});
  settings_.SetValue("Log_1_Simple2_LogTypes", int32_t{1});
  settings_.SetValue("Log_1_Simple2_Enabled1", std::string("11"));
  component_.ReadSettings(settings_, lists_);
  Open();
  for (int step = 1; step <= 60; ++step) {
    RunSteps(1);
    if (step % 10 != 5) continue;
    device->Values({step == 35 ? 35.0 : 20.0 + step / 10, 50});
    EXPECT_TRUE(sensor.GetReport());
  }
  sensor.CloseDevice(true);

  // The counter's first mode report starts a second file; both count, in order.
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir_.File("logs"))) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  std::string text;
  for (const auto& file : files) text += ReadWholeFile(file);
  std::vector<double> sensorValues;
  int warnings = 0;
  for (const std::string& line : SplitLines(text)) {
    // A message line follows the time of the line before it.
    if (line.ends_with("# # Sensor warning on channel 1: 35.00 #")) ++warnings;
    if (line.empty() || line.find('#') != std::string::npos) continue;
    const std::vector<std::optional<double>> values = Values(line, 2, kSensorFieldWidth);
    ASSERT_EQ(values.size(), 2u) << line;
    if (values[0] && (sensorValues.empty() || sensorValues.back() != *values[0])) sensorValues.push_back(*values[0]);
  }
  EXPECT_EQ(warnings, 1) << text;
  // The values in the order they came; each line takes the newest, so 21 (superseded by 22 before
  // the next line, the counter's restart having skipped one) does not show.
  EXPECT_EQ(sensorValues, (std::vector<double>{20, 22, 35, 24, 25})) << text;
  EXPECT_NE(std::find(sensorMessages.begin(), sensorMessages.end(),
                      TSessionMsg{42, mtWarning, "Sensor warning on channel 1: 35.00"}),
            sensorMessages.end());
}

TEST_F(MultiSamplerDemo, RemovingTheSessionClosesItsFileWithTheReason) {
  settings_.SetValue("Log_DefsCount", int32_t{1});
  settings_.SetValue("Log_1_Count", int32_t{1});
  settings_.SetValue("Log_1_FileName", dir_.File("Demo.txt"));
  settings_.SetValue("Log_1_Simple1_LogTypes", int32_t{2});
  settings_.SetValue("Log_1_Simple1_Enabled1", std::string("1"));
  component_.ReadSettings(settings_, lists_);
  Open();
  RunSteps(30);
  const std::string file = component_.Sampler().FileName(0);
  ASSERT_FALSE(file.empty());
  component_.SessionRemoving(*counter_);
  EXPECT_EQ(component_.Sampler().FileName(0), "");
  EXPECT_EQ(logMessages_.back(), (TSessionMsg{92, mtInfo, "Log closed (Source A closed): " + file}));
  counter_->CloseDevice(true);
  lists_.RemoveSession(0);
  counter_ = nullptr;
  component_.SessionListChanged(lists_);
  EXPECT_FALSE(component_.Sampler().Definition(0)) << "a definition without sources goes";
}

// A folder that cannot be made: the files go to the log root, the user is told where, and the
// settings keep the user's folder so that it is tried again at the next start.
TEST_F(MultiSamplerDemo, AnUnusableFolderIsReplacedByTheLogRootAndTheUserIsTold) {
  WriteWholeFile(dir_.File("afile"), "x");
  settings_.SetValue("Log_DefsCount", int32_t{1});
  settings_.SetValue("Log_1_Count", int32_t{1});
  settings_.SetValue("Log_1_FileName", dir_.File("afile/logs/Demo.txt"));
  settings_.SetValue("Log_1_Simple1_LogTypes", int32_t{2});
  settings_.SetValue("Log_1_Simple1_Enabled1", std::string("1"));
  component_.ReadSettings(settings_, lists_);
  ASSERT_TRUE(component_.Sampler().Definition(0));
  EXPECT_EQ(component_.Sampler().Definition(0)->FileName(), dir_.File("Demo.txt"));
  EXPECT_EQ(logMessages_, (std::vector<TSessionMsg>{{91, mtWarning, "Log folder " + dir_.File("afile/logs/") +
                                                                       " cannot be created, log files go to " +
                                                                       dir_.Path() + " instead"}}));
  TVTASettings saved(dir_.File("saved.ini"), paths_, false);
  component_.SaveSettings(saved, TSessionIndexMap({0}));
  EXPECT_EQ(saved.GetValue("Log_1_FileName", ""), dir_.File("afile/logs/Demo.txt"));
}

// The interval-counter copy reads no reports: its files are dated by its counter session's time,
// or by the PC clock while that is not known either, never by an unknown date.
TEST_F(MultiSamplerDemo, TheIntervalCounterCopyDatesItsFilesByItsCounterSession) {
  options_.LogTimeSourceZCT = true;
  counter_->UpdateOptions(0);
  TSessionItem& copy = lists_.AddCopy(TQVSessionItem::CopyIVCPart(*counter_));
  const TSessionSamplerSource source(copy, clock, false, true);
  EXPECT_FALSE(DateTimeKnown(counter_->ZCTDateTime()));
  EXPECT_DOUBLE_EQ(source.GetDateTime(), PcLogDateTime(clock, false));
  Open();
  RunSteps(30);
  ASSERT_TRUE(DateTimeKnown(counter_->ZCTDateTime()));
  clock.Advance(std::chrono::hours(3));  // the PC clock goes its own way
  EXPECT_DOUBLE_EQ(source.GetDateTime(), counter_->ZCTDateTime());
  EXPECT_EQ(LogFileCandidate(SplitLogFilePattern(dir_.File("IVC.txt"), ""), false, source.GetDateTime(), 1),
            dir_.File("IVC_" + FormatLogTime("YYMMDD", counter_->ZCTDateTime()) + "_1.txt"));
}

// At a fast rate every line is one interval after the one before, from the switch to that rate on:
// no counter time is written twice.
TEST_F(MultiSamplerDemo, CounterTimesAtAFastRateAdvanceByOneIntervalPerLine) {
  options_.LogTimeFormat = "HHNNSS.ZZZ";
  options_.LogTimeSourceZCT = true;
  counter_->UpdateOptions(0);
  settings_.SetLogTimeFormat("HHNNSS.ZZZ");
  settings_.SetLogTimeSourceZCT(true);
  settings_.SetValue("Log_DefsCount", int32_t{1});
  settings_.SetValue("Log_1_Count", int32_t{1});
  settings_.SetValue("Log_1_FileName", dir_.File("Fast.txt"));
  settings_.SetValue("Log_1_AddHeader", false);
  settings_.SetValue("Log_1_Simple1_LogTypes", int32_t{2});
  settings_.SetValue("Log_1_Simple1_Enabled1", std::string("1"));
  component_.ReadSettings(settings_, lists_);
  Open();
  counter_->SetCommand("\x23", "10ms");
  RunSteps(400);
  std::vector<int64_t> times;
  for (const auto& entry : std::filesystem::directory_iterator(dir_.Path())) {
    if (!entry.path().filename().string().starts_with("Fast_")) continue;
    for (const std::string& line : SplitLines(ReadWholeFile(entry.path().string()))) {
      const auto digits = [&](size_t pos, size_t n) { return std::stoll(line.substr(pos, n)); };
      times.push_back(((digits(0, 2) * 60 + digits(2, 2)) * 60 + digits(4, 2)) * 1000 + digits(7, 3));
    }
  }
  std::sort(times.begin(), times.end());
  const auto fast = std::adjacent_find(times.begin(), times.end(), [](int64_t a, int64_t b) { return b - a == 10; });
  ASSERT_NE(fast, times.end());
  EXPECT_GE(times.end() - fast, 100);
  for (auto t = fast; t + 1 != times.end(); ++t) EXPECT_EQ(t[1] - t[0], 10) << "at " << t[0];
}

// The log lines timed by the PC or by the counter; the time format carries the date, so every
// data line says which day it belongs to.
// The start's milliseconds decide how far the counter's clock (whole seconds) is off the PC's.
class MultiSamplerMidnight : public MultiSamplerDemo,
                             public ::testing::WithParamInterface<std::tuple<bool, int>> {};

TEST_P(MultiSamplerMidnight, EveryLineGoesToTheFileOfItsOwnDay) {
  const auto [counterTime, startMs] = GetParam();
  clock.SetWall(TWallTime{std::chrono::sys_days{std::chrono::year{2026} / 12 / 8}} + std::chrono::hours(23) +
                std::chrono::minutes(59) + std::chrono::seconds(55) + std::chrono::milliseconds(startMs));
  options_.LogTimeFormat = "YYMMDD HHNNSS.ZZZ";
  options_.LogTimeSourceZCT = counterTime;
  options_.LogTimeZoneSystem = true;
  counter_->UpdateOptions(0);
  settings_.SetLogTimeFormat("YYMMDD HHNNSS.ZZZ");
  settings_.SetLogTimeSourceZCT(counterTime);
  settings_.SetLogTimeZoneSystem(true);
  settings_.SetValue("Log_DefsCount", int32_t{1});
  settings_.SetValue("Log_1_Count", int32_t{1});
  settings_.SetValue("Log_1_FileName", dir_.File("Demo.txt"));
  settings_.SetValue("Log_1_AddHeader", false);
  settings_.SetValue("Log_1_Simple1_LogTypes", int32_t{2});
  settings_.SetValue("Log_1_Simple1_Enabled1", std::string("1"));
  component_.ReadSettings(settings_, lists_);
  Open();
  RunSteps(100);  // ten seconds, five of them on the next day

  // Files also change for other reasons (the first header); each holds only lines of its day.
  std::map<std::string, int> linesOfDay;
  for (const auto& entry : std::filesystem::directory_iterator(dir_.Path())) {
    const std::string name = entry.path().filename().string();
    if (!name.starts_with("Demo_")) continue;
    const std::string day = name.substr(5, 6);
    for (const std::string& line : SplitLines(ReadWholeFile(entry.path().string()))) {
      EXPECT_EQ(line.substr(0, 6), day) << name << ": " << line;
      ++linesOfDay[day];
    }
  }
  EXPECT_GE(linesOfDay["261208"], 2);
  EXPECT_GE(linesOfDay["261209"], 4);
}

INSTANTIATE_TEST_SUITE_P(PcAndCounterTime, MultiSamplerMidnight,
                         ::testing::Combine(::testing::Bool(), ::testing::Values(40, 400, 600)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param) ? "CounterTime" : "PcTime") + "Start" +
                                  std::to_string(std::get<1>(info.param)) + "ms";
                         });

}  // namespace

namespace {

// A settings file of format 5 kept a linear combination of counter channels and marked it for
// logging in row 2; now the session makes it a virtual channel and the definition logs that.
TEST_F(MultiSamplerDemo, ALinearCombinationOfAnOlderFileIsLoggedAsItsVirtualChannel) {
  settings_.SetValue("INI_Version", int32_t{5});
  settings_.SetValue("Session_0_LC_Names", std::string("Sum, LC_A2, "));
  settings_.SetValue("Session_0_LC1_Mult1_4", std::string("1 0 0 0 "));
  settings_.SetValue("Log_DefsCount", int32_t{1});
  settings_.SetValue("Log_1_Count", int32_t{1});
  settings_.SetValue("Log_1_AddHeader", false);
  settings_.SetValue("Log_1_FileName", dir_.File("LC.txt"));
  settings_.SetValue("Log_1_Simple1_LogTypes", int32_t{2});
  settings_.SetValue("Log_1_Simple1_Enabled1", std::string("1"));
  settings_.SetValue("Log_1_Simple1_Enabled2", std::string("1"));
  ASSERT_LT(settings_.VersionFormat(), TVTASettings::kCurrentVersionFormat);
  component_.ReadSettings(settings_, lists_);

  const std::unique_ptr<TLogDefinition> def = component_.Sampler().Definition(0);
  ASSERT_TRUE(def);
  ASSERT_EQ(def->Count(), 2);
  EXPECT_EQ(def->Definition(0).LogEnabledString(2), std::string(24, '0'));
  const TSimpleLogDefinition& virt = def->Definition(1);
  EXPECT_EQ(virt.StringClass(), sscVirtual);
  EXPECT_TRUE(virt.HasLogType(kLogTypeFreqAbsVirtual));
  EXPECT_EQ(virt.LogEnabledString(1), "1" + std::string(23, '0'));

  Open();
  RunSteps(80);
  const std::string file = component_.Sampler().FileName(0);
  ASSERT_FALSE(file.empty());
  int compared = 0;
  for (const std::string& line : SplitLines(ReadWholeFile(file))) {
    if (line.empty() || line[0] == '#') continue;
    // Date, time, then channel 1's frequency and the virtual channel of factor 1 on it, each after
    // its sync column.
    std::vector<std::string> fields = SplitText(line, " ");
    std::erase(fields, std::string());
    ASSERT_EQ(fields.size(), 6u) << line;
    if (fields[3].find_first_of("0123456789") == std::string::npos) continue;  // no frequency yet
    EXPECT_NEAR(std::stod(fields[5]), std::stod(fields[3]), 1e-6) << line;
    ++compared;
  }
  EXPECT_GE(compared, 3);
}

}  // namespace

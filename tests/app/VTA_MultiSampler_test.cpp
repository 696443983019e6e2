#include "app/VTA_MultiSampler.h"

#include <gtest/gtest.h>

#include "core/QV_NumberText.h"

#include <optional>

#include "../acquisition/QVSessionTestSupport.h"
#include "acquisition/VTA_Sessions.h"
#include "core/AppPaths.h"
#include "core/SessionIndexMap.h"
#include "core/VTA_Settings.h"
#include "data/ZCT_DataManagement.h"
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

}  // namespace

#pragma once
// A counter session with real counter and interval-counter stores for the view tests, and helpers
// that feed those stores with report lines.
#include <memory>
#include <string>
#include <vector>

#include "acquisition/App_Sessions.h"
#include "core/QV_NumberText.h"
#include "data/IVC_DataManagement.h"
#include "data/ZCT_DataManagement.h"
#include "data/ZCT_TestSupport.h"
#include "ui/MDIChild.h"

class TTestCounterSession : public TSessionItem {
 public:
  explicit TTestCounterSession(int32_t index) : TSessionItem(-1, index, {}) {
    FIVC = TDataManagement::Create<TIVC_DataManagement>(-1, index, false);
  }
  ~TTestCounterSession() override { BaseDestroy(); }

  static std::unique_ptr<TTestCounterSession> Make(int32_t index, const std::string& openString = "DemoData",
                                                   const std::string& friendly = "") {
    auto session = Create<TTestCounterSession>(index);
    session->SetOpenParams(openString, 0, 0x00FFFF, friendly);
    return session;
  }

  TZCT_DataManagement& Store() { return *static_cast<TZCT_DataManagement*>(DataManagement()); }
  TIVC_DataManagement& IVC() { return *FIVC; }
  void SetType(int32_t type) { FSessionType = type; }
  using TSessionItem::SetIntervalMs;
  TQV_ChannelData& Channels() { return FChannelData; }

  // One sample of phases (whole cycles + fraction) per channel.
  bool AddPhases(const std::vector<Phase>& phases, uint16_t header = zcttest::kPhase1s) {
    std::vector<std::string> fields;
    for (const Phase& p : phases) fields.push_back(zcttest::PhaseField(p));
    return Store().ExtractData(zcttest::Line(header, fields), -1);
  }
  // One interval-counter report with a value in nanoseconds per channel.
  bool AddIntervals(const std::vector<double>& values) {
    std::string line = "7900;";
    for (double v : values) line += FormatFloatFixed(v, 13, 2, '.') + ";";
    return FIVC->AddIVC(line);
  }

  void SetChannelData(const TQV_ChannelData& Value) override { FChannelData = Value; }
  std::shared_ptr<TDataManagement> CreateDatamanager() override {
    return TDataManagement::Create<TZCT_DataManagement>(LogId(), Index(), IsCopy());
  }
  void AddError(int32_t, int32_t, const std::string&) override {}
  void AddInfo(int32_t, int32_t, const std::string&) override {}
  void AddWarning(int32_t, int32_t, const std::string&) override {}
  void UpdateOptions(int32_t) override {}
  void SetCommand(const std::string&, const std::string&) override {}
  std::string Debug(bool) override { return {}; }
  void DebugFlags(bool, bool) override {}
  std::string OpenDevice() override { return {}; }
  void CloseDevice(bool) override {}
  bool GetReport() override { return false; }

 private:
  std::unique_ptr<TIVC_DataManagement> FIVC;
};

// Views find the interval-counter store of a test session through the environment.
inline TViewEnvironment TestEnvironment(char separator = '.') {
  TViewEnvironment env;
  env.FormatWin = [separator] { return TFormatSettings{separator, separator == '.' ? ',' : '.'}; };
  env.IVCStore = [](TSessionItem& s) { return &static_cast<TTestCounterSession&>(s).IVC(); };
  return env;
}

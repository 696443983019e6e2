#pragma once
#include <algorithm>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "acquisition/FakeSession.h"
#include "acquisition/VTA_Sync.h"
#include "app/IVTA_Timers.h"
#include "app/IVTA_UserInterface.h"
#include "app/VTA_Application.h"
#include "core/AppPaths.h"
#include "core/LogUnit.h"
#include "core/SessionIndexMap.h"
#include "core/VTA_DebugConf.h"
#include "core/VTA_Settings.h"
#include "support/TempDir.h"

// What a test wants a session of one index to do; kept beyond the life of the sessions.
struct TSessionControl {
  std::shared_ptr<TFakeProbe> Probe = std::make_shared<TFakeProbe>();
  std::string OpenError;            // OpenDevice fails with it
  uint32_t Serial = kSerialNumberUnknown;
  bool ThrowSerial = false;
  int Opens = 0;
};

// A fake session whose opening and serial number the test controls.
class TAppFakeSession : public TFakeSession {
 public:
  TAppFakeSession(int32_t index, std::shared_ptr<TSessionControl> control, TSessionHandlers handlers, int32_t logId)
      : TFakeSession(index, control->Probe, std::move(handlers), logId), FControl(std::move(control)) {}

  std::string OpenDevice() override {
    ++FControl->Opens;
    if (!FControl->OpenError.empty()) return FControl->OpenError;
    return TFakeSession::OpenDevice();
  }
  uint32_t GetSerialNumber() override {
    if (FControl->ThrowSerial) throw std::runtime_error("no serial");
    return FControl->Serial;
  }

 private:
  std::shared_ptr<TSessionControl> FControl;
};

// Records every hook as a short text and answers as the test says.
class TRecordingUI : public IVTA_UserInterface {
 public:
  std::vector<std::string> Events;
  std::vector<TSourceDialogPreset> Presets;
  std::deque<std::optional<TSourceDialogResult>> Answers;  // empty = cancel
  bool QuestionAnswer = false;
  bool MessageView = false;
  std::set<std::string> Throwing;  // hooks that throw std::runtime_error("boom")
  std::vector<int> SavedMap;       // map.Map(0..3) at the last save

  size_t Count(const std::string& event) const { return size_t(std::count(Events.begin(), Events.end(), event)); }
  bool Has(const std::string& event) const { return Count(event) > 0; }
  void Clear() { Events.clear(); }

  void ShowSplash(const std::string& text) override { Record("ShowSplash " + text); }
  void HideSplash() override { Record("HideSplash"); }
  void MessageBox(const std::string& text) override { Record("MessageBox " + text); }
  bool Question(const std::string& text) override {
    Record("Question " + text);
    return QuestionAnswer;
  }
  void ErrorBox(const std::string& text) override { Record("ErrorBox " + text); }
  std::optional<TSourceDialogResult> AskConnection(const TSourceDialogPreset& preset) override {
    Record("AskConnection " + std::to_string(preset.Index));
    Presets.push_back(preset);
    if (Answers.empty()) return std::nullopt;
    auto answer = Answers.front();
    Answers.pop_front();
    return answer;
  }
  void SessionAdded(TSessionItem& s) override { Record("SessionAdded " + std::to_string(s.Index())); }
  void SessionUpdated(TSessionItem& s) override { Record("SessionUpdated " + std::to_string(s.Index())); }
  void SessionRemoving(TSessionItem& s, bool keepViews) override {
    Record("SessionRemoving " + std::to_string(s.Index()) + (keepViews ? " keep" : ""));
  }
  void SessionListChanged(const TSessionLists&) override { Record("SessionListChanged"); }
  void SyncNotice(const TMainSyncData& notice, TSessionItem* sender) override {
    Record("SyncNotice " + std::to_string(notice.What) + " " + (sender ? std::to_string(sender->Index()) : "nil"));
  }
  void UpdateViews() override { Record("UpdateViews"); }
  bool MessageViewExists() const override { return MessageView; }
  void CreateMessageView() override {
    Record("CreateMessageView");
    MessageView = true;
  }
  void UpdateMessageView() override { Record("UpdateMessageView"); }
  void ShowPopup(const TMessageItem& item) override { Record("ShowPopup " + item.Text); }
  void UpdateInfo() override { Record("UpdateInfo"); }
  void UpdateStatus() override { Record("UpdateStatus"); }
  void ReadWindowSettings(TVTASettings& settings, const TSessionLists&) override {
    Record("ReadWindowSettings");
    settings.GetValue("Main_Left", int32_t(7));
  }
  void SaveWindowSettings(TVTASettings& settings, const TSessionIndexMap& map) override {
    Record("SaveWindowSettings");
    settings.SetValue("View_1_Id", int32_t(1));
    SavedMap.clear();
    for (int i = 0; i < 4; ++i) SavedMap.push_back(map.Map(i));
  }

 private:
  void Record(const std::string& event) {
    Events.push_back(event);
    for (const std::string& hook : Throwing)
      if (event.rfind(hook, 0) == 0) throw std::runtime_error("boom");
  }
};

class TRecordingTimers : public IVTA_Timers {
 public:
  bool Display = false;
  bool Check = false;
  int DisplayChanges = 0;
  void SetDisplayTimer(bool enabled) override {
    Display = enabled;
    ++DisplayChanges;
  }
  void SetCheckTimer(bool enabled) override { Check = enabled; }
};

// A fresh configuration and data folder per test, fake sessions of types 0 and 1 (1 = sensor).
class AppTest : public ::testing::Test {
 protected:
  TAppPaths Paths() const { return TAppPaths::Resolve(dir.File("config"), "", dir.File("data"), dir.Path()); }
  std::string IniFile() const { return Paths().SettingsFile(); }
  std::string Ini() const { return ReadWholeFile(IniFile()); }
  void WriteIni(const std::string& text) {
    Paths().CreateConfigDir();
    WriteWholeFile(IniFile(), text);
  }

  std::shared_ptr<TSessionControl> Control(int32_t index) {
    auto& control = controls[index];
    if (!control) control = std::make_shared<TSessionControl>();
    return control;
  }

  TVTA_AppOptions Options() {
    TVTA_AppOptions options;
    options.ProgramPath = "/opt/vta/VTA_App";
    options.MakeSessionFactory = [this](const TSessionHandlers& handlers, TDebugConf& conf, TVTASettings&) -> TSessionFactory {
      return [this, handlers, &conf](int32_t type, int32_t index) -> std::unique_ptr<TSessionItem> {
        if (type != kSessionTypeCounter && type != kSessionTypeSensor) return nullptr;
        auto session = TSessionItem::Create<TAppFakeSession>(index, Control(index), handlers, conf.SourceLogId(index));
        session->SetType(type);
        return session;
      };
    };
    return options;
  }

  std::unique_ptr<TVTA_Application> MakeApp(TVTA_AppOptions options) {
    return std::make_unique<TVTA_Application>(Paths(), std::move(options), ui, timers);
  }
  std::unique_ptr<TVTA_Application> MakeApp() { return MakeApp(Options()); }

  static TSourceDialogResult Answer(const std::string& openString, int32_t type = kSessionTypeCounter) {
    TSourceDialogResult answer;
    answer.SessionType = type;
    answer.OpenString = openString;
    answer.FriendlyName = "lab";
    return answer;
  }

  static std::string Log(const TVTA_Application& app) { return ReadWholeFile(InternLogFileName(app.LogId())); }
  static bool LogHas(const TVTA_Application& app, const std::string& text) {
    return Log(app).find(text) != std::string::npos;
  }

  static std::string StoredSessions(int count, const std::string& openPrefix = "fake:") {
    std::string text = "SessionCount=" + std::to_string(count) + "\n";
    for (int i = 0; i < count; ++i)
      text += "Session_" + std::to_string(i) + "_OpenString=" + openPrefix + std::to_string(i) + "\n";
    return text;
  }

  TTempDir dir;
  TRecordingUI ui;
  TRecordingTimers timers;
  std::map<int32_t, std::shared_ptr<TSessionControl>> controls;
};

#pragma once
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "acquisition/FakeSession.h"
#include "acquisition/VTA_SensorSession.h"
#include "app/VTA_SessionStatus.h"
#include "core/AppPaths.h"
#include "core/LogUnit.h"
#include "core/VTA_DebugConf.h"
#include "data/ZCT_DataManagement.h"
#include "support/TempDir.h"
#include "ui/MainForm.h"

// What the sessions of a test did: commands sent and option codes received, by session index.
struct TSentCommand {
  int32_t Index;
  std::string Cmd;
  std::string CmdText;
  bool operator==(const TSentCommand&) const = default;
};
struct TUiProbe {
  std::vector<TSentCommand> Commands;
  std::vector<std::pair<int32_t, int32_t>> Options;  // (session index, change code)
  std::map<int32_t, TCounterStatusValues> Status;    // what the status reader reports per index
  std::vector<int32_t> Freed;                        // indexes of the sessions freed so far
};

// A fake counter session with a real counter store that records what the window sends it.
class TRecordingSession : public TFakeSession {
 public:
  TRecordingSession(int32_t index, std::shared_ptr<TUiProbe> probe, TSessionHandlers handlers, int32_t logId)
      : TFakeSession(index, std::make_shared<TFakeProbe>(), std::move(handlers), logId), FProbe(std::move(probe)) {}
  ~TRecordingSession() override { FProbe->Freed.push_back(Index()); }

  void SetCommand(const std::string& Cmd, const std::string& CmdText) override {
    FProbe->Commands.push_back({Index(), Cmd, CmdText});
  }
  void UpdateOptions(int32_t what) override { FProbe->Options.emplace_back(Index(), what); }
  std::shared_ptr<TDataManagement> CreateDatamanager() override {
    return TDataManagement::Create<TZCT_DataManagement>(LogId(), Index(), IsCopy());
  }
  void SetInterval(int32_t ms) { SetIntervalMs(ms); }

 private:
  std::shared_ptr<TUiProbe> FProbe;
};

// A main window on fake sessions in a fresh configuration folder; its boxes and dialogs are
// answered by the test.
class MainFormTest : public ::testing::Test {
 protected:
  TAppPaths Paths() const { return TAppPaths::Resolve(dir.File("config"), "", dir.File("data"), dir.Path()); }
  std::string Ini() const { return ReadWholeFile(Paths().SettingsFile()); }
  void WriteIni(const std::string& text) {
    Paths().CreateConfigDir();
    WriteWholeFile(Paths().SettingsFile(), text);
  }
  static std::string StoredSessions(int count) {
    std::string text = "SessionCount=" + std::to_string(count) + "\n";
    for (int i = 0; i < count; ++i) text += "Session_" + std::to_string(i) + "_OpenString=fake:" + std::to_string(i) + "\n";
    return text;
  }

  TMainFormOptions Options() {
    TMainFormOptions options;
    options.App.ProgramPath = "/opt/vta/VTA_App";
    options.App.DllInfo = [] { return std::string("20.2.7 25-01-07"); };
    options.App.MakeSessionFactory = [this](const TSessionHandlers& handlers, TDebugConf& conf, TVTASettings&) -> TSessionFactory {
      return [this, handlers, &conf](int32_t type, int32_t index) -> std::unique_ptr<TSessionItem> {
        // Sensor sessions are real: the demo sensor needs no hardware.
        if (type == kSessionTypeSensor) return TSensorSessionItem::Make(conf.SourceLogId(index), index, handlers);
        if (type != kSessionTypeCounter) return nullptr;
        auto session = TSessionItem::Create<TRecordingSession>(index, probe, handlers, conf.SourceLogId(index));
        session->SetType(type);
        return session;
      };
    };
    options.App.StatusReader = [this](TSessionItem& session, TSessionStatus& status) {
      if (const auto it = probe->Status.find(session.Index()); it != probe->Status.end()) SetCounterStatus(status, it->second);
    };
    options.Dialogs.Message = [this](const QString& caption, const QString& text) {
      messages.push_back(caption.toStdString() + ": " + text.toStdString());
    };
    options.Dialogs.Question = [this](const QString&, const QString& text) {
      questions.push_back(text.toStdString());
      return questionAnswer;
    };
    options.Dialogs.Connection = [this](QWidget*, const TSourceDialogPreset&) -> std::optional<TSourceDialogResult> {
      ++connectionRequests;
      if (answers.empty()) return std::nullopt;
      auto answer = answers.front();
      answers.pop_front();
      return answer;
    };
    // Settings dialogs are handed to the test, which edits and closes them; none: cancelled.
    options.Dialogs.Settings = [this](QDialog& dialog) { return settingsDialog && settingsDialog(dialog); };
    return options;
  }

  TMainForm& MakeForm(TMainFormOptions options) {
    form = std::make_unique<TMainForm>(Paths(), std::move(options));
    return *form;
  }
  TMainForm& MakeForm() { return MakeForm(Options()); }
  // A window started on `count` stored sessions (all open).
  TMainForm& Started(int count) {
    WriteIni(StoredSessions(count) + "ChildCount=0\n");
    MakeForm();
    EXPECT_TRUE(form->FormActivate());
    return *form;
  }

  TRecordingSession& Session(int32_t index) {
    return dynamic_cast<TRecordingSession&>(*form->App().Lists().GetSession(index));
  }
  QAction* Action(const char* name, int32_t session) { return form->SessionActions().Action(name, session); }

  static TSourceDialogResult Answer(const std::string& openString) {
    TSourceDialogResult answer;
    answer.OpenString = openString;
    return answer;
  }

  bool LogHas(const std::string& text) const {
    return ReadWholeFile(InternLogFileName(form->App().LogId())).find(text) != std::string::npos;
  }

  TTempDir dir;
  std::shared_ptr<TUiProbe> probe = std::make_shared<TUiProbe>();
  std::vector<std::string> messages;
  std::vector<std::string> questions;
  bool questionAnswer = false;
  std::deque<std::optional<TSourceDialogResult>> answers;
  int connectionRequests = 0;
  std::function<bool(QDialog&)> settingsDialog;
  std::unique_ptr<TMainForm> form;
};

// Whether a settings text holds the line (CR LF or LF ends).
inline bool HasLine(const std::string& text, const std::string& line) {
  return ("\n" + text).find("\n" + line + "\r\n") != std::string::npos ||
         ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

// The top menu with that caption, or none.
inline QMenu* TopMenu(QMainWindow& window, const QString& caption) {
  for (QAction* action : window.menuBar()->actions())
    if (action->text() == caption) return action->menu();
  return nullptr;
}

// One line per item: submenus indented by two blanks per level, separators as "-", disabled items
// marked " (off)".
inline void AppendMenuLines(const QMenu& menu, std::vector<std::string>& lines, int depth = 0) {
  const std::string indent(size_t(2 * depth), ' ');
  for (QAction* action : menu.actions()) {
    if (action->isSeparator()) {
      lines.push_back(indent + "-");
      continue;
    }
    lines.push_back(indent + action->text().toStdString() + (action->isEnabled() ? "" : " (off)"));
    if (action->menu()) AppendMenuLines(*action->menu(), lines, depth + 1);
  }
}
inline std::vector<std::string> MenuLines(const QMenu* menu) {
  std::vector<std::string> lines;
  if (menu) AppendMenuLines(*menu, lines);
  return lines;
}

#pragma once
#include <QObject>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

class QAction;
class QActionGroup;

// What a per-session menu command does; the handler tells them apart by this kind.
enum class TSessionCmd {
  Mode,
  Rate,
  Scrambler,
  ScramblerInUse,
  PPI,
  InfoShow,
  GetVersion,
  ReCenter,
  SyncEnable,
  ViewDebug,
  ClearTransmit,
  AllanRestart,
  AllanClearPersist,
  AllanConfig,
  LocalServer,
  Channel,
  ClockAlarm,
  DigitalInputs,
  NomFreq,
  HRQSettings,
  Calibrate,
  VirtualZCT,
  VirtualIVC,
  SensorAlarm,
  Config,
  Change,
  ReOpen,
  Remove
};

// One template action: name, caption, tag (a small value such as the mode number), radio group
// (0 = none) and whether it carries a check mark.
struct TActionTemplate {
  const char* Name;
  const char* Caption;
  int32_t Tag;
  int32_t Group;
  TSessionCmd Kind;
  bool Checkable;
};

// The template actions of the per-session commands and their clones. Session 0 uses the templates
// themselves; session i > 0 gets clones named template name + "_" + i, with tag + i * 256 and radio
// group i * 256 + template group, so that every session has its own radio choices. A handler takes
// the session index from bits 8 to 15 of the tag and the command value from bits 0 to 7.
class TSessionActions : public QObject {
 public:
  static constexpr int32_t kSessionStep = 256;
  using THandler = std::function<void(TSessionCmd kind, QAction& action)>;

  explicit TSessionActions(QObject* parent, THandler handler);
  ~TSessionActions() override;

  // The table of templates, in menu order within each kind.
  static const std::vector<TActionTemplate>& Templates();
  // The template of that name; throws std::out_of_range for an unknown name.
  static const TActionTemplate& Template(std::string_view name);
  static int32_t SessionOfTag(int32_t tag) { return (tag >> 8) & 0xFF; }
  static int32_t ValueOfTag(int32_t tag) { return tag & 0xFF; }
  static int32_t Tag(const QAction& action);
  static int32_t Group(const QAction& action);

  // The action of template `name` for a session: the template for session 0, else its clone,
  // created on first use. Throws std::out_of_range for an unknown name.
  QAction* Action(std::string_view name, int32_t session);
  // The actions of one kind for a session, in template order.
  std::vector<QAction*> Actions(TSessionCmd kind, int32_t session);
  // The session's actions that exist so far (no clone is created).
  std::vector<QAction*> ExistingActions(int32_t session) const;
  // The session is gone: its clones are freed; the templates of session 0 get their initial check
  // and enabled states back for the next session 0.
  void RemoveSession(int32_t session);

 private:
  QAction* MakeAction(const TActionTemplate& t, int32_t session);
  QActionGroup* GroupFor(int32_t group);

  THandler FHandler;
  std::map<std::pair<std::string, int32_t>, QAction*> FActions;  // (template name, session)
  std::map<int32_t, QActionGroup*> FGroups;
};

#include "ui/SessionActions.h"

#include <QAction>
#include <QActionGroup>
#include <QVariant>
#include <stdexcept>

namespace {

constexpr char kTagProperty[] = "tag";
constexpr char kGroupProperty[] = "group";

using K = TSessionCmd;

std::vector<TActionTemplate> BuildTemplates() {
  std::vector<TActionTemplate> t = {
      {"ModePhase", "Phase", 0, 2, K::Mode, true},
      {"ModePhaseAvg", "Phase Average", 1, 2, K::Mode, true},
      {"ModeFrequency", "Frequency", 2, 2, K::Mode, true},
      {"ModeFrequAvg", "Frequency Average", 3, 2, K::Mode, true},
      {"ModePhaseDiff", "Phase Difference", 4, 2, K::Mode, true},
      {"ModePhaseDiffAvg", "Phase Avg Difference", 5, 2, K::Mode, true},
      {"ModeRawData", "Raw Data", 6, 2, K::Mode, true},
      {"ModeRawDataAvg", "Raw Data Average", 7, 2, K::Mode, true},
  };
  static const char* const kRates[][2] = {{"Rate1ms", "1ms"},     {"Rate2ms", "2ms"},     {"Rate5ms", "5ms"},
                                          {"Rate10ms", "10ms"},   {"Rate20ms", "20ms"},   {"Rate50ms", "50ms"},
                                          {"Rate100ms", "100ms"}, {"Rate200ms", "200ms"}, {"Rate500ms", "500ms"},
                                          {"Rate1s", "1s"},       {"Rate2s", "2s"},       {"Rate5s", "5s"},
                                          {"Rate10s", "10s"},     {"Rate20s", "20s"}};
  for (int32_t i = 0; i < 14; ++i) t.push_back({kRates[i][0], kRates[i][1], i, 3, K::Rate, true});
  const std::vector<TActionTemplate> rest = {
      // The instrument's scrambler is set to something the menu cannot choose (header index 3).
      {"ScramblerInUse", "in use", 3, 4, K::ScramblerInUse, true},
      {"ScramblerOff", "Off", 0, 4, K::Scrambler, true},
      {"ScramblerAuto", "Auto", 14, 4, K::Scrambler, true},
      {"ScramblerTrim", "Trim", 15, 4, K::Scrambler, true},
      {"PPIactive", "Use PPI", 0, 0, K::PPI, true},
      {"InfoShowScrambler", "Show in Info Box", 3, 0, K::InfoShow, true},
      {"InfoShowLogging", "Show in Info Box", 4, 0, K::InfoShow, true},
      {"InfoShowAllan", "Show in Info Box", 6, 0, K::InfoShow, true},
      {"InfoShowPPI", "Show in Info Box", 7, 0, K::InfoShow, true},
      {"ActionGetVersion", "Version", 1, 0, K::GetVersion, false},
      {"ActionReCenter", "Diff Reset", 2, 0, K::ReCenter, false},
      {"ActionSyncEnable", "Sync Enable", 3, 0, K::SyncEnable, true},
      {"ActionViewDebug", "Show Heartbeats", 4, 0, K::ViewDebug, false},
      {"ActionClearTransmit", "Clear Buffer", 0, 0, K::ClearTransmit, false},
      {"SourceAllanRestart", "Restart Calculation", 1, 0, K::AllanRestart, false},
      {"SourceAllanClearPersist", "Clear Min-/Max Values", 2, 0, K::AllanClearPersist, false},
      {"SourceAllanConfig", "Configuration...", 0, 0, K::AllanConfig, false},
      {"LocalServer", "Run Local Server ...", 0, 0, K::LocalServer, true},
      {"SourceChannel", "Channel Colors/Names...", 0, 0, K::Channel, false},
      {"SourceClockAlarm", "Clock Warnings...", 0, 0, K::ClockAlarm, false},
      {"SourceDigitalInputs", "Digital-Input Names...", 0, 0, K::DigitalInputs, false},
      {"SourceNomFreq", "Nominal Frequencies...", 0, 0, K::NomFreq, false},
      {"SourceHRQSettings", "ZCT High Resolution Channels...", 0, 0, K::HRQSettings, false},
      {"SourceCalibrate", "IVC Calibration...", 0, 0, K::Calibrate, false},
      {"SourceVirtualZCTChannels", "Virtual ZCT Channels...", 0, 0, K::VirtualZCT, false},
      {"SourceVirtualIVCChannels", "Virtual IVC Channels...", 0, 0, K::VirtualIVC, false},
      {"SourceSensorAlarm", "Sensor Warnings...", 0, 0, K::SensorAlarm, false},
      {"SourceConfig", "Config Device...", 0, 0, K::Config, false},
      {"SourceChange", "&Change Source...", 0, 0, K::Change, false},
      {"SourceReOpen", "Re-Open Source", 0, 0, K::ReOpen, false},
      {"SourceRemove", "Remove Source", 0, 0, K::Remove, false},
  };
  t.insert(t.end(), rest.begin(), rest.end());
  return t;
}

}  // namespace

TSessionActions::TSessionActions(QObject* parent, THandler handler) : QObject(parent), FHandler(std::move(handler)) {}

TSessionActions::~TSessionActions() = default;

const std::vector<TActionTemplate>& TSessionActions::Templates() {
  static const std::vector<TActionTemplate> templates = BuildTemplates();
  return templates;
}

const TActionTemplate& TSessionActions::Template(std::string_view name) {
  for (const TActionTemplate& t : Templates())
    if (name == t.Name) return t;
  throw std::out_of_range("TSessionActions: no template " + std::string(name));
}

int32_t TSessionActions::Tag(const QAction& action) { return action.property(kTagProperty).toInt(); }

int32_t TSessionActions::Group(const QAction& action) { return action.property(kGroupProperty).toInt(); }

QAction* TSessionActions::Action(std::string_view name, int32_t session) {
  const TActionTemplate& t = Template(name);
  const auto key = std::make_pair(std::string(name), session);
  if (const auto it = FActions.find(key); it != FActions.end()) return it->second;
  QAction* action = MakeAction(t, session);
  FActions.emplace(key, action);
  return action;
}

std::vector<QAction*> TSessionActions::Actions(TSessionCmd kind, int32_t session) {
  std::vector<QAction*> actions;
  for (const TActionTemplate& t : Templates())
    if (t.Kind == kind) actions.push_back(Action(t.Name, session));
  return actions;
}

std::vector<QAction*> TSessionActions::ExistingActions(int32_t session) const {
  std::vector<QAction*> actions;
  for (const auto& [key, action] : FActions)
    if (key.second == session) actions.push_back(action);
  return actions;
}

void TSessionActions::RemoveSession(int32_t session) {
  for (auto it = FActions.begin(); it != FActions.end();) {
    if (it->first.second != session) {
      ++it;
      continue;
    }
    if (session == 0) {
      // Templates live for the whole run; the next session 0 starts from their first state.
      it->second->setChecked(false);
      it->second->setEnabled(Template(it->first.first).Kind != TSessionCmd::ScramblerInUse);
      ++it;
      continue;
    }
    delete it->second;
    it = FActions.erase(it);
  }
  if (session == 0) return;
  for (auto it = FGroups.begin(); it != FGroups.end();) {
    if (it->first / kSessionStep == session) {
      delete it->second;
      it = FGroups.erase(it);
    } else {
      ++it;
    }
  }
}

QAction* TSessionActions::MakeAction(const TActionTemplate& t, int32_t session) {
  auto* action = new QAction(QString::fromUtf8(t.Caption), this);
  action->setObjectName(session == 0 ? QString(t.Name) : QString("%1_%2").arg(t.Name).arg(session));
  const int32_t group = t.Group == 0 ? 0 : session * kSessionStep + t.Group;
  action->setProperty(kTagProperty, t.Tag + session * kSessionStep);
  action->setProperty(kGroupProperty, group);
  action->setCheckable(t.Checkable);
  if (group != 0) action->setActionGroup(GroupFor(group));
  if (t.Kind == TSessionCmd::ScramblerInUse) action->setEnabled(false);
  const TSessionCmd kind = t.Kind;
  connect(action, &QAction::triggered, this, [this, kind, action] {
    if (FHandler) FHandler(kind, *action);
  });
  return action;
}

QActionGroup* TSessionActions::GroupFor(int32_t group) {
  QActionGroup*& g = FGroups[group];
  if (!g) {
    g = new QActionGroup(this);
    g->setExclusive(true);
  }
  return g;
}

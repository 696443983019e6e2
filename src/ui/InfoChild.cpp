#include "ui/InfoChild.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "acquisition/App_Sessions.h"
#include "core/App_Settings.h"
#include "core/QV_NumberText.h"
#include "core/VTA_Common.h"
#include "core/VTA_DebugConf.h"
#include "protocol/QV_Header.h"
#include "ui/UiColors.h"

namespace {

constexpr int kInfoCategory = 4;
constexpr int kPadding = 4;
constexpr int kDesignWidth = 190;

const char* const kModeTexts[TInfoChild::kExpertModeCount] = {
    "Phase", "Phase Average", "Frequency", "Frequency Avg.", "Phase Difference", "Phase Avg Diff.",
    "Raw Data", "Raw Data Avg."};

// A drop-down list that tells a choice of the user from other changes: the user works with a list
// that has the focus or whose list was just closed up.
class TInfoCombo : public QComboBox {
 public:
  explicit TInfoCombo(QWidget* parent) : QComboBox(parent) {
    // The wheel must not change the choice of a list the user is not working with.
    setFocusPolicy(Qt::StrongFocus);
  }
  void hidePopup() override {
    QComboBox::hidePopup();
    FComboCloseup = true;
    // Only the choice that closes the list counts; the flag ends with this event.
    QTimer::singleShot(0, this, [this] { FComboCloseup = false; });
  }
  bool TakeUserChoice() {
    const bool user = hasFocus() || FComboCloseup;
    FComboCloseup = false;
    return user;
  }

 private:
  bool FComboCloseup = false;
};

QPushButton* MakeButton(QWidget* parent, const char* text, const char* name) {
  auto* button = new QPushButton(QString::fromUtf8(text), parent);
  button->setObjectName(name);
  button->setFocusPolicy(Qt::TabFocus);
  return button;
}

}  // namespace

TInfoChild::TInfoChild(QWidget* owner, TSessionItem& aSession, TInfoEnvironment aEnv)
    : QWidget(owner), FSession(aSession), FEnv(std::move(aEnv)) {
  FDbgTag = "TInfoChild[" + std::to_string(FSession.Index()) + "]";
  setObjectName("InfoChild");
  setAutoFillBackground(true);
  FLayout = new QVBoxLayout(this);
  FLayout->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
  FLayout->setSpacing(kPadding);

  BuildModePanel();
  BuildIntervalPanel();
  BuildScramblerPanel();
  BuildIVCPanel();  // above the log panel
  BuildLogPanel();
  BuildAllanPanel();
  BuildPPIPanel();
  BuildButtons();
  BuildInternalPanel();
  FLayout->addStretch(1);
  UpdateLogDefinitions();

  const TInfoIntervalList intervals = InfoIntervalList(FSession.RangeInterval());
  for (const std::string& entry : intervals.Entries) FComboRate->addItem(QString::fromStdString(entry));
  FComboRateOffset = intervals.Offset;
  for (int32_t mode = 0; mode < (ExpertMode() ? kExpertModeCount : kModeCount); ++mode)
    FComboMode->addItem(QString::fromUtf8(kModeTexts[mode]));

  resize(kDesignWidth, height());
  UpdateSession();
  LogInfo(".CreateChild");
}

TInfoChild::~TInfoChild() = default;

// ---- Building ----

void TInfoChild::BuildPanel(int32_t Id, const QString& caption, bool closable) {
  TPanel& p = Panel(Id);
  p.Frame = new QFrame(this);
  p.Frame->setObjectName(QString("Panel%1").arg(Id));
  p.Frame->setFrameShape(QFrame::StyledPanel);
  p.Frame->setAutoFillBackground(true);
  p.Body = new QVBoxLayout(p.Frame);
  p.Body->setContentsMargins(kPadding, 2, kPadding, kPadding);
  p.Body->setSpacing(2);
  auto* title = new QHBoxLayout;
  p.Label = new QLabel(caption, p.Frame);
  p.Label->setObjectName(QString("Label%1").arg(Id));
  QFont bold = p.Label->font();
  bold.setBold(true);
  p.Label->setFont(bold);
  title->addWidget(p.Label, 1);
  if (closable) {
    p.Close = new QToolButton(p.Frame);
    p.Close->setObjectName(QString("Close%1").arg(Id));
    p.Close->setText(" X ");
    p.Close->setAutoRaise(true);
    p.Close->setFocusPolicy(Qt::NoFocus);
    connect(p.Close, &QToolButton::clicked, this, [this, Id] { PanelClose(Id); });
    title->addWidget(p.Close);
  }
  p.Body->addLayout(title);
  FLayout->addWidget(p.Frame);
}

void TInfoChild::BuildModePanel() {
  BuildPanel(ipMode, "Mode", false);
  auto* combo = new TInfoCombo(Panel(ipMode).Frame);
  combo->setObjectName("ComboMode");
  connect(combo, &QComboBox::activated, this, [this, combo](int index) { ComboModeChange(index, combo->TakeUserChoice()); });
  FComboMode = combo;
  Panel(ipMode).Body->addWidget(FComboMode);
}

void TInfoChild::BuildIntervalPanel() {
  BuildPanel(ipInterval, "Interval", false);
  auto* combo = new TInfoCombo(Panel(ipInterval).Frame);
  combo->setObjectName("ComboRate");
  connect(combo, &QComboBox::activated, this, [this, combo](int index) { ComboRateChange(index, combo->TakeUserChoice()); });
  FComboRate = combo;
  Panel(ipInterval).Body->addWidget(FComboRate);
}

void TInfoChild::BuildScramblerPanel() {
  BuildPanel(ipScrambler, "Scrambler", true);
  QFrame* frame = Panel(ipScrambler).Frame;
  FScramblerGroup = new QButtonGroup(this);
  auto* row = new QHBoxLayout;
  const char* const texts[] = {"Off", "Auto", "Trim"};
  for (int index = 0; index < 3; ++index) {
    auto* radio = new QRadioButton(texts[index], frame);
    radio->setObjectName(QString("RadioScrambler%1").arg(texts[index]));
    FScramblerGroup->addButton(radio, index);
    row->addWidget(radio);
  }
  connect(FScramblerGroup, &QButtonGroup::idClicked, this, &TInfoChild::ScramblerClick);
  Panel(ipScrambler).Body->addLayout(row);
}

void TInfoChild::BuildLogPanel() {
  BuildPanel(ipLogFiles, "Log Files", true);
  QFrame* frame = Panel(ipLogFiles).Frame;
  FLogGrid = new QGridLayout;
  FLogGrid->setContentsMargins(0, 0, 0, 0);
  Panel(ipLogFiles).Body->addLayout(FLogGrid);
  auto* line = new QFrame(frame);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  Panel(ipLogFiles).Body->addWidget(line);
  auto* debug = new QGridLayout;
  FCheckDebug = new QCheckBox("Debug", frame);
  FCheckStream = new QCheckBox("Stream", frame);
  FCheckTest = new QCheckBox("Test Reports", frame);
  FCheckDebug->setObjectName("CheckDebug");
  FCheckStream->setObjectName("CheckStream");
  FCheckTest->setObjectName("CheckTest");
  debug->addWidget(FCheckDebug, 0, 0);
  debug->addWidget(FCheckStream, 0, 1);
  debug->addWidget(FCheckTest, 1, 0, 1, 2);
  for (QCheckBox* box : {FCheckDebug, FCheckStream, FCheckTest})
    connect(box, &QCheckBox::clicked, this, &TInfoChild::DebugClick);
  Panel(ipLogFiles).Body->addLayout(debug);
}

void TInfoChild::BuildIVCPanel() {
  BuildPanel(ipIVC, "IVC", false);
  FIVCChannels = new QLabel("Channels: -", Panel(ipIVC).Frame);
  FIVCChannels->setObjectName("LabelIVCChannels");
  Panel(ipIVC).Body->addWidget(FIVCChannels);
}

void TInfoChild::BuildAllanPanel() {
  BuildPanel(ipAllan, "Allan Deviation", true);
  QFrame* frame = Panel(ipAllan).Frame;
  auto* row = new QHBoxLayout;
  QPushButton* restart = MakeButton(frame, "Restart", "BtnAllanRestart");
  QPushButton* clear = MakeButton(frame, "Clear", "BtnAllanClear");
  connect(restart, &QPushButton::clicked, this, [this] { ExecuteAction(FActionAllan[1], ".AllanRestartClick"); });
  connect(clear, &QPushButton::clicked, this, [this] { ExecuteAction(FActionAllan[2], ".AllanClearClick"); });
  row->addWidget(restart);
  row->addWidget(clear);
  Panel(ipAllan).Body->addLayout(row);
}

void TInfoChild::BuildPPIPanel() {
  BuildPanel(ipPPI, "PPI", true);
  QFrame* frame = Panel(ipPPI).Frame;
  FCheckPPI = new QCheckBox("Control PPI", frame);
  FCheckPPI->setObjectName("CheckPPI");
  connect(FCheckPPI, &QCheckBox::clicked, this, &TInfoChild::PPIClick);
  Panel(ipPPI).Body->addWidget(FCheckPPI);
  auto* row = new QHBoxLayout;
  FPPIoffsetLabel = new QLabel("Offset [ms]:", frame);
  FPPIoffsetEdit = new QLineEdit("0", frame);
  FPPIoffsetEdit->setObjectName("EditPPIoffset");
  FPPIoffsetEdit->setMaxLength(6);
  FPPIoffsetEdit->installEventFilter(this);
  FPPIplus = MakeButton(frame, "+", "BtnPPIplus");
  FPPIminus = MakeButton(frame, "-", "BtnPPIminus");
  for (QPushButton* button : {FPPIplus, FPPIminus}) button->setFixedWidth(FPPIplus->fontMetrics().height() + 10);
  connect(FPPIplus, &QPushButton::clicked, this, [this] { PPIstep(1); });
  connect(FPPIminus, &QPushButton::clicked, this, [this] { PPIstep(-1); });
  row->addWidget(FPPIoffsetLabel);
  row->addWidget(FPPIoffsetEdit, 1);
  row->addWidget(FPPIplus);
  row->addWidget(FPPIminus);
  Panel(ipPPI).Body->addLayout(row);
}

void TInfoChild::BuildButtons() {
  FActionButtons = new QWidget(this);
  auto* row = new QHBoxLayout(FActionButtons);
  row->setContentsMargins(0, 0, 0, 0);
  QPushButton* sync = MakeButton(FActionButtons, "Sync Enable", "BtnSyncEnable");
  QPushButton* diff = MakeButton(FActionButtons, "Diff Reset", "BtnDiffReset");
  connect(sync, &QPushButton::clicked, this, [this] { ExecuteAction(FActionAction[3], ".SyncEnableClick"); });
  connect(diff, &QPushButton::clicked, this, [this] { ExecuteAction(FActionAction[2], ".DiffResetClick"); });
  row->addWidget(sync);
  row->addWidget(diff);
  FLayout->addWidget(FActionButtons);
  FBtnShow = MakeButton(this, "Show less", "BtnShow");
  connect(FBtnShow, &QPushButton::clicked, this, &TInfoChild::ShowClick);
  FLayout->addWidget(FBtnShow);
}

void TInfoChild::BuildInternalPanel() {
  FInternalPanel = new QFrame(this);
  FInternalPanel->setObjectName("PanelInternal");
  FInternalPanel->setFrameShape(QFrame::StyledPanel);
  FInternalPanel->setAutoFillBackground(true);
  auto* grid = new QGridLayout(FInternalPanel);
  grid->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
  grid->setVerticalSpacing(1);
  const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  const auto addRow = [&](int row, const char* caption, const char* name) {
    grid->addWidget(new QLabel(caption, FInternalPanel), 2 * row, 0);
    auto* value = new QLabel(FInternalPanel);
    value->setObjectName(name);
    value->setFont(fixed);
    grid->addWidget(value, 2 * row + 1, 0);
    return value;
  };
  FReceiveLevel = addRow(0, "ReceiveBuffer amount:", "LevelReceive");
  FUserLevel = addRow(1, "User buffer amount:", "LevelUser");
  FTcpCounts = addRow(2, "TCP-Server DataCounts:", "LevelTcp");
  FBtnDebugWin = MakeButton(FInternalPanel, "Debug Win", "BtnDebugWin");
  FBtnDebugWin->setEnabled(false);  // until its action is bound
  connect(FBtnDebugWin, &QPushButton::clicked, this, [this] { ExecuteAction(FActionAction[4], ".DebugWinClick"); });
  grid->addWidget(FBtnDebugWin, 6, 0);
  FLayout->addWidget(FInternalPanel);
}

// ---- Session and panel set ----

void TInfoChild::UpdateSession() {
  try {
    const std::string name = FSession.FriendlyName();
    LogInfo(".UpdateSession: " + FSession.OpenString() + ", Color=" + IntToHex(FSession.Color(), 8) +
            ", FriendlyName=" + name);
    setWindowTitle(QString::fromStdString(InfoCaption(FSession.Index(), name)));
    ApplyColors();
    const TInfoSessionFacts facts = Facts();
    FCounter = facts.Counter;
    FhasPPI = facts.Counter && facts.HasPPI;
    ApplyPanelSet(facts);
  } catch (const std::exception& e) {
    if (FEnv.DebugConf) FEnv.DebugConf->Error(FDbgTag + ".UpdateSession failed", e);
    throw;
  }
}

TInfoSessionFacts TInfoChild::Facts() const { return FEnv.Facts ? FEnv.Facts(FSession) : SessionInfoFacts(FSession); }

void TInfoChild::ApplyColors() {
  QPalette window = palette();
  window.setColor(QPalette::Window, ToQColor(FSession.Color()));
  setPalette(window);
  // The panels keep the usual window colour so that the red and normal labels read well on them.
  const QColor plain = QApplication::palette().color(QPalette::Window);
  const auto keepPlain = [&](QWidget* panel) {
    QPalette p = panel->palette();
    p.setColor(QPalette::Window, plain);
    panel->setPalette(p);
  };
  for (int32_t id = 1; id <= kPanelCount; ++id) keepPlain(Panel(id).Frame);
  keepPlain(FInternalPanel);
}

void TInfoChild::ApplyPanelSet(const TInfoSessionFacts& facts) {
  const bool ivcOnly = facts.Counter && facts.IVConly;
  for (int32_t id = 1; id <= kPanelCount; ++id) Panel(id).Applicable = true;
  if (facts.Sensor) {
    Panel(ipMode).Applicable = Panel(ipScrambler).Applicable = Panel(ipIVC).Applicable = false;
  } else if (facts.Counter && facts.ZCTonly) {
    Panel(ipIVC).Applicable = false;
  } else if (ivcOnly) {
    Panel(ipMode).Applicable = Panel(ipInterval).Applicable = Panel(ipScrambler).Applicable = false;
  }
  Panel(ipAllan).Applicable = !FActionAllan[1].isNull();
  Panel(ipPPI).Applicable = FhasPPI;
  FAllPanelCount = 0;
  for (int32_t id = 1; id <= kPanelCount; ++id) FAllPanelCount += Panel(id).Applicable;
  FButtonsApplicable = !facts.Sensor && !ivcOnly;
  FInternalApplicable = ExpertMode() && !facts.Sensor;
  ShowIVCChannels(facts.IVCChannels);
  LayoutPanels();
}

bool TInfoChild::PanelShown(int32_t Id) const { return Id >= 1 && Id <= kPanelCount && Panel(Id).Shown; }

bool TInfoChild::PanelVisible(int32_t Id) const {
  return Id >= 1 && Id <= kPanelCount && Panel(Id).Applicable && Panel(Id).Shown;
}

int32_t TInfoChild::VisiblePanelCount() const {
  int32_t count = 0;
  for (int32_t id = 1; id <= kPanelCount; ++id) count += PanelVisible(id);
  return count;
}

bool TInfoChild::InternalPanelVisible() const { return FInternalApplicable; }

void TInfoChild::ShowPanel(int32_t Id, bool Value) {
  if (Id < 1 || Id > kPanelCount) {
    LogError(".ShowPanel: invalid id=" + std::to_string(Id));
    return;
  }
  TPanel& p = Panel(Id);
  p.Shown = Value;
  if (p.Action) p.Action->setChecked(Value);
  LayoutPanels();
}

void TInfoChild::LayoutPanels() {
  for (int32_t id = 1; id <= kPanelCount; ++id) Panel(id).Frame->setVisible(PanelVisible(id));
  FActionButtons->setVisible(FButtonsApplicable);
  FBtnShow->setVisible(FButtonsApplicable);
  FInternalPanel->setVisible(FInternalApplicable);
  FShowTag = VisiblePanelCount() < FAllPanelCount ? 0 : 1;
  FBtnShow->setText(FShowTag == 0 ? "Show all" : "Show less");
  FitHeight();
}

// The window's client height follows its content; its width stays the user's.
void TInfoChild::FitHeight() {
  FLayout->invalidate();
  FLayout->activate();
  const int wanted = FLayout->totalSizeHint().height();
  resize(width(), wanted);
  auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget());
  if (!sub || sub->isMaximized()) return;
  // The sub-window's contents margins hold its title bar and borders.
  const QMargins frame = sub->contentsMargins();
  sub->resize(sub->width(), wanted + frame.top() + frame.bottom());
}

QWidget* TInfoChild::PlacementWidget() const {
  if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget())) return sub;
  return const_cast<TInfoChild*>(this);
}

// ---- Actions ----

void TInfoChild::SetActionMode(int32_t id, QAction* action) {
  if (id >= 0 && id < kExpertModeCount) FActionMode[size_t(id)] = action;
}

void TInfoChild::SetActionRate(int32_t id, QAction* action) {
  if (id >= 0 && id < int32_t(FActionRate.size())) FActionRate[size_t(id)] = action;
}

void TInfoChild::SetActionScrambler(int32_t id, QAction* action) {
  if (id >= 0 && id < int32_t(FActionScrambler.size())) FActionScrambler[size_t(id)] = action;
}

void TInfoChild::SetActionPanel(int32_t id, QAction* action) {
  if (id < 1 || id > kPanelCount) return;
  Panel(id).Action = action;
  if (action) action->setChecked(Panel(id).Shown);
}

void TInfoChild::SetActionAllan(int32_t id, QAction* action) {
  if (id < 1 || id > 2) return;
  FActionAllan[size_t(id)] = action;
  if (id == 1) UpdateSession();  // the Allan panel needs its "Restart" action
}

void TInfoChild::SetActionAction(int32_t id, QAction* action) {
  if (id < 2 || id > 4) return;
  QPointer<QAction>& bound = FActionAction[size_t(id)];
  if (id == 4 && bound) disconnect(bound, &QAction::changed, this, nullptr);
  bound = action;
  if (id != 4) return;
  // A disabled action does nothing when triggered, so the button is not offered then.
  const auto follow = [this, action] { FBtnDebugWin->setEnabled(action && action->isEnabled()); };
  follow();
  if (action) connect(action, &QAction::changed, this, follow);
}

void TInfoChild::SetActionPPI(QAction* action) { FActionPPI = action; }

void TInfoChild::BindActions(IInfoActions& actions) {
  const int32_t index = FSession.Index();
  const auto find = [&](const QString& name) { return actions.SessionAction(index, name); };
  const char* const modes[] = {"ModePhase",    "ModePhaseAvg",     "ModeFrequency", "ModeFrequAvg",
                               "ModePhaseDiff", "ModePhaseDiffAvg", "ModeRawData",   "ModeRawDataAvg"};
  for (int32_t id = 0; id < kExpertModeCount; ++id) SetActionMode(id, find(modes[id]));
  for (int32_t id = 0; id < int32_t(FActionRate.size()); ++id)
    SetActionRate(id, find(QString::fromStdString("Rate" + TQVHeader::IntervalIndexToText(id))));
  const char* const scramblers[] = {"ScramblerOff", "ScramblerAuto", "ScramblerTrim"};
  for (int32_t id = 0; id < 3; ++id) SetActionScrambler(id, find(scramblers[id]));
  SetActionPanel(ipScrambler, find("InfoShowScrambler"));
  SetActionPanel(ipLogFiles, find("InfoShowLogging"));
  SetActionPanel(ipAllan, find("InfoShowAllan"));
  SetActionPanel(ipPPI, find("InfoShowPPI"));
  SetActionAction(2, find("ActionReCenter"));
  SetActionAction(3, find("ActionSyncEnable"));
  SetActionAction(4, find("ActionViewDebug"));
  SetActionPPI(find("PPIactive"));
  SetActionAllan(2, find("SourceAllanClearPersist"));
  SetActionAllan(1, find("SourceAllanRestart"));
}

// ---- Settings ----

void TInfoChild::ReadSettings(TAppSettings& Settings, const std::string& SettingsPrefix) {
  const std::string& P = SettingsPrefix;
  LogInfo(".ReadSettings " + P);
  const int32_t left = Settings.GetValue(P + "Left", kPlacementUnset);
  const int32_t top = Settings.GetValue(P + "Top", kPlacementUnset);
  FDefaultPlacement = left == kPlacementUnset || top == kPlacementUnset;
  if (!FDefaultPlacement) PlacementWidget()->move(left, top);
  for (int32_t id = 1; id <= kPanelCount; ++id) {
    TPanel& p = Panel(id);
    p.Shown = Settings.GetValue(P + "Panel_" + std::to_string(id), true);
    if (p.Action) p.Action->setChecked(p.Shown);
  }
  LayoutPanels();
}

void TInfoChild::SaveSettings(TAppSettings& Settings, const std::string& SettingsPrefix) {
  const std::string& P = SettingsPrefix;
  LogInfo(".SaveSettings " + P);
  const QPoint position = PlacementWidget()->pos();
  Settings.SetValue(P + "Left", int32_t(position.x()));
  Settings.SetValue(P + "Top", int32_t(position.y()));
  for (int32_t id = 1; id <= kPanelCount; ++id) Settings.SetValue(P + "Panel_" + std::to_string(id), Panel(id).Shown);
}

// ---- Window ----

// The view lives as long as its session; the main window frees it.
void TInfoChild::closeEvent(QCloseEvent* event) { event->ignore(); }

void TInfoChild::LogInfo(const std::string& text) const {
  if (FEnv.DebugConf) FEnv.DebugConf->Info(kInfoCategory, FDbgTag + text);
}

void TInfoChild::LogError(const std::string& text) const {
  if (FEnv.DebugConf) FEnv.DebugConf->Error(kInfoCategory, FDbgTag + text);
}

#pragma once
#include <QPointer>
#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QFrame;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class QVBoxLayout;
class TAppSettings;
class TDebugConf;
class TSessionItem;
struct TRange;

// The panels of the info view; the number is the panel's tag and the value of its "Show in Info
// Box" action.
enum TInfoPanel : int32_t {
  ipMode = 1,
  ipInterval = 2,
  ipScrambler = 3,
  ipLogFiles = 4,
  ipIVC = 5,
  ipAllan = 6,
  ipPPI = 7
};

// What the info view knows of its session besides the notices.
struct TInfoSessionFacts {
  bool Counter = false;  // a counter session: the panel is refreshed on the display cycle
  bool Sensor = false;
  bool ZCTonly = false;  // the instrument carries counter data only
  bool IVConly = false;  // the instrument carries interval-counter data only
  bool HasPPI = false;   // network-module instrument with PPI support
  int32_t IVCChannels = 0;
};

// The buffer levels of the internal (expert) panel.
struct TInfoBufferLevels {
  uint32_t ReceiveAmount = 0;
  uint32_t ReceiveHighAmount = 0;
  uint32_t TransmitAmount = 0;
  uint32_t TransmitHighAmount = 0;  // 0: not known
  std::string TcpServerDataCounts;
};

// The facts and levels of a counter session (TQVSessionItem); other sessions give their kind only.
TInfoSessionFacts SessionInfoFacts(TSessionItem& session);
TInfoBufferLevels SessionBufferLevels(TSessionItem& session);

// How the info view finds the main window's per-session actions. The view triggers them; their
// handlers do the work: a "Show in Info Box" action shows or hides the panel of its tag's low byte
// after its check mark (ShowPanel), the checked PPI action takes the offset from GetPPIoffset.
class IInfoActions {
 public:
  virtual ~IInfoActions() = default;
  // The action of session `sessionIndex` for the template `templateName` ("ModeFrequency",
  // "Rate20s", "InfoShowPPI", ...), or nullptr when the session has no such command.
  virtual QAction* SessionAction(int32_t sessionIndex, const QString& templateName) = 0;
};

// One log definition as the info view's switch shows it.
struct TInfoLogSwitch {
  int32_t Definition = 0;  // 0-based index of the multi-sampler; the box reads "Log " + (Definition + 1)
  bool Enabled = false;
};

// What the info view takes from the program around it. Every member may be left empty.
struct TInfoEnvironment {
  const TDebugConf* DebugConf = nullptr;
  // Default: SessionInfoFacts and SessionBufferLevels.
  std::function<TInfoSessionFacts(TSessionItem&)> Facts;
  std::function<TInfoBufferLevels(TSessionItem&)> BufferLevels;
  // The multi-sampler's log definitions in definition order. Empty: none.
  std::function<std::vector<TInfoLogSwitch>()> LogDefinitions;
  // The user asks to toggle log definition `definition` (0-based).
  std::function<void(int32_t definition)> ToggleLogDefinition;
  // The user switched the session's debug files (the main window's DebugEnable).
  std::function<void(int32_t sessionIndex, bool aDebug, bool aStream, bool aTest)> DebugEnable;
  // A message box; default: a warning box.
  std::function<void(const QString& caption, const QString& text)> Message;
  // Default: the system beep.
  std::function<void()> Beep;
};

// The interval list of a session: the entries of its allowed range and the number cut off at the
// front (FComboRateOffset).
struct TInfoIntervalList {
  std::vector<std::string> Entries;
  int32_t Offset = 0;
};
TInfoIntervalList InfoIntervalList(const TRange& range);
// A PPI offset typed by the user: an integer from -20000 to 20000 ms, else none.
std::optional<int16_t> ParsePPIoffset(const std::string& text);
// A buffer level: the number with "." between groups of three digits, left-padded to 9 characters;
// " / " + the high value follows when showHigh.
std::string InfoBufferText(uint32_t amount, uint32_t high, bool showHigh);
// "   Info[" + letter + ": " + name + "]", or "   Info[" + letter + "]" without a name.
std::string InfoCaption(int32_t sessionIndex, const std::string& friendlyName);

// The info view of one session: its control panel. The controls never talk to the device: each one
// executes the main window's per-session action for that command, and the labels stay red until
// the session reports the requested state back (SetMode, SetRateIndex, ... on the display cycle).
// The main window creates it per session, binds its actions, refreshes it on the display cycle and
// frees it before the session; the user cannot close it.
class TInfoChild : public QWidget {
  Q_OBJECT

 public:
  static constexpr int32_t kPanelCount = 7;
  static constexpr int32_t kModeCount = 6;
  static constexpr int32_t kExpertModeCount = 8;
  static constexpr int32_t kPlacementUnset = -1000;
  static constexpr int16_t kPPIoffsetLimit = 20000;
  static constexpr int16_t kPPIstepLimit = 19999;

  // CreateChild: the session must outlive the view.
  TInfoChild(QWidget* owner, TSessionItem& aSession, TInfoEnvironment aEnv = {});
  ~TInfoChild() override;

  // ---- Operations of the main window and the display cycle ----
  void UpdateSession();
  void UpdatePanel();
  // The state the device reports.
  void SetMode(int32_t Value);
  void SetRateIndex(int32_t Value);
  void SetScramblerIndex(int32_t Value);
  void SetPPIindex(int32_t Value);
  void ShowPanel(int32_t Id, bool Value);
  void UpdateLogDefinitions();
  void UpdateDebugLog(bool aDebug, bool aStream, bool aTest);
  // The offset in ms the PPI action sends.
  int16_t GetPPIoffset() const { return FPPIoffset; }

  // ---- Actions of the main window ----
  void SetActionMode(int32_t id, QAction* action);        // id = mode 0..7
  void SetActionRate(int32_t id, QAction* action);        // id = rate index 0..13
  void SetActionScrambler(int32_t id, QAction* action);   // 0 off, 1 auto, 2 trim
  void SetActionPanel(int32_t id, QAction* action);       // "Show in Info Box" of panel id
  void SetActionAllan(int32_t id, QAction* action);       // 1 "Restart", 2 "Clear"
  void SetActionAction(int32_t id, QAction* action);      // 2 "Diff Reset", 3 "Sync Enable", 4 "Debug Win"
  void SetActionPPI(QAction* action);
  // Binds all of the above by their template names.
  void BindActions(IInfoActions& actions);

  void ReadSettings(TAppSettings& Settings, const std::string& SettingsPrefix);
  void SaveSettings(TAppSettings& Settings, const std::string& SettingsPrefix);
  // No position was stored: the main window places the view.
  bool DefaultPlacement() const { return FDefaultPlacement; }

  // ---- State ----
  TSessionItem& Session() const { return FSession; }
  const std::string& DbgTag() const { return FDbgTag; }
  int32_t ModeIndex() const { return FModeIndex; }
  int32_t RateIndex() const { return FRateIndex; }
  int32_t ComboRateOffset() const { return FComboRateOffset; }
  int32_t IntervalMs() const { return FIntervalMs; }
  bool HasPPI() const { return FhasPPI; }
  int32_t AllPanelCount() const { return FAllPanelCount; }
  bool PanelShown(int32_t Id) const;
  bool PanelVisible(int32_t Id) const;
  int32_t VisiblePanelCount() const;
  bool InternalPanelVisible() const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct TPanel {
    QFrame* Frame = nullptr;
    QLabel* Label = nullptr;
    QToolButton* Close = nullptr;
    QVBoxLayout* Body = nullptr;
    QPointer<QAction> Action;
    bool Shown = true;       // the user's choice ("Show in Info Box")
    bool Applicable = true;  // the session has what the panel controls
  };

  // Building (InfoChild.cpp).
  TPanel& Panel(int32_t Id) { return FPanels[size_t(Id)]; }
  const TPanel& Panel(int32_t Id) const { return FPanels[size_t(Id)]; }
  void BuildPanel(int32_t Id, const QString& caption, bool closable);
  void BuildModePanel();
  void BuildIntervalPanel();
  void BuildScramblerPanel();
  void BuildLogPanel();
  void BuildIVCPanel();
  void BuildAllanPanel();
  void BuildPPIPanel();
  void BuildInternalPanel();
  void BuildButtons();
  TInfoSessionFacts Facts() const;
  void ApplyColors();
  void ApplyPanelSet(const TInfoSessionFacts& facts);
  void LayoutPanels();
  void FitHeight();
  QWidget* PlacementWidget() const;

  // Input and reported state (InfoChildInput.cpp).
  void ComboModeChange(int index, bool user);
  void ComboRateChange(int index, bool user);
  void ScramblerClick(int index);
  void PPIClick(bool checked);
  void PPIoffsetEnter();
  void PPIoffsetEscape();
  void PPIstep(int delta);
  bool PPIoffsetInputKeyPress(const QString& text, int key);
  std::optional<int16_t> ValidatePPIoffset();
  void ResendPPI();
  void ShowClick();
  void PanelClose(int32_t Id);
  void LogClick(int32_t definition);
  void DebugClick();
  void SetRequested(QLabel* label, bool requested);
  void ExecuteAction(const QPointer<QAction>& action, const std::string& what);
  void ExecuteChecked(const QPointer<QAction>& action, bool checked, const std::string& what);
  void ShowLevels();
  void ShowIVCChannels(int32_t count);

  void LogInfo(const std::string& text) const;
  void LogError(const std::string& text) const;

  TSessionItem& FSession;
  const TInfoEnvironment FEnv;
  std::string FDbgTag;
  int32_t FModeIndex = -1;
  int32_t FRateIndex = -1;
  int32_t FComboRateOffset = 0;
  int32_t FIntervalMs = 1000;
  int16_t FPPIoffset = 0;
  bool FhasPPI = false;
  bool FCounter = false;
  int32_t FAllPanelCount = kPanelCount;
  bool FButtonsApplicable = true;
  bool FInternalApplicable = false;

  std::array<QPointer<QAction>, kExpertModeCount> FActionMode;
  std::array<QPointer<QAction>, 14> FActionRate;
  std::array<QPointer<QAction>, 3> FActionScrambler;
  std::array<QPointer<QAction>, 3> FActionAllan;  // by id 1..2
  std::array<QPointer<QAction>, 5> FActionAction;  // by id 2..4
  QPointer<QAction> FActionPPI;

  std::array<TPanel, kPanelCount + 1> FPanels;  // by panel number 1..7
  QVBoxLayout* FLayout = nullptr;
  QComboBox* FComboMode = nullptr;
  QComboBox* FComboRate = nullptr;
  QButtonGroup* FScramblerGroup = nullptr;
  QGridLayout* FLogGrid = nullptr;
  std::vector<QCheckBox*> FLogChecks;
  QLabel* FNoLogLabel = nullptr;
  QCheckBox* FCheckDebug = nullptr;
  QCheckBox* FCheckStream = nullptr;
  QCheckBox* FCheckTest = nullptr;
  QLabel* FIVCChannels = nullptr;
  QCheckBox* FCheckPPI = nullptr;
  QLabel* FPPIoffsetLabel = nullptr;
  QLineEdit* FPPIoffsetEdit = nullptr;
  QPushButton* FPPIplus = nullptr;
  QPushButton* FPPIminus = nullptr;
  QFrame* FInternalPanel = nullptr;
  QLabel* FReceiveLevel = nullptr;
  QLabel* FUserLevel = nullptr;
  QLabel* FTcpCounts = nullptr;
  QPushButton* FBtnDebugWin = nullptr;  // follows its action's enabled state
  QWidget* FActionButtons = nullptr;  // "Sync Enable" and "Diff Reset"
  QPushButton* FBtnShow = nullptr;
  int32_t FShowTag = 0;  // 0 "Show all", 1 "Show less"
  bool FDefaultPlacement = true;
};

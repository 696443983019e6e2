#pragma once
#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/IVTA_Timers.h"
#include "app/IVTA_UserInterface.h"
#include "app/VTA_Application.h"
#include "devices/QV_DeviceInfo.h"
#include "ui/GraphicScale.h"
#include "ui/GraphicSelectionDialog.h"
#include "ui/InfoChild.h"
#include "ui/LogDefinitionDialog.h"
#include "ui/MDIChild.h"
#include "ui/SessionActions.h"
#include "ui/TextSelectionDialog.h"
#include "ui/ViewTable.h"

class QActionGroup;
class QMdiArea;
class QMenu;
class TAppPaths;
class TFormBigMessage;
class TFormSplash;
class TIVC_DataManagement;
class TLogDefinitionDialog;
class TMultiSampler;
class TMDIChild;
class TMessageChild;
class TDebugChild;
struct TDebugSessionChoice;
class TGraphicChild;
class TRawDataChild;
class TSensorTextChild;
class TTextChild;
class TVTA_StatusBar;

// What only the concrete session kinds know; the counter session supplies it once it is built in.
struct TSessionTraits {
  int32_t HRQChannels = 0;  // high-resolution channels in use
  bool DebugFiles = false;  // test data, report data or the stream file are being saved
  int32_t DGICards = 0;      // digital-input cards the device transmits
  int32_t IVCChannels = 0;   // interval-counter channels the device transmits
};

// The hooks through which the window reaches the concrete session kinds. Every member may be empty.
struct TSessionKindHooks {
  std::function<TSessionTraits(TSessionItem&)> Traits;
  // The interval-counter store of a counter session, for the interval-counter text views.
  std::function<TIVC_DataManagement*(TSessionItem&)> IVCStore;
  // A counter session's decimal separator of its report lines (log number format).
  std::function<void(TSessionItem&, char)> SetDecimalSeparator;
};

// The boxes and dialogs the window shows; each may be replaced (tests answer them). Empty members
// show the usual dialogs.
struct TMainFormDialogs {
  std::function<void(const QString& caption, const QString& text)> Message;
  std::function<bool(const QString& caption, const QString& text)> Question;
  std::function<std::optional<TSourceDialogResult>(QWidget* parent, const TSourceDialogPreset& preset)> Connection;
  std::function<std::optional<TTextViewSelection>(QWidget* parent, const std::vector<TTextSelectionSession>& sessions,
                                                   const TTextViewSelection& preset)>
      TextSelection;
  // The graphic selection dialog; `change` for "Change Window Settings..." of an open graph.
  std::function<std::optional<TGraphicViewSelection>(QWidget* parent,
                                                      const std::vector<TGraphicSelectionSession>& sessions,
                                                      const TGraphicViewSelection& preset, bool change)>
      GraphicSelection;
  // Which of several sessions with digital-input cards gets a new digital-inputs view: the index
  // into `captions`, none when cancelled. Default: a list box.
  std::function<std::optional<int>(QWidget* parent, const QStringList& captions)> DGISession;
  // Runs the log definition dialog (filled by the window); true when it was accepted. Default: exec.
  std::function<bool(TLogDefinitionDialog& dialog)> LogDefinition;
  // A folder choice; empty when cancelled. Default: the system's folder dialog.
  std::function<QString(QWidget* parent, const QString& caption, const QString& start)> Folder;
  // Runs one of the settings dialogs (nominal frequencies, Allan, time settings, ...); true when it
  // was accepted. Default: exec.
  std::function<bool(QDialog& dialog)> Settings;
};

struct TMainFormOptions {
  TVTA_AppOptions App;
  // "--connect": a first start takes this connection for its first session instead of asking.
  std::optional<std::string> Connect;
  TSessionKindHooks Kinds;
  TMainFormDialogs Dialogs;
  // The serial numbers of the program-wide device list, in list order ("&Devices"); none = no list.
  std::function<std::vector<uint32_t>()> DeviceSerials;
  // The program's information about the instrument with that serial number ("&Devices" items).
  std::function<std::optional<TQV_DeviceInfo>(uint32_t)> DeviceInfo;
};

// The main window: a multi-document frame around the application object. It owns the application
// (sessions, report thread, messages, settings), implements its user-interface hooks with windows
// and its two timers with Qt timers, and adds the menus, the view table and the status bar.
//
// Life cycle: construction (the settings are loaded, the window placed) -> first showing runs the
// start-up (LosGehts) -> running -> close (the close query, devices closed, settings saved) ->
// destruction, where the report thread is joined before the views, the info views and the sessions go.
//
// Every session has one info view (FInfoList, by session index), created when the session is added
// and freed before it; its controls run the session's actions of this window (IInfoActions).
class TMainForm : public QMainWindow, public IVTA_UserInterface, public IVTA_Timers, public IInfoActions {
  Q_OBJECT

 public:
  // Throws what the application's construction throws (EDllVersion, an unusable folder).
  TMainForm(const TAppPaths& paths, TMainFormOptions options);
  ~TMainForm() override;

  TVTA_Application& App() { return *FApp; }
  TSessionActions& SessionActions() { return *FSessionActions; }
  TVTA_StatusBar& StatusPanels() { return *FStatusBar; }
  QMdiArea& MdiArea() { return *FMdiArea; }
  const TChildArray& ChildArray() const { return FChildArray; }
  TMessageChild* MessageView() const { return FMessageView; }
  // The info view of the session with that index, or nullptr.
  TInfoChild* InfoView(int32_t sessionIndex) const;
  // The multi-sampler's engine, or nullptr when the application has none.
  TMultiSampler* Sampler() const;
  TFormSplash* Splash() const { return FSplash; }
  bool DisplayTimerActive() const { return FDisplayTimer.isActive(); }

  // The first activation: runs the start-up once. False when it was cancelled (the window closes).
  bool FormActivate();
  // The user session ends (SIGTERM, SIGINT): the window closes without asking and saves.
  void EndSession();
  // Passes an option change code (1, 2, 4, 8, 16, 32) to every session, view and component.
  void BroadcastOptions(int32_t what);

  // ---- IVTA_UserInterface ----
  void ShowSplash(const std::string& text) override;
  void HideSplash() override;
  void MessageBox(const std::string& text) override;
  bool Question(const std::string& text) override;
  void ErrorBox(const std::string& text) override;
  std::optional<TSourceDialogResult> AskConnection(const TSourceDialogPreset& request) override;
  void SessionAdded(TSessionItem& session) override;
  void SessionUpdated(TSessionItem& session) override;
  void SessionRemoving(TSessionItem& session, bool keepViews) override;
  void SessionListChanged(const TSessionLists& lists) override;
  void SyncNotice(const TMainSyncData& notice, TSessionItem* sender) override;
  void UpdateViews() override;
  bool MessageViewExists() const override;
  void CreateMessageView() override;
  void UpdateMessageView() override;
  void ShowPopup(const TMessageItem& item) override;
  void UpdateInfo() override;
  void UpdateStatus() override;
  void ReadWindowSettings(TVTASettings& settings, const TSessionLists& lists) override;
  void SaveWindowSettings(TVTASettings& settings, const TSessionIndexMap& map) override;

  // ---- IVTA_Timers ----
  void SetDisplayTimer(bool enabled) override;
  void SetCheckTimer(bool enabled) override;

  // ---- IInfoActions ----
  // The session's action of that template, or nullptr when the session has no such command.
  QAction* SessionAction(int32_t sessionIndex, const QString& templateName) override;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // What the window knows of a session from its notices.
  struct TSessionState {
    bool ZCTonly = false;
    bool IVConly = false;
    std::optional<bool> ESP;  // the peer reported itself: ESP-based (true) or Coldfire-based
  };

  // Creation (MainForm.cpp).
  void PlaceWindow();
  void RunCycle(const char* name, const std::function<void()>& cycle);
  bool OnWindowThread() const;
  void ShowMessageBox(const QString& caption, const QString& text);
  bool AskYesNo(const QString& caption, const QString& text);
  void Log(int category, const std::string& text) const;
  void LogError(int category, const std::string& text) const;

  // Menus (MainMenus.cpp).
  void CreateMenus();
  void CreateWindowMenu();
  void CreateLoggingMenu();
  void CreateOptionsMenu();
  void CreateHelpMenus();
  void RebuildSessionMenus();
  void AddSessionItems(QMenu& menu, TSessionItem& session);
  void AddActionItems(QMenu& menu, TSessionItem& session);
  void RebuildLoggingSessions();
  void UpdateDevicesMenu();
  void FillWindowList();
  void UpdateOptionChecks();
  QMenu* SessionSubmenu(QMenu& parent, TSessionItem& session);
  QAction* Act(const char* name, int32_t session);
  TSessionState& State(int32_t index) { return FSessionStates[index]; }
  void CheckNoticeChoice(const TMainSyncData& notice, int32_t index);

  // Commands (MainCommands.cpp).
  void SessionCommand(TSessionCmd kind, QAction& action);
  void SendCommand(TSessionItem& session, const std::string& cmd, const std::string& cmdText);
  void DevicePPIExecute(TSessionItem& session, QAction& action);
  void ChannelColorsExecute(TSessionItem& session);
  void SourceNewExecute();
  void SourceChangeExecute(TSessionItem& session);
  void DecSepWinExecute(char separator);
  void DecSepLogExecute(char separator);
  void TempUnitExecute(int32_t unit);
  void LogRootFolderExecute();

  // Settings dialogs (MainSettingsDialogs.cpp).
  bool RunSettingsDialog(QDialog& dialog);
  void NomFreqExecute(TSessionItem& session);
  void AllanConfigExecute(TSessionItem& session);
  void DGINamesExecute(TSessionItem& session);
  void HRQSettingsExecute(TSessionItem& session);
  void IVCCalibrationExecute(TSessionItem& session);
  void DeviceConfigExecute(TSessionItem& session);
  void VirtualChannelsExecute(TSessionItem& session, bool ivc);
  void DeviceInfoExecute(uint32_t serialNumber);
  void TimeSettingsExecute();
  void ConfigEmailServerExecute();
  void ClockWarningsExecute(TSessionItem& session);
  void SensorWarningsExecute(TSessionItem& session);
  void LocalServerExecute(TSessionItem& session);
  void PopupNotificationsExecute();
  void EmailNotificationsExecute();
  void DebugFilesExecute();
  void CenterValuesExecute();
  void SensorCenterValues(TGraphicChild& view, int32_t entry);
  void SetGraphicSecondSession(TMDIChild& view, int32_t sessionIndex);
  void InternTestExecute();
  void ApplyDebugChoice(TSessionItem& session, const TDebugSessionChoice& wanted, const std::string& root);
  // A failure becomes the session's user error 85.
  void SwitchSessionDebugLog(TSessionItem& session, bool keepAll);
  // The info view's debug switches of a session.
  void DebugEnable(int32_t sIndex, bool aDebug, bool aStream, bool aTest);

  // Log definitions (MainLogging.cpp).
  void NewLogConfigExecute();
  void ChangeLogConfigExecute(int definition);
  void RemoveLogConfigExecute(int definition);
  void ToggleLogDefinition(int definition);
  bool AskLogDefinition(TLogDefinitionDialog& dialog);
  std::vector<TLogDialogSource> LogDialogSources();
  void RebuildLogDefinitionMenus();
  // After any change of the definitions: their submenus, the info views and the status panel.
  void LogDefinitionsChanged();
  std::vector<TInfoLogSwitch> LogSwitches() const;
  bool LogFileActive() const;
  void UserManualExecute(const QString& fileName);
  void AboutExecute();
  void MemoryStateExecute();
  void SendCommandExecute();
  void MessagesExecute();

  // Views (MainViews.cpp).
  TViewEnvironment ViewEnvironment() const;
  void OnChildEvent(int32_t tag, TChildNotice notice);
  TTextChild* CreateTextView(TSessionItem* session, TTextSourceKind kind, int32_t entry);
  TGraphicChild* CreateGraphicView(TSessionItem* session, TGraphicMode mode, int32_t entry);
  TMDIChild* CreateAllanView(TSessionItem* session, int32_t id, int32_t entry);
  // The session's debug view (heartbeats): created next to the bottom left of the area, above the
  // status bar, when it has no stored placement.
  TDebugChild* CreateDebugView(TSessionItem& session, int32_t entry);
  TDebugChild* DebugView(const TSessionItem& session) const;
  // "Show Heartbeats": brings the session's debug view to the front, or creates it.
  void ShowDebugView(TSessionItem& session);
  // Debug views show heartbeats, which only network-module instruments send.
  bool HeartbeatsPossible(int32_t sessionIndex) const;
  TMDIChild* AddView(TMDIChild* view, int32_t entry);
  void CreateDefaultViews(TSessionItem& session);
  void CreateStoredView(TVTASettings& settings, int32_t k, const TSessionLists& lists);
  void NewTextWindowExecute();
  void ChangeWindowSettingsExecute();
  std::vector<TTextSelectionSession> TextChoices() const;
  std::optional<TTextViewSelection> AskTextSelection(const TTextViewSelection& preset);
  void NewGraphicWindowExecute();
  std::vector<TGraphicSelectionSession> GraphicChoices() const;
  std::optional<TGraphicViewSelection> AskGraphicSelection(const TGraphicViewSelection& preset, bool change);
  // The counter sessions whose instruments report digital-input cards.
  std::vector<TSessionItem*> DGISessions() const;
  void NewDigitalInputsWindowExecute();
  TMDIChild* CreateDigitalInputsView(TSessionItem* session, int32_t entry);
  TRawDataChild* CreateRawDataView(TSessionItem* session, int32_t entry);
  TSensorTextChild* CreateSensorTextView(TSessionItem* session, int32_t entry);
  // "Change Window Settings..." of a graphic view or an Allan graph: true when `view` is one.
  bool ChangeGraphicSettings(TMDIChild& view);
  // The views showing the session (by index, as first or second session).
  std::vector<TMDIChild*> ViewsOf(const TSessionItem& session) const;
  void CloseViewsOf(const TSessionItem& session);
  void CloseView(TMDIChild* view);
  void CloseAllViews();

  // Info views (MainViews.cpp).
  TInfoEnvironment InfoEnvironment();
  void CreateInfoView(TSessionItem& session);
  void PlaceInfoView(TInfoChild& info);
  // A view without a stored place goes where it covers the least of the open windows.
  void PlaceNewView(TMDIChild& view);
  // The views' stacking order: noted into each view before a save, restored after a start.
  void NoteStackingOrder();
  void RestoreStackingOrder();
  void FreeInfoView(int32_t sessionIndex);
  void FreeInfoList();

  TMainFormOptions FOptions;
  std::optional<std::string> FConnect;  // answers the first connection request once
  std::unique_ptr<TVTA_Application> FApp;
  QMdiArea* FMdiArea = nullptr;
  TVTA_StatusBar* FStatusBar = nullptr;
  TSessionActions* FSessionActions = nullptr;
  QTimer FDisplayTimer;
  QTimer FCheckTimer;
  bool FFirstActivate = true;
  bool FDestroying = false;
  TFormSplash* FSplash = nullptr;
  TFormBigMessage* FBigMessage = nullptr;  // the "VTA Message" window, made with the first popup

  TChildArray FChildArray;
  TMessageChild* FMessageView = nullptr;
  int32_t FActiveChild = -1;
  std::map<int32_t, TInfoChild*> FInfoList;  // by session index; each owned by its sub-window
  std::map<int32_t, TSessionState> FSessionStates;
  std::optional<int32_t> FSetAsideIndex;  // views wait for the session that replaces this one

  // Menus and the actions that are not per session.
  QMenu* FSourceMenu = nullptr;
  QMenu* FWindowMenu = nullptr;
  QMenu* FActionMenu = nullptr;
  QMenu* FLoggingMenu = nullptr;
  QMenu* FDevicesMenu = nullptr;
  QMenu* FOptionsMenu = nullptr;
  QMenu* FHelpMenu = nullptr;
  QMenu* FInternMenu = nullptr;
  QAction* FSourceNew = nullptr;
  QAction* FLoggingSessionsEnd = nullptr;  // the per-session "Show in Info Box" items stand before it
  QAction* FWindowListSeparator = nullptr;
  QAction* FNewDGIWindow = nullptr;  // enabled while a counter session reports digital-input cards
  std::vector<QPointer<QMenu>> FSessionSubmenus;  // every menu the last rebuild made
  std::vector<QPointer<QAction>> FLoggingSessionItems;  // per-session actions: they may go first
  std::vector<QPointer<QMenu>> FLogDefinitionMenus;     // one per log definition, at the menu's end
  std::vector<QAction*> FDeviceItems;
  std::map<char, QAction*> FDecSepWinItems;
  std::map<char, QAction*> FDecSepLogItems;
  std::map<int32_t, QAction*> FTempUnitItems;
};

#pragma once
#include <QRect>
#include <QWidget>
#include <array>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "acquisition/QV_ChannelData.h"
#include "core/App_Settings.h"

class TClock;
class TDataManagement;
class TDebugConf;
class TIVC_DataManagement;
class QBoxLayout;
class QHBoxLayout;
class QToolButton;
class TQV_Channels;
enum TMouseClickAction : uint8_t;
class TSessionItem;
class TZCT_DataManagement;

// Bits of an option change, passed to UpdateOptions of sessions, views and the multi-sampler.
enum TOptionChange : int32_t {
  ocDecSepWin = 1,
  ocDecSepLog = 2,
  ocTempUnit = 4,
  ocLogTimeFormat = 8,
  ocLogTimeSource = 16,
  ocLogTimeZone = 32
};

// View kinds of the main window's view table.
enum TViewKind : int32_t {
  vkGraphic = 1,
  vkAllanGraphic = 2,
  vkTextZCT = 3,
  vkRawData = 4,
  vkAllanText = 5,
  vkTextIVC = 6,
  vkSensorText = 7,
  vkMessages = 8,
  vkDGI = 9,
  vkDebug = 10
};

// What a view tells the main window.
enum class TChildNotice {
  Activated,      // the view became the active window
  ViewSelection,  // the user asked to change the view's settings (the selection dialog)
  Destroyed       // the view is gone: its entry in the view table is free
};
using TOnMainEvent = std::function<void(int32_t tag, TChildNotice notice)>;

// What views take from the program around them. Every member may be left empty.
struct TViewEnvironment {
  const TDebugConf* DebugConf = nullptr;
  // The window number format of the global options; a point when not given.
  std::function<TFormatSettings()> FormatWin;
  // The log-file number format, for tables the views save; a point when not given.
  std::function<TFormatSettings()> FormatLog;
  // The interval-counter store of a counter session; by default the session's own store when that
  // is one.
  std::function<TIVC_DataManagement*(TSessionItem&)> IVCStore;
  // Whether a counter session's instrument carries interval-counter data only, or counter data only.
  std::function<bool(const TSessionItem&)> IVCOnly;
  std::function<bool(const TSessionItem&)> ZCTOnly;
  // The folder of log files, where graphic views save their pictures.
  std::function<std::string()> LogRootFolder;
  // The clock whose local time stamps saved pictures and tables; the system clock when not given.
  const TClock* Clock = nullptr;
};

// The caption of a view: the user title if there is one, else "[" + letter + ": " + name + "] " +
// default title ("[" + letter + "] " + default title without a name); "   (" + n + ")" follows
// when several views would have the same caption.
std::string ChildCaption(const std::string& title, int32_t sessionIndex, const std::string& friendlyName,
                         const std::string& defaultTitle, int32_t sameCaptionNumber);

// The base of all views: a widget meant to sit in a sub-window of the main window's MDI area.
// It binds the view to up to two sessions ("bases" 1 and 2) with their data stores, channel strips
// and colour panels, builds the caption, keeps placement and channel selection in the settings and
// offers the operations through which the main window and the display cycle drive every view.
//
// Sessions are bound by pointer; before the main window frees or replaces a session it calls
// PrepareSessionChange and SessionChanged, so a view never refers to a freed session.
class TMDIChild : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kBaseCount = 2;
  static constexpr int32_t kSettingsVersion = 5;

  // CreateChild: a view for a session (or none), with its tag in the view table and the main
  // window's callback. Base 1 is bound to the session; there is no second session.
  TMDIChild(QWidget* AOwner, int32_t aTag, TSessionItem* aSession, TOnMainEvent aOnMain, TViewEnvironment aEnv,
            const std::string& aDefaultTitle, const std::string& aClassName, int aDebugCategory);
  ~TMDIChild() override;

  // ---- Operations the main window and the display cycle call ----
  virtual void ChannelCount();
  virtual void ChannelCount2nd();
  virtual void DGICount();
  virtual void DataReset();
  // Column flags as "1"/"0" characters (text views); empty for views without columns.
  virtual std::string GetColumnEnabled() const;
  virtual void SetColumnEnabled(const std::string& Value);
  virtual bool IsIVCView(int base) const;
  virtual void ReadSettings(TAppSettings& Settings, const std::string& SettingsPrefix);
  virtual void SaveSettings(TAppSettings& Settings, const std::string& SettingsPrefix);
  // `aOld` is about to be freed or replaced: the bases bound to it let go of it.
  virtual void PrepareSessionChange(TSessionItem* aOld);
  // The replacement (none when the session was removed): each base that let go and has the new
  // session's index is bound to it.
  virtual void SessionChanged(TSessionItem* aSession);
  virtual void SetInactiveChild();
  virtual void UpdateCaption();
  virtual void UpdateDisplay();
  virtual void UpdateOptions(int32_t what);
  virtual void UpdateSession(int base);

  // ---- Properties ----
  int32_t Tag() const { return FTag; }
  TSessionItem* Session() const { return FBase[0].Session; }
  TSessionItem* SecondSession() const { return FBase[1].Session; }
  // Binds base 2 (none = nullptr).
  void SetSecondSession(TSessionItem* aSession);
  // The counter sessions of the bases, or none.
  TSessionItem* QVSession() const { return FBase[0].QVSession; }
  TSessionItem* SecondQVSession() const { return FBase[1].QVSession; }
  TDataManagement* DataManagement() const { return FBase[0].DataManagement; }
  TZCT_DataManagement* ZCTDataManagement(int base) const;
  int32_t SessionIndex(int base) const;
  // The view's channel records (enables, persist marks, selection) of base 1 and base 2.
  const TQV_ChannelData& ChannelData() const;
  const TQV_ChannelData& ChannelDataSecond() const;
  const std::string& Title() const { return FTitle; }
  void SetTitle(const std::string& value);
  const std::string& ChildTitle() const { return FChildTitle; }
  const std::string& DefaultTitle() const { return FDefaultTitle; }
  bool DefaultSettings() const { return FDefaultSettings; }
  int32_t SameCaptionNumber() const { return FSameCaptionNumber; }
  void SetSameCaptionNumber(int32_t value);
  int32_t TransmittedChannels() const { return FTransmittedChannels; }
  bool VirtualChannels() const { return FVirtualChannels; }
  virtual void SetVirtualChannels(bool value);
  int32_t IniSecondSessionIndex() const { return FIniSecondSessionIndex; }
  const std::string& SettingsPrefix() const { return FSettingsPrefix; }
  const std::string& DbgTag() const { return FDbgTag; }
  QWidget* BottomPanel() const { return FBottomPanel; }
  bool BottomPanelVisible() const;
  // Shows or hides the bottom panel; the window grows or shrinks by the panel's height.
  void SetBottomPanelVisible(bool value);
  // The widget whose geometry is the view's placement: its sub-window, or the view itself.
  QWidget* PlacementWidget() const;
  // The view's place in the stacking order (0 = bottom) as last saved or read; -1 = none stored.
  int32_t StackIndex() const { return FStackIndex; }
  void SetStackIndex(int32_t value) { FStackIndex = value; }

 protected:
  struct TBase {
    int32_t SessionIndex = -1;
    TSessionItem* Session = nullptr;
    TDataManagement* DataManagement = nullptr;
    TSessionItem* QVSession = nullptr;
    TZCT_DataManagement* ZCT_DM = nullptr;
    TSessionItem* SensorSession = nullptr;
    TDataManagement* SensorDM = nullptr;
    TQV_Channels* Channels = nullptr;
    QWidget* ColorPanel = nullptr;
    bool LetGo = false;  // was bound to a session that is being replaced
  };

  TBase& Base(int base) { return FBase[size_t(base - 1)]; }
  const TBase& Base(int base) const { return FBase[size_t(base - 1)]; }
  void BindBase(int base, TSessionItem* aSession);
  // Binds a base again to its session, which may have changed its kind or its stores.
  void RebindBase(int base);
  // Registers the controls a derived view made for a base.
  void SetBaseControls(int base, TQV_Channels* channels, QWidget* colorPanel);
  void SetBottomPanel(QWidget* panel);
  // The strip under the data of base 1: a colour panel with the session's colour and letter, and
  // the channel strip; added to `layout` and made the view's bottom panel.
  TQV_Channels* AddChannelStrip(QBoxLayout& layout, TMouseClickAction action);
  // A row of compact tool buttons above the data, added to `layout`.
  QHBoxLayout* AddButtonRow(QBoxLayout& layout);
  // A tool button sized to its text, named after it, running `handler` when clicked.
  QToolButton* AddButton(QHBoxLayout& row, const char* text, std::function<void()> handler);
  // Where pictures and tables are saved: the log root folder, else the home folder.
  std::string SaveFolder() const;
  // The name, without extension, for files saved now into `folder`: `name` + "_" + the local time
  // as "YYMMDD_HHNNSS", with "_1", "_2", ... added while a file with one of the extensions has
  // it, so that two saves within one second keep both.
  std::string FreeSaveStem(const std::string& folder, const std::string& name, const std::vector<std::string>& extensions) const;
  // Refreshes at once (after a user choice); a failure is logged, never passed to the caller.
  void RefreshNow();
  // The "+" corner cell of a text grid shows and hides the channel strip.
  void GridCellClicked(int row, int col);
  // The placement used when the settings hold none (moved by 20 pixels per session index).
  void SetDesignPlacement(const QRect& rect, bool anchoredToBottom);

  // The channel record a base's strip takes from its session, and the number of channels its data
  // store delivers (0 before any data). Views of other stores override them.
  virtual const TQV_ChannelData* SessionChannelData(int base) const;
  virtual int32_t StoreChannelCount(int base) const;
  // The number of cells of a base's strip: the delivered channels, or the record's count before
  // any data arrived.
  int32_t StripChannelCount(int base) const;

  char WinDecimalSeparator() const;
  const TViewEnvironment& Environment() const { return FEnv; }
  // Closes the view (its sub-window) after the current event, logging the reason.
  void CloseChild(const std::string& reason);
  bool Closing() const { return FClosing; }

  // Diagnostic lines in the view's debug category, prefixed with the view's tag.
  void LogInfo(const std::string& text) const;
  void LogError(const std::string& text) const;
  void LogException(const std::string& text, const std::exception& e) const;

  // The placement keys alone ("DefaultSettings", "Left", "Top", "Width", "Height", "BottomVis"),
  // for views that keep no other base keys.
  void ReadPlacementSettings(TAppSettings& Settings, const std::string& P);
  void SavePlacementSettings(TAppSettings& Settings, const std::string& P);
  // Shows or hides a panel of the view; the window grows or shrinks by the panel's height.
  void ShowPanel(QWidget* panel, bool value);

  bool event(QEvent* event) override;
  // The view became the active window of the MDI area.
  virtual void ChildActivated();

  std::string FTitle;
  std::string FDefaultTitle;
  std::string FChildTitle;
  int32_t FSameCaptionNumber = 0;
  bool FDefaultSettings = true;
  int32_t FStackIndex = -1;
  bool FVirtualChannels = false;
  int32_t FTransmittedChannels = 0;
  int32_t FIniSecondSessionIndex = -1;
  std::string FSettingsPrefix;
  std::string FDbgTag;
  TOnMainEvent FOnMain;

 private:
  void WatchSubWindow();

  std::array<TBase, kBaseCount> FBase;
  QWidget* FBottomPanel = nullptr;
  bool FDesignBottomVisible = true;
  QRect FDesignRect{0, 0, 560, 380};
  bool FAnchoredToBottom = false;
  std::string FDesignCaption;
  const int32_t FTag;
  const int FDebugCategory;
  TViewEnvironment FEnv;
  bool FClosing = false;
  QWidget* FWatchedSubWindow = nullptr;
};

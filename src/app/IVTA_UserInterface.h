#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "acquisition/App_Sessions.h"

class TSessionIndexMap;
class TSessionLists;
class TVTASettings;
struct TMainSyncData;
struct TMessageItem;

// What the connection dialog starts with when a session is added or changed.
struct TSourceDialogPreset {
  int32_t Index = 0;
  int32_t SessionType = kSessionTypeCounter;
  std::string FriendlyName;
  int32_t ConnectionType = 0;
  uint32_t Color = kDefaultSessionColor;
  std::string OpenString;  // empty for a new session
  int32_t DemoChannels = 4;  // simulator channel count the counter session keeps ("DemoChannels")
};

// What the user chose in the connection dialog.
struct TSourceDialogResult {
  int32_t SessionType = kSessionTypeCounter;
  std::string OpenString;  // empty: the dialog could not build one (PortText says why)
  int32_t ConnectionType = 0;
  std::string FriendlyName;
  uint32_t Color = kDefaultSessionColor;
  std::string PortText;  // the reason when there is no open string, e.g. "No serial port selected"
  std::optional<int32_t> DemoChannels;  // simulator channel count 1..24; set for "DemoData" only
};

// The face of the application: what the engine needs a user to see or answer. The main window
// implements it with windows and dialogs, `vta-cli run` by printing. Every hook is called on the
// thread that owns the application (the window thread); none is called from the report thread.
//
// Hooks called by the display cycle may throw: the cycle logs the failure, turns it into a user
// error and goes on with its next part.
class IVTA_UserInterface {
 public:
  virtual ~IVTA_UserInterface() = default;

  // ---- Busy notice (shown during slow connects) ----
  virtual void ShowSplash(const std::string& text) = 0;
  virtual void HideSplash() = 0;

  // ---- Boxes and dialogs ----
  // A message box with the window caption, e.g. "Please choose a connection or app will be canceled".
  virtual void MessageBox(const std::string& text) = 0;
  // A Yes/No question ("Logging is active" + line break + "Close application?"); true for Yes.
  virtual bool Question(const std::string& text) = 0;
  // The standard error box.
  virtual void ErrorBox(const std::string& text) = 0;
  // The connection dialog preset from `request`; none when the user cancels it.
  virtual std::optional<TSourceDialogResult> AskConnection(const TSourceDialogPreset& request) = 0;

  // ---- Sessions ----
  // A session went into its slot: its status fields, info view, menus and icon are set up. Views
  // set aside for this index by SessionRemoving(..., true) are attached to it now.
  virtual void SessionAdded(TSessionItem& session) = 0;
  // A session's parameters changed (friendly name, colour, connection, channel layout).
  virtual void SessionUpdated(TSessionItem& session) = 0;
  // The session is about to be freed: its views are closed (or, with keepViews, set aside for the
  // session that replaces it), its info view and menus removed and its status fields cleared.
  virtual void SessionRemoving(TSessionItem& session, bool keepViews) = 0;
  // The session list changed (added, removed, replaced): dialogs and menus that list sessions follow.
  virtual void SessionListChanged(const TSessionLists& lists) = 0;

  // ---- Display cycle ----
  // One notice from a session; `sender` is none when the session has gone meanwhile. Notices about
  // the copy list ("ZCT only", "IVC only") arrive after the application removed the copy.
  virtual void SyncNotice(const TMainSyncData& notice, TSessionItem* sender) = 0;
  // Every view except the message view refreshes its display.
  virtual void UpdateViews() = 0;
  virtual bool MessageViewExists() const = 0;
  virtual void CreateMessageView() = 0;
  // The message view is rebuilt from the application's message list.
  virtual void UpdateMessageView() = 0;
  // A popup for a message whose notification asks for one.
  virtual void ShowPopup(const TMessageItem& item) = 0;
  // Every info view refreshes its panel.
  virtual void UpdateInfo() = 0;
  // The status bar (or status line) is refreshed from TVTA_Application::SessionStatuses.
  virtual void UpdateStatus() = 0;

  // ---- Settings of the windows ("Main_", "ViewMessage_", "View_" + n + "_", "ChildCount") ----
  // At start-up, after the stored sessions were recreated and before they are opened.
  virtual void ReadWindowSettings(TVTASettings& settings, const TSessionLists& lists) = 0;
  // While saving, after the sessions and "SessionCount" and before the logging and notification
  // keys; the "Info_", "ViewMessage_" and "View_" keys have been removed. `map` turns session
  // indexes into the stored numbers ("Info_" + n + "_", a view's "Session").
  virtual void SaveWindowSettings(TVTASettings& settings, const TSessionIndexMap& map) = 0;
};

#pragma once
#include <optional>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "app/IVTA_UserInterface.h"
#include "app/VTA_WindowKeys.h"

class TVTA_Application;

// The face of `vta-cli run`: what a window would show is printed, questions get fixed answers.
// Boxes and failures go to `err`, everything else to `out`. The connection dialog is answered with
// the connection given on the command line, once; without one it is cancelled. The keys of the
// desktop program's windows are kept unchanged (TWindowKeys).
class TConsoleUserInterface : public IVTA_UserInterface {
 public:
  TConsoleUserInterface(std::ostream& out, std::ostream& err, std::optional<std::string> connect);

  // The application whose messages and session states are printed; set right after creating it.
  void Attach(TVTA_Application* app) { FApp = app; }
  // One status line per session (StatusLine).
  void PrintStatus();
  // The connection dialog was asked for without a connection to answer it with.
  bool ConnectionMissing() const { return FConnectionMissing; }

  void ShowSplash(const std::string& text) override;
  void HideSplash() override {}
  void MessageBox(const std::string& text) override;
  // "Yes" only for closing while logging (the user asked to end); "No" otherwise, so that nothing
  // repeats without a user.
  bool Question(const std::string& text) override;
  void ErrorBox(const std::string& text) override;
  std::optional<TSourceDialogResult> AskConnection(const TSourceDialogPreset& request) override;

  void SessionAdded(TSessionItem& session) override;
  void SessionUpdated(TSessionItem& session) override {}
  void SessionRemoving(TSessionItem& session, bool keepViews) override;
  void SessionListChanged(const TSessionLists& lists) override {}

  void SyncNotice(const TMainSyncData& notice, TSessionItem* sender) override;
  void UpdateViews() override {}
  bool MessageViewExists() const override { return true; }
  void CreateMessageView() override {}
  // Prints the messages that were not printed before.
  void UpdateMessageView() override;
  void ShowPopup(const TMessageItem& item) override;
  void UpdateInfo() override {}
  // Status lines follow their own one-second rhythm (PrintStatus), not the display cycle's.
  void UpdateStatus() override {}

  void ReadWindowSettings(TVTASettings& settings, const TSessionLists& lists) override;
  void SaveWindowSettings(TVTASettings& settings, const TSessionIndexMap& map) override;

 private:
  std::ostream& FOut;
  std::ostream& FErr;
  std::optional<std::string> FConnect;
  bool FConnectUsed = false;
  bool FConnectionMissing = false;
  TVTA_Application* FApp = nullptr;
  uint64_t FLastPrintedSeq = 0;  // the newest message printed
  TWindowKeys FWindowKeys;
};

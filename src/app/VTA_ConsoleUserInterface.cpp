#include "app/VTA_ConsoleUserInterface.h"

#include <QFileInfo>
#include <algorithm>

#include "acquisition/QV_ConnectionString.h"
#include "acquisition/VTA_Sync.h"
#include "app/VTA_Application.h"
#include "core/VTA_Common.h"
#include "core/VTA_Settings.h"

namespace {

// The connection kind an open string names; -1 (not set) when it names nothing that exists.
int32_t ConnectionTypeOf(const std::string& openString) {
  const auto exists = [](const std::string& path) { return QFileInfo::exists(QString::fromStdString(path)); };
  const TConnectionString split = SplitConnectionString(openString, exists, "vta-cli");
  if (split.Result != QV_No_Err) return -1;
  const TOpenTarget target = ClassifyOpenTarget(split, [](const std::string&) { return std::nullopt; }, exists);
  return target.Result == QV_No_Err ? int32_t(target.Kind) : -1;
}

}  // namespace

TConsoleUserInterface::TConsoleUserInterface(std::ostream& out, std::ostream& err, std::optional<std::string> connect)
    : FOut(out), FErr(err), FConnect(std::move(connect)) {}

void TConsoleUserInterface::PrintStatus() {
  if (!FApp) return;
  for (const TSessionStatus& status : FApp->SessionStatuses()) FOut << "Status " << StatusLine(status) << '\n';
  FOut.flush();
}

void TConsoleUserInterface::ShowSplash(const std::string& text) { FOut << "Busy: " << text << std::endl; }

void TConsoleUserInterface::MessageBox(const std::string& text) { FErr << text << std::endl; }

bool TConsoleUserInterface::Question(const std::string& text) {
  const bool yes = text == kCloseWhileLogging;
  FOut << "Question: " << text << " -> " << (yes ? "Yes" : "No") << std::endl;
  return yes;
}

void TConsoleUserInterface::ErrorBox(const std::string& text) { FErr << "Error: " << text << std::endl; }

std::optional<TSourceDialogResult> TConsoleUserInterface::AskConnection(const TSourceDialogPreset& request) {
  if (FConnectUsed) return std::nullopt;  // one answer: a second request means it was refused
  if (!FConnect) {
    if (!FConnectionMissing) FErr << "vta-cli run: no session stored, give one with --connect CONNECTION" << std::endl;
    FConnectionMissing = true;
    return std::nullopt;
  }
  TSourceDialogResult choice;
  choice.SessionType = request.SessionType;
  choice.OpenString = *FConnect;
  choice.ConnectionType = ConnectionTypeOf(*FConnect);
  choice.FriendlyName = request.FriendlyName;
  choice.Color = request.Color;
  FConnectUsed = true;
  return choice;
}

void TConsoleUserInterface::SessionAdded(TSessionItem& session) {
  FOut << "Session " << SessionLetter(session.Index()) << " added: " << session.OpenString() << std::endl;
}

void TConsoleUserInterface::SessionRemoving(TSessionItem& session, bool keepViews) {
  FOut << "Session " << SessionLetter(session.Index()) << " removed" << std::endl;
}

void TConsoleUserInterface::SyncNotice(const TMainSyncData& notice, TSessionItem* sender) {
  FOut << "Notice " << notice.ToString() << std::endl;
}

void TConsoleUserInterface::UpdateMessageView() {
  if (!FApp) return;
  // Only the messages that arrived since the previous cycle; a merged message arrives anew.
  for (const TMessageItem& item : FApp->Messages().ItemsAfter(FLastPrintedSeq, FLastPrintedSeq))
    (item.MsgType == mtInfo ? FOut : FErr) << "Message " << ItemToString(item, nullptr) << std::endl;
}

void TConsoleUserInterface::ShowPopup(const TMessageItem& item) { FErr << "Popup: " << item.Text << std::endl; }

void TConsoleUserInterface::ReadWindowSettings(TVTASettings& settings, const TSessionLists& lists) {
  FWindowKeys.Capture(settings);
}

void TConsoleUserInterface::SaveWindowSettings(TVTASettings& settings, const TSessionIndexMap& map) {
  FWindowKeys.Restore(settings, map);
}

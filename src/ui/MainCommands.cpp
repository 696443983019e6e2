// What the menu commands do: per-session device commands, session management, options, help.
#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QUrl>

#include "acquisition/App_Sessions.h"
#include "acquisition/VTA_Sessions.h"
#include "core/QV_NumberText.h"
#include "core/VTA_Settings.h"
#include "data/ZCT_DataManagement.h"
#include "app/VTA_MultiSampler.h"
#include "ui/ChannelColorDialog.h"
#include "ui/MainForm.h"
#include "ui/MenuText.h"
#include "ui/MessageChild.h"
#include "ui/SessionCommands.h"
#include "ui/UserManual.h"

namespace {

constexpr int kUserInputCategory = 12;
constexpr int32_t kMsgCodePPIOffset = 17;

std::string Bracket(int32_t index) { return "[" + std::to_string(index) + "]"; }

}  // namespace

// ---------------------------------------------------------------- per-session commands

void TMainForm::SendCommand(TSessionItem& session, const std::string& cmd, const std::string& cmdText) {
  session.SetCommand(cmd, cmdText);
}

void TMainForm::SessionCommand(TSessionCmd kind, QAction& action) {
  const int32_t tag = TSessionActions::Tag(action);
  const int32_t index = TSessionActions::SessionOfTag(tag);
  const int32_t value = TSessionActions::ValueOfTag(tag);
  const std::string caption = action.text().remove('&').toStdString();
  TSessionItem* session = FApp->Lists().GetSession(index);
  if (!session) {
    LogError(kUserInputCategory, "TMainForm.MenuClick" + Bracket(index) + ": no session for " +
                                     action.objectName().toStdString());
    return;
  }
  const auto logCommand = [&](const char* name) {
    Log(kUserInputCategory, std::string("TMainForm.") + name + Bracket(index) + ": Id=" + std::to_string(value));
  };
  const auto send = [&](const TSessionCommand& command) { SendCommand(*session, command.Cmd, command.CmdText); };
  TZCT_DataManagement* store = dynamic_cast<TZCT_DataManagement*>(session->DataManagement());

  switch (kind) {
    case TSessionCmd::Mode:
      logCommand("DeviceModeExecute");
      return send(ModeCommand(value, caption));
    case TSessionCmd::Rate:
      logCommand("DeviceRateExecute");
      return send(IntervalCommand(value, caption));
    case TSessionCmd::Scrambler:
      logCommand("DeviceScramblerExecute");
      return send(ScramblerCommand(value, caption));
    case TSessionCmd::PPI:
      logCommand("DevicePPIexecute");
      return DevicePPIExecute(*session, action);
    case TSessionCmd::InfoShow:
      logCommand("InfoShowExecute");
      if (TInfoChild* info = InfoView(index))
        info->ShowPanel(value, action.isChecked());
      else
        LogError(kUserInputCategory, "TMainForm.InfoShowExecute" + Bracket(index) + ": InfoWin not found");
      return;
    case TSessionCmd::GetVersion:
      logCommand("ActionGetVersionExecute");
      return send(VersionCommand());
    case TSessionCmd::ReCenter:
      logCommand("ActionReCenterExecute");
      send(DiffResetCommand());
      if (store) store->PhaseDiffResetted();
      return;
    case TSessionCmd::SyncEnable:
      logCommand("ActionSyncEnableExecute");
      action.setChecked(true);
      return send(SyncEnableCommand());
    case TSessionCmd::ViewDebug:
      logCommand("ActionViewDebugExecute");
      return ShowDebugView(*session);
    case TSessionCmd::ClearTransmit:
      logCommand("ActionClearTransmitExecute");
      return send(ClearBufferCommand());
    case TSessionCmd::AllanRestart:
      logCommand("SourceAllanRestartExecute");
      if (store) store->ResetAllan();
      return;
    case TSessionCmd::AllanClearPersist:
      logCommand("SourceAllanClearPersistExecute");
      if (store)
        for (int32_t channel = 1; channel <= TQV_ChannelData::ChannelCount; ++channel) store->ResetAllanPersist(channel);
      return;
    case TSessionCmd::AllanConfig:
      logCommand("SourceAllanConfigExecute");
      return AllanConfigExecute(*session);
    case TSessionCmd::Channel:
      logCommand("SourceChannelExecute");
      return ChannelColorsExecute(*session);
    case TSessionCmd::DigitalInputs:
      logCommand("SourceDigitalInputsExecute");
      return DGINamesExecute(*session);
    case TSessionCmd::HRQSettings:
      logCommand("SourceHRQSettingsExecute");
      return HRQSettingsExecute(*session);
    case TSessionCmd::Calibrate:
      logCommand("SourceCalibrateExecute");
      return IVCCalibrationExecute(*session);
    case TSessionCmd::VirtualZCT:
      logCommand("SourceVirtualZCTChannelsExecute");
      return VirtualChannelsExecute(*session, false);
    case TSessionCmd::VirtualIVC:
      logCommand("SourceVirtualIVCChannelsExecute");
      return VirtualChannelsExecute(*session, true);
    case TSessionCmd::ClockAlarm:
      logCommand("SourceClockAlarmExecute");
      return ClockWarningsExecute(*session);
    case TSessionCmd::SensorAlarm:
      logCommand("SourceSensorAlarmExecute");
      return SensorWarningsExecute(*session);
    case TSessionCmd::LocalServer:
      logCommand("LocalServerExecute");
      return LocalServerExecute(*session);
    case TSessionCmd::NomFreq:
      logCommand("SourceNomFreqExecute");
      return NomFreqExecute(*session);
    case TSessionCmd::Config:
      logCommand("SourceConfigExecute");
      return DeviceConfigExecute(*session);
    case TSessionCmd::Change:
      logCommand("SourceChangeExecute");
      return SourceChangeExecute(*session);
    case TSessionCmd::ReOpen:
      logCommand("SourceReOpenExecute");
      FApp->ReopenSession(index);
      return;
    case TSessionCmd::Remove:
      logCommand("SourceRemoveExecute");
      FApp->RemoveSessionRequest(index);
      return;
    default:
      LogError(kUserInputCategory, "TMainForm.MenuClick" + Bracket(index) + ": not available " +
                                       action.objectName().toStdString());
      return;
  }
}

void TMainForm::DevicePPIExecute(TSessionItem& session, QAction& action) {
  const int32_t index = session.Index();
  const std::string caption = action.text().remove('&').toStdString();
  if (!action.isChecked()) {
    const TSessionCommand command = PPIDefaultCommand(caption);
    return SendCommand(session, command.Cmd, command.CmdText);
  }
  const TInfoChild* info = InfoView(index);
  if (!info) {
    LogError(kUserInputCategory, "TMainForm.DevicePPIexecute" + Bracket(index) + ": InfoWin not found");
    // Nothing was sent, so the menu must not claim that PPI is in use.
    action.setChecked(false);
    return;
  }
  // The offset is a signed number of milliseconds; PPICommand alone turns it into the bytes.
  const int32_t offset = info->GetPPIoffset();
  const int32_t intervalMs = session.IntervalMs();
  if (PPIOffsetTooLarge(intervalMs, offset)) FApp->AddWarning(index, kMsgCodePPIOffset, 0, "PPI offset larger than interval");
  const TSessionCommand command = PPICommand(intervalMs, offset, caption);
  SendCommand(session, command.Cmd, command.CmdText);
}

void TMainForm::ChannelColorsExecute(TSessionItem& session) {
  const TDataManagement* store = session.DataManagement();
  const int count = store && store->ChannelCount() > 0 ? store->ChannelCount() : session.ChannelData().MaxChannels();
  TChannelColorDialog dialog(this, session.ChannelData(), count);
  if (dialog.exec() != QDialog::Accepted) return;
  session.SetChannelData(dialog.ZCTData());
  if (TSessionItem* copy = FApp->Lists().GetSessionCopy(session.Index())) copy->SetChannelData(dialog.ZCTData());
  for (TMDIChild* view : ViewsOf(session)) {
    if (view->Session() == &session) view->UpdateSession(1);
    if (view->SecondSession() == &session) view->UpdateSession(2);
  }
}

// ---------------------------------------------------------------- session management

void TMainForm::SourceNewExecute() {
  Log(kUserInputCategory, "TMainForm.SourceNewExecute");
  TSessionItem* added = FApp->SourceNew();
  if (added && added->OpenString() != kOpenStringNone) CreateDefaultViews(*added);
}

void TMainForm::SourceChangeExecute(TSessionItem& session) {
  const int32_t index = session.Index();
  // The dialog's event loop must not let the display cycle change the sessions underneath.
  TDisplayTimerLock lock(*FApp);
  TSourceDialogPreset preset;
  preset.Index = index;
  preset.SessionType = session.SessionType();
  preset.FriendlyName = session.FriendlyName();
  preset.ConnectionType = session.ConnectionType() == -1 ? 0 : session.ConnectionType();
  preset.Color = session.Color();
  preset.OpenString = session.OpenString();
  const std::optional<TSourceDialogResult> choice = AskConnection(preset);
  if (!choice) {
    Log(kUserInputCategory, "TMainForm.SourceChangeExecute: cancel");
    return;
  }
  FApp->ChangeSession(index, *choice);
}

// ---------------------------------------------------------------- options

void TMainForm::BroadcastOptions(int32_t what) {
  Log(kUserInputCategory, "TMainForm.UpdateOptions what=" + std::to_string(what));
  for (TSessionItem* session : FApp->Lists().CopyList()) session->UpdateOptions(what);
  for (TMDIChild* view : FChildArray.Views()) view->UpdateOptions(what);
  if (FMessageView) FMessageView->UpdateOptions(what);
  // Log files of the old time settings or unit are closed; the next line opens a new one.
  if (TVTA_MultiSampler* sampler = FApp->MultiSampler()) sampler->UpdateOptions(what, FApp->Settings());
}

void TMainForm::DecSepWinExecute(char separator) {
  Log(kUserInputCategory, std::string("TMainForm.DecSepWinExecute ") + separator);
  FApp->Settings().SetDecSepWin(separator);
  UpdateOptionChecks();
  BroadcastOptions(ocDecSepWin);
}

void TMainForm::DecSepLogExecute(char separator) {
  Log(kUserInputCategory, std::string("TMainForm.DecSepLogExecute ") + separator);
  const bool formatChanged = FApp->Settings().SetDecSepLog(separator);
  if (FOptions.Kinds.SetDecimalSeparator)
    for (TSessionItem* session : FApp->Lists().Sessions())
      if (session->SessionType() == kSessionTypeCounter) FOptions.Kinds.SetDecimalSeparator(*session, separator);
  UpdateOptionChecks();
  BroadcastOptions(formatChanged ? ocDecSepLog | ocLogTimeFormat : ocDecSepLog);
}

void TMainForm::TempUnitExecute(int32_t unit) {
  Log(kUserInputCategory, "TMainForm.TempUnitExecute " + std::to_string(unit));
  FApp->Settings().SetTempUnit(unit);
  UpdateOptionChecks();
  BroadcastOptions(ocTempUnit);
}

void TMainForm::LogRootFolderExecute() {
  TVTASettings& settings = FApp->Settings();
  const QString caption = "Select root folder for logging files";
  const QString start = QString::fromStdString(settings.LogRootFolder());
  const QString folder = FOptions.Dialogs.Folder ? FOptions.Dialogs.Folder(this, caption, start)
                                                 : QFileDialog::getExistingDirectory(this, caption, start);
  if (folder.isEmpty()) return;
  std::string path = folder.toStdString();
  if (path.back() != '/') path += '/';
  settings.SetLogRootFolder(path);
  Log(kUserInputCategory, "Change root folder for logging files to " + path);
}

// ---------------------------------------------------------------- help and expert commands

void TMainForm::UserManualExecute(const QString& fileName) {
  const QString programDir = QCoreApplication::applicationDirPath();
  const QString path = FindUserManual(programDir, fileName);
  if (path.isEmpty())
    return ShowMessageBox(windowTitle(), "File " + UserManualCandidates(programDir, fileName).join(" or ") + " not found");
  if (QDesktopServices::openUrl(QUrl::fromLocalFile(path))) return;
  LogError(kUserInputCategory, "TMainForm.MenuClick.cmdUserManual failed to open " + path.toStdString() + ", error=-1");
  ShowMessageBox(windowTitle(), "Can not open the document " + path + "\r\n" + "no document viewer accepted it");
}

void TMainForm::AboutExecute() {
  const QString text = QString("<b>VTA_App</b><br>Version %1 - %2<br><br>Q+V source interface<br>Version %3")
                           .arg(kAppVersion, kAppBuildDate, QString::fromStdString(FApp->DllInfo()).toHtmlEscaped());
  QMessageBox::about(this, windowTitle(), text);
}

void TMainForm::MemoryStateExecute() {
  QFile status("/proc/self/status");
  QString text;
  if (status.open(QIODevice::ReadOnly | QIODevice::Text))
    for (const QString& line : QString::fromUtf8(status.readAll()).split('\n'))
      if (line.startsWith("VmRSS") || line.startsWith("VmSize") || line.startsWith("VmPeak") || line.startsWith("Threads"))
        text += line.simplified() + "\n";
  ShowMessageBox("Memory State", text.isEmpty() ? QString("no memory information") : text);
}

void TMainForm::SendCommandExecute() {
  const std::vector<TSessionItem*> sessions = FApp->Lists().Sessions();
  if (sessions.empty()) return;
  QDialog dialog(this);
  dialog.setWindowTitle("Send Command");
  auto* form = new QFormLayout(&dialog);
  auto* sessionBox = new QComboBox(&dialog);
  for (TSessionItem* session : sessions)
    sessionBox->addItem(QString::fromStdString(FApp->Lists().GetSessionName(session->Index(), true)), session->Index());
  auto* bytes = new QLineEdit(&dialog);
  bytes->setPlaceholderText("hexadecimal bytes, e.g. 01 or 85 42");
  form->addRow("Source", sessionBox);
  form->addRow("Command", bytes);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  form->addRow(buttons);
  connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  if (dialog.exec() != QDialog::Accepted) return;
  const std::optional<std::string> cmd = ParseHexCommand(bytes->text().toStdString());
  if (!cmd) return ShowMessageBox("Send Command", "Not a command: " + bytes->text());
  if (TSessionItem* session = FApp->Lists().GetSession(sessionBox->currentData().toInt()))
    SendCommand(*session, *cmd, "Command " + bytes->text().toStdString());
}

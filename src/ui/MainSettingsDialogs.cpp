// The settings dialogs of the main window: they show the stored values and apply the user's
// choices through the same engine calls that reading the settings file makes.
#include <QCoreApplication>
#include <QDialog>

#include "acquisition/QV_SessionItem.h"
#include "acquisition/SourceHandle.h"
#include "acquisition/VTA_SensorSession.h"
#include "app/VTA_MultiSampler.h"
#include "app/VTA_Notifications.h"
#include "core/QV_NumberText.h"
#include "core/VTA_Common.h"
#include "core/VTA_DebugConf.h"
#include "core/VTA_Settings.h"
#include "data/IVC_DataManagement.h"
#include "devices/QV_DeviceInfo.h"
#include "data/VTA_SensorDM.h"
#include "data/ZCT_DataManagement.h"
#include "logging/MultiSampler.h"
#include "ui/AllanConfigDialog.h"
#include "ui/CenterValuesDialog.h"
#include "ui/ClockWarningsDialog.h"
#include "ui/DGINamesDialog.h"
#include "ui/DebugFilesDialog.h"
#include "ui/DeviceConfigDialog.h"
#include "ui/DeviceInfoDialog.h"
#include "ui/EMailServerDialog.h"
#include "ui/EmailNotificationsDialog.h"
#include "ui/GraphicChild.h"
#include "ui/HRQSettingsDialog.h"
#include "ui/IVCCalibrationDialog.h"
#include "ui/LocalServerDialog.h"
#include "ui/MainForm.h"
#include "ui/NomFreqDialog.h"
#include "ui/PopupNotificationsDialog.h"
#include "ui/SensorWarningsDialog.h"
#include "ui/TimeSettingsDialog.h"
#include "ui/VirtualChannelsDialog.h"

namespace {

constexpr int kUserInputCategory = 12;
constexpr int32_t kMsgCodeDebugLogFailed = 85;
constexpr int32_t kSamplerVirtualChanged = 6;  // "Virtual definitions changed"

TDebugSessionChoice DebugChoiceOf(TSessionItem& session) {
  const auto* counter = dynamic_cast<const TQVSessionItem*>(&session);
  return {session.Index(), session.FriendlyName(), session.Color(), counter != nullptr, session.DebugLog(),
          session.DebugReport(), session.DebugLowLevel(), counter && counter->DebugStream()};
}

// The names of the session's counter channels in use.
std::vector<std::string> ChannelNames(const TSessionItem& session) {
  const TDataManagement* store = session.DataManagement();
  const int count = store && store->ChannelCount() > 0 ? store->ChannelCount() : session.ChannelData().MaxChannels();
  std::vector<std::string> names;
  for (int k = 1; k <= count; ++k) names.push_back(session.ChannelData().ChannelName(k));
  return names;
}

// What the sensor warnings dialog shows of a sensor session: each channel the device delivers with
// its signal and range, and the session's warning settings.
TSensorWarnings SensorWarningsOf(const TSensorSessionItem& session) {
  const TVTA_SensorDM& store = session.SensorDM();
  TSensorWarnings warnings;
  const int32_t count = store.ChannelCount() > 0 ? store.ChannelCount() : session.ChannelCount();
  for (int32_t k = 1; k <= count; ++k)
    warnings.Channels.push_back({store.ChannelSignalName(k), store.ChannelUnitName(k), session.RangeInfo(k)});
  warnings.Alarm = session.SensorAlarm();
  return warnings;
}

QString SessionCaption(const TSessionItem& session, const QString& title) {
  return "[" + QString(QChar(SessionLetter(session.Index()))) + "] " + title;
}

}  // namespace

bool TMainForm::RunSettingsDialog(QDialog& dialog) {
  if (FOptions.Dialogs.Settings) return FOptions.Dialogs.Settings(dialog);
  return dialog.exec() == QDialog::Accepted;
}

void TMainForm::ClockWarningsExecute(TSessionItem& session) {
  auto* counter = dynamic_cast<TQVSessionItem*>(&session);
  if (!counter) return;
  TClockWarningsDialog dialog(this, SessionCaption(session, ""), counter->ClockAlarm(), ChannelNames(session),
                              FApp->Settings().FormatSettings());
  if (!RunSettingsDialog(dialog)) return;
  if (dialog.Result().CopyTo(counter->ClockAlarm()))
    Log(kUserInputCategory, "TMainForm.SourceClockAlarmExecute changed [" + std::string(1, SessionLetter(session.Index())) + "]");
}

void TMainForm::SensorWarningsExecute(TSessionItem& session) {
  auto* sensor = dynamic_cast<TSensorSessionItem*>(&session);
  if (!sensor) return;
  TSensorWarningsDialog dialog(this, SessionCaption(session, ""), SensorWarningsOf(*sensor),
                               FApp->Settings().FormatSettingsWin());
  if (!RunSettingsDialog(dialog)) return;
  const TSensorWarnings& chosen = dialog.Result();
  for (size_t i = 0; i < chosen.Channels.size(); ++i) sensor->SetRangeInfo(int32_t(i) + 1, chosen.Channels[i].Range);
  sensor->SetSensorAlarm(chosen.Alarm);
  Log(kUserInputCategory, "TMainForm.SourceSensorAlarmExecute [" + std::string(1, SessionLetter(session.Index())) +
                              "] " + SensorAlarmText(chosen.Alarm));
}

void TMainForm::LocalServerExecute(TSessionItem& session) {
  auto* counter = dynamic_cast<TQVSessionItem*>(&session);
  if (!counter) return;
  const TLocalServerSettings before = counter->LocalServer();
  const bool running = counter->LocalTcpServerRunning();
  const QString state = running ? QString("Running on port %1, %2 subscriber(s)")
                                      .arg(counter->LocalTcpServerPort())
                                      .arg(TSourceHandle(counter->MultiId()).TcpServerClientCount())
                                : QString("Not running");
  TLocalServerDialog dialog(this, SessionCaption(session, "Local TCP Server"), session.Color(), before, state);
  if (!RunSettingsDialog(dialog)) return;
  const TLocalServerSettings after = dialog.Value();
  if (after == before) return;
  Log(kUserInputCategory, "TMainForm.LocalServerExecute [" + std::string(1, SessionLetter(session.Index())) + "] run=" +
                              BoolText(after.Run) + " port=" + std::to_string(after.Port));
  counter->SetLocalServerAccess(after.ListenAddress, after.AllowedClients);
  counter->SetLocalServerArchive(after.Archive, after.ArchivePath);
  // Address, clients and archive take effect when the server starts: a running server restarts
  // on its port for them.
  const bool restart = running && after.Run && after.Port == before.Port &&
                       (after.ListenAddress != before.ListenAddress || after.AllowedClients != before.AllowedClients ||
                        after.Archive != before.Archive || after.ArchivePath != before.ArchivePath);
  if (restart) counter->UpdateLocalServer(false, before.Port);
  if (!counter->UpdateLocalServer(after.Run, after.Port))
    ShowMessageBox("Local TCP Server", "Changing port number denied - server is running");
}

void TMainForm::NomFreqExecute(TSessionItem& session) {
  auto* counter = dynamic_cast<TQVSessionItem*>(&session);
  if (!counter) return;
  TVTASettings& settings = FApp->Settings();
  TNomFreqDialog dialog(this, SessionCaption(session, "Nominal Frequencies"), ChannelNames(session),
                        TNomFreqDialog::Read(*counter, settings), FApp->ExpertMode(), settings.FormatSettingsWin());
  if (!RunSettingsDialog(dialog)) return;
  TNomFreqDialog::Apply(dialog.Values(), *counter, settings);
  for (TMDIChild* view : ViewsOf(session))
    if (auto* graphic = dynamic_cast<TGraphicChild*>(view); graphic && graphic->Session() == &session)
      graphic->UpdateSession(1);
}

void TMainForm::DGINamesExecute(TSessionItem& session) {
  auto* counter = dynamic_cast<TQVSessionItem*>(&session);
  if (!counter) return;
  TDGINamesDialog dialog(this, SessionCaption(session, "Digital-Input Names"), session.Color(),
                         TDGINamesDialog::Read(*counter), counter->TransmittedDGIs());
  if (!RunSettingsDialog(dialog)) return;
  TDGINamesDialog::Apply(dialog.Names(), *counter);
  for (TMDIChild* view : ViewsOf(session)) {
    if (view->Session() == &session) view->UpdateSession(1);
    if (view->SecondSession() == &session) view->UpdateSession(2);
  }
}

void TMainForm::HRQSettingsExecute(TSessionItem& session) {
  auto* counter = dynamic_cast<TQVSessionItem*>(&session);
  if (!counter) return;
  THRQSettingsDialog dialog(this, SessionCaption(session, "ZCT High Resolution Channels"), ChannelNames(session),
                            counter->HRQSettingsValue(), FApp->Settings().FormatSettingsWin());
  if (!RunSettingsDialog(dialog)) return;
  counter->SetHRQSettings(dialog.Settings());
}

void TMainForm::DeviceConfigExecute(TSessionItem& session) {
  auto* counter = dynamic_cast<TQVSessionItem*>(&session);
  if (!counter) return;
  if (const std::string refusal = DeviceConfigRefusal(*counter); !refusal.empty())
    return ShowMessageBox(QCoreApplication::applicationName(), QString::fromStdString(refusal));
  TDeviceConfigDialog dialog(this, DeviceConfigFacts(*counter, FApp->ExpertMode()),
                             [counter] { return ReadDeviceSettings(*counter); },
                             [counter](const std::string& cmd, const std::string& text) { counter->SetCommand(cmd, text); });
  RunSettingsDialog(dialog);
}

void TMainForm::IVCCalibrationExecute(TSessionItem& session) {
  auto* counter = dynamic_cast<TQVSessionItem*>(&session);
  if (!counter) return;
  std::vector<std::string> names;
  const int count = std::max(1, counter->TransmittedIVCs());
  for (int k = 1; k <= count; ++k) names.push_back(counter->IVCChannelData().ChannelName(k));
  TIVCCalibrationDialog dialog(this, SessionCaption(session, "IVC Calibration"), names, TIVCCalibrationDialog::Read(*counter),
                               FApp->Settings().FormatSettingsWin(),
                               [counter](double& value) { return counter->CheckCalibrationRange(value); });
  if (!RunSettingsDialog(dialog)) return;
  TIVCCalibrationDialog::Apply(dialog, *counter);
}

void TMainForm::VirtualChannelsExecute(TSessionItem& session, bool ivc) {
  auto* counter = dynamic_cast<TQVSessionItem*>(&session);
  if (ivc && !counter) return;
  TVirtualChannels value;
  std::vector<std::string> names;
  if (ivc) {
    value.Record = counter->VirtualIVCChannelData();
    for (int k = 1; k <= DM_MaxChannels; ++k) value.Factors[size_t(k - 1)] = counter->VirtualIVCFactors(k);
    value.Description = counter->VirtualIVCDescription();
    const int count = std::max(1, counter->TransmittedIVCs());
    for (int k = 1; k <= count; ++k) names.push_back(counter->IVCChannelData().ChannelName(k));
  } else {
    value.Record = session.VirtualChannelData();
    for (int k = 1; k <= DM_MaxChannels; ++k) value.Factors[size_t(k - 1)] = session.VirtualFactors(k);
    value.Description = session.VirtualDescription();
    names = ChannelNames(session);
  }
  TVirtualChannelsDialog dialog(this, SessionCaption(session, ivc ? "Virtual IVC Channels" : "Virtual ZCT Channels"), names,
                                value, FApp->Settings().FormatSettingsWin());
  if (!RunSettingsDialog(dialog)) return;
  const TVirtualChannels chosen = dialog.Value();
  for (int k = 1; k <= DM_MaxChannels; ++k) {
    const TChannelFactors& factors = chosen.Factors[size_t(k - 1)];
    ivc ? counter->SetVirtualIVCFactors(k, factors) : session.SetVirtualFactors(k, factors);
  }
  if (ivc) {
    counter->SetVirtualIVCChannelData(chosen.Record);
    counter->SetVirtualIVCDescription(chosen.Description);
  } else {
    session.SetVirtualChannelData(chosen.Record);
    session.SetVirtualDescription(chosen.Description);
  }
  // The interval-counter part logs through the session's copy when it has one.
  const bool copy = ivc && FApp->Lists().GetSessionCopy(session.Index()) != nullptr;
  if (TMultiSampler* sampler = Sampler()) sampler->UpdateSession(session.Index(), copy, kSamplerVirtualChanged, "");
  for (TMDIChild* view : ViewsOf(session)) {
    if (view->Session() == &session) view->UpdateSession(1);
    if (view->SecondSession() == &session) view->UpdateSession(2);
  }
}

void TMainForm::AllanConfigExecute(TSessionItem& session) {
  auto* store = dynamic_cast<TZCT_DataManagement*>(session.DataManagement());
  if (!store) return;
  TAllanConfigDialog dialog(this, store->AllanDecay());
  if (!RunSettingsDialog(dialog)) return;
  if (const std::optional<int32_t> decay = dialog.Decay()) store->SetAllanDecay(*decay);
}

void TMainForm::TimeSettingsExecute() {
  TVTASettings& settings = FApp->Settings();
  const TLogTimeSettings before = TimeSettingsOf(settings);
  TTimeSettingsDialog dialog(this, before);
  if (!RunSettingsDialog(dialog)) return;
  const TLogTimeSettings after = dialog.Value();
  TTimeSettingsDialog::Store(after, settings);
  const int32_t what = TTimeSettingsDialog::ChangeCode(before, after);
  if (what == 0) return;
  Log(kUserInputCategory, "Change time settings for logging files to format=" + after.Format +
                              " ZCTTime=" + BoolText(after.SourceZCT) + ", UTC=" + BoolText(after.ZoneUTC));
  BroadcastOptions(what);
}

void TMainForm::ConfigEmailServerExecute() {
  TVTASettings& settings = FApp->Settings();
  TVTA_Notifications* notifications = FApp->Notifications();
  if (!notifications) return;
  const TEMailServerLogin defaultLogin = settings.MailDefaultLogin();
  TEMailServerDialog dialog(this, settings.MailIsDefault(), settings.MailConfigLogin(),
                            [logId = notifications->LogId(), defaultLogin](
                                const std::optional<TEMailServerLogin>& login, const std::string& recipient) {
                              return SendTestMail(login.value_or(defaultLogin), recipient, logId);
                            });
  if (!RunSettingsDialog(dialog)) return;
  const TEMailServerChoice choice = dialog.Choice();
  settings.SetMailIsDefault(choice.UseDefault);
  if (choice.Login) settings.SetMailConfigLogin(*choice.Login);
  notifications->UseLogin(choice.Login.value_or(defaultLogin));
  Log(kUserInputCategory, std::string("TMainForm.ConfigEmailServerExecute default=") + BoolText(choice.UseDefault));
}

void TMainForm::EmailNotificationsExecute() {
  TVTA_Notifications* notifications = FApp->Notifications();
  if (!notifications) return;
  std::vector<std::pair<int32_t, std::string>> sessions;
  for (TSessionItem* session : FApp->Lists().Sessions()) sessions.emplace_back(session->Index(), session->FriendlyName());
  TEmailNotificationsDialog dialog(this, notifications->List().MailNotifications(), std::move(sessions));
  if (!RunSettingsDialog(dialog)) return;
  notifications->List().ReplaceMailNotifications(dialog.Notifications());
  Log(kUserInputCategory, "TMainForm.EmailNotificationsExecute count=" + std::to_string(dialog.Notifications().size()));
}

void TMainForm::PopupNotificationsExecute() {
  TVTA_Notifications* notifications = FApp->Notifications();
  if (!notifications) return;
  TNotificationList& list = notifications->List();
  std::vector<TPopupNotificationRow> rows;
  for (size_t i = 0; i < list.Count(); ++i) {
    const TNotification n = list.GetItem(i);
    if (n.Notify == ntBig) rows.push_back({i, n.enabled, n.SourceIndex, n.BigMsgType, n.Text});
  }
  TPopupNotificationsDialog dialog(this, std::move(rows));
  if (!RunSettingsDialog(dialog)) return;
  for (const TPopupNotificationRow& row : dialog.Rows()) {
    TNotification n = list.GetItem(row.Index);
    if (n.enabled == row.Enabled) continue;
    n.enabled = row.Enabled;
    list.SetItem(row.Index, n);
  }
  Log(kUserInputCategory, "TMainForm.PopupNotificationsExecute");
}

void TMainForm::DebugFilesExecute() {
  TVTASettings& settings = FApp->Settings();
  TDebugFilesChoice choice{FApp->DebugRootFolder(), settings.AppDebugLog(), {}};
  for (TSessionItem* session : FApp->Lists().Sessions()) choice.Sessions.push_back(DebugChoiceOf(*session));
  TDebugFilesDialog dialog(this, choice);
  if (FOptions.Dialogs.Folder)
    dialog.SetFolderChooser([this](const QString& caption, const QString& start) {
      return FOptions.Dialogs.Folder(this, caption, start);
    });
  if (!RunSettingsDialog(dialog)) return;
  const TDebugFilesChoice chosen = dialog.Choice();
  settings.SetDebugRootFolder(chosen.RootFolder);
  settings.SetAppDebugLog(chosen.KeepAllApp);
  TDebugConf& conf = FApp->DebugConf();
  conf.UpdateConfig();
  Log(kUserInputCategory, "TMainForm.DebugFilesExecute");
  for (TSessionItem* session : FApp->Lists().CopyList()) {
    const int32_t id = conf.SourceLogId(session->Index());
    if (id == session->LogId()) continue;
    session->SetLogId(id);
    Log(kUserInputCategory, "TMainForm.DebugFilesExecute change Session[" + std::to_string(session->Index()) + "/" +
                                BoolText(session->IsCopy()) + "].LogId=" + std::to_string(id));
  }
  const std::string root = FApp->ConfigureDebugLog();
  for (const TDebugSessionChoice& wanted : chosen.Sessions) {
    TSessionItem* session = FApp->Lists().GetSession(wanted.Index);
    if (!session) continue;
    ApplyDebugChoice(*session, wanted, root);
  }
  UpdateStatus();
}

void TMainForm::ApplyDebugChoice(TSessionItem& session, const TDebugSessionChoice& wanted, const std::string& root) {
  const int32_t index = session.Index();
  if (const std::string error = session.SetDebugPath(root); !error.empty())
    FApp->AddError(index, kMsgCodeDebugLogFailed, 0, "Session debug log failed: " + error);
  SwitchSessionDebugLog(session, wanted.KeepAll);
  session.DebugFlags(wanted.HexReports, wanted.LowLevel);
  auto* counter = dynamic_cast<TQVSessionItem*>(&session);
  if (counter && wanted.Stream != counter->DebugStream()) counter->SetDebugStream(wanted.Stream);
  if (TInfoChild* info = InfoView(index)) info->UpdateDebugLog(session.DebugLog(), counter && counter->DebugStream(), false);
}

void TMainForm::CenterValuesExecute() {
  const int32_t entry = TChildArray::EntryOf(FActiveChild);
  if (entry <= 0 || entry >= FChildArray.Length()) return;
  auto* view = dynamic_cast<TGraphicChild*>(FChildArray.Entry(entry).View);
  // The channels of the session whose strip holds the selection.
  const int base = view && view->SelectedBase() == 2 && view->SecondSession() ? 2 : 1;
  TSessionItem* session = view ? (base == 2 ? view->SecondSession() : view->Session()) : nullptr;
  if (!session) return;
  if (base == 1 && view->GraphicMode() == gmSensor) return SensorCenterValues(*view, entry);
  const std::vector<std::string> names = ChannelNames(*session);
  std::vector<double> centres;
  for (int k = 1; k <= static_cast<int>(names.size()); ++k) centres.push_back(view->Scale(k, base).Center);
  TCenterValuesDialog dialog(this, names, centres, FApp->Settings().FormatSettingsWin());
  if (!RunSettingsDialog(dialog)) return;
  Log(kUserInputCategory, "TMainForm.CenterValuesExecute[" + std::to_string(entry) + "] base " + std::to_string(base));
  view->SetCenterValues(dialog.Centres(), base);
}

void TMainForm::SensorCenterValues(TGraphicChild& view, int32_t entry) {
  std::vector<std::string> names;
  std::vector<double> centres;
  for (const auto& [name, centre] : view.SignalCenters()) {
    names.push_back(name);
    centres.push_back(centre);
  }
  TCenterValuesDialog dialog(this, names, centres, FApp->Settings().FormatSettingsWin(), TCenterValuesDialog::TRows::Signals);
  if (!RunSettingsDialog(dialog)) return;
  Log(kUserInputCategory, "TMainForm.CenterValuesExecute[" + std::to_string(entry) + "] signals");
  view.SetSignalCenterValues(dialog.Centres());
}

void TMainForm::InternTestExecute() {
  auto* counter = dynamic_cast<TQVSessionItem*>(FApp->Lists().GetSession(0));
  if (!counter) return;
  if (!counter->RequestConnectedUsers())
    LogError(kUserInputCategory, "TMainForm cmdIntern ResetDevice failed=" + BoolText(false));
}

void TMainForm::DeviceInfoExecute(uint32_t serialNumber) {
  Log(kUserInputCategory, "TMainForm.DevicesInfoExecute " + IntToHex(serialNumber, 8));
  const std::optional<TQV_DeviceInfo> info = FOptions.DeviceInfo ? FOptions.DeviceInfo(serialNumber) : std::nullopt;
  if (!info) return ShowMessageBox(windowTitle(), QString::fromStdString("No information on Q+V device " + IntToHex(serialNumber, 8)));
  TDeviceInfoDialog dialog(this, *info);
  RunSettingsDialog(dialog);
}

void TMainForm::SwitchSessionDebugLog(TSessionItem& session, bool keepAll) {
  if (keepAll == session.DebugLog()) return;
  if (const std::string error = session.Debug(keepAll); !error.empty())
    FApp->AddError(session.Index(), kMsgCodeDebugLogFailed, 0, "Session debug log failed: " + error);
}

void TMainForm::DebugEnable(int32_t sIndex, bool aDebug, bool aStream, bool aTest) {
  Log(kUserInputCategory, "TMainForm.DebugEnable: sIndex=" + std::to_string(sIndex) + " aDebug=" + BoolText(aDebug) +
                              " aStream=" + BoolText(aStream) + " aTest=" + BoolText(aTest));
  TSessionItem* session = FApp->Lists().GetSession(sIndex);
  if (!session) return;
  SwitchSessionDebugLog(*session, aDebug);
  if (auto* counter = dynamic_cast<TQVSessionItem*>(session); counter && aStream != counter->DebugStream())
    counter->SetDebugStream(aStream);
  UpdateStatus();
}

// The menu tree of the main window: fixed menus, the per-session entries of "&Source", "&Action"
// and "&Logging", the device list and the window list.
#include <QAction>
#include <QActionGroup>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <algorithm>

#include "acquisition/App_Sessions.h"
#include "acquisition/VTA_Sessions.h"
#include "core/QV_NumberText.h"
#include "core/VTA_Common.h"
#include "core/VTA_Settings.h"
#include "ui/MainForm.h"
#include "ui/MenuText.h"
#include "ui/MessageChild.h"
#include "ui/StabilityWindow.h"
#include "ui/UiColors.h"

namespace {

inline const QString kNotAvailable = "not available yet";

// A command whose part of the program is not built yet stays visible but cannot be chosen.
void MarkUnavailable(QAction* action) {
  action->setEnabled(false);
  action->setToolTip(kNotAvailable);
}

bool IsCounter(const TSessionItem& session) { return session.SessionType() == kSessionTypeCounter; }

bool IsSensor(const TSessionItem& session) {
  return session.SessionType() == kSessionTypeSensor || session.SessionType() == kSessionTypeLabJack;
}

// A square of the session colour with the session letter in the contrasting colour.
QIcon SessionIcon(const TSessionItem& session) {
  const TSessionIcon& icon = session.Icon();
  QPixmap pixmap(16, 16);
  pixmap.fill(ToQColor(session.Color()));
  QPainter painter(&pixmap);
  painter.setPen(ToQColor(TextColorFor(session.Color())));
  painter.drawText(pixmap.rect(), Qt::AlignCenter, QString(QChar(icon.Letter)));
  return QIcon(pixmap);
}

// A counter whose connection reaches an instrument that takes commands: not a recording, not
// another instance's data stream.
bool DeviceConfigurable(const TSessionItem& session) {
  if (session.OpenString() == kOpenStringNone) return false;
  switch (session.ConnectionType()) {
    case ctFile:
    case ctTCPServer:
    case ctArchive:
      return false;
    default:
      return true;
  }
}

}  // namespace

// ---------------------------------------------------------------- fixed menus

void TMainForm::CreateMenus() {
  FSourceMenu = menuBar()->addMenu("&Source");
  FSourceMenu->setObjectName("SourceMenu");
  FSourceMenu->setToolTipsVisible(true);
  FSourceNew = new QAction("&New Source...", this);
  connect(FSourceNew, &QAction::triggered, this,
          [this] { RunCycle("TMainForm.SourceNewExecute", [this] { SourceNewExecute(); }); });
  CreateWindowMenu();
  FActionMenu = menuBar()->addMenu("&Action");
  FActionMenu->setObjectName("ActionMenu");
  FActionMenu->setToolTipsVisible(true);
  CreateLoggingMenu();
  FDevicesMenu = menuBar()->addMenu("&Devices");
  FDevicesMenu->setObjectName("DevicesMenu");
  FDevicesMenu->setToolTipsVisible(true);
  CreateOptionsMenu();
  CreateHelpMenus();
  RebuildSessionMenus();
}

void TMainForm::CreateWindowMenu() {
  FWindowMenu = menuBar()->addMenu("&Window");
  FWindowMenu->setObjectName("WindowMenu");
  FWindowMenu->setToolTipsVisible(true);
  connect(FWindowMenu->addAction("New Graphic Window..."), &QAction::triggered, this,
          [this] { RunCycle("TMainForm.NewGraphicWindow", [this] { NewGraphicWindowExecute(); }); });
  connect(FWindowMenu->addAction("New Text Window..."), &QAction::triggered, this,
          [this] { RunCycle("TMainForm.NewTextWindow", [this] { NewTextWindowExecute(); }); });
  FNewDGIWindow = FWindowMenu->addAction("New Digital Inputs Window...");
  FNewDGIWindow->setEnabled(false);  // until a session reports digital-input cards
  connect(FNewDGIWindow, &QAction::triggered, this,
          [this] { RunCycle("TMainForm.NewDigitalInputsWindow", [this] { NewDigitalInputsWindowExecute(); }); });
  connect(FWindowMenu->addAction("Change Window Settings..."), &QAction::triggered, this,
          [this] { RunCycle("TMainForm.ChangeWindowSettings", [this] { ChangeWindowSettingsExecute(); }); });
  FWindowMenu->addSeparator();
  connect(FWindowMenu->addAction("Tile"), &QAction::triggered, FMdiArea, &QMdiArea::tileSubWindows);
  connect(FWindowMenu->addAction("Cascade"), &QAction::triggered, FMdiArea, &QMdiArea::cascadeSubWindows);
  FWindowMenu->addSeparator();
  connect(FWindowMenu->addAction("Center values..."), &QAction::triggered, this,
          [this] { RunCycle("TMainForm.CenterValuesExecute", [this] { CenterValuesExecute(); }); });
  connect(FWindowMenu->addAction("Stability Analysis..."), &QAction::triggered, this,
          [this] { (new TStabilityWindow(this))->show(); });
  FWindowMenu->addSeparator();
  connect(FWindowMenu->addAction("&Messages"), &QAction::triggered, this, [this] { MessagesExecute(); });
  connect(FWindowMenu->addAction("Clear Messages"), &QAction::triggered, this, [this] {
    if (FMessageView)
      FMessageView->MessageClearExecute();
    else
      FApp->Messages().Clear();
  });
  connect(FWindowMenu->addAction("Save Messages"), &QAction::triggered, this, [this] {
    if (!FMessageView) CreateMessageView();
    FMessageView->MessageSaveExecute();
  });
  FWindowListSeparator = FWindowMenu->addSeparator();
  connect(FWindowMenu, &QMenu::aboutToShow, this, [this] { FillWindowList(); });
}

void TMainForm::CreateLoggingMenu() {
  FLoggingMenu = menuBar()->addMenu("&Logging");
  FLoggingMenu->setObjectName("LoggingMenu");
  FLoggingMenu->setToolTipsVisible(true);
  QAction* newConfig = FLoggingMenu->addAction("New Log Configuration...");
  if (Sampler())
    connect(newConfig, &QAction::triggered, this,
            [this] { RunCycle("TMainForm.LogNewExecute", [this] { NewLogConfigExecute(); }); });
  else
    MarkUnavailable(newConfig);
  FLoggingSessionsEnd = FLoggingMenu->addAction("Root Folder...");
  connect(FLoggingSessionsEnd, &QAction::triggered, this, [this] { LogRootFolderExecute(); });
  connect(FLoggingMenu->addAction("Time settings..."), &QAction::triggered, this,
          [this] { RunCycle("TMainForm.TimeSettingsExecute", [this] { TimeSettingsExecute(); }); });
  connect(FLoggingMenu->addAction("Debug Files..."), &QAction::triggered, this,
          [this] { RunCycle("TMainForm.DebugFilesExecute", [this] { DebugFilesExecute(); }); });
  FLoggingMenu->addSeparator();
}

void TMainForm::CreateOptionsMenu() {
  FOptionsMenu = menuBar()->addMenu("&Options");
  FOptionsMenu->setObjectName("OptionsMenu");
  FOptionsMenu->setToolTipsVisible(true);
  const auto radioMenu = [this](const QString& title) {
    QMenu* menu = FOptionsMenu->addMenu(title);
    auto* group = new QActionGroup(menu);
    group->setExclusive(true);
    return std::make_pair(menu, group);
  };
  const auto radioItem = [](QMenu* menu, QActionGroup* group, const QString& text) {
    QAction* item = menu->addAction(text);
    item->setCheckable(true);
    group->addAction(item);
    return item;
  };
  for (const bool log : {false, true}) {
    auto [menu, group] = radioMenu(log ? "Decimal separator log files" : "Decimal separator window");
    auto& items = log ? FDecSepLogItems : FDecSepWinItems;
    for (const auto& [separator, text] : {std::pair{'.', "point"}, std::pair{',', "comma"}}) {
      QAction* item = radioItem(menu, group, text);
      items[separator] = item;
      const char c = separator;
      connect(item, &QAction::triggered, this, [this, log, c] {
        RunCycle("TMainForm.DecSep", [&] { log ? DecSepLogExecute(c) : DecSepWinExecute(c); });
      });
    }
  }
  auto [tempMenu, tempGroup] = radioMenu("Temperature unit");
  for (const auto& [unit, text] : {std::pair{0, "°C"}, std::pair{1, "°F"}}) {
    QAction* item = radioItem(tempMenu, tempGroup, QString::fromUtf8(text));
    FTempUnitItems[unit] = item;
    const int32_t u = unit;
    connect(item, &QAction::triggered, this, [this, u] { TempUnitExecute(u); });
  }
  connect(FOptionsMenu->addAction("Email Notifications..."), &QAction::triggered, this,
          [this] { RunCycle("TMainForm.EmailNotificationsExecute", [this] { EmailNotificationsExecute(); }); });
  connect(FOptionsMenu->addAction("Config Email Server..."), &QAction::triggered, this,
          [this] { RunCycle("TMainForm.ConfigEmailServerExecute", [this] { ConfigEmailServerExecute(); }); });
  connect(FOptionsMenu->addAction("Popup Message Notifications..."), &QAction::triggered, this,
          [this] { RunCycle("TMainForm.PopupNotificationsExecute", [this] { PopupNotificationsExecute(); }); });
  FOptionsMenu->addSeparator();
  connect(FOptionsMenu->addAction("Save Settings"), &QAction::triggered, this, [this] {
    RunCycle("TMainForm.SaveSettings", [this] { FApp->SaveSettings(false); });
  });
  UpdateOptionChecks();
}

void TMainForm::CreateHelpMenus() {
  FHelpMenu = menuBar()->addMenu("&Help");
  FHelpMenu->setObjectName("HelpMenu");
  QMenu* manual = FHelpMenu->addMenu("User Manual");
  connect(manual->addAction("English"), &QAction::triggered, this, [this] { UserManualExecute("VTA Manual.pdf"); });
  connect(manual->addAction("German"), &QAction::triggered, this, [this] { UserManualExecute("VTA Handbuch.pdf"); });
  FHelpMenu->addSeparator();
  connect(FHelpMenu->addAction("&Info..."), &QAction::triggered, this, [this] { AboutExecute(); });
  if (!FApp->ExpertMode()) return;
  connect(FHelpMenu->addAction("Memory State"), &QAction::triggered, this, [this] { MemoryStateExecute(); });
  FInternMenu = menuBar()->addMenu("Intern");
  FInternMenu->setObjectName("InternMenu");
  FInternMenu->setToolTipsVisible(true);
  connect(FInternMenu->addAction("Intern: Test"), &QAction::triggered, this,
          [this] { RunCycle("TMainForm.cmdIntern", [this] { InternTestExecute(); }); });
  connect(FInternMenu->addAction("Send Command"), &QAction::triggered, this,
          [this] { RunCycle("TMainForm.cmdIntern", [this] { SendCommandExecute(); }); });
}

void TMainForm::UpdateOptionChecks() {
  TVTASettings& settings = FApp->Settings();
  if (QAction* item = FDecSepWinItems[settings.FormatSettingsWin().DecimalSeparator]) item->setChecked(true);
  if (QAction* item = FDecSepLogItems[settings.FormatSettingsLog().DecimalSeparator]) item->setChecked(true);
  if (QAction* item = FTempUnitItems[settings.TempUnit()]) item->setChecked(true);
}

// ---------------------------------------------------------------- per-session entries

QAction* TMainForm::Act(const char* name, int32_t session) { return FSessionActions->Action(name, session); }

QAction* TMainForm::SessionAction(int32_t sessionIndex, const QString& templateName) {
  const std::string name = templateName.toStdString();
  const auto& templates = TSessionActions::Templates();
  const auto t = std::find_if(templates.begin(), templates.end(), [&](const TActionTemplate& x) { return name == x.Name; });
  TSessionItem* session = FApp->Lists().GetSession(sessionIndex);
  if (t == templates.end() || !session) return nullptr;
  // A sensor session offers its interval only, as in its menu.
  if (!IsCounter(*session) && t->Kind != TSessionCmd::Rate) return nullptr;
  return Act(t->Name, sessionIndex);
}

QMenu* TMainForm::SessionSubmenu(QMenu& parent, TSessionItem& session) {
  QMenu* menu = parent.addMenu(SessionIcon(session), MenuCaption(FApp->Lists().GetSessionName(session.Index(), false)));
  menu->setToolTipsVisible(true);
  FSessionSubmenus.emplace_back(menu);
  return menu;
}

void TMainForm::RebuildSessionMenus() {
  // A rebuild may run inside the trigger of one of these items (a renamed session, a new one), so
  // the old submenus go once the event is handled, and "&New Source..." is kept.
  FSourceMenu->clear();
  FActionMenu->clear();
  for (const QPointer<QMenu>& menu : FSessionSubmenus)
    if (menu) menu->deleteLater();
  FSessionSubmenus.clear();

  const std::vector<TSessionItem*> sessions = FApp->Lists().Sessions();
  const bool several = sessions.size() > 1;
  for (TSessionItem* session : sessions) AddSessionItems(several ? *SessionSubmenu(*FSourceMenu, *session) : *FSourceMenu, *session);
  FSourceMenu->addSeparator();
  FSourceMenu->addAction(FSourceNew);

  std::vector<TSessionItem*> counters;
  for (TSessionItem* session : sessions)
    if (IsCounter(*session)) counters.push_back(session);
  for (TSessionItem* session : counters)
    AddActionItems(counters.size() > 1 ? *SessionSubmenu(*FActionMenu, *session) : *FActionMenu, *session);
  RebuildLoggingSessions();
}

void TMainForm::AddSessionItems(QMenu& menu, TSessionItem& session) {
  const int32_t i = session.Index();
  const TSessionState& state = State(i);
  const bool counter = IsCounter(session) && !state.IVConly;
  const bool ivcPart = IsCounter(session) && !state.ZCTonly;
  const bool sensor = IsSensor(session);
  const auto add = [&](QMenu& m, const char* name) {
    QAction* action = Act(name, i);
    m.addAction(action);
    return action;
  };
  const auto submenu = [&](const char* title) {
    QMenu* m = menu.addMenu(title);
    m->setToolTipsVisible(true);
    FSessionSubmenus.emplace_back(m);
    return m;
  };

  if (counter) {
    QMenu* mode = submenu("&Mode");
    for (const char* name : {"ModePhase", "ModePhaseAvg", "ModeFrequency", "ModeFrequAvg", "ModePhaseDiff", "ModePhaseDiffAvg"})
      add(*mode, name);
    if (FApp->ExpertMode())
      for (const char* name : {"ModeRawData", "ModeRawDataAvg"}) add(*mode, name);
  }
  if (counter || sensor) {
    QMenu* interval = submenu("&Interval");
    const TRange range = session.RangeInterval();
    for (QAction* rate : FSessionActions->Actions(TSessionCmd::Rate, i)) {
      const int32_t value = TSessionActions::ValueOfTag(TSessionActions::Tag(*rate));
      if (value >= range.minI && value <= range.maxI) interval->addAction(rate);
    }
  }
  if (counter) {
    QMenu* scrambler = submenu("&Scrambler");
    for (const char* name : {"ScramblerInUse", "ScramblerOff", "ScramblerAuto", "ScramblerTrim"}) add(*scrambler, name);
    scrambler->addSeparator();
    add(*scrambler, "InfoShowScrambler");
    // A Coldfire-based device has no PPI unless it is ESP-based.
    if (state.ESP.value_or(true)) {
      QMenu* ppi = submenu("&PPI");
      add(*ppi, "PPIactive");
      ppi->addSeparator();
      add(*ppi, "InfoShowPPI");
    }
  }
  if (counter || sensor) menu.addSeparator();
  if (IsCounter(session)) {
    add(menu, "LocalServer");
    menu.addSeparator();
  }
  add(menu, "SourceChannel");
  if (counter)
    for (const char* name : {"SourceClockAlarm", "SourceDigitalInputs", "SourceNomFreq", "SourceHRQSettings"}) add(menu, name);
  if (ivcPart) add(menu, "SourceCalibrate");
  if (counter) {
    QMenu* allan = submenu("&Allan Deviation");
    for (const char* name : {"SourceAllanRestart", "SourceAllanClearPersist", "SourceAllanConfig"}) add(*allan, name);
    allan->addSeparator();
    add(*allan, "InfoShowAllan");
    add(menu, "SourceVirtualZCTChannels");
  }
  if (ivcPart) add(menu, "SourceVirtualIVCChannels");
  if (sensor) add(menu, "SourceSensorAlarm");
  if (IsCounter(session)) {
    menu.addSeparator();
    add(menu, "SourceConfig")->setEnabled(DeviceConfigurable(session));
  }
  menu.addSeparator();
  add(menu, "SourceChange");
  add(menu, "SourceReOpen");
  // The last session cannot be removed.
  if (FApp->Lists().Sessions().size() > 1) add(menu, "SourceRemove");
}

void TMainForm::AddActionItems(QMenu& menu, TSessionItem& session) {
  const int32_t i = session.Index();
  const TSessionState& state = State(i);
  if (!state.IVConly) {
    menu.addAction(Act("ActionSyncEnable", i));
    menu.addAction(Act("ActionReCenter", i));
  }
  menu.addAction(Act("ActionClearTransmit", i));
  menu.addAction(Act("ActionGetVersion", i));
  if (FApp->ExpertMode()) {
    QAction* heartbeats = Act("ActionViewDebug", i);
    heartbeats->setEnabled(HeartbeatsPossible(i));
    menu.addAction(heartbeats);
  }
}

void TMainForm::RebuildLoggingSessions() {
  for (const QPointer<QAction>& item : FLoggingSessionItems)
    if (item) FLoggingMenu->removeAction(item);
  FLoggingSessionItems.clear();
  for (TSessionItem* session : FApp->Lists().Sessions()) {
    if (!IsCounter(*session)) continue;
    QAction* item = Act("InfoShowLogging", session->Index());
    item->setText(MenuCaption(FApp->Lists().GetSessionName(session->Index(), true)));
    FLoggingMenu->insertAction(FLoggingSessionsEnd, item);
    FLoggingSessionItems.push_back(item);
  }
}

void TMainForm::CheckNoticeChoice(const TMainSyncData& notice, int32_t index) {
  const auto check = [&](TSessionCmd kind, int32_t value) {
    for (QAction* action : FSessionActions->Actions(kind, index))
      if (TSessionActions::ValueOfTag(TSessionActions::Tag(*action)) == value) action->setChecked(true);
  };
  switch (notice.What) {
    case swMode: check(TSessionCmd::Mode, notice.Code); break;
    case swRateIndex: check(TSessionCmd::Rate, notice.Code); break;
    case swScrambler: {
      // Header index 0 off, 1 auto, 2 trim, 3 a setting the menu cannot choose.
      static const char* const kScramblers[] = {"ScramblerOff", "ScramblerAuto", "ScramblerTrim", "ScramblerInUse"};
      if (notice.Code >= 0 && notice.Code < 4) Act(kScramblers[notice.Code], index)->setChecked(true);
      break;
    }
    case swReSync: Act("ActionSyncEnable", index)->setChecked(false); break;
    default: break;
  }
}

// ---------------------------------------------------------------- devices and windows

void TMainForm::UpdateDevicesMenu() {
  if (!FOptions.DeviceSerials) return;
  const std::vector<uint32_t> serials = FOptions.DeviceSerials();
  for (size_t index = FDeviceItems.size(); index < serials.size(); ++index) {
    QAction* item = FDevicesMenu->addAction(QString::fromStdString("Q+V device " + IntToHex(serials[index], 8)));
    item->setObjectName(index == 0 ? QString("DevicesInfo") : QString("DevicesInfo_%1").arg(index));
    item->setProperty("tag", int(index));
    const uint32_t serial = serials[index];
    connect(item, &QAction::triggered, this, [this, serial] { DeviceInfoExecute(serial); });
    FDeviceItems.push_back(item);
  }
}

void TMainForm::FillWindowList() {
  FNewDGIWindow->setEnabled(!DGISessions().empty());
  const QList<QAction*> actions = FWindowMenu->actions();
  const qsizetype start = actions.indexOf(FWindowListSeparator) + 1;
  for (qsizetype i = start; i < actions.size(); ++i) delete actions[i];
  const QMdiSubWindow* active = FMdiArea->activeSubWindow();
  int number = 1;
  for (QMdiSubWindow* window : FMdiArea->subWindowList()) {
    QAction* item = FWindowMenu->addAction(QString("&%1 %2").arg(number++).arg(MenuCaption(window->windowTitle().toStdString())));
    item->setCheckable(true);
    item->setChecked(window == active);
    connect(item, &QAction::triggered, this, [this, w = QPointer<QMdiSubWindow>(window)] {
      if (w) FMdiArea->setActiveSubWindow(w);
    });
  }
}

#include "ui/MainForm.h"

#include "app/VTA_Notifications.h"
#include "ui/FormBigMessage.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QScreen>
#include <QThread>

#include "acquisition/App_Sessions.h"
#include "acquisition/QV_ConnectionString.h"
#include "core/LogUnit.h"
#include "core/VTA_Common.h"
#include "core/VTA_DebugConf.h"
#include "core/VTA_Settings.h"
#include "ui/BusyNotice.h"
#include "ui/ConnectionDialog.h"
#include "ui/MessageChild.h"
#include "ui/StatusBar.h"

namespace {

constexpr int kMainCategory = 5;
// The window's design placement, used until the settings hold one: room for the default text
// views, the message view and an info view side by side.
constexpr TMainPlacement kDesignPlacement{40, 40, 1300, 860};
constexpr int kMinVisible = 100;  // pixels of the window that must lie on a screen

// The connection kind an open string names; -1 (not set) when it names nothing that exists.
int32_t ConnectionTypeOfOpenString(const std::string& openString) {
  const auto exists = [](const std::string& path) { return QFileInfo::exists(QString::fromStdString(path)); };
  const TConnectionString split = SplitConnectionString(openString, exists, "TMainForm");
  if (split.Result != QV_No_Err) return -1;
  const TOpenTarget target = ClassifyOpenTarget(split, [](const std::string&) { return std::nullopt; }, exists);
  return target.Result == QV_No_Err ? int32_t(target.Kind) : -1;
}

}  // namespace

TMainForm::TMainForm(const TAppPaths& paths, TMainFormOptions options)
    : FOptions(std::move(options)),
      FConnect(FOptions.Connect),
      FChildArray([this](const std::string& line) { Log(kMainCategory, line); }) {
  setObjectName("MainForm");
  FApp = std::make_unique<TVTA_Application>(paths, FOptions.App, *this, *this);
  setWindowTitle(QString::fromStdString(FApp->Caption()));

  FDisplayTimer.setInterval(kDisplayIntervalMs);
  FCheckTimer.setInterval(kCheckIntervalMs);
  connect(&FDisplayTimer, &QTimer::timeout, this,
          [this] { RunCycle("TMainForm.DisplayTimerTimer", [this] { FApp->DisplayTimerTimer(); }); });
  connect(&FCheckTimer, &QTimer::timeout, this,
          [this] { RunCycle("TMainForm.CheckTimerTimer", [this] { FApp->CheckTimerTimer(); }); });

  FMdiArea = new QMdiArea(this);
  FMdiArea->setObjectName("MdiArea");
  FMdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  FMdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setCentralWidget(FMdiArea);
  FStatusBar = new TVTA_StatusBar(this);
  setStatusBar(FStatusBar);
  FSessionActions = new TSessionActions(this, [this](TSessionCmd kind, QAction& action) {
    RunCycle("TMainForm.MenuClick", [&] { SessionCommand(kind, action); });
  });
  CreateMenus();
  PlaceWindow();
}

TMainForm::~TMainForm() {
  FDestroying = true;
  FDisplayTimer.stop();
  FCheckTimer.stop();
  try {
    // The report thread finishes its pass and ends before the views and the sessions it feeds go;
    // the info views hold their sessions, so they go before them too.
    if (TVTA_ReportThread* thread = FApp->ReportThread()) thread->Stop();
    CloseAllViews();
    FreeInfoList();
    delete FSplash;
    FSplash = nullptr;
  } catch (const std::exception& e) {
    FApp->DebugConf().Error("TMainForm.FormDestroy", e);
  }
  FApp.reset();
}

// ---------------------------------------------------------------- window placement

void TMainForm::PlaceWindow() {
  const bool designed = !FApp->Settings().TestKeys("Main_");
  const TMainPlacement stored = FApp->Settings().MainPlacement(kDesignPlacement);
  QRect wanted(stored.Left, stored.Top, std::max(stored.Width, 200), std::max(stored.Height, 150));
  const QScreen* primary = QGuiApplication::primaryScreen();
  // The design placement must fit on the primary screen whole, status bar included; a window
  // stored on a screen that is gone comes back on the primary screen.
  bool placed = designed && primary && primary->availableGeometry().contains(wanted);
  if (!designed) {
    for (const QScreen* screen : QGuiApplication::screens()) {
      const QRect common = screen->availableGeometry().intersected(wanted);
      if (common.width() >= kMinVisible && common.height() >= kMinVisible) placed = true;
    }
  }
  if (!placed && primary) {
    const QRect area = primary->availableGeometry();
    wanted.setSize(wanted.size().boundedTo(area.size()));
    wanted.moveTopLeft(area.topLeft());
  }
  setGeometry(wanted);
}

// ---------------------------------------------------------------- life cycle

void TMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  // The start-up runs once the window is on the screen, from the event loop.
  if (FFirstActivate) QTimer::singleShot(0, this, [this] { FormActivate(); });
}

bool TMainForm::FormActivate() {
  Log(kMainCategory, "TMainForm.FormActivate");
  bool started = true;
  if (FFirstActivate) {
    FFirstActivate = false;
    try {
      started = FApp->LosGehts();
    } catch (const std::exception& e) {
      FApp->DebugConf().Error("TMainForm.LosGehts failed", e);
      ErrorBox(std::string("Start-up failed: ") + e.what());
      started = FApp->AllInitialized();
    }
    // "--connect" answers the first start only.
    FConnect.reset();
    if (!started) close();
    // The definitions were read during start-up.
    if (started) LogDefinitionsChanged();
  }
  Log(kMainCategory, "TMainForm.FormActivate END");
  return started;
}

void TMainForm::EndSession() {
  FApp->QueryEndSession();
  close();
}

void TMainForm::closeEvent(QCloseEvent* event) {
  if (!FApp->FormCloseQuery()) {
    event->ignore();
    return;
  }
  FApp->FormClose();
  HideSplash();
  event->accept();
}

void TMainForm::RunCycle(const char* name, const std::function<void()>& cycle) {
  // What escapes a command or a cycle is logged and shown; the event loop goes on.
  try {
    cycle();
  } catch (const std::exception& e) {
    FApp->DebugConf().Error(std::string(name) + " failed", e);
    ErrorBox(ExceptionClassName(e) + ": " + e.what());
  }
}

// ---------------------------------------------------------------- timers

void TMainForm::SetDisplayTimer(bool enabled) {
  if (enabled && !FDestroying)
    FDisplayTimer.start();
  else
    FDisplayTimer.stop();
}

void TMainForm::SetCheckTimer(bool enabled) {
  if (enabled && !FDestroying)
    FCheckTimer.start();
  else
    FCheckTimer.stop();
}

// ---------------------------------------------------------------- boxes and the busy notice

bool TMainForm::OnWindowThread() const { return QThread::currentThread() == thread(); }

void TMainForm::ShowMessageBox(const QString& caption, const QString& text) {
  // A worker thread must neither block on a box nor touch a widget: the box waits for the window
  // thread's event loop.
  if (!OnWindowThread()) {
    QMetaObject::invokeMethod(this, [this, caption, text] { ShowMessageBox(caption, text); }, Qt::QueuedConnection);
    return;
  }
  if (FOptions.Dialogs.Message)
    FOptions.Dialogs.Message(caption, text);
  else
    QMessageBox::information(this, caption, text);
}

bool TMainForm::AskYesNo(const QString& caption, const QString& text) {
  if (!OnWindowThread()) {
    LogError(kMainCategory, "TMainForm.Question from a worker thread -> No: " + text.toStdString());
    return false;
  }
  if (FOptions.Dialogs.Question) return FOptions.Dialogs.Question(caption, text);
  return QMessageBox::question(this, caption, text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void TMainForm::MessageBox(const std::string& text) {
  ShowMessageBox(windowTitle(), QString::fromStdString(text));
}

bool TMainForm::Question(const std::string& text) { return AskYesNo(windowTitle(), QString::fromStdString(text)); }

void TMainForm::ErrorBox(const std::string& text) {
  if (!OnWindowThread()) {
    const QString message = QString::fromStdString(text);
    QMetaObject::invokeMethod(this, [this, message] { ErrorBox(message.toStdString()); }, Qt::QueuedConnection);
    return;
  }
  if (FOptions.Dialogs.Message)
    FOptions.Dialogs.Message("Error", QString::fromStdString(text));
  else
    QMessageBox::critical(this, windowTitle(), QString::fromStdString(text));
}

// A popup is a window of its own that the operator closes when he comes: a modal box would stop the
// display cycle (and with it every view) until then. One window serves every popup.
void TMainForm::ShowPopup(const TMessageItem& item) {
  if (FOptions.Dialogs.Message) return FOptions.Dialogs.Message(windowTitle(), QString::fromStdString(item.Text));
  if (!FBigMessage)
    FBigMessage = new TFormBigMessage(this, [this](const TNotification* link, bool enabled) {
      if (TVTA_Notifications* notifications = FApp->Notifications()) notifications->List().SetPopupEnabled(link, enabled);
    });
  FBigMessage->ShowNotification(item.Text, item.sIndex, item.Code, item.Link);
}

void TMainForm::ShowSplash(const std::string& text) {
  if (!OnWindowThread()) return;
  if (!FSplash) {
    Log(kMainCategory, "ShowSplashIntern: create FormSplash");
    FSplash = new TFormSplash(this);
  }
  Log(kMainCategory, "ShowSplashIntern: show FormSplash");
  FSplash->ShowText(QString::fromStdString(text));
}

void TMainForm::HideSplash() {
  if (!OnWindowThread() || !FSplash) return;
  Log(kMainCategory, "HideSplashIntern: FormSplash.Hide");
  FSplash->hide();
  Log(kMainCategory, "HideSplashIntern: FormSplash.Close");
  FSplash->close();
  Log(kMainCategory, "HideSplashIntern: FormSplash.Free");
  delete FSplash;
  FSplash = nullptr;
  Log(kMainCategory, "HideSplashIntern: END");
}

std::optional<TSourceDialogResult> TMainForm::AskConnection(const TSourceDialogPreset& request) {
  if (!OnWindowThread()) return std::nullopt;
  if (FConnect) {
    // "--connect" answers the first request without a dialog; a second request means the
    // connection was refused, and then the user is asked.
    TSourceDialogResult choice;
    choice.SessionType = request.SessionType;
    choice.OpenString = *FConnect;
    choice.ConnectionType = ConnectionTypeOfOpenString(*FConnect);
    choice.FriendlyName = request.FriendlyName;
    choice.Color = request.Color;
    FConnect.reset();
    return choice;
  }
  if (FOptions.Dialogs.Connection) return FOptions.Dialogs.Connection(this, request);
  return TConnectionDialog::Ask(request, this);
}

// ---------------------------------------------------------------- diagnostics

void TMainForm::Log(int category, const std::string& text) const {
  if (FApp) FApp->DebugConf().Info(category, text);
}

void TMainForm::LogError(int category, const std::string& text) const {
  if (FApp) FApp->DebugConf().Error(category, text);
}

#include "ui/MDIChild.h"

#include <QLabel>
#include <QDir>
#include <QToolButton>

#include <QHBoxLayout>

#include <QEvent>
#include <QMdiSubWindow>

#include "acquisition/App_Sessions.h"
#include "core/CalendarTime.h"
#include "core/Clock.h"
#include "core/FreeFileName.h"
#include "core/VTA_DebugConf.h"
#include "data/App_DataManagement.h"
#include "data/ZCT_DataManagement.h"
#include "ui/QV_Channels.h"
#include "ui/UiColors.h"

namespace {

// The height a panel takes in its view, also before it was ever laid out.
int PanelHeight(const QWidget* panel) { return std::max(panel->sizeHint().height(), panel->minimumHeight()); }

}  // namespace

std::string ChildCaption(const std::string& title, int32_t sessionIndex, const std::string& friendlyName,
                         const std::string& defaultTitle, int32_t sameCaptionNumber) {
  std::string caption = title;
  if (caption.empty()) {
    caption = "[" + std::string(1, SessionLetter(sessionIndex));
    if (!friendlyName.empty()) caption += ": " + friendlyName;
    caption += "] " + defaultTitle;
  }
  if (sameCaptionNumber > 0) caption += "   (" + std::to_string(sameCaptionNumber) + ")";
  return caption;
}

TMDIChild::TMDIChild(QWidget* AOwner, int32_t aTag, TSessionItem* aSession, TOnMainEvent aOnMain, TViewEnvironment aEnv,
                     const std::string& aDefaultTitle, const std::string& aClassName, int aDebugCategory)
    : QWidget(AOwner),
      FDefaultTitle(aDefaultTitle),
      FDbgTag(aClassName + "[" + std::to_string(aTag) + "]"),
      FOnMain(std::move(aOnMain)),
      FDesignCaption(aDefaultTitle),
      FTag(aTag),
      FDebugCategory(aDebugCategory),
      FEnv(std::move(aEnv)) {
  setWindowTitle(QString::fromStdString(FDesignCaption));
  resize(FDesignRect.size());
  BindBase(1, aSession);
  LogInfo(".CreateChild session=" + std::to_string(SessionIndex(1)));
}

TMDIChild::~TMDIChild() {
  if (FOnMain) FOnMain(FTag, TChildNotice::Destroyed);
}

// ---- Binding ----

void TMDIChild::BindBase(int base, TSessionItem* aSession) {
  TBase& b = Base(base);
  b.Session = aSession;
  b.SessionIndex = aSession ? aSession->Index() : -1;
  b.DataManagement = aSession ? aSession->DataManagement() : nullptr;
  const bool counter = aSession && aSession->SessionType() == kSessionTypeCounter;
  b.ZCT_DM = counter ? dynamic_cast<TZCT_DataManagement*>(b.DataManagement) : nullptr;
  b.QVSession = b.ZCT_DM ? aSession : nullptr;
  const bool sensor = aSession && (aSession->SessionType() == kSessionTypeSensor || aSession->SessionType() == kSessionTypeLabJack);
  b.SensorSession = sensor ? aSession : nullptr;
  b.SensorDM = sensor ? b.DataManagement : nullptr;
  b.LetGo = false;
}

void TMDIChild::RebindBase(int base) {
  if (TSessionItem* session = Base(base).Session) BindBase(base, session);
}

void TMDIChild::SetSecondSession(TSessionItem* aSession) {
  BindBase(2, aSession);
  if (aSession) UpdateSession(2);
}

void TMDIChild::SetBaseControls(int base, TQV_Channels* channels, QWidget* colorPanel) {
  Base(base).Channels = channels;
  Base(base).ColorPanel = colorPanel;
  if (colorPanel) colorPanel->setAutoFillBackground(true);
}

void TMDIChild::PrepareSessionChange(TSessionItem* aOld) {
  for (int base = 1; base <= kBaseCount; ++base) {
    TBase& b = Base(base);
    if (!aOld || b.Session != aOld) continue;
    const int32_t index = b.SessionIndex;
    BindBase(base, nullptr);
    b.SessionIndex = index;
    b.LetGo = true;
  }
}

void TMDIChild::SessionChanged(TSessionItem* aSession) {
  for (int base = 1; base <= kBaseCount; ++base) {
    TBase& b = Base(base);
    if (!b.LetGo || b.SessionIndex < 0 || !aSession || aSession->Index() != b.SessionIndex) continue;
    LogInfo(".SessionChanged base " + std::to_string(base) + " -> " + aSession->ToString());
    BindBase(base, aSession);
    UpdateSession(base);
  }
}

TZCT_DataManagement* TMDIChild::ZCTDataManagement(int base) const { return Base(base).ZCT_DM; }

int32_t TMDIChild::SessionIndex(int base) const { return Base(base).SessionIndex; }

const TQV_ChannelData& TMDIChild::ChannelData() const {
  static const TQV_ChannelData none;
  return Base(1).Channels ? Base(1).Channels->Data() : none;
}

const TQV_ChannelData& TMDIChild::ChannelDataSecond() const {
  static const TQV_ChannelData none;
  return Base(2).Channels ? Base(2).Channels->Data() : none;
}

const TQV_ChannelData* TMDIChild::SessionChannelData(int base) const {
  const TSessionItem* session = Base(base).Session;
  if (!session) return nullptr;
  return FVirtualChannels ? &session->VirtualChannelData() : &session->ChannelData();
}

int32_t TMDIChild::StoreChannelCount(int base) const {
  const TBase& b = Base(base);
  if (!b.Session) return 0;
  if (FVirtualChannels) return b.Session->VirtualChannelCount();
  return b.DataManagement ? b.DataManagement->ChannelCount() : 0;
}

int32_t TMDIChild::StripChannelCount(int base) const {
  const int32_t count = StoreChannelCount(base);
  if (count > 0 || FVirtualChannels) return count;
  const TQV_ChannelData* data = SessionChannelData(base);
  return data ? data->MaxChannels() : 0;
}

// ---- Operations ----

void TMDIChild::ChannelCount() {
  FTransmittedChannels = StoreChannelCount(1);
  if (Base(1).Channels) Base(1).Channels->SetMaxChannels(StripChannelCount(1));
}

void TMDIChild::ChannelCount2nd() {
  if (Base(2).Channels) Base(2).Channels->SetMaxChannels(StripChannelCount(2));
}

void TMDIChild::DGICount() {}

void TMDIChild::DataReset() {}

std::string TMDIChild::GetColumnEnabled() const { return {}; }

void TMDIChild::SetColumnEnabled(const std::string&) {}

bool TMDIChild::IsIVCView(int) const { return false; }

void TMDIChild::SetInactiveChild() {}

void TMDIChild::UpdateDisplay() {}

void TMDIChild::UpdateOptions(int32_t) {}

void TMDIChild::UpdateCaption() {
  const TSessionItem* session = Session();
  if (!session) return;  // a view without a session keeps its design caption
  FChildTitle = ChildCaption(FTitle, SessionIndex(1), session->FriendlyName(), FDefaultTitle, FSameCaptionNumber);
  setWindowTitle(QString::fromStdString(FChildTitle));
}

void TMDIChild::UpdateSession(int base) {
  RebindBase(base);
  TBase& b = Base(base);
  if (b.Session && b.ColorPanel) {
    QPalette palette = b.ColorPanel->palette();
    palette.setColor(QPalette::Window, ToQColor(b.Session->Color()));
    palette.setColor(QPalette::WindowText, ContrastQColor(b.Session->Color()));
    b.ColorPanel->setPalette(palette);
  }
  if (auto* letter = qobject_cast<QLabel*>(b.ColorPanel))
    letter->setText(b.Session ? QString(QChar(SessionLetter(SessionIndex(base)))) : QString());
  if (b.Channels) {
    if (const TQV_ChannelData* data = SessionChannelData(base)) b.Channels->InitChannels(*data, b.Channels->Data());
    b.Channels->SetMaxChannels(StripChannelCount(base));
  }
  UpdateCaption();
}

TQV_Channels* TMDIChild::AddChannelStrip(QBoxLayout& layout, TMouseClickAction action) {
  auto* bottom = new QWidget(this);
  auto* row = new QHBoxLayout(bottom);
  row->setContentsMargins(2, 2, 2, 2);
  auto* colorPanel = new QLabel(bottom);
  colorPanel->setFixedSize(20, 20);
  colorPanel->setAlignment(Qt::AlignCenter);
  auto* channels = new TQV_Channels(bottom);
  channels->SetMouseClickAction(action);
  row->addWidget(colorPanel);
  row->addWidget(channels);
  row->addStretch();
  layout.addWidget(bottom);
  SetBottomPanel(bottom);
  SetBaseControls(1, channels, colorPanel);
  return channels;
}

QHBoxLayout* TMDIChild::AddButtonRow(QBoxLayout& layout) {
  auto* buttons = new QWidget(this);
  auto* row = new QHBoxLayout(buttons);
  row->setContentsMargins(2, 2, 2, 2);
  row->setSpacing(2);
  layout.addWidget(buttons);
  return row;
}

// Tool buttons size to their text, so a whole row fits the default view width.
QToolButton* TMDIChild::AddButton(QHBoxLayout& row, const char* text, std::function<void()> handler) {
  auto* button = new QToolButton(row.parentWidget());
  button->setText(text);
  button->setObjectName(text);
  connect(button, &QToolButton::clicked, this, std::move(handler));
  row.addWidget(button);
  return button;
}

std::string TMDIChild::SaveFolder() const {
  return Environment().LogRootFolder ? Environment().LogRootFolder() : QDir::homePath().toStdString();
}

std::string TMDIChild::FreeSaveStem(const std::string& folder, const std::string& name,
                                    const std::vector<std::string>& extensions) const {
  const TClock& clock = Environment().Clock ? *Environment().Clock : SystemClock();
  const std::string stamp = FormatLogTime("YYMMDD_HHNNSS", WallToDateTime(clock.Wall(), false));
  return FreeFileStem(QDir(QString::fromStdString(folder)).filePath(QString::fromStdString(name + "_" + stamp)).toStdString(),
                      extensions);
}

void TMDIChild::RefreshNow() {
  try {
    UpdateDisplay();
  } catch (const std::exception& e) {
    LogException(".UpdateDisplay failed", e);
  }
}

void TMDIChild::GridCellClicked(int row, int col) {
  if (row == 0 && col == 0) SetBottomPanelVisible(!BottomPanelVisible());
}

void TMDIChild::SetTitle(const std::string& value) {
  FTitle = value;
  UpdateCaption();
}

void TMDIChild::SetSameCaptionNumber(int32_t value) {
  FSameCaptionNumber = value;
  UpdateCaption();
}

void TMDIChild::SetVirtualChannels(bool value) {
  if (value == FVirtualChannels) return;
  FVirtualChannels = value;
  UpdateSession(1);
}

// ---- Settings ----

void TMDIChild::ReadSettings(TAppSettings& Settings, const std::string& SettingsPrefix) {
  const std::string& P = SettingsPrefix;
  ReadPlacementSettings(Settings, P);
  FTitle = Settings.GetValue(P + "Title", "");
  FVirtualChannels = Settings.GetValue(P + "VirtualChannels", false);
  if (const auto second = Settings.TryGetValue(P + "SecondSession")) {
    try {
      FIniSecondSessionIndex = std::stoi(*second);
    } catch (const std::exception&) {
      FIniSecondSessionIndex = -1;
    }
  }
  for (int base = 1; base <= kBaseCount; ++base) {
    TBase& b = Base(base);
    if (!b.Channels) continue;
    if (const TQV_ChannelData* data = SessionChannelData(base)) b.Channels->InitChannels(*data, b.Channels->Data());
    if (!FVirtualChannels) b.Channels->SetMaxChannels(StripChannelCount(base));
    b.Channels->ReadSettingsView(Settings, P + "Channel" + std::to_string(base) + "_");
  }
  UpdateCaption();
}

// A stored placement is restored as it was. The design placement assumes the bottom panel's design
// visibility, so it grows or shrinks by the panel when the stored visibility differs.
void TMDIChild::ReadPlacementSettings(TAppSettings& Settings, const std::string& P) {
  FSettingsPrefix = P;
  LogInfo(".ReadSettings " + P);
  FDefaultSettings = Settings.GetValue(P + "DefaultSettings", true);
  FStackIndex = Settings.GetValue(P + "Stack", int32_t(-1));
  int panelChange = 0;
  if (FBottomPanel) {
    const bool visible = Settings.GetValue(P + "BottomVis", FDesignBottomVisible);
    FBottomPanel->setVisible(visible);
    if (visible != FDesignBottomVisible) panelChange = (visible ? 1 : -1) * PanelHeight(FBottomPanel);
  }
  const int shift = 20 * std::max(SessionIndex(1), 0);
  const QRect d = FDesignRect;
  const int left = Settings.GetValue(P + "Left", int32_t(d.left() + shift));
  const int top = Settings.GetValue(P + "Top", int32_t(FAnchoredToBottom ? d.top() - shift : d.top() + shift));
  const int width = Settings.GetValue(P + "Width", int32_t(d.width()));
  const int height = Settings.GetValue(P + "Height", int32_t(d.height() + panelChange));
  PlacementWidget()->setGeometry(left, top, std::max(width, 1), std::max(height, 1));
}

void TMDIChild::SaveSettings(TAppSettings& Settings, const std::string& SettingsPrefix) {
  const std::string& P = SettingsPrefix;
  SavePlacementSettings(Settings, P);
  Settings.SetValue(P + "Title", FTitle);
  Settings.SetValue(P + "VirtualChannels", FVirtualChannels);
  for (int base = 1; base <= kBaseCount; ++base)
    if (const TQV_Channels* channels = Base(base).Channels)
      channels->SaveSettingsView(Settings, P + "Channel" + std::to_string(base) + "_");
}

void TMDIChild::SavePlacementSettings(TAppSettings& Settings, const std::string& P) {
  FSettingsPrefix = P;
  LogInfo(".SaveSettings " + P);
  Settings.SetVersionFormat(kSettingsVersion);
  FDefaultSettings = false;
  Settings.SetValue(P + "DefaultSettings", false);
  const QRect g = PlacementWidget()->geometry();
  Settings.SetValue(P + "Left", int32_t(g.left()));
  Settings.SetValue(P + "Top", int32_t(g.top()));
  Settings.SetValue(P + "Width", int32_t(g.width()));
  Settings.SetValue(P + "Height", int32_t(g.height()));
  if (FBottomPanel) Settings.SetValue(P + "BottomVis", BottomPanelVisible());
  if (FStackIndex >= 0) Settings.SetValue(P + "Stack", FStackIndex);
}

// ---- Placement and bottom panel ----

QWidget* TMDIChild::PlacementWidget() const {
  if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget())) return sub;
  return const_cast<TMDIChild*>(this);
}

void TMDIChild::SetDesignPlacement(const QRect& rect, bool anchoredToBottom) {
  FDesignRect = rect;
  FAnchoredToBottom = anchoredToBottom;
  PlacementWidget()->resize(rect.size());
}

void TMDIChild::SetBottomPanel(QWidget* panel) {
  FBottomPanel = panel;
  FDesignBottomVisible = panel && !panel->isHidden();
}

bool TMDIChild::BottomPanelVisible() const { return FBottomPanel && !FBottomPanel->isHidden(); }

void TMDIChild::SetBottomPanelVisible(bool value) { ShowPanel(FBottomPanel, value); }

void TMDIChild::ShowPanel(QWidget* panel, bool value) {
  if (!panel || value == !panel->isHidden()) return;
  const int change = PanelHeight(panel);
  panel->setVisible(value);
  QWidget* window = PlacementWidget();
  window->resize(window->width(), std::max(window->height() + (value ? change : -change), 1));
}

// ---- Helpers ----

char TMDIChild::WinDecimalSeparator() const { return FEnv.FormatWin ? FEnv.FormatWin().DecimalSeparator : '.'; }

void TMDIChild::CloseChild(const std::string& reason) {
  LogInfo(reason);
  FClosing = true;
  QWidget* window = PlacementWidget();
  window->close();
  window->deleteLater();
}

void TMDIChild::LogInfo(const std::string& text) const {
  if (FEnv.DebugConf) FEnv.DebugConf->Info(FDebugCategory, FDbgTag + text);
}

void TMDIChild::LogError(const std::string& text) const {
  if (FEnv.DebugConf) FEnv.DebugConf->Error(FDebugCategory, FDbgTag + text);
}

void TMDIChild::LogException(const std::string& text, const std::exception& e) const {
  if (FEnv.DebugConf) FEnv.DebugConf->Error(FDbgTag + text, e);
}

// ---- Activation ----

bool TMDIChild::event(QEvent* event) {
  if (event->type() == QEvent::ParentChange) WatchSubWindow();
  return QWidget::event(event);
}

void TMDIChild::WatchSubWindow() {
  auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget());
  if (sub == FWatchedSubWindow) return;
  if (FWatchedSubWindow) disconnect(FWatchedSubWindow, nullptr, this, nullptr);
  FWatchedSubWindow = sub;
  if (!sub) return;
  connect(sub, &QMdiSubWindow::windowStateChanged, this, [this](Qt::WindowStates before, Qt::WindowStates now) {
    const bool wasActive = before.testFlag(Qt::WindowActive);
    const bool isActive = now.testFlag(Qt::WindowActive);
    if (isActive && !wasActive) ChildActivated();
    if (!isActive && wasActive) SetInactiveChild();
  });
}

void TMDIChild::ChildActivated() {
  if (FOnMain) FOnMain(FTag, TChildNotice::Activated);
}

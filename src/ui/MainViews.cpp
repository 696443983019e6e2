// The views of the main window: the view table, creating views (default, stored, chosen), the info
// view of every session, their keys in the settings, and the hooks through which the application
// drives views and status.
#include <QInputDialog>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScreen>

#include "acquisition/App_Sessions.h"
#include "acquisition/VTA_Sessions.h"
#include "core/SessionIndexMap.h"
#include "core/VTA_Common.h"
#include "core/VTA_DebugConf.h"
#include "core/VTA_Settings.h"
#include "data/ZCT_DataManagement.h"
#include "ui/AllanChild.h"
#include "ui/DebugChild.h"
#include "ui/DigitalInputsChild.h"
#include "ui/GraphicChild.h"
#include "ui/MainForm.h"
#include "ui/MessageChild.h"
#include "ui/QV_Channels.h"
#include "ui/RawDataChild.h"
#include "ui/SensorTextChild.h"
#include "ui/StatusBar.h"
#include "ui/TextAllanChild.h"
#include "ui/TextChild.h"
#include "ui/WindowPlacement.h"

namespace {

constexpr int kMainCategory = 5;
constexpr int kMinViewHeight = 150;  // a default view is not squeezed below this height
inline const std::string kMessagePrefix = "ViewMessage_";
// The keys the main window writes for every view beside the view's own.
const char* const kTableKeys[] = {"Id", "Session", "SessionCopy", "SecondSession", "SecondSessionCopy"};

std::string ViewPrefix(int32_t n) { return "View_" + std::to_string(n) + "_"; }
std::string InfoPrefix(int32_t n) { return "Info_" + std::to_string(n) + "_"; }

bool IsTableKey(const std::string& name) {
  for (const char* key : kTableKeys)
    if (name == key) return true;
  return false;
}

}  // namespace

// ---------------------------------------------------------------- view table

TViewEnvironment TMainForm::ViewEnvironment() const {
  TViewEnvironment env;
  env.DebugConf = &FApp->DebugConf();
  env.FormatWin = [this] { return FApp->Settings().FormatSettingsWin(); };
  env.FormatLog = [this] { return FApp->Settings().FormatSettingsLog(); };
  env.IVCStore = FOptions.Kinds.IVCStore;
  env.IVCOnly = [this](const TSessionItem& session) {
    const auto it = FSessionStates.find(session.Index());
    return it != FSessionStates.end() && it->second.IVConly;
  };
  env.ZCTOnly = [this](const TSessionItem& session) {
    const auto it = FSessionStates.find(session.Index());
    return it != FSessionStates.end() && it->second.ZCTonly;
  };
  env.LogRootFolder = [this] { return FApp->Settings().LogRootFolder(); };
  return env;
}

void TMainForm::OnChildEvent(int32_t tag, TChildNotice notice) {
  const int32_t entry = TChildArray::EntryOf(tag);
  switch (notice) {
    case TChildNotice::Activated:
      FActiveChild = tag;
      break;
    case TChildNotice::ViewSelection:
      if (const TChildEntry* e = entry > 0 && entry < FChildArray.Length() ? &FChildArray.Entry(entry) : nullptr; e && e->View)
        FMdiArea->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(e->View->PlacementWidget()));
      RunCycle("TMainForm.ChangeWindowSettings", [this] { ChangeWindowSettingsExecute(); });
      break;
    case TChildNotice::Destroyed:
      if (entry == TChildArray::kMessageEntry) FMessageView = nullptr;
      FChildArray.Free(entry);
      if (FActiveChild == tag) FActiveChild = -1;
      break;
  }
}

TMDIChild* TMainForm::AddView(TMDIChild* view, int32_t entry) {
  FChildArray.SetView(entry, view);
  FMdiArea->addSubWindow(view);
  return view;
}

TTextChild* TMainForm::CreateTextView(TSessionItem* session, TTextSourceKind kind, int32_t entry) {
  auto* view = new TTextChild(nullptr, TChildArray::TagOf(entry), session,
                              [this](int32_t tag, TChildNotice notice) { OnChildEvent(tag, notice); }, ViewEnvironment(),
                              kind);
  AddView(view, entry);
  return view;
}

TGraphicChild* TMainForm::CreateGraphicView(TSessionItem* session, TGraphicMode mode, int32_t entry) {
  auto* view = new TGraphicChild(nullptr, TChildArray::TagOf(entry), session,
                                 [this](int32_t tag, TChildNotice notice) { OnChildEvent(tag, notice); },
                                 ViewEnvironment(), mode);
  AddView(view, entry);
  return view;
}

// The Allan graph (kind 2) or the Allan text view (kind 5); the mode is read with the settings.
TMDIChild* TMainForm::CreateAllanView(TSessionItem* session, int32_t id, int32_t entry) {
  auto onMain = [this](int32_t tag, TChildNotice notice) { OnChildEvent(tag, notice); };
  TMDIChild* view = nullptr;
  if (id == vkAllanGraphic)
    view = new TAllanChild(nullptr, TChildArray::TagOf(entry), session, onMain, ViewEnvironment());
  else
    view = new TTextAllanChild(nullptr, TChildArray::TagOf(entry), session, onMain, ViewEnvironment());
  return AddView(view, entry);
}

TMDIChild* TMainForm::CreateDigitalInputsView(TSessionItem* session, int32_t entry) {
  return AddView(new TDigitalInputsChild(nullptr, TChildArray::TagOf(entry), session,
                                         [this](int32_t tag, TChildNotice notice) { OnChildEvent(tag, notice); },
                                         ViewEnvironment()),
                 entry);
}

TRawDataChild* TMainForm::CreateRawDataView(TSessionItem* session, int32_t entry) {
  auto* view = new TRawDataChild(nullptr, TChildArray::TagOf(entry), session,
                                 [this](int32_t tag, TChildNotice notice) { OnChildEvent(tag, notice); }, ViewEnvironment());
  AddView(view, entry);
  return view;
}

TSensorTextChild* TMainForm::CreateSensorTextView(TSessionItem* session, int32_t entry) {
  auto* view = new TSensorTextChild(nullptr, TChildArray::TagOf(entry), session,
                                    [this](int32_t tag, TChildNotice notice) { OnChildEvent(tag, notice); },
                                    ViewEnvironment());
  AddView(view, entry);
  return view;
}

TDebugChild* TMainForm::CreateDebugView(TSessionItem& session, int32_t entry) {
  auto* view = new TDebugChild(nullptr, TChildArray::TagOf(entry), &session,
                               [this](int32_t tag, TChildNotice notice) { OnChildEvent(tag, notice); }, ViewEnvironment());
  AddView(view, entry);
  view->ReadSettings(FApp->Settings(), ViewPrefix(entry));
  QWidget* window = view->PlacementWidget();
  if (view->DefaultSettings()) window->move(0, std::max(0, FMdiArea->viewport()->height() - window->height()));
  window->show();
  return view;
}

TDebugChild* TMainForm::DebugView(const TSessionItem& session) const {
  for (TMDIChild* view : FChildArray.Views())
    if (auto* debug = qobject_cast<TDebugChild*>(view); debug && debug->Session() == &session) return debug;
  return nullptr;
}

void TMainForm::ShowDebugView(TSessionItem& session) {
  TDebugChild* view = DebugView(session);
  if (!view) view = CreateDebugView(session, FChildArray.Reserve(vkDebug, false, FApp->Settings()));
  auto* window = qobject_cast<QMdiSubWindow*>(view->PlacementWidget());
  if (!window) return;
  if (window->isMinimized()) window->showNormal();
  FMdiArea->setActiveSubWindow(window);
}

bool TMainForm::HeartbeatsPossible(int32_t sessionIndex) const {
  const auto it = FSessionStates.find(sessionIndex);
  return it == FSessionStates.end() || it->second.ESP.value_or(true);
}

void TMainForm::CloseView(TMDIChild* view) {
  // The sub-window owns the view; deleting it now (not later) lets go of the session at once.
  QWidget* window = view->PlacementWidget();
  delete window;
}

void TMainForm::CloseAllViews() {
  for (TMDIChild* view : FChildArray.Views()) CloseView(view);
  if (FMessageView) CloseView(FMessageView);
}

std::vector<TMDIChild*> TMainForm::ViewsOf(const TSessionItem& session) const {
  std::vector<TMDIChild*> views;
  for (TMDIChild* view : FChildArray.Views())
    if (view->SessionIndex(1) == session.Index() || view->SessionIndex(2) == session.Index()) views.push_back(view);
  return views;
}

void TMainForm::CloseViewsOf(const TSessionItem& session) {
  for (TMDIChild* view : FChildArray.Views())
    if (view->Session() == &session || view->SecondSession() == &session) CloseView(view);
  // Views this program cannot show go with their session too.
  for (int32_t entry = 1; entry < FChildArray.Length(); ++entry) {
    const std::optional<TKeptView>& kept = FChildArray.Entry(entry).Kept;
    if (!kept) continue;
    if (kept->Session == session.Index()) {
      FChildArray.Free(entry);
    } else if (kept->SecondSession == session.Index()) {
      TKeptView changed = *kept;
      changed.SecondSession = -1;
      changed.SecondSessionCopy = false;
      FChildArray.SetKept(entry, std::move(changed));
    }
  }
}

// ---------------------------------------------------------------- creating views

void TMainForm::CreateDefaultViews(TSessionItem& session) {
  const int32_t index = session.Index();
  TVTASettings& settings = FApp->Settings();
  const TSessionState& state = State(index);
  // Beside other sessions' views each goes where it covers the least; alone, the text views are
  // stacked on the left and the graphic views to their right.
  bool othersOpen = false;
  for (TMDIChild* view : FChildArray.Views()) othersOpen = othersOpen || view->isVisible();
  QWidget* above = nullptr;
  int right = 0;
  auto place = [&](TMDIChild* view, int left) {
    view->ReadSettings(settings, ViewPrefix(TChildArray::EntryOf(view->Tag())));
    QWidget* window = view->PlacementWidget();
    if (othersOpen) {
      PlaceNewView(*view);
    } else if (view->DefaultSettings() && left >= 0) {
      // Below the one before, as far as the area has room, so that no scroll bar is needed.
      const int top = above ? above->geometry().bottom() + 1 : window->y();
      const int room = FMdiArea->viewport()->height() - top;
      window->setGeometry(left, top, window->width(),
                          room >= kMinViewHeight ? std::min(room, window->height()) : window->height());
    }
    window->show();
    above = window;
    right = std::max(right, window->geometry().right() + 1);
  };
  // A sensor session: its text view, and its graph to the right.
  if (session.SessionType() != kSessionTypeCounter) {
    place(CreateSensorTextView(&session, FChildArray.Reserve(vkSensorText, false, settings)), -1);
    above = nullptr;
    place(CreateGraphicView(&session, gmSensor, FChildArray.Reserve(vkGraphic, false, settings)), right);
    return;
  }
  for (const TTextSourceKind kind : {TTextSourceKind::ZCT, TTextSourceKind::IVC}) {
    if ((kind == TTextSourceKind::ZCT && state.IVConly) || (kind == TTextSourceKind::IVC && state.ZCTonly)) continue;
    const int32_t entry = FChildArray.Reserve(kind == TTextSourceKind::ZCT ? vkTextZCT : vkTextIVC, false, settings);
    place(CreateTextView(&session, kind, entry), above ? above->x() : -1);
  }
  const int graphicLeft = right;
  above = nullptr;
  for (const TGraphicMode mode : {gmFreqAbs, gmIVCdiff}) {
    if ((mode == gmFreqAbs && state.IVConly) || (mode == gmIVCdiff && state.ZCTonly)) continue;
    const int32_t entry = FChildArray.Reserve(vkGraphic, false, settings);
    place(CreateGraphicView(&session, mode, entry), graphicLeft);
  }
  if (FApp->ExpertMode() && HeartbeatsPossible(index)) CreateDebugView(session, FChildArray.Reserve(vkDebug, false, settings));
}

void TMainForm::CreateStoredView(TVTASettings& settings, int32_t k, const TSessionLists& lists) {
  const std::string prefix = ViewPrefix(k);
  int32_t id = settings.GetValue(prefix + "Id", int32_t(0));
  if (settings.VersionFormat() < 5) id = MapOldViewId(id);
  if (id == vkMessages || (id == vkDebug && !FApp->ExpertMode())) return;
  TKeptView table;
  table.Id = id;
  table.Session = settings.GetValue(prefix + "Session", int32_t(-1));
  table.SessionCopy = settings.GetValue(prefix + "SessionCopy", false);
  table.SecondSession = settings.GetValue(prefix + "SecondSession", int32_t(-1));
  table.SecondSessionCopy = settings.GetValue(prefix + "SecondSessionCopy", false);
  const int32_t entry = FChildArray.Reserve(id, true, settings);

  if (id != vkTextZCT && id != vkTextIVC && id != vkGraphic && id != vkAllanGraphic && id != vkAllanText && id != vkDebug &&
      id != vkDGI && id != vkRawData && id != vkSensorText) {
    Log(kMainCategory, "TMainForm.CreateChildView: view kind " + std::to_string(id) + " of " + prefix +
                           " not available yet, its keys are kept");
    for (const std::string& line : settings.Lines()) {
      const size_t eq = line.find('=');
      if (eq == std::string::npos || line.compare(0, prefix.size(), prefix) != 0) continue;
      const std::string name = line.substr(prefix.size(), eq - prefix.size());
      if (!IsTableKey(name)) table.Keys.emplace_back(name, line.substr(eq + 1));
    }
    FChildArray.SetKept(entry, std::move(table));
    return;
  }
  // Views are bound to the session itself; an interval-counter view reaches its store through it.
  TSessionItem* session = lists.GetSession(table.Session);
  if (id == vkDebug) {
    // One per counter session: the view takes the store's heartbeat text, a second would miss lines.
    if (session && session->SessionType() == kSessionTypeCounter && !DebugView(*session))
      CreateDebugView(*session, entry);
    else
      FChildArray.Free(entry);
    return;
  }
  TMDIChild* view = nullptr;
  if (id == vkAllanGraphic || id == vkAllanText)
    view = CreateAllanView(session, id, entry);
  else if (id == vkDGI)
    view = CreateDigitalInputsView(session, entry);
  else if (id == vkRawData)
    view = CreateRawDataView(session, entry);
  else if (id == vkSensorText)
    view = CreateSensorTextView(session, entry);
  else if (id == vkGraphic)
    view = CreateGraphicView(session, GraphicModeFromInt(settings.GetValue(prefix + "GraphicMode1", int32_t(gmFreqAbs))), entry);
  else
    view = CreateTextView(session, id == vkTextZCT ? TTextSourceKind::ZCT : TTextSourceKind::IVC, entry);
  if (TSessionItem* second = lists.GetSession(table.SecondSession)) view->SetSecondSession(second);
  view->ReadSettings(settings, prefix);
  view->PlacementWidget()->show();
}

void TMainForm::CreateMessageView() {
  if (FMessageView) return;
  FMessageView = new TMessageChild(nullptr, TChildArray::TagOf(TChildArray::kMessageEntry), FApp->Messages(),
                                   [this](int32_t tag, TChildNotice notice) { OnChildEvent(tag, notice); },
                                   ViewEnvironment());
  FMessageView->SetShowMessage([this](const std::string& caption, const std::string& text) {
    ShowMessageBox(QString::fromStdString(caption), QString::fromStdString(text));
  });
  AddView(FMessageView, TChildArray::kMessageEntry);
  FMessageView->ReadSettings(FApp->Settings(), kMessagePrefix);
  QWidget* window = FMessageView->PlacementWidget();
  // Unplaced, it goes to the right, left of the unplaced info views, where the default views of the
  // sessions leave room.
  if (FMessageView->DefaultSettings()) {
    int right = FMdiArea->viewport()->width();
    for (const auto& [index, info] : FInfoList)
      if (info->DefaultPlacement()) right = std::min(right, info->parentWidget()->x());
    window->move(std::max(0, right - window->width()), 0);
  }
  window->show();
}

void TMainForm::MessagesExecute() {
  Log(12, "TMainForm.MessagesExecute");
  if (!FMessageView) CreateMessageView();
  auto* window = qobject_cast<QMdiSubWindow*>(FMessageView->PlacementWidget());
  if (!window) return;
  if (window->isMinimized())
    window->showNormal();
  else
    FMdiArea->setActiveSubWindow(window);
}

// ---------------------------------------------------------------- text view commands

std::vector<TTextSelectionSession> TMainForm::TextChoices() const {
  std::vector<TTextSelectionSession> choices;
  for (TSessionItem* session : FApp->Lists().Sessions()) {
    const auto state = FSessionStates.find(session->Index());
    TTextSelectionSession choice;
    choice.Sensor = session->SessionType() != kSessionTypeCounter;
    choice.Index = session->Index();
    choice.Caption = FApp->Lists().GetSessionName(session->Index(), false);
    choice.Channels = session->ChannelData();
    choice.VirtualChannels = session->VirtualChannelData();
    const TDataManagement* store = session->DataManagement();
    if (store && store->ChannelCount() > 0) choice.ChannelCount = store->ChannelCount();
    choice.VirtualChannelCount = session->VirtualChannelCount();
    choice.HasZCT = !choice.Sensor && (state == FSessionStates.end() || !state->second.IVConly);
    choice.HasIVC = !choice.Sensor && (state == FSessionStates.end() || !state->second.ZCTonly);
    choices.push_back(std::move(choice));
  }
  return choices;
}

std::optional<TTextViewSelection> TMainForm::AskTextSelection(const TTextViewSelection& preset) {
  const std::vector<TTextSelectionSession> sessions = TextChoices();
  if (FOptions.Dialogs.TextSelection) return FOptions.Dialogs.TextSelection(this, sessions, preset);
  TTextSelectionDialog dialog(this, sessions, FApp->ExpertMode());
  dialog.SetSelection(preset);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.Selection();
}

void TMainForm::NewTextWindowExecute() {
  Log(12, "TMainForm.NewTextWindowExecute");
  const std::vector<TSessionItem*> sessions = FApp->Lists().Sessions();
  TTextViewSelection preset;
  preset.SessionIndex = sessions.empty() ? -1 : sessions.front()->Index();
  preset.Columns = TTextChild::GetStdColumnFreqAbs();
  const std::optional<TTextViewSelection> choice = AskTextSelection(preset);
  if (!choice) return;
  if (choice->Type == TTextViewType::VirtualAllan) {
    ShowMessageBox("New Text Window", "Allan deviation text views of virtual channels are not available yet");
    return;
  }
  TSessionItem* session = FApp->Lists().GetSession(choice->SessionIndex);
  if (!session) return;
  TVTASettings& settings = FApp->Settings();
  if (choice->Type == TTextViewType::Allan) {
    const int32_t entry = FChildArray.Reserve(vkAllanText, false, settings);
    auto* view = static_cast<TTextAllanChild*>(CreateAllanView(session, vkAllanText, entry));
    view->ReadSettings(settings, ViewPrefix(entry));
    view->ApplySelection(*choice);
    PlaceNewView(*view);
    view->PlacementWidget()->show();
    return;
  }
  // The raw-data and sensor views take channels and title only.
  const auto showKeepingType = [&](auto* view, int32_t entry) {
    view->ReadSettings(settings, ViewPrefix(entry));
    view->ApplySelection(*choice);
    PlaceNewView(*view);
    view->PlacementWidget()->show();
  };
  if (choice->Type == TTextViewType::RawData && choice->Kind == TTextSourceKind::ZCT) {
    const int32_t entry = FChildArray.Reserve(vkRawData, false, settings);
    return showKeepingType(CreateRawDataView(session, entry), entry);
  }
  if (choice->Type == TTextViewType::Sensor) {
    if (session->SessionType() == kSessionTypeCounter) return;
    const int32_t entry = FChildArray.Reserve(vkSensorText, false, settings);
    return showKeepingType(CreateSensorTextView(session, entry), entry);
  }
  if (session->SessionType() != kSessionTypeCounter) return;
  const int32_t entry = FChildArray.Reserve(choice->Kind == TTextSourceKind::ZCT ? vkTextZCT : vkTextIVC, false, settings);
  TTextChild* view = CreateTextView(session, choice->Kind, entry);
  view->ReadSettings(settings, ViewPrefix(entry));
  view->ApplySelection(*choice);
  PlaceNewView(*view);
  view->PlacementWidget()->show();
}

void TMainForm::ChangeWindowSettingsExecute() {
  const int32_t entry = TChildArray::EntryOf(FActiveChild);
  if (entry <= 0 || entry >= FChildArray.Length()) return;
  TMDIChild* active = FChildArray.Entry(entry).View;
  if (!active || ChangeGraphicSettings(*active)) return;
  // An Allan text view or a raw-data view stays what it is; another type would need another view.
  const auto changeKeepingType = [this](auto& view, TTextViewSelection preset) {
    preset.SessionIndex = view.SessionIndex(1);
    preset.Channels = view.Channels()->ChannelEnabledString();
    preset.Title = view.Title();
    if (const std::optional<TTextViewSelection> choice = AskTextSelection(preset); choice && choice->Type == preset.Type)
      view.ApplySelection(*choice);
  };
  if (auto* allan = dynamic_cast<TTextAllanChild*>(active)) {
    TTextViewSelection preset;
    preset.Type = TTextViewType::Allan;
    preset.TauColumns = allan->GetColumnEnabled();
    preset.AdevMode = allan->AllanMode();
    return changeKeepingType(*allan, preset);
  }
  if (auto* raw = dynamic_cast<TRawDataChild*>(active)) {
    TTextViewSelection preset;
    preset.Type = TTextViewType::RawData;
    return changeKeepingType(*raw, preset);
  }
  if (auto* sensor = dynamic_cast<TSensorTextChild*>(active)) {
    TTextViewSelection preset;
    preset.Type = TTextViewType::Sensor;
    return changeKeepingType(*sensor, preset);
  }
  auto* view = dynamic_cast<TTextChild*>(active);
  if (!view) return;
  // A counter's text view cannot become a sensor's.
  if (const std::optional<TTextViewSelection> choice = AskTextSelection(view->Selection());
      choice && choice->Type != TTextViewType::Sensor)
    view->ApplySelection(*choice);
}

// ---------------------------------------------------------------- graphic view commands

std::vector<TGraphicSelectionSession> TMainForm::GraphicChoices() const {
  std::vector<TGraphicSelectionSession> choices;
  for (const TTextSelectionSession& text : TextChoices())
    if (!text.Sensor) choices.push_back({text.Index, text.Caption, text.HasZCT, text.HasIVC});
  return choices;
}

std::optional<TGraphicViewSelection> TMainForm::AskGraphicSelection(const TGraphicViewSelection& preset, bool change) {
  const std::vector<TGraphicSelectionSession> sessions = GraphicChoices();
  if (FOptions.Dialogs.GraphicSelection) return FOptions.Dialogs.GraphicSelection(this, sessions, preset, change);
  TGraphicSelectionDialog dialog(this, sessions, change);
  dialog.SetSelection(preset);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.Selection();
}

void TMainForm::NewGraphicWindowExecute() {
  Log(12, "TMainForm.NewGraphicWindowExecute");
  const std::vector<TGraphicSelectionSession> sessions = GraphicChoices();
  TGraphicViewSelection preset;
  preset.SessionIndex = sessions.empty() ? -1 : sessions.front().Index;
  const std::optional<TGraphicViewSelection> choice = AskGraphicSelection(preset, false);
  if (!choice) return;
  TSessionItem* session = FApp->Lists().GetSession(choice->SessionIndex);
  if (!session || session->SessionType() != kSessionTypeCounter) return;
  TVTASettings& settings = FApp->Settings();
  const int32_t entry = FChildArray.Reserve(choice->Allan ? vkAllanGraphic : vkGraphic, false, settings);
  TMDIChild* view = choice->Allan ? CreateAllanView(session, vkAllanGraphic, entry)
                                  : CreateGraphicView(session, choice->Mode, entry);
  if (!choice->Allan) SetGraphicSecondSession(*view, choice->SecondSessionIndex);
  view->ReadSettings(settings, ViewPrefix(entry));
  if (auto* allan = qobject_cast<TAllanChild*>(view)) allan->SetAllanMode(choice->AllanMode);
  PlaceNewView(*view);
  view->PlacementWidget()->show();
}

// Binds base 2 of a graphic view to the counter session with that index, or to none.
void TMainForm::SetGraphicSecondSession(TMDIChild& view, int32_t sessionIndex) {
  TSessionItem* second = FApp->Lists().GetSession(sessionIndex);
  if (second && second->SessionType() != kSessionTypeCounter) second = nullptr;
  view.SetSecondSession(second);
  if (!second) view.UpdateSession(2);
}

std::vector<TSessionItem*> TMainForm::DGISessions() const {
  std::vector<TSessionItem*> sessions;
  for (TSessionItem* session : FApp->Lists().Sessions()) {
    if (session->SessionType() != kSessionTypeCounter) continue;
    const auto* store = dynamic_cast<const TZCT_DataManagement*>(session->DataManagement());
    if (store && store->DGICount() > 0) sessions.push_back(session);
  }
  return sessions;
}

void TMainForm::NewDigitalInputsWindowExecute() {
  Log(12, "TMainForm.NewDigitalInputsWindowExecute");
  const std::vector<TSessionItem*> sessions = DGISessions();
  if (sessions.empty()) return;
  std::optional<int> choice = 0;
  if (sessions.size() > 1) {
    QStringList captions;
    for (TSessionItem* session : sessions) captions << QString::fromStdString(FApp->Lists().GetSessionName(session->Index(), false));
    if (FOptions.Dialogs.DGISession) {
      choice = FOptions.Dialogs.DGISession(this, captions);
    } else {
      bool ok = false;
      const QString caption = QInputDialog::getItem(this, "New Digital Inputs Window", "Source", captions, 0, false, &ok);
      choice = ok ? std::optional<int>(int(captions.indexOf(caption))) : std::nullopt;
    }
  }
  if (!choice || *choice < 0 || *choice >= int(sessions.size())) return;
  TVTASettings& settings = FApp->Settings();
  const int32_t entry = FChildArray.Reserve(vkDGI, false, settings);
  TMDIChild* view = CreateDigitalInputsView(sessions[size_t(*choice)], entry);
  view->ReadSettings(settings, ViewPrefix(entry));
  view->UpdateDisplay();
  PlaceNewView(*view);
  view->PlacementWidget()->show();
}

bool TMainForm::ChangeGraphicSettings(TMDIChild& view) {
  auto* graph = qobject_cast<TGraphicChild*>(&view);
  auto* allan = qobject_cast<TAllanChild*>(&view);
  if (!graph && !allan) return false;
  // A sensor graph has its one mode; nothing to choose.
  if (graph && graph->GraphicMode() == gmSensor) return true;
  TGraphicViewSelection preset;
  preset.SessionIndex = view.SessionIndex(1);
  preset.Allan = allan != nullptr;
  if (graph) preset.Mode = graph->GraphicMode();
  if (graph) preset.SecondSessionIndex = view.SessionIndex(2);
  if (allan) preset.AllanMode = allan->AllanMode();
  const std::optional<TGraphicViewSelection> choice = AskGraphicSelection(preset, true);
  // The view stays what it is; its mode and its second session change.
  if (!choice || choice->Allan != preset.Allan) return true;
  if (graph && choice->Mode != graph->GraphicMode()) graph->SetGraphicMode(choice->Mode);
  if (graph && choice->Mode != graph->GraphicModeRight()) graph->SetGraphicModeRight(choice->Mode);
  if (graph && choice->SecondSessionIndex != preset.SecondSessionIndex) SetGraphicSecondSession(view, choice->SecondSessionIndex);
  if (allan && choice->AllanMode != allan->AllanMode()) allan->SetAllanMode(choice->AllanMode);
  return true;
}

// ---------------------------------------------------------------- info views

TInfoChild* TMainForm::InfoView(int32_t sessionIndex) const {
  const auto it = FInfoList.find(sessionIndex);
  return it == FInfoList.end() ? nullptr : it->second;
}

TInfoEnvironment TMainForm::InfoEnvironment() {
  TInfoEnvironment env;
  env.DebugConf = &FApp->DebugConf();
  env.Facts = [this](TSessionItem& session) {
    TInfoSessionFacts facts = SessionInfoFacts(session);
    // The notices tell this window what the instrument carries, whatever the session kind knows.
    if (const auto it = FSessionStates.find(session.Index()); it != FSessionStates.end()) {
      facts.ZCTonly = facts.ZCTonly || it->second.ZCTonly;
      facts.IVConly = facts.IVConly || it->second.IVConly;
    }
    return facts;
  };
  env.Message = [this](const QString& caption, const QString& text) { ShowMessageBox(caption, text); };
  env.LogDefinitions = [this] { return LogSwitches(); };
  env.ToggleLogDefinition = [this](int32_t definition) { ToggleLogDefinition(definition); };
  env.DebugEnable = [this](int32_t index, bool debug, bool stream, bool test) { DebugEnable(index, debug, stream, test); };
  return env;
}

void TMainForm::CreateInfoView(TSessionItem& session) {
  const int32_t index = session.Index();
  FreeInfoView(index);
  auto* info = new TInfoChild(nullptr, session, InfoEnvironment());
  // The view goes with its session only: its window offers no close button.
  QMdiSubWindow* window = FMdiArea->addSubWindow(
      info, Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowMinimizeButtonHint);
  FInfoList[index] = info;
  info->BindActions(*this);
  info->ReadSettings(FApp->Settings(), InfoPrefix(index));
  if (info->DefaultPlacement()) PlaceInfoView(*info);
  window->show();
}

void TMainForm::PlaceNewView(TMDIChild& view) {
  if (!view.DefaultSettings()) return;
  QWidget* window = view.PlacementWidget();
  std::vector<QRect> occupied;
  for (QMdiSubWindow* other : FMdiArea->subWindowList())
    if (other != window && other->isVisible()) occupied.push_back(other->geometry());
  window->move(LeastCoveredPosition(FMdiArea->viewport()->size(), window->size(), occupied));
}

void TMainForm::NoteStackingOrder() {
  int32_t index = 0;
  for (QMdiSubWindow* window : FMdiArea->subWindowList(QMdiArea::StackingOrder))
    if (auto* view = qobject_cast<TMDIChild*>(window->widget())) view->SetStackIndex(index++);
}

void TMainForm::RestoreStackingOrder() {
  std::vector<TMDIChild*> stored;
  for (QMdiSubWindow* window : FMdiArea->subWindowList())
    if (auto* view = qobject_cast<TMDIChild*>(window->widget()); view && view->StackIndex() >= 0) stored.push_back(view);
  std::stable_sort(stored.begin(), stored.end(), [](TMDIChild* a, TMDIChild* b) { return a->StackIndex() < b->StackIndex(); });
  for (TMDIChild* view : stored) view->PlacementWidget()->raise();
  if (!stored.empty()) FMdiArea->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(stored.back()->PlacementWidget()));
}

void TMainForm::PlaceInfoView(TInfoChild& info) {
  // Unplaced, the info views stand side by side at the right edge, session A rightmost, with the
  // whole height of the area for their panels.
  int right = FMdiArea->viewport()->width();
  for (const auto& [index, other] : FInfoList)
    if (index < info.Session().Index()) right -= other->parentWidget()->width();
  QWidget* window = info.parentWidget();
  window->move(std::max(0, right - window->width()), 0);
}

void TMainForm::FreeInfoView(int32_t sessionIndex) {
  const auto it = FInfoList.find(sessionIndex);
  if (it == FInfoList.end()) return;
  TInfoChild* info = it->second;
  FInfoList.erase(it);
  // The sub-window owns the view; deleting it now lets go of the session at once.
  if (auto* window = qobject_cast<QMdiSubWindow*>(info->parentWidget()))
    delete window;
  else
    delete info;
}

void TMainForm::FreeInfoList() {
  try {
    while (!FInfoList.empty()) FreeInfoView(FInfoList.begin()->first);
  } catch (const std::exception& e) {
    FApp->DebugConf().Error("TMainForm.FormDestroy ignore Exception Free InfoList", e);
  }
}

// ---------------------------------------------------------------- session hooks

void TMainForm::SessionAdded(TSessionItem& session) {
  const int32_t index = session.Index();
  FSessionStates[index] = {};
  if (FSetAsideIndex == index) {
    for (TMDIChild* view : FChildArray.Views()) view->SessionChanged(&session);
    FSetAsideIndex.reset();
  }
  FStatusBar->SetSlotCount(std::max(FStatusBar->SlotCount(), index + 1));
  RebuildSessionMenus();
  CreateInfoView(session);
}

void TMainForm::SessionUpdated(TSessionItem& session) {
  RebuildSessionMenus();
  if (TInfoChild* info = InfoView(session.Index())) info->UpdateSession();
  for (TMDIChild* view : FChildArray.Views()) {
    if (view->Session() == &session) view->UpdateSession(1);
    if (view->SecondSession() == &session) view->UpdateSession(2);
  }
}

void TMainForm::SessionRemoving(TSessionItem& session, bool keepViews) {
  const int32_t index = session.Index();
  if (keepViews) {
    FSetAsideIndex = index;
    for (TMDIChild* view : FChildArray.Views()) view->PrepareSessionChange(&session);
  } else {
    CloseViewsOf(session);
  }
  // The session that replaces this one starts with its info view's position and panels.
  if (TInfoChild* info = InfoView(index); info && keepViews) info->SaveSettings(FApp->Settings(), InfoPrefix(index));
  FreeInfoView(index);
  FStatusBar->ClearSession(index);
  FSessionStates.erase(index);
  // Its menu entries go with it; the next rebuild of the menus no longer lists it.
  FSessionActions->RemoveSession(index);
}

void TMainForm::SessionListChanged(const TSessionLists& lists) {
  FStatusBar->SetSlotCount(lists.SlotCount());
  RebuildSessionMenus();
}

// ---------------------------------------------------------------- display cycle hooks

void TMainForm::SyncNotice(const TMainSyncData& notice, TSessionItem* sender) {
  if (!sender) return;
  const int32_t index = sender->Index();
  TSessionState& state = State(index);
  TInfoChild* info = InfoView(index);
  const std::vector<TMDIChild*> views = ViewsOf(*sender);
  const auto forBases = [&](bool ivc, const std::function<void(TMDIChild&, int base)>& act) {
    for (TMDIChild* view : views)
      for (int base = 1; base <= TMDIChild::kBaseCount; ++base)
        if (view->SessionIndex(base) == index && view->IsIVCView(base) == ivc) act(*view, base);
  };
  switch (notice.What) {
    case swDataReset:
    case swDataResetIVC:
      forBases(notice.What == swDataResetIVC, [](TMDIChild& view, int) { view.DataReset(); });
      break;
    case swChannelCount:
    case swIVCChannels:
      forBases(notice.What == swIVCChannels, [](TMDIChild& view, int base) {
        if (base == 1)
          view.ChannelCount();
        else
          view.ChannelCount2nd();
      });
      break;
    case swDGICards:
      for (TMDIChild* view : views) view->DGICount();
      FNewDGIWindow->setEnabled(!DGISessions().empty());
      break;
    case swMode:
      CheckNoticeChoice(notice, index);
      if (info) info->SetMode(notice.Code);
      for (TMDIChild* view : views) view->UpdateCaption();
      break;
    case swRateIndex:
      CheckNoticeChoice(notice, index);
      if (info) info->SetRateIndex(notice.Code);
      break;
    case swScrambler:
      CheckNoticeChoice(notice, index);
      if (info) info->SetScramblerIndex(notice.Code);
      break;
    case swPPI:
      if (info) info->SetPPIindex(notice.Code);
      break;
    case swReSync:
      CheckNoticeChoice(notice, index);
      break;
    case swZCTonly:
    case swIVConly:
      (notice.What == swZCTonly ? state.ZCTonly : state.IVConly) = true;
      for (TMDIChild* view : views)
        for (int base = 1; base <= TMDIChild::kBaseCount; ++base)
          if (view->SessionIndex(base) == index) view->UpdateSession(base);
      RebuildSessionMenus();
      if (info) info->UpdateSession();
      break;
    case swPeer:
      state.ESP = notice.Code != 0;
      if (!HeartbeatsPossible(index))
        if (TDebugChild* debug = DebugView(*sender)) CloseView(debug);
      RebuildSessionMenus();
      if (info) info->UpdateSession();
      break;
    case swHRQData:
      for (TMDIChild* view : views) view->UpdateDisplay();
      UpdateStatus();
      break;
    case swDevices:
      UpdateDevicesMenu();
      break;
    default:
      break;
  }
}

void TMainForm::UpdateViews() {
  for (TMDIChild* view : FChildArray.Views()) view->UpdateDisplay();
  UpdateDevicesMenu();
}

bool TMainForm::MessageViewExists() const { return FMessageView != nullptr; }

void TMainForm::UpdateMessageView() {
  if (FMessageView) FMessageView->UpdateDisplay();
}

void TMainForm::UpdateInfo() {
  for (const auto& [index, info] : FInfoList) info->UpdatePanel();
}

void TMainForm::UpdateStatus() {
  TSessionLists& lists = FApp->Lists();
  FStatusBar->SetSlotCount(lists.SlotCount());
  std::vector<bool> filled(size_t(lists.SlotCount()), false);
  QStringList highRes;
  bool debugFiles = FApp->Settings().AppDebugLog();
  for (const TSessionStatus& status : FApp->SessionStatuses()) {
    TSessionItem* session = lists.GetSession(status.Index);
    if (!session) continue;
    FStatusBar->SetSessionStatus(status, session->Color());
    if (size_t(status.Index) < filled.size()) filled[size_t(status.Index)] = true;
    debugFiles = debugFiles || session->DebugLog();
    if (!FOptions.Kinds.Traits) continue;
    const TSessionTraits traits = FOptions.Kinds.Traits(*session);
    debugFiles = debugFiles || traits.DebugFiles;
    if (traits.HRQChannels > 0) highRes << QString("%1:%2").arg(QChar(SessionLetter(status.Index))).arg(traits.HRQChannels);
  }
  for (size_t slot = 0; slot < filled.size(); ++slot)
    if (!filled[slot]) FStatusBar->ClearSession(int32_t(slot));
  FStatusBar->SetHighRes(highRes.join(" / "));
  FStatusBar->SetDebugLogging(debugFiles, LogFileActive());
}

// ---------------------------------------------------------------- settings of the windows

void TMainForm::ReadWindowSettings(TVTASettings& settings, const TSessionLists& lists) {
  // The info views read their keys when their sessions were added, before this.
  int32_t count = -1;
  try {
    count = settings.GetValue("ChildCount", int32_t(-1));
  } catch (const std::exception& e) {
    FApp->DebugConf().Error("TMainForm.LosGehts.ChildCount unreadable", e);
  }
  Log(kMainCategory, "TMainForm.LosGehts.ChildCount=" + std::to_string(count));
  if (count == -1 || settings.TestKeys(kMessagePrefix)) CreateMessageView();
  if (count == -1 && !lists.Sessions().empty()) {
    Log(kMainCategory, "TMainForm.LosGehts First App start -> create default windows");
    for (TSessionItem* session : lists.Sessions()) CreateDefaultViews(*session);
  }
  for (int32_t k = 1; k <= count; ++k) {
    // One unreadable view must not cost the others.
    try {
      CreateStoredView(settings, k, lists);
    } catch (const std::exception& e) {
      FApp->DebugConf().Error("TMainForm.LosGehts view " + std::to_string(k) + " failed", e);
    }
  }
  RestoreStackingOrder();
}

void TMainForm::SaveWindowSettings(TVTASettings& settings, const TSessionIndexMap& map) {
  const QRect bounds = isMaximized() && screen() ? screen()->availableGeometry() : geometry();
  settings.SetMainPlacement({bounds.left(), bounds.top(), bounds.width(), bounds.height()});
  NoteStackingOrder();
  if (FMessageView) {
    FMessageView->SaveSettings(settings, kMessagePrefix);
    settings.SetValue(kMessagePrefix + "Session", int32_t(-1));
    settings.SetValue(kMessagePrefix + "SessionCopy", false);
  }
  int32_t k = 0;
  for (int32_t entry = 1; entry < FChildArray.Length(); ++entry) {
    const TChildEntry& e = FChildArray.Entry(entry);
    if (!e.View && !e.Kept) continue;
    const std::string prefix = ViewPrefix(++k);
    TKeptView table;
    if (e.View) {
      e.View->SaveSettings(settings, prefix);
      table.Session = e.View->SessionIndex(1);
      table.SessionCopy = e.View->Session() && e.View->Session()->IsCopy();
      table.SecondSession = e.View->SessionIndex(2);
      table.SecondSessionCopy = e.View->SecondSession() && e.View->SecondSession()->IsCopy();
    } else {
      table = *e.Kept;
      for (const auto& [name, value] : table.Keys) settings.SetValue(prefix + name, value);
    }
    settings.SetValue(prefix + "Id", e.Id);
    settings.SetValue(prefix + "Session", int32_t(map.Map(table.Session)));
    settings.SetValue(prefix + "SessionCopy", table.SessionCopy);
    settings.SetValue(prefix + "SecondSession", int32_t(map.Map(table.SecondSession)));
    settings.SetValue(prefix + "SecondSessionCopy", table.SecondSessionCopy);
  }
  settings.SetChildCount(k);
  for (const auto& [index, info] : FInfoList) {
    const int32_t stored = map.Map(index);
    if (stored >= 0) info->SaveSettings(settings, InfoPrefix(stored));
  }
}

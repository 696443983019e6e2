// The window side of measurement logging: the log definition dialog, one "&Logging" submenu per
// definition, the info views' log switches and the status bar's logging panel.
#include <QAction>
#include <QDir>
#include <QMenu>

#include "acquisition/App_Sessions.h"
#include "acquisition/VTA_Sessions.h"
#include "app/VTA_MultiSampler.h"
#include "core/VTA_Settings.h"
#include "logging/MultiSampler.h"
#include "ui/MainForm.h"
#include "ui/MenuText.h"

namespace {

constexpr int kUserInputCategory = 12;

}  // namespace

TMultiSampler* TMainForm::Sampler() const {
  TVTA_MultiSampler* component = FApp->MultiSampler();
  return component ? &component->Sampler() : nullptr;
}

bool TMainForm::LogFileActive() const {
  const TMultiSampler* sampler = Sampler();
  return sampler && sampler->LogFileActive();
}

std::vector<TInfoLogSwitch> TMainForm::LogSwitches() const {
  std::vector<TInfoLogSwitch> switches;
  const TMultiSampler* sampler = Sampler();
  if (!sampler) return switches;
  for (int d = 0; d < sampler->DefinitionCount(); ++d)
    if (const std::unique_ptr<TLogDefinition> def = sampler->Definition(d)) switches.push_back({d, def->Enabled()});
  return switches;
}

std::vector<TLogDialogSource> TMainForm::LogDialogSources() {
  std::vector<TLogDialogSource> sources;
  TSessionLists& lists = FApp->Lists();
  for (TSessionItem* session : lists.Sessions()) {
    const int32_t index = session->Index();
    const TSessionState& state = State(index);
    const TSessionTraits traits = FOptions.Kinds.Traits ? FOptions.Kinds.Traits(*session) : TSessionTraits{};
    TSessionItem* copy = lists.GetSessionCopy(index);
    TLogDialogSource source;
    source.Index = index;
    source.Caption = lists.GetSessionName(index, true);
    source.Sensor = session->SessionType() != kSessionTypeCounter;
    source.HasZCT = source.Sensor || !state.IVConly;
    source.HasIVC = !source.Sensor && copy && !state.ZCTonly;
    source.SerialNumber = session->SerialNumber() == kSerialNumberUnknown ? 0 : session->SerialNumber();
    const TDataManagement* store = session->DataManagement();
    source.ChannelCount = store && store->ChannelCount() > 0 ? store->ChannelCount() : session->ChannelData().MaxChannels();
    source.VirtualChannelCount = session->VirtualChannelCount();
    source.IVCChannelCount = copy ? traits.IVCChannels : 0;
    source.VirtualIVCChannelCount = copy ? copy->VirtualChannelCount() : 0;
    source.DGICards = traits.DGICards;
    sources.push_back(std::move(source));
  }
  return sources;
}

bool TMainForm::AskLogDefinition(TLogDefinitionDialog& dialog) {
  dialog.SetMessageHook([this](const QString& caption, const QString& text) { ShowMessageBox(caption, text); });
  if (FOptions.Dialogs.LogDefinition) return FOptions.Dialogs.LogDefinition(dialog);
  return dialog.exec() == QDialog::Accepted;
}

void TMainForm::NewLogConfigExecute() {
  Log(kUserInputCategory, "TMainForm.LogNewExecute");
  TMultiSampler* sampler = Sampler();
  if (!sampler) return;
  TLogDefinitionDialog dialog(this, LogDialogSources(), sampler->NextDefIndex(), FApp->Settings().LogRootFolder());
  if (!AskLogDefinition(dialog)) return;
  const int d = sampler->AddDefinition(std::make_unique<TLogDefinition>(dialog.Definition()));
  Log(kUserInputCategory, "TMainForm.LogNewExecute added definition " + std::to_string(d + 1));
  LogDefinitionsChanged();
}

void TMainForm::ChangeLogConfigExecute(int definition) {
  Log(kUserInputCategory, "TMainForm.LogChangeExecute " + std::to_string(definition + 1));
  TMultiSampler* sampler = Sampler();
  const std::unique_ptr<TLogDefinition> current = sampler ? sampler->Definition(definition) : nullptr;
  if (!current) return;
  TLogDefinitionDialog dialog(this, LogDialogSources(), definition, FApp->Settings().LogRootFolder());
  dialog.SetDefinition(*current);
  if (!AskLogDefinition(dialog)) return;
  sampler->ChangeDefinition(definition, std::make_unique<TLogDefinition>(dialog.Definition()));
  LogDefinitionsChanged();
}

void TMainForm::RemoveLogConfigExecute(int definition) {
  Log(kUserInputCategory, "TMainForm.LogRemoveExecute " + std::to_string(definition + 1));
  if (TMultiSampler* sampler = Sampler()) sampler->RemoveDefinition(definition);
  LogDefinitionsChanged();
}

void TMainForm::ToggleLogDefinition(int definition) {
  TMultiSampler* sampler = Sampler();
  const std::unique_ptr<TLogDefinition> current = sampler ? sampler->Definition(definition) : nullptr;
  if (!current) return;
  Log(kUserInputCategory, "TMainForm.LogEnableExecute " + std::to_string(definition + 1) + " " +
                              (current->Enabled() ? "False" : "True"));
  sampler->SetEnabled(definition, !current->Enabled());
  LogDefinitionsChanged();
}

void TMainForm::LogDefinitionsChanged() {
  RebuildLogDefinitionMenus();
  for (const auto& [index, info] : FInfoList) info->UpdateLogDefinitions();
  UpdateStatus();
}

// "&" + number + " Log " + the file name (relative to the program's folder), checked while the
// definition is enabled. A rebuild may run inside the trigger of one of these items, so the old
// submenus go once the event is handled.
void TMainForm::RebuildLogDefinitionMenus() {
  for (const QPointer<QMenu>& menu : FLogDefinitionMenus) {
    if (!menu) continue;
    FLoggingMenu->removeAction(menu->menuAction());
    menu->deleteLater();
  }
  FLogDefinitionMenus.clear();
  const TMultiSampler* sampler = Sampler();
  if (!sampler) return;
  const QDir programFolder(QString::fromStdString(FApp->Settings().ExePath()));
  for (int d = 0; d < sampler->DefinitionCount(); ++d) {
    const std::unique_ptr<TLogDefinition> def = sampler->Definition(d);
    if (!def) continue;
    const QString shown = programFolder.relativeFilePath(QString::fromStdString(def->FileName()));
    QMenu* menu = FLoggingMenu->addMenu(QString("&%1 Log ").arg(d + 1) + MenuCaption(shown.toStdString()));
    menu->setObjectName(QString("LogDefinition%1").arg(d + 1));
    menu->menuAction()->setCheckable(true);
    menu->menuAction()->setChecked(def->Enabled());
    connect(menu->addAction(def->Enabled() ? "Close Log File" : "Open Log File"), &QAction::triggered, this,
            [this, d] { RunCycle("TMainForm.LogEnableExecute", [this, d] { ToggleLogDefinition(d); }); });
    connect(menu->addAction("Change Log Configuration..."), &QAction::triggered, this,
            [this, d] { RunCycle("TMainForm.LogChangeExecute", [this, d] { ChangeLogConfigExecute(d); }); });
    connect(menu->addAction("Remove Log Configuration"), &QAction::triggered, this,
            [this, d] { RunCycle("TMainForm.LogRemoveExecute", [this, d] { RemoveLogConfigExecute(d); }); });
    FLogDefinitionMenus.emplace_back(menu);
  }
}

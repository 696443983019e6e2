#include "ui/TextAllanChild.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <algorithm>

#include "acquisition/App_Sessions.h"
#include "data/ZCT_DataManagement.h"
#include "ui/AllanChild.h"
#include "ui/QV_Channels.h"
#include "ui/TextGrid.h"
#include "ui/TextSelectionDialog.h"

namespace {

constexpr int kTextChildCategory = 11;  // debug category of the text views

}  // namespace

TTextAllanChild::TTextAllanChild(QWidget* AOwner, int32_t aTag, TSessionItem* aSession, TOnMainEvent aOnMain,
                                 TViewEnvironment aEnv, TAllanMode aMode)
    : TMDIChild(AOwner, aTag, aSession, std::move(aOnMain), std::move(aEnv), kTitleNew, "TTextAllanChild",
                kTextChildCategory) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  FGrid = new TTextGrid(this);
  layout->addWidget(FGrid, 1);

  FChannels = AddChannelStrip(*layout, mcaToggleEnabled);
  connect(FGrid, &TTextGrid::CellClicked, this, &TTextAllanChild::GridCellClicked);
  connect(FChannels, &TQV_Channels::OnChannelEnabled, this, [this] { RefreshNow(); });

  FGrid->SetDecimalSeparator(WinDecimalSeparator());
  FGrid->SetCell(0, 0, "+");
  FAllanMode = AllanModeFromInt(aMode);
  SetColumnEnabled(kDefaultColumns);
  if (aSession && aSession->IntervalMs() > 0) FIntervalMs = aSession->IntervalMs();
  TMDIChild::UpdateSession(1);
}

TTextAllanChild::~TTextAllanChild() = default;

// ---- Mode, columns, interval ----

void TTextAllanChild::SetAllanMode(TAllanMode mode) {
  FAllanMode = AllanModeFromInt(mode);
  FUpdateColumns = true;
  FGrid->ClearValues();
  UpdateCaption();
}

void TTextAllanChild::SetIntervalMs(int32_t value) {
  if (value <= 0 || value == FIntervalMs) return;
  FIntervalMs = value;
  FUpdateColumns = true;
}

std::string TTextAllanChild::GetColumnEnabled() const {
  std::string flags;
  for (const bool on : FColumnEnabled) flags += on ? '1' : '0';
  return flags;
}

void TTextAllanChild::SetColumnEnabled(const std::string& Value) {
  for (size_t t = 0; t < FColumnEnabled.size(); ++t) FColumnEnabled[t] = t < Value.size() && Value[t] == '1';
  FUpdateColumns = true;
}

void TTextAllanChild::ChannelEnable(int Channel, bool Value) {
  FChannels->SetChannelEnabled(Channel, Value);
  RefreshNow();
}

// ---- Session and notices ----

int32_t TTextAllanChild::StoreChannelCount(int base) const {
  if (base != 1) return TMDIChild::StoreChannelCount(base);
  const TZCT_DataManagement* store = ZCTDataManagement(1);
  return store ? store->ChannelCount() : 0;
}

void TTextAllanChild::UpdateSession(int base) {
  RebindBase(base);
  if (base == 1 && Session()) {
    if (!QVSession()) return CloseChild(".UpdateSession: not a QVSession -> close text window");
    const auto& ivcOnly = Environment().IVCOnly;
    if (ivcOnly && ivcOnly(*Session())) {
      LogInfo(".UpdateSession: IVC only");
      return CloseChild(" -> close ZCT window");
    }
  }
  TMDIChild::UpdateSession(base);
  FRows.Invalidate();
}

void TTextAllanChild::ChannelCount() {
  TMDIChild::ChannelCount();
  FRows.Invalidate();
}

void TTextAllanChild::DataReset() {
  FGrid->ClearValues();
  FGrid->ResetColumnStatistics();
  FRows.Invalidate();
}

void TTextAllanChild::UpdateOptions(int32_t what) {
  if ((what & ocDecSepWin) == 0) return;
  FGrid->SetDecimalSeparator(WinDecimalSeparator());
  FGrid->ClearValues();
  FUpdateColumns = true;
}

void TTextAllanChild::UpdateCaption() {
  FDefaultTitle = FShowsValues ? "Text: " + AllanModeCaption(FAllanMode) : kTitleNew;
  TMDIChild::UpdateCaption();
}

// ---- Settings ----

void TTextAllanChild::ReadSettings(TAppSettings& Settings, const std::string& SettingsPrefix) {
  TMDIChild::ReadSettings(Settings, SettingsPrefix);
  const std::string& P = SettingsPrefix;
  SetAllanMode(AllanModeFromInt(Settings.GetValue(P + "AllanMode", int32_t(FAllanMode))));
  SetColumnEnabled(Settings.GetValue(P + "Columns", GetColumnEnabled()));
  FRows.Invalidate();
}

void TTextAllanChild::SaveSettings(TAppSettings& Settings, const std::string& SettingsPrefix) {
  TMDIChild::SaveSettings(Settings, SettingsPrefix);
  Settings.SetValue(SettingsPrefix + "AllanMode", int32_t(FAllanMode));
  Settings.SetValue(SettingsPrefix + "Columns", GetColumnEnabled());
}

// ---- Refresh ----

void TTextAllanChild::UpdateDisplay() {
  if (Closing()) return;
  if (!ZCTDataManagement(1)) return ShowStatus(kNoConnection);
  const int32_t count = std::clamp(StoreChannelCount(1), 0, TQV_ChannelData::ChannelCount);
  if (count != FTransmittedChannels) {
    FTransmittedChannels = count;
    FChannels->SetMaxChannels(StripChannelCount(1));
  }
  SetIntervalMs(Session()->IntervalMs());
  UpdateColumns();
  if (count == 0) return ShowStatus(Session()->OpenString() == kOpenStringNone ? kNoConnection : kNoData);
  if (!FStatus.empty()) {
    FStatus.clear();
    FRows.Invalidate();
    FGrid->EndStatusRow();
  }
  FRows.Update(*FGrid, *FChannels, count);
  UpdateCells();
  FGrid->FitLayout();
}

void TTextAllanChild::ShowStatus(const std::string& text) {
  FStatus = text;
  FRows.Invalidate();
  FGrid->ShowStatusRow(text);
}

// Row 0 names each enabled τ as the time it spans.
void TTextAllanChild::UpdateColumns() {
  if (!FUpdateColumns) return;
  FUpdateColumns = false;
  int column = 0;
  for (int t = 0; t < kAllanTauCount; ++t) FColumnIndex[size_t(t)] = FColumnEnabled[size_t(t)] ? ++column : 0;
  FGrid->SetColumnCount(1 + column);
  FGrid->ResetColumnStatistics();
  FGrid->ClearValues();
  const char separator = FGrid->DecimalSeparator();
  for (int t = 0; t < kAllanTauCount; ++t)
    if (const int col = FColumnIndex[size_t(t)])
      FGrid->SetCell(0, col, AllanTauText(int64_t(FIntervalMs) * AllanTauSamples(t), separator));
  FShowsValues = true;
  UpdateCaption();
}

void TTextAllanChild::UpdateCells() {
  const TZCT_DataManagement* store = ZCTDataManagement(1);
  const char separator = FGrid->DecimalSeparator();
  for (size_t row = 0; row < FRows.Channels().size(); ++row) {
    const int32_t ch = FRows.Channels()[row];
    try {
      const std::vector<double> sigmas = store->GetAllanTextValues(FAllanMode, ch);
      for (int t = 0; t < kAllanTauCount; ++t) {
        const int col = FColumnIndex[size_t(t)];
        if (col == 0) continue;
        const double sigma = size_t(t) < sigmas.size() ? sigmas[size_t(t)] : 0.0;
        FGrid->SetCell(int(row) + 1, col, AllanValueText(sigma, separator));
      }
    } catch (const std::exception& e) {
      LogException(".UpdateDisplay row/Channel " + std::to_string(ch), e);
      throw;
    }
  }
}

void TTextAllanChild::ApplySelection(const TTextViewSelection& selection) {
  SetAllanMode(selection.AdevMode);
  if (!selection.TauColumns.empty()) SetColumnEnabled(selection.TauColumns);
  FChannels->SetChannelEnabledString(selection.Channels);
  SetTitle(selection.Title);
  RefreshNow();
}

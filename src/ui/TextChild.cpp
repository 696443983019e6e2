#include "ui/TextChild.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <algorithm>

#include "acquisition/App_Sessions.h"
#include "data/IVC_DataManagement.h"
#include "data/ZCT_DataManagement.h"
#include "ui/DecimalAlign.h"
#include "ui/QV_Channels.h"
#include "ui/TextColumns.h"
#include "ui/TextGrid.h"

namespace {

constexpr int kTextChildCategory = 11;  // debug category "TextChild"
inline const std::string kNotDelivered = " (-)";
inline const std::string kStdColumnsIVC = "1100";

}  // namespace

TTextChild::TTextChild(QWidget* AOwner, int32_t aTag, TSessionItem* aSession, TOnMainEvent aOnMain, TViewEnvironment aEnv,
                       TTextSourceKind aKind)
    : TMDIChild(AOwner, aTag, aSession, std::move(aOnMain), std::move(aEnv),
                aKind == TTextSourceKind::ZCT ? kTitleZCT : kTitleIVC, "TTextChild", kTextChildCategory),
      FKind(aKind) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  FGrid = new TTextGrid(this);
  layout->addWidget(FGrid, 1);

  FChannels = AddChannelStrip(*layout, mcaToggleEnabled);

  FActionViewSelection = new QAction("Change Window Settings...", this);
  connect(FActionViewSelection, &QAction::triggered, this, [this] {
    if (FOnMain) FOnMain(Tag(), TChildNotice::ViewSelection);
  });
  FGrid->setContextMenuPolicy(Qt::ActionsContextMenu);
  FGrid->addAction(FActionViewSelection);
  connect(FGrid, &TTextGrid::CellClicked, this, &TTextChild::GridCellClicked);
  connect(FChannels, &TQV_Channels::OnChannelEnabled, this, [this] { RefreshNow(); });

  FGrid->SetDecimalSeparator(WinDecimalSeparator());
  FGrid->SetCell(0, 0, "+");
  SetColumnEnabled(FKind == TTextSourceKind::ZCT ? GetStdColumnFreqAbs() : kStdColumnsIVC);
  BindSource();
  TMDIChild::UpdateSession(1);
}

TTextChild::~TTextChild() = default;

std::string TTextChild::GetStdColumnFreqAbs() { return "001000"; }

std::string TTextChild::GetStdColumnPhaseRes() { return "000001"; }

int TTextChild::ModeCount() const { return FKind == TTextSourceKind::ZCT ? ZCT_TextModeCount : kTextModeCountIVC; }

// ---- Binding ----

void TTextChild::BindSource() {
  FSource.reset();
  FUpdateColumns = true;
  FRowsInitialized = false;
  TSessionItem* session = Session();
  if (!session) return;
  if (FKind == TTextSourceKind::ZCT) {
    if (TZCT_DataManagement* store = ZCTDataManagement(1)) FSource = ZCTTextColumns(*store);
    return;
  }
  const auto& ivcStore = Environment().IVCStore;
  TIVC_DataManagement* store = ivcStore ? ivcStore(*session) : dynamic_cast<TIVC_DataManagement*>(session->DataManagement());
  if (store) FSource = IVCTextColumns(*store);
}

void TTextChild::PrepareSessionChange(TSessionItem* aOld) {
  TMDIChild::PrepareSessionChange(aOld);
  if (!Session()) BindSource();
}

void TTextChild::UpdateSession(int base) {
  RebindBase(base);
  if (base == 1 && Session()) {
    if (!QVSession()) return CloseChild(".UpdateSession: not a QVSession -> close text window");
    const auto& ivcOnly = Environment().IVCOnly;
    const auto& zctOnly = Environment().ZCTOnly;
    if (FKind == TTextSourceKind::ZCT && ivcOnly && ivcOnly(*Session())) {
      LogInfo(".UpdateSession: IVC only");
      return CloseChild(" -> close ZCT window");
    }
    if (FKind == TTextSourceKind::IVC && zctOnly && zctOnly(*Session())) {
      LogInfo(".UpdateSession: ZCT only");
      return CloseChild(" -> close IVC window");
    }
    BindSource();
    if (FVirtualChannels && StoreChannelCount(1) <= 0) {
      LogInfo(".UpdateSession: no more virtual channels");
      return CloseChild(" -> close text window");
    }
  }
  TMDIChild::UpdateSession(base);
  FRowsInitialized = false;
}

int32_t TTextChild::StoreChannelCount(int base) const {
  if (base == 1 && FSource) return FSource->ChannelCount(FVirtualChannels);
  return TMDIChild::StoreChannelCount(base);
}

// ---- Columns ----

std::string TTextChild::GetColumnEnabled() const {
  std::string flags;
  for (int mode = 0; mode < ModeCount(); ++mode) flags += FColumnEnabled[size_t(mode)] ? '1' : '0';
  return flags;
}

void TTextChild::SetColumnEnabled(const std::string& Value) {
  for (int mode = 0; mode < kMaxModes; ++mode)
    FColumnEnabled[size_t(mode)] = mode < ModeCount() && size_t(mode) < Value.size() && Value[size_t(mode)] == '1';
  FUpdateColumns = true;
}

bool TTextChild::IsIVCView(int base) const { return base == 1 && FKind == TTextSourceKind::IVC; }

void TTextChild::SetVirtualChannels(bool value) {
  if (value == FVirtualChannels) return;
  TMDIChild::SetVirtualChannels(value);
  FUpdateColumns = true;
  FRowsInitialized = false;
}

void TTextChild::ChannelEnable(int Channel, bool Value) {
  FChannels->SetChannelEnabled(Channel, Value);
  RefreshNow();
}

TTextViewSelection TTextChild::Selection() const {
  TTextViewSelection s;
  s.SessionIndex = SessionIndex(1);
  s.Kind = FKind;
  s.Type = FVirtualChannels ? TTextViewType::Virtual : TTextViewType::Standard;
  s.Columns = GetColumnEnabled();
  s.Channels = FChannels->ChannelEnabledString();
  s.Title = FTitle;
  return s;
}

void TTextChild::ApplySelection(const TTextViewSelection& selection) {
  SetColumnEnabled(selection.Columns);
  FChannels->SetChannelEnabledString(selection.Channels);
  if (FKind == TTextSourceKind::ZCT) SetVirtualChannels(selection.Type == TTextViewType::Virtual);
  SetTitle(selection.Title);
  RefreshNow();
}

// ---- Notices ----

void TTextChild::ChannelCount() {
  TMDIChild::ChannelCount();
  FRowsInitialized = false;
}

void TTextChild::DataReset() {
  FGrid->ClearValues();
  FGrid->ResetColumnStatistics();
  FRowsInitialized = false;
}

void TTextChild::UpdateOptions(int32_t what) {
  if ((what & ocDecSepWin) == 0) return;
  FGrid->SetDecimalSeparator(WinDecimalSeparator());
  FGrid->ClearValues();
}

void TTextChild::UpdateCaption() {
  if (FHeaders.empty()) {
    FDefaultTitle = FKind == TTextSourceKind::ZCT ? kTitleZCT : kTitleIVC;
  } else {
    FDefaultTitle = "Text: ";
    for (size_t i = 0; i < FHeaders.size(); ++i) {
      std::string header = FHeaders[i];
      if (header.ends_with(kNotDelivered)) header.resize(header.size() - kNotDelivered.size());
      FDefaultTitle += (i ? ", " : "") + header;
    }
  }
  TMDIChild::UpdateCaption();
}

// ---- Settings ----

// "Columns" holds one "1"/"0" per text mode; files of format 4 or lower kept one boolean key per
// column, "Column1" to "Column6".
void TTextChild::ReadSettings(TAppSettings& Settings, const std::string& SettingsPrefix) {
  TMDIChild::ReadSettings(Settings, SettingsPrefix);
  const std::string& P = SettingsPrefix;
  std::string columns;
  if (Settings.VersionFormat() <= 4 && !Settings.TryGetValue(P + "Columns")) {
    for (int mode = 0; mode < ModeCount(); ++mode)
      columns += Settings.GetValue(P + "Column" + std::to_string(mode + 1), FColumnEnabled[size_t(mode)]) ? '1' : '0';
  } else {
    columns = Settings.GetValue(P + "Columns", GetColumnEnabled());
  }
  SetColumnEnabled(columns);
  FRowsInitialized = false;
}

void TTextChild::SaveSettings(TAppSettings& Settings, const std::string& SettingsPrefix) {
  TMDIChild::SaveSettings(Settings, SettingsPrefix);
  Settings.SetValue(SettingsPrefix + "Columns", GetColumnEnabled());
}

// ---- Refresh ----

void TTextChild::UpdateDisplay() {
  if (Closing()) return;
  if (!FSource) return ShowStatus(kNoConnection);
  const int32_t count = std::clamp(FSource->ChannelCount(FVirtualChannels), 0, TQV_ChannelData::ChannelCount);
  if (count != FTransmittedChannels) {
    FTransmittedChannels = count;
    FChannels->SetMaxChannels(StripChannelCount(1));
  }
  UpdateColumns(Headers());
  if (count == 0) return ShowStatus(Session()->OpenString() == kOpenStringNone ? kNoConnection : kNoData);
  if (!FStatus.empty()) {
    FStatus.clear();
    FRowsInitialized = false;
    FGrid->EndStatusRow();
  }
  UpdateRows(count);
  UpdateCells();
  FGrid->FitLayout();
}

// Before any data the grid shows row "1" with the reason.
void TTextChild::ShowStatus(const std::string& text) {
  FStatus = text;
  FRowsInitialized = false;
  FGrid->ShowStatusRow(text);
}

// The headers of the enabled modes; a quantity the current mode does not deliver is marked.
std::vector<std::string> TTextChild::Headers() const {
  std::vector<std::string> headers;
  for (int mode = 0; mode < ModeCount(); ++mode) {
    if (!FColumnEnabled[size_t(mode)]) continue;
    std::string header = FSource->Header(mode, FVirtualChannels);
    if (!FSource->Delivers(mode)) header += kNotDelivered;
    headers.push_back(std::move(header));
  }
  return headers;
}

void TTextChild::UpdateColumns(const std::vector<std::string>& headers) {
  if (!FUpdateColumns && headers == FHeaders) return;
  FUpdateColumns = false;
  FHeaders = headers;
  int column = 0;
  for (int mode = 0; mode < kMaxModes; ++mode) FColumnIndex[size_t(mode)] = FColumnEnabled[size_t(mode)] ? ++column : 0;
  try {
    FGrid->SetColumnCount(1 + column);
  } catch (const std::exception& e) {
    LogException(".UpdateDisplay RowCount/ColumnsCount failed", e);
    throw;
  }
  FGrid->ResetColumnStatistics();
  FGrid->ClearValues();
  for (size_t i = 0; i < headers.size(); ++i) FGrid->SetCell(0, int(i) + 1, headers[i]);
  UpdateCaption();
}

// One row per enabled channel among the delivered ones, in the channel's colour. Rows are rebuilt
// whenever the shown channels change, not only their number: otherwise a row would keep the id and
// colour of a channel that is no longer shown.
void TTextChild::UpdateRows(int32_t channelCount) {
  std::vector<int32_t> channels;
  for (int32_t ch = 1; ch <= channelCount; ++ch)
    if (FChannels->ChannelEnabled(ch)) channels.push_back(ch);
  if (FRowsInitialized && channels == FRowChannels) return;
  FRowChannels = std::move(channels);
  FRowsInitialized = true;
  try {
    FGrid->SetRowCount(1 + int(FRowChannels.size()));
  } catch (const std::exception& e) {
    LogException(".UpdateDisplay RowCount/ColumnsCount failed", e);
    throw;
  }
  const TQV_ChannelData& data = FChannels->Data();
  for (size_t i = 0; i < FRowChannels.size(); ++i) {
    FGrid->SetCell(int(i) + 1, 0, data.ChannelId(FRowChannels[i]));
    FGrid->SetRowColor(int(i) + 1, data.ChannelColor(FRowChannels[i]));
  }
}

void TTextChild::UpdateCells() {
  const char separator = FGrid->DecimalSeparator();
  for (size_t row = 0; row < FRowChannels.size(); ++row) {
    const int32_t ch = FRowChannels[row];
    for (int mode = 0; mode < ModeCount(); ++mode) {
      const int col = FColumnIndex[size_t(mode)];
      if (col == 0) continue;
      try {
        std::string prefix;
        if (!FVirtualChannels && FSource->MarksClockWarning(mode)) prefix = FSource->HasClockAlarm(ch) ? "A" : " ";
        FGrid->SetCell(int(row) + 1, col, ValueCellText(FSource->Value(mode, ch, FVirtualChannels), prefix, separator));
      } catch (const std::exception& e) {
        LogException(".UpdateDisplay row/Channel " + std::to_string(ch) + ", column " + std::to_string(col), e);
        throw;
      }
    }
  }
}

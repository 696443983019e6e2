#include "ui/RawDataChild.h"

#include <QVBoxLayout>

#include <algorithm>

#include "acquisition/App_Sessions.h"
#include "data/ZCT_DataManagement.h"
#include "ui/QV_Channels.h"
#include "ui/TextGrid.h"
#include "ui/TextSelectionDialog.h"

namespace {

constexpr int kTextChildCategory = 11;  // debug category of the text views

}  // namespace

TRawDataChild::TRawDataChild(QWidget* AOwner, int32_t aTag, TSessionItem* aSession, TOnMainEvent aOnMain,
                             TViewEnvironment aEnv)
    : TMDIChild(AOwner, aTag, aSession, std::move(aOnMain), std::move(aEnv), kTitle, "TRawDataChild",
                kTextChildCategory) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  FGrid = new TTextGrid(this);
  layout->addWidget(FGrid, 1);
  FChannels = AddChannelStrip(*layout, mcaToggleEnabled);
  connect(FGrid, &TTextGrid::CellClicked, this, &TRawDataChild::GridCellClicked);
  connect(FChannels, &TQV_Channels::OnChannelEnabled, this, [this] { RefreshNow(); });
  FGrid->SetColumnCount(2);
  FGrid->SetCell(0, 0, "+");
  TMDIChild::UpdateSession(1);
}

TRawDataChild::~TRawDataChild() = default;

void TRawDataChild::ApplySelection(const TTextViewSelection& selection) {
  FChannels->SetChannelEnabledString(selection.Channels);
  SetTitle(selection.Title);
  RefreshNow();
}

void TRawDataChild::DataReset() {
  FRows.Invalidate();
  FGrid->ClearValues();
}

void TRawDataChild::UpdateSession(int base) {
  RebindBase(base);
  if (base == 1 && Session() && !QVSession()) return CloseChild(".UpdateSession: not a QVSession -> close raw data window");
  TMDIChild::UpdateSession(base);
  FRows.Invalidate();
}

void TRawDataChild::UpdateDisplay() {
  if (Closing()) return;
  const TZCT_DataManagement* store = ZCTDataManagement(1);
  if (!store || Session()->OpenString() == kOpenStringNone) return FRows.ShowStatus(*FGrid, kNoConnection);
  const int32_t count = std::clamp(StoreChannelCount(1), 0, TQV_ChannelData::ChannelCount);
  if (count != FTransmittedChannels) {
    FTransmittedChannels = count;
    FChannels->SetMaxChannels(StripChannelCount(1));
    FRows.Invalidate();
  }
  if (count == 0) return FRows.ShowStatus(*FGrid, kNoData);
  if (!store->IsTextRawDataEnabled()) return FRows.ShowStatus(*FGrid, kNoRawMode);
  FRows.EndStatus(*FGrid);
  FGrid->SetCell(0, 1, store->GetTextRawDataCaption());
  FRows.Update(*FGrid, *FChannels, count);
  for (size_t i = 0; i < FRows.Channels().size(); ++i)
    FGrid->SetCell(int(i) + 1, 1, store->GetTextRawDataString(FRows.Channels()[i]));
  FGrid->FitLayout();
}


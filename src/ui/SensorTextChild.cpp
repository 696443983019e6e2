#include "ui/SensorTextChild.h"

#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "acquisition/VTA_SensorSession.h"
#include "data/VTA_SensorDM.h"
#include "ui/QV_Channels.h"
#include "ui/TextGrid.h"
#include "ui/TextSelectionDialog.h"

namespace {

constexpr int kTextChildCategory = 11;  // debug category of the text views

}  // namespace

std::string SensorRangeMark(double value, const TSensorRangeInfo& range) {
  if (!range.Warn || std::isnan(value)) return "";
  if (value < range.Min) return "< Min";
  if (value > range.Max) return "> Max";
  return "";
}

TSensorTextChild::TSensorTextChild(QWidget* AOwner, int32_t aTag, TSessionItem* aSession, TOnMainEvent aOnMain,
                                   TViewEnvironment aEnv)
    : TMDIChild(AOwner, aTag, aSession, std::move(aOnMain), std::move(aEnv), kTitle, "TSensorTextChild",
                kTextChildCategory) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  FGrid = new TTextGrid(this);
  layout->addWidget(FGrid, 1);
  FChannels = AddChannelStrip(*layout, mcaToggleEnabled);
  connect(FGrid, &TTextGrid::CellClicked, this, &TSensorTextChild::GridCellClicked);
  connect(FChannels, &TQV_Channels::OnChannelEnabled, this, [this] { RefreshNow(); });
  FGrid->SetColumnCount(colCount);
  FGrid->SetCell(0, 0, "+");
  for (const auto& [column, header] : {std::pair{colName, "Name"}, std::pair{colSignal, "Signal"},
                                       std::pair{colValue, "Value"}, std::pair{colRange, "Range"}})
    FGrid->SetCell(0, column, header);
  FGrid->SetDecimalSeparator(WinDecimalSeparator());
  TMDIChild::UpdateSession(1);
}

TSensorTextChild::~TSensorTextChild() = default;

TSensorSessionItem* TSensorTextChild::SensorSession() const {
  return dynamic_cast<TSensorSessionItem*>(Base(1).SensorSession);
}

TVTA_SensorDM* TSensorTextChild::SensorStore() const { return dynamic_cast<TVTA_SensorDM*>(Base(1).SensorDM); }

void TSensorTextChild::ApplySelection(const TTextViewSelection& selection) {
  FChannels->SetChannelEnabledString(selection.Channels);
  SetTitle(selection.Title);
  RefreshNow();
}

void TSensorTextChild::ChannelCount() {
  TMDIChild::ChannelCount();
  FRows.Invalidate();
}

void TSensorTextChild::DataReset() {
  FRows.Invalidate();
  FGrid->ClearValues();
}

void TSensorTextChild::UpdateOptions(int32_t what) {
  if ((what & ocDecSepWin) == 0) return;
  FGrid->SetDecimalSeparator(WinDecimalSeparator());
  FGrid->ResetColumnStatistics();
}

void TSensorTextChild::UpdateSession(int base) {
  RebindBase(base);
  if (base == 1 && Session() && !SensorSession())
    return CloseChild(".UpdateSession: not a Sensor -> close sensor text window");
  TMDIChild::UpdateSession(base);
  FRows.Invalidate();
}

void TSensorTextChild::UpdateDisplay() {
  if (Closing()) return;
  const TSensorSessionItem* session = SensorSession();
  const TVTA_SensorDM* store = SensorStore();
  if (!session || !store || session->OpenString() == kOpenStringNone) return FRows.ShowStatus(*FGrid, kNoConnection);
  const int32_t count = std::clamp(StoreChannelCount(1), 0, TQV_ChannelData::ChannelCount);
  if (count != FTransmittedChannels) {
    FTransmittedChannels = count;
    FChannels->SetMaxChannels(StripChannelCount(1));
    FRows.Invalidate();
  }
  if (count == 0 || store->SetCount() == 0) return FRows.ShowStatus(*FGrid, kNoData);
  FRows.EndStatus(*FGrid);
  FRows.Update(*FGrid, *FChannels, count);
  for (size_t i = 0; i < FRows.Channels().size(); ++i) {
    const int32_t ch = FRows.Channels()[i];
    const int row = int(i) + 1;
    const double value = store->CurrentValue(ch);
    const std::string unit = store->ChannelUnitName(ch);
    FGrid->SetCell(row, colName, FChannels->Data().ChannelName(ch));
    FGrid->SetCell(row, colSignal, store->ChannelSignalName(ch));
    FGrid->SetCell(row, colValue, store->ValueText(value) + (unit.empty() ? "" : " " + unit));
    FGrid->SetCell(row, colRange, SensorRangeMark(value, session->RangeInfo(ch)));
  }
  FGrid->FitLayout();
}

#include "ui/GraphicChild.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "acquisition/App_Sessions.h"
#include "core/QV_NumberText.h"
#include "data/IVC_DataManagement.h"
#include "data/VTA_SensorDM.h"
#include "data/ZCT_DataManagement.h"
#include "ui/QV_Channels.h"
#include "ui/UiColors.h"

namespace {

constexpr int kGraphicChildCategory = 3;  // debug category "GraphicChild"
const char* const kHScaleTexts[] = {"1 : 1", "1 : 5", "1 : 100"};

std::string ScaleText(const TChannelScale& s) {
  return std::to_string(s.Step) + ", " + std::to_string(s.Exponent) + ", " + FloatToShortest(s.Center) + ", " +
         FloatToShortest(s.OffsetDiv);
}

// A whole number read from a settings file; values far outside any scale are cut (the mode's limits
// apply afterwards), a non-number keeps `current`.
int32_t WholeNumber(double v, int32_t current) { return std::isnan(v) ? current : int32_t(std::clamp(v, -1000.0, 1000.0)); }

// "step, exponent, centre, offset"; missing or unreadable parts keep the given scale's values.
TChannelScale ParseScale(const std::string& text, TChannelScale scale) {
  const std::vector<std::string> parts = SplitText(text, ",");
  const TFormatSettings point{'.', ','};
  auto number = [&](size_t i) { return i < parts.size() ? TextToFloat(TrimBlanks(parts[i]), point) : std::nullopt; };
  if (const auto v = number(0)) scale.Step = WholeNumber(*v, scale.Step);
  if (const auto v = number(1)) scale.Exponent = WholeNumber(*v, scale.Exponent);
  if (const auto v = number(2)) scale.Center = *v;
  if (const auto v = number(3)) scale.OffsetDiv = *v;
  return scale;
}

// The step of a step index (0, 1, 2 for 1, 2, 5), as older files and the sensors' signals give it.
int32_t StepOfIndex(double index) { return index >= 2 ? 5 : index >= 1 ? 2 : 1; }

// Files before format version 3 kept the four parts of a channel's scale in keys of their own, in
// place of "Scale": "RangeDiff" (step index: 0, 1, 2 for the steps 1, 2, 5), "RangeFaktor"
// (exponent), "AvgValue" (centre) and "OffsetDiv", each + "_" + base + "_" + channel. Missing or
// unreadable parts keep the given scale's values.
TChannelScale ReadOlderScale(TAppSettings& Settings, const std::string& P, int base, int channel, TChannelScale scale) {
  const std::string suffix = "_" + std::to_string(base) + "_" + std::to_string(channel);
  auto number = [&](const char* key) -> std::optional<double> {
    const std::string name = P + key + suffix;
    if (!Settings.TryGetValue(name)) return std::nullopt;  // reading a missing key would add it
    try {
      const double v = Settings.GetValue(name, 0.0);
      return std::isnan(v) ? std::nullopt : std::optional<double>(v);
    } catch (const EConvertError&) {
      return std::nullopt;
    }
  };
  if (const auto v = number("RangeDiff")) scale.Step = StepOfIndex(*v);
  if (const auto v = number("RangeFaktor")) scale.Exponent = WholeNumber(*v, scale.Exponent);
  if (const auto v = number("AvgValue")) scale.Center = *v;
  if (const auto v = number("OffsetDiv")) scale.OffsetDiv = *v;
  return scale;
}

}  // namespace

TGraphicChild::TGraphicChild(QWidget* AOwner, int32_t aTag, TSessionItem* aSession, TOnMainEvent aOnMain,
                             TViewEnvironment aEnv, TGraphicMode aMode)
    : TMDIChild(AOwner, aTag, aSession, std::move(aOnMain), std::move(aEnv), GraphicModeCaption(aMode, false),
                "TGraphicChild", kGraphicChildCategory) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  QHBoxLayout* row = AddButtonRow(*layout);
  QWidget* buttons = row->parentWidget();
  auto addButton = [&](const char* text, std::function<void()> handler) { AddButton(*row, text, std::move(handler)); };
  addButton("Clear graph", [this] { ClearGraph(); });
  addButton("Save Image", [this] { SaveImage(SaveFolder()); });
  FAutoButton = AddButton(*row, "Auto", [this] { SetAutoScale(FAutoButton->isChecked()); });
  FAutoButton->setCheckable(true);
  FAutoButton->setToolTip("Fit the scale to the values on the plot whenever they leave it");
  addButton("Center", [this] { DoCenterValues(); });
  addButton("Range - -", [this] { DoRange(0, -1); });
  addButton("Range -", [this] { DoRange(-1, 0); });
  addButton("Range +", [this] { DoRange(1, 0); });
  addButton("Range ++", [this] { DoRange(0, 1); });
  FHScale = new QComboBox(buttons);
  for (const char* text : kHScaleTexts) FHScale->addItem(text);
  connect(FHScale, &QComboBox::currentIndexChanged, this, [this](int index) { SetHorizontalScale(index); });
  row->addWidget(FHScale);
  row->addStretch();

  FPlot = new TQV_Plot(this);
  layout->addWidget(FPlot, 1);
  connect(FPlot, &TQV_Plot::OnResized, this, [this] {
    for (auto& persist : FPersist) persist.Resize(FPlot->GraphWidth(), FPlot->GraphHeight());
    RestartReading();
  });

  FLeftChannels = AddChannelStrip(*layout, mcaToggleEnabled);
  connect(FLeftChannels, &TQV_Channels::OnChannelEnabled, this, [this](int channel, bool) {
    FPlot->ResetYOld(0, channel);
    ApplyAxis();
  });
  connect(FLeftChannels, &TQV_Channels::OnChannelSelected, this, [this](int) { ApplyAxis(); });
  connect(FLeftChannels, &TQV_Channels::OnPersistEnabled, this, [this](int channel, bool enabled) {
    if (!enabled) ClearPersistBuffer(1, channel);
  });

  for (auto& persist : FPersist) persist.Resize(FPlot->GraphWidth(), FPlot->GraphHeight());
  SetGraphicMode(aMode);
  FAutoScale = aMode != gmSensor;  // fitted at the first refresh with values
  FAutoButton->setChecked(FAutoScale);
  TMDIChild::UpdateSession(1);
}

TGraphicChild::~TGraphicChild() = default;

// ---- Mode, scales, axis ----

void TGraphicChild::SetGraphicMode(TGraphicMode value) {
  FGraphicMode = GraphicModeFromInt(value);
  if (DefaultSettings()) {
    for (int ch = 1; ch <= kChannels; ++ch) FScale[size_t(ch)] = DefaultChannelScale(FGraphicMode);
    if (FGraphicMode == gmIVCdiff) FLeftChannels->SetChannelEnabled(1, false);  // channel 1 is the reference
  }
  for (int ch = 1; ch <= kChannels; ++ch) {
    FScale[size_t(ch)].Unit = GraphicModeUnit(FGraphicMode);
    FScale[size_t(ch)] = ClampChannelScale(FGraphicMode, FScale[size_t(ch)]);
  }
  FLeftChannels->SetMouseClickAction(FGraphicMode == gmSensor ? mcaSelectedToggleEnabled : mcaToggleEnabled);
  for (int axis = 0; axis < TQV_Plot::kBases; ++axis) FPlot->SetAbsNotation(axis, FGraphicMode != gmFreqRel);
  FDefaultTitle = GraphicModeCaption(FGraphicMode, false);
  UpdateInterval();
  ApplyAxis();
  ClearGraph();
  UpdateCaption();
}

void TGraphicChild::SetScale(int channel, const TChannelScale& value) {
  if (channel < 1 || channel > kChannels) return;
  FScale[size_t(channel)] = ClampChannelScale(FGraphicMode, value);
  ApplyAxis();
}

int32_t TGraphicChild::SelectedChannel() const { return FLeftChannels->SelectedChannel(); }

// The axis shows the scale of the selected channel in its colour, else that of channel 1.
void TGraphicChild::ApplyAxis() {
  const int selected = SelectedChannel();
  const int ch = selected >= 1 && selected <= kChannels ? selected : 1;
  const TChannelScale& scale = FScale[size_t(ch)];
  FPlot->SetUnitsPerDiv(0, scale.UnitsPerDiv());
  FPlot->SetUnitText(0, scale.Unit);
  // Sensor values are drawn as they are, so their axis counts from the value on the centre line.
  FPlot->SetOrigin(0, FGraphicMode == gmSensor ? scale.Center - scale.OffsetDiv * scale.UnitsPerDiv() : 0);
  FPlot->SetUnitColor(0, selected >= 1 ? ToQColor(FLeftChannels->ChannelColor(ch)) : QColor(Qt::black));
  std::vector<uint32_t> colors;
  for (int c = 1; c <= kChannels; ++c)
    if (FLeftChannels->ChannelEnabled(c)) colors.push_back(FLeftChannels->ChannelColor(c));
  FPlot->DrawColoredCursor(FPlotX, CursorQColor(colors));
  FPlot->DrawBitmaps();
}

void TGraphicChild::SetAutoScale(bool value) {
  FAutoScale = value;
  if (FAutoButton->isChecked() != value) FAutoButton->setChecked(value);
  if (value) AutoFit(std::clamp(StoreChannelCount(1), 0, kChannels));
}

// The values of the channels that "Auto" looks after, over the page the plot shows, decide.
void TGraphicChild::AutoFit(int32_t channelCount) {
  TDataManagement* store = ReadStore();
  if (!store || FGraphicMode == gmSensor) return;
  const int32_t page = VisiblePage(*store);
  if (page <= 0) return;
  const int32_t start = (store->LaufX(StoreScale()) - page) & DM_HistoryMask;
  const double halfDivisions = double(FPlot->Mitte()) / TQV_Plot::kPixelsPerDiv;
  const int selected = SelectedChannel();
  bool changed = false;
  for (int ch = 1; ch <= channelCount; ++ch) {
    if ((selected >= 1 && ch != selected) || !FLeftChannels->ChannelEnabled(ch)) continue;
    const auto range = AutoRange(FetchValues(ch, start, page));
    if (!range) continue;
    const auto [low, high] = *range;
    TChannelScale& scale = FScale[size_t(ch)];
    if (!AutoScaleNeedsFit(FGraphicMode, scale, low, high, halfDivisions)) continue;
    const TChannelScale fitted = ClampChannelScale(FGraphicMode, AutoChannelScale(FGraphicMode, scale, low, high, halfDivisions));
    if (fitted == scale) continue;  // beyond the widest scale: nothing better to offer
    scale = fitted;
    ClearPersistBuffer(1, ch);
    changed = true;
  }
  if (!changed) return;
  LogInfo(".AutoFit");
  ApplyAxis();
  ClearGraph();
}

void TGraphicChild::DoRange(int32_t Diff, int32_t Faktor) {
  SetAutoScale(false);
  const int selected = SelectedChannel();
  bool changed = false;
  for (int ch = 1; ch <= kChannels; ++ch) {
    if (selected >= 1 && !ScalesTogether(ch, selected)) continue;
    TChannelScale& scale = FScale[size_t(ch)];
    const TChannelScale next = Diff != 0 ? RangeStep(FGraphicMode, scale, Diff) : RangeFactor(FGraphicMode, scale, Faktor);
    if (next == scale) continue;
    scale = next;
    changed = true;
    ClearPersistBuffer(1, ch);
  }
  LogInfo(".DoRange Diff=" + std::to_string(Diff) + ", Faktor=" + std::to_string(Faktor) + ", changed=" + BoolText(changed));
  if (!changed) return;
  ApplyAxis();
  ClearGraph();
}

// A sensor's channels of one signal share their scale; other channels stand alone.
bool TGraphicChild::ScalesTogether(int channel, int selected) const {
  if (channel == selected) return true;
  const TVTA_SensorDM* sensor = SensorStore();
  return sensor && sensor->ChannelToSignal(channel) != 0 && sensor->ChannelToSignal(channel) == sensor->ChannelToSignal(selected);
}

void TGraphicChild::DoCenterValues() {
  SetAutoScale(false);
  if (!ReadStore()) return;
  SetCenterValues(LastValues());
}

void TGraphicChild::SetCenterValues(const std::vector<double>& centres) {
  for (size_t i = 0; i < centres.size() && i < size_t(kChannels); ++i)
    if (std::isfinite(centres[i])) FScale[i + 1].Center = centres[i];
  for (int ch = 1; ch <= kChannels; ++ch) ClearPersistBuffer(1, ch);
  ApplyAxis();  // a sensor's axis counts from the centre
  ClearGraph();
}

// ---- Horizontal scale and interval ----

void TGraphicChild::SetHorizontalScale(int32_t value) {
  value = std::clamp(value, 0, 2);
  if (FHScale->currentIndex() != value) FHScale->setCurrentIndex(value);  // comes back here
  if (value == FHorizontalScale) return;
  FHorizontalScale = value;
  UpdateInterval();
  ClearGraph();
}

void TGraphicChild::UpdateInterval() {
  FIntervalMs = Session() ? Session()->IntervalMs() : 0;
  const TDataManagement* store = ReadStore();
  const int32_t factor = store ? store->GetScaleFactor(StoreScale()) : 1;
  FPlot->SetIntervalMs(FGraphicMode == gmIVCdiff ? 0 : factor * FIntervalMs);
}

void TGraphicChild::SetAdjustWidth256(bool value) { FPlot->SetAdjustWidth(value); }

// ---- Clearing ----

void TGraphicChild::RestartReading() {
  FDataX = -1;
  FPlotX = 0;
  FPlot->ClearBitmaps();
}

void TGraphicChild::ClearGraph() {
  RestartReading();
  FPlot->DrawErrorText(0, "");
  RedrawPersist();
  FPlot->DrawCursor(0);
  FPlot->DrawBitmaps();
}

void TGraphicChild::ClearPersistBuffer(int base, int channel) {
  if (base == 1 && channel >= 1 && channel <= kChannels) FPersist[size_t(channel)].Clear();
}

void TGraphicChild::RedrawPersist() {
  for (int ch = 1; ch <= kChannels; ++ch)
    if (FLeftChannels->ChannelEnabled(ch) && FLeftChannels->PersistEnabled(ch))
      FPlot->DrawPersist(0, FPersist[size_t(ch)], 0, FPlot->GraphWidth(), ToQColor(FLeftChannels->ChannelLightColor(ch)));
}

void TGraphicChild::ChannelEnable(int Channel, bool Value) {
  FLeftChannels->SetChannelEnabled(Channel, Value);
  FPlot->ResetYOld(0, Channel);
}

void TGraphicChild::PersistEnable(int Channel, bool Value) {
  FLeftChannels->SetPersistEnabled(Channel, Value);
  if (!Value) ClearPersistBuffer(1, Channel);
}

void TGraphicChild::DataReset() { ClearGraph(); }

void TGraphicChild::PhaseDiffResetted() {
  if (FGraphicMode == gmPhase || FGraphicMode == gmPhasePredecessor) ClearGraph();
}

// ---- Session ----

TIVC_DataManagement* TGraphicChild::IVCStore() const {
  TSessionItem* session = Session();
  if (!session) return nullptr;
  const auto& ivcStore = Environment().IVCStore;
  return ivcStore ? ivcStore(*session) : dynamic_cast<TIVC_DataManagement*>(session->DataManagement());
}

TDataManagement* TGraphicChild::ReadStore() const {
  if (FGraphicMode == gmIVCdiff) return IVCStore();
  if (FGraphicMode == gmSensor) return Base(1).SensorDM;
  return ZCTDataManagement(1);
}

TVTA_SensorDM* TGraphicChild::SensorStore() const {
  return FGraphicMode == gmSensor ? dynamic_cast<TVTA_SensorDM*>(Base(1).SensorDM) : nullptr;
}

// The units follow the device (a new temperature unit); a new view also takes each signal's centre
// and scale once the device has described its signals.
void TGraphicChild::ApplySensorSignals() {
  const TVTA_SensorDM* sensor = SensorStore();
  if (!sensor || sensor->ChannelCount() <= 0) return;
  for (int ch = 1; ch <= std::min(sensor->ChannelCount(), kChannels); ++ch) {
    TChannelScale& scale = FScale[size_t(ch)];
    const TSensorSignalInfo signal = sensor->SignalInfo(sensor->ChannelToSignal(ch));
    scale.Unit = signal.UnitName;
    if (!FSignalScalesPending) continue;
    scale.Center = signal.NullValue;
    scale.Step = StepOfIndex(signal.RangeDiff);
    scale.Exponent = signal.RangeFaktor;
    scale = ClampChannelScale(FGraphicMode, scale);
  }
  FSignalScalesPending = false;
}

bool TGraphicChild::IsIVCView(int base) const { return base == 1 && FGraphicMode == gmIVCdiff; }

int32_t TGraphicChild::StoreChannelCount(int base) const {
  if (base != 1) return TMDIChild::StoreChannelCount(base);
  TDataManagement* store = ReadStore();
  if (!store) return 0;
  return FVirtualChannels ? store->VirtualChannelCount() : store->ChannelCount();
}

void TGraphicChild::UpdateSession(int base) {
  RebindBase(base);
  if (base == 1 && Session()) {
    const auto& ivcOnly = Environment().IVCOnly;
    const auto& zctOnly = Environment().ZCTOnly;
    if (FGraphicMode == gmSensor) {
      if (!Base(1).SensorSession) return CloseChild(".UpdateSession: not a Sensor -> close graphic window");
    } else if (!QVSession()) {
      return CloseChild(".UpdateSession: not a QVSession -> close graphic window");
    } else if (FGraphicMode == gmIVCdiff && zctOnly && zctOnly(*Session())) {
      LogInfo(".UpdateSession: ZCT only");
      return CloseChild(" -> close IVC window");
    } else if (FGraphicMode != gmIVCdiff && ivcOnly && ivcOnly(*Session())) {
      LogInfo(".UpdateSession: IVC only");
      return CloseChild(" -> close ZCT window");
    }
    if (FVirtualChannels && StoreChannelCount(1) <= 0) {
      LogInfo(".UpdateSession: no more virtual channels");
      return CloseChild(" -> close graphic window");
    }
  }
  TMDIChild::UpdateSession(base);
  UpdateInterval();
  ApplyAxis();
}

void TGraphicChild::ChannelCount() {
  TMDIChild::ChannelCount();
  FChannelCountShown = -1;
}

std::string TGraphicChild::ModeCaption() const {
  bool average = false;
  if (const TZCT_DataManagement* store = ZCTDataManagement(1)) {
    const TQVHeader header = store->ValueHeader();
    average = header.ModeValid() && header.Mode() % 2 == 1;
  }
  return GraphicModeCaption(FGraphicMode, average);
}

void TGraphicChild::UpdateCaption() {
  FDefaultTitle = ModeCaption();
  TMDIChild::UpdateCaption();
}

void TGraphicChild::UpdateOptions(int32_t what) {
  if (what & ocTempUnit) {
    ApplySensorSignals();
    ApplyAxis();
  }
  if ((what & ocDecSepWin) == 0) return;
  FPlot->SetFormatSettings(TFormatSettings{WinDecimalSeparator(), WinDecimalSeparator() == '.' ? ',' : '.'});
  FPlot->DrawBitmaps();
}

// ---- Values ----

std::vector<double> TGraphicChild::FetchValues(int channel, int32_t startX, int32_t count) const {
  const bool v = FVirtualChannels;
  if (FGraphicMode == gmIVCdiff) {
    const TIVC_DataManagement* ivc = IVCStore();
    if (!ivc) return {};
    if (StoreScale() == hsShort) return ivc->GetAvgShort(v, channel, startX, count);
    if (StoreScale() == hsLong) return ivc->GetAvgLong(v, channel, startX, count);
    return ivc->GetIVCDiff(v, channel, startX, count);
  }
  if (FGraphicMode == gmSensor) {
    const TVTA_SensorDM* sensor = SensorStore();
    return sensor && StoreScale() == hsNone ? sensor->GetValues(channel, startX, count) : std::vector<double>{};
  }
  const TZCT_DataManagement* zct = ZCTDataManagement(1);
  if (!zct) return {};
  if (StoreScale() == hsShort) return zct->GetAvgShort(v, channel, startX, count);
  if (StoreScale() == hsLong) return zct->GetAvgLong(v, channel, startX, count);
  switch (FGraphicMode) {
    case gmPhase: return zct->GetPhaDiffPs(v, channel, startX, count);
    case gmFreqAbs: return zct->GetFrequDiff(v, channel, startX, count);
    case gmFreqRel: return zct->GetFrequDiffRelative(v, channel, startX, count);
    case gmPhaseTrim: return zct->GetPhaseTrim(channel, startX, FPlotX, count);
    case gmPhaseTheo: return zct->GetTheoPhaseDiffPs(v, channel, startX, count);
    case gmPhasePredecessor: return zct->GetPhaPredecessorPs(v, channel, startX, count);
    default: return {};
  }
}

// The newest value of every channel, for centring.
std::vector<double> TGraphicChild::LastValues() const {
  TDataManagement* store = ReadStore();
  if (!store || store->Count(StoreScale()) == 0) return {};
  const int32_t last = (store->LaufX(StoreScale()) - 1) & DM_HistoryMask;
  std::vector<double> values;
  for (int ch = 1; ch <= std::min(StoreChannelCount(1), kChannels); ++ch) {
    const std::vector<double> one = FetchValues(ch, last, 1);
    values.push_back(one.empty() ? std::nan("") : one.front());
  }
  return values;
}

// ---- Refresh ----

void TGraphicChild::UpdateDisplay() {
  if (Closing()) return;
  int32_t channelCount = 0;
  try {
    channelCount = std::clamp(StoreChannelCount(1), 0, kChannels);
    if (channelCount != FChannelCountShown) {
      FChannelCountShown = channelCount;
      FTransmittedChannels = channelCount;
      FLeftChannels->SetMaxChannels(StripChannelCount(1));
      ApplySensorSignals();
      ApplyAxis();
    }
    if (Session() && Session()->IntervalMs() != FIntervalMs) {
      UpdateInterval();
      for (int ch = 1; ch <= kChannels; ++ch) ClearPersistBuffer(1, ch);
      ClearGraph();
    }
  } catch (const std::exception& e) {
    LogException(".UpdateDisplay Kanalanzahl failed", e);
  }
  TDataManagement* store = ReadStore();
  const bool noConnection = !Session() || Session()->OpenString() == kOpenStringNone;
  FPlot->DrawErrorText(0, channelCount == 0 && noConnection ? kNoConnection : "");
  if (store) {
    int32_t count = 0;
    try {
      if (FDataX < 0) {
        // A cleared graph starts with the page of history the store holds: a scale change
        // redraws the trace instead of waiting for new values.
        FDataX = (store->LaufX(StoreScale()) - VisiblePage(*store)) & DM_HistoryMask;
        FPlotX = 0;
      }
      count = std::clamp(store->GetNewCount(FDataX, StoreScale()), 0, DM_HistoryLength);
    } catch (const std::exception& e) {
      LogException(".UpdateDisplay Start-Koordinate Datenhaltung failed", e);
    }
    if (count > 0 && FAutoScale) {
      AutoFit(channelCount);
      if (FDataX < 0) return UpdateDisplay();  // refitted: the page is drawn anew
    }
    if (count > 0) {
      try {
        DrawNewValues(count, channelCount);
      } catch (const std::exception& e) {
        LogException(".UpdateDisplay draw last page failed", e);
      }
      FDataX = TDataManagement::GetNextX(FDataX, count);
      FPlotX = NextPlotX(FPlotX, count, FPlot->GraphWidth());
      // The newest value arrived just now: the time axis counts back from the present.
      FPlot->SetCursorTime(QDateTime::currentDateTime());
    }
  }
  FPlot->DrawCursor(FPlotX);
  FPlot->DrawBitmaps();
}

int32_t TGraphicChild::VisiblePage(const TDataManagement& store) const {
  return std::clamp(store.Count(StoreScale()), 0, std::max(FPlot->GraphWidth() - kSweepGap, 1));
}

// More new values than the plot has columns: only the newest page is drawn, over the whole width
// but the gap ahead of the cursor.
void TGraphicChild::DrawNewValues(int32_t count, int32_t channelCount) {
  const int width = FPlot->GraphWidth();
  const int32_t drawn = std::min(count, std::max(width - kSweepGap, 1));
  const int32_t skipped = count - drawn;
  const int32_t startData = TDataManagement::GetNextX(FDataX, skipped);
  const int startX = NextPlotX(FPlotX, skipped, width);
  FPlot->ClearRange(startX, std::min(drawn + kSweepGap, width));
  if (skipped > 0) FPlot->ResetYOld();
  const int mitte = FPlot->Mitte();
  for (int ch = 1; ch <= channelCount; ++ch) {
    if (!FLeftChannels->ChannelEnabled(ch)) continue;
    FResultArray = FetchValues(ch, startData, drawn);
    std::vector<int32_t> rows(size_t(drawn), -1);
    std::vector<int8_t> edges(size_t(drawn), 0);
    bool beyond = false;
    if (FResultArray.size() == size_t(drawn))
      for (int32_t i = 0; i < drawn; ++i) {
        const TChannelScale& scale = FScale[size_t(ch)];
        const TPlotPoint point = ValueToPlotPoint(FGraphicMode, FResultArray[size_t(i)], scale, mitte, ch, scale.Center);
        // A value beyond the edge breaks the trace and gets a mark instead of a line along the edge.
        if (point.Edge != TPlotEdge::Inside) {
          edges[size_t(i)] = int8_t(point.Edge);
          beyond = true;
          continue;
        }
        rows[size_t(i)] = point.Row;
      }
    if (FLeftChannels->PersistEnabled(ch)) {
      try {
        TPersistBuffer& persist = FPersist[size_t(ch)];
        int previous = FPlot->YOld(0, ch);
        for (int32_t i = 0; i < drawn; ++i) {
          const int x = NextPlotX(startX, i, width);
          const int y = rows[size_t(i)];
          if (y >= 0) persist.MarkColumn(x, previous >= 0 && x > 0 ? previous : y, y);
          previous = y;
        }
        FPlot->DrawPersist(0, persist, startX, drawn + kSweepGap, ToQColor(FLeftChannels->ChannelLightColor(ch)));
      } catch (const std::exception& e) {
        LogException(".UpdateDisplay write persist buffer failed", e);
      }
    }
    FPlot->DrawMeasurement(0, rows, startX, ch, ToQColor(FLeftChannels->ChannelColor(ch)));
    if (beyond) FPlot->DrawEdgeMarks(edges, startX, ch, ToQColor(FLeftChannels->ChannelColor(ch)));
  }
}

// ---- Saved image ----

std::string TGraphicChild::SaveImage(const std::string& folder) {
  const QImage& plot = FPlot->Picture();
  QFont font = this->font();
  font.setPointSize(10);
  const QFontMetrics fm(font);
  const int line = fm.height() + 2;
  std::vector<int> legend;
  for (int ch = 1; ch <= std::min(FChannelCountShown, kChannels); ++ch)
    if (FLeftChannels->VisibleChannel(ch) && FLeftChannels->ChannelEnabled(ch)) legend.push_back(ch);
  QImage image(plot.width(), plot.height() + line * int(1 + legend.size()), QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter p(&image);
  p.setFont(font);
  p.setPen(Qt::black);
  p.drawText(QRect(4, 0, image.width() - 8, line), Qt::AlignLeft | Qt::AlignVCenter, QString::fromStdString(FChildTitle.empty() ? ModeCaption() : FChildTitle));
  p.drawImage(0, line, plot);
  int y = line + plot.height();
  const TQV_ChannelData& data = FLeftChannels->Data();
  for (const int ch : legend) {
    const TChannelScale& s = FScale[size_t(ch)];
    p.setPen(ToQColor(data.ChannelColor(ch)));
    const std::string text = data.ChannelId(ch) + " " + data.ChannelName(ch) + ": " +
                             TQV_Plot::AxisText(s.UnitsPerDiv(), s.Unit, FGraphicMode != gmFreqRel) + "/div";
    p.drawText(QRect(4, y, image.width() - 8, line), Qt::AlignLeft | Qt::AlignVCenter, QString::fromStdString(text));
    y += line;
  }
  p.end();
  const QString name = QString::fromStdString(FreeSaveStem(folder, "Graphic", {".jpg"}) + ".jpg");
  if (!image.save(name, "JPG", 90)) {
    LogError(".SaveImage failed " + name.toStdString());
    return {};
  }
  LogInfo(".SaveImage " + name.toStdString());
  return name.toStdString();
}

// ---- Settings ----

void TGraphicChild::ReadSettings(TAppSettings& Settings, const std::string& SettingsPrefix) {
  TMDIChild::ReadSettings(Settings, SettingsPrefix);
  FSignalScalesPending = FSignalScalesPending && DefaultSettings();
  const std::string& P = SettingsPrefix;
  const TGraphicMode mode = GraphicModeFromInt(Settings.GetValue(P + "GraphicMode1", int32_t(FGraphicMode)));
  if (mode != FGraphicMode) SetGraphicMode(mode);
  FPlot->SetAdjustWidth(Settings.GetValue(P + "Adjust256", FPlot->AdjustWidth()));
  const int32_t count = std::clamp(Settings.GetValue(P + "RangeChannels1", int32_t(kChannels)), 0, kChannels);
  const bool older = Settings.VersionFormat() < 3;
  for (int ch = 1; ch <= count; ++ch) {
    TChannelScale& scale = FScale[size_t(ch)];
    if (const auto text = Settings.TryGetValue(P + "Scale_1_" + std::to_string(ch)))
      scale = ClampChannelScale(FGraphicMode, ParseScale(*text, scale));
    else if (older)
      scale = ClampChannelScale(FGraphicMode, ReadOlderScale(Settings, P, 1, ch, scale));
  }
  const int32_t selected = Settings.GetValue(P + "Selected1", int32_t(SelectedChannel()));
  FLeftChannels->SetSelectedChannel(std::clamp(selected, 0, kChannels));
  SetHorizontalScale(Settings.GetValue(P + "HScale", FHorizontalScale));
  // Views stored before "Auto" existed keep the scales their users set.
  SetAutoScale(Settings.GetValue(P + "AutoScale", DefaultSettings() && FAutoScale));
  ApplyAxis();
  ClearGraph();
  UpdateCaption();
}

void TGraphicChild::SaveSettings(TAppSettings& Settings, const std::string& SettingsPrefix) {
  TMDIChild::SaveSettings(Settings, SettingsPrefix);
  const std::string& P = SettingsPrefix;
  Settings.SetValue(P + "GraphicMode1", int32_t(FGraphicMode));
  Settings.SetValue(P + "Adjust256", FPlot->AdjustWidth());
  Settings.SetValue(P + "RangeChannels1", int32_t(kChannels));
  for (int ch = 1; ch <= kChannels; ++ch) Settings.SetValue(P + "Scale_1_" + std::to_string(ch), ScaleText(FScale[size_t(ch)]));
  Settings.SetValue(P + "Selected1", int32_t(SelectedChannel()));
  Settings.SetValue(P + "HScale", FHorizontalScale);
  Settings.SetValue(P + "AutoScale", FAutoScale);
}

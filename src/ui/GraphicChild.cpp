#include "ui/GraphicChild.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "acquisition/App_Sessions.h"
#include "core/QV_NumberText.h"
#include "data/IVC_DataManagement.h"
#include "data/VTA_SensorDM.h"
#include "data/ZCT_DataManagement.h"
#include "ui/PersistDialog.h"
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
  addButton("Print...", [this] { PrintWithDialog(); });
  addButton("Persist...", [this] { PersistDialog(); });
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
    for (auto& info : FInfo)
      for (auto& persist : info.Persist) persist.Resize(FPlot->GraphWidth(), FPlot->GraphHeight());
    RestartReading();
  });

  FLeftChannels = AddChannelStrip(*layout, mcaToggleEnabled);
  // Base 2's strip stands right of base 1's, with its own colour panel.
  auto* stripRow = qobject_cast<QHBoxLayout*>(BottomPanel()->layout());
  auto* rightPanel = new QLabel(BottomPanel());
  rightPanel->setFixedSize(20, 20);
  rightPanel->setAlignment(Qt::AlignCenter);
  FRightColorPanel = rightPanel;
  FRightChannels = new TQV_Channels(BottomPanel());
  FRightChannels->SetMouseClickAction(mcaToggleEnabled);
  stripRow->insertWidget(2, FRightColorPanel);
  stripRow->insertWidget(3, FRightChannels);
  SetBaseControls(2, FRightChannels, FRightColorPanel);
  for (const int base : {1, 2}) {
    TQV_Channels* strip = Strip(base);
    connect(strip, &TQV_Channels::OnChannelEnabled, this, [this, base](int channel, bool) {
      FPlot->ResetYOld(base - 1, channel);
      ApplyAxis();
    });
    connect(strip, &TQV_Channels::OnChannelSelected, this, [this, base](int channel) {
      if (channel >= 1) SelectChannel(base, channel);
      ApplyAxis();
    });
    connect(strip, &TQV_Channels::OnPersistEnabled, this, [this, base](int channel, bool enabled) {
      if (!enabled) ClearPersistBuffer(base, channel);
    });
  }

  for (auto& info : FInfo)
    for (auto& persist : info.Persist) persist.Resize(FPlot->GraphWidth(), FPlot->GraphHeight());
  Info(2).GraphicMode = aMode == gmSensor ? gmFreqAbs : aMode;
  ApplyMode(2);
  SetGraphicMode(aMode);
  FAutoScale = aMode != gmSensor;  // fitted at the first refresh with values
  FAutoButton->setChecked(FAutoScale);
  TMDIChild::UpdateSession(1);
  ShowSecondBase();
}

TGraphicChild::~TGraphicChild() = default;

// ---- Mode, scales, axis ----

void TGraphicChild::SetGraphicMode(TGraphicMode value) {
  Info(1).GraphicMode = GraphicModeFromInt(value);
  ApplyMode(1);
  FLeftChannels->SetMouseClickAction(GraphicMode() == gmSensor ? mcaSelectedToggleEnabled : mcaToggleEnabled);
  FPlot->SetAbsNotation(0, GraphicMode() != gmFreqRel);
  FDefaultTitle = GraphicModeCaption(GraphicMode(), false);
  UpdateInterval();
  ApplyAxis();
  ClearGraph();
  UpdateCaption();
}

void TGraphicChild::SetGraphicModeRight(TGraphicMode value) {
  const TGraphicMode mode = GraphicModeFromInt(value);
  Info(2).GraphicMode = mode == gmSensor ? gmFreqAbs : mode;  // base 2 draws counter data only
  ApplyMode(2);
  FPlot->SetAbsNotation(1, GraphicModeRight() != gmFreqRel);
  if (HasSecondBase() && !SessionFits(2)) return;
  ApplyAxis();
  ClearGraph();
  UpdateCaption();
}

// The mode's default scales on a new view, its unit and limits on every channel.
void TGraphicChild::ApplyMode(int base) {
  TGraphInfo& info = Info(base);
  if (DefaultSettings()) {
    for (int ch = 1; ch <= kChannels; ++ch) info.Scale[size_t(ch)] = DefaultChannelScale(info.GraphicMode);
    if (info.GraphicMode == gmIVCdiff) Strip(base)->SetChannelEnabled(1, false);  // channel 1 is the reference
  }
  for (int ch = 1; ch <= kChannels; ++ch) {
    info.Scale[size_t(ch)].Unit = GraphicModeUnit(info.GraphicMode);
    info.Scale[size_t(ch)] = ClampChannelScale(info.GraphicMode, info.Scale[size_t(ch)]);
  }
}

void TGraphicChild::SetScale(int channel, const TChannelScale& value, int base) {
  if (channel < 1 || channel > kChannels || base < 1 || base > kBaseCount) return;
  Info(base).Scale[size_t(channel)] = ClampChannelScale(Info(base).GraphicMode, value);
  ApplyAxis();
}

int32_t TGraphicChild::SelectedChannel() const { return FLeftChannels->SelectedChannel(); }

// One channel of one base is selected at a time: selecting in one strip clears the other.
void TGraphicChild::SelectChannel(int base, int32_t channel) {
  if (base < 1 || base > kBaseCount) return;
  FSelectedBase = base;
  Strip(base)->SetSelectedChannel(channel);
  if (channel >= 1) Strip(3 - base)->SetSelectedChannel(0);
  ApplyAxis();
}

// Each axis shows the scale of its base's selected channel in its colour, else that of channel 1.
void TGraphicChild::ApplyAxis() {
  FPlot->SetUseY2(HasSecondBase());
  for (int base = 1; base <= kBaseCount; ++base) {
    const TQV_Channels* strip = Strip(base);
    const int selected = strip->SelectedChannel();
    const int ch = selected >= 1 && selected <= kChannels ? selected : 1;
    const TChannelScale& scale = Info(base).Scale[size_t(ch)];
    FPlot->SetUnitsPerDiv(base - 1, scale.UnitsPerDiv());
    FPlot->SetUnitText(base - 1, scale.Unit);
    // Sensor values are drawn as they are, so their axis counts from the value on the centre line.
    FPlot->SetOrigin(base - 1, Info(base).GraphicMode == gmSensor ? scale.Center - scale.OffsetDiv * scale.UnitsPerDiv() : 0);
    FPlot->SetUnitColor(base - 1, selected >= 1 ? ToQColor(strip->ChannelColor(ch)) : QColor(Qt::black));
  }
  std::vector<uint32_t> colors;
  for (int base = 1; base <= (HasSecondBase() ? 2 : 1); ++base)
    for (int c = 1; c <= kChannels; ++c)
      if (Strip(base)->ChannelEnabled(c)) colors.push_back(Strip(base)->ChannelColor(c));
  FPlot->DrawColoredCursor(FPlotX, CursorQColor(colors));
  FPlot->DrawBitmaps();
}

void TGraphicChild::SetAutoScale(bool value) {
  FAutoScale = value;
  if (FAutoButton->isChecked() != value) FAutoButton->setChecked(value);
  if (value) AutoFit(std::clamp(StoreChannelCount(1), 0, kChannels));
}

// The values of the channels of base 1 that "Auto" looks after, over the page the plot shows, decide.
void TGraphicChild::AutoFit(int32_t channelCount) {
  TDataManagement* store = ReadStore();
  if (!store || GraphicMode() == gmSensor) return;
  const int32_t page = VisiblePage(*store);
  if (page <= 0) return;
  const int32_t start = (store->LaufX(StoreScale()) - page) & DM_HistoryMask;
  const double halfDivisions = double(FPlot->Mitte()) / TQV_Plot::kPixelsPerDiv;
  const int selected = SelectedChannel();
  bool changed = false;
  for (int ch = 1; ch <= channelCount; ++ch) {
    if ((selected >= 1 && ch != selected) || !FLeftChannels->ChannelEnabled(ch)) continue;
    const auto range = AutoRange(FetchValues(1, ch, start, page));
    if (!range) continue;
    const auto [low, high] = *range;
    TChannelScale& scale = Info(1).Scale[size_t(ch)];
    if (!AutoScaleNeedsFit(GraphicMode(), scale, low, high, halfDivisions)) continue;
    const TChannelScale fitted = ClampChannelScale(GraphicMode(), AutoChannelScale(GraphicMode(), scale, low, high, halfDivisions));
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
  const int base = FSelectedBase;
  TGraphInfo& info = Info(base);
  const int selected = Strip(base)->SelectedChannel();
  bool changed = false;
  for (int ch = 1; ch <= kChannels; ++ch) {
    if (selected >= 1 && !ScalesTogether(base, ch, selected)) continue;
    TChannelScale& scale = info.Scale[size_t(ch)];
    const TChannelScale next = Diff != 0 ? RangeStep(info.GraphicMode, scale, Diff) : RangeFactor(info.GraphicMode, scale, Faktor);
    if (next == scale) continue;
    scale = next;
    changed = true;
    ClearPersistBuffer(base, ch);
  }
  LogInfo(".DoRange base=" + std::to_string(base) + ", Diff=" + std::to_string(Diff) + ", Faktor=" + std::to_string(Faktor) +
          ", changed=" + BoolText(changed));
  if (!changed) return;
  ApplyAxis();
  ClearGraph();
}

// A sensor's channels of one signal share their scale; other channels stand alone.
bool TGraphicChild::ScalesTogether(int base, int channel, int selected) const {
  if (channel == selected) return true;
  const TVTA_SensorDM* sensor = base == 1 ? SensorStore() : nullptr;
  return sensor && sensor->ChannelToSignal(channel) != 0 && sensor->ChannelToSignal(channel) == sensor->ChannelToSignal(selected);
}

void TGraphicChild::DoCenterValues() {
  SetAutoScale(false);
  const int base = FSelectedBase == 2 && HasSecondBase() ? 2 : 1;
  if (!ReadStore(base)) return;
  SetCenterValues(LastValues(base), base);
}

void TGraphicChild::SetCenterValues(const std::vector<double>& centres, int base) {
  if (base < 1 || base > kBaseCount) return;
  TGraphInfo& info = Info(base);
  for (size_t i = 0; i < centres.size() && i < size_t(kChannels); ++i)
    if (std::isfinite(centres[i])) info.Scale[i + 1].Center = centres[i];
  for (int ch = 1; ch <= kChannels; ++ch) ClearPersistBuffer(base, ch);
  ApplyAxis();  // a sensor's axis counts from the centre
  ClearGraph();
}

std::vector<std::pair<std::string, double>> TGraphicChild::SignalCenters() const {
  std::vector<std::pair<std::string, double>> result;
  const TVTA_SensorDM* sensor = SensorStore();
  if (!sensor) return result;
  for (int32_t signal = 1; signal <= sensor->SignalTypeCount(); ++signal) {
    double centre = sensor->SignalInfo(signal).NullValue;
    for (int ch = kChannels; ch >= 1; --ch)  // downwards: the first channel of the signal wins
      if (sensor->ChannelToSignal(ch) == signal) centre = Scale(ch).Center;
    result.emplace_back(sensor->SignalInfo(signal).SignalName, centre);
  }
  return result;
}

void TGraphicChild::SetSignalCenterValues(const std::vector<double>& perSignal) {
  const TVTA_SensorDM* sensor = SensorStore();
  if (!sensor) return;
  std::vector<double> centres(kChannels, std::nan(""));
  for (int ch = 1; ch <= kChannels; ++ch) {
    const int32_t signal = sensor->ChannelToSignal(ch);
    if (signal >= 1 && size_t(signal) <= perSignal.size()) centres[size_t(ch - 1)] = perSignal[size_t(signal - 1)];
  }
  SetCenterValues(centres, 1);
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

int32_t TGraphicChild::ColumnMs(int base) const {
  const TSessionItem* session = base == 1 ? Session() : SecondSession();
  const TDataManagement* store = ReadStore(base);
  if (!session || Info(base).GraphicMode == gmIVCdiff) return 0;
  return (store ? store->GetScaleFactor(StoreScale()) : 1) * session->IntervalMs();
}

double TGraphicChild::ColumnsPerValue2() const {
  const int32_t column = ColumnMs(1), value = ColumnMs(2);
  return column > 0 && value > 0 ? double(value) / double(column) : 1.0;
}

void TGraphicChild::UpdateInterval() {
  FIntervalMs = Session() ? Session()->IntervalMs() : 0;
  const TDataManagement* store = ReadStore();
  const int32_t factor = store ? store->GetScaleFactor(StoreScale()) : 1;
  FPlot->SetIntervalMs(GraphicMode() == gmIVCdiff ? 0 : factor * FIntervalMs);
}

void TGraphicChild::SetAdjustWidth256(bool value) { FPlot->SetAdjustWidth(value); }

// ---- Clearing ----

void TGraphicChild::RestartReading() {
  for (TGraphInfo& info : FInfo) {
    info.DataX = -1;
    info.DrawnColumns = 0;
    info.NextColumn = 0;
  }
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
  if (base >= 1 && base <= kBaseCount && channel >= 1 && channel <= kChannels) Info(base).Persist[size_t(channel)].Clear();
}

void TGraphicChild::RedrawPersist() {
  for (int base = 1; base <= (HasSecondBase() ? 2 : 1); ++base)
    for (int ch = 1; ch <= kChannels; ++ch)
      if (Strip(base)->ChannelEnabled(ch) && Strip(base)->PersistEnabled(ch))
        FPlot->DrawPersist(base - 1, Info(base).Persist[size_t(ch)], 0, FPlot->GraphWidth(),
                           ToQColor(Strip(base)->ChannelLightColor(ch)));
}

void TGraphicChild::ChannelEnable(int Channel, bool Value) {
  FLeftChannels->SetChannelEnabled(Channel, Value);
  FPlot->ResetYOld(0, Channel);
}

void TGraphicChild::PersistEnable(int Channel, bool Value) {
  FLeftChannels->SetPersistEnabled(Channel, Value);
  if (!Value) ClearPersistBuffer(1, Channel);
}

void TGraphicChild::PersistDialog() {
  TPersistDialog dialog(this, FLeftChannels->Data(), HasSecondBase() ? &FRightChannels->Data() : nullptr);
  if (dialog.exec() != QDialog::Accepted) return;
  ApplyPersistChoice(dialog.Choice());
}

void TGraphicChild::ApplyPersistChoice(const TPersistChoice& choice) {
  for (int base = 1; base <= kBaseCount; ++base) {
    const std::vector<bool>& persist = choice.Persist[size_t(base - 1)];
    for (size_t i = 0; i < persist.size() && i < size_t(kChannels); ++i) {
      const int ch = int(i) + 1;
      Strip(base)->SetPersistEnabled(ch, persist[i]);
      if (!persist[i] || choice.Clear) ClearPersistBuffer(base, ch);
    }
  }
  LogInfo(".Persist");
  ClearGraph();
}

void TGraphicChild::DataReset() { ClearGraph(); }

void TGraphicChild::PhaseDiffResetted() {
  for (const TGraphInfo& info : FInfo)
    if (info.GraphicMode == gmPhase || info.GraphicMode == gmPhasePredecessor) return ClearGraph();
}

// ---- Session ----

TIVC_DataManagement* TGraphicChild::IVCStore(int base) const {
  TSessionItem* session = base == 1 ? Session() : SecondSession();
  if (!session) return nullptr;
  const auto& ivcStore = Environment().IVCStore;
  return ivcStore ? ivcStore(*session) : dynamic_cast<TIVC_DataManagement*>(session->DataManagement());
}

TDataManagement* TGraphicChild::ReadStore(int base) const {
  if (base == 2 && !HasSecondBase()) return nullptr;
  const TGraphicMode mode = Info(base).GraphicMode;
  if (mode == gmIVCdiff) return IVCStore(base);
  if (mode == gmSensor) return Base(base).SensorDM;
  return ZCTDataManagement(base);
}

TVTA_SensorDM* TGraphicChild::SensorStore() const {
  return GraphicMode() == gmSensor ? dynamic_cast<TVTA_SensorDM*>(Base(1).SensorDM) : nullptr;
}

// The units follow the device (a new temperature unit); a new view also takes each signal's centre
// and scale once the device has described its signals.
void TGraphicChild::ApplySensorSignals() {
  const TVTA_SensorDM* sensor = SensorStore();
  if (!sensor || sensor->ChannelCount() <= 0) return;
  for (int ch = 1; ch <= std::min(sensor->ChannelCount(), kChannels); ++ch) {
    TChannelScale& scale = Info(1).Scale[size_t(ch)];
    const TSensorSignalInfo signal = sensor->SignalInfo(sensor->ChannelToSignal(ch));
    scale.Unit = signal.UnitName;
    if (!FSignalScalesPending) continue;
    scale.Center = signal.NullValue;
    scale.Step = StepOfIndex(signal.RangeDiff);
    scale.Exponent = signal.RangeFaktor;
    scale = ClampChannelScale(gmSensor, scale);
  }
  FSignalScalesPending = false;
}

bool TGraphicChild::IsIVCView(int base) const { return Info(base).GraphicMode == gmIVCdiff && (base == 1 || HasSecondBase()); }

int32_t TGraphicChild::StoreChannelCount(int base) const {
  TDataManagement* store = ReadStore(base);
  if (!store) return 0;
  return FVirtualChannels ? store->VirtualChannelCount() : store->ChannelCount();
}

bool TGraphicChild::SessionFits(int base) {
  const TSessionItem* session = base == 1 ? Session() : SecondSession();
  if (!session) return true;
  const TGraphicMode mode = Info(base).GraphicMode;
  const auto& ivcOnly = Environment().IVCOnly;
  const auto& zctOnly = Environment().ZCTOnly;
  if (mode == gmSensor) {
    if (!Base(base).SensorSession) return CloseChild(".UpdateSession: not a Sensor -> close graphic window"), false;
  } else if (!Base(base).QVSession) {
    return CloseChild(".UpdateSession: not a QVSession -> close graphic window"), false;
  } else if (mode == gmIVCdiff && zctOnly && zctOnly(*session)) {
    LogInfo(".UpdateSession: ZCT only");
    return CloseChild(" -> close IVC window"), false;
  } else if (mode != gmIVCdiff && ivcOnly && ivcOnly(*session)) {
    LogInfo(".UpdateSession: IVC only");
    return CloseChild(" -> close ZCT window"), false;
  }
  if (FVirtualChannels && StoreChannelCount(base) <= 0) {
    LogInfo(".UpdateSession: no more virtual channels");
    return CloseChild(" -> close graphic window"), false;
  }
  return true;
}

void TGraphicChild::UpdateSession(int base) {
  RebindBase(base);
  if (!SessionFits(base)) return;
  TMDIChild::UpdateSession(base);
  UpdateInterval();
  if (base == 2) {
    ShowSecondBase();
    ClearGraph();  // both bases start again together
  }
  ApplyAxis();
}

// Base 2's strip and axis are there while a second session is bound.
void TGraphicChild::ShowSecondBase() {
  FRightColorPanel->setVisible(HasSecondBase());
  FRightChannels->setVisible(HasSecondBase());
  if (!HasSecondBase() && FSelectedBase == 2) FSelectedBase = 1;
  ApplyAxis();
}

void TGraphicChild::ChannelCount() {
  TMDIChild::ChannelCount();
  Info(1).ChannelCountShown = -1;
}

void TGraphicChild::ChannelCount2nd() {
  TMDIChild::ChannelCount2nd();
  Info(2).ChannelCountShown = -1;
}

std::string TGraphicChild::ModeCaption(int base) const {
  bool average = false;
  if (const TZCT_DataManagement* store = ZCTDataManagement(base)) {
    const TQVHeader header = store->ValueHeader();
    average = header.ModeValid() && header.Mode() % 2 == 1;
  }
  return GraphicModeCaption(Info(base).GraphicMode, average);
}

// "[A: name] mode + [B: name]", with base 2's mode when it differs.
void TGraphicChild::UpdateCaption() {
  FDefaultTitle = ModeCaption();
  if (const TSessionItem* second = SecondSession()) {
    std::string text = ChildCaption("", SessionIndex(2), second->FriendlyName(), "", 0);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    if (GraphicModeRight() != GraphicMode()) text += " " + ModeCaption(2);
    FDefaultTitle += " + " + text;
  }
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

std::vector<double> TGraphicChild::FetchValues(int base, int channel, int32_t startX, int32_t count) const {
  const bool v = FVirtualChannels;
  const TGraphicMode mode = Info(base).GraphicMode;
  if (mode == gmIVCdiff) {
    const TIVC_DataManagement* ivc = IVCStore(base);
    if (!ivc) return {};
    if (StoreScale() == hsShort) return ivc->GetAvgShort(v, channel, startX, count);
    if (StoreScale() == hsLong) return ivc->GetAvgLong(v, channel, startX, count);
    return ivc->GetIVCDiff(v, channel, startX, count);
  }
  if (mode == gmSensor) {
    const TVTA_SensorDM* sensor = base == 1 ? SensorStore() : nullptr;
    return sensor && StoreScale() == hsNone ? sensor->GetValues(channel, startX, count) : std::vector<double>{};
  }
  const TZCT_DataManagement* zct = ZCTDataManagement(base);
  if (!zct) return {};
  if (StoreScale() == hsShort) return zct->GetAvgShort(v, channel, startX, count);
  if (StoreScale() == hsLong) return zct->GetAvgLong(v, channel, startX, count);
  switch (mode) {
    case gmPhase: return zct->GetPhaDiffPs(v, channel, startX, count);
    case gmFreqAbs: return zct->GetFrequDiff(v, channel, startX, count);
    case gmFreqRel: return zct->GetFrequDiffRelative(v, channel, startX, count);
    case gmPhaseTrim: return zct->GetPhaseTrim(channel, startX, FPlotX, count);
    case gmPhaseTheo: return zct->GetTheoPhaseDiffPs(v, channel, startX, count);
    case gmPhasePredecessor: return zct->GetPhaPredecessorPs(v, channel, startX, count);
    default: return {};
  }
}

// The newest value of every channel of a base, for centring.
std::vector<double> TGraphicChild::LastValues(int base) const {
  TDataManagement* store = ReadStore(base);
  if (!store || store->Count(StoreScale()) == 0) return {};
  const int32_t last = (store->LaufX(StoreScale()) - 1) & DM_HistoryMask;
  std::vector<double> values;
  for (int ch = 1; ch <= std::min(StoreChannelCount(base), kChannels); ++ch) {
    const std::vector<double> one = FetchValues(base, ch, last, 1);
    values.push_back(one.empty() ? std::nan("") : one.front());
  }
  return values;
}

// ---- Refresh ----

void TGraphicChild::UpdateChannelCount(int base) {
  TGraphInfo& info = Info(base);
  const int32_t channelCount = std::clamp(StoreChannelCount(base), 0, kChannels);
  if (channelCount == info.ChannelCountShown) return;
  info.ChannelCountShown = channelCount;
  if (base == 1) FTransmittedChannels = channelCount;
  Strip(base)->SetMaxChannels(StripChannelCount(base));
  if (base == 1) ApplySensorSignals();
  ApplyAxis();
}

void TGraphicChild::UpdateDisplay() {
  if (Closing()) return;
  try {
    UpdateChannelCount(1);
    if (HasSecondBase()) UpdateChannelCount(2);
    // A new interval of either session changes where values go: both start again.
    const bool second = HasSecondBase() && SecondSession()->IntervalMs() != Info(2).IntervalMs;
    if ((Session() && Session()->IntervalMs() != FIntervalMs) || second) {
      UpdateInterval();
      if (HasSecondBase()) Info(2).IntervalMs = SecondSession()->IntervalMs();
      for (int base = 1; base <= kBaseCount; ++base)
        for (int ch = 1; ch <= kChannels; ++ch) ClearPersistBuffer(base, ch);
      ClearGraph();
    }
  } catch (const std::exception& e) {
    LogException(".UpdateDisplay Kanalanzahl failed", e);
  }
  const int32_t channelCount = std::max(Info(1).ChannelCountShown, 0);
  TDataManagement* store = ReadStore();
  const bool noConnection = !Session() || Session()->OpenString() == kOpenStringNone;
  FPlot->DrawErrorText(0, channelCount == 0 && noConnection ? kNoConnection : "");
  TGraphInfo& info = Info(1);
  if (store) {
    int32_t count = 0;
    try {
      if (info.DataX < 0) {
        // A cleared graph starts with the page of history the store holds: a scale change
        // redraws the trace instead of waiting for new values.
        info.DataX = (store->LaufX(StoreScale()) - VisiblePage(*store)) & DM_HistoryMask;
        FPlotX = 0;
      }
      count = std::clamp(store->GetNewCount(info.DataX, StoreScale()), 0, DM_HistoryLength);
    } catch (const std::exception& e) {
      LogException(".UpdateDisplay Start-Koordinate Datenhaltung failed", e);
    }
    if (count > 0 && FAutoScale) {
      AutoFit(channelCount);
      if (info.DataX < 0) return UpdateDisplay();  // refitted: the page is drawn anew
    }
    if (count > 0) {
      try {
        DrawNewValues(count, channelCount);
      } catch (const std::exception& e) {
        LogException(".UpdateDisplay draw last page failed", e);
      }
      info.DataX = TDataManagement::GetNextX(info.DataX, count);
      info.DrawnColumns += count;
      FPlotX = NextPlotX(FPlotX, count, FPlot->GraphWidth());
      // The newest value arrived just now: the time axis counts back from the present.
      FPlot->SetCursorTime(QDateTime::currentDateTime());
    }
  }
  if (HasSecondBase()) {
    try {
      DrawSecondBase();
    } catch (const std::exception& e) {
      LogException(".UpdateDisplay draw second session failed", e);
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
  const int32_t startData = TDataManagement::GetNextX(Info(1).DataX, skipped);
  const int startX = NextPlotX(FPlotX, skipped, width);
  FPlot->ClearRange(startX, std::min(drawn + kSweepGap, width));
  if (skipped > 0) FPlot->ResetYOld();
  const int mitte = FPlot->Mitte();
  const TGraphicMode mode = GraphicMode();
  for (int ch = 1; ch <= channelCount; ++ch) {
    if (!FLeftChannels->ChannelEnabled(ch)) continue;
    FResultArray = FetchValues(1, ch, startData, drawn);
    std::vector<int32_t> rows(size_t(drawn), -1);
    std::vector<int8_t> edges(size_t(drawn), 0);
    bool beyond = false;
    if (FResultArray.size() == size_t(drawn))
      for (int32_t i = 0; i < drawn; ++i) {
        const TPlotPoint point = ValueToPlotPoint(mode, FResultArray[size_t(i)], Info(1).Scale[size_t(ch)], mitte, ch,
                                                   Info(1).Scale[size_t(ch)].Center);
        // A value beyond the edge breaks the trace and gets a mark instead of a line along the edge.
        if (point.Edge != TPlotEdge::Inside) {
          edges[size_t(i)] = int8_t(point.Edge);
          beyond = true;
          continue;
        }
        rows[size_t(i)] = point.Row;
      }
    DrawSpans(1, ch, DecimateMinMax(rows, 0.0, 1.0), startX);
    if (beyond) FPlot->DrawEdgeMarks(edges, startX, ch, ToQColor(FLeftChannels->ChannelColor(ch)));
  }
}

// Base 2 is drawn up to base 1's cursor only, so that the erasing ahead of that cursor never wipes
// it; its newer values wait for the next refresh. A second session that falls behind by more than
// an interval and 5 s (its values arrive faster than the refreshes draw them, or its clock runs
// apart from base 1's) restarts both bases together.
void TGraphicChild::DrawSecondBase() {
  TDataManagement* store = ReadStore(2);
  const TGraphInfo& first = Info(1);
  TGraphInfo& info = Info(2);
  if (!store || first.DataX < 0) return;
  const double perValue = ColumnsPerValue2();
  const int width = FPlot->GraphWidth();
  if (info.DataX < 0) {
    // The value whose time is the first column of the sweep starts base 2.
    const int32_t back = std::min(store->Count(StoreScale()), int32_t(double(first.DrawnColumns) / perValue));
    info.DataX = (store->LaufX(StoreScale()) - back) & DM_HistoryMask;
    info.NextColumn = double(first.DrawnColumns) - double(back) * perValue;
    info.DrawnColumns = int64_t(std::floor(info.NextColumn));
  }
  const int32_t fresh = std::clamp(store->GetNewCount(info.DataX, StoreScale()), 0, DM_HistoryLength);
  const double room = double(first.DrawnColumns) - info.NextColumn;
  int32_t count = room > 0 ? std::min(fresh, int32_t(std::ceil(room / perValue))) : 0;
  const double waitingMs = double(fresh - count) * double(ColumnMs(2));
  if (waitingMs > double(std::max(ColumnMs(1), ColumnMs(2))) + 5000.0) {
    LogInfo(".UpdateDisplay second session " + std::to_string(fresh - count) + " values behind -> restart");
    return ClearGraph();
  }
  // More than a page: only the newest page is drawn.
  const int32_t page = std::max(int32_t(double(std::max(width - kSweepGap, 1)) / perValue), 1);
  if (count > page) {
    const int32_t skipped = count - page;
    info.DataX = TDataManagement::GetNextX(info.DataX, skipped);
    info.NextColumn += double(skipped) * perValue;
    info.DrawnColumns = int64_t(std::floor(info.NextColumn));
    count = page;
    for (int ch = 1; ch <= kChannels; ++ch) FPlot->ResetYOld(1, ch);
  }
  if (count <= 0 || width <= 0) return;
  const int64_t startColumn = std::min(info.DrawnColumns, int64_t(std::floor(info.NextColumn)));
  const int startX = int(startColumn % width);
  const int mitte = FPlot->Mitte();
  for (int ch = 1; ch <= std::max(info.ChannelCountShown, 0); ++ch) {
    if (!FRightChannels->ChannelEnabled(ch)) continue;
    const std::vector<double> values = FetchValues(2, ch, info.DataX, count);
    std::vector<int32_t> rows(size_t(count), -1);
    if (values.size() == size_t(count))
      for (int32_t i = 0; i < count; ++i)
        rows[size_t(i)] = ValueToRow(GraphicModeRight(), values[size_t(i)], info.Scale[size_t(ch)], mitte, ch);
    const double firstPosition = info.NextColumn - double(startColumn);
    DrawSpans(2, ch, DecimateMinMax(rows, firstPosition, perValue, FPlot->YOld(1, ch)), startX);
  }
  const double lastColumn = info.NextColumn + double(count - 1) * perValue;
  info.DataX = TDataManagement::GetNextX(info.DataX, count);
  info.NextColumn = lastColumn + perValue;
  info.DrawnColumns = int64_t(std::floor(lastColumn)) + 1;
}

// The trace and, where the channel keeps it, the persistence of one channel's columns.
void TGraphicChild::DrawSpans(int base, int channel, const std::vector<TColumnSpan>& spans, int startX) {
  TQV_Channels* strip = Strip(base);
  if (strip->PersistEnabled(channel)) {
    try {
      TPersistBuffer& persist = Info(base).Persist[size_t(channel)];
      const int width = FPlot->GraphWidth();
      int previous = FPlot->YOld(base - 1, channel);
      for (size_t i = 0; i < spans.size(); ++i) {
        const TColumnSpan& span = spans[i];
        const int x = NextPlotX(startX, int32_t(i), width);
        if (span.Low >= 0) {
          const bool joined = previous >= 0 && x > 0;
          persist.MarkColumn(x, joined ? std::min(previous, span.Low) : span.Low, joined ? std::max(previous, span.High) : span.High);
        }
        previous = span.Last;
      }
      FPlot->DrawPersist(base - 1, persist, startX, int(spans.size()) + kSweepGap, ToQColor(strip->ChannelLightColor(channel)));
    } catch (const std::exception& e) {
      LogException(".UpdateDisplay write persist buffer failed", e);
    }
  }
  FPlot->DrawSpans(base - 1, spans, startX, channel, ToQColor(strip->ChannelColor(channel)));
}

// ---- Saved image and printing ----

QImage TGraphicChild::Picture() const {
  const QImage& plot = FPlot->Picture();
  QFont font = this->font();
  font.setPointSize(10);
  const QFontMetrics fm(font);
  const int line = fm.height() + 2;
  struct TLegendLine {
    int Base;
    int Channel;
  };
  std::vector<TLegendLine> legend;
  for (int base = 1; base <= (HasSecondBase() ? 2 : 1); ++base)
    for (int ch = 1; ch <= std::min(Info(base).ChannelCountShown, kChannels); ++ch)
      if (Strip(base)->VisibleChannel(ch) && Strip(base)->ChannelEnabled(ch)) legend.push_back({base, ch});
  QImage image(plot.width(), plot.height() + line * int(1 + legend.size()), QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter p(&image);
  p.setFont(font);
  p.setPen(Qt::black);
  p.drawText(QRect(4, 0, image.width() - 8, line), Qt::AlignLeft | Qt::AlignVCenter,
             QString::fromStdString(FChildTitle.empty() ? ModeCaption() : FChildTitle));
  p.drawImage(0, line, plot);
  int y = line + plot.height();
  for (const TLegendLine& entry : legend) {
    const TQV_ChannelData& data = Strip(entry.Base)->Data();
    const TChannelScale& s = Info(entry.Base).Scale[size_t(entry.Channel)];
    p.setPen(ToQColor(data.ChannelColor(entry.Channel)));
    const std::string letter = HasSecondBase() ? std::string(1, SessionLetter(SessionIndex(entry.Base))) + " " : "";
    const std::string text = letter + data.ChannelId(entry.Channel) + " " + data.ChannelName(entry.Channel) + ": " +
                             TQV_Plot::AxisText(s.UnitsPerDiv(), s.Unit, Info(entry.Base).GraphicMode != gmFreqRel) + "/div";
    p.drawText(QRect(4, y, image.width() - 8, line), Qt::AlignLeft | Qt::AlignVCenter, QString::fromStdString(text));
    y += line;
  }
  p.end();
  return image;
}

std::string TGraphicChild::SaveImage(const std::string& folder) {
  const QImage image = Picture();
  const QString name = QString::fromStdString(FreeSaveStem(folder, "Graphic", {".jpg"}) + ".jpg");
  if (!image.save(name, "JPG", 90)) {
    LogError(".SaveImage failed " + name.toStdString());
    return {};
  }
  LogInfo(".SaveImage " + name.toStdString());
  return name.toStdString();
}

bool TGraphicChild::Print(QPrinter& printer) {
  const QImage image = Picture();
  QPainter p;
  if (!p.begin(&printer)) {
    LogError(".Print failed: the printer cannot be opened");
    return false;
  }
  // The whole picture on the page, as large as it fits without distortion.
  const QRect page = p.viewport();
  const QSize size = image.size().scaled(page.size(), Qt::KeepAspectRatio);
  p.setViewport(page.x(), page.y(), size.width(), size.height());
  p.setWindow(image.rect());
  p.drawImage(0, 0, image);
  p.end();
  LogInfo(".Print");
  return true;
}

void TGraphicChild::PrintWithDialog() {
  QPrinter printer(QPrinter::HighResolution);
  printer.setPageOrientation(QPageLayout::Landscape);
  printer.setDocName(windowTitle());
  QPrintDialog dialog(&printer, this);
  if (dialog.exec() != QDialog::Accepted) return;
  Print(printer);
}

// ---- Settings ----

void TGraphicChild::ReadSettings(TAppSettings& Settings, const std::string& SettingsPrefix) {
  TMDIChild::ReadSettings(Settings, SettingsPrefix);
  FSignalScalesPending = FSignalScalesPending && DefaultSettings();
  const std::string& P = SettingsPrefix;
  const TGraphicMode mode = GraphicModeFromInt(Settings.GetValue(P + "GraphicMode1", int32_t(GraphicMode())));
  if (mode != GraphicMode()) SetGraphicMode(mode);
  const TGraphicMode right = GraphicModeFromInt(Settings.GetValue(P + "GraphicMode2", int32_t(GraphicModeRight())));
  if (right != GraphicModeRight()) SetGraphicModeRight(right);
  if (Closing()) return;
  FPlot->SetAdjustWidth(Settings.GetValue(P + "Adjust256", FPlot->AdjustWidth()));
  const bool older = Settings.VersionFormat() < 3;
  for (int base = 1; base <= kBaseCount; ++base) {
    const std::string b = std::to_string(base);
    TGraphInfo& info = Info(base);
    const int32_t count = std::clamp(Settings.GetValue(P + "RangeChannels" + b, int32_t(kChannels)), 0, kChannels);
    for (int ch = 1; ch <= count; ++ch) {
      TChannelScale& scale = info.Scale[size_t(ch)];
      if (const auto text = Settings.TryGetValue(P + "Scale_" + b + "_" + std::to_string(ch)))
        scale = ClampChannelScale(info.GraphicMode, ParseScale(*text, scale));
      else if (older)
        scale = ClampChannelScale(info.GraphicMode, ReadOlderScale(Settings, P, base, ch, scale));
    }
    const int32_t selected = Settings.GetValue(P + "Selected" + b, int32_t(Strip(base)->SelectedChannel()));
    Strip(base)->SetSelectedChannel(std::clamp(selected, 0, kChannels));
  }
  if (FRightChannels->SelectedChannel() >= 1 && HasSecondBase() && FLeftChannels->SelectedChannel() < 1) FSelectedBase = 2;
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
  Settings.SetValue(P + "Adjust256", FPlot->AdjustWidth());
  for (int base = 1; base <= kBaseCount; ++base) {
    const std::string b = std::to_string(base);
    Settings.SetValue(P + "GraphicMode" + b, int32_t(Info(base).GraphicMode));
    Settings.SetValue(P + "RangeChannels" + b, int32_t(kChannels));
    for (int ch = 1; ch <= kChannels; ++ch)
      Settings.SetValue(P + "Scale_" + b + "_" + std::to_string(ch), ScaleText(Info(base).Scale[size_t(ch)]));
    Settings.SetValue(P + "Selected" + b, int32_t(Strip(base)->SelectedChannel()));
  }
  Settings.SetValue(P + "HScale", FHorizontalScale);
  Settings.SetValue(P + "AutoScale", FAutoScale);
}

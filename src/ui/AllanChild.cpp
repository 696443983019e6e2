#include "ui/AllanChild.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <fstream>

#include "acquisition/App_Sessions.h"
#include "core/Clock.h"
#include "core/DateTimeText.h"
#include "data/ZCT_DataManagement.h"
#include "ui/AllanScale.h"
#include "ui/QV_Channels.h"
#include "ui/UiColors.h"

namespace {

constexpr int kAllanChildCategory = 3;  // debug category of the graphic views
constexpr int kPowerLimit = 30;

}  // namespace

std::string AllanModeCaption(TAllanMode mode) { return std::string("ADEV[") + AllanModeName(mode) + "]"; }

TAllanMode AllanModeFromInt(int32_t value) {
  return value == amPhaseRes ? amPhaseRes : value == amPhaseDiff ? amPhaseDiff : amFreq;
}

TAllanChild::TAllanChild(QWidget* AOwner, int32_t aTag, TSessionItem* aSession, TOnMainEvent aOnMain,
                         TViewEnvironment aEnv, TAllanMode aMode)
    : TMDIChild(AOwner, aTag, aSession, std::move(aOnMain), std::move(aEnv), AllanModeCaption(aMode), "TAllanChild",
                kAllanChildCategory) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  QHBoxLayout* row = AddButtonRow(*layout);
  QWidget* buttons = row->parentWidget();
  auto addButton = [&](const char* text, std::function<void()> handler) { AddButton(*row, text, std::move(handler)); };
  addButton("On/Off", [this] { TogglePersist(); });
  addButton("Clear", [this] { ClearPersist(); });
  addButton("Restart", [this] { Restart(); });
  addButton("Save", [this] { Save(SaveFolder()); });
  FAuto = new QRadioButton("Auto", buttons);
  FManual = new QRadioButton("Manual", buttons);
  FAuto->setChecked(true);
  FMinPower = new QSpinBox(buttons);
  FMaxPower = new QSpinBox(buttons);
  for (QSpinBox* box : {FMinPower, FMaxPower}) {
    box->setRange(-kPowerLimit, kPowerLimit);
    box->setEnabled(false);
  }
  row->addWidget(FAuto);
  row->addWidget(FManual);
  row->addWidget(FMinPower);
  row->addWidget(FMaxPower);
  row->addStretch();
  connect(FAuto, &QRadioButton::toggled, this, [this](bool on) {
    if (on && !FInternalCall) SetScaleType(stAuto);
  });
  connect(FManual, &QRadioButton::toggled, this, [this](bool on) {
    if (on && !FInternalCall) SetScaleType(stManual);
  });
  // A change that would leave the lower power at or above the upper one is refused.
  connect(FMinPower, &QSpinBox::valueChanged, this, [this](int value) {
    if (FInternalCall) return;
    if (!SetManualRange(value, FPlot->ManualScale().PowerMax)) ShowManualRange();
  });
  connect(FMaxPower, &QSpinBox::valueChanged, this, [this](int value) {
    if (FInternalCall) return;
    if (!SetManualRange(FPlot->ManualScale().PowerMin, value)) ShowManualRange();
  });

  FPlot = new TQV_AllanPlot(this);
  FPlot->OnLog = [this](const std::string& text) { LogInfo(text); };
  // A repaint shows the axes only: the next display cycle draws the curves again.
  FPlot->OnDrawMeasurement = [this] { FLastTauCountString.clear(); };
  layout->addWidget(FPlot, 1);

  FChannels = AddChannelStrip(*layout, mcaToggleEnabledPersist);
  connect(FChannels, &TQV_Channels::OnChannelEnabled, this, [this] { FLastTauCountString.clear(); });
  connect(FChannels, &TQV_Channels::OnPersistEnabled, this, [this] { FLastTauCountString.clear(); });

  SetAllanMode(aMode);
  TMDIChild::UpdateSession(1);
  SetIntervalMs(Session() ? Session()->IntervalMs() : 1000);
}

// ---- Mode, interval, scale ----

void TAllanChild::SetAllanMode(TAllanMode mode) {
  FAllanMode = AllanModeFromInt(mode);
  FDefaultTitle = AllanModeCaption(FAllanMode);
  FAllanModeError.clear();
  FPlot->ClearErrorText();
  FLastTauCountString.clear();
  UpdateCaption();
}

void TAllanChild::SetIntervalMs(int32_t value) {
  if (value <= 0 || value == FPlot->IntervalMs()) return;
  FPlot->SetIntervalMs(value);
  FPlot->Paint();
}

void TAllanChild::SetScaleType(TAllanScaleType type) {
  // Manual without a range of its own starts from the scale in use.
  if (type == stManual && FPlot->ManualScale().AnzDekaden <= 0 && FPlot->Scale().AnzDekaden > 0)
    FPlot->SetManualScale(FPlot->Scale().PowerMin, FPlot->Scale().PowerMax);
  FPlot->SetScaleType(type);
  FInternalCall = true;
  (type == stManual ? FManual : FAuto)->setChecked(true);
  FInternalCall = false;
  FMinPower->setEnabled(type == stManual);
  FMaxPower->setEnabled(type == stManual);
  ShowManualRange();
  FPlot->Paint();
}

bool TAllanChild::SetManualRange(int32_t minPower, int32_t maxPower) {
  if (minPower >= maxPower) return false;
  FPlot->SetManualScale(minPower, maxPower);
  ShowManualRange();
  FPlot->Paint();
  return true;
}

void TAllanChild::ShowManualRange() {
  const TScaleInfo& manual = FPlot->ManualScale();
  if (manual.Empty()) return;
  FInternalCall = true;
  FMinPower->setValue(manual.PowerMin);
  FMaxPower->setValue(manual.PowerMax);
  FInternalCall = false;
}

// ---- Buttons ----

void TAllanChild::TogglePersist() {
  FPersistOn = !FPersistOn;
  for (int ch = 1; ch <= TQV_ChannelData::ChannelCount; ++ch) FChannels->SetPersistEnabled(ch, FPersistOn);
  FLastTauCountString.clear();
}

void TAllanChild::ClearPersist() {
  TZCT_DataManagement* store = ZCTDataManagement(1);
  if (!store) return;
  for (int ch = 1; ch <= TQV_ChannelData::ChannelCount; ++ch)
    if (FChannels->ChannelEnabled(ch) && FChannels->PersistEnabled(ch)) store->ResetAllanPersist(ch);
  FLastTauCountString.clear();
}

void TAllanChild::Restart() {
  if (TZCT_DataManagement* store = ZCTDataManagement(1)) store->ResetAllan();
  FLastTauCountString.clear();
}

std::string TAllanChild::Save(const std::string& folder) {
  const std::string base = FreeSaveStem(folder, std::string("ADEV_") + SessionLetter(SessionIndex(1)), {".jpg", ".txt"});
  const std::string picture = base + ".jpg";
  if (!SavedPicture().save(QString::fromStdString(picture), "JPG", 90)) {
    LogError(".Save failed " + picture);
    return {};
  }
  LogInfo(".Save " + picture);
  const TZCT_DataManagement* store = ZCTDataManagement(1);
  const int32_t lastTau = store ? store->GetAllanLastTau(FAllanMode) : -1;
  const int32_t channels = StoreChannelCount(1);
  if (channels <= 0 || lastTau < 0) return picture;
  std::vector<TAllanTableRow> rows;
  for (int ch = 1; ch <= std::min(channels, TQV_ChannelData::ChannelCount); ++ch) {
    if (!FChannels->ChannelEnabled(ch)) continue;
    std::vector<double> sigmas = store->GetAllanTextValues(FAllanMode, ch);
    sigmas.resize(size_t(lastTau) + 1, 0.0);
    rows.push_back({ch, std::move(sigmas)});
  }
  const char separator = Environment().FormatLog ? Environment().FormatLog().DecimalSeparator : '.';
  const std::string table = base + ".txt";
  std::ofstream out(table, std::ios::binary);
  for (const std::string& line : AllanTableLines(store->GetAllanTauCaption(FAllanMode, 11, FPlot->IntervalMs()), rows, separator))
    out << line << "\r\n";
  if (!out.flush()) LogError(".Save failed " + table);
  return picture;
}

QImage TAllanChild::SavedPicture() const {
  const QImage& plot = FPlot->Picture();
  QFont font = this->font();
  font.setPointSize(10);
  const int line = QFontMetrics(font).height() + 4;
  QImage image(plot.width(), plot.height() + 2 * line, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter p(&image);
  p.setFont(font);
  p.setPen(Qt::black);
  std::string title = (ChildTitle().empty() ? FDefaultTitle : ChildTitle());
  if (const TSessionItem* session = Session())
    title += "   Source: " + (session->FriendlyName().empty() ? session->OpenString()
                                                           : session->FriendlyName() + " (" + session->OpenString() + ")");
  const TWallTime now = Environment().Clock ? Environment().Clock->Wall() : SystemClock().Wall();
  p.drawText(QRect(6, 0, image.width() - 12, line), Qt::AlignLeft | Qt::AlignVCenter, QString::fromStdString(title));
  p.drawText(QRect(6, line, image.width() - 12, line), Qt::AlignLeft | Qt::AlignVCenter,
             QString::fromStdString("Saved " + DateTimeText(now)));
  p.drawImage(0, 2 * line, plot);  // with its legend of the shown channels
  p.end();
  return image;
}

std::vector<TAllanLegendEntry> TAllanChild::LegendEntries(int32_t channelCount) const {
  std::vector<TAllanLegendEntry> entries;
  const TQV_ChannelData& data = FChannels->Data();
  for (int ch = 1; ch <= std::min(channelCount, TQV_ChannelData::ChannelCount); ++ch) {
    if (!FChannels->VisibleChannel(ch) || !FChannels->ChannelEnabled(ch)) continue;
    const QString text = QString::fromStdString(data.ChannelId(ch) + " " + data.ChannelName(ch)).trimmed();
    entries.push_back({text.toStdString(), ToQColor(data.ChannelColor(ch))});
  }
  return entries;
}

// ---- Session ----

int32_t TAllanChild::StoreChannelCount(int base) const {
  if (base != 1) return TMDIChild::StoreChannelCount(base);
  const TZCT_DataManagement* store = ZCTDataManagement(1);
  return store ? store->ChannelCount() : 0;
}

void TAllanChild::UpdateSession(int base) {
  RebindBase(base);
  if (base == 1 && Session() && !QVSession())
    return CloseChild(".UpdateSession: not a QVSession -> close allan graphic window");
  TMDIChild::UpdateSession(base);
  FLastTauCountString.clear();
}

void TAllanChild::DataReset() {
  FPlot->Clear();
  FLastTauCountString.clear();
}

void TAllanChild::UpdateOptions(int32_t what) {
  if ((what & ocDecSepWin) == 0) return;
  FPlot->SetDecimalSeparator(WinDecimalSeparator());
  FPlot->Paint();
}

void TAllanChild::UpdateCaption() {
  if (const TZCT_DataManagement* store = ZCTDataManagement(1)) {
    const std::string error = store->CheckAllanMode(FAllanMode);
    if (error != FAllanModeError) {
      FAllanModeError = error;
      FPlot->DrawErrorText(error);
    }
  }
  TMDIChild::UpdateCaption();
}

// ---- Refresh ----

void TAllanChild::UpdateDisplay() {
  if (Closing()) return;
  TZCT_DataManagement* store = ZCTDataManagement(1);
  int32_t channelCount = 0;
  try {
    channelCount = std::clamp(StoreChannelCount(1), 0, TQV_ChannelData::ChannelCount);
    if (channelCount == 0) {
      LogInfo(".UpdateDisplay: no channels");
      if (!Session() || Session()->OpenString() == kOpenStringNone) {
        LogInfo(".UpdateDisplay no connection");
        FPlot->DrawErrorText(kNoConnection);
      }
      return;
    }
    if (FPlot->ErrorText() == kNoConnection) FPlot->DrawErrorText(FAllanModeError);
    if (channelCount != FTransmittedChannels) {
      FTransmittedChannels = channelCount;
      FChannels->SetMaxChannels(StripChannelCount(1));
    }
    SetIntervalMs(Session()->IntervalMs());
  } catch (const std::exception& e) {
    LogException(".UpdateDisplay Kanalanzahl failed", e);
    throw;
  }
  std::string counts;
  std::vector<int64_t> tauCounts;
  try {
    tauCounts = store->GetADEVCounts(FAllanMode);
    for (const int64_t n : tauCounts) counts += (counts.empty() ? "" : ",") + std::to_string(n);
    if (counts.empty()) counts = "-";
  } catch (const std::exception& e) {
    LogException(".UpdateDisplay TauCounts failed", e);
    throw;
  }
  if (counts == FLastTauCountString) return;
  try {
    FPlot->SetLegend(LegendEntries(channelCount));
    FPlot->BeginMinMax();
    for (int ch = 1; ch <= channelCount; ++ch) {
      if (!FChannels->ChannelEnabled(ch)) continue;
      FPlot->SetMinMax(FChannels->PersistEnabled(ch) ? store->GetAllanYPowerMinMax(FAllanMode, ch)
                                                     : store->GetAllanActualYPowerMinMax(FAllanMode, ch));
    }
    FPlot->EndMinMax();
    FPlot->BeginDraw(tauCounts);
    DrawChannels(channelCount);
    FPlot->EndDraw();
  } catch (const std::exception& e) {
    LogException(".UpdateDisplay DrawChannels failed", e);
    throw;
  }
  FLastTauCountString = counts;
}

void TAllanChild::DrawChannels(int32_t channelCount) {
  TZCT_DataManagement* store = ZCTDataManagement(1);
  for (int ch = 1; ch <= channelCount; ++ch) {
    if (!FChannels->ChannelEnabled(ch)) continue;
    if (FChannels->PersistEnabled(ch)) {
      const uint32_t color = ch == 1 ? FChannels->ChannelLightColor(ch) : FChannels->ChannelDarkColor(ch);
      FPlot->DrawPersist(store->GetAllanPersistValues(FAllanMode, ch), ToQColor(color));
    }
    FPlot->DrawMeasurement(AllanLogValues(store->GetAllanTextValues(FAllanMode, ch)), ToQColor(FChannels->ChannelColor(ch)));
  }
}

// ---- Settings ----

void TAllanChild::ReadSettings(TAppSettings& Settings, const std::string& SettingsPrefix) {
  TMDIChild::ReadSettings(Settings, SettingsPrefix);
  const std::string& P = SettingsPrefix;
  SetAllanMode(AllanModeFromInt(Settings.GetValue(P + "AllanMode", int32_t(FAllanMode))));
  const int32_t minPower = Settings.GetValue(P + "ScaleMin", int32_t(0));
  const int32_t maxPower = Settings.GetValue(P + "ScaleMax", int32_t(0));
  if (minPower != 0 && maxPower != 0 && minPower < maxPower) FPlot->SetManualScale(minPower, maxPower);
  SetScaleType(Settings.GetValue(P + "Scale", int32_t(stAuto)) == stManual ? stManual : stAuto);
  FPersistOn = false;
  for (int ch = 1; ch <= TQV_ChannelData::ChannelCount; ++ch)
    if (FChannels->ChannelEnabled(ch) && FChannels->PersistEnabled(ch)) FPersistOn = true;
  FLastTauCountString.clear();
}

void TAllanChild::SaveSettings(TAppSettings& Settings, const std::string& SettingsPrefix) {
  TMDIChild::SaveSettings(Settings, SettingsPrefix);
  const std::string& P = SettingsPrefix;
  const TScaleInfo& manual = FPlot->ManualScale();
  Settings.SetValue(P + "ScaleMin", manual.Empty() ? int32_t(0) : manual.PowerMin);
  Settings.SetValue(P + "ScaleMax", manual.Empty() ? int32_t(0) : manual.PowerMax);
  Settings.SetValue(P + "Scale", int32_t(FPlot->ScaleType()));
  Settings.SetValue(P + "AllanMode", int32_t(FAllanMode));
}

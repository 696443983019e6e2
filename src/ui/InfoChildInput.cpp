// The info view's controls and the state the session reports back.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <algorithm>
#include <charconv>

#include "acquisition/App_Sessions.h"
#include "acquisition/QV_SessionItem.h"
#include "core/QV_NumberText.h"
#include "core/VTA_Common.h"
#include "data/ZCT_ValueText.h"
#include "protocol/QV_Header.h"
#include "ui/InfoChild.h"

namespace {

constexpr int32_t kRateCount = 14;
constexpr int32_t kScramblerInUse = 3;
constexpr int32_t kPPIon = 1;
constexpr int32_t kPPIinUse = 3;

// Selects entry `index`, or nothing when the list has no such entry.
void SelectEntry(QComboBox* combo, int32_t index) { combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1); }

}  // namespace

// ---- Free helpers ----

TInfoSessionFacts SessionInfoFacts(TSessionItem& session) {
  TInfoSessionFacts facts;
  facts.Counter = session.SessionType() == kSessionTypeCounter;
  facts.Sensor = session.SessionType() == kSessionTypeSensor || session.SessionType() == kSessionTypeLabJack;
  if (const auto* counter = dynamic_cast<const TQVSessionItem*>(&session)) {
    const TQVSessionStatus status = counter->Status();
    facts.ZCTonly = status.ZCTonly;
    facts.IVConly = status.IVConly;
    facts.HasPPI = status.HasPPI;
    facts.IVCChannels = status.TransmittedIVCs;
  }
  return facts;
}

TInfoBufferLevels SessionBufferLevels(TSessionItem& session) {
  TInfoBufferLevels levels;
  const auto* counter = dynamic_cast<const TQVSessionItem*>(&session);
  if (!counter) return levels;
  counter->GetBufferAmounts(levels.ReceiveAmount, levels.ReceiveHighAmount);
  levels.TransmitAmount = counter->GetTransmitBufferAmount();
  if (counter->LocalTcpServerRunning()) {
    const TSourceReply counts = counter->Source().TcpServerClientsRemainingDataCounts();
    if (counts.Ok()) levels.TcpServerDataCounts = counts.Text;
  }
  return levels;
}

TInfoIntervalList InfoIntervalList(const TRange& range) {
  TInfoIntervalList list;
  list.Offset = std::max(range.minI, 0);
  const int32_t last = std::min(range.maxI, kRateCount - 1);
  for (int32_t index = list.Offset; index <= last; ++index) list.Entries.push_back(TQVHeader::IntervalIndexToText(index));
  return list;
}

std::optional<int16_t> ParsePPIoffset(const std::string& text) {
  const std::string_view trimmed = TrimBlanks(text);
  int32_t value = 0;
  const char* end = trimmed.data() + trimmed.size();
  const auto [ptr, ec] = std::from_chars(trimmed.data(), end, value);
  if (trimmed.empty() || ec != std::errc() || ptr != end) return std::nullopt;
  if (value < -TInfoChild::kPPIoffsetLimit || value > TInfoChild::kPPIoffsetLimit) return std::nullopt;
  return int16_t(value);
}

std::string InfoBufferText(uint32_t amount, uint32_t high, bool showHigh) {
  const auto padded = [](uint32_t value) {
    std::string text = ZCTDottedNumber(value);
    if (text.size() < 9) text.insert(0, 9 - text.size(), ' ');
    return text;
  };
  return showHigh ? padded(amount) + " / " + padded(high) : padded(amount);
}

std::string InfoCaption(int32_t sessionIndex, const std::string& friendlyName) {
  std::string caption = "   Info[" + std::string(1, SessionLetter(sessionIndex));
  if (!friendlyName.empty()) caption += ": " + friendlyName;
  return caption + "]";
}

// ---- Drop-down lists ----

// Changes that are not the user's choice are undone.
void TInfoChild::ComboModeChange(int index, bool user) {
  if (!user) return SelectEntry(FComboMode, FModeIndex);
  SetRequested(Panel(ipMode).Label, true);
  ExecuteAction(index < kExpertModeCount ? FActionMode[size_t(index)] : QPointer<QAction>(), ".ComboModeChange " + std::to_string(index));
}

void TInfoChild::ComboRateChange(int index, bool user) {
  if (!user) return SelectEntry(FComboRate, FRateIndex);
  const int32_t rate = index + FComboRateOffset;
  SetRequested(Panel(ipInterval).Label, true);
  ExecuteAction(rate < kRateCount ? FActionRate[size_t(rate)] : QPointer<QAction>(),
                ".ComboRateChange " + std::to_string(index) + " rate=" + std::to_string(rate));
}

// ---- Scrambler ----

void TInfoChild::ScramblerClick(int index) {
  SetRequested(Panel(ipScrambler).Label, true);
  ExecuteAction(FActionScrambler[size_t(index)], ".ScramblerClick" + std::to_string(index));
}

// ---- PPI ----

void TInfoChild::PPIClick(bool checked) {
  if (checked) {
    const std::optional<int16_t> value = ValidatePPIoffset();
    if (!value) {
      FCheckPPI->setChecked(false);
      return;
    }
    FPPIoffset = *value;
  }
  SetRequested(Panel(ipPPI).Label, true);
  ExecuteChecked(FActionPPI, checked, ".PPIClick PPIoffset=" + std::to_string(FPPIoffset));
}

// The offset field's text, or none after telling the user and restoring the current offset.
std::optional<int16_t> TInfoChild::ValidatePPIoffset() {
  const QString text = FPPIoffsetEdit->text();
  const std::optional<int16_t> value = ParsePPIoffset(text.toStdString());
  if (value) return value;
  const QString message = "Invalid input PPI offset: " + text;
  if (FEnv.Message)
    FEnv.Message("PPI offset", message);
  else
    QMessageBox::warning(this, "PPI offset", message);
  FPPIoffsetEdit->setText(QString::number(FPPIoffset));
  return std::nullopt;
}

void TInfoChild::PPIoffsetEnter() {
  const std::optional<int16_t> value = ValidatePPIoffset();
  if (!value) return;
  FPPIoffset = *value;
  LogInfo(".PPIoffsetInputKeyPress Enter PPIoffset=" + std::to_string(FPPIoffset));
  ResendPPI();
}

void TInfoChild::PPIoffsetEscape() { FPPIoffsetEdit->setText(QString::number(FPPIoffset)); }

void TInfoChild::PPIstep(int delta) {
  const int32_t next = FPPIoffset + delta;
  if (next < -kPPIstepLimit || next > kPPIstepLimit) return;
  FPPIoffset = int16_t(next);
  FPPIoffsetEdit->setText(QString::number(FPPIoffset));
  LogInfo((delta > 0 ? ".BtnPPIplusClick PPIoffset=" : ".BtnPPIminusClick PPIoffset=") + std::to_string(FPPIoffset));
  ResendPPI();
}

// A new offset reaches the instrument only while PPI is controlled.
void TInfoChild::ResendPPI() {
  if (!FCheckPPI->isChecked()) return;
  SetRequested(Panel(ipPPI).Label, true);
  ExecuteChecked(FActionPPI, true, ".ResendPPI PPIoffset=" + std::to_string(FPPIoffset));
}

// True when the key was handled here; digits, "-" and editing keys go on to the field.
bool TInfoChild::PPIoffsetInputKeyPress(const QString& text, int key) {
  if (key == Qt::Key_Return || key == Qt::Key_Enter) {
    PPIoffsetEnter();
    return true;
  }
  if (key == Qt::Key_Escape) {
    PPIoffsetEscape();
    return true;
  }
  if (key == Qt::Key_Backspace || text.isEmpty() || !text.at(0).isPrint()) return false;
  if (text.size() == 1 && (text.at(0).isDigit() || text.at(0) == '-')) return false;
  if (FEnv.Beep)
    FEnv.Beep();
  else
    QApplication::beep();
  LogInfo(std::string(".PPIoffsetInputKeyPress:") + " ungültiges Zeichen=" + text.toStdString());
  return true;
}

bool TInfoChild::eventFilter(QObject* watched, QEvent* event) {
  if (watched == FPPIoffsetEdit && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (PPIoffsetInputKeyPress(key->text(), key->key())) return true;
  }
  return QWidget::eventFilter(watched, event);
}

// ---- Panels ----

void TInfoChild::ShowClick() {
  const bool all = FShowTag == 0;
  LogInfo(all ? ".BtnShowClick All" : ".BtnShowClick Less");
  for (int32_t id = 1; id <= kPanelCount; ++id) {
    const TPanel& p = Panel(id);
    if (!p.Applicable || p.Shown != !all) continue;
    if (p.Action)
      ExecuteChecked(p.Action, all, {});
    else if (all)
      ShowPanel(id, true);  // a panel without an action cannot be hidden by the user
  }
}

void TInfoChild::PanelClose(int32_t Id) {
  LogInfo(".PanelClose: id=" + std::to_string(Id));
  if (Panel(Id).Action)
    ExecuteChecked(Panel(Id).Action, false, {});
  else
    ShowPanel(Id, false);
}

// ---- Log files and debug switches ----

void TInfoChild::UpdateLogDefinitions() {
  for (QCheckBox* box : FLogChecks) {
    FLogGrid->removeWidget(box);
    box->hide();
    box->deleteLater();  // may be the box whose click led here
  }
  FLogChecks.clear();
  const std::vector<TInfoLogSwitch> definitions =
      FEnv.LogDefinitions ? FEnv.LogDefinitions() : std::vector<TInfoLogSwitch>{};
  if (!FNoLogLabel) {
    FNoLogLabel = new QLabel("none defined", Panel(ipLogFiles).Frame);
    FNoLogLabel->setObjectName("LabelNoLog");
    FLogGrid->addWidget(FNoLogLabel, 0, 0, 1, 2);
  }
  FNoLogLabel->setVisible(definitions.empty());
  for (size_t k = 0; k < definitions.size(); ++k) {
    const int32_t definition = definitions[k].Definition;
    auto* box = new QCheckBox(QString("Log %1").arg(definition + 1), Panel(ipLogFiles).Frame);
    box->setObjectName(QString("CheckLog%1").arg(definition + 1));
    box->setChecked(definitions[k].Enabled);
    connect(box, &QCheckBox::clicked, this, [this, definition] { LogClick(definition); });
    FLogGrid->addWidget(box, int(k / 2) + 1, int(k % 2));
    FLogChecks.push_back(box);
  }
  FitHeight();
}

void TInfoChild::LogClick(int32_t definition) {
  LogInfo(".LogFileClick " + std::to_string(definition + 1));
  if (FEnv.ToggleLogDefinition) FEnv.ToggleLogDefinition(definition);
}

void TInfoChild::UpdateDebugLog(bool aDebug, bool aStream, bool aTest) {
  FCheckDebug->setChecked(aDebug);
  FCheckStream->setChecked(aStream);
  FCheckTest->setChecked(aTest);
}

void TInfoChild::DebugClick() {
  const bool debug = FCheckDebug->isChecked();
  const bool stream = FCheckStream->isChecked();
  const bool test = FCheckTest->isChecked();
  LogInfo(".DebugClick Debug=" + BoolText(debug) + " Stream=" + BoolText(stream) + " Test=" + BoolText(test));
  if (FEnv.DebugEnable) FEnv.DebugEnable(FSession.Index(), debug, stream, test);
}

// ---- State reported by the session ----

void TInfoChild::SetMode(int32_t Value) {
  FModeIndex = Value;
  SelectEntry(FComboMode, Value);
  SetRequested(Panel(ipMode).Label, false);
  if (Value >= 0 && Value < kExpertModeCount && FActionMode[size_t(Value)]) FActionMode[size_t(Value)]->setChecked(true);
}

void TInfoChild::SetRateIndex(int32_t Value) {
  if (const uint32_t ms = TQVHeader::IntervalIndexToMs(Value); ms > 0) FIntervalMs = int32_t(ms);
  FRateIndex = Value - FComboRateOffset;
  SelectEntry(FComboRate, FRateIndex);
  SetRequested(Panel(ipInterval).Label, false);
  if (Value >= 0 && Value < kRateCount && FActionRate[size_t(Value)]) FActionRate[size_t(Value)]->setChecked(true);
}

void TInfoChild::SetScramblerIndex(int32_t Value) {
  const bool inUse = Value == kScramblerInUse;
  Panel(ipScrambler).Label->setText(inUse ? "Scrambler (in use)" : "Scrambler");
  SetRequested(Panel(ipScrambler).Label, false);
  const bool known = Value >= 0 && Value < int32_t(FActionScrambler.size());
  FScramblerGroup->setExclusive(known);  // an exclusive group cannot show "none of them"
  for (QAbstractButton* button : FScramblerGroup->buttons()) {
    button->setEnabled(!inUse);
    button->setChecked(known && FScramblerGroup->id(button) == Value);
  }
  FScramblerGroup->setExclusive(true);
  if (known && FActionScrambler[size_t(Value)]) FActionScrambler[size_t(Value)]->setChecked(true);
}

void TInfoChild::SetPPIindex(int32_t Value) {
  const bool inUse = Value == kPPIinUse;
  if (FActionPPI) {
    FActionPPI->setChecked(Value == kPPIon);
    FActionPPI->setEnabled(!inUse);
    FActionPPI->setText(inUse ? "in use" : "control PPI");
  }
  Panel(ipPPI).Label->setText(inUse ? "PPI (in use)" : "PPI");
  SetRequested(Panel(ipPPI).Label, false);
  FCheckPPI->setChecked(Value == kPPIon);
  for (QWidget* control : std::initializer_list<QWidget*>{FCheckPPI, FPPIoffsetLabel, FPPIoffsetEdit, FPPIplus, FPPIminus})
    control->setEnabled(!inUse);
}

// ---- Display cycle ----

void TInfoChild::UpdatePanel() {
  if (!FCounter) return;
  if (FInternalApplicable) ShowLevels();
  if (PanelVisible(ipIVC)) ShowIVCChannels(Facts().IVCChannels);
}

void TInfoChild::ShowLevels() {
  const TInfoBufferLevels levels = FEnv.BufferLevels ? FEnv.BufferLevels(FSession) : SessionBufferLevels(FSession);
  FReceiveLevel->setText(QString::fromStdString(InfoBufferText(levels.ReceiveAmount, levels.ReceiveHighAmount, true)));
  FUserLevel->setText(QString::fromStdString(
      InfoBufferText(levels.TransmitAmount, levels.TransmitHighAmount, levels.TransmitHighAmount != 0)));
  FTcpCounts->setText(QString::fromStdString(levels.TcpServerDataCounts));
}

void TInfoChild::ShowIVCChannels(int32_t count) {
  FIVCChannels->setText(count > 0 ? QString("Channels: %1").arg(count) : "Channels: -");
}

// ---- Helpers ----

// Red marks a request that the instrument has not confirmed yet.
void TInfoChild::SetRequested(QLabel* label, bool requested) {
  QPalette p = label->palette();
  p.setColor(QPalette::WindowText, requested ? QColor(Qt::red) : QApplication::palette().color(QPalette::WindowText));
  label->setPalette(p);
}

void TInfoChild::ExecuteAction(const QPointer<QAction>& action, const std::string& what) {
  LogInfo(what);
  if (!action) return LogError(what + ": no action");
  action->trigger();
}

// Runs a checkable action with the given check state (triggering toggles the check mark).
void TInfoChild::ExecuteChecked(const QPointer<QAction>& action, bool checked, const std::string& what) {
  if (!what.empty()) LogInfo(what);
  if (!action) return LogError(what + ": no action");
  action->setChecked(!checked);
  action->trigger();
}

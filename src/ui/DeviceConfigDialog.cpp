#include "ui/DeviceConfigDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "acquisition/QV_SessionItem.h"
#include "core/QV_NumberText.h"
#include "core/VTA_Common.h"
#include "data/ZCT_DataManagement.h"
#include "ui/SessionActions.h"
#include "ui/SessionCommands.h"

namespace {

constexpr int32_t kScramblerInUse = 3;
constexpr int32_t kRawDataModes = 6;  // modes 6 and 7 are raw data

struct TScramblerChoice {
  int32_t Index;  // as the header shows it
  int32_t Tag;    // of the command (0x50 + tag)
  const char* Caption;
};
constexpr TScramblerChoice kScramblers[] = {{0, 0, "Off"}, {1, 14, "Auto"}, {2, 15, "Trim"}};

// The caption of a mode or rate value from the menu's templates ("Frequency", "1s").
std::string TemplateCaption(TSessionCmd kind, int32_t value) {
  for (const TActionTemplate& t : TSessionActions::Templates())
    if (t.Kind == kind && t.Tag == value) return t.Caption;
  return std::to_string(value);
}

TDeviceConfigStep Step(const TSessionCommand& command, std::function<bool()> confirmed) {
  return {command.Cmd, command.CmdText, std::move(confirmed)};
}

}  // namespace

std::vector<TDeviceConfigStep> DeviceConfigSteps(const TDeviceSettings& current, const TDeviceSettings& wanted,
                                                 const std::function<TDeviceSettings()>& read) {
  std::vector<TDeviceConfigStep> steps;
  if (wanted.Channels != current.Channels && wanted.Channels > 0)
    steps.push_back(Step(TransmitChannelsCommand(wanted.Channels), [read, n = wanted.Channels] { return read().Channels == n; }));
  if (wanted.Mode != current.Mode)
    steps.push_back(Step(ModeCommand(wanted.Mode, TemplateCaption(TSessionCmd::Mode, wanted.Mode)),
                         [read, m = wanted.Mode] { return read().Mode == m; }));
  if (wanted.RateIndex != current.RateIndex)
    steps.push_back(Step(IntervalCommand(wanted.RateIndex, TemplateCaption(TSessionCmd::Rate, wanted.RateIndex)),
                         [read, r = wanted.RateIndex] { return read().RateIndex == r; }));
  if (wanted.Scrambler != current.Scrambler && wanted.Scrambler != kScramblerInUse) {
    for (const TScramblerChoice& c : kScramblers)
      if (c.Index == wanted.Scrambler)
        steps.push_back(Step(ScramblerCommand(c.Tag, c.Caption), [read, s = c.Index] { return read().Scrambler == s; }));
  }
  return steps;
}

std::string DeviceConfigRefusal(const TQVSessionItem& session) {
  if (!session.Source().IsOpen() || !session.HasDataHeader() || session.DeviceInterruptedError())
    return "Device is not responding, no device configuration available";
  if (session.IsDirectSerial()) return "ZCT: device configuration not supported via serial connection";
  return {};
}

TDeviceSettings ReadDeviceSettings(const TQVSessionItem& session) {
  TDeviceSettings s;
  s.Mode = session.Mode();
  s.RateIndex = session.IntervalIndex();
  s.Scrambler = session.Scrambler();
  s.Channels = session.ZCT_DM().ChannelCount();
  return s;
}

TDeviceConfigFacts DeviceConfigFacts(const TQVSessionItem& session, bool expert) {
  const std::string source = std::string("Source ") + SessionLetter(session.Index());
  const TSourceHandle handle = session.Source();
  TDeviceConfigFacts facts;
  facts.Caption = "Device Configuration - " + source;
  facts.Lines = {
      {"Source", session.FriendlyName().empty() ? source : source + ": " + session.FriendlyName()},
      {"Connection", session.OpenString()},
      {"Peer", session.IsESP() ? "network module (ESP)" : "Coldfire"},
      {"Serial number", IntToHex(handle.SerialNumber(), 8)},
      {"Firmware", std::to_string(handle.FirmwareVersion())},
      {"Version", session.VersionString().empty() ? "-" : session.VersionString()},
  };
  facts.Settings = ReadDeviceSettings(session);
  facts.Rates = session.RangeInterval();
  facts.Expert = expert;
  return facts;
}

// ---- Dialog ----

TDeviceConfigDialog::TDeviceConfigDialog(QWidget* parent, const TDeviceConfigFacts& facts,
                                         std::function<TDeviceSettings()> read, TDeviceConfigThread::TSend send,
                                         std::chrono::milliseconds stepLimit)
    : QDialog(parent), FRead(std::move(read)) {
  setWindowTitle(QString::fromStdString(facts.Caption));
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  layout->addLayout(form);
  for (const auto& [caption, value] : facts.Lines) {
    auto* label = new QLabel(QString::fromStdString(value), this);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(QString::fromStdString(caption), label);
  }
  FMode = new QComboBox(this);
  for (int32_t mode = 0; mode < (facts.Expert ? 8 : kRawDataModes); ++mode)
    FMode->addItem(QString::fromStdString(TemplateCaption(TSessionCmd::Mode, mode)), mode);
  FRate = new QComboBox(this);
  for (int32_t rate = std::max(0, facts.Rates.minI); rate <= std::min(13, facts.Rates.maxI); ++rate)
    FRate->addItem(QString::fromStdString(TemplateCaption(TSessionCmd::Rate, rate)), rate);
  FScrambler = new QComboBox(this);
  for (const TScramblerChoice& c : kScramblers) FScrambler->addItem(c.Caption, c.Index);
  FChannels = new QSpinBox(this);
  // 0: no measurement has shown the count yet; it is then left as it is.
  FChannels->setRange(0, 24);
  FChannels->setSpecialValueText("-");
  form->addRow("Mode", FMode);
  form->addRow("Interval", FRate);
  form->addRow("Scrambler", FScrambler);
  form->addRow("Transmitted channels", FChannels);
  FProgress = new QProgressBar(this);
  FProgress->setRange(0, 1);
  FProgress->setValue(0);
  layout->addWidget(FProgress);
  FStatus = new QLabel(this);
  FStatus->setWordWrap(true);
  layout->addWidget(FStatus);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  FApply = buttons->addButton("Apply", QDialogButtonBox::ApplyRole);
  layout->addWidget(buttons);
  connect(FApply, &QPushButton::clicked, this, [this] { Apply(); });
  connect(buttons, &QDialogButtonBox::rejected, this, &TDeviceConfigDialog::reject);
  ShowSettings(facts.Settings);

  // The thread works on its own thread: its commands and reports reach the session and the
  // widgets through the window thread's event loop, so commands still come from the window thread
  // only, and those still queued when the dialog goes are dropped with it.
  FThread = std::make_unique<TDeviceConfigThread>(
      [this, send = std::move(send)](const std::string& cmd, const std::string& text) {
        QMetaObject::invokeMethod(this, [send, cmd, text] { send(cmd, text); }, Qt::QueuedConnection);
      },
      [this](size_t done, size_t count, const std::string& text) {
        QMetaObject::invokeMethod(this, [this, done, count, t = QString::fromStdString(text)] { OnProgress(done, count, t); },
                                  Qt::QueuedConnection);
      },
      [this](bool ok, const std::string& text) {
        QMetaObject::invokeMethod(this, [this, ok, t = QString::fromStdString(text)] { OnFinished(ok, t); },
                                  Qt::QueuedConnection);
      },
      stepLimit);
}

TDeviceConfigDialog::~TDeviceConfigDialog() { FThread.reset(); }

// A value the lists do not offer (a raw data mode outside expert mode, a rate outside the
// session's range, a scrambler set by other means) is added, so that the dialog shows it and
// leaves it as it is.
void TDeviceConfigDialog::ShowSettings(const TDeviceSettings& settings) {
  const auto select = [](QComboBox* box, int32_t value, const std::string& caption) {
    int index = box->findData(value);
    if (index < 0) {
      box->addItem(QString::fromStdString(caption), value);
      index = box->count() - 1;
    }
    box->setCurrentIndex(index);
  };
  select(FMode, settings.Mode, TemplateCaption(TSessionCmd::Mode, settings.Mode));
  select(FRate, settings.RateIndex, TemplateCaption(TSessionCmd::Rate, settings.RateIndex));
  select(FScrambler, settings.Scrambler, settings.Scrambler == kScramblerInUse ? "in use" : std::to_string(settings.Scrambler));
  FChannels->setValue(settings.Channels);
}

TDeviceSettings TDeviceConfigDialog::Wanted() const {
  TDeviceSettings s;
  s.Mode = FMode->currentData().toInt();
  s.RateIndex = FRate->currentData().toInt();
  s.Scrambler = FScrambler->currentData().toInt();
  s.Channels = FChannels->value();
  return s;
}

void TDeviceConfigDialog::SetWanted(const TDeviceSettings& value) { ShowSettings(value); }

bool TDeviceConfigDialog::Running() const { return FThread->Running(); }

QString TDeviceConfigDialog::StatusText() const { return FStatus->text(); }

bool TDeviceConfigDialog::Apply() {
  std::vector<TDeviceConfigStep> steps = DeviceConfigSteps(FRead(), Wanted(), FRead);
  const int count = int(steps.size());
  if (!FThread->Start(std::move(steps))) return false;
  SetInputsEnabled(false);
  FProgress->setRange(0, std::max(count, 1));
  FProgress->setValue(0);
  return true;
}

void TDeviceConfigDialog::SetInputsEnabled(bool enabled) {
  for (QWidget* w : std::initializer_list<QWidget*>{FMode, FRate, FScrambler, FChannels, FApply}) w->setEnabled(enabled);
}

void TDeviceConfigDialog::OnProgress(size_t done, size_t count, const QString& text) {
  FProgress->setRange(0, std::max(int(count), 1));
  FProgress->setValue(int(count == 0 ? 1 : done));
  FStatus->setText(text);
}

void TDeviceConfigDialog::OnFinished(bool ok, const QString& text) {
  FStatus->setText(text);
  FStatus->setStyleSheet(ok ? QString() : QString("color: red"));
  SetInputsEnabled(true);
  ShowSettings(FRead());
}

void TDeviceConfigDialog::reject() {
  FThread->Cancel();
  QDialog::reject();
}

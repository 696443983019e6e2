#include "ui/DigitalInputsChild.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

#include "acquisition/App_Sessions.h"
#include "acquisition/QV_SessionItem.h"
#include "core/Clock.h"
#include "core/DateTimeText.h"
#include "data/ZCT_DataManagement.h"
#include "ui/DGIHistoryStrip.h"
#include "ui/DGINamesDialog.h"

namespace {

constexpr int kChildWinCategory = 2;  // debug category "ChildWin"
constexpr int kLampColumns = 8;
const QColor kLampOn(0x00, 0xC0, 0x00);
const QColor kLampOff(0xD8, 0xD8, 0xD8);
inline const QString kLastChange = "Last change: ";

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

TDigitalInputsChild::TDigitalInputsChild(QWidget* AOwner, int32_t aTag, TSessionItem* aSession, TOnMainEvent aOnMain,
                                         TViewEnvironment aEnv)
    : TMDIChild(AOwner, aTag, aSession, std::move(aOnMain), std::move(aEnv), kTitle, "TDigitalInputsChild",
                kChildWinCategory) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  FStatus = new QLabel(this);
  FStatus->setObjectName("Status");
  layout->addWidget(FStatus);
  auto* scroll = new QScrollArea(this);
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  FCardPanel = new QWidget(scroll);
  FCardLayout = new QVBoxLayout(FCardPanel);
  FCardLayout->addStretch();
  scroll->setWidget(FCardPanel);
  layout->addWidget(scroll, 1);
  SetDesignPlacement(QRect(0, 0, 720, 330), false);
  TMDIChild::UpdateSession(1);
  BuildCards(0);
}

TDigitalInputsChild::~TDigitalInputsChild() = default;

QLabel* TDigitalInputsChild::Lamp(int32_t card, int32_t signal) const {
  if (card < 1 || card > CardCount() || signal < 1 || signal > kSignals) return nullptr;
  return FCards[size_t(card - 1)].Lamps[size_t(signal - 1)];
}

bool TDigitalInputsChild::LampOn(int32_t card, int32_t signal) const {
  if (card < 1 || card > CardCount() || signal < 1 || signal > kSignals) return false;
  const std::optional<uint32_t>& word = FCards[size_t(card - 1)].Word;
  return word && (*word >> (signal - 1) & 1u) != 0;
}

std::string TDigitalInputsChild::LastChangeText(int32_t card) const {
  if (card < 1 || card > CardCount()) return {};
  return FCards[size_t(card - 1)].LastChange->text().mid(kLastChange.size()).toStdString();
}

TDGIHistoryStrip* TDigitalInputsChild::History(int32_t card) const {
  if (card < 1 || card > CardCount()) return nullptr;
  return FCards[size_t(card - 1)].History;
}

std::string TDigitalInputsChild::Status() const { return FStatus->text().toStdString(); }

std::string TDigitalInputsChild::SignalName(int32_t card, int32_t signal) const {
  const auto* counter = dynamic_cast<const TQVSessionItem*>(QVSession());
  const std::string name = counter ? counter->DGIName(card, signal) : std::string();
  return name.empty() ? TDGINamesDialog::DefaultName(card, signal) : name;
}

void TDigitalInputsChild::BuildCards(int32_t count) {
  // Removing the old cards from the layout and deleting them; the stretch at the end stays.
  for (TCard& card : FCards) delete card.LastChange->parentWidget();
  FCards.clear();
  FCards.resize(size_t(std::clamp(count, 0, kMaxCards)));
  for (size_t c = 0; c < FCards.size(); ++c) {
    const int32_t number = int32_t(c) + 1;
    auto* box = new QGroupBox(QString("Card %1").arg(number), FCardPanel);
    auto* grid = new QGridLayout(box);
    grid->setSpacing(2);
    for (int32_t signal = 1; signal <= kSignals; ++signal) {
      auto* lamp = new QLabel(Q(SignalName(number, signal)), box);
      lamp->setAlignment(Qt::AlignCenter);
      lamp->setFrameShape(QFrame::Panel);
      lamp->setFrameShadow(QFrame::Sunken);
      lamp->setAutoFillBackground(true);
      lamp->setMargin(2);
      grid->addWidget(lamp, (signal - 1) / kLampColumns, (signal - 1) % kLampColumns);
      FCards[c].Lamps[size_t(signal - 1)] = lamp;
    }
    FCards[c].LastChange = new QLabel(kLastChange + "-", box);
    grid->addWidget(FCards[c].LastChange, kSignals / kLampColumns, 0, 1, kLampColumns);
    FCards[c].History = new TDGIHistoryStrip(box);
    FCards[c].History->setToolTip("Recent history: one column per display cycle, signal 1 at the top, newest at the right");
    grid->addWidget(FCards[c].History, kSignals / kLampColumns + 1, 0, 1, kLampColumns);
    FCardLayout->insertWidget(int(c), box);
    ShowWord(FCards[c], 0);
    FCards[c].Word.reset();
  }
}

void TDigitalInputsChild::ShowWord(TCard& card, uint32_t word) {
  for (int32_t signal = 1; signal <= kSignals; ++signal) {
    QLabel* lamp = card.Lamps[size_t(signal - 1)];
    QPalette palette = lamp->palette();
    palette.setColor(QPalette::Window, (word >> (signal - 1) & 1u) ? kLampOn : kLampOff);
    lamp->setPalette(palette);
  }
  // The first word is where the view starts, not a change.
  if (card.Word && *card.Word != word) {
    const TClock& clock = Environment().Clock ? *Environment().Clock : SystemClock();
    card.LastChange->setText(kLastChange + Q(TimeText(clock.Wall())));
  }
  card.Word = word;
}

void TDigitalInputsChild::SetStatus(const std::string& text) {
  FStatus->setText(Q(text));
  FStatus->setVisible(!text.empty());
}

void TDigitalInputsChild::DataReset() { BuildCards(0); }

void TDigitalInputsChild::DGICount() {
  const TZCT_DataManagement* store = ZCTDataManagement(1);
  BuildCards(store ? store->DGICount() : 0);
}

void TDigitalInputsChild::UpdateSession(int base) {
  RebindBase(base);
  if (base == 1 && Session() && !QVSession())
    return CloseChild(".UpdateSession: not a QVSession -> close digital inputs window");
  TMDIChild::UpdateSession(base);
  // The signal names may have changed.
  if (base == 1) DGICount();
}

void TDigitalInputsChild::UpdateDisplay() {
  if (Closing()) return;
  const TZCT_DataManagement* store = ZCTDataManagement(1);
  const int32_t count = store ? std::clamp(store->DGICount(), 0, kMaxCards) : 0;
  if (count != CardCount()) BuildCards(count);
  if (!Session() || Session()->OpenString() == kOpenStringNone)
    SetStatus(kNoConnection);
  else
    SetStatus(count == 0 ? kNoCards : "");
  for (int32_t card = 1; card <= count; ++card) {
    const uint32_t word = store->GetDGI(card);
    TCard& shown = FCards[size_t(card - 1)];
    if (!shown.Word || *shown.Word != word) ShowWord(shown, word);
    shown.History->Add(word);
  }
}

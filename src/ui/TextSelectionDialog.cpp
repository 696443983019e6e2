#include "ui/TextSelectionDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <functional>

#include "ui/QV_Channels.h"
#include "ui/TextColumns.h"

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

QHBoxLayout* AllNoneButtons(QWidget* parent, const std::function<void(bool)>& set) {
  auto* row = new QHBoxLayout;
  auto* all = new QPushButton("All", parent);
  auto* none = new QPushButton("None", parent);
  QObject::connect(all, &QPushButton::clicked, parent, [set] { set(true); });
  QObject::connect(none, &QPushButton::clicked, parent, [set] { set(false); });
  row->addWidget(all);
  row->addWidget(none);
  row->addStretch();
  return row;
}

}  // namespace

int64_t TauColumnValue(int index) {
  static constexpr int64_t steps[] = {1, 2, 5};
  int64_t decade = 1;
  for (int i = 0; i < index / 3; ++i) decade *= 10;
  return decade * steps[index % 3];
}

TTextSelectionDialog::TTextSelectionDialog(QWidget* parent, std::vector<TTextSelectionSession> sessions, bool expertMode)
    : QDialog(parent), FSessions(std::move(sessions)) {
  setWindowTitle("New Text Window");
  auto* layout = new QVBoxLayout(this);
  auto* subtitle = new QLabel("Select Columns and Channels for Display", this);
  QFont bold = subtitle->font();
  bold.setBold(true);
  subtitle->setFont(bold);
  layout->addWidget(subtitle);

  auto* source = new QGroupBox("Source", this);
  auto* sourceLayout = new QGridLayout(source);
  FSession = new QComboBox(source);
  for (const auto& s : FSessions) FSession->addItem(Q(s.Caption), s.Index);
  FKindZCT = new QRadioButton("Phase+Frequency ZCT", source);
  FKindIVC = new QRadioButton("Interval IVC", source);
  FKindZCT->setChecked(true);
  FType = new QComboBox(source);
  FType->addItem("Standard", int(TTextViewType::Standard));
  FType->addItem("Virtual", int(TTextViewType::Virtual));
  if (expertMode) FType->addItem("Raw Data", int(TTextViewType::RawData));
  FType->addItem("Allan Deviation", int(TTextViewType::Allan));
  FType->addItem("virtual ADEV", int(TTextViewType::VirtualAllan));
  sourceLayout->addWidget(FSession, 0, 0, 1, 2);
  sourceLayout->addWidget(FKindZCT, 1, 0);
  sourceLayout->addWidget(FKindIVC, 1, 1);
  sourceLayout->addWidget(FType, 2, 0, 1, 2);
  layout->addWidget(source);

  FColumnsZCT = MakeColumns(TextModeNamesZCT(), FZCTBoxes);
  FColumnsIVC = MakeColumns(TextModeNamesIVC(), FIVCBoxes);
  layout->addWidget(FColumnsZCT);
  layout->addWidget(FColumnsIVC);
  layout->addWidget(FAllan = MakeAllan());
  layout->addWidget(MakeChannels());
  layout->addWidget(MakeTitle());

  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton("Ok", QDialogButtonBox::AcceptRole);
  buttons->addButton("Cancel", QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);

  connect(FSession, &QComboBox::currentIndexChanged, this, [this] { ShowChoices(); });
  connect(FKindZCT, &QRadioButton::toggled, this, [this] { ShowChoices(); });
  connect(FType, &QComboBox::currentIndexChanged, this, [this] { ShowChoices(); });
  ShowChoices();
}

QGroupBox* TTextSelectionDialog::MakeColumns(const std::vector<std::string>& names, std::vector<QCheckBox*>& boxes) {
  auto* group = new QGroupBox("Columns", this);
  auto* layout = new QVBoxLayout(group);
  for (const std::string& name : names) {
    boxes.push_back(new QCheckBox(Q(name), group));
    layout->addWidget(boxes.back());
  }
  layout->addLayout(AllNoneButtons(group, [&boxes](bool on) {
    for (QCheckBox* box : boxes) box->setChecked(on);
  }));
  return group;
}

QGroupBox* TTextSelectionDialog::MakeAllan() {
  auto* group = new QGroupBox("Tau", this);
  auto* layout = new QGridLayout(group);
  for (int i = 0; i < kTauColumnCount; ++i) {
    FTau.push_back(new QCheckBox(QString::number(TauColumnValue(i)), group));
    layout->addWidget(FTau.back(), i / 6, i % 6);
  }
  FAdevMode = new QComboBox(group);
  for (TAllanMode mode : {amFreq, amPhaseRes, amPhaseDiff}) FAdevMode->addItem(AllanModeName(mode), int(mode));
  layout->addWidget(new QLabel("ADEV mode", group), 4, 0, 1, 2);
  layout->addWidget(FAdevMode, 4, 2, 1, 2);
  return group;
}

QGroupBox* TTextSelectionDialog::MakeChannels() {
  auto* group = new QGroupBox("Channels", this);
  auto* layout = new QVBoxLayout(group);
  FChannels = new TQV_Channels(group);
  FChannels->SetMouseClickAction(mcaToggleEnabled);
  layout->addWidget(FChannels);
  layout->addLayout(AllNoneButtons(group, [this](bool on) {
    for (int ch = 1; ch <= TQV_ChannelData::ChannelCount; ++ch) FChannels->SetChannelEnabled(ch, on);
  }));
  return group;
}

QGroupBox* TTextSelectionDialog::MakeTitle() {
  auto* group = new QGroupBox("Window Title", this);
  auto* layout = new QHBoxLayout(group);
  FDefaultTitle = new QRadioButton("Default", group);
  FOwnTitle = new QRadioButton(group);
  FTitle = new QLineEdit(group);
  FDefaultTitle->setChecked(true);
  connect(FTitle, &QLineEdit::textEdited, this, [this] { FOwnTitle->setChecked(true); });
  layout->addWidget(FDefaultTitle);
  layout->addWidget(FOwnTitle);
  layout->addWidget(FTitle);
  return group;
}

// ---- State ----

const TTextSelectionSession* TTextSelectionDialog::CurrentSession() const {
  const int i = FSession->currentIndex();
  return i >= 0 && i < int(FSessions.size()) ? &FSessions[size_t(i)] : nullptr;
}

TTextSourceKind TTextSelectionDialog::CurrentKind() const {
  return FKindIVC->isChecked() ? TTextSourceKind::IVC : TTextSourceKind::ZCT;
}

TTextViewType TTextSelectionDialog::CurrentType() const {
  return static_cast<TTextViewType>(FType->currentData().toInt());
}

void TTextSelectionDialog::SetType(TTextViewType type) {
  const int i = FType->findData(int(type));
  FType->setCurrentIndex(i >= 0 ? i : 0);
}

// Offers what fits the chosen session, kind and type.
void TTextSelectionDialog::ShowChoices() {
  const TTextSelectionSession* session = CurrentSession();
  const bool sensor = session && session->Sensor;
  FKindZCT->setEnabled(!sensor && (!session || session->HasZCT));
  FKindIVC->setEnabled(!sensor && (!session || session->HasIVC));
  if (sensor || (session && !session->HasIVC && session->HasZCT)) FKindZCT->setChecked(true);
  if (!sensor && session && !session->HasZCT && session->HasIVC) FKindIVC->setChecked(true);
  const bool zct = CurrentKind() == TTextSourceKind::ZCT;
  FType->setEnabled(zct && !sensor);
  const TTextViewType type = CurrentType();
  const bool allan = zct && (type == TTextViewType::Allan || type == TTextViewType::VirtualAllan);
  FColumnsZCT->setVisible(!sensor && zct && !allan && type != TTextViewType::RawData);
  FColumnsIVC->setVisible(!sensor && !zct);
  FAllan->setVisible(!sensor && allan);
  ShowChannels();
}

void TTextSelectionDialog::ShowChannels() {
  const TTextSelectionSession* session = CurrentSession();
  if (!session) return;
  const TTextViewType type = CurrentType();
  const bool virtualChannels = !session->Sensor && CurrentKind() == TTextSourceKind::ZCT &&
                               (type == TTextViewType::Virtual || type == TTextViewType::VirtualAllan);
  FChannels->InitChannels(virtualChannels ? session->VirtualChannels : session->Channels, FChannels->Data());
  FChannels->SetMaxChannels(virtualChannels ? session->VirtualChannelCount : session->ChannelCount);
}

std::string TTextSelectionDialog::Flags(const std::vector<QCheckBox*>& boxes) {
  std::string flags;
  for (const QCheckBox* box : boxes) flags += box->isChecked() ? '1' : '0';
  return flags;
}

void TTextSelectionDialog::SetFlags(const std::vector<QCheckBox*>& boxes, const std::string& flags) {
  for (size_t i = 0; i < boxes.size(); ++i) boxes[i]->setChecked(i < flags.size() && flags[i] == '1');
}

void TTextSelectionDialog::SetSelection(const TTextViewSelection& selection) {
  const int session = FSession->findData(selection.SessionIndex);
  if (session >= 0) FSession->setCurrentIndex(session);
  (selection.Kind == TTextSourceKind::IVC ? FKindIVC : FKindZCT)->setChecked(true);
  SetType(selection.Type);
  SetFlags(selection.Kind == TTextSourceKind::IVC ? FIVCBoxes : FZCTBoxes, selection.Columns);
  SetFlags(FTau, selection.TauColumns);
  FAdevMode->setCurrentIndex(std::max(FAdevMode->findData(int(selection.AdevMode)), 0));
  FChannels->SetChannelEnabledString(selection.Channels);
  FTitle->setText(Q(selection.Title));
  (selection.Title.empty() ? FDefaultTitle : FOwnTitle)->setChecked(true);
  ShowChoices();
}

TTextViewSelection TTextSelectionDialog::Selection() const {
  TTextViewSelection s;
  s.SessionIndex = FSession->currentIndex() >= 0 ? FSession->currentData().toInt() : -1;
  s.Kind = CurrentKind();
  const TTextSelectionSession* session = CurrentSession();
  s.Type = session && session->Sensor        ? TTextViewType::Sensor
           : s.Kind == TTextSourceKind::IVC ? TTextViewType::Standard
                                            : CurrentType();
  s.Columns = Flags(s.Kind == TTextSourceKind::IVC ? FIVCBoxes : FZCTBoxes);
  s.TauColumns = Flags(FTau);
  s.AdevMode = static_cast<TAllanMode>(FAdevMode->currentData().toInt());
  s.Channels = FChannels->ChannelEnabledString();
  s.Title = FOwnTitle->isChecked() ? FTitle->text().trimmed().toStdString() : std::string();
  return s;
}

QRadioButton* TTextSelectionDialog::KindButton(TTextSourceKind kind) const {
  return kind == TTextSourceKind::IVC ? FKindIVC : FKindZCT;
}

QCheckBox* TTextSelectionDialog::ColumnBox(TTextSourceKind kind, int column) const {
  return (kind == TTextSourceKind::IVC ? FIVCBoxes : FZCTBoxes).at(size_t(column));
}
